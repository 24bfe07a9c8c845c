#include "platform/rtf.h"

#include <algorithm>
#include <map>
#include <set>

#include "platform/codepage.h"

std::u16string TRtfDocument::PlainText() const {
    std::u16string text;
    for (size_t i = 0; i < Paragraphs.size(); ++i) {
        if (i > 0) text += u'\r';
        for (const TRtfRun& run : Paragraphs[i].Runs) text += run.Text;
    }
    return text;
}

namespace {

// The code page of a font charset (\fcharsetN); 0 when it has none of its own.
unsigned CodePageOfCharset(int charset) {
    static const unsigned codePages[] = {1252, 1250, 1251, 1253, 1254, 1255, 1256, 1257, 1258, 874, 932, 936, 949, 950};
    if (charset == 0 || charset == 1 || charset == 2) return 1252;
    for (unsigned codePage : codePages)
        if (CharsetOfCodePage(codePage) == charset) return codePage;
    return 0;
}

constexpr size_t kMaxDepth = 2048;
constexpr int32_t kDefaultHeight = 240;

enum class TDestination : uint8_t { Text, FontTable, ColorTable, Numbering, Skip };

struct TGroupState {
    TDestination Destination = TDestination::Text;
    TRtfCharFormat Format;
    int Font = -1;
    int SkipCount = 1;  // \ucN
};

struct TFontEntry {
    std::u16string Name;
    unsigned CodePage = 0;
};

// Destinations whose text is not part of the document.
bool IsSkippedDestination(const std::string& word) {
    static const std::set<std::string> skipped = {
        "info",      "pict",      "header",    "headerl",     "headerr",  "headerf",    "footer",
        "footerl",   "footerr",   "footerf",   "stylesheet",  "object",   "footnote",   "fldinst",
        "listtable", "listoverridetable",      "revtbl",      "rsidtbl",  "generator",  "xmlnstbl",
        "themedata", "colorschememapping",     "latentstyles", "datastore", "pntext",   "listtext",
        "author",    "operator",  "title",     "subject",     "comment",  "nonshppict", "bkmkstart",
        "bkmkend",   "filetbl",   "pntxta",    "pntxtb",      "template", "keywords",   "doccomm",
        "company",   "annotation", "atnid",    "atnauthor",   "userprops", "shp",       "shpinst",
        "do",        "result",    "private",   "field",       "fonttbl_", "mmathPr",    "pgdsctbl",
    };
    return skipped.count(word) > 0;
}

char16_t SpecialCharacter(const std::string& word) {
    static const std::map<std::string, char16_t> specials = {
        {"emdash", 0x2014}, {"endash", 0x2013},    {"lquote", 0x2018},  {"rquote", 0x2019},
        {"ldblquote", 0x201C}, {"rdblquote", 0x201D}, {"bullet", 0x2022}, {"emspace", 0x2003},
        {"enspace", 0x2002}, {"qmspace", 0x2005},  {"zwj", 0x200D},     {"zwnj", 0x200C},
        {"ltrmark", 0x200E}, {"rtlmark", 0x200F},  {"line", 0x000B},    {"tab", 0x0009},
        {"cell", 0x0009},
    };
    const auto found = specials.find(word);
    return found == specials.end() ? 0 : found->second;
}

bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
int HexValue(char c) {
    if (IsDigit(c)) return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

class TRtfReader {
public:
    explicit TRtfReader(std::string_view bytes) : in_(bytes) {}

    TRtfDocument Read() {
        size_t at = 0;
        while (at < in_.size() && IsBlank(in_[at])) ++at;
        if (in_.substr(at, 5) != "{\\rtf") throw ERtfError("The text is not in the rich text format");
        pos_ = at;
        current_.Alignment = TRtfAlignment::Left;
        while (pos_ < in_.size() && !done_) Step();
        FlushBytes();
        EndParagraph();
        return std::move(document_);
    }

private:
    static bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
    TGroupState& State() { return stack_.back(); }

    void Step() {
        const char c = in_[pos_];
        if (c == '{') {
            ++pos_;
            FlushBytes();
            if (stack_.size() >= kMaxDepth) throw ERtfError("The rich text nests its groups too deeply");
            stack_.push_back(stack_.empty() ? TGroupState{} : State());
            skipping_ = 0;
            return;
        }
        if (c == '}') {
            ++pos_;
            FlushBytes();
            if (!stack_.empty() && State().Destination == TDestination::FontTable) EndFontName();
            if (!stack_.empty()) stack_.pop_back();
            if (stack_.empty()) done_ = true;
            skipping_ = 0;
            return;
        }
        if (stack_.empty()) {  // only blanks can come before the first group
            ++pos_;
            return;
        }
        if (c == '\\') {
            ControlSequence();
            return;
        }
        ++pos_;
        if (c == '\r' || c == '\n' || c == '\0') return;
        if (skipping_ > 0) {
            --skipping_;
            return;
        }
        if (c == '\t') {
            AddCharacter(u'\t');
            return;
        }
        AddByte(static_cast<uint8_t>(c));
    }

    void ControlSequence() {
        ++pos_;  // the backslash
        if (pos_ >= in_.size()) return;
        const char c = in_[pos_];
        if (IsLetter(c)) {
            std::string word;
            while (pos_ < in_.size() && IsLetter(in_[pos_])) {
                if (word.size() >= 32) throw ERtfError("A control word of the rich text is too long");
                word += in_[pos_++];
            }
            bool hasParam = false;
            int64_t param = 0;
            bool negative = false;
            if (pos_ < in_.size() && in_[pos_] == '-' && pos_ + 1 < in_.size() && IsDigit(in_[pos_ + 1])) {
                negative = true;
                ++pos_;
            }
            int digits = 0;
            while (pos_ < in_.size() && IsDigit(in_[pos_])) {
                hasParam = true;
                if (++digits <= 10) param = param * 10 + (in_[pos_] - '0');
                ++pos_;
            }
            param = std::clamp<int64_t>(negative ? -param : param, INT32_MIN, INT32_MAX);
            if (pos_ < in_.size() && in_[pos_] == ' ') ++pos_;
            const bool ignorable = ignorableNext_;
            ignorableNext_ = false;
            if (skipping_ > 0) {
                --skipping_;
                return;
            }
            ControlWord(word, hasParam, static_cast<int32_t>(param), ignorable);
            return;
        }
        ++pos_;
        if (c == '\'') {
            int value = -1;
            if (pos_ + 1 < in_.size() && HexValue(in_[pos_]) >= 0 && HexValue(in_[pos_ + 1]) >= 0)
                value = HexValue(in_[pos_]) * 16 + HexValue(in_[pos_ + 1]);
            if (value < 0) return;  // a broken escape stands for nothing
            pos_ += 2;
            if (skipping_ > 0) {
                --skipping_;
                return;
            }
            AddByte(static_cast<uint8_t>(value));
            return;
        }
        if (skipping_ > 0) {
            --skipping_;
            return;
        }
        switch (c) {
            case '\\':
            case '{':
            case '}': AddByte(static_cast<uint8_t>(c)); break;
            case '~': AddCharacter(0x00A0); break;
            case '_': AddCharacter(0x2011); break;
            case '*': ignorableNext_ = true; break;
            case '\r':
            case '\n': ControlWord("par", false, 0, false); break;
            default: break;  // \- (optional hyphen) and unknown symbols
        }
    }

    void ControlWord(const std::string& word, bool hasParam, int32_t param, bool ignorable) {
        TGroupState& state = State();
        const bool on = !hasParam || param != 0;
        if (state.Destination == TDestination::Skip) return;
        if (IsSkippedDestination(word)) {
            FlushBytes();
            state.Destination = TDestination::Skip;
            return;
        }
        if (word == "fonttbl") {
            state.Destination = TDestination::FontTable;
            return;
        }
        if (word == "colortbl") {
            state.Destination = TDestination::ColorTable;
            colorStarted_ = false;
            return;
        }
        if (word == "pn") {
            state.Destination = TDestination::Numbering;
            return;
        }
        if (state.Destination == TDestination::FontTable) {
            if (word == "f") {
                EndFontName();
                fontNumber_ = param;
                fonts_[param];
            } else if (word == "fcharset") {
                fonts_[fontNumber_].CodePage = CodePageOfCharset(param);
            } else if (ignorable) {
                state.Destination = TDestination::Skip;
            }
            return;
        }
        if (state.Destination == TDestination::ColorTable) {
            const uint32_t part = static_cast<uint32_t>(std::clamp(param, 0, 255));
            if (word == "red") color_ = (color_ & 0xFFFF00) | part;
            else if (word == "green") color_ = (color_ & 0xFF00FF) | part << 8;
            else if (word == "blue") color_ = (color_ & 0x00FFFF) | part << 16;
            else return;
            colorStarted_ = true;
            return;
        }
        if (state.Destination == TDestination::Numbering) {
            if (word == "pnlvlblt") current_.Numbering = 1;
            else if (word == "pndec") current_.Numbering = 2;
            else if (word == "pnlcltr") current_.Numbering = 3;
            else if (word == "pnucltr") current_.Numbering = 4;
            else if (word == "pnlcrm") current_.Numbering = 5;
            else if (word == "pnucrm") current_.Numbering = 6;
            return;
        }
        if (ignorable) {  // an ignorable destination this reader does not keep
            FlushBytes();
            state.Destination = TDestination::Skip;
            return;
        }
        if (const char16_t special = SpecialCharacter(word)) {
            AddCharacter(special);
            return;
        }
        if (word == "u") {
            AddCharacter(static_cast<char16_t>(param < 0 ? param + 65536 : param));
            skipping_ = state.SkipCount;
            return;
        }
        FlushBytes();
        if (word == "par" || word == "page" || word == "sect" || word == "row") {
            EndParagraph();
            paragraphOpen_ = true;
            return;
        }
        TRtfCharFormat& format = state.Format;
        if (word == "uc") state.SkipCount = std::clamp(param, 0, 16);
        else if (word == "ansicpg") codePage_ = IsValidCodePage(static_cast<unsigned>(param)) ? static_cast<unsigned>(param) : 1252;
        else if (word == "deff") defaultFont_ = param;
        else if (word == "plain") {
            format = TRtfCharFormat{};
            format.Height = kDefaultHeight;
            state.Font = defaultFont_;
        } else if (word == "b") format.Bold = on;
        else if (word == "i") format.Italic = on;
        else if (word == "strike") format.StrikeOut = on;
        else if (word == "ul") format.Underline = on ? 1 : 0;
        else if (word == "ulnone") format.Underline = 0;
        else if (word == "ulw") format.Underline = on ? 2 : 0;
        else if (word == "uldb") format.Underline = on ? 3 : 0;
        else if (word == "uld") format.Underline = on ? 4 : 0;
        else if (word.size() > 2 && word.compare(0, 2, "ul") == 0) format.Underline = on ? 1 : 0;
        else if (word == "sub") format.SubSuperscript = 1;
        else if (word == "super") format.SubSuperscript = 2;
        else if (word == "nosupersub") format.SubSuperscript = 0;
        else if (word == "fs") format.Height = hasParam && param > 0 ? std::min(param, 3276) * 10 : kDefaultHeight;
        else if (word == "f") state.Font = param;
        else if (word == "cf") SetColour(param, format.AutoColor, format.Color);
        else if (word == "cb" || word == "highlight") SetColour(param, format.AutoBackColor, format.BackColor);
        else if (word == "cs") format.Style = static_cast<int16_t>(std::clamp(param, -32768, 32767));
        else if (word == "pard") {
            current_ = TRtfParagraph{};
        } else if (word == "ql") current_.Alignment = TRtfAlignment::Left;
        else if (word == "qr") current_.Alignment = TRtfAlignment::Right;
        else if (word == "qc") current_.Alignment = TRtfAlignment::Center;
        else if (word == "qj") current_.Alignment = TRtfAlignment::Justify;
        else if (word == "li") current_.LeftIndent = param;
        else if (word == "ri") current_.RightIndent = param;
        else if (word == "fi") current_.FirstIndent = param;
        else if (word == "tx") {
            if (current_.Tabs.size() < 32) current_.Tabs.push_back(param);
        }
    }

    void SetColour(int32_t index, bool& automatic, uint32_t& colour) {
        if (index <= 0 || static_cast<size_t>(index) >= colors_.size() || colors_[static_cast<size_t>(index)] < 0) {
            automatic = true;
            colour = 0;
            return;
        }
        automatic = false;
        colour = static_cast<uint32_t>(colors_[static_cast<size_t>(index)]);
    }

    unsigned CodePageOf(int font) const {
        const auto found = fonts_.find(font);
        if (found != fonts_.end() && found->second.CodePage != 0) return found->second.CodePage;
        return codePage_;
    }

    void AddByte(uint8_t byte) {
        const TDestination destination = State().Destination;
        if (destination == TDestination::Skip || destination == TDestination::Numbering) return;
        if (destination == TDestination::ColorTable) {
            if (byte == ';') {
                colors_.push_back(colorStarted_ ? static_cast<int64_t>(color_) : -1);
                color_ = 0;
                colorStarted_ = false;
            }
            return;
        }
        if (destination == TDestination::FontTable) {
            if (byte == ';') EndFontName();
            else fontName_ += static_cast<char>(byte);
            return;
        }
        if (byte < 0x80 && bytes_.empty()) {
            AddCharacter(byte);
            return;
        }
        bytes_ += static_cast<char>(byte);
        bytesCodePage_ = CodePageOf(State().Font);
    }

    void FlushBytes() {
        if (bytes_.empty()) return;
        std::string bytes;
        bytes.swap(bytes_);
        AddText(MultiByteToWide(bytes, bytesCodePage_));
    }

    void EndFontName() {
        if (fontName_.empty()) return;
        std::string name;
        name.swap(fontName_);
        while (!name.empty() && IsBlank(name.back())) name.pop_back();
        size_t start = 0;
        while (start < name.size() && IsBlank(name[start])) ++start;
        fonts_[fontNumber_].Name = MultiByteToWide(name.substr(start), CodePageOf(fontNumber_));
    }

    void AddCharacter(char16_t c) {
        FlushBytes();
        const TDestination destination = State().Destination;
        if (destination == TDestination::FontTable) {
            if (c < 0x80) fontName_ += static_cast<char>(c);
            return;
        }
        if (destination != TDestination::Text) return;
        AddText(std::u16string(1, c));
    }

    void AddText(const std::u16string& text) {
        if (text.empty() || State().Destination != TDestination::Text) return;
        TRtfCharFormat format = State().Format;
        if (format.Height == 0) format.Height = kDefaultHeight;
        const int font = State().Font >= 0 ? State().Font : defaultFont_;
        const auto found = fonts_.find(font);
        format.FaceName = found != fonts_.end() ? found->second.Name : std::u16string();
        if (!runs_.empty() && runs_.back().Format == format) runs_.back().Text += text;
        else runs_.push_back({text, format});
        paragraphOpen_ = true;
    }

    void EndParagraph() {
        if (!paragraphOpen_ && !document_.Paragraphs.empty()) return;
        TRtfParagraph paragraph = current_;
        paragraph.Runs.swap(runs_);
        document_.Paragraphs.push_back(std::move(paragraph));
        paragraphOpen_ = false;
    }

    std::string_view in_;
    size_t pos_ = 0;
    bool done_ = false;
    std::vector<TGroupState> stack_;
    int skipping_ = 0;  // fallback characters of \uN still to skip
    bool ignorableNext_ = false;
    unsigned codePage_ = 1252;
    std::string bytes_;
    unsigned bytesCodePage_ = 1252;
    std::map<int, TFontEntry> fonts_;
    int fontNumber_ = 0;
    int defaultFont_ = 0;
    std::string fontName_;
    std::vector<int64_t> colors_;  // -1: the automatic colour
    uint32_t color_ = 0;
    bool colorStarted_ = false;
    TRtfParagraph current_;
    std::vector<TRtfRun> runs_;
    bool paragraphOpen_ = false;
    TRtfDocument document_;
};

// ---------------------------------------------------------------- writing

void WriteText(std::string& out, const std::u16string& text) {
    for (char16_t c : text) {
        if (c == u'\\' || c == u'{' || c == u'}') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c == u'\t') {
            out += "\\tab ";
        } else if (c == 0x0B) {
            out += "\\line ";
        } else if (c >= 0x20 && c < 0x80) {
            out += static_cast<char>(c);
        } else {
            bool lost = false;
            const std::string bytes = c >= 0x80 && (c < 0xD800 || c > 0xDFFF)
                                          ? WideToMultiByte(std::u16string(1, c), 1252, &lost)
                                          : std::string();
            if (!lost && bytes.size() == 1) {
                out += FormatStr("\\'%02x", static_cast<uint8_t>(bytes[0]));
            } else {
                out += FormatStr("\\u%d?", static_cast<int>(static_cast<int16_t>(c)));
            }
        }
    }
}

template <typename T>
int IndexIn(const std::vector<T>& list, const T& value) {
    return static_cast<int>(std::find(list.begin(), list.end(), value) - list.begin());
}

std::string RgbWords(uint32_t colour) {
    return FormatStr("\\red%u\\green%u\\blue%u;", colour & 0xFF, (colour >> 8) & 0xFF, (colour >> 16) & 0xFF);
}

}  // namespace

bool LooksLikeRtf(std::string_view bytes) {
    size_t at = 0;
    while (at < bytes.size() && (bytes[at] == ' ' || bytes[at] == '\t' || bytes[at] == '\r' || bytes[at] == '\n'))
        ++at;
    return bytes.substr(at, 5) == "{\\rtf";
}

TRtfDocument ReadRtf(std::string_view bytes) { return TRtfReader(bytes).Read(); }

std::string WriteRtf(const TRtfDocument& document, const TRtfWriteOptions& options) {
    std::vector<std::u16string> faces{options.DefaultFace};
    std::vector<uint32_t> colours;
    std::set<int16_t> styles;
    for (const TRtfParagraph& paragraph : document.Paragraphs) {
        for (const TRtfRun& run : paragraph.Runs) {
            const TRtfCharFormat& f = run.Format;
            if (!f.FaceName.empty() && IndexIn(faces, f.FaceName) == static_cast<int>(faces.size()))
                faces.push_back(f.FaceName);
            if (!f.AutoColor && IndexIn(colours, f.Color) == static_cast<int>(colours.size())) colours.push_back(f.Color);
            if (!f.AutoBackColor && IndexIn(colours, f.BackColor) == static_cast<int>(colours.size()))
                colours.push_back(f.BackColor);
            if (f.Style != 0) styles.insert(f.Style);
        }
    }
    std::string out = "{\\rtf1\\ansi\\ansicpg1252\\deff0\\uc1{\\fonttbl";
    for (size_t i = 0; i < faces.size(); ++i) {
        out += FormatStr("{\\f%zu\\fnil\\fcharset0 ", i);
        WriteText(out, faces[i]);
        out += ";}";
    }
    out += "}\n{\\colortbl ;";
    for (uint32_t colour : colours) out += RgbWords(colour);
    out += "}\n";
    if (!styles.empty()) {
        out += "{\\stylesheet";
        for (int16_t style : styles) out += FormatStr("{\\*\\cs%d \\additive Style %d;}", style, style);
        out += "}\n";
    }
    int number = 0;
    for (size_t p = 0; p < document.Paragraphs.size(); ++p) {
        const TRtfParagraph& paragraph = document.Paragraphs[p];
        out += "\\pard";
        switch (paragraph.Alignment) {
            case TRtfAlignment::Left: break;
            case TRtfAlignment::Right: out += "\\qr"; break;
            case TRtfAlignment::Center: out += "\\qc"; break;
            case TRtfAlignment::Justify: out += "\\qj"; break;
        }
        if (paragraph.LeftIndent) out += FormatStr("\\li%d", paragraph.LeftIndent);
        if (paragraph.RightIndent) out += FormatStr("\\ri%d", paragraph.RightIndent);
        if (paragraph.FirstIndent) out += FormatStr("\\fi%d", paragraph.FirstIndent);
        for (int32_t tab : paragraph.Tabs) out += FormatStr("\\tx%d", tab);
        out += ' ';
        number = paragraph.Numbering >= 2 ? number + 1 : 0;
        if (paragraph.Numbering == 1) {
            out += "{\\pntext\\f0\\'b7\\tab}{\\*\\pn\\pnlvlblt\\pnf0\\pnindent0{\\pntxtb\\'b7}}";
        } else if (paragraph.Numbering >= 2) {
            static const char* styleWords[] = {"pndec", "pnlcltr", "pnucltr", "pnlcrm", "pnucrm"};
            out += FormatStr("{\\pntext\\f0 %d.\\tab}{\\*\\pn\\pnlvlbody\\%s\\pnstart%d\\pnindent0{\\pntxta .}}", number,
                             styleWords[std::min<int>(paragraph.Numbering, 6) - 2], number);
        }
        for (const TRtfRun& run : paragraph.Runs) {
            const TRtfCharFormat& f = run.Format;
            const int face = f.FaceName.empty() ? 0 : IndexIn(faces, f.FaceName);
            out += FormatStr("{\\plain\\f%d\\fs%d", face, std::max(1, (f.Height > 0 ? f.Height : kDefaultHeight) / 10));
            if (f.Bold) out += "\\b";
            if (f.Italic) out += "\\i";
            static const char* underlines[] = {"", "\\ul", "\\ulw", "\\uldb", "\\uld"};
            if (f.Underline > 0) out += underlines[std::min<int>(f.Underline, 4)];
            if (f.StrikeOut) out += "\\strike";
            if (f.SubSuperscript == 1) out += "\\sub";
            if (f.SubSuperscript == 2) out += "\\super";
            if (!f.AutoColor) out += FormatStr("\\cf%d", IndexIn(colours, f.Color) + 1);
            if (!f.AutoBackColor) out += FormatStr("\\cb%d", IndexIn(colours, f.BackColor) + 1);
            if (f.Style != 0) out += FormatStr("\\cs%d", f.Style);
            out += ' ';
            WriteText(out, run.Text);
            out += '}';
        }
        if (p + 1 < document.Paragraphs.size() || options.FinalParagraphMark) out += "\\par\n";
    }
    out += "}\n";
    return out;
}
