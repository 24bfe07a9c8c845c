#include "navbar/kr_gdiplus.h"

#include <cstring>

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_mask.h"
#include "imaging/io/ie_io_params.h"
#include "imaging/io/ie_png.h"

bool CheckGdiPlus() { return true; }
bool GdiPlusAvailable() { return true; }

TkrGPLinearGradientBrush::TkrGPLinearGradientBrush(const TRect& rect, uint32_t color1, uint32_t color2,
                                                   TkrGPLinearGradientMode mode) {
    brush_ = TGraphicsBrush::LinearGradient(rect.Left, rect.Top, rect.Right, rect.Bottom, color1, color2, mode);
}

void TkrGPGraphics::FillRectangle(const TkrGPBrush& brush, const TRect& rect) {
    graphics_.FillRectangle(brush.NativeBrush(), rect.Left, rect.Top, rect.Right, rect.Bottom);
}

// ------------------------------------------------------------------ images

std::unique_ptr<TkrGPImage> TkrGPImage::CreateFromBitmap(const TBitmap& bitmap) {
    const bool alpha = bitmap.PixelFormat() == TPixelFormat::pf32bit;
    std::vector<uint32_t> bits(static_cast<size_t>(bitmap.Width()) * static_cast<size_t>(bitmap.Height()));
    for (int32_t y = 0; y < bitmap.Height(); ++y) {
        const uint8_t* row = bitmap.ScanLine(y);
        for (int32_t x = 0; x < bitmap.Width(); ++x)
            bits[static_cast<size_t>(y) * bitmap.Width() + x] =
                (alpha ? uint32_t{row[x * 4 + 3]} << 24 : 0) | (bitmap.PixelColor(row, x) & 0xFFFFFF);
    }
    return CreateFromBits(bitmap.Width(), bitmap.Height(), std::move(bits), alpha);
}

std::unique_ptr<TkrGPImage> TkrGPImage::CreateFromBits(int32_t width, int32_t height, std::vector<uint32_t> bits,
                                                       bool hasAlpha) {
    auto image = std::make_unique<TkrGPImage>();
    if (width <= 0 || height <= 0 || bits.size() < static_cast<size_t>(width) * static_cast<size_t>(height)) return image;
    // The bits are taken as premultiplied; without alpha they are opaque.
    if (!hasAlpha)
        for (uint32_t& p : bits) p |= 0xFF000000;
    image->width_ = width;
    image->height_ = height;
    image->bits_ = std::move(bits);
    return image;
}

std::unique_ptr<TkrGPImage> TkrGPImage::CreateFromStream(TStream& stream) {
    auto image = std::make_unique<TkrGPImage>();
    if (!CheckGdiPlus() || stream.Remaining() <= 13) return image;
    const int64_t start = stream.GetPosition();
    uint8_t head[14];
    stream.ReadBuffer(head, 14);
    stream.SetPosition(start);
    if (head[0] == 'B' && head[1] == 'M') {
        std::vector<uint8_t> file(static_cast<size_t>(stream.Remaining()));
        stream.ReadBuffer(file.data(), static_cast<int64_t>(file.size()));
        TBitmap bitmap;
        ReadBitmapFile(bitmap, file.data(), file.size());
        return CreateFromBitmap(bitmap);
    }
    image->LoadFromStream(stream);
    return image;
}

void TkrGPImage::LoadFromStream(TStream& stream) {
    TIEBitmap picture;
    TIOParamsVals params;
    TIEProgressRec progress;
    bool aborted = false;
    progress.AbortFlag = &aborted;
    IEReadPNGStream(stream, picture, params, false, progress);
    width_ = height_ = 0;
    bits_.clear();
    if (aborted || picture.GetWidth() <= 0 || picture.GetHeight() <= 0) return;
    const int32_t w = picture.GetWidth(), h = picture.GetHeight();
    TIEBitmap* alpha = picture.GetHasAlphaChannel() ? picture.GetAlphaChannel() : nullptr;
    std::vector<uint32_t> bits(static_cast<size_t>(w) * static_cast<size_t>(h));
    for (int32_t y = 0; y < h; ++y) {
        const uint8_t* a = alpha ? alpha->GetScanline(y) : nullptr;
        for (int32_t x = 0; x < w; ++x) {
            const TRGB c = picture.GetPixelRGB(x, y);
            const uint32_t opacity = a ? a[x] : 255;
            auto pre = [&](uint8_t v) { return (uint32_t{v} * opacity + 127) / 255; };
            bits[static_cast<size_t>(y) * w + x] = opacity << 24 | pre(c.r) << 16 | pre(c.g) << 8 | pre(c.b);
        }
    }
    width_ = w;
    height_ = h;
    bits_ = std::move(bits);
}

void TkrGPImage::SaveToStream(TStream& stream) const {
    if (Empty()) return;
    TIEBitmap picture(width_, height_, ie24RGB);
    TIEMask mask;
    mask.AllocateBits(width_, height_, 8);
    for (int32_t y = 0; y < height_; ++y) {
        uint8_t* row = picture.GetScanline(y);
        for (int32_t x = 0; x < width_; ++x) {
            const uint32_t p = bits_[static_cast<size_t>(y) * width_ + x];
            const uint32_t a = p >> 24;
            auto straight = [&](int shift) {
                const uint32_t v = (p >> shift) & 255;
                return static_cast<uint8_t>(a == 0 ? 0 : std::min<uint32_t>(255, (v * 255 + a / 2) / a));
            };
            row[x * 3] = straight(0);
            row[x * 3 + 1] = straight(8);
            row[x * 3 + 2] = straight(16);
            mask.SetPixel(x, y, static_cast<int32_t>(a));
        }
    }
    mask.SyncFull();
    TIOParamsVals params;
    params.SamplesPerPixel = 3;
    params.BitsPerSample = 8;
    TIEProgressRec progress;
    bool aborted = false;
    progress.AbortFlag = &aborted;
    IEWritePNGStream(stream, picture, params, &mask, progress);
}

std::unique_ptr<TkrGPImage> TkrGPImage::Clone() const {
    auto copy = std::make_unique<TkrGPImage>();
    copy->width_ = width_;
    copy->height_ = height_;
    copy->bits_ = bits_;
    return copy;
}

// ------------------------------------------------------------------ the PNG picture

std::unique_ptr<TBitmap> TkrPNGImage::GetAsBitmap() const {
    auto bitmap = std::make_unique<TBitmap>();
    bitmap->SetPixelFormat(TPixelFormat::pf32bit);
    bitmap->SetSize(Width(), Height());
    for (int32_t y = 0; y < Height(); ++y)
        std::memcpy(bitmap->ScanLine(y), image_->Bits().data() + static_cast<size_t>(y) * Width(),
                    static_cast<size_t>(Width()) * 4);
    return bitmap;
}

void TkrPNGImage::LoadFromStream(TStream& stream) {
    if (stream.GetSize() != 0) image_ = TkrGPImage::CreateFromStream(stream);
    else image_.reset();
}

void TkrPNGImage::SaveToStream(TStream& stream) const {
    if (!image_) return;
    TMemoryStream encoded;
    image_->SaveToStream(encoded);
    stream.WriteBuffer(encoded.Memory(), encoded.GetSize());
}

void TkrPNGImage::Draw(TCanvas& canvas, const TRect& rect) const { DrawRect(canvas, rect, TRect{0, 0, Width(), Height()}); }

void TkrPNGImage::DrawRect(TCanvas& canvas, const TRect& dest, const TRect& source) const {
    if (!image_) return;
    TkrGPGraphics graphics(canvas);
    DrawToGraphics(graphics, dest, source);
}

void TkrPNGImage::DrawToGraphics(TkrGPGraphics& graphics, const TRect& dest, const TRect& source) const {
    if (!image_ || image_->Empty()) return;
    int32_t sw = RectWidth(source), sh = RectHeight(source);
    const int32_t dw = RectWidth(dest), dh = RectHeight(dest);
    if (sw < 1 || sh < 1 || dw < 1 || dh < 1) return;
    // Enlarging samples one pixel short of the edge, so that the last
    // column and row are not blended with what lies beyond.
    if (dw > sw && sw > 1) --sw;
    if (dh > sh && sh > 1) --sh;
    graphics.Native().DrawImage(image_->Bits().data(), image_->Width(), image_->Height(), source.Left, source.Top, sw,
                                sh, dest.Left, dest.Top, dw, dh);
}

void krInitializeGDIPlus() {
    if (!CheckGdiPlus() || GraphicFormatOf("x.png")) return;
    RegisterFileFormat("PNG", "PNG graphics from Kestrowe", "TkrPNGImage", [] { return std::make_unique<TkrPNGImage>(); });
}

void krFinalizeGDIPlus() { UnregisterGraphicClass("TkrPNGImage"); }

namespace {

// The class is registered when the program starts.
const bool registered = (krInitializeGDIPlus(), true);

}  // namespace
