// The extra transition effects: the effect table (a display name for every
// kind 1..163 and a painter for kinds 31..163) and the geometry the painters
// share. Painters either copy rectangles of the target (stretched, in place,
// mirrored, or pushing the frame's own pixels) or draw the target through a
// clip region (bars, shreds, speckles, curves, circles, triangles, fans,
// turning polygons, blinds).
#pragma once

#include <cstdint>

#include "imaging/core/ie_transitions.h"
#include "platform/canvas.h"
#include "platform/geometry.h"
#include "platform/region.h"

// The table, 163 rows (row k - 1 for kind k). Installs itself as the
// engine's table when the program holds it; calling it installs it too.
const TEffect* IEExtraTransitionTable();

// The progress extents of a painter call: x and y grow with percent along
// the longer side (the other follows the rectangle's aspect); u is about a
// ninetieth of the longer side, at least 1.
struct TTransitionExtents {
    int32_t X = 0, Y = 0, W = 0, H = 0, U = 1;
};
TTransitionExtents TransitionExtents(const TRect& rect, int32_t stepValue, int32_t percent);
// a * b / c rounded to the nearest (halves away from zero); -1 when c is 0.
int32_t MulDiv(int32_t a, int32_t b, int32_t c);
// Stretches part source of the bitmap (cut to its bounds) onto destination,
// mirrored as asked.
void StretchMirrored(TCanvas& canvas, const TRect& destination, const TBitmap& bitmap, bool flipVertically,
                     bool flipHorizontally, const TRect& source);

// The regions of the clip-region painters (exposed for tests).
TRegion BarsRegion(int32_t a, int32_t b, int32_t width, int32_t columnKind, int32_t rowKind, int32_t snap,
                   int32_t height);
TRegion ShredRegion(int32_t x, int32_t y, int32_t width, int32_t columnKind, int32_t rowKind, int32_t height);
TRegion SpeckleRegion(int32_t x, int32_t y, int32_t width, int32_t columnKind, int32_t rowKind, int32_t height);
TRegion TriangleRegion(const TPoint& p1, const TPoint& p2, const TPoint& p3);
TRegion FanRegion(const TPoint& centre, int32_t radius, int32_t count, double endAngle, double startAngle);
// Turns the points about the centre by angle (radians, clockwise on the
// screen for positive angles).
void RotatePoints(TPoint* points, int32_t count, const TPoint& centre, double angle);
