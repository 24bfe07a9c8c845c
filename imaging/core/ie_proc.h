// TVidurErProc, the component through which image operations are applied
// with undo: it works on one processed bitmap (an attached view's current
// bitmap, a bare bitmap handed to it, or its own), forces the bitmap into a
// pixel format the operation supports, saves an undo entry before the
// change, refreshes the view afterwards and reports completion. Image undo
// copies live in temporary files.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_messages.h"
#include "imaging/core/ie_resample.h"
#include "imaging/core/ie_view_services.h"
#include "platform/stream.h"

enum TIEUndoSource : uint8_t { ieuUnknown, ieuImage, ieuSelection, ieuObject, ieuLayer, ieuFullLayer };

class TVidurErProc {
public:
    // A component with an owner (the view that creates it) saves undo
    // entries by default; one without does not.
    explicit TVidurErProc(TIEView* owner = nullptr);
    virtual ~TVidurErProc();
    TVidurErProc(const TVidurErProc&) = delete;
    TVidurErProc& operator=(const TVidurErProc&) = delete;

    // ------------------------------------------------ attachment
    TIEView* AttachedVidurEr() const { return view_; }
    void SetAttachedVidurEr(TIEView* view);
    // A bare bitmap, borrowed; nullptr while a view is attached changes
    // nothing, and with nothing attached leaves no bitmap to process.
    void SetAttachedIEBitmap(TIEBitmap* bitmap);
    TIEBitmap* GetIEBitmap() const { return bitmap_; }

    // ------------------------------------------------ settings
    bool AutoUndo;
    int32_t UndoLimit = 1;
    bool AutoConvertFormat = true;
    TIELocation UndoLocation = ieFile;
    TMsgLanguage MsgLanguage = msSystem;
    TIEProgressEvent OnProgress;
    std::function<void(TVidurErProc&)> OnFinishWork;
    std::function<void(TVidurErProc&, TIEUndoSource)> OnSaveUndo;
    TColor GetBackground();
    void SetBackground(TColor color);

    // ------------------------------------------------ services of the operations
    bool PrepareBitmap(const TIEPixelFormatSet& allowed);
    // The pixel-format gate; an empty set allows every format.
    bool CheckPixelFormat(const TIEPixelFormatSet& allowed);
    // X2 and Y2 exclusive; false without a selecting view.
    bool GetSelectionArea(int32_t& x1, int32_t& y1, int32_t& x2, int32_t& y2, TIEMask*& mask,
                          const TPoint*& polygon, int32_t& polygonCount);
    void SaveUndoCaptioned(const std::string& caption, TIEUndoSource source);
    void Update();
    virtual void DoFinishWork();

    // ------------------------------------------------ undo and redo (positions from the newest)
    virtual void SaveUndo(TIEUndoSource source);
    virtual void Undo(bool addRedo = false) { UndoAt(0, addRedo); }
    virtual void UndoAt(int32_t position, bool addRedo = false);
    virtual void SaveRedo(TIEUndoSource source);
    virtual void ClearRedo();
    virtual void Redo() { RedoAt(0); }
    virtual void RedoAt(int32_t position);
    void ClearUndoAt(int32_t position);
    void ClearAllUndo() { undo_.clear(); }
    void ClearAllRedo() { redo_.clear(); }
    int32_t GetUndoCount() const { return static_cast<int32_t>(undo_.size()); }
    int32_t GetRedoCount() const { return static_cast<int32_t>(redo_.size()); }
    // Counted from the OLDEST entry; ieuUnknown outside the list.
    TIEUndoSource GetUndoSource(int32_t index) const;
    // The caption of undo entry index, counted from the oldest.
    std::string GetUndoCaption(int32_t index) const;
    // The image copy of undo entry index (oldest first), nullptr for others.
    const TIEBitmap* GetUndoImage(int32_t index) const;

    // ------------------------------------------------ operations
    // A size of -1 keeps the aspect from the other side, 0 keeps the side.
    void Resample(int32_t newWidth, int32_t newHeight, TResampleFilter filter);
    void ResampleTo(TIEBitmap& dest, int32_t newWidth, int32_t newHeight, TResampleFilter filter);
    // Background -1 stands for GetBackground().
    void Rotate(double angle, bool antiAlias, uint8_t antialiasMode, TColor background);
    // Below 3 colours to 1 bit (threshold or ordered dither), up to 1024 by
    // quantizing, the image staying 24-bit.
    void ConvertTo(int32_t numColors, bool useThreshold);
    // As ConvertTo; palette receives the colours (numColors entries).
    void ConvertToPalette(int32_t numColors, TRGB* palette, bool useThreshold);
    void ConvertToGray();
    // Alignment 0 left/top, 1 centre, 2 right/bottom; alphaFill for new pixels.
    void ImageResize(int32_t newWidth, int32_t newHeight, uint8_t horizAlign = 0, uint8_t vertAlign = 0,
                     int32_t alphaFill = 255);
    void Clear();
    void Fill(TRGB color);
    // Inclusive corners.
    void Crop(int32_t x1, int32_t y1, int32_t x2, int32_t y2);
    void CropRect(const TRect& rect) { Crop(rect.Left, rect.Top, rect.Right, rect.Bottom); }
    void CropTransparentBorder();

    // The frame of an area operation: undo entry, gate, and the bitmap to
    // work on (a copy of the selection's box when a view selects).
    bool BeginImageProcessing(const TIEPixelFormatSet& allowed, const std::string& caption, int32_t& x1, int32_t& y1,
                              int32_t& x2, int32_t& y2, TIEBitmap*& processBitmap, TIEMask*& mask);
    void EndImageProcessing(TIEBitmap* processBitmap, TIEMask* mask);

private:
    struct Entry {
        std::unique_ptr<TIEBitmap> image;
        std::unique_ptr<TMemoryStream> stream;
        TIEUndoSource source = ieuUnknown;
        std::string caption;
    };
    using EntryList = std::vector<Entry>;

    void BitmapChangeEvent(bool destroying);
    void UseOwnBitmap();
    void Encapsulate();
    bool SaveEntry(EntryList& list, TIEUndoSource source);
    void Restore(EntryList& list, int32_t position, bool addRedo);

    TIEView* view_ = nullptr;
    int32_t listener_ = -1;
    TColor ownBackground_ = 0;
    TIEBitmap* bitmap_ = nullptr;
    std::unique_ptr<TIEBitmap> ownedBitmap_;
    TBitmap* encapsulated_ = nullptr;
    EntryList undo_;
    EntryList redo_;
    std::unique_ptr<TIEBitmap> areaCopy_;
};
