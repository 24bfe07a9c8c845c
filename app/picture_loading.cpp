// Loading stands apart from the preparations: the image library's
// input/output unit and its processor each name a type of their own
// TIEPixelFormatSet, so the two headers do not meet in one file.
#include "app/app_utils.h"
#include "app/movie_pictures.h"
#include "imaging/io/ie_vidurer_io.h"
#include "platform/errors.h"

void LoadPictureFile(const WideString& path, TIEBitmap& bitmap) {
    const std::string name = UcSystem::WideToUtf8(path);
    auto refuse = [&](const std::string& why) {
        throw EConvertError("Cannot load the picture \"" + name + "\": " + why);
    };
    uint8_t kind = GetMediaKind(path);
    if (kind != mkBitmap && kind != mkJpeg && kind != mkPng) refuse("not a BMP, JPEG or PNG file");
    TVidurErIO io;
    io.SetAttachedIEBitmap(&bitmap);
    io.LoadFromFile(name);
    if (io.AbortFlag) refuse(io.LastError().empty() ? "the data cannot be read" : io.LastError());
    if (bitmap.GetWidth() <= 0 || bitmap.GetHeight() <= 0) refuse("the file holds no picture");
    if (bitmap.GetPixelFormat() != ie24RGB) bitmap.ConvertToPixelFormat(ie24RGB);
}
