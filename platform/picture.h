// The toolkit's picture classes: a graphic (a picture that can load, save
// and draw itself) and the registry of graphic classes by file extension
// that a picture consults to load a file.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/canvas.h"
#include "platform/stream.h"

class TGraphic {
public:
    virtual ~TGraphic() = default;
    virtual int32_t Width() const = 0;
    virtual int32_t Height() const = 0;
    virtual bool Empty() const { return Width() < 1 || Height() < 1; }
    virtual bool Transparent() const { return false; }
    virtual void LoadFromStream(TStream& stream) = 0;
    virtual void SaveToStream(TStream& stream) const = 0;
    // Draws the graphic stretched into the rectangle of the canvas.
    virtual void Draw(TCanvas& canvas, const TRect& rect) const = 0;
    void LoadFromFile(const std::string& path);
    void SaveToFile(const std::string& path) const;
};

using TGraphicMaker = std::function<std::unique_ptr<TGraphic>()>;

struct TGraphicFormat {
    std::string Extension;  // upper case, without the dot
    std::string Description;
    std::string ClassName;
    TGraphicMaker Make;
};

// The registry: a later registration of an extension comes first.
void RegisterFileFormat(const std::string& extension, const std::string& description, const std::string& className,
                        TGraphicMaker maker);
void UnregisterGraphicClass(const std::string& className);
// The format of a file name's extension (any letter case), or nullptr.
const TGraphicFormat* GraphicFormatOf(const std::string& fileName);
// A graphic of the file's class, loaded; raises when no class takes it.
std::unique_ptr<TGraphic> LoadPicture(const std::string& fileName);
