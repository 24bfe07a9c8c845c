// JPEG pictures: the stand-in for the toolkit's JPEG picture class, over
// libjpeg (the 6b interface).
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
