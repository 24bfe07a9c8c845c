// The image library's table of file formats (ids, names, extensions, what
// can be read and written) and the detection of a file's format by its
// content, reconciled with its extension.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>
#include "imaging/io/ie_format_filter.h"

struct TIEFileFormatInfo {
    int32_t FileType = 0;
    std::string FullName;
    std::string Extensions;  // upper case, without dots, separated by ";"
    bool InternalFormat = false;
    uint16_t DialogPage = 0;
    TIEFormatReadProc ReadFunction = nullptr;
    TIEFormatWriteProc WriteFunction = nullptr;
    TIEFormatTestProc TryFunction = nullptr;
};

// Placeholders marking what a built-in format can do; the component serves
// built-in formats with its own wrappers.
void IEDummyRead(TStream&, TIEBitmap&, TIOParamsVals&, TIEProgressRec&, bool);
void IEDummyWrite(TStream&, TIEBitmap&, TIOParamsVals&, TIEProgressRec&);
bool IEDummyTest(TStream&, int32_t);

// Records in insertion order; every search walks them in that order.
extern std::vector<std::unique_ptr<TIEFileFormatInfo>> IEFileFormats;

void IEInitFileFormats();
void IEFreeFileFormats();
TIEFileFormatInfo* IEFileFormatGetInfo(int32_t fileType);
std::string IEFileFormatGetExt(int32_t fileType, int32_t index);
int32_t IEFileFormatGetExtCount(int32_t fileType);
TIEFileFormatInfo* IEFileFormatFindByExt(const std::string& extension);
void IEFileFormatAdd(const TIEFileFormatInfo& record);
void IEFileFormatRemove(int32_t fileType);
void IEUpdateGIFRegistration();

// Content tests; each restores the stream position.
bool IEIsAVIStream(TStream& stream);
bool IEIsEMFStream(TStream& stream);
bool IEIsWMFStream(TStream& stream);
bool IEIsICOStream(TStream& stream);
bool IEIsCURStream(TStream& stream);
bool IEIsPXMStream(TStream& stream);
// A TIFF header whose first directory reads and holds the image size.
bool IEIsTIFFStream(TStream& stream);
// A TIFF-structured camera RAW file (DNG, a colour-filter or linear raw
// image, or a TIFF/EP file whose first directory is a small preview).
bool IEIsTIFFRawStream(TStream& stream);
// "DICM" after the 128-byte preamble, or a data set without the preamble.
bool IEIsDICOMStream(TStream& stream);
// "IEV" and a version character from '1' to 'P'.
bool IEIsIEVStream(TStream& stream);
// A layers stream after the stored position of an IEV stream that is there.
bool IEIsAllStream(TStream& stream);

// The description of the parameters' format: the registry's name, its first
// extension in parentheses and a suffix with the format's main setting, as
// "TIFF Bitmap (TIF) LZW"; empty without a registry record.
std::string IEParamsToFormatText(const TIOParamsVals& params);

// File type found in the content at the stream's position, or 0; never raises.
int32_t IEDetectFormatFromStream(TStream& stream);
// File type of a file by its content and its extension, or 0; never raises.
int32_t IEFindFileFormat(const std::string& fileName, bool strict);
