// Video of the movie builder, from FLV files. TFLVData indexes a file: the
// codec and picture size of its video, where each video frame's data lies,
// and the values of its onMetaData script tag. TFlashVideo is the video
// character (a DefineVideoStream); TFlashPlaceVideo places it on a
// timeline, and at every frame of that timeline writes the video's next
// frame and a placement that shows it, so the video plays along, looping.
// The file's audio is not carried into the movie.
//
// Every size in an FLV file comes from the file: tags and values are read
// only as far as the bytes present reach, and the first damage found is
// described in Problem rather than raised.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "movie/flash_object.h"
#include "movie/sprites.h"
#include "platform/stream.h"

class TFLVReader;

// One value of the script data (AMF0).
class TFLVCustomData {
public:
    explicit TFLVCustomData(uint8_t type) : Type(type) {}
    virtual ~TFLVCustomData() = default;
    std::string Name;
    uint8_t Type;
    // The value as an integer; 0 for kinds that have none.
    virtual int64_t GetIntValue() const { return 0; }
    virtual void ReadFromStream(TFLVReader& in) = 0;
};

class TFLVDataNumber : public TFLVCustomData {
public:
    TFLVDataNumber() : TFLVCustomData(0) {}
    double Value = 0;
    int64_t GetIntValue() const override;
    void ReadFromStream(TFLVReader& in) override;
};

class TFLVDataBoolean : public TFLVCustomData {
public:
    TFLVDataBoolean() : TFLVCustomData(1) {}
    uint8_t Value = 0;
    int64_t GetIntValue() const override { return Value; }
    void ReadFromStream(TFLVReader& in) override;
};

class TFLVDataString : public TFLVCustomData {
public:
    explicit TFLVDataString(uint8_t type = 2) : TFLVCustomData(type) {}
    std::string Value;
    // The text as a decimal integer, 0 when it is not one.
    int64_t GetIntValue() const override;
    void ReadFromStream(TFLVReader& in) override;
};

class TFLVDataWord : public TFLVCustomData {
public:
    TFLVDataWord() : TFLVCustomData(7) {}
    uint16_t Value = 0;
    int64_t GetIntValue() const override { return Value; }
    void ReadFromStream(TFLVReader& in) override;
};

class TFLVDataDate : public TFLVCustomData {
public:
    TFLVDataDate() : TFLVCustomData(11) {}
    double Value = 0;  // milliseconds since 1970
    int16_t TimeZone = 0;
    void ReadFromStream(TFLVReader& in) override;
};

// The "keyframes" object: file positions and times of the key frames.
class TFLVKeyFramesObjectData : public TFLVCustomData {
public:
    TFLVKeyFramesObjectData() : TFLVCustomData(3) {}
    std::vector<double> FilePositions, Times;
    void ReadFromStream(TFLVReader& in) override;
};

class TFLVDataECMAArray : public TFLVCustomData {
public:
    TFLVDataECMAArray() : TFLVCustomData(8) {}
    std::vector<std::unique_ptr<TFLVCustomData>> Values;
    // The last value of that name (compared in lower case), or none.
    const TFLVCustomData* Find(const std::string& name) const;
    void ReadFromStream(TFLVReader& in) override;
    // The entries after the count.
    void ReadEntries(TFLVReader& in, uint32_t count);
};

class TFLVonMetaData : public TFLVDataECMAArray {
public:
    enum TName {
        mdDuration, mdLastTimeStamp, mdLastKeyFrameTimeStamp, mdWidth, mdHeight, mdVideoDataRate, mdAudioDataRate,
        mdFrameRate, mdCreationDate, mdFileSize, mdVideoSize, mdAudioSize, mdDataSize, mdMetaDataCreator,
        mdMetaDataDate, mdVideoCodecId, mdAudioCodecId, mdAudioDelay, mdCanSeekToEnd, mdKeyFrames,
    };
    // The value under entry nameIndex of the names above, or none.
    const TFLVCustomData* GetValue(int nameIndex) const;
};

struct TFLVVideoFrame {
    uint32_t Offset = 0;   // in the file, of the data after the frame-type/codec byte
    uint32_t Size = 0;     // bytes of that data present in the file
    uint8_t TypeByte = 0;  // the frame's own frame-type/codec byte
};

class TFLVData {
public:
    // Opens the file (others may read it, not write it) and indexes it; an
    // empty name makes an empty index. A file that cannot be opened raises.
    explicit TFLVData(const std::string& fileName = "");
    // Indexes bytes held by the stream, which the index keeps.
    explicit TFLVData(std::unique_ptr<TStream> stream);
    ~TFLVData();
    TFLVData(const TFLVData&) = delete;
    TFLVData& operator=(const TFLVData&) = delete;

    std::string FileName;
    std::vector<TFLVVideoFrame> VideoFrames;
    uint8_t VideoCodec = 0;  // 2 H.263, 3 screen video, 4 VP6, 5 VP6 alpha, 6 screen video 2
    uint8_t FirstFrameType = 0;
    uint16_t FrameCount = 0;
    uint16_t Width = 0, Height = 0;
    std::unique_ptr<TFLVonMetaData> MetaData;
    // The first damage found while indexing (empty for an intact file): what
    // was cut or left out and where.
    std::string Problem;

    const TFLVVideoFrame& GetVideoFrame(size_t index) const { return VideoFrames.at(index); }
    size_t GetVideoFrameCount() const { return VideoFrames.size(); }
    // The bytes of frame index as a VideoFrame tag carries them.
    std::vector<uint8_t> GetFrameData(size_t index);

private:
    void Parse();
    void NoteProblem(const std::string& text);
    void ReadPictureSize(const std::vector<uint8_t>& head);

    std::unique_ptr<TStream> stream_;
};

class TFlashVideo : public TFlashVisualObject {
public:
    // An empty name makes a video without frames.
    TFlashVideo(TFlashMovie* movie, const std::string& fileName);
    TFlashVideo(TFlashMovie* movie, std::unique_ptr<TFLVData> flv);
    ~TFlashVideo() override;

    TFLVData& FLV() { return *flv_; }
    const TFLVData& FLV() const { return *flv_; }

    // The identifier only: the file stays with the video that opened it.
    void CopyFieldsFrom(const TBasedSWFObject& source) override;
    // 6 for H.263, 7 for screen video, 8 for VP6 and screen video 2, else 9.
    int RequiredVersion() const override;
    void WriteTag(TBitsEngine& be) override;
    // "Depth" places the video there at "X", "Y" (both required).
    void LoadFromXml(const TXmlNode& node, TXMLReadWriteSettings& settings) override;

private:
    std::unique_ptr<TFLVData> flv_;
};

class TFlashPlaceVideo : public TFlashPlaceObject {
public:
    TFlashPlaceVideo(TFlashMovie* movie, TFlashVideo* video, uint16_t depth, uint16_t startFrame = 0);

    // The timeline's frame at which the video starts.
    uint16_t StartFrame = 0;

    TFlashVideo* Video() const;
    void SetVideo(TFlashVideo* video);

    void CopyFieldsFrom(const TBasedSWFObject& source) override;
    int RequiredVersion() const override { return 3; }
    // Nothing where it stands: it writes at its timeline's frames.
    void WriteTag(TBitsEngine& be) override {}
    uint16_t GetCharacterId() const override;
    // The placement's XML form; the video named by "IDStr", else the one
    // whose identifier the placement holds.
    void LoadFromXml(const TXmlNode& node, TXMLReadWriteSettings& settings) override;

    // What goes before the ShowFrame that ends frame n of the timeline: the
    // video's frame for it and a placement whose ratio shows that frame.
    void WriteFrame(TBitsEngine& be, uint32_t n);
};

// The frames of every video placement of a timeline before its ShowFrame
// that ends frame n.
void WriteVideoFrames(const std::vector<TFlashPlaceVideo*>& placements, TBitsEngine& be, uint32_t n);
