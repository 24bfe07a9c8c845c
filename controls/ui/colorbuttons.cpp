#include "controls/ui/colorbuttons.h"

#include <algorithm>
#include <cstdlib>

#include "controls/ui/uccontrols.h"
#include "platform/ui/actions.h"
#include "platform/system_colours.h"
#include "platform/ui/application.h"

namespace {

using namespace SystemColours;
constexpr TColor clGrey = 8421504;  // RGB 808080
// Tears the palette off once the window procedure is done with the mouse.
constexpr uint32_t CM_TEAROFF = WM_USER + 0x0C0;

uint32_t Rgb(TColor color) { return static_cast<uint32_t>(ColorToRGB(color)) & 0xFFFFFF; }

constexpr TColor Hex(uint32_t rgb) { return RGBColor(rgb >> 16 & 0xFF, rgb >> 8 & 0xFF, rgb & 0xFF); }

}  // namespace

const std::array<TColor, 40> TColorButton::kPalette{
    Hex(0x000000), Hex(0x993300), Hex(0x333300), Hex(0x003300), Hex(0x003366), Hex(0x000080), Hex(0x333399), Hex(0x333333),
    Hex(0x800000), Hex(0xFF6600), Hex(0x808000), Hex(0x008000), Hex(0x008080), Hex(0x0000FF), Hex(0x666699), Hex(0x808080),
    Hex(0xFF0000), Hex(0xFF9900), Hex(0x99CC00), Hex(0x339966), Hex(0x33CCCC), Hex(0x3366FF), Hex(0x800080), Hex(0x999999),
    Hex(0xFF00FF), Hex(0xFFCC00), Hex(0xFFFF00), Hex(0x00FF00), Hex(0x00FFFF), Hex(0x00CCFF), Hex(0x993366), Hex(0xC0C0C0),
    Hex(0xFF99CC), Hex(0xFFCC99), Hex(0xFFFF99), Hex(0xCCFFCC), Hex(0xCCFFFF), Hex(0x99CCFF), Hex(0xCC99FF), Hex(0xFFFFFF),
};

// ---------------------------------------------------------------- TColorSpeedButton

TColorSpeedButton::TColorSpeedButton(TComponent* owner) : TGraphicControl(owner) {
    SetBounds(0, 0, 23, 22);
    Font.Color = Rgb(clBtnText);
    HandleMessage(CM_MOUSEENTER, [this](TMessage& m, const TMessageHandler& inherited) {
        SetMouseInControl(true);
        if (Partner) Partner->SetMouseInControl(true);
        inherited(m);
    });
    HandleMessage(CM_MOUSELEAVE, [this](TMessage& m, const TMessageHandler& inherited) {
        const bool keep = KeepLit && KeepLit();
        SetMouseInControl(keep);
        if (Partner) Partner->SetMouseInControl(keep || (Partner->KeepLit && Partner->KeepLit()));
        pressed_ = false;
        inherited(m);
    });
    HandleMessage(WM_MOUSEMOVE, [this](TMessage& m, const TMessageHandler& inherited) {
        // While the palette's drag bar is held, the moves are the palette's.
        if (auto* palette = dynamic_cast<TColorPalette*>(Parent()); palette && palette->DraggingBar()) {
            palette->Perform(WM_MOUSEMOVE, m.WParam, MakeLParam(LParamX(m.LParam) + Left(), LParamY(m.LParam) + Top()));
            return;
        }
        inherited(m);
    });
    HandleMessage(WM_LBUTTONDOWN, [this](TMessage&, const TMessageHandler&) {
        if (!Enabled()) return;
        pressed_ = true;
        Invalidate();
        if (OnMouseDown) OnMouseDown(this);
    });
    HandleMessage(WM_LBUTTONUP, [this](TMessage& m, const TMessageHandler&) {
        if (!pressed_) return;
        pressed_ = false;
        Invalidate();
        const int x = LParamX(m.LParam), y = LParamY(m.LParam);
        if (x >= 0 && y >= 0 && x < Width() && y < Height()) Click();
    });
}

void TColorSpeedButton::SetFlat(bool flat) {
    if (flat_ == flat) return;
    flat_ = flat;
    Invalidate();
}

void TColorSpeedButton::SetDown(bool down) {
    if (GroupIndex == 0) down = false;
    if (down_ == down) return;
    if (!down && !AllowAllUp) {
        // The last button down of a group stays down unless all may be up.
        bool other = false;
        for (int i = 0; Parent() && i < Parent()->ControlCount(); ++i) {
            auto* sibling = dynamic_cast<TColorSpeedButton*>(Parent()->Controls(i));
            other |= sibling && sibling != this && sibling->GroupIndex == GroupIndex && sibling->down_;
        }
        if (!other) return;
    }
    down_ = down;
    if (down && Parent()) {
        for (int i = 0; i < Parent()->ControlCount(); ++i) {
            auto* sibling = dynamic_cast<TColorSpeedButton*>(Parent()->Controls(i));
            if (sibling && sibling != this && sibling->GroupIndex == GroupIndex && sibling->down_) {
                sibling->down_ = false;
                sibling->Invalidate();
            }
        }
    }
    Invalidate();
}

void TColorSpeedButton::SetMouseInControl(bool in) {
    if (mouseIn_ == in) return;
    mouseIn_ = in;
    if (flat_) Invalidate();
}

TRect TColorSpeedButton::FaceRect() const {
    TRect r{0, 0, Width(), Height()};
    const bool sunken = down_ || pressed_;
    if (flat_ || !sunken) {
        --r.Right;
        --r.Bottom;
    } else {
        ++r.Left;
        ++r.Top;
    }
    return r;
}

void TColorSpeedButton::Paint(TCanvas& canvas) {
    const TRect all{0, 0, Width(), Height()};
    const bool sunken = down_ || pressed_;
    canvas.Brush.Style = BS_SOLID;
    // A flat button that is down shows a lighter face.
    canvas.Brush.Color = Rgb(down_ && !pressed_ ? clBtnHighlight : clBtnFace);
    canvas.FillRect(all);
    if (!flat_ || mouseIn_ || sunken) {
        const TColor light = sunken ? clBtnShadow : clBtnHighlight;
        const TColor dark = sunken ? clBtnHighlight : (flat_ ? clBtnShadow : cl3DDkShadow);
        canvas.Pen.Style = PS_SOLID;
        canvas.Pen.Width = 1;
        canvas.Pen.Color = Rgb(light);
        canvas.MoveTo(0, Height() - 1);
        canvas.LineTo(0, 0);
        canvas.LineTo(Width() - 1, 0);
        canvas.Pen.Color = Rgb(dark);
        canvas.LineTo(Width() - 1, Height() - 1);
        canvas.LineTo(-1, Height() - 1);
    }
    const int shift = sunken && !flat_ ? 1 : 0;
    const uint32_t ink = Rgb(Enabled() ? clBtnText : clBtnShadow);
    if (ArrowGlyph) {
        const int cx = Width() / 2 + shift, cy = Height() / 2 + shift;
        canvas.Pen.Color = canvas.Brush.Color = ink;
        canvas.Polygon({{cx - 3, cy - 1}, {cx + 3, cy - 1}, {cx, cy + 2}});
    }
    if (!Caption.empty()) {
        canvas.Font = Font;
        canvas.Font.Color = ink;
        canvas.Brush.Style = BS_NULL;
        const TSize extent = canvas.TextExtent(Caption);
        canvas.TextOut((Width() - extent.cx) / 2 + shift, (Height() - extent.cy) / 2 + shift, Caption);
        canvas.Brush.Style = BS_SOLID;
    }
}

// ---------------------------------------------------------------- TSubColorButton

void TSubColorButton::Paint(TCanvas& canvas) {
    TColorSpeedButton::Paint(canvas);
    const TRect face = FaceRect();
    const int shift = Pressed() || Down() ? 1 : 0;
    const int height = face.Bottom - face.Top;
    canvas.Pen.Style = PS_SOLID;
    canvas.Pen.Width = 1;
    canvas.Brush.Style = BS_SOLID;
    if (Glyph != TGlyphType::gtNone) {
        // The glyph above the swatch: a letter, a filled pail or lines.
        const int x = (Width() + 1) / 2 - 8 + shift, y = (Height() + 1) / 2 + 4 + shift;
        const uint32_t ink = Rgb(Enabled() ? clBtnText : clBtnShadow);
        canvas.Pen.Color = canvas.Brush.Color = ink;
        switch (Glyph) {
            case TGlyphType::gtText: {
                const int top = std::max(1, y - 12);
                canvas.Polyline({{x + 3, y - 1}, {x + 8, top}, {x + 13, y - 1}});
                canvas.MoveTo(x + 5, y - 5);
                canvas.LineTo(x + 12, y - 5);
                break;
            }
            case TGlyphType::gtLines:
                for (int line = 0; line < 3; ++line) {
                    canvas.MoveTo(x + 2, y - 3 - 3 * line);
                    canvas.LineTo(x + 14, y - 3 - 3 * line);
                }
                break;
            case TGlyphType::gtBackGround:
                canvas.Polygon({{x + 3, y - 6}, {x + 8, y - 11}, {x + 13, y - 6}, {x + 8, y - 1}});
                break;
            case TGlyphType::gtNone: break;
        }
        const uint32_t fill = Enabled() ? Rgb(Color) : Rgb(clInactiveCaption);
        canvas.Pen.Color = canvas.Brush.Color = fill;
        canvas.Rectangle(x, y, x + 16, y + 4);
        return;
    }
    if (!Caption.empty()) {
        const int s = height / 7;
        canvas.Pen.Color = Enabled() ? Rgb(clGrey) : Rgb(clInactiveCaption);
        canvas.Brush.Style = BS_NULL;
        canvas.Rectangle(face.Left + s, face.Top + s, face.Right - s, face.Bottom - s);
        const int t = height / 6;
        canvas.Pen.Color = Rgb(clGrey);
        canvas.Brush.Style = BS_SOLID;
        canvas.Brush.Color = Enabled() ? Rgb(Color) : Rgb(clBtnFace);
        canvas.Rectangle(face.Left + t + 4, face.Top + t + 3, face.Bottom - t, face.Bottom - t - 1);
        return;
    }
    const int t = height / 6 + 1;
    canvas.Pen.Color = Rgb(clGrey);
    canvas.Brush.Color = Enabled() ? Rgb(Color) : Rgb(clBtnFace);
    canvas.Rectangle(face.Left + t, face.Top + t, face.Right - t + 1, face.Bottom - t + 1);
}

// ---------------------------------------------------------------- TColorPalette

TColorPalette::TColorPalette(TColorButton& button) : TCustomForm(&button), button_(button) {
    Color = clBtnFace;
    SetVisible(false);
    HandleMessage(WM_MOUSEMOVE, [this](TMessage& m, const TMessageHandler& inherited) {
        const int x = LParamX(m.LParam), y = LParamY(m.LParam);
        if (!tornOff_) {
            const bool over = x >= dragBar_.Left - 2 && x < dragBar_.Right + 2 && y >= dragBar_.Top - 2 && y < dragBar_.Bottom + 2;
            if (over != overBar_) {
                overBar_ = over;
                InvalidateRect(dragBar_);
            }
            // Dragging the bar tears the palette off, once the mouse has
            // really moved.
            if (!(m.WParam & MK_LBUTTON)) barPressed_ = false;
            if (barPressed_ && (std::abs(x - pressAt_.X) > 2 || std::abs(y - pressAt_.Y) > 2)) {
                barPressed_ = false;
                Application().PostMessage(Handle(), CM_TEAROFF, x - pressAt_.X, y - pressAt_.Y);
            }
            if (!over) return;
        }
        inherited(m);
    });
    HandleMessage(WM_LBUTTONDOWN, [this](TMessage& m, const TMessageHandler& inherited) {
        const int x = LParamX(m.LParam), y = LParamY(m.LParam);
        if (!tornOff_ && button_.DropDownMove() && x >= dragBar_.Left && x < dragBar_.Right && y >= dragBar_.Top &&
            y < dragBar_.Bottom) {
            barPressed_ = true;
            pressAt_ = {x, y};
            return;
        }
        inherited(m);
    });
    HandleMessage(WM_LBUTTONUP, [this](TMessage& m, const TMessageHandler& inherited) {
        barPressed_ = false;
        inherited(m);
    });
    HandleMessage(CM_MOUSELEAVE, [this](TMessage& m, const TMessageHandler& inherited) {
        if (overBar_) {
            overBar_ = false;
            InvalidateRect(dragBar_);
        }
        inherited(m);
    });
    HandleMessage(CM_TEAROFF, [this](TMessage& m, const TMessageHandler&) {
        const int32_t left = Left() + static_cast<int32_t>(m.WParam), top = Top() + static_cast<int32_t>(m.LParam);
        button_.TearOff();
        SetBounds(left, top, Width(), Height());
    });
    OnClose = [this](TComponent*, TCloseAction& action) {
        action = TCloseAction::caHide;
        button_.PaletteHidden();
    };
}

void TColorPalette::CreateParams(TCreateParams& params) {
    TCustomForm::CreateParams(params);
    params.ExStyle |= WS_EX_TOPMOST;
    if (tornOff_) {
        params.ExStyle |= WS_EX_TOOLWINDOW;
    } else {
        params.Style &= ~WS_CAPTION;
        params.Style |= WS_POPUP;
    }
    params.WinClassName = "TColorPalette";
}

void TColorPalette::PaintWindow(TBitmap& surface) {
    TCustomForm::PaintWindow(surface);
    if (tornOff_) return;
    TCanvas canvas(surface);
    // A docked palette draws its own thin frame.
    canvas.Brush.Style = BS_SOLID;
    canvas.Brush.Color = Rgb(clBtnShadow);
    canvas.FrameRect({0, 0, surface.Width(), surface.Height()});
    if (dragBar_.Right <= dragBar_.Left) return;
    canvas.Brush.Style = BS_SOLID;
    canvas.Brush.Color = Rgb(overBar_ ? clActiveCaption : clInactiveCaption);
    canvas.FillRect(dragBar_);
}

// ---------------------------------------------------------------- TColorButton

TColorButton::TColorButton(TComponent* owner) : TCustomControl(owner) {
    face_ = new TSubColorButton(this);
    face_->Glyph = TGlyphType::gtText;
    face_->SetParent(this);
    face_->OnClick = [this](TComponent*) { Click(); };
    arrow_ = new TColorSpeedButton(this);
    arrow_->GroupIndex = 2;
    arrow_->AllowAllUp = true;
    arrow_->ArrowGlyph = true;
    arrow_->SetParent(this);
    arrow_->OnMouseDown = [this](TComponent*) {
        if (palette_->Visible() && !palette_->TornOff()) {
            palette_->SetVisible(false);
            PaletteHidden();
        } else {
            DropDown();
        }
    };
    // The two halves light up together; the face stays lit while its
    // palette is open and docked, the arrow while it is down.
    face_->Partner = arrow_;
    arrow_->Partner = face_;
    face_->KeepLit = [this] { return palette_->Visible() && !palette_->TornOff(); };
    arrow_->KeepLit = [this] { return arrow_->Down(); };

    palette_ = new TColorPalette(*this);
    automatic_ = new TSubColorButton(palette_);
    automatic_->GroupIndex = 1;
    automatic_->Tag = kAutomaticTag;
    automatic_->AllowAllUp = true;
    automatic_->Color = clDefault;
    automatic_->Caption = u"Automatic";
    automatic_->SetParent(palette_);
    automatic_->SetDown(true);
    automatic_->OnClick = [this](TComponent* sender) { CellClick(sender); };
    for (size_t i = 0; i < cells_.size(); ++i) {
        auto* cell = new TSubColorButton(palette_);
        cell->GroupIndex = 1;
        cell->AllowAllUp = true;
        cell->Tag = static_cast<int>(i);
        cell->Color = kPalette[i];
        cell->SetParent(palette_);
        cell->OnClick = [this](TComponent* sender) { CellClick(sender); };
        cells_[i] = cell;
    }
    other_ = new TColorSpeedButton(palette_);
    other_->Tag = kOtherTag;
    other_->Caption = u"Other Colors...";
    other_->SetParent(palette_);
    other_->OnClick = [this](TComponent* sender) { CellClick(sender); };
    UcControlSetText(*palette_, dropDownCaption_);

    dialog_ = new TColorDialog(this);
    action_ = new TAction(this);
    action_->OnUpdate = [this](TBasicAction*) {
        if (OnUpdate) OnUpdate(this);
    };
    SetBounds(0, 0, 35, 22);
    ApplyWordStyle();
}

TColorButton::~TColorButton() {
    if (palette_->Visible()) palette_->SetVisible(false);
    delete action_;
}

void TColorButton::Paint() {
    TBitmap* surface = PaintSurface();
    if (!surface) return;
    TCanvas canvas(*surface);
    canvas.Brush.Style = BS_SOLID;
    canvas.Brush.Color = Rgb(clBtnFace);
    canvas.FillRect({0, 0, Width(), Height()});
}

void TColorButton::SetBounds(int32_t left, int32_t top, int32_t width, int32_t height) {
    dropDownWidth_ = std::max(dropDownWidth_, 12);
    width = std::max(width, dropDownWidth_ + 23);
    height = std::max(height, 22);
    TCustomControl::SetBounds(left, top, width, height);
    AdjustSize();
}

void TColorButton::AdjustSize() {
    if (!face_ || !arrow_) return;
    face_->SetBounds(0, 0, Width() - dropDownWidth_, Height());
    arrow_->SetBounds(Width() - dropDownWidth_, 0, dropDownWidth_, Height());
}

void TColorButton::SetSelectedColor(TColor color) {
    if (color == selectedColor_) return;
    selectedColor_ = color;
    face_->Color = color;
    face_->Invalidate();
    if (color == automatic_->Color) {
        automatic_->SetDown(true);
    } else {
        automatic_->SetDown(false);
        for (TSubColorButton* cell : cells_) {
            if (cell->Color == color) {
                cell->SetDown(true);
                break;
            }
            cell->SetDown(false);
        }
    }
    if (OnColorSelected) OnColorSelected(this, color);
}

void TColorButton::SetMetric(int index, int value) {
    const auto at = static_cast<size_t>(index);
    if (at >= metrics_.size() || metrics_[at] == value) return;
    metrics_[at] = std::max(value, kMetricPresets[at]);
    wordStyle_ = false;
    if (palette_->Visible()) LayoutPalette(dropDownMove_ && !palette_->TornOff());
}

void TColorButton::SetWordStyle(bool on) {
    if (wordStyle_ == on) return;
    wordStyle_ = on;
    if (on) ApplyWordStyle();
}

void TColorButton::ApplyWordStyle() {
    metrics_ = kMetricPresets;
    SetFlat(true);
    SetDropDownFlat(true);
    SetDropDownWidth(12);
    SetDropDownMove(true);
    LayoutPalette(dropDownMove_ && !palette_->TornOff());
}

void TColorButton::SetFlat(bool flat) {
    flat_ = flat;
    face_->SetFlat(flat);
    arrow_->SetFlat(flat);
}

void TColorButton::SetDropDownFlat(bool flat) {
    dropDownFlat_ = flat;
    automatic_->SetFlat(flat);
    for (TSubColorButton* cell : cells_) cell->SetFlat(flat);
    other_->SetFlat(flat);
}

void TColorButton::SetDropDownWidth(int width) {
    dropDownWidth_ = width;
    SetBounds(Left(), Top(), Width(), Height());
}

void TColorButton::SetDropDownMove(bool move) {
    dropDownMove_ = move;
    if (palette_->TornOff()) {
        palette_->SetVisible(false);
        Dock();
        PaletteHidden();
    }
}

void TColorButton::SetGlyphType(TGlyphType glyph) {
    face_->Glyph = glyph;
    face_->Invalidate();
}

WideString TColorButton::CaptionAutoColor() const { return automatic_->Caption; }
void TColorButton::SetCaptionAutoColor(const WideString& caption) {
    automatic_->Caption = caption;
    automatic_->Invalidate();
}
WideString TColorButton::CaptionOtherColor() const { return other_->Caption; }
void TColorButton::SetCaptionOtherColor(const WideString& caption) {
    other_->Caption = caption;
    other_->Invalidate();
}
void TColorButton::SetDropDownCaption(const WideString& caption) {
    dropDownCaption_ = caption;
    if (palette_->TornOff()) UcControlSetText(*palette_, caption);
}

void TColorButton::SetEnabled(bool enabled) {
    TCustomControl::SetEnabled(enabled);
    face_->SetEnabled(enabled);
    arrow_->SetEnabled(enabled);
    automatic_->SetEnabled(enabled);
    for (TSubColorButton* cell : cells_) cell->SetEnabled(enabled);
    other_->SetEnabled(enabled);
}

void TColorButton::SetFont(const TCanvasFont& font) {
    automatic_->Font = font;
    other_->Font = font;
    automatic_->Invalidate();
    other_->Invalidate();
}

void TColorButton::LayoutPalette(bool withDragBar) {
    const int d = withDragBar ? 0 : -DragBarHeight();
    const int width = 2 * HoriMargin() + 8 * ColorSize() + 7 * ColorSpace();
    const int height = TopMargin() + BottomMargin() + DragBarHeight() + DragBarSpace() + ColorSpaceTop() + ColorSpaceBottom() +
                       5 * ColorSize() + 4 * ColorSpace() + 2 * ButtonHeight() + d;
    palette_->SetBounds(palette_->Left(), palette_->Top(), width, height);
    if (withDragBar) palette_->dragBar_ = {(HoriMargin() + 1) / 2, TopMargin(), width - (HoriMargin() + 1) / 2, TopMargin() + DragBarHeight()};
    else palette_->dragBar_ = {};
    const int autoLeft = HoriMargin(), autoTop = TopMargin() + DragBarHeight() + DragBarSpace() + d;
    const int autoWidth = width - 2 * HoriMargin();
    automatic_->SetBounds(autoLeft, autoTop, autoWidth, ButtonHeight());
    for (size_t i = 0; i < cells_.size(); ++i) {
        const int column = static_cast<int>(i % 8), row = static_cast<int>(i / 8);
        cells_[i]->SetBounds(autoLeft + column * (ColorSize() + ColorSpace()),
                             autoTop + ButtonHeight() + ColorSpaceTop() + row * (ColorSpace() + ColorSize()), ColorSize(), ColorSize());
    }
    other_->SetBounds(autoLeft, cells_[39]->Top() + ColorSize() + ColorSpaceBottom(), autoWidth, ButtonHeight());
    palette_->Invalidate();
}

void TColorButton::DropDown() {
    if (palette_->TornOff()) Dock();
    UcControlSetText(*palette_, u"");
    LayoutPalette(dropDownMove_);
    const TPoint origin = NativeWindow() ? NativeWindow()->ClientToScreen({0, 0}) : ClientOrigin();
    const TRect screen = Application().Backend().WorkArea();
    int left = origin.X + face_->Left();
    int top = origin.Y + Height();
    if (left + palette_->Width() > screen.Right) left = screen.Right - palette_->Width();
    if (top + palette_->Height() > screen.Bottom) top = origin.Y - palette_->Height();
    palette_->SetBounds(left, top, palette_->Width(), palette_->Height());
    arrow_->SetDown(true);
    palette_->Handle();
    palette_->SetVisible(true);
}

void TColorButton::TearOff() {
    if (palette_->TornOff()) return;
    palette_->tornOff_ = true;
    palette_->overBar_ = false;
    palette_->RecreateWnd();
    UcControlSetText(*palette_, dropDownCaption_);
    LayoutPalette(false);
    arrow_->SetDown(false);
    arrow_->Perform(CM_MOUSELEAVE);
}

void TColorButton::Dock() {
    if (!palette_->TornOff()) return;
    palette_->tornOff_ = false;
    palette_->RecreateWnd();
    LayoutPalette(dropDownMove_);
}

void TColorButton::PaletteHidden() {
    arrow_->SetDown(false);
    arrow_->Perform(CM_MOUSELEAVE);
    face_->Perform(CM_MOUSELEAVE);
}

void TColorButton::CellClick(TComponent* sender) {
    auto* button = dynamic_cast<TColorSpeedButton*>(sender);
    if (!button) return;
    if (!palette_->TornOff()) {
        palette_->SetVisible(false);
        PaletteHidden();
    }
    if (button->Tag == kOtherTag) {
        dialog_->Color = selectedColor_ == clDefault ? 0 : selectedColor_;
        if (dialog_->Execute()) SetSelectedColor(dialog_->Color);
        return;
    }
    button->SetDown(true);
    if (auto* cell = dynamic_cast<TSubColorButton*>(button)) SetSelectedColor(cell->Color);
}
