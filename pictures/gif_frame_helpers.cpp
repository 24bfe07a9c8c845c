#include "pictures/gif_frame_helpers.h"

int FindUsedPaletteIndex(TGIFSubImage& frame, uint32_t color) {
    const TGIFColorMap& table = frame.ActiveColorMap();
    TGIFColor wanted = ColorFromToolkit(color);
    for (int index = 0; index < table.Count(); ++index) {
        if (!(table[index] == wanted)) continue;
        for (uint8_t pixel : frame.IndexData())
            if (pixel == index) return index;
    }
    return -1;
}

int AddGifFrame(TGIFImage& gif, const TPictureBitmap& bitmap, int64_t transparentColor, int loopCount, int delayMs) {
    int index = gif.AddImage(bitmap);
    TGIFSubImage& frame = gif.GetSubImage(index);
    if (index == 0) {
        auto loop = std::make_unique<TGIFAppExtNSLoop>(&frame);
        loop->LoopCount = loopCount;
        frame.AddExtension(std::move(loop));
    }
    auto control = std::make_unique<TGIFGraphicControlExtension>(&frame);
    control->SetDelayTime(static_cast<uint16_t>(delayMs) / 10);
    if (transparentColor != -1) {
        int used = FindUsedPaletteIndex(frame, static_cast<uint32_t>(transparentColor));
        if (used >= 0 && used < 256) {
            control->SetTransparentFlag(true);
            control->SetTransparentIndex(used);
            control->SetDisposalMethod(2);
        }
    }
    frame.AddExtension(std::move(control));
    return index;
}
