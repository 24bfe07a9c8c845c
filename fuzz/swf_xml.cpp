// The XML form of a movie: loaded with its header, every tag element read,
// then written as an SWF file and saved as XML again.
#include <filesystem>

#include "fuzz/fuzz_input.h"
#include "platform/xml.h"
#include "swf/reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TQuietMessages quiet;
    try {
        TXmlDocument doc;
        doc.LoadFromString(std::string(reinterpret_cast<const char*>(data), size));
        TSWFStreamReader reader;
        // External data files are looked for in an empty folder, and none is written.
        reader.Settings.BaseFolder = (std::filesystem::temp_directory_path() / "tw-fuzz-empty").string();
        reader.Settings.Options = 0;
        reader.LoadFromXml(doc.Root(), true);
        reader.MakeStream();
        TMemoryStream out;
        reader.SaveToStream(out);
        TXmlDocument saved;
        reader.SaveToXml(saved.Root());
        saved.SaveToString();
    } catch (const Exception&) {
    }
    return 0;
}
