// JPEG over libjpeg (the 6b interface): the stand-in for the toolkit's JPEG
// picture class, and the stream-level decoder and encoder the image
// library's codec drives row by row.
//
// TJPEGImage decodes JPEG data into 8-bit pixels (grey, or red, green, blue;
// CMYK data is converted to RGB) and encodes pixels at a quality of 1 to
// 100, baseline or progressive. Failures of the codec raise EJPEGError with
// libjpeg's own message; libjpeg's warnings (such as data that ends early,
// which it completes with grey) are counted, not raised. It leaves out what
// the toolkit class also does: drawing onto a canvas, scaled and
// fast-but-rough decoding, and its palette and dithering options.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/errors.h"
#include "platform/stream.h"

class EJPEGError : public Exception { using Exception::Exception; };

class TJPEGImage {
public:
    // Pictures larger than this many pixels are refused before any pixel
    // memory is taken (a damaged header can claim 65535 x 65535).
    static constexpr int64_t kMaxPixels = int64_t{1} << 28;

    int CompressionQuality = 90;
    bool ProgressiveEncoding = false;

    int Width() const { return width_; }
    int Height() const { return height_; }
    // 1 for grey pictures, 3 for RGB.
    int Components() const { return components_; }
    // Whether the data last decoded had several scans.
    bool Progressive() const { return progressive_; }
    // libjpeg warnings during the last decode (damaged or truncated data).
    int Warnings() const { return warnings_; }
    // Rows top first, Components() bytes per pixel, no row padding.
    const std::vector<uint8_t>& Pixels() const { return pixels_; }

    void LoadFromBytes(const uint8_t* data, size_t size);
    void LoadFromStream(TStream& stream);
    void LoadFromFile(const std::string& fileName);

    // Takes pixels to encode (rows top first, components 1 or 3).
    void SetPixels(int width, int height, int components, std::vector<uint8_t> pixels);
    std::vector<uint8_t> SaveToBytes() const;
    void SaveToStream(TStream& stream) const;

private:
    int width_ = 0, height_ = 0, components_ = 0;
    bool progressive_ = false;
    int warnings_ = 0;
    std::vector<uint8_t> pixels_;
};

// The decoder and encoder below speak to libjpeg over our streams through
// 65,536-byte buffers. A libjpeg failure never leaves as an exception: the
// call returns false, sets the caller's abort flag (when one is given) and
// MessageCode() holds libjpeg's message number (the 6b numbering, which
// this build keeps); callers give the failure their own words. libjpeg's
// "too few scanlines" complaint (code 67) is no failure: a decode may stop
// early.
// BGR is the pixel order of our bitmaps: as an output space libjpeg
// converts straight into it, as an input space it reads it.
enum class TJpegColorSpace { Unknown = 0, Gray = 1, RGB = 2, YCbCr = 3, CMYK = 4, YCCK = 5, BGR = 6 };

struct TJpegMarker {
    uint8_t type = 0;  // the second byte of the marker code (0xE0..0xEF, 0xFE)
    std::vector<uint8_t> data;
};

struct TJpegHeader {
    int width = 0, height = 0, components = 0;
    TJpegColorSpace colorSpace = TJpegColorSpace::Unknown;
    bool progressive = false;
    bool sawJFIF = false;
    int densityUnit = 0, xDensity = 1, yDensity = 1;
};

constexpr int kJpegTooLittleData = 67;

class TJpegDecoder {
public:
    explicit TJpegDecoder(bool* abortFlag);
    ~TJpegDecoder();
    TJpegDecoder(const TJpegDecoder&) = delete;
    TJpegDecoder& operator=(const TJpegDecoder&) = delete;

    // Reads an abbreviated tables-only datastream.
    bool ReadTables(TStream& stream);
    // Reads the headers up to the first scan, keeping COM and APPn markers
    // when asked. A stream that is empty at the first read sets the abort
    // flag; one that ends later is completed with an end marker.
    bool ReadHeader(TStream& stream, bool keepMarkers);
    TJpegHeader Header() const;
    // Before Start: what to produce. dctMethod 0 accurate integer, 1 fast
    // integer, 2 float, other values keep the default; scale 1, 2, 4 or 8.
    void SetOutput(TJpegColorSpace space, int dctMethod, int scaleDenominator);
    bool Start();
    int OutputWidth() const;
    int OutputHeight() const;
    int OutputComponents() const;
    int OutputScanline() const;
    // One row into row (OutputWidth x OutputComponents bytes); the rows
    // returned, -1 after a failure.
    int ReadScanline(uint8_t* row);
    // Finishes with the abort flag detached: errors here are dropped.
    void Finish();
    std::vector<TJpegMarker> SavedMarkers() const;

    int MessageCode() const;
    int Warnings() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

struct TJpegEncodeSettings {
    int width = 0, height = 0;
    int inputComponents = 3;  // 3 (B, G, R) or 4 (inverted CMYK)
    // CMYK files get a JFIF marker beside the Adobe one; RGB and YCCK files
    // only the Adobe one.
    TJpegColorSpace fileSpace = TJpegColorSpace::YCbCr;
    int quality = 80;
    int dctMethod = 1;
    bool optimizeCoding = false;
    int smoothing = 0;
    bool progressive = false;
    int xDensity = 300, yDensity = 300;  // dots per inch
};

class TJpegEncoder {
public:
    explicit TJpegEncoder(bool* abortFlag);
    ~TJpegEncoder();
    TJpegEncoder(const TJpegEncoder&) = delete;
    TJpegEncoder& operator=(const TJpegEncoder&) = delete;

    // A short write to the stream sets the abort flag (not a failure).
    bool Start(TStream& stream, const TJpegEncodeSettings& settings);
    bool WriteMarker(uint8_t type, const uint8_t* data, unsigned length);
    bool WriteScanline(const uint8_t* row);
    bool Finish();
    int MessageCode() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};
