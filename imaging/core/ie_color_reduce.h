// Colour reduction and analysis of TIEBitmap images: ordered dithering and
// thresholding to 1 bit (with an automatic threshold at the average gray or
// at the maximum entropy), palette quantizing that keeps the image 24-bit,
// gray conversion, two-colour detection for the 1-bit writers, nearest
// palette search, histogram matching and channel rearranging.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "imaging/core/ie_bitmap.h"

struct TIEAverageColor {
    int32_t Red = 0, Green = 0, Blue = 0;
};
TIEAverageColor IEAverageColor(TIEBitmap& bitmap);
void IEGrayHistogram(TIEBitmap& bitmap, int32_t counts[256]);
// The first entry of smallest |dr| + |dg| + |db|; 0 for an empty palette.
int32_t IENearestPaletteIndex(const TRGB* palette, int32_t count, TRGB color);
// An ie1g copy whose bit 0 is the darker of exactly two colours; nullptr for
// one colour or more than two.
std::unique_ptr<TIEBitmap> IEBitmapToBWIfTwoColors(TIEBitmap& bitmap, TRGB& first, TRGB& second);
void IEMatchHistogram(TIEBitmap& reference, TIEBitmap& bitmap);
// channel 0 blue, 1 green, 2 red; target holds 256 counts summing to total.
void IEMatchHistogramChannel(TIEBitmap& bitmap, int32_t channel, const int32_t target[256], int64_t total);
// pattern: three of 'R', 'G', 'B' naming the source byte of destination
// bytes 0, 1, 2; other letters keep the byte in place.
void IERearrangeChannels(TIEBitmap& bitmap, const std::string& pattern, void* sender, const TIEProgressEvent& onProgress);

// ie24RGB to ie1g by the 8 x 8 ordered-dither matrix.
void IEConvertToBWOrdered(TIEBitmap& bitmap, TIEProgressRec& progress);
// ie24RGB to ie1g through IEThresholdToBW.
void IEConvertToBWThreshold(TIEBitmap& bitmap, int32_t threshold, TIEProgressRec& progress);
// Threshold -1: the gray of the average colour; -2: maximum entropy; any
// other value as given. Source of any format, unchanged; destination an
// allocated ie1g of its size.
void IEThresholdToBW(TIEBitmap& source, TIEBitmap& destination, int32_t threshold, TIEProgressRec& progress);
// At most colorCount colours, the image staying ie24RGB; palette may be
// nullptr, else it holds colorCount entries.
void IEQuantizeColors(TIEBitmap& bitmap, int32_t colorCount, TRGB* palette, void* sender,
                      const TIEProgressEvent& onProgress);
// Gray of an ie24RGB rectangle, x2 and y2 exclusive.
void IEConvertToGray24(TIEBitmap& bitmap, int32_t x1, int32_t y1, int32_t x2, int32_t y2, void* sender,
                       const TIEProgressEvent& onProgress);
