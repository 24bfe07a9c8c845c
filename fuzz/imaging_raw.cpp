// The raw bitmap form of the image library, from memory and from a stream;
// what it read is written out again.
#include "fuzz/fuzz_input.h"
#include "imaging/core/ie_bitmap.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TQuietMessages quiet;
    auto bytes = InputBytes(data, size);
    TIEBitmap fromMemory;
    if (fromMemory.LoadRawFromStream(bytes.data(), bytes.size(), nullptr)) {
        std::vector<uint8_t> out(static_cast<size_t>(fromMemory.RawSize()));
        fromMemory.SaveRawToStream(out.data(), nullptr);
    }
    TMemoryStream stream;
    stream.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
    stream.SetPosition(0);
    TIEBitmap fromStream;
    fromStream.LoadRawFromStream(nullptr, 0, &stream);
    return 0;
}
