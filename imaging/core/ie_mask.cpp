#include "imaging/core/ie_mask.h"

#include <algorithm>
#include <cstring>
#include <list>

namespace {

bool Bit(const uint8_t* row, int32_t x) { return (row[x >> 3] & (0x80 >> (x & 7))) != 0; }
void PutBit(uint8_t* row, int32_t x, bool on) {
    auto mask = static_cast<uint8_t>(0x80 >> (x & 7));
    row[x >> 3] = on ? static_cast<uint8_t>(row[x >> 3] | mask) : static_cast<uint8_t>(row[x >> 3] & ~mask);
}

}  // namespace

void TIEMask::AllocateBits(int32_t width, int32_t height, int32_t bitsPerPixel) {
    FreeBits();
    width_ = std::max(width, 0);
    height_ = std::max(height, 0);
    bitsPerPixel_ = bitsPerPixel;
    rowLen_ = ((width_ * bitsPerPixel + 31) / 32) * 4;
    bits_.assign(static_cast<size_t>(rowLen_) * static_cast<size_t>(height_), 0);
    SetEmptyBox();
    full_ = false;
}

void TIEMask::FreeBits() {
    cache_.clear();
    cache_.shrink_to_fit();
    cacheWidth_ = cacheHeight_ = cacheRowLen_ = 0;
    bits_.clear();
    bits_.shrink_to_fit();
    width_ = height_ = bitsPerPixel_ = rowLen_ = 0;
}

void TIEMask::Resize(int32_t newWidth, int32_t newHeight) {
    const int32_t oldRowLen = rowLen_, oldHeight = height_;
    std::vector<uint8_t> old = std::move(bits_);
    width_ = newWidth;
    height_ = newHeight;
    rowLen_ = ((newWidth * bitsPerPixel_ + 31) / 32) * 4;
    bits_.assign(static_cast<size_t>(rowLen_) * static_cast<size_t>(newHeight), 0);
    const auto bytes = static_cast<size_t>(std::min(oldRowLen, rowLen_));
    for (int32_t y = 0; y < std::min(oldHeight, newHeight); ++y)
        std::memcpy(GetScanline(y), old.data() + static_cast<size_t>(oldRowLen) * static_cast<size_t>(oldHeight - y - 1),
                    bytes);
    if (!IsEmpty()) ClampBox();
}

void TIEMask::ClampBox() {
    X1 = std::clamp(X1, 0, std::max(width_ - 1, 0));
    X2 = std::clamp(X2, 0, std::max(width_ - 1, 0));
    Y1 = std::clamp(Y1, 0, std::max(height_ - 1, 0));
    Y2 = std::clamp(Y2, 0, std::max(height_ - 1, 0));
}

int32_t TIEMask::GetPixel(int32_t x, int32_t y) {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return 0;
    const uint8_t* row = GetScanline(y);
    if (bitsPerPixel_ == 1) return row[x >> 3] & (0x80 >> (x & 7));
    return row[x];
}

void TIEMask::SetPixel(int32_t x, int32_t y, int32_t value) {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
    if (value != 0) {
        X1 = std::min(X1, x);
        Y1 = std::min(Y1, y);
        X2 = std::max(X2, x);
        Y2 = std::max(Y2, y);
        ClampBox();
    }
    uint8_t* row = GetScanline(y);
    if (bitsPerPixel_ == 1) {
        PutBit(row, x, value != 0);
        full_ = full_ && value != 0;
    } else {
        row[x] = static_cast<uint8_t>(value);
        full_ = full_ && row[x] == 255;
    }
}

void TIEMask::Fill(int32_t value) {
    std::fill(bits_.begin(), bits_.end(), static_cast<uint8_t>(value));
    full_ = static_cast<uint8_t>(value) == 255;
}

void TIEMask::Empty() {
    Fill(0);
    SetEmptyBox();
}

void TIEMask::SyncBounds() {
    SetEmptyBox();
    for (int32_t y = 0; y < height_; ++y)
        for (int32_t x = 0; x < width_; ++x)
            if (GetPixel(x, y) != 0) {
                X1 = std::min(X1, x);
                Y1 = std::min(Y1, y);
                X2 = std::max(X2, x);
                Y2 = std::max(Y2, y);
            }
}

void TIEMask::SyncFull() {
    full_ = false;
    for (int32_t y = 0; y < height_; ++y)
        for (int32_t x = 0; x < width_; ++x) {
            int32_t v = GetPixel(x, y);
            if (bitsPerPixel_ == 1 ? v == 0 : v != 255) return;
        }
    full_ = bitsPerPixel_ != 0;
}

int32_t TIEMask::DrawHorizontalLine(int32_t value, int32_t x1, int32_t y, int32_t x2) {
    if (width_ == 0 || height_ == 0) return 0;
    x1 = std::max(x1, 0);
    x2 = std::min(x2, width_ - 1);
    y = std::clamp(y, 0, height_ - 1);
    if (x2 < x1) return 0;
    uint8_t* row = GetScanline(y);
    if (bitsPerPixel_ == 1) {
        for (int32_t x = x1; x <= x2; ++x) PutBit(row, x, value == 1);
        full_ = full_ && value == 1;
    } else {
        std::memset(row + x1, static_cast<uint8_t>(value), static_cast<size_t>(x2 - x1 + 1));
        full_ = full_ && static_cast<uint8_t>(value) == 255;
    }
    return x2 - x1 + 1;
}

void TIEMask::DrawPolygon(int32_t value, const TPoint* points, int32_t count) {
    int32_t ymin = 2147483647, ymax = 0;
    for (int32_t i = 0; i < count; ++i) {
        const TPoint& p = points[i];
        if (value != 0) {
            X1 = std::min(X1, p.X);
            if (p.X > X2) X2 = p.X - 1;
            Y1 = std::min(Y1, p.Y);
            if (p.Y > Y2) Y2 = p.Y - 1;
        }
        if (X1 < 0) X1 = 0;
        if (X2 >= width_) X2 = width_ - 1;
        if (Y1 < 0) Y1 = 0;
        if (Y2 >= height_) Y2 = height_ - 1;
        ymin = std::min(ymin, p.Y);
        ymax = std::max(ymax, p.Y);
    }
    if (count < 2 || ymax < ymin) {
        if (value != 0) SetEmptyBox();
        return;
    }
    struct Edge {
        int32_t x, yEnd, dx, dy, error;
    };
    std::vector<std::list<Edge>> table(static_cast<size_t>(int64_t{ymax} - ymin + 1));
    for (int32_t i = 0; i < count; ++i) {
        TPoint a = points[i], b = points[(i + 1) % count];
        if (a.Y == b.Y) continue;
        if (b.Y < a.Y) std::swap(a, b);
        table[static_cast<size_t>(a.Y - ymin)].push_front(Edge{a.X, b.Y, b.X - a.X, b.Y - a.Y, 0});
    }
    std::list<Edge> active;
    int64_t sum = 0;
    for (int32_t y = ymin; y <= ymax; ++y) {
        for (auto it = active.begin(); it != active.end();) {
            if (it->yEnd == y) {
                it = active.erase(it);
                continue;
            }
            if (it->dx != 0) {
                const int32_t q = it->dx / it->dy;
                it->x += q;
                it->error += 2 * it->dx - 2 * it->dy * q;
                if (it->error > it->dy || it->error < -it->dy) {
                    if (it->dx > 0) {
                        it->x += 1;
                        it->error -= 2 * it->dy;
                    } else {
                        it->x -= 1;
                        it->error += 2 * it->dy;
                    }
                }
            }
            ++it;
        }
        for (const Edge& edge : table[static_cast<size_t>(y - ymin)]) {
            auto at = active.begin();
            while (at != active.end() &&
                   (at->x < edge.x || (at->x == edge.x && int64_t{at->dx} * edge.dy < int64_t{at->dy} * edge.dx)))
                ++at;
            active.insert(at, edge);
        }
        for (auto it = active.begin(); it != active.end();) {
            auto left = it++;
            if (it == active.end()) break;
            auto right = it++;
            if (right->x - 1 >= left->x) sum += DrawHorizontalLine(value, left->x, y, right->x - 1);
        }
    }
    if (sum == 0) SetEmptyBox();
}

void TIEMask::DrawPolygons(int32_t value, const TPoint* points, int32_t count) {
    int32_t start = 0;
    for (int32_t i = 0; i <= count; ++i)
        if (i == count || points[i].X == kPolygonSeparator) {
            if (i > start || i < count) DrawPolygon(value, points + start, i - start);
            start = i + 1;
        }
    SyncFull();
}

void TIEMask::TranslateBitmap(int32_t& dx, int32_t& dy, bool clip) {
    if (IsEmpty()) SyncBounds();
    if (IsEmpty()) return;
    if (clip) {
        if (X1 + dx < 0) X1 = -dx;
        if (Y1 + dy < 0) Y1 = -dy;
        if (X2 + dx >= width_) X2 = width_ - 1 - dx;
        if (Y2 + dy >= height_) Y2 = height_ - 1 - dy;
    } else {
        if (X1 + dx < 0) dx = -X1;
        if (X2 + dx >= width_) dx = width_ - X2 - 1;
        if (Y1 + dy < 0) dy = -Y1;
        if (Y2 + dy >= height_) dy = height_ - Y2 - 1;
    }
    if (dx == 0 && dy == 0) return;
    if (X2 < X1 || Y2 < Y1) {
        Empty();
        return;
    }
    std::vector<uint8_t> old = bits_;
    const int32_t oldRowLen = rowLen_;
    auto oldRow = [&](int32_t y) { return old.data() + static_cast<size_t>(oldRowLen) * static_cast<size_t>(height_ - y - 1); };
    std::fill(bits_.begin(), bits_.end(), 0);
    for (int32_t y = Y1; y <= Y2; ++y) {
        const int32_t ty = y + dy;
        if (ty < 0 || ty >= height_) continue;
        const uint8_t* from = oldRow(y);
        uint8_t* to = GetScanline(ty);
        for (int32_t x = X1; x <= X2; ++x) {
            const int32_t tx = x + dx;
            if (tx < 0 || tx >= width_) continue;
            if (bitsPerPixel_ == 1)
                PutBit(to, tx, Bit(from, x));
            else
                to[tx] = from[x];
        }
    }
    X1 += dx;
    X2 += dx;
    Y1 += dy;
    Y2 += dy;
    ClampBox();
}

void TIEMask::CopyRange(TIEBitmap& destination, TIEBitmap& source, bool sourceRelative, int32_t& lastX,
                        int32_t& lastY) const {
    if (sourceRelative) {
        lastX = X1 + std::min({X2 - X1, source.GetWidth() - 1, destination.GetWidth() - 1});
        lastY = Y1 + std::min({Y2 - Y1, source.GetHeight() - 1, destination.GetHeight() - 1});
    } else {
        lastX = X2;
        lastY = Y2;
    }
}

void TIEMask::CopyBitmap(TIEBitmap& destination, TIEBitmap& source, bool copyAlpha, bool sourceRelative,
                         bool destinationRelative) {
    int32_t lastX, lastY;
    CopyRange(destination, source, sourceRelative, lastX, lastY);
    if (lastX < X1 && lastY < Y1) return;
    const TIEPixelFormat sf = source.GetPixelFormat(), df = destination.GetPixelFormat();
    const bool bytes8 = (sf == ie8p || sf == ie8g) && (df == ie8p || df == ie8g);
    const int32_t sx0 = sourceRelative ? X1 : 0, sy0 = sourceRelative ? Y1 : 0;
    const int32_t dx0 = destinationRelative ? X1 : 0, dy0 = destinationRelative ? Y1 : 0;
    const int32_t pixelBytes = IEBitsPerPixel[sf] / 8;
    for (int32_t y = Y1; y <= lastY; ++y) {
        // The source row is copied first: both bitmaps may keep rows in files.
        std::vector<uint8_t> in(source.GetScanline(y - sy0), source.GetScanline(y - sy0) + source.GetRowLen());
        uint8_t* out = destination.GetScanline(y - dy0);
        const uint8_t* m = GetScanline(y);
        for (int32_t x = X1; x <= lastX; ++x) {
            const int32_t sx = x - sx0, tx = x - dx0;
            if (bitsPerPixel_ == 1) {
                if (!Bit(m, x)) continue;
                if (sf == ie1g && df == ie1g)
                    PutBit(out, tx, Bit(in.data(), sx));
                else if (bytes8)
                    out[tx] = in[static_cast<size_t>(sx)];
                else if (sf == df && sf != ie32RGB && pixelBytes > 0)
                    std::memcpy(out + pixelBytes * tx, in.data() + pixelBytes * sx, static_cast<size_t>(pixelBytes));
            } else {
                const int32_t v = m[x];
                auto blend = [v](uint8_t& d, uint8_t s) { d = static_cast<uint8_t>(d + ((v * (s - d)) >> 8)); };
                if (sf == ie24RGB && df == ie24RGB) {
                    for (int c = 0; c < 3; ++c) blend(out[3 * tx + c], in[static_cast<size_t>(3 * sx + c)]);
                } else if (bytes8) {
                    blend(out[tx], in[static_cast<size_t>(sx)]);
                } else if (sf == ie1g && df == ie1g && v != 0) {
                    PutBit(out, tx, Bit(in.data(), sx));
                }
            }
        }
        destination.UnmapAllRows();
    }
    if (copyAlpha) CopyAlpha(destination, source, sourceRelative, destinationRelative);
}

void TIEMask::CopyAlpha(TIEBitmap& destination, TIEBitmap& source, bool sourceRelative, bool destinationRelative) {
    int32_t lastX, lastY;
    CopyRange(destination, source, sourceRelative, lastX, lastY);
    if (lastX < X1 && lastY < Y1) return;
    TIEBitmap* to = destination.GetAlphaChannel();
    TIEBitmap* from = source.GetHasAlphaChannel() ? source.GetAlphaChannel() : nullptr;
    if (!to) return;
    const int32_t sx0 = sourceRelative ? X1 : 0, sy0 = sourceRelative ? Y1 : 0;
    const int32_t dx0 = destinationRelative ? X1 : 0, dy0 = destinationRelative ? Y1 : 0;
    for (int32_t y = Y1; y <= lastY; ++y) {
        std::vector<uint8_t> in(static_cast<size_t>(source.GetWidth()), 255);
        if (from) std::memcpy(in.data(), from->GetScanline(y - sy0), in.size());
        uint8_t* out = to->GetScanline(y - dy0);
        const uint8_t* m = GetScanline(y);
        for (int32_t x = X1; x <= lastX; ++x) {
            const uint8_t s = in[static_cast<size_t>(x - sx0)];
            uint8_t& d = out[x - dx0];
            if (bitsPerPixel_ == 1)
                d = Bit(m, x) ? s : 0;
            else
                d = m[x] != 0 ? std::min<uint8_t>(s, m[x]) : 0;
        }
        to->UnmapAllRows();
    }
    to->SetFullOpacity(false);
}
