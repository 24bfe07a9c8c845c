#include "movie/video.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>

#include "movie/flash_movie.h"
#include "platform/codepage.h"
#include "platform/errors.h"
#include "platform/mathutil.h"
#include "swf/video_tags.h"
#include "swf/xml_form.h"

// Big-endian reads over the bytes of one script tag; a value that would run
// past them raises, so no length from the file reaches beyond its data.
class TFLVReader {
public:
    TFLVReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    size_t Left() const { return size_ - pos_; }
    uint8_t PeekByte() const {
        Need(1, "a value type");
        return data_[pos_];
    }
    uint8_t Byte() {
        Need(1, "a value type");
        return data_[pos_++];
    }
    uint16_t Word() {
        Need(2, "a 16-bit value");
        uint16_t v = static_cast<uint16_t>(data_[pos_] << 8 | data_[pos_ + 1]);
        pos_ += 2;
        return v;
    }
    uint32_t DWord() {
        Need(4, "a 32-bit value");
        uint32_t v = uint32_t(data_[pos_]) << 24 | uint32_t(data_[pos_ + 1]) << 16 | uint32_t(data_[pos_ + 2]) << 8 |
                     data_[pos_ + 3];
        pos_ += 4;
        return v;
    }
    double Double() {
        Need(8, "a number");
        uint64_t bits = 0;
        for (int i = 0; i < 8; ++i) bits = bits << 8 | data_[pos_ + i];
        pos_ += 8;
        double v;
        std::memcpy(&v, &bits, sizeof v);
        return v;
    }
    std::string Text(size_t length) {
        Need(length, "a string");
        std::string text(reinterpret_cast<const char*>(data_ + pos_), length);
        pos_ += length;
        return text;
    }
    // Nested arrays and objects, bounded so that a crafted file cannot
    // exhaust the stack.
    int Depth = 0;

private:
    void Need(size_t count, const char* what) const {
        if (count > size_ - pos_)
            throw EReadError(FormatStr("The FLV script data ends inside %s (%zu bytes wanted, %zu left)", what, count,
                                       size_ - pos_));
    }

    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};

namespace {

constexpr int kMaxNesting = 16;

constexpr std::array<const char*, 20> kMetaDataNames = {
    "duration", "lasttimestamp", "lastkeyframetimestamp", "width", "height", "videodatarate", "audiodatarate",
    "framerate", "creationdate", "filesize", "videosize", "audiosize", "datasize", "metadatacreator", "metadatadate",
    "videocodecid", "audiocodecid", "audiodelay", "canseektoend", "keyframes"};

std::string Lower(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

// A value of a kind the list can hold, or none (the list ends there).
std::unique_ptr<TFLVCustomData> CreateValue(uint8_t type, const std::string& name, int depth) {
    switch (type) {
        case 0: return std::make_unique<TFLVDataNumber>();
        case 1: return std::make_unique<TFLVDataBoolean>();
        case 2:
        case 4: return std::make_unique<TFLVDataString>(type);
        case 3:
            if (Lower(name) == "keyframes") return std::make_unique<TFLVKeyFramesObjectData>();
            return nullptr;
        case 7: return std::make_unique<TFLVDataWord>();
        case 8:
            if (depth >= kMaxNesting)
                throw EReadError(FormatStr("The FLV script data nests arrays deeper than %d levels", kMaxNesting));
            return std::make_unique<TFLVDataECMAArray>();
        case 11: return std::make_unique<TFLVDataDate>();
        default: return nullptr;
    }
}

uint32_t BigEndian(const uint8_t* p, int n) {
    uint32_t v = 0;
    for (int i = 0; i < n; ++i) v = v << 8 | p[i];
    return v;
}

// MSB-first bits over a byte buffer; false when the buffer is too short.
class TBitCursor {
public:
    explicit TBitCursor(const std::vector<uint8_t>& bytes, size_t start) : bytes_(bytes), bit_(start * 8) {}
    bool Read(int n, uint32_t& value) {
        if (bit_ + size_t(n) > bytes_.size() * 8) return false;
        value = 0;
        for (int i = 0; i < n; ++i, ++bit_) value = value << 1 | ((bytes_[bit_ >> 3] >> (7 - (bit_ & 7))) & 1);
        return true;
    }

private:
    const std::vector<uint8_t>& bytes_;
    size_t bit_;
};

}  // namespace

// ---------------------------------------------------------------- values

int64_t TFLVDataNumber::GetIntValue() const {
    if (!(Value > -9.2e18 && Value < 9.2e18)) return 0;
    return RoundHalfEven(Value);
}

void TFLVDataNumber::ReadFromStream(TFLVReader& in) { Value = in.Double(); }

void TFLVDataBoolean::ReadFromStream(TFLVReader& in) { Value = in.Byte(); }

int64_t TFLVDataString::GetIntValue() const {
    int64_t value = 0;
    const char* first = Value.data();
    const char* last = first + Value.size();
    if (first != last && *first == '+') ++first;
    auto [end, error] = std::from_chars(first, last, value);
    return error == std::errc() && end == last ? value : 0;
}

void TFLVDataString::ReadFromStream(TFLVReader& in) { Value = in.Text(in.Word()); }

void TFLVDataWord::ReadFromStream(TFLVReader& in) { Value = in.Word(); }

void TFLVDataDate::ReadFromStream(TFLVReader& in) {
    Value = in.Double();
    TimeZone = static_cast<int16_t>(in.Word());
}

void TFLVKeyFramesObjectData::ReadFromStream(TFLVReader& in) {
    // Named arrays of numbers up to the object's end marker; anything else
    // ends the object.
    while (in.Left() >= 3) {
        const uint16_t length = in.Word();
        if (length == 0 && in.PeekByte() == 9) {
            in.Byte();
            return;
        }
        const std::string name = Lower(in.Text(length));
        if (in.Byte() != 10) return;
        const uint32_t count = in.DWord();
        // Each number takes nine bytes: a count beyond the data is damage.
        if (uint64_t(count) * 9 > in.Left())
            throw EReadError(FormatStr("The FLV key-frame list \"%s\" announces %u values, the data holds at most %zu",
                                       name.c_str(), count, in.Left() / 9));
        std::vector<double>* target = name == "filepositions" ? &FilePositions : name == "times" ? &Times : nullptr;
        for (uint32_t i = 0; i < count; ++i) {
            if (in.Byte() != 0) throw EReadError("The FLV key-frame list holds a value that is not a number");
            const double v = in.Double();
            if (target) target->push_back(v);
        }
    }
}

const TFLVCustomData* TFLVDataECMAArray::Find(const std::string& name) const {
    const std::string wanted = Lower(name);
    for (auto it = Values.rbegin(); it != Values.rend(); ++it)
        if (Lower((*it)->Name) == wanted) return it->get();
    return nullptr;
}

void TFLVDataECMAArray::ReadFromStream(TFLVReader& in) { ReadEntries(in, in.DWord()); }

void TFLVDataECMAArray::ReadEntries(TFLVReader& in, uint32_t count) {
    // A count of 0 is written by producers that do not count: read until the
    // data or the end marker says otherwise.
    if (count == 0) count = 10000;
    ++in.Depth;
    struct TLeave {
        TFLVReader& in;
        ~TLeave() { --in.Depth; }
    } leave{in};
    for (uint32_t i = 0; i < count && in.Left() > 3; ++i) {
        const uint16_t length = in.Word();
        if (length == 0 && in.PeekByte() == 9) {
            in.Byte();
            return;
        }
        std::string name = in.Text(length);
        const uint8_t type = in.Byte() & 0x7F;
        std::unique_ptr<TFLVCustomData> value = CreateValue(type, name, in.Depth);
        if (!value) return;
        value->Name = std::move(name);
        TFLVCustomData* raw = value.get();
        // Kept before it is read, so what was read before damage stays.
        Values.push_back(std::move(value));
        raw->ReadFromStream(in);
    }
}

const TFLVCustomData* TFLVonMetaData::GetValue(int nameIndex) const {
    if (nameIndex < 0 || static_cast<size_t>(nameIndex) >= kMetaDataNames.size()) return nullptr;
    return Find(kMetaDataNames[static_cast<size_t>(nameIndex)]);
}

// ---------------------------------------------------------------- the index

TFLVData::TFLVData(const std::string& fileName) : FileName(fileName) {
    if (fileName.empty()) return;
    stream_ = std::make_unique<TFileStream>(fileName, TFileMode::OpenRead);
    Parse();
}

TFLVData::TFLVData(std::unique_ptr<TStream> stream) : stream_(std::move(stream)) {
    if (stream_) Parse();
}

TFLVData::~TFLVData() = default;

void TFLVData::NoteProblem(const std::string& text) {
    if (Problem.empty()) Problem = text;
}

void TFLVData::ReadPictureSize(const std::vector<uint8_t>& head) {
    // head starts with the frame-type/codec byte.
    switch (VideoCodec) {
        case 2: {
            // The H.263 picture header: start code, version, temporal
            // reference, then a size code with the size or a size of a table.
            static const uint16_t kSizes[][2] = {{352, 288}, {176, 144}, {128, 96}, {320, 240}, {160, 120}};
            TBitCursor bits(head, 1);
            uint32_t skip, code, w = 0, h = 0;
            if (!bits.Read(30, skip) || !bits.Read(3, code)) break;
            if (code == 0 || code == 1) {
                const int n = code == 0 ? 8 : 16;
                if (!bits.Read(n, w) || !bits.Read(n, h)) break;
            } else if (code <= 6) {
                w = kSizes[code - 2][0];
                h = kSizes[code - 2][1];
            }
            Width = static_cast<uint16_t>(w);
            Height = static_cast<uint16_t>(h);
            return;
        }
        case 3:
        case 6:
            // Screen video (both versions): 4-bit block width and 12-bit
            // image width, then the same for the height.
            if (head.size() < 5) break;
            Width = static_cast<uint16_t>(BigEndian(&head[1], 2) & 0x0FFF);
            Height = static_cast<uint16_t>(BigEndian(&head[3], 2) & 0x0FFF);
            return;
        case 4:
        case 5: {
            if (MetaData) {
                const TFLVCustomData* w = MetaData->GetValue(TFLVonMetaData::mdWidth);
                const TFLVCustomData* h = MetaData->GetValue(TFLVonMetaData::mdHeight);
                if (w && h) {
                    Width = static_cast<uint16_t>(std::clamp<int64_t>(w->GetIntValue(), 0, 0xFFFF));
                    Height = static_cast<uint16_t>(std::clamp<int64_t>(h->GetIntValue(), 0, 0xFFFF));
                    return;
                }
            }
            // The VP6 header's macroblock rows and columns.
            if (head.size() < 6) break;
            Height = static_cast<uint16_t>(16 * head[4]);
            Width = static_cast<uint16_t>(16 * head[5]);
            return;
        }
        default:
            return;
    }
    NoteProblem("The first video frame of the FLV file is too short to give the picture size");
}

void TFLVData::Parse() {
    TStream& in = *stream_;
    const int64_t size = in.GetSize();
    uint8_t header[9];
    in.SetPosition(0);
    if (size < 9 || in.Read(header, 9) != 9 || std::memcmp(header, "FLV", 3) != 0 || header[3] != 1) {
        NoteProblem("The file is not an FLV file of version 1");
        return;
    }
    const uint32_t headerSize = BigEndian(&header[5], 4);
    int64_t pos = std::max<int64_t>(headerSize, 9) + 4;  // the first previous-tag size
    if (pos > size) NoteProblem("The FLV file ends inside its header");
    size_t tagIndex = 0;
    bool first = true;
    while (pos < size) {
        if (size - pos < 11) {
            NoteProblem(FormatStr("The FLV file ends inside the header of tag %zu", tagIndex));
            break;
        }
        uint8_t tag[11];
        in.SetPosition(pos);
        in.ReadBuffer(tag, 11);
        const uint8_t type = tag[0] & 0x1F;
        const uint32_t dataSize = BigEndian(&tag[1], 3);
        const int64_t dataStart = pos + 11;
        const int64_t present = std::min<int64_t>(dataSize, size - dataStart);
        if (present < dataSize)
            NoteProblem(FormatStr("FLV tag %zu announces %u bytes of data, the file holds %lld", tagIndex, dataSize,
                                  static_cast<long long>(present)));
        if (type == 9) {
            if (VideoFrames.size() >= 0xFFFF) {
                NoteProblem("The FLV file holds more than 65535 video frames; the rest are left out");
                break;
            }
            TFLVVideoFrame frame;
            frame.Offset = static_cast<uint32_t>(std::min<int64_t>(dataStart + 1, 0xFFFFFFFF));
            frame.Size = static_cast<uint32_t>(std::max<int64_t>(present - 1, 0));
            if (present >= 1) {
                std::vector<uint8_t> head(static_cast<size_t>(std::min<int64_t>(present, 16)));
                in.SetPosition(dataStart);
                in.ReadBuffer(head.data(), static_cast<int64_t>(head.size()));
                frame.TypeByte = head[0];
                if (first) {
                    VideoCodec = head[0] & 0x0F;
                    FirstFrameType = head[0] >> 4;
                    ReadPictureSize(head);
                }
            }
            first = false;
            VideoFrames.push_back(frame);
        } else if (type == 18 && present > 0) {
            std::vector<uint8_t> data(static_cast<size_t>(present));
            in.SetPosition(dataStart);
            in.ReadBuffer(data.data(), present);
            TFLVReader script(data.data(), data.size());
            auto meta = std::make_unique<TFLVonMetaData>();
            try {
                if (script.Byte() == 2 && script.Text(script.Word()) == "onMetaData" && script.Byte() == 8) {
                    meta->Name = "onMetaData";
                    const uint32_t count = script.DWord();
                    try {
                        meta->ReadEntries(script, count);
                    } catch (const EReadError& damage) {
                        // The values read before the damage stay.
                        NoteProblem(damage.what());
                    }
                    MetaData = std::move(meta);
                }
            } catch (const EReadError& damage) {
                NoteProblem(damage.what());
            }
        }
        pos = dataStart + dataSize + 4;
        ++tagIndex;
    }
    FrameCount = static_cast<uint16_t>(VideoFrames.size());
    if (!VideoFrames.empty() && (Width == 0 || Height == 0) && MetaData) {
        // Codecs whose header gives no size: the producer's word for it.
        const TFLVCustomData* w = MetaData->GetValue(TFLVonMetaData::mdWidth);
        const TFLVCustomData* h = MetaData->GetValue(TFLVonMetaData::mdHeight);
        if (w && h && Width == 0 && Height == 0) {
            Width = static_cast<uint16_t>(std::clamp<int64_t>(w->GetIntValue(), 0, 0xFFFF));
            Height = static_cast<uint16_t>(std::clamp<int64_t>(h->GetIntValue(), 0, 0xFFFF));
        }
    }
}

std::vector<uint8_t> TFLVData::GetFrameData(size_t index) {
    const TFLVVideoFrame& frame = VideoFrames.at(index);
    std::vector<uint8_t> data;
    size_t skip = 0;
    // Screen video frames in a movie keep the frame-type/codec byte of the
    // FLV tag in front of their packet; VP6 frames lose the FLV's
    // size-adjustment byte.
    if (VideoCodec == 3 || VideoCodec == 6) data.push_back(frame.TypeByte);
    else if ((VideoCodec == 4 || VideoCodec == 5) && frame.Size > 0) skip = 1;
    const size_t head = data.size();
    data.resize(head + frame.Size - skip);
    if (frame.Size > skip) {
        stream_->SetPosition(int64_t(frame.Offset) + int64_t(skip));
        stream_->ReadBuffer(data.data() + head, int64_t(frame.Size - skip));
    }
    return data;
}

// ---------------------------------------------------------------- the character

TFlashVideo::TFlashVideo(TFlashMovie* movie, const std::string& fileName)
    : TFlashVisualObject(movie), flv_(std::make_unique<TFLVData>(fileName)) {}

TFlashVideo::TFlashVideo(TFlashMovie* movie, std::unique_ptr<TFLVData> flv)
    : TFlashVisualObject(movie), flv_(flv ? std::move(flv) : std::make_unique<TFLVData>()) {}

TFlashVideo::~TFlashVideo() = default;

void TFlashVideo::CopyFieldsFrom(const TBasedSWFObject& source) {
    CopySourceAs<TFlashVideo>(source, "a video");
    TFlashVisualObject::CopyFieldsFrom(source);
}

int TFlashVideo::RequiredVersion() const {
    switch (flv_->VideoCodec) {
        case 2: return 6;
        case 3: return 7;
        case 4:
        case 5:
        case 6: return 8;
        default: return 9;
    }
}

void TFlashVideo::WriteTag(TBitsEngine& be) {
    TSWFDefineVideoStream tag;
    tag.CharacterID = CharacterId;
    tag.NumFrames = flv_->FrameCount;
    tag.Width = flv_->Width;
    tag.Height = flv_->Height;
    tag.CodecID = flv_->VideoCodec;
    tag.WriteTag(be);
}

void TFlashVideo::LoadFromXml(const TXmlNode& node, TXMLReadWriteSettings& settings) {
    TFlashVisualObject::LoadFromXml(node, settings);
    if (!node.HasAttribute("Depth") || !Owner) return;
    for (const char* name : {"X", "Y"})
        if (!node.HasAttribute(name))
            throw EConvertError(FormatStr("A video placed at a depth needs the attribute \"%s\"", name));
    const TPoint at = ReadPointAttrs(settings, node, "", "");
    Owner->PlaceVideo(this, static_cast<uint16_t>(std::clamp<int64_t>(node.AttrInt("Depth"), 0, 0xFFFF)))
        ->SetTranslate(at.X, at.Y);
}

// ---------------------------------------------------------------- placements

TFlashPlaceVideo::TFlashPlaceVideo(TFlashMovie* movie, TFlashVideo* video, uint16_t depth, uint16_t startFrame)
    : TFlashPlaceObject(movie, video, depth), StartFrame(startFrame) {}

TFlashVideo* TFlashPlaceVideo::Video() const { return static_cast<TFlashVideo*>(Obj()); }

void TFlashPlaceVideo::SetVideo(TFlashVideo* video) {
    SetObj(video);
    if (video) SetCharacterId(video->GetCharacterId());
}

uint16_t TFlashPlaceVideo::GetCharacterId() const {
    return Video() ? Video()->GetCharacterId() : TFlashPlaceObject::GetCharacterId();
}

void TFlashPlaceVideo::CopyFieldsFrom(const TBasedSWFObject& source) {
    const auto& other = CopySourceAs<TFlashPlaceVideo>(source, "a video placement");
    TFlashPlaceObject::CopyFieldsFrom(source);
    StartFrame = other.StartFrame;
}

void TFlashPlaceVideo::WriteFrame(TBitsEngine& be, uint32_t n) {
    TFlashVideo* video = Video();
    if (n < StartFrame || !video) return;
    TFLVData& flv = video->FLV();
    const size_t count = flv.GetVideoFrameCount();
    // A video without frames is placed once and then left alone.
    if (count == 0 && n != StartFrame) return;
    const uint32_t frame = static_cast<uint32_t>((n - StartFrame) % std::max<size_t>(1, count));
    TFlashPlaceObject shown(Owner, video, GetDepth());
    shown.CopyFieldsFrom(*this);
    shown.SetCharacterId(video->GetCharacterId());
    if (n == StartFrame) {
        shown.SetMove(false);
        shown.SetRatio(0);
    } else {
        shown.SetMove(true);
        shown.SetRatio(static_cast<uint16_t>(frame));
    }
    if (count > 0) {
        TSWFVideoFrame tag;
        tag.StreamID = video->GetCharacterId();
        tag.FrameNum = static_cast<uint16_t>(frame);
        tag.SetData(flv.GetFrameData(frame));
        tag.WriteTag(be);
    }
    shown.Tag().SWFVersion = Tag().SWFVersion;
    shown.WriteTag(be);
}

void TFlashPlaceVideo::LoadFromXml(const TXmlNode& node, TXMLReadWriteSettings& settings) {
    TFlashPlaceObject::LoadFromXml(node, settings);
    if (!Owner) return;
    int32_t id = -1;
    if (node.HasAttribute("IDStr")) {
        id = Owner->FindCharacterId(node.AttrStr("IDStr"));
        if (id < 0)
            throw EConvertError(FormatStr("PlaceVideo names the unknown video \"%s\"", node.AttrStr("IDStr").c_str()));
    } else {
        id = Tag().CharacterId;
    }
    TFlashVideo* video = Owner->GetVideos().FindById(static_cast<uint16_t>(id));
    if (!video) throw EConvertError(FormatStr("PlaceVideo names character %d, which is no video of the movie", id));
    SetVideo(video);
}

void WriteVideoFrames(const std::vector<TFlashPlaceVideo*>& placements, TBitsEngine& be, uint32_t n) {
    for (TFlashPlaceVideo* placement : placements) placement->WriteFrame(be, n);
}
