// Pictures on their way into a composed movie: loading a picture file into
// the image library's bitmap, the few preparations the builders apply
// (scaling with the Lanczos3 filter, rotation, changing the canvas) and
// turning the prepared bitmap into a JPEG bitmap character of a movie.
//
// Loading is the one place that knows how picture files are read, so that
// it can follow the image library's own loading by file name.
#pragma once

#include <cstdint>

#include "controls/ucsystem.h"
#include "imaging/core/ie_bitmap.h"

class TFlashImage;
class TFlashMovie;

// Reads a BMP, JPEG or PNG file, chosen by its extension, into bitmap as
// 24-bit pixels (with the file's alpha channel, when it has one). Raises
// EConvertError naming the file when it cannot be read.
void LoadPictureFile(const WideString& path, TIEBitmap& bitmap);

// Scales the picture with the Lanczos3 filter to exactly width x height.
void ResamplePicture(TIEBitmap& bitmap, int32_t width, int32_t height);
// Turns the picture by degrees, anti-aliased, the canvas growing to hold it;
// the corners take the processor's own background.
void RotatePicture(TIEBitmap& bitmap, int32_t degrees);
// Changes the canvas to width x height without scaling: new area white and
// transparent; alignment 0 left or top, 1 centre.
void ResizePictureCanvas(TIEBitmap& bitmap, int32_t width, int32_t height, uint8_t horizontalAlign,
                         uint8_t verticalAlign);
// Scales the picture to cover width x height (the larger of the two ratios,
// sides rounded up) and cuts the canvas to exactly that size, centred.
void CoverPicture(TIEBitmap& bitmap, int32_t width, int32_t height);

// True when some pixel of the picture is not fully opaque: a cut-out shape,
// or the corners a rotation added.
bool HasSeeThroughPixels(TIEBitmap& bitmap);

// A new bitmap character of the movie holding the picture as JPEG data; with
// withAlpha and an alpha channel in the picture, also its alpha plane.
TFlashImage* AddPictureImage(TFlashMovie& movie, TIEBitmap& bitmap, bool withAlpha);
