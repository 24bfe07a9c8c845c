// Rotation of a TIEBitmap by an angle in degrees (positive turns
// counter-clockwise on screen), growing the canvas so the whole turned image
// fits and filling the uncovered corners with a background. Quarter turns are
// exact moves; other angles use three shears with optional sub-pixel
// blending (24 and 8 bits), inverse mapping with bilinear or bicubic
// sampling (24 and 8 bits), or inverse mapping with nearest sampling.
#pragma once

#include <cstdint>

#include "imaging/core/ie_bitmap.h"

bool IEIsMultipleOf90(double angle);

// ie24RGB by three shears; other formats go to IERotate1Bit.
void IERotate(TIEBitmap& bitmap, bool antiAlias, void* sender, const TIEProgressEvent& onProgress, TRGB background,
              double angle);
// The same on one byte per pixel (ie8g, ie8p); other formats are left alone.
void IERotateGray8(TIEBitmap& bitmap, bool antiAlias, uint8_t background, void* sender,
                   const TIEProgressEvent& onProgress, double angle);
void IERotate1Bit(TIEBitmap& bitmap, bool backgroundBit, void* sender, const TIEProgressEvent& onProgress, double angle);
void IERotateNearest8(TIEBitmap& bitmap, uint8_t background, double angle);
// Mode 1 bilinear, 2 bicubic; any other mode samples bilinearly.
void IERotateAntialias24(TIEBitmap& bitmap, TColor background, uint8_t mode, void* sender,
                         const TIEProgressEvent& onProgress, double angle);
void IERotateAntialias8(TIEBitmap& bitmap, uint8_t background, uint8_t mode, double angle);
// Any format of 8 or more bits per pixel.
void IERotateNearest(TIEBitmap& bitmap, double background, void* sender, const TIEProgressEvent& onProgress,
                     double angle);
// Src unchanged; Dst allocated here in Src's format, any format.
void IERotateNearestTo(TIEBitmap& src, TIEBitmap& dst, double background, void* sender,
                       const TIEProgressEvent& onProgress, double angle);
// Exact quarter turns into Dst, allocated with swapped sides in Src's format.
void IERotate90CW24(TIEBitmap& src, TIEBitmap& dst);
void IERotate90CCW24(TIEBitmap& src, TIEBitmap& dst);
void IERotate90CW8(TIEBitmap& src, TIEBitmap& dst);
void IERotate90CCW8(TIEBitmap& src, TIEBitmap& dst);
