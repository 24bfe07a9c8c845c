// The TIFF reader: the page's tags, the pixel format, and the image data of
// strips and tiles, row by row: decompress, unpack samples, undo the
// predictor, convert into the bitmap's pixel format.
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <exception>

#include "imaging/core/ie_helpers.h"
#include "imaging/core/ie_tiff_dir.h"
#include "imaging/io/ie_ccitt.h"
#include "imaging/io/ie_exif.h"
#include "imaging/io/ie_jpeg.h"
#include "imaging/io/ie_tiff.h"
#include "imaging/io/ie_tiff_lzw.h"

namespace {

// Y, Cb and Cr codes to red, green and blue by the page's luma weights and
// its codes of reference black and white, through tables made per page.
class TYCbCrToRGB {
public:
    void Init(const double luma[3], const double blackWhite[6]) {
        const double lr = luma[0], lb = luma[2];
        const double lg = luma[1] > 0 ? luma[1] : 0.587;
        auto scale = [](double code, double black, double white, double range) {
            const double span = white - black;
            return (code - black) * range / (span != 0 ? span : 1);
        };
        for (int c = 0; c < 256; ++c) {
            y_[c] = scale(c, blackWhite[0], blackWhite[1], 255);
            const double cb = scale(c, blackWhite[2], blackWhite[3], 127);
            const double cr = scale(c, blackWhite[4], blackWhite[5], 127);
            crR_[c] = cr * (2 - 2 * lr);
            cbB_[c] = cb * (2 - 2 * lb);
            crG_[c] = -cr * lr * (2 - 2 * lr) / lg;
            cbG_[c] = -cb * lb * (2 - 2 * lb) / lg;
        }
    }

    // One pixel as the bitmap's blue, green, red.
    void Convert(uint8_t y, uint8_t cb, uint8_t cr, uint8_t* bgr) const {
        const double luma = y_[y];
        bgr[0] = Clamp(luma + cbB_[cb]);
        bgr[1] = Clamp(luma + cbG_[cb] + crG_[cr]);
        bgr[2] = Clamp(luma + crR_[cr]);
    }

private:
    static uint8_t Clamp(double value) {
        return static_cast<uint8_t>(std::clamp(std::floor(value + 0.5), 0.0, 255.0));
    }
    double y_[256] = {}, crR_[256] = {}, cbB_[256] = {}, crG_[256] = {}, cbG_[256] = {};
};

// What the page's tags say about its image data.
struct TTIFFVars {
    int32_t ImageWidth = 0, ImageLength = 0, SamplesPerPixel = 1, BitsPerSample = 1, RowsPerStrip = 0;
    int32_t TileWidth = -1, TileLength = -1;
    uint16_t Photometric = 2, PlanarConfiguration = 1, Orientation = 1, Compression = 1;
    std::vector<uint32_t> StripOffsets, StripByteCounts, TileOffsets, TileByteCounts;
    std::vector<TRGB> ColorMap;
    int32_t Predictor = 1;
    std::vector<uint8_t> JPEGTables;
    uint32_t T4Options = 0;
    int32_t FillOrder = 1;
    std::string Software;
    int32_t JPEGProc = 0;
    uint32_t JPEGInterchangeFormat = 0, JPEGInterchangeFormatLength = 0;
    TIETIFFLZWDecompressor LZW = nullptr;
    bool LittleEndian = true;
    int32_t ExtraSamples = 0;
    // YCbCr pages: the chroma subsampling (a data unit is YCbCrH x YCbCrV
    // luma samples, then Cb and Cr), the luma weights of red, green and
    // blue, and the codes of black and white for Y, Cb and Cr.
    int32_t YCbCrH = 2, YCbCrV = 2;
    double Luma[3] = {0.299, 0.587, 0.114};
    double ReferenceBlackWhite[6] = {0, 255, 128, 255, 128, 255};
    TYCbCrToRGB YCbCr;
    bool IgnoreAlpha = false;
    bool NativeFormat = false;
};

bool IsCCITT(int32_t compression) { return compression >= 2 && compression <= 4; }
bool IsJPEG(int32_t compression) { return compression == 6 || compression == 7; }

// YCbCr samples this reader converts itself; the JPEG codec converts those
// of JPEG pages.
bool IsOwnYCbCr(const TTIFFVars& v) { return v.Photometric == 6 && !IsJPEG(v.Compression); }
bool IsDeflate(int32_t compression) { return compression == 8 || compression == 32946; }

// A failure: the abort flag and, once, the reason.
struct TOutcome {
    TIEProgressRec& progress;
    std::string* failure;
    void Fail(const std::string& why) {
        progress.Abort();
        if (failure && failure->empty()) *failure = why;
    }
    bool Failed() const { return progress.Aborting(); }
};

// ---------------------------------------------------------------- one block

// Decompresses the rows of one strip, tile or plane, in order.
class TBlockRows {
public:
    TBlockRows(const TTIFFVars& vars, const std::vector<uint8_t>& block, int32_t width, int32_t rowLength,
               int32_t rows)
        : vars_(vars), block_(block), width_(width), rowLength_(rowLength), rows_(rows),
          row_(static_cast<size_t>(rowLength) + 8), reference_(static_cast<size_t>(rowLength) + 8, 0xFF) {}

    ~TBlockRows() {
        if (lzw_) vars_.LZW(nullptr, 0, lzw_);
    }
    TBlockRows(const TBlockRows&) = delete;
    TBlockRows& operator=(const TBlockRows&) = delete;

    // The next row, rowLength bytes; nullptr on bad data. RanOut tells
    // that the data ended before this row was whole.
    const uint8_t* Next(std::string& why) {
        const int64_t size = static_cast<int64_t>(block_.size());
        const uint8_t* data = block_.data();
        switch (vars_.Compression) {
            case 1:
                if (position_ + rowLength_ > size) {
                    ranOut_ = true;
                    std::fill(row_.begin(), row_.end(), uint8_t{0});
                    if (position_ < size) std::memcpy(row_.data(), data + position_, static_cast<size_t>(size - position_));
                    position_ = size;
                } else {
                    std::memcpy(row_.data(), data + position_, static_cast<size_t>(rowLength_));
                    position_ += rowLength_;
                }
                if (vars_.FillOrder == 2) ReverseBits();
                return row_.data();
            case 2:
                if (position_ >= size) ranOut_ = true;
                position_ += CCITTDecodeLineMH(row_.data(), data + std::min(position_, size), size - std::min(position_, size),
                                               width_, vars_.FillOrder);
                return row_.data();
            case 3:
            case 4: {
                if (bit_ / 8 >= size) ranOut_ = true;
                const bool twoD = vars_.Compression == 4 || (vars_.T4Options & 1) != 0;
                if (twoD)
                    bit_ = CCITTDecodeLine2D(row_.data(), data, size, width_, reference_.data(), bit_, vars_.FillOrder,
                                             vars_.Compression == 3 || (vars_.T4Options & 4) != 0);
                else
                    bit_ = CCITTDecodeLine1D(row_.data(), data, size, width_, bit_, vars_.FillOrder);
                return row_.data();
            }
            case 5: {
                if (!lzw_ && vars_.LZW == IETIFFLZWDecompress)
                    lzw_ = IETIFFLZWBeginBlock(data, size, rowLength_);
                const uint8_t* got = vars_.LZW(data, rowLength_, lzw_);
                if (!got) {
                    why = "a bad LZW code";
                    return nullptr;
                }
                if (IETIFFLZWEnded(lzw_)) ranOut_ = true;
                // The decoder's row stays as it is until the next call.
                if (vars_.LZW == IETIFFLZWDecompress) return got;
                std::memcpy(row_.data(), got, static_cast<size_t>(rowLength_));
                return row_.data();
            }
            case 8:
            case 32946:
                if (!inflated_) {
                    inflated_ = true;
                    if (!Inflate(why)) return nullptr;
                }
                if (position_ + rowLength_ > static_cast<int64_t>(plain_.size())) {
                    ranOut_ = true;
                    std::fill(row_.begin(), row_.end(), uint8_t{0});
                    const int64_t left = std::max<int64_t>(static_cast<int64_t>(plain_.size()) - position_, 0);
                    if (left > 0) std::memcpy(row_.data(), plain_.data() + position_, static_cast<size_t>(left));
                } else {
                    std::memcpy(row_.data(), plain_.data() + position_, static_cast<size_t>(rowLength_));
                }
                position_ += rowLength_;
                return row_.data();
            case 32773:
                UnpackBits();
                return row_.data();
            default:
                why = "compression " + std::to_string(vars_.Compression) + " is not supported";
                return nullptr;
        }
    }

    bool RanOut() const { return ranOut_; }

private:
    void ReverseBits() {
        for (uint8_t& b : row_) IEReverseBitsByte(b);
    }

    // Inflates the whole block, never beyond what its rows need; the
    // buffer grows with the data, so a small block claiming a large page
    // takes little memory.
    bool Inflate(std::string& why) {
        const size_t needed = static_cast<size_t>(rowLength_) * static_cast<size_t>(rows_);
        z_stream z{};
        if (inflateInit(&z) != Z_OK) {
            why = "zlib could not start";
            return false;
        }
        z.next_in = const_cast<Bytef*>(block_.data());
        z.avail_in = static_cast<uInt>(block_.size());
        size_t produced = 0;
        int result = Z_OK;
        plain_.resize(std::min(needed, block_.size() * 4 + 65536));
        while (produced < needed) {
            if (produced == plain_.size()) plain_.resize(std::min(needed, plain_.size() * 2));
            z.next_out = plain_.data() + produced;
            z.avail_out = static_cast<uInt>(std::min<size_t>(plain_.size() - produced, 1u << 30));
            const uInt room = z.avail_out;
            result = inflate(&z, Z_NO_FLUSH);
            produced += room - z.avail_out;
            if (result != Z_OK) break;
        }
        inflateEnd(&z);
        if (result == Z_DATA_ERROR || result == Z_STREAM_ERROR || result == Z_MEM_ERROR || result == Z_NEED_DICT) {
            why = "the Deflate data is damaged";
            return false;
        }
        plain_.resize(produced);
        return true;
    }

    void UnpackBits() {
        const int64_t size = static_cast<int64_t>(block_.size());
        int32_t filled = 0;
        std::fill(row_.begin(), row_.end(), uint8_t{0});
        auto byteAt = [&](int64_t i) {
            uint8_t b = block_[static_cast<size_t>(i)];
            if (vars_.FillOrder == 2) IEReverseBitsByte(b);
            return b;
        };
        while (filled < rowLength_) {
            if (position_ >= size) {
                ranOut_ = true;
                return;
            }
            const auto n = static_cast<int8_t>(byteAt(position_++));
            if (n >= 0) {
                for (int32_t i = 0; i <= n; ++i) {
                    if (position_ >= size) {
                        ranOut_ = true;
                        return;
                    }
                    const uint8_t b = byteAt(position_++);
                    if (filled < rowLength_) row_[static_cast<size_t>(filled++)] = b;
                }
            } else if (n != -128) {
                if (position_ >= size) {
                    ranOut_ = true;
                    return;
                }
                const uint8_t b = byteAt(position_++);
                for (int32_t i = 0; i < 1 - n; ++i)
                    if (filled < rowLength_) row_[static_cast<size_t>(filled++)] = b;
            }
        }
    }

    const TTIFFVars& vars_;
    const std::vector<uint8_t>& block_;
    int32_t width_, rowLength_, rows_;
    std::vector<uint8_t> row_, reference_, plain_;
    int64_t position_ = 0, bit_ = 0;
    TIETIFFLZWState* lzw_ = nullptr;
    bool inflated_ = false, ranOut_ = false;
};

// ---------------------------------------------------------------- rows to pixels

// The bytes of one row of a block; 0 when the row could not be held (no
// width, or samples so many or so wide that one row passes 2^28 bytes).
int32_t RowLength(const TTIFFVars& v, int32_t width, bool planar) {
    const int64_t bits = int64_t{width} * v.BitsPerSample * (planar ? 1 : v.SamplesPerPixel);
    if (bits <= 0 || bits > (int64_t{1} << 31)) return 0;
    return static_cast<int32_t>((bits + 7) / 8);
}

// The samples of a chunky row as one value each (8 bits: a byte, 16 bits:
// a host-order word), with the predictor undone.
void UnpackSamples(const TTIFFVars& v, const uint8_t* row, int32_t width, std::vector<uint16_t>& samples) {
    const int32_t spp = v.SamplesPerPixel, bps = v.BitsPerSample;
    const size_t count = static_cast<size_t>(width) * static_cast<size_t>(spp);
    samples.resize(count);
    if (bps == 8) {
        for (size_t i = 0; i < count; ++i) samples[i] = row[i];
    } else if (bps == 16) {
        for (size_t i = 0; i < count; ++i)
            samples[i] = v.LittleEndian ? static_cast<uint16_t>(row[2 * i] | row[2 * i + 1] << 8)
                                        : static_cast<uint16_t>(row[2 * i] << 8 | row[2 * i + 1]);
    } else {
        for (size_t i = 0; i < count; ++i) {
            uint32_t value = 0;
            const size_t bit = i * static_cast<size_t>(bps);
            for (int32_t b = 0; b < bps; ++b) {
                const size_t at = bit + static_cast<size_t>(b);
                value = value << 1 | (row[at >> 3] >> (7 - (at & 7)) & 1u);
            }
            samples[i] = static_cast<uint16_t>(value);
        }
    }
    if (v.Predictor == 2 && (v.Compression == 5 || IsDeflate(v.Compression)) && (bps == 8 || bps == 16)) {
        const uint32_t mask = bps == 8 ? 0xFFu : 0xFFFFu;
        for (size_t i = static_cast<size_t>(spp); i < count; ++i)
            samples[i] = static_cast<uint16_t>((samples[i] + samples[i - static_cast<size_t>(spp)]) & mask);
    }
}

// A sample as 8 bits.
uint8_t To8(const TTIFFVars& v, uint32_t sample) {
    if (v.BitsPerSample == 8) return static_cast<uint8_t>(sample);
    if (v.BitsPerSample == 16) return static_cast<uint8_t>(sample >> 8);
    const uint32_t top = (1u << v.BitsPerSample) - 1;
    return static_cast<uint8_t>((sample * 255 + top / 2) / top);
}

// Converts one unpacked row into out (width pixels of the bitmap's format)
// and alpha (width bytes, when the page carries it). False when the layout
// has no conversion.
bool ConvertRow(const TTIFFVars& v, TIEPixelFormat format, const std::vector<uint16_t>& s, int32_t width,
                uint8_t* out, uint8_t* alpha) {
    const int32_t spp = v.SamplesPerPixel, bps = v.BitsPerSample, ph = v.Photometric;
    auto at = [&](int32_t x, int32_t c) { return static_cast<uint32_t>(s[static_cast<size_t>(x * spp + c)]); };
    auto gray = [&](int32_t x) {
        uint8_t g = To8(v, at(x, 0));
        if (bps == 16 && v.Software.compare(0, 15, "Look@Molli v1.1") == 0) g = static_cast<uint8_t>(at(x, 0) >> 4);
        return ph == 0 ? static_cast<uint8_t>(255 - g) : g;
    };
    if (ph == 2 && spp >= 3 && (bps == 8 || bps == 16)) {
        const bool associated = v.ExtraSamples == 1;
        for (int32_t x = 0; x < width; ++x) {
            if (format == ieRGB48) {
                auto* o = reinterpret_cast<uint16_t*>(out) + 3 * x;
                for (int32_t c = 0; c < 3; ++c) o[c] = static_cast<uint16_t>(at(x, c));
                continue;
            }
            uint8_t r = To8(v, at(x, 0)), g = To8(v, at(x, 1)), b = To8(v, at(x, 2));
            if (spp >= 4) {
                const uint8_t a = To8(v, at(x, 3));
                if (alpha) alpha[x] = a;
                // Colours stored multiplied by their alpha are divided back.
                if (associated && a != 0 && a != 255) {
                    r = static_cast<uint8_t>(std::min(255, (r * 255 + a / 2) / a));
                    g = static_cast<uint8_t>(std::min(255, (g * 255 + a / 2) / a));
                    b = static_cast<uint8_t>(std::min(255, (b * 255 + a / 2) / a));
                }
            }
            out[3 * x] = b, out[3 * x + 1] = g, out[3 * x + 2] = r;
        }
        return true;
    }
    if (ph == 2 && spp == 1 && bps == 16) {
        for (int32_t x = 0; x < width; ++x) {
            const uint32_t p = at(x, 0);
            out[3 * x + 2] = static_cast<uint8_t>((p >> 10 & 31) * 8);
            out[3 * x + 1] = static_cast<uint8_t>((p >> 5 & 31) * 8);
            out[3 * x] = static_cast<uint8_t>((p & 31) * 8);
        }
        return true;
    }
    if (ph == 3 && bps <= 8) {
        for (int32_t x = 0; x < width; ++x) {
            const uint32_t index = at(x, 0);
            if (format == ie8p) {
                out[x] = static_cast<uint8_t>(index);
                continue;
            }
            const TRGB c = index < v.ColorMap.size() ? v.ColorMap[index] : TRGB{};
            out[3 * x] = c.b, out[3 * x + 1] = c.g, out[3 * x + 2] = c.r;
            if (spp == 2 && alpha) alpha[x] = static_cast<uint8_t>(255 - To8(v, at(x, 1)));
        }
        return true;
    }
    if ((ph == 0 || ph == 1) && (spp == 1 || spp == 2) && bps >= 2 && bps <= 16) {
        for (int32_t x = 0; x < width; ++x) {
            if (format == ie16g) {
                const uint32_t g = at(x, 0);
                reinterpret_cast<uint16_t*>(out)[x] = static_cast<uint16_t>(ph == 0 ? 65535 - g : g);
                continue;
            }
            const uint8_t g = gray(x);
            if (format == ie8g) {
                out[x] = g;
            } else {
                out[3 * x] = out[3 * x + 1] = out[3 * x + 2] = g;
            }
            if (spp == 2 && alpha) alpha[x] = To8(v, at(x, 1));
        }
        return true;
    }
    if (ph == 5 && spp >= 4 && (bps == 8 || bps == 16)) {
        for (int32_t x = 0; x < width; ++x) {
            uint8_t cmyk[4];
            for (int32_t c = 0; c < 4; ++c) cmyk[c] = static_cast<uint8_t>(255 - To8(v, at(x, c)));
            if (format == ieCMYK) std::memcpy(out + 4 * x, cmyk, 4);
            else IEConvertColorRow(cmyk, iecCMYK, out + 3 * x, nullptr, 1, iecBGR);
        }
        return true;
    }
    if (ph == 6 && spp == 3 && bps == 8) {
        for (int32_t x = 0; x < width; ++x)
            v.YCbCr.Convert(static_cast<uint8_t>(at(x, 0)), static_cast<uint8_t>(at(x, 1)), static_cast<uint8_t>(at(x, 2)),
                            out + 3 * x);
        return true;
    }
    if (ph == 8 && spp == 3 && bps == 8) {
        for (int32_t x = 0; x < width; ++x) {
            const uint8_t lab[3] = {static_cast<uint8_t>(at(x, 0)), static_cast<uint8_t>(at(x, 1)),
                                    static_cast<uint8_t>(at(x, 2))};
            IEConvertColorRow(lab, iecCIELab, out + 3 * x, nullptr, 1, iecBGR);
        }
        return true;
    }
    return false;
}

int32_t PixelBytes(TIEPixelFormat format) {
    switch (format) {
        case ie8p:
        case ie8g: return 1;
        case ie16g: return 2;
        case ieCMYK: return 4;
        case ieRGB48: return 6;
        default: return 3;
    }
}

// ---------------------------------------------------------------- pages

class TPageDecoder {
public:
    TPageDecoder(TTIFFVars& vars, TIEBitmap& bitmap, TIEMask* mask, TStream& stream, int64_t base, TOutcome& outcome)
        : v_(vars), bitmap_(bitmap), mask_(mask), stream_(stream), base_(base), outcome_(outcome),
          format_(bitmap.GetPixelFormat()) {}

    void Strips() {
        const int32_t height = v_.ImageLength;
        const int32_t perStrip = v_.RowsPerStrip;
        const bool planar = v_.PlanarConfiguration == 2 && v_.SamplesPerPixel > 1;
        const int32_t strips = static_cast<int32_t>((int64_t{height} + perStrip - 1) / perStrip);
        const int32_t planes = planar ? v_.SamplesPerPixel : 1;
        if (static_cast<int64_t>(v_.StripOffsets.size()) < int64_t{strips} * planes) {
            outcome_.Fail("the page has fewer strips than rows");
            return;
        }
        percentPerUnit_ = 100.0 / height;
        for (int32_t s = 0; s < strips && !outcome_.Failed(); ++s) {
            const int32_t y = s * perStrip;
            const int32_t rows = std::min(perStrip, height - y);
            if (v_.Compression == 7) {
                JPEGBlock(v_.StripOffsets[static_cast<size_t>(s)], Count(v_.StripByteCounts, s), 0, y, v_.ImageWidth,
                          rows, strips == 1);
                continue;
            }
            std::vector<std::vector<uint8_t>> blocks(static_cast<size_t>(planes));
            const bool units = IsOwnYCbCr(v_) && !planar;
            const int64_t plainSize = units ? int64_t{UnitRowLength(v_.ImageWidth)} * UnitRows(rows)
                                            : int64_t{RowLength(v_, v_.ImageWidth, planar)} * rows;
            for (int32_t p = 0; p < planes; ++p) {
                const int32_t index = p * strips + s;
                if (!ReadBlock(v_.StripOffsets[static_cast<size_t>(index)], Count(v_.StripByteCounts, index), plainSize,
                               blocks[static_cast<size_t>(p)]))
                    return;
            }
            if (units) DecodeYCbCrUnits(blocks[0], 0, y, v_.ImageWidth, rows);
            else DecodeRows(blocks, 0, y, v_.ImageWidth, rows, planar);
        }
    }

    void Tiles() {
        const int32_t tw = v_.TileWidth, th = v_.TileLength;
        if (v_.PlanarConfiguration == 2 && v_.SamplesPerPixel > 1) {
            outcome_.Fail("planar tiles are not supported");
            return;
        }
        // A tile is decoded whole: its size is bounded like a page's.
        if (tw <= 0 || th <= 0 || int64_t{tw} * th > kIETIFFMaxPixels / 4 ||
            int64_t{RowLength(v_, tw, false)} * th > kIETIFFMaxPixels) {
            outcome_.Fail("the tile size is not valid");
            return;
        }
        const int64_t across = (int64_t{v_.ImageWidth} + tw - 1) / tw, down = (int64_t{v_.ImageLength} + th - 1) / th;
        if (static_cast<int64_t>(v_.TileOffsets.size()) < across * down) {
            outcome_.Fail("the page has fewer tiles than its size needs");
            return;
        }
        percentPerUnit_ = 100.0 / (down * th);
        for (int64_t i = 0; i < across * down && !outcome_.Failed(); ++i) {
            const auto x = static_cast<int32_t>(i % across * tw), y = static_cast<int32_t>(i / across * th);
            if (v_.Compression == 7) {
                JPEGBlock(v_.TileOffsets[static_cast<size_t>(i)], Count(v_.TileByteCounts, static_cast<int32_t>(i)), x,
                          y, tw, th, across * down == 1);
                continue;
            }
            std::vector<std::vector<uint8_t>> blocks(1);
            const bool units = IsOwnYCbCr(v_);
            const int64_t plainSize = units ? int64_t{UnitRowLength(tw)} * UnitRows(th) : int64_t{RowLength(v_, tw, false)} * th;
            if (!ReadBlock(v_.TileOffsets[static_cast<size_t>(i)], Count(v_.TileByteCounts, static_cast<int32_t>(i)),
                           plainSize, blocks[0]))
                return;
            if (units) DecodeYCbCrUnits(blocks[0], x, y, tw, th);
            else DecodeRows(blocks, x, y, tw, th, false);
        }
    }

    bool MaskWritten() const { return maskWritten_; }

private:
    static uint32_t Count(const std::vector<uint32_t>& counts, int32_t i) {
        return i >= 0 && static_cast<size_t>(i) < counts.size() ? counts[static_cast<size_t>(i)] : 0;
    }

    // Reads a block's bytes. A count of 0 means the rest of the stream;
    // uncompressed data is read for all the rows it must hold. Data cut
    // short by the end of the stream are decoded, then the page refused.
    bool ReadBlock(uint32_t offset, uint32_t count, int64_t plainSize, std::vector<uint8_t>& block) {
        const int64_t size = stream_.GetSize();
        const int64_t start = base_ + offset;
        if (start >= size) {
            outcome_.Fail("a strip or tile starts past the end of the file");
            return false;
        }
        int64_t want = count;
        if (v_.Compression == 1) want = std::max(want, plainSize);
        if (want == 0) want = size - start;
        if (want > size - start) {
            truncated_ = true;
            want = size - start;
        }
        block.resize(static_cast<size_t>(want));
        stream_.SetPosition(start);
        stream_.ReadBuffer(block.data(), want);
        return true;
    }

    void DecodeRows(const std::vector<std::vector<uint8_t>>& blocks, int32_t x, int32_t y, int32_t width,
                    int32_t rows, bool planar) {
        const int32_t spp = v_.SamplesPerPixel, bps = v_.BitsPerSample;
        const int32_t rowLength = RowLength(v_, width, planar);
        if (rowLength <= 0) {
            outcome_.Fail("the rows of the picture are too long to read");
            return;
        }
        std::vector<std::unique_ptr<TBlockRows>> decoders;
        for (const auto& block : blocks) decoders.push_back(std::make_unique<TBlockRows>(v_, block, width, rowLength, rows));
        const int32_t visible = std::min(width, v_.ImageWidth - x);
        const bool bilevel = format_ == ie1g;
        const int32_t pixelBytes = PixelBytes(format_);
        std::vector<uint8_t> chunky(static_cast<size_t>(RowLength(v_, width, false)) + 8);
        std::vector<uint8_t> line(bilevel ? 0 : static_cast<size_t>(width) * static_cast<size_t>(pixelBytes));
        std::vector<uint8_t> alpha(mask_ ? static_cast<size_t>(width) : 0);
        std::vector<uint16_t> samples;
        bool ranOut = false;
        const bool plainRGB = format_ == ie24RGB && !mask_ && v_.Photometric == 2 && spp == 3 && bps == 8;
        const bool predicted = v_.Predictor == 2 && (v_.Compression == 5 || IsDeflate(v_.Compression));
        for (int32_t r = 0; r < rows && !outcome_.Failed(); ++r) {
            const int32_t row = y + r;
            std::string why;
            const uint8_t* source = nullptr;
            if (planar) {
                const int32_t bytes = bps / 8;
                for (int32_t p = 0; p < spp; ++p) {
                    const uint8_t* plane = decoders[static_cast<size_t>(p)]->Next(why);
                    if (!plane) break;
                    for (int32_t i = 0; i < width; ++i)
                        std::memcpy(&chunky[static_cast<size_t>((i * spp + p) * bytes)], plane + i * bytes,
                                    static_cast<size_t>(bytes));
                    if (p == spp - 1) source = chunky.data();
                }
            } else {
                source = decoders[0]->Next(why);
            }
            if (!source) {
                outcome_.Fail(why.empty() ? "the image data is damaged" : why);
                return;
            }
            for (const auto& d : decoders) ranOut = ranOut || d->RanOut();
            if (row >= v_.ImageLength) continue;
            uint8_t* target = bitmap_.GetScanline(row);
            if (bilevel) {
                // 1 is white in the bitmap; CCITT rows come that way for
                // WhiteIsZero pages, other data for BlackIsZero ones.
                const bool invert = IsCCITT(v_.Compression) ? v_.Photometric == 1 : v_.Photometric == 0;
                const int32_t bytes = (visible + 7) / 8;
                for (int32_t i = 0; i < bytes; ++i) {
                    const uint8_t b = invert ? static_cast<uint8_t>(~source[i]) : source[i];
                    target[x / 8 + i] = b;
                }
            } else if (plainRGB) {
                // The common page: 8-bit red, green, blue straight into the
                // bitmap's blue, green, red, the predictor undone on the way.
                uint8_t* out = target + 3 * static_cast<size_t>(x);
                uint8_t red = 0, green = 0, blue = 0;
                for (int32_t i = 0; i < visible; ++i, source += 3, out += 3) {
                    if (predicted) {
                        red = static_cast<uint8_t>(red + source[0]);
                        green = static_cast<uint8_t>(green + source[1]);
                        blue = static_cast<uint8_t>(blue + source[2]);
                    } else {
                        red = source[0], green = source[1], blue = source[2];
                    }
                    out[0] = blue, out[1] = green, out[2] = red;
                }
            } else {
                UnpackSamples(v_, source, width, samples);
                if (!ConvertRow(v_, format_, samples, width, line.data(), mask_ ? alpha.data() : nullptr)) {
                    outcome_.Fail("this combination of photometric interpretation, samples and bits is not supported");
                    return;
                }
                std::memcpy(target + static_cast<size_t>(x) * static_cast<size_t>(pixelBytes), line.data(),
                            static_cast<size_t>(visible) * static_cast<size_t>(pixelBytes));
                if (mask_) {
                    std::memcpy(mask_->GetScanline(row) + x, alpha.data(), static_cast<size_t>(visible));
                    maskWritten_ = true;
                }
            }
            Report();
        }
        if (ranOut || truncated_) outcome_.Fail("the image data ends before the picture does");
    }

    // A row of YCbCr data units: each YCbCrH x YCbCrV luma samples, then
    // the Cb and Cr they share; the last unit of a row may overhang.
    int32_t UnitRowLength(int32_t width) const {
        const int64_t across = (int64_t{width} + v_.YCbCrH - 1) / v_.YCbCrH;
        const int64_t bytes = across * (v_.YCbCrH * v_.YCbCrV + 2);
        return bytes > (int64_t{1} << 30) ? 0 : static_cast<int32_t>(bytes);
    }
    int32_t UnitRows(int32_t rows) const { return (rows + v_.YCbCrV - 1) / v_.YCbCrV; }

    // Decodes a strip or tile of YCbCr data units: each row of units fills
    // YCbCrV rows of pixels.
    void DecodeYCbCrUnits(const std::vector<uint8_t>& block, int32_t x, int32_t y, int32_t width, int32_t rows) {
        const int32_t h = v_.YCbCrH, vertical = v_.YCbCrV, unit = h * vertical + 2;
        const int32_t rowLength = UnitRowLength(width);
        if (rowLength <= 0) {
            outcome_.Fail("the rows of the picture are too long to read");
            return;
        }
        const int32_t unitRows = UnitRows(rows);
        const int32_t visible = std::min(width, v_.ImageWidth - x);
        TBlockRows decoder(v_, block, width, rowLength, unitRows);
        for (int32_t r = 0; r < unitRows && !outcome_.Failed(); ++r) {
            std::string why;
            const uint8_t* source = decoder.Next(why);
            if (!source) {
                outcome_.Fail(why.empty() ? "the image data is damaged" : why);
                return;
            }
            for (int32_t j = 0; j < vertical; ++j) {
                const int32_t inBlock = r * vertical + j, row = y + inBlock;
                if (inBlock >= rows || row >= v_.ImageLength) break;
                uint8_t* target = bitmap_.GetScanline(row) + 3 * static_cast<size_t>(x);
                for (int32_t px = 0; px < visible; ++px) {
                    const uint8_t* units = source + static_cast<size_t>(px / h) * static_cast<size_t>(unit);
                    v_.YCbCr.Convert(units[j * h + px % h], units[h * vertical], units[h * vertical + 1], target + 3 * px);
                }
                Report();
            }
        }
        if (decoder.RanOut() || truncated_) outcome_.Fail("the image data ends before the picture does");
    }

    void JPEGBlock(uint32_t offset, uint32_t count, int32_t x, int32_t y, int32_t width, int32_t rows, bool single) {
        std::vector<uint8_t> bytes;
        if (!ReadBlock(offset, count, 0, bytes)) return;
        TMemoryStream block(std::move(bytes));
        TIEBitmap part(width, rows, ie24RGB);
        TIOParamsVals temp(nullptr);
        temp.JpegDCTMethod = 0;  // the accurate integer transform
        bool failed = false;
        TIEProgressRec inner;
        inner.AbortFlag = &failed;
        if (single) inner.OnProgress = outcome_.progress.OnProgress, inner.Sender = outcome_.progress.Sender;
        bool rgb = false;
        try {
            std::unique_ptr<TMemoryStream> tables;
            if (!v_.JPEGTables.empty()) tables = std::make_unique<TMemoryStream>(v_.JPEGTables);
            if (v_.Photometric == 2) {
                // An RGB page whose JPEG data does not say RGB would be
                // taken for YCbCr: its components are kept as stored.
                IEReadJPEGStream(block, tables.get(), part, false, -1, false, false, false, false, false, true, inner,
                                 temp);
                rgb = temp.JpegColorSpace == 2;
                block.SetPosition(0);
                if (tables) tables->SetPosition(0);
            }
            IEReadJPEGStream(block, tables.get(), part, false, -1, false, false, false, false, rgb, false, inner, temp);
        } catch (const std::exception& error) {
            outcome_.Fail(std::string("the JPEG data is damaged: ") + error.what());
            return;
        }
        if (failed || part.GetWidth() < 1) {
            outcome_.Fail("the JPEG data is damaged");
            return;
        }
        const int32_t visibleRows = std::min(rows, std::min(part.GetHeight(), v_.ImageLength - y));
        const int32_t visible = std::min(std::min(width, part.GetWidth()), v_.ImageWidth - x);
        for (int32_t r = 0; r < visibleRows; ++r) {
            const uint8_t* from = part.GetScanline(r);
            uint8_t* to = bitmap_.GetScanline(y + r) + 3 * static_cast<size_t>(x);
            for (int32_t i = 0; i < visible; ++i) {
                const uint8_t* p = from + 3 * i;
                // Components kept as stored are red, green, blue.
                to[3 * i] = rgb ? p[2] : p[0];
                to[3 * i + 1] = p[1];
                to[3 * i + 2] = rgb ? p[0] : p[2];
            }
            Report();
        }
    }

    void Report() {
        ++done_;
        const int percent = static_cast<int>(done_ * percentPerUnit_);
        if (percent != lastPercent_) {
            lastPercent_ = percent;
            outcome_.progress.Report(percent);
        }
    }

    TTIFFVars& v_;
    TIEBitmap& bitmap_;
    TIEMask* mask_;
    TStream& stream_;
    int64_t base_;
    TOutcome& outcome_;
    TIEPixelFormat format_;
    double percentPerUnit_ = 0;
    int64_t done_ = 0;
    int lastPercent_ = -1;
    bool truncated_ = false, maskWritten_ = false;
};

std::vector<TRGB> ReadColorMap(const TIETIFFDirectory& page, int32_t bits) {
    std::vector<TRGB> map;
    const TIETIFFEntry* entry = page.Find(320);
    if (!entry || bits < 1 || bits > 8) return map;
    const uint32_t n = 1u << bits;
    if (entry->Count < 3 * n) return map;
    std::vector<uint32_t> values(3 * n);
    uint32_t largest = 0;
    for (uint32_t i = 0; i < 3 * n; ++i) {
        values[i] = page.GetValue(320, i);
        largest = std::max(largest, values[i]);
    }
    // Maps whose values all stay below 256 were written as 8-bit levels.
    const bool eightBit = largest < 256;
    auto level = [eightBit](uint32_t v) {
        return static_cast<uint8_t>(eightBit ? v : (std::min<uint32_t>(v, 65535) * 255 + 32767) / 65535);
    };
    map.resize(n);
    for (uint32_t i = 0; i < n; ++i) {
        map[i].r = level(values[i]);
        map[i].g = level(values[n + i]);
        map[i].b = level(values[2 * n + i]);
    }
    return map;
}

uint8_t CompressionKind(uint32_t compression, uint32_t t4) {
    switch (compression) {
        case 1: return 0;
        case 2: return 1;
        case 3: return (t4 & 1) ? 3 : 2;
        case 4: return 4;
        case 5: return 5;
        case 6: return 6;
        case 7: return 7;
        case 8: return 10;
        case 32773: return 8;
        case 32946: return 9;
        default: return 11;
    }
}

TIEPixelFormat ChooseFormat(const TTIFFVars& v) {
    const int32_t bps = v.BitsPerSample, spp = v.SamplesPerPixel, ph = v.Photometric;
    if (bps == 1 && spp == 1 && ph != 3) return ie1g;
    if (!v.NativeFormat || v.Compression == 7 || v.Compression == 6) return ie24RGB;
    if (bps == 8 && spp == 1 && ph == 3) return ie8p;
    if (bps == 8 && spp == 1 && (ph == 0 || ph == 1)) return ie8g;
    if (bps == 16 && spp == 1 && (ph == 0 || ph == 1)) return ie16g;
    if (bps == 8 && spp > 3 && ph == 5) return ieCMYK;
    if (bps == 16 && spp == 4 && ph == 5) return ieCMYK;
    if (bps == 16 && spp == 3 && ph == 2) return ieRGB48;
    return ie24RGB;
}

void ReadOldJPEG(const TTIFFVars& v, TIEBitmap& bitmap, TStream& stream, int64_t base, TOutcome& outcome) {
    int64_t start = base + v.JPEGInterchangeFormat;
    int64_t length = v.JPEGInterchangeFormatLength;
    if (v.JPEGInterchangeFormat == 0 && !v.StripOffsets.empty()) start = base + v.StripOffsets[0];
    const int64_t size = stream.GetSize();
    if (start <= base || start >= size) {
        outcome.Fail("the old-style JPEG data lies outside the file");
        return;
    }
    stream.SetPosition(start);
    if (length <= 0 || length > size - start) length = IEJPEGStreamLength(stream);
    if (length <= 0 || length > size - start) {
        outcome.Fail("the old-style JPEG data lies outside the file");
        return;
    }
    std::vector<uint8_t> bytes(static_cast<size_t>(length));
    stream.ReadBuffer(bytes.data(), length);
    TMemoryStream jpeg(std::move(bytes));
    TIOParamsVals temp(nullptr);
    IEReadJPEGStream(jpeg, nullptr, bitmap, false, -1, false, false, false, false, false, false, outcome.progress, temp);
    if (outcome.Failed()) outcome.Fail("the old-style JPEG data is damaged");
}

// Turns an 8-bit alpha mask as the orientation turns the bitmap.
void OrientMask(TIEMask& mask, int32_t orientation) {
    if (orientation < 2 || orientation > 8 || mask.BitsPerPixel() != 8 || mask.Width() <= 0 || mask.Height() <= 0)
        return;
    const int32_t width = mask.Width(), height = mask.Height();
    TIEBitmap plane(width, height, ie8g);
    for (int32_t y = 0; y < height; ++y)
        std::memcpy(plane.GetScanline(y), mask.GetScanline(y), static_cast<size_t>(width));
    IEApplyEXIFOrientation(plane, orientation);
    const bool full = mask.Full();
    mask.AllocateBits(plane.GetWidth(), plane.GetHeight(), 8);
    for (int32_t y = 0; y < mask.Height(); ++y)
        std::memcpy(mask.GetScanline(y), plane.GetScanline(y), static_cast<size_t>(mask.Width()));
    mask.SyncBounds();
    mask.SetFull(full);
}

}  // namespace

void IEReadTIFFStream(TIEBitmap* bitmap, TStream& stream, int32_t& pageCount, TIOParamsVals* params,
                      TIEProgressRec& progress, bool paramsOnly, std::unique_ptr<TIEMask>& alphaMask,
                      bool relativeBase, bool ignoreAlpha, bool exifThumbnail, std::string* failure) {
    TOutcome outcome{progress, failure};
    pageCount = 0;
    const int64_t base = relativeBase ? stream.GetPosition() : 0;
    bool little = true;
    uint32_t first = 0;
    if (!IEReadTIFFHeader(stream, base, little, first)) {
        outcome.Fail("the data does not start with a TIFF header");
        return;
    }
    if (first == 0) {
        outcome.Fail("the TIFF header names no directory");
        return;
    }
    TIETIFFDirectory page;
    const int32_t index = params ? params->TiffImageIndex : -1;
    const bool loaded = page.LoadPage(stream, base, little, first, index, &pageCount);
    if (!params) return;
    if (!loaded) {
        outcome.Fail("the file has no page " + std::to_string(index) + " (it has " + std::to_string(pageCount) + ")");
        return;
    }
    if (params->TiffSubIndex >= 0) {
        const uint32_t sub = page.GetValue(330, static_cast<uint32_t>(params->TiffSubIndex));
        if (static_cast<int32_t>(sub) > 0) {
            TIETIFFDirectory child;
            if (!child.Load(stream, base, little, sub)) {
                outcome.Fail("the sub-page directory lies outside the file");
                return;
            }
            page = child;
        }
    }
    IEReadTIFFMetadata(page, *params);

    TTIFFVars v;
    v.LittleEndian = little;
    v.ImageWidth = static_cast<int32_t>(page.GetInteger(256));
    v.ImageLength = static_cast<int32_t>(page.GetInteger(257));
    v.SamplesPerPixel = static_cast<int32_t>(page.GetInteger(277, 1));
    const std::vector<uint32_t> bits = page.GetIntegers(258);
    v.BitsPerSample = bits.empty() ? 1 : static_cast<int32_t>(bits[0]);
    for (uint32_t b : bits)
        if (static_cast<int32_t>(b) != v.BitsPerSample) {
            outcome.Fail("the samples of a pixel have different sizes");
            return;
        }
    const uint32_t rowsPerStrip = page.GetInteger(278, static_cast<uint32_t>(v.ImageLength));
    v.RowsPerStrip = rowsPerStrip == 0xFFFFFFFFu || rowsPerStrip == 0 || rowsPerStrip > static_cast<uint32_t>(v.ImageLength)
                         ? v.ImageLength
                         : static_cast<int32_t>(rowsPerStrip);
    if (page.Has(322)) v.TileWidth = static_cast<int32_t>(page.GetInteger(322));
    if (page.Has(323)) v.TileLength = static_cast<int32_t>(page.GetInteger(323));
    v.Photometric = static_cast<uint16_t>(page.GetInteger(262, 2));
    v.PlanarConfiguration = static_cast<uint16_t>(page.GetInteger(284, 1));
    v.Orientation = static_cast<uint16_t>(page.GetInteger(274, 1));
    v.Compression = static_cast<uint16_t>(page.GetInteger(259, 1));
    v.StripOffsets = page.GetIntegers(273);
    v.StripByteCounts = page.GetIntegers(279);
    v.TileOffsets = page.GetIntegers(324);
    v.TileByteCounts = page.GetIntegers(325);
    v.Predictor = static_cast<int32_t>(page.GetInteger(317, 1));
    if (page.Has(347)) v.JPEGTables = page.GetRawData(347);
    v.T4Options = page.GetInteger(292);
    v.FillOrder = static_cast<int32_t>(page.GetInteger(266, 1));
    v.Software = page.GetString(305);
    v.JPEGProc = static_cast<int32_t>(page.GetInteger(512));
    v.JPEGInterchangeFormat = page.GetInteger(513);
    v.JPEGInterchangeFormatLength = page.GetInteger(514);
    v.ExtraSamples = static_cast<int32_t>(page.GetValue(338, 0));
    if (page.Has(530)) {
        const uint32_t h = page.GetValue(530, 0), vertical = page.GetValue(530, 1);
        v.YCbCrH = h == 0 ? 2 : static_cast<int32_t>(std::min<uint32_t>(h, 64));
        v.YCbCrV = vertical == 0 ? 2 : static_cast<int32_t>(std::min<uint32_t>(vertical, 64));
    }
    if (const TIETIFFEntry* luma = page.Find(529); luma && luma->Count >= 3)
        for (uint32_t i = 0; i < 3; ++i) v.Luma[i] = page.GetRational(529, i);
    if (const TIETIFFEntry* reference = page.Find(532); reference && reference->Count >= 6)
        for (uint32_t i = 0; i < 6; ++i) v.ReferenceBlackWhite[i] = page.GetRational(532, i);
    v.YCbCr.Init(v.Luma, v.ReferenceBlackWhite);
    v.IgnoreAlpha = ignoreAlpha;
    v.NativeFormat = params->NativePixelFormat;
    // A bilevel fax page without a photometric tag is WhiteIsZero.
    if (v.SamplesPerPixel == 1 && v.BitsPerSample == 1 && v.Compression >= 1 && v.Compression <= 4 && !page.Has(262))
        v.Photometric = 0;
    if (v.Photometric == 3) v.ColorMap = ReadColorMap(page, v.BitsPerSample);

    params->BitsPerSample = v.BitsPerSample;
    params->SamplesPerPixel = v.SamplesPerPixel;
    params->Width = v.ImageWidth;
    params->Height = v.ImageLength;
    params->TiffByteOrderIntel = little;
    params->ImageCount = params->TiffImageCount = pageCount;
    params->SetTIFFOrientation(v.Orientation);
    params->TiffCompression = CompressionKind(v.Compression, v.T4Options);
    if (v.Photometric <= 6) params->TiffPhotometric = static_cast<uint8_t>(v.Photometric);
    else if (v.Photometric == 8) params->TiffPhotometric = 7;
    params->TiffPlanarConfig = v.PlanarConfiguration;
    params->TiffDocumentName = page.GetString(269);
    params->TiffPageName = page.GetString(285);
    params->TiffPageNumber = static_cast<int32_t>(page.GetValue(297, 0));
    params->TiffPageCount = static_cast<int32_t>(page.GetValue(297, 1));
    params->TiffFillOrder = v.FillOrder;
    const double factor = page.GetInteger(296, 2) == 3 ? 2.54 : 1.0;
    params->TiffXPos = static_cast<int32_t>(std::trunc(page.GetRational(286) * factor));
    params->TiffYPos = static_cast<int32_t>(std::trunc(page.GetRational(287) * factor));
    params->ColorMap = v.ColorMap;
    if (const TIETIFFEntry* xmp = page.Find(700); xmp && (xmp->Type == ietBYTE || xmp->Type == ietUNDEFINED)) {
        const std::vector<uint8_t> data = page.GetRawData(*xmp);
        params->XmpInfo.assign(data.begin(), data.end());
    }
    params->IPTCList.Clear();
    if (page.Has(33723)) {
        const std::vector<uint8_t> data = page.GetRawData(33723);
        if (!data.empty()) params->IPTCList.LoadFromBuffer(data.data(), static_cast<int32_t>(data.size()));
    }
    if (page.Has(34675)) {
        const std::vector<uint8_t> data = page.GetRawData(34675);
        if (!data.empty()) params->GetInputICCProfile().LoadFromBuffer(data.data(), static_cast<int32_t>(data.size()));
    }
    if (page.Has(32932)) {
        const std::vector<uint8_t> data = page.GetRawData(32932);
        if (!data.empty()) params->GetImagingAnnot().LoadFromBuffer(data.data(), data.size());
    }

    if (!exifThumbnail && (v.ImageWidth <= 0 || v.ImageLength <= 0)) {
        outcome.Fail("the page has no size");
        return;
    }
    if (v.Compression == 5) {
        v.LZW = params->TiffLZWDecompress ? params->TiffLZWDecompress : TIFFLZWDecompressorHook;
        if (!v.LZW) {
            outcome.Fail("no LZW decoder is installed");
            return;
        }
    }
    if (paramsOnly || !bitmap) return;
    const bool oldJPEG = (v.Compression == 6 || (v.JPEGInterchangeFormat != 0 && v.Compression != 5)) && v.JPEGProc < 2;
    if (IsOwnYCbCr(v) && !oldJPEG) {
        const bool planarPage = v.PlanarConfiguration == 2;
        auto allowed = [](int32_t n) { return n == 1 || n == 2 || n == 4; };
        if (v.BitsPerSample != 8 || v.SamplesPerPixel != 3) {
            outcome.Fail("YCbCr pages are read with three 8-bit samples only");
            return;
        }
        if (!allowed(v.YCbCrH) || !allowed(v.YCbCrV)) {
            outcome.Fail("the YCbCr subsampling " + std::to_string(v.YCbCrH) + " x " + std::to_string(v.YCbCrV) +
                         " is not valid");
            return;
        }
        if (planarPage && (v.YCbCrH != 1 || v.YCbCrV != 1)) {
            outcome.Fail("planar YCbCr pages with subsampled colour are not supported");
            return;
        }
    }
    if (exifThumbnail && (v.ImageWidth > 400 || v.ImageLength > 400)) {
        outcome.Fail("the thumbnail is larger than 400 x 400 pixels");
        return;
    }
    if (int64_t{v.ImageWidth} * v.ImageLength > kIETIFFMaxPixels || v.BitsPerSample > 16 || v.SamplesPerPixel > 16) {
        outcome.Fail("the page is too large (" + std::to_string(v.ImageWidth) + " x " + std::to_string(v.ImageLength) +
                     ")");
        return;
    }
    const bool hasAlpha = !ignoreAlpha && ((v.SamplesPerPixel == 4 && v.ExtraSamples == 2) ||
                                           (v.SamplesPerPixel == 2 && v.BitsPerSample == 8) ||
                                           (v.SamplesPerPixel == 4 && v.Photometric == 2));
    if (hasAlpha && !alphaMask) alphaMask = std::make_unique<TIEMask>();
    TIEMask* mask = hasAlpha ? alphaMask.get() : nullptr;
    const uint8_t oldMode = bitmap->AccessMode;
    bitmap->AccessMode = 2;
    if (oldJPEG) {
        ReadOldJPEG(v, *bitmap, stream, base, outcome);
    } else if (v.ImageWidth <= 0 || v.ImageLength <= 0) {
        outcome.Fail("the page has no size");
    } else if (!bitmap->Allocate(v.ImageWidth, v.ImageLength, ChooseFormat(v))) {
        outcome.Fail("not enough memory for the page");
    } else {
        if (exifThumbnail) bitmap->Fill(0);
        if (bitmap->GetPixelFormat() == ie8p)
            for (size_t i = 0; i < v.ColorMap.size() && i < 256; ++i)
                bitmap->SetPaletteColor(static_cast<int32_t>(i), v.ColorMap[i]);
        if (mask) {
            mask->AllocateBits(v.ImageWidth, v.ImageLength, 8);
            mask->Fill(255);
        }
        TPageDecoder decoder(v, *bitmap, mask, stream, base, outcome);
        if (v.TileWidth > 0 || v.TileLength > 0) {
            if (v.TileOffsets.empty()) {
                v.TileOffsets = v.StripOffsets;
                v.TileByteCounts = v.StripByteCounts;
            }
            decoder.Tiles();
        } else if (!v.StripOffsets.empty()) {
            decoder.Strips();
        } else {
            outcome.Fail("the page has no image data");
        }
        if (mask && decoder.MaskWritten()) mask->SetFull(false);
    }
    bitmap->AccessMode = oldMode;
    if (params->TiffEnableAdjustOrientation && !outcome.Failed()) {
        IEApplyEXIFOrientation(*bitmap, v.Orientation);
        if (mask) OrientMask(*mask, v.Orientation);
    }
}

int32_t IEGetTIFFPageCount(TStream& stream) {
    const int64_t position = stream.GetPosition();
    int32_t count = 0;
    bool abort = false;
    TIEProgressRec progress;
    progress.AbortFlag = &abort;
    std::unique_ptr<TIEMask> mask;
    IEReadTIFFStream(nullptr, stream, count, nullptr, progress, false, mask, true, true, false);
    stream.SetPosition(position);
    return count;
}
