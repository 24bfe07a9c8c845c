// The XML form of a list of tags, one element per tag: the movie's "SWF"
// element and a sprite's element read and write their tags through these.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/xml.h"
#include "swf/tag.h"

class TXMLReadWriteSettings;

// The element name of a tag: its table name, or "tag" and the file's code
// for a raw tag.
std::string TagElementName(const TSWFObject& tag);

// The tag an element describes, loaded; null when the element names no
// loadable tag (such elements are skipped). version, when not 0, is handed to
// the tags that read differently by version before they load. Failures of the
// tag's loader propagate.
std::unique_ptr<TSWFObject> LoadTagElement(const TXmlNode& element, uint8_t version,
                                           TXMLReadWriteSettings& settings);

// Appends the tag's element to parent.
void SaveTagElement(TXmlNode parent, TSWFObject& tag, TXMLReadWriteSettings& settings);
