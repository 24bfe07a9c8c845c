// The data elements of DICOM files, every transfer syntax the element loop
// knows; the tags read are copied.
#include "fuzz/fuzz_input.h"
#include "imaging/io/ie_dicom_elements.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TQuietMessages quiet;
    TMemoryStream stream(InputBytes(data, size));
    TIEDICOMTags tags;
    TIEDICOMImageInfo info;
    IEReadDICOMElements(stream, tags, info);
    TIEDICOMTags copy;
    copy.Assign(tags);
    return 0;
}
