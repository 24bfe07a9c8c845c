// The per-format load and save wrappers of TVidurErIO: one skeleton for
// loading and one for saving, and what each format does differently.
#include <algorithm>
#include <cstring>
#include <exception>
#include <filesystem>
#include <new>

#include "imaging/core/ie_helpers.h"
#include "imaging/core/ie_mask.h"
#include "imaging/core/ie_view.h"
#include "imaging/io/ie_bmp.h"
#include "imaging/io/ie_exif.h"
#include "imaging/io/ie_gif.h"
#include "imaging/io/ie_ico_write.h"
#include "imaging/io/ie_jpeg.h"
#include "imaging/io/ie_pcx.h"
#include "imaging/io/ie_pdf.h"
#include "imaging/io/ie_png.h"
#include "imaging/io/ie_postscript.h"
#include "imaging/io/ie_psd.h"
#include "imaging/io/ie_raw_pixels.h"
#include "imaging/io/ie_tga.h"
#include "imaging/io/ie_tiff.h"
#include "imaging/io/ie_vidurer_io.h"
#include "imaging/io/ie_wbmp.h"
#include "platform/codepage.h"

struct TVidurErIO::TLoadSteps {
    int32_t fileType = 0;
    const std::string* fileName = nullptr;  // the file form; null for a stream
    TStream* stream = nullptr;
    std::function<void(TStream&, TIEProgressRec&)> read;
    // Runs after the view got the DPI, before the refresh.
    std::function<void()> afterDPI;
    // Formats without a resolution: no default DPI, no adjustment, and the
    // view is not told.
    bool noDPI = false;
    // How a reader shows that the data ended before the picture: codecs
    // keep the rows of a cut file without a word, the component says it.
    enum TEnd { kAnyShortRead, kEmptyRead } end = kAnyShortRead;
};

struct TVidurErIO::TSaveSteps {
    int32_t fileType = 0;
    const std::string* fileName = nullptr;
    TStream* stream = nullptr;
    // Converts anything but ie24RGB and ie1g to ie24RGB first.
    bool to24Bit = false;
    // The stream header's magic when the format writes one (StreamHeaders).
    const char* headerMagic = nullptr;
    std::function<void(TStream&, TIEProgressRec&)> write;
};

namespace {

// Passes everything through to the stream it watches and notes the reads
// that got less than they asked for.
class TEndWatch : public TStream {
public:
    explicit TEndWatch(TStream& inner) : inner_(inner) {}
    int64_t Read(void* buffer, int64_t count) override {
        const int64_t got = inner_.Read(buffer, count);
        if (count > 0 && got < count) {
            shortRead_ = true;
            if (got <= 0) emptyRead_ = true;
        }
        return got;
    }
    int64_t Write(const void* buffer, int64_t count) override { return inner_.Write(buffer, count); }
    int64_t Seek(int64_t offset, TSeekOrigin origin) override { return inner_.Seek(offset, origin); }
    int64_t GetSize() override { return inner_.GetSize(); }
    void SetSize(int64_t size) override { inner_.SetSize(size); }
    const uint8_t* ContiguousBytes(int64_t count) override { return inner_.ContiguousBytes(count); }
    bool ShortRead() const { return shortRead_; }
    bool EmptyRead() const { return emptyRead_; }

private:
    TStream& inner_;
    bool shortRead_ = false;
    bool emptyRead_ = false;
};

std::string FullName(int32_t fileType) {
    const TIEFileFormatInfo* info = IEFileFormatGetInfo(fileType);
    return info ? info->FullName : "image";
}

// A message for the caller's exception, kept in LastError as well.
std::string MessageOf(const std::exception& error) {
    if (dynamic_cast<const std::bad_alloc*>(&error)) return "Not enough memory";
    return error.what();
}

// A reader's transparency mask into the bitmap's alpha channel; a mask of
// another size, or one fully opaque, leaves the bitmap opaque.
void MaskToAlpha(const std::unique_ptr<TIEMask>& mask, TIEBitmap& bitmap) {
    if (!mask || mask->Full() || mask->Width() != bitmap.GetWidth() || mask->Height() != bitmap.GetHeight()) return;
    TIEBitmap& alpha = *bitmap.GetAlphaChannel();
    for (int32_t y = 0; y < alpha.GetHeight(); ++y)
        std::memcpy(alpha.GetScanline(y), mask->GetScanline(y), static_cast<size_t>(alpha.GetWidth()));
    bitmap.SetFullOpacity(false);
}

// Calls a writer with the bitmap's alpha channel as a mask, or with none.
// The bitmap knows whether its alpha holds transparency (a loaded picture
// marks it; its alpha channel's own mark stays as made).
void WithAlphaMask(TIEBitmap& bitmap, const std::function<void(TIEMask*)>& write) {
    if (!bitmap.GetHasAlphaChannel()) {
        write(nullptr);
        return;
    }
    TIEMask mask;
    IECopyBitmapToMask(*bitmap.GetAlphaChannel(), mask);
    if (!bitmap.FullOpacity()) mask.SetFull(false);
    write(&mask);
}

}  // namespace

void TVidurErIO::RunLoad(const TLoadSteps& steps) {
    lastError_.clear();
    cancelled_ = false;
    // A file load counts as failed until the file is open.
    AbortFlag = steps.fileName != nullptr;
    if (!MakeConsistentBitmap({})) {
        DoFinishWork();
        return;
    }
    ImageParams.ResetInfo();
    try {
        std::unique_ptr<TFileStream> file;
        TStream* stream = steps.stream;
        if (steps.fileName) {
            file = std::make_unique<TFileStream>(*steps.fileName, TFileMode::OpenRead);
            stream = file.get();
            AbortFlag = false;
        }
        TIEProgressRec progress = MakeProgress();
        bitmap_->RemoveAlphaChannel(false, clWhite);
        TEndWatch watch(*stream);
        steps.read(watch, progress);
        if (!AbortFlag && (steps.end == TLoadSteps::kEmptyRead ? watch.EmptyRead() : watch.ShortRead())) {
            AbortFlag = true;
            lastError_ = "The " + FullName(steps.fileType) + " data ends before the picture does";
        }
        // Files without a resolution get the library's default.
        if (!steps.noDPI) {
            if (ImageParams.DpiX < 2) ImageParams.SetDpiX(IELibraryDefaultDPI[0]);
            if (ImageParams.DpiY < 2) ImageParams.SetDpiY(IELibraryDefaultDPI[1]);
            if (AutoAdjustDPI) AdjustDPI();
        }
        ImageParams.FileName = steps.fileName ? Utf8ToWide(*steps.fileName) : std::u16string();
        ImageParams.FileType = steps.fileType;
        if (!steps.noDPI) PushDPIToView();
        if (steps.afterDPI) steps.afterDPI();
        Update();
    } catch (const std::exception& error) {
        AbortFlag = true;
        lastError_ = MessageOf(error);
        DoFinishWork();
        throw;
    }
    if (AbortFlag && lastError_.empty())
        lastError_ = cancelled_ ? "Cancelled" : "The " + FullName(steps.fileType) + " data is damaged or incomplete";
    DoFinishWork();
}

void TVidurErIO::RunSave(const TSaveSteps& steps) {
    lastError_.clear();
    cancelled_ = false;
    AbortFlag = steps.fileName != nullptr;
    if (!MakeConsistentBitmap({})) {
        DoFinishWork();
        return;
    }
    if (steps.to24Bit) {
        const TIEPixelFormat format = bitmap_->GetPixelFormat();
        if (format != ie24RGB && format != ie1g) bitmap_->ConvertToPixelFormat(ie24RGB);
    }
    try {
        // A file is encoded in memory and then put in place whole, so a
        // failed save never leaves a broken file or loses the old one.
        TMemoryStream encoded;
        TStream& target = steps.fileName ? static_cast<TStream&>(encoded) : *steps.stream;
        AbortFlag = false;
        TIEProgressRec progress = MakeProgress();
        int64_t header = -1;
        if (!steps.fileName && steps.headerMagic && StreamHeaders) header = IEBeginStreamHeader(target);
        steps.write(target, progress);
        if (header >= 0) IEEndStreamHeader(target, header, steps.headerMagic);
        if (steps.fileName) {
            if (!AbortFlag) WriteFileBytes(*steps.fileName, encoded.Memory(), encoded.Bytes().size());
            ImageParams.FileName = Utf8ToWide(*steps.fileName);
            ImageParams.FileType = steps.fileType;
        }
    } catch (const std::exception& error) {
        AbortFlag = true;
        lastError_ = MessageOf(error);
        DoFinishWork();
        throw;
    }
    if (AbortFlag && lastError_.empty())
        lastError_ = cancelled_ ? "Cancelled" : "The image could not be written as " + FullName(steps.fileType);
    DoFinishWork();
}

// ---------------------------------------------------------------- BMP

void TVidurErIO::LoadBMP(const std::string* fileName, TStream* stream) {
    TLoadSteps steps;
    steps.fileType = 5;
    steps.fileName = fileName;
    steps.stream = stream;
    steps.read = [this](TStream& source, TIEProgressRec& progress) {
        IEReadBMPStream(source, *bitmap_, 0, ImageParams, progress, false, false, !ImageParams.BmpAlphaChannel);
    };
    RunLoad(steps);
}

void TVidurErIO::SaveBMP(const std::string* fileName, TStream* stream) {
    TSaveSteps steps;
    steps.fileType = 5;
    steps.fileName = fileName;
    steps.stream = stream;
    steps.write = [this](TStream& target, TIEProgressRec& progress) {
        IEWriteBMPStream(target, *bitmap_, ImageParams, progress, ImageParams.BmpAlphaChannel);
    };
    RunSave(steps);
}

void TVidurErIO::LoadFromFileBMP(const std::string& fileName) { LoadBMP(&fileName, nullptr); }
void TVidurErIO::LoadFromStreamBMP(TStream& stream) { LoadBMP(nullptr, &stream); }
void TVidurErIO::SaveToFileBMP(const std::string& fileName) { SaveBMP(&fileName, nullptr); }
void TVidurErIO::SaveToStreamBMP(TStream& stream) { SaveBMP(nullptr, &stream); }

// ---------------------------------------------------------------- GIF

void TVidurErIO::LoadGIF(const std::string* fileName, TStream* stream) {
    TLoadSteps steps;
    steps.fileType = 2;
    steps.fileName = fileName;
    steps.stream = stream;
    steps.read = [this](TStream& source, TIEProgressRec& progress) {
        IEReadGIFComposedStream(source, *bitmap_, ImageParams, progress, false);
    };
    // The reader walks every block itself and says when one is damaged.
    steps.end = TLoadSteps::kEmptyRead;
    RunLoad(steps);
}

void TVidurErIO::SaveGIF(const std::string* fileName, TStream* stream) {
    TSaveSteps steps;
    steps.fileType = 2;
    steps.fileName = fileName;
    steps.stream = stream;
    steps.write = [this](TStream& target, TIEProgressRec& progress) {
        IEWriteGIFStream(target, *bitmap_, ImageParams, progress);
    };
    RunSave(steps);
}

void TVidurErIO::LoadFromFileGIF(const std::string& fileName) { LoadGIF(&fileName, nullptr); }
void TVidurErIO::LoadFromStreamGIF(TStream& stream) { LoadGIF(nullptr, &stream); }
void TVidurErIO::SaveToFileGIF(const std::string& fileName) { SaveGIF(&fileName, nullptr); }
void TVidurErIO::SaveToStreamGIF(TStream& stream) { SaveGIF(nullptr, &stream); }

// ---------------------------------------------------------------- WBMP

void TVidurErIO::LoadWBMP(const std::string* fileName, TStream* stream) {
    TLoadSteps steps;
    steps.fileType = 16;
    steps.fileName = fileName;
    steps.stream = stream;
    steps.read = [this](TStream& source, TIEProgressRec& progress) {
        IEReadWBMPStream(source, *bitmap_, ImageParams, false, progress);
    };
    RunLoad(steps);
}

void TVidurErIO::SaveWBMP(const std::string* fileName, TStream* stream) {
    TSaveSteps steps;
    steps.fileType = 16;
    steps.fileName = fileName;
    steps.stream = stream;
    steps.write = [this](TStream& target, TIEProgressRec& progress) { IEWriteWBMPStream(target, *bitmap_, progress); };
    RunSave(steps);
}

void TVidurErIO::LoadFromFileWBMP(const std::string& fileName) { LoadWBMP(&fileName, nullptr); }
void TVidurErIO::LoadFromStreamWBMP(TStream& stream) { LoadWBMP(nullptr, &stream); }
void TVidurErIO::SaveToFileWBMP(const std::string& fileName) { SaveWBMP(&fileName, nullptr); }
void TVidurErIO::SaveToStreamWBMP(TStream& stream) { SaveWBMP(nullptr, &stream); }

// ---------------------------------------------------------------- JPEG

namespace {

void ReadJPEG(TStream& stream, TIEBitmap& bitmap, TIOParamsVals& params, TIEProgressRec& progress) {
    IEReadJPEGStream(stream, nullptr, bitmap, params.NativePixelFormat, -1, true, true, false, true, false, false,
                     progress, params);
}

uint32_t GetBE32(const uint8_t* p) {
    return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}

void PutBE32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (24 - 8 * i));
}

}  // namespace

void TVidurErIO::LoadJPEG(const std::string* fileName, TStream* stream) {
    TLoadSteps steps;
    steps.fileType = 3;
    steps.fileName = fileName;
    steps.stream = stream;
    steps.end = TLoadSteps::kEmptyRead;  // the decoder reads ahead in blocks
    steps.read = [this, header = stream != nullptr](TStream& source, TIEProgressRec& progress) {
        const int64_t start = source.GetPosition();
        TIEStreamHeader found;
        if (header && IEReadStreamHeader(source, found) && std::memcmp(found.Magic, "JFIF", 4) == 0) {
            // The image lies within the header's length; the next one
            // follows it.
            const int64_t length = std::clamp<int64_t>(static_cast<uint32_t>(found.Length), 0, source.Remaining());
            const int64_t body = source.GetPosition();
            std::vector<uint8_t> bytes(static_cast<size_t>(length));
            source.ReadBuffer(bytes.data(), length);
            TMemoryStream image(std::move(bytes));
            TEndWatch watch(image);
            ReadJPEG(watch, *bitmap_, ImageParams, progress);
            if (watch.EmptyRead()) progress.Abort();
            source.SetPosition(body + length);
            return;
        }
        source.SetPosition(start);
        ReadJPEG(source, *bitmap_, ImageParams, progress);
    };
    RunLoad(steps);
}

namespace {
constexpr size_t kMaxMarkerPayload = 65533;
}  // namespace

void TVidurErIO::PrepareJPEGMarkers() {
    TIEMarkerList& markers = ImageParams.JpegMarkerList;
    // The resolution resource of a Photoshop block, when there is one, takes
    // the image's DPI (16.16 fixed point, units in inches).
    const int32_t app13 = markers.IndexOf(0xED);
    if (app13 >= 0) {
        std::vector<uint8_t> data = markers.GetMarkerBytes(app13);
        static const uint8_t kResolution[6] = {'8', 'B', 'I', 'M', 0x03, 0xED};
        auto found = std::search(data.begin(), data.end(), std::begin(kResolution), std::end(kResolution));
        if (found != data.end()) {
            size_t at = static_cast<size_t>(found - data.begin()) + 6;
            if (at + 2 <= data.size()) {
                const size_t nameLength = size_t{data[at]} << 8 | data[at + 1];
                at += 2 + nameLength;
                if (at + 4 <= data.size()) {
                    const uint32_t size = GetBE32(&data[at]);
                    at += 4;
                    if (size >= 16 && at + 16 <= data.size()) {
                        PutBE32(&data[at], static_cast<uint32_t>(ImageParams.DpiX) << 16);
                        data[at + 4] = 0, data[at + 5] = 1, data[at + 6] = 0, data[at + 7] = 1;
                        PutBE32(&data[at + 8], static_cast<uint32_t>(ImageParams.DpiY) << 16);
                        data[at + 12] = 0, data[at + 13] = 1, data[at + 14] = 0, data[at + 15] = 1;
                        markers.SetMarker(app13, 0xED, static_cast<int32_t>(data.size()), data.data());
                    }
                }
            }
        }
    }
    TIEIPTCInfoList& iptc = ImageParams.IPTCList;
    if (iptc.UserChanged() || (iptc.GetCount() > 0 && markers.GetCount() == 0)) {
        const std::vector<uint8_t> block = iptc.SaveToBuffer(true);
        const int32_t first = markers.IndexOf(0xED);
        if (block.empty()) {
            if (first >= 0) markers.DeleteMarker(first);
        } else if (first >= 0) {
            markers.SetMarker(first, 0xED, static_cast<int32_t>(block.size()), block.data());
        } else {
            markers.AddMarker(0xED, block.data(), static_cast<int32_t>(block.size()));
        }
    }
    // The EXIF and XMP blocks are made afresh from the parameters.
    if (ImageParams.ExifHasData) {
        for (int32_t i = markers.GetCount() - 1; i >= 0; --i)
            if (markers.GetMarkerType(i) == 0xE1 && IEIsEXIFBlock(markers.GetMarkerData(i), markers.GetMarkerLength(i)))
                markers.DeleteMarker(i);
        std::vector<uint8_t> block = IESaveEXIFToBlock(ImageParams);
        // A marker holds at most 65,533 bytes: a thumbnail that does not fit
        // is left out rather than cutting the block.
        if (block.size() > kMaxMarkerPayload && ImageParams.ExifThumbnail()) {
            TIEBitmap thumbnail;
            thumbnail.Assign(*ImageParams.ExifThumbnail());
            ImageParams.ExifThumbnail()->FreeImage(true);
            block = IESaveEXIFToBlock(ImageParams);
            ImageParams.ExifThumbnail()->Assign(thumbnail);
        }
        if (block.size() <= kMaxMarkerPayload) markers.AddMarker(0xE1, block.data(), static_cast<int32_t>(block.size()));
    }
    if (!ImageParams.XmpInfo.empty()) {
        for (int32_t i = markers.GetCount() - 1; i >= 0; --i)
            if (markers.GetMarkerType(i) == 0xE1 && IEFindXMPPacket(markers.GetMarkerData(i), markers.GetMarkerLength(i)))
                markers.DeleteMarker(i);
        const std::vector<uint8_t> block = IESaveXMPToBlock(ImageParams);
        if (block.size() <= kMaxMarkerPayload) markers.AddMarker(0xE1, block.data(), static_cast<int32_t>(block.size()));
    }
}

void TVidurErIO::SaveJPEG(const std::string* fileName, TStream* stream) {
    TSaveSteps steps;
    steps.fileType = 3;
    steps.fileName = fileName;
    steps.stream = stream;
    steps.to24Bit = true;
    steps.headerMagic = "JFIF";
    steps.write = [this](TStream& target, TIEProgressRec& progress) {
        PrepareJPEGMarkers();
        IEWriteJPEGStream(target, *bitmap_, ImageParams, progress);
    };
    RunSave(steps);
}

void TVidurErIO::LoadFromFileJPEG(const std::string& fileName) { LoadJPEG(&fileName, nullptr); }
void TVidurErIO::LoadFromStreamJPEG(TStream& stream) { LoadJPEG(nullptr, &stream); }
void TVidurErIO::SaveToFileJPEG(const std::string& fileName) { SaveJPEG(&fileName, nullptr); }
void TVidurErIO::SaveToStreamJPEG(TStream& stream) { SaveJPEG(nullptr, &stream); }

// ---------------------------------------------------------------- PNG

namespace {

void WritePNG(TStream& stream, TIEBitmap& bitmap, TIOParamsVals& params, TIEProgressRec& progress) {
    WithAlphaMask(bitmap, [&](TIEMask* mask) { IEWritePNGStream(stream, bitmap, params, mask, progress); });
}

}  // namespace

void TVidurErIO::LoadPNG(const std::string* fileName, TStream* stream) {
    TLoadSteps steps;
    steps.fileType = 8;
    steps.fileName = fileName;
    steps.stream = stream;
    steps.read = [this, file = fileName != nullptr](TStream& source, TIEProgressRec& progress) {
        // A file without a background chunk keeps the component's colour.
        if (file) ImageParams.PngBackground = IEColorToRGB(Background());
        std::string failure;
        IEReadPNGStream(source, *bitmap_, ImageParams, false, progress, &failure);
        if (!failure.empty()) lastError_ = "The " + FullName(8) + " data is damaged or incomplete: " + failure;
    };
    steps.afterDPI = [this] { SetBackground(IERGBToColor(ImageParams.PngBackground)); };
    RunLoad(steps);
}

void TVidurErIO::SavePNG(const std::string* fileName, TStream* stream) {
    TSaveSteps steps;
    steps.fileType = 8;
    steps.fileName = fileName;
    steps.stream = stream;
    steps.write = [this](TStream& target, TIEProgressRec& progress) { WritePNG(target, *bitmap_, ImageParams, progress); };
    RunSave(steps);
}

void TVidurErIO::LoadFromFilePNG(const std::string& fileName) { LoadPNG(&fileName, nullptr); }
void TVidurErIO::LoadFromStreamPNG(TStream& stream) { LoadPNG(nullptr, &stream); }
void TVidurErIO::SaveToFilePNG(const std::string& fileName) { SavePNG(&fileName, nullptr); }
void TVidurErIO::SaveToStreamPNG(TStream& stream) { SavePNG(nullptr, &stream); }

// ---------------------------------------------------------------- TIFF

void TVidurErIO::LoadTIFF(const std::string* fileName, TStream* stream) {
    TLoadSteps steps;
    steps.fileType = 1;
    steps.fileName = fileName;
    steps.stream = stream;
    steps.read = [this](TStream& source, TIEProgressRec& progress) {
        std::unique_ptr<TIEMask> mask;
        std::string failure;
        int32_t pages = 0;
        // Offsets written behind a stream header count from the stream's
        // start, as the writer put them.
        IEReadTIFFStream(bitmap_, source, pages, &ImageParams, progress, false, mask, !StreamHeaders, false, false,
                         &failure);
        ImageParams.ImageCount = ImageParams.TiffImageCount = pages;
        if (!failure.empty()) lastError_ = "The " + FullName(1) + " data is damaged or incomplete: " + failure;
        MaskToAlpha(mask, *bitmap_);
    };
    RunLoad(steps);
}

void TVidurErIO::SaveTIFF(const std::string* fileName, TStream* stream) {
    TSaveSteps steps;
    steps.fileType = 1;
    steps.fileName = fileName;
    steps.stream = stream;
    steps.headerMagic = "TIFF";
    steps.write = [this](TStream& target, TIEProgressRec& progress) {
        IEWriteTIFFStream(target, false, bitmap_, ImageParams, progress);
    };
    RunSave(steps);
}

void TVidurErIO::LoadFromFileTIFF(const std::string& fileName) { LoadTIFF(&fileName, nullptr); }
void TVidurErIO::LoadFromStreamTIFF(TStream& stream) { LoadTIFF(nullptr, &stream); }
void TVidurErIO::SaveToFileTIFF(const std::string& fileName) { SaveTIFF(&fileName, nullptr); }
void TVidurErIO::SaveToStreamTIFF(TStream& stream) { SaveTIFF(nullptr, &stream); }

void TVidurErIO::InsertToFileTIFF(const std::string& fileName) {
    std::error_code missing;
    if (!std::filesystem::exists(fileName, missing)) {
        SaveToFileTIFF(fileName);
        return;
    }
    TSaveSteps steps;
    steps.fileType = 1;
    steps.fileName = &fileName;
    steps.write = [this, &fileName](TStream& target, TIEProgressRec& progress) {
        // The file is changed in memory and put back whole.
        TMemoryStream old(ReadFileBytes(fileName));
        old.SetPosition(0);
        if (IEWriteTIFFStream(old, true, bitmap_, ImageParams, progress) == 0) {
            if (lastError_.empty()) lastError_ = "\"" + fileName + "\" is not a TIFF file this library can add pages to";
            return;
        }
        target.WriteBuffer(old.Memory(), static_cast<int64_t>(old.Bytes().size()));
    };
    RunSave(steps);
}

// ---------------------------------------------------------------- PCX and DCX

void TVidurErIO::LoadPCX(const std::string* fileName, TStream* stream) {
    TLoadSteps steps;
    steps.fileType = 4;
    steps.fileName = fileName;
    steps.stream = stream;
    const bool headers = stream && StreamHeaders;
    steps.read = [this, headers](TStream& source, TIEProgressRec& progress) {
        std::string failure;
        const int64_t start = source.GetPosition();
        int64_t size = source.GetSize() - start;
        int64_t after = -1;
        if (headers) {
            TIEStreamHeader header;
            if (!IEReadStreamHeader(source, header) || std::memcmp(header.Magic, "PCX", 3) != 0) {
                source.SetPosition(start);
                progress.Abort();
                lastError_ = "The stream holds no PCX stream header";
                return;
            }
            if (header.Magic[3] == '2') {
                size = header.Length;
                after = start + kIEStreamHeaderSize + header.Length;
            } else {
                // The older header is four bytes with no length.
                source.SetPosition(start + 4);
                size = source.GetSize() - start - 4;
            }
        }
        IEReadPCXStream(source, *bitmap_, ImageParams, size, progress, false, &failure);
        if (after >= 0) source.SetPosition(std::min(after, source.GetSize()));
        if (!failure.empty()) lastError_ = "The " + FullName(4) + " data is damaged or incomplete: " + failure;
    };
    RunLoad(steps);
}

void TVidurErIO::SavePCX(const std::string* fileName, TStream* stream) {
    TSaveSteps steps;
    steps.fileType = 4;
    steps.fileName = fileName;
    steps.stream = stream;
    steps.to24Bit = true;
    steps.headerMagic = "PCX2";
    steps.write = [this](TStream& target, TIEProgressRec& progress) {
        IEWritePCXStream(target, *bitmap_, ImageParams, progress);
    };
    RunSave(steps);
}

void TVidurErIO::LoadFromFilePCX(const std::string& fileName) { LoadPCX(&fileName, nullptr); }
void TVidurErIO::LoadFromStreamPCX(TStream& stream) { LoadPCX(nullptr, &stream); }
void TVidurErIO::SaveToFilePCX(const std::string& fileName) { SavePCX(&fileName, nullptr); }
void TVidurErIO::SaveToStreamPCX(TStream& stream) { SavePCX(nullptr, &stream); }

void TVidurErIO::LoadDCX(const std::string* fileName, TStream* stream) {
    TLoadSteps steps;
    steps.fileType = 19;
    steps.fileName = fileName;
    steps.stream = stream;
    steps.read = [this](TStream& source, TIEProgressRec& progress) {
        std::string failure;
        IEReadDCXStream(source, *bitmap_, ImageParams, progress, false, &failure);
        if (!failure.empty()) lastError_ = "The " + FullName(19) + " data is damaged or incomplete: " + failure;
    };
    RunLoad(steps);
}

void TVidurErIO::SaveDCX(const std::string* fileName, TStream* stream, bool insert) {
    TSaveSteps steps;
    steps.fileType = 19;
    steps.fileName = fileName;
    steps.stream = stream;
    steps.to24Bit = true;
    steps.write = [this, fileName, stream, insert](TStream& target, TIEProgressRec& progress) {
        std::string failure;
        // A file's container is changed in memory and put back whole; a
        // new file or stream gets a container of its own.
        TMemoryStream old(insert && fileName ? ReadFileBytes(*fileName) : std::vector<uint8_t>{});
        if (stream) stream->SetSize(stream->GetPosition());
        TStream& container = insert ? static_cast<TStream&>(old) : target;
        IEWriteDCXStream(container, *bitmap_, ImageParams, progress, &failure);
        if (!failure.empty()) lastError_ = "The image could not be written as " + FullName(19) + ": " + failure;
        if (insert && !progress.Aborting()) target.WriteBuffer(old.Memory(), static_cast<int64_t>(old.Bytes().size()));
    };
    RunSave(steps);
}

void TVidurErIO::LoadFromFileDCX(const std::string& fileName) { LoadDCX(&fileName, nullptr); }
void TVidurErIO::LoadFromStreamDCX(TStream& stream) { LoadDCX(nullptr, &stream); }
void TVidurErIO::SaveToFileDCX(const std::string& fileName) { SaveDCX(&fileName, nullptr, false); }
void TVidurErIO::SaveToStreamDCX(TStream& stream) { SaveDCX(nullptr, &stream, false); }

void TVidurErIO::InsertToFileDCX(const std::string& fileName) {
    std::error_code missing;
    SaveDCX(&fileName, nullptr, std::filesystem::exists(fileName, missing));
}

// ---------------------------------------------------------------- Targa

void TVidurErIO::LoadTGA(const std::string* fileName, TStream* stream) {
    TLoadSteps steps;
    steps.fileType = 11;
    steps.fileName = fileName;
    steps.stream = stream;
    steps.read = [this](TStream& source, TIEProgressRec& progress) {
        std::unique_ptr<TIEMask> mask;
        std::string failure;
        IEReadTGAStream(source, *bitmap_, ImageParams, progress, false, mask, false, &failure);
        if (!failure.empty()) lastError_ = "The " + FullName(11) + " data is damaged or incomplete: " + failure;
        MaskToAlpha(mask, *bitmap_);
    };
    RunLoad(steps);
}

void TVidurErIO::SaveTGA(const std::string* fileName, TStream* stream) {
    TSaveSteps steps;
    steps.fileType = 11;
    steps.fileName = fileName;
    steps.stream = stream;
    steps.to24Bit = true;
    steps.write = [this](TStream& target, TIEProgressRec& progress) {
        WithAlphaMask(*bitmap_, [&](TIEMask* mask) { IEWriteTGAStream(target, *bitmap_, ImageParams, progress, mask); });
    };
    RunSave(steps);
}

void TVidurErIO::LoadFromFileTGA(const std::string& fileName) { LoadTGA(&fileName, nullptr); }
void TVidurErIO::LoadFromStreamTGA(TStream& stream) { LoadTGA(nullptr, &stream); }
void TVidurErIO::SaveToFileTGA(const std::string& fileName) { SaveTGA(&fileName, nullptr); }
void TVidurErIO::SaveToStreamTGA(TStream& stream) { SaveTGA(nullptr, &stream); }

// ---------------------------------------------------------------- raw pixels

void TVidurErIO::LoadRawPixels(const std::string* fileName, TStream* stream) {
    if (fileName && fileName->empty()) return;
    TLoadSteps steps;
    steps.fileType = 21;
    steps.fileName = fileName;
    steps.stream = stream;
    steps.noDPI = true;
    steps.read = [this](TStream& source, TIEProgressRec& progress) {
        IEReadRawPixels(source, *bitmap_, ImageParams, progress);
    };
    RunLoad(steps);
}

void TVidurErIO::LoadFromFileRawPixels(const std::string& fileName) { LoadRawPixels(&fileName, nullptr); }
void TVidurErIO::LoadFromStreamRawPixels(TStream& stream) { LoadRawPixels(nullptr, &stream); }

// ---------------------------------------------------------------- PSD

void TVidurErIO::LoadPSD(const std::string* fileName, TStream* stream) {
    TLoadSteps steps;
    steps.fileType = 24;
    steps.fileName = fileName;
    steps.stream = stream;
    auto layers = std::make_shared<TIELayerList>();
    auto* view = dynamic_cast<TVidurErView*>(view_);
    const bool layered = view && ImageParams.PsdLoadLayers;
    steps.read = [this, layers, layered](TStream& source, TIEProgressRec& progress) {
        std::string failure;
        IEReadPSDStream(source, bitmap_, ImageParams, progress, layered, layered ? layers.get() : nullptr, &failure);
        if (!failure.empty()) lastError_ = "The " + FullName(24) + " data is damaged or incomplete: " + failure;
    };
    // The layers go into the view once the load has succeeded.
    steps.afterDPI = [this, layers, view] {
        if (AbortFlag || layers->empty() || !view) return;
        const bool replace = ImageParams.PsdReplaceLayers;
        if (replace) view->LayersClear();
        for (size_t i = 0; i < layers->size(); ++i) {
            TIELayer& source = *(*layers)[i];
            if (replace && i == 0) {
                TIELayer& base = *view->GetLayer(0);
                const bool locked = base.Locked, box = base.ShowBox;
                base.Assign(source);
                base.Locked = locked, base.ShowBox = box;
                continue;
            }
            const int32_t index = view->LayersAdd();
            view->GetLayer(index)->Assign(source);
        }
        view->SetLayersCurrent(0);
        view->Update();
    };
    RunLoad(steps);
}

void TVidurErIO::SavePSD(const std::string* fileName, TStream* stream) {
    TSaveSteps steps;
    steps.fileType = 24;
    steps.fileName = fileName;
    steps.stream = stream;
    steps.write = [this](TStream& target, TIEProgressRec& progress) {
        auto* view = dynamic_cast<TVidurErView*>(view_);
        std::vector<TIELayer*> layers;
        TIEBitmap flattened;
        TIEBitmap* merged = bitmap_;
        if (view && view->GetLayersCount() > 1) {
            for (int32_t i = 0; i < view->GetLayersCount(); ++i) layers.push_back(view->GetLayer(i));
            view->LayersDrawTo(flattened);
            merged = &flattened;
        }
        IEWritePSDStream(target, ImageParams, progress, merged, layers);
    };
    RunSave(steps);
}

void TVidurErIO::LoadFromFilePSD(const std::string& fileName) { LoadPSD(&fileName, nullptr); }
void TVidurErIO::LoadFromStreamPSD(TStream& stream) { LoadPSD(nullptr, &stream); }
void TVidurErIO::SaveToFilePSD(const std::string& fileName) { SavePSD(&fileName, nullptr); }
void TVidurErIO::SaveToStreamPSD(TStream& stream) { SavePSD(nullptr, &stream); }

// ---------------------------------------------------------------- PostScript, PDF and icons

void TVidurErIO::SaveDocument(int32_t fileType, const std::string* fileName, TStream* stream) {
    TSaveSteps steps;
    steps.fileType = fileType;
    steps.fileName = fileName;
    steps.stream = stream;
    steps.to24Bit = true;
    steps.write = [this, fileType](TStream& target, TIEProgressRec& progress) {
        switch (fileType) {
            case 17: IEWritePSStream(target, *bitmap_, ImageParams, progress); break;
            case 18: IEWritePDFStream(target, *bitmap_, ImageParams, progress); break;
            default: {
                std::vector<std::pair<int32_t, int32_t>> sizes;
                std::vector<int32_t> depths;
                for (int i = 0; i < 16 && ImageParams.IcoSizes[i][0] > 0; ++i) {
                    sizes.emplace_back(ImageParams.IcoSizes[i][0], ImageParams.IcoSizes[i][1]);
                    depths.push_back(ImageParams.IcoBitCount[i]);
                }
                IEWriteICOStream(target, *bitmap_, ImageParams, progress, sizes, depths);
                break;
            }
        }
    };
    RunSave(steps);
}

void TVidurErIO::SaveToFilePS(const std::string& fileName) { SaveDocument(17, &fileName, nullptr); }
void TVidurErIO::SaveToStreamPS(TStream& stream) { SaveDocument(17, nullptr, &stream); }
void TVidurErIO::SaveToFilePDF(const std::string& fileName) { SaveDocument(18, &fileName, nullptr); }
void TVidurErIO::SaveToStreamPDF(TStream& stream) { SaveDocument(18, nullptr, &stream); }
void TVidurErIO::SaveToFileICO(const std::string& fileName) { SaveDocument(6, &fileName, nullptr); }
void TVidurErIO::SaveToStreamICO(TStream& stream) { SaveDocument(6, nullptr, &stream); }
