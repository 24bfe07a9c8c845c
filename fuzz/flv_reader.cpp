// The FLV index over any bytes: tags, picture headers and onMetaData values,
// then every frame's data as a VideoFrame tag would carry it.
#include "fuzz/fuzz_input.h"
#include "movie/video.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TQuietMessages quiet;
    try {
        TFLVData flv(std::make_unique<TMemoryStream>(InputBytes(data, size)));
        for (size_t i = 0; i < flv.GetVideoFrameCount(); ++i) flv.GetFrameData(i);
        if (flv.MetaData)
            for (int name = 0; name < 20; ++name)
                if (const TFLVCustomData* value = flv.MetaData->GetValue(name)) value->GetIntValue();
    } catch (const Exception&) {
    }
    return 0;
}
