// What the painters share beside their classes: the registry of
// extended-style painters that look and feels search by skin name, the
// radio-button images of every kind and state, the row-state glyphs, the
// two checkered patterns of the classic scroll-bar tracks, and the size of
// the system's check box.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "navbar/lf_classes.h"
#include "navbar/lf_painters.h"

// A party told when the registry's painters change.
class IlfSkinPaintersListener {
public:
    virtual ~IlfSkinPaintersListener() = default;
    virtual void SkinPaintersChanged() = 0;
};

struct TlfExtendedStylePainterInfo {
    std::string Name;
    TlfPainterClass Painter = nullptr;
};

class TlfExtendedStylePainters {
public:
    int Count() const { return entries_.Count(); }
    TlfExtendedStylePainterInfo* Items(int index) const { return entries_.Items(index); }
    // Adds (or replaces) the painter of a name and tells the listeners.
    void Register(const std::string& name, TlfPainterClass painter);
    // Removes the name's painter and tells the listeners.
    void Unregister(const std::string& name);
    // Names compared without regard to letter case.
    bool FindPainterByName(const std::string& name, TlfPainterClass& painter) const;
    int IndexOfName(const std::string& name) const;
    void AttachListener(IlfSkinPaintersListener* listener);
    void DetachListener(IlfSkinPaintersListener* listener);
    int ListenerCount() const { return static_cast<int>(listeners_.size()); }

private:
    void Changed();
    TlfObjectList<TlfExtendedStylePainterInfo> entries_;
    std::vector<IlfSkinPaintersListener*> listeners_;
};
// The unit's registry (made on first use, alive to the program's end).
TlfExtendedStylePainters* ExtendedStylePainters();

// The radio buttons of every look-and-feel kind, state, check and
// highlight: 128 images built at once from the button's shape.
class TlfRadioButtonImageList {
public:
    TlfRadioButtonImageList();
    void PaintImage(TlfCanvas& canvas, int32_t x, int32_t y, TColor backColor, TlfLookAndFeelKind kind,
                    TlfElementState state, bool isChecked, bool flagB, bool flagA) const;
    TlfSize ImageSize() const;
    int ImageIndex(TlfLookAndFeelKind kind, TlfElementState state, bool isChecked, bool flagB, bool flagA) const;
    // Builds the images when the list is empty.
    void Rebuild();
    void Clear() { images_.Clear(); }
    int Count() const { return images_.Count(); }
    // How many times the images were built (each build makes all of them).
    int Builds() const { return builds_; }
    // Cell codes of the shape, row by row.
    const std::vector<uint8_t>& Pattern() const { return pattern_; }

private:
    std::unique_ptr<TBitmap> shapeMask_;
    TlfImageList images_;
    std::vector<uint8_t> pattern_;
    std::vector<int> indexMap_;
    int builds_ = 0;
};
TlfRadioButtonImageList& RadioButtonImages();
// The list when it was made, else nullptr.
TlfRadioButtonImageList* RadioButtonImagesIfMade();

// The six row-state glyphs (8 x 9): arrow, edit, insert, multi-dot,
// multi-arrow, filter.
const TlfImageList& RowStateImages();

// The classic scroll bars' track patterns (8 x 8 checkers).
void UpdateScrollBarPatterns();
const TBitmap& ScrollBarPattern(bool pressed);

// The system's check-box size (13 x 13).
TlfSize SystemCheckBoxSize();

// Told of a change of the system colours: the radio-button images are
// rebuilt with the new colours and the Office 2003 painter's set recomputed.
void PainterImagesPaletteChanged();
