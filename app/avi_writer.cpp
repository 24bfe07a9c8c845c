#include "app/avi_writer.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <memory>

#include "pictures/color_reduction.h"
#include "pictures/dithering.h"
#include "platform/paths.h"
#include "platform/riff.h"
#include "platform/stream.h"
#include "platform/zstream.h"

namespace {

constexpr uint32_t kAvifHasIndex = 0x10;
constexpr uint32_t kAvifIsInterleaved = 0x100;
constexpr uint32_t kAviifKeyFrame = 0x10;
constexpr int kPaletteEntries = 256;
constexpr int kBitmapInfoHeaderSize = 40;

uint16_t Word(const std::vector<uint8_t>& bytes, size_t at) {
    return static_cast<uint16_t>(bytes[at] | bytes[at + 1] << 8);
}
uint32_t DWord(const std::vector<uint8_t>& bytes, size_t at) {
    return uint32_t{Word(bytes, at)} | uint32_t{Word(bytes, at + 2)} << 16;
}

TAviAudio ReadWave(const std::string& fileName) {
    std::unique_ptr<TFileStream> file;
    try {
        file = std::make_unique<TFileStream>(fileName, TFileMode::OpenRead);
    } catch (const EStreamError&) {
        throw EAviWriterError("A disk error occurred while opening the audio file.");
    }
    return TAviWriter::ReadWaveAudio(*file);
}

// The colour of pixel (x, y) of any bitmap as blue, green, red.
struct TBgr {
    uint8_t b, g, r;
};
TBgr SourcePixel(const TBitmap& bitmap, int x, int y) {
    const uint8_t* row = bitmap.ScanLine(y);
    switch (bitmap.PixelFormat()) {
    case TPixelFormat::pf24bit: return {row[3 * x], row[3 * x + 1], row[3 * x + 2]};
    case TPixelFormat::pf32bit:
    case TPixelFormat::pfDevice:
    case TPixelFormat::pfCustom: return {row[4 * x], row[4 * x + 1], row[4 * x + 2]};
    default: {
        TGIFColor c = GetBitmapPixel(bitmap, x, y);
        return {c.Blue, c.Green, c.Red};
    }
    }
}

// Draws a frame into the 24-bit work picture as the Stretch setting says.
void DrawFrame(const TBitmap& frame, TBitmap& work, bool stretch) {
    int width = work.Width(), height = work.Height();
    int sourceWidth = frame.Width(), sourceHeight = frame.Height();
    if (frame.Empty()) {
        for (int y = 0; y < height; ++y) std::fill_n(work.ScanLine(y), size_t(width) * 3, uint8_t{0});
        return;
    }
    if (stretch) {
        std::vector<int> columns(static_cast<size_t>(width));
        for (int x = 0; x < width; ++x) columns[size_t(x)] = int(int64_t{x} * sourceWidth / width);
        for (int y = 0; y < height; ++y) {
            int sy = int(int64_t{y} * sourceHeight / height);
            uint8_t* out = work.ScanLine(y);
            for (int x = 0; x < width; ++x) {
                TBgr p = SourcePixel(frame, columns[size_t(x)], sy);
                out[3 * x] = p.b;
                out[3 * x + 1] = p.g;
                out[3 * x + 2] = p.r;
            }
        }
        return;
    }
    TBgr background = SourcePixel(frame, 0, 0);
    for (int y = 0; y < height; ++y) {
        uint8_t* out = work.ScanLine(y);
        for (int x = 0; x < width; ++x) {
            TBgr p = x < sourceWidth && y < sourceHeight ? SourcePixel(frame, x, y) : background;
            out[3 * x] = p.b;
            out[3 * x + 1] = p.g;
            out[3 * x + 2] = p.r;
        }
    }
}

void PutWord(std::vector<uint8_t>& out, uint16_t value) {
    out.push_back(static_cast<uint8_t>(value));
    out.push_back(static_cast<uint8_t>(value >> 8));
}
void PutDWord(std::vector<uint8_t>& out, uint32_t value) {
    PutWord(out, static_cast<uint16_t>(value));
    PutWord(out, static_cast<uint16_t>(value >> 16));
}

// An AVISTREAMHEADER.
std::vector<uint8_t> StreamHeader(uint32_t type, uint32_t scale, uint32_t rate, uint32_t length, uint32_t bufferSize,
                                  uint32_t sampleSize, int width, int height) {
    std::vector<uint8_t> h;
    PutDWord(h, type);
    PutDWord(h, 0);  // handler
    PutDWord(h, 0);  // flags
    PutWord(h, 0);   // priority
    PutWord(h, 0);   // language
    PutDWord(h, 0);  // initial frames
    PutDWord(h, scale);
    PutDWord(h, rate);
    PutDWord(h, 0);  // start
    PutDWord(h, length);
    PutDWord(h, bufferSize);
    PutDWord(h, 0xFFFFFFFFu);  // quality: the default
    PutDWord(h, sampleSize);
    PutWord(h, 0);
    PutWord(h, 0);
    PutWord(h, static_cast<uint16_t>(width));
    PutWord(h, static_cast<uint16_t>(height));
    return h;
}

struct TIndexEntry {
    uint32_t id;
    uint32_t offset;
    uint32_t size;
};

}  // namespace

TAviWriter::TAviWriter() = default;

TAviWriter::~TAviWriter() {
    if (FFrameFile == nullptr) return;
    FFrameFile.reset();
    DeleteFileIfExists(FrameWorkFileName());
}

std::string TAviWriter::FrameWorkFileName() const {
    std::filesystem::path target(UcSystem::WideToUtf8(FileName));
    return (target.parent_path() / "~FlashTemp.frames").string();
}

void TAviWriter::BeginFrames() {
    if (FFrameFile != nullptr) return;
    if (Width <= 0 || Height <= 0 || Width > 32767 || Height > 32767)
        throw EAviWriterError("Invalid AVI frame size " + std::to_string(Width) + " x " + std::to_string(Height));
    try {
        FFrameFile = std::make_unique<TFileStream>(FrameWorkFileName(), TFileMode::Create);
    } catch (const EStreamError& e) {
        throw EAviWriterError(std::string("Failed to create the AVI frame work file: ") + e.what());
    }
    FAddedFrames = 0;
    FAddedWidth = Width;
    FAddedHeight = Height;
}

void TAviWriter::AddFrame(const TBitmap& frame) {
    BeginFrames();
    TBitmap work = MakeBitmap(FAddedWidth, FAddedHeight, TPixelFormat::pf24bit);
    DrawFrame(frame, work, Stretch);
    if (FQuantizer == nullptr) FQuantizer = std::make_unique<TColorQuantizer>(kPaletteEntries, 8);
    FQuantizer->ProcessImage(work);
    // The rows stand in one block, bottom-up; level 1, since movie frames
    // are mostly flat colour and the capture waits for every frame.
    const size_t size = size_t(work.RowBytes()) * size_t(FAddedHeight);
    std::vector<uint8_t> packed = ZCompress(work.ScanLine(FAddedHeight - 1), size, 1);
    std::vector<uint8_t> length;
    PutDWord(length, static_cast<uint32_t>(packed.size()));
    try {
        FFrameFile->WriteBuffer(length.data(), int64_t(length.size()));
        FFrameFile->WriteBuffer(packed.data(), int64_t(packed.size()));
    } catch (const EStreamError& e) {
        throw EAviWriterError("Failed to add frame " + std::to_string(FAddedFrames + 1) + " to the AVI frame work file: " +
                              e.what());
    }
    ++FAddedFrames;
}

TAviAudio TAviWriter::ReadWaveAudio(TStream& stream) {
    const char* badFormat = "The file could not be read, indicating a corrupt file or an unrecognized format.";
    TRiffReader riff(stream);
    TRiffChunk wave, format, data;
    try {
        if (!riff.DescendRiff(FourCC("WAVE"), wave)) throw EAviWriterError(badFormat);
        if (!riff.FindChunk(wave, FourCC("fmt "), format) || !riff.FindChunk(wave, FourCC("data"), data))
            throw EAviWriterError("Unable to get audio stream");
        TAviAudio audio;
        audio.Format = riff.ReadChunk(format, 65536);
        if (audio.Format.size() < 16) throw EAviWriterError(badFormat);
        audio.AvgBytesPerSec = DWord(audio.Format, 8);
        audio.BlockAlign = Word(audio.Format, 12);
        if (audio.BlockAlign == 0 || audio.AvgBytesPerSec == 0) throw EAviWriterError(badFormat);
        audio.Data = riff.ReadChunk(data, size_t(data.Size));
        audio.Data.resize(audio.Data.size() / audio.BlockAlign * audio.BlockAlign);
        return audio;
    } catch (const EStreamError&) {
        throw EAviWriterError("A disk error occurred while reading the audio file.");
    }
}

int TAviWriter::AviBytesPerScanline(int pixels, int bitsPerPixel, int alignment) {
    int64_t bits = int64_t{pixels} * bitsPerPixel + alignment - 1;
    return int((bits & ~int64_t(alignment - 1)) / 8);
}

void TAviWriter::SetWavFileName(const std::string& name) {
    auto lower = [](std::string text) {
        for (char& c : text) c = char(std::tolower(static_cast<unsigned char>(c)));
        return text;
    };
    if (lower(name) == lower(FWavFileName)) return;
    if (lower(std::filesystem::path(name).extension().string()) != ".wav")
        throw EAviWriterError("WavFileName must name a file with the .wav extension");
    FWavFileName = name;
}

std::string TAviWriter::WorkFileName() const {
    std::filesystem::path target(UcSystem::WideToUtf8(FileName));
    return (target.parent_path() / "~FlashTemp.avi").string();
}

void TAviWriter::WriteAvi() {
    if (Bitmaps.empty() && FAddedFrames == 0) throw EAviWriterError("No bitmaps on the Bitmaps list");
    for (size_t i = 0; i < Bitmaps.size(); ++i)
        if (Bitmaps[i] == nullptr) throw EAviWriterError("Bitmaps[" + std::to_string(i) + "] is not a TBitmap");
    if (Width <= 0 || Height <= 0 || Width > 32767 || Height > 32767)
        throw EAviWriterError("Invalid AVI frame size " + std::to_string(Width) + " x " + std::to_string(Height));
    if (FrameTime <= 0) throw EAviWriterError("Invalid AVI frame time " + std::to_string(FrameTime) + " ms");
    if (FileName.empty()) throw EAviWriterError("Unable to write output file: no file name");

    TAviAudio wave;
    bool audio = !FWavFileName.empty();
    if (audio) wave = ReadWave(FWavFileName);

    // The whole layout first, so that a file the RIFF header cannot state is
    // refused before a byte is written.
    const uint32_t frames = static_cast<uint32_t>(Bitmaps.size() + size_t(FAddedFrames));
    const uint32_t rowBytes = static_cast<uint32_t>(AviBytesPerScanline(Width, 8, 32));
    const uint64_t imageSize = uint64_t{rowBytes} * uint64_t(Height);
    std::vector<uint32_t> audioChunks(frames, 0);  // audio bytes written after each frame
    if (audio) {
        uint64_t written = 0;
        for (uint32_t i = 0; i < frames; ++i) {
            uint64_t due = uint64_t{i + 1} * uint64_t(FrameTime) * wave.AvgBytesPerSec / 1000;
            due = std::min<uint64_t>(due / wave.BlockAlign * wave.BlockAlign, wave.Data.size());
            if (i + 1 == frames) due = wave.Data.size();
            audioChunks[i] = static_cast<uint32_t>(due - written);
            written = due;
        }
    }
    uint64_t audioChunkCount = 0, audioBytes = 0;
    uint32_t largestAudioChunk = 0;
    for (uint32_t size : audioChunks) {
        if (size == 0) continue;
        ++audioChunkCount;
        audioBytes += 8 + size + (size & 1);
        largestAudioChunk = std::max(largestAudioChunk, size);
    }
    uint64_t formatBytes = wave.Format.size() + (wave.Format.size() & 1);
    uint64_t headerList = 12 + (8 + 56) + 12 + (8 + 56) + (8 + kBitmapInfoHeaderSize + 4 * kPaletteEntries) +
                          (audio ? 12 + (8 + 56) + 8 + formatBytes : 0);
    uint64_t moviList = 12 + uint64_t{frames} * (8 + imageSize) + audioBytes;
    uint64_t index = 8 + 16 * (uint64_t{frames} + audioChunkCount);
    uint64_t riffSize = 4 + headerList + moviList + index;
    if (riffSize > MaxRiffSize)
        throw EAviWriterError("The AVI file would need " + std::to_string(riffSize + 8) + " bytes, more than the " +
                              std::to_string(MaxRiffSize + 8) + " an AVI file can hold: " + std::to_string(frames) +
                              " frames of " + std::to_string(Width) + " x " + std::to_string(Height) +
                              " pixels; export fewer frames or a smaller movie");

    // One palette for the whole stream, from the colours of every frame
    // (those added went in as they came).
    TBitmap work = MakeBitmap(Width, Height, TPixelFormat::pf24bit);
    if (FAddedFrames > 0 && (Width != FAddedWidth || Height != FAddedHeight))
        throw EAviWriterError("The frames were added at " + std::to_string(FAddedWidth) + " x " +
                              std::to_string(FAddedHeight) + " pixels, not at " + std::to_string(Width) + " x " +
                              std::to_string(Height));
    if (FQuantizer == nullptr) FQuantizer = std::make_unique<TColorQuantizer>(kPaletteEntries, 8);
    for (const TBitmap* frame : Bitmaps) {
        DrawFrame(*frame, work, Stretch);
        FQuantizer->ProcessImage(work);
    }
    TGIFPalette palette = FQuantizer->ColorTable();
    palette.resize(kPaletteEntries);
    TFastColorLookup lookup(palette);
    // Frame i into the work picture: from Bitmaps, then from the work file.
    if (FFrameFile != nullptr) FFrameFile->SetPosition(0);
    const size_t workBytes = size_t(work.RowBytes()) * size_t(Height);
    auto nextFrame = [&](uint32_t i) {
        if (i < Bitmaps.size()) {
            DrawFrame(*Bitmaps[i], work, Stretch);
            return;
        }
        uint8_t length[4];
        FFrameFile->ReadBuffer(length, 4);
        std::vector<uint8_t> packed(size_t(uint32_t(length[0]) | uint32_t(length[1]) << 8 |
                                           uint32_t(length[2]) << 16 | uint32_t(length[3]) << 24));
        FFrameFile->ReadBuffer(packed.data(), int64_t(packed.size()));
        std::vector<uint8_t> pixels = ZDecompress(packed.data(), packed.size());
        if (pixels.size() != workBytes)
            throw EAviWriterError("The AVI frame work file \"" + FrameWorkFileName() + "\" was changed while it was written");
        std::copy(pixels.begin(), pixels.end(), work.ScanLine(Height - 1));
    };

    std::string workFile = WorkFileName();
    std::string target = UcSystem::WideToUtf8(FileName);
    std::unique_ptr<TFileStream> file;
    try {
        file = std::make_unique<TFileStream>(workFile, TFileMode::Create);
    } catch (const EStreamError& e) {
        // The stream's message names the work file and the reason.
        throw EAviWriterError("Failed to create AVI video work file for \"" + target + "\": " + e.what());
    }
    try {
        TRiffWriter riff(*file);
        riff.BeginList(FourCC("RIFF"), FourCC("AVI "));
        riff.BeginList(FourCC("LIST"), FourCC("hdrl"));
        {
            std::vector<uint8_t> h;
            PutDWord(h, static_cast<uint32_t>(FrameTime) * 1000u);
            PutDWord(h, static_cast<uint32_t>(std::min<uint64_t>(imageSize * 1000 / uint64_t(FrameTime) +
                                                                    (audio ? wave.AvgBytesPerSec : 0),
                                                                0xFFFFFFFFu)));
            PutDWord(h, 0);  // padding granularity
            PutDWord(h, kAvifHasIndex | (audio ? kAvifIsInterleaved : 0));
            PutDWord(h, frames);
            PutDWord(h, 0);  // initial frames
            PutDWord(h, audio ? 2 : 1);
            PutDWord(h, static_cast<uint32_t>(std::max<uint64_t>(imageSize, largestAudioChunk)));
            PutDWord(h, static_cast<uint32_t>(Width));
            PutDWord(h, static_cast<uint32_t>(Height));
            for (int i = 0; i < 4; ++i) PutDWord(h, 0);
            riff.WriteChunk(FourCC("avih"), h.data(), h.size());
        }
        riff.BeginList(FourCC("LIST"), FourCC("strl"));
        {
            std::vector<uint8_t> h = StreamHeader(FourCC("vids"), static_cast<uint32_t>(FrameTime), 1000, frames,
                                                  static_cast<uint32_t>(imageSize), 0, Width, Height);
            riff.WriteChunk(FourCC("strh"), h.data(), h.size());
            std::vector<uint8_t> f;
            PutDWord(f, kBitmapInfoHeaderSize);
            PutDWord(f, static_cast<uint32_t>(Width));
            PutDWord(f, static_cast<uint32_t>(Height));  // positive: rows bottom-up
            PutWord(f, 1);                               // planes
            PutWord(f, 8);                               // bits per pixel
            PutDWord(f, 0);                              // no compression
            PutDWord(f, static_cast<uint32_t>(imageSize));
            PutDWord(f, 0);
            PutDWord(f, 0);
            PutDWord(f, kPaletteEntries);  // colours used
            PutDWord(f, 0);
            for (const TGIFColor& c : palette) {
                f.push_back(c.Blue);
                f.push_back(c.Green);
                f.push_back(c.Red);
                f.push_back(0);
            }
            riff.WriteChunk(FourCC("strf"), f.data(), f.size());
        }
        riff.End();  // strl
        if (audio) {
            riff.BeginList(FourCC("LIST"), FourCC("strl"));
            std::vector<uint8_t> h =
                StreamHeader(FourCC("auds"), wave.BlockAlign, wave.AvgBytesPerSec,
                             static_cast<uint32_t>(wave.Data.size() / wave.BlockAlign), largestAudioChunk,
                             wave.BlockAlign, 0, 0);
            riff.WriteChunk(FourCC("strh"), h.data(), h.size());
            riff.WriteChunk(FourCC("strf"), wave.Format.data(), wave.Format.size());
            riff.End();
        }
        riff.End();  // hdrl

        riff.BeginList(FourCC("LIST"), FourCC("movi"));
        // Index offsets count from the "movi" form type.
        int64_t moviStart = riff.Position() - 4;
        std::vector<TIndexEntry> entries;
        entries.reserve(frames + audioChunkCount);
        size_t audioAt = 0;
        for (uint32_t i = 0; i < frames; ++i) {
            nextFrame(i);
            TBitmap mapped = MapToPalette(work, palette, lookup, dtFloydSteinberg);
            if (mapped.Empty() || uint64_t(mapped.RowBytes()) != rowBytes)
                throw EAviWriterError("Failed to retrieve bitmap info");
            entries.push_back({FourCC("00db"), static_cast<uint32_t>(riff.Position() - moviStart),
                               static_cast<uint32_t>(imageSize)});
            // The bitmap keeps its rows bottom-up in one block, as the stream wants them.
            riff.WriteChunk(FourCC("00db"), mapped.ScanLine(Height - 1), size_t(imageSize));
            if (audioChunks[i] > 0) {
                entries.push_back({FourCC("01wb"), static_cast<uint32_t>(riff.Position() - moviStart), audioChunks[i]});
                riff.WriteChunk(FourCC("01wb"), wave.Data.data() + audioAt, audioChunks[i]);
                audioAt += audioChunks[i];
            }
            if (OnProgress) OnProgress(int(i + 1), int(frames));
        }
        riff.End();  // movi

        std::vector<uint8_t> idx;
        idx.reserve(entries.size() * 16);
        for (const TIndexEntry& e : entries) {
            PutDWord(idx, e.id);
            PutDWord(idx, kAviifKeyFrame);
            PutDWord(idx, e.offset);
            PutDWord(idx, e.size);
        }
        riff.WriteChunk(FourCC("idx1"), idx.data(), idx.size());
        riff.End();  // RIFF
        file->Close();
        file.reset();
        ReplaceFile(workFile, target);
    } catch (const EAviWriterError&) {
        file.reset();
        DeleteFileIfExists(workFile);
        throw;
    } catch (const Exception& e) {
        file.reset();
        DeleteFileIfExists(workFile);
        throw EAviWriterError(std::string("Unable to write output file: ") + e.what());
    } catch (...) {
        file.reset();
        DeleteFileIfExists(workFile);
        throw;
    }
}
