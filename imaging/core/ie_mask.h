// TIEMask: the pixel mask behind selections and reader transparency, 1 bit
// (hard) or 8 bits (soft, 255 fully selected) per pixel, with the bounding
// box of its set pixels and a flag for "every pixel set". Rows are stored
// bottom-up and padded to 4 bytes. The on-screen drawing lives with the view.
#pragma once

#include <cstdint>
#include <vector>

#include "imaging/core/ie_bitmap.h"
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

    int32_t width_ = 0, height_ = 0, bitsPerPixel_ = 0, rowLen_ = 0;
    std::vector<uint8_t> bits_;
    bool full_ = false;
};

// ie1g gives a 1-bit and ie8g an 8-bit mask of the bitmap's rows, ie24RGB an
// 8-bit mask of gray div 4 (0 .. 63); other formats leave the mask alone.
void IECopyBitmapToMask(TIEBitmap& bitmap, TIEMask& mask);
