// Photoshop documents ("8BPS", version 1, big-endian): the merged image,
// the layers as TIELayer objects with their masks, and the image resources
// (resolution, IPTC, colour profile, thumbnail, transparency index, XMP).
//
// Pixel formats read, by colour mode and depth: bitmap 1 bit ie1g; grey
// and duotone ie8g / ie16g; indexed ie8p; RGB ie24RGB / ieRGB48; CMYK
// ieCMYK (16-bit samples keep their high byte); Lab ieCIELab. Unless the
// parameters ask for the native format, everything but ie1g comes back
// ie24RGB. Layer masks are 8-bit grey layers flagged IsMask that follow
// the layer they belong to.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "imaging/io/ie_format_filter.h"

class TIEBitmap;
class TIELayer;

using TIELayerList = std::vector<std::unique_ptr<TIELayer>>;

// Reads the 26-byte header and restores the position: "8BPS", version 1,
// 1..24 channels, depth 1..16 and colour mode below 10.
bool IEIsPSDStream(TStream& stream);

// Reads a document. bitmap receives the merged image (nullptr: only the
// parameters and the layers). layers (or nullptr) receives the layers;
// with loadLayers false only a one-layer document fills it. With layers
// loaded the merged image is not decoded. Bad or cut data sets the abort
// flag; failure (when given) receives the reason.
void IEReadPSDStream(TStream& stream, TIEBitmap* bitmap, TIOParamsVals& params, TIEProgressRec& progress,
                     bool loadLayers, TIELayerList* layers, std::string* failure = nullptr);

// Writes bitmap as the merged image and the layers (an empty list stores
// bitmap as the only layer). Every channel is PackBits-compressed. A
// bitmap of a format that cannot be stored (ienull, ie32f) sets the abort
// flag and writes nothing. Layers whose bitmaps differ from their display
// size are resampled (in place) to it.
void IEWritePSDStream(TStream& stream, TIOParamsVals& params, TIEProgressRec& progress, TIEBitmap* bitmap,
                      const std::vector<TIELayer*>& layers);

// The decoding of one PackBits row (IEPackBitsRow codes them) into exactly
// rowSize bytes (missing bytes are 0); false when the packed data would
// overrun the row or ends early.
bool IEPSDUnpackRow(const uint8_t* packed, int32_t packedSize, uint8_t* row, int32_t rowSize);
