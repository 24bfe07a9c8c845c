// The image data of a PNG picture: inflating the filtered rows across the
// consecutive IDAT chunks (each chunk's CRC checked), undoing the row
// filters and converting the samples of every colour type and depth into the
// header's pixel store, row by row or in the seven Adam7 passes; and the way
// back, with a row filter chosen per row and the deflated data cut into
// IDAT chunks.
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "pictures/png_object.h"
#include "pictures/png_bytes.h"

namespace {



struct TPass {
    int row, column, rowStep, columnStep;
};
constexpr TPass kAdam7[7] = {{0, 0, 8, 8}, {0, 4, 8, 8}, {4, 0, 8, 4}, {0, 2, 4, 4},
                             {2, 0, 4, 2}, {0, 1, 2, 2}, {1, 0, 2, 1}};

uint8_t Paeth(int a, int b, int c) {
    const int p = a + b - c;
    const int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
    if (pa <= pb && pa <= pc) return static_cast<uint8_t>(a);
    if (pb <= pc) return static_cast<uint8_t>(b);
    return static_cast<uint8_t>(c);
}

// Row bytes of `pixels` pixels of the header's layout.
int32_t RowBytesFor(const TChunkIHDR& header, int64_t pixels) {
    int samples = 1;
    switch (header.ColorType) {
        case 2: samples = 3; break;
        case 4: samples = 2; break;
        case 6: samples = 4; break;
        default: break;
    }
    return static_cast<int32_t>((pixels * header.BitDepth * samples + 7) / 8);
}

int CellBits(const TPNGPixelStore& store) { return store.BitsPerPixel; }



// Sample k of a row of samples of `depth` bits (depth below 8).
int SmallSample(const uint8_t* raw, int64_t k, int depth) {
    const int64_t bit = k * depth;
    return raw[bit >> 3] >> (8 - depth - (bit & 7)) & ((1 << depth) - 1);
}

void PutSmallSample(uint8_t* raw, int64_t k, int depth, int value) {
    const int64_t bit = k * depth;
    raw[bit >> 3] = static_cast<uint8_t>(raw[bit >> 3] | (value & ((1 << depth) - 1)) << (8 - depth - (bit & 7)));
}

// Pixels of one unfiltered row of `count` pixels into store row y at
// columns x0, x0 + dx, ...
void StoreRow(TPNGObject& png, TChunkIHDR& header, const uint8_t* raw, int32_t count, int32_t y, int32_t x0, int32_t dx) {
    TPNGPixelStore& store = header.Store;
    uint8_t* row = store.Row(y);
    uint8_t* low = store.Low.empty() ? nullptr : store.LowRow(y);
    uint8_t* alpha = store.Alpha.empty() ? nullptr : store.AlphaRow(y);
    const auto& g = png.DecodeGamma;
    const int depth = header.BitDepth;
    const int bits = CellBits(store);
    for (int32_t k = 0; k < count; ++k) {
        const int32_t x = x0 + k * dx;
        switch (header.ColorType) {
            case 0:
            case 3:
                if (depth < 8) {
                    const int s = SmallSample(raw, k, depth);
                    SetPngCell(row, x, bits, header.ColorType == 0 && depth == 2 ? 5 * s : s);
                } else if (depth == 8) {
                    row[x] = raw[k];
                } else {
                    row[x] = raw[2 * k];
                    if (low) low[x] = raw[2 * k + 1];
                }
                break;
            case 2:
            case 6: {
                const size_t channels = header.ColorType == 2 ? 3 : 4, bytes = depth == 16 ? 2 : 1;
                const uint8_t* p = raw + static_cast<size_t>(k) * channels * bytes;
                row[3 * x] = g[p[2 * bytes]];
                row[3 * x + 1] = g[p[bytes]];
                row[3 * x + 2] = g[p[0]];
                if (low && bytes == 2) {
                    low[3 * x] = g[p[5]];
                    low[3 * x + 1] = g[p[3]];
                    low[3 * x + 2] = g[p[1]];
                }
                if (alpha && channels == 4) alpha[x] = p[3 * bytes];
                break;
            }
            case 4:
                if (depth == 8) {
                    row[x] = raw[2 * k];
                    if (alpha) alpha[x] = raw[2 * k + 1];
                } else {
                    const uint8_t* p = raw + 4 * k;
                    row[x] = p[0];
                    if (low) low[x] = p[1];
                    if (alpha) alpha[x] = p[2];
                }
                break;
            default: break;
        }
    }
}

// Store row y at columns x0, x0 + dx, ... as `count` pixels of samples.
void SampleRow(const TPNGObject& png, TChunkIHDR& header, uint8_t* raw, int32_t count, int32_t y, int32_t x0, int32_t dx) {
    TPNGPixelStore& store = header.Store;
    const uint8_t* row = store.Row(y);
    const uint8_t* alpha = store.Alpha.empty() ? nullptr : store.AlphaRow(y);
    const auto& e = png.EncodeGamma;
    const int depth = header.BitDepth == 2 ? 4 : header.BitDepth;
    const int bits = CellBits(store);
    for (int32_t k = 0; k < count; ++k) {
        const int32_t x = x0 + k * dx;
        switch (header.ColorType) {
            case 0:
            case 3:
                if (depth < 8) PutSmallSample(raw, k, depth, PngCell(row, x, bits));
                else if (depth == 8) raw[k] = row[x];
                else raw[2 * k] = row[x];
                break;
            case 2:
            case 6: {
                const size_t channels = header.ColorType == 2 ? 3 : 4, bytes = depth == 16 ? 2 : 1;
                uint8_t* p = raw + static_cast<size_t>(k) * channels * bytes;
                p[0] = e[row[3 * x + 2]];
                p[bytes] = e[row[3 * x + 1]];
                p[2 * bytes] = e[row[3 * x]];
                if (channels == 4) p[3 * bytes] = alpha ? alpha[x] : 255;
                break;
            }
            case 4: {
                const size_t bytes = depth == 16 ? 2 : 1;
                raw[2 * bytes * static_cast<size_t>(k)] = row[x];
                raw[2 * bytes * static_cast<size_t>(k) + bytes] = alpha ? alpha[x] : 255;
                break;
            }
            default: break;
        }
    }
}

// Inflates the image data, following it across consecutive IDAT chunks.
class TIdatReader {
public:
    TIdatReader(TStream& stream, uint32_t length) : stream_(stream) {
        if (inflateInit(&zs_) != Z_OK) throw EPNGZLIBError("inflateInit failed");
        crc_ = PngUpdateCrc(0, reinterpret_cast<const uint8_t*>("IDAT"), 4);
        end_ = stream.GetPosition() + length;
        input_.resize(65535);
    }
    ~TIdatReader() { inflateEnd(&zs_); }
    TIdatReader(const TIdatReader&) = delete;
    TIdatReader& operator=(const TIdatReader&) = delete;

    // Up to count bytes; fewer when the data ends.
    int64_t Produce(uint8_t* out, int64_t count) {
        zs_.next_out = out;
        zs_.avail_out = static_cast<uInt>(count);
        while (zs_.avail_out > 0 && !finished_) {
            if (zs_.avail_in == 0) {
                if (stream_.GetPosition() >= end_) NextChunk();
                const int64_t want = std::min<int64_t>(static_cast<int64_t>(input_.size()), end_ - stream_.GetPosition());
                const int64_t got = want > 0 ? stream_.Read(input_.data(), want) : 0;
                if (got <= 0) break;
                crc_ = PngUpdateCrc(crc_, input_.data(), static_cast<size_t>(got));
                zs_.next_in = input_.data();
                zs_.avail_in = static_cast<uInt>(got);
            }
            const int result = inflate(&zs_, Z_NO_FLUSH);
            if (result == Z_STREAM_END) finished_ = true;
            else if (result != Z_OK && result != Z_BUF_ERROR)
                throw EPNGZLIBError(zs_.msg ? zs_.msg : zError(result));
        }
        return count - zs_.avail_out;
    }

    // The rest of the current chunk, then its CRC.
    void Finish() {
        while (stream_.GetPosition() < end_) {
            const int64_t want = std::min<int64_t>(static_cast<int64_t>(input_.size()), end_ - stream_.GetPosition());
            const int64_t got = stream_.Read(input_.data(), want);
            if (got <= 0) throw EPngUnexpectedEnd();
            crc_ = PngUpdateCrc(crc_, input_.data(), static_cast<size_t>(got));
        }
        CheckCrc();
    }

private:
    void CheckCrc() {
        uint8_t bytes[4];
        if (stream_.Read(bytes, 4) != 4) throw EPngUnexpectedEnd();
        if (PngBigEndian32(bytes) != crc_) throw EPngInvalidCRC();
    }
    void NextChunk() {
        CheckCrc();
        uint8_t head[8];
        if (stream_.Read(head, 8) != 8) throw EPngUnexpectedEnd();
        if (std::memcmp(head + 4, "IDAT", 4) != 0) throw EPNGMissingMultipleIDAT();
        const uint32_t length = PngBigEndian32(head);
        if (static_cast<int64_t>(length) + 4 > stream_.Remaining()) throw EPngUnexpectedEnd();
        crc_ = PngUpdateCrc(0, head + 4, 4);
        end_ = stream_.GetPosition() + length;
    }

    TStream& stream_;
    z_stream zs_{};
    uint32_t crc_ = 0;
    int64_t end_ = 0;
    std::vector<uint8_t> input_;
    bool finished_ = false;
};

// Undoes the filter of row (its first byte the type) against previous.
void Unfilter(uint8_t* row, const uint8_t* previous, int32_t length, int32_t offset) {
    uint8_t* x = row + 1;
    const uint8_t* b = previous + 1;
    switch (row[0]) {
        case 1:
            for (int32_t i = offset; i < length; ++i) x[i] = static_cast<uint8_t>(x[i] + x[i - offset]);
            break;
        case 2:
            for (int32_t i = 0; i < length; ++i) x[i] = static_cast<uint8_t>(x[i] + b[i]);
            break;
        case 3:
            for (int32_t i = 0; i < length; ++i) {
                const int a = i >= offset ? x[i - offset] : 0;
                x[i] = static_cast<uint8_t>(x[i] + ((a + b[i]) >> 1));
            }
            break;
        case 4:
            for (int32_t i = 0; i < length; ++i) {
                const int a = i >= offset ? x[i - offset] : 0;
                const int c = i >= offset ? b[i - offset] : 0;
                x[i] = static_cast<uint8_t>(x[i] + Paeth(a, b[i], c));
            }
            break;
        default: break;
    }
}

}  // namespace

bool TChunkIDAT::LoadFromStream(TStream& stream, const std::string& name, uint32_t length) {
    (void)name;
    TPNGObject& png = *owner_;
    TChunkIHDR& header = png.HeaderChunk();
    if (static_cast<int64_t>(length) + 4 > stream.Remaining()) throw EPngUnexpectedEnd();
    TPNGPixelStore& store = header.Store;
    if (header.ColorType == 0 || header.ColorType == 4) {
        const int n = 1 << store.BitsPerPixel;
        store.Palette.clear();
        for (int i = 0; i < n; ++i) {
            const uint8_t grey = png.DecodeGamma[static_cast<size_t>(i * 255 / (n - 1))];
            store.Palette.push_back({grey, grey, grey});
        }
    }
    int32_t bytesPerRow = 0, offset = 0;
    png.RowLayout(bytesPerRow, offset);
    TIdatReader reader(stream, length);
    std::vector<uint8_t> current(static_cast<size_t>(bytesPerRow) + 1), previous(current.size());
    if (png.InterlaceKind == 0) {
        for (int32_t y = 0; y < header.Height; ++y) {
            if (reader.Produce(current.data(), bytesPerRow + 1) < bytesPerRow + 1) break;
            Unfilter(current.data(), previous.data(), bytesPerRow, offset);
            StoreRow(png, header, current.data() + 1, header.Width, y, 0, 1);
            std::swap(current, previous);
        }
    } else {
        bool ended = false;
        for (const TPass& pass : kAdam7) {
            if (ended) break;
            const int32_t passWidth = (header.Width - pass.column + pass.columnStep - 1) / pass.columnStep;
            const int32_t rowLength = passWidth > 0 ? RowBytesFor(header, passWidth) : 0;
            std::fill(previous.begin(), previous.end(), uint8_t{0});
            if (rowLength == 0) continue;
            for (int32_t y = pass.row; y < header.Height; y += pass.rowStep) {
                if (reader.Produce(current.data(), rowLength + 1) < rowLength + 1) {
                    ended = true;
                    break;
                }
                Unfilter(current.data(), previous.data(), rowLength, offset);
                StoreRow(png, header, current.data() + 1, passWidth, y, pass.column, pass.columnStep);
                std::swap(current, previous);
            }
        }
    }
    reader.Finish();
    return true;
}

namespace {

// Deflates into IDAT chunks of a fixed size.
class TIdatWriter {
public:
    TIdatWriter(TStream& stream, int level, int32_t chunkSize) : stream_(stream), buffer_(static_cast<size_t>(chunkSize)) {
        if (deflateInit(&zs_, std::clamp(level, 0, 9)) != Z_OK) throw EPNGZLIBError("deflateInit failed");
        zs_.next_out = buffer_.data();
        zs_.avail_out = static_cast<uInt>(buffer_.size());
    }
    ~TIdatWriter() { deflateEnd(&zs_); }
    TIdatWriter(const TIdatWriter&) = delete;
    TIdatWriter& operator=(const TIdatWriter&) = delete;

    void Write(const uint8_t* data, size_t size) {
        zs_.next_in = const_cast<Bytef*>(data);
        zs_.avail_in = static_cast<uInt>(size);
        while (zs_.avail_in > 0) {
            deflate(&zs_, Z_NO_FLUSH);
            if (zs_.avail_out == 0) EmitChunk();
        }
    }
    void Finish() {
        int result;
        do {
            result = deflate(&zs_, Z_FINISH);
            if (zs_.avail_out == 0) EmitChunk();
        } while (result == Z_OK || result == Z_BUF_ERROR);
        if (zs_.avail_out < buffer_.size()) EmitChunk();
    }

private:
    void EmitChunk() {
        const size_t size = buffer_.size() - zs_.avail_out;
        uint8_t head[8];
        PutPngBigEndian32(head, static_cast<uint32_t>(size));
        std::memcpy(head + 4, "IDAT", 4);
        stream_.WriteBuffer(head, 8);
        stream_.WriteBuffer(buffer_.data(), static_cast<int64_t>(size));
        uint32_t crc = PngUpdateCrc(0, head + 4, 4);
        crc = PngUpdateCrc(crc, buffer_.data(), size);
        uint8_t crcBytes[4];
        PutPngBigEndian32(crcBytes, crc);
        stream_.WriteBuffer(crcBytes, 4);
        zs_.next_out = buffer_.data();
        zs_.avail_out = static_cast<uInt>(buffer_.size());
    }

    TStream& stream_;
    z_stream zs_{};
    std::vector<uint8_t> buffer_;
};

// The filtered row (type byte first) chosen for raw against previous.
void ChooseFilter(uint8_t filterSet, const uint8_t* raw, const uint8_t* previous, int32_t length, int32_t offset,
                  std::vector<uint8_t> (&outputs)[5], int& chosen) {
    static constexpr uint8_t kBits[5] = {pfNone, pfSub, pfUp, pfAverage, pfPaeth};
    for (int f = 0; f < 5; ++f) {
        if (f != 0 && !(filterSet & kBits[f])) continue;
        std::vector<uint8_t>& out = outputs[f];
        out.resize(static_cast<size_t>(length) + 1);
        out[0] = static_cast<uint8_t>(f);
        for (int32_t i = 0; i < length; ++i) {
            const int a = i >= offset ? raw[i - offset] : 0;
            const int c = i >= offset ? previous[i - offset] : 0;
            const int b = previous[i];
            int predicted = 0;
            switch (f) {
                case 1: predicted = a; break;
                case 2: predicted = b; break;
                case 3: predicted = (a + b) >> 1; break;
                case 4: predicted = Paeth(a, b, c); break;
                default: break;
            }
            out[static_cast<size_t>(i) + 1] = static_cast<uint8_t>(raw[i] - predicted);
        }
    }
    int members = 0, only = 0;
    for (int f = 0; f < 5; ++f)
        if (filterSet & kBits[f]) {
            ++members;
            only = f;
        }
    if (members == 0 || filterSet == pfNone) {
        chosen = 0;
        return;
    }
    if (members == 1) {
        chosen = only;
        return;
    }
    int best = -1, bestCount = 0;
    for (int f = 0; f < 5; ++f) {
        if (!(filterSet & kBits[f])) continue;
        const std::vector<uint8_t>& out = outputs[f];
        int count = 0;
        for (int32_t i = 2; i < length; ++i) {
            const uint8_t v = out[static_cast<size_t>(i) + 1];
            if (v == out[static_cast<size_t>(i)] || v == out[static_cast<size_t>(i) - 1]) ++count;
        }
        if (count > bestCount) {
            bestCount = count;
            best = f;
        }
    }
    chosen = best < 0 ? 0 : best;
}

}  // namespace

bool TChunkIDAT::SaveToStream(TStream& stream) {
    TPNGObject& png = *owner_;
    TChunkIHDR& header = png.HeaderChunk();
    int32_t bytesPerRow = 0, offset = 0;
    png.RowLayout(bytesPerRow, offset);
    // A 2-bit picture is written at depth 4: its rows are as long.
    if (header.BitDepth == 2) {
        bytesPerRow = static_cast<int32_t>((int64_t{header.Width} * 4 + 7) / 8);
        offset = 1;
    }
    TIdatWriter writer(stream, png.DeflateLevel, std::max(png.IdatChunkSize, 65535));
    std::vector<uint8_t> raw(static_cast<size_t>(bytesPerRow) + 2), previous(raw.size());
    std::vector<uint8_t> outputs[5];
    auto sample = [&](int32_t count, int32_t y, int32_t x0, int32_t dx) {
        std::fill(raw.begin(), raw.end(), uint8_t{0});
        SampleRow(png, header, raw.data(), count, y, x0, dx);
    };
    auto emitRow = [&](int32_t length) {
        int chosen = 0;
        ChooseFilter(png.FilterSet, raw.data(), previous.data(), length, offset, outputs, chosen);
        writer.Write(outputs[chosen].data(), static_cast<size_t>(length) + 1);
        std::swap(raw, previous);
    };
    if (png.InterlaceKind == 0) {
        for (int32_t y = 0; y < header.Height; ++y) {
            sample(header.Width, y, 0, 1);
            emitRow(bytesPerRow);
        }
    } else {
        for (const TPass& pass : kAdam7) {
            const int32_t passWidth = (header.Width - pass.column + pass.columnStep - 1) / pass.columnStep;
            if (passWidth <= 0) continue;
            const int32_t length = header.BitDepth == 2 ? static_cast<int32_t>((int64_t{passWidth} * 4 + 7) / 8)
                                                        : RowBytesFor(header, passWidth);
            std::fill(previous.begin(), previous.end(), uint8_t{0});
            for (int32_t y = pass.row; y < header.Height; y += pass.rowStep) {
                sample(passWidth, y, pass.column, pass.columnStep);
                emitRow(length);
            }
        }
    }
    writer.Finish();
    return true;
}
