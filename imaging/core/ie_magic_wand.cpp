#include "imaging/core/ie_magic_wand.h"

#include <algorithm>
#include <cstdlib>
#include <limits>

namespace {

bool Similar(const TRGB& a, const TRGB& b, int32_t tolerance) {
    return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance && std::abs(a.b - b.b) <= tolerance;
}

// The pixels of the connected region, one bit each (most significant bit
// first), with the box of the set bits.
struct TFillRegion {
    int32_t Width = 0, Height = 0, RowLen = 0;
    std::vector<uint8_t> Bits;
    int32_t MinX = std::numeric_limits<int32_t>::max(), MinY = std::numeric_limits<int32_t>::max();
    int32_t MaxX = 0, MaxY = 0;

    bool Get(int32_t x, int32_t y) const {
        return (Bits[static_cast<size_t>(y) * static_cast<size_t>(RowLen) + static_cast<size_t>(x >> 3)] &
                (0x80 >> (x & 7))) != 0;
    }
    void Set(int32_t x, int32_t y) {
        Bits[static_cast<size_t>(y) * static_cast<size_t>(RowLen) + static_cast<size_t>(x >> 3)] |=
            static_cast<uint8_t>(0x80 >> (x & 7));
        MinX = std::min(MinX, x);
        MinY = std::min(MinY, y);
        MaxX = std::max(MaxX, x);
        MaxY = std::max(MaxY, y);
    }
    bool Empty() const { return MinX > MaxX; }
};

// Heckbert's scanline seed fill on a stack of segments (row, x1, x2, dy):
// a popped segment scans row + dy.
TFillRegion SeedFill(TIEBitmap& bitmap, int32_t x, int32_t y, int32_t tolerance) {
    TFillRegion region;
    region.Width = bitmap.GetWidth();
    region.Height = bitmap.GetHeight();
    region.RowLen = region.Width / 8 + 1;
    if (x < 0 || y < 0 || x >= region.Width || y >= region.Height) return region;
    region.Bits.assign(static_cast<size_t>(region.RowLen) * static_cast<size_t>(region.Height), 0);
    const TRGB seed = bitmap.GetPixelRGB(x, y);
    const int32_t width = region.Width, height = region.Height;
    auto inside = [&](int32_t px, int32_t py) {
        return !region.Get(px, py) && Similar(bitmap.GetPixelRGB(px, py), seed, tolerance);
    };
    struct TSegment {
        int32_t Row, X1, X2, Dy;
    };
    std::vector<TSegment> stack;
    stack.reserve(static_cast<size_t>(2 * width));
    auto push = [&](int32_t row, int32_t x1, int32_t x2, int32_t dy) {
        if (row + dy >= 0 && row + dy < height) stack.push_back({row, x1, x2, dy});
    };
    push(y, x, x, 1);
    push(y + 1, x, x, -1);
    while (!stack.empty()) {
        const TSegment s = stack.back();
        stack.pop_back();
        const int32_t row = s.Row + s.Dy, x1 = s.X1, x2 = s.X2, dy = s.Dy;
        int32_t px = x1;
        while (px >= 0 && inside(px, row)) region.Set(px--, row);
        int32_t left;
        bool skip = px >= x1;
        if (!skip) {
            left = px + 1;
            if (left < x1) push(row, left, x1 - 1, -dy);
            px = x1 + 1;
        } else {
            left = 0;
        }
        do {
            if (!skip) {
                while (px < width && inside(px, row)) region.Set(px++, row);
                push(row, left, px - 1, dy);
                if (px > x2 + 1) push(row, x2 + 1, px - 1, -dy);
            }
            skip = false;
            for (++px; px <= x2 && !inside(px, row); ++px) {
            }
            left = px;
        } while (px <= x2);
    }
    return region;
}

// Chain codes of the tracer's directions, and the step of each code.
constexpr int32_t kDirX[8] = {1, 0, -1, 0, 1, -1, -1, 1};
constexpr int32_t kDirY[8] = {0, -1, 0, 1, -1, -1, 1, 1};
constexpr int32_t kDirCode[8] = {0, 2, 4, 6, 1, 3, 5, 7};
constexpr int32_t kCodeX[8] = {1, 1, 0, -1, -1, -1, 0, 1};
constexpr int32_t kCodeY[8] = {0, -1, -1, -1, 0, 1, 1, 1};

}  // namespace

std::vector<TPoint> IEMagicWandPolygon(TIEBitmap& bitmap, int32_t x, int32_t y, int32_t tolerance, bool maxFilter) {
    const TFillRegion region = SeedFill(bitmap, x, y, tolerance);
    if (region.Empty()) return {};
    const int32_t bw = region.MaxX - region.MinX + 1, bh = region.MaxY - region.MinY + 1;
    std::vector<uint8_t> box(static_cast<size_t>(bw) * static_cast<size_t>(bh), 0);
    for (int32_t py = region.MinY; py <= region.MaxY; ++py)
        for (int32_t px = region.MinX; px <= region.MaxX; ++px) {
            if (!region.Get(px, py)) continue;
            const int32_t cx = px - region.MinX, cy = py - region.MinY;
            const int32_t grow = maxFilter ? 1 : 0;
            for (int32_t j = std::max(cy - grow, 0); j <= std::min(cy + grow, bh - 1); ++j)
                for (int32_t i = std::max(cx - grow, 0); i <= std::min(cx + grow, bw - 1); ++i)
                    box[static_cast<size_t>(j) * static_cast<size_t>(bw) + static_cast<size_t>(i)] = 1;
        }

    // The region four times larger with a margin of two empty cells.
    const int32_t gw = bw * 4 + 4, gh = bh * 4 + 4;
    std::vector<uint8_t> grid(static_cast<size_t>(gw) * static_cast<size_t>(gh), 0);
    auto cell = [&](int32_t cx, int32_t cy) -> uint8_t& {
        return grid[static_cast<size_t>(cy) * static_cast<size_t>(gw) + static_cast<size_t>(cx)];
    };
    for (int32_t cy = 0; cy < bh; ++cy)
        for (int32_t cx = 0; cx < bw; ++cx)
            if (box[static_cast<size_t>(cy) * static_cast<size_t>(bw) + static_cast<size_t>(cx)])
                for (int32_t j = 4 * cy + 2; j <= 4 * cy + 5; ++j)
                    for (int32_t i = 4 * cx + 2; i <= 4 * cx + 5; ++i) cell(i, j) = 1;

    // A ring of border cells (3) just outside the region and its holes.
    for (int32_t r = 0; r < gh; ++r) {
        bool flag = false;
        for (int32_t c = 1; c < gw; ++c)
            if (cell(c, r) != 1) flag = false;
            else if (!flag) cell(c - 1, r) = 3, flag = true;
    }
    for (int32_t r = 0; r < gh; ++r) {
        bool flag = false;
        for (int32_t c = gw - 2; c >= 0; --c)
            if (cell(c, r) != 1) flag = false;
            else if (!flag) cell(c + 1, r) = 3, flag = true;
    }
    for (int32_t c = 0; c < gw; ++c) {
        bool flag = false;
        for (int32_t r = 1; r < gh; ++r)
            if (cell(c, r) != 1) flag = false;
            else if (!flag) cell(c, r - 1) = 3, flag = true;
    }
    for (int32_t c = 0; c < gw; ++c) {
        bool flag = false;
        for (int32_t r = gh - 2; r >= 0; --r)
            if (cell(c, r) != 1) flag = false;
            else if (!flag) cell(c, r + 1) = 3, flag = true;
    }

    int32_t mx = gw, my = gh;
    for (int32_t r = 0; r < gh; ++r)
        for (int32_t c = 0; c < gw; ++c)
            if (cell(c, r) == 3) mx = std::min(mx, c), my = std::min(my, r);
    int32_t startX = -1, startY = -1;
    int64_t best = std::numeric_limits<int64_t>::max();
    for (int32_t r = 0; r < gh; ++r)
        for (int32_t c = 1; c < gw; ++c)
            if (cell(c, r) == 3) {
                const int64_t d = int64_t{c - mx} * (c - mx) + int64_t{r - my} * (r - my);
                if (d < best) best = d, startX = c, startY = r;
            }
    if (startX < 0) return {};

    std::vector<uint8_t> codes;
    int32_t cx = startX, cy = startY, d = 4;
    cell(cx, cy) = 2;
    auto at = [&](int32_t c, int32_t r) { return c >= 0 && r >= 0 && c < gw && r < gh ? cell(c, r) : 0; };
    for (;;) {
        if (at(cx + kDirX[d], cy + kDirY[d]) == 3) {
            cx += kDirX[d];
            cy += kDirY[d];
            cell(cx, cy) = 2;
            codes.push_back(static_cast<uint8_t>(kDirCode[d]));
        }
        int32_t next = -1;
        for (int32_t k = 0; k < 8; ++k)
            if (at(cx + kDirX[k], cy + kDirY[k]) == 3) {
                next = k;
                break;
            }
        if (next < 0) break;
        cx += kDirX[next];
        cy += kDirY[next];
        cell(cx, cy) = 2;
        codes.push_back(static_cast<uint8_t>(kDirCode[next]));
        d = next;
    }
    for (int32_t k = 0; k < 8; ++k)
        if (startX - cx == kDirX[k] && startY - cy == kDirY[k]) {
            codes.push_back(static_cast<uint8_t>(kDirCode[k]));
            break;
        }

    // Vertices in quarter pixels where the chain turns.
    int32_t px = startX + 4 * region.MinX - 1, py = startY + 4 * region.MinY - 1;
    std::vector<TPoint> vertices{{px, py}};
    uint8_t previous = codes.empty() ? 0 : codes.front();
    for (uint8_t code : codes) {
        if (code != previous) vertices.push_back({px, py});
        px += kCodeX[code];
        py += kCodeY[code];
        previous = code;
    }
    for (TPoint& v : vertices) v = {v.X / 4, v.Y / 4};
    return vertices;
}

void IEMagicWandFill(TIEBitmap& bitmap, int32_t x, int32_t y, int32_t value, TIEMask& mask, int32_t tolerance,
                     bool maxFilter) {
    const TFillRegion region = SeedFill(bitmap, x, y, tolerance);
    if (region.Empty()) return;
    for (int32_t py = region.MinY; py <= region.MaxY; ++py)
        for (int32_t px = region.MinX; px <= region.MaxX; ++px) {
            if (!region.Get(px, py)) continue;
            if (!maxFilter) {
                mask.SetPixel(px, py, value);
                continue;
            }
            for (int32_t j = std::max(py - 1, 0); j <= std::min(py + 1, region.Height - 1); ++j)
                for (int32_t i = std::max(px - 1, 0); i <= std::min(px + 1, region.Width - 1); ++i)
                    mask.SetPixel(i, j, value);
        }
}

void IEMagicWandGlobal(TIEBitmap& bitmap, int32_t x, int32_t y, int32_t value, TIEMask& mask, int32_t tolerance) {
    if (x < 0 || y < 0 || x >= bitmap.GetWidth() || y >= bitmap.GetHeight()) return;
    const TRGB seed = bitmap.GetPixelRGB(x, y);
    for (int32_t py = 0; py < bitmap.GetHeight(); ++py)
        for (int32_t px = 0; px < bitmap.GetWidth(); ++px)
            if (Similar(bitmap.GetPixelRGB(px, py), seed, tolerance)) mask.SetPixel(px, py, value);
}
