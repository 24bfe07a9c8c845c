// Compiles the shipped effect templates from their ActionScript sources.
//
//   build_templates <source folder> <program folder>
//
// Every "<kind>/[<theme>/]<name>.as" below the source folder (kinds:
// preloader, background, text, image) becomes "<kind>/[<theme>/]<name>.swf"
// below the program folder. The "lib" folder holds scripts that templates
// include; it is the include folder of every compilation.
//
// A source starts with optional directive lines:
//   //@ stage <width> <height> <fps>   the template's frame size and rate (400 300 24)
//   //@ frames <count>                 frames of the template (1); the script is the first one's
//   //@ picture <stem>                 a picture stage's placeholders: a bitmap
//                                      exported as <stem>_Image and a sprite
//                                      showing it exported as <stem>_ImageMovie
//   //@ picture-param <name>           a background picture parameter's
//                                      placeholders: <name>_Image and <name>
// The rest is the first frame's script. Its first statement assigns the
// parameter declaration to ParamsDefine; a template whose declaration the
// application would not find, or could not read, fails the build.
//
// The output depends on the sources alone (no dates, no compression), so a
// second run writes the same bytes. Compiled templates whose source is gone
// are removed.
#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/effect_builders.h"
#include "app/templates.h"
#include "ascompiler/compile_context.h"
#include "controls/ucsystem.h"
#include "movie/action_script.h"
#include "movie/flash_movie.h"
#include "movie/images.h"
#include "movie/shapes.h"
#include "movie/sprites.h"

namespace fs = std::filesystem;

namespace {

const char* const kKinds[] = {"preloader", "background", "text", "image"};

struct TTemplateSource {
    int Width = 400, Height = 300, Rate = 24, Frames = 1;
    std::vector<std::string> PictureStems;   // <stem>_Image and <stem>_ImageMovie
    std::vector<std::string> PictureParams;  // <name>_Image and <name>
    std::string Script;
};

// A fault of one source; the caller names the file.
struct ESourceError : std::runtime_error {
    ESourceError(int line, const std::string& what)
        : std::runtime_error((line > 0 ? std::to_string(line) + ": " : std::string(" ")) + what) {}
};

[[noreturn]] void Fail(int line, const std::string& what) { throw ESourceError(line, what); }

bool ValidExportName(const std::string& name) {
    return !name.empty() && std::all_of(name.begin(), name.end(), [](unsigned char c) {
        return std::isalnum(c) || c == '_' || c == '.' || c == '-';
    });
}

TTemplateSource ReadSource(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) Fail(0, "cannot be read");
    std::stringstream text;
    text << in.rdbuf();
    TTemplateSource source;
    source.Script = text.str();

    std::istringstream lines(source.Script);
    std::string line;
    for (int number = 1; std::getline(lines, line); ++number) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.rfind("//@", 0) != 0) break;
        std::istringstream words(line.substr(3));
        std::string directive;
        words >> directive;
        if (directive == "stage") {
            if (!(words >> source.Width >> source.Height >> source.Rate) || source.Width < 1 || source.Height < 1 ||
                source.Width > 4000 || source.Height > 4000 || source.Rate < 1 || source.Rate > 120)
                Fail(number, "\"//@ stage\" wants a width and height from 1 to 4000 and a rate from 1 to 120");
        } else if (directive == "frames") {
            if (!(words >> source.Frames) || source.Frames < 1 || source.Frames > 16000)
                Fail(number, "\"//@ frames\" wants a count from 1 to 16000");
        } else if (directive == "picture" || directive == "picture-param") {
            std::string name;
            if (!(words >> name) || !ValidExportName(name))
                Fail(number, "\"//@ " + directive + "\" wants a name of letters, digits, '_', '.' or '-'");
            (directive == "picture" ? source.PictureStems : source.PictureParams).push_back(name);
        } else {
            Fail(number, "unknown directive \"" + directive + "\"");
        }
        std::string rest;
        if (words >> rest) Fail(number, "unexpected \"" + rest + "\" after the directive");
    }
    return source;
}

// The placeholder that a user's picture replaces: a soft grey-blue gradient
// crossed by diagonal stripes, so that a template shows where its picture
// goes. Written as a 24-bit BMP for the movie builder to read.
void WritePlaceholderBitmap(const fs::path& path) {
    const int width = 160, height = 120, stride = width * 3;
    const uint32_t imageSize = stride * height, fileSize = 54 + imageSize;
    std::vector<uint8_t> bytes(fileSize, 0);
    auto put32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) bytes[at + i] = uint8_t(v >> (8 * i));
    };
    bytes[0] = 'B';
    bytes[1] = 'M';
    put32(2, fileSize);
    put32(10, 54);
    put32(14, 40);
    put32(18, width);
    put32(22, height);
    bytes[26] = 1;
    bytes[28] = 24;
    put32(34, imageSize);
    for (int y = 0; y < height; ++y) {
        uint8_t* row = &bytes[54 + size_t(height - 1 - y) * stride];
        for (int x = 0; x < width; ++x) {
            const bool stripe = ((x + y) / 12) % 2 == 0;
            const int shade = 150 + (x + y) * 60 / (width + height) + (stripe ? 20 : 0);
            row[x * 3 + 0] = uint8_t(std::min(255, shade + 25));  // blue
            row[x * 3 + 1] = uint8_t(std::min(255, shade + 5));   // green
            row[x * 3 + 2] = uint8_t(std::min(255, shade - 10));  // red
        }
    }
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

void BuildTemplate(const fs::path& sourceFile, const fs::path& includeFolder, const fs::path& outputFile) {
    TTemplateSource source = ReadSource(sourceFile);
    TFlashMovie movie(0, 0, source.Width, source.Height, static_cast<float>(source.Rate), true);
    movie.SetVersion(8);
    movie.SetCompressed(false);

    fs::create_directories(outputFile.parent_path());
    if (!source.PictureStems.empty() || !source.PictureParams.empty()) {
        const fs::path bitmap = outputFile.parent_path() / (".placeholder-" + outputFile.stem().string() + ".bmp");
        WritePlaceholderBitmap(bitmap);
        try {
            for (const std::string& stem : source.PictureStems)
                AddPicturePlaceholder(movie, bitmap.string(), stem + "_Image", stem + "_ImageMovie");
            for (const std::string& name : source.PictureParams)
                AddPicturePlaceholder(movie, bitmap.string(), name + "_Image", name);
        } catch (...) {
            fs::remove(bitmap);
            throw;
        }
        fs::remove(bitmap);
    }

    TBaseCompileContext& compiler = movie.GetCompileContext();
    compiler.AddIncludePath(fs::absolute(includeFolder).lexically_normal().string());
    if (!movie.GetFrameActions().CompileFromString(source.Script)) {
        std::string messages = movie.GetMessages();
        while (!messages.empty() && (messages.back() == '\n' || messages.back() == '\r')) messages.pop_back();
        Fail(0, "does not compile: " + messages);
    }
    for (int frame = 0; frame < source.Frames; ++frame) movie.ShowFrame();
    movie.MakeStream();

    // Written beside the target and moved over it, so that a failed build
    // never leaves half a template where the application looks.
    const fs::path work = outputFile.parent_path() / ("." + outputFile.filename().string() + ".new");
    movie.SaveToFile(work.string());
    try {
        const WideString workPath = UcSystem::Utf8ToWide(work.string());
        std::optional<WideString> declaration = FindParamsDefine(workPath);
        if (!declaration) Fail(0, "assigns no parameter declaration to ParamsDefine in its first script");
        std::unique_ptr<EffectRecord> record = ParseParamsDefine(*declaration);
        if (record->Params.empty()) Fail(0, "declares no parameters (the root element must be ParamsDefine)");
    } catch (...) {
        fs::remove(work);
        throw;
    }
    fs::rename(work, outputFile);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: build_templates <source folder> <program folder>\n";
        return 2;
    }
    const fs::path sources = argv[1], program = argv[2];
    try {
        if (!fs::is_directory(sources)) throw std::runtime_error(sources.string() + ": no such folder");
        RegisterActionScriptCompiler();
        std::set<fs::path> built;
        int count = 0;
        for (const char* kind : kKinds) {
            const fs::path folder = sources / kind;
            if (!fs::is_directory(folder)) continue;
            std::vector<fs::path> files;
            for (const auto& entry : fs::recursive_directory_iterator(folder))
                if (entry.is_regular_file() && entry.path().extension() == ".as") files.push_back(entry.path());
            std::sort(files.begin(), files.end());
            for (const fs::path& file : files) {
                fs::path relative = fs::relative(file, sources);
                const size_t depth = std::distance(relative.begin(), relative.end());
                if ((std::string(kind) == "preloader" && depth != 2) || (std::string(kind) != "preloader" && depth != 3))
                    throw std::runtime_error(file.string() + ": " +
                                             (std::string(kind) == "preloader"
                                                  ? "preloaders lie directly in the preloader folder"
                                                  : "effect templates lie in a theme folder of their kind"));
                fs::path output = program / relative.replace_extension(".swf");
                try {
                    BuildTemplate(file, sources, output);
                } catch (const ESourceError& e) {
                    throw std::runtime_error(file.string() + ":" + e.what());
                } catch (const std::exception& e) {
                    throw std::runtime_error(file.string() + ": " + e.what());
                }
                built.insert(fs::absolute(output).lexically_normal());
                ++count;
            }
        }
        // Templates whose source has gone would still be offered to users.
        for (const char* kind : kKinds) {
            const fs::path folder = program / kind;
            if (!fs::is_directory(folder)) continue;
            std::vector<fs::path> stale;
            for (const auto& entry : fs::recursive_directory_iterator(folder))
                if (entry.is_regular_file() && entry.path().extension() == ".swf" &&
                    !built.count(fs::absolute(entry.path()).lexically_normal()))
                    stale.push_back(entry.path());
            for (const fs::path& file : stale) fs::remove(file);
        }
        std::cout << "build_templates: " << count << " templates in " << program.string() << "\n";
    } catch (const std::exception& e) {
        std::cerr << "build_templates: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
