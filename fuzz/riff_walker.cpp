// RIFF files: the form chunk, sub-chunks found by id (in LIST chunks too)
// and their data read.
#include "fuzz/fuzz_input.h"
#include "platform/riff.h"

namespace {

void Walk(TRiffReader& riff, const TRiffChunk& parent, const std::vector<uint32_t>& ids, int depth) {
    for (uint32_t id : ids) {
        TRiffChunk chunk;
        if (!riff.FindChunk(parent, id, chunk)) continue;
        riff.ReadChunk(chunk, 1 << 16);
        if (chunk.Id == FourCC("LIST") && depth < 3) Walk(riff, chunk, ids, depth + 1);
    }
}

uint32_t WordAt(const uint8_t* data, size_t size, size_t at) {
    if (at + 4 > size) return 0;
    return uint32_t{data[at]} | uint32_t{data[at + 1]} << 8 | uint32_t{data[at + 2]} << 16 |
           uint32_t{data[at + 3]} << 24;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    try {
        TMemoryStream in(InputBytes(data, size));
        TRiffReader riff(in);
        TRiffChunk form;
        // The input's own form type and first sub-chunk id, beside the usual ones.
        if (!riff.DescendRiff(WordAt(data, size, 8), form)) return 0;
        std::vector<uint32_t> ids = {FourCC("fmt "), FourCC("data"), FourCC("fact"), FourCC("LIST"),
                                     FourCC("INFO"), WordAt(data, size, 12)};
        Walk(riff, form, ids, 0);
    } catch (const Exception&) {
    }
    return 0;
}
