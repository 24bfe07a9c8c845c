#include "imaging/core/ie_proc.h"

#include <cstdio>

#include "imaging/core/ie_color_reduce.h"
#include "imaging/core/ie_effects.h"
#include "imaging/core/ie_helpers.h"
#include "imaging/core/ie_mask.h"
#include "imaging/core/ie_rotate.h"

namespace {

// Where the gate turns a format nobody allows, most wanted first.
constexpr TIEPixelFormat kPreferences[kIEPixelFormatCount][7] = {
    {ienull, ienull, ienull, ienull, ienull, ienull, ienull},       // ienull
    {ie8g, ie16g, ie32f, ie24RGB, ienull, ienull, ienull},          // ie1g
    {ie24RGB, ieCMYK, ieRGB48, ieCIELab, ienull, ienull, ienull},   // ie8p
    {ie16g, ie32f, ie24RGB, ieCMYK, ieRGB48, ienull, ienull},       // ie8g
    {ie32f, ie8g, ieRGB48, ie24RGB, ieCMYK, ienull, ienull},        // ie16g
    {ieCMYK, ieCIELab, ieRGB48, ie8p, ie16g, ie8g, ienull},         // ie24RGB
    {ie16g, ie8g, ie24RGB, ieRGB48, ieCIELab, ienull, ienull},      // ie32f
    {ie24RGB, ieRGB48, ieCIELab, ie8g, ienull, ienull, ienull},     // ieCMYK
    {ie24RGB, ieCMYK, ieCIELab, ie16g, ienull, ienull, ienull},     // ieRGB48
    {ie24RGB, ieCMYK, ieRGB48, ie8g, ienull, ienull, ienull},       // ieCIELab
    {ie24RGB, ieCMYK, ieRGB48, ie8g, ienull, ienull, ienull},       // ie32RGB
};

// The general real-to-text form: shortest, up to 15 significant digits.
std::string AngleText(double angle) {
    char text[32];
    std::snprintf(text, sizeof text, "%.15g", angle);
    return text;
}

}  // namespace

TVidurErProc::TVidurErProc(TIEView* owner) : AutoUndo(owner != nullptr) { UseOwnBitmap(); }

TVidurErProc::~TVidurErProc() {
    if (view_ && listener_ >= 0) view_->RemoveBitmapChangeEvent(listener_);
}

void TVidurErProc::UseOwnBitmap() {
    encapsulated_ = nullptr;
    ownedBitmap_ = std::make_unique<TIEBitmap>();
    bitmap_ = ownedBitmap_.get();
}

void TVidurErProc::Encapsulate() {
    if (encapsulated_ && bitmap_) bitmap_->EncapsulateTBitmap(encapsulated_, true);
}

void TVidurErProc::SetAttachedVidurEr(TIEView* view) {
    if (view_ && listener_ >= 0) view_->RemoveBitmapChangeEvent(listener_);
    listener_ = -1;
    view_ = view;
    if (!view) {
        UseOwnBitmap();
        return;
    }
    ownedBitmap_.reset();
    encapsulated_ = view->GetBitmap();
    bitmap_ = view->GetIEBitmap();
    if (!bitmap_) {
        // A view in legacy mode: an own bitmap wraps its toolkit bitmap.
        ownedBitmap_ = std::make_unique<TIEBitmap>();
        bitmap_ = ownedBitmap_.get();
        Encapsulate();
    } else {
        encapsulated_ = nullptr;
    }
    listener_ = view->RegisterBitmapChangeEvent([this](bool destroying) { BitmapChangeEvent(destroying); });
}

void TVidurErProc::BitmapChangeEvent(bool destroying) {
    if (destroying) {
        view_ = nullptr;
        listener_ = -1;
        UseOwnBitmap();
        return;
    }
    if (!view_) return;
    encapsulated_ = view_->GetBitmap();
    if (ownedBitmap_) {
        Encapsulate();
    } else {
        bitmap_ = view_->GetIEBitmap();
        if (bitmap_) encapsulated_ = nullptr;
    }
}

void TVidurErProc::SetAttachedIEBitmap(TIEBitmap* bitmap) {
    if (!bitmap && view_) return;
    if (view_ && listener_ >= 0) view_->RemoveBitmapChangeEvent(listener_);
    listener_ = -1;
    view_ = nullptr;
    encapsulated_ = nullptr;
    ownedBitmap_.reset();
    bitmap_ = bitmap;
}

TColor TVidurErProc::GetBackground() { return view_ ? view_->GetBackground() : ownBackground_; }

void TVidurErProc::SetBackground(TColor color) {
    if (view_)
        view_->SetBackground(color);
    else
        ownBackground_ = color;
}

// ---------------------------------------------------------------- services

bool TVidurErProc::PrepareBitmap(const TIEPixelFormatSet& allowed) {
    if (!bitmap_) return false;
    Encapsulate();
    return CheckPixelFormat(allowed);
}

bool TVidurErProc::CheckPixelFormat(const TIEPixelFormatSet& allowed) {
    if (allowed.empty()) return true;
    const TIEPixelFormat current = bitmap_->GetPixelFormat();
    if (allowed.count(current)) return true;
    if (!AutoConvertFormat) return false;
    for (TIEPixelFormat candidate : kPreferences[current])
        if (candidate != ienull && allowed.count(candidate)) {
            bitmap_->SetPixelFormat(candidate);
            return true;
        }
    for (int format = kIEPixelFormatCount - 1; format >= 0; --format)
        if (allowed.count(static_cast<TIEPixelFormat>(format))) {
            bitmap_->SetPixelFormat(static_cast<TIEPixelFormat>(format));
            return true;
        }
    return false;
}

bool TVidurErProc::GetSelectionArea(int32_t& x1, int32_t& y1, int32_t& x2, int32_t& y2, TIEMask*& mask,
                                    const TPoint*& polygon, int32_t& polygonCount) {
    Encapsulate();
    polygonCount = 0;
    polygon = nullptr;
    mask = nullptr;
    x1 = y1 = 0;
    x2 = bitmap_ ? bitmap_->GetWidth() : 0;
    y2 = bitmap_ ? bitmap_->GetHeight() : 0;
    if (!view_ || !view_->IsVidurErView()) return false;
    mask = view_->GetSelectionMask();
    if (!view_->HasSelection()) return false;
    if (mask && !mask->IsEmpty()) {
        x1 = mask->X1;
        y1 = mask->Y1;
        x2 = mask->X2 + 1;
        y2 = mask->Y2 + 1;
    }
    polygon = view_->GetPolygonPoints();
    polygonCount = view_->GetPolygonPointCount();
    return true;
}

void TVidurErProc::SaveUndoCaptioned(const std::string& caption, TIEUndoSource source) {
    if (!PrepareBitmap({}) || bitmap_->GetWidth() < 2 || bitmap_->GetHeight() < 2) return;
    const size_t before = undo_.size();
    const TIEBitmap* newestBefore = undo_.empty() ? nullptr : undo_.back().image.get();
    const TMemoryStream* streamBefore = undo_.empty() ? nullptr : undo_.back().stream.get();
    SaveUndo(source);
    // Only an entry this call added takes the caption.
    if (!undo_.empty() && (undo_.size() != before || undo_.back().image.get() != newestBefore ||
                           undo_.back().stream.get() != streamBefore))
        undo_.back().caption = caption;
}

void TVidurErProc::Update() {
    if (!bitmap_) return;
    if (encapsulated_) bitmap_->RemoveAlphaChannel(false, clWhite);
    if (view_) {
        view_->Update();
        view_->ImageChange();
    } else if (encapsulated_) {
        encapsulated_->Changed();
    }
}

void TVidurErProc::DoFinishWork() {
    if (OnProgress) OnProgress(this, 100);
    if (OnFinishWork) OnFinishWork(*this);
}

// ---------------------------------------------------------------- undo and redo

bool TVidurErProc::SaveEntry(EntryList& list, TIEUndoSource source) {
    Entry entry;
    entry.source = source;
    switch (source) {
        case ieuImage: {
            if (bitmap_->GetWidth() <= 1 || bitmap_->GetHeight() <= 1) return false;
            entry.image = std::make_unique<TIEBitmap>();
            entry.image->MemoryThreshold = 0;
            if (UndoLocation != ieFile) entry.image->SetLocation(UndoLocation);
            entry.image->Assign(*bitmap_);
            entry.image->UndoLayerIndex = view_ && view_->IsVidurErView() ? view_->GetLayersCurrent() : -1;
            break;
        }
        case ieuSelection:
            if (!view_ || !view_->IsVidurErView()) return false;
            entry.stream = std::make_unique<TMemoryStream>();
            view_->SaveSelectionToStream(*entry.stream);
            break;
        case ieuObject:
            if (!view_ || !view_->IsVidurErVect()) return false;
            entry.stream = std::make_unique<TMemoryStream>();
            view_->SaveToStreamIEV(*entry.stream);
            break;
        case ieuLayer:
        case ieuFullLayer:
            if (!view_ || !view_->IsVidurErView()) return false;
            entry.stream = std::make_unique<TMemoryStream>();
            for (int32_t i = 0; i < view_->GetLayersCount(); ++i)
                view_->SaveLayerToStream(i, *entry.stream, source == ieuFullLayer && i == view_->GetLayersCurrent());
            break;
        default: return false;
    }
    while (!list.empty() && static_cast<int32_t>(list.size()) >= UndoLimit) list.erase(list.begin());
    list.push_back(std::move(entry));
    return true;
}

void TVidurErProc::SaveUndo(TIEUndoSource source) {
    if (UndoLimit == 0) return;
    if (source == ieuImage && !PrepareBitmap({})) return;
    SaveEntry(undo_, source);
    if (OnSaveUndo) OnSaveUndo(*this, source);
}

void TVidurErProc::SaveRedo(TIEUndoSource source) {
    if (UndoLimit == 0) return;
    if (source == ieuImage && !PrepareBitmap({})) return;
    SaveEntry(redo_, source);
}

void TVidurErProc::Restore(EntryList& list, int32_t position, bool addRedo) {
    if (!PrepareBitmap({})) return;
    if (position < 0 || position >= static_cast<int32_t>(list.size())) return;
    const size_t index = list.size() - static_cast<size_t>(position) - 1;
    if (addRedo) SaveRedo(list[index].source);
    // SaveRedo may have trimmed the redo list, never this one, unless both are
    // the same list (a redo does not save).
    Entry& entry = list[index];
    switch (entry.source) {
        case ieuImage: {
            const int32_t layer = entry.image->UndoLayerIndex;
            if (view_ && view_->IsVidurErView() && layer >= 0) {
                TIEBitmap* target = view_->GetLayerBitmap(std::max(0, std::min(layer, view_->GetLayersCount() - 1)));
                if (target) target->Assign(*entry.image);
            } else {
                bitmap_->Assign(*entry.image);
            }
            Update();
            break;
        }
        case ieuSelection:
            entry.stream->Seek(0, TSeekOrigin::Begin);
            if (view_ && view_->IsVidurErView()) view_->LoadSelectionFromStream(*entry.stream, 1);
            break;
        case ieuObject:
            entry.stream->Seek(0, TSeekOrigin::Begin);
            if (view_ && view_->IsVidurErVect()) view_->LoadFromStreamIEV(*entry.stream);
            break;
        case ieuLayer:
        case ieuFullLayer: {
            TMemoryStream& stream = *entry.stream;
            stream.Seek(0, TSeekOrigin::Begin);
            if (!view_ || !view_->IsVidurErView()) break;
            while (stream.Seek(0, TSeekOrigin::Current) < stream.GetSize()) {
                const int64_t start = stream.Seek(0, TSeekOrigin::Current);
                int32_t length = 0;
                uint8_t guid[16] = {};
                if (stream.Read(&length, 4) != 4 || stream.Read(guid, 16) != 16 || length < 20) break;
                int32_t found = -1;
                for (int32_t i = 0; i < view_->GetLayersCount() && found < 0; ++i) {
                    uint8_t other[16];
                    view_->GetLayerGUID(i, other);
                    if (IECompareGUID(guid, other)) found = i;
                }
                stream.Seek(found >= 0 ? start : start + length, TSeekOrigin::Begin);
                if (found >= 0) {
                    view_->LoadLayerFromStream(found, stream);
                    // A layer that reads less than its record still moves on.
                    if (stream.Seek(0, TSeekOrigin::Current) < start + length)
                        stream.Seek(start + length, TSeekOrigin::Begin);
                }
            }
            view_->Update();
            break;
        }
        default: break;
    }
}

void TVidurErProc::UndoAt(int32_t position, bool addRedo) { Restore(undo_, position, addRedo); }

void TVidurErProc::RedoAt(int32_t position) { Restore(redo_, position, false); }

void TVidurErProc::ClearUndoAt(int32_t position) {
    if (position < 0 || position >= static_cast<int32_t>(undo_.size())) return;
    undo_.erase(undo_.end() - position - 1);
}

void TVidurErProc::ClearRedo() {
    if (!redo_.empty()) redo_.pop_back();
}

TIEUndoSource TVidurErProc::GetUndoSource(int32_t index) const {
    if (index < 0 || index >= static_cast<int32_t>(undo_.size())) return ieuUnknown;
    return undo_[static_cast<size_t>(index)].source;
}

std::string TVidurErProc::GetUndoCaption(int32_t index) const {
    if (index < 0 || index >= static_cast<int32_t>(undo_.size())) return std::string();
    return undo_[static_cast<size_t>(index)].caption;
}

const TIEBitmap* TVidurErProc::GetUndoImage(int32_t index) const {
    if (index < 0 || index >= static_cast<int32_t>(undo_.size())) return nullptr;
    return undo_[static_cast<size_t>(index)].image.get();
}

// ---------------------------------------------------------------- operations

void TVidurErProc::Resample(int32_t newWidth, int32_t newHeight, TResampleFilter filter) {
    if (!PrepareBitmap({}) || bitmap_->GetWidth() == 0 || bitmap_->GetHeight() == 0) return;
    if (newWidth < 0 && newHeight < 0) return;
    if (AutoUndo) SaveUndoCaptioned("Resample " + std::to_string(newWidth) + "," + std::to_string(newHeight), ieuImage);
    TIEBitmap result;
    ResampleTo(result, newWidth, newHeight, filter);
    bitmap_->Assign(result);
    Update();
    DoFinishWork();
}

void TVidurErProc::ResampleTo(TIEBitmap& dest, int32_t newWidth, int32_t newHeight, TResampleFilter filter) {
    if (!PrepareBitmap({})) return;
    const int32_t width = bitmap_->GetWidth(), height = bitmap_->GetHeight();
    if (width == 0 || height == 0 || (newWidth < 0 && newHeight < 0)) return;
    // A side of -1 keeps the aspect from the other side as it will be: the
    // current height when that side is 0, its size when given negative.
    const int64_t otherHeight = newHeight == 0 ? height : std::abs(newHeight);
    int32_t w = newWidth == -1 ? static_cast<int32_t>(otherHeight * width / height)
                : newWidth == 0 ? width
                                : std::abs(newWidth);
    w = std::max(w, 1);
    int32_t h = newHeight == -1 ? static_cast<int32_t>(int64_t{height} * w / width)
                : newHeight == 0 ? height
                                 : std::abs(newHeight);
    h = std::max(h, 1);
    dest.Allocate(w, h, bitmap_->GetPixelFormat());
    for (int32_t i = 0; i < bitmap_->GetPaletteLen(); ++i) dest.SetPaletteColor(i, bitmap_->GetPaletteColor(i));
    IEResample(*bitmap_, dest, filter, OnProgress, this);
    DoFinishWork();
}

void TVidurErProc::Rotate(double angle, bool antiAlias, uint8_t antialiasMode, TColor background) {
    if (angle == 0) return;
    if (!PrepareBitmap({})) return;
    if (AutoUndo) SaveUndoCaptioned("Rotate " + AngleText(angle), ieuImage);
    if (background == static_cast<TColor>(-1)) background = GetBackground();
    std::unique_ptr<TIEBitmap> alpha;
    if (bitmap_->GetHasAlphaChannel()) {
        alpha = std::make_unique<TIEBitmap>();
        alpha->Assign(*bitmap_->GetAlphaChannel());
    }
    const TIEPixelFormat format = bitmap_->GetPixelFormat();
    if (format == ie24RGB && antiAlias && antialiasMode != 0 && !IEIsMultipleOf90(angle)) {
        IERotateAntialias24(*bitmap_, background, antialiasMode, this, OnProgress, angle);
        if (alpha) IERotateAntialias8(*alpha, 0, antialiasMode, angle);
    } else if (format == ie24RGB || format == ie1g) {
        if (alpha) {
            if (format == ie24RGB)
                IERotateGray8(*alpha, antiAlias, 0, this, OnProgress, angle);
            else
                IERotateNearest8(*alpha, 0, angle);
        }
        IERotate(*bitmap_, antiAlias, this, OnProgress, IEColorToRGB(background), angle);
    } else {
        IERotateNearest(*bitmap_, static_cast<double>(background), this, OnProgress, angle);
        if (alpha) IERotateNearest(*alpha, 0, nullptr, TIEProgressEvent(), angle);
    }
    if (alpha) {
        TIEBitmap* channel = bitmap_->GetAlphaChannel();
        channel->Assign(*alpha);
        channel->SetFullOpacity(false);
    }
    Update();
    DoFinishWork();
}

// ---------------------------------------------------------------- area operations

bool TVidurErProc::BeginImageProcessing(const TIEPixelFormatSet& allowed, const std::string& caption, int32_t& x1,
                                        int32_t& y1, int32_t& x2, int32_t& y2, TIEBitmap*& processBitmap,
                                        TIEMask*& mask) {
    // The undo entry holds the image in the format it had before the gate.
    if (AutoUndo) SaveUndoCaptioned(caption, ieuImage);
    if (!PrepareBitmap(allowed)) return false;
    const TPoint* polygon;
    int32_t polygonCount;
    GetSelectionArea(x1, y1, x2, y2, mask, polygon, polygonCount);
    if (!mask || mask->IsEmpty()) {
        processBitmap = bitmap_;
        return true;
    }
    areaCopy_ = std::make_unique<TIEBitmap>(mask->X2 - mask->X1 + 1, mask->Y2 - mask->Y1 + 1, bitmap_->GetPixelFormat());
    for (int32_t i = 0; i < bitmap_->GetPaletteLen(); ++i) areaCopy_->SetPaletteColor(i, bitmap_->GetPaletteColor(i));
    bitmap_->CopyRectTo(*areaCopy_, mask->X1, mask->Y1, 0, 0, areaCopy_->GetWidth(), areaCopy_->GetHeight());
    processBitmap = areaCopy_.get();
    x1 = y1 = 0;
    x2 = areaCopy_->GetWidth();
    y2 = areaCopy_->GetHeight();
    return true;
}

void TVidurErProc::EndImageProcessing(TIEBitmap* processBitmap, TIEMask* mask) {
    if (processBitmap && processBitmap == areaCopy_.get() && mask) {
        mask->CopyBitmap(*bitmap_, *areaCopy_, false, true, false);
        if (areaCopy_->GetHasAlphaChannel() && !areaCopy_->GetAlphaChannel()->FullOpacity()) {
            mask->CopyBitmap(*bitmap_->GetAlphaChannel(), *areaCopy_->GetAlphaChannel(), false, true, false);
            bitmap_->GetAlphaChannel()->SetFullOpacity(false);
        }
    }
    areaCopy_.reset();
    Update();
}

void TVidurErProc::ConvertToGray() {
    int32_t x1, y1, x2, y2;
    TIEBitmap* target;
    TIEMask* mask;
    if (!BeginImageProcessing({}, "ConvertToGray", x1, y1, x2, y2, target, mask)) return;
    IEConvertToGray24(*target, x1, y1, x2, y2, this, OnProgress);
    EndImageProcessing(target, mask);
    DoFinishWork();
}

void TVidurErProc::Fill(TRGB color) {
    int32_t x1, y1, x2, y2;
    TIEBitmap* target;
    TIEMask* mask;
    if (!BeginImageProcessing({}, "Fill", x1, y1, x2, y2, target, mask)) return;
    IEFillRectRGB(*target, x1, y1, x2, y2, color, this, OnProgress);
    EndImageProcessing(target, mask);
    DoFinishWork();
}

void TVidurErProc::ConvertTo(int32_t numColors, bool useThreshold) { ConvertToPalette(numColors, nullptr, useThreshold); }

void TVidurErProc::ConvertToPalette(int32_t numColors, TRGB* palette, bool useThreshold) {
    // ConvertTo has no palette and no zero-colour rule of its own.
    if (palette && numColors == 0) return;
    if (!PrepareBitmap({ie24RGB})) return;
    if (AutoUndo)
        SaveUndoCaptioned(palette ? std::string("ConvertToPalette") : "ConvertTo " + std::to_string(numColors), ieuImage);
    TIEProgressRec progress;
    progress.OnProgress = OnProgress;
    progress.Sender = this;
    if (numColors < 3) {
        if (useThreshold) IEConvertToBWThreshold(*bitmap_, -1, progress);
        else IEConvertToBWOrdered(*bitmap_, progress);
        if (palette) {
            palette[0] = TRGB{0, 0, 0};
            palette[1] = TRGB{255, 255, 255};
        }
    } else if (numColors <= 1024) {
        IEQuantizeColors(*bitmap_, numColors, palette, this, OnProgress);
    }
    Update();
    DoFinishWork();
}

void TVidurErProc::Clear() {
    if (!PrepareBitmap({})) return;
    if (AutoUndo) SaveUndoCaptioned("Clear", ieuImage);
    bitmap_->Fill(static_cast<double>(GetBackground()));
    Update();
    DoFinishWork();
}

void TVidurErProc::ImageResize(int32_t newWidth, int32_t newHeight, uint8_t horizAlign, uint8_t vertAlign,
                               int32_t alphaFill) {
    if (!PrepareBitmap({}) || newWidth <= 0 || newHeight <= 0) return;
    if (newWidth == bitmap_->GetWidth() && newHeight == bitmap_->GetHeight()) return;
    if (AutoUndo)
        SaveUndoCaptioned("ImageResize " + std::to_string(newWidth) + "," + std::to_string(newHeight), ieuImage);
    if (bitmap_->GetWidth() < 2 && bitmap_->GetHeight() < 2) Clear();
    if (alphaFill < 255) bitmap_->GetAlphaChannel();
    bitmap_->Resize(newWidth, newHeight, static_cast<double>(GetBackground()), alphaFill, horizAlign, vertAlign);
    Update();
    DoFinishWork();
}

void TVidurErProc::Crop(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
    if (!PrepareBitmap({})) return;
    const int32_t w = bitmap_->GetWidth(), h = bitmap_->GetHeight();
    if (x1 == 0 && y1 == 0 && x2 == w - 1 && y2 == h - 1) return;
    // Swapped corners or an all-transparent image (bounds Left = width,
    // Right = -1) leave nothing to keep: nothing is done rather than a
    // negative size allocated.
    x1 = std::max(x1, 0);
    y1 = std::max(y1, 0);
    x2 = std::min(x2, w - 1);
    y2 = std::min(y2, h - 1);
    if (x2 < x1 || y2 < y1) return;
    if (AutoUndo) SaveUndoCaptioned("Crop", ieuImage);
    TIEBitmap part(x2 - x1 + 1, y2 - y1 + 1, bitmap_->GetPixelFormat());
    for (int32_t i = 0; i < bitmap_->GetPaletteLen(); ++i) part.SetPaletteColor(i, bitmap_->GetPaletteColor(i));
    bitmap_->CopyRectTo(part, x1, y1, 0, 0, part.GetWidth(), part.GetHeight());
    std::unique_ptr<TIEBitmap> alpha;
    if (bitmap_->GetHasAlphaChannel()) {
        alpha = std::make_unique<TIEBitmap>(part.GetWidth(), part.GetHeight(), ie8g);
        bitmap_->GetAlphaChannel()->CopyRectTo(*alpha, x1, y1, 0, 0, part.GetWidth(), part.GetHeight());
    }
    bitmap_->AssignImage(part);
    if (alpha) {
        bitmap_->GetAlphaChannel()->AssignImage(*alpha);
        IEUpdateAlphaFullFlag(*bitmap_->GetAlphaChannel());
    }
    Update();
    DoFinishWork();
}

void TVidurErProc::CropTransparentBorder() {
    if (!PrepareBitmap({})) return;
    const bool autoUndo = AutoUndo;
    AutoUndo = false;
    CropRect(IEGetOpaqueBounds(*bitmap_));
    AutoUndo = autoUndo;
}
