#include "controls/ui/richedit2.h"

#include <algorithm>
#include <cmath>

#include "controls/ucsystem.h"
#include "platform/codepage.h"

// ---------------------------------------------------------------- TTextAttributes98

void TTextAttributes98::InitCharFormat(CHARFORMAT2W& format) {
    format = CHARFORMAT2W{};
    format.cbSize = sizeof(CHARFORMAT2W);
}

void TTextAttributes98::GetCharFormat(CHARFORMAT2W& format) const {
    InitCharFormat(format);
    if (!richEdit_.HandleAllocated()) return;
    richEdit_.SendToWindow(EM_GETCHARFORMAT, kind_ == atSelected ? SCF_SELECTION : SCF_DEFAULT,
                           reinterpret_cast<intptr_t>(&format));
    lastMask_ = format.dwMask;
}

void TTextAttributes98::SetCharFormat(CHARFORMAT2W& format) {
    if (!richEdit_.HandleAllocated()) return;
    uintptr_t target = SCF_DEFAULT;
    if (kind_ == atSelected) {
        target = SCF_SELECTION | SCF_USEUIRULES;
        if (richEdit_.WordFormatting && richEdit_.GetSelLength() == 0) target |= SCF_WORD;
    }
    richEdit_.SendToWindow(EM_SETCHARFORMAT, static_cast<intptr_t>(target), reinterpret_cast<intptr_t>(&format));
}

uint32_t TTextAttributes98::ConsistentAttributes() const {
    Read();
    return lastMask_;
}

CHARFORMAT2W TTextAttributes98::Read() const {
    CHARFORMAT2W format;
    GetCharFormat(format);
    return format;
}

void TTextAttributes98::Write(uint32_t mask, const std::function<void(CHARFORMAT2W&)>& fill) {
    CHARFORMAT2W format;
    InitCharFormat(format);
    format.dwMask = mask;
    fill(format);
    SetCharFormat(format);
}

bool TTextAttributes98::GetEffect(uint32_t effect) const { return (Read().dwEffects & effect) != 0; }

void TTextAttributes98::SetEffect(uint32_t effect, bool on) {
    Write(effect, [&](CHARFORMAT2W& f) { f.dwEffects = on ? effect : 0; });
}

TColor TTextAttributes98::GetColor() const {
    if (!richEdit_.HandleAllocated()) return 0;
    const CHARFORMAT2W f = Read();
    return (f.dwEffects & CFE_AUTOCOLOR) ? clWindowText98 : static_cast<TColor>(f.crTextColor);
}

void TTextAttributes98::SetColor(TColor color) {
    Write(CFM_COLOR, [&](CHARFORMAT2W& f) {
        if (color == clWindowText98) f.dwEffects = CFE_AUTOCOLOR;
        else f.crTextColor = static_cast<uint32_t>(ColorToRGB(color));
    });
}

std::string TTextAttributes98::GetName() const {
    const CHARFORMAT2W f = Read();
    return WideToAnsi(std::u16string(f.szFaceName));
}

void TTextAttributes98::SetName(const std::string& name) {
    Write(CFM_FACE, [&](CHARFORMAT2W& f) {
        const std::u16string wide = AnsiToWide(name).substr(0, 31);
        std::copy(wide.begin(), wide.end(), f.szFaceName);
    });
}

int TTextAttributes98::GetSize() const { return Read().yHeight / 20; }
void TTextAttributes98::SetSize(int points) {
    Write(CFM_SIZE, [&](CHARFORMAT2W& f) { f.yHeight = points * 20; });
}

TFontPitch TTextAttributes98::GetPitch() const {
    switch (Read().bPitchAndFamily & 3) {
        case 1: return fpFixed;
        case 2: return fpVariable;
        default: return fpDefault;
    }
}

// The window keeps the pitch with the face (one mask bit carries both), so
// a pitch alone is not sent: the face stays as it is.
void TTextAttributes98::SetPitch(TFontPitch pitch) {
    Write(0, [&](CHARFORMAT2W& f) { f.bPitchAndFamily = pitch == fpVariable ? 2 : pitch == fpFixed ? 1 : 0; });
}

int TTextAttributes98::GetWeight() const { return Read().wWeight; }
void TTextAttributes98::SetWeight(int weight) {
    Write(CFM_WEIGHT, [&](CHARFORMAT2W& f) { f.wWeight = static_cast<uint16_t>(weight); });
}

TColor TTextAttributes98::GetBackColor() const {
    const CHARFORMAT2W f = Read();
    return (f.dwEffects & CFE_AUTOBACKCOLOR) && richEdit_.HandleAllocated() ? clNone98 : static_cast<TColor>(f.crBackColor);
}

void TTextAttributes98::SetBackColor(TColor color) {
    Write(CFM_BACKCOLOR, [&](CHARFORMAT2W& f) {
        if (color == clNone98) f.dwEffects = CFE_AUTOBACKCOLOR;
        else f.crBackColor = static_cast<uint32_t>(ColorToRGB(color));
    });
}

TLanguage TTextAttributes98::GetLanguage() const { return static_cast<TLanguage>(Read().lcid & 0xFFFF); }
void TTextAttributes98::SetLanguage(TLanguage language) {
    Write(CFM_LCID, [&](CHARFORMAT2W& f) { f.lcid = language; });
}

int TTextAttributes98::GetSubSuperscript() const {
    const uint32_t effects = Read().dwEffects;
    return (effects & CFE_SUBSCRIPT) ? 1 : (effects & CFE_SUPERSCRIPT) ? 2 : 0;
}
void TTextAttributes98::SetSubSuperscript(int value) {
    Write(CFM_SUBSCRIPT, [&](CHARFORMAT2W& f) { f.dwEffects = value == 1 ? CFE_SUBSCRIPT : value == 2 ? CFE_SUPERSCRIPT : 0; });
}

double TTextAttributes98::GetOffset() const { return Read().yOffset / 20.0; }
void TTextAttributes98::SetOffset(double points) {
    Write(CFM_OFFSET, [&](CHARFORMAT2W& f) { f.yOffset = static_cast<int32_t>(std::lround(points * 20)); });
}
double TTextAttributes98::GetSpacing() const { return Read().sSpacing / 20.0; }
void TTextAttributes98::SetSpacing(double points) {
    Write(CFM_SPACING, [&](CHARFORMAT2W& f) { f.sSpacing = static_cast<int16_t>(std::lround(points * 20)); });
}
double TTextAttributes98::GetKerning() const { return Read().wKerning / 20.0; }
void TTextAttributes98::SetKerning(double points) {
    Write(CFM_KERNING, [&](CHARFORMAT2W& f) { f.wKerning = static_cast<uint16_t>(std::lround(points * 20)); });
}

int TTextAttributes98::GetUnderlineType() const {
    const CHARFORMAT2W f = Read();
    return (f.dwEffects & CFE_UNDERLINE) ? f.bUnderlineType : 0;
}
void TTextAttributes98::SetUnderlineType(int type) {
    Write(CFM_UNDERLINETYPE, [&](CHARFORMAT2W& f) { f.bUnderlineType = static_cast<uint8_t>(type); });
}

int TTextAttributes98::GetAnimation() const { return Read().bAnimation; }
void TTextAttributes98::SetAnimation(int animation) {
    Write(CFM_ANIMATION, [&](CHARFORMAT2W& f) { f.bAnimation = static_cast<uint8_t>(animation); });
}

int16_t TTextAttributes98::GetCharStyle() const { return Read().sStyle; }
void TTextAttributes98::SetCharStyle(int16_t style) {
    Write(CFM_STYLE, [&](CHARFORMAT2W& f) { f.sStyle = style; });
}

TStyleSet98 TTextAttributes98::GetStyle() const { return static_cast<TStyleSet98>(Read().dwEffects & 0xF); }

void TTextAttributes98::SetStyle(TStyleSet98 style) {
    Write(CFM_BOLD | CFM_ITALIC | CFM_STRIKEOUT | CFM_UNDERLINETYPE, [&](CHARFORMAT2W& f) {
        f.dwEffects = style & (fsBold | fsItalic | fsStrikeOut);
        f.bUnderlineType = (style & fsUnderline) ? CFU_UNDERLINE : CFU_UNDERLINENONE;
    });
}

void TTextAttributes98::Assign(const TTextAttributes98& source) {
    SetColor(source.GetColor());
    SetName(source.GetName());
    SetSize(source.GetSize());
    SetPitch(source.GetPitch());
    SetWeight(source.GetWeight());
    SetBackColor(source.GetBackColor());
    SetLanguage(source.GetLanguage());
    SetSubSuperscript(source.GetSubSuperscript());
    SetOffset(source.GetOffset());
    SetSpacing(source.GetSpacing());
    SetKerning(source.GetKerning());
    SetUnderlineType(source.GetUnderlineType());
    SetBold(source.GetBold());
    SetItalic(source.GetItalic());
    SetStrikeOut(source.GetStrikeOut());
    SetAnimation(source.GetAnimation());
    SetSmallCaps(source.GetSmallCaps());
    SetAllCaps(source.GetAllCaps());
    SetHidden(source.GetHidden());
    SetOutline(source.GetOutline());
    SetShadow(source.GetShadow());
    SetEmboss(source.GetEmboss());
    SetImprint(source.GetImprint());
    SetLink(source.GetLink());
    SetCharStyle(source.GetCharStyle());
}

void TTextAttributes98::Assign(const TCanvasFont& font) {
    SetColor(static_cast<TColor>(font.Color));
    SetName(font.Name);
    SetSize(font.Size());
    SetPitch(fpDefault);
    SetBold(font.Bold);
    SetItalic(font.Italic);
    SetStrikeOut(font.StrikeOut);
    SetUnderlineType(font.Underline ? CFU_UNDERLINE : CFU_UNDERLINENONE);
}

void TTextAttributes98::AssignTo(TCanvasFont& font) const {
    const TColor color = GetColor();
    font.Color = static_cast<uint32_t>(ColorToRGB(color == clWindowText98 ? static_cast<TColor>(0x80000008) : color));
    font.Name = GetName();
    font.Bold = GetBold();
    if (GetItalic()) font.Italic = true;
    if (GetUnderlineType() != 0) font.Underline = true;
    font.SetSize(GetSize());
}

// ---------------------------------------------------------------- TParaAttributes98

PARAFORMAT2 TParaAttributes98::GetParaFormat() const {
    PARAFORMAT2 format;
    if (richEdit_.HandleAllocated()) richEdit_.SendToWindow(EM_GETPARAFORMAT, 0, reinterpret_cast<intptr_t>(&format));
    return format;
}

void TParaAttributes98::SetParaFormat(PARAFORMAT2& format) {
    if (richEdit_.HandleAllocated()) richEdit_.SendToWindow(EM_SETPARAFORMAT, 0, reinterpret_cast<intptr_t>(&format));
}

namespace {
PARAFORMAT2 ParaWrite(uint32_t mask) {
    PARAFORMAT2 format;
    format.dwMask = mask;
    return format;
}
}  // namespace

TAlignment98 TParaAttributes98::GetAlignment() const {
    const uint16_t alignment = GetParaFormat().wAlignment;
    return alignment >= PFA_LEFT && alignment <= PFA_JUSTIFY ? static_cast<TAlignment98>(alignment - 1) : taLeftJustify;
}
void TParaAttributes98::SetAlignment(TAlignment98 alignment) {
    PARAFORMAT2 format = ParaWrite(PFM_ALIGNMENT);
    format.wAlignment = static_cast<uint16_t>(alignment + 1);
    SetParaFormat(format);
}
int TParaAttributes98::GetFirstIndent() const { return GetParaFormat().dxStartIndent / 20; }
void TParaAttributes98::SetFirstIndent(int points) {
    PARAFORMAT2 format = ParaWrite(PFM_STARTINDENT);
    format.dxStartIndent = points * 20;
    SetParaFormat(format);
}
int TParaAttributes98::GetLeftIndent() const { return GetParaFormat().dxOffset / 20; }
void TParaAttributes98::SetLeftIndent(int points) {
    PARAFORMAT2 format = ParaWrite(PFM_OFFSET);
    format.dxOffset = points * 20;
    SetParaFormat(format);
}
int TParaAttributes98::GetRightIndent() const { return GetParaFormat().dxRightIndent / 20; }
void TParaAttributes98::SetRightIndent(int points) {
    PARAFORMAT2 format = ParaWrite(PFM_RIGHTINDENT);
    format.dxRightIndent = points * 20;
    SetParaFormat(format);
}
TNumberingStyle TParaAttributes98::GetNumbering() const {
    return GetParaFormat().wNumbering == PFN_BULLET ? nsBullet : nsNone;
}
void TParaAttributes98::SetNumbering(TNumberingStyle numbering) {
    PARAFORMAT2 format = ParaWrite(PFM_NUMBERING);
    format.wNumbering = numbering == nsBullet ? PFN_BULLET : 0;
    SetParaFormat(format);
}
int TParaAttributes98::GetTab(int index) const {
    const PARAFORMAT2 format = GetParaFormat();
    return index >= 0 && index < MAX_TAB_STOPS ? format.rgxTabs[index] / 20 : 0;
}
void TParaAttributes98::SetTab(int index, int points) {
    if (index < 0 || index >= MAX_TAB_STOPS) return;
    PARAFORMAT2 format = GetParaFormat();
    format.dwMask = PFM_TABSTOPS;
    if (format.cTabCount <= index) format.cTabCount = static_cast<int16_t>(index + 1);
    format.rgxTabs[index] = points * 20;
    SetParaFormat(format);
}
int TParaAttributes98::GetTabCount() const { return GetParaFormat().cTabCount; }
void TParaAttributes98::SetTabCount(int count) {
    PARAFORMAT2 format = GetParaFormat();
    format.dwMask = PFM_TABSTOPS;
    format.cTabCount = static_cast<int16_t>(std::clamp(count, 0, MAX_TAB_STOPS));
    SetParaFormat(format);
}
void TParaAttributes98::Assign(const TParaAttributes98& source) {
    SetAlignment(source.GetAlignment());
    SetFirstIndent(source.GetFirstIndent());
    SetLeftIndent(source.GetLeftIndent());
    SetRightIndent(source.GetRightIndent());
    SetNumbering(source.GetNumbering());
    PARAFORMAT2 tabs = source.GetParaFormat();
    tabs.dwMask = PFM_TABSTOPS;
    SetParaFormat(tabs);
}

// ---------------------------------------------------------------- conversions

namespace {

std::map<std::string, TConversionMaker>& Conversions() {
    static std::map<std::string, TConversionMaker> conversions = {
        {"rtf", [] { return std::make_unique<TConversion>(); }},
        {"txt", [] { return std::make_unique<TConversion>(); }},
    };
    return conversions;
}

std::unique_ptr<TConversion> ConversionOf(const std::string& fileName) {
    const size_t dot = fileName.find_last_of('.');
    const size_t slash = fileName.find_last_of('/');
    std::string extension;
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) extension = fileName.substr(dot + 1);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    const auto found = Conversions().find(extension);
    return found != Conversions().end() ? found->second() : std::make_unique<TConversion>();
}

// What the stream callback works with.
struct TStreamCookie {
    TCustomRichEdit98* RichEdit;
    TStream* Stream;
    TConversion* Converter;
    bool Loading;
};

uint32_t StreamCallback(uintptr_t cookie, uint8_t* buffer, int32_t count, int32_t* done) {
    auto* c = reinterpret_cast<TStreamCookie*>(cookie);
    try {
        if (c->Loading) {
            if (c->RichEdit->OnLoadProgress)
                c->RichEdit->OnLoadProgress(c->RichEdit, c->Stream->GetPosition(), c->Stream->GetSize());
            *done = c->Converter->ConvertReadStream(*c->Stream, buffer, count);
        } else {
            *done = c->Converter->ConvertWriteStream(*c->Stream, buffer, count);
            if (c->RichEdit->OnSaveProgress)
                c->RichEdit->OnSaveProgress(c->RichEdit, c->Stream->GetPosition(), c->Stream->GetSize());
        }
        return 0;
    } catch (...) {  // an exception may not cross the window: the chunk fails
        *done = 0;
        return 1;
    }
}

bool IsURLCharacter(char16_t c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'.' ||
           c == u'/' || c == u':' || c == u'@' || c == u'\\';
}

}  // namespace

void RegisterConversionFormat(const std::string& extension, TConversionMaker maker) {
    Conversions()[extension] = std::move(maker);
}

// ---------------------------------------------------------------- TWideRichEditStrings98

WideString TWideRichEditStrings98::Get(int index) const {
    std::vector<char16_t> buffer(4096 + 1, 0);
    buffer[0] = 4096;
    const intptr_t count = richEdit_.SendToWindow(EM_GETLINE, index, reinterpret_cast<intptr_t>(buffer.data()));
    WideString line(buffer.data(), static_cast<size_t>(std::clamp<intptr_t>(count, 0, 4096)));
    if (!line.empty() && line.back() == u'\r') line.pop_back();
    return line;
}

int TWideRichEditStrings98::GetCount() const {
    const int count = static_cast<int>(richEdit_.SendToWindow(EM_GETLINECOUNT));
    const intptr_t lastStart = richEdit_.SendToWindow(EM_LINEINDEX, count - 1);
    return richEdit_.SendToWindow(EM_LINELENGTH, lastStart) == 0 ? count - 1 : count;
}

void TWideRichEditStrings98::Put(int index, const WideString& text) {
    const intptr_t start = richEdit_.SendToWindow(EM_LINEINDEX, index);
    if (index < 0 || start == -1) return;
    const CHARRANGE range{static_cast<int32_t>(start),
                          static_cast<int32_t>(start + richEdit_.SendToWindow(EM_LINELENGTH, start))};
    richEdit_.SendToWindow(EM_EXSETSEL, 0, reinterpret_cast<intptr_t>(&range));
    const WideString value = text + u'\0';
    richEdit_.SendToWindow(EM_REPLACESEL, 0, reinterpret_cast<intptr_t>(value.c_str()));
}

void TWideRichEditStrings98::Insert(int index, const WideString& text) {
    if (index < 0) return;
    intptr_t start = richEdit_.SendToWindow(EM_LINEINDEX, index);
    WideString inserted;
    if (start >= 0) {
        inserted = text + u'\r';
    } else {
        start = richEdit_.SendToWindow(EM_LINEINDEX, index - 1);
        if (start < 0) return;
        const intptr_t length = richEdit_.SendToWindow(EM_LINELENGTH, start);
        if (length == 0) return;
        start += length;
        inserted = u'\r' + text;
    }
    const CHARRANGE range{static_cast<int32_t>(start), static_cast<int32_t>(start)};
    richEdit_.SendToWindow(EM_EXSETSEL, 0, reinterpret_cast<intptr_t>(&range));
    const WideString value = inserted + u'\0';
    richEdit_.SendToWindow(EM_REPLACESEL, 0, reinterpret_cast<intptr_t>(value.c_str()));
    CHARRANGE after;
    richEdit_.SendToWindow(EM_EXGETSEL, 0, reinterpret_cast<intptr_t>(&after));
    if (after.cpMin != start + static_cast<intptr_t>(inserted.size()))
        throw EOutOfResources("RichEdit line insertion error");
}

void TWideRichEditStrings98::Delete(int index) {
    if (index < 0) return;
    const intptr_t start = richEdit_.SendToWindow(EM_LINEINDEX, index);
    if (start == -1) return;
    intptr_t end = richEdit_.SendToWindow(EM_LINEINDEX, index + 1);
    if (end == -1) end = start + richEdit_.SendToWindow(EM_LINELENGTH, start);
    const CHARRANGE range{static_cast<int32_t>(start), static_cast<int32_t>(end)};
    richEdit_.SendToWindow(EM_EXSETSEL, 0, reinterpret_cast<intptr_t>(&range));
    const char16_t empty[1] = {0};
    richEdit_.SendToWindow(EM_REPLACESEL, 0, reinterpret_cast<intptr_t>(empty));
}

void TWideRichEditStrings98::SetTextStr(const WideString& text) {
    const intptr_t mask = richEdit_.SendToWindow(EM_GETEVENTMASK);
    richEdit_.SendToWindow(EM_SETEVENTMASK, 0, mask & ~static_cast<intptr_t>(ENM_CHANGE));
    try {
        WStrList::TWideStrings::SetTextStr(text);
    } catch (...) {
        richEdit_.SendToWindow(EM_SETEVENTMASK, 0, mask);
        throw;
    }
    richEdit_.SendToWindow(EM_SETEVENTMASK, 0, mask);
}

void TWideRichEditStrings98::SetUpdateState(bool updating) {
    richEdit_.SendToWindow(WM_SETREDRAW, updating ? 0 : 1);
    // The control hears of the new text as the ANSI list's users do.
    if (!updating) richEdit_.Perform(CM_TEXTCHANGED);
}

void TWideRichEditStrings98::SetLocale(TLanguage locale) {
    WStrList::TWideStrings::SetLocale(locale);
    richEdit_.SetLanguage(locale);
}

void TWideRichEditStrings98::AddStrings(const WStrList::TWideStrings& strings) {
    richEdit_.Detached([&] { WStrList::TWideStrings::AddStrings(strings); });
}

void TWideRichEditStrings98::Clear() { richEdit_.Clear(); }
void TWideRichEditStrings98::LoadFromFile(const std::string& fileName) { richEdit_.Lines().LoadFromFile(fileName); }
void TWideRichEditStrings98::LoadFromStream(TStream& stream) { richEdit_.Lines().LoadFromStream(stream); }
void TWideRichEditStrings98::SaveToFile(const std::string& fileName) const { richEdit_.Lines().SaveToFile(fileName); }
void TWideRichEditStrings98::SaveToStream(TStream& stream) const { richEdit_.Lines().SaveToStream(stream); }

// ---------------------------------------------------------------- TRichEditStrings98

std::string TRichEditStrings98::Get(int index) const {
    return WideStringToStringCP(richEdit_.WideLines().Get(index), richEdit_.CodePage());
}
int TRichEditStrings98::GetCount() const { return richEdit_.WideLines().GetCount(); }
void TRichEditStrings98::Put(int index, const std::string& text) {
    richEdit_.WideLines().Put(index, StringToWideStringCP(text, richEdit_.CodePage()));
}
void TRichEditStrings98::Insert(int index, const std::string& text) {
    richEdit_.WideLines().Insert(index, StringToWideStringCP(text, richEdit_.CodePage()));
}
int TRichEditStrings98::Add(const std::string& text) {
    const int index = GetCount();
    Insert(index, text);
    return index;
}
void TRichEditStrings98::Delete(int index) { richEdit_.WideLines().Delete(index); }
void TRichEditStrings98::Clear() { richEdit_.Clear(); }

void TRichEditStrings98::SetTextStr(const std::string& text) {
    richEdit_.WideLines().SetTextStr(StringToWideStringCP(text, richEdit_.CodePage()));
}

std::string TRichEditStrings98::GetTextStr() const {
    std::string text;
    for (int i = 0; i < GetCount(); ++i) text += Get(i) + "\r\n";
    return text;
}

void TRichEditStrings98::BeginUpdate() {
    if (updating_++ == 0) richEdit_.SendToWindow(WM_SETREDRAW, 0);
}

void TRichEditStrings98::EndUpdate() {
    if (updating_ == 0 || --updating_ > 0) return;
    richEdit_.SendToWindow(WM_SETREDRAW, 1);
    richEdit_.Perform(CM_TEXTCHANGED);
}

void TRichEditStrings98::LoadFromStream(TStream& stream) {
    std::unique_ptr<TConversion> temporary;
    TConversion* converter = converter_.get();
    if (!converter) converter = (temporary = std::make_unique<TConversion>()).get();
    richEdit_.StreamIn(stream, *converter);
}

void TRichEditStrings98::SaveToStream(TStream& stream) {
    std::unique_ptr<TConversion> temporary;
    TConversion* converter = converter_.get();
    if (!converter) converter = (temporary = std::make_unique<TConversion>()).get();
    richEdit_.StreamOut(stream, *converter);
}

void TRichEditStrings98::LoadFromFile(const std::string& fileName) {
    converter_ = ConversionOf(fileName);
    try {
        TFileStream file(fileName, TFileMode::OpenRead);
        LoadFromStream(file);
    } catch (...) {
        converter_.reset();
        throw;
    }
}

void TRichEditStrings98::SaveToFile(const std::string& fileName) {
    converter_ = ConversionOf(fileName);
    try {
        TFileStream file(fileName, TFileMode::Create);
        SaveToStream(file);
    } catch (...) {
        converter_.reset();
        throw;
    }
}

// ---------------------------------------------------------------- TURLCollection

void TURLCollection::AddOrUpdate(const std::string& name, TColor color, bool underline, TCursor cursor) {
    for (TURLType& type : items_) {
        if (type.Name == name) {
            type.Color = color;
            type.Underline = underline;
            type.Cursor = cursor;
            return;
        }
    }
    items_.push_back({name, color, cursor, underline});
}

void TURLCollection::AddDefaultTypes() {
    for (const char* name : {"e-mail", "http", "file", "mailto", "ftp", "https", "gopher", "nntp", "prospero", "telnet",
                             "news", "wais"})
        AddOrUpdate(name, clWindowText98, true, 0);
}

// ---------------------------------------------------------------- TCustomRichEdit98

TCustomRichEdit98::TCustomRichEdit98(TComponent* owner) : TStandardControl(owner) {
    SetBounds(0, 0, 185, 89);
    selAttributes_ = std::make_unique<TTextAttributes98>(*this, atSelected);
    defAttributes_ = std::make_unique<TTextAttributes98>(*this, atDefaultText);
    paragraph_ = std::make_unique<TParaAttributes98>(*this);
    lines_ = std::make_unique<TRichEditStrings98>(*this);
    wideLines_ = std::make_unique<TWideRichEditStrings98>(*this);
    SetLanguage(static_cast<TLanguage>(UserDefaultLocale));
    customURLs_.AddDefaultTypes();
    HandleMessage(CN_COMMAND, [this](TMessage& m, const TMessageHandler& inherited) {
        if (HiWord(m.WParam) == EN_CHANGE) Changed();
        inherited(m);
    });
    HandleMessage(CN_NOTIFY, [this](TMessage& m, const TMessageHandler& inherited) {
        const auto* header = reinterpret_cast<const NMHDR*>(m.LParam);
        if (header && header->code == EN_LINK) LinkNotified(*reinterpret_cast<const ENLINK*>(m.LParam));
        else if (header && header->code == EN_SELCHANGE && OnSelectionChange) OnSelectionChange(this);
        inherited(m);
    });
}

TCustomRichEdit98::~TCustomRichEdit98() = default;

void TCustomRichEdit98::CreateParams(TCreateParams& params) {
    params.WinClassName = RICHEDIT_CLASS;
    params.Style |= WS_CHILD | ES_MULTILINE;
    if (readOnly_) params.Style |= ES_READONLY;
    params.ExStyle |= WS_EX_CLIENTEDGE;
}

void TCustomRichEdit98::CreateWnd() {
    TStandardControl::CreateWnd();
    SendToWindow(EM_SETEVENTMASK, 0, ENM_CHANGE | ENM_SELCHANGE | ENM_PROTECTED | ENM_REQUESTRESIZE | ENM_LINK);
    SendToWindow(EM_AUTOURLDETECT, autoURLDetect_ == adDefault ? 1 : 0);
    const intptr_t options = SendToWindow(EM_GETOPTIONS);
    SendToWindow(EM_SETOPTIONS, ECOOP_SET,
                 showSelectionBar_ ? options | ECO_SELECTIONBAR : options & ~static_cast<intptr_t>(ECO_SELECTIONBAR));
    SendToWindow(EM_SETLANGOPTIONS, 0, langOptions_);
    SendToWindow(EM_SETUNDOLIMIT, undoLimit_);
    SendToWindow(EM_EXLIMITTEXT, 0, maxLength_ == 0 ? 0x7FFFFFFF : maxLength_);
    SendToWindow(EM_SETTARGETDEVICE, 0, wordWrap_ ? 0 : 1);
    SendToWindow(EM_SHOWSCROLLBAR, SB_HORZ, scrollBars_ == ssHorizontal || scrollBars_ == ssBoth);
    SendToWindow(EM_SHOWSCROLLBAR, SB_VERT, scrollBars_ == ssVertical || scrollBars_ == ssBoth);
    FontChanged();
    if (!pendingText_.empty()) {
        NativeWindow()->SetText(pendingText_);
        pendingText_.clear();
        SendToWindow(EM_EMPTYUNDOBUFFER);
    }
}

void TCustomRichEdit98::DestroyWnd() {
    pendingText_ = GetWideText();
    TStandardControl::DestroyWnd();
}

intptr_t TCustomRichEdit98::SendToWindow(uint32_t msg, intptr_t wParam, intptr_t lParam) const {
    return const_cast<TCustomRichEdit98*>(this)->SendClassMessage(msg, wParam, lParam);
}

void TCustomRichEdit98::FontChanged() { defAttributes_->Assign(Font); }

WideString TCustomRichEdit98::GetWideText() const {
    if (!HandleAllocated()) return pendingText_;
    GETTEXTLENGTHEX ask;
    const intptr_t length = SendToWindow(EM_GETTEXTLENGTHEX, reinterpret_cast<intptr_t>(&ask));
    std::vector<char16_t> buffer(static_cast<size_t>(length) + 1, 0);
    GETTEXTEX get;
    get.cb = static_cast<uint32_t>(2 * length + 2);
    const intptr_t count = SendToWindow(EM_GETTEXTEX, reinterpret_cast<intptr_t>(&get), reinterpret_cast<intptr_t>(buffer.data()));
    return WideString(buffer.data(), static_cast<size_t>(std::clamp<intptr_t>(count, 0, length)));
}

void TCustomRichEdit98::SetWideText(const WideString& text) {
    if (!HandleAllocated()) {
        pendingText_ = text;
        return;
    }
    NativeWindow()->SetText(text);
}

std::string TCustomRichEdit98::GetText() const { return WideStringToStringCP(GetWideText(), codePage_); }
void TCustomRichEdit98::SetText(const std::string& text) { SetWideText(StringToWideStringCP(text, codePage_)); }

int TCustomRichEdit98::GetSelStart() const {
    CHARRANGE range;
    SendToWindow(EM_EXGETSEL, 0, reinterpret_cast<intptr_t>(&range));
    return range.cpMin;
}

void TCustomRichEdit98::SetSelStart(int start) {
    const CHARRANGE range{start, start};
    SendToWindow(EM_EXSETSEL, 0, reinterpret_cast<intptr_t>(&range));
}

int TCustomRichEdit98::GetSelLength() const {
    CHARRANGE range;
    SendToWindow(EM_EXGETSEL, 0, reinterpret_cast<intptr_t>(&range));
    return range.cpMax - range.cpMin;
}

void TCustomRichEdit98::SetSelLength(int length) {
    CHARRANGE range;
    SendToWindow(EM_EXGETSEL, 0, reinterpret_cast<intptr_t>(&range));
    range.cpMax = range.cpMin + length;
    SendToWindow(EM_EXSETSEL, 0, reinterpret_cast<intptr_t>(&range));
}

WideString TCustomRichEdit98::GetSelText() const {
    std::vector<char16_t> buffer(static_cast<size_t>(GetSelLength()) + 1, 0);
    const intptr_t count = SendToWindow(EM_GETSELTEXT, 0, reinterpret_cast<intptr_t>(buffer.data()));
    return WideString(buffer.data(), static_cast<size_t>(std::clamp<intptr_t>(count, 0, GetSelLength())));
}

void TCustomRichEdit98::SetSelText(const WideString& text) {
    const WideString value = text + u'\0';
    SendToWindow(EM_REPLACESEL, 1, reinterpret_cast<intptr_t>(value.c_str()));
}

void TCustomRichEdit98::SelectAll() { SendToWindow(EM_SETSEL, 0, -1); }
void TCustomRichEdit98::Clear() { SetWideText(WideString()); }
bool TCustomRichEdit98::CanUndo() const { return SendToWindow(EM_CANUNDO) != 0; }
void TCustomRichEdit98::Undo() { SendToWindow(EM_UNDO); }
void TCustomRichEdit98::ClearUndo() { SendToWindow(EM_EMPTYUNDOBUFFER); }

void TCustomRichEdit98::SetCustomURLs(const TURLCollection& urls) {
    customURLs_.Clear();
    for (int i = 0; i < urls.Count(); ++i) {
        const TURLType& type = urls.Items(i);
        customURLs_.AddOrUpdate(type.Name, type.Color, type.Underline, type.Cursor);
    }
}

void TCustomRichEdit98::SetAutoURLDetect(TURLDetect detect) {
    autoURLDetect_ = detect;
    SendToWindow(EM_AUTOURLDETECT, detect == adDefault ? 1 : 0);
}

void TCustomRichEdit98::SetLanguage(TLanguage language) {
    language_ = language;
    codePage_ = CodePageOfLocale(language);
}

void TCustomRichEdit98::SetLangOptions(TLangOptions options) {
    langOptions_ = options;
    SendToWindow(EM_SETLANGOPTIONS, 0, options);
}

void TCustomRichEdit98::SetShowSelectionBar(bool show) {
    showSelectionBar_ = show;
    SendToWindow(EM_SETOPTIONS, show ? ECOOP_OR : ECOOP_AND,
                 show ? static_cast<intptr_t>(ECO_SELECTIONBAR) : ~static_cast<intptr_t>(ECO_SELECTIONBAR));
}

void TCustomRichEdit98::SetUndoLimit(int limit) {
    undoLimit_ = limit;
    SendToWindow(EM_SETUNDOLIMIT, limit);
}

void TCustomRichEdit98::SetMaxLength(int length) {
    maxLength_ = length;
    SendToWindow(EM_EXLIMITTEXT, 0, length == 0 ? 0x7FFFFFFF : length);
}

void TCustomRichEdit98::SetReadOnly(bool readOnly) {
    readOnly_ = readOnly;
    SendToWindow(EM_SETREADONLY, readOnly ? 1 : 0);
}

void TCustomRichEdit98::SetWordWrap(bool wrap) {
    wordWrap_ = wrap;
    SendToWindow(EM_SETTARGETDEVICE, 0, wrap ? 0 : 1);
}

void TCustomRichEdit98::SetScrollBars(TScrollStyle bars) {
    scrollBars_ = bars;
    SendToWindow(EM_SHOWSCROLLBAR, SB_HORZ, bars == ssHorizontal || bars == ssBoth);
    SendToWindow(EM_SHOWSCROLLBAR, SB_VERT, bars == ssVertical || bars == ssBoth);
}

void TCustomRichEdit98::Detached(const std::function<void()>& f) {
    TNotifyEvent change = std::move(OnChange), selection = std::move(OnSelectionChange);
    OnChange = nullptr;
    OnSelectionChange = nullptr;
    try {
        f();
    } catch (...) {
        OnChange = std::move(change);
        OnSelectionChange = std::move(selection);
        throw;
    }
    OnChange = std::move(change);
    OnSelectionChange = std::move(selection);
}

void TCustomRichEdit98::StreamIn(TStream& stream, TConversion& converter) {
    Handle();
    TStreamCookie cookie{this, &stream, &converter, true};
    EDITSTREAM edit;
    edit.dwCookie = reinterpret_cast<uintptr_t>(&cookie);
    edit.pfnCallback = StreamCallback;
    uintptr_t flags = InputFormat == ifText ? SF_TEXT : InputFormat == ifRTF ? SF_RTF : SF_TEXT | SF_UNICODE;
    uintptr_t extra = (SelectedInOut ? SFF_SELECTION : 0) | (PlainRTF ? SFF_PLAINRTF : 0);
    const int64_t start = stream.GetPosition();
    SendToWindow(EM_STREAMIN, static_cast<intptr_t>(flags | extra), reinterpret_cast<intptr_t>(&edit));
    if (edit.dwError != 0 && InputFormat == ifRTF) {
        // Not RTF after all: the same bytes as plain text.
        stream.SetPosition(start);
        edit.dwError = 0;
        SendToWindow(EM_STREAMIN, static_cast<intptr_t>(SF_TEXT | extra), reinterpret_cast<intptr_t>(&edit));
        if (edit.dwError != 0) throw EOutOfResources("Failed to Load Stream");
    }
    if (autoURLDetect_ == adExtended) ScanURLs(0, static_cast<int>(SendToWindow(WM_GETTEXTLENGTH)));
}

void TCustomRichEdit98::StreamOut(TStream& stream, TConversion& converter) {
    Handle();
    TStreamCookie cookie{this, &stream, &converter, false};
    EDITSTREAM edit;
    edit.dwCookie = reinterpret_cast<uintptr_t>(&cookie);
    edit.pfnCallback = StreamCallback;
    static const uintptr_t formats[] = {SF_TEXT, SF_RTF, SF_RTFNOOBJS, SF_TEXTIZED, SF_TEXT | SF_UNICODE};
    const uintptr_t flags = formats[OutputFormat] | (SelectedInOut ? SFF_SELECTION : 0) | (PlainRTF ? SFF_PLAINRTF : 0);
    SendToWindow(EM_STREAMOUT, static_cast<intptr_t>(flags), reinterpret_cast<intptr_t>(&edit));
    if (edit.dwError != 0) throw EOutOfResources("Failed to Save Stream");
}

std::string TCustomRichEdit98::WriteRTFProperty() {
    TMemoryStream stream;
    const bool selected = SelectedInOut;
    SelectedInOut = false;
    try {
        Lines().SaveToStream(stream);
    } catch (...) {
        SelectedInOut = selected;
        throw;
    }
    SelectedInOut = selected;
    const std::vector<uint8_t>& bytes = stream.Bytes();
    std::string value(bytes.begin(), bytes.end());
    return value.substr(0, value.find('\0'));
}

void TCustomRichEdit98::ReadRTFProperty(const std::string& value) {
    Detached([&] {
        Clear();
        FontChanged();
        TMemoryStream stream(std::vector<uint8_t>(value.begin(), value.end()));
        Lines().LoadFromStream(stream);
    });
}

// ---------------------------------------------------------------- URLs

void TCustomRichEdit98::Changed() {
    if (autoURLDetect_ == adExtended && customURLs_.Count() > 0 && !scanning_) {
        CHARRANGE selection;
        SendToWindow(EM_EXGETSEL, 0, reinterpret_cast<intptr_t>(&selection));
        ScanURLs(std::min(selection.cpMin, lastScanned_.cpMin), std::max(selection.cpMax, lastScanned_.cpMax));
        lastScanned_ = selection;
    }
    if (OnChange) OnChange(this);
}

void TCustomRichEdit98::BeginScan() {
    if (scanDepth_++ > 0) return;
    SendToWindow(WM_SETREDRAW, 0);
    SendToWindow(EM_EXGETSEL, 0, reinterpret_cast<intptr_t>(&scanSelection_));
    scanFirstLine_ = static_cast<int>(SendToWindow(EM_GETFIRSTVISIBLELINE));
    savedOnChange_ = std::move(OnChange);
    savedOnSelectionChange_ = std::move(OnSelectionChange);
    OnChange = nullptr;
    OnSelectionChange = nullptr;
}

void TCustomRichEdit98::EndScan() {
    if (scanDepth_ == 0 || --scanDepth_ > 0) return;
    SendToWindow(EM_EXSETSEL, 0, reinterpret_cast<intptr_t>(&scanSelection_));
    for (int guard = 0; guard < 100000; ++guard) {
        const int first = static_cast<int>(SendToWindow(EM_GETFIRSTVISIBLELINE));
        if (first == scanFirstLine_) break;
        if (SendToWindow(EM_SCROLL, first < scanFirstLine_ ? SB_LINEDOWN : SB_LINEUP) == 0) break;
    }
    SendToWindow(WM_SETREDRAW, 1);
    Invalidate();
    OnChange = std::move(savedOnChange_);
    OnSelectionChange = std::move(savedOnSelectionChange_);
}

void TCustomRichEdit98::ScanURLs(int start, int end) {
    const WideString text = GetWideText();
    const int length = static_cast<int>(text.size());
    if (start >= length) start = length - 1;
    if (start < 0) start = 0;
    while (start > 0 && IsURLCharacter(text[static_cast<size_t>(start - 1)])) --start;
    end = std::min(end, length);
    while (end < length && end >= 0 && IsURLCharacter(text[static_cast<size_t>(end)])) ++end;
    // The scan needs the e-mail type and a scheme; without them it marks
    // nothing (it may run inside the window's own event handling).
    if (end <= start || length <= 2 || customURLs_.Count() < 2) return;
    scanning_ = true;
    BeginScan();
    try {
        WideString upper = text.substr(static_cast<size_t>(start), static_cast<size_t>(end - start));
        for (char16_t& c : upper) c = WideCharToUpper(c);
        for (int at = 0; at < static_cast<int>(upper.size());) {
            if (!IsURLCharacter(upper[static_cast<size_t>(at)])) {
                ++at;
                continue;
            }
            int wordEnd = at;
            while (wordEnd < static_cast<int>(upper.size()) && IsURLCharacter(upper[static_cast<size_t>(wordEnd)])) ++wordEnd;
            const WideString word = upper.substr(static_cast<size_t>(at), static_cast<size_t>(wordEnd - at));
            const TURLType* type = nullptr;
            for (int t = 1; t < customURLs_.Count() && !type; ++t) {
                WideString prefix = AnsiToWide(customURLs_.Items(t).Name) + u':';
                for (char16_t& c : prefix) c = WideCharToUpper(c);
                if (word.size() > prefix.size() && word.compare(0, prefix.size(), prefix) == 0) type = &customURLs_.Items(t);
            }
            if (!type) {
                const size_t atSign = word.find(u'@', 1);
                if (atSign != WideString::npos && atSign + 1 < word.size()) {
                    const WideString host = word.substr(atSign + 1);
                    if (host.find(u'.', 1) != WideString::npos) type = &customURLs_.Items(0);
                }
            }
            const CHARRANGE range{start + at, start + wordEnd};
            SendToWindow(EM_EXSETSEL, 0, reinterpret_cast<intptr_t>(&range));
            if (type) {
                SelAttributes().SetLink(true);
                SelAttributes().SetColor(type->Color == clWindowText98 ? URLColor : type->Color);
                SelAttributes().SetUnderlineType(type->Underline ? 1 : 0);
            } else {
                SelAttributes().SetLink(false);
                SelAttributes().SetColor(clDefault98);
                SelAttributes().SetUnderlineType(0);
            }
            at = wordEnd;
        }
    } catch (...) {
        EndScan();
        scanning_ = false;
        throw;
    }
    EndScan();
    scanning_ = false;
}

void TCustomRichEdit98::LinkNotified(const ENLINK& link) {
    const WideString text = GetWideText();
    const int start = std::clamp(link.chrg.cpMin, 0, static_cast<int>(text.size()));
    const int end = std::clamp(link.chrg.cpMax, start, static_cast<int>(text.size()));
    const WideString url = text.substr(static_cast<size_t>(start), static_cast<size_t>(end - start));
    const TURLType* type = nullptr;
    const size_t colon = url.find(u':', 1);
    if (colon != WideString::npos) {
        WideString scheme = url.substr(0, colon);
        for (char16_t& c : scheme) c = WideCharToLower(c);
        for (int t = 1; t < customURLs_.Count() && !type; ++t)
            if (AnsiToWide(customURLs_.Items(t).Name) == scheme) type = &customURLs_.Items(t);
    } else if (url.find(u'@', 1) != WideString::npos && customURLs_.Count() > 0) {
        type = &customURLs_.Items(0);
    }
    if (link.msg == WM_MOUSEMOVE) {
        TCursor cursor = type ? type->Cursor : 0;
        if (cursor == 0) cursor = URLCursor;
        if (cursor == 0) cursor = crHandPoint;
        if (NativeWindow()) NativeWindow()->SetCursor(cursor);
        if (OnURLMove && url.size() > 1) OnURLMove(this, url);
    } else if (link.msg == WM_LBUTTONUP) {
        if (OnURLClick && url.size() > 1) OnURLClick(this, url);
    }
}
