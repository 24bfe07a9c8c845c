// Translucent drawing for the navigation-bar views and the PNG picture. The
// binding stands on cairo (platform/graphics.h), which is always there, so
// gradient backgrounds with opacity are drawn and the PNG picture class is
// registered with the toolkit's picture classes for the extension "PNG".
// PNG files are read and written by the image library's PNG codec.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "navbar/lf_graphics.h"
#include "platform/graphics.h"
#include "platform/picture.h"

// Always true here; kept so that callers take the same roads.
bool CheckGdiPlus();
bool GdiPlusAvailable();

inline TRect RectToGPRect(const TRect& r) { return {r.Left, r.Top, r.Right - r.Left, r.Bottom - r.Top}; }

enum TkrGPLinearGradientMode : int32_t { lgmHorizontal = 0, lgmVertical = 1, lgmForwardDiagonal = 2, lgmBackwardDiagonal = 3 };

class TkrGPBrush {
public:
    virtual ~TkrGPBrush() = default;
    const TGraphicsBrush& NativeBrush() const { return brush_; }
    std::unique_ptr<TkrGPBrush> Clone() const { return std::make_unique<TkrGPBrush>(*this); }
    int32_t LastResult = 0;

protected:
    TGraphicsBrush brush_;
};

class TkrGPLinearGradientBrush : public TkrGPBrush {
public:
    // rect: x, y, width, height; colours ARGB; repeated beyond the rectangle.
    TkrGPLinearGradientBrush(const TRect& rect, uint32_t color1, uint32_t color2, TkrGPLinearGradientMode mode);
};

class TkrGPGraphics {
public:
    explicit TkrGPGraphics(TCanvas& canvas) : graphics_(canvas) {}
    // rect: x, y, width, height.
    void FillRectangle(const TkrGPBrush& brush, const TRect& rect);
    TGraphics& Native() { return graphics_; }
    int32_t LastResult = 0;

private:
    TGraphics graphics_;
};

// An image: premultiplied ARGB pixels (BGRA bytes), rows top-down.
class TkrGPImage {
public:
    TkrGPImage() = default;
    static std::unique_ptr<TkrGPImage> CreateFromBitmap(const TBitmap& bitmap);
    static std::unique_ptr<TkrGPImage> CreateFromBits(int32_t width, int32_t height, std::vector<uint32_t> bits, bool hasAlpha);
    // More than 13 bytes: a BMP file ("BM") as a bitmap, anything else as a
    // PNG. Otherwise (or when the PNG codec refuses it) an empty image.
    static std::unique_ptr<TkrGPImage> CreateFromStream(TStream& stream);
    void LoadFromStream(TStream& stream);
    void SaveToStream(TStream& stream) const;
    std::unique_ptr<TkrGPImage> Clone() const;

    bool Empty() const { return width_ == 0 || height_ == 0; }
    int32_t Width() const { return width_; }
    int32_t Height() const { return height_; }
    const std::vector<uint32_t>& Bits() const { return bits_; }

private:
    int32_t width_ = 0, height_ = 0;
    std::vector<uint32_t> bits_;
};

class TkrPNGImage : public TGraphic {
public:
    TkrGPImage* Image() const { return image_.get(); }
    void SetImage(std::unique_ptr<TkrGPImage> image) { image_ = std::move(image); }

    void Assign(const TBitmap& bitmap) { LoadFromBitmap(bitmap); }
    void Assign(const TkrPNGImage& source) { image_ = source.image_ ? source.image_->Clone() : nullptr; }
    void LoadFromBitmap(const TBitmap& bitmap) { image_ = TkrGPImage::CreateFromBitmap(bitmap); }
    // A 32-bit bitmap of the premultiplied pixels (over black).
    std::unique_ptr<TBitmap> GetAsBitmap() const;

    int32_t Width() const override { return image_ ? image_->Width() : 0; }
    int32_t Height() const override { return image_ ? image_->Height() : 0; }
    bool Transparent() const override { return true; }
    void LoadFromStream(TStream& stream) override;
    void SaveToStream(TStream& stream) const override;
    void Draw(TCanvas& canvas, const TRect& rect) const override;
    void DrawRect(TCanvas& canvas, const TRect& dest, const TRect& source) const;
    void DrawToGraphics(TkrGPGraphics& graphics, const TRect& dest, const TRect& source) const;

private:
    std::unique_ptr<TkrGPImage> image_;
};

// Registers TkrPNGImage for "PNG" (done at start-up) and takes it back.
void krInitializeGDIPlus();
void krFinalizeGDIPlus();
