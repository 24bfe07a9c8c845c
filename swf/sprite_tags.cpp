#include "swf/sprite_tags.h"

#include <algorithm>

#include "platform/errors.h"
#include "swf/control_tags.h"
#include "swf/names.h"
#include "swf/tag_xml.h"
#include "swf/reader.h"
#include "swf/xml_form.h"

// ---------------------------------------------------------------- DefineSprite

void TSWFDefineSprite::CopyFieldsFrom(const TBasedSWFObject& source) {
    const auto& other = SourceAs<TSWFDefineSprite>(source, *this);
    if (&other == this) return;
    TSWFObject::CopyFieldsFrom(source);
    SpriteID = other.SpriteID;
    FrameCount = other.FrameCount;
    SWFVersion = other.SWFVersion;
    ParseActions = other.ParseActions;
    ControlTags.clear();
    framing_.clear();
    for (const auto& child : other.ControlTags) {
        ControlTags.push_back(CloneTag(*child));
        auto kept = other.framing_.find(child.get());
        if (kept != other.framing_.end()) framing_[ControlTags.back().get()] = kept->second;
    }
}

int TSWFDefineSprite::RequiredVersion() const {
    int version = 3;
    for (const auto& child : ControlTags) version = std::max(version, child->RequiredVersion());
    return version;
}

void TSWFDefineSprite::ReadBody(TBitsEngine& be) {
    TStream& stream = be.Stream;
    const int64_t start = stream.GetPosition();
    const int64_t end = start + BodySize;
    if (BodySize < 0 || end > stream.GetSize()) throw EReadError("The sprite's body runs past the end of its tag");
    SpriteID = be.ReadWord();
    FrameCount = be.ReadWord();
    ControlTags.clear();
    framing_.clear();
    // A sprite has a stream sound of its own, none until its own head.
    TTagReadContext context{ParseActions, SWFVersion, 0};
    for (;;) {
        if (stream.GetPosition() + 2 > end) throw EReadError("The sprite's tags end without an End tag");
        uint16_t header = be.ReadWord();
        if (header == 0) {
            ControlTags.push_back(CreateTagByCode(TagCodes::End));
            break;
        }
        uint16_t code = header >> 6;
        int64_t size = header & 0x3F;
        const bool longHeader = size == 0x3F;
        if (longHeader) {
            if (stream.GetPosition() + 4 > end) throw EReadError("A tag header of the sprite is cut short");
            size = be.ReadDWord();
        }
        const int64_t childStart = stream.GetPosition();
        if (size > end - childStart)
            throw EReadError(FormatStr("Tag %d of the sprite runs past the sprite's end", code));
        std::unique_ptr<TSWFObject> child = CreateTagByCode(code);
        child->BodySize = static_cast<int32_t>(size);
        ReadTagObject(child, code, stream, childStart, static_cast<int32_t>(size), context);
        // Whatever the child's reader consumed, the next child starts where
        // this one's header says it ends.
        stream.SetPosition(childStart + size);
        if (FramedOddly(code, size, longHeader)) framing_[child.get()] = longHeader;
        ControlTags.push_back(std::move(child));
    }
    // Bytes after the End tag would be lost when the sprite is written again:
    // such a sprite is better kept whole as a raw tag.
    if (stream.GetPosition() != end)
        throw EReadError(FormatStr("%d bytes follow the sprite's End tag", static_cast<int>(end - stream.GetPosition())));
}

void TSWFDefineSprite::WriteBody(TBitsEngine& be) {
    be.WriteWord(SpriteID);
    be.WriteWord(FrameCount);
    for (const auto& child : ControlTags) {
        auto kept = framing_.find(child.get());
        if (kept == framing_.end()) child->WriteTag(be);
        else WriteTagFramed(be, *child, kept->second);
    }
    if (ControlTags.empty() || ControlTags.back()->TagCode != TagCodes::End) be.WriteWord(0);
}

void TSWFDefineSprite::LoadFromXml(const TXmlNode& node, TXMLReadWriteSettings& settings) {
    SpriteID = static_cast<uint16_t>(node.AttrInt("ID"));
    FrameCount = 0;
    for (const TXmlNode& element : node.ChildElements()) {
        std::unique_ptr<TSWFObject> child = LoadTagElement(element, SWFVersion, settings);
        if (!child) continue;
        if (std::optional<bool> longHeader = LoadHeaderForm(element)) framing_[child.get()] = *longHeader;
        if (child->TagCode == TagCodes::ShowFrame) ++FrameCount;
        ControlTags.push_back(std::move(child));
    }
    // Kept as the file had it; counted only when the document has none.
    if (node.HasAttribute("FrameCount")) FrameCount = static_cast<uint16_t>(node.AttrInt("FrameCount"));
}

void TSWFDefineSprite::SaveToXml(TXmlNode node, TXMLReadWriteSettings& settings) {
    node.SetAttr("ID", static_cast<int>(SpriteID));
    node.SetAttr("FrameCount", static_cast<int>(FrameCount));
    for (const auto& child : ControlTags) {
        TXmlNode element = SaveTagElement(node, *child, settings);
        auto kept = framing_.find(child.get());
        if (kept != framing_.end()) SaveHeaderForm(element, kept->second);
    }
}

// ---------------------------------------------------------------- DefineSceneAndFrameLabelData

void TSWFDefineSceneAndFrameLabelData::CopyFieldsFrom(const TBasedSWFObject& source) {
    const auto& other = SourceAs<TSWFDefineSceneAndFrameLabelData>(source, *this);
    TSWFObject::CopyFieldsFrom(source);
    Scenes = other.Scenes;
    FrameLabels = other.FrameLabels;
}

// Names are 8-bit bytes both ways: no UTF-8 conversion. The counts are not
// trusted for room: each entry is read before it is kept.
void TSWFDefineSceneAndFrameLabelData::ReadBody(TBitsEngine& be) {
    Scenes.clear();
    FrameLabels.clear();
    uint32_t sceneCount = be.ReadEncodedU32();
    for (uint32_t i = 0; i < sceneCount; ++i) {
        TSWFSceneEntry scene;
        scene.Offset = be.ReadEncodedU32();
        scene.Name = be.ReadString();
        Scenes.push_back(std::move(scene));
    }
    uint32_t labelCount = be.ReadEncodedU32();
    for (uint32_t i = 0; i < labelCount; ++i) {
        TSWFFrameLabelEntry label;
        label.FrameNum = be.ReadEncodedU32();
        label.Label = be.ReadString();
        FrameLabels.push_back(std::move(label));
    }
}

void TSWFDefineSceneAndFrameLabelData::WriteBody(TBitsEngine& be) {
    be.WriteEncodedU32(static_cast<uint32_t>(Scenes.size()));
    for (const TSWFSceneEntry& scene : Scenes) {
        be.WriteEncodedU32(scene.Offset);
        be.WriteString(scene.Name, true, false);
    }
    be.WriteEncodedU32(static_cast<uint32_t>(FrameLabels.size()));
    for (const TSWFFrameLabelEntry& label : FrameLabels) {
        be.WriteEncodedU32(label.FrameNum);
        be.WriteString(label.Label, true, false);
    }
}

void TSWFDefineSceneAndFrameLabelData::LoadFromXml(const TXmlNode& node, TXMLReadWriteSettings&) {
    for (const TXmlNode& child : node.ChildElements()) {
        if (child.NodeName() == "Scene") {
            Scenes.push_back({static_cast<uint32_t>(child.AttrIntDef("Offset", 0)), child.AttrStr("Name")});
        } else {
            FrameLabels.push_back({static_cast<uint32_t>(child.AttrInt("FrameNum")), child.AttrStr("Label")});
        }
    }
}

void TSWFDefineSceneAndFrameLabelData::SaveToXml(TXmlNode node, TXMLReadWriteSettings&) {
    for (const TSWFSceneEntry& scene : Scenes) {
        TXmlNode child = node.AddChild("Scene");
        child.SetAttr("Name", scene.Name);
        // Kept so that a scene does not move to frame 0 through the document.
        child.SetAttr("Offset", static_cast<int64_t>(scene.Offset));
    }
    for (const TSWFFrameLabelEntry& label : FrameLabels) {
        TXmlNode child = node.AddChild("Frame");
        child.SetAttr("FrameNum", static_cast<int64_t>(label.FrameNum));
        child.SetAttr("Label", label.Label);
    }
}
