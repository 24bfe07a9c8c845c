// A movie as a file: the SWF header fields, the body (the tag records,
// already written into a memory stream) and the writer that puts both into a
// file or stream, plain ("FWS") or zlib-compressed ("CWS"). The file reader
// and the movie builder derive from it and fill the body.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/stream.h"
#include "platform/xml.h"
#include "swf/bits_engine.h"
#include "swf/xml_form.h"

class TBasedSWFStream;

// Progress stages.
enum : uint8_t {
    kProgressSplitting = 0,
    kProgressBuilding = 1,
    kProgressCompressing = 2,
    kProgressLoadingXml = 4,
};

// The parts of the file header: all of it, the 8 leading bytes (signature,
// version, file length) that a compressed file keeps plain, and the frame
// RECT, rate and count that follow them (inside the zlib stream when
// compressed).
enum class THeaderPart { Whole, Leading, Frame };

using TProgressEvent = std::function<void(TBasedSWFStream& sender, int32_t percent, uint8_t stage)>;

class TBasedSWFStream {
public:
    TBasedSWFStream();
    TBasedSWFStream(int32_t xMin, int32_t yMin, int32_t xMax, int32_t yMax, float frameRate, bool usePixels);
    virtual ~TBasedSWFStream();
    TBasedSWFStream(const TBasedSWFStream&) = delete;
    TBasedSWFStream& operator=(const TBasedSWFStream&) = delete;

    bool Compressed = false;
    uint8_t UnitFactor = 1;
    bool UsePixels = false;
    TProgressEvent OnProgress;
    TXMLReadWriteSettings Settings;
    char Signature[3] = {'F', 'W', 'S'};
    uint8_t Version = 5;
    uint32_t FileLength = 0;
    TRect Bounds;  // twips, window order
    uint16_t FrameRate = 0;  // 8.8
    uint16_t FrameCount = 0;

    virtual void HeaderChanged() {}
    virtual int32_t GetFrameTagIndex(uint16_t frame) = 0;
    virtual void MakeStream() = 0;
    virtual bool LoadFromXml(const TXmlNode& node, bool readHeader) = 0;

    TMemoryStream& GetBodyStream();
    // Borrows the caller's body, who keeps it alive while it is in use.
    void SetBodyStream(TMemoryStream& body);
    // Takes a new body that this object owns.
    void SetBodyStream(std::unique_ptr<TMemoryStream> body);
    bool OwnsBody() const { return ownedBody_ != nullptr; }

    void SetSystemCoord(bool usePixels);
    TRect GetBounds() const;
    void SetBounds(const TRect& windowOrder);
    int32_t GetWidth() const { return (Bounds.Right - Bounds.Left) / UnitFactor; }
    int32_t GetHeight() const { return (Bounds.Bottom - Bounds.Top) / UnitFactor; }
    float GetFrameRate() const { return Fixed8ToSingle(FrameRate); }
    void SetFrameRate(float x);
    void SetVersion(uint8_t v);
    void SetCompressed(bool flag);
    // The header attributes of a movie's XML root: bounds, "FPS", "Version"
    // and "Compressed" (default as given). Values the header cannot hold
    // raise EConvertError naming the attribute, and change nothing. A read
    // movie keeps the version as the document gives it (versionAsRead), also
    // when compressed; a movie being built may raise it.
    void ReadHeaderAttrs(const TXMLReadWriteSettings& settings, const TXmlNode& root, bool defaultCompressed,
                         bool versionAsRead);
    int32_t GetHeaderSize() const;
    // The mirror of WriteHeader; the number of bytes consumed. A stream that
    // ends inside the header raises EReadError.
    int32_t ReadHeader(TStream& stream, THeaderPart part);
    void WriteHeader(TStream& stream, THeaderPart part);
    void SaveToStream(TStream& stream);
    // Written through a temporary file beside the target, renamed over it only
    // when complete: an error leaves the old file as it was.
    void SaveToFile(const std::string& fileName);

protected:
    void ReportProgress(int32_t percent, uint8_t stage) {
        if (OnProgress) OnProgress(*this, percent, stage);
    }
    // Called by a reader once the body is read: a movie written back with
    // the very body it was read with keeps the length its header declared,
    // right or wrong (scripts see it through getBytesTotal).
    void KeepDeclaredLength();

private:
    // The declared length, and the length and hash of the file as read.
    uint32_t declaredLength_ = 0;
    int64_t lengthAsRead_ = -1;
    size_t bodyHashAsRead_ = 0;
    size_t BodyHash();
    std::unique_ptr<TMemoryStream> ownedBody_;
    TMemoryStream* body_ = nullptr;
};
