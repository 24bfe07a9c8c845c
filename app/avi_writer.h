// The AVI writer: turns a list of bitmaps into an AVI file with one
// uncompressed 8-bit video stream at a fixed frame time and, when a WAVE
// file is named, that file's audio as a second stream.
//
// It writes the RIFF structure itself (platform/riff.h) in place of the
// system's video-file functions. Every frame is drawn into a Width x Height
// picture and mapped to one palette for the whole stream (an octree of all
// frames' colours, Floyd-Steinberg dithering), stored bottom-up with rows
// padded to 32 bits, each frame a key frame. The file is written beside the
// target as "~FlashTemp.avi" and renamed over it at the end, so a failure
// leaves the old file as it was. A file that would pass the 32-bit size of
// a RIFF header is refused before anything is written. Left out: OpenDML
// (AVI files over 4 GB), compressed video.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "controls/ucsystem.h"
#include "platform/bitmap.h"
#include "platform/errors.h"
#include "platform/stream.h"

class EAviWriterError : public Exception {
    using Exception::Exception;
};

// The audio of a WAVE file, whole, as the writer adds it.
struct TAviAudio {
    std::vector<uint8_t> Format;  // the 'fmt ' chunk as it stands (a WAVEFORMATEX)
    uint16_t BlockAlign = 0;
    uint32_t AvgBytesPerSec = 0;
    std::vector<uint8_t> Data;    // whole blocks only
};

class TColorQuantizer;

class TAviWriter {
public:
    TAviWriter();
    ~TAviWriter();
    TAviWriter(const TAviWriter&) = delete;
    TAviWriter& operator=(const TAviWriter&) = delete;

    // Frame size in pixels; a tenth of a 1920 x 1080 screen to start with.
    int Height = 108;
    int Width = 192;
    // Milliseconds per frame: the stream's scale, over a rate of 1000.
    int FrameTime = 1000;
    // Frames are stretched to Width x Height; otherwise drawn at the top left
    // on a background of their own top-left pixel's colour.
    bool Stretch = true;
    WideString FileName;
    // The frames in order; the writer neither owns nor frees them.
    std::vector<const TBitmap*> Bitmaps;
    // Called after each frame written with its number (from 1) and the count.
    std::function<void(int frame, int count)> OnProgress;
    // The bound on the RIFF chunk's size; the format cannot state more.
    uint64_t MaxRiffSize = 0xFFFFFFFFu;

    const std::string& WavFileName() const { return FWavFileName; }
    // Raises for a name whose extension is not ".wav" (in any case); the same
    // name in another case changes nothing.
    void SetWavFileName(const std::string& name);

    // Frames handed over one at a time, as a capture takes them, so that
    // memory holds one frame however long the video: each is drawn at Width
    // x Height as Stretch says (set them first), its colours go into the
    // stream's palette, and it is appended, deflated, to the frame work file
    // (FrameWorkFileName). WriteAvi writes them after the frames of Bitmaps;
    // the work file goes when the writer does. BeginFrames creates the work
    // file, so that a folder that cannot be written is known before the
    // first frame; AddFrame begins by itself. Both raise EAviWriterError
    // naming the file and the reason.
    void BeginFrames();
    void AddFrame(const TBitmap& frame);
    int AddedFrames() const { return FAddedFrames; }
    // "~FlashTemp.frames" beside the target.
    std::string FrameWorkFileName() const;

    // Writes FileName from Bitmaps and the frames added; raises
    // EAviWriterError with the reason.
    void WriteAvi();

    // The audio of a WAVE file in a stream; raises EAviWriterError with the
    // reason when the stream holds no usable audio.
    static TAviAudio ReadWaveAudio(TStream& stream);

    // Bytes of a row of pixels at bits per pixel, padded to alignment bits.
    static int AviBytesPerScanline(int pixels, int bitsPerPixel, int alignment);
    // The work file that WriteAvi writes first: "~FlashTemp.avi" beside the target.
    std::string WorkFileName() const;

private:
    std::string FWavFileName;
    std::unique_ptr<TFileStream> FFrameFile;
    std::unique_ptr<TColorQuantizer> FQuantizer;
    int FAddedFrames = 0;
    int FAddedWidth = 0;
    int FAddedHeight = 0;
};
