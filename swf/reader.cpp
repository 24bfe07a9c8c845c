#include "swf/reader.h"

#include <algorithm>
#include <cstring>

#include "platform/codepage.h"
#include "platform/diagnostics.h"
#include "platform/mathutil.h"
#include "platform/zstream.h"
#include "swf/control_tags.h"
#include "swf/names.h"
#include "swf/sound_tags.h"
#include "swf/tag_table.h"
#include "swf/tag_xml.h"

// ---------------------------------------------------------------- descriptor

TSWFTagInfo::TSWFTagInfo(uint16_t tagCode) : TagCode(tagCode) {}

TSWFTagInfo::~TSWFTagInfo() {
    Children.clear();  // they borrow objects owned by Object
}

void TSWFTagInfo::SetObject(std::unique_ptr<TSWFObject> obj) {
    Children.clear();  // they borrowed from the object being replaced
    owned_ = std::move(obj);
    Object = owned_.get();
}

void TSWFTagInfo::SetBorrowedObject(TSWFObject* obj) {
    if (owned_.get() != obj) {
        Children.clear();
        owned_.reset();
    }
    Object = obj;
}

std::unique_ptr<TSWFObject> TSWFTagInfo::ReleaseObject() {
    Children.clear();
    Object = nullptr;
    return std::move(owned_);
}

void TSWFTagInfo::AddChildrenOf(TSWFObject& sprite) {
    const auto* children = sprite.ChildTags();
    if (!children) return;
    for (const auto& child : *children) {
        auto info = std::make_unique<TSWFTagInfo>(child->TagCode);
        info->BodySize = child->BodySize;
        info->SetBorrowedObject(child.get());
        Children.push_back(std::move(info));
    }
}

// ---------------------------------------------------------------- loading

TSWFStreamReader::TSWFStreamReader() = default;

TSWFStreamReader::TSWFStreamReader(const std::string& fileName) {
    if (!fileName.empty()) LoadFromFile(fileName);
}

std::unique_ptr<TSWFStreamReader> TSWFStreamReader::CreateFromStream(TStream& stream) {
    auto reader = std::make_unique<TSWFStreamReader>();
    reader->LoadFromStream(stream);
    return reader;
}

bool TSWFStreamReader::CheckSignature(TStream& stream) {
    Valid = false;
    stream.SetPosition(0);
    char lead[4];
    if (stream.Read(lead, 4) == 4 && (lead[0] == 'F' || lead[0] == 'C') && lead[1] == 'W' && lead[2] == 'S') {
        Valid = true;
        Compressed = lead[0] == 'C';
    }
    return Valid;
}

void TSWFStreamReader::LoadFromFile(const std::string& fileName) {
    TFileStream file(fileName, TFileMode::OpenRead);
    LoadFromStream(file);
}

void TSWFStreamReader::LoadFromStream(TStream& stream) {
    if (!CheckSignature(stream)) return;
    stream.SetPosition(0);
    auto body = std::make_unique<TMemoryStream>();
    if (Compressed) {
        ReadHeader(stream, THeaderPart::Leading);
        if (FileLength <= 8)
            throw EReadError(
                FormatStr("Invalid SWF file: the header gives a file length of %u bytes", FileLength));
        // The frame header is read from the inflater and the body inflated
        // straight into its own buffer: the body is never copied.
        TDecompressionStream inflater(stream);
        const int64_t unpacked = static_cast<int64_t>(FileLength) - 8;
        int32_t headerSize = ReadHeader(inflater, THeaderPart::Frame);
        if (headerSize > unpacked) throw EReadError("Invalid SWF file: the file ends inside its header");
        body = std::make_unique<TMemoryStream>(InflateExactly(inflater, unpacked - headerSize));
        LoadedFileBytes = 8 + headerSize + body->GetSize();
    } else {
        int32_t headerSize = ReadHeader(stream, THeaderPart::Whole);
        LoadedFileBytes = stream.GetSize();
        int64_t rest = stream.GetSize() - headerSize;
        std::vector<uint8_t> bytes(static_cast<size_t>(std::max<int64_t>(0, rest)));
        stream.ReadBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
        body = std::make_unique<TMemoryStream>(std::move(bytes));
    }
    SetBodyStream(std::move(body));
    KeepDeclaredLength();
}

// ---------------------------------------------------------------- parsing

static void GiveContext(TSWFObject& obj, uint16_t code, const TTagReadContext& context) {
    const TTagDescriptor* row = FindTagDescriptor(code);
    if (!row) return;
    if (row->Has(kNeedsParseActions)) obj.SetParseActions(context.ParseActions);
    if (row->Has(kNeedsVersion)) obj.SetSWFVersion(context.SWFVersion);
    if (row->Has(kNeedsStreamSoundFormat)) obj.SetStreamSoundFormat(context.StreamSoundFormat);
}

bool ReadTagObject(std::unique_ptr<TSWFObject>& obj, uint16_t code, TStream& body, int64_t start, int32_t size,
                   TTagReadContext& context) {
    GiveContext(*obj, code, context);
    obj->BodySize = size;
    try {
        TBoundedStream view(body, start, size);
        TBitsEngine be(view);
        obj->ReadBody(be);
        if (auto* head = dynamic_cast<const TSWFSoundStreamHead*>(obj.get()))
            context.StreamSoundFormat = head->StreamSoundCompression;
        return true;
    } catch (const std::exception& failure) {
        auto raw = std::make_unique<TSWFByteCodeTag>();
        raw->Name = failure.what();
        raw->RealCode = code;
        raw->BodySize = size;
        TBoundedStream view(body, start, size);
        TBitsEngine be(view);
        raw->ReadBody(be);
        obj = std::move(raw);
        return false;
    }
}

void TSWFStreamReader::ParseTags(bool parseObjects, bool parseActions) {
    Tags.clear();
    TMemoryStream& body = GetBodyStream();
    const int64_t size = body.GetSize();
    int64_t position = 0;
    uint16_t frame = 1;
    TTagReadContext context{parseActions, Version, 0};

    while (position + 2 <= size) {
        if (OnProgress) ReportProgress(static_cast<int32_t>(RoundHalfEven(double(position) / size * 100.0)), kProgressSplitting);
        const uint8_t* at = body.Memory() + position;
        uint16_t header = static_cast<uint16_t>(at[0] | at[1] << 8);
        auto info = std::make_unique<TSWFTagInfo>(static_cast<uint16_t>(header >> 6));
        info->Offset = static_cast<int32_t>(position);
        position += 2;
        int64_t bodySize = header & 0x3F;
        if (bodySize == 0x3F) {
            info->LongHeader = true;
            if (position + 4 > size) {
                // The length itself is cut off: keep what is left as the body.
                bodySize = size - position;
                info->LongHeader = false;
            } else {
                const uint8_t* l = body.Memory() + position;
                bodySize = uint32_t(l[0]) | uint32_t(l[1]) << 8 | uint32_t(l[2]) << 16 | uint32_t(l[3]) << 24;
                position += 4;
            }
        }
        // A length that runs past the body ends the loop after this tag; its
        // body is what the file still holds.
        bool runsPast = bodySize > size - position;
        if (runsPast) bodySize = size - position;
        info->BodySize = static_cast<int32_t>(bodySize);
        info->KeepFraming = FramedOddly(info->TagCode, bodySize, info->LongHeader);
        info->Frame = frame;
        if (info->TagCode == TagCodes::ShowFrame) ++frame;
        const int64_t start = position;

        bool parse = parseObjects;
        if (parse && OnBeforeParseTag) OnBeforeParseTag(*info, parse);
        std::unique_ptr<TSWFObject> obj;
        if (parse) obj = CreateTagByCode(info->TagCode);
        bool read = false;
        // An empty body is read too: a tag that takes it (an empty DoAction)
        // must not be written back with fields it never had.
        if (obj) {
            read = ReadTagObject(obj, info->TagCode, body, start, info->BodySize, context);
            if (!read) info->TagCode = kErrorTagCode;
        }
        if (obj) info->SetObject(std::move(obj));
        if (read) info->AddChildrenOf(*info->Object);
        position = start + bodySize;
        Tags.push_back(std::move(info));
        if (runsPast) break;
    }
}

// ---------------------------------------------------------------- look-ups

int32_t TSWFStreamReader::GetFrameTagIndex(uint16_t frame) {
    if (frame == 0 || Tags.empty()) return 0;
    uint16_t seen = 0;
    for (size_t i = 0; i < Tags.size(); ++i)
        if (Tags[i]->TagCode == TagCodes::ShowFrame && ++seen == frame) return static_cast<int32_t>(i);
    return static_cast<int32_t>(Tags.size() - 1);
}

int32_t TSWFStreamReader::FindCharacterTag(uint16_t characterId) {
    size_t count = std::min<size_t>(Tags.size(), 65536);
    for (size_t i = 0; i < count; ++i) {
        const TSWFTagInfo& info = *Tags[i];
        if (!info.Object) continue;
        uint16_t code = info.Object->TagCode;
        if (code == TagCodes::ImportAssets || code == TagCodes::ImportAssets2) {
            if (auto* imports = dynamic_cast<const TSWFImportAssets*>(info.Object))
                for (const TSWFAssetEntry& asset : imports->Assets)
                    if (asset.Id == characterId) return static_cast<int32_t>(i);
        } else if (TagHasTrait(code, kDefinesCharacter) && info.Object->CharacterId() == characterId) {
            return static_cast<int32_t>(i);
        }
    }
    return -1;
}

TSWFObject* TSWFStreamReader::GetCharacterObject(uint16_t characterId) {
    int32_t index = FindCharacterTag(characterId);
    return index < 0 ? nullptr : Tags[static_cast<size_t>(index)]->Object;
}

TSWFObject* TSWFStreamReader::FindObjectByName(const std::string& name) {
    for (const auto& info : Tags) {
        TSWFObject* obj = info->Object;
        if (!obj) continue;
        TPlacementInfo placement;
        if (obj->GetPlacementInfo(placement) && placement.HasName &&
            placement.Name == name) {
            if (TSWFObject* found = GetCharacterObject(placement.CharacterId)) return found;
        } else if (obj->ChildTags()) {
            for (const auto& child : *obj->ChildTags()) {
                TPlacementInfo inner;
                if (child->GetPlacementInfo(inner) &&
                    inner.HasName && inner.HasCharacter && inner.Name == name)
                    if (TSWFObject* found = GetCharacterObject(inner.CharacterId)) return found;
            }
        } else if (obj->TagCode == TagCodes::ExportAssets) {
            for (const TSWFAssetEntry& asset : static_cast<TSWFExportAssets*>(obj)->Assets)
                if (asset.Name == name)
                    if (TSWFObject* found = GetCharacterObject(asset.Id)) return found;
        }
    }
    return nullptr;
}

// ---------------------------------------------------------------- writing

void TSWFStreamReader::MakeStream() {
    auto out = std::make_unique<TMemoryStream>();
    out->Reserve(GetBodyStream().GetSize() + 1024);
    TBitsEngine be(*out);
    TMemoryStream& current = GetBodyStream();
    const size_t n = Tags.size();
    for (size_t i = 0; i < n; ++i) {
        if (OnProgress) ReportProgress(static_cast<int32_t>(RoundHalfEven(double(i + 1) / n * 100.0)), kProgressBuilding);
        TSWFTagInfo& info = *Tags[i];
        if (info.Object && info.KeepFraming) {
            WriteTagFramed(be, *info.Object, info.LongHeader);
        } else if (info.Object) {
            info.Object->WriteTag(be);
        } else {
            int64_t end = int64_t(info.Offset) + info.GetFullSize();
            if (info.Offset < 0 || end > current.GetSize())
                throw EWriteError("A tag descriptor points outside the body it was read from");
            out->WriteBuffer(current.Memory() + info.Offset, info.GetFullSize());
        }
    }
    SetBodyStream(std::move(out));
}

// ---------------------------------------------------------------- XML form

bool TSWFStreamReader::LoadFromXml(const TXmlNode& node, bool readHeader) {
    TXmlNode root = node.ChildNode("SWF");
    if (!root) return false;
    SetSystemCoord(!AnsiSameText(root.AttrStrDef("SystemCoord", ""), "Twips"));
    Settings.SetCoordDivisor(UnitFactor);
    if (readHeader) {
        ReadHeaderAttrs(Settings, root, false, true);
        FrameCount = 0;
        Tags.clear();
    }
    bool result = true;
    std::vector<TXmlNode> elements = root.ChildElements();
    const size_t n = elements.size();
    for (size_t i = 0; i < n; ++i) {
        if (OnProgress) ReportProgress(static_cast<int32_t>(RoundHalfEven(double(i + 1) / n * 100.0)), kProgressLoadingXml);
        try {
            std::unique_ptr<TSWFObject> tag = LoadTagElement(elements[i], Version, Settings);
            if (!tag) continue;
            auto info = std::make_unique<TSWFTagInfo>(tag->TagCode == kErrorTagCode ? tag->WrittenCode() : tag->TagCode);
            if (std::optional<bool> longHeader = LoadHeaderForm(elements[i])) {
                info->LongHeader = *longHeader;
                info->KeepFraming = true;
            }
            if (tag->TagCode == TagCodes::ShowFrame) ++FrameCount;
            info->SetObject(std::move(tag));
            info->AddChildrenOf(*info->Object);
            Tags.push_back(std::move(info));
        } catch (const std::exception&) {
            result = false;
            ShowMessageBox("", FormatStr("Error reading node: %d\r %s", static_cast<int>(i),
                                         elements[i].XmlText().c_str()));
        }
    }
    // The count the file had, which producers do not always make the number
    // of frames; without one, the frames are counted.
    if (readHeader && root.HasAttribute("FrameCount")) FrameCount = static_cast<uint16_t>(root.AttrInt("FrameCount"));
    return result;
}

void TSWFStreamReader::SaveToXml(TXmlNode node) {
    Settings.SetCoordDivisor(UnitFactor);
    TXmlNode root = node.AddChild("SWF");
    root.SetAttr("SystemCoord", UsePixels ? "Pix" : "Twips");
    WriteRectAttrs(Settings, root, Bounds);
    root.SetAttr("FPS", static_cast<double>(GetFrameRate()));
    root.SetAttr("Version", static_cast<int64_t>(Version));
    root.SetAttrBool("Compressed", Compressed);
    root.SetAttr("FrameCount", static_cast<int>(FrameCount));
    TMemoryStream& body = GetBodyStream();
    for (const auto& info : Tags) {
        if (info->Object) {
            TXmlNode element = SaveTagElement(root, *info->Object, Settings);
            if (info->KeepFraming) SaveHeaderForm(element, info->LongHeader);
        } else {
            // A tag that was not parsed is kept as its body bytes.
            TSWFByteCodeTag raw;
            raw.RealCode = info->TagCode;
            int64_t start = int64_t(info->Offset) + info->GetFullSize() - info->BodySize;
            raw.SetBorrowedData(body.Memory() + start, info->BodySize);
            TXmlNode element = root.AddChild("tag" + std::to_string(info->TagCode));
            raw.SaveToXml(element, Settings);
            if (info->KeepFraming) SaveHeaderForm(element, info->LongHeader);
        }
    }
}
