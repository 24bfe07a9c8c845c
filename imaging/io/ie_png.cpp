#include "imaging/io/ie_png.h"

#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_mask.h"
#include "imaging/core/ie_quantizer.h"

// libpng reports errors by a long jump back to the setjmp of the function
// that called it. Those functions keep every object with a destructor in the
// contexts below, made before the jump point, so a jump skips no destructor.

namespace {

int32_t RoundHalfEven(double v) { return static_cast<int32_t>(std::nearbyint(v)); }

struct TPngReader {
    png_structp png = nullptr;
    png_infop info = nullptr;
    TStream* stream = nullptr;
    TIEProgressRec* progress = nullptr;
    std::vector<uint8_t> pixels;  // B, G, R, A rows; the whole picture when interlaced
    int64_t allocationLimit = 0;
    std::string failure;  // libpng's reason for refusing the data
    ~TPngReader() { png_destroy_read_struct(&png, &info, nullptr); }
};

// A library error is bad data: the abort flag, then back to the reader.
[[noreturn]] void ReadError(png_structp png, png_const_charp message) {
    auto* reader = static_cast<TPngReader*>(png_get_error_ptr(png));
    reader->failure = message ? message : "";
    reader->progress->Abort();
    png_longjmp(png, 1);
}

// Data that ends early leaves quietly, with the rows read so far.
[[noreturn]] void EndOfData(png_structp png) { png_longjmp(png, 2); }

void IgnoreWarning(png_structp, png_const_charp) {}

png_voidp BoundedMalloc(png_structp png, png_alloc_size_t size) {
    auto* reader = static_cast<TPngReader*>(png_get_mem_ptr(png));
    if (static_cast<uint64_t>(size) > static_cast<uint64_t>(reader->allocationLimit)) return nullptr;
    return std::malloc(size);
}

void BoundedFree(png_structp, png_voidp block) { std::free(block); }

void ReadData(png_structp png, png_bytep data, size_t length) {
    auto* reader = static_cast<TPngReader*>(png_get_io_ptr(png));
    int64_t got = -1;
    try {
        got = reader->stream->Read(data, static_cast<int64_t>(length));
    } catch (const Exception&) {
    }
    if (got != static_cast<int64_t>(length)) EndOfData(png);
}

// The 8-bit colour of a bKGD chunk, whatever the depth it is given in.
TRGB BackgroundColor(png_structp png, png_infop info, int depth, int colorType) {
    png_color_16p background = nullptr;
    if (!png_get_bKGD(png, info, &background) || !background) return TRGB{};
    if (colorType == PNG_COLOR_TYPE_PALETTE) {
        png_colorp palette = nullptr;
        int count = 0;
        if (png_get_PLTE(png, info, &palette, &count) && background->index < count) {
            const png_color& c = palette[background->index];
            return TRGB{c.blue, c.green, c.red};
        }
        return TRGB{};
    }
    const int maximum = (1 << depth) - 1;
    auto scale = [&](uint16_t v) { return static_cast<uint8_t>((std::min<int>(v, maximum) * 255 + maximum / 2) / maximum); };
    if (!(colorType & PNG_COLOR_MASK_COLOR)) {
        uint8_t g = scale(background->gray);
        return TRGB{g, g, g};
    }
    return TRGB{scale(background->blue), scale(background->green), scale(background->red)};
}

// Everything after the jump point of a read; false when it ended early.
bool ReadPicture(TPngReader& r, TIEBitmap& bitmap, TIOParamsVals& params, bool previewOnly) {
    if (setjmp(png_jmpbuf(r.png))) return false;
    png_set_read_fn(r.png, &r, ReadData);
    png_read_info(r.png, r.info);
    png_uint_32 width = 0, height = 0;
    int depth = 0, colorType = 0, interlace = 0;
    png_get_IHDR(r.png, r.info, &width, &height, &depth, &colorType, &interlace, nullptr, nullptr);

    params.PngTextKeys.clear();
    params.PngTextValues.clear();
    png_textp texts = nullptr;
    int textCount = 0;
    png_get_text(r.png, r.info, &texts, &textCount);
    for (int i = 0; i < textCount; ++i) {
        params.PngTextKeys.emplace_back(texts[i].key ? texts[i].key : "");
        params.PngTextValues.emplace_back(texts[i].text ? std::string(texts[i].text, texts[i].text_length) : std::string());
    }
    if (png_get_valid(r.png, r.info, PNG_INFO_bKGD))
        params.PngBackground = BackgroundColor(r.png, r.info, depth, colorType);

    const bool gray = colorType == PNG_COLOR_TYPE_GRAY, palette = colorType == PNG_COLOR_TYPE_PALETTE;
    const bool transparency = png_get_valid(r.png, r.info, PNG_INFO_tRNS) != 0;
    const bool native = params.NativePixelFormat && (depth == 8 || depth == 16) && (gray || palette);
    // Only black-and-white pictures without transparency stay 1-bit.
    const bool blackAndWhite = depth == 1 && gray && !transparency;
    if (native) {
        if (depth == 16) png_set_swap(r.png);
    } else if (!blackAndWhite) {
        if (palette || (gray && depth < 8)) png_set_expand(r.png);
        // Transparency of gray and RGB pictures too goes to the alpha
        // channel, not only that of palettes and low-depth gray.
        if (transparency) png_set_tRNS_to_alpha(r.png);
        // Rounded, not cut: 0x7F80 is 127.5 of 255 and becomes 128.
        if (depth == 16) png_set_scale_16(r.png);
        if (depth < 8) png_set_packing(r.png);
        if (!(colorType & PNG_COLOR_MASK_COLOR)) png_set_gray_to_rgb(r.png);
        png_set_bgr(r.png);
    }
    const int passes = png_set_interlace_handling(r.png);
    png_read_update_info(r.png, r.info);

    params.Width = static_cast<int32_t>(width);
    params.Height = static_cast<int32_t>(height);
    params.BitsPerSample = depth;
    switch (colorType) {
        case PNG_COLOR_TYPE_RGB: params.SamplesPerPixel = 3; break;
        case PNG_COLOR_TYPE_GRAY_ALPHA: params.SamplesPerPixel = 2; break;
        case PNG_COLOR_TYPE_RGB_ALPHA: params.SamplesPerPixel = 4; break;
        default: params.SamplesPerPixel = 1; break;
    }
    png_uint_32 ppmX = 0, ppmY = 0;
    int unit = 0;
    if (!png_get_pHYs(r.png, r.info, &ppmX, &ppmY, &unit) || unit != PNG_RESOLUTION_METER) ppmX = ppmY = 0;
    const int32_t dpiX = RoundHalfEven(ppmX / 100.0 * 2.54), dpiY = RoundHalfEven(ppmY / 100.0 * 2.54);
    params.SetDpiX(dpiX != 0 ? dpiX : IELibraryDefaultDPI[0]);
    params.SetDpiY(dpiY != 0 ? dpiY : IELibraryDefaultDPI[1]);
    params.ColorMap.clear();
    png_colorp entries = nullptr;
    int entryCount = 0;
    if (palette && png_get_PLTE(r.png, r.info, &entries, &entryCount))
        for (int i = 0; i < entryCount; ++i)
            params.ColorMap.push_back(TRGB{entries[i].blue, entries[i].green, entries[i].red});
    params.PngInterlaced = interlace != PNG_INTERLACE_NONE;
    if (previewOnly) return true;

    // A damaged header can claim a huge picture: refuse what the data left
    // could not code (deflate packs at most 1032 bytes in one) before any
    // pixel memory is taken.
    const int64_t rowBytes = static_cast<int64_t>(png_get_rowbytes(r.png, r.info));
    const int64_t left = std::max<int64_t>(r.stream->GetSize() - r.stream->GetPosition(), 0);
    if (int64_t{width} * height > kIEPNGMaxPixels || rowBytes * height > left * 1032 + (int64_t{1} << 24)) {
        r.progress->Abort();
        return false;
    }
    const int channels = png_get_channels(r.png, r.info);
    TIEPixelFormat format = ie24RGB;
    if (blackAndWhite) format = ie1g;
    else if (native) format = palette ? ie8p : depth == 16 ? ie16g : ie8g;
    if (!bitmap.Allocate(static_cast<int32_t>(width), static_cast<int32_t>(height), format)) {
        r.progress->Abort();
        return false;
    }
    if (format == ie8p) {
        for (int32_t i = 0; i < 256; ++i)
            bitmap.SetPaletteColor(i, i < static_cast<int32_t>(params.ColorMap.size()) ? params.ColorMap[static_cast<size_t>(i)] : TRGB{});
    }
    TIEBitmap* alpha = nullptr;
    if (channels == 4) {
        alpha = bitmap.GetAlphaChannel();
        bitmap.SetFullOpacity(false);
        r.pixels.assign(static_cast<size_t>(width) * 4 * (passes > 1 ? height : 1), 0);
    }

    TIEProgressRec& progress = *r.progress;
    progress.PercentPerUnit = 100.0 / (static_cast<double>(height) * passes);
    progress.UnitsDone = 0;
    for (int pass = 0; pass < passes; ++pass) {
        for (png_uint_32 y = 0; y < height && !progress.Aborting(); ++y) {
            uint8_t* row = bitmap.GetScanline(static_cast<int32_t>(y));
            if (alpha) {
                uint8_t* source = r.pixels.data() + (passes > 1 ? static_cast<size_t>(y) * width * 4 : 0);
                png_read_row(r.png, source, nullptr);
                uint8_t* alphaRow = alpha->GetScanline(static_cast<int32_t>(y));
                for (png_uint_32 x = 0; x < width; ++x) {
                    std::memcpy(row + 3 * x, source + 4 * x, 3);
                    alphaRow[x] = source[4 * x + 3];
                }
            } else {
                // The row itself is libpng's buffer: later passes of an
                // interlaced picture add to what the earlier ones left.
                png_read_row(r.png, row, nullptr);
            }
            ++progress.UnitsDone;
            progress.Report(IEUnitPercent(progress, progress.UnitsDone));
        }
    }
    if (!progress.Aborting()) png_read_end(r.png, nullptr);
    return true;
}

struct TPngWriter {
    png_structp png = nullptr;
    png_infop info = nullptr;
    TStream* stream = nullptr;
    TIEProgressRec* progress = nullptr;
    std::vector<uint8_t> row;
    std::vector<png_color> palette;
    std::vector<png_text> texts;
    ~TPngWriter() { png_destroy_write_struct(&png, &info); }
};

[[noreturn]] void WriteError(png_structp png, png_const_charp) { png_longjmp(png, 1); }

void WriteData(png_structp png, png_bytep data, size_t length) {
    auto* writer = static_cast<TPngWriter*>(png_get_io_ptr(png));
    int64_t written = -1;
    try {
        written = writer->stream->Write(data, static_cast<int64_t>(length));
    } catch (const Exception&) {
    }
    if (written != static_cast<int64_t>(length)) writer->progress->Abort();
}

void FlushData(png_structp) {}

// What the writer decided before libpng runs.
struct TPngPlan {
    TIEBitmap* working = nullptr;
    TIEMask* alpha = nullptr;
    TIEQuantizer* quantizer = nullptr;
    int colorType = PNG_COLOR_TYPE_RGB;
    int depth = 8;
    bool grayLevels = false;  // gray rows from a colour or palette bitmap
};

uint8_t GrayLevel(TIEBitmap& bitmap, const uint8_t* row, int32_t x) {
    switch (bitmap.GetPixelFormat()) {
        case ie8g: return row[x];
        case ie8p: return bitmap.GetPaletteColor(row[x]).r;
        case ie16g: return row[2 * x + 1];
        default: return row[3 * x + 2];
    }
}

// Builds row y of the picture as the colour type wants it.
void BuildRow(TPngWriter& w, const TPngPlan& plan, int32_t y) {
    TIEBitmap& bitmap = *plan.working;
    const int32_t width = bitmap.GetWidth();
    const uint8_t* source = bitmap.GetScanline(y);
    uint8_t* out = w.row.data();
    switch (plan.colorType) {
        case PNG_COLOR_TYPE_RGB_ALPHA: {
            const uint8_t* mask = plan.alpha->GetScanline(y);
            for (int32_t x = 0; x < width; ++x) {
                std::memcpy(out + 4 * x, source + 3 * x, 3);
                out[4 * x + 3] = mask[x];
            }
            break;
        }
        case PNG_COLOR_TYPE_RGB: std::memcpy(out, source, static_cast<size_t>(width) * 3); break;
        case PNG_COLOR_TYPE_PALETTE:
            if (plan.alpha) {
                const uint8_t* mask = plan.alpha->GetScanline(y);
                for (int32_t x = 0; x < width; ++x) {
                    const TRGB c{source[3 * x], source[3 * x + 1], source[3 * x + 2]};
                    out[x] = mask[x] == 255 ? static_cast<uint8_t>(std::clamp(plan.quantizer->ColorIndex(c), 0, 254) + 1) : 0;
                }
            } else if (bitmap.GetPixelFormat() == ie8p) {
                std::memcpy(out, source, static_cast<size_t>(width));
            } else {
                for (int32_t x = 0; x < width; ++x) {
                    const TRGB c{source[3 * x], source[3 * x + 1], source[3 * x + 2]};
                    out[x] = static_cast<uint8_t>(std::clamp(plan.quantizer->ColorIndex(c), 0, 255));
                }
            }
            break;
        default:  // gray
            if (plan.depth == 1) {
                std::memcpy(out, source, static_cast<size_t>((width + 7) / 8));
            } else if (plan.depth == 16) {
                for (int32_t x = 0; x < width; ++x) {
                    // Samples go out big-endian, the whole 16 bits of a 16-bit
                    // bitmap; 8-bit levels are spread over the full range.
                    const uint16_t v = bitmap.GetPixelFormat() == ie16g
                                           ? static_cast<uint16_t>(source[2 * x] | source[2 * x + 1] << 8)
                                           : static_cast<uint16_t>(GrayLevel(bitmap, source, x) * 257);
                    out[2 * x] = static_cast<uint8_t>(v >> 8);
                    out[2 * x + 1] = static_cast<uint8_t>(v);
                }
            } else {
                for (int32_t x = 0; x < width; ++x) out[x] = GrayLevel(bitmap, source, x);
            }
            break;
    }
}

// Everything after the jump point of a write; false when libpng failed.
bool WritePicture(TPngWriter& w, const TPngPlan& plan, TIOParamsVals& params) {
    if (setjmp(png_jmpbuf(w.png))) return false;
    TIEBitmap& bitmap = *plan.working;
    const auto width = static_cast<png_uint_32>(bitmap.GetWidth()), height = static_cast<png_uint_32>(bitmap.GetHeight());
    png_set_write_fn(w.png, &w, WriteData, FlushData);
    png_set_IHDR(w.png, w.info, width, height, plan.depth, plan.colorType,
                 params.PngInterlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (plan.colorType == PNG_COLOR_TYPE_PALETTE) {
        png_set_PLTE(w.png, w.info, w.palette.data(), static_cast<int>(w.palette.size()));
        if (plan.alpha) {
            png_byte transparent = 0;
            png_set_tRNS(w.png, w.info, &transparent, 1, nullptr);
        }
    }
    png_set_pHYs(w.png, w.info, static_cast<png_uint_32>(RoundHalfEven(params.DpiX * 100 / 2.54)),
                 static_cast<png_uint_32>(RoundHalfEven(params.DpiY * 100 / 2.54)), PNG_RESOLUTION_METER);
    if (params.PngFilter <= 2)
        png_set_filter(w.png, PNG_FILTER_TYPE_BASE,
                       params.PngFilter == 0 ? PNG_FILTER_NONE : params.PngFilter == 1 ? PNG_FILTER_SUB : PNG_FILTER_PAETH);
    // The background in the depth of the picture.
    png_color_16 background{};
    const TRGB b = params.PngBackground;
    if (plan.colorType == PNG_COLOR_TYPE_PALETTE) {
        background.index = static_cast<png_byte>(plan.alpha ? 0 : std::clamp(plan.quantizer->ColorIndex(b), 0, 255));
    } else if (plan.colorType & PNG_COLOR_MASK_COLOR) {
        background.red = b.r, background.green = b.g, background.blue = b.b;
    } else {
        const int level = (b.r * 299 + b.g * 587 + b.b * 114 + 500) / 1000;
        background.gray = static_cast<png_uint_16>(plan.depth == 16 ? level * 257 : plan.depth == 1 ? level >> 7 : level);
    }
    png_set_bKGD(w.png, w.info, &background);
    png_set_compression_level(w.png, std::clamp(params.PngCompression, 0, 9));
    if (plan.colorType & PNG_COLOR_MASK_COLOR && plan.colorType != PNG_COLOR_TYPE_PALETTE) png_set_bgr(w.png);
    if (!w.texts.empty()) png_set_text(w.png, w.info, w.texts.data(), static_cast<int>(w.texts.size()));
    png_write_info(w.png, w.info);
    const int passes = png_set_interlace_handling(w.png);

    TIEProgressRec& progress = *w.progress;
    progress.PercentPerUnit = 100.0 / (static_cast<double>(height) * passes);
    progress.UnitsDone = 0;
    for (int pass = 0; pass < passes; ++pass) {
        for (png_uint_32 y = 0; y < height && !progress.Aborting(); ++y) {
            BuildRow(w, plan, static_cast<int32_t>(y));
            png_write_row(w.png, w.row.data());
            ++progress.UnitsDone;
            progress.Report(IEUnitPercent(progress, progress.UnitsDone));
        }
    }
    if (!progress.Aborting()) png_write_end(w.png, w.info);
    return true;
}

}  // namespace

void IEReadPNGStream(TStream& stream, TIEBitmap& bitmap, TIOParamsVals& params, bool previewOnly,
                     TIEProgressRec& progress, std::string* failure) {
    TPngReader reader;
    reader.stream = &stream;
    reader.progress = &progress;
    // libpng takes what a text chunk's length claims before reading it; no
    // one block may be larger than the data left and room for a few rows
    // of the widest picture the limits allow.
    const int64_t left = std::max<int64_t>(stream.GetSize() - stream.GetPosition(), 0);
    reader.allocationLimit = std::max<int64_t>(left + (int64_t{1} << 20), int64_t{1} << 25);
    reader.png = png_create_read_struct_2(PNG_LIBPNG_VER_STRING, &reader, ReadError, IgnoreWarning, &reader,
                                          BoundedMalloc, BoundedFree);
    if (reader.png) reader.info = png_create_info_struct(reader.png);
    if (!reader.png || !reader.info) {
        progress.Abort();
        return;
    }
    png_set_user_limits(reader.png, 1u << 20, 1u << 20);
    png_set_chunk_cache_max(reader.png, 500);
    ReadPicture(reader, bitmap, params, previewOnly);
    if (failure) *failure = reader.failure;
}

void IEWritePNGStream(TStream& stream, TIEBitmap& bitmap, TIOParamsVals& params, TIEMask* alpha,
                      TIEProgressRec& progress) {
    if (bitmap.GetWidth() <= 0 || bitmap.GetHeight() <= 0) throw EInvalidGraphic("Error on creating PNG");
    if (alpha && (alpha->Full() || alpha->BitsPerPixel() != 8 || alpha->Width() < bitmap.GetWidth() ||
                  alpha->Height() < bitmap.GetHeight()))
        alpha = nullptr;
    if (params.SamplesPerPixel == 1 && params.BitsPerSample != 1 && params.BitsPerSample != 8 && params.BitsPerSample != 16)
        params.BitsPerSample = 8;
    const bool single = params.SamplesPerPixel == 1;

    // The working bitmap: the picture itself when its format can be written
    // as asked, else a converted copy (formats of other widths are never
    // taken as 3-byte pixels).
    TPngPlan plan;
    std::unique_ptr<TIEBitmap> copy;
    const TIEPixelFormat format = bitmap.GetPixelFormat();
    TIEPixelFormat wanted = ie24RGB;
    if (single && params.BitsPerSample == 1) wanted = ie1g;
    else if (single && !alpha && (format == ie8p || format == ie8g || format == ie16g)) wanted = format;
    plan.working = &bitmap;
    if (format != wanted) {
        copy = std::make_unique<TIEBitmap>();
        copy->Assign(bitmap);
        copy->RemoveAlphaChannel(false, clWhite);
        copy->ConvertToPixelFormat(wanted);
        plan.working = copy.get();
    }
    plan.alpha = alpha;

    TPngWriter writer;
    writer.stream = &stream;
    writer.progress = &progress;
    std::unique_ptr<TIEQuantizer> quantizer;
    std::vector<TRGB> colors(256);
    if (!single) {
        plan.colorType = alpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB;
    } else if (wanted == ie1g) {
        plan.colorType = PNG_COLOR_TYPE_GRAY;
        plan.depth = 1;
    } else if (alpha) {
        // Entry 0 is the transparent background, the picture's colours follow.
        const int32_t count = std::min<int32_t>(1 << params.BitsPerSample, 255);
        quantizer = std::make_unique<TIEQuantizer>(*plan.working, colors.data(), count, DefaultQuantizerMethod,
                                                   DefaultQuantizerQuality);
        plan.colorType = PNG_COLOR_TYPE_PALETTE;
        writer.palette.push_back(png_color{params.PngBackground.r, params.PngBackground.g, params.PngBackground.b});
        for (int32_t i = 0; i < std::min(count, 255); ++i)
            writer.palette.push_back(png_color{colors[static_cast<size_t>(i)].r, colors[static_cast<size_t>(i)].g,
                                               colors[static_cast<size_t>(i)].b});
    } else {
        quantizer = std::make_unique<TIEQuantizer>(*plan.working, colors.data(), 256, DefaultQuantizerMethod,
                                                   DefaultQuantizerQuality);
        if (quantizer->IsGray() || format == ie16g || format == ie8g) {
            plan.colorType = PNG_COLOR_TYPE_GRAY;
            plan.depth = params.BitsPerSample;
        } else {
            // A palette has at most 8 bits, whatever depth was asked.
            plan.colorType = PNG_COLOR_TYPE_PALETTE;
            for (const TRGB& c : colors) writer.palette.push_back(png_color{c.r, c.g, c.b});
            if (plan.working->GetPixelFormat() == ie8p)
                for (int32_t i = 0; i < 256; ++i) {
                    const TRGB c = plan.working->GetPaletteColor(i);
                    writer.palette[static_cast<size_t>(i)] = png_color{c.r, c.g, c.b};
                }
        }
    }
    plan.quantizer = quantizer.get();
    const int32_t width = plan.working->GetWidth();
    const size_t rowBytes = plan.colorType == PNG_COLOR_TYPE_RGB_ALPHA ? size_t(width) * 4
                            : plan.colorType == PNG_COLOR_TYPE_RGB      ? size_t(width) * 3
                            : plan.depth == 16                          ? size_t(width) * 2
                                                                        : size_t(width);
    writer.row.assign(rowBytes + 1, 0);
    const size_t textCount = std::min(params.PngTextKeys.size(), params.PngTextValues.size());
    for (size_t i = 0; i < textCount; ++i) {
        png_text text{};
        text.compression = PNG_TEXT_COMPRESSION_NONE;
        text.key = const_cast<char*>(params.PngTextKeys[i].c_str());
        text.text = const_cast<char*>(params.PngTextValues[i].c_str());
        text.text_length = params.PngTextValues[i].size();
        writer.texts.push_back(text);
    }

    writer.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &writer, WriteError, IgnoreWarning);
    if (writer.png) writer.info = png_create_info_struct(writer.png);
    if (!writer.png || !writer.info || !WritePicture(writer, plan, params))
        throw EInvalidGraphic("Error on creating PNG");
}

bool IEIsPNGStream(TStream& stream) {
    const int64_t position = stream.GetPosition();
    uint8_t signature[8] = {};
    const int64_t got = stream.Read(signature, 8);
    stream.SetPosition(position);
    return got >= 4 && png_sig_cmp(signature, 0, 4) == 0;
}
