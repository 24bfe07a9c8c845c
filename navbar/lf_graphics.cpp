#include "navbar/lf_graphics.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <strings.h>

#include "platform/errors.h"
#include "platform/ui/application.h"

namespace {

// The system's MulDiv: a * b / c rounded to the nearest, halves away from 0.
int32_t MulDiv(int32_t a, int32_t b, int32_t c) {
    if (c == 0) return -1;
    const int64_t product = int64_t{a} * b;
    const int64_t half = std::abs(int64_t{c}) / 2;
    const int64_t result = ((product < 0) != (c < 0)) ? (product - ((product < 0) ? half : -half)) / c
                                                      : (product + ((product < 0) ? -half : half)) / c;
    return static_cast<int32_t>(result);
}

}  // namespace

uint32_t FlagsToDrawTextFlags(TlfTextFlags flags) {
    uint32_t result = DT_NOPREFIX;
    if (flags & tfRight) result |= DT_RIGHT;
    if (flags & tfHCenter) result |= DT_CENTER;
    if (flags & tfBottom) result |= DT_BOTTOM;
    if (flags & tfVCenter) result |= DT_VCENTER;
    if (flags & tfSingleLine) result |= DT_SINGLELINE;
    if (flags & tfNoClip) result |= DT_NOCLIP;
    if (flags & tfExpandTabs) result |= DT_EXPANDTABS;
    if (flags & tfShowPrefix) result &= ~uint32_t{DT_NOPREFIX};
    if (flags & tfWordBreak) {
        result |= DT_WORDBREAK;
        if (!(flags & tfNoCharBreak)) result |= DT_EDITCONTROL;
    }
    if (flags & tfEndEllipsis) result |= DT_END_ELLIPSIS;
    if (flags & tfCalcRect) result |= DT_CALCRECT;
    if (flags & tfPathEllipsis) result |= DT_PATH_ELLIPSIS;
    return result;
}

namespace {

int32_t RegionOperation(TlfRegionOperation operation) {
    switch (operation) {
        case rcUnion: return RGN_OR;
        case rcDifference: return RGN_DIFF;
        case rcIntersection: return RGN_AND;
        default: return RGN_COPY;
    }
}

}  // namespace

void TlfRegion::Combine(const TlfRegion& region, TlfRegionOperation operation) {
    region_.Combine(region.region_, RegionOperation(operation));
}

// ------------------------------------------------------------------ canvas

TPoint TlfCanvas::GetDCOrigin() const {
    const TPoint viewport = GetViewportOrg(), window = GetWindowOrg();
    return {viewport.X - window.X, viewport.Y - window.Y};
}

void TlfCanvas::SetBrushColor(TColor color) {
    if (canvas_->Brush.Color != static_cast<uint32_t>(color)) canvas_->Brush.Color = static_cast<uint32_t>(color);
}

void TlfCanvas::FillRect(const TRect& r, const TBitmap* bitmap, bool excludeRect) {
    if (RectIsEmpty(r)) return;
    if (HasGlyph(bitmap)) canvas_->TileRect(r, *bitmap);
    else canvas_->FillRect(r);
    if (excludeRect) SetClipRegion(TlfRegion(r), rcDifference);
}

void TlfCanvas::FillRectColor(const TRect& r, TColor color) {
    if (color == clNone) return;
    if (color != clDefault) SetBrushColor(color);
    FillRect(r);
}

void TlfCanvas::FrameRect(const TRect& r, TColor color, int32_t lineWidth, TlfBorders borders, bool excludeFrame) {
    if (RectIsEmpty(r)) return;
    if (color != clDefault) SetBrushColor(color);
    if (borders & bLeft) FillRect({r.Left, r.Top, std::min(r.Left + lineWidth, r.Right), r.Bottom}, nullptr, excludeFrame);
    if (borders & bRight) FillRect({std::max(r.Right - lineWidth, r.Left), r.Top, r.Right, r.Bottom}, nullptr, excludeFrame);
    if (borders & bTop) FillRect({r.Left, r.Top, r.Right, std::min(r.Top + lineWidth, r.Bottom)}, nullptr, excludeFrame);
    if (borders & bBottom) FillRect({r.Left, std::max(r.Bottom - lineWidth, r.Top), r.Right, r.Bottom}, nullptr, excludeFrame);
}

void TlfCanvas::FrameAndFillRect(const TRect& rect, const TlfPaintParams& params, TlfBorders borders, TColor frameColor,
                                 int32_t lineWidth, bool excludeRect) {
    FrameRect(rect, frameColor, lineWidth, borders, excludeRect);
    TRect r = rect;
    if (borders & bLeft) r.Left += lineWidth;
    if (borders & bTop) r.Top += lineWidth;
    if (borders & bRight) r.Right -= lineWidth;
    if (borders & bBottom) r.Bottom -= lineWidth;
    SetBrushColor(params.Color);
    FillRect(r, params.Bitmap, excludeRect);
}

void TlfCanvas::DrawTwoColorFrame(const TRect& r, TColor leftTopColor, TColor rightBottomColor, TlfBorders borders,
                                  int32_t width) {
    if (borders & bLeft) {
        SetBrushColor(leftTopColor);
        FillRect({r.Left, r.Top, r.Left + width, r.Bottom});
    }
    if (borders & bTop) {
        SetBrushColor(leftTopColor);
        FillRect({r.Left, r.Top, r.Right, r.Top + width});
    }
    if (borders & bRight) {
        SetBrushColor(rightBottomColor);
        FillRect({r.Right - width, r.Top, r.Right, r.Bottom});
    }
    if (borders & bBottom) {
        SetBrushColor(rightBottomColor);
        FillRect({r.Left, r.Bottom - width, r.Right, r.Bottom});
    }
}

void TlfCanvas::DrawEdgeFrame(const TRect& r, bool sunken, bool outer, TlfBorders borders) {
    int32_t leftTop, rightBottom;
    if (sunken) {
        leftTop = outer ? COLOR_BTNSHADOW : COLOR_3DDKSHADOW;
        rightBottom = outer ? COLOR_BTNHIGHLIGHT : COLOR_3DLIGHT;
    } else {
        leftTop = outer ? COLOR_3DLIGHT : COLOR_BTNHIGHLIGHT;
        rightBottom = outer ? COLOR_3DDKSHADOW : COLOR_BTNSHADOW;
    }
    DrawTwoColorFrame(r, SysColor(leftTop), SysColor(rightBottom), borders, 1);
}

void TlfCanvas::InvertRect(const TRect& r) {
    canvas_->CopyMode = DSTINVERT;
    canvas_->CopyRect(r, canvas_->Bitmap(), r);
    canvas_->CopyMode = SRCCOPY;
}

TlfSize TlfCanvas::TextSize(const std::u16string& text) {
    const TSize size = canvas_->TextExtent(text);
    return {size.cx, size.cy};
}

void TlfCanvas::MeasureText(const std::u16string& text, TRect& r, TlfTextFlags flags) {
    const int32_t width = RectWidth(r), height = RectHeight(r);
    const uint32_t format = FlagsToDrawTextFlags(flags);
    if (width <= 0 && !text.empty()) r.Right = r.Left + 1;
    if (text.empty()) r = TRect{r.Left, r.Top, r.Left, r.Top};
    else canvas_->DrawText(text, r, (format & ~uint32_t{DT_VCENTER}) | DT_CALCRECT);
    const int32_t dx = width - RectWidth(r), dy = height - RectHeight(r);
    if (flags & tfHCenter) r = RectOffset(r, dx / 2, 0);
    else if (flags & tfRight) r = RectOffset(r, dx, 0);
    if (flags & tfVCenter) r = RectOffset(r, 0, dy / 2);
    else if (flags & tfBottom) r = RectOffset(r, 0, dy);
}

void TlfCanvas::AlignTextVertically(TRect& r, const std::u16string& text, bool noCharBreak, bool enabled,
                                    bool showPrefix, bool wordBreak, int alignment) {
    TRect box{r.Left, r.Top, r.Right - (enabled ? 0 : 1), r.Bottom};
    TlfTextFlags flags = tfLeft | tfTop;
    if (wordBreak) flags |= tfWordBreak;
    if (showPrefix) flags |= tfShowPrefix;
    if (noCharBreak) flags |= tfNoCharBreak;
    MeasureText(text, box, flags);
    const int32_t textHeight = RectHeight(box);
    if (alignment == 1) r.Top = r.Bottom - textHeight - (enabled ? 0 : 1);
    else if (alignment == 2) r.Top = (r.Top + r.Bottom - textHeight) / 2;
}

void TlfCanvas::DrawTextInRect(const std::u16string& text, TRect r, TlfTextFlags flags, bool enabled) {
    if (text.empty()) return;
    const bool multiLine = !(flags & tfSingleLine) || (flags & (tfShowPrefix | tfEndEllipsis | tfPathEllipsis));
    const TlfSize size = TextSize(text);
    if (size.cx <= RectWidth(r) && size.cy <= RectHeight(r)) flags |= tfNoClip;
    uint32_t format = 0;
    bool clipped = false;
    if (multiLine) {
        if (!(flags & tfSingleLine) && (flags & (tfBottom | tfVCenter)))
            AlignTextVertically(r, text, flags & tfNoCharBreak, enabled, flags & tfShowPrefix, flags & tfWordBreak,
                                (flags & tfBottom) ? 1 : 2);
        format = FlagsToDrawTextFlags(flags);
    } else {
        if (size.cx < RectWidth(r)) {
            if (flags & tfRight) r.Left = r.Right - size.cx - (enabled ? 0 : 1);
            else if (flags & tfHCenter) r.Left = (r.Left + r.Right - size.cx) / 2;
        }
        if (size.cy < RectHeight(r)) {
            if (flags & tfBottom) r.Top = r.Bottom - size.cy - (enabled ? 0 : 1);
            else if (flags & tfVCenter) r.Top = (r.Top + r.Bottom - size.cy) / 2;
        }
        clipped = !(flags & tfNoClip);
    }
    auto draw = [&](const TRect& at) {
        if (multiLine) {
            TRect box = at;
            canvas_->DrawText(text, box, format);
        } else {
            const int saved = canvas_->SaveDC();
            if (clipped) canvas_->IntersectClipRect(at);
            canvas_->TextOut(at.Left, at.Top, text);
            canvas_->RestoreDC(saved);
        }
    };
    const int32_t brushStyle = canvas_->Brush.Style;
    const uint32_t fontColor = canvas_->Font.Color;
    if (!enabled) {
        canvas_->Brush.Style = BS_NULL;
        canvas_->Font.Color = static_cast<uint32_t>(SysColor(COLOR_BTNHIGHLIGHT));
        draw(RectOffset(r, 1, 1));
        canvas_->Font.Color = static_cast<uint32_t>(SysColor(COLOR_BTNSHADOW));
    }
    draw(r);
    if (canvas_->Brush.Style != brushStyle) canvas_->Brush.Style = brushStyle;
    canvas_->Font.Color = fontColor;
}

void TlfCanvas::RestoreState() {
    if (saved_.empty()) return;
    canvas_->RestoreDC(saved_.back());
    saved_.pop_back();
}

std::unique_ptr<TlfRegion> TlfCanvas::GetClipRegion(bool considerOrigin) {
    TRegion region;
    if (!canvas_->GetClipRegion(region)) region = TRegion(TRect{0, 0, 30000, 30000});
    auto result = std::make_unique<TlfRegion>(std::move(region));
    if (considerOrigin) result->Offset(-GetDCOrigin().X, -GetDCOrigin().Y);
    return result;
}

void TlfCanvas::SetClipRegion(const TlfRegion& region, TlfRegionOperation operation, bool considerOrigin) {
    if (operation != rcCopy) {
        std::unique_ptr<TlfRegion> current = GetClipRegion(considerOrigin);
        current->Combine(region, operation);
        SetClipRegion(*current, rcCopy, considerOrigin);
        return;
    }
    TRegion selected = region.Handle();
    if (considerOrigin) selected.Offset(GetDCOrigin().X, GetDCOrigin().Y);
    canvas_->SelectClipRegion(&selected);
}

TlfScreenCanvas::TlfScreenCanvas() {
    const TRect screen = Application().Backend().ScreenRect();
    screen_.SetPixelFormat(TPixelFormat::pf32bit);
    screen_.SetSize(RectWidth(screen), RectHeight(screen));
    canvas_ = std::make_unique<TCanvas>(screen_);
    SetCanvas(*canvas_);
}

TlfScreenCanvas& ScreenCanvas() {
    static TlfScreenCanvas screen;
    return screen;
}

// ------------------------------------------------------------------ bitmaps

TlfCustomBitmap::TlfCustomBitmap(int32_t width, int32_t height, TPixelFormat format) {
    Initialize(width, height, format);
}

void TlfCustomBitmap::Initialize(int32_t width, int32_t height, TPixelFormat format) {
    canvas_ = std::make_unique<TCanvas>(*this);
    lfCanvas_ = std::make_unique<TlfCanvas>(*canvas_);
    TBitmap::OnChange = [this](TBitmap&) { BitmapChanged(); };
    BeginUpdate();
    SetPixelFormat(format);
    TBitmap::SetSize(width, height);
    EndUpdate(true);
}

void TlfCustomBitmap::BitmapChanged() {
    // The canvas's clip follows the bitmap's size.
    const TRect clip = canvas_->ClipRect();
    // Without a clip of its own the canvas draws on the whole bitmap, at
    // whatever size it now has.
    TRegion own;
    if (!canvas_->GetClipRegion(own) || clip.Right > Width() || clip.Bottom > Height()) canvas_->ResetClip();
    if (updateLock_ > 0) {
        modified_ = true;
        return;
    }
    if (OnChanged) OnChanged(*this);
    Update();
    modified_ = false;
}

void TlfCustomBitmap::EndUpdate(bool force) {
    if (updateLock_ > 0) --updateLock_;
    if (updateLock_ == 0 && (force || modified_)) BitmapChanged();
}

void TlfCustomBitmap::SetSize(int32_t width, int32_t height) {
    BeginUpdate();
    TBitmap::SetSize(width, height);
    EndUpdate(false);
}

void TlfCustomBitmap::Clear() {
    for (int32_t y = 0; y < Height(); ++y) std::memset(ScanLine(y), 0, static_cast<size_t>(RowBytes()));
    Changed();
}

void TlfCustomBitmap::Rotate(int angle, bool flipVertically) {
    BeginUpdate();
    RotateBitmap(*this, angle, flipVertically);
    EndUpdate(true);
}

void RotateBitmap(TBitmap& bitmap, int angle, bool flip) {
    if (angle == 0 && !flip) return;
    const int32_t w = bitmap.Width(), h = bitmap.Height();
    if (w == 0 || h == 0) return;
    const int bits = PixelFormatStorageBits(bitmap.PixelFormat());
    const size_t bytes = bits >= 8 ? static_cast<size_t>(bits / 8) : 0;
    auto read = [&](int32_t x, int32_t y) -> uint32_t {
        const uint8_t* row = bitmap.ScanLine(y);
        if (!bytes) return bitmap.PixelColor(row, x);
        uint32_t value = 0;
        std::memcpy(&value, row + x * bytes, bytes);
        return value;
    };
    std::vector<uint32_t> source(static_cast<size_t>(w) * static_cast<size_t>(h)), dest(source.size());
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) source[static_cast<size_t>(y) * w + x] = read(x, y);
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
            int64_t index;
            switch (angle) {
                case 1: index = flip ? y + int64_t{h} * x : y + int64_t{h} * (w - x - 1); break;
                case 2: index = flip ? int64_t{h} * (w - x) - y - 1 : int64_t{h} * (x + 1) - y - 1; break;
                case 3: index = flip ? int64_t{w} * (y + 1) - x - 1 : int64_t{w} * (h - y) - x - 1; break;
                default: index = x + int64_t{w} * (h - y - 1); break;
            }
            dest[static_cast<size_t>(index)] = source[static_cast<size_t>(y) * w + x];
        }
    const int32_t newWidth = (angle == 1 || angle == 2) ? h : w, newHeight = (angle == 1 || angle == 2) ? w : h;
    if (newWidth != w) {
        bitmap.SetHeight(0);
        bitmap.SetSize(newWidth, newHeight);
    }
    for (int32_t y = 0; y < newHeight; ++y) {
        uint8_t* row = bitmap.ScanLine(y);
        for (int32_t x = 0; x < newWidth; ++x) {
            const uint32_t value = dest[static_cast<size_t>(y) * newWidth + x];
            if (bytes) std::memcpy(row + x * bytes, &value, bytes);
            else bitmap.SetPixelColor(row, x, value);
        }
    }
    bitmap.Changed();
}

std::vector<uint8_t> CompressBitmapData(const uint8_t* data, size_t size) {
    std::vector<uint8_t> out;
    size_t i = 0;
    while (i < size) {
        size_t end;
        if (i + 1 < size && data[i] == data[i + 1]) {
            end = i;
            while (end < size && data[end] == data[i] && end - i < 125) ++end;
            out.push_back(static_cast<uint8_t>(end - i));
            out.push_back(data[i]);
        } else {
            end = i + 1;
            while (end < size && end - i < 125 && data[end] != data[end - 1]) ++end;
            // A byte equal to its predecessor starts a run with it.
            if (end < size && end - i > 1 && data[end] == data[end - 1]) --end;
            out.push_back(static_cast<uint8_t>(0x80 | (end - i)));
            out.insert(out.end(), data + i, data + end);
        }
        i = end;
    }
    return out;
}

std::vector<uint8_t> DecompressBitmapData(const uint8_t* data, size_t size) {
    std::vector<uint8_t> out;
    size_t i = 0;
    while (i < size) {
        const uint8_t control = data[i++];
        const size_t count = control & 0x7F;
        if (control & 0x80) {
            if (count > size - i) throw EReadError("Bitmap data are damaged");
            out.insert(out.end(), data + i, data + i + count);
            i += count;
        } else {
            if (i >= size) throw EReadError("Bitmap data are damaged");
            out.insert(out.end(), count, data[i++]);
        }
    }
    return out;
}

namespace {


void PutLE(std::vector<uint8_t>& out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

uint32_t GetLE(const uint8_t* p, int bytes) {
    uint32_t value = 0;
    for (int i = bytes - 1; i >= 0; --i) value = value << 8 | p[i];
    return value;
}

// The plain form: the byte count of a BMP file, then the file (24 or 32
// bits per pixel, rows bottom-up).
std::vector<uint8_t> PlainBitmapData(const TBitmap& bitmap) {
    const bool alpha = bitmap.PixelFormat() == TPixelFormat::pf32bit;
    const int bits = alpha ? 32 : 24;
    const int32_t w = bitmap.Width(), h = bitmap.Height();
    const int32_t rowBytes = BitmapRowBytes(w, bits);
    const uint32_t imageBytes = static_cast<uint32_t>(rowBytes) * static_cast<uint32_t>(h);
    std::vector<uint8_t> file;
    file.push_back('B');
    file.push_back('M');
    PutLE(file, 54 + imageBytes, 4);
    PutLE(file, 0, 4);
    PutLE(file, 54, 4);
    PutLE(file, 40, 4);
    PutLE(file, static_cast<uint32_t>(w), 4);
    PutLE(file, static_cast<uint32_t>(h), 4);
    PutLE(file, 1, 2);
    PutLE(file, static_cast<uint32_t>(bits), 2);
    for (int i = 0; i < 6; ++i) PutLE(file, 0, 4);
    for (int32_t y = h - 1; y >= 0; --y) {
        const uint8_t* row = bitmap.ScanLine(y);
        const size_t start = file.size();
        for (int32_t x = 0; x < w; ++x) {
            const uint32_t rgb = bitmap.PixelColor(row, x);
            file.push_back(static_cast<uint8_t>(rgb));
            file.push_back(static_cast<uint8_t>(rgb >> 8));
            file.push_back(static_cast<uint8_t>(rgb >> 16));
            if (alpha) file.push_back(row[x * 4 + 3]);
        }
        file.resize(start + static_cast<size_t>(rowBytes), 0);
    }
    std::vector<uint8_t> out;
    PutLE(out, static_cast<uint32_t>(file.size()), 4);
    out.insert(out.end(), file.begin(), file.end());
    return out;
}

void ReadPlainBitmap(TBitmap& bitmap, const uint8_t* data, size_t size) {
    if (size < 4 || GetLE(data, 4) > size - 4) throw EReadError("Bitmap data are damaged");
    ReadBitmapFile(bitmap, data + 4, GetLE(data, 4));
}

constexpr char kSignature[4] = {'R', 'K', 'B', 'M'};

}  // namespace

void ReadBitmapFile(TBitmap& bitmap, const uint8_t* file, size_t fileSize) {
    auto fail = [] { throw EReadError("Bitmap data are damaged"); };
    if (fileSize < 54) fail();
    if (file[0] != 'B' || file[1] != 'M') fail();
    const uint32_t offset = GetLE(file + 10, 4);
    const int32_t w = static_cast<int32_t>(GetLE(file + 18, 4)), rawHeight = static_cast<int32_t>(GetLE(file + 22, 4));
    const int bits = static_cast<int>(GetLE(file + 28, 2));
    const uint32_t compression = GetLE(file + 30, 4);
    if ((bits != 24 && bits != 32) || compression != 0 || w < 0 || w > 1 << 16 || rawHeight == INT32_MIN) fail();
    const int32_t h = std::abs(rawHeight);
    if (h > 1 << 16) fail();
    const size_t rowBytes = static_cast<size_t>(BitmapRowBytes(w, bits));
    if (offset > fileSize || rowBytes * static_cast<size_t>(h) > fileSize - offset) fail();
    bitmap.SetPixelFormat(bits == 32 ? TPixelFormat::pf32bit : TPixelFormat::pf24bit);
    bitmap.SetSize(w, h);
    // A picture without columns has no rows to copy (and no row memory).
    for (int32_t y = 0; w > 0 && y < h; ++y) {
        const uint8_t* in = file + offset + rowBytes * static_cast<size_t>(rawHeight > 0 ? h - 1 - y : y);
        std::memcpy(bitmap.ScanLine(y), in, static_cast<size_t>(w) * static_cast<size_t>(bits / 8));
    }
    bitmap.Changed();
}

void TlfCustomBitmap::WriteData(TStream& stream) const {
    const std::vector<uint8_t> plain = PlainBitmapData(*this);
    if (!CompressData) {
        stream.WriteBuffer(plain.data(), static_cast<int64_t>(plain.size()));
        return;
    }
    const std::vector<uint8_t> packed = CompressBitmapData(plain.data(), plain.size());
    std::vector<uint8_t> header;
    PutLE(header, static_cast<uint32_t>(packed.size()), 4);
    header.insert(header.end(), kSignature, kSignature + 4);
    PutLE(header, 1, 2);
    stream.WriteBuffer(header.data(), static_cast<int64_t>(header.size()));
    stream.WriteBuffer(packed.data(), static_cast<int64_t>(packed.size()));
}

void TlfCustomBitmap::ReadData(TStream& stream) {
    const int64_t start = stream.GetPosition();
    uint8_t header[10] = {};
    const bool compressed = stream.Read(header, 10) == 10 && std::memcmp(header + 4, kSignature, 4) == 0;
    std::vector<uint8_t> plain;
    if (compressed) {
        const uint32_t count = GetLE(header, 4);
        if (count > stream.Remaining()) throw EReadError("Bitmap data are damaged");
        std::vector<uint8_t> packed(count);
        stream.ReadBuffer(packed.data(), count);
        plain = DecompressBitmapData(packed.data(), packed.size());
    } else {
        stream.SetPosition(start);
        uint8_t size[4];
        stream.ReadBuffer(size, 4);
        const uint32_t count = GetLE(size, 4);
        if (count > stream.Remaining()) throw EReadError("Bitmap data are damaged");
        plain.assign(size, size + 4);
        plain.resize(4 + static_cast<size_t>(count));
        stream.ReadBuffer(plain.data() + 4, count);
    }
    BeginUpdate();
    ReadPlainBitmap(*this, plain.data(), plain.size());
    EndUpdate(true);
}

// ------------------------------------------------------------------ the 32-bit bitmap

TlfBitmap::TlfBitmap(int32_t width, int32_t height) : TlfCustomBitmap(width, height, TPixelFormat::pf32bit) { Clear(); }

void TlfBitmap::Clear() {
    const uint32_t value = (TransparentBkColor >> 24) ? TransparentBkColor : 0;
    SetPixels(std::vector<uint32_t>(static_cast<size_t>(Width()) * static_cast<size_t>(Height()), value));
}

std::vector<uint32_t> TlfBitmap::GetPixels() const {
    std::vector<uint32_t> pixels(static_cast<size_t>(Width()) * static_cast<size_t>(Height()));
    for (int32_t y = 0; y < Height(); ++y)
        std::memcpy(pixels.data() + static_cast<size_t>(y) * Width(), ScanLine(y), static_cast<size_t>(Width()) * 4);
    return pixels;
}

void TlfBitmap::SetPixels(const std::vector<uint32_t>& pixels) {
    if (pixels.size() < static_cast<size_t>(Width()) * static_cast<size_t>(Height())) return;
    for (int32_t y = 0; y < Height(); ++y)
        std::memcpy(ScanLine(y), pixels.data() + static_cast<size_t>(y) * Width(), static_cast<size_t>(Width()) * 4);
    Changed();
}

bool TlfBitmap::IsTransparent(uint32_t pixel) const {
    return pixel == TransparentBkColor ||
           std::find(TransparentPixels.begin(), TransparentPixels.end(), pixel & 0xFFFFFF) != TransparentPixels.end();
}

namespace {

uint32_t Channel(uint32_t pixel, int shift) { return (pixel >> shift) & 255; }

uint32_t Grey(uint32_t pixel, double r, double g, double b) {
    const uint32_t grey = static_cast<uint32_t>(
        ClampChannel(static_cast<int>(std::nearbyint(r * Channel(pixel, 16) + g * Channel(pixel, 8) + b * Channel(pixel, 0)))));
    return (pixel & 0xFF000000) | grey << 16 | grey << 8 | grey;
}

}  // namespace

void TlfBitmap::ApplyFilter(TlfBitmapFilter kind) {
    std::vector<uint32_t> pixels = GetPixels();
    const uint32_t shadow = ColorToARGB(SysColor(COLOR_BTNSHADOW), 0xC0);
    const int32_t w = Width(), h = Height();
    const int32_t size = std::max<int32_t>(1, CheckerSize);
    for (int32_t x = 0; x < w; ++x)
        for (int32_t y = 0; y < h; ++y) {
            uint32_t& p = pixels[static_cast<size_t>(y) * w + x];
            const bool transparent = IsTransparent(p);
            switch (kind) {
                case bfLighten:
                    if (transparent) break;
                    if ((p >> 24) == 255) {
                        uint32_t out = 0xFF000000;
                        for (int s = 0; s < 24; s += 8) out |= (Channel(p, s) + (255 - Channel(p, s)) * 3 / 10) << s;
                        p = out;
                    } else {
                        uint32_t out = 0;
                        for (int s = 0; s < 32; s += 8) out |= (Channel(p, s) * 200 / 255) << s;
                        p = out;
                    }
                    break;
                case bfShadowGrey:
                    if (!transparent) p = BlendPixel(shadow, Grey(p, 0.299, 0.587, 0.114), 238);
                    break;
                case bfMean:
                    if (!transparent) {
                        const uint32_t mean = (Channel(p, 16) + Channel(p, 8) + Channel(p, 0)) / 3;
                        p = (p & 0xFF000000) | mean << 16 | mean << 8 | mean;
                    }
                    break;
                case bfOpaque: p |= 0xFF000000; break;
                case bfMask: p = transparent ? 0xFFFFFFFF : 0; break;
                case bfGrey:
                    if (!transparent) p = Grey(p, 0.299, 0.587, 0.114);
                    break;
                case bfGreyLuminance:
                    if (!transparent) p = Grey(p, 0.0729, 0.7146, 0.2125);
                    break;
                case bfAlphaFromZero:
                    if (!transparent && (p >> 24) == 0) p |= 0xFF000000;
                    break;
                case bfChecker:
                    p = ((x / size + y / size) % 2) ? BlendPixel(CheckerColor2, p, CheckerOpacity2)
                                                    : BlendPixel(CheckerColor1, p, CheckerOpacity1);
                    break;
                case bfClear: p = TransparentBkColor; break;
            }
        }
    SetPixels(pixels);
}

// ------------------------------------------------------------------ colours

bool HasGlyph(const TBitmap* bitmap) { return bitmap && !bitmap->Empty(); }

namespace {

// A child window's border as it shows it: the sunken client edge, or a
// flat line in the window-frame colour.
void DrawChildBorder(TCanvas& canvas, TWinControl& child, const TRect& bounds) {
    const int32_t width = child.BorderWidth();
    if (width <= 0) return;
    const TCreateParams& params = child.Params();
    TlfCanvas edges(canvas);
    if (params.ExStyle & WS_EX_CLIENTEDGE) {
        edges.DrawEdgeFrame(bounds, true, true);
        if (width > 1) edges.DrawEdgeFrame({bounds.Left + 1, bounds.Top + 1, bounds.Right - 1, bounds.Bottom - 1}, true, false);
    } else {
        edges.FrameRect(bounds, GetSysColor(COLOR_WINDOWFRAME), width);
    }
}

}  // namespace

void DrawParentBackground(TControl& control, TCanvas& canvas, const TRect& r, bool paintChildren) {
    TWinControl* parent = control.Parent();
    if (!parent || r.Right <= r.Left || r.Bottom <= r.Top) return;
    // The parent's client point (x, y) lands on the canvas at (x - dx, y - dy).
    const int32_t dx = control.Left(), dy = control.Top();
    const int saved = canvas.SaveDC();
    canvas.IntersectClipRect(r);
    parent->PaintTo(canvas, -dx, -dy);
    if (paintChildren) {
        for (int i = 0; i < parent->ControlCount(); ++i) {
            TControl* child = parent->Controls(i);
            if (child == &control) break;
            auto* window = dynamic_cast<TWinControl*>(child);
            if (!window || !window->Visible()) continue;
            const TRect bounds{child->Left() - dx, child->Top() - dy, child->Left() + child->Width() - dx,
                               child->Top() + child->Height() - dy};
            if (bounds.Right <= r.Left || bounds.Left >= r.Right || bounds.Bottom <= r.Top || bounds.Top >= r.Bottom) continue;
            const int inner = canvas.SaveDC();
            DrawChildBorder(canvas, *window, bounds);
            const int32_t border = window->BorderWidth();
            canvas.IntersectClipRect({bounds.Left + border, bounds.Top + border, bounds.Right - border, bounds.Bottom - border});
            window->PaintTo(canvas, bounds.Left + border, bounds.Top + border);
            canvas.RestoreDC(inner);
        }
    }
    canvas.RestoreDC(saved);
}

TColor NearestScreenColor(TColor color) {
    // The screen shows every 24-bit colour.
    return ColorToRGB(color);
}

TColor MixSelectionColor(int8_t facePercent, int8_t highlightPercent, int8_t windowPercent) {
    const TColor face = ColorToRGB(SysColor(COLOR_BTNFACE)), highlight = ColorToRGB(SysColor(COLOR_HIGHLIGHT)),
                 window = ColorToRGB(SysColor(COLOR_WINDOW));
    if (face == 0 || face == 0xFFFFFF) return highlight;
    TColor result = 0;
    for (int shift = 0; shift < 24; shift += 8) {
        const int channel = MulDiv((face >> shift) & 255, facePercent, 100) + MulDiv((highlight >> shift) & 255, highlightPercent, 100) +
                            MulDiv((window >> shift) & 255, windowPercent, 100);
        result |= ClampChannel(channel) << shift;
    }
    return result;
}

TColor HotSelectionColor() { return NearestScreenColor(MixSelectionColor(-2, 30, 72)); }
TColor PressedSelectionColor() { return NearestScreenColor(MixSelectionColor(14, 44, 40)); }

uint32_t ColorToARGB(TColor color, uint8_t alpha) {
    const TColor rgb = ColorToRGB(color);
    return uint32_t{alpha} << 24 | uint32_t{RedOf(rgb)} << 16 | uint32_t{GreenOf(rgb)} << 8 | BlueOf(rgb);
}

uint32_t BlendPixel(uint32_t argb, uint32_t pixel, uint8_t opacity) {
    const double c = opacity / 255.0, d = c * Channel(argb, 24), e = 1 - d / 255;
    uint32_t out = 0;
    for (int s = 0; s < 24; s += 8)
        out |= static_cast<uint32_t>(ClampChannel(static_cast<int>(std::lround(c * Channel(argb, s) + e * Channel(pixel, s))))) << s;
    out |= static_cast<uint32_t>(ClampChannel(static_cast<int>(std::lround(d + e * Channel(pixel, 24))))) << 24;
    return out;
}

namespace {

struct TNamedColor {
    const char* Name;
    TColor Color;
};

// The CSS colour keywords (light grey spelled only "lightgrey"), then the
// CSS2 system-colour keywords.
const TNamedColor kNamedColors[] = {
    {"aliceblue", 0xFFF8F0},
    {"antiquewhite", 0xD7EBFA},
    {"aqua", 0xFFFF00},
    {"aquamarine", 0xD4FF7F},
    {"azure", 0xFFFFF0},
    {"beige", 0xDCF5F5},
    {"bisque", 0xC4E4FF},
    {"black", 0x000000},
    {"blanchedalmond", 0xCDEBFF},
    {"blue", 0xFF0000},
    {"blueviolet", 0xE22B8A},
    {"brown", 0x2A2AA5},
    {"burlywood", 0x87B8DE},
    {"cadetblue", 0xA09E5F},
    {"chartreuse", 0x00FF7F},
    {"chocolate", 0x1E69D2},
    {"coral", 0x507FFF},
    {"cornflowerblue", 0xED9564},
    {"cornsilk", 0xDCF8FF},
    {"crimson", 0x3C14DC},
    {"cyan", 0xFFFF00},
    {"darkblue", 0x8B0000},
    {"darkcyan", 0x8B8B00},
    {"darkgoldenrod", 0x0B86B8},
    {"darkgray", 0xA9A9A9},
    {"darkgreen", 0x006400},
    {"darkkhaki", 0x6BB7BD},
    {"darkmagenta", 0x8B008B},
    {"darkolivegreen", 0x2F6B55},
    {"darkorange", 0x008CFF},
    {"darkorchid", 0xCC3299},
    {"darkred", 0x00008B},
    {"darksalmon", 0x7A96E9},
    {"darkseagreen", 0x8FBC8F},
    {"darkslateblue", 0x8B3D48},
    {"darkslategray", 0x4F4F2F},
    {"darkturquoise", 0xD1CE00},
    {"darkviolet", 0xD30094},
    {"deeppink", 0x9314FF},
    {"deepskyblue", 0xFFBF00},
    {"dimgray", 0x696969},
    {"dodgerblue", 0xFF901E},
    {"firebrick", 0x2222B2},
    {"floralwhite", 0xF0FAFF},
    {"forestgreen", 0x228B22},
    {"fuchsia", 0xFF00FF},
    {"gainsboro", 0xDCDCDC},
    {"ghostwhite", 0xFFF8F8},
    {"gold", 0x00D7FF},
    {"goldenrod", 0x20A5DA},
    {"gray", 0x808080},
    {"green", 0x008000},
    {"greenyellow", 0x2FFFAD},
    {"honeydew", 0xF0FFF0},
    {"hotpink", 0xB469FF},
    {"indianred", 0x5C5CCD},
    {"indigo", 0x82004B},
    {"ivory", 0xF0FFFF},
    {"khaki", 0x8CE6F0},
    {"lavender", 0xFAE6E6},
    {"lavenderblush", 0xF5F0FF},
    {"lawngreen", 0x00FC7C},
    {"lemonchiffon", 0xCDFAFF},
    {"lightblue", 0xE6D8AD},
    {"lightcoral", 0x8080F0},
    {"lightcyan", 0xFFFFE0},
    {"lightgoldenrodyellow", 0xD2FAFA},
    {"lightgreen", 0x90EE90},
    {"lightgrey", 0xD3D3D3},
    {"lightpink", 0xC1B6FF},
    {"lightsalmon", 0x7AA0FF},
    {"lightseagreen", 0xAAB220},
    {"lightskyblue", 0xFACE87},
    {"lightslategray", 0x998877},
    {"lightsteelblue", 0xDEC4B0},
    {"lightyellow", 0xE0FFFF},
    {"lime", 0x00FF00},
    {"limegreen", 0x32CD32},
    {"linen", 0xE6F0FA},
    {"magenta", 0xFF00FF},
    {"maroon", 0x000080},
    {"mediumaquamarine", 0xAACD66},
    {"mediumblue", 0xCD0000},
    {"mediumorchid", 0xD355BA},
    {"mediumpurple", 0xDB7093},
    {"mediumseagreen", 0x71B33C},
    {"mediumslateblue", 0xEE687B},
    {"mediumspringgreen", 0x9AFA00},
    {"mediumturquoise", 0xCCD148},
    {"mediumvioletred", 0x8515C7},
    {"midnightblue", 0x701919},
    {"mintcream", 0xFAFFF5},
    {"mistyrose", 0xE1E4FF},
    {"moccasin", 0xB5E4FF},
    {"navajowhite", 0xADDEFF},
    {"navy", 0x800000},
    {"oldlace", 0xE6F5FD},
    {"olive", 0x008080},
    {"olivedrab", 0x238E6B},
    {"orange", 0x00A5FF},
    {"orangered", 0x0045FF},
    {"orchid", 0xD670DA},
    {"palegoldenrod", 0xAAE8EE},
    {"palegreen", 0x98FB98},
    {"paleturquoise", 0xEEEEAF},
    {"palevioletred", 0x9370DB},
    {"papayawhip", 0xD5EFFF},
    {"peachpuff", 0xB9DAFF},
    {"peru", 0x3F85CD},
    {"pink", 0xCBC0FF},
    {"plum", 0xDDA0DD},
    {"powderblue", 0xE6E0B0},
    {"purple", 0x800080},
    {"red", 0x0000FF},
    {"rosybrown", 0x8F8FBC},
    {"royalblue", 0xE16941},
    {"saddlebrown", 0x13458B},
    {"salmon", 0x7280FA},
    {"sandybrown", 0x60A4F4},
    {"seagreen", 0x578B2E},
    {"seashell", 0xEEF5FF},
    {"sienna", 0x2D52A0},
    {"silver", 0xC0C0C0},
    {"skyblue", 0xEBCE87},
    {"slateblue", 0xCD5A6A},
    {"slategray", 0x908070},
    {"snow", 0xFAFAFF},
    {"springgreen", 0x7FFF00},
    {"steelblue", 0xB48246},
    {"tan", 0x8CB4D2},
    {"teal", 0x808000},
    {"thistle", 0xD8BFD8},
    {"tomato", 0x4763FF},
    {"turquoise", 0xD0E040},
    {"violet", 0xEE82EE},
    {"wheat", 0xB3DEF5},
    {"white", 0xFFFFFF},
    {"whitesmoke", 0xF5F5F5},
    {"yellow", 0x00FFFF},
    {"yellowgreen", 0x32CD9A},
    {"activeborder", SysColor(COLOR_ACTIVEBORDER)}, {"activecaption", SysColor(COLOR_ACTIVECAPTION)},
    {"appworkspace", SysColor(COLOR_APPWORKSPACE)}, {"background", SysColor(COLOR_BACKGROUND)},
    {"buttonface", SysColor(COLOR_BTNFACE)}, {"buttonhighlight", SysColor(COLOR_BTNHIGHLIGHT)},
    {"buttonshadow", SysColor(COLOR_BTNSHADOW)}, {"buttontext", SysColor(COLOR_BTNTEXT)},
    {"captiontext", SysColor(COLOR_CAPTIONTEXT)}, {"graytext", SysColor(COLOR_GRAYTEXT)},
    {"highlight", SysColor(COLOR_HIGHLIGHT)}, {"highlighttext", SysColor(COLOR_HIGHLIGHTTEXT)},
    {"inactiveborder", SysColor(COLOR_INACTIVEBORDER)}, {"inactivecaption", SysColor(COLOR_INACTIVECAPTION)},
    {"inactivecaptiontext", SysColor(COLOR_INACTIVECAPTIONTEXT)}, {"infobackground", SysColor(COLOR_INFOBK)},
    {"infotext", SysColor(COLOR_INFOTEXT)}, {"menu", SysColor(COLOR_MENU)}, {"menutext", SysColor(COLOR_MENUTEXT)},
    {"scrollbar", SysColor(COLOR_SCROLLBAR)}, {"threeddarkshadow", SysColor(COLOR_3DDKSHADOW)},
    {"threedface", SysColor(COLOR_BTNFACE)}, {"threedhighlight", SysColor(COLOR_HIGHLIGHTTEXT)},
    {"threedlightshadow", SysColor(COLOR_3DLIGHT)}, {"threedshadow", SysColor(COLOR_BTNSHADOW)},
    {"window", SysColor(COLOR_WINDOW)}, {"windowframe", SysColor(COLOR_WINDOWFRAME)},
    {"windowtext", SysColor(COLOR_WINDOWTEXT)},
};
static_assert(sizeof kNamedColors / sizeof kNamedColors[0] == 168);

}  // namespace

bool ColorByName(const std::string& name, TColor& color) {
    for (const TNamedColor& entry : kNamedColors)
        if (strcasecmp(entry.Name, name.c_str()) == 0) {
            color = entry.Color;
            return true;
        }
    return false;
}
