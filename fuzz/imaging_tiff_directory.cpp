// TIFF directories: the chain of pages is walked, every entry read through
// every accessor, maker notes taken from each directory, and each page's
// directory edited and written back into the file, then read again.
#include "fuzz/fuzz_input.h"
#include "imaging/core/ie_meta_tags.h"
#include "imaging/core/ie_tiff_dir.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TQuietMessages quiet;
    TMemoryStream stream(InputBytes(data, size));
    bool little;
    uint32_t first;
    if (!IEReadTIFFHeader(stream, 0, little, first)) return 0;
    int32_t pages = 0;
    TIETIFFDirectory directory;
    directory.LoadPage(stream, 0, little, first, 0, &pages);
    for (int32_t page = 0; page < pages && page < 4; ++page) {
        if (!directory.LoadPage(stream, 0, little, first, page)) break;
        for (const TIETIFFEntry& entry : directory.Entries) {
            (void)directory.GetInteger(entry.Tag);
            (void)directory.GetValue(entry.Tag, 1);
            (void)directory.GetIntegers(entry.Tag);
            (void)directory.GetRational(entry.Tag, 0);
            (void)directory.GetString(entry.Tag);
            (void)directory.GetWideString(entry.Tag);
            (void)directory.GetLittleEndianData(entry);
        }
        TIETagsHandler note;
        note.ReadMakerNote(directory);
        (void)note.MakerNoteBlock(64);
        TIETagsHandler handler;
        if (!handler.LoadFromTIFF(stream, page)) continue;
        handler.SetASCII(270, "fuzz");
        handler.RemoveTag(273);
        TMemoryStream copy(InputBytes(data, size));
        handler.SaveToTIFF(copy);
        TIETagsHandler again;
        again.LoadFromTIFF(copy, page);
    }
    return 0;
}
