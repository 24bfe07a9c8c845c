// The body of a DoABC tag: read with its byte code parsed into the ABC model
// and kept as bytes, written back, copied, and through its XML form. A block
// the model holds must write back byte for byte: anything else is a finding.
#include <cstdlib>

#include "fuzz/fuzz_input.h"
#include "platform/xml.h"
#include "swf/do_abc.h"
#include "swf/tag_xml.h"
#include "swf/xml_form.h"

namespace {

std::vector<uint8_t> Written(TSWFObject& tag) {
    TMemoryStream out;
    TBitsEngine be(out);
    tag.WriteBody(be);
    return out.TakeBytes();
}

void Check(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TQuietMessages quiet;
    const std::vector<uint8_t> body = InputBytes(data, size);
    for (bool parse : {true, false}) {
        TSWFDoABC tag;
        tag.ParseActions = parse;
        tag.BodySize = static_cast<int32_t>(size);
        try {
            TMemoryStream in(body);
            TBoundedStream view(in, 0, static_cast<int64_t>(size));
            TBitsEngine be(view);
            tag.ReadBody(be);
        } catch (const Exception&) {
            continue;
        }
        try {
            // What was read is the body up to the end of the name and
            // versions, then the block: the same bytes must come back.
            const std::vector<uint8_t> again = Written(tag);
            Check(again == body);
            TSWFDoABC copy;
            copy.CopyFieldsFrom(tag);
            Check(Written(copy) == body);
            TXMLReadWriteSettings settings;
            settings.Options = 0;
            for (uint8_t format : {0, 1}) {
                settings.ActionFormat = format;
                TXmlDocument doc;
                SaveTagElement(doc.Root(), tag, settings);
                TXmlDocument reread;
                reread.LoadFromString(doc.SaveToString());
                auto loaded = LoadTagElement(reread.DocumentElement(), 9, settings);
                Check(loaded && Written(*loaded) == body);
            }
        } catch (const Exception&) {
            // A name holding a NUL byte cannot be written: only such bodies
            // may fail here.
            Check(tag.Name.find('\0') != std::string::npos);
        }
    }
    return 0;
}
