// A template SWF searched for its parameter declaration: the tags and
// action blocks read, the constant pool and pushes that assign the
// declaration followed, and the declaration found read as parameters.
#include "app/templates.h"
#include "fuzz/fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TQuietMessages quiet;
    const WideString file = UcSystem::Utf8ToWide(InputFile(data, size, ".swf"));
    try {
        FindParamsDefine(file);
        std::unique_ptr<EffectRecord> record;
        if (ReadParamsDefine(file, record)) {
            for (TEffectParam& param : record->Params) SelectionChoices(param.Selection);
            FindParam(*record, u"Bg.Color");
        }
    } catch (const Exception&) {
    }
    return 0;
}
