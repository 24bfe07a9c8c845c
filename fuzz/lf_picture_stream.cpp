// Picture data of the interface library: the bytes as a bitmap's stream
// form, as the run-length coding alone, and as a PNG picture's stream; what
// was read is drawn and written back.
#include "fuzz/fuzz_input.h"
#include "navbar/kr_gdiplus.h"
#include "navbar/lf_graphics.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TQuietMessages quiet;
    try {
        DecompressBitmapData(data, size);
    } catch (const Exception&) {
    }
    try {
        TMemoryStream in(InputBytes(data, size));
        TlfCustomBitmap bitmap;
        bitmap.ReadData(in);
        bitmap.Rotate(1);
        TMemoryStream out;
        bitmap.CompressData = true;
        bitmap.WriteData(out);
    } catch (const Exception&) {
    }
    try {
        TMemoryStream in(InputBytes(data, size));
        TkrPNGImage picture;
        picture.LoadFromStream(in);
        if (!picture.Empty() && picture.Width() <= 4096 && picture.Height() <= 4096) {
            TBitmap target;
            target.SetPixelFormat(TPixelFormat::pf24bit);
            target.SetSize(32, 32);
            TCanvas canvas(target);
            picture.Draw(canvas, TRect{0, 0, 32, 32});
            TMemoryStream out;
            picture.SaveToStream(out);
        }
    } catch (const Exception&) {
    }
    return 0;
}
