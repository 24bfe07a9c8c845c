#include "platform/xml.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <sstream>

#include "platform/codepage.h"
#include "platform/stream.h"

namespace {

std::string Trimmed(const std::string& text) {
    size_t begin = 0, end = text.size();
    while (begin < end && std::isspace(static_cast<unsigned char>(text[begin]))) ++begin;
    while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1]))) --end;
    return text.substr(begin, end - begin);
}

}  // namespace

int64_t StrToInt64(const std::string& original) {
    std::string text = Trimmed(original);
    bool negative = false;
    size_t at = 0;
    if (at < text.size() && (text[at] == '-' || text[at] == '+')) negative = text[at++] == '-';
    int base = 10;
    if (at < text.size() && text[at] == '$') {
        base = 16;
        ++at;
    } else if (at + 1 < text.size() && text[at] == '0' && (text[at + 1] == 'x' || text[at + 1] == 'X')) {
        base = 16;
        at += 2;
    }
    uint64_t value = 0;
    const char* first = text.data() + at;
    const char* last = text.data() + text.size();
    auto [ptr, error] = std::from_chars(first, last, value, base);
    if (first == last || error != std::errc() || ptr != last || value > (uint64_t(1) << 63))
        throw EConvertError(FormatStr("'%s' is not a valid integer value", original.c_str()));
    if (!negative && value == (uint64_t(1) << 63))
        throw EConvertError(FormatStr("'%s' is not a valid integer value", original.c_str()));
    return negative ? static_cast<int64_t>(0 - value) : static_cast<int64_t>(value);
}

double StrToFloat(const std::string& original) {
    std::string text = Trimmed(original);
    if (!text.empty() && text[0] == '+') text.erase(0, 1);
    double value = 0;
    const char* last = text.data() + text.size();
    auto [ptr, error] = std::from_chars(text.data(), last, value);
    if (text.empty() || error != std::errc() || ptr != last)
        throw EConvertError(FormatStr("'%s' is not a valid floating point value", original.c_str()));
    return value;
}

bool StrToBool(const std::string& original) {
    std::string text = Trimmed(original);
    if (AnsiSameText(text, "true")) return true;
    if (AnsiSameText(text, "false")) return false;
    try {
        return StrToFloat(text) != 0;
    } catch (const EConvertError&) {
        throw EConvertError(FormatStr("'%s' is not a valid boolean value", original.c_str()));
    }
}

std::string FloatToStr(double value) {
    char buffer[64];
    auto [ptr, error] = std::to_chars(buffer, buffer + sizeof buffer, value);
    if (error != std::errc()) return "0";
    return std::string(buffer, ptr);
}

std::string BoolToStr(bool value) { return value ? "True" : "False"; }

// ---------------------------------------------------------------- node

TXmlNodeType TXmlNode::NodeType() const {
    switch (node_.type()) {
        case pugi::node_null: return TXmlNodeType::Null;
        case pugi::node_element: return TXmlNodeType::Element;
        case pugi::node_pcdata: return TXmlNodeType::Text;
        case pugi::node_cdata: return TXmlNodeType::CData;
        default: return TXmlNodeType::Other;
    }
}

std::string TXmlNode::NodeName() const { return Utf8ToAnsi(node_.name()); }

TXmlNode TXmlNode::ChildNode(const std::string& name) const {
    return TXmlNode(node_.child(AnsiToUtf8(name).c_str()));
}

std::vector<TXmlNode> TXmlNode::ChildElements() const {
    std::vector<TXmlNode> result;
    for (pugi::xml_node child : node_.children())
        if (child.type() == pugi::node_element) result.emplace_back(child);
    return result;
}

std::vector<TXmlNode> TXmlNode::ChildNodes() const {
    std::vector<TXmlNode> result;
    for (pugi::xml_node child : node_.children()) result.emplace_back(child);
    return result;
}

size_t TXmlNode::ChildCount() const {
    size_t count = 0;
    for (auto it = node_.begin(); it != node_.end(); ++it) ++count;
    return count;
}

TXmlNode TXmlNode::AddChild(const std::string& name) {
    return TXmlNode(node_.append_child(AnsiToUtf8(name).c_str()));
}

bool TXmlNode::HasAttribute(const std::string& name) const {
    return static_cast<bool>(node_.attribute(name.c_str()));
}

pugi::xml_attribute TXmlNode::RequiredAttr(const std::string& name, const char* typeName) const {
    pugi::xml_attribute attribute = node_.attribute(name.c_str());
    if (!attribute)
        throw EConvertError(FormatStr("Could not convert variant of type (Null) into type (%s): attribute \"%s\" "
                                      "of element \"%s\" is missing",
                                      typeName, name.c_str(), node_.name()));
    return attribute;
}

int64_t TXmlNode::AttrInt(const std::string& name) const {
    return StrToInt64(RequiredAttr(name, "Integer").value());
}
double TXmlNode::AttrFloat(const std::string& name) const {
    return StrToFloat(RequiredAttr(name, "Double").value());
}
bool TXmlNode::AttrBool(const std::string& name) const {
    return StrToBool(RequiredAttr(name, "Boolean").value());
}
std::string TXmlNode::AttrStr(const std::string& name) const {
    return Utf8ToAnsi(RequiredAttr(name, "String").value());
}

int64_t TXmlNode::AttrIntDef(const std::string& name, int64_t def) const {
    return HasAttribute(name) ? AttrInt(name) : def;
}
double TXmlNode::AttrFloatDef(const std::string& name, double def) const {
    return HasAttribute(name) ? AttrFloat(name) : def;
}
bool TXmlNode::AttrBoolDef(const std::string& name, bool def) const {
    return HasAttribute(name) ? AttrBool(name) : def;
}
std::string TXmlNode::AttrStrDef(const std::string& name, const std::string& def) const {
    return HasAttribute(name) ? AttrStr(name) : def;
}

static pugi::xml_attribute AttributeFor(pugi::xml_node node, const std::string& name) {
    pugi::xml_attribute attribute = node.attribute(name.c_str());
    return attribute ? attribute : node.append_attribute(name.c_str());
}

void TXmlNode::SetAttr(const std::string& name, int64_t value) {
    AttributeFor(node_, name).set_value(std::to_string(value).c_str());
}
void TXmlNode::SetAttr(const std::string& name, double value) {
    AttributeFor(node_, name).set_value(FloatToStr(value).c_str());
}
void TXmlNode::SetAttr(const std::string& name, const std::string& value) {
    AttributeFor(node_, name).set_value(AnsiToUtf8(value).c_str());
}
std::string TXmlNode::AttrStrUtf8(const std::string& name) const { return RequiredAttr(name, "String").value(); }

void TXmlNode::SetAttrUtf8(const std::string& name, const std::string& utf8) {
    AttributeFor(node_, name).set_value(utf8.c_str());
}

void TXmlNode::SetAttrBool(const std::string& name, bool value) {
    AttributeFor(node_, name).set_value(BoolToStr(value).c_str());
}

std::string TXmlNode::Text() const { return Utf8ToAnsi(TextUtf8()); }

std::string TXmlNode::TextUtf8() const {
    if (node_.type() == pugi::node_pcdata || node_.type() == pugi::node_cdata) return node_.value();
    std::string text;
    for (pugi::xml_node child : node_.children())
        if (child.type() == pugi::node_pcdata || child.type() == pugi::node_cdata) text += child.value();
    return text;
}

void TXmlNode::SetText(const std::string& text) {
    if (node_.type() == pugi::node_pcdata || node_.type() == pugi::node_cdata) {
        node_.set_value(AnsiToUtf8(text).c_str());
        return;
    }
    for (pugi::xml_node child = node_.first_child(); child;) {
        pugi::xml_node next = child.next_sibling();
        if (child.type() == pugi::node_pcdata || child.type() == pugi::node_cdata) node_.remove_child(child);
        child = next;
    }
    node_.append_child(pugi::node_pcdata).set_value(AnsiToUtf8(text).c_str());
}

void TXmlNode::AddCData(const std::string& text) { AddCDataUtf8(AnsiToUtf8(text)); }

void TXmlNode::AddCDataUtf8(const std::string& utf8) { node_.append_child(pugi::node_cdata).set_value(utf8.c_str()); }

std::string TXmlNode::XmlText() const {
    std::ostringstream out;
    node_.print(out, "", pugi::format_raw);
    return out.str();
}

// ---------------------------------------------------------------- document

void TXmlDocument::LoadFromString(const std::string& utf8, bool keepWhitespaceText) {
    unsigned options = pugi::parse_default | (keepWhitespaceText ? pugi::parse_ws_pcdata : 0);
    pugi::xml_parse_result result = doc_.load_buffer(utf8.data(), utf8.size(), options, pugi::encoding_utf8);
    if (!result)
        throw EConvertError(FormatStr("XML error at offset %lld: %s", static_cast<long long>(result.offset),
                                      result.description()));
}

void TXmlDocument::LoadFromFile(const std::string& fileName) {
    std::vector<uint8_t> bytes = ReadFileBytes(fileName);
    pugi::xml_parse_result result = doc_.load_buffer(bytes.data(), bytes.size());
    if (!result)
        throw EConvertError(FormatStr("XML error in \"%s\" at offset %lld: %s", fileName.c_str(),
                                      static_cast<long long>(result.offset), result.description()));
}

std::string TXmlDocument::SaveToString() const {
    std::ostringstream out;
    doc_.save(out, "  ", pugi::format_default, pugi::encoding_utf8);
    return out.str();
}

void TXmlDocument::SaveToFile(const std::string& fileName) const {
    std::string text = SaveToString();
    WriteFileBytes(fileName, text.data(), text.size());
}
