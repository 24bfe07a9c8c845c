// Rectangle and size helpers of the painters and layouts, and a rectangle
// object that reports its changes. Rectangles are the toolkit's (right and
// bottom exclusive); none of the functions changes its input.
#pragma once

#include <cstdint>
#include <functional>

#include "platform/geometry.h"

struct TlfSize {
    int32_t cx = 0, cy = 0;
    bool operator==(const TlfSize&) const = default;
};

inline int32_t RectWidth(const TRect& r) { return r.Right - r.Left; }
inline int32_t RectHeight(const TRect& r) { return r.Bottom - r.Top; }
inline bool RectIsEqual(const TRect& a, const TRect& b) { return a == b; }
inline bool RectIsEmpty(const TRect& r) { return r.Right <= r.Left || r.Bottom <= r.Top; }
inline TRect RectOffset(const TRect& r, int32_t dx, int32_t dy) { return {r.Left + dx, r.Top + dy, r.Right + dx, r.Bottom + dy}; }
inline TRect RectInflate(const TRect& r, int32_t dx1, int32_t dy1, int32_t dx2, int32_t dy2) {
    return {r.Left - dx1, r.Top - dy1, r.Right + dx2, r.Bottom + dy2};
}
inline TRect RectInflate(const TRect& r, int32_t dx, int32_t dy) { return RectInflate(r, dx, dy, dx, dy); }
inline TRect RectSetWidth(const TRect& r, int32_t w) { return {r.Left, r.Top, r.Left + w, r.Bottom}; }
inline TRect RectSetHeight(const TRect& r, int32_t h) { return {r.Left, r.Top, r.Right, r.Top + h}; }
inline TRect RectSetLeft(const TRect& r, int32_t x) { return {x, r.Top, x + RectWidth(r), r.Bottom}; }
inline TRect RectSetLeft(const TRect& r, int32_t x, int32_t w) { return {x, r.Top, x + w, r.Bottom}; }
inline TRect RectSetRight(const TRect& r, int32_t x, int32_t w) { return {x - w, r.Top, x, r.Bottom}; }
// A w x h box centred in r (halves truncated toward zero).
TRect RectCenter(const TRect& r, int32_t w, int32_t h);
inline TRect RectCenter(const TRect& r, const TlfSize& size) { return RectCenter(r, size.cx, size.cy); }
inline TRect RectContent(const TRect& r, const TRect& margins) {
    return {r.Left + margins.Left, r.Top + margins.Top, r.Right - margins.Right, r.Bottom - margins.Bottom};
}
inline TlfSize MakeSize(int32_t cx, int32_t cy) { return {cx, cy}; }
// The middle of a and b rounded toward minus infinity.
int32_t RangeCenter(int32_t a, int32_t b);

class TlfRect {
public:
    explicit TlfRect(void* owner = nullptr) : owner_(owner) {}
    void* Owner() const { return owner_; }
    const TRect& Rect() const { return rect_; }
    // Stores and reports only a rectangle that differs.
    void SetRect(const TRect& rect);
    int32_t Left() const { return rect_.Left; }
    int32_t Top() const { return rect_.Top; }
    int32_t Right() const { return rect_.Right; }
    int32_t Bottom() const { return rect_.Bottom; }
    // index 0 Left, 1 Top, 2 Right, 3 Bottom.
    void SetValue(int index, int32_t value);
    void SetLeft(int32_t v) { SetValue(0, v); }
    void SetTop(int32_t v) { SetValue(1, v); }
    void SetRight(int32_t v) { SetValue(2, v); }
    void SetBottom(int32_t v) { SetValue(3, v); }
    void Assign(const TlfRect& source) { SetRect(source.rect_); }
    bool IsEqual(const TRect& r) const { return rect_ == r; }
    std::function<void(TlfRect* sender)> OnChange;

private:
    void* owner_;
    TRect rect_{};
};
