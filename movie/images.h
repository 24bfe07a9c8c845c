// Bitmap characters of the movie builder. A picture comes from a JPEG or BMP
// file, a BMP stream or an in-memory bitmap; it is kept either as JPEG data
// or as uncompressed pixels in a TBMPReader, may get transparency (a colour,
// a palette index, or a second bitmap of alpha values), and is written as
// the bitmap tag that fits: DefineBitsJPEG2, DefineBitsJPEG3 (JPEG plus an
// alpha plane), DefineBitsLossless or DefineBitsLossless2. Shapes fill
// areas with it.
//
// Every picture is checked when it is loaded: JPEG data is decoded once, so
// that damaged or cut-short data is refused then, with the file's name,
// instead of reaching a movie that players would show grey or not at all.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "movie/dib_reader.h"
#include "movie/flash_object.h"
#include "platform/stream.h"

// Where the picture is held.
enum : uint8_t {
    kImageEmpty = 0,
    kImageLossless = 2,     // pixels in the bitmap; the compressed tag data is built when first written
    kImageJPEGFile = 3,     // JPEG data read from FileName each time the movie is made
    kImageJPEGMemory = 4,   // JPEG data held in memory
};

// Lossless pixel formats (the tag writes format 1 as 5 in DefineBitsLossless2).
enum : uint8_t {
    kLosslessUnknown = 0,
    kLosslessARGB = 1,
    kLosslessColorMapped = 3,
    kLosslessRGB15 = 4,
    kLosslessRGB24 = 5,
};

class TFlashImage : public TFlashIDObject {
public:
    // Loads fileName when one is given.
    explicit TFlashImage(TFlashMovie* movie, const std::string& fileName = "");
    ~TFlashImage() override;
    TFlashImage(const TFlashImage&) = delete;
    TFlashImage& operator=(const TFlashImage&) = delete;

    // A JPEG ("jpg", "jpeg") or BMP file, chosen by the extension. A failed
    // load leaves the picture as it was (its file name and cleared JPEG and
    // alpha flags aside, for an unsupported extension).
    void LoadFromFile(const std::string& fileName);
    // A BMP file image from the stream's position.
    void LoadFromStream(TStream& stream);
    // A copy of the pixels of an in-memory bitmap (in place of a bitmap
    // handle).
    void LoadFromBitmap(const TBMPReader& source);
    // Size, lossless format, row padding and palette transparency from the
    // bitmap.
    void SetupFromBitmap();

    uint16_t GetWidth() const { return Width; }
    uint16_t GetHeight() const { return Height; }
    uint8_t GetDataKind() const { return DataKind; }
    uint8_t GetFormat() const { return Format; }
    uint16_t GetPaddedWidth() const { return PaddedWidth; }
    uint32_t GetPaletteSize() const { return PaletteSize; }
    bool GetHasAlpha() const { return HasAlpha; }
    const std::string& GetFileName() const { return FileName; }

    bool GetAsJPEG() const { return AsJPEG; }
    // Switches between JPEG data and pixels, converting what is held.
    void SetAsJPEG(bool on);
    bool GetConvertProgressive() const { return ConvertProgressive; }
    void SetConvertProgressive(bool on);

    // Palette transparency (colour-mapped pictures only; anything else is
    // left alone). Color is a toolkit colour, red in the low byte, with the
    // alpha to give in the top byte.
    void SetAlphaColor(uint32_t color);
    void SetAlphaIndex(uint8_t index, uint8_t alpha);
    // Alpha values from a second bitmap of the picture's size: the fourth
    // bytes of a 32-bit one, the values of one of 8 bits or fewer. A bitmap
    // of another size or depth is ignored.
    void SetAlphaFromBitmap(const TBMPReader& source);
    void LoadAlphaFromStream(TStream& stream);
    void LoadAlphaFromFile(const std::string& fileName);

    // The pixels, created empty on first request.
    TBMPReader& GetBitmap();
    bool HasBitmap() const { return bitmap_ != nullptr; }
    // The JPEG data as it goes into the tag (from memory or from the file).
    std::vector<uint8_t> GetJPEGData() const;
    // One alpha byte per pixel, top row first (JPEG pictures only).
    const std::vector<uint8_t>& GetAlphaData() const { return alphaData_; }
    // The zlib-compressed lossless tag data, built when missing.
    const std::vector<uint8_t>& GetLosslessData();
    void MakeLosslessData();

    void CopyFieldsFrom(const TBasedSWFObject& source) override;
    int RequiredVersion() const override { return HasAlpha ? 3 : 2; }
    void WriteTag(TBitsEngine& be) override;
    // The movie's XML form: "File" (required) and the element's options.
    void LoadFromXml(const TXmlNode& node, TXMLReadWriteSettings& settings) override;
    bool IsMovableResource() const override { return true; }

private:
    std::string FileName;
    uint8_t DataKind = kImageEmpty;
    bool AsJPEG = false;
    bool ConvertProgressive = true;
    bool HasAlpha = false;
    uint16_t Width = 0, Height = 0;
    uint16_t PaddedWidth = 0;
    uint8_t Format = kLosslessUnknown;
    uint32_t PaletteSize = 0;

    std::unique_ptr<TBMPReader> bitmap_;
    // The fourth bytes of a 32-bit bitmap are alpha values (rather than
    // the unused byte of plain 32-bit pixels).
    bool alphaInPixels_ = false;
    std::vector<uint8_t> jpegData_;  // kImageJPEGMemory
    std::vector<uint8_t> alphaData_;
    std::vector<uint8_t> losslessData_;  // cache, emptied by every change of the pixels

    void TakeBitmap(std::unique_ptr<TBMPReader> bitmap);
    void LoadJPEGFile(const std::string& fileName);
    // The pixels as RGB bytes, top row first.
    std::vector<uint8_t> RGBPixels() const;
    // A 32-bit copy of the bitmap with its colours, alpha bytes 255.
    void ConvertToARGB();
};
