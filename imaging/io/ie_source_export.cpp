// The image as source text (a constant byte array, a hexadecimal list,
// Base64 or a character picture) and loading from a block of memory.
#include <cmath>
#include <cstdio>

#include "imaging/core/ie_helpers.h"
#include "imaging/core/ie_streams.h"
#include "imaging/io/ie_vidurer_io.h"
#include "platform/codepage.h"
#include "platform/mathutil.h"

namespace {

// Items appended to a line buffer that is written out whenever it grows
// beyond 70 characters; the last item closes the list.
void WriteByteList(std::string& text, const std::vector<uint8_t>& bytes, const char* prefix, const char* indent,
                   const char* closing) {
    std::string line;
    char item[8];
    for (size_t i = 0; i + 1 < bytes.size(); ++i) {
        std::snprintf(item, sizeof item, "%s%02X,", prefix, bytes[i]);
        line += item;
        if (line.size() > 70) {
            text += indent + line + "\n";
            line.clear();
        }
    }
    std::snprintf(item, sizeof item, "%s%02X", prefix, bytes.back());
    text += indent + line + item + closing + "\n";
}

}  // namespace

// The declaration's name: the file's own name with its first dot made an
// underscore (logo.pas gives logo_pas). The folder is left out and any other
// character an identifier cannot hold becomes an underscore too, so the
// text compiles wherever the file was written.
std::string SourceIdentifier(const std::string& fileName) {
    std::string name = fileName;
    if (size_t slash = name.find_last_of("/\\"); slash != std::string::npos) name.erase(0, slash + 1);
    if (name.size() >= 2 && name[1] == ':') name.erase(0, 2);
    std::string identifier = Utf8ToAnsi(name);
    for (char& c : identifier) {
        const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
        if (!letter && !(c >= '0' && c <= '9')) c = '_';
    }
    if (identifier.empty() || (identifier[0] >= '0' && identifier[0] <= '9')) identifier.insert(0, "_");
    return identifier;
}

void TVidurErIO::SaveToPascalSource(const std::string& fileName, int32_t fileType, uint8_t style) {
    std::string text;
    bool wrote = false;
    if (style <= 2) {
        TMemoryStream encoded;
        SaveToStream(encoded, fileType);
        const std::vector<uint8_t>& bytes = encoded.Bytes();
        // A failed encoding leaves the text empty rather than describing
        // bytes that are not there.
        if (!bytes.empty()) {
            const std::string identifier = SourceIdentifier(fileName);
            const std::string size = std::to_string(bytes.size());
            if (style == 0) {
                text += "const\n";
                text += "  " + identifier + "_Size = " + size + ";\n";
                text += "  " + identifier + " : array [0.." + identifier + "_Size-1] of byte = (\n";
                WriteByteList(text, bytes, "$", "    ", ");");
            } else if (style == 1) {
                text += "\\\\ Size=" + size + "\n";
                WriteByteList(text, bytes, "0x", "", "");
            } else {
                encoded.SetPosition(0);
                TMemoryStream base64;
                IEBase64EncodeStream(encoded, base64, 76);
                text.assign(base64.Bytes().begin(), base64.Bytes().end());
            }
            wrote = true;
        }
    } else if (style == 3 && MakeConsistentBitmap({ie24RGB})) {
        // Darkest first; the lightest grays round to one past the ramp and
        // take its last character.
        static const char kRamp[] = "W@#*+:., ";
        const int32_t width = bitmap_->GetWidth(), height = bitmap_->GetHeight();
        text.reserve(static_cast<size_t>(width + 1) * static_cast<size_t>(height));
        for (int32_t y = 0; y < height; ++y) {
            const uint8_t* row = bitmap_->GetScanline(y);
            for (int32_t x = 0; x < width; ++x) {
                const int32_t gray = IERGBToGray(TRGB{row[3 * x], row[3 * x + 1], row[3 * x + 2]});
                const auto index = static_cast<int32_t>(RoundHalfEven(gray / 255.0 * 9));
                text += kRamp[std::min(index, 8)];
            }
            text += '\n';
        }
        wrote = true;
    } else {
        Fail(style == 3 ? "The character picture needs an ie24RGB image"
                        : "Unknown source text style " + std::to_string(style),
             false);
    }
    WriteFileBytes(fileName, text.data(), text.size());
    if (wrote) ImageParams.FileName = Utf8ToWide(fileName);
}

void TVidurErIO::LoadFromBuffer(const void* address, int64_t size, int32_t fileType) {
    TIEMemStream stream(address, size);
    if (fileType == 0) LoadFromStream(stream);
    else LoadFromStreamFormat(stream, fileType);
}
