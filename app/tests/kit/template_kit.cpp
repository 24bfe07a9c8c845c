#include "app/tests/kit/template_kit.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "app/effect_builders.h"
#include "ascompiler/compile_context.h"
#include "movie/action_script.h"
#include "movie/flash_movie.h"
#include "movie/images.h"
#include "movie/shapes.h"
#include "movie/sprites.h"
#include "swf/actions.h"

namespace {

// Pool entries of the script.
enum : uint16_t { kName, kDocument, kDefineLabel, kValueName, kValueLabel, kDecoy };

void Trace(TFlashActionScript& s) { s.ActionList().Add(CreateActionByCode(0x26)); }

// A 2 x 2 pixel 24-bit BMP file of pure blue, the placeholder picture.
std::string PlaceholderBitmap(const std::string& folder) {
    std::string path = folder + "/placeholder.bmp";
    const uint8_t bytes[] = {
        'B', 'M', 70, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0,                         // file header
        40, 0, 0, 0, 2, 0, 0, 0, 2, 0, 0, 0, 1, 0, 24, 0, 0, 0, 0, 0, 16, 0, 0, 0,  // info header
        0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
        255, 0, 0, 255, 0, 0, 0, 0,  // bottom row: blue, blue, padding
        255, 0, 0, 255, 0, 0, 0, 0,  // top row: blue, blue, padding
    };
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes), sizeof bytes);
    return path;
}

}  // namespace

const char* const kKitParamsValueReader =
    "function pv(name) {\n"
    "  var doc = new XML(ParamsValue);\n"
    "  for (var n = doc.firstChild.firstChild; n != null; n = n.nextSibling)\n"
    "    if (n.nodeName == name) return n.firstChild == null ? \"\" : n.firstChild.nodeValue;\n"
    "  return undefined;\n"
    "}\n";

void WriteKitTemplate(const std::string& path, const TKitTemplate& kit, bool compressed) {
    TFlashMovie movie(0, 0, 200, 100, 12, true);
    movie.SetVersion(8);
    movie.SetCompressed(compressed);
    std::string folder = std::filesystem::path(path).parent_path().string();
    if (!kit.PictureStem.empty() || !kit.PictureParams.empty()) {
        std::string bitmap = PlaceholderBitmap(folder);
        if (!kit.PictureStem.empty())
            AddPicturePlaceholder(movie, bitmap, kit.PictureStem + "_Image", kit.PictureStem + "_ImageMovie");
        for (const std::string& name : kit.PictureParams) AddPicturePlaceholder(movie, bitmap, name + "_Image", name);
        std::filesystem::remove(bitmap);
    }

    if (kit.FillColor >= 0) {
        TFlashShape* fill = movie.AddRectangle(0, 0, 200, 100);
        const uint32_t rgb = static_cast<uint32_t>(kit.FillColor);
        fill->AddSolidFill(SWFRGBA(uint8_t(rgb >> 16), uint8_t(rgb >> 8), uint8_t(rgb), 255));
        movie.PlaceObject(fill, 1);
    }

    TFlashActionScript& s = movie.GetFrameActions();
    s.ConstantPool({"ParamsDefine", kit.Declaration, "ParamsDefine: ", "ParamsValue", "ParamsValue: ",
                    "<ParamsDefine><Decoy type=\"string\" caption=\"Decoy\" default=\"no\"/></ParamsDefine>"});
    if (kit.Decoys || kit.DecoysOnly) {
        // ParamsDefine's pool index as a plain integer, then as a register.
        s.Push({TPushValue(static_cast<int>(kName)), TPushValue::Constant8(kDecoy)}, {7, 8});
        s.Pop();
        s.Pop();
        s.Push({TPushValue::Register(kName), TPushValue::Constant8(kDecoy)}, {4, 8});
        s.Pop();
        s.Pop();
    }
    if (kit.ReplacedPool) s.ConstantPool({"Other", "<ParamsDefine><Other/></ParamsDefine>"});
    if (!kit.Declaration.empty() && !kit.DecoysOnly) {
        s.PushConstants({kName, kDocument});
        s.SetVariable();
    }
    s.PushConstants({kDefineLabel, kName});
    s.GetVariable();
    s.Add2();
    Trace(s);
    s.PushConstants({kValueLabel, kValueName});
    s.GetVariable();
    s.Add2();
    Trace(s);
    s.Stop();
    movie.CommitFrameActions();
    if (!kit.Script.empty()) {
        RegisterActionScriptCompiler();
        if (!movie.GetFrameActions().CompileFromString(kit.Script))
            throw std::runtime_error("the kit's script does not compile: " + movie.GetMessages());
    }
    movie.ShowFrame();
    movie.MakeStream();
    movie.SaveToFile(path);
}
