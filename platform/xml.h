// The XML document: the stand-in for the system's XML component, over pugixml.
//
// TXmlNode is a cheap handle to an element (or another node) of a document
// that a TXmlDocument owns, like the reference-counted node interface it
// replaces. Attribute values are converted as the variant conversions of the
// toolkit do: integers in decimal (also "$" or "0x" hexadecimal), floats with
// '.', booleans written "True"/"False" and read in any case. Reading a
// required attribute that is missing, or one that does not convert, raises
// EConvertError. Text passes in and out as code-page text; the document
// itself is UTF-8.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <pugixml.hpp>

#include "platform/errors.h"

enum class TXmlNodeType { Null, Element, Text, CData, Other };

class TXmlNode {
public:
    TXmlNode() = default;
    explicit TXmlNode(pugi::xml_node node) : node_(node) {}

    bool IsNull() const { return !node_; }
    explicit operator bool() const { return static_cast<bool>(node_); }
    TXmlNodeType NodeType() const;
    std::string NodeName() const;

    // The first child element of that name (a null node when there is none).
    TXmlNode ChildNode(const std::string& name) const;
    // Every child element, in document order.
    std::vector<TXmlNode> ChildElements() const;
    // Every child node of any kind, in document order.
    std::vector<TXmlNode> ChildNodes() const;
    TXmlNode FirstChild() const { return TXmlNode(node_.first_child()); }
    size_t ChildCount() const;
    TXmlNode AddChild(const std::string& name);

    bool HasAttribute(const std::string& name) const;
    // Required attributes: EConvertError when missing or not convertible.
    int64_t AttrInt(const std::string& name) const;
    double AttrFloat(const std::string& name) const;
    bool AttrBool(const std::string& name) const;
    std::string AttrStr(const std::string& name) const;
    // Attributes with a default for when they are missing.
    int64_t AttrIntDef(const std::string& name, int64_t def) const;
    double AttrFloatDef(const std::string& name, double def) const;
    bool AttrBoolDef(const std::string& name, bool def) const;
    std::string AttrStrDef(const std::string& name, const std::string& def) const;

    void SetAttr(const std::string& name, int64_t value);
    void SetAttr(const std::string& name, int value) { SetAttr(name, static_cast<int64_t>(value)); }
    void SetAttr(const std::string& name, unsigned value) { SetAttr(name, static_cast<int64_t>(value)); }
    void SetAttr(const std::string& name, double value);
    void SetAttr(const std::string& name, const std::string& value);
    void SetAttr(const std::string& name, const char* value) { SetAttr(name, std::string(value)); }
    void SetAttrBool(const std::string& name, bool value);
    // The same for values that are UTF-8 already and must not pass through
    // the code page.
    std::string AttrStrUtf8(const std::string& name) const;
    void SetAttrUtf8(const std::string& name, const std::string& utf8);

    // Text content (of a text or CDATA node, or the concatenated text of an element).
    std::string Text() const;
    void SetText(const std::string& text);
    // Adds a CDATA section holding text as the element's last child.
    void AddCData(const std::string& text);
    // The same for text that is UTF-8 already and must not pass through the
    // code page.
    std::string TextUtf8() const;
    void AddCDataUtf8(const std::string& utf8);
    // The element and its content as XML text (UTF-8, no declaration).
    std::string XmlText() const;

    pugi::xml_node Raw() const { return node_; }

private:
    pugi::xml_attribute RequiredAttr(const std::string& name, const char* typeName) const;
    pugi::xml_node node_;
};

class TXmlDocument {
public:
    TXmlDocument() = default;
    TXmlDocument(const TXmlDocument&) = delete;
    TXmlDocument& operator=(const TXmlDocument&) = delete;

    // The document node: the parent of the document element.
    TXmlNode Root() { return TXmlNode(doc_); }
    TXmlNode DocumentElement() { return TXmlNode(doc_.document_element()); }

    // Loading raises EConvertError with the parser's message and offset.
    // Text nodes of whitespace alone are dropped unless keepWhitespaceText
    // (text whose spaces are content, such as a run of formatted text).
    void LoadFromString(const std::string& utf8, bool keepWhitespaceText = false);
    void LoadFromFile(const std::string& fileName);
    std::string SaveToString() const;
    // Written through a temporary file beside the target.
    void SaveToFile(const std::string& fileName) const;

private:
    pugi::xml_document doc_;
};

// Value conversions shared with the ini files and other text forms.
int64_t StrToInt64(const std::string& text);
double StrToFloat(const std::string& text);
bool StrToBool(const std::string& text);
std::string FloatToStr(double value);
std::string BoolToStr(bool value);
