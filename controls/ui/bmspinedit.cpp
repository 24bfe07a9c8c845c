#include "controls/ui/bmspinedit.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <stdexcept>

#include "platform/canvas.h"
#include "platform/format_settings.h"
#include "platform/system_colours.h"
#include "platform/ui/application.h"

namespace {

using namespace SystemColours;

uint32_t Rgb(TColor color) { return static_cast<uint32_t>(ColorToRGB(color)); }

// The whole canvas in one colour.
void FillCanvas(TCanvas& canvas, TColor color) {
    canvas.Brush.Style = BS_SOLID;
    canvas.Brush.Color = Rgb(color);
    canvas.FillRect({0, 0, canvas.Width(), canvas.Height()});
}

// Rounds to nearest, ties to even.
double RoundEven(double x) { return std::nearbyint(x); }

// A number as its decimal digits: value = 0.digits × 10^exponent. Fifteen
// significant digits, as many as a double keeps, so 0.15 reads as 0.15 and
// not as the 0.1499... it is stored as.
struct TDecimal {
    std::string Digits;
    int Exponent = 0;
    bool Negative = false;
};

TDecimal Decompose(double value) {
    TDecimal d;
    d.Negative = std::signbit(value);
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.14e", std::fabs(value));
    const std::string text(buffer);
    const size_t e = text.find('e');
    d.Digits = text.substr(0, 1) + text.substr(2, e - 2);
    d.Exponent = std::atoi(text.c_str() + e + 1) + 1;
    if (d.Digits.find_first_not_of('0') == std::string::npos) d.Digits.clear(), d.Exponent = 0;
    return d;
}

// Keeps count leading digits, rounding half away from zero.
void RoundDigits(TDecimal& d, int count) {
    if (count >= static_cast<int>(d.Digits.size())) return;
    if (count < 0) {
        d.Digits.clear();
        return;
    }
    const bool up = d.Digits[static_cast<size_t>(count)] >= '5';
    d.Digits.resize(static_cast<size_t>(count));
    if (up) {
        int i = count - 1;
        for (; i >= 0 && d.Digits[static_cast<size_t>(i)] == '9'; --i) d.Digits[static_cast<size_t>(i)] = '0';
        if (i >= 0) {
            ++d.Digits[static_cast<size_t>(i)];
        } else {
            d.Digits.insert(d.Digits.begin(), '1');
            ++d.Exponent;
        }
    }
    while (!d.Digits.empty() && d.Digits.back() == '0') d.Digits.pop_back();
    if (d.Digits.empty()) d.Exponent = 0;
}

std::u16string Widen(const std::string& ascii) { return {ascii.begin(), ascii.end()}; }

std::u16string FixedText(double value, int decimals, char16_t separator) {
    TDecimal d = Decompose(value);
    RoundDigits(d, d.Exponent + decimals);
    std::string whole, fraction;
    for (int i = 0; i < d.Exponent; ++i) whole += i < static_cast<int>(d.Digits.size()) ? d.Digits[static_cast<size_t>(i)] : '0';
    if (whole.empty()) whole = "0";
    for (int i = 0; i < decimals; ++i) {
        const int at = d.Exponent + i;
        fraction += at >= 0 && at < static_cast<int>(d.Digits.size()) ? d.Digits[static_cast<size_t>(at)] : '0';
    }
    std::u16string text = (d.Negative && !d.Digits.empty() ? u"-" : u"") + Widen(whole);
    if (decimals > 0) text += separator + Widen(fraction);
    return text;
}

// The general format: the shortest of fixed and scientific notation with
// the given significant digits.
std::u16string GeneralText(double value, int digits, char16_t separator) {
    TDecimal d = Decompose(value);
    RoundDigits(d, digits);
    if (d.Digits.empty()) return u"0";
    std::u16string sign = d.Negative ? u"-" : u"";
    if (d.Exponent > digits || d.Exponent < -4) {
        std::u16string text = sign + static_cast<char16_t>(d.Digits[0]);
        if (d.Digits.size() > 1) text += separator + Widen(d.Digits.substr(1));
        return text + u"E" + Widen(std::to_string(d.Exponent - 1));
    }
    std::string whole = "0", fraction;
    if (d.Exponent > 0) {
        whole = d.Digits.substr(0, static_cast<size_t>(std::min<int>(d.Exponent, static_cast<int>(d.Digits.size()))));
        whole.resize(static_cast<size_t>(d.Exponent), '0');
        if (static_cast<int>(d.Digits.size()) > d.Exponent) fraction = d.Digits.substr(static_cast<size_t>(d.Exponent));
    } else {
        fraction = std::string(static_cast<size_t>(-d.Exponent), '0') + d.Digits;
    }
    std::u16string text = sign + Widen(whole);
    if (!fraction.empty()) text += separator + Widen(fraction);
    return text;
}

std::u16string Trim(const std::u16string& text) {
    const size_t first = text.find_first_not_of(u' ');
    if (first == std::u16string::npos) return {};
    return text.substr(first, text.find_last_not_of(u' ') - first + 1);
}

// A raised (or, pressed, sunken) button face.
void DrawButtonFace(TCanvas& canvas, const TRect& r, bool pressed) {
    canvas.Brush.Style = BS_SOLID;
    canvas.Brush.Color = Rgb(clBtnFace);
    canvas.FillRect(r);
    const TColor light = pressed ? cl3DDkShadow : clBtnHighlight;
    const TColor dark = pressed ? clBtnHighlight : cl3DDkShadow;
    canvas.Pen.Style = PS_SOLID;
    canvas.Pen.Width = 1;
    canvas.Pen.Color = Rgb(light);
    canvas.MoveTo(r.Left, r.Bottom - 1);
    canvas.LineTo(r.Left, r.Top);
    canvas.LineTo(r.Right - 1, r.Top);
    canvas.Pen.Color = Rgb(dark);
    canvas.LineTo(r.Right - 1, r.Bottom - 1);
    canvas.LineTo(r.Left - 1, r.Bottom - 1);
    if (!pressed && r.Right - r.Left > 3 && r.Bottom - r.Top > 3) {
        canvas.Pen.Color = Rgb(clBtnShadow);
        canvas.MoveTo(r.Right - 2, r.Top + 1);
        canvas.LineTo(r.Right - 2, r.Bottom - 2);
        canvas.LineTo(r.Left, r.Bottom - 2);
    }
}

// A small filled triangle pointing up, down or left, centred in r.
void DrawArrow(TCanvas& canvas, const TRect& r, char direction, bool enabled, int shift) {
    const int cx = (r.Left + r.Right) / 2 + shift, cy = (r.Top + r.Bottom) / 2 + shift;
    const int s = std::max(1, std::min(3, std::min(r.Right - r.Left, r.Bottom - r.Top) / 4));
    std::vector<TPoint> points;
    switch (direction) {
        case 'u': points = {{cx - s, cy + s / 2}, {cx + s, cy + s / 2}, {cx, cy - s + s / 2}}; break;
        case 'd': points = {{cx - s, cy - s / 2}, {cx + s, cy - s / 2}, {cx, cy + s - s / 2}}; break;
        default: points = {{cx + s / 2, cy - s}, {cx + s / 2, cy + s}, {cx - s + s / 2, cy}}; break;
    }
    canvas.Pen.Color = canvas.Brush.Color = Rgb(enabled ? clBtnText : clBtnShadow);
    canvas.Brush.Style = BS_SOLID;
    canvas.Polygon(points);
}

TBMSpinEdit& SpinEditOwner(TComponent* owner) {
    auto* edit = dynamic_cast<TBMSpinEdit*>(owner);
    if (!edit) throw std::invalid_argument("The owner of a spin edit's gauge must be a spin edit");
    return *edit;
}

}  // namespace

// ---------------------------------------------------------------- TBMAGauge

TBMAGauge::TBMAGauge(TComponent* owner) : TCustomControl(owner), BeginColor(clHighlight), edit_(SpinEditOwner(owner)) {
    HandleMessage(WM_LBUTTONDOWN, [this](TMessage& m, const TMessageHandler&) {
        dragging_ = true;
        if (NativeWindow()) NativeWindow()->SetCapture(true);
        SetValueFromMouse(LParamX(m.LParam));
        edit_.SetFocus();
        edit_.SendClassMessage(EM_SETSEL, -1, 0);
    });
    HandleMessage(WM_MOUSEMOVE, [this](TMessage& m, const TMessageHandler&) {
        if (dragging_) SetValueFromMouse(LParamX(m.LParam));
    });
    HandleMessage(WM_LBUTTONUP, [this](TMessage& m, const TMessageHandler&) {
        if (!dragging_) return;
        SetValueFromMouse(LParamX(m.LParam));
        dragging_ = false;
        if (NativeWindow()) NativeWindow()->SetCapture(false);
        if (edit_.AutoSelect) edit_.SelectAll();
    });
    HandleMessage(WM_MOUSEWHEEL, [this](TMessage& m, const TMessageHandler&) { m.Result = edit_.Perform(WM_MOUSEWHEEL, m.WParam, m.LParam); });
}

void TBMAGauge::SetValueFromMouse(int x) {
    double lo = 0, span = 0;
    edit_.GaugeRange(lo, span);
    if (span <= 0 || Width() <= 2) return;
    double value = lo + span * x / (Width() - 2);
    if (IncrementGauge > 0) value = RoundEven(value / IncrementGauge) * IncrementGauge;
    edit_.SetValue(value);
}

void TBMAGauge::Paint() {
    TBitmap* surface = PaintSurface();
    if (!surface) return;
    TCanvas canvas(*surface);
    const TRect client{0, 0, Width(), Height()};
    canvas.Brush.Style = BS_SOLID;
    canvas.Brush.Color = Rgb(edit_.Color);
    canvas.FillRect(client);

    double lo = 0, span = 0;
    edit_.GaugeRange(lo, span);
    const double hi = lo + span;
    double value = edit_.minValue_;
    edit_.ParseValue(edit_.Text(), value);
    const int w = client.Right - client.Left - 1;
    const int xValue = std::min(w, static_cast<int>(RoundEven((value - lo) * w / span + 1)));
    const double c = GaugeAroundCenter;
    const bool centred = lo < c && c < hi;
    int from = 0, to = xValue, xCentre = 0;
    bool draw = xValue > 0;
    if (centred) {
        xCentre = std::min(w, static_cast<int>(RoundEven((c - lo) * w / span + 1)));
        from = std::min(xCentre, xValue);
        to = std::max(xCentre, xValue);
        draw = value != c;
    }
    const double v = std::clamp(value, lo, hi);
    double e = 0;
    if (centred) e = v > c ? RoundEven((v - c) * 256 / (hi - c) + 1) : RoundEven((c - v) * 256 / (c - lo) + 1);
    else e = RoundEven((v - lo) * 256 / span + 1);
    const int position = static_cast<int>(std::clamp(e, 0.0, 256.0));
    const TColor begin = ColorToRGB(BeginColor), end = ColorToRGB(EndColor);
    auto channel = [&](int b, int f) { return b + position * (f - b) / 256; };
    const TColor colour = RGBColor(static_cast<uint8_t>(channel(RedOf(begin), RedOf(end))),
                                   static_cast<uint8_t>(channel(GreenOf(begin), GreenOf(end))),
                                   static_cast<uint8_t>(channel(BlueOf(begin), BlueOf(end))));
    if (draw && to > from) {
        canvas.Brush.Color = static_cast<uint32_t>(colour);
        canvas.FillRect({from, client.Top, to, client.Bottom});
    }
    if (centred) {
        canvas.Pen.Color = Rgb(clWindowFrame);
        canvas.MoveTo(xCentre, client.Top);
        canvas.LineTo(xCentre, client.Bottom);
    }
    canvas.Brush.Color = Rgb(clBtnFace);
    canvas.FrameRect(client);
}

// ---------------------------------------------------------------- TBMTrackBar

TBMTrackBar::TBMTrackBar(TComponent* owner) : TCustomControl(owner) { SetBounds(0, 0, 150, 45); }

void TBMTrackBar::SetPosition(int position) {
    position = std::clamp(position, Min, Max);
    if (position == position_) return;
    position_ = position;
    Invalidate();
}

TRect TBMTrackBar::ChannelRect() const {
    // The channel leaves room for half a thumb at each end and the ticks on
    // the top (left) side.
    if (Orientation == TTrackBarOrientation::trHorizontal)
        return {8, Height() - 8 - ThumbLength / 2, Width() - 8, Height() - 8 - ThumbLength / 2 + 4};
    return {Width() - 8 - ThumbLength / 2, 8, Width() - 8 - ThumbLength / 2 + 4, Height() - 8};
}

TRect TBMTrackBar::ThumbRect() const {
    const TRect channel = ChannelRect();
    const int across = ThumbLength, along = 11;
    const int range = std::max(1, Max - Min);
    if (Orientation == TTrackBarOrientation::trHorizontal) {
        const int travel = channel.Right - channel.Left - along;
        const int left = channel.Left + (position_ - Min) * travel / range;
        const int top = (channel.Top + channel.Bottom) / 2 - across / 2;
        return {left, top, left + along, top + across};
    }
    const int travel = channel.Bottom - channel.Top - along;
    const int top = channel.Top + (position_ - Min) * travel / range;
    const int left = (channel.Left + channel.Right) / 2 - across / 2;
    return {left, top, left + across, top + along};
}

void TBMTrackBar::Paint() {
    TBitmap* surface = PaintSurface();
    if (!surface) return;
    TCanvas canvas(*surface);
    FillCanvas(canvas, clBtnFace);
    const TRect channel = ChannelRect();
    DrawButtonFace(canvas, channel, true);
    canvas.Brush.Color = Rgb(clWindow);
    canvas.FillRect({channel.Left + 1, channel.Top + 1, channel.Right - 1, channel.Bottom - 1});
    // Ticks on the top (left) side, one every Frequency.
    const TRect thumb = ThumbRect();
    const bool horizontal = Orientation == TTrackBarOrientation::trHorizontal;
    const int along = horizontal ? thumb.Right - thumb.Left : thumb.Bottom - thumb.Top;
    const int travel = horizontal ? channel.Right - channel.Left - along : channel.Bottom - channel.Top - along;
    canvas.Pen.Color = Rgb(clBtnText);
    const int range = std::max(1, Max - Min);
    for (int tick = Min; Frequency > 0 && tick <= Max; tick += Frequency) {
        const int at = (horizontal ? channel.Left : channel.Top) + along / 2 + (tick - Min) * travel / range;
        if (horizontal) {
            canvas.MoveTo(at, thumb.Top - 5);
            canvas.LineTo(at, thumb.Top - 2);
        } else {
            canvas.MoveTo(thumb.Left - 5, at);
            canvas.LineTo(thumb.Left - 2, at);
        }
    }
    DrawButtonFace(canvas, thumb, false);
}

// ---------------------------------------------------------------- TPopupForm

TPopupForm::TPopupForm(TComponent* owner) : TCustomForm(owner) {
    Color = clBtnFace;
    SetVisible(false);
}

void TPopupForm::CreateParams(TCreateParams& params) {
    TCustomForm::CreateParams(params);
    params.Style &= ~(WS_CAPTION | WS_BORDER);
    params.Style |= WS_POPUP;
    params.ExStyle |= WS_EX_TOPMOST | WS_EX_TOOLWINDOW;
    params.WinClassName = "TPopupForm";
}

// ---------------------------------------------------------------- TBMSpinButtons

TBMSpinButtons::TBMSpinButtons(TBMSpinEdit& edit) : TCustomControl(&edit), edit_(edit), repeat_(std::make_unique<TTimer>(nullptr)) {
    repeat_->SetEnabled(false);
    repeat_->OnTimer = [this](TComponent*) { Repeat(); };
    SetCursor(crArrow);
    HandleMessage(WM_LBUTTONDOWN, [this](TMessage& m, const TMessageHandler&) {
        const int x = LParamX(m.LParam), y = LParamY(m.LParam);
        pressed_ = PartAt(x, y);
        if (!Enabled() || pressed_ == TPart::None) return;
        if (pressed_ == TPart::Drop) {
            edit_.DropButtonMouseDown(Application().CursorPos());
            return;
        }
        Invalidate();
        edit_.UpDownClick(pressed_ == TPart::Up);
        // Held, the arrow repeats: first after a pause, then quickly.
        repeat_->SetInterval(400);
        repeat_->SetEnabled(true);
    });
    HandleMessage(WM_MOUSEMOVE, [this](TMessage&, const TMessageHandler&) {
        if (pressed_ == TPart::Drop) edit_.DropButtonMouseMove(Application().CursorPos());
    });
    HandleMessage(WM_LBUTTONUP, [this](TMessage&, const TMessageHandler&) {
        const TPart was = pressed_;
        pressed_ = TPart::None;
        repeat_->SetEnabled(false);
        if (was == TPart::Drop) edit_.DropButtonMouseUp();
        Invalidate();
    });
    HandleMessage(WM_MOUSEWHEEL, [this](TMessage& m, const TMessageHandler&) { m.Result = edit_.Perform(WM_MOUSEWHEEL, m.WParam, m.LParam); });
}

void TBMSpinButtons::Repeat() {
    if (pressed_ != TPart::Up && pressed_ != TPart::Down) {
        repeat_->SetEnabled(false);
        return;
    }
    repeat_->SetInterval(100);
    edit_.UpDownClick(pressed_ == TPart::Up);
}

void TBMSpinButtons::SetDropDown(bool down) {
    if (dropDown_ == down) return;
    dropDown_ = down;
    Invalidate();
}

TBMSpinButtons::TPart TBMSpinButtons::PartAt(int x, int y) const {
    const int inner = Height() - 2;
    if (y < 1 || y >= 1 + inner) return TPart::None;
    if (x >= 1 && x < 1 + UpDownWidth) return y < 1 + inner / 2 ? TPart::Up : TPart::Down;
    if (DropVisible && x >= 15 && x < 15 + DropWidth) return TPart::Drop;
    return TPart::None;
}

void TBMSpinButtons::Paint() {
    TBitmap* surface = PaintSurface();
    if (!surface) return;
    TCanvas canvas(*surface);
    FillCanvas(canvas, clBtnFace);
    const int inner = Height() - 2;
    const TRect up{1, 1, 1 + UpDownWidth, 1 + inner / 2};
    const TRect down{1, 1 + inner / 2, 1 + UpDownWidth, 1 + inner};
    const bool enabled = Enabled() && edit_.Enabled();
    DrawButtonFace(canvas, up, pressed_ == TPart::Up);
    DrawArrow(canvas, up, 'u', enabled, pressed_ == TPart::Up ? 1 : 0);
    DrawButtonFace(canvas, down, pressed_ == TPart::Down);
    DrawArrow(canvas, down, 'd', enabled, pressed_ == TPart::Down ? 1 : 0);
    if (DropVisible) {
        const TRect drop{15, 1, 15 + DropWidth, 1 + inner};
        DrawButtonFace(canvas, drop, dropDown_);
        const char glyph = edit_.TrackBarOrientation() == TTrackBarOrientation::trVertical ? 'l' : 'd';
        DrawArrow(canvas, drop, glyph, enabled, dropDown_ ? 1 : 0);
    }
}

// ---------------------------------------------------------------- TBMSpinEdit

TBMSpinEdit::TBMSpinEdit(TComponent* owner) : TUcEdit(owner), Color(clWindow) {
    popup_ = new TPopupForm(this);
    trackBar_ = new TBMTrackBar(popup_);
    trackBar_->Frequency = 50;
    trackBar_->ThumbLength = 15;
    thickness_ = trackBar_->Height() - 10;
    trackBar_->SetParent(popup_);
    popup_->OnPopupShow = [this](TComponent*) { PopupShow(); };
    gauge_ = new TBMAGauge(this);
    gauge_->SetParent(this);
    buttons_ = new TBMSpinButtons(*this);
    buttons_->SetParent(this);
    SetCursor(crArrow);
    ApplyOrientation();
    SetText(FormatValue(0.0));
    ApplyLayout();

    HandleMessage(WM_KEYDOWN, [this](TMessage& m, const TMessageHandler& inherited) {
        inherited(m);
        if (m.Result) return;
        const auto key = static_cast<uint16_t>(m.WParam);
        const auto shift = static_cast<TShiftState>(m.LParam);
        if (key == VK_UP || key == VK_DOWN) {
            UpDownClick(key == VK_UP);
            m.Result = 1;
            return;
        }
        // Cut and paste by their keys go the way of WM_CUT and WM_PASTE.
        const bool cut = (key == 'X' && (shift & ssCtrl)) || (key == VK_DELETE && (shift & ssShift));
        const bool paste = (key == 'V' && (shift & ssCtrl)) || (key == VK_INSERT && (shift & ssShift));
        if ((cut || paste) && (!EditorEnabled || ReadOnly)) m.Result = 1;
    });
    HandleMessage(WM_MOUSEWHEEL, [this](TMessage& m, const TMessageHandler&) {
        const int delta = static_cast<int16_t>(HiWord(m.WParam));
        if (delta == 0 || !Enabled()) return;
        UpDownClick(delta > 0);
        m.Result = 1;
    });
    HandleMessage(CN_COMMAND, [this](TMessage& m, const TMessageHandler& inherited) {
        if (HiWord(m.WParam) == EN_CHANGE) TextChanged();
        if (!Loading()) inherited(m);
    });
    HandleMessage(WM_SETFOCUS, [this](TMessage& m, const TMessageHandler& inherited) {
        inherited(m);
        if (AutoSelect) SelectAll();
    });
    HandleMessage(WM_KILLFOCUS, [this](TMessage& m, const TMessageHandler& inherited) {
        inherited(m);
        const double value = Value();
        const double clamped = ClampValue(value);
        if (clamped != value) SetValue(clamped);
    });
}

TBMSpinEdit::~TBMSpinEdit() {
    delete trackBar_;
    delete popup_;
    delete buttons_;
    delete gauge_;
}

void TBMSpinEdit::CreateParams(TCreateParams& params) {
    TUcEdit::CreateParams(params);
    if (ReadOnly) params.Style |= ES_READONLY;
}

void TBMSpinEdit::CreateWnd() {
    TUcEdit::CreateWnd();
    SetEditRect();
}

WideString TBMSpinEdit::FormatValue(double value) const {
    const char16_t separator = FormatSettings().DecimalSeparator;
    WideString text = precision_ < 0 ? GeneralText(value, 4, separator) : FixedText(value, precision_, separator);
    if (!valueUnit_.empty()) text += u" " + valueUnit_;
    return text;
}

WideString TBMSpinEdit::StripUnit(const WideString& text) const {
    if (valueUnit_.empty()) return text;
    const size_t unitAt = text.find(valueUnit_);
    if (unitAt != WideString::npos && unitAt >= 2) return Trim(text.substr(0, unitAt));
    const size_t space = text.find(u' ');
    if (space != WideString::npos && space >= 1) return text.substr(0, space);
    return text;
}

bool TBMSpinEdit::ParseValue(const WideString& text, double& value) const {
    const char16_t separator = FormatSettings().DecimalSeparator;
    WideString s = StripUnit(text);
    if (s.empty() || s == u"-") {
        value = 0;
        return true;
    }
    // The exponent of the general format ("1.235E-7") reads back as one.
    auto exponentAt = [&s](size_t i) {
        if (i == 0 || (s[i] != u'E' && s[i] != u'e') || s[i - 1] < u'0' || s[i - 1] > u'9') return false;
        size_t j = i + 1;
        if (j < s.size() && (s[j] == u'-' || s[j] == u'+')) ++j;
        if (j == s.size()) return false;
        for (; j < s.size(); ++j)
            if (s[j] < u'0' || s[j] > u'9') return false;
        return true;
    };
    for (size_t i = s.size(); i-- > 0;) {
        const char16_t c = s[i];
        if (c == u' ') s.erase(i, 1);
        else if ((c == u'+' && i > 0 && (s[i - 1] == u'E' || s[i - 1] == u'e') && exponentAt(i - 1)) || exponentAt(i)) continue;
        else if (c != u'-' && c != separator && (c < u'0' || c > u'9')) s[i] = separator;
    }
    if (s.empty()) return false;
    if (s.front() == separator) s.insert(s.begin(), u'0');
    if (s.back() == separator) s.push_back(u'0');
    std::string ascii;
    for (char16_t c : s) ascii += c == separator ? '.' : c == u'+' ? '\0' : static_cast<char>(c);
    std::erase(ascii, '\0');
    double parsed = 0;
    const auto [end, error] = std::from_chars(ascii.data(), ascii.data() + ascii.size(), parsed);
    if (error != std::errc() || end != ascii.data() + ascii.size()) return false;
    value = parsed;
    return true;
}

double TBMSpinEdit::ClampValue(double x) const {
    if (maxValue_ == minValue_) return x;
    return std::clamp(x, minValue_, std::max(minValue_, maxValue_));
}

double TBMSpinEdit::Value() {
    const WideString text = Text();
    double value = 0;
    if (text.empty() || !ParseValue(text, value)) {
        SetText(FormatValue(minValue_));
        return minValue_;
    }
    return value;
}

void TBMSpinEdit::SetValue(double value) {
    const double old = Value();
    SetText(FormatValue(ClampValue(value)));
    if (value == old) return;
    gauge_->Invalidate();
    if (popup_->Visible()) {
        double lo = 0, span = 0;
        GaugeRange(lo, span);
        const int p = std::min(1000, static_cast<int>(RoundEven((ClampValue(value) - lo) * 1000 / span)));
        trackBar_->SetPosition(orientation_ == TTrackBarOrientation::trVertical ? 1000 - p : p);
    }
    if (OnChange && !Loading()) OnChange(this);
}

void TBMSpinEdit::SetMaxValue(double value) {
    if (value == maxValue_) return;
    maxValue_ = value;
    SetValue(std::min(value, Value()));
    gauge_->Invalidate();
}

void TBMSpinEdit::SetMinValue(double value) {
    if (value == minValue_) return;
    minValue_ = value;
    SetValue(std::max(value, Value()));
    gauge_->Invalidate();
}

void TBMSpinEdit::SetGaugeMaxValue(double value) {
    if (value == gaugeMaxValue_) return;
    gaugeMaxValue_ = value;
    gauge_->Invalidate();
}

void TBMSpinEdit::SetGaugeMinValue(double value) {
    if (value == gaugeMinValue_) return;
    gaugeMinValue_ = value;
    gauge_->Invalidate();
}

void TBMSpinEdit::SetValueUnit(const WideString& unit) {
    // The old unit is stripped before the new one is known.
    const double value = Value();
    valueUnit_ = unit;
    SetValue(value);
}

void TBMSpinEdit::SetPrecision(int precision) {
    precision = std::clamp(precision, -1, 6);
    if (precision == precision_) return;
    const double value = Value();
    precision_ = precision;
    SetValue(value);
}

void TBMSpinEdit::SetGaugeAroundCenter(double value) {
    gauge_->GaugeAroundCenter = value;
    gauge_->Invalidate();
}

void TBMSpinEdit::SetGuageBeginColor(TColor color) {
    if (color == gauge_->BeginColor) return;
    gauge_->BeginColor = color;
    gauge_->Invalidate();
}

void TBMSpinEdit::SetGuageEndColor(TColor color) {
    if (color == gauge_->EndColor) return;
    gauge_->EndColor = color;
    gauge_->Invalidate();
}

void TBMSpinEdit::SetTrackBarWidth(int width) { trackBarWidth_ = std::clamp(width, 50, 300); }

void TBMSpinEdit::SetTrackBarOrientation(TTrackBarOrientation orientation) {
    if (orientation == orientation_) return;
    orientation_ = orientation;
    ApplyOrientation();
}

void TBMSpinEdit::SetTrackBarEnabled(bool enabled) {
    if (enabled == trackBarEnabled_) return;
    trackBarEnabled_ = enabled;
    buttons_->DropVisible = enabled;
    ApplyLayout();
    SetEditRect();
    buttons_->Invalidate();
    Invalidate();
}

void TBMSpinEdit::SetGuageHeight(int height) {
    if (height == guageHeight_) return;
    guageHeight_ = height;
    ApplyLayout();
}

void TBMSpinEdit::GaugeRange(double& lo, double& span) const {
    double hi = 0;
    if (gaugeMinValue_ == 0 && gaugeMaxValue_ == 0) {
        lo = minValue_;
        hi = maxValue_;
    } else {
        lo = gaugeMinValue_;
        hi = gaugeMaxValue_;
    }
    span = hi - lo;
    if (span <= 0) span = 100;
}

void TBMSpinEdit::ApplyOrientation() {
    trackBar_->Orientation = orientation_;
    if (orientation_ == TTrackBarOrientation::trVertical) popup_->SetBounds(popup_->Left(), popup_->Top(), thickness_, trackBarWidth_);
    else popup_->SetBounds(popup_->Left(), popup_->Top(), trackBarWidth_, thickness_);
    trackBar_->SetBounds(4, 4, popup_->Width() - 8, popup_->Height() - 8);
    buttons_->Invalidate();
}

void TBMSpinEdit::SetBounds(int32_t left, int32_t top, int32_t width, int32_t height) {
    const int32_t oldHeight = Height();
    // (The base class's constructor sizes the edit before its parts exist.)
    if (buttons_ && height < GetMinHeight()) height = GetMinHeight();
    TUcEdit::SetBounds(left, top, width, height);
    if (!buttons_) return;
    ApplyLayout();
    if (height == oldHeight) SetEditRect();
}

void TBMSpinEdit::ApplyLayout() {
    const int32_t w = Width(), h = Height();
    const int dropWidth = trackBarEnabled_ ? TBMSpinButtons::DropWidth : 0;
    buttons_->SetBounds(w - TBMSpinButtons::UpDownWidth - dropWidth - 7, 0, dropWidth + TBMSpinButtons::UpDownWidth + 3,
                        std::max(0, h - guageHeight_ - 4));
    gauge_->SetBounds(0, h - guageHeight_ - 5, std::max(0, w - 4), guageHeight_ + 2);
}

void TBMSpinEdit::SetEditRect() {
    // The text stops short of the buttons instead of running under them.
    const int right = buttons_->Width() + 2;
    SendClassMessage(EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN, MakeLParam(2, right));
}

int32_t TBMSpinEdit::GetMinHeight() {
    TBitmap scratch;
    TCanvas canvas(scratch);
    const int32_t system = canvas.TextExtent(u"0").cy;
    const int32_t font = system;
    return font + std::min(system, font) / 4 + 4 * Application().Backend().GetSystemMetric(SM_CYBORDER) + guageHeight_ + 3;
}

void TBMSpinEdit::UpDownClick(bool up) {
    if (ReadOnly) return;
    SetFocus();
    const double value = Value();
    double next = 0;
    if (up) next = value < maxValue_ - Increment ? value + Increment : maxValue_;
    else next = value <= minValue_ + Increment ? minValue_ : value - Increment;
    SetValue(next);
    if (AutoSelect) SelectAll();
    gauge_->Invalidate();
}

void TBMSpinEdit::DropButtonMouseDown(const TPoint& screen) {
    mouseAtDrop_ = screen;
    const TPoint origin = buttons_->ClientOrigin();
    const int dropLeft = origin.X + 15, dropRight = dropLeft + TBMSpinButtons::DropWidth;
    const int below = origin.Y + buttons_->Height();
    if (orientation_ == TTrackBarOrientation::trVertical) popup_->SetBounds(dropRight - thickness_, below, thickness_, trackBarWidth_);
    else popup_->SetBounds(dropLeft, below, trackBarWidth_, thickness_);
    ShowTrackBar();
}

void TBMSpinEdit::ShowTrackBar() {
    double lo = 0, span = 0;
    GaugeRange(lo, span);
    const int p = std::min(1000, static_cast<int>(RoundEven((Value() - lo) * 1000 / span)));
    if (orientation_ == TTrackBarOrientation::trVertical) {
        trackBar_->SetPosition(1000 - p);
        popup_->SetHeight(trackBarWidth_);
    } else {
        trackBar_->SetPosition(p);
        popup_->SetWidth(trackBarWidth_);
    }
    trackBar_->SetBounds(4, 4, popup_->Width() - 8, popup_->Height() - 8);
    SetFocus();
    SendClassMessage(EM_SETSEL, -1, 0);
    popup_->Handle();
    popup_->SetVisible(true);
    if (popup_->OnPopupShow) popup_->OnPopupShow(popup_);
}

void TBMSpinEdit::PopupShow() {
    // The thumb comes to lie under the mouse.
    const TRect thumb = trackBar_->ThumbRect();
    if (orientation_ == TTrackBarOrientation::trVertical)
        popup_->SetBounds(popup_->Left(), mouseAtDrop_.Y - thumb.Top - (thumb.Bottom - thumb.Top) / 2 - 4, popup_->Width(), popup_->Height());
    else
        popup_->SetBounds(mouseAtDrop_.X - thumb.Left - (thumb.Right - thumb.Left) / 2 - 4, popup_->Top(), popup_->Width(), popup_->Height());
    buttons_->SetDropDown(true);
}

void TBMSpinEdit::DropButtonMouseMove(const TPoint& screen) {
    if (!popup_->Visible()) return;
    const TPoint origin = trackBar_->ClientOrigin();
    TRect channel = trackBar_->ChannelRect();
    TRect thumb = trackBar_->ThumbRect();
    channel = {channel.Left + origin.X, channel.Top + origin.Y, channel.Right + origin.X, channel.Bottom + origin.Y};
    double a = 0, b = 0;
    // The offset is measured to the thumb's middle, where the thumb was put
    // under the mouse, so the value does not jump at the first move.
    if (orientation_ == TTrackBarOrientation::trVertical) {
        const int extent = thumb.Bottom - thumb.Top;
        b = channel.Bottom - channel.Top - extent;
        a = channel.Bottom - screen.Y - extent / 2.0;
    } else {
        const int extent = thumb.Right - thumb.Left;
        b = channel.Right - channel.Left - extent;
        a = screen.X - channel.Left - extent / 2.0;
    }
    if (b <= 0) return;
    a = std::clamp(a, 0.0, b);
    double lo = minValue_, hi = maxValue_;
    if (gaugeMinValue_ != 0 || gaugeMaxValue_ != 0) lo = gaugeMinValue_, hi = gaugeMaxValue_;
    SetValueFromTrack(lo, hi - lo, a, b);
}

void TBMSpinEdit::SetValueFromTrack(double lo, double span, double a, double b) {
    double value = lo + span * a / b;
    if (IncrementGauge() > 0) value = RoundEven(value / IncrementGauge()) * IncrementGauge();
    SetValue(value);
}

void TBMSpinEdit::DropButtonMouseUp() {
    popup_->SetVisible(false);
    buttons_->SetDropDown(false);
    if (AutoSelect) SelectAll();
}

void TBMSpinEdit::TextChanged() {
    if (!changing_ && !valueUnit_.empty()) {
        const WideString stripped = StripUnit(Text());
        if (!stripped.empty() && stripped.back() >= u'0' && stripped.back() <= u'9') {
            changing_ = true;
            const int caret = LoWord(SendClassMessage(EM_GETSEL));
            // Formatted but not clamped: a value typed beyond the range
            // stays until the field is left.
            SetText(FormatValue(Value()));
            SendClassMessage(EM_SETSEL, caret, caret);
            changing_ = false;
        }
    }
    gauge_->Invalidate();
}
