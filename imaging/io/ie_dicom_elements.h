// The data elements of a DICOM file (PS3.10 files with their 128-byte
// preamble and "DICM", or bare data sets): every element up to the Pixel
// Data goes into a TIEDICOMTags list, and the Image Pixel attributes that
// decide how the pixels are decoded are kept aside. Explicit and implicit
// value representations, little and big endian data sets; the contents of
// sequences and items of undefined length are read as further elements.
// Values are bounded by the stream: a value that runs past the end ends the
// reading with what came before it.
#pragma once

#include <cstdint>
#include <string>

#include "imaging/core/ie_meta_tags.h"
#include "platform/stream.h"

struct TIEDICOMImageInfo {
    std::string TransferSyntax;
    bool LittleEndian = true;
    int32_t SamplesPerPixel = 1;
    std::string PhotometricInterpretation;
    int32_t PlanarConfiguration = 0;
    int32_t NumberOfFrames = 1;
    int32_t PixelRepresentation = 0;  // 0 unsigned, 1 signed
    int32_t Columns = 0, Rows = 0;
    int32_t BitsAllocated = 0, BitsStored = 0;
    double WindowCenter = -1, WindowWidth = -1;  // -1: none
    double RescaleIntercept = 0, RescaleSlope = 1;
    // Where the Pixel Data value starts and its length (0xFFFFFFFF for
    // encapsulated data); -1 when the data set has none.
    int64_t PixelDataPosition = -1;
    uint32_t PixelDataLength = 0;
};

// The value representation the data dictionary gives a tag: "xs" for tags
// it does not know, "!!" for items and delimiters.
std::string IEDICOMDictionaryVR(uint16_t group, uint16_t element);

// Reads the elements from the stream position. True when the Pixel Data
// element was reached (the position is then at its value).
bool IEReadDICOMElements(TStream& stream, TIEDICOMTags& tags, TIEDICOMImageInfo& info);
