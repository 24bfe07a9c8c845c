#include "imaging/io/ie_jpeg.h"

#include "imaging/io/ie_exif.h"
#include "platform/mathutil.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "imaging/core/ie_helpers.h"
#include "platform/jpeg.h"

namespace {

const char* const kMessages[] = {
    "Bogus message code ?",
    "Sorry, there are legal restrictions on arithmetic coding",
    "ALIGN_TYPE is wrong, please fix",
    "MAX_ALLOC_CHUNK is wrong, please fix",
    "Bogus buffer control mode",
    "Invalid component ID ? in SOS",
    "DCT coefficient out of range",
    "IDCT output block size ? not supported",
    "Bogus Huffman table definition",
    "Bogus input colorspace",
    "Bogus JPEG colorspace",
    "Bogus marker length",
    "Wrong JPEG library version: library is ?, caller expects ?",
    "Sampling factors too large for interleaved scan",
    "Invalid memory pool code ?",
    "Unsupported JPEG data precision ?",
    "Invalid progressive parameters Ss=? Se=? Ah=? Al=?",
    "Invalid progressive parameters at scan script entry ?",
    "Bogus sampling factors",
    "Invalid scan script at entry ?",
    "Improper call to JPEG library in state ?",
    "JPEG parameter struct mismatch: library thinks size is ?, caller expects ?",
    "Bogus virtual array access",
    "Buffer passed to JPEG library is too small",
    "Suspension not allowed here",
    "CCIR601 sampling not implemented yet",
    "Too many color components: ?, max ?",
    "Unsupported color conversion request",
    "Bogus DAC index ?",
    "Bogus DAC value 0x?",
    "Bogus DHT index ?",
    "Bogus DQT index ?",
    "Empty JPEG image (DNL not supported)",
    "Read from EMS failed",
    "Write to EMS failed",
    "Didn't expect more than one scan",
    "Input file read error",
    "Output file write error --- out of disk space?",
    "Fractional sampling not implemented yet",
    "Huffman code size table overflow",
    "Missing Huffman code table entry",
    "Maximum supported image dimension is ? pixels",
    "Empty input file",
    "Premature end of input file",
    "Cannot transcode due to multiple use of quantization table ?",
    "Scan script does not transmit all data",
    "Invalid color quantization mode change",
    "Not implemented yet",
    "Requested feature was omitted at compile time",
    "Backing store not supported",
    "Huffman table was not defined",
    "JPEG datastream contains no image",
    "Quantization table was not defined",
    "Not a JPEG file: starts with ?",
    "Insufficient memory (case ?)",
    "Cannot quantize more than ? color components",
    "Cannot quantize to fewer than ? colors",
    "Cannot quantize to more than ? colors",
    "Invalid JPEG file structure: two SOF markers",
    "Invalid JPEG file structure: missing SOS marker",
    "Unsupported JPEG process: SOF type ?",
    "Invalid JPEG file structure: two SOI markers",
    "Invalid JPEG file structure: SOS before SOF",
    "Failed to create temporary file ?",
    "Read failed on temporary file",
    "Seek failed on temporary file",
    "Write failed on temporary file --- out of disk space?",
    "Application transferred too few scanlines",
    "Unsupported marker type ?",
    "Virtual array controller messed up",
    "Image too wide for this implementation",
    "Read from XMS failed",
    "Write to XMS failed",
    "",
    "",
};

constexpr uint8_t kApp0 = 0xE0, kApp1 = 0xE1, kApp2 = 0xE2, kApp13 = 0xED, kApp14 = 0xEE;
constexpr int32_t kFindWindow = 100;

// Byte-at-a-time reading through an 8,192-byte buffer for the marker scans.
class TBufferedReader {
public:
    explicit TBufferedReader(TStream& stream) : stream_(stream) {}
    // -1 at the end of the stream.
    int Next() {
        if (pos_ == len_) {
            int64_t n = 0;
            try {
                n = stream_.Read(buffer_, sizeof buffer_);
            } catch (const EStreamError&) {
                n = 0;
            }
            if (n <= 0) return -1;
            len_ = static_cast<size_t>(n), pos_ = 0;
        }
        ++consumed_;
        return buffer_[pos_++];
    }
    int Word() {
        int hi = Next(), lo = Next();
        return hi < 0 || lo < 0 ? -1 : hi << 8 | lo;
    }
    bool Skip(int64_t count) {
        for (int64_t i = 0; i < count; ++i)
            if (Next() < 0) return false;
        return true;
    }
    int64_t Consumed() const { return consumed_; }

private:
    TStream& stream_;
    uint8_t buffer_[8192];
    size_t pos_ = 0, len_ = 0;
    int64_t consumed_ = 0;
};

bool IsStartOfFrame(int m) {
    return (m >= 0xC0 && m <= 0xCF) && m != 0xC4 && m != 0xC8 && m != 0xCC;
}

// Markers without a length: TEM, RST0..7, SOI, and fill bytes.
bool IsStandalone(int m) { return m <= 0xBF || (m >= 0xD0 && m <= 0xD8) || m == 0xFF; }

void ReportRow(TIEProgressRec& progress, int32_t& lastPercent) {
    if (!progress.OnProgress) return;
    auto percent = static_cast<int32_t>(std::trunc(progress.UnitsDone * progress.PercentPerUnit));
    if (percent != lastPercent) {
        lastPercent = percent;
        progress.Report(percent);
    }
}

// IPTC, EXIF and XMP from the kept markers. The EXIF resolution stands in
// for a JFIF header that gave none (both densities 1).
void LoadMetadata(TIEBitmap& bitmap, TIOParamsVals& params) {
    TIEMarkerList& markers = params.JpegMarkerList;
    for (int32_t i = 0; i < markers.GetCount(); ++i)
        if (markers.GetMarkerType(i) == kApp13 &&
            params.IPTCList.LoadFromBuffer(markers.GetMarkerData(i), markers.GetMarkerLength(i)))
            break;
    // The first APP1 that is an Exif block: XMP may come first.
    int32_t app1 = -1;
    for (int32_t i = 0; i < markers.GetCount() && app1 < 0; ++i)
        if (markers.GetMarkerType(i) == kApp1 && IEIsEXIFBlock(markers.GetMarkerData(i), markers.GetMarkerLength(i)))
            app1 = i;
    const int32_t jfifX = params.DpiX, jfifY = params.DpiY;
    if (app1 >= 0 && IELoadEXIFFromBlock(markers.GetMarkerData(app1), markers.GetMarkerLength(app1), params)) {
        // The EXIF resolutions are already per inch, whatever unit the
        // block named.
        if (jfifX == 1 && jfifY == 1) {
            params.SetDpiX(TruncToInt32Saturated(params.ExifXResolution));
            params.SetDpiY(TruncToInt32Saturated(params.ExifYResolution));
        } else {
            params.SetDpiX(jfifX);
            params.SetDpiY(jfifY);
        }
        if (params.JpegEnableAdjustOrientation) IEApplyEXIFOrientation(bitmap, params.ExifOrientation);
    }
    for (int32_t i = 0; i < markers.GetCount(); ++i)
        if (markers.GetMarkerType(i) == kApp1 &&
            IELoadXMPFromBlock(markers.GetMarkerData(i), markers.GetMarkerLength(i), params))
            break;
}

int ScaleDenominator(TIOParamsVals& params, const TJpegHeader& header) {
    switch (params.JpegScale) {
        case 0:
            if (params.Width > 0 && params.Height > 0) {
                for (int n = 3; n >= 0; --n)
                    if ((header.width >> n) >= params.Width && (header.height >> n) >= params.Height) return 1 << n;
            }
            return 1;
        case 2: return 2;
        case 3: return 4;
        case 4: return 8;
        default: return 1;
    }
}

}  // namespace

std::string IEJpegMessageText(int32_t code) {
    if (code >= 0 && code < static_cast<int32_t>(std::size(kMessages))) return kMessages[code];
    return "Corrupted";
}

int64_t IEFindJPEGStart(TStream& stream) {
    const int64_t start = stream.GetPosition();
    int64_t found = -1;
    uint8_t window[kFindWindow + 2] = {};
    int64_t got = 0;
    try {
        got = stream.Read(window, sizeof window);
    } catch (const EStreamError&) {
        got = 0;
    }
    for (int64_t k = 0; k + 3 <= got && k < kFindWindow; ++k)
        if (window[k] == 0xFF && window[k + 1] == 0xD8 && window[k + 2] == 0xFF) {
            found = start + k;
            break;
        }
    stream.SetPosition(start);
    return found;
}

int64_t IEJPEGStreamLength(TStream& stream) {
    const int64_t start = stream.GetPosition();
    TBufferedReader reader(stream);
    for (int b = reader.Next(); b >= 0; b = reader.Next()) {
        if (b != 0xFF) continue;
        int m = reader.Next();
        if (m < 0 || m == 0xD9) break;
        if ((m >= 0xC0 && m <= 0xCF) || (m >= 0xDA && m <= 0xFE)) {
            int length = reader.Word();
            if (length < 0 || !reader.Skip(length - 2)) break;
        }
    }
    int64_t consumed = reader.Consumed();
    stream.SetPosition(start);
    return consumed;
}

void IEReadJPEGICCProfile(TStream& stream, TIOParamsVals& params) {
    const int64_t start = stream.GetPosition();
    TBufferedReader reader(stream);
    std::vector<std::vector<uint8_t>> chunks;
    int64_t total = 0;
    int read = 0;
    for (int b = reader.Next(); b >= 0; b = reader.Next()) {
        if (b != 0xFF) continue;
        int m = reader.Next();
        if (m < 0 || IsStartOfFrame(m) || m == 0xD9) break;
        if (IsStandalone(m)) continue;
        int length = reader.Word();
        if (length < 2) break;
        if (m != kApp2) {
            if (!reader.Skip(length - 2)) break;
            continue;
        }
        std::vector<uint8_t> block;
        bool complete = true;
        for (int i = 0; i < length - 2 && complete; ++i) {
            int v = reader.Next();
            if (v < 0) complete = false;
            else block.push_back(static_cast<uint8_t>(v));
        }
        if (!complete) break;
        if (block.size() < 14 || std::memcmp(block.data(), "ICC_PROFILE", 12) != 0) continue;
        int sequence = block[12], count = block[13];
        if (sequence < 1) continue;  // a chunk numbered 0 has no place in the list
        if (chunks.size() < static_cast<size_t>(sequence)) chunks.resize(static_cast<size_t>(sequence));
        total += static_cast<int64_t>(block.size()) - 14;
        chunks[static_cast<size_t>(sequence - 1)] = std::move(block);
        if (++read == count) break;
    }
    if (total > 0) {
        std::vector<uint8_t> profile;
        for (const std::vector<uint8_t>& chunk : chunks)
            if (chunk.size() > 14) profile.insert(profile.end(), chunk.begin() + 14, chunk.end());
        params.GetInputICCProfile().LoadFromBuffer(profile.data(), static_cast<int32_t>(profile.size()));
    }
    stream.SetPosition(start);
}

int32_t IEReadJPEGStream(TStream& stream, TStream* tables, TIEBitmap& bitmap, bool nativePixelFormat,
                         int32_t maxRows, bool readICC, bool dropAppliedProfile, bool plainCMYK, bool metadata,
                         bool keepComponents, bool headerOnly, TIEProgressRec& progress, TIOParamsVals& params) {
    if (params.JpegGetExifThumbnail) {
        // The EXIF thumbnail in place of the picture when the file has one;
        // Width and Height then give the picture's own size.
        if (TIEBitmap* thumbnail = params.ExifThumbnail()) thumbnail->FreeImage(true);
        params.SetGetEXIFThumbnail(false);
        const int32_t width = params.Width, height = params.Height;
        const int64_t start = stream.GetPosition();
        const bool wasAborting = progress.Aborting();
        IEReadJPEGStream(stream, tables, bitmap, nativePixelFormat, maxRows, false, dropAppliedProfile, plainCMYK,
                         true, keepComponents, true, progress, params);
        params.SetGetEXIFThumbnail(true);
        TIEBitmap* thumbnail = params.ExifThumbnail();
        if (thumbnail && !thumbnail->IsEmpty()) {
            bitmap.Assign(*thumbnail);
            return 0;
        }
        if (progress.AbortFlag) *progress.AbortFlag = wasAborting;
        stream.SetPosition(start);
        params.Width = width, params.Height = height;
    }
    params.JpegWarningCount = 0;
    params.JpegLastMessageCode = 0;
    bool localAbort = false;
    if (!progress.AbortFlag) progress.AbortFlag = &localAbort;
    bool* abort = progress.AbortFlag;
    int64_t start = IEFindJPEGStart(stream);
    if (start < 0) {
        *abort = true;
        if (abort == &localAbort) progress.AbortFlag = nullptr;
        return 0;
    }
    stream.SetPosition(start);
    if (readICC) IEReadJPEGICCProfile(stream, params);
    const bool colorManaged = params.InputICCProfile() != nullptr && IEColorManagementEnabled;

    int32_t rowsDone = 0;
    {
        TJpegDecoder decoder(abort);
        bool ok = !*abort;
        if (ok && tables && tables != &stream) ok = decoder.ReadTables(*tables);
        ok = ok && !*abort && decoder.ReadHeader(stream, true);
        if (!ok) *abort = true;
        TJpegHeader header;
        TJpegColorSpace output = TJpegColorSpace::Unknown;
        if (ok) {
            header = decoder.Header();
            params.BitsPerSample = 8;
            switch (header.colorSpace) {
                case TJpegColorSpace::Gray:
                    params.JpegColorSpace = 1, params.SamplesPerPixel = 1, output = TJpegColorSpace::Gray;
                    break;
                case TJpegColorSpace::RGB:
                    params.JpegColorSpace = 0, params.SamplesPerPixel = 3, output = TJpegColorSpace::BGR;
                    break;
                case TJpegColorSpace::YCbCr:
                    params.JpegColorSpace = 2, params.SamplesPerPixel = 3, output = TJpegColorSpace::BGR;
                    break;
                case TJpegColorSpace::CMYK:
                case TJpegColorSpace::YCCK:
                    params.JpegColorSpace = header.colorSpace == TJpegColorSpace::CMYK ? 3 : 4;
                    params.SamplesPerPixel = 4, output = TJpegColorSpace::CMYK;
                    break;
                default: break;
            }
            if (keepComponents) output = TJpegColorSpace::YCbCr;
            if (header.densityUnit == 0 || header.densityUnit == 1) {
                params.SetDpiX(header.xDensity);
                params.SetDpiY(header.yDensity);
            } else if (header.densityUnit == 2) {
                params.SetDpiX(static_cast<int32_t>(std::trunc(header.xDensity * 2.54)));
                params.SetDpiY(static_cast<int32_t>(std::trunc(header.yDensity * 2.54)));
            }
            params.ColorMap.clear();
            params.JpegProgressive = header.progressive;
            params.JpegOriginalWidth = header.width;
            params.JpegOriginalHeight = header.height;
            int denominator = ScaleDenominator(params, header);
            params.JpegScaleUsed = denominator;
            decoder.SetOutput(output, params.JpegDCTMethod, denominator);
            if (headerOnly) {
                params.Width = header.width;
                params.Height = header.height;
            }
        }
        // Pixel memory is taken only for what a stream could describe: a
        // damaged header may claim 65535 x 65535.
        if (ok && !headerOnly &&
            int64_t{header.width} * header.height > TJPEGImage::kMaxPixels) {
            *abort = true;
            ok = false;
        }
        std::vector<uint8_t> buffer;
        if (ok && !headerOnly) {
            ok = decoder.Start();
            if (!ok) *abort = true;
        }
        if (ok && !headerOnly) {
            const int32_t width = decoder.OutputWidth(), height = decoder.OutputHeight();
            params.Width = width;
            params.Height = height;
            buffer.resize(static_cast<size_t>(width) * 4);
            // Components other than 1, 3 and 4 have no pixel format here: such
            // a read gives the header and no rows.
            TIEPixelFormat format = output == TJpegColorSpace::Unknown ? ienull : ie24RGB;
            if (nativePixelFormat && format != ienull)
                format = output == TJpegColorSpace::Gray ? ie8g : output == TJpegColorSpace::CMYK ? ieCMYK : ie24RGB;
            if (format == ienull || !bitmap.Allocate(width, height, format)) {
                ok = false;
                *abort = true;
            }
            if (ok) {
                if (maxRows < 0) maxRows = bitmap.GetHeight();
                progress.PercentPerUnit = height > 0 ? 100.0 / height : 0;
                progress.UnitsDone = 0;
                int32_t lastPercent = -1;
                while (!*abort && decoder.OutputScanline() < height && rowsDone < maxRows) {
                    uint8_t* row = bitmap.GetScanline(rowsDone);
                    int got = 0;
                    if (output == TJpegColorSpace::Gray) {
                        if (format == ie8g) {
                            got = decoder.ReadScanline(row);
                        } else {
                            got = decoder.ReadScanline(buffer.data());
                            for (int32_t x = 0; x < width && got > 0; ++x)
                                row[3 * x] = row[3 * x + 1] = row[3 * x + 2] = buffer[static_cast<size_t>(x)];
                        }
                    } else if (output == TJpegColorSpace::CMYK && format == ie24RGB) {
                        got = decoder.ReadScanline(buffer.data());
                        if (got > 0 && !*abort) {
                            if (plainCMYK) IEInvertBuffer(buffer.data(), width * 4);
                            IEConvertColorRow(buffer.data(), iecCMYK, row, &params, width, iecBGR);
                        }
                    } else if (colorManaged && output == TJpegColorSpace::BGR) {
                        got = decoder.ReadScanline(buffer.data());
                        if (got > 0) IEConvertColorRow(buffer.data(), iecBGR, row, &params, width, iecBGR);
                    } else {
                        got = decoder.ReadScanline(row);
                    }
                    if (got < 0) {
                        *abort = true;
                        break;
                    }
                    if (got == 0) break;
                    rowsDone += got;
                    progress.UnitsDone += got;
                    ReportRow(progress, lastPercent);
                }
                if (rowsDone < maxRows) *abort = true;
            }
        }
        // Clean-up: the markers the library kept, in file order, all but the
        // first APP0 (the writer makes its own JFIF marker).
        params.JpegMarkerList.Clear();
        bool firstApp0 = true;
        for (const TJpegMarker& marker : decoder.SavedMarkers()) {
            if (marker.type == kApp0 && firstApp0) {
                firstApp0 = false;
                continue;
            }
            params.JpegMarkerList.AddMarker(marker.type, marker.data.data(),
                                            static_cast<int32_t>(marker.data.size()));
        }
        TIEICC* profile = params.InputICCProfile();
        if (dropAppliedProfile && colorManaged && profile && profile->IsTransformReady()) {
            profile->FreeTransform();
            for (int32_t i = params.JpegMarkerList.GetCount() - 1; i >= 0; --i)
                if (params.JpegMarkerList.GetMarkerType(i) == kApp2) params.JpegMarkerList.DeleteMarker(i);
        }
        if (ok && !*abort && !headerOnly) decoder.Finish();
        if (decoder.Warnings() > 0) {
            params.JpegWarningCount = decoder.Warnings();
            params.JpegLastMessageCode = decoder.MessageCode();
        }
    }
    if (metadata) LoadMetadata(bitmap, params);
    if (abort == &localAbort) progress.AbortFlag = nullptr;
    return rowsDone;
}

namespace {

// One bitmap row as B, G, R (3 components) or inverted CMYK (4); the
// writer has refused the formats not listed.
void BitmapRow(TIEBitmap& bitmap, int32_t y, bool cmykFile, std::vector<uint8_t>& bgr, std::vector<uint8_t>& out) {
    const int32_t width = bitmap.GetWidth();
    const uint8_t* row = bitmap.GetScanline(y);
    switch (bitmap.GetPixelFormat()) {
        case ie24RGB: std::copy_n(row, width * 3, bgr.data()); break;
        case ie32RGB:
            for (int32_t x = 0; x < width; ++x) std::copy_n(row + 4 * x, 3, &bgr[static_cast<size_t>(x) * 3]);
            break;
        case ie8g:
            for (int32_t x = 0; x < width; ++x) std::fill_n(&bgr[static_cast<size_t>(x) * 3], 3, row[x]);
            break;
        case ie1g:
            for (int32_t x = 0; x < width; ++x)
                std::fill_n(&bgr[static_cast<size_t>(x) * 3], 3, (row[x >> 3] & (0x80 >> (x & 7))) ? 255 : 0);
            break;
        case ie8p:
            for (int32_t x = 0; x < width; ++x) {
                TRGB c = bitmap.GetPaletteColor(row[x]);
                uint8_t* p = &bgr[static_cast<size_t>(x) * 3];
                p[0] = c.b, p[1] = c.g, p[2] = c.r;
            }
            break;
        case ieCMYK: IEConvertColorRow(row, iecCMYK, bgr.data(), nullptr, width, iecBGR); break;
        case ieRGB48: IEConvertColorRow(row, iecRGB48, bgr.data(), nullptr, width, iecBGR); break;
        case ieCIELab: IEConvertColorRow(row, iecCIELab, bgr.data(), nullptr, width, iecBGR); break;
        case ie16g:  // the high byte of each little-endian word
            for (int32_t x = 0; x < width; ++x) std::fill_n(&bgr[static_cast<size_t>(x) * 3], 3, row[2 * x + 1]);
            break;
        default: break;
    }
    if (cmykFile) IEConvertColorRow(bgr.data(), iecBGR, out.data(), nullptr, width, iecCMYK);
}

}  // namespace

void IEWriteJPEGStream(TStream& stream, TIEBitmap& bitmap, TIOParamsVals& params, TIEProgressRec& progress) {
    bool localAbort = false;
    bool* abort = progress.AbortFlag ? progress.AbortFlag : &localAbort;
    const int32_t width = bitmap.GetWidth(), height = bitmap.GetHeight();
    if (width <= 0 || height <= 0) {
        *abort = true;
        return;
    }
    switch (bitmap.GetPixelFormat()) {
        case ie24RGB: case ie32RGB: case ie8g: case ie1g: case ie8p: case ieCMYK: case ieRGB48: case ieCIELab:
        case ie16g: break;
        default:
            *abort = true;
            throw EIEJpegException(std::string("JPEG cannot store ") + IEPixelFormatName(bitmap.GetPixelFormat()) +
                                   " pixels");
    }
    TJpegEncodeSettings settings;
    settings.width = width;
    settings.height = height;
    switch (params.JpegColorSpace) {
        case 1: settings.fileSpace = TJpegColorSpace::Gray; break;
        case 2: settings.fileSpace = TJpegColorSpace::YCbCr; break;
        case 3: settings.fileSpace = TJpegColorSpace::CMYK; break;
        case 4: settings.fileSpace = TJpegColorSpace::YCCK; break;
        default: settings.fileSpace = TJpegColorSpace::RGB; break;
    }
    const bool cmykFile = params.JpegColorSpace == 3 || params.JpegColorSpace == 4;
    settings.inputComponents = cmykFile ? 4 : 3;
    settings.xDensity = params.DpiX != 0 ? params.DpiX : IELibraryDefaultDPI[0];
    settings.yDensity = params.DpiY != 0 ? params.DpiY : IELibraryDefaultDPI[1];
    settings.dctMethod = params.JpegDCTMethod;
    settings.optimizeCoding = params.JpegOptimalHuffman;
    settings.smoothing = params.JpegSmooth;
    settings.quality = params.JpegQuality;
    settings.progressive = params.JpegProgressive;

    std::vector<uint8_t> bgr(static_cast<size_t>(width) * 3), cmyk(static_cast<size_t>(width) * 4);
    TJpegEncoder encoder(abort);
    auto fail = [&](int code) {
        *abort = true;
        throw EIEJpegException(IEJpegMessageText(code));
    };
    if (!encoder.Start(stream, settings)) fail(encoder.MessageCode());
    if (*abort) return;
    params.JpegMarkerList.SortMarkers();
    for (int32_t i = 0; i < params.JpegMarkerList.GetCount(); ++i) {
        if (params.JpegMarkerList.GetMarkerType(i) == kApp14) continue;
        if (!encoder.WriteMarker(params.JpegMarkerList.GetMarkerType(i), params.JpegMarkerList.GetMarkerData(i),
                                 static_cast<unsigned>(params.JpegMarkerList.GetMarkerLength(i))))
            fail(encoder.MessageCode());
    }
    progress.PercentPerUnit = 100.0 / height;
    progress.UnitsDone = 0;
    int32_t lastPercent = -1;
    for (int32_t y = 0; y < height && !*abort; ++y) {
        BitmapRow(bitmap, y, cmykFile, bgr, cmyk);
        if (!encoder.WriteScanline(cmykFile ? cmyk.data() : bgr.data())) fail(encoder.MessageCode());
        ++progress.UnitsDone;
        ReportRow(progress, lastPercent);
    }
    if (!*abort && !encoder.Finish()) fail(encoder.MessageCode());
}
