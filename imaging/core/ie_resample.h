// Resampling: changes the pixel size of a TIEBitmap by one of fourteen
// methods. The kernel filters run in two integer passes (horizontal into a
// work raster, then vertical) on weights in 1/256; the fast linear routines
// use 17-bit fixed-point fractions; the interpolating ones sample at pixel
// centres when enlarging; rfNone copies the nearest pixel in every format. Formats the filter code does not write go through a 24-bit copy.
#pragma once

#include <cstdint>

#include "imaging/core/ie_bitmap.h"

enum TResampleFilter : uint8_t {
    rfNone,
    rfTriangle,
    rfHermite,
    rfBell,
    rfBSpline,
    rfLanczos3,
    rfMitchell,
    rfNearest,
    rfLinear,
    rfFastLinear,
    rfBilinear,
    rfBicubic,
    rfProjectBW,
    rfProjectWB,
};

// The kernels, x a signed distance in source pixels.
double IETriangleFilter(double x);
double IEHermiteFilter(double x);
double IEBellFilter(double x);
double IESplineFilter(double x);
double IELanczos3Filter(double x);
double IEMitchellFilter(double x);
double IEBoxFilter(double x);
double IELinearFilter(double x);
int32_t IEFloor(double x);

// The kernel and support radius of filters rfTriangle .. rfLinear.
struct TIEFilterEntry {
    double (*Kernel)(double);
    double Support;
};
const TIEFilterEntry& IEResampleFilterEntry(TResampleFilter filter);

// Dst allocated at the target size; filled, with its alpha channel, from
// Src, which is left as it is. The filters see an ie24RGB Src with an alpha
// channel with its colours weighted by alpha (premultiplied), so that
// transparent pixels bleed no colour into the edges.
void IEResample(TIEBitmap& src, TIEBitmap& dst, TResampleFilter filter, const TIEProgressEvent& onProgress,
                void* sender);
// ie24RGB pixels whose alpha is 0 take color; other formats are left alone.
void IEFillTransparentPixels(TIEBitmap& bitmap, TRGB color);
// Dst allocated at the target size in Src's format.
void IEStretchNearest(TIEBitmap& src, TIEBitmap& dst, void* sender, const TIEProgressEvent& onProgress);
// Src ie1g; Dst ie24RGB (ie1g for the projections).
void IEResample1Bit(TIEBitmap& src, TIEBitmap& dst, TResampleFilter filter);
// Both 8 bits per pixel.
void IEResampleGray8(TIEBitmap& src, TIEBitmap& dst, TResampleFilter filter);
void IEResampleFiltered(TIEBitmap& src, TIEBitmap& dst, TResampleFilter filter, void* sender,
                        const TIEProgressEvent& onProgress);
// Averages the inclusive source rectangle of an ie1g Src into a 24-bit Dst.
void IEStretchAverage(TIEBitmap& src, int32_t x1, int32_t y1, int32_t x2, int32_t y2, TIEBitmap& dst);
