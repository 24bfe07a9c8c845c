#include "platform/picture.h"

#include <algorithm>
#include <cctype>

#include "platform/errors.h"

namespace {

std::vector<TGraphicFormat>& Formats() {
    static std::vector<TGraphicFormat> formats;
    return formats;
}

std::string Upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return char(std::toupper(c)); });
    return text;
}

}  // namespace

void TGraphic::LoadFromFile(const std::string& path) {
    TFileStream stream(path, TFileMode::OpenRead);
    LoadFromStream(stream);
}

void TGraphic::SaveToFile(const std::string& path) const {
    TFileStream stream(path, TFileMode::Create);
    SaveToStream(stream);
}

void RegisterFileFormat(const std::string& extension, const std::string& description, const std::string& className,
                        TGraphicMaker maker) {
    Formats().insert(Formats().begin(), TGraphicFormat{Upper(extension), description, className, std::move(maker)});
}

void UnregisterGraphicClass(const std::string& className) {
    auto& formats = Formats();
    formats.erase(std::remove_if(formats.begin(), formats.end(),
                                 [&](const TGraphicFormat& f) { return f.ClassName == className; }),
                  formats.end());
}

const TGraphicFormat* GraphicFormatOf(const std::string& fileName) {
    const size_t dot = fileName.find_last_of('.');
    if (dot == std::string::npos) return nullptr;
    const std::string extension = Upper(fileName.substr(dot + 1));
    for (const TGraphicFormat& format : Formats())
        if (format.Extension == extension) return &format;
    return nullptr;
}

std::unique_ptr<TGraphic> LoadPicture(const std::string& fileName) {
    const TGraphicFormat* format = GraphicFormatOf(fileName);
    if (!format) throw Exception("Unknown picture file extension (." + fileName.substr(fileName.find_last_of('.') + 1) + ")");
    std::unique_ptr<TGraphic> graphic = format->Make();
    graphic->LoadFromFile(fileName);
    return graphic;
}
