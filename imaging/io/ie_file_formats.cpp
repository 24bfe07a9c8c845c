#include "imaging/io/ie_file_formats.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>

#include "imaging/core/ie_layers_stream.h"
#include "imaging/io/ie_pcx.h"
#include "imaging/io/ie_png.h"
#include "imaging/io/ie_raw.h"
#include "imaging/io/ie_tga.h"
#include "platform/errors.h"

std::vector<std::unique_ptr<TIEFileFormatInfo>> IEFileFormats;

void IEDummyRead(TStream&, TIEBitmap&, TIOParamsVals&, TIEProgressRec&, bool) {}
void IEDummyWrite(TStream&, TIEBitmap&, TIOParamsVals&, TIEProgressRec&) {}
bool IEDummyTest(TStream&, int32_t) { return false; }

namespace {

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

uint16_t Get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t Get32(const uint8_t* p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

// Puts the stream back where it was, however the test leaves.
class TPositionKeeper {
public:
    explicit TPositionKeeper(TStream& stream) : stream_(stream), position_(stream.GetPosition()) {}
    ~TPositionKeeper() { stream_.SetPosition(position_); }
    TPositionKeeper(const TPositionKeeper&) = delete;
    TPositionKeeper& operator=(const TPositionKeeper&) = delete;
    int64_t Position() const { return position_; }

private:
    TStream& stream_;
    int64_t position_;
};

// Up to count bytes from the position (zeros past the end); the number read.
int64_t Peek(TStream& stream, uint8_t* buffer, int64_t count) {
    TPositionKeeper keep(stream);
    std::memset(buffer, 0, static_cast<size_t>(count));
    return std::max<int64_t>(stream.Read(buffer, count), 0);
}

// The first five bytes read as a zero-terminated text equal magic.
bool TextIs(const uint8_t* head, const char* magic) {
    char text[6] = {};
    std::memcpy(text, head, 5);
    return std::strcmp(text, magic) == 0;
}

bool IsIconDirectory(TStream& stream, uint16_t type) {
    TPositionKeeper keep(stream);
    if (stream.GetSize() - stream.GetPosition() < 23) return false;
    uint8_t header[6];
    if (stream.Read(header, 6) != 6 || Get16(header) != 0 || Get16(header + 2) != type || Get16(header + 4) == 0) return false;
    const int64_t start = stream.GetPosition() - 6;
    for (int32_t i = 0; i < Get16(header + 4); ++i) {
        uint8_t entry[16];
        if (stream.Read(entry, 16) != 16) return false;
        if (entry[3] != 0 || Get32(entry + 8) == 0 || start + Get32(entry + 12) < stream.GetPosition()) return false;
    }
    return true;
}

// The first directory of a TIFF structure at the position: its entries, or
// nothing when the header or the directory does not read whole.
struct TTiffEntry {
    uint16_t tag, type;
    uint32_t count, value;
};

bool ReadFirstTIFFDirectory(TStream& stream, std::vector<TTiffEntry>& entries, uint8_t* header8) {
    TPositionKeeper keep(stream);
    const int64_t size = stream.GetSize() - keep.Position();
    uint8_t h[8];
    if (size < 8 || stream.Read(h, 8) != 8) return false;
    if (header8) std::memcpy(header8, h, 8);
    const bool big = h[0] == 'M' && h[1] == 'M';
    if (!big && !(h[0] == 'I' && h[1] == 'I')) return false;
    auto get16 = [big](const uint8_t* p) { return big ? static_cast<uint16_t>(p[0] << 8 | p[1]) : Get16(p); };
    auto get32 = [big](const uint8_t* p) {
        return big ? uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3] : Get32(p);
    };
    const uint32_t offset = get32(h + 4);
    if (offset < 8 || int64_t{offset} + 2 > size) return false;
    stream.SetPosition(keep.Position() + offset);
    uint8_t countBytes[2];
    if (stream.Read(countBytes, 2) != 2) return false;
    const uint16_t count = get16(countBytes);
    if (count == 0 || int64_t{offset} + 2 + int64_t{count} * 12 > size) return false;
    std::vector<uint8_t> table(size_t{count} * 12);
    if (stream.Read(table.data(), static_cast<int64_t>(table.size())) != static_cast<int64_t>(table.size())) return false;
    entries.clear();
    for (size_t i = 0; i < count; ++i) {
        const uint8_t* e = table.data() + 12 * i;
        const uint16_t type = get16(e + 2);
        // A SHORT value sits in the first two bytes of the value field.
        const uint32_t value = type == 3 ? get16(e + 8) : get32(e + 8);
        entries.push_back({get16(e), type, get32(e + 4), value});
    }
    return true;
}

const TTiffEntry* FindTag(const std::vector<TTiffEntry>& entries, uint16_t tag) {
    for (const TTiffEntry& entry : entries)
        if (entry.tag == tag) return &entry;
    return nullptr;
}


// The position of the first JPEG start-of-image marker followed by another
// marker, within the first 64 KB; -1 when there is none.
int64_t FindJPEGStart(TStream& stream) {
    TPositionKeeper keep(stream);
    std::vector<uint8_t> data(65536);
    int64_t got = stream.Read(data.data(), static_cast<int64_t>(data.size()));
    for (int64_t i = 0; i + 3 < got; ++i)
        if (data[static_cast<size_t>(i)] == 0xFF && data[static_cast<size_t>(i) + 1] == 0xD8 && data[static_cast<size_t>(i) + 2] == 0xFF)
            return i;
    return -1;
}

const struct {
    int32_t fileType;
    const char* name;
    const char* extensions;
    bool read, write;
    uint16_t page;
} kBuiltInFormats[] = {
    {1, "TIFF Bitmap", "TIF;TIFF;FAX;G3N;G3F;XIF", true, true, 8},
    {2, "CompuServe Bitmap", "GIF", true, true, 16},
    {3, "JPEG Bitmap", "JPG;JPEG;JPE;JIF", true, true, 4},
    {4, "PaintBrush", "PCX", true, true, 64},
    {5, "Windows Bitmap", "BMP;DIB;RLE", true, true, 32},
    {6, "Windows Icon", "ICO", true, true, 0},
    {7, "Windows Cursor", "CUR", true, false, 0},
    {8, "Portable Network Graphics", "PNG", true, true, 128},
    {28, "DICOM Bitmap", "DCM;DIC;DICOM", true, false, 0},
    {9, "Windows Metafile", "WMF", true, false, 0},
    {10, "Enhanced Windows Metafile", "EMF", true, false, 0},
    {11, "Targa Bitmap", "TGA;TARGA;VDA;ICB;VST;PIX", true, true, 256},
    {12, "Portable Pixmap, GrayMap, BitMap", "PXM;PPM;PGM;PBM", true, true, 0},
    {16, "Wireless Bitmap", "WBMP", true, true, 0},
    {13, "JPEG2000", "JP2", true, true, 512},
    {14, "JPEG2000 Code Stream", "J2K;JPC;J2C", true, true, 512},
    {17, "PostScript Level 2", "PS;EPS", false, true, 0},
    {18, "Adobe PDF", "PDF", false, true, 0},
    {19, "Multipage PCX", "DCX", true, true, 0},
    {20, "Camera RAW", "CRW;CR2;NEF;RAW;PEF;RAF;X3F;BAY;ORF;SRF;MRW;DCR;SR2", true, false, 0},
    {24, "Photoshop PSD", "PSD", true, true, 0},
    {25, "Vectorial objects", "IEV", true, true, 0},
    {26, "Layers", "LYR", true, true, 0},
    {27, "Layers and objects", "ALL", true, true, 0},
};

}  // namespace

void IEInitFileFormats() {
    IEFileFormats.clear();
    for (const auto& row : kBuiltInFormats) {
        TIEFileFormatInfo info;
        info.FileType = row.fileType;
        info.FullName = row.name;
        info.Extensions = row.extensions;
        info.InternalFormat = true;
        info.DialogPage = row.page;
        info.ReadFunction = row.read ? IEDummyRead : nullptr;
        info.WriteFunction = row.write ? IEDummyWrite : nullptr;
        info.TryFunction = IEDummyTest;
        IEFileFormatAdd(info);
    }
}

void IEFreeFileFormats() { IEFileFormats.clear(); }

TIEFileFormatInfo* IEFileFormatGetInfo(int32_t fileType) {
    for (auto& info : IEFileFormats)
        if (info->FileType == fileType) return info.get();
    return nullptr;
}

namespace {

// The index-th extension of a record's list; empty past the end.
std::string ExtensionOf(const TIEFileFormatInfo& info, int32_t index) {
    if (index < 0) return {};
    std::string rest = info.Extensions, piece;
    for (int32_t i = 0; i <= index; ++i) {
        if (rest.empty()) return {};
        size_t cut = rest.find(';');
        piece = rest.substr(0, cut);
        rest = cut == std::string::npos ? std::string() : rest.substr(cut + 1);
    }
    return piece;
}

}  // namespace

std::string IEFileFormatGetExt(int32_t fileType, int32_t index) {
    TIEFileFormatInfo* info = IEFileFormatGetInfo(fileType);
    return info ? ExtensionOf(*info, index) : std::string();
}

int32_t IEFileFormatGetExtCount(int32_t fileType) {
    int32_t count = 0;
    while (!IEFileFormatGetExt(fileType, count).empty()) ++count;
    return count;
}

TIEFileFormatInfo* IEFileFormatFindByExt(const std::string& extension) {
    std::string wanted = Lower(extension);
    if (!wanted.empty() && wanted[0] == '.') wanted.erase(0, 1);
    if (wanted.empty()) return nullptr;
    for (auto& info : IEFileFormats)
        for (int32_t i = 0; !ExtensionOf(*info, i).empty(); ++i)
            if (Lower(ExtensionOf(*info, i)) == wanted) return info.get();
    return nullptr;
}

void IEFileFormatAdd(const TIEFileFormatInfo& record) { IEFileFormats.push_back(std::make_unique<TIEFileFormatInfo>(record)); }

void IEFileFormatRemove(int32_t fileType) {
    auto found = std::find_if(IEFileFormats.begin(), IEFileFormats.end(), [&](const auto& info) { return info->FileType == fileType; });
    if (found != IEFileFormats.end()) IEFileFormats.erase(found);
}

void IEUpdateGIFRegistration() {
    if (TIEFileFormatInfo* gif = IEFileFormatGetInfo(2)) {
        gif->ReadFunction = GIFLZWDecompressorHook ? IEDummyRead : nullptr;
        gif->WriteFunction = GIFLZWCompressorHook ? IEDummyWrite : nullptr;
    }
}

std::string IEParamsToFormatText(const TIOParamsVals& params) {
    std::string text;
    if (const TIEFileFormatInfo* info = IEFileFormatGetInfo(params.FileType)) {
        std::string extension = ExtensionOf(*info, 0);
        std::transform(extension.begin(), extension.end(), extension.begin(),
                       [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
        text = info->FullName + " (" + extension + ")";
    }
    // Picks the entry of a table, nothing past its end.
    auto pick = [](auto& table, int32_t index) -> std::string {
        return index >= 0 && index < static_cast<int32_t>(std::size(table)) ? table[index] : "";
    };
    static const char* const kTiff[] = {" Uncompressed", " Huffman", " Group 3 Fax", " Group 3 Fax 2D",
                                        " Group 4 Fax", " LZW", " Jpeg v.5", " Jpeg", " PackBits RLE", " ZIP",
                                        " Deflate"};
    static const char* const kJpeg[] = {"", " Gray level", " YCbCr", " CMYK", " YCbCrK"};
    static const char* const kBmp[] = {" ver.1", " ver.3", " OS/2 v.1", " OS/2 v.2"};
    static const char* const kJ2000[] = {" Gray level", " RGB", " YCbCr"};
    switch (params.FileType) {
        case 1: text += pick(kTiff, params.TiffCompression); break;
        case 2: if (params.GifInterlaced) text += " Interlaced"; break;
        case 3: text += pick(kJpeg, params.JpegColorSpace); break;
        case 4: if (!params.PcxCompressed) text += " Uncompressed"; break;
        case 5: text += pick(kBmp, params.BmpVersion); break;
        case 8: if (params.PngInterlaced) text += " Interlaced"; break;
        case 11: text += params.TgaCompressed ? " Compressed" : " Uncompressed"; break;
        case 13:
        case 14: text += pick(kJ2000, params.J2000ColorSpace); break;
        case 20: text += " (" + params.RawCamera + ")"; break;
        default: break;
    }
    return text;
}

bool IEIsAVIStream(TStream& stream) {
    uint8_t h[12];
    return Peek(stream, h, 12) == 12 && std::memcmp(h, "RIFF", 4) == 0 && std::memcmp(h + 8, "AVI ", 4) == 0;
}

bool IEIsEMFStream(TStream& stream) {
    uint8_t h[100];
    return Peek(stream, h, 100) >= 44 && Get32(h) == 1 && Get32(h + 40) == 0x464D4520;
}

bool IEIsWMFStream(TStream& stream) {
    uint8_t h[40];
    int64_t got = Peek(stream, h, 40);
    const int64_t at = Get32(h) == 0x9AC6CDD7 ? 22 : 0;
    if (got < at + 18) return false;
    return Get16(h + at) == 1 && Get16(h + at + 2) == 9 && Get16(h + at + 16) == 0;
}

bool IEIsICOStream(TStream& stream) { return IsIconDirectory(stream, 1); }
bool IEIsCURStream(TStream& stream) { return IsIconDirectory(stream, 2); }

bool IEIsPXMStream(TStream& stream) {
    uint8_t h[512];
    int64_t got = Peek(stream, h, 512);
    if (got < 3 || h[0] != 'P' || h[1] < '1' || h[1] > '6') return false;
    // Width and height follow, between blanks and "#" comments.
    int64_t i = 2;
    int64_t values[2] = {0, 0};
    for (int64_t& value : values) {
        for (;;) {
            while (i < got && std::isspace(h[i])) ++i;
            if (i < got && h[i] == '#') {
                while (i < got && h[i] != '\n' && h[i] != '\r') ++i;
                continue;
            }
            break;
        }
        if (i >= got || !std::isdigit(h[i])) return false;
        while (i < got && std::isdigit(h[i]) && value < 1000000000) value = value * 10 + (h[i++] - '0');
    }
    return values[0] > 0 && values[1] > 0;
}

bool IEIsTIFFStream(TStream& stream) {
    std::vector<TTiffEntry> entries;
    uint8_t h[8];
    // A big-endian header followed by 0xBA is not a TIFF directory.
    uint8_t ninth = 0;
    {
        TPositionKeeper keep(stream);
        uint8_t nine[9];
        if (stream.Read(nine, 9) != 9) return false;
        ninth = nine[8];
    }
    if (!ReadFirstTIFFDirectory(stream, entries, h)) return false;
    if (h[0] == 'M' && ninth == 0xBA) return false;
    return FindTag(entries, 256) && FindTag(entries, 257);
}

bool IEIsTIFFRawStream(TStream& stream) {
    std::vector<TTiffEntry> entries;
    if (!ReadFirstTIFFDirectory(stream, entries, nullptr)) return false;
    const TTiffEntry* dngVersion = FindTag(entries, 50706);
    if (dngVersion && dngVersion->type == 1 && dngVersion->count == 4) return true;
    const TTiffEntry* photometric = FindTag(entries, 262);
    if (photometric && photometric->type == 3 && photometric->count == 1 &&
        (photometric->value == 32803 || photometric->value == 34892))
        return true;
    const TTiffEntry* width = FindTag(entries, 256);
    const TTiffEntry* height = FindTag(entries, 257);
    return FindTag(entries, 330) && FindTag(entries, 37398) && width && height && width->value < 200 &&
           height->value < 200;
}

namespace {

// Value representations of DICOM data elements.
bool IsDICOMVR(const uint8_t* p) {
    static const char* const kVRs[] = {"AE", "AS", "AT", "CS", "DA", "DS", "DT", "FL", "FD", "IS", "LO",
                                       "LT", "OB", "OD", "OF", "OL", "OW", "PN", "SH", "SL", "SQ", "SS",
                                       "ST", "TM", "UC", "UI", "UL", "UN", "UR", "US", "UT", "OV", "SV", "UV"};
    for (const char* vr : kVRs)
        if (p[0] == vr[0] && p[1] == vr[1]) return true;
    return false;
}

// The length of the little-endian data element at p (explicit or implicit
// representation) with its header; 0 when it does not look like one. An
// undefined length counts as the header alone.
int64_t DICOMElementLength(const uint8_t* p, int64_t available) {
    if (available < 8) return 0;
    if (IsDICOMVR(p + 4)) {
        static const char* const kLongForms[] = {"OB", "OD", "OF", "OL", "OV", "OW", "SQ",
                                                 "SV", "UC", "UN", "UR", "UT", "UV"};
        bool longForm = false;
        for (const char* vr : kLongForms) longForm = longForm || (p[4] == vr[0] && p[5] == vr[1]);
        if (!longForm) return 8 + Get16(p + 6);
        if (available < 12) return 0;
        const uint32_t length = Get32(p + 8);
        return length == 0xFFFFFFFF ? 12 : 12 + int64_t{length};
    }
    const uint32_t length = Get32(p + 4);
    return length == 0xFFFFFFFF ? 8 : 8 + int64_t{length};
}

}  // namespace

bool IEIsDICOMStream(TStream& stream) {
    uint8_t h[256];
    const int64_t got = Peek(stream, h, sizeof h);
    if (got >= 132 && std::memcmp(h + 128, "DICM", 4) == 0) return true;
    // A data set without the preamble: its first two elements read whole,
    // the first of the file meta group 0002 or the identifying group 0008,
    // with ascending tags.
    const uint16_t group = Get16(h);
    if (group != 0x0002 && group != 0x0008) return false;
    const int64_t first = DICOMElementLength(h, got);
    if (first < 8 || first + 8 > got) return false;
    const uint8_t* next = h + first;
    const uint32_t tag1 = uint32_t{group} << 16 | Get16(h + 2), tag2 = uint32_t{Get16(next)} << 16 | Get16(next + 2);
    return tag2 > tag1 && DICOMElementLength(next, got - first) >= 8;
}

bool IEIsIEVStream(TStream& stream) {
    uint8_t h[4];
    return Peek(stream, h, 4) == 4 && std::memcmp(h, "IEV", 3) == 0 && h[3] > '0' && h[3] <= 'P';
}

bool IEIsAllStream(TStream& stream) {
    TPositionKeeper keep(stream);
    uint8_t h[4];
    if (stream.Read(h, 4) != 4) return false;
    // The stored position counts from the start of the whole stream.
    const int64_t iev = static_cast<int32_t>(Get32(h));
    if (iev < 0 || iev > stream.GetSize() || !IETryLayersStream(stream)) return false;
    stream.SetPosition(iev);
    return IEIsIEVStream(stream);
}

int32_t IEDetectFormatFromStream(TStream& stream) {
    TPositionKeeper keep(stream);
    int32_t answer = 0;
    try {
        const int64_t size = stream.GetSize() - stream.GetPosition();
        uint8_t h[132];
        Peek(stream, h, sizeof h);
        auto found = [&]() -> int32_t {
            if (size > 12 && TextIs(h, "JFIF")) return 3;
            if (size > 13 && h[0] == 'G' && h[1] == 'I' && h[2] == 'F') return 2;
            if (size > 12 && TextIs(h, "PCX2")) return 4;
            if (size > 4 && TextIs(h, "PCX")) return 4;
            if (size > 14 && Get16(h) == 19778) return 5;
            if (size > 128 && h[0] == 10 && h[1] <= 5) return 4;
            if (size > 12 && TextIs(h, "TIFF")) return 1;
            if (IEIsTIFFStream(stream) && !IEIsTIFFRawStream(stream)) return 1;
            if (size > 8 && IEIsPNGStream(stream)) return 8;
            if (IEIsDICOMStream(stream)) return 28;
            if (IEIsICOStream(stream)) return 6;
            if (IEIsCURStream(stream)) return 7;
            if (IEIsTGAHeader(h, size)) return 11;
            if (IEIsPXMStream(stream)) return 12;
            if (FindJPEGStart(stream) >= 0) return 3;
            if (size >= 12 && std::memcmp(h, "\0\0\0\x0CjP  \r\n\x87\n", 12) == 0) return 13;
            if (size >= 4 && h[0] == 0xFF && h[1] == 0x4F && h[2] == 0xFF && h[3] == 0x51) return 14;
            if (IEIsAVIStream(stream)) return 15;
            if (IEIsDCXStream(stream)) return 19;
            if (IEIsWMFStream(stream)) return 9;
            if (IEIsEMFStream(stream)) return 10;
            if (size >= 26 && std::memcmp(h, "8BPS", 4) == 0 && Get16(h + 4) == 0x0100) return 24;
            if (IEIsIEVStream(stream)) return 25;
            if (IETryLayersStream(stream)) return 26;
            if (IEIsAllStream(stream)) return 27;
            for (auto& info : IEFileFormats) {
                if (!info->TryFunction) continue;
                stream.SetPosition(keep.Position());
                if (info->TryFunction(stream, info->FileType)) return info->FileType;
            }
            stream.SetPosition(keep.Position());
            return IEIsRAWStream(stream) ? 20 : 0;
        };
        answer = found();
    } catch (const std::exception&) {
    }
    return answer;
}

int32_t IEFindFileFormat(const std::string& fileName, bool strict) {
    if (fileName.empty() || !std::filesystem::is_regular_file(fileName)) return 0;
    int32_t answer = 0;
    try {
        TFileStream file(fileName, TFileMode::OpenRead);
        answer = IEDetectFormatFromStream(file);
    } catch (const std::exception&) {
        answer = 0;
    }
    TIEFileFormatInfo* record = IEFileFormatFindByExt(std::filesystem::path(fileName).extension().string());
    if (record && record->FileType == 20 && answer == 1) answer = 20;
    if (record && !record->InternalFormat) return record->FileType;
    if (strict && answer != 0) {
        if (!record) return 0;
        if (answer == 6 || answer == 7) return record->FileType;
        if (record->FileType != answer) return 0;
    }
    return answer;
}
