// What the application uses of an XML document: a template's parameter
// declaration and the formatted text of a stage are parsed from wide text,
// and read as a root element, its items in document order, node names,
// attributes by name and the text value of an element. It stands on the
// XML document of platform/ (pugixml underneath).
//
// Text nodes of whitespace alone are kept: a run of formatted text that is
// only spaces is content. The items of an element are its child elements,
// so the indentation between them is never taken for an item.
#pragma once

#include <memory>
#include <optional>
#include <vector>

#include "controls/ucsystem.h"
#include "platform/xml.h"

class TAppXmlDocument {
public:
    // Parses the text; text that is not well-formed XML raises
    // EConvertError with the parser's message and offset.
    explicit TAppXmlDocument(const WideString& text);

    TXmlNode DocumentElement() { return document_.DocumentElement(); }

private:
    TXmlDocument document_;
};

WideString XmlNodeName(const TXmlNode& node);
// The child elements, in document order.
std::vector<TXmlNode> XmlItems(const TXmlNode& node);
// The attribute's text; nothing when the attribute is absent.
std::optional<WideString> XmlAttribute(const TXmlNode& node, const char* name);
// The text of an element whose children are all text (or CDATA), at least
// one; nothing (the null value) for an element without children or with
// other children.
std::optional<WideString> XmlNodeValue(const TXmlNode& node);
