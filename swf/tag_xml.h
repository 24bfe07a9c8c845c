// The XML form of a list of tags, one element per tag: the movie's "SWF"
// element and a sprite's element read and write their tags through these.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
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

// Appends the tag's element to parent and returns it.
TXmlNode SaveTagElement(TXmlNode parent, TSWFObject& tag, TXMLReadWriteSettings& settings);

// The header form a file gave a tag when it is not the one its code and
// length call for (a long header over a short body), kept on the tag's
// element ("LongHeader") so that the document writes the tag framed so.
void SaveHeaderForm(TXmlNode element, bool longHeader);
std::optional<bool> LoadHeaderForm(const TXmlNode& element);
