// The TIFF writer: one little-endian page, its strips in the chosen
// compression, and its directory linked into a new file or into the chain
// of a file this writer made.
#include <algorithm>
#include <cstring>
#include <set>

#include "imaging/core/ie_color_reduce.h"
#include "imaging/core/ie_helpers.h"
#include "imaging/core/ie_quantizer.h"
#include "imaging/core/ie_streams.h"
#include "imaging/core/ie_tiff_dir.h"
#include "imaging/core/ie_zlib.h"
#include "imaging/io/ie_ccitt.h"
#include "imaging/io/ie_exif.h"
#include "imaging/io/ie_jpeg.h"
#include "imaging/io/ie_tiff.h"
#include "imaging/io/ie_tiff_lzw.h"

namespace {

enum TKind { kWhiteIsZero, kGray, kRGB, kPalette, kCMYK };

// What the page is written as.
struct TPlan {
    TIEBitmap* bitmap = nullptr;          // the working bitmap
    std::unique_ptr<TIEBitmap> owned;      // a converted copy, when one was made
    TKind kind = kRGB;
    uint16_t compression = 1;
    bool twoD = false;                     // Group 3 two-dimensional
    int32_t predictor = 1;
    int32_t bits = 8;                      // per sample
    int32_t samples = 3;
    bool alpha = false;
    std::vector<uint8_t> alphaRows;        // width x height when alpha is written
    std::unique_ptr<TIEQuantizer> quantizer;
    std::vector<TRGB> palette;
    TIETIFFLZWCompressor lzw = nullptr;
};

bool HasTransparency(TIEBitmap& bitmap) {
    if (!bitmap.GetHasAlphaChannel()) return false;
    TIEBitmap& alpha = *bitmap.GetAlphaChannel();
    for (int32_t y = 0; y < alpha.GetHeight(); ++y) {
        const uint8_t* row = alpha.GetScanline(y);
        for (int32_t x = 0; x < alpha.GetWidth(); ++x)
            if (row[x] != 255) return true;
    }
    return false;
}

std::unique_ptr<TIEBitmap> CopyAs(TIEBitmap& source, TIEPixelFormat format) {
    auto copy = std::make_unique<TIEBitmap>();
    copy->Assign(source);
    copy->ConvertToPixelFormat(format);
    return copy;
}

// Chooses the working bitmap and the page's layout; the parameters follow.
void MakePlan(TIEBitmap& source, TIOParamsVals& params, TPlan& plan) {
    plan.bitmap = &source;
    TIEPixelFormat format = source.GetPixelFormat();
    const bool wantsBilevel = params.BitsPerSample == 1 && params.SamplesPerPixel == 1;
    if (wantsBilevel && format != ie1g) {
        TRGB first, second;
        plan.owned = IEBitmapToBWIfTwoColors(source, first, second);
        if (!plan.owned) plan.owned = CopyAs(source, ie1g);
        plan.bitmap = plan.owned.get();
    } else if (!wantsBilevel && format == ie1g) {
        plan.owned = CopyAs(source, ie24RGB);
        plan.bitmap = plan.owned.get();
    } else if (format != ie1g && format != ie8p && format != ie8g && format != ie16g && format != ie24RGB &&
               format != ieCMYK && format != ieRGB48) {
        plan.owned = CopyAs(source, ie24RGB);
        plan.bitmap = plan.owned.get();
    }
    TIEBitmap& bitmap = *plan.bitmap;
    format = bitmap.GetPixelFormat();

    switch (format) {
        case ie1g: plan.kind = kGray, plan.bits = 1, plan.samples = 1; break;
        case ie8g: plan.kind = kGray, plan.bits = 8, plan.samples = 1; break;
        case ie16g: plan.kind = kGray, plan.bits = 16, plan.samples = 1; break;
        case ie8p:
            plan.kind = kPalette, plan.bits = 8, plan.samples = 1;
            for (int32_t i = 0; i < 256; ++i)
                plan.palette.push_back(i < bitmap.GetPaletteLen() ? bitmap.GetPaletteColor(i) : TRGB{});
            break;
        case ieCMYK: plan.kind = kCMYK, plan.bits = 8, plan.samples = 4; break;
        case ieRGB48: plan.kind = kRGB, plan.bits = 16, plan.samples = 3; break;
        default:
            if (params.SamplesPerPixel == 1 && params.BitsPerSample >= 2 && params.BitsPerSample <= 8) {
                // A palette of as many colours as the bits hold; a gray one
                // is written as gray levels.
                const int32_t colours = 1 << params.BitsPerSample;
                plan.palette.assign(static_cast<size_t>(colours), TRGB{});
                plan.quantizer = std::make_unique<TIEQuantizer>(bitmap, plan.palette.data(), colours, DefaultQuantizerMethod,
                                                                DefaultQuantizerQuality);
                plan.kind = plan.quantizer->IsGray() ? kGray : kPalette;
                plan.bits = params.BitsPerSample;
                plan.samples = 1;
            } else if (params.TiffPhotometric == 5) {
                plan.kind = kCMYK, plan.bits = 8, plan.samples = 4;
            } else {
                plan.kind = kRGB, plan.bits = 8, plan.samples = 3;
            }
            break;
    }

    switch (params.TiffCompression) {
        case 1: plan.compression = 2; break;
        case 2: plan.compression = 3; break;
        case 3: plan.compression = 3, plan.twoD = true; break;
        case 4: plan.compression = 4; break;
        case 5:
            plan.lzw = params.TiffLZWCompress ? params.TiffLZWCompress : TIFFLZWCompressorHook;
            plan.compression = plan.lzw ? 5 : 1;
            break;
        case 6:
        case 7: plan.compression = 7; break;
        case 8: plan.compression = 32773; break;
        case 9:
        case 10: plan.compression = 32946; break;
        default: plan.compression = 1; break;
    }
    const bool ccitt = plan.compression >= 2 && plan.compression <= 4;
    if (ccitt && format != ie1g) plan.compression = 1;
    if (ccitt && format == ie1g) plan.kind = kWhiteIsZero;
    // JPEG takes 8-bit gray and RGB only.
    if (plan.compression == 7 && !((plan.kind == kRGB || (plan.kind == kGray && format == ie8g)) && plan.bits == 8))
        plan.compression = 1;
    plan.alpha = plan.kind == kRGB && plan.bits == 8 && plan.compression != 7 && HasTransparency(source);
    if (plan.alpha) plan.samples = 4;
    if (plan.compression == 5 && plan.kind == kRGB && plan.bits == 8 && !plan.alpha) plan.predictor = 2;

    // The parameters say what was written.
    params.BitsPerSample = plan.bits;
    params.SamplesPerPixel = plan.samples;
    static const uint8_t kPhotometric[] = {0, 1, 2, 3, 5};
    params.TiffPhotometric = kPhotometric[plan.kind];
    if (plan.compression == 1) params.TiffCompression = 0;
}

uint16_t PhotometricTag(const TPlan& plan, int32_t jpegColorSpace) {
    if (plan.compression == 7 && plan.kind == kRGB && jpegColorSpace != 0) return 6;
    static const uint16_t kTag[] = {0, 1, 2, 3, 5};
    return kTag[plan.kind];
}

// The bytes of row y as the page stores them, before compression.
void RawRow(TPlan& plan, int32_t y, std::vector<uint8_t>& out) {
    TIEBitmap& bitmap = *plan.bitmap;
    const int32_t width = bitmap.GetWidth();
    const uint8_t* row = bitmap.GetScanline(y);
    out.clear();
    switch (bitmap.GetPixelFormat()) {
        case ie1g: {
            const int32_t bytes = (width + 7) / 8;
            out.assign(row, row + bytes);
            // CCITT codes 0 as white; the bitmap holds 1 for white.
            if (plan.kind == kWhiteIsZero)
                for (uint8_t& b : out) b = static_cast<uint8_t>(~b);
            if (width % 8) out.back() &= static_cast<uint8_t>(0xFF00u >> (width % 8));
            if (plan.kind == kWhiteIsZero) return;
            return;
        }
        case ie8g:
        case ie8p: out.assign(row, row + width); return;
        case ie16g: out.assign(row, row + 2 * width); return;
        case ieCMYK:
            out.resize(static_cast<size_t>(width) * 4);
            for (size_t i = 0; i < out.size(); ++i) out[i] = static_cast<uint8_t>(255 - row[i]);
            return;
        case ieRGB48: out.assign(row, row + 6 * width); return;
        default: break;
    }
    // ie24RGB.
    if (plan.quantizer) {
        std::vector<uint8_t> indexes(static_cast<size_t>(width));
        for (int32_t x = 0; x < width; ++x) {
            const TRGB c{row[3 * x], row[3 * x + 1], row[3 * x + 2]};
            indexes[static_cast<size_t>(x)] = static_cast<uint8_t>(std::max(plan.quantizer->ColorIndex(c), 0));
        }
        if (plan.bits == 8) {
            out = std::move(indexes);
            return;
        }
        out.assign(static_cast<size_t>((int64_t{width} * plan.bits + 7) / 8), 0);
        for (int32_t x = 0; x < width; ++x)
            for (int32_t b = 0; b < plan.bits; ++b)
                if (indexes[static_cast<size_t>(x)] >> (plan.bits - 1 - b) & 1) {
                    const size_t bit = static_cast<size_t>(x) * static_cast<size_t>(plan.bits) + static_cast<size_t>(b);
                    out[bit >> 3] |= static_cast<uint8_t>(0x80u >> (bit & 7));
                }
        return;
    }
    if (plan.kind == kCMYK) {
        out.resize(static_cast<size_t>(width) * 4);
        IEConvertColorRow(row, iecBGR, out.data(), nullptr, width, iecCMYK);
        for (uint8_t& b : out) b = static_cast<uint8_t>(255 - b);
        return;
    }
    const int32_t spp = plan.alpha ? 4 : 3;
    out.resize(static_cast<size_t>(width) * static_cast<size_t>(spp));
    const uint8_t* alpha = plan.alpha ? &plan.alphaRows[static_cast<size_t>(y) * static_cast<size_t>(width)] : nullptr;
    for (int32_t x = 0; x < width; ++x) {
        uint8_t* o = &out[static_cast<size_t>(x * spp)];
        o[0] = row[3 * x + 2], o[1] = row[3 * x + 1], o[2] = row[3 * x];
        if (alpha) o[3] = alpha[x];
    }
    if (plan.predictor == 2)
        for (size_t i = out.size() - 1; i >= 3; --i) out[i] = static_cast<uint8_t>(out[i] - out[i - 3]);
}

// Writes the strips; false when the abort flag stopped the work.
bool WriteImageData(TStream& stream, TPlan& plan, TIOParamsVals& params, TIEProgressRec& progress,
                    TIETIFFIFDWriter& page) {
    TIEBitmap& bitmap = *plan.bitmap;
    const int32_t width = bitmap.GetWidth(), height = bitmap.GetHeight();
    bool failed = false;
    std::vector<uint32_t> offsets, counts;
    int32_t rowsPerStrip = height;
    if (plan.compression == 7) {
        TMemoryStream jpeg;
        TIOParamsVals temp(nullptr);
        temp.JpegQuality = params.TiffJpegQuality;
        temp.JpegColorSpace = plan.kind == kGray ? 1 : 2;
        TIEBitmap* source = &bitmap;
        IEWriteJPEGStream(jpeg, *source, temp, progress);
        if (progress.Aborting()) return false;
        offsets.push_back(static_cast<uint32_t>(stream.GetPosition()));
        IEStreamWriteChecked(stream, failed, jpeg.Memory(), static_cast<int32_t>(jpeg.Bytes().size()));
        counts.push_back(static_cast<uint32_t>(jpeg.Bytes().size()));
        if (plan.kind == kRGB) page.AddShorts(530, {2, 2});
    } else {
        if (plan.compression != 32946 && height > 0) {
            const int64_t rowLength = (int64_t{width} * plan.bits * plan.samples + 7) / 8;
            const int64_t n = std::max<int64_t>(int64_t{height} * rowLength / 524288, 1);
            rowsPerStrip = static_cast<int32_t>(std::max<int64_t>(height / n, 1));
        }
        if (plan.alpha) {
            TIEBitmap& alpha = *bitmap.GetAlphaChannel();
            plan.alphaRows.resize(static_cast<size_t>(width) * static_cast<size_t>(height));
            for (int32_t y = 0; y < height; ++y)
                std::memcpy(&plan.alphaRows[static_cast<size_t>(y) * static_cast<size_t>(width)], alpha.GetScanline(y),
                            static_cast<size_t>(width));
        }
        std::vector<uint8_t> row, packed;
        TCCITTEncoderState ccitt;
        TIETIFFLZWState* lzw = nullptr;
        std::unique_ptr<TZCompressionStream> deflate;
        const int32_t fillOrder = params.TiffFillOrder == 2 ? 2 : 1;
        auto endStrip = [&] {
            switch (plan.compression) {
                case 3:
                    if (plan.twoD) CCITTEncodeRowG3_2D(nullptr, width, stream, ccitt, failed, fillOrder);
                    else CCITTEncodeRow1D(nullptr, 0, stream, ccitt, failed, fillOrder);
                    break;
                case 4: CCITTEncodeRowG4(nullptr, width, stream, ccitt, failed, fillOrder); break;
                case 5: plan.lzw(nullptr, 0, stream, lzw); lzw = nullptr; break;
                case 32946: deflate.reset(); break;
                default: break;
            }
            ccitt = TCCITTEncoderState{};
            counts.push_back(static_cast<uint32_t>(stream.GetPosition() - offsets.back()));
        };
        for (int32_t y = 0; y < height && !failed && !progress.Aborting(); ++y) {
            if (y % rowsPerStrip == 0) {
                offsets.push_back(static_cast<uint32_t>(stream.GetPosition()));
                if (plan.compression == 32946)
                    deflate = std::make_unique<TZCompressionStream>(stream, std::clamp(params.TiffZIPCompression, 0, 2) + 1);
            }
            RawRow(plan, y, row);
            const auto length = static_cast<int32_t>(row.size());
            switch (plan.compression) {
                case 2: CCITTEncodeRowMH(row.data(), width, stream, failed, fillOrder); break;
                case 3:
                    if (plan.twoD) CCITTEncodeRowG3_2D(row.data(), width, stream, ccitt, failed, fillOrder);
                    else CCITTEncodeRow1D(row.data(), width, stream, ccitt, failed, fillOrder);
                    break;
                case 4: CCITTEncodeRowG4(row.data(), width, stream, ccitt, failed, fillOrder); break;
                case 5: plan.lzw(row.data(), length, stream, lzw); break;
                case 32773:
                    packed.clear();
                    IEPackBitsRow(row.data(), length, packed);
                    IEStreamWriteChecked(stream, failed, packed.data(), static_cast<int32_t>(packed.size()));
                    break;
                case 32946: deflate->WriteBuffer(row.data(), length); break;
                default: IEStreamWriteChecked(stream, failed, row.data(), length); break;
            }
            if ((y + 1) % rowsPerStrip == 0 || y + 1 == height) endStrip();
            progress.Report(static_cast<int>(int64_t{y} * 100 / height));
        }
        if (lzw) plan.lzw(nullptr, 0, stream, lzw);
    }
    if (failed) progress.Abort();
    if (progress.Aborting()) return false;
    page.AddLong(278, static_cast<uint32_t>(rowsPerStrip));
    if (offsets.size() == 1) {
        page.AddLong(273, offsets[0]);
        page.AddLong(279, counts[0]);
    } else {
        page.AddLongs(273, offsets);
        page.AddLongs(279, counts);
    }
    return true;
}

// Finds where a new page links in; false when the stream holds no TIFF of
// this writer.
bool FindLink(TStream& stream, int64_t start, int32_t wanted, int64_t& linkPosition, uint32_t& oldLink,
              int32_t& pages) {
    uint8_t header[4];
    stream.SetPosition(start);
    if (stream.Read(header, 4) != 4 || header[0] != 'I' || header[1] != 'I') return false;
    const int64_t size = stream.GetSize();
    int64_t link = start + 4;
    std::set<uint32_t> visited;
    linkPosition = -1;
    for (pages = 0;; ++pages) {
        uint8_t b[4];
        stream.SetPosition(link);
        if (stream.Read(b, 4) != 4) return false;
        const uint32_t next = uint32_t{b[0]} | uint32_t{b[1]} << 8 | uint32_t{b[2]} << 16 | uint32_t{b[3]} << 24;
        if (pages == wanted || (next == 0 && linkPosition < 0)) {
            linkPosition = link;
            oldLink = next;
        }
        if (next == 0) break;
        if (next + 2 > size || !visited.insert(next).second) return false;
        stream.SetPosition(next);
        uint8_t c[2];
        if (stream.Read(c, 2) != 2) return false;
        link = int64_t{next} + 2 + 12 * (c[0] | c[1] << 8);
    }
    return true;
}

}  // namespace

int32_t IEWriteTIFFStream(TStream& stream, bool insert, TIEBitmap* bitmap, TIOParamsVals& params,
                          TIEProgressRec& progress) {
    const int64_t start = stream.GetPosition();
    int64_t linkPosition = start + 4;
    uint32_t oldLink = 0;
    int32_t result = 1;
    if (insert) {
        int32_t pages = 0;
        if (!FindLink(stream, start, params.TiffImageIndex, linkPosition, oldLink, pages)) {
            progress.Abort();
            return 0;
        }
        result = pages + 1;
        stream.Seek(0, TSeekOrigin::End);
    } else {
        const uint8_t placeholder[8] = {};
        stream.WriteBuffer(placeholder, 8);
    }
    TIETIFFIFDWriter page(stream);
    IEWriteTIFFMetadata(page, stream, params);
    TPlan plan;
    if (bitmap) {
        MakePlan(*bitmap, params, plan);
        TIEBitmap& work = *plan.bitmap;
        page.AddLong(256, static_cast<uint32_t>(work.GetWidth()));
        page.AddLong(257, static_cast<uint32_t>(work.GetHeight()));
        page.AddShorts(258, std::vector<uint16_t>(static_cast<size_t>(plan.samples), static_cast<uint16_t>(plan.bits)));
        page.AddShort(259, plan.compression);
        page.AddShort(262, PhotometricTag(plan, params.TiffJpegColorSpace));
        page.AddASCII(269, params.TiffDocumentName);
        if (plan.compression >= 2 && plan.compression <= 4) {
            page.AddShort(266, static_cast<uint16_t>(params.TiffFillOrder == 2 ? 2 : 1));
            page.AddLong(327, 0);
        }
        page.AddShort(284, 1);
        const uint8_t oldMode = work.AccessMode;
        work.AccessMode = 1;
        const bool written = WriteImageData(stream, plan, params, progress, page);
        work.AccessMode = oldMode;
        if (!written) return 0;
        page.AddShort(277, static_cast<uint16_t>(plan.samples));
        if (plan.alpha) page.AddShort(338, 2);
        if (plan.predictor == 2) page.AddShort(317, 2);
        page.AddASCII(285, params.TiffPageName);
        if (params.TiffXPos != 0) page.AddRationals(286, {params.TiffXPos / 1.0});
        if (params.TiffYPos != 0) page.AddRationals(287, {params.TiffYPos / 1.0});
        if (plan.compression == 3) page.AddLong(292, plan.twoD ? 1 : 0);
        if (plan.compression == 4) page.AddLong(293, 0);
        page.AddLong(254, 0);
        if (params.TiffPageNumber >= 0 || params.TiffPageCount >= 0)
            page.AddShorts(297, {static_cast<uint16_t>(std::max(params.TiffPageNumber, 0)),
                                 static_cast<uint16_t>(std::max(params.TiffPageCount, 0))});
        if (params.IPTCList.GetCount() > 0) {
            std::vector<uint8_t> iptc = params.IPTCList.SaveToBuffer(false);
            iptc.resize((iptc.size() + 3) / 4 * 4, 0);
            page.AddData(33723, ietLONG, static_cast<uint32_t>(iptc.size() / 4), iptc.data(), iptc.size());
        }
        if (!params.XmpInfo.empty())
            page.AddData(700, ietBYTE, static_cast<uint32_t>(params.XmpInfo.size()),
                         reinterpret_cast<const uint8_t*>(params.XmpInfo.data()), params.XmpInfo.size());
        if (plan.kind == kPalette) {
            const size_t n = size_t{1} << plan.bits;
            std::vector<uint16_t> map(3 * n, 0);
            for (size_t i = 0; i < n && i < plan.palette.size(); ++i) {
                map[i] = static_cast<uint16_t>(plan.palette[i].r * 257);
                map[n + i] = static_cast<uint16_t>(plan.palette[i].g * 257);
                map[2 * n + i] = static_cast<uint16_t>(plan.palette[i].b * 257);
            }
            page.AddShorts(320, map);
        }
    }
    const uint32_t directory = page.Write(insert ? oldLink : 0);
    const int64_t end = stream.GetPosition();
    if (insert) {
        IETIFFPatch32(stream, linkPosition, directory, true);
    } else {
        stream.SetPosition(start);
        const uint8_t header[4] = {'I', 'I', 42, 0};
        stream.WriteBuffer(header, 4);
        IETIFFPatch32(stream, start + 4, directory, true);
    }
    stream.SetPosition(end);
    return result;
}
