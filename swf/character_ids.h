// Character identifiers inside tag objects: the identifiers a defining tag
// contributes, and every reference to a character that a tag holds (bitmap
// fills, placements, fonts of texts, button records and sounds, asset lists,
// the tags of a sprite's timeline). The renumbering of a read movie and the
// check that every reference of a movie resolves both walk them through the
// two visitors below, so what counts as a definition or a reference is said
// in one place.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "swf/tag.h"

using TCharacterIdVisitor = std::function<void(uint16_t& id)>;

// The identifiers the tag defines, in the order they are defined; nothing
// for a tag that defines none (or a raw tag).
void ForEachDefinedId(TSWFObject& tag, const TCharacterIdVisitor& visit);
// Every character reference the tag holds, those of a sprite's own tags
// included.
void ForEachReference(TSWFObject& tag, const TCharacterIdVisitor& visit);

// A reference that nothing before it defines: the tag index, its code and
// the identifier.
struct TUnresolvedReference {
    size_t TagIndex;
    uint16_t TagCode;
    uint16_t Id;
};

// Walks the tags in order and reports references to identifiers no earlier
// tag defines, and identifiers defined twice (as Id with TagCode of the
// second definition). RemoveObject and the "button of" references of
// DefineButtonSound / DefineButtonCxform are ordinary references here.
std::vector<TUnresolvedReference> FindUnresolvedReferences(const std::vector<TSWFObject*>& tags,
                                                            std::vector<TUnresolvedReference>* duplicates = nullptr);
