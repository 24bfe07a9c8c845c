// EXIF and XMP blocks: the "Exif" APP1 block of JPEG files (a TIFF
// structure behind a six-byte signature), the TIFF structure at the start
// of camera RAW files and the XMP packet of another APP1 block, turned into
// the EXIF fields and XMP text of an image's parameters and back. The EXIF,
// GPS and maker-note directories are read and written here for the TIFF
// codec too (IEReadTIFFMetadata, IEWriteTIFFMetadata), over the directory
// layer of imaging/core/ie_tiff_dir.h.
//
// Nothing here raises on damaged input: a directory or value that is not
// all inside the block reads as missing, directory chains end at a loop.
#pragma once

#include <cstdint>
#include <vector>

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_tiff_dir.h"
#include "imaging/io/ie_io_params.h"
#include "platform/stream.h"

// The namespace identifier that opens an XMP APP1 block, with its NUL.
inline constexpr char kIEXMPHeader[] = "http://ns.adobe.com/xap/1.0/";
inline constexpr int32_t kIEXMPHeaderLength = sizeof kIEXMPHeader;  // 29

// Copies every EXIF field (resolutions and orientation through their
// setters); the EXIF image description becomes the source's TIFF image
// description; the maker note is copied whole. Not the thumbnail, not XMP.
void IECopyEXIF(const TIOParamsVals& source, TIOParamsVals& destination);

// Reads an "Exif" APP1 payload: the fields, the EXIF-present flag, and the
// thumbnail of the second directory (turned by the orientation). False when
// the data is not an Exif block.
bool IELoadEXIFFromBlock(const uint8_t* data, int32_t length, TIOParamsVals& params);
// The APP1 payload for the parameters' EXIF fields and thumbnail.
std::vector<uint8_t> IESaveEXIFToBlock(TIOParamsVals& params);

// The offset (from the stream position) of the first TIFF header in the next
// 128 KB whose first directory lies inside the stream, -1 when none; the
// position is kept. Magic numbers 42, 0x4F52 and 0x5352 are taken.
int64_t IEFindTIFFHeader(TStream& stream);
// Reads the EXIF fields and a thumbnail (directory 0, or 1 when 0 gives an
// all-black picture) of the TIFF structure at the stream position; the
// position is kept. Returns true.
bool IEReadRAWEXIF(TStream& stream, TIOParamsVals& params);

// Turns an image upright from an EXIF orientation (1 to 8; others change
// nothing): mirroring and quarter turns.
void IEApplyEXIFOrientation(TIEBitmap& bitmap, int32_t orientation);

// The XMP text inside an XMP APP1 block, or nullptr.
const uint8_t* IEFindXMPPacket(const uint8_t* data, int32_t length);
bool IELoadXMPFromBlock(const uint8_t* data, int32_t length, TIOParamsVals& params);
// The 29-byte namespace prefix and the parameters' XMP text.
std::vector<uint8_t> IESaveXMPToBlock(const TIOParamsVals& params);

// The TIFF side. Reads the metadata tags of a loaded page directory (image
// description, make, model, resolutions, orientation, the XP texts ...), its
// EXIF directory with the maker note, and its GPS directory.
void IEReadTIFFMetadata(const TIETIFFDirectory& page, TIOParamsVals& params);
// Adds the metadata tags to the page directory being built, writing the
// EXIF and GPS directories (and the maker note) to its stream first.
void IEWriteTIFFMetadata(TIETIFFIFDWriter& page, TStream& stream, TIOParamsVals& params);
// Decodes the small picture a directory describes (a JPEG stream, or
// uncompressed 8-bit RGB or gray strips) of at most 400 x 400 pixels. False,
// with the bitmap left empty, for anything else.
bool IEReadTIFFThumbnail(const TIETIFFDirectory& directory, TIEBitmap& bitmap);
