#include "platform/ui/dialogs.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>

#include "platform/codepage.h"
#include "platform/ui/application.h"

namespace {
constexpr const char* kTextMime = "text/plain";
}

TClipboard& Clipboard() {
    static TClipboard clipboard;
    return clipboard;
}

std::string ClipboardFormatMime(const std::string& name) {
    std::string mime = "application/x-";
    for (char c : name) mime += (std::isalnum(static_cast<unsigned char>(c)) ? static_cast<char>(std::tolower(c)) : '-');
    return mime;
}

std::u16string TClipboard::AsText() const { return Utf8ToWide(AsFormat(kTextMime)); }

void TClipboard::SetAsText(const std::u16string& text) { SetFormats({{kTextMime, WideToUtf8(text)}}); }

bool TClipboard::HasFormat(const std::string& mimeType) const {
    for (const auto& [mime, bytes] : Application().Backend().Clipboard())
        if (mime == mimeType) return true;
    return false;
}

std::string TClipboard::AsFormat(const std::string& mimeType) const {
    for (const auto& [mime, bytes] : Application().Backend().Clipboard())
        if (mime == mimeType) return bytes;
    return "";
}

void TClipboard::SetFormats(const std::vector<std::pair<std::string, std::string>>& formats) {
    Application().Backend().SetClipboard(formats);
}

bool TOpenDialog::Execute() {
    TFileDialogRequest request;
    request.Save = save_;
    request.Title = Title;
    request.Filter = Filter;
    request.FilterIndex = FilterIndex;
    request.InitialDir = InitialDir;
    request.FileName = FileName;
    request.MultiSelect = MultiSelect && !save_;
    Application().CancelHint();
    if (!Application().Backend().FileDialog(request) || request.Files.empty()) return false;
    Files = request.Files;
    FileName = Files.front();
    FilterIndex = request.FilterIndex;
    return true;
}

bool TColorDialog::Execute() {
    uint32_t color = static_cast<uint32_t>(ColorToRGB(Color));
    // Custom colours the list does not name are white.
    std::vector<uint32_t> custom(16, 0xFFFFFF);
    for (const std::string& entry : CustomColors) {
        const size_t equals = entry.find('=');
        if (equals != 6 || entry.compare(0, 5, "Color") != 0 || entry[5] < 'A' || entry[5] > 'P') continue;
        char* end = nullptr;
        const unsigned long value = std::strtoul(entry.c_str() + 7, &end, 16);
        if (end != entry.c_str() + 7 && *end == 0 && value <= 0xFFFFFF) custom[static_cast<size_t>(entry[5] - 'A')] = static_cast<uint32_t>(value);
    }
    Application().CancelHint();
    const bool chosen = Application().Backend().ColorDialog(color, custom);
    CustomColors.clear();
    for (size_t i = 0; i < custom.size() && i < 16; ++i) {
        char line[32];
        std::snprintf(line, sizeof line, "Color%c=%.6X", static_cast<char>('A' + i), custom[i] & 0xFFFFFF);
        CustomColors.push_back(line);
    }
    if (!chosen) return false;
    Color = static_cast<TColor>(color);
    return true;
}

bool TFontDialog::Execute() {
    TCanvasFont font = Font;
    Application().CancelHint();
    if (!Application().Backend().FontDialog(font)) return false;
    Font = font;
    return true;
}

bool ShellOpen(const std::string& urlOrPath) { return Application().Backend().OpenURL(urlOrPath); }
