#include "swf/tag.h"

#include <cstring>

#include "platform/paths.h"
#include "platform/stream.h"
#include "swf/tag_table.h"
#include "swf/xml_form.h"

bool TagNeedsLongHeader(uint16_t code) { return TagHasTrait(code, kAlwaysLongHeader); }

namespace {
// The memory stream that writing to stream appends to, when stream is one
// (or a tail of one) positioned at its end; otherwise null.
TMemoryStream* MemoryEnd(TStream& stream) {
    TMemoryStream* memory = dynamic_cast<TMemoryStream*>(&stream);
    if (!memory)
        if (auto* tail = dynamic_cast<TMemoryTailStream*>(&stream)) memory = &tail->Inner();
    if (!memory || stream.GetPosition() != stream.GetSize()) return nullptr;
    return memory;
}
}  // namespace

void WriteTagHeader(TStream& target, uint16_t code, int32_t bodySize, bool forceLong) {
    bool isLong = forceLong || bodySize >= 63;
    uint16_t header = static_cast<uint16_t>(code * 64 + (isLong ? 63 : bodySize));
    uint8_t bytes[6] = {static_cast<uint8_t>(header), static_cast<uint8_t>(header >> 8),
                        static_cast<uint8_t>(bodySize), static_cast<uint8_t>(bodySize >> 8),
                        static_cast<uint8_t>(bodySize >> 16), static_cast<uint8_t>(bodySize >> 24)};
    target.WriteBuffer(bytes, isLong ? 6 : 2);
}

std::vector<uint8_t> ReadRestOfBody(TBitsEngine& be, int64_t start, int64_t bodySize) {
    std::vector<uint8_t> rest;
    const int64_t left = start + bodySize - be.Stream.GetPosition();
    if (left > 0) {
        rest.resize(static_cast<size_t>(left));
        be.ReadBytes(rest.data(), left);
    }
    return rest;
}

void ThrowCopyOfAnotherKind(const std::string& target) {
    throw EConvertError("Cannot copy the fields of another kind of object into " + target);
}

void TSWFObject::CopyFieldsFrom(const TBasedSWFObject& source) {
    BodySize = SourceAs<TSWFObject>(source, *this).BodySize;
}

void TSWFObject::WriteTag(TBitsEngine& be) {
    uint16_t code = WrittenCode();
    if (code == TagCodes::End || code == TagCodes::ShowFrame) {
        be.WriteWord(static_cast<uint16_t>(code * 64));
        return;
    }
    be.FlushLastByte(true);
    const bool forceLong = TagNeedsLongHeader(code);
    if (TMemoryStream* target = MemoryEnd(be.Stream)) {
        // In memory the body is written in place behind room for a long
        // header; a body short enough for the short header moves back over
        // the four length bytes. No body is copied whole.
        const int64_t headerAt = target->GetSize();
        static const uint8_t room[6] = {};
        target->WriteBuffer(room, 6);
        TMemoryTailStream body(*target);
        TBitsEngine bodyEngine(body);
        WriteBody(bodyEngine);
        const int64_t size = body.GetSize();
        if (size > INT32_MAX) throw EWriteError("A tag body is larger than 2 GB");
        BodySize = static_cast<int32_t>(size);
        TMemoryStream header;
        WriteTagHeader(header, code, BodySize, forceLong);
        uint8_t* at = target->Memory() + headerAt;
        std::memcpy(at, header.Memory(), static_cast<size_t>(header.GetSize()));
        if (header.GetSize() < 6) {
            std::memmove(at + header.GetSize(), at + 6, static_cast<size_t>(size));
            target->SetSize(headerAt + header.GetSize() + size);
        }
        be.Stream.Seek(0, TSeekOrigin::End);
        return;
    }
    TMemoryStream body;
    TBitsEngine bodyEngine(body);
    WriteBody(bodyEngine);
    if (body.GetSize() > INT32_MAX) throw EWriteError("A tag body is larger than 2 GB");
    BodySize = static_cast<int32_t>(body.GetSize());
    WriteTagHeader(be.Stream, code, BodySize, forceLong);
    be.Stream.WriteBuffer(body.Memory(), BodySize);
}

bool FramedOddly(uint16_t code, int64_t bodySize, bool longHeader) {
    return longHeader != (bodySize >= 63 || TagNeedsLongHeader(code));
}

void WriteTagFramed(TBitsEngine& be, TSWFObject& tag, bool longHeader) {
    TMemoryStream body;
    TBitsEngine bodyEngine(body);
    tag.WriteBody(bodyEngine);
    bodyEngine.FlushLastByte(true);
    if (body.GetSize() > INT32_MAX) throw EWriteError("A tag body is larger than 2 GB");
    tag.BodySize = static_cast<int32_t>(body.GetSize());
    be.FlushLastByte(true);
    WriteTagHeader(be.Stream, tag.WrittenCode(), tag.BodySize, longHeader);
    be.Stream.WriteBuffer(body.Memory(), tag.BodySize);
}

void WriteTagFromStream(TStream& target, uint16_t code, TStream& body, int32_t length) {
    if (length == 0) {
        body.SetPosition(0);
        length = static_cast<int32_t>(body.GetSize());
    }
    WriteTagHeader(target, code, length, TagNeedsLongHeader(code));
    std::vector<uint8_t> bytes(static_cast<size_t>(length));
    body.ReadBuffer(bytes.data(), length);
    target.WriteBuffer(bytes.data(), length);
}

// ---------------------------------------------------------------- data tags

void TSWFDataObject::SetData(const void* data, int32_t size) {
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    SetData(std::vector<uint8_t>(bytes, bytes + (size > 0 ? size : 0)));
}

void TSWFDataObject::SetData(std::vector<uint8_t> bytes) {
    owned_ = std::move(bytes);
    borrowed_ = nullptr;
    dataSize_ = static_cast<int32_t>(owned_.size());
    OwnsData = true;
}

void TSWFDataObject::SetBorrowedData(const uint8_t* data, int32_t size) {
    owned_.clear();
    borrowed_ = data;
    dataSize_ = size;
    OwnsData = false;
}

void TSWFDataObject::ClearData() {
    owned_.clear();
    borrowed_ = nullptr;
    dataSize_ = 0;
}

void TSWFDataObject::CopyFieldsFrom(const TBasedSWFObject& source) {
    const auto& other = SourceAs<TSWFDataObject>(source, *this);
    TSWFObject::CopyFieldsFrom(source);
    if (other.OnWrite) {
        OnWrite = other.OnWrite;
    } else if (other.DataSize() > 0) {
        SetData(other.Data(), other.DataSize());
    }
}

void TSWFDataObject::ReadPayload(TBitsEngine& be, int32_t size) {
    if (size < 0 || size > be.Stream.Remaining())
        throw EReadError(FormatStr("Payload of %d bytes runs past the end of the tag", size));
    // Straight from the body when it is in memory: one copy, no zero fill.
    if (const uint8_t* at = be.Stream.ContiguousBytes(size)) {
        SetData(std::vector<uint8_t>(at, at + size));
        be.Stream.Seek(size, TSeekOrigin::Current);
        return;
    }
    std::vector<uint8_t> bytes(static_cast<size_t>(size));
    be.ReadBytes(bytes.data(), size);
    SetData(std::move(bytes));
}

void TSWFDataObject::WritePayload(TBitsEngine& be) {
    if (OnWrite) {
        OnWrite(*this, be);
        return;
    }
    if (DataSize() > 0) be.WriteBuffer(Data(), DataSize());
}

// ---------------------------------------------------------------- raw tags

void TSWFByteCodeTag::CopyFieldsFrom(const TBasedSWFObject& source) {
    TSWFDataObject::CopyFieldsFrom(source);
    // A copy keeps the code it has in the file and its name, so it is
    // written back as what it was.
    if (auto* raw = dynamic_cast<const TSWFByteCodeTag*>(&source)) {
        RealCode = raw->RealCode;
        Name = raw->Name;
    }
}

void TSWFByteCodeTag::ReadBody(TBitsEngine& be) { ReadPayload(be, BodySize); }

void TSWFByteCodeTag::WriteBody(TBitsEngine& be) { WritePayload(be); }

void TSWFByteCodeTag::WriteTag(TBitsEngine& be) { TSWFObject::WriteTag(be); }

void TSWFByteCodeTag::LoadFromXml(const TXmlNode& node, TXMLReadWriteSettings& settings) {
    if (node.HasAttribute("File")) {
        if (auto loaded = settings.LoadDataFile(kDataKindNotIdent, node.AttrStr("File"))) SetData(std::move(*loaded));
        return;
    }
    std::string text = node.Text();
    if (!text.empty()) SetData(HexStrToBin(text));
}

void TSWFByteCodeTag::SaveToXml(TXmlNode node, TXMLReadWriteSettings& settings) {
    if (DataSize() > 0 && (settings.Options & kXmlExternalRawTags)) {
        std::string name = settings.GetNewFileName(kDataKindNotIdent);
        size_t cut = name.size() >= 4 ? name.size() - 4 : 0;
        name = name.substr(0, cut) + "_" + std::to_string(RealCode) + name.substr(cut);
        node.SetAttr("File", settings.SaveDataFile(kDataKindNotIdent, Data(), static_cast<size_t>(DataSize()), name));
        return;
    }
    node.SetText(BinToHexStr(Data(), static_cast<size_t>(DataSize())));
}
