// TIEMask: the pixel mask behind selections and reader transparency, 1 bit
// (hard) or 8 bits (soft, 255 fully selected) per pixel, with the bounding
// box of its set pixels and a flag for "every pixel set". Rows are stored
// bottom-up and padded to 4 bytes. The view draws a selection with it: the
// mask zoomed into a cache at the size drawn, then the selected area
// inverted, the area outside shaded or the outline drawn as marching stripes.
#pragma once

#include <cstdint>
#include <vector>

#include "imaging/core/ie_bitmap.h"
#include "platform/canvas.h"
#include "platform/geometry.h"

class TIEMask {
public:
    static constexpr int32_t kEmptyX1 = 2147483647;
    // Ends one polygon in the point list of DrawPolygons.
    static constexpr int32_t kPolygonSeparator = 0xFFFFF;

    void AllocateBits(int32_t width, int32_t height, int32_t bitsPerPixel);
    void FreeBits();
    void Resize(int32_t newWidth, int32_t newHeight);

    uint8_t* GetScanline(int32_t y) { return bits_.data() + static_cast<size_t>(rowLen_) * static_cast<size_t>(height_ - y - 1); }
    int32_t GetPixel(int32_t x, int32_t y);
    bool IsPointInside(int32_t x, int32_t y) { return GetPixel(x, y) != 0; }
    void SetPixel(int32_t x, int32_t y, int32_t value);
    void Fill(int32_t value);
    void Empty();
    bool IsEmpty() const { return X1 == kEmptyX1; }
    void SyncBounds();
    void SyncFull();

    int32_t DrawHorizontalLine(int32_t value, int32_t x1, int32_t y, int32_t x2);
    void DrawPolygon(int32_t value, const TPoint* points, int32_t count);
    void DrawPolygons(int32_t value, const TPoint* points, int32_t count);
    void TranslateBitmap(int32_t& dx, int32_t& dy, bool clip);

    void CopyBitmap(TIEBitmap& destination, TIEBitmap& source, bool copyAlpha, bool sourceRelative,
                    bool destinationRelative);
    void CopyAlpha(TIEBitmap& destination, TIEBitmap& source, bool sourceRelative, bool destinationRelative);

    // Drawing on the view, the mask's rectangle (sx, sy, sw, sh) zoomed into
    // the target's (dx, dy, dw, dh). Selected pixels of a 1-bit mask invert
    // the canvas.
    void DrawInverted(TCanvas& canvas, int32_t dx, int32_t dy, int32_t dw, int32_t dh, int32_t sx, int32_t sy,
                      int32_t sw, int32_t sh);
    // Shades every other pixel (a checkerboard of gray 97) outside the
    // selection on a 24-bit bitmap.
    void DrawOuter(TBitmap& bitmap, int32_t dx, int32_t dy, int32_t dw, int32_t dh, int32_t sx, int32_t sy, int32_t sw,
                   int32_t sh);
    // The outline of the selection in diagonal stripes of four pixels of the
    // two colours; advancing phase makes them march.
    void DrawBorder(TCanvas& canvas, int32_t dx, int32_t dy, int32_t dw, int32_t dh, int32_t sx, int32_t sy, int32_t sw,
                    int32_t sh, int32_t phase, TColor firstColor, TColor secondColor);

    int32_t Width() const { return width_; }
    int32_t Height() const { return height_; }
    int32_t BitsPerPixel() const { return bitsPerPixel_; }
    int32_t RowLen() const { return rowLen_; }
    bool Full() const { return full_; }
    void SetFull(bool value) { full_ = value; }

    int32_t X1 = kEmptyX1, Y1 = kEmptyX1, X2 = 0, Y2 = 0;

private:
    void SetEmptyBox() {
        X1 = Y1 = kEmptyX1;
        X2 = Y2 = 0;
    }
    void ClampBox();
    // The last column and row CopyBitmap and CopyAlpha visit.
    void CopyRange(TIEBitmap& destination, TIEBitmap& source, bool sourceRelative, int32_t& lastX, int32_t& lastY) const;

    // The zoomed mask of the last drawing, rows bottom-up like the mask's.
    void StretchToCache(int32_t dw, int32_t dh, int32_t sx, int32_t sy, int32_t sw, int32_t sh);
    bool CachePixel(int32_t x, int32_t y) const;

    int32_t width_ = 0, height_ = 0, bitsPerPixel_ = 0, rowLen_ = 0;
    std::vector<uint8_t> bits_;
    std::vector<uint8_t> cache_;
    int32_t cacheWidth_ = 0, cacheHeight_ = 0, cacheRowLen_ = 0;
    bool full_ = false;
};

// Zooms the part of a mask's bits (rows bottom-up, 1 or 8 bits) that its box
// (x1, y1)-(x2, y2) covers from the source rectangle into destination, a
// zeroed raster of destWidth x destHeight of the same depth and layout;
// nearest pixel in 14-bit fixed-point steps.
void IEStretchMaskRegion(int32_t bitsPerPixel, uint8_t* destination, int32_t destWidth, int32_t destHeight,
                         int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t maskWidth, int32_t maskHeight,
                         const uint8_t* maskBits, int32_t sx, int32_t sy, int32_t sw, int32_t sh);

// ie1g gives a 1-bit and ie8g an 8-bit mask of the bitmap's rows, ie24RGB an
// 8-bit mask of gray div 4 (0 .. 63); other formats leave the mask alone.
void IECopyBitmapToMask(TIEBitmap& bitmap, TIEMask& mask);
