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

namespace {

void AddFrameExtensions(TGIFSubImage& frame, bool first, int64_t transparentColor, int loopCount, int delayMs) {
    if (first) {
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
}

}  // namespace

int AddGifFrame(TGIFImage& gif, const TBitmap& bitmap, int64_t transparentColor, int loopCount, int delayMs) {
    int index = gif.AddImage(bitmap);
    AddFrameExtensions(gif.GetSubImage(index), index == 0, transparentColor, loopCount, delayMs);
    return index;
}

void TGIFFrameWriter::AddFrame(const TBitmap& bitmap, int64_t transparentColor, int loopCount, int delayMs) {
    if (!gif_.Empty()) throw GIFException("The image of a frame writer must hold no frames");
    struct TDropFrames {
        TGIFImage& gif;
        ~TDropFrames() {
            while (!gif.Empty()) gif.DeleteFrame(0);
        }
    } drop{gif_};
    int index = gif_.AddImage(bitmap);
    TGIFSubImage& frame = gif_.GetSubImage(index);
    AddFrameExtensions(frame, count_ == 0, transparentColor, loopCount, delayMs);
    if (count_ == 0) gif_.SaveHeader(stream_);
    frame.SaveToStream(stream_);
    ++count_;
}

void TGIFFrameWriter::Finish() {
    if (count_ == 0) throw GIFException("An animation without frames cannot be written");
    const uint8_t trailer = 0x3B;
    stream_.WriteBuffer(&trailer, 1);
}
