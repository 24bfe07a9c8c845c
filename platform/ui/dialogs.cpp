#include "platform/ui/dialogs.h"

#include <cctype>

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
    Application().CancelHint();
    if (!Application().Backend().ColorDialog(color)) return false;
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
