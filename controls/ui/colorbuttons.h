// Colour buttons: a split button for choosing a colour. The face shows the
// selected colour under a glyph; the narrow arrow drops down a palette
// window (an "Automatic" cell, 40 colour cells in 8 columns and 5 rows, and
// "Other Colors..." for the platform's colour dialog). Dragging the
// palette's bar tears it off: it then floats as a tool window with a
// caption. Every part paints itself with our canvas; the palette and the
// dialog are windows of the platform.
#pragma once

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "controls/ucsystem.h"
#include "platform/canvas.h"
#include "platform/ui/dialogs.h"
#include "platform/ui/forms.h"

class TColorButton;
class TAction;

// The platform's "default colour" value: the automatic cell's colour.
constexpr TColor clDefault = 0x20000000;

enum class TGlyphType : uint8_t { gtBackGround, gtText, gtLines, gtNone };
using TColorSelectedEvent = std::function<void(TComponent* sender, TColor color)>;

// A speed button painted with our canvas: flat or raised, down or up, with
// a caption; buttons of one group index in one parent are down one at a
// time.
class TColorSpeedButton : public TGraphicControl {
public:
    explicit TColorSpeedButton(TComponent* owner);
    WideString Caption;
    TCanvasFont Font;
    int GroupIndex = 0;
    bool AllowAllUp = false;
    int Tag = 0;
    // Draws a small down arrow (the drop-down half of the colour button).
    bool ArrowGlyph = false;
    bool Flat() const { return flat_; }
    void SetFlat(bool flat);
    bool Down() const { return down_; }
    void SetDown(bool down);
    bool MouseInControl() const { return mouseIn_; }
    void SetMouseInControl(bool in);
    // The left button went down on the button.
    TNotifyEvent OnMouseDown;
    // The other half of a split button, lit with this one; and whether this
    // one stays lit when the mouse leaves it.
    TColorSpeedButton* Partner = nullptr;
    std::function<bool()> KeepLit;
    void Paint(TCanvas& canvas) override;

protected:
    // The face rectangle after the frame, as the painting of a subclass
    // uses it.
    TRect FaceRect() const;
    bool Pressed() const { return pressed_; }

private:
    bool flat_ = false;
    bool down_ = false;
    bool mouseIn_ = false;
    bool pressed_ = false;
};

// A speed button that paints a colour swatch: the face (under its glyph),
// the automatic cell (beside its caption) or a colour cell.
class TSubColorButton : public TColorSpeedButton {
public:
    explicit TSubColorButton(TComponent* owner) : TColorSpeedButton(owner) {}
    TColor Color = clDefault;
    // The face button's glyph (gtNone: none).
    TGlyphType Glyph = TGlyphType::gtNone;
    void Paint(TCanvas& canvas) override;
};

// The palette window: docked (a pop-up with a drag bar) or torn off (a tool
// window with a caption).
class TColorPalette : public TCustomForm {
public:
    explicit TColorPalette(TColorButton& button);
    bool TornOff() const { return tornOff_; }
    const TRect& DragBarRect() const { return dragBar_; }
    // The drag bar is held with the left button.
    bool DraggingBar() const { return barPressed_; }

protected:
    void CreateParams(TCreateParams& params) override;
    void PaintWindow(TBitmap& surface) override;

private:
    friend class TColorButton;
    TColorButton& button_;
    TRect dragBar_{};
    bool tornOff_ = false;
    bool overBar_ = false;
    bool barPressed_ = false;
    TPoint pressAt_{};
};

class TColorButton : public TCustomControl {
public:
    // The ten metrics of the palette, in the order of their index.
    enum TMetric : int {
        mTopMargin, mBottomMargin, mHoriMargin, mDragBarHeight, mDragBarSpace,
        mColorSpace, mColorSpaceTop, mColorSpaceBottom, mColorSize, mButtonHeight,
    };
    // The preset (word style) value of each metric, also its minimum.
    static constexpr std::array<int, 10> kMetricPresets{2, 4, 7, 7, 3, 0, 4, 4, 18, 22};
    // The 40 colours of the palette, cells left to right, then top to bottom.
    static const std::array<TColor, 40> kPalette;
    static constexpr int kAutomaticTag = 41;
    static constexpr int kOtherTag = 42;

    explicit TColorButton(TComponent* owner);
    ~TColorButton() override;

    TColor SelectedColor() const { return selectedColor_; }
    void SetSelectedColor(TColor color);
    TColorSelectedEvent OnColorSelected;
    TNotifyEvent OnUpdate;

    int Metric(int index) const { return metrics_.at(static_cast<size_t>(index)); }
    void SetMetric(int index, int value);
    int TopMargin() const { return Metric(mTopMargin); }
    int BottomMargin() const { return Metric(mBottomMargin); }
    int HoriMargin() const { return Metric(mHoriMargin); }
    int DragBarHeight() const { return Metric(mDragBarHeight); }
    int DragBarSpace() const { return Metric(mDragBarSpace); }
    int ColorSpace() const { return Metric(mColorSpace); }
    int ColorSpaceTop() const { return Metric(mColorSpaceTop); }
    int ColorSpaceBottom() const { return Metric(mColorSpaceBottom); }
    int ColorSize() const { return Metric(mColorSize); }
    int ButtonHeight() const { return Metric(mButtonHeight); }
    bool WordStyle() const { return wordStyle_; }
    void SetWordStyle(bool on);
    bool Flat() const { return flat_; }
    void SetFlat(bool flat);
    bool DropDownFlat() const { return dropDownFlat_; }
    void SetDropDownFlat(bool flat);
    int DropDownWidth() const { return dropDownWidth_; }
    void SetDropDownWidth(int width);
    bool DropDownMove() const { return dropDownMove_; }
    void SetDropDownMove(bool move);
    TGlyphType GlyphType() const { return face_->Glyph; }
    void SetGlyphType(TGlyphType glyph);
    WideString CaptionAutoColor() const;
    void SetCaptionAutoColor(const WideString& caption);
    WideString CaptionOtherColor() const;
    void SetCaptionOtherColor(const WideString& caption);
    WideString DropDownCaption() const { return dropDownCaption_; }
    void SetDropDownCaption(const WideString& caption);
    // The colour dialog's custom colours (copied in and out).
    std::vector<std::string> CustomColors() const { return dialog_->CustomColors; }
    void SetCustomColors(const std::vector<std::string>& colors) { dialog_->CustomColors = colors; }
    void SetEnabled(bool enabled) override;
    void SetBounds(int32_t left, int32_t top, int32_t width, int32_t height) override;
    // The palette's font (its captions).
    void SetFont(const TCanvasFont& font);

    // Drops the palette down under the control.
    void DropDown();
    // Lays the palette out, with or without the drag bar.
    void LayoutPalette(bool withDragBar);
    // Tears the palette off / docks it again.
    void TearOff();
    void Dock();

    TSubColorButton& FaceButton() const { return *face_; }
    TColorSpeedButton& ArrowButton() const { return *arrow_; }
    TColorPalette& Palette() const { return *palette_; }
    TSubColorButton& AutomaticCell() const { return *automatic_; }
    TSubColorButton& Cell(int index) const { return *cells_.at(static_cast<size_t>(index)); }
    TColorSpeedButton& OtherButton() const { return *other_; }

protected:
    void Paint() override;

private:
    friend class TColorPalette;
    void AdjustSize();
    void CellClick(TComponent* sender);
    void PaletteHidden();
    void ApplyWordStyle();

    std::array<int, 10> metrics_ = kMetricPresets;
    bool wordStyle_ = true;
    bool flat_ = true;
    bool dropDownFlat_ = true;
    int dropDownWidth_ = 12;
    bool dropDownMove_ = true;
    TColor selectedColor_ = clDefault;
    WideString dropDownCaption_ = u"Text Color Window";
    TSubColorButton* face_;
    TColorSpeedButton* arrow_;
    TColorPalette* palette_;
    TSubColorButton* automatic_;
    std::array<TSubColorButton*, 40> cells_{};
    TColorSpeedButton* other_;
    TColorDialog* dialog_;
    TAction* action_;
};
