// CCITT run-length and two-dimensional coding. The run codes live in one
// table per colour (terminating, make-up, extended make-up, EOL and filler
// codes); a binary tree per colour, built once, decodes them bit by bit.
#include "imaging/io/ie_ccitt.h"

#include "imaging/core/ie_bitmap.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "imaging/core/ie_streams.h"

namespace {

// ---------------------------------------------------------------- code tables

struct TRunCode {
    const char* bits;
    int32_t run;  // -3 EOL, -1 filler
};

const char* const kWhiteTerminating[64] = {
    "00110101", "000111",   "0111",     "1000",     "1011",     "1100",     "1110",     "1111",
    "10011",    "10100",    "00111",    "01000",    "001000",   "000011",   "110100",   "110101",
    "101010",   "101011",   "0100111",  "0001100",  "0001000",  "0010111",  "0000011",  "0000100",
    "0101000",  "0101011",  "0010011",  "0100100",  "0011000",  "00000010", "00000011", "00011010",
    "00011011", "00010010", "00010011", "00010100", "00010101", "00010110", "00010111", "00101000",
    "00101001", "00101010", "00101011", "00101100", "00101101", "00000100", "00000101", "00001010",
    "00001011", "01010010", "01010011", "01010100", "01010101", "00100100", "00100101", "01011000",
    "01011001", "01011010", "01011011", "01001010", "01001011", "00110010", "00110011", "00110100"};
const char* const kWhiteMakeUp[27] = {
    "11011",     "10010",     "010111",    "0110111",   "00110110",  "00110111",  "01100100",
    "01100101",  "01101000",  "01100111",  "011001100", "011001101", "011010010", "011010011",
    "011010100", "011010101", "011010110", "011010111", "011011000", "011011001", "011011010",
    "011011011", "010011000", "010011001", "010011010", "011000",    "010011011"};
const char* const kBlackTerminating[64] = {
    "0000110111",   "010",          "11",           "10",           "011",          "0011",
    "0010",         "00011",        "000101",       "000100",       "0000100",      "0000101",
    "0000111",      "00000100",     "00000111",     "000011000",    "0000010111",   "0000011000",
    "0000001000",   "00001100111",  "00001101000",  "00001101100",  "00000110111",  "00000101000",
    "00000010111",  "00000011000",  "000011001010", "000011001011", "000011001100", "000011001101",
    "000001101000", "000001101001", "000001101010", "000001101011", "000011010010", "000011010011",
    "000011010100", "000011010101", "000011010110", "000011010111", "000001101100", "000001101101",
    "000011011010", "000011011011", "000001010100", "000001010101", "000001010110", "000001010111",
    "000001100100", "000001100101", "000001010010", "000001010011", "000000100100", "000000110111",
    "000000111000", "000000100111", "000000101000", "000001011000", "000001011001", "000000101011",
    "000000101100", "000001011010", "000001100110", "000001100111"};
const char* const kBlackMakeUp[27] = {
    "0000001111",    "000011001000",  "000011001001",  "000001011011",  "000000110011",  "000000110100",
    "000000110101",  "0000001101100", "0000001101101", "0000001001010", "0000001001011", "0000001001100",
    "0000001001101", "0000001110010", "0000001110011", "0000001110100", "0000001110101", "0000001110110",
    "0000001110111", "0000001010010", "0000001010011", "0000001010100", "0000001010101", "0000001011010",
    "0000001011011", "0000001100100", "0000001100101"};
// 1792 to 2560 in steps of 64, the same for both colours.
const char* const kExtendedMakeUp[13] = {"00000001000",  "00000001100",  "00000001101",  "000000010010",
                                         "000000010011", "000000010100", "000000010101", "000000010110",
                                         "000000010111", "000000011100", "000000011101", "000000011110",
                                         "000000011111"};

constexpr int32_t kEntries = 128;
constexpr int32_t kEOLEntry = 104;
constexpr int32_t kLastEOLEntry = 127;

struct TEntry {
    int32_t length = 0;
    uint32_t code = 0;
    int32_t run = 0;
};

TEntry FromBits(const char* bits, int32_t run) {
    TEntry e;
    e.length = static_cast<int32_t>(std::strlen(bits));
    for (const char* p = bits; *p; ++p) e.code = e.code << 1 | static_cast<uint32_t>(*p == '1');
    e.run = run;
    return e;
}

struct TColourTable {
    std::array<TEntry, kEntries> entries;
    // Nodes of the decoding tree: two children (0 none) and the entry index
    // of a leaf (-1 inside).
    std::vector<std::array<int32_t, 2>> children;
    std::vector<int32_t> leaf;

    TColourTable(const char* const* terminating, const char* const* makeUp) {
        for (int32_t i = 0; i < 64; ++i) entries[i] = FromBits(terminating[i], i);
        for (int32_t i = 0; i < 27; ++i) entries[64 + i] = FromBits(makeUp[i], 64 * (i + 1));
        for (int32_t i = 0; i < 13; ++i) entries[91 + i] = FromBits(kExtendedMakeUp[i], 1792 + 64 * i);
        entries[kEOLEntry] = FromBits("000000000001", -3);
        entries[105] = FromBits("000000001", -1);
        entries[106] = FromBits("0000000001", -1);
        entries[107] = FromBits("00000000001", -1);
        for (int32_t i = 108; i < kEntries; ++i) {
            TEntry e = entries[kEOLEntry];
            e.length += i - 107;  // further zero bits before the EOL
            entries[i] = e;
        }
        children.push_back({0, 0});
        leaf.push_back(-1);
        for (int32_t i = 0; i < kEntries; ++i) {
            int32_t node = 0;
            for (int32_t b = entries[i].length - 1; b >= 0; --b) {
                const int bit = static_cast<int>(entries[i].code >> b & 1u);
                if (children[node][bit] == 0) {
                    children[node][bit] = static_cast<int32_t>(children.size());
                    children.push_back({0, 0});
                    leaf.push_back(-1);
                }
                node = children[node][bit];
            }
            leaf[node] = i;
        }
    }
};

const TColourTable& Table(int colour) {
    static const TColourTable white(kWhiteTerminating, kWhiteMakeUp);
    static const TColourTable black(kBlackTerminating, kBlackMakeUp);
    return colour == 0 ? white : black;
}

// ---------------------------------------------------------------- bit reading

struct TBits {
    const uint8_t* data;
    int64_t size;
    bool lsbFirst;

    bool Inside(int64_t p) const { return p >= 0 && p / 8 < size; }
    int Bit(int64_t p) const {
        if (!Inside(p)) return 0;
        const uint8_t byte = data[p / 8];
        return lsbFirst ? byte >> (p % 8) & 1 : byte >> (7 - p % 8) & 1;
    }
    uint32_t Peek(int64_t p, int32_t count) const {
        uint32_t v = 0;
        for (int32_t i = 0; i < count; ++i) v = v << 1 | static_cast<uint32_t>(Bit(p + i));
        return v;
    }
};

// The run entry at p for a colour, with its bit length; -1 when no code
// matches, the last EOL entry past the data.
int32_t ReadRunCode(const TBits& in, int64_t p, int colour) {
    if (!in.Inside(p)) return kLastEOLEntry;
    const TColourTable& table = Table(colour);
    int32_t node = 0;
    for (int32_t i = 0; i < 32; ++i) {
        if (!in.Inside(p + i)) return -1;
        node = table.children[node][in.Bit(p + i)];
        if (node == 0) return -1;
        if (table.leaf[node] >= 0) return table.leaf[node];
    }
    return -1;
}

// Clears (paints black) pixels [from, to) of an ie1g row, clipped.
void PaintBlack(uint8_t* row, int64_t from, int64_t to, int32_t width) {
    from = std::max<int64_t>(from, 0);
    to = std::min<int64_t>(to, width);
    for (int64_t x = from; x < to; ++x) row[x >> 3] &= static_cast<uint8_t>(~(0x80u >> (x & 7)));
}

int32_t RowBytes(int32_t width) { return (std::max(width, 0) + 7) / 8; }

// Two-dimensional mode codes in table order; 0 is the twelve zero bits.
struct TMode {
    uint32_t code;
    int32_t length;
};
constexpr TMode kModes[13] = {{0, 12}, {0b0001, 4},    {0b001, 3},    {0b0000010, 7}, {0b000010, 6},
                              {0b010, 3}, {0b1, 1},   {0b011, 3},    {0b000011, 6},  {0b0000011, 7},
                              {0b0000001111, 10}, {0b000000001111, 12}, {0b000000000001, 12}};
constexpr int32_t kPass = 1, kHorizontal = 2, kExtension2D = 10, kExtension1D = 11, kModeEOL = 12;

int32_t ReadMode(const TBits& in, int64_t p, int32_t& length) {
    const uint32_t bits = in.Peek(p, 12);
    for (int32_t m = 1; m < 13; ++m)
        if (bits >> (12 - kModes[m].length) == kModes[m].code) {
            length = kModes[m].length;
            return m;
        }
    length = 12;
    return 0;
}

// Reads make-up codes and one terminating code of a colour; the run total,
// or -1 when an EOL, a filler or nothing matched.
int64_t ReadRun(const TBits& in, int64_t& p, int colour) {
    int64_t total = 0;
    for (;;) {
        const int32_t entry = ReadRunCode(in, p, colour);
        if (entry < 0) return -1;
        const TEntry& e = Table(colour).entries[entry];
        p += e.length;
        if (e.run < 0) return -1;
        total += e.run;
        if (entry < 64) return total;
    }
}

// Reference-line colour at x: 0 white, 1 black (the line holds 1 for white).
int RefColour(const uint8_t* line, int64_t x) { return (line[x >> 3] >> (7 - (x & 7)) & 1) ? 0 : 1; }

// The first changing element after position a0 (at 0 or beyond) whose new
// colour is the given one, or width.
int64_t NextChangeTo(const uint8_t* line, int64_t from, int32_t width, int colour) {
    for (int64_t x = std::max<int64_t>(from, 0); x < width; ++x) {
        const int previous = x == 0 ? 0 : RefColour(line, x - 1);
        const int now = RefColour(line, x);
        if (now != previous && now == colour) return x;
    }
    return width;
}

int64_t NextChange(const uint8_t* line, int64_t from, int32_t width) {
    for (int64_t x = std::max<int64_t>(from, 0); x < width; ++x) {
        const int previous = x == 0 ? 0 : RefColour(line, x - 1);
        if (RefColour(line, x) != previous) return x;
    }
    return width;
}

}  // namespace

int64_t CCITTDecodeLine1D(uint8_t* row, const uint8_t* data, int64_t size, int32_t width, int64_t startBit,
                          int32_t fillOrder) {
    std::memset(row, 0xFF, static_cast<size_t>(RowBytes(width)));
    const TBits in{data, size, fillOrder == 2};
    int colour = 0;
    int64_t position = 0, p = startBit, lineStart = startBit;
    bool makeUp = false;
    while ((position < width || makeUp) && in.Inside(p)) {
        const int32_t entry = ReadRunCode(in, p, colour);
        if (entry < 0) {
            if (p == lineStart) ++lineStart;
            ++p;
            continue;
        }
        const TEntry& e = Table(colour).entries[entry];
        if (e.run == -3) {
            if (p == lineStart) {
                p += e.length;
                lineStart = p;
                continue;
            }
            if (colour == 1) PaintBlack(row, position, width, width);
            p += e.length;
            break;
        }
        p += e.length;
        if (e.run == -1) continue;
        if (colour == 1) PaintBlack(row, position, position + e.run, width);
        position += e.run;
        makeUp = entry >= 64;
        if (!makeUp) colour ^= 1;
    }
    return p;
}

int64_t CCITTDecodeLineMH(uint8_t* row, const uint8_t* data, int64_t size, int32_t width, int32_t fillOrder) {
    const int64_t end = CCITTDecodeLine1D(row, data, size, width, 0, fillOrder);
    return std::min<int64_t>((end + 7) / 8, size);
}

int64_t CCITTDecodeLine2D(uint8_t* row, const uint8_t* data, int64_t size, int32_t width, uint8_t* reference,
                          int64_t startBit, int32_t fillOrder, bool expectEOL) {
    const size_t bytes = static_cast<size_t>(RowBytes(width));
    std::memset(row, 0xFF, bytes);
    const TBits in{data, size, fillOrder == 2};
    int64_t a0 = -1, p = startBit, lineStart = startBit;
    int colour = 0;
    while (a0 < width && in.Inside(p)) {
        const int64_t codeStart = p;
        int32_t length = 0;
        int32_t mode = ReadMode(in, p, length);
        if (expectEOL && mode == 0) {
            // Fill bits: zeros up to the 1 that ends an EOL.
            while (in.Inside(p) && in.Bit(p) == 0) ++p;
            length = 1;
            mode = kModeEOL;
        }
        if (mode == 0) {
            p += 12;
            continue;
        }
        if (mode == kModeEOL) {
            if (codeStart == lineStart) {
                p += length;
                const int tag = in.Bit(p);
                ++p;
                lineStart = p;
                if (tag == 1) {
                    p = CCITTDecodeLine1D(row, data, size, width, p, fillOrder);
                    break;
                }
                continue;
            }
            if (colour == 1) PaintBlack(row, a0, width, width);
            p = codeStart;
            break;
        }
        p += length;
        const int64_t b1 = NextChangeTo(reference, a0 < 0 ? 0 : a0 + 1, width, colour ^ 1);
        const int64_t b2 = NextChange(reference, b1 + 1, width);
        const int64_t start = std::max<int64_t>(a0, 0);
        if (mode == kPass) {
            if (colour == 1) PaintBlack(row, start, b2, width);
            a0 = b2;
        } else if (mode == kHorizontal) {
            const int64_t first = ReadRun(in, p, colour);
            const int64_t second = first < 0 ? -1 : ReadRun(in, p, colour ^ 1);
            if (first < 0 || second < 0) continue;
            if (colour == 1) PaintBlack(row, start, start + first, width);
            else PaintBlack(row, start + first, start + first + second, width);
            a0 = start + first + second;
        } else if (mode == kExtension2D || mode == kExtension1D) {
            // Uncompressed mode: advance over the code words.
            for (;;) {
                int32_t k = 1;
                while (in.Inside(p) && in.Bit(p) == 0) ++p, ++k;
                if (!in.Inside(p)) break;
                ++p;
                if (k <= 5) a0 = std::max<int64_t>(a0, 0) + k;
                else if (k == 6) a0 = std::max<int64_t>(a0, 0) + 5;
                else {
                    a0 = std::max<int64_t>(a0, 0) + (k - 7);
                    colour = in.Bit(p);
                    ++p;
                    break;
                }
            }
        } else {
            const int64_t a1 = std::max<int64_t>(b1 + (mode - 6), 0);
            if (colour == 1) PaintBlack(row, start, a1, width);
            a0 = std::max(a1, a0 + 1);
            colour ^= 1;
        }
    }
    std::memcpy(reference, row, bytes);
    return p;
}

// ---------------------------------------------------------------- encoding

namespace {

class TBitWriter {
public:
    TBitWriter(TCCITTEncoderState& state, int32_t fillOrder) : state_(state), lsbFirst_(fillOrder == 2) {}

    void Put(uint32_t code, int32_t length) {
        for (int32_t b = length - 1; b >= 0; --b) {
            if (code >> b & 1u)
                state_.PendingByte |= static_cast<uint8_t>(lsbFirst_ ? 1u << state_.PendingBits : 0x80u >> state_.PendingBits);
            if (++state_.PendingBits == 8) {
                out_.push_back(state_.PendingByte);
                state_.PendingByte = 0;
                state_.PendingBits = 0;
            }
        }
    }
    void PutEntry(const TEntry& e) { Put(e.code, e.length); }
    void PutRun(int64_t run, int colour) {
        const TColourTable& table = Table(colour);
        while (run >= 64) {
            const int64_t chunk = run > 2560 ? 2560 : run / 64 * 64;
            const int32_t index = chunk <= 1728 ? static_cast<int32_t>(64 + chunk / 64 - 1)
                                                : static_cast<int32_t>(91 + (chunk - 1792) / 64);
            PutEntry(table.entries[index]);
            run -= chunk;
        }
        PutEntry(table.entries[run]);
    }
    void PutEOL() { Put(1, 12); }
    // Pads the pending byte with zero bits.
    void Align() {
        if (state_.PendingBits > 0) {
            out_.push_back(state_.PendingByte);
            state_.PendingByte = 0;
            state_.PendingBits = 0;
        }
    }
    void WriteTo(TStream& stream, bool& abort) {
        if (!out_.empty()) IEStreamWriteChecked(stream, abort, out_.data(), static_cast<int32_t>(out_.size()));
        out_.clear();
    }

private:
    TCCITTEncoderState& state_;
    bool lsbFirst_;
    std::vector<uint8_t> out_;
};

// Encoder rows hold 1 for black.
int Pixel(const uint8_t* row, int64_t x, int32_t width) {
    return x >= 0 && x < width ? row[x >> 3] >> (7 - (x & 7)) & 1 : 0;
}

// The first position at or after from whose colour differs from colour.
int64_t FindDiff(const uint8_t* row, int64_t from, int32_t width, int colour) {
    int64_t x = from;
    while (x < width && Pixel(row, x, width) == colour) ++x;
    return x;
}
int64_t FindDiff2(const uint8_t* row, int64_t from, int32_t width, int colour) {
    return from < width ? FindDiff(row, from, width, colour) : width;
}

void Encode1D(TBitWriter& out, const uint8_t* row, int32_t width) {
    int64_t x = 0;
    int colour = 0;
    while (x < width) {
        const int64_t end = FindDiff(row, x, width, colour);
        out.PutRun(end - x, colour);
        x = end;
        colour ^= 1;
    }
    if (width == 0) out.PutRun(0, 0);
}

void Encode2D(TBitWriter& out, const uint8_t* row, const uint8_t* reference, int32_t width) {
    static const std::pair<uint32_t, int32_t> kVertical[7] = {{0b0000011, 7}, {0b000011, 6}, {0b011, 3}, {0b1, 1},
                                                              {0b010, 3},     {0b000010, 6}, {0b0000010, 7}};
    int64_t a0 = 0;
    int64_t a1 = Pixel(row, 0, width) ? 0 : FindDiff(row, 0, width, 0);
    int64_t b1 = Pixel(reference, 0, width) ? 0 : FindDiff(reference, 0, width, 0);
    for (;;) {
        const int64_t b2 = FindDiff2(reference, b1, width, Pixel(reference, b1, width));
        if (b2 >= a1) {
            const int64_t d = b1 - a1;
            if (d < -3 || d > 3) {
                const int64_t a2 = FindDiff2(row, a1, width, Pixel(row, a1, width));
                out.Put(0b001, 3);
                if (a0 + a1 == 0 || Pixel(row, a0, width) == 0) {
                    out.PutRun(a1 - a0, 0);
                    out.PutRun(a2 - a1, 1);
                } else {
                    out.PutRun(a1 - a0, 1);
                    out.PutRun(a2 - a1, 0);
                }
                a0 = a2;
            } else {
                out.Put(kVertical[d + 3].first, kVertical[d + 3].second);
                a0 = a1;
            }
        } else {
            out.Put(0b0001, 4);
            a0 = b2;
        }
        if (a0 >= width) break;
        const int colour = Pixel(row, a0, width);
        a1 = FindDiff(row, a0, width, colour);
        b1 = FindDiff(reference, a0, width, colour ^ 1);
        b1 = FindDiff(reference, b1, width, colour);
    }
}

void KeepReference(TCCITTEncoderState& state, const uint8_t* row, int32_t width) {
    state.Reference.assign(row, row + RowBytes(width));
}

}  // namespace

void CCITTEncodeRowMH(const uint8_t* row, int32_t width, TStream& stream, bool& abort, int32_t fillOrder) {
    TCCITTEncoderState state;
    TBitWriter out(state, fillOrder);
    Encode1D(out, row, width);
    out.Align();
    out.WriteTo(stream, abort);
}

void CCITTEncodeRow1D(const uint8_t* row, int32_t width, TStream& stream, TCCITTEncoderState& state, bool& abort,
                      int32_t fillOrder) {
    TBitWriter out(state, fillOrder);
    if (!row || width == 0) {
        out.Align();
    } else {
        // Group 3 readers find each line by the EOL before it.
        out.PutEOL();
        Encode1D(out, row, width);
    }
    out.WriteTo(stream, abort);
}

namespace {

// Group 3 two-dimensional rows carry an EOL and a tag bit each and may start
// one-dimensional; Group 4 rows are all two-dimensional against a white
// first reference. The closing codes: one EOL, or the end-of-block pair.
void EncodeRowTwoD(const uint8_t* row, int32_t width, TStream& stream, TCCITTEncoderState& state, bool& abort,
                   int32_t fillOrder, bool group3) {
    TBitWriter out(state, fillOrder);
    if (!row) {
        out.PutEOL();
        if (!group3) out.PutEOL();
        out.Align();
        state.Reference.clear();
    } else {
        const bool first = state.Reference.empty();
        if (group3) {
            out.PutEOL();
            out.Put(first ? 1 : 0, 1);
        }
        if (group3 && first) {
            Encode1D(out, row, width);
        } else {
            if (first) state.Reference.assign(static_cast<size_t>(RowBytes(width)), 0);
            Encode2D(out, row, state.Reference.data(), width);
        }
        KeepReference(state, row, width);
    }
    out.WriteTo(stream, abort);
}

}  // namespace

void CCITTEncodeRowG3_2D(const uint8_t* row, int32_t width, TStream& stream, TCCITTEncoderState& state, bool& abort,
                         int32_t fillOrder) {
    EncodeRowTwoD(row, width, stream, state, abort, fillOrder, true);
}

void CCITTEncodeRowG4(const uint8_t* row, int32_t width, TStream& stream, TCCITTEncoderState& state, bool& abort,
                      int32_t fillOrder) {
    EncodeRowTwoD(row, width, stream, state, abort, fillOrder, false);
}

std::vector<uint8_t> CCITTEncodeBitmap(TIEBitmap& bitmap, bool group4, bool& abort) {
    TMemoryStream coded;
    TCCITTEncoderState state;
    const int32_t width = bitmap.GetWidth();
    for (int32_t y = 0; y < bitmap.GetHeight(); ++y) {
        if (group4) CCITTEncodeRowG4(bitmap.GetScanline(y), width, coded, state, abort, 1);
        else CCITTEncodeRowG3_2D(bitmap.GetScanline(y), width, coded, state, abort, 1);
    }
    if (group4) CCITTEncodeRowG4(nullptr, width, coded, state, abort, 1);
    else CCITTEncodeRowG3_2D(nullptr, width, coded, state, abort, 1);
    return coded.TakeBytes();
}
