// Action blocks (the body of a DoAction tag): parsed into actions with their
// branch markers, written back, saved as XML and loaded from it again.
#include "fuzz/fuzz_input.h"
#include "platform/xml.h"
#include "swf/do_action.h"
#include "test_util.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TQuietMessages quiet;
    try {
        TSWFDoAction tag;
        tag.SetParseActions(true);
        ReadBodyBytes(tag, InputBytes(data, size));
        WriteBodyBytes(tag);

        TXmlDocument doc;
        TXMLReadWriteSettings settings;
        settings.Options = 0;
        TXmlNode element = doc.Root().AddChild("DoAction");
        tag.SaveToXml(element, settings);
        TSWFDoAction loaded;
        loaded.LoadFromXml(element, settings);
        WriteBodyBytes(loaded);
    } catch (const Exception&) {
    }
    return 0;
}
