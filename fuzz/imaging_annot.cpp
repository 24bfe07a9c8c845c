// The imaging annotations of TIFF files: marks, points, texts and embedded
// DIB images are read; what was read is saved and read again.
#include "fuzz/fuzz_input.h"
#include "imaging/core/ie_meta_tags.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TQuietMessages quiet;
    TIEImagingAnnot annot;
    annot.LoadFromBuffer(data, size);
    const std::vector<uint8_t> saved = annot.SaveToBuffer();
    TIEImagingAnnot again;
    again.LoadFromBuffer(saved.data(), saved.size());
    if (again.Objects().size() != annot.Objects().size()) __builtin_trap();
    return 0;
}
