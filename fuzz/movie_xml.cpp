// The movie's XML form: movie elements through the factories and tag
// elements, then the movie written as an SWF file.
#include <filesystem>

#include "fuzz/fuzz_input.h"
#include "movie/flash_movie.h"
#include "platform/xml.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TQuietMessages quiet;
    try {
        TXmlDocument doc;
        doc.LoadFromString(std::string(reinterpret_cast<const char*>(data), size));
        TFlashMovie movie(0, 0, 320, 240, 12, true);
        // Files named by the document are looked for in an empty folder.
        movie.Settings.BaseFolder = (std::filesystem::temp_directory_path() / "tw-fuzz-empty").string();
        movie.Settings.Options = 0;
        movie.LoadFromXml(doc.Root(), true);
        movie.MakeStream();
    } catch (const Exception&) {
    }
    return 0;
}
