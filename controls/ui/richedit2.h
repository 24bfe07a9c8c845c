// The Rich Edit 2.0 control: a multi-line editor of formatted Unicode text
// in a window of class "RICHEDIT20W" (the plugin's rich-edit widget). It
// reads and writes the character format of the selection or the default
// text (TTextAttributes98), the paragraph format (TParaAttributes98), the
// text as wide and ANSI line lists whose paragraphs end in one CR, streams
// the text in and out as plain text, UTF-16 or RTF, detects addresses (the
// window's own way or its own scanner over the URL types) and reports
// clicks on links. The ANSI side converts through the code page of the
// control's Language. Embedded OLE objects have no counterpart here: the
// OLE properties are kept, and nothing is embedded.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "controls/langs.h"
#include "controls/wstrlist.h"
#include "platform/colour.h"
#include "platform/stream.h"
#include "platform/ui/richedit.h"
#include "platform/ui/stdctrls.h"

class TCustomRichEdit98;

constexpr TColor clWindowText98 = static_cast<TColor>(0xFF000008);  // the window's text colour (auto)
constexpr TColor clNone98 = static_cast<TColor>(0x1FFFFFFF);
constexpr TColor clDefault98 = static_cast<TColor>(0x20000000);

enum TURLDetect { adNone, adDefault, adExtended };
enum TInputFormat { ifText, ifRTF, ifUnicode };
enum TOutputFormat { ofText, ofRTF, ofRTFNoObjs, ofTextized, ofUnicode };
using TLangOptions = uint8_t;
constexpr TLangOptions loAutoKeyboard = 1, loAutoFont = 2, loIMECancelComplete = 4, loIMEAlwaysSendNotify = 8;
enum TAttributeType { atSelected = 0, atDefaultText = 1 };
enum TFontPitch { fpDefault, fpVariable, fpFixed };
// The style set of bold, italic, underline and strike-out.
using TStyleSet98 = uint8_t;
constexpr TStyleSet98 fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8;
enum TAlignment98 { taLeftJustify, taRightJustify, taCenter, taJustify };
enum TNumberingStyle { nsNone, nsBullet };
enum TScrollStyle { ssNone, ssHorizontal, ssVertical, ssBoth };

class EOutOfResources : public Exception { using Exception::Exception; };

// Character attributes of the selection (atSelected) or of the default
// text (atDefaultText). Every property is one round trip with the window; a
// write changes that attribute alone.
class TTextAttributes98 {
public:
    TTextAttributes98(TCustomRichEdit98& richEdit, TAttributeType kind) : richEdit_(richEdit), kind_(kind) {}

    static void InitCharFormat(CHARFORMAT2W& format);
    void GetCharFormat(CHARFORMAT2W& format) const;
    void SetCharFormat(CHARFORMAT2W& format);
    // The mask the window reported: the attributes the whole selection shares.
    uint32_t ConsistentAttributes() const;

    TColor GetColor() const;
    void SetColor(TColor color);
    std::string GetName() const;
    void SetName(const std::string& name);
    int GetSize() const;
    void SetSize(int points);
    TFontPitch GetPitch() const;
    void SetPitch(TFontPitch pitch);
    int GetWeight() const;
    void SetWeight(int weight);
    TColor GetBackColor() const;
    void SetBackColor(TColor color);
    TLanguage GetLanguage() const;
    void SetLanguage(TLanguage language);
    int GetSubSuperscript() const;  // 0 none, 1 subscript, 2 superscript
    void SetSubSuperscript(int value);
    double GetOffset() const;
    void SetOffset(double points);
    double GetSpacing() const;
    void SetSpacing(double points);
    double GetKerning() const;
    void SetKerning(double points);
    int GetUnderlineType() const;
    void SetUnderlineType(int type);
    int GetAnimation() const;
    void SetAnimation(int animation);
    bool GetBold() const { return GetEffect(CFE_BOLD); }
    void SetBold(bool on) { SetEffect(CFE_BOLD, on); }
    bool GetItalic() const { return GetEffect(CFE_ITALIC); }
    void SetItalic(bool on) { SetEffect(CFE_ITALIC, on); }
    bool GetStrikeOut() const { return GetEffect(CFE_STRIKEOUT); }
    void SetStrikeOut(bool on) { SetEffect(CFE_STRIKEOUT, on); }
    bool GetLink() const { return GetEffect(CFE_LINK); }
    void SetLink(bool on) { SetEffect(CFE_LINK, on); }
    bool GetSmallCaps() const { return GetEffect(CFE_SMALLCAPS); }
    void SetSmallCaps(bool on) { SetEffect(CFE_SMALLCAPS, on); }
    bool GetAllCaps() const { return GetEffect(CFE_ALLCAPS); }
    void SetAllCaps(bool on) { SetEffect(CFE_ALLCAPS, on); }
    bool GetHidden() const { return GetEffect(CFE_HIDDEN); }
    void SetHidden(bool on) { SetEffect(CFE_HIDDEN, on); }
    bool GetOutline() const { return GetEffect(CFE_OUTLINE); }
    void SetOutline(bool on) { SetEffect(CFE_OUTLINE, on); }
    bool GetShadow() const { return GetEffect(CFE_SHADOW); }
    void SetShadow(bool on) { SetEffect(CFE_SHADOW, on); }
    bool GetEmboss() const { return GetEffect(CFE_EMBOSS); }
    void SetEmboss(bool on) { SetEffect(CFE_EMBOSS, on); }
    bool GetImprint() const { return GetEffect(CFE_IMPRINT); }
    void SetImprint(bool on) { SetEffect(CFE_IMPRINT, on); }
    // The owner's style number of the text, kept by the window unchanged.
    int16_t GetCharStyle() const;
    void SetCharStyle(int16_t style);
    TStyleSet98 GetStyle() const;
    void SetStyle(TStyleSet98 style);

    // Attribute by attribute, each its own write.
    void Assign(const TTextAttributes98& source);
    void Assign(const TCanvasFont& font);
    void AssignTo(TCanvasFont& font) const;

private:
    bool GetEffect(uint32_t effect) const;
    void SetEffect(uint32_t effect, bool on);
    CHARFORMAT2W Read() const;
    void Write(uint32_t mask, const std::function<void(CHARFORMAT2W&)>& fill);
    TCustomRichEdit98& richEdit_;
    TAttributeType kind_;
    mutable uint32_t lastMask_ = 0;
};

// Paragraph attributes of the selected paragraphs; indents in points.
class TParaAttributes98 {
public:
    explicit TParaAttributes98(TCustomRichEdit98& richEdit) : richEdit_(richEdit) {}
    TAlignment98 GetAlignment() const;
    void SetAlignment(TAlignment98 alignment);
    int GetFirstIndent() const;
    void SetFirstIndent(int points);
    int GetLeftIndent() const;
    void SetLeftIndent(int points);
    int GetRightIndent() const;
    void SetRightIndent(int points);
    TNumberingStyle GetNumbering() const;
    void SetNumbering(TNumberingStyle numbering);
    int GetTab(int index) const;
    void SetTab(int index, int points);
    int GetTabCount() const;
    void SetTabCount(int count);
    PARAFORMAT2 GetParaFormat() const;
    void SetParaFormat(PARAFORMAT2& format);
    void Assign(const TParaAttributes98& source);

private:
    TCustomRichEdit98& richEdit_;
};

// Chunks of a stream as they go to and come from the window; the plain
// conversion passes them unchanged.
class TConversion {
public:
    virtual ~TConversion() = default;
    virtual int ConvertReadStream(TStream& stream, uint8_t* buffer, int count) {
        return static_cast<int>(stream.Read(buffer, count));
    }
    virtual int ConvertWriteStream(TStream& stream, const uint8_t* buffer, int count) {
        return static_cast<int>(stream.Write(buffer, count));
    }
};
using TConversionMaker = std::function<std::unique_ptr<TConversion>()>;
// By file extension without its dot, lower case ("rtf" and "txt" are there).
void RegisterConversionFormat(const std::string& extension, TConversionMaker maker);

// The ANSI lines: paragraphs through the control's code page, and the whole
// text loaded and saved in the control's stream formats.
class TRichEditStrings98 {
public:
    explicit TRichEditStrings98(TCustomRichEdit98& richEdit) : richEdit_(richEdit) {}
    std::string Get(int index) const;
    int GetCount() const;
    void Put(int index, const std::string& text);
    void Insert(int index, const std::string& text);
    int Add(const std::string& text);
    void Delete(int index);
    void Clear();
    // Lines end at CR, LF or CR LF.
    void SetTextStr(const std::string& text);
    std::string GetTextStr() const;
    void BeginUpdate();
    void EndUpdate();
    void LoadFromStream(TStream& stream);
    void SaveToStream(TStream& stream);
    void LoadFromFile(const std::string& fileName);
    void SaveToFile(const std::string& fileName);
    TConversion* Converter() const { return converter_.get(); }

private:
    TCustomRichEdit98& richEdit_;
    std::unique_ptr<TConversion> converter_;
    int updating_ = 0;
};

// The wide lines, read and written straight on the window.
class TWideRichEditStrings98 : public WStrList::TWideStrings {
public:
    explicit TWideRichEditStrings98(TCustomRichEdit98& richEdit) : richEdit_(richEdit) {}
    WideString Get(int index) const override;
    int GetCount() const override;
    void Put(int index, const WideString& text) override;
    void SetTextStr(const WideString& text) override;
    void SetUpdateState(bool updating) override;
    void SetLocale(TLanguage locale) override;
    void AddStrings(const WStrList::TWideStrings& strings) override;
    void Clear() override;
    void Delete(int index) override;
    void Insert(int index, const WideString& text) override;
    void LoadFromFile(const std::string& fileName) override;
    void LoadFromStream(TStream& stream) override;
    void SaveToFile(const std::string& fileName) const override;
    void SaveToStream(TStream& stream) const override;

private:
    TCustomRichEdit98& richEdit_;
};

// A link scheme and how its links look.
struct TURLType {
    std::string Name;  // without its colon; the first type is the e-mail type
    TColor Color = clWindowText98;  // clWindowText98: the control's URLColor
    TCursor Cursor = 0;              // 0: the control's URLCursor
    bool Underline = true;
};

class TURLCollection {
public:
    int Count() const { return static_cast<int>(items_.size()); }
    TURLType& Items(int index) { return items_.at(static_cast<size_t>(index)); }
    const TURLType& Items(int index) const { return items_.at(static_cast<size_t>(index)); }
    void Clear() { items_.clear(); }
    // Updates the type of that exact name, else appends one.
    void AddOrUpdate(const std::string& name, TColor color, bool underline, TCursor cursor);
    void AddDefaultTypes();

private:
    std::vector<TURLType> items_;
};

using TURLEvent = std::function<void(TComponent* sender, const WideString& url)>;
using TRichEditProgressEvent = std::function<void(TComponent* sender, int64_t position, int64_t size)>;

class TCustomRichEdit98 : public TStandardControl {
public:
    explicit TCustomRichEdit98(TComponent* owner);
    ~TCustomRichEdit98() override;

    TTextAttributes98& SelAttributes() { return *selAttributes_; }
    TTextAttributes98& DefAttributes() { return *defAttributes_; }
    TParaAttributes98& Paragraph() { return *paragraph_; }
    TRichEditStrings98& Lines() { return *lines_; }
    TWideRichEditStrings98& WideLines() { return *wideLines_; }
    TURLCollection& CustomURLs() { return customURLs_; }
    void SetCustomURLs(const TURLCollection& urls);

    // The whole text; paragraphs end in one CR.
    WideString GetWideText() const;
    void SetWideText(const WideString& text);
    // The ANSI text, through CodePage.
    std::string GetText() const override;
    void SetText(const std::string& text) override;

    int GetSelStart() const;
    void SetSelStart(int start);
    int GetSelLength() const;
    void SetSelLength(int length);
    WideString GetSelText() const;
    // Replaces the selection; it can always be undone.
    void SetSelText(const WideString& text);
    void SelectAll();
    virtual void Clear();
    bool CanUndo() const;
    void Undo();
    void ClearUndo();
    void CopyToClipboard() { SendClassMessage(WM_COPY); }
    void CutToClipboard() { SendClassMessage(WM_CUT); }
    void PasteFromClipboard() { SendClassMessage(WM_PASTE); }

    // A class message straight to the window (0 without one).
    intptr_t SendToWindow(uint32_t msg, intptr_t wParam = 0, intptr_t lParam = 0) const;

    TURLDetect AutoURLDetect() const { return autoURLDetect_; }
    void SetAutoURLDetect(TURLDetect detect);
    TColor URLColor = 0xFF0000;
    TCursor URLCursor = crHandPoint;
    TLanguage Language() const { return language_; }
    void SetLanguage(TLanguage language);
    unsigned CodePage() const { return codePage_; }
    TLangOptions LangOptions() const { return langOptions_; }
    void SetLangOptions(TLangOptions options);
    bool ShowSelectionBar() const { return showSelectionBar_; }
    void SetShowSelectionBar(bool show);
    bool WordFormatting = true;
    int UndoLimit() const { return undoLimit_; }
    void SetUndoLimit(int limit);
    TInputFormat InputFormat = ifRTF;
    TOutputFormat OutputFormat = ofRTF;
    bool SelectedInOut = false;
    bool PlainRTF = false;
    bool IncludeOLE = false;  // kept; nothing is embedded here
    bool AutoVerbMenu = true;
    bool AllowInPlace = false;
    int MaxLength() const { return maxLength_; }
    void SetMaxLength(int length);
    bool ReadOnly() const { return readOnly_; }
    void SetReadOnly(bool readOnly);
    bool WordWrap() const { return wordWrap_; }
    void SetWordWrap(bool wrap);
    TScrollStyle ScrollBars() const { return scrollBars_; }
    void SetScrollBars(TScrollStyle bars);
    TCanvasFont Font;
    // The font changed: the default attributes follow it.
    void FontChanged();

    TNotifyEvent OnChange;
    TNotifyEvent OnSelectionChange;
    TURLEvent OnURLClick, OnURLMove;
    TRichEditProgressEvent OnLoadProgress, OnSaveProgress;

    // The form-file property "RTF": written only when there is text.
    bool HasRTFProperty() const { return SendToWindow(WM_GETTEXTLENGTH) > 0; }
    std::string WriteRTFProperty();
    void ReadRTFProperty(const std::string& value);

    // The extended scanner over a range of characters (widened to words).
    void ScanURLs(int start, int end);
    void BeginScan();
    void EndScan();

protected:
    void CreateParams(TCreateParams& params) override;
    void CreateWnd() override;
    void DestroyWnd() override;

private:
    friend class TRichEditStrings98;
    friend class TWideRichEditStrings98;
    void StreamIn(TStream& stream, TConversion& converter);
    void StreamOut(TStream& stream, TConversion& converter);
    void Changed();
    void LinkNotified(const ENLINK& link);
    // Runs f with OnChange and OnSelectionChange detached.
    void Detached(const std::function<void()>& f);

    std::unique_ptr<TTextAttributes98> selAttributes_, defAttributes_;
    std::unique_ptr<TParaAttributes98> paragraph_;
    std::unique_ptr<TRichEditStrings98> lines_;
    std::unique_ptr<TWideRichEditStrings98> wideLines_;
    TURLCollection customURLs_;
    TURLDetect autoURLDetect_ = adNone;
    TLanguage language_ = 0;
    unsigned codePage_ = 1252;
    TLangOptions langOptions_ = loAutoFont;
    bool showSelectionBar_ = false;
    int undoLimit_ = 100;
    int maxLength_ = 0;
    bool readOnly_ = false;
    bool wordWrap_ = true;
    TScrollStyle scrollBars_ = ssNone;
    WideString pendingText_;  // the text while there is no window
    int scanDepth_ = 0;
    CHARRANGE scanSelection_{};
    int scanFirstLine_ = 0;
    TNotifyEvent savedOnChange_, savedOnSelectionChange_;
    CHARRANGE lastScanned_{0, 0};
    bool scanning_ = false;
};

class TRichEdit98 : public TCustomRichEdit98 {
public:
    explicit TRichEdit98(TComponent* owner) : TCustomRichEdit98(owner) {}
};
