#include "imaging/core/ie_resample.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <vector>

#include "imaging/core/ie_helpers.h"
#include "platform/mathutil.h"

// ---------------------------------------------------------------- kernels

double IETriangleFilter(double x) {
    x = std::fabs(x);
    return x < 1.0 ? 1.0 - x : 0.0;
}

double IEHermiteFilter(double x) {
    x = std::fabs(x);
    return x < 1.0 ? (2.0 * x - 3.0) * x * x + 1.0 : 0.0;
}

double IEBellFilter(double x) {
    x = std::fabs(x);
    if (x < 0.5) return 0.75 - x * x;
    if (x < 1.5) return 0.5 * (x - 1.5) * (x - 1.5);
    return 0.0;
}

double IESplineFilter(double x) {
    x = std::fabs(x);
    if (x < 1.0) return 0.5 * x * x * x - x * x + 2.0 / 3.0;
    if (x < 2.0) return (2.0 - x) * (2.0 - x) * (2.0 - x) / 6.0;
    return 0.0;
}

namespace {
double Sinc(double x) {
    if (x == 0.0) return 1.0;
    x *= std::numbers::pi;
    return std::sin(x) / x;
}
}  // namespace

double IELanczos3Filter(double x) {
    x = std::fabs(x);
    return x < 3.0 ? Sinc(x) * Sinc(x / 3.0) : 0.0;
}

double IEMitchellFilter(double x) {
    const long double t = std::fabs(x);
    const long double t2 = t * t;
    if (t < 1.0L) return static_cast<double>((7.0L * t * t2 - 12.0L * t2 + 16.0L / 3.0L) / 6.0L);
    if (t < 2.0L) return static_cast<double>((-7.0L / 3.0L * t * t2 + 12.0L * t2 - 20.0L * t + 32.0L / 3.0L) / 6.0L);
    return 0.0;
}

double IEBoxFilter(double x) { return x > -0.5 && x <= 0.5 ? 1.0 : 0.0; }

double IELinearFilter(double x) {
    if (x < -1.0) return 0.0;
    if (x < 0.0) return 1.0 + x;
    if (x < 1.0) return 1.0 - x;
    return 0.0;
}

int32_t IEFloor(double x) { return static_cast<int32_t>(std::floor(x)); }

const TIEFilterEntry& IEResampleFilterEntry(TResampleFilter filter) {
    static const TIEFilterEntry kTable[8] = {
        {IETriangleFilter, 1.0}, {IEHermiteFilter, 1.0}, {IEBellFilter, 1.5},   {IESplineFilter, 2.0},
        {IELanczos3Filter, 3.0}, {IEMitchellFilter, 2.0}, {IEBoxFilter, 1.0}, {IELinearFilter, 1.0},
    };
    return kTable[std::clamp<int>(filter, rfTriangle, rfLinear) - 1];
}

namespace {

bool GetBit(const uint8_t* row, int32_t x) { return (row[x >> 3] & (0x80 >> (x & 7))) != 0; }
void SetBit(uint8_t* row, int32_t x, bool on) {
    auto mask = static_cast<uint8_t>(0x80 >> (x & 7));
    row[x >> 3] = on ? static_cast<uint8_t>(row[x >> 3] | mask) : static_cast<uint8_t>(row[x >> 3] & ~mask);
}

// Reports a percentage when a handler is assigned and it changed.
class Progress {
public:
    Progress(const TIEProgressEvent& event, void* sender) : event_(event), sender_(sender) {}
    void Report(int percent, bool onlyChanges = true) {
        if (!event_ || (onlyChanges && percent == last_)) return;
        last_ = percent;
        event_(sender_, percent);
    }

private:
    const TIEProgressEvent& event_;
    void* sender_;
    int last_ = -1;
};

// The source's rows are only read and the destination's only written, so a
// file-backed bitmap neither reads rows it overwrites nor writes back rows
// it only reads.
class AccessScope {
public:
    AccessScope(TIEBitmap& src, TIEBitmap& dst) : src_(src), dst_(dst), srcMode_(src.AccessMode), dstMode_(dst.AccessMode) {
        if (&src != &dst) {
            src.AccessMode = 1;
            dst.AccessMode = 2;
        }
    }
    ~AccessScope() {
        src_.UnmapAllRows();
        dst_.UnmapAllRows();
        src_.AccessMode = srcMode_;
        dst_.AccessMode = dstMode_;
    }
    AccessScope(const AccessScope&) = delete;
    AccessScope& operator=(const AccessScope&) = delete;

private:
    TIEBitmap& src_;
    TIEBitmap& dst_;
    uint8_t srcMode_, dstMode_;
};

// ---------------------------------------------------------------- two-pass filtered

struct Contributor {
    int32_t pixel;
    int32_t weight;  // 1/256
};
using Contributors = std::vector<std::vector<Contributor>>;

Contributors BuildContributors(int32_t srcSize, int32_t dstSize, double scale, const TIEFilterEntry& filter) {
    Contributors lists(static_cast<size_t>(dstSize));
    const double width = scale >= 1.0 ? filter.Support : filter.Support / scale;
    const double fscale = 1.0 / scale;
    for (int32_t i = 0; i < dstSize; ++i) {
        auto& list = lists[static_cast<size_t>(i)];
        list.reserve(static_cast<size_t>(Trunc(2 * width + 1)) + 1);
        const double centre = i / scale;
        for (int32_t j = IEFloor(centre - width); j <= IECeil(centre + width); ++j) {
            const int64_t weight = scale >= 1.0 ? RoundHalfEven(filter.Kernel(centre - j) * 256)
                                                : RoundHalfEven(filter.Kernel((centre - j) / fscale) * 256 / fscale);
            if (weight == 0) continue;
            int32_t n = j < 0 ? -j : j >= srcSize ? 2 * srcSize - 1 - j : j;
            list.push_back({IEClamp(n, 0, srcSize - 1), static_cast<int32_t>(weight)});
        }
    }
    return lists;
}

double AxisScale(int32_t src, int32_t dst) {
    return src == 1 || dst == 1 ? static_cast<double>(dst) / src : static_cast<double>(dst - 1) / (src - 1);
}

uint8_t Settle(int32_t sum, int32_t weights) {
    if (weights != 0) return IEClampByte(sum / weights);
    // An empty or cancelling list: the sum taken unsigned, so negative is 255.
    return IEClampByte(static_cast<int32_t>(static_cast<uint32_t>(sum) >> 8));
}

// Two passes over C channels of bytes. read(y, out) gives source row y as
// SW * C bytes; write(y, in) takes destination row y as DW * C bytes.
template <int C, typename Read, typename Write>
void TwoPass(int32_t sw, int32_t sh, int32_t dw, int32_t dh, const TIEFilterEntry& filter, Read read, Write write,
             Progress* progress) {
    if (sw == 0 || sh == 0 || (sw < 2 && sh < 2) || dw < 1 || dh < 1) return;
    const double f = 100.0 / (sh + dw + 0.5);
    std::vector<uint8_t> work(static_cast<size_t>(dw) * static_cast<size_t>(sh) * C);
    {
        const Contributors columns = BuildContributors(sw, dw, AxisScale(sw, dw), filter);
        std::vector<uint8_t> row(static_cast<size_t>(sw) * C);
        for (int32_t y = 0; y < sh; ++y) {
            read(y, row.data());
            uint8_t* out = work.data() + static_cast<size_t>(y) * static_cast<size_t>(dw) * C;
            for (int32_t i = 0; i < dw; ++i) {
                int32_t weights = 0, sum[C] = {};
                for (const Contributor& c : columns[static_cast<size_t>(i)]) {
                    weights += c.weight;
                    const uint8_t* p = row.data() + static_cast<size_t>(c.pixel) * C;
                    for (int k = 0; k < C; ++k) sum[k] += c.weight * p[k];
                }
                for (int k = 0; k < C; ++k) out[i * C + k] = Settle(sum[k], weights);
            }
            if (progress) progress->Report(static_cast<int>(Trunc((y + 1) * f)));
        }
    }
    const Contributors rows = BuildContributors(sh, dh, AxisScale(sh, dh), filter);
    const size_t rowBytes = static_cast<size_t>(dw) * C;
    std::vector<int32_t> sums(rowBytes);
    std::vector<uint8_t> out(rowBytes);
    for (int32_t r = 0; r < dh; ++r) {
        std::fill(sums.begin(), sums.end(), 0);
        int32_t weights = 0;
        for (const Contributor& c : rows[static_cast<size_t>(r)]) {
            weights += c.weight;
            const uint8_t* in = work.data() + static_cast<size_t>(c.pixel) * rowBytes;
            for (size_t k = 0; k < rowBytes; ++k) sums[k] += c.weight * in[k];
        }
        for (size_t k = 0; k < rowBytes; ++k) out[k] = Settle(sums[k], weights);
        write(r, out.data());
        // Rows stand in for the columns of a column-by-column pass.
        if (progress) progress->Report(static_cast<int>(Trunc((sh + int64_t{r + 1} * dw / dh) * f)));
    }
}

void Filtered24(TIEBitmap& src, TIEBitmap& dst, TResampleFilter filter, Progress* progress) {
    const int32_t sw = src.GetWidth();
    TwoPass<3>(
        sw, src.GetHeight(), dst.GetWidth(), dst.GetHeight(), IEResampleFilterEntry(filter),
        [&](int32_t y, uint8_t* out) { std::memcpy(out, src.GetScanline(y), static_cast<size_t>(sw) * 3); },
        [&](int32_t y, const uint8_t* in) { std::memcpy(dst.GetScanline(y), in, static_cast<size_t>(dst.GetWidth()) * 3); },
        progress);
}

// ---------------------------------------------------------------- fast linear

// The source pixel left of (or at) the centre of destination pixel i, and
// the distance to that centre in 1/131072: pixel centres of both sizes line
// up, so the picture does not move.
void CentreSample(int32_t i, double scale, int32_t& low, int32_t& fraction) {
    const double position = std::max((i + 0.5) / scale - 0.5, 0.0);
    low = static_cast<int32_t>(std::floor(position));
    fraction = static_cast<int32_t>(Trunc((position - low) * 131072));
}

// The source pixels first .. last that destination pixel i covers when
// reducing by scale (below 1).
void CoveredSpan(int32_t i, double scale, int32_t size, int32_t& first, int32_t& last) {
    first = IEMin(static_cast<int32_t>(std::floor(i / scale + 1e-9)), size - 1);
    last = IEClamp(static_cast<int32_t>(std::ceil((i + 1) / scale - 1e-9)) - 1, first, size - 1);
}

// C channels of bytes; read and write as for TwoPass.
template <int C, typename Read, typename Write>
void FastLinear(int32_t sw, int32_t sh, int32_t dw, int32_t dh, Read read, Write write, bool interpolateBoth,
                Progress* progress) {
    const double xscale = static_cast<double>(dw) / sw, yscale = static_cast<double>(dh) / sh;
    const bool growX = interpolateBoth || xscale > 1, growY = interpolateBoth || yscale > 1;
    // Enlarging samples between the two source pixels around each
    // destination pixel's centre; reducing averages the source pixels the
    // destination pixel covers.
    std::vector<int32_t> left(static_cast<size_t>(dw)), frac(static_cast<size_t>(dw)), right(static_cast<size_t>(dw));
    for (int32_t i = 0; i < dw; ++i) {
        const auto k = static_cast<size_t>(i);
        if (growX) {
            CentreSample(i, xscale, left[k], frac[k]);
        } else {
            CoveredSpan(i, xscale, sw, left[k], right[k]);
        }
    }
    const double f = 100.0 / (sh + dh + 0.5);
    const size_t workRow = static_cast<size_t>(dw) * C;
    std::vector<uint8_t> work(workRow * static_cast<size_t>(sh));
    std::vector<uint8_t> row(static_cast<size_t>(sw) * C);
    for (int32_t y = 0; y < sh; ++y) {
        read(y, row.data());
        uint8_t* out = work.data() + workRow * static_cast<size_t>(y);
        for (int32_t i = 0; i < dw; ++i) {
            const auto l = static_cast<size_t>(left[static_cast<size_t>(i)]);
            for (int k = 0; k < C; ++k) {
                if (growX) {
                    const int32_t a = row[l * C + k], b = row[static_cast<size_t>(IEMin(static_cast<int32_t>(l) + 1, sw - 1)) * C + k];
                    out[i * C + k] = static_cast<uint8_t>(a + (((b - a) * frac[static_cast<size_t>(i)]) >> 17));
                } else {
                    int32_t sum = 0;
                    const int32_t r = right[static_cast<size_t>(i)];
                    for (int32_t x = static_cast<int32_t>(l); x <= r; ++x) sum += row[static_cast<size_t>(x) * C + k];
                    const int32_t n = r - static_cast<int32_t>(l) + 1;
                    out[i * C + k] = static_cast<uint8_t>((sum + n / 2) / n);
                }
            }
        }
        if (progress) progress->Report(static_cast<int>(Trunc(y * f)), false);
    }
    std::vector<uint8_t> line(workRow);
    for (int32_t j = 0; j < dh; ++j) {
        int32_t top = 0, fr = 0, bottom = 0;
        if (growY) {
            CentreSample(j, yscale, top, fr);
            const uint8_t* a = work.data() + workRow * static_cast<size_t>(top);
            const uint8_t* b = work.data() + workRow * static_cast<size_t>(IEMin(top + 1, sh - 1));
            for (size_t k = 0; k < workRow; ++k) line[k] = static_cast<uint8_t>(a[k] + (((b[k] - a[k]) * fr) >> 17));
        } else {
            CoveredSpan(j, yscale, sh, top, bottom);
            const int32_t n = bottom - top + 1;
            for (size_t k = 0; k < workRow; ++k) {
                int32_t sum = 0;
                for (int32_t r = top; r <= bottom; ++r) sum += work[workRow * static_cast<size_t>(r) + k];
                line[k] = static_cast<uint8_t>((sum + n / 2) / n);
            }
        }
        write(j, line.data());
        if (progress) progress->Report(static_cast<int>(Trunc((sh + j) * f)), false);
    }
}

template <int C>
void FastLinearBytes(TIEBitmap& src, TIEBitmap& dst, Progress* progress) {
    const int32_t sw = src.GetWidth(), sh = src.GetHeight(), dw = dst.GetWidth(), dh = dst.GetHeight();
    if (sw == dw && sh == dh) {
        dst.Assign(src);
        return;
    }
    FastLinear<C>(
        sw, sh, dw, dh, [&](int32_t y, uint8_t* out) { std::memcpy(out, src.GetScanline(y), static_cast<size_t>(sw) * C); },
        [&](int32_t y, const uint8_t* in) { std::memcpy(dst.GetScanline(y), in, static_cast<size_t>(dw) * C); }, false,
        progress);
}

// One source row of bits as bytes 0 or 255.
void ReadBits(TIEBitmap& src, int32_t y, uint8_t* out) {
    const uint8_t* row = src.GetScanline(y);
    for (int32_t x = 0; x < src.GetWidth(); ++x) out[x] = GetBit(row, x) ? 255 : 0;
}

// Gray bytes into every channel of a 24-bit row.
void WriteGray24(TIEBitmap& dst, int32_t y, const uint8_t* in) {
    uint8_t* row = dst.GetScanline(y);
    for (int32_t x = 0; x < dst.GetWidth(); ++x) std::memset(row + 3 * x, in[x], 3);
}

void FastLinear1Bit(TIEBitmap& src, TIEBitmap& dst) {
    const int32_t sw = src.GetWidth(), sh = src.GetHeight(), dw = dst.GetWidth(), dh = dst.GetHeight();
    const double xscale = static_cast<double>(dw) / sw, yscale = static_cast<double>(dh) / sh;
    if (xscale == 1.0 && yscale == 1.0) {
        dst.Assign(src);
    } else if (xscale >= 1.0 || yscale >= 1.0) {
        FastLinear<1>(
            sw, sh, dw, dh, [&](int32_t y, uint8_t* out) { ReadBits(src, y, out); },
            [&](int32_t y, const uint8_t* in) { WriteGray24(dst, y, in); }, true, nullptr);
    } else {
        IEStretchAverage(src, 0, 0, sw - 1, sh - 1, dst);
    }
}

// ---------------------------------------------------------------- projections

// Black on white clears a bit where a covered pixel is dark; white on black
// sets one where a covered pixel is light.
template <typename IsHit>
void Project(TIEBitmap& src, TIEBitmap& dst, bool whiteOnBlack, IsHit hit, Progress* progress) {
    const int32_t sw = src.GetWidth(), sh = src.GetHeight();
    if (dst.GetPixelFormat() != ie1g) dst.Allocate(dst.GetWidth(), dst.GetHeight(), ie1g);
    const int32_t dw = dst.GetWidth(), dh = dst.GetHeight();
    std::vector<int32_t> col(static_cast<size_t>(dw));
    for (int32_t k = 0; k < dw; ++k) col[static_cast<size_t>(k)] = IEMin(static_cast<int32_t>(Trunc(static_cast<double>(sw) / dw * k)), sw - 1);
    const double yr = static_cast<double>(sh) / dh;
    std::vector<std::vector<uint8_t>> rows;
    for (int32_t j = 0; j < dh; ++j) {
        const int32_t y1 = j == 0 ? 0 : static_cast<int32_t>(Trunc(yr * (j - 1)));
        const int32_t y2 = j == 0 ? 0 : IEMin(static_cast<int32_t>(Trunc(yr * j)), sh - 1);
        rows.clear();
        for (int32_t y = y1; y <= y2; ++y) {
            const uint8_t* p = src.GetScanline(y);
            rows.emplace_back(p, p + src.GetRowLen());
        }
        uint8_t* out = dst.GetScanline(j);
        std::memset(out, whiteOnBlack ? 0 : 255, static_cast<size_t>(dst.GetRowLen()));
        for (int32_t k = 0; k < dw; ++k) {
            const int32_t x1 = k == 0 ? 0 : col[static_cast<size_t>(k - 1)], x2 = k == 0 ? 0 : col[static_cast<size_t>(k)];
            bool found = false;
            for (size_t r = 0; r < rows.size() && !found; ++r)
                for (int32_t x = x1; x <= x2 && !found; ++x) found = hit(rows[r].data(), x);
            if (found) SetBit(out, k, whiteOnBlack);
        }
        if (progress) progress->Report(static_cast<int>(Trunc(j * 100 / (dh + 0.5))), false);
    }
}

void Project24(TIEBitmap& src, TIEBitmap& dst, bool whiteOnBlack, Progress* progress) {
    if (whiteOnBlack)
        Project(src, dst, true, [](const uint8_t* row, int32_t x) {
            const uint8_t* p = row + 3 * x;
            return p[0] > 128 && p[1] > 128 && p[2] > 128;
        }, progress);
    else
        Project(src, dst, false, [](const uint8_t* row, int32_t x) {
            const uint8_t* p = row + 3 * x;
            return p[0] < 128 && p[1] < 128 && p[2] < 128;
        }, progress);
}

void Project1Bit(TIEBitmap& src, TIEBitmap& dst, bool whiteOnBlack) {
    Project(src, dst, whiteOnBlack, [whiteOnBlack](const uint8_t* row, int32_t x) { return GetBit(row, x) == whiteOnBlack; },
            nullptr);
}

// ---------------------------------------------------------------- area-weighted interpolation

double CubicInterpolate(double a, double b, double c, double d, double t, double low, double high) {
    auto w1 = [](double x) { return x * x * x - 2 * x * x + 1; };
    auto w2 = [](double x) { return -x * x * x + 5 * x * x - 8 * x + 4; };
    double v = a * w2(std::fabs(t + 1)) + b * w1(std::fabs(t)) + c * w1(std::fabs(t - 1)) + d * w2(std::fabs(t - 2));
    return std::clamp(v, low, high);
}

// One piece of the walk along an axis: its length, whether it ends at a
// destination edge, the fraction within the source pixel at its far end, and
// that source pixel.
struct Segment {
    double length;
    bool endsAtDestination;
    double fraction;
    int32_t pixel;
};

std::vector<Segment> Segments(int32_t srcSize, int32_t dstSize) {
    const double ratio = static_cast<double>(srcSize) / dstSize;
    std::vector<Segment> segments;
    if (ratio < 1) {
        // Enlarging: one piece per destination pixel, sampled at its centre
        // between the source pixels around it (pixel -1 reads as pixel 0).
        segments.reserve(static_cast<size_t>(dstSize));
        for (int32_t d = 0; d < dstSize; ++d) {
            const double position = (d + 0.5) * ratio - 0.5;
            const double low = std::floor(position);
            segments.push_back({ratio, true, position - low, static_cast<int32_t>(low)});
        }
        return segments;
    }
    segments.reserve(static_cast<size_t>(srcSize + dstSize) + 2);
    double pos = 0;
    int32_t pixel = 0, done = 0;
    while (done < dstSize) {
        const double sourceEdge = pixel + 1.0, destEdge = ratio * (done + 1);
        if (sourceEdge + 0.0001 >= destEdge) {
            segments.push_back({destEdge - pos, true, destEdge - pixel, pixel});
            pos = destEdge;
            ++done;
        } else {
            segments.push_back({sourceEdge - pos, false, 1.0, pixel});
            pos = sourceEdge;
            ++pixel;
        }
    }
    return segments;
}

// T is the channel type (8 or 16 bits), C the channels per pixel.
template <typename T, int C>
void AreaInterp(TIEBitmap& src, TIEBitmap& dst, bool bicubic, Progress* progress) {
    const int32_t sw = src.GetWidth(), sh = src.GetHeight(), dw = dst.GetWidth(), dh = dst.GetHeight();
    const double xr = static_cast<double>(sw) / dw, yr = static_cast<double>(sh) / dh;
    const int mode = xr < 1 ? (yr < 1 ? 0 : 1) : (yr < 1 ? 2 : 3);
    const double high = sizeof(T) == 1 ? 255.0 : 65535.0;
    const std::vector<Segment> columns = Segments(sw, dw), rows = Segments(sh, dh);
    // A window of four source rows, each slot tagged with its row.
    std::vector<T> window[4];
    int32_t tags[4] = {-1, -1, -1, -1};
    auto row = [&](int32_t y) -> const T* {
        y = IEClamp(y, 0, sh - 1);
        const int slot = y & 3;
        if (tags[slot] != y) {
            window[slot].resize(static_cast<size_t>(sw) * C);
            std::memcpy(window[slot].data(), src.GetScanline(y), static_cast<size_t>(sw) * C * sizeof(T));
            tags[slot] = y;
        }
        return window[slot].data();
    };
    auto v = [&](const T* line, int32_t x, int k) -> double { return line[static_cast<size_t>(IEClamp(x, 0, sw - 1)) * C + k]; };
    std::vector<double> sums(static_cast<size_t>(dw) * C, 0.0);
    std::vector<T> out(static_cast<size_t>(dw) * C);
    const double areaScale = xr * yr;
    int32_t written = 0;
    for (const Segment& vertical : rows) {
        const int32_t y = vertical.pixel;
        const double f = vertical.endsAtDestination ? vertical.fraction : 1.0;
        const T* lines[4] = {row(y - 1), row(y), row(y + 1), row(y + 2)};
        int32_t column = 0;
        for (const Segment& horizontal : columns) {
            const double area = horizontal.length * vertical.length;
            const int32_t x = horizontal.pixel;
            const double kf = horizontal.endsAtDestination ? horizontal.fraction : 1.0;
            if (area != 0 && column < dw) {
                for (int k = 0; k < C; ++k) {
                    double sample;
                    if (!bicubic) {
                        switch (mode) {
                            case 0:
                                sample = (1 - f) * ((1 - kf) * v(lines[1], x, k) + kf * v(lines[1], x + 1, k)) +
                                         f * ((1 - kf) * v(lines[2], x, k) + kf * v(lines[2], x + 1, k));
                                break;
                            case 1: sample = (1 - kf) * v(lines[1], x, k) + kf * v(lines[1], x + 1, k); break;
                            case 2: sample = (1 - f) * v(lines[1], x, k) + f * v(lines[2], x, k); break;
                            default: sample = v(lines[1], x, k); break;
                        }
                    } else {
                        auto along = [&](const T* line) {
                            return CubicInterpolate(v(line, x - 1, k), v(line, x, k), v(line, x + 1, k), v(line, x + 2, k), kf, 0,
                                                    high);
                        };
                        switch (mode) {
                            case 0: {
                                double r[4];
                                for (int i = 0; i < 4; ++i) r[i] = static_cast<double>(Trunc(along(lines[i])));
                                sample = CubicInterpolate(r[0], r[1], r[2], r[3], f, 0, high);
                                break;
                            }
                            case 1: sample = along(lines[1]); break;
                            case 2:
                                sample = CubicInterpolate(v(lines[0], x, k), v(lines[1], x, k), v(lines[2], x, k), v(lines[3], x, k), f,
                                                          0, high);
                                break;
                            default: sample = v(lines[1], x, k); break;
                        }
                    }
                    sums[static_cast<size_t>(column) * C + k] += area * sample;
                }
            }
            if (horizontal.endsAtDestination) ++column;
        }
        if (vertical.endsAtDestination && written < dh) {
            for (size_t i = 0; i < sums.size(); ++i)
                out[i] = static_cast<T>(std::clamp<int64_t>(Trunc(sums[i] / areaScale + 0.5), 0, static_cast<int64_t>(high)));
            std::memcpy(dst.GetScanline(written), out.data(), out.size() * sizeof(T));
            std::fill(sums.begin(), sums.end(), 0.0);
            ++written;
            if (progress) progress->Report(static_cast<int>(Trunc(static_cast<double>(written) / dh * 100)), false);
        }
    }
}

bool IsKernelFilter(TResampleFilter filter) { return filter >= rfTriangle && filter <= rfLinear; }

// Formats without a routine of their own: resampled as a 24-bit copy, then
// converted back to the source's format.
void ResampleThrough24(TIEBitmap& src, TIEBitmap& dst, TResampleFilter filter, void* sender,
                       const TIEProgressEvent& onProgress) {
    TIEBitmap source, target;
    source.AssignImage(src);
    source.SetPixelFormat(ie24RGB);
    target.Allocate(dst.GetWidth(), dst.GetHeight(), ie24RGB);
    IEResampleFiltered(source, target, filter, sender, onProgress);
    const TIEPixelFormat format = dst.GetPixelFormat();
    if (format == ie8p) target.PaletteColors = src.PaletteColors;
    target.SetPixelFormat(format);
    dst.AssignImage(target);
}

}  // namespace

// ---------------------------------------------------------------- entry points

void IEFillTransparentPixels(TIEBitmap& bitmap, TRGB color) {
    if (bitmap.GetPixelFormat() != ie24RGB || !bitmap.GetHasAlphaChannel()) return;
    TIEBitmap* alpha = bitmap.GetAlphaChannel();
    std::vector<uint8_t> mask(static_cast<size_t>(bitmap.GetWidth()));
    for (int32_t y = 0; y < bitmap.GetHeight(); ++y) {
        std::memcpy(mask.data(), alpha->GetScanline(y), mask.size());
        uint8_t* row = bitmap.GetScanline(y);
        for (int32_t x = 0; x < bitmap.GetWidth(); ++x)
            if (mask[static_cast<size_t>(x)] == 0) std::memcpy(row + 3 * x, &color, 3);
    }
    alpha->UnmapAllRows();
    bitmap.UnmapAllRows();
}

void IEStretchNearest(TIEBitmap& src, TIEBitmap& dst, void* sender, const TIEProgressEvent& onProgress) {
    const int32_t sw = src.GetWidth(), sh = src.GetHeight(), dw = dst.GetWidth(), dh = dst.GetHeight();
    const TIEPixelFormat format = src.GetPixelFormat();
    if (sw == 0 || sh == 0 || dw == 0 || dh == 0 || format == ienull) return;
    AccessScope access(src, dst);
    Progress progress(onProgress, sender);
    const double r = static_cast<double>(sw) / dw;
    std::vector<int32_t> col(static_cast<size_t>(dw));
    for (int32_t i = 0; i < dw; ++i) col[static_cast<size_t>(i)] = IEMin(static_cast<int32_t>(Trunc(r * i)), sw - 1);
    const size_t bytes = static_cast<size_t>(IEBitsPerPixel[format] / 8);
    std::vector<uint8_t> in(static_cast<size_t>(src.GetRowLen()));
    int32_t loaded = -1;
    for (int32_t j = 0; j < dh; ++j) {
        progress.Report(static_cast<int>(Trunc(j * 100 / (dh + 0.5))));
        const int32_t y = IEMin(static_cast<int32_t>(Trunc(static_cast<double>(sh) / dh * j)), sh - 1);
        if (y != loaded) {
            std::memcpy(in.data(), src.GetScanline(y), in.size());
            loaded = y;
        }
        uint8_t* out = dst.GetScanline(j);
        if (format == ie1g)
            for (int32_t i = 0; i < dw; ++i) SetBit(out, i, GetBit(in.data(), col[static_cast<size_t>(i)]));
        else
            for (int32_t i = 0; i < dw; ++i)
                std::memcpy(out + bytes * static_cast<size_t>(i), in.data() + bytes * static_cast<size_t>(col[static_cast<size_t>(i)]), bytes);
    }
}

void IEStretchAverage(TIEBitmap& src, int32_t x1, int32_t y1, int32_t x2, int32_t y2, TIEBitmap& dst) {
    const int32_t sw = src.GetWidth(), sh = src.GetHeight(), dw = dst.GetWidth(), dh = dst.GetHeight();
    if (sw == 0 || sh == 0 || dw == 0 || dh == 0) return;
    const double fx = static_cast<double>(x2 - x1 + 1) / dw, fy = static_cast<double>(y2 - y1 + 1) / dh;
    std::vector<int32_t> left(static_cast<size_t>(dw)), right(static_cast<size_t>(dw));
    for (int32_t j = 0; j < dw; ++j) {
        int32_t l = x1 + static_cast<int32_t>(Trunc(fx * j - fx / 2)), r = x1 + static_cast<int32_t>(Trunc(fx / 2 + fx * j));
        left[static_cast<size_t>(j)] = IEMin(IEMax(l, 0), sw - 1);
        right[static_cast<size_t>(j)] = IEMin(IEMax(r, 0), sw - 1);
    }
    std::vector<std::vector<uint8_t>> rows;
    for (int32_t i = 0; i < dh; ++i) {
        const int32_t top = IEClamp(y1 + static_cast<int32_t>(Trunc(fy * i - fy / 2)), 0, sh - 1);
        const int32_t bottom = IEClamp(y1 + static_cast<int32_t>(Trunc(Trunc(fy) / 2.0 + fy * i)), 0, sh - 1);
        rows.clear();
        for (int32_t y = top; y <= bottom; ++y) {
            const uint8_t* p = src.GetScanline(y);
            rows.emplace_back(p, p + src.GetRowLen());
        }
        uint8_t* out = dst.GetScanline(i);
        for (int32_t j = 0; j < dw; ++j) {
            int32_t set = 0, count = 0;
            for (const auto& row : rows)
                for (int32_t x = left[static_cast<size_t>(j)]; x <= right[static_cast<size_t>(j)]; ++x, ++count)
                    set += GetBit(row.data(), x) ? 1 : 0;
            std::memset(out + 3 * j, count ? 255 * set / count : 0, 3);
        }
    }
    src.UnmapAllRows();
    dst.UnmapAllRows();
}

void IEResample1Bit(TIEBitmap& src, TIEBitmap& dst, TResampleFilter filter) {
    if (src.GetPixelFormat() != ie1g || src.IsEmpty() || dst.IsEmpty()) return;
    AccessScope access(src, dst);
    switch (filter) {
        case rfFastLinear:
        case rfBilinear:
        case rfBicubic: FastLinear1Bit(src, dst); break;
        case rfProjectBW: Project1Bit(src, dst, false); break;
        case rfProjectWB: Project1Bit(src, dst, true); break;
        default:
            if (!IsKernelFilter(filter)) break;
            TwoPass<1>(
                src.GetWidth(), src.GetHeight(), dst.GetWidth(), dst.GetHeight(), IEResampleFilterEntry(filter),
                [&](int32_t y, uint8_t* out) { ReadBits(src, y, out); },
                [&](int32_t y, const uint8_t* in) { WriteGray24(dst, y, in); }, nullptr);
            break;
    }
}

void IEResampleGray8(TIEBitmap& src, TIEBitmap& dst, TResampleFilter filter) {
    if (src.GetBitCount() != 8 || dst.GetBitCount() != 8 || src.IsEmpty() || dst.IsEmpty()) return;
    AccessScope access(src, dst);
    if (IsKernelFilter(filter)) {
        const int32_t sw = src.GetWidth(), dw = dst.GetWidth();
        TwoPass<1>(
            sw, src.GetHeight(), dw, dst.GetHeight(), IEResampleFilterEntry(filter),
            [&](int32_t y, uint8_t* out) { std::memcpy(out, src.GetScanline(y), static_cast<size_t>(sw)); },
            [&](int32_t y, const uint8_t* in) { std::memcpy(dst.GetScanline(y), in, static_cast<size_t>(dw)); }, nullptr);
    } else if (filter == rfBilinear || filter == rfBicubic) {
        // As the colours of the same picture are: alpha must match them.
        AreaInterp<uint8_t, 1>(src, dst, filter == rfBicubic, nullptr);
    } else if (filter != rfNone) {
        FastLinearBytes<1>(src, dst, nullptr);
    }
}

void IEResampleFiltered(TIEBitmap& src, TIEBitmap& dst, TResampleFilter filter, void* sender,
                        const TIEProgressEvent& onProgress) {
    if (src.IsEmpty() || dst.IsEmpty()) return;
    const TIEPixelFormat format = src.GetPixelFormat();
    Progress progress(onProgress, sender);
    if (format == ie24RGB) {
        AccessScope access(src, dst);
        switch (filter) {
            case rfFastLinear: FastLinearBytes<3>(src, dst, &progress); break;
            case rfBilinear:
            case rfBicubic: AreaInterp<uint8_t, 3>(src, dst, filter == rfBicubic, &progress); break;
            case rfProjectBW: Project24(src, dst, false, &progress); break;
            case rfProjectWB: Project24(src, dst, true, &progress); break;
            default:
                if (IsKernelFilter(filter)) Filtered24(src, dst, filter, &progress);
                break;
        }
    } else if ((filter == rfBilinear || filter == rfBicubic) && dst.GetPixelFormat() == format &&
               (format == ie8g || format == ie16g || format == ieRGB48)) {
        AccessScope access(src, dst);
        const bool bicubic = filter == rfBicubic;
        if (format == ie8g) AreaInterp<uint8_t, 1>(src, dst, bicubic, &progress);
        else if (format == ie16g) AreaInterp<uint16_t, 1>(src, dst, bicubic, &progress);
        else AreaInterp<uint16_t, 3>(src, dst, bicubic, &progress);
    } else if (format == ie8g && filter != rfProjectBW && filter != rfProjectWB && filter != rfNone) {
        IEResampleGray8(src, dst, filter);
    } else if (format != ienull && filter != rfNone && dst.GetPixelFormat() == format) {
        ResampleThrough24(src, dst, filter, sender, onProgress);
    }
}

namespace {

// Colours weighted by their alpha, so that filters mix what is seen: a
// transparent pixel adds nothing, whatever colour it holds.
void Premultiply(TIEBitmap& src, TIEBitmap& out) {
    out.Allocate(src.GetWidth(), src.GetHeight(), ie24RGB);
    TIEBitmap* alpha = src.GetAlphaChannel();
    for (int32_t y = 0; y < src.GetHeight(); ++y) {
        const uint8_t* in = src.GetScanline(y);
        const uint8_t* a = alpha->GetScanline(y);
        uint8_t* o = out.GetScanline(y);
        for (int32_t x = 0; x < src.GetWidth(); ++x)
            for (int k = 0; k < 3; ++k) o[3 * x + k] = static_cast<uint8_t>((in[3 * x + k] * a[x] + 127) / 255);
    }
}

void Unpremultiply(TIEBitmap& bitmap) {
    TIEBitmap* alpha = bitmap.GetAlphaChannel();
    for (int32_t y = 0; y < bitmap.GetHeight(); ++y) {
        uint8_t* p = bitmap.GetScanline(y);
        const uint8_t* a = alpha->GetScanline(y);
        for (int32_t x = 0; x < bitmap.GetWidth(); ++x)
            for (int k = 0; k < 3; ++k)
                p[3 * x + k] = a[x] == 0 ? 0 : static_cast<uint8_t>(IEMin((p[3 * x + k] * 255 + a[x] / 2) / a[x], 255));
    }
}

}  // namespace

void IEResample(TIEBitmap& src, TIEBitmap& dst, TResampleFilter filter, const TIEProgressEvent& onProgress,
                void* sender) {
    // Filters of pictures with alpha run on premultiplied colours.
    const bool premultiplied = src.GetHasAlphaChannel() && filter != rfNone && src.GetPixelFormat() == ie24RGB;
    if (premultiplied) {
        TIEBitmap weighted;
        Premultiply(src, weighted);
        IEResampleFiltered(weighted, dst, filter, sender, onProgress);
    } else if (filter == rfNone) {
        IEStretchNearest(src, dst, sender, onProgress);
    } else if (src.GetPixelFormat() == ie1g) {
        dst.SetPixelFormat(filter == rfProjectBW || filter == rfProjectWB ? ie1g : ie24RGB);
        IEResample1Bit(src, dst, filter);
    } else {
        IEResampleFiltered(src, dst, filter, sender, onProgress);
    }
    if (src.GetHasAlphaChannel()) {
        TIEBitmap* srcAlpha = src.GetAlphaChannel();
        TIEBitmap* dstAlpha = dst.GetAlphaChannel();
        if (dstAlpha->GetWidth() != dst.GetWidth() || dstAlpha->GetHeight() != dst.GetHeight())
            dstAlpha->Allocate(dst.GetWidth(), dst.GetHeight(), ie8g);
        if (filter == rfNone)
            IEStretchNearest(*srcAlpha, *dstAlpha, nullptr, TIEProgressEvent());
        else
            IEResampleGray8(*srcAlpha, *dstAlpha, filter);
        dstAlpha->SetFullOpacity(srcAlpha->FullOpacity());
        if (premultiplied && dst.GetPixelFormat() == ie24RGB) Unpremultiply(dst);
    }
}
