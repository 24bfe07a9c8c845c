#include "app/xml_document.h"

TAppXmlDocument::TAppXmlDocument(const WideString& text) {
    document_.LoadFromString(UcSystem::WideToUtf8(text), true);
}

WideString XmlNodeName(const TXmlNode& node) { return UcSystem::Utf8ToWide(node.Raw().name()); }

std::vector<TXmlNode> XmlItems(const TXmlNode& node) {
    std::vector<TXmlNode> items;
    for (pugi::xml_node child : node.Raw().children())
        if (child.type() == pugi::node_element) items.emplace_back(child);
    return items;
}

std::optional<WideString> XmlAttribute(const TXmlNode& node, const char* name) {
    pugi::xml_attribute attribute = node.Raw().attribute(name);
    if (!attribute) return std::nullopt;
    return UcSystem::Utf8ToWide(attribute.value());
}

std::optional<WideString> XmlNodeValue(const TXmlNode& node) {
    pugi::xml_node raw = node.Raw();
    if (!raw.first_child()) return std::nullopt;
    std::string text;
    for (pugi::xml_node child : raw.children()) {
        if (child.type() != pugi::node_pcdata && child.type() != pugi::node_cdata) return std::nullopt;
        text += child.value();
    }
    return UcSystem::Utf8ToWide(text);
}
