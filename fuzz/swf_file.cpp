// SWF files: checked for damage, every tag and action parsed, the movie
// written back (compressed when the input was) and saved in its XML form.
#include "fuzz/fuzz_input.h"
#include "platform/xml.h"
#include "swf/reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TQuietMessages quiet;
    try {
        TMemoryStream in(InputBytes(data, size));
        auto reader = TSWFStreamReader::CreateFromStream(in);
        reader->FindDamage();
        reader->ParseTags(true, true);
        reader->MakeStream();
        TMemoryStream out;
        reader->SaveToStream(out);
        // No external data files: every payload stays in the document.
        reader->Settings.Options = 0;
        TXmlDocument doc;
        reader->SaveToXml(doc.Root());
        doc.SaveToString();
    } catch (const Exception&) {
    }
    return 0;
}
