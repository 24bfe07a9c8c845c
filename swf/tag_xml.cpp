#include "swf/tag_xml.h"

#include "swf/names.h"
#include "swf/tag_table.h"

std::string TagElementName(const TSWFObject& tag) {
    if (tag.TagCode == kErrorTagCode) return "tag" + std::to_string(tag.WrittenCode());
    return TagIdToName(tag.TagCode);
}

std::unique_ptr<TSWFObject> LoadTagElement(const TXmlNode& element, uint8_t version,
                                           TXMLReadWriteSettings& settings) {
    const std::string name = element.NodeName();
    int32_t code = TagNameToId(name);
    if (code < 0) return nullptr;
    std::unique_ptr<TSWFObject> tag;
    // "tag" and a code is the form of a raw tag, whose text is its body bytes,
    // even for a code that has a class: the body may be one that class could
    // not read.
    if (IsRawTagElementName(name)) {
        auto raw = std::make_unique<TSWFByteCodeTag>();
        raw->RealCode = static_cast<uint16_t>(code);
        tag = std::move(raw);
    } else {
        tag = CreateTagByCode(static_cast<uint16_t>(code));
        if (version != 0 && TagHasTrait(static_cast<uint16_t>(code), kNeedsVersion)) tag->SetSWFVersion(version);
    }
    tag->LoadFromXml(element, settings);
    return tag;
}

TXmlNode SaveTagElement(TXmlNode parent, TSWFObject& tag, TXMLReadWriteSettings& settings) {
    TXmlNode element = parent.AddChild(TagElementName(tag));
    tag.SaveToXml(element, settings);
    return element;
}

void SaveHeaderForm(TXmlNode element, bool longHeader) { element.SetAttrBool("LongHeader", longHeader); }

std::optional<bool> LoadHeaderForm(const TXmlNode& element) {
    if (!element.HasAttribute("LongHeader")) return std::nullopt;
    return element.AttrBool("LongHeader");
}
