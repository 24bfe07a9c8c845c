#include "movie/jpeg_probe.h"

#include "platform/errors.h"
#include "platform/jpeg.h"

bool GetJPEGSize(TStream& stream, uint16_t& width, uint16_t& height) {
    auto readByte = [&](uint8_t& b) { return stream.Read(&b, 1) == 1; };
    auto readWord = [&](uint16_t& w) {
        uint8_t bytes[2];
        if (stream.Read(bytes, 2) != 2) return false;
        w = static_cast<uint16_t>(bytes[0] << 8 | bytes[1]);
        return true;
    };
    uint8_t soi[2];
    if (stream.Read(soi, 2) != 2 || soi[0] != 0xFF || soi[1] != 0xD8) return false;
    uint8_t b;
    if (!readByte(b)) return false;
    while (b == 0xFF) {
        uint8_t marker;
        if (!readByte(marker)) return false;
        if (marker == 0xFF) continue;  // fill byte
        if (marker == 0xC0 || marker == 0xC1) {
            uint16_t length, h, w;
            uint8_t precision;
            if (!readWord(length) || !readByte(precision) || !readWord(h) || !readWord(w)) return false;
            height = h;
            width = w;
            return true;
        }
        if (marker != 0x01 && !(marker >= 0xD0 && marker <= 0xD7)) {
            uint16_t length;
            if (!readWord(length)) return false;
            // A length below 2 would step backwards over its own field.
            if (length < 2) return false;
            int64_t target = stream.GetPosition() + length - 2;
            if (target > stream.GetSize()) return false;
            stream.SetPosition(target);
        }
        if (!readByte(b)) return false;
    }
    return false;
}

bool GetJPEGSize(const std::string& fileName, uint16_t& width, uint16_t& height) {
    TFileStream file(fileName, TFileMode::OpenRead);
    return GetJPEGSize(file, width, height);
}

TBaselineJPEG ReencodeAsBaseline(const std::vector<uint8_t>& jpeg, int quality, const std::string& fileName) {
    TJPEGImage image;
    image.LoadFromBytes(jpeg.data(), jpeg.size());
    if (image.Width() <= 0 || image.Height() <= 0 || image.Width() > 65535 || image.Height() > 65535)
        throw Exception(FormatStr("JPEG file \"%s\" gives a picture of %d x %d pixels, which a movie cannot hold",
                                  fileName.c_str(), image.Width(), image.Height()));
    TBaselineJPEG result;
    result.Width = static_cast<uint16_t>(image.Width());
    result.Height = static_cast<uint16_t>(image.Height());
    result.WasProgressive = image.Progressive();
    image.CompressionQuality = quality;
    image.ProgressiveEncoding = false;
    result.Data = image.SaveToBytes();
    return result;
}
