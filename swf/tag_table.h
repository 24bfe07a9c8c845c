// One descriptor per SWF tag code: its name (which is also its element name
// in the XML form), the factory of its class, and the rules the reader, the
// writer and the look-ups apply to it. Everything that asks "what kind of
// tag is this code" asks this table.
#pragma once

#include <cstdint>
#include <memory>
#include <span>

#include "swf/tag.h"

// What a tag needs beyond its own bytes, and how it is framed and found.
enum TTagTraits : uint8_t {
    kTagPlain = 0,
    // Its object defines (or, for DefineFontInfo2, names) a character that
    // the character look-up finds by identifier.
    kDefinesCharacter = 0x01,
    // Written with the 6-byte header whatever its length.
    kAlwaysLongHeader = 0x02,
    // Its reader is told whether action records are parsed.
    kNeedsParseActions = 0x04,
    // Its reader (and its XML loader) is told the movie's version.
    kNeedsVersion = 0x08,
    // Its reader is told the compression of the last stream-sound head.
    kNeedsStreamSoundFormat = 0x10,
};

using TTagFactory = std::unique_ptr<TSWFObject> (*)();

struct TTagDescriptor {
    uint16_t Code;
    const char* Name;
    // Null for a code that has a name but no class: it is read as a raw tag.
    TTagFactory Create;
    uint8_t Traits;

    bool Has(TTagTraits trait) const { return (Traits & trait) != 0; }
};

// The rows in code order.
std::span<const TTagDescriptor> TagDescriptors();
// The row of code, or null for a code the table does not know.
const TTagDescriptor* FindTagDescriptor(uint16_t code);
// The code's trait; false for codes the table does not know.
bool TagHasTrait(uint16_t code, TTagTraits trait);

template <class T>
std::unique_ptr<TSWFObject> MakeTag() {
    return std::make_unique<T>();
}
