#include "swf/video_tags.h"

#include "swf/xml_form.h"

// ---------------------------------------------------------------- DefineVideoStream

void TSWFDefineVideoStream::CopyFieldsFrom(const TBasedSWFObject& source) {
    const auto& other = SourceAs<TSWFDefineVideoStream>(source, *this);
    TSWFObject::CopyFieldsFrom(source);
    CharacterID = other.CharacterID;
    NumFrames = other.NumFrames;
    Width = other.Width;
    Height = other.Height;
    VideoFlagsDeblocking = other.VideoFlagsDeblocking;
    VideoFlagsSmoothing = other.VideoFlagsSmoothing;
    CodecID = other.CodecID;
}

void TSWFDefineVideoStream::ReadBody(TBitsEngine& be) {
    CharacterID = be.ReadWord();
    NumFrames = be.ReadWord();
    Width = be.ReadWord();
    Height = be.ReadWord();
    uint8_t flags = be.ReadByte();
    VideoFlagsDeblocking = (flags >> 1) & 0x07;
    VideoFlagsSmoothing = (flags & 0x01) != 0;
    CodecID = be.ReadByte();
}

void TSWFDefineVideoStream::WriteBody(TBitsEngine& be) {
    be.WriteWord(CharacterID);
    be.WriteWord(NumFrames);
    be.WriteWord(Width);
    be.WriteWord(Height);
    be.WriteByte(static_cast<uint8_t>((VideoFlagsDeblocking & 0x07) << 1 | (VideoFlagsSmoothing ? 1 : 0)));
    be.WriteByte(CodecID);
}

void TSWFDefineVideoStream::LoadFromXml(const TXmlNode& node, TXMLReadWriteSettings&) {
    CharacterID = static_cast<uint16_t>(node.AttrInt("ID"));
    Width = static_cast<uint16_t>(node.AttrInt("Width"));
    Height = static_cast<uint16_t>(node.AttrInt("Height"));
    NumFrames = static_cast<uint16_t>(node.AttrInt("NumFrames"));
    CodecID = static_cast<uint8_t>(node.AttrInt("Codec"));
    VideoFlagsDeblocking = static_cast<uint8_t>(node.AttrInt("VideoFlagsDeblocking") & 0x07);
    VideoFlagsSmoothing = node.AttrBool("VideoFlagsSmoothing");
}

void TSWFDefineVideoStream::SaveToXml(TXmlNode node, TXMLReadWriteSettings&) {
    node.SetAttr("ID", static_cast<int>(CharacterID));
    node.SetAttr("Width", static_cast<int>(Width));
    node.SetAttr("Height", static_cast<int>(Height));
    node.SetAttr("NumFrames", static_cast<int>(NumFrames));
    node.SetAttr("Codec", static_cast<int>(CodecID));
    node.SetAttr("VideoFlagsDeblocking", static_cast<int>(VideoFlagsDeblocking));
    node.SetAttrBool("VideoFlagsSmoothing", VideoFlagsSmoothing);
}

// ---------------------------------------------------------------- VideoFrame

void TSWFVideoFrame::CopyFieldsFrom(const TBasedSWFObject& source) {
    const auto& other = SourceAs<TSWFVideoFrame>(source, *this);
    TSWFDataObject::CopyFieldsFrom(source);
    StreamID = other.StreamID;
    FrameNum = other.FrameNum;
}

void TSWFVideoFrame::ReadBody(TBitsEngine& be) {
    StreamID = be.ReadWord();
    FrameNum = be.ReadWord();
    ReadPayload(be, BodySize - 4);
}

void TSWFVideoFrame::WriteBody(TBitsEngine& be) {
    be.WriteWord(StreamID);
    be.WriteWord(FrameNum);
    WritePayload(be);
}

void TSWFVideoFrame::LoadFromXml(const TXmlNode& node, TXMLReadWriteSettings& settings) {
    StreamID = static_cast<uint16_t>(node.AttrInt("ID"));
    FrameNum = static_cast<uint16_t>(node.AttrInt("NumFrames"));
    if (node.HasAttribute("File")) {
        if (auto bytes = settings.LoadDataFile(kDataKindVideo, node.AttrStr("File"))) SetData(std::move(*bytes));
        else ClearData();
    } else if (std::string text = node.Text(); !text.empty()) {
        SetData(HexStrToBin(text));
    }
}

void TSWFVideoFrame::SaveToXml(TXmlNode node, TXMLReadWriteSettings& settings) {
    node.SetAttr("ID", static_cast<int>(StreamID));
    node.SetAttr("NumFrames", static_cast<int>(FrameNum));
    if (DataSize() <= 0) return;
    if (settings.Options & kXmlExternalVideo)
        node.SetAttr("File", settings.SaveDataFile(kDataKindVideo, Data(), static_cast<size_t>(DataSize())));
    else
        node.SetText(BinToHexStr(Data(), static_cast<size_t>(DataSize())));
}
