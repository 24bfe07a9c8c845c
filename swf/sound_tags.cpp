#include "swf/sound_tags.h"

#include "platform/errors.h"
#include "platform/paths.h"
#include "swf/xml_form.h"

namespace {

// format/compression in bits 7-4, rate in bits 3-2, 16-bit 0x02, stereo 0x01.
uint8_t PackSoundByte(uint8_t format, uint8_t rate, bool size16, bool stereo) {
    return static_cast<uint8_t>((format & 0x0F) << 4 | (rate & 0x03) << 2 | (size16 ? 0x02 : 0) | (stereo ? 0x01 : 0));
}

void SaveSoundData(const TSWFDataObject& tag, TXmlNode node, TXMLReadWriteSettings& settings) {
    if (tag.DataSize() <= 0) return;
    if (settings.Options & kXmlExternalSounds) {
        node.SetAttr("File", settings.SaveDataFile(kDataKindSound, tag.Data(), static_cast<size_t>(tag.DataSize())));
        return;
    }
    node.SetText(BinToHexStr(tag.Data(), static_cast<size_t>(tag.DataSize())));
}

void LoadSoundData(TSWFDataObject& tag, const TXmlNode& node, TXMLReadWriteSettings& settings) {
    if (node.HasAttribute("File")) {
        if (auto loaded = settings.LoadDataFile(kDataKindSound, node.AttrStr("File"))) tag.SetData(std::move(*loaded));
        return;
    }
    std::string text = node.Text();
    if (!text.empty()) tag.SetData(HexStrToBin(text));
}

}  // namespace

// ---------------------------------------------------------------- DefineSound

void TSWFDefineSound::CopyFieldsFrom(const TBasedSWFObject& source) {
    const auto& other = SourceAs<TSWFDefineSound>(source, *this);
    TSWFDataObject::CopyFieldsFrom(source);
    SoundId = other.SoundId;
    SoundFormat = other.SoundFormat;
    SoundRate = other.SoundRate;
    SoundSize = other.SoundSize;
    SoundType = other.SoundType;
    SampleCount = other.SampleCount;
    SeekSamples = other.SeekSamples;
}

int TSWFDefineSound::RequiredVersion() const {
    switch (SoundFormat) {
        case 2: case 3: return 4;
        case 6: return 6;
        default: return 1;
    }
}

void TSWFDefineSound::ReadBody(TBitsEngine& be) {
    int64_t start = be.Stream.GetPosition();
    SoundId = be.ReadWord();
    uint8_t b = be.ReadByte();
    SoundFormat = b >> 4;
    SoundRate = (b >> 2) & 3;
    SoundSize = b & 0x02;
    SoundType = b & 0x01;
    SampleCount = be.ReadDWord();
    if (SoundFormat == kSoundFormatMP3) SeekSamples = static_cast<int16_t>(be.ReadWord());
    ReadPayload(be, static_cast<int32_t>(start + BodySize - be.Stream.GetPosition()));
}

void TSWFDefineSound::WriteBody(TBitsEngine& be) {
    be.WriteWord(SoundId);
    be.WriteByte(PackSoundByte(SoundFormat, SoundRate, SoundSize, SoundType));
    be.WriteDWord(SampleCount);
    if (SoundFormat == kSoundFormatMP3) be.WriteWord(static_cast<uint16_t>(SeekSamples));
    WritePayload(be);
}

void TSWFDefineSound::LoadFromXml(const TXmlNode& node, TXMLReadWriteSettings& settings) {
    SoundId = static_cast<uint16_t>(node.AttrInt("ID"));
    SoundFormat = static_cast<uint8_t>(node.AttrInt("SoundFormat") & 0x0F);
    SoundRate = static_cast<uint8_t>(node.AttrInt("SoundRate") & 0x03);
    SoundSize = node.AttrBool("SoundSize");
    SoundType = node.AttrBool("SoundType");
    SampleCount = static_cast<uint32_t>(node.AttrInt("SampleCount"));
    if (SoundFormat == kSoundFormatMP3) SeekSamples = static_cast<int16_t>(node.AttrInt("SeekSamples"));
    LoadSoundData(*this, node, settings);
}

void TSWFDefineSound::SaveToXml(TXmlNode node, TXMLReadWriteSettings& settings) {
    node.SetAttr("ID", static_cast<int>(SoundId));
    node.SetAttr("SoundFormat", static_cast<int>(SoundFormat));
    node.SetAttr("SoundRate", static_cast<int>(SoundRate));
    node.SetAttrBool("SoundSize", SoundSize);
    node.SetAttrBool("SoundType", SoundType);
    node.SetAttr("SampleCount", static_cast<int64_t>(SampleCount));
    if (SoundFormat == kSoundFormatMP3) node.SetAttr("SeekSamples", static_cast<int>(SeekSamples));
    SaveSoundData(*this, node, settings);
}

// ---------------------------------------------------------------- StartSound, StartSound2

void TSWFStartSound::SetInPoint(uint32_t value) {
    InPoint = value;
    HasInPoint = value != 0;
}

void TSWFStartSound::SetOutPoint(uint32_t value) {
    OutPoint = value;
    HasOutPoint = value != 0;
}

void TSWFStartSound::SetLoopCount(uint16_t value) {
    LoopCount = value;
    HasLoops = value != 0;
}

void TSWFStartSound::ReadSoundInfo(TBitsEngine& be) {
    uint8_t flags = be.ReadByte();
    SyncStop = flags & 0x20;
    SyncNoMultiple = flags & 0x10;
    HasEnvelope = flags & 0x08;
    HasLoops = flags & 0x04;
    HasOutPoint = flags & 0x02;
    HasInPoint = flags & 0x01;
    if (HasInPoint) SetInPoint(be.ReadDWord());
    if (HasOutPoint) SetOutPoint(be.ReadDWord());
    if (HasLoops) SetLoopCount(be.ReadWord());
    SoundEnvelopes.clear();
    if (HasEnvelope) {
        uint8_t count = be.ReadByte();
        if (int64_t(count) * 8 > be.Stream.Remaining())
            throw EReadError(FormatStr("%d envelope points run past the end of the tag", count));
        SoundEnvelopes.resize(count);
        for (TSWFSoundEnvelope& point : SoundEnvelopes) {
            point.Pos44 = be.ReadDWord();
            point.LeftLevel = be.ReadWord();
            point.RightLevel = be.ReadWord();
        }
    }
}

void TSWFStartSound::WriteSoundInfo(TBitsEngine& be) {
    HasEnvelope = HasEnvelope && !SoundEnvelopes.empty();
    if (SoundEnvelopes.size() > 255 && HasEnvelope)
        throw EWriteError(FormatStr("A sound envelope holds at most 255 points, this one has %zu", SoundEnvelopes.size()));
    be.WriteByte(static_cast<uint8_t>((SyncStop ? 0x20 : 0) | (SyncNoMultiple ? 0x10 : 0) | (HasEnvelope ? 0x08 : 0) |
                                      (HasLoops ? 0x04 : 0) | (HasOutPoint ? 0x02 : 0) | (HasInPoint ? 0x01 : 0)));
    if (HasInPoint) be.WriteDWord(InPoint);
    if (HasOutPoint) be.WriteDWord(OutPoint);
    if (HasLoops) be.WriteWord(LoopCount);
    if (HasEnvelope) {
        be.WriteByte(static_cast<uint8_t>(SoundEnvelopes.size()));
        for (const TSWFSoundEnvelope& point : SoundEnvelopes) {
            be.WriteDWord(point.Pos44);
            be.WriteWord(point.LeftLevel);
            be.WriteWord(point.RightLevel);
        }
    }
}

void TSWFStartSound::LoadSoundInfoXml(const TXmlNode& node) {
    SyncStop = node.AttrBool("SyncStop");
    SyncNoMultiple = node.AttrBool("SyncNoMultiple");
    if (node.HasAttribute("LoopCount")) SetLoopCount(static_cast<uint16_t>(node.AttrInt("LoopCount")));
    if (node.HasAttribute("InPoint")) SetInPoint(static_cast<uint32_t>(node.AttrInt("InPoint")));
    if (node.HasAttribute("OutPoint")) SetOutPoint(static_cast<uint32_t>(node.AttrInt("OutPoint")));
    for (const TXmlNode& child : node.ChildElements()) {
        TSWFSoundEnvelope point;
        point.Pos44 = static_cast<uint32_t>(child.AttrInt("Pos44"));
        point.LeftLevel = static_cast<uint16_t>(child.AttrInt("LeftLevel"));
        point.RightLevel = static_cast<uint16_t>(child.AttrInt("RightLevel"));
        SoundEnvelopes.push_back(point);
        HasEnvelope = true;
    }
}

void TSWFStartSound::SaveSoundInfoXml(TXmlNode node) const {
    node.SetAttrBool("SyncStop", SyncStop);
    node.SetAttrBool("SyncNoMultiple", SyncNoMultiple);
    if (HasLoops) node.SetAttr("LoopCount", static_cast<int>(LoopCount));
    if (HasInPoint) node.SetAttr("InPoint", static_cast<int64_t>(InPoint));
    if (HasOutPoint) node.SetAttr("OutPoint", static_cast<int64_t>(OutPoint));
    if (HasEnvelope)
        for (const TSWFSoundEnvelope& point : SoundEnvelopes) {
            TXmlNode child = node.AddChild("Envelope");
            child.SetAttr("Pos44", static_cast<int64_t>(point.Pos44));
            child.SetAttr("LeftLevel", static_cast<int>(point.LeftLevel));
            child.SetAttr("RightLevel", static_cast<int>(point.RightLevel));
        }
}

void TSWFStartSound::CopyFieldsFrom(const TBasedSWFObject& source) {
    const auto& other = SourceAs<TSWFStartSound>(source, *this);
    TSWFObject::CopyFieldsFrom(source);
    SoundId = other.SoundId;
    SoundClassName = other.SoundClassName;
    SyncStop = other.SyncStop;
    SyncNoMultiple = other.SyncNoMultiple;
    HasInPoint = other.HasInPoint;
    InPoint = other.InPoint;
    HasOutPoint = other.HasOutPoint;
    OutPoint = other.OutPoint;
    HasLoops = other.HasLoops;
    LoopCount = other.LoopCount;
    HasEnvelope = other.HasEnvelope;
    SoundEnvelopes.clear();
    if (HasEnvelope) SoundEnvelopes = other.SoundEnvelopes;
}

// StartSound2 names its sound by class: 8-bit bytes, no UTF-8 conversion.
void TSWFStartSound::ReadBody(TBitsEngine& be) {
    if (TagCode == TagCodes::StartSound2) SoundClassName = be.ReadString();
    else SoundId = be.ReadWord();
    ReadSoundInfo(be);
}

void TSWFStartSound::WriteBody(TBitsEngine& be) {
    if (TagCode == TagCodes::StartSound2) be.WriteString(SoundClassName, true, false);
    else be.WriteWord(SoundId);
    WriteSoundInfo(be);
}

void TSWFStartSound::LoadFromXml(const TXmlNode& node, TXMLReadWriteSettings&) {
    if (TagCode == TagCodes::StartSound2) {
        if (node.HasAttribute("ClassName")) SoundClassName = node.AttrStr("ClassName");
    } else if (node.HasAttribute("ID")) {
        SoundId = static_cast<uint16_t>(node.AttrInt("ID"));
    }
    LoadSoundInfoXml(node);
}

void TSWFStartSound::SaveToXml(TXmlNode node, TXMLReadWriteSettings&) {
    if (TagCode == TagCodes::StartSound2) node.SetAttr("ClassName", SoundClassName);
    else node.SetAttr("ID", static_cast<int>(SoundId));
    SaveSoundInfoXml(node);
}

// ---------------------------------------------------------------- SoundStreamHead, SoundStreamHead2

void TSWFSoundStreamHead::CopyFieldsFrom(const TBasedSWFObject& source) {
    const auto& other = SourceAs<TSWFSoundStreamHead>(source, *this);
    TSWFObject::CopyFieldsFrom(source);
    PlaybackSoundRate = other.PlaybackSoundRate;
    PlaybackSoundSize = other.PlaybackSoundSize;
    PlaybackSoundType = other.PlaybackSoundType;
    StreamSoundCompression = other.StreamSoundCompression;
    StreamSoundRate = other.StreamSoundRate;
    StreamSoundSize = other.StreamSoundSize;
    StreamSoundType = other.StreamSoundType;
    StreamSoundSampleCount = other.StreamSoundSampleCount;
    LatencySeek = other.LatencySeek;
    Reserved = other.Reserved;
}

int TSWFSoundStreamHead::RequiredVersion() const { return StreamSoundCompression == kSoundFormatMP3 ? 4 : 1; }

int TSWFSoundStreamHead2::RequiredVersion() const {
    switch (StreamSoundCompression) {
        case 2: return 4;
        case 6: return 6;
        default: return 3;
    }
}

void TSWFSoundStreamHead::ReadBody(TBitsEngine& be) {
    uint8_t playback = be.ReadByte();
    Reserved = playback >> 4;
    PlaybackSoundRate = (playback >> 2) & 3;
    PlaybackSoundSize = playback & 0x02;
    PlaybackSoundType = playback & 0x01;
    uint8_t stream = be.ReadByte();
    StreamSoundCompression = stream >> 4;
    StreamSoundRate = (stream >> 2) & 3;
    StreamSoundSize = stream & 0x02;
    StreamSoundType = stream & 0x01;
    StreamSoundSampleCount = be.ReadWord();
    // Some producers leave the latency out of an MP3 head.
    if (StreamSoundCompression == kSoundFormatMP3 && BodySize > 4) LatencySeek = static_cast<int16_t>(be.ReadWord());
}

void TSWFSoundStreamHead::WriteBody(TBitsEngine& be) {
    be.WriteByte(PackSoundByte(Reserved, PlaybackSoundRate, PlaybackSoundSize, PlaybackSoundType));
    be.WriteByte(PackSoundByte(StreamSoundCompression, StreamSoundRate, StreamSoundSize, StreamSoundType));
    be.WriteWord(StreamSoundSampleCount);
    if (StreamSoundCompression == kSoundFormatMP3) be.WriteWord(static_cast<uint16_t>(LatencySeek));
}

void TSWFSoundStreamHead::LoadFromXml(const TXmlNode& node, TXMLReadWriteSettings&) {
    TXmlNode playback = node.ChildNode("Playback");
    if (!playback) throw EConvertError("The stream head has no \"Playback\" element");
    PlaybackSoundRate = static_cast<uint8_t>(playback.AttrInt("SoundRate") & 3);
    PlaybackSoundSize = playback.AttrBool("SoundSize");
    PlaybackSoundType = playback.AttrBool("SoundType");
    Reserved = static_cast<uint8_t>(playback.AttrIntDef("Reserved", 0) & 0x0F);
    TXmlNode stream = node.ChildNode("Stream");
    if (!stream) throw EConvertError("The stream head has no \"Stream\" element");
    StreamSoundCompression = static_cast<uint8_t>(stream.AttrInt("SoundCompression") & 0x0F);
    StreamSoundRate = static_cast<uint8_t>(stream.AttrInt("SoundRate") & 3);
    StreamSoundSize = stream.AttrBool("SoundSize");
    StreamSoundType = stream.AttrBool("SoundType");
    StreamSoundSampleCount = static_cast<uint16_t>(stream.AttrInt("SampleCount"));
    if (StreamSoundCompression == kSoundFormatMP3) LatencySeek = static_cast<int16_t>(stream.AttrInt("LatencySeek"));
}

void TSWFSoundStreamHead::SaveToXml(TXmlNode node, TXMLReadWriteSettings&) {
    TXmlNode playback = node.AddChild("Playback");
    playback.SetAttr("SoundRate", static_cast<int>(PlaybackSoundRate));
    playback.SetAttrBool("SoundSize", PlaybackSoundSize);
    playback.SetAttrBool("SoundType", PlaybackSoundType);
    if (Reserved != 0) playback.SetAttr("Reserved", static_cast<int>(Reserved));
    TXmlNode stream = node.AddChild("Stream");
    stream.SetAttr("SoundCompression", static_cast<int>(StreamSoundCompression));
    stream.SetAttr("SoundRate", static_cast<int>(StreamSoundRate));
    stream.SetAttrBool("SoundSize", StreamSoundSize);
    stream.SetAttrBool("SoundType", StreamSoundType);
    stream.SetAttr("SampleCount", static_cast<int>(StreamSoundSampleCount));
    if (StreamSoundCompression == kSoundFormatMP3) stream.SetAttr("LatencySeek", static_cast<int>(LatencySeek));
}

// ---------------------------------------------------------------- SoundStreamBlock

void TSWFSoundStreamBlock::CopyFieldsFrom(const TBasedSWFObject& source) {
    const auto& other = SourceAs<TSWFSoundStreamBlock>(source, *this);
    TSWFDataObject::CopyFieldsFrom(source);
    SampleCount = other.SampleCount;
    SeekSamples = other.SeekSamples;
    StreamSoundCompression = other.StreamSoundCompression;
}

void TSWFSoundStreamBlock::ReadBody(TBitsEngine& be) {
    int32_t size = BodySize;
    if (StreamSoundCompression == kSoundFormatMP3) {
        SampleCount = be.ReadWord();
        SeekSamples = static_cast<int16_t>(be.ReadWord());
        size -= 4;
    }
    ReadPayload(be, size);
}

void TSWFSoundStreamBlock::WriteBody(TBitsEngine& be) {
    if (StreamSoundCompression == kSoundFormatMP3) {
        be.WriteWord(SampleCount);
        be.WriteWord(static_cast<uint16_t>(SeekSamples));
    }
    WritePayload(be);
}

void TSWFSoundStreamBlock::LoadFromXml(const TXmlNode& node, TXMLReadWriteSettings& settings) {
    if (node.HasAttribute("SampleCount")) {
        StreamSoundCompression = kSoundFormatMP3;
        SampleCount = static_cast<uint16_t>(node.AttrInt("SampleCount"));
        SeekSamples = static_cast<int16_t>(node.AttrInt("SeekSamples"));
    }
    LoadSoundData(*this, node, settings);
}

void TSWFSoundStreamBlock::SaveToXml(TXmlNode node, TXMLReadWriteSettings& settings) {
    if (StreamSoundCompression == kSoundFormatMP3) {
        node.SetAttr("SampleCount", static_cast<int>(SampleCount));
        node.SetAttr("SeekSamples", static_cast<int>(SeekSamples));
    }
    SaveSoundData(*this, node, settings);
}
