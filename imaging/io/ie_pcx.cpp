#include "imaging/io/ie_pcx.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_color_reduce.h"
#include "imaging/core/ie_quantizer.h"
#include "imaging/io/ie_io_params.h"
#include "imaging/io/ie_le_bytes.h"

namespace {

constexpr int32_t kHeaderSize = 128;
constexpr uint32_t kDCXMagic = 0x3ADE68B1;
constexpr int32_t kDCXMaxPages = 1024;
// Largest image the reader allocates, in pixels.
constexpr int64_t kMaxPixels = int64_t{1} << 28;


// The bytes of the plane lines, one after the other: raw, or run-length
// coded with runs that may go on from one line into the next.
class TLineReader {
public:
    TLineReader(const uint8_t* data, size_t size, bool packed) : data_(data), size_(size), packed_(packed) {}

    // False when the data end before the line is full (the rest is 0).
    bool Line(uint8_t* out, size_t length) {
        for (size_t i = 0; i < length; ++i) {
            if (runLeft_ == 0 && !Refill()) {
                std::fill(out + i, out + length, uint8_t{0});
                return false;
            }
            out[i] = runValue_;
            --runLeft_;
        }
        return true;
    }

private:
    bool Refill() {
        while (position_ < size_) {
            const uint8_t b = data_[position_++];
            if (!packed_ || b < 0xC0) {
                runValue_ = b;
                runLeft_ = 1;
                return true;
            }
            if (position_ >= size_) return false;
            runValue_ = data_[position_++];
            runLeft_ = b & 63;
            if (runLeft_ > 0) return true;
        }
        return false;
    }

    const uint8_t* data_;
    size_t size_, position_ = 0;
    bool packed_;
    int32_t runLeft_ = 0;
    uint8_t runValue_ = 0;
};

// Sample x of a line of the given bits a sample, most significant first.
uint32_t Sample(const uint8_t* line, int32_t x, int32_t bits) {
    const int64_t bit = int64_t{x} * bits;
    return (line[bit >> 3] >> (8 - bits - (bit & 7))) & ((1u << bits) - 1);
}

void Fail(TIEProgressRec& progress, std::string* failure, const std::string& why) {
    progress.Abort();
    if (failure && failure->empty()) *failure = why;
}

// One line run-length coded: runs of 2 to 63 equal bytes, and single bytes
// that look like a count, as count and value; other bytes as they are.
void PackLine(const uint8_t* line, size_t length, std::vector<uint8_t>& out) {
    for (size_t i = 0; i < length;) {
        size_t run = 1;
        while (i + run < length && run < 63 && line[i + run] == line[i]) ++run;
        if (run > 1 || line[i] >= 0xC0) out.insert(out.end(), {static_cast<uint8_t>(0xC0 + run), line[i]});
        else out.push_back(line[i]);
        i += run;
    }
}

// The page table of a container at the stream's position; empty when the
// magic is not there.
std::vector<uint32_t> ReadTable(TStream& stream, bool checkMagic) {
    std::vector<uint32_t> table;
    uint8_t head[4];
    if (stream.Read(head, 4) != 4 || (checkMagic && IEGetLE32(head) != kDCXMagic)) return table;
    uint8_t entries[4 * kDCXMaxPages];
    const int64_t got = stream.Read(entries, sizeof entries) / 4;
    for (int64_t i = 0; i < got; ++i) {
        const uint32_t offset = IEGetLE32(entries + 4 * i);
        if (offset == 0) break;
        table.push_back(offset);
    }
    return table;
}

}  // namespace

void IEReadPCXStream(TStream& stream, TIEBitmap& bitmap, TIOParamsVals& params, int64_t size,
                     TIEProgressRec& progress, bool previewOnly, std::string* failure) {
    const int64_t available = std::max<int64_t>(stream.GetSize() - stream.GetPosition(), 0);
    size = std::clamp<int64_t>(size, 0, available);
    std::vector<uint8_t> data(static_cast<size_t>(size));
    data.resize(static_cast<size_t>(std::max<int64_t>(stream.Read(data.data(), size), 0)));
    if (data.size() < kHeaderSize) {
        Fail(progress, failure, "the file is shorter than a PCX header");
        return;
    }
    const uint8_t* h = data.data();
    const int32_t bits = h[3], planes = h[65];
    if (h[0] != 10) {
        Fail(progress, failure, "the data do not start with a PCX header");
        return;
    }
    if (h[2] > 1) {
        Fail(progress, failure, "the encoding " + std::to_string(h[2]) + " is not a PCX encoding");
        return;
    }
    if (bits < 1 || bits > 8) {
        Fail(progress, failure, std::to_string(bits) + " bits a pixel are not supported");
        return;
    }
    const int32_t width = IEGetLE16(h + 8) - IEGetLE16(h + 4) + 1, height = IEGetLE16(h + 10) - IEGetLE16(h + 6) + 1;
    const int32_t lineBytes = IEGetLE16(h + 66);
    int32_t dpiX = IEGetLE16(h + 12), dpiY = IEGetLE16(h + 14);
    if (dpiX == 0 || dpiY == 0) dpiX = IELibraryDefaultDPI[0], dpiY = IELibraryDefaultDPI[1];
    params.SetDpiX(dpiX);
    params.SetDpiY(dpiY);

    TRGB small[16], large[256] = {};
    for (int32_t i = 0; i < 16; ++i) small[i] = TRGB{h[16 + 3 * i + 2], h[16 + 3 * i + 1], h[16 + 3 * i]};
    const bool endPalette = planes == 1 && bits > 4;
    if (endPalette && data.size() >= kHeaderSize + 768) {
        const uint8_t* p = data.data() + data.size() - 768;
        for (int32_t i = 0; i < 256; ++i) large[i] = TRGB{p[3 * i + 2], p[3 * i + 1], p[3 * i]};
    }
    params.BitsPerSample = bits;
    params.SamplesPerPixel = planes;
    params.Width = width;
    params.Height = height;
    params.PcxVersion = h[1];
    params.PcxCompressed = h[2] == 1;
    // Planes of few bits make one index into the header's palette.
    const bool indexPlanes = bits < 8 && planes > 1 && bits * planes <= 4;
    if (bits == 8 && planes == 1) {
        params.ColorMap.assign(large, large + 256);
    } else if (indexPlanes) {
        params.BitsPerSample = bits * planes;
        params.SamplesPerPixel = 1;
        params.ColorMap.assign(small, small + (1 << (bits * planes)));
    } else if (bits < 8) {
        params.ColorMap.assign(small, small + (1 << bits));
    } else {
        params.ColorMap.clear();
    }
    if (previewOnly) return;
    if (width <= 0 || height <= 0) {
        Fail(progress, failure, "the image has no size");
        return;
    }
    if (int64_t{width} * height > kMaxPixels) {
        Fail(progress, failure, "the image is too large (" + std::to_string(width) + " x " + std::to_string(height) + ")");
        return;
    }
    const bool single = planes == 1;
    const bool rgb = bits == 8 && (planes == 3 || planes == 4);
    if (!single && !rgb && !indexPlanes) {
        Fail(progress, failure, std::to_string(planes) + " planes of " + std::to_string(bits) + " bits are not supported");
        return;
    }
    if (int64_t{lineBytes} * 8 < int64_t{width} * bits) {
        Fail(progress, failure, "the lines are shorter than the image is wide");
        return;
    }
    // A run gives at most 63 bytes for two: data that cannot cover the
    // image are refused before its memory is taken.
    if (int64_t{lineBytes} * planes * height > static_cast<int64_t>(data.size() - kHeaderSize + 2) * 32) {
        Fail(progress, failure, "the image data end before the image does");
        return;
    }
    const bool bilevel = single && bits == 1;
    if (!bitmap.Allocate(width, height, bilevel ? ie1g : ie24RGB)) {
        Fail(progress, failure, "not enough memory for the image");
        return;
    }
    progress.PercentPerUnit = 100.0 / height;
    TLineReader reader(data.data() + kHeaderSize, data.size() - kHeaderSize, h[2] == 1);
    std::vector<uint8_t> lines(static_cast<size_t>(lineBytes) * static_cast<size_t>(planes));
    for (int32_t y = 0; y < height; ++y) {
        progress.Report(IEUnitPercent(progress, y));
        if (progress.Aborting()) return;
        bool whole = true;
        for (int32_t p = 0; p < planes; ++p)
            whole = reader.Line(lines.data() + static_cast<size_t>(p) * static_cast<size_t>(lineBytes),
                                static_cast<size_t>(lineBytes)) && whole;
        uint8_t* row = bitmap.GetScanline(y);
        if (bilevel) {
            std::memcpy(row, lines.data(), static_cast<size_t>(width + 7) / 8);
        } else if (rgb) {
            const uint8_t* red = lines.data();
            for (int32_t x = 0; x < width; ++x) {
                row[3 * x + 2] = red[x];
                row[3 * x + 1] = red[lineBytes + x];
                row[3 * x] = red[2 * lineBytes + x];
            }
        } else {
            for (int32_t x = 0; x < width; ++x) {
                TRGB c;
                if (bits == 8) {
                    c = large[lines[static_cast<size_t>(x)]];
                } else {
                    uint32_t index = 0;
                    for (int32_t p = 0; p < planes; ++p)
                        index |= Sample(lines.data() + static_cast<size_t>(p) * static_cast<size_t>(lineBytes), x, bits)
                                 << (p * bits);
                    c = small[index & 15];
                    if (single && bits > 4) c = large[index];
                }
                row[3 * x] = c.b, row[3 * x + 1] = c.g, row[3 * x + 2] = c.r;
            }
        }
        if (!whole) {
            Fail(progress, failure, "the image data end before the image does");
            return;
        }
    }
}

void IEWritePCXStream(TStream& stream, TIEBitmap& bitmap, TIOParamsVals& params, TIEProgressRec& progress) {
    const int32_t width = bitmap.GetWidth(), height = bitmap.GetHeight();
    TIEBitmap* image = &bitmap;
    std::unique_ptr<TIEBitmap> converted;
    TRGB small[16] = {}, large[256] = {};
    small[1] = TRGB{255, 255, 255};
    int32_t depth = params.BitsPerSample * params.SamplesPerPixel;
    if (params.BitsPerSample == 1) depth = 1;
    if (depth != 1 && depth != 4 && depth != 8) depth = 24;
    if (depth == 1) {
        if (bitmap.GetPixelFormat() != ie1g) {
            TRGB first, second;
            converted = IEBitmapToBWIfTwoColors(bitmap, first, second);
            if (converted) {
                small[0] = first, small[1] = second;
            } else {
                converted = std::make_unique<TIEBitmap>();
                converted->Assign(bitmap);
                converted->SetPixelFormat(ie1g);
            }
            image = converted.get();
        }
    } else if (bitmap.GetPixelFormat() != ie24RGB) {
        converted = std::make_unique<TIEBitmap>();
        converted->Assign(bitmap);
        converted->SetPixelFormat(ie24RGB);
        image = converted.get();
    }
    std::unique_ptr<TIEQuantizer> quantizer;
    if (depth == 4) quantizer = std::make_unique<TIEQuantizer>(*image, small, 16);
    if (depth == 8) quantizer = std::make_unique<TIEQuantizer>(*image, large, 256);
    const int32_t planes = depth == 24 ? 3 : 1;
    int32_t lineBytes = depth == 1 ? (width + 7) / 8 : depth == 4 ? (width + 1) / 2 : width;
    lineBytes += lineBytes % 2;

    uint8_t header[kHeaderSize] = {};
    header[0] = 10;
    header[1] = static_cast<uint8_t>(params.PcxVersion);
    header[2] = params.PcxCompressed ? 1 : 0;
    header[3] = static_cast<uint8_t>(depth == 24 ? 8 : depth);
    IEPutLE16(header + 8, static_cast<uint32_t>(width - 1));
    IEPutLE16(header + 10, static_cast<uint32_t>(height - 1));
    IEPutLE16(header + 12, static_cast<uint32_t>(params.DpiX));
    IEPutLE16(header + 14, static_cast<uint32_t>(params.DpiY));
    if (depth <= 4)
        for (int32_t i = 0; i < 16; ++i) {
            header[16 + 3 * i] = small[i].r;
            header[16 + 3 * i + 1] = small[i].g;
            header[16 + 3 * i + 2] = small[i].b;
        }
    header[65] = static_cast<uint8_t>(planes);
    IEPutLE16(header + 66, static_cast<uint32_t>(lineBytes));
    header[68] = depth == 24 ? 0 : 1;
    IEStreamWriteChecked(stream, header, kHeaderSize, progress);

    progress.PercentPerUnit = height > 0 ? 100.0 / height : 0;
    std::vector<uint8_t> lines(static_cast<size_t>(lineBytes) * static_cast<size_t>(planes)), out;
    for (int32_t y = 0; y < height; ++y) {
        progress.Report(IEUnitPercent(progress, y));
        if (progress.Aborting()) return;
        const uint8_t* source = image->GetScanline(y);
        std::fill(lines.begin(), lines.end(), uint8_t{0});
        if (depth == 1) {
            std::memcpy(lines.data(), source, static_cast<size_t>(width + 7) / 8);
        } else if (depth == 24) {
            for (int32_t x = 0; x < width; ++x) {
                lines[static_cast<size_t>(x)] = source[3 * x + 2];
                lines[static_cast<size_t>(lineBytes + x)] = source[3 * x + 1];
                lines[static_cast<size_t>(2 * lineBytes + x)] = source[3 * x];
            }
        } else {
            for (int32_t x = 0; x < width; ++x) {
                const auto index =
                    static_cast<uint8_t>(std::max(0, quantizer->ColorIndex(TRGB{source[3 * x], source[3 * x + 1], source[3 * x + 2]})));
                if (depth == 8) lines[static_cast<size_t>(x)] = index;
                else lines[static_cast<size_t>(x / 2)] |= static_cast<uint8_t>(x % 2 ? index & 15 : index << 4);
            }
        }
        if (params.PcxCompressed) {
            out.clear();
            for (int32_t p = 0; p < planes; ++p)
                PackLine(lines.data() + static_cast<size_t>(p) * static_cast<size_t>(lineBytes),
                         static_cast<size_t>(lineBytes), out);
            IEStreamWriteChecked(stream, out.data(), static_cast<int64_t>(out.size()), progress);
        } else {
            IEStreamWriteChecked(stream, lines.data(), static_cast<int64_t>(lines.size()), progress);
        }
    }
    if (depth == 8 && !progress.Aborting()) {
        std::vector<uint8_t> palette{12};
        for (const TRGB& c : large) palette.insert(palette.end(), {c.r, c.g, c.b});
        IEStreamWriteChecked(stream, palette.data(), static_cast<int64_t>(palette.size()), progress);
    }
    params.ColorMap.clear();
    if (depth == 4) params.ColorMap.assign(small, small + 16);
    if (depth == 8) params.ColorMap.assign(large, large + 256);
}

bool IEIsDCXStream(TStream& stream) {
    const int64_t position = stream.GetPosition();
    const std::vector<uint32_t> table = ReadTable(stream, true);
    stream.SetPosition(position);
    if (table.empty()) {
        // A container without pages is still one when its magic is there.
        uint8_t head[8];
        const int64_t got = stream.Read(head, 8);
        stream.SetPosition(position);
        return got == 8 && IEGetLE32(head) == kDCXMagic && IEGetLE32(head + 4) == 0;
    }
    const int64_t size = stream.GetSize() - position;
    return std::all_of(table.begin(), table.end(), [size](uint32_t offset) { return offset < size; });
}

int32_t IEGetDCXPageCount(TStream& stream) {
    const int64_t position = stream.GetPosition();
    const auto count = static_cast<int32_t>(ReadTable(stream, false).size());
    stream.SetPosition(position);
    return count;
}

void IEReadDCXStream(TStream& stream, TIEBitmap& bitmap, TIOParamsVals& params, TIEProgressRec& progress,
                     bool previewOnly, std::string* failure) {
    if (!IEIsDCXStream(stream)) {
        Fail(progress, failure, "the data are not a DCX container");
        return;
    }
    const int64_t base = stream.GetPosition(), end = stream.GetSize();
    const std::vector<uint32_t> table = ReadTable(stream, true);
    params.ImageCount = static_cast<int32_t>(table.size());
    if (table.empty()) {
        Fail(progress, failure, "the container holds no page");
        return;
    }
    const int32_t index = std::clamp(params.DcxImageIndex, 0, static_cast<int32_t>(table.size()) - 1);
    params.SetImageIndex(index);
    const int64_t start = base + table[static_cast<size_t>(index)];
    // A page ends where the next page after it starts.
    int64_t stop = end;
    for (uint32_t offset : table)
        if (base + offset > start) stop = std::min(stop, base + int64_t{offset});
    stream.SetPosition(start);
    IEReadPCXStream(stream, bitmap, params, stop - start, progress, previewOnly, failure);
}

void IEWriteDCXStream(TStream& stream, TIEBitmap& bitmap, TIOParamsVals& params, TIEProgressRec& progress,
                      std::string* failure) {
    const int64_t base = stream.GetPosition(), end = stream.GetSize();
    std::vector<std::vector<uint8_t>> pages;
    if (end > base) {
        if (!IEIsDCXStream(stream)) {
            Fail(progress, failure, "the data are not a DCX container");
            return;
        }
        const std::vector<uint32_t> table = ReadTable(stream, true);
        for (uint32_t offset : table) {
            int64_t stop = end;
            for (uint32_t other : table)
                if (other > offset) stop = std::min(stop, base + int64_t{other});
            std::vector<uint8_t> page(static_cast<size_t>(stop - base - offset));
            stream.SetPosition(base + offset);
            stream.ReadBuffer(page.data(), static_cast<int64_t>(page.size()));
            pages.push_back(std::move(page));
        }
    }
    if (static_cast<int32_t>(pages.size()) >= kDCXMaxPages - 1) {
        Fail(progress, failure, "the container already holds the most pages it can");
        return;
    }
    TMemoryStream page;
    IEWritePCXStream(page, bitmap, params, progress);
    if (progress.Aborting()) return;
    const auto index = static_cast<size_t>(std::clamp(params.DcxImageIndex, 0, static_cast<int32_t>(pages.size())));
    pages.insert(pages.begin() + static_cast<std::ptrdiff_t>(index), page.Bytes());

    std::vector<uint8_t> container(4 + 4 * (pages.size() + 1), 0);
    IEPutLE32(container.data(), kDCXMagic);
    for (size_t i = 0; i < pages.size(); ++i) {
        IEPutLE32(container.data() + 4 + 4 * i, static_cast<uint32_t>(container.size()));
        container.insert(container.end(), pages[i].begin(), pages[i].end());
    }
    stream.SetSize(base);
    stream.SetPosition(base);
    IEStreamWriteChecked(stream, container.data(), static_cast<int64_t>(container.size()), progress);
}
