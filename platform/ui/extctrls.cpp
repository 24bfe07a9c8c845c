#include "platform/ui/extctrls.h"

#include <algorithm>
#include <cctype>
#include <map>

#include "platform/canvas.h"
#include "platform/errors.h"

namespace {
std::map<std::string, TPictureLoader>& Loaders() {
    static std::map<std::string, TPictureLoader> loaders;
    return loaders;
}
}  // namespace

void RegisterPictureLoader(const std::string& extension, TPictureLoader loader) {
    Loaders()[extension] = std::move(loader);
}

void UnregisterPictureLoader(const std::string& extension) { Loaders().erase(extension); }

// ---------------------------------------------------------------- TPicture

void TPicture::Assign(const TBitmap& bitmap) {
    bitmap_ = bitmap;
    Changed();
}

void TPicture::Changed() {
    if (OnChange) OnChange(this);
}

void TPicture::LoadFromFile(const std::string& fileName) {
    const size_t dot = fileName.find_last_of('.');
    const size_t slash = fileName.find_last_of('/');
    std::string extension = dot == std::string::npos || (slash != std::string::npos && dot < slash)
                                ? std::string()
                                : fileName.substr(dot + 1);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    auto at = Loaders().find(extension);
    if (at == Loaders().end()) throw Exception("Unknown picture file extension (." + extension + ")");
    // A failed load leaves the picture as it was.
    TBitmap loaded;
    if (OnProgress) OnProgress(this, 0);
    at->second(fileName, loaded);
    bitmap_ = std::move(loaded);
    if (OnProgress) OnProgress(this, 100);
    Changed();
}

// ---------------------------------------------------------------- TImage

TImage::TImage(TComponent* owner) : TGraphicControl(owner), picture_(std::make_unique<TPicture>()) {
    SetBounds(0, 0, 105, 105);
    picture_->OnChange = [this](TPicture*) { PictureChanged(); };
}

void TImage::ReplacePicture(std::unique_ptr<TPicture> picture) {
    picture->OnChange = std::move(picture_->OnChange);
    picture->OnProgress = std::move(picture_->OnProgress);
    picture->Assign(picture_->Bitmap());
    picture_ = std::move(picture);
}

void TImage::SetAutoSize(bool autoSize) {
    if (autoSize_ == autoSize) return;
    autoSize_ = autoSize;
    PictureChanged();
}

void TImage::PictureChanged() {
    if (autoSize_ && !picture_->Empty() && (picture_->Width() != Width() || picture_->Height() != Height())) {
        Invalidate();
        SetBounds(Left(), Top(), picture_->Width(), picture_->Height());
    }
    Invalidate();
}

TRect TImage::DestRect() const {
    int32_t w = picture_->Width(), h = picture_->Height();
    const int32_t cw = Width(), ch = Height();
    if (w <= 0 || h <= 0) return {0, 0, 0, 0};
    if (Stretch || (Proportional && (w > cw || h > ch))) {
        if (Proportional) {
            // The larger share of the control that keeps the picture's shape.
            if (static_cast<int64_t>(cw) * h > static_cast<int64_t>(ch) * w) {
                w = static_cast<int32_t>(static_cast<int64_t>(w) * ch / h);
                h = ch;
            } else {
                h = static_cast<int32_t>(static_cast<int64_t>(h) * cw / w);
                w = cw;
            }
        } else {
            w = cw;
            h = ch;
        }
    }
    const int32_t x = Center ? (cw - w) / 2 : 0, y = Center ? (ch - h) / 2 : 0;
    return {x, y, x + w, y + h};
}

void TImage::Paint(TCanvas& canvas) {
    if (picture_->Empty()) return;
    const TRect dest = DestRect();
    if (dest.Right - dest.Left == picture_->Width() && dest.Bottom - dest.Top == picture_->Height()) {
        canvas.Draw(dest.Left, dest.Top, picture_->Bitmap());
    } else {
        canvas.StretchDraw(dest, picture_->Bitmap());
    }
}
