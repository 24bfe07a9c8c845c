// The spin edit: a one-line edit (the platform's edit widget) for a
// floating-point value with a unit suffix, an up-down pair and a drop button
// painted with our canvas, a pop-up track bar shown while the drop button is
// held, and a gauge along the bottom edge whose colour runs from a begin to
// an end colour with the value. The text is the only store of the value:
// every read parses it, every write formats it, with the decimal separator
// of the program's format settings.
#pragma once

#include <memory>

#include "controls/ui/ucstdctrls.h"
#include "platform/ui/forms.h"

class TBMSpinEdit;
class TTimer;

enum class TTrackBarOrientation : uint8_t { trHorizontal, trVertical };

// The gauge along the bottom of the edit; drags set the value.
class TBMAGauge : public TCustomControl {
public:
    // The owner must be a spin edit.
    explicit TBMAGauge(TComponent* owner);
    TColor BeginColor;
    TColor EndColor = 255;
    double IncrementGauge = 0.0;
    double GaugeAroundCenter = 0.0;

protected:
    void Paint() override;

private:
    void SetValueFromMouse(int x);
    TBMSpinEdit& edit_;
    bool dragging_ = false;
};

// A track bar painted with our canvas: a channel, a thumb and ticks on the
// top (or left) side.
class TBMTrackBar : public TCustomControl {
public:
    explicit TBMTrackBar(TComponent* owner);
    int Min = 0, Max = 1000, Frequency = 50, ThumbLength = 15;
    TTrackBarOrientation Orientation = TTrackBarOrientation::trHorizontal;
    int Position() const { return position_; }
    void SetPosition(int position);
    // In client coordinates.
    TRect ChannelRect() const;
    TRect ThumbRect() const;

protected:
    void Paint() override;

private:
    int position_ = 0;
};

// The window of the pop-up track bar: no caption, no frame, on top, never
// takes the focus.
class TPopupForm : public TCustomForm {
public:
    explicit TPopupForm(TComponent* owner);
    TNotifyEvent OnPopupShow;

protected:
    void CreateParams(TCreateParams& params) override;
};

// The panel at the right end of the edit with the up-down pair and the
// drop button.
class TBMSpinButtons : public TCustomControl {
public:
    explicit TBMSpinButtons(TBMSpinEdit& edit);
    bool DropVisible = true;
    // Widths of the parts (the up-down 13, the drop button 15).
    static constexpr int UpDownWidth = 13;
    static constexpr int DropWidth = 15;
    bool DropDown() const { return dropDown_; }
    void SetDropDown(bool down);

protected:
    void Paint() override;

private:
    enum class TPart : uint8_t { None, Up, Down, Drop };
    TPart PartAt(int x, int y) const;
    void Repeat();
    TBMSpinEdit& edit_;
    TPart pressed_ = TPart::None;
    bool dropDown_ = false;
    std::unique_ptr<TTimer> repeat_;
};

class TBMSpinEdit : public TUcEdit {
public:
    explicit TBMSpinEdit(TComponent* owner);
    ~TBMSpinEdit() override;

    WideString FormatValue(double value) const;
    WideString StripUnit(const WideString& text) const;
    // False when the text is not a number; empty or "-" alone give 0.
    bool ParseValue(const WideString& text, double& value) const;
    double ClampValue(double x) const;

    double Value();
    void SetValue(double value);
    double MinValue() const { return minValue_; }
    void SetMinValue(double value);
    double MaxValue() const { return maxValue_; }
    void SetMaxValue(double value);
    // The range of the gauge and the pop-up track bar (both 0: the value
    // range).
    double GaugeMinValue() const { return gaugeMinValue_; }
    void SetGaugeMinValue(double value);
    double GaugeMaxValue() const { return gaugeMaxValue_; }
    void SetGaugeMaxValue(double value);
    const WideString& ValueUnit() const { return valueUnit_; }
    void SetValueUnit(const WideString& unit);
    int Precision() const { return precision_; }
    void SetPrecision(int precision);
    double Increment = 1.0;
    double IncrementGauge() const { return gauge_->IncrementGauge; }
    void SetIncrementGauge(double value) { gauge_->IncrementGauge = value; }
    double GaugeAroundCenter() const { return gauge_->GaugeAroundCenter; }
    void SetGaugeAroundCenter(double value);
    TColor GuageBeginColor() const { return gauge_->BeginColor; }
    void SetGuageBeginColor(TColor color);
    TColor GuageEndColor() const { return gauge_->EndColor; }
    void SetGuageEndColor(TColor color);
    int TrackBarWidth() const { return trackBarWidth_; }
    void SetTrackBarWidth(int width);
    TTrackBarOrientation TrackBarOrientation() const { return orientation_; }
    void SetTrackBarOrientation(TTrackBarOrientation orientation);
    bool TrackBarEnabled() const { return trackBarEnabled_; }
    void SetTrackBarEnabled(bool enabled);
    int GuageHeight() const { return guageHeight_; }
    void SetGuageHeight(int height);
    // Cut and paste reach the edit only with this on (and not read-only).
    bool EditorEnabled = false;
    bool ReadOnly = false;
    bool AutoSelect = true;
    TColor Color;

    // One step up or down, as the arrows, the keys and the wheel do it.
    void UpDownClick(bool up);
    // The drop button held, moved and released, at screen points.
    void DropButtonMouseDown(const TPoint& screen);
    void DropButtonMouseMove(const TPoint& screen);
    void DropButtonMouseUp();
    int32_t GetMinHeight();

    void SetBounds(int32_t left, int32_t top, int32_t width, int32_t height) override;

    TBMAGauge& Gauge() const { return *gauge_; }
    TBMSpinButtons& Buttons() const { return *buttons_; }
    TPopupForm& Popup() const { return *popup_; }
    TBMTrackBar& TrackBar() const { return *trackBar_; }

protected:
    void CreateParams(TCreateParams& params) override;
    void CreateWnd() override;

private:
    friend class TBMAGauge;
    // The range the gauge and the track bar show: [lo, lo + span].
    void GaugeRange(double& lo, double& span) const;
    void ApplyOrientation();
    void ApplyLayout();
    void SetEditRect();
    void ShowTrackBar();
    void PopupShow();
    void SetValueFromTrack(double lo, double span, double a, double b);
    void TextChanged();
    bool Loading() const { return HasState(csLoading); }

    double minValue_ = 0.0, maxValue_ = 100.0;
    double gaugeMinValue_ = 0.0, gaugeMaxValue_ = 0.0;
    WideString valueUnit_;
    int precision_ = 1;
    int trackBarWidth_ = 150;
    TTrackBarOrientation orientation_ = TTrackBarOrientation::trHorizontal;
    bool trackBarEnabled_ = true;
    int guageHeight_ = 0;
    int thickness_ = 0;
    TPoint mouseAtDrop_{};
    bool changing_ = false;
    TPopupForm* popup_;
    TBMTrackBar* trackBar_;
    TBMAGauge* gauge_;
    TBMSpinButtons* buttons_;
};
