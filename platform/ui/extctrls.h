// Pictures and the image control. A picture holds one bitmap (the project's
// one bitmap type) and tells its owner when it changes; files of picture
// formats load through loaders that the libraries above register by file
// extension. The image control shows its picture: at its size, centred,
// stretched (optionally keeping the proportions), and sizes itself to the
// picture with AutoSize.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/bitmap.h"
#include "platform/ui/control.h"

class TPicture;
using TPictureProgressEvent = std::function<void(TPicture* sender, int percent)>;
using TPictureChangeEvent = std::function<void(TPicture* sender)>;
// Reads a picture file into the bitmap; raises on bad data.
using TPictureLoader = std::function<void(const std::string& fileName, TBitmap& bitmap)>;

class TPicture {
public:
    TPicture() = default;
    virtual ~TPicture() = default;
    TPicture(const TPicture&) = delete;
    TPicture& operator=(const TPicture&) = delete;

    TBitmap& Bitmap() { return bitmap_; }
    const TBitmap& Bitmap() const { return bitmap_; }
    bool Empty() const { return bitmap_.Empty(); }
    int32_t Width() const { return bitmap_.Width(); }
    int32_t Height() const { return bitmap_.Height(); }
    // Takes a copy of the bitmap (an empty one clears the picture).
    void Assign(const TBitmap& bitmap);
    void Assign(const TPicture& picture) { Assign(picture.bitmap_); }
    void Clear() { Assign(TBitmap()); }
    // The loader registered for the file's extension reads it; an unknown
    // extension raises "Unknown picture file extension (.ext)".
    void LoadFromFile(const std::string& fileName);
    // Tells the listeners that the bitmap was changed in place.
    void Changed();

    TPictureChangeEvent OnChange;
    TPictureProgressEvent OnProgress;

private:
    TBitmap bitmap_;
};

// The loader of files with the extension (lower case, without the dot).
void RegisterPictureLoader(const std::string& extension, TPictureLoader loader);
void UnregisterPictureLoader(const std::string& extension);

class TImage : public TGraphicControl {
public:
    explicit TImage(TComponent* owner);
    TPicture* Picture() const { return picture_.get(); }
    // Takes the contents of the picture (the image keeps its own).
    void SetPicture(const TPicture& picture) { picture_->Assign(picture); }
    bool AutoSize() const { return autoSize_; }
    void SetAutoSize(bool autoSize);
    bool Center = false;
    bool Stretch = false;
    bool Proportional = false;
    void Paint(TCanvas& canvas) override;
    // Where the picture lands in the control.
    TRect DestRect() const;

protected:
    // A descendant's own picture class takes the place of the picture; the
    // change handlers move over to it.
    void ReplacePicture(std::unique_ptr<TPicture> picture);

private:
    void PictureChanged();
    std::unique_ptr<TPicture> picture_;
    bool autoSize_ = false;
};
