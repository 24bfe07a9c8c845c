// ActionScript #include files found through the movie's include folder: the
// input up to its first NUL byte is the file "lib/inc.as" of that folder
// (the whole input when it has none), the rest a main source that may
// include it, itself or files that are not there. Both a source that
// includes the file and the main source are compiled into frame actions.
#include <filesystem>

#include "ascompiler/compile_context.h"
#include "fuzz/fuzz_input.h"
#include "movie/action_script.h"
#include "movie/flash_movie.h"

namespace {

const std::string& IncludeFolder() {
    static const std::string folder = [] {
        auto path = std::filesystem::temp_directory_path() / ("tw-fuzz-include-" + std::to_string(::getpid()));
        std::filesystem::create_directories(path / "lib");
        return path.string();
    }();
    return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TQuietMessages quiet;
    RegisterActionScriptCompiler();
    const std::string input(reinterpret_cast<const char*>(data), size);
    const size_t split = input.find('\0');
    const std::string included = input.substr(0, split);
    const std::string main = split == std::string::npos ? std::string() : input.substr(split + 1);
    WriteFileBytes(IncludeFolder() + "/lib/inc.as", included.data(), included.size());
    for (const std::string& source : {std::string("#include \"lib/inc.as\"\n"), main}) {
        TFlashMovie movie(0, 0, 100, 100, 12, true);
        movie.SetVersion(8);
        movie.Settings.BaseFolder = IncludeFolder();
        try {
            movie.GetFrameActions().CompileFromString(source);
        } catch (const Exception&) {
        }
    }
    return 0;
}
