// The clipboard, the common dialogs (open and save file, colour, font) and
// handing an address or a file to the desktop. All go through the running
// platform plugin.
#pragma once

#include <string>
#include <vector>

#include "platform/canvas.h"
#include "platform/colour.h"
#include "platform/ui/component.h"

// The clipboard of the desktop. Text is wide; a private format is a MIME
// type of its own ("application/x-<name>") holding bytes.
class TClipboard {
public:
    std::u16string AsText() const;
    void SetAsText(const std::u16string& text);
    bool HasFormat(const std::string& mimeType) const;
    std::string AsFormat(const std::string& mimeType) const;
    // Puts several formats at once (they replace what was there).
    void SetFormats(const std::vector<std::pair<std::string, std::string>>& formats);
    void Clear() { SetFormats({}); }
};
TClipboard& Clipboard();
// The MIME type of a private clipboard format name.
std::string ClipboardFormatMime(const std::string& name);

class TOpenDialog : public TComponent {
public:
    explicit TOpenDialog(TComponent* owner) : TComponent(owner) {}
    std::u16string Title, Filter, InitialDir, FileName;
    int FilterIndex = 1;
    bool MultiSelect = false;
    std::vector<std::u16string> Files;
    // Shows the dialog modally; true when the user chose a file.
    virtual bool Execute();

protected:
    bool save_ = false;
};

class TSaveDialog : public TOpenDialog {
public:
    explicit TSaveDialog(TComponent* owner) : TOpenDialog(owner) { save_ = true; }
};

class TColorDialog : public TComponent {
public:
    explicit TColorDialog(TComponent* owner) : TComponent(owner) {}
    TColor Color = 0;
    // The custom colours, "ColorA=BBGGRR" to "ColorP=BBGGRR" (the colour's
    // value in hexadecimal); the dialog shows them and writes all sixteen
    // back, so colours the user adds are kept for the next time.
    std::vector<std::string> CustomColors;
    bool Execute();
};

class TFontDialog : public TComponent {
public:
    explicit TFontDialog(TComponent* owner) : TComponent(owner) {}
    TCanvasFont Font;
    bool Execute();
};

// Opens an address (http, https, mailto) in the desktop's browser or a file
// with its program; false when nothing took it.
bool ShellOpen(const std::string& urlOrPath);
