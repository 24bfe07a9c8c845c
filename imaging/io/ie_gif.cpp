#include "imaging/io/ie_gif.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_color_reduce.h"
#include "imaging/core/ie_helpers.h"
#include "imaging/core/ie_mask.h"
#include "imaging/core/ie_quantizer.h"
#include "imaging/io/ie_gif_lzw.h"
#include "imaging/io/ie_io_params.h"

namespace {

// False at the end of the stream, which is never read past.
bool ReadByte(TStream& stream, int& value) {
    uint8_t byte = 0;
    if (stream.Remaining() < 1 || stream.Read(&byte, 1) != 1) return false;
    value = byte;
    return true;
}

uint16_t Word(const uint8_t* bytes) { return static_cast<uint16_t>(bytes[0] | (bytes[1] << 8)); }

void SkipBytes(TStream& stream, int64_t count) {
    count = std::min(count, std::max<int64_t>(stream.Remaining(), 0));
    if (count > 0) stream.Seek(count, TSeekOrigin::Current);
}

// Data sub-blocks up to a zero length or the end of the stream.
void SkipSubBlocks(TStream& stream) {
    int length = 0;
    while (ReadByte(stream, length) && length != 0) SkipBytes(stream, length);
}

// count entries R, G, B as TRGB; what the stream lacks stays black.
std::vector<TRGB> ReadColorTable(TStream& stream, int count) {
    std::vector<uint8_t> raw(static_cast<size_t>(count) * 3);
    const int64_t got = stream.Read(raw.data(), static_cast<int64_t>(raw.size()));
    std::fill(raw.begin() + std::max<int64_t>(got, 0), raw.end(), uint8_t{0});
    std::vector<TRGB> table(static_cast<size_t>(count));
    for (size_t i = 0; i < table.size(); ++i) table[i] = TRGB{raw[3 * i + 2], raw[3 * i + 1], raw[3 * i]};
    return table;
}

// The largest number of pixels that `bytes` bytes of codes of at least
// `minimum + 1` bits can describe: a string grows by one pixel per code and
// never passes the table's 4096 entries.
int64_t MostPixelsOf(int64_t bytes, int minimum) {
    const int64_t codes = bytes * 8 / (minimum + 1) + 1;
    return std::min(codes * (codes + 1) / 2, codes * 4097);
}

struct TFrameDescriptor {
    uint16_t left = 0, top = 0, width = 0, height = 0;
    uint8_t packed = 0;
};

// The selected frame: parameters, then (unless paramsOnly) pixels and mask.
void ReadSelectedFrame(TStream& stream, TIEBitmap& bitmap, TIOParamsVals& params, TIEProgressRec& progress,
                       bool paramsOnly, std::unique_ptr<TIEMask>& mask, bool noMask, const TFrameDescriptor& frame,
                       const std::vector<TRGB>& localTable, const std::vector<TRGB>& globalTable, int globalBits,
                       const uint8_t control[4]) {
    progress.Report(30);
    if (progress.Aborting()) return;
    // The frame's table padded to 256 entries so that no index reads past it.
    std::vector<TRGB> table;
    int bits;
    if (frame.packed & 0x80) {
        table = localTable;
        bits = (frame.packed & 7) + 1;
    } else if (!globalTable.empty()) {
        table = globalTable;
        bits = globalBits;
    } else {
        // Neither table: a gray ramp.
        bits = 8;
        for (int i = 0; i < 256; ++i) table.push_back(TRGB{static_cast<uint8_t>(i), static_cast<uint8_t>(i), static_cast<uint8_t>(i)});
    }
    std::vector<TRGB> lookup = table;
    lookup.resize(256);
    const int transparentIndex = control[3];
    params.GifTranspColor = lookup[static_cast<size_t>(transparentIndex)];
    params.GifXPos = frame.left;
    params.GifYPos = frame.top;
    params.Width = frame.width;
    params.Height = frame.height;
    params.GifDelayTime = Word(control + 1);
    params.GifFlagTranspColor = (control[0] & 1) != 0;
    params.GifInterlaced = (frame.packed & 0x40) != 0;
    params.GifAction = static_cast<uint8_t>((control[0] >> 2) & 7);

    const int32_t width = frame.width, height = frame.height;
    std::vector<uint8_t> indices;
    const bool decode = !paramsOnly && width > 0 && height > 0;
    if (!decode) {
        int minimum = 0;
        ReadByte(stream, minimum);
        SkipSubBlocks(stream);
    } else {
        // A frame far larger than its data could ever fill is damage, not a
        // picture: refuse it before allocating.
        const int64_t pixels = int64_t{width} * height;
        if (pixels > MostPixelsOf(stream.Remaining(), 2)) {
            progress.Abort();
            return;
        }
        indices.assign(static_cast<size_t>(pixels), 0);
        const int64_t before = stream.GetPosition();
        TIEGIFLZWDecompressor decoder = params.GifLZWDecompress ? params.GifLZWDecompress : GIFLZWDecompressorHook;
        if (decoder) decoder(stream, height, width, params.GifInterlaced, indices.data());
        if (!decoder || stream.GetPosition() == before) {
            progress.Abort();
            return;
        }
        progress.Report(70);
        if (progress.Aborting()) return;
    }
    table.resize(static_cast<size_t>(1) << bits);
    params.ColorMap = table;
    params.BitsPerSample = bits;
    if (!decode) return;

    const bool twoTone = bits == 1 && table[0] == TRGB{0, 0, 0} && table[1] == TRGB{255, 255, 255};
    const TIEPixelFormat format = twoTone ? ie1g : (params.NativePixelFormat ? ie8p : ie24RGB);
    if (!twoTone && (width > 65000 || height > 65000) && stream.Remaining() < 2000) {
        progress.Abort();
        return;
    }
    if (!bitmap.Allocate(width, height, format))
        throw EInvalidGraphic(bitmap.AllocationError().empty() ? "Not enough memory" : bitmap.AllocationError());
    if (format == ie8p)
        for (int i = 0; i < 256; ++i) bitmap.SetPaletteColor(i, lookup[static_cast<size_t>(i)]);
    const bool withMask = !noMask;
    if (withMask) {
        if (!mask) mask = std::make_unique<TIEMask>();
        mask->AllocateBits(width, height, 8);
        mask->Fill(255);
    }
    bool anyTransparent = false;
    const bool transparent = params.GifFlagTranspColor;
    for (int32_t y = 0; y < height; ++y) {
        const uint8_t* source = indices.data() + static_cast<size_t>(y) * static_cast<size_t>(width);
        uint8_t* row = bitmap.GetScanline(y);
        switch (format) {
            case ie8p: std::memcpy(row, source, static_cast<size_t>(width)); break;
            case ie1g:
                std::memset(row, 0, static_cast<size_t>((width + 7) / 8));
                for (int32_t x = 0; x < width; ++x)
                    if (source[x] & 1) row[x >> 3] = static_cast<uint8_t>(row[x >> 3] | (0x80 >> (x & 7)));
                break;
            default:
                for (int32_t x = 0; x < width; ++x) std::memcpy(row + 3 * x, &lookup[source[x]], 3);
                break;
        }
        if (transparent && withMask) {
            uint8_t* maskRow = mask->GetScanline(y);
            for (int32_t x = 0; x < width; ++x)
                if (source[x] == transparentIndex) {
                    maskRow[x] = 0;
                    anyTransparent = true;
                }
        }
    }
    bitmap.UnmapAllRows();
    if (withMask) {
        mask->SetFull(!anyTransparent);
        if (!anyTransparent) mask.reset();
    }
}

}  // namespace

void IEReadGIFStream(TStream& stream, TIEBitmap& bitmap, int32_t& frameCount, TIOParamsVals& params,
                     TIEProgressRec& progress, bool paramsOnly, std::unique_ptr<TIEMask>& mask, bool noMask) {
    frameCount = 0;
    progress.Report(0);
    if (progress.Aborting()) return;
    uint8_t header[13];
    if (stream.Read(header, 13) != 13 || std::memcmp(header, "GIF", 3) != 0) {
        progress.Abort();
        return;
    }
    params.GifVersion.assign(reinterpret_cast<const char*>(header), 6);
    params.GifWinWidth = Word(header + 6);
    params.GifWinHeight = Word(header + 8);
    params.GifRatio = header[12];
    params.SetDpiX(IELibraryDefaultDPI[0]);
    params.SetDpiY(IELibraryDefaultDPI[1]);
    params.SamplesPerPixel = 1;
    std::vector<TRGB> globalTable;
    const int globalBits = (header[10] & 7) + 1;
    if (header[10] & 0x80) {
        globalTable = ReadColorTable(stream, 1 << globalBits);
        params.GifBackground = globalTable[std::min<size_t>(header[11], globalTable.size() - 1)];
        if (header[11] >= globalTable.size()) params.GifBackground = TRGB{};
    }
    if (stream.Remaining() <= 0) progress.Abort();

    uint8_t control[4] = {0, 0, 0, 0};
    int32_t counter = 0;
    while (!progress.Aborting()) {
        int block = 0;
        if (!ReadByte(stream, block) || block == 0x3B) break;
        if (block == 0x21) {
            int label = 0;
            if (!ReadByte(stream, label)) break;
            if (label == 0xF9 && counter == params.GifImageIndex) {
                // The graphic control of the selected frame: its four data
                // bytes, then whatever else the block holds.
                int length = 0;
                if (ReadByte(stream, length) && length > 0) {
                    uint8_t data[255] = {};
                    const int64_t got = stream.Read(data, length);
                    if (got > 0) std::memcpy(control, data, static_cast<size_t>(std::min<int64_t>(got, 4)));
                    SkipSubBlocks(stream);
                }
            } else if (label == 0xFE) {
                int length = 0;
                while (ReadByte(stream, length) && length != 0) {
                    char text[256] = {};
                    const int64_t got = stream.Read(text, length);
                    if (got <= 0) break;
                    const size_t size = strnlen(text, static_cast<size_t>(got));
                    if (size > 0) params.GifComments.emplace_back(text, size);
                }
            } else {
                SkipSubBlocks(stream);
            }
        } else if (block == 0x2C) {
            uint8_t descriptor[9];
            if (stream.Read(descriptor, 9) != 9) {
                if (counter == params.GifImageIndex) progress.Abort();
                break;
            }
            TFrameDescriptor frame{Word(descriptor), Word(descriptor + 2), Word(descriptor + 4), Word(descriptor + 6),
                                   descriptor[8]};
            std::vector<TRGB> localTable;
            if (frame.packed & 0x80) localTable = ReadColorTable(stream, 2 << (frame.packed & 7));
            if (counter != params.GifImageIndex) {
                int minimum = 0;
                ReadByte(stream, minimum);
                SkipSubBlocks(stream);
            } else {
                ReadSelectedFrame(stream, bitmap, params, progress, paramsOnly, mask, noMask, frame, localTable,
                                  globalTable, globalBits, control);
            }
            ++counter;
        }
        // Any other byte is a stray one between blocks.
    }
    frameCount = counter;
    params.SetImageCount(counter);
    if (!progress.Aborting()) progress.Report(100);
}

namespace {

class TCheckedWriter {
public:
    TCheckedWriter(TStream& stream, TIEProgressRec& progress) : stream_(stream), progress_(progress) {}
    void Bytes(const void* data, int64_t count) {
        if (!progress_.Aborting()) IEStreamWriteChecked(stream_, data, count, progress_);
    }
    void Byte(int value) {
        const auto byte = static_cast<uint8_t>(value);
        Bytes(&byte, 1);
    }
    void Word(int value) {
        const uint8_t bytes[2] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8)};
        Bytes(bytes, 2);
    }

private:
    TStream& stream_;
    TIEProgressRec& progress_;
};

}  // namespace

void IEWriteGIFStream(TStream& stream, TIEBitmap& bitmap, TIOParamsVals& params, TIEProgressRec& progress) {
    progress.Report(0);
    if (progress.Aborting()) return;
    const int32_t width = bitmap.GetWidth(), height = bitmap.GetHeight();
    if (width <= 0 || height <= 0 || width > 65535 || height > 65535) {
        progress.Abort();
        return;
    }
    const int bits = std::clamp<int32_t>(params.BitsPerSample, 1, 8);

    // The source: ie1g at one bit, else ie8p or ie24RGB.
    TIEBitmap* source = &bitmap;
    std::unique_ptr<TIEBitmap> converted;
    const TIEPixelFormat format = bitmap.GetPixelFormat();
    if (bits == 1) {
        if (format != ie1g) {
            TRGB first, second;
            converted = IEBitmapToBWIfTwoColors(bitmap, first, second);
            if (!converted) {
                converted = std::make_unique<TIEBitmap>(width, height, ie1g);
                converted->CopyAndConvertFormat(bitmap);
            }
            source = converted.get();
        }
    } else if (format != ie8p && format != ie24RGB) {
        converted = std::make_unique<TIEBitmap>();
        converted->Assign(bitmap);
        converted->ConvertToPixelFormat(ie24RGB);
        source = converted.get();
    }

    int colours = 1 << bits;
    const bool reserved = bits > 1 && bitmap.GetHasAlphaChannel();
    if (reserved) {
        --colours;
        params.GifFlagTranspColor = true;
    }
    std::vector<TRGB> palette(256);
    std::vector<uint8_t> indices(static_cast<size_t>(width) * static_cast<size_t>(height));
    std::unique_ptr<TIEQuantizer> quantizer;
    auto nearest = [&](TRGB colour) { return IENearestPaletteIndex(palette.data(), colours, colour); };
    auto indexOf = [&](TRGB colour) {
        int32_t index = quantizer ? quantizer->ColorIndex(colour) : -1;
        if (index < 0 || index >= colours || !(palette[static_cast<size_t>(index)] == colour)) {
            // Exact colours first; the quantizer's choice stands for the rest.
            if (index < 0 || index >= colours) index = nearest(colour);
        }
        return index;
    };
    if (source->GetPixelFormat() == ie1g) {
        palette[0] = TRGB{0, 0, 0};
        palette[1] = TRGB{255, 255, 255};
        for (int32_t y = 0; y < height; ++y) {
            const uint8_t* row = source->GetScanline(y);
            uint8_t* out = indices.data() + static_cast<size_t>(y) * static_cast<size_t>(width);
            for (int32_t x = 0; x < width; ++x) out[x] = (row[x >> 3] >> (7 - (x & 7))) & 1;
        }
    } else {
        quantizer = std::make_unique<TIEQuantizer>(*source, palette.data(), colours, DefaultQuantizerMethod,
                                                   DefaultQuantizerQuality);
        TIEBitmap* alpha = reserved ? bitmap.GetAlphaChannel() : nullptr;
        const bool paletted = source->GetPixelFormat() == ie8p;
        std::vector<int32_t> remap;
        if (paletted) {
            remap.resize(256);
            for (int i = 0; i < 256; ++i) remap[static_cast<size_t>(i)] = i < colours ? i : nearest(source->GetPaletteColor(i));
        }
        std::vector<uint8_t> alphaRow;
        for (int32_t y = 0; y < height; ++y) {
            if (alpha) {
                const uint8_t* a = alpha->GetScanline(y);
                alphaRow.assign(a, a + width);
            }
            const uint8_t* row = source->GetScanline(y);
            uint8_t* out = indices.data() + static_cast<size_t>(y) * static_cast<size_t>(width);
            for (int32_t x = 0; x < width; ++x) {
                if (alpha && alphaRow[static_cast<size_t>(x)] < 255) {
                    out[x] = static_cast<uint8_t>(colours);
                    continue;
                }
                if (paletted) {
                    out[x] = static_cast<uint8_t>(remap[row[x]]);
                } else {
                    const TRGB colour{row[3 * x], row[3 * x + 1], row[3 * x + 2]};
                    out[x] = static_cast<uint8_t>(indexOf(colour));
                }
            }
        }
        source->UnmapAllRows();
        if (alpha) alpha->UnmapAllRows();
    }
    progress.Report(30);
    if (progress.Aborting()) return;

    const bool trueColour = source->GetPixelFormat() == ie24RGB;
    TCheckedWriter out(stream, progress);
    // Signature and version: the first six characters of GifVersion.
    std::string signature = params.GifVersion.substr(0, 6);
    if (signature.size() < 6) signature += std::string("GIF89a").substr(signature.size());
    out.Bytes(signature.data(), 6);
    out.Word(width);
    out.Word(height);
    out.Byte(0x80 + (bits - 1) * 16 + (bits - 1));
    out.Byte(trueColour ? indexOf(params.GifBackground) : nearest(params.GifBackground));
    out.Byte(0);
    std::vector<uint8_t> table(static_cast<size_t>(3) << bits);
    for (int i = 0; i < colours; ++i) {
        table[3 * static_cast<size_t>(i)] = palette[static_cast<size_t>(i)].r;
        table[3 * static_cast<size_t>(i) + 1] = palette[static_cast<size_t>(i)].g;
        table[3 * static_cast<size_t>(i) + 2] = palette[static_cast<size_t>(i)].b;
    }
    out.Bytes(table.data(), static_cast<int64_t>(table.size()));

    int transparentIndex;
    if (reserved) transparentIndex = colours;
    else if (bits == 1) transparentIndex = nearest(params.GifTranspColor);
    else transparentIndex = trueColour ? indexOf(params.GifTranspColor) : nearest(params.GifTranspColor);
    const uint8_t control[8] = {0x21, 0xF9, 4,
                                static_cast<uint8_t>(((params.GifAction & 7) << 2) | (params.GifFlagTranspColor ? 1 : 0)),
                                static_cast<uint8_t>(params.GifDelayTime), static_cast<uint8_t>(params.GifDelayTime >> 8),
                                static_cast<uint8_t>(transparentIndex), 0};
    out.Bytes(control, 8);
    out.Byte(0x2C);
    out.Word(params.GifXPos);
    out.Word(params.GifYPos);
    out.Word(width);
    out.Word(height);
    out.Byte(params.GifInterlaced ? 0x40 : 0);
    progress.Report(70);
    if (progress.Aborting()) return;

    TIEGIFLZWCompressor encoder = params.GifLZWCompress ? params.GifLZWCompress : GIFLZWCompressorHook;
    if (!encoder) {
        progress.Abort();
        return;
    }
    encoder(stream, height, width, params.GifInterlaced, indices.data(), bits);

    out.Byte(0x21);
    out.Byte(0xFE);
    for (const std::string& line : params.GifComments) {
        const size_t length = std::min<size_t>(line.size(), 255);
        if (length == 0) continue;
        out.Byte(static_cast<int>(length));
        out.Bytes(line.data(), static_cast<int64_t>(length));
    }
    out.Byte(0);
    out.Byte(0x3B);
    if (!progress.Aborting()) progress.Report(100);
}

void IEWriteGIFFile(const std::string& fileName, TIEBitmap& bitmap, TIOParamsVals& params, TIEProgressRec& progress) {
    // Encoded whole before the file is touched: a failed write leaves the
    // old file as it was.
    TMemoryStream encoded;
    IEWriteGIFStream(encoded, bitmap, params, progress);
    if (progress.Aborting()) return;
    WriteFileBytes(fileName, encoded.Memory(), encoded.Bytes().size());
}

int32_t IEGIFFrameCount(const std::string& fileName, int32_t dropIndex, bool rewrite) {
    TMemoryStream file;
    try {
        file.LoadFromFile(fileName);
    } catch (const std::exception&) {
        return 0;
    }
    uint8_t header[13];
    if (file.Read(header, 13) != 13 || std::memcmp(header, "GIF", 3) != 0) return 0;
    TMemoryStream copy;
    std::memcpy(header + 3, "89a", 3);
    copy.WriteBuffer(header, 13);
    bool complete = true;
    if (header[10] & 0x80) {
        const int64_t size = int64_t{3} << ((header[10] & 7) + 1);
        complete = copy.CopyFrom(file, std::min(size, file.Remaining())) == size;
    }
    // Sub-blocks to the zero length, copied when target is set; false when
    // one is cut short.
    auto blocks = [&file](TStream* target) {
        int length = 0;
        while (ReadByte(file, length)) {
            const auto byte = static_cast<uint8_t>(length);
            if (target) target->WriteBuffer(&byte, 1);
            if (length == 0) return true;
            if (file.Remaining() < length) return false;
            if (target) target->CopyFrom(file, length);
            else SkipBytes(file, length);
        }
        return true;
    };
    int32_t index = 0, copied = 0;
    while (complete) {
        int block = 0;
        if (!ReadByte(file, block) || block == 0x3B) break;
        if (block == 0x21) {
            int label = 0;
            if (!ReadByte(file, label)) break;
            const bool keep = !(label == 0xF9 && index == dropIndex);
            if (keep) {
                const uint8_t start[2] = {0x21, static_cast<uint8_t>(label)};
                copy.WriteBuffer(start, 2);
            }
            complete = blocks(keep ? &copy : nullptr);
        } else if (block == 0x2C) {
            uint8_t descriptor[9];
            if (file.Read(descriptor, 9) != 9) {
                complete = false;
                break;
            }
            const int64_t tableSize = (descriptor[8] & 0x80) ? int64_t{3} << ((descriptor[8] & 7) + 1) : 0;
            if (file.Remaining() < tableSize + 1) {
                complete = false;
                break;
            }
            const bool keep = index != dropIndex;
            if (keep) {
                const uint8_t separator = 0x2C;
                copy.WriteBuffer(&separator, 1);
                copy.WriteBuffer(descriptor, 9);
                copy.CopyFrom(file, tableSize + 1);
                ++copied;
            } else {
                SkipBytes(file, tableSize + 1);
            }
            complete = blocks(keep ? &copy : nullptr);
            ++index;
        }
    }
    const uint8_t trailer = 0x3B;
    copy.WriteBuffer(&trailer, 1);
    if (rewrite && complete) WriteFileBytes(fileName, copy.Memory(), copy.Bytes().size());
    return copied;
}

// The largest logical screen frames are composed on (a lone frame that fills
// its screen is only limited by its data).
constexpr int64_t kMostScreenPixels = int64_t{1} << 26;

void IEReadGIFComposedStream(TStream& stream, TIEBitmap& bitmap, TIOParamsVals& params, TIEProgressRec& progress,
                             bool paramsOnly) {
    const int64_t start = stream.GetPosition();
    const int32_t wanted = std::max<int32_t>(params.GifImageIndex, 0);
    int32_t count = 0;
    std::unique_ptr<TIEMask> mask;
    if (paramsOnly) {
        IEReadGIFStream(stream, bitmap, count, params, progress, true, mask, true);
        return;
    }
    // Each frame's read reports its share of the whole.
    int32_t current = 0;
    TIEProgressRec inner = progress;
    inner.OnProgress = [&progress, &current, wanted](void*, int percent) {
        progress.Report(static_cast<int>((int64_t{current} * 100 + percent) / (wanted + 1)));
    };
    TIEBitmap canvas;
    std::vector<uint8_t> alpha;  // of the canvas, row by row from the top
    int32_t screenWidth = 0, screenHeight = 0;
    std::vector<TRGB> savedPixels;
    std::vector<uint8_t> savedAlpha;
    for (current = 0; current <= wanted; ++current) {
        stream.SetPosition(start);
        params.GifImageIndex = current;
        params.GifComments.clear();
        TIEBitmap frame;
        mask.reset();
        IEReadGIFStream(stream, frame, count, params, inner, false, mask, false);
        params.GifImageIndex = wanted;
        if (progress.Aborting() || current >= count) return;
        const int32_t left = params.GifXPos, top = params.GifYPos;
        const int32_t width = frame.GetWidth(), height = frame.GetHeight();
        if (current == 0) {
            // The logical screen, grown to hold the first frame when it is
            // smaller; later frames are cut to it.
            screenWidth = std::max(params.GifWinWidth, left + width);
            screenHeight = std::max(params.GifWinHeight, top + height);
            const bool lone = wanted == 0 && left == 0 && top == 0 && width == screenWidth && height == screenHeight;
            if (int64_t{screenWidth} * screenHeight > kMostScreenPixels && !lone) {
                progress.Abort();
                return;
            }
            // A lone frame that fills the screen needs no composing.
            if (lone) {
                if (width == 0 || height == 0) return;
                bitmap.Assign(frame);
                bitmap.RemoveAlphaChannel(false, clWhite);
                if (mask) {
                    TIEBitmap* channel = bitmap.GetAlphaChannel();
                    for (int32_t y = 0; y < height; ++y)
                        std::memcpy(channel->GetScanline(y), mask->GetScanline(y), static_cast<size_t>(width));
                    channel->UnmapAllRows();
                    bitmap.SetFullOpacity(false);
                }
                return;
            }
            if (!canvas.Allocate(screenWidth, screenHeight, ie24RGB)) {
                progress.Abort();
                return;
            }
            canvas.Fill(IERGBToColor(params.GifBackground));
            alpha.assign(static_cast<size_t>(screenWidth) * static_cast<size_t>(screenHeight), 0);
        }
        // The part of the frame that lies on the screen.
        const int32_t x1 = std::min(left, screenWidth), y1 = std::min(top, screenHeight);
        const int32_t x2 = std::min(left + width, screenWidth), y2 = std::min(top + height, screenHeight);
        const int disposal = params.GifAction;
        const bool keepPrevious = disposal == 3 && current < wanted;
        if (keepPrevious) {
            savedPixels.clear();
            savedAlpha.clear();
            for (int32_t y = y1; y < y2; ++y)
                for (int32_t x = x1; x < x2; ++x) {
                    savedPixels.push_back(canvas.GetPixelTRGB(x, y));
                    savedAlpha.push_back(alpha[static_cast<size_t>(y) * static_cast<size_t>(screenWidth) + static_cast<size_t>(x)]);
                }
        }
        for (int32_t y = y1; y < y2; ++y) {
            const uint8_t* source = frame.GetScanline(y - top);
            std::vector<TRGB> row(static_cast<size_t>(x2 - x1));
            for (int32_t x = x1; x < x2; ++x) row[static_cast<size_t>(x - x1)] = IERowPixelRGB(frame, source, x - left);
            const uint8_t* maskRow = mask ? mask->GetScanline(y - top) : nullptr;
            uint8_t* target = canvas.GetScanline(y);
            uint8_t* alphaRow = alpha.data() + static_cast<size_t>(y) * static_cast<size_t>(screenWidth);
            for (int32_t x = x1; x < x2; ++x) {
                if (maskRow && maskRow[x - left] == 0) continue;
                std::memcpy(target + 3 * x, &row[static_cast<size_t>(x - x1)], 3);
                alphaRow[x] = 255;
            }
        }
        canvas.UnmapAllRows();
        if (current == wanted) break;
        if (disposal == 2) {
            // Back to the background, which shows through as transparent.
            if (x2 > x1 && y2 > y1) canvas.FillRect(x1, y1, x2 - 1, y2 - 1, IERGBToColor(params.GifBackground));
            for (int32_t y = y1; y < y2; ++y)
                std::fill_n(alpha.begin() + static_cast<std::ptrdiff_t>(y) * screenWidth + x1, x2 - x1, uint8_t{0});
        } else if (keepPrevious) {
            size_t i = 0;
            for (int32_t y = y1; y < y2; ++y)
                for (int32_t x = x1; x < x2; ++x, ++i) {
                    canvas.SetPixelTRGB(x, y, savedPixels[i]);
                    alpha[static_cast<size_t>(y) * static_cast<size_t>(screenWidth) + static_cast<size_t>(x)] = savedAlpha[i];
                }
        }
    }
    bitmap.Assign(canvas);
    bitmap.RemoveAlphaChannel(false, clWhite);
    if (std::any_of(alpha.begin(), alpha.end(), [](uint8_t a) { return a != 255; })) {
        TIEBitmap* channel = bitmap.GetAlphaChannel();
        for (int32_t y = 0; y < screenHeight; ++y)
            std::memcpy(channel->GetScanline(y), alpha.data() + static_cast<size_t>(y) * static_cast<size_t>(screenWidth),
                        static_cast<size_t>(screenWidth));
        channel->UnmapAllRows();
        bitmap.SetFullOpacity(false);
    }
    params.Width = screenWidth;
    params.Height = screenHeight;
}
