// Drawing a selection mask on the view: zoomed into a cache once per call,
// then inverted, shaded outside or outlined.
#include <algorithm>
#include <cstring>

#include "imaging/core/ie_mask.h"
#include "platform/mathutil.h"

namespace {

bool Bit(const uint8_t* row, int32_t x) { return (row[x >> 3] & (0x80 >> (x & 7))) != 0; }

int32_t Step(int32_t source, int32_t destination) {
    return static_cast<int32_t>(Trunc(static_cast<double>(source) / destination * 16384));
}

}  // namespace

void IEStretchMaskRegion(int32_t bitsPerPixel, uint8_t* destination, int32_t destWidth, int32_t destHeight,
                         int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t maskWidth, int32_t maskHeight,
                         const uint8_t* maskBits, int32_t sx, int32_t sy, int32_t sw, int32_t sh) {
    const int32_t destRowLen = ((destWidth * bitsPerPixel + 31) / 32) * 4;
    const int32_t maskRowLen = ((maskWidth * bitsPerPixel + 31) / 32) * 4;
    std::memset(destination, 0, static_cast<size_t>(destRowLen) * static_cast<size_t>(destHeight));
    if (sw <= 0 || sh <= 0 || destWidth <= 0 || destHeight <= 0) return;
    const int32_t firstRow = std::max(static_cast<int32_t>(Trunc(double(y1 - sy) * destHeight / sh)), 0);
    const int32_t lastRow =
        std::min(static_cast<int32_t>(Trunc(double(destHeight) / sh * (y2 - sy + 1))), destHeight - 1);
    const int32_t firstColumn = std::max(static_cast<int32_t>(Trunc(double(x1 - sx) * destWidth / sw)), 0);
    const int32_t lastColumn =
        std::min(static_cast<int32_t>(Trunc(double(destWidth) / sw * (x2 - sx + 1))), destWidth - 1);
    if (lastColumn < firstColumn || lastRow < firstRow) return;
    const int32_t xStep = Step(sw, destWidth), yStep = Step(sh, destHeight);
    std::vector<int32_t> columns(static_cast<size_t>(lastColumn - firstColumn + 1));
    for (int32_t j = firstColumn; j <= lastColumn; ++j)
        columns[static_cast<size_t>(j - firstColumn)] = sx + static_cast<int32_t>((int64_t{xStep} * j) >> 14);
    for (int32_t row = firstRow; row <= lastRow; ++row) {
        const int32_t sourceRow = sy + static_cast<int32_t>((int64_t{yStep} * row) >> 14);
        if (sourceRow < 0 || sourceRow >= maskHeight) continue;
        const uint8_t* in = maskBits + static_cast<size_t>(maskRowLen) * static_cast<size_t>(maskHeight - sourceRow - 1);
        uint8_t* out = destination + static_cast<size_t>(destRowLen) * static_cast<size_t>(destHeight - row - 1);
        for (int32_t j = firstColumn; j <= lastColumn; ++j) {
            const int32_t sourceColumn = columns[static_cast<size_t>(j - firstColumn)];
            if (sourceColumn < 0 || sourceColumn >= maskWidth) continue;
            if (bitsPerPixel == 1) {
                if (Bit(in, sourceColumn)) out[j >> 3] = static_cast<uint8_t>(out[j >> 3] | (0x80 >> (j & 7)));
            } else {
                out[j] = in[sourceColumn];
            }
        }
    }
}

void TIEMask::StretchToCache(int32_t dw, int32_t dh, int32_t sx, int32_t sy, int32_t sw, int32_t sh) {
    if (dw != cacheWidth_ || dh != cacheHeight_ || cache_.empty()) {
        cacheWidth_ = dw;
        cacheHeight_ = dh;
        cacheRowLen_ = ((dw * bitsPerPixel_ + 31) / 32) * 4;
        cache_.assign(static_cast<size_t>(cacheRowLen_) * static_cast<size_t>(dh), 0);
    }
    IEStretchMaskRegion(bitsPerPixel_, cache_.data(), dw, dh, X1, Y1, X2, Y2, width_, height_, bits_.data(), sx, sy, sw,
                        sh);
}

bool TIEMask::CachePixel(int32_t x, int32_t y) const {
    const uint8_t* row = cache_.data() + static_cast<size_t>(cacheRowLen_) * static_cast<size_t>(cacheHeight_ - y - 1);
    return bitsPerPixel_ == 1 ? Bit(row, x) : row[x] != 0;
}

void TIEMask::DrawInverted(TCanvas& canvas, int32_t dx, int32_t dy, int32_t dw, int32_t dh, int32_t sx, int32_t sy,
                           int32_t sw, int32_t sh) {
    if (bitsPerPixel_ != 1 || IsEmpty() || dw <= 0 || dh <= 0 || sw <= 0 || sh <= 0) return;
    const TRect clip = canvas.ClipRect();
    const int32_t x1 = std::max(dx, clip.Left), x2 = std::min(dx + dw, clip.Right);
    const int32_t y1 = std::max(dy, clip.Top), y2 = std::min(dy + dh, clip.Bottom);
    for (int32_t y = y1; y < y2; ++y) {
        const int32_t my = sy + static_cast<int32_t>(int64_t{y - dy} * sh / dh);
        if (my < 0 || my >= height_) continue;
        const uint8_t* row = GetScanline(my);
        for (int32_t x = x1; x < x2; ++x) {
            const int32_t mx = sx + static_cast<int32_t>(int64_t{x - dx} * sw / dw);
            if (mx < 0 || mx >= width_ || !Bit(row, mx)) continue;
            canvas.SetPixel(x, y, ~canvas.GetPixel(x, y) & 0xFFFFFF);
        }
    }
}

void TIEMask::DrawOuter(TBitmap& bitmap, int32_t dx, int32_t dy, int32_t dw, int32_t dh, int32_t sx, int32_t sy,
                        int32_t sw, int32_t sh) {
    if (dw < 1 || dh < 1 || IsEmpty() || sw < 1 || sh < 1 || bitmap.PixelFormat() != TPixelFormat::pf24bit) return;
    // What lies above or left of the bitmap is cut, in proportion on the mask.
    if (dy < 0) {
        const int32_t cut = static_cast<int32_t>(RoundHalfEven(double(-dy) * sh / dh));
        sy += cut;
        sh -= cut;
        dh += dy;
        dy = 0;
    }
    if (dx < 0) {
        const int32_t cut = static_cast<int32_t>(RoundHalfEven(double(-dx) * sw / dw));
        sx += cut;
        sw -= cut;
        dw += dx;
        dx = 0;
    }
    if (dw < 1 || dh < 1 || sw < 1 || sh < 1) return;
    StretchToCache(dw, dh, sx, sy, sw, sh);
    const int32_t yStep = std::max(Step(sh, dh), 1), xStep = std::max(Step(sw, dw), 1);
    const int32_t firstRow = std::max(static_cast<int32_t>(int64_t{-sy} * 16384 / yStep), 0);
    const int32_t lastRow = std::min({static_cast<int32_t>(int64_t{height_ - sy} * 16384 / yStep + 1), dh - 1,
                                      bitmap.Height() - 1 - dy});
    const int32_t firstColumn = std::max(static_cast<int32_t>(int64_t{-sx} * 16384 / xStep), 0);
    const int32_t lastColumn = std::min({static_cast<int32_t>(int64_t{width_ - sx} * 16384 / xStep + 1), dw - 1,
                                         bitmap.Width() - 1 - dx});
    for (int32_t row = firstRow; row <= lastRow; ++row) {
        uint8_t* out = bitmap.ScanLine(dy + row);
        for (int32_t column = firstColumn; column <= lastColumn; ++column) {
            if ((row & 1) != (column & 1) || CachePixel(column, row)) continue;
            std::memset(out + 3 * static_cast<size_t>(dx + column), 0x61, 3);
        }
    }
}

void TIEMask::DrawBorder(TCanvas& canvas, int32_t dx, int32_t dy, int32_t dw, int32_t dh, int32_t sx, int32_t sy,
                         int32_t sw, int32_t sh, int32_t phase, TColor firstColor, TColor secondColor) {
    if (dw < 1 || dh < 1 || IsEmpty() || sw < 1 || sh < 1) return;
    const TColor first = ColorToRGB(firstColor), second = ColorToRGB(secondColor);
    StretchToCache(dw, dh, sx, sy, sw, sh);
    const int32_t yStep = std::max(Step(sh, dh), 1), xStep = std::max(Step(sw, dw), 1);
    const int32_t firstRow = std::max(static_cast<int32_t>(int64_t{Y1 - sy} * 16384 / yStep), 0);
    const int32_t lastRow = std::min(static_cast<int32_t>(int64_t{Y2 - sy + 1} * 16384 / yStep + 1), dh - 1);
    const int32_t firstColumn = std::max(static_cast<int32_t>(int64_t{X1 - sx} * 16384 / xStep), 0);
    const int32_t lastColumn = std::min(static_cast<int32_t>(int64_t{X2 - sx + 1} * 16384 / xStep + 1), dw - 1);
    canvas.Pen.Style = PS_SOLID;
    canvas.Pen.Mode = R2_COPYPEN;
    auto sourceColumn = [&](int32_t column) { return sx + static_cast<int32_t>((int64_t{xStep} * column) >> 14); };
    auto sourceRow = [&](int32_t row) { return sy + static_cast<int32_t>((int64_t{yStep} * row) >> 14); };
    for (int32_t row = firstRow; row <= lastRow; ++row) {
        for (int32_t column = firstColumn; column <= lastColumn; ++column) {
            if (!CachePixel(column, row)) continue;
            bool border = (column == firstColumn && sourceColumn(column) <= X1) ||
                          (column == lastColumn && (sourceColumn(column) >= X2 || sw == width_)) ||
                          (row == firstRow && sourceRow(row) <= Y1) ||
                          (row == lastRow && (sourceRow(row) >= Y2 || sh == height_));
            for (int32_t ny = std::max(row - 1, firstRow); !border && ny <= std::min(row + 1, lastRow); ++ny)
                for (int32_t nx = std::max(column - 1, firstColumn); !border && nx <= std::min(column + 1, lastColumn); ++nx)
                    border = !CachePixel(nx, ny);
            if (!border) continue;
            const int32_t x = dx + column, y = dy + row;
            canvas.SetPixel(x, y, (((x + y + phase) % 8 + 8) % 8) < 4 ? second : first);
        }
    }
}
