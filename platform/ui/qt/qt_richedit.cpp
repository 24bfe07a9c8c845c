// The rich-edit window class "RICHEDIT20W" on a QTextEdit. Character
// positions are those of the QTextDocument: a block separator is the one CR
// that ends a paragraph, a line separator the 0x0B of a line break. What Qt's
// character format has no field for (the owner's style number, the
// underline type, the link effect, the locale, ...) travels as user
// properties of the format, and indents keep their twips in user
// properties beside the margins Qt draws with. RTF goes through the reader
// and writer of platform/rtf.h; the window's own URL detection marks
// addresses without touching the document (they are drawn as extra
// selections).
#include <QtCore/QRegularExpression>
#include <QtGui/QAbstractTextDocumentLayout>
#include <QtGui/QTextBlock>
#include <QtGui/QTextCursor>
#include <QtGui/QTextDocument>
#include <QtGui/QTextList>
#include <QtWidgets/QScrollBar>
#include <QtWidgets/QTextEdit>
#include <cmath>
#include <cstring>

#include "platform/codepage.h"
#include "platform/rtf.h"
#include "platform/ui/qt/qt_backend.h"
#include "platform/ui/qt/qt_widget_class.h"
#include "platform/ui/richedit.h"

namespace {

enum TCharProperty : int {
    kStyle = QTextFormat::UserProperty + 1,
    kUnderlineType,
    kLink,
    kLcid,
    kOffset,
    kSpacing,
    kKerning,
    kAnimation,
    kProtected,
    kHidden,
    kOutline,
    kShadow,
    kEmboss,
    kImprint,
    kCharSet,
    kPitch,
};

enum TBlockProperty : int {
    kStartIndent = QTextFormat::UserProperty + 40,
    kRightIndent,
    kParaOffset,
    kNumbering,
    kNumberingStart,
};

// Twips per layout pixel (96 per inch).
constexpr double kTwipsPerPixel = 15.0;

QColor FromColorRef(uint32_t colour) { return QColor(colour & 0xFF, (colour >> 8) & 0xFF, (colour >> 16) & 0xFF); }
uint32_t ToColorRef(const QColor& colour) {
    return static_cast<uint32_t>(colour.red()) | static_cast<uint32_t>(colour.green()) << 8 |
           static_cast<uint32_t>(colour.blue()) << 16;
}

// The text as the window reports it: CR between paragraphs, 0x0B for a
// line break.
QString WindowText(QString text) {
    for (QChar& c : text) {
        if (c == QChar::ParagraphSeparator) c = u'\r';
        else if (c == QChar::LineSeparator) c = QChar(0x0B);
    }
    return text;
}

// Text to insert: 0x0B becomes a line break (CR, LF and CR LF end
// paragraphs when inserted).
QString DocumentText(QString text) {
    for (QChar& c : text)
        if (c == QChar(0x0B)) c = QChar::LineSeparator;
    return text;
}

struct TEffectProperty {
    uint32_t Effect;
    int Property;
};
const TEffectProperty kEffectProperties[] = {
    {CFE_PROTECTED, kProtected}, {CFE_LINK, kLink},       {CFE_HIDDEN, kHidden},  {CFE_OUTLINE, kOutline},
    {CFE_SHADOW, kShadow},       {CFE_EMBOSS, kEmboss},   {CFE_IMPRINT, kImprint},
};

CHARFORMAT2W ToCharFormat(const QTextCharFormat& f, const QFont& base) {
    CHARFORMAT2W cf;
    cf.dwMask = 0xFFFFFFFF & ~CFM_CHARSET;
    const int weight = f.hasProperty(QTextFormat::FontWeight) ? f.fontWeight() : base.weight();
    cf.wWeight = static_cast<uint16_t>(weight);
    if (weight >= QFont::DemiBold) cf.dwEffects |= CFE_BOLD;
    if (f.hasProperty(QTextFormat::FontItalic) ? f.fontItalic() : base.italic()) cf.dwEffects |= CFE_ITALIC;
    if (f.fontStrikeOut()) cf.dwEffects |= CFE_STRIKEOUT;
    if (f.fontUnderline()) {
        cf.dwEffects |= CFE_UNDERLINE;
        cf.bUnderlineType = f.hasProperty(kUnderlineType) ? static_cast<uint8_t>(f.intProperty(kUnderlineType)) : 1;
    }
    for (const TEffectProperty& e : kEffectProperties)
        if (f.boolProperty(e.Property)) cf.dwEffects |= e.Effect;
    if (f.fontCapitalization() == QFont::SmallCaps) cf.dwEffects |= CFE_SMALLCAPS;
    if (f.fontCapitalization() == QFont::AllUppercase) cf.dwEffects |= CFE_ALLCAPS;
    if (f.verticalAlignment() == QTextCharFormat::AlignSubScript) cf.dwEffects |= CFE_SUBSCRIPT;
    if (f.verticalAlignment() == QTextCharFormat::AlignSuperScript) cf.dwEffects |= CFE_SUPERSCRIPT;
    const double points = f.hasProperty(QTextFormat::FontPointSize) ? f.fontPointSize() : base.pointSizeF();
    cf.yHeight = static_cast<int32_t>(std::lround(points * 20));
    const QStringList families = f.fontFamilies().toStringList();
    const QString face = families.isEmpty() ? base.family() : families.first();
    const std::u16string wide = face.left(31).toStdU16String();
    std::copy(wide.begin(), wide.end(), cf.szFaceName);
    if (f.hasProperty(QTextFormat::ForegroundBrush)) cf.crTextColor = ToColorRef(f.foreground().color());
    else cf.dwEffects |= CFE_AUTOCOLOR;
    if (f.hasProperty(QTextFormat::BackgroundBrush)) cf.crBackColor = ToColorRef(f.background().color());
    else cf.dwEffects |= CFE_AUTOBACKCOLOR;
    cf.lcid = static_cast<uint32_t>(f.intProperty(kLcid));
    cf.yOffset = f.intProperty(kOffset);
    cf.sSpacing = static_cast<int16_t>(f.intProperty(kSpacing));
    cf.wKerning = static_cast<uint16_t>(f.intProperty(kKerning));
    cf.bAnimation = static_cast<uint8_t>(f.intProperty(kAnimation));
    cf.sStyle = static_cast<int16_t>(f.intProperty(kStyle));
    cf.bCharSet = static_cast<uint8_t>(f.intProperty(kCharSet));
    cf.bPitchAndFamily = static_cast<uint8_t>(f.intProperty(kPitch));
    return cf;
}

// The mask bits of the attributes that two formats share.
uint32_t SameAttributes(const CHARFORMAT2W& a, const CHARFORMAT2W& b) {
    uint32_t same = 0xFFFFFFFF & ~CFM_CHARSET;
    const uint32_t effects = a.dwEffects ^ b.dwEffects;
    same &= ~(effects & 0x1FFF);  // the effect bits are their own mask bits
    if (effects & (CFE_SUBSCRIPT | CFE_SUPERSCRIPT)) same &= ~CFM_SUBSCRIPT;
    if ((effects & CFE_AUTOCOLOR) || a.crTextColor != b.crTextColor) same &= ~CFM_COLOR;
    if ((effects & CFE_AUTOBACKCOLOR) || a.crBackColor != b.crBackColor) same &= ~CFM_BACKCOLOR;
    if (a.yHeight != b.yHeight) same &= ~CFM_SIZE;
    if (std::memcmp(a.szFaceName, b.szFaceName, sizeof a.szFaceName) != 0) same &= ~CFM_FACE;
    if (a.wWeight != b.wWeight) same &= ~CFM_WEIGHT;
    if (a.lcid != b.lcid) same &= ~CFM_LCID;
    if (a.yOffset != b.yOffset) same &= ~CFM_OFFSET;
    if (a.sSpacing != b.sSpacing) same &= ~CFM_SPACING;
    if (a.wKerning != b.wKerning) same &= ~CFM_KERNING;
    if (a.bAnimation != b.bAnimation) same &= ~CFM_ANIMATION;
    if (a.sStyle != b.sStyle) same &= ~CFM_STYLE;
    if (a.bUnderlineType != b.bUnderlineType) same &= ~CFM_UNDERLINETYPE;
    return same;
}

void SetOrClear(QTextCharFormat& f, int property, bool on) {
    if (on) f.setProperty(property, true);
    else f.clearProperty(property);
}

// Writes the attributes of the mask into a format; the others stay.
void ApplyCharFormat(const CHARFORMAT2W& cf, QTextCharFormat& f) {
    const uint32_t m = cf.dwMask;
    if (m & CFM_WEIGHT) f.setFontWeight(cf.wWeight);
    if (m & CFM_BOLD) f.setFontWeight((cf.dwEffects & CFE_BOLD) ? QFont::Bold : QFont::Normal);
    if (m & CFM_ITALIC) f.setFontItalic(cf.dwEffects & CFE_ITALIC);
    if (m & CFM_STRIKEOUT) f.setFontStrikeOut(cf.dwEffects & CFE_STRIKEOUT);
    uint8_t underline = 0xFF;
    if (m & CFM_UNDERLINE) underline = (cf.dwEffects & CFE_UNDERLINE) ? 1 : 0;
    if (m & CFM_UNDERLINETYPE) underline = cf.bUnderlineType;
    if (underline != 0xFF) {
        f.setFontUnderline(underline != 0);
        f.setUnderlineStyle(underline == 0 ? QTextCharFormat::NoUnderline
                            : underline == CFU_UNDERLINEDOTTED ? QTextCharFormat::DotLine
                                                              : QTextCharFormat::SingleUnderline);
        if (underline != 0) f.setProperty(kUnderlineType, underline);
        else f.clearProperty(kUnderlineType);
    }
    for (const TEffectProperty& e : kEffectProperties)
        if (m & e.Effect) SetOrClear(f, e.Property, cf.dwEffects & e.Effect);
    if (m & CFM_LINK) {
        f.setAnchor(cf.dwEffects & CFE_LINK);
        if (!(cf.dwEffects & CFE_LINK)) f.clearProperty(QTextFormat::IsAnchor);
    }
    if (m & (CFM_SMALLCAPS | CFM_ALLCAPS)) {
        const bool small = (m & CFM_SMALLCAPS) ? (cf.dwEffects & CFE_SMALLCAPS) : f.fontCapitalization() == QFont::SmallCaps;
        const bool all = (m & CFM_ALLCAPS) ? (cf.dwEffects & CFE_ALLCAPS) : f.fontCapitalization() == QFont::AllUppercase;
        f.setFontCapitalization(all ? QFont::AllUppercase : small ? QFont::SmallCaps : QFont::MixedCase);
    }
    if (m & CFM_SUBSCRIPT)
        f.setVerticalAlignment((cf.dwEffects & CFE_SUBSCRIPT)     ? QTextCharFormat::AlignSubScript
                               : (cf.dwEffects & CFE_SUPERSCRIPT) ? QTextCharFormat::AlignSuperScript
                                                                  : QTextCharFormat::AlignNormal);
    if ((m & CFM_SIZE) && cf.yHeight > 0) f.setFontPointSize(cf.yHeight / 20.0);
    if (m & CFM_FACE) {
        size_t length = 0;
        while (length < 31 && cf.szFaceName[length]) ++length;
        f.setFontFamilies(QStringList{QString::fromUtf16(cf.szFaceName, static_cast<qsizetype>(length))});
    }
    if (m & CFM_COLOR) {
        if (cf.dwEffects & CFE_AUTOCOLOR) f.clearForeground();
        else f.setForeground(FromColorRef(cf.crTextColor));
    }
    if (m & CFM_BACKCOLOR) {
        if (cf.dwEffects & CFE_AUTOBACKCOLOR) f.clearBackground();
        else f.setBackground(FromColorRef(cf.crBackColor));
    }
    if (m & CFM_LCID) f.setProperty(kLcid, static_cast<int>(cf.lcid));
    if (m & CFM_OFFSET) f.setProperty(kOffset, cf.yOffset);
    if (m & CFM_SPACING) {
        f.setProperty(kSpacing, cf.sSpacing);
        f.setFontLetterSpacingType(QFont::AbsoluteSpacing);
        f.setFontLetterSpacing(cf.sSpacing / kTwipsPerPixel);
    }
    if (m & CFM_KERNING) f.setProperty(kKerning, cf.wKerning);
    if (m & CFM_ANIMATION) f.setProperty(kAnimation, cf.bAnimation);
    if (m & CFM_STYLE) f.setProperty(kStyle, cf.sStyle);
    if (m & CFM_CHARSET) f.setProperty(kCharSet, cf.bCharSet);
}

CHARFORMAT2W FromRtf(const TRtfCharFormat& r) {
    CHARFORMAT2W cf;
    cf.dwMask = CFM_BOLD | CFM_ITALIC | CFM_STRIKEOUT | CFM_UNDERLINETYPE | CFM_SUBSCRIPT | CFM_SIZE | CFM_COLOR |
                CFM_BACKCOLOR | CFM_STYLE | (r.FaceName.empty() ? 0 : CFM_FACE);
    if (r.Bold) cf.dwEffects |= CFE_BOLD;
    if (r.Italic) cf.dwEffects |= CFE_ITALIC;
    if (r.StrikeOut) cf.dwEffects |= CFE_STRIKEOUT;
    if (r.SubSuperscript == 1) cf.dwEffects |= CFE_SUBSCRIPT;
    if (r.SubSuperscript == 2) cf.dwEffects |= CFE_SUPERSCRIPT;
    if (r.AutoColor) cf.dwEffects |= CFE_AUTOCOLOR;
    if (r.AutoBackColor) cf.dwEffects |= CFE_AUTOBACKCOLOR;
    cf.bUnderlineType = r.Underline;
    cf.yHeight = r.Height;
    cf.crTextColor = r.Color;
    cf.crBackColor = r.BackColor;
    cf.sStyle = r.Style;
    const std::u16string face = r.FaceName.substr(0, 31);
    std::copy(face.begin(), face.end(), cf.szFaceName);
    return cf;
}

TRtfCharFormat ToRtf(const CHARFORMAT2W& cf) {
    TRtfCharFormat r;
    r.Bold = cf.dwEffects & CFE_BOLD;
    r.Italic = cf.dwEffects & CFE_ITALIC;
    r.StrikeOut = cf.dwEffects & CFE_STRIKEOUT;
    r.Underline = (cf.dwEffects & CFE_UNDERLINE) ? cf.bUnderlineType : 0;
    r.SubSuperscript = (cf.dwEffects & CFE_SUBSCRIPT) ? 1 : (cf.dwEffects & CFE_SUPERSCRIPT) ? 2 : 0;
    r.Height = cf.yHeight;
    r.FaceName = cf.szFaceName;
    r.AutoColor = cf.dwEffects & CFE_AUTOCOLOR;
    r.Color = r.AutoColor ? 0 : cf.crTextColor;
    r.AutoBackColor = cf.dwEffects & CFE_AUTOBACKCOLOR;
    r.BackColor = r.AutoBackColor ? 0 : cf.crBackColor;
    r.Style = cf.sStyle;
    return r;
}

QTextListFormat::Style ListStyle(int numbering) {
    switch (numbering) {
        case PFN_ARABIC: return QTextListFormat::ListDecimal;
        case PFN_LCLETTER: return QTextListFormat::ListLowerAlpha;
        case PFN_UCLETTER: return QTextListFormat::ListUpperAlpha;
        case PFN_LCROMAN: return QTextListFormat::ListLowerRoman;
        case PFN_UCROMAN: return QTextListFormat::ListUpperRoman;
        default: return QTextListFormat::ListDisc;
    }
}

PARAFORMAT2 ToParaFormat(const QTextBlockFormat& f) {
    PARAFORMAT2 pf;
    pf.dwMask = PFM_STARTINDENT | PFM_RIGHTINDENT | PFM_OFFSET | PFM_ALIGNMENT | PFM_TABSTOPS | PFM_NUMBERING |
                PFM_SPACEBEFORE | PFM_SPACEAFTER | PFM_NUMBERINGSTART;
    const Qt::Alignment a = f.alignment() & Qt::AlignHorizontal_Mask;
    pf.wAlignment = (a & Qt::AlignJustify) ? PFA_JUSTIFY
                    : (a & Qt::AlignHCenter) ? PFA_CENTER
                    : (a & (Qt::AlignRight | Qt::AlignTrailing)) ? PFA_RIGHT
                                                                 : PFA_LEFT;
    pf.dxStartIndent = f.intProperty(kStartIndent);
    pf.dxRightIndent = f.intProperty(kRightIndent);
    pf.dxOffset = f.intProperty(kParaOffset);
    pf.wNumbering = static_cast<uint16_t>(f.intProperty(kNumbering));
    pf.wNumberingStart = static_cast<uint16_t>(f.intProperty(kNumberingStart));
    pf.dySpaceBefore = static_cast<int32_t>(std::lround(f.topMargin() * kTwipsPerPixel));
    pf.dySpaceAfter = static_cast<int32_t>(std::lround(f.bottomMargin() * kTwipsPerPixel));
    const QList<QTextOption::Tab> tabs = f.tabPositions();
    for (const QTextOption::Tab& tab : tabs) {
        if (pf.cTabCount >= MAX_TAB_STOPS) break;
        pf.rgxTabs[pf.cTabCount++] = static_cast<int32_t>(std::lround(tab.position * kTwipsPerPixel));
    }
    return pf;
}

uint32_t SameParagraph(const PARAFORMAT2& a, const PARAFORMAT2& b) {
    uint32_t same = a.dwMask;
    if (a.wAlignment != b.wAlignment) same &= ~PFM_ALIGNMENT;
    if (a.dxStartIndent != b.dxStartIndent) same &= ~PFM_STARTINDENT;
    if (a.dxRightIndent != b.dxRightIndent) same &= ~PFM_RIGHTINDENT;
    if (a.dxOffset != b.dxOffset) same &= ~PFM_OFFSET;
    if (a.wNumbering != b.wNumbering) same &= ~PFM_NUMBERING;
    if (a.wNumberingStart != b.wNumberingStart) same &= ~PFM_NUMBERINGSTART;
    if (a.dySpaceBefore != b.dySpaceBefore) same &= ~PFM_SPACEBEFORE;
    if (a.dySpaceAfter != b.dySpaceAfter) same &= ~PFM_SPACEAFTER;
    if (a.cTabCount != b.cTabCount || std::memcmp(a.rgxTabs, b.rgxTabs, sizeof a.rgxTabs) != 0) same &= ~PFM_TABSTOPS;
    return same;
}

void ApplyParaFormat(const PARAFORMAT2& pf, QTextBlockFormat& f) {
    const uint32_t m = pf.dwMask;
    if (m & PFM_ALIGNMENT) {
        switch (pf.wAlignment) {
            case PFA_RIGHT: f.setAlignment(Qt::AlignRight | Qt::AlignAbsolute); break;
            case PFA_CENTER: f.setAlignment(Qt::AlignHCenter); break;
            case PFA_JUSTIFY: f.setAlignment(Qt::AlignJustify); break;
            default: f.setAlignment(Qt::AlignLeft | Qt::AlignAbsolute); break;
        }
    }
    if (m & PFM_STARTINDENT)
        f.setProperty(kStartIndent, (m & PFM_OFFSETINDENT) ? f.intProperty(kStartIndent) + pf.dxStartIndent : pf.dxStartIndent);
    if (m & PFM_RIGHTINDENT) f.setProperty(kRightIndent, pf.dxRightIndent);
    if (m & PFM_OFFSET) f.setProperty(kParaOffset, pf.dxOffset);
    if (m & PFM_NUMBERING) f.setProperty(kNumbering, static_cast<int>(pf.wNumbering));
    if (m & PFM_NUMBERINGSTART) f.setProperty(kNumberingStart, static_cast<int>(pf.wNumberingStart));
    if (m & PFM_SPACEBEFORE) f.setTopMargin(pf.dySpaceBefore / kTwipsPerPixel);
    if (m & PFM_SPACEAFTER) f.setBottomMargin(pf.dySpaceAfter / kTwipsPerPixel);
    if (m & PFM_TABSTOPS) {
        QList<QTextOption::Tab> tabs;
        for (int i = 0; i < std::clamp<int>(pf.cTabCount, 0, MAX_TAB_STOPS); ++i)
            tabs.append(QTextOption::Tab(pf.rgxTabs[i] / kTwipsPerPixel, QTextOption::LeftTab));
        f.setTabPositions(tabs);
    }
    // What Qt draws: the first line at the start indent, the others offset
    // from it.
    const int start = f.intProperty(kStartIndent), offset = f.intProperty(kParaOffset);
    f.setLeftMargin(std::max(0, start + offset) / kTwipsPerPixel);
    f.setTextIndent(-offset / kTwipsPerPixel);
    f.setRightMargin(std::max(0, f.intProperty(kRightIndent)) / kTwipsPerPixel);
}

PARAFORMAT2 FromRtf(const TRtfParagraph& p) {
    PARAFORMAT2 pf;
    pf.dwMask = PFM_STARTINDENT | PFM_RIGHTINDENT | PFM_OFFSET | PFM_ALIGNMENT | PFM_TABSTOPS | PFM_NUMBERING;
    pf.wAlignment = p.Alignment == TRtfAlignment::Right    ? PFA_RIGHT
                    : p.Alignment == TRtfAlignment::Center  ? PFA_CENTER
                    : p.Alignment == TRtfAlignment::Justify ? PFA_JUSTIFY
                                                            : PFA_LEFT;
    // RTF indents every line by \li and the first by \fi more.
    pf.dxStartIndent = p.LeftIndent + p.FirstIndent;
    pf.dxOffset = -p.FirstIndent;
    pf.dxRightIndent = p.RightIndent;
    pf.wNumbering = p.Numbering;
    for (int32_t tab : p.Tabs)
        if (pf.cTabCount < MAX_TAB_STOPS) pf.rgxTabs[pf.cTabCount++] = tab;
    return pf;
}

TRtfParagraph ToRtf(const PARAFORMAT2& pf) {
    TRtfParagraph p;
    p.Alignment = pf.wAlignment == PFA_RIGHT    ? TRtfAlignment::Right
                  : pf.wAlignment == PFA_CENTER  ? TRtfAlignment::Center
                  : pf.wAlignment == PFA_JUSTIFY ? TRtfAlignment::Justify
                                                 : TRtfAlignment::Left;
    p.LeftIndent = pf.dxStartIndent + pf.dxOffset;
    p.FirstIndent = -pf.dxOffset;
    p.RightIndent = pf.dxRightIndent;
    p.Numbering = pf.wNumbering;
    p.Tabs.assign(pf.rgxTabs, pf.rgxTabs + std::clamp<int>(pf.cTabCount, 0, MAX_TAB_STOPS));
    return p;
}

// A stream's bytes, chunk by chunk from the caller's callback.
bool ReadStream(EDITSTREAM& stream, std::string& bytes) {
    if (!stream.pfnCallback) return false;
    uint8_t buffer[4096];
    for (;;) {
        int32_t done = 0;
        const uint32_t error = stream.pfnCallback(stream.dwCookie, buffer, sizeof buffer, &done);
        if (error != 0) {
            stream.dwError = error;
            return false;
        }
        if (done <= 0) return true;
        bytes.append(reinterpret_cast<const char*>(buffer), static_cast<size_t>(std::min<int32_t>(done, sizeof buffer)));
    }
}

bool WriteStream(EDITSTREAM& stream, const std::string& bytes) {
    if (!stream.pfnCallback) return false;
    size_t at = 0;
    while (at < bytes.size()) {
        std::string chunk = bytes.substr(at, 4096);
        int32_t done = 0;
        const uint32_t error = stream.pfnCallback(stream.dwCookie, reinterpret_cast<uint8_t*>(chunk.data()),
                                                  static_cast<int32_t>(chunk.size()), &done);
        if (error != 0) {
            stream.dwError = error;
            return false;
        }
        if (done <= 0) {
            stream.dwError = 1;
            return false;
        }
        at += static_cast<size_t>(done);
    }
    return true;
}

// Copies text into a caller's buffer of room characters, NUL-terminated;
// the count of characters copied.
intptr_t CopyOut(const QString& text, char16_t* buffer, qsizetype room) {
    if (!buffer || room <= 0) return 0;
    const qsizetype count = std::min(text.size(), room - 1);
    std::memcpy(buffer, text.utf16(), static_cast<size_t>(count) * 2);
    buffer[count] = 0;
    return count;
}

class TQtRichEdit : public QTextEdit {
public:
    TQtRichEdit(TWinControl& control, QWidget* parent) : QTextEdit(parent), control_(control) {
        setAcceptRichText(false);
        setUndoRedoEnabled(true);
        setReadOnly(control.Params().Style & ES_READONLY);
        defaultFormat_.setFontFamilies(QStringList{document()->defaultFont().family()});
        defaultFormat_.setFontPointSize(10);
        document()->setDefaultFont(QFont(document()->defaultFont().family(), 10));
        viewport()->setMouseTracking(true);
        viewport()->installEventFilter(this);
        connect(this, &QTextEdit::textChanged, this, [this] { TextChanged(); });
        connect(this, &QTextEdit::cursorPositionChanged, this, [this] { SelectionChanged(); });
        connect(this, &QTextEdit::selectionChanged, this, [this] { SelectionChanged(); });
    }
    ~TQtRichEdit() override {
        dying_ = true;
        disconnect(this, nullptr, this, nullptr);
    }

    void SetText(const std::u16string& text) {
        ReplaceAll([&](QTextCursor& cursor) { cursor.insertText(DocumentText(ToQString(text)), defaultFormat_); });
    }
    std::u16string Text() const { return FromQString(WindowText(document()->toRawText())); }

    intptr_t ClassProc(uint32_t msg, intptr_t wParam, intptr_t lParam);

protected:
    void keyPressEvent(QKeyEvent* event) override {
        PassKeyThroughControl(control_, event, [this](QKeyEvent* key) {
            if (!key->text().isEmpty() && key->text().at(0).isPrint() && Room() < key->text().size()) {
                key->accept();
                return;
            }
            QTextEdit::keyPressEvent(key);
        });
    }

    void insertFromMimeData(const QMimeData* source) override {
        if (!source->hasText()) return;
        QString text = source->text();
        text.truncate(std::max<qsizetype>(0, Room()));
        textCursor().insertText(text);
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == viewport() && !dying_) {
            switch (event->type()) {
                case QEvent::MouseMove: MouseOverLink(static_cast<QMouseEvent*>(event), WM_MOUSEMOVE); break;
                case QEvent::MouseButtonPress:
                    if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton)
                        MouseOverLink(static_cast<QMouseEvent*>(event), WM_LBUTTONDOWN);
                    break;
                case QEvent::MouseButtonRelease:
                    if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton)
                        MouseOverLink(static_cast<QMouseEvent*>(event), WM_LBUTTONUP);
                    break;
                default: break;
            }
        }
        return QTextEdit::eventFilter(watched, event);
    }

private:
    int Length() const { return document()->characterCount() - 1; }
    qsizetype Room() const {
        const QTextCursor cursor = textCursor();
        return static_cast<qsizetype>(limit_) - (Length() - (cursor.selectionEnd() - cursor.selectionStart()));
    }
    int Clamp(intptr_t position) const {
        return static_cast<int>(std::clamp<intptr_t>(position, 0, Length()));
    }
    QString Range(int start, int end) const {
        return WindowText(document()->toRawText().mid(start, std::max(0, end - start)));
    }
    QTextCursor Selected(int start, int end) const {
        QTextCursor cursor(document());
        cursor.setPosition(Clamp(start));
        cursor.setPosition(Clamp(end), QTextCursor::KeepAnchor);
        return cursor;
    }

    // A change of the text that the window reports once, when it is done.
    template <typename F>
    void Change(F&& change) {
        ++changing_;
        change();
        --changing_;
        TextChanged();
    }
    // Formatting changes no text: no change notification.
    template <typename F>
    void Quietly(F&& change) {
        ++quiet_;
        change();
        --quiet_;
    }

    void ReplaceAll(const std::function<void(QTextCursor&)>& fill) {
        Change([&] {
            const bool undo = document()->isUndoRedoEnabled();
            document()->setUndoRedoEnabled(false);
            document()->clear();
            QTextCursor cursor(document());
            cursor.setCharFormat(defaultFormat_);
            fill(cursor);
            document()->setUndoRedoEnabled(undo && undoLimit_ > 0);
            QTextCursor start(document());
            setTextCursor(start);
            setCurrentCharFormat(defaultFormat_);
        });
    }

    void TextChanged() {
        if (dying_ || quiet_ > 0 || changing_ > 0) return;
        if (autoDetect_) DetectURLs();
        if (eventMask_ & ENM_CHANGE) control_.Perform(CN_COMMAND, MakeWParam(0, EN_CHANGE), 0);
    }

    void SelectionChanged() {
        if (dying_ || !(eventMask_ & ENM_SELCHANGE)) return;
        const QTextCursor cursor = textCursor();
        const CHARRANGE range{cursor.selectionStart(), cursor.selectionEnd()};
        if (range.cpMin == lastSelection_.cpMin && range.cpMax == lastSelection_.cpMax) return;
        lastSelection_ = range;
        SELCHANGE change;
        change.nmhdr.code = EN_SELCHANGE;
        change.chrg = range;
        change.seltyp = range.cpMin == range.cpMax ? SEL_EMPTY : range.cpMax - range.cpMin > 1 ? SEL_TEXT | SEL_MULTICHAR : SEL_TEXT;
        control_.Perform(CN_NOTIFY, 0, reinterpret_cast<intptr_t>(&change));
    }

    // -------------------------------------------------------- URLs

    void DetectURLs() {
        autoLinks_.clear();
        if (autoDetect_) {
            static const QRegularExpression address(
                QStringLiteral("(?<![\\w@.])(?:(?:https?|ftp|file|mailto|news|nntp|telnet|gopher|wais|prospero):"
                               "[^\\s<>\"]+|www\\.[^\\s<>\"]+)"),
                QRegularExpression::CaseInsensitiveOption);
            const QString text = WindowText(document()->toRawText());
            for (auto match = address.globalMatch(text); match.hasNext();) {
                const QRegularExpressionMatch found = match.next();
                int end = static_cast<int>(found.capturedEnd());
                while (end > found.capturedStart() && QStringLiteral(".,;:!?)]}'").contains(text.at(end - 1))) --end;
                if (end - found.capturedStart() > 4) autoLinks_.push_back({static_cast<int>(found.capturedStart()), end});
            }
        }
        QList<QTextEdit::ExtraSelection> marks;
        for (const CHARRANGE& link : autoLinks_) {
            QTextEdit::ExtraSelection mark;
            mark.cursor = Selected(link.cpMin, link.cpMax);
            mark.format.setForeground(QColor(0, 0, 255));
            mark.format.setFontUnderline(true);
            marks.append(mark);
        }
        setExtraSelections(marks);
    }

    const CHARRANGE* AutoLinkAt(int position) const {
        for (const CHARRANGE& link : autoLinks_)
            if (position >= link.cpMin && position < link.cpMax) return &link;
        return nullptr;
    }

    // The format of the character at a position.
    QTextCharFormat FormatAt(int position) const {
        const QTextBlock block = document()->findBlock(position);
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (position >= fragment.position() && position < fragment.position() + fragment.length())
                return fragment.charFormat();
        }
        return block.charFormat();
    }

    bool LinkAt(int position, CHARRANGE& range) const {
        if (position < 0 || position >= Length()) return false;
        if (const CHARRANGE* link = AutoLinkAt(position)) {
            range = *link;
            return true;
        }
        if (!FormatAt(position).boolProperty(kLink)) return false;
        const QTextBlock block = document()->findBlock(position);
        int start = position, end = position + 1;
        while (start > block.position() && FormatAt(start - 1).boolProperty(kLink)) --start;
        while (end < block.position() + block.length() - 1 && FormatAt(end).boolProperty(kLink)) ++end;
        range = {start, end};
        return true;
    }

    void MouseOverLink(QMouseEvent* event, uint32_t msg) {
        const QPointF at = event->position() + QPointF(horizontalScrollBar()->value(), verticalScrollBar()->value());
        const int position = document()->documentLayout()->hitTest(at, Qt::ExactHit);
        CHARRANGE range;
        if (!LinkAt(position, range)) {
            if (overLink_) viewport()->setCursor(Qt::IBeamCursor);
            overLink_ = false;
            return;
        }
        overLink_ = true;
        if (msg == WM_MOUSEMOVE) viewport()->setCursor(Qt::PointingHandCursor);
        if (!(eventMask_ & ENM_LINK)) return;
        ENLINK link;
        link.nmhdr.code = EN_LINK;
        link.msg = msg;
        link.lParam = MakeLParam(event->position().toPoint().x(), event->position().toPoint().y());
        link.chrg = range;
        control_.Perform(CN_NOTIFY, 0, reinterpret_cast<intptr_t>(&link));
    }

    // -------------------------------------------------------- formats

    CHARFORMAT2W RangeFormat(int start, int end) const {
        const QFont base = document()->defaultFont();
        if (start >= end) {
            CHARFORMAT2W cf = ToCharFormat(currentCharFormat(), base);
            if (start > 0 && AutoLinkAt(start - 1)) cf.dwEffects |= CFE_LINK;
            return cf;
        }
        bool first = true;
        CHARFORMAT2W result;
        // Every stretch of one format: the fragments, cut at the ends of
        // the range and of the detected addresses.
        for (QTextBlock block = document()->findBlock(start); block.isValid() && block.position() < end;
             block = block.next()) {
            for (auto it = block.begin(); !it.atEnd(); ++it) {
                const QTextFragment fragment = it.fragment();
                const int from = std::max(start, fragment.position());
                const int to = std::min(end, fragment.position() + fragment.length());
                if (from >= to) continue;
                CHARFORMAT2W cf = ToCharFormat(fragment.charFormat(), base);
                for (int at = from; at < to;) {
                    const CHARRANGE* link = AutoLinkAt(at);
                    int next = to;
                    if (link) next = std::min(to, link->cpMax);
                    else
                        for (const CHARRANGE& l : autoLinks_)
                            if (l.cpMin > at && l.cpMin < next) next = l.cpMin;
                    CHARFORMAT2W piece = cf;
                    if (link) piece.dwEffects |= CFE_LINK;
                    if (first) {
                        result = piece;
                        first = false;
                    } else {
                        result.dwMask &= SameAttributes(result, piece);
                    }
                    at = next;
                }
            }
        }
        return first ? ToCharFormat(FormatAt(start), base) : result;
    }

    void FormatRange(int start, int end, const CHARFORMAT2W& cf) {
        Quietly([&] {
            QTextCursor cursor(document());
            cursor.beginEditBlock();
            for (QTextBlock block = document()->findBlock(start); block.isValid() && block.position() < end;
                 block = block.next()) {
                std::vector<std::pair<CHARRANGE, QTextCharFormat>> pieces;
                for (auto it = block.begin(); !it.atEnd(); ++it) {
                    const QTextFragment fragment = it.fragment();
                    const int from = std::max(start, fragment.position());
                    const int to = std::min(end, fragment.position() + fragment.length());
                    if (from >= to) continue;
                    QTextCharFormat format = fragment.charFormat();
                    ApplyCharFormat(cf, format);
                    pieces.push_back({{from, to}, format});
                }
                for (const auto& [range, format] : pieces) {
                    cursor.setPosition(range.cpMin);
                    cursor.setPosition(range.cpMax, QTextCursor::KeepAnchor);
                    cursor.setCharFormat(format);
                }
            }
            cursor.endEditBlock();
        });
    }

    intptr_t SetCharFormat(uintptr_t target, const CHARFORMAT2W& cf) {
        if (target == SCF_DEFAULT) {
            ApplyCharFormat(cf, defaultFormat_);
            QFont font = document()->defaultFont();
            const QStringList families = defaultFormat_.fontFamilies().toStringList();
            if (!families.isEmpty()) font.setFamily(families.first());
            if (defaultFormat_.fontPointSize() > 0) font.setPointSizeF(defaultFormat_.fontPointSize());
            document()->setDefaultFont(font);
            if (Length() == 0) setCurrentCharFormat(defaultFormat_);
            return 1;
        }
        if (target & SCF_ALL) {
            FormatRange(0, Length(), cf);
            return 1;
        }
        QTextCursor cursor = textCursor();
        int start = cursor.selectionStart(), end = cursor.selectionEnd();
        if (start == end && (target & SCF_WORD)) {
            QTextCursor word = cursor;
            word.select(QTextCursor::WordUnderCursor);
            start = word.selectionStart();
            end = word.selectionEnd();
        }
        if (start == end) {
            QTextCharFormat format = currentCharFormat();
            ApplyCharFormat(cf, format);
            Quietly([&] { setCurrentCharFormat(format); });
            return 1;
        }
        FormatRange(start, end, cf);
        return 1;
    }

    PARAFORMAT2 RangeParagraph(int start, int end) const {
        PARAFORMAT2 result = ToParaFormat(document()->findBlock(start).blockFormat());
        for (QTextBlock block = document()->findBlock(start).next(); block.isValid() && block.position() < end;
             block = block.next())
            result.dwMask &= SameParagraph(result, ToParaFormat(block.blockFormat()));
        return result;
    }

    void ShowNumbering(QTextBlock block) {
        const int numbering = block.blockFormat().intProperty(kNumbering);
        QTextList* list = block.textList();
        if (numbering == 0) {
            if (list) list->remove(block);
            return;
        }
        if (list && list->format().style() == ListStyle(numbering)) return;
        if (list) list->remove(block);
        const QTextBlock previous = block.previous();
        if (previous.isValid() && previous.textList() &&
            previous.textList()->format().style() == ListStyle(numbering)) {
            previous.textList()->add(block);
            return;
        }
        QTextListFormat format;
        format.setStyle(ListStyle(numbering));
        format.setIndent(0);
        QTextCursor(block).createList(format);
    }

    void SetParagraph(QTextCursor& cursor, const PARAFORMAT2& pf) {
        QTextBlockFormat format = cursor.blockFormat();
        ApplyParaFormat(pf, format);
        cursor.setBlockFormat(format);
        if (pf.dwMask & PFM_NUMBERING) ShowNumbering(cursor.block());
    }

    void SetParaFormat(const PARAFORMAT2& pf) {
        Quietly([&] {
            const QTextCursor selection = textCursor();
            QTextCursor cursor(document());
            cursor.beginEditBlock();
            for (QTextBlock block = document()->findBlock(selection.selectionStart()); block.isValid();
                 block = block.next()) {
                cursor.setPosition(block.position());
                SetParagraph(cursor, pf);
                if (block.position() + block.length() > selection.selectionEnd()) break;
            }
            cursor.endEditBlock();
        });
    }

    // -------------------------------------------------------- streaming

    TRtfDocument ToDocument(int start, int end) const {
        TRtfDocument doc;
        const QFont base = document()->defaultFont();
        for (QTextBlock block = document()->findBlock(start); block.isValid() && block.position() <= end;
             block = block.next()) {
            TRtfParagraph paragraph = ToRtf(ToParaFormat(block.blockFormat()));
            for (auto it = block.begin(); !it.atEnd(); ++it) {
                const QTextFragment fragment = it.fragment();
                const int from = std::max(start, fragment.position());
                const int to = std::min(end, fragment.position() + fragment.length());
                if (from >= to) continue;
                const QString text = WindowText(fragment.text().mid(from - fragment.position(), to - from));
                paragraph.Runs.push_back({FromQString(text), ToRtf(ToCharFormat(fragment.charFormat(), base))});
            }
            doc.Paragraphs.push_back(std::move(paragraph));
            if (block.position() + block.length() > end) break;
        }
        if (doc.Paragraphs.empty()) doc.Paragraphs.emplace_back();
        return doc;
    }

    void InsertDocument(QTextCursor& cursor, const TRtfDocument& doc, bool whole) {
        for (size_t i = 0; i < doc.Paragraphs.size(); ++i) {
            const TRtfParagraph& paragraph = doc.Paragraphs[i];
            if (i > 0) cursor.insertBlock();
            if (whole || i + 1 < doc.Paragraphs.size()) SetParagraph(cursor, FromRtf(paragraph));
            for (const TRtfRun& run : paragraph.Runs) {
                QTextCharFormat format = defaultFormat_;
                ApplyCharFormat(FromRtf(run.Format), format);
                cursor.insertText(DocumentText(ToQString(run.Text)), format);
            }
        }
    }

    intptr_t StreamIn(uintptr_t format, EDITSTREAM* stream) {
        if (!stream) return 0;
        stream->dwError = 0;
        std::string bytes;
        if (!ReadStream(*stream, bytes)) return 0;
        const bool selection = format & SFF_SELECTION;
        const uintptr_t kind = format & 0xFF;
        TRtfDocument doc;
        if (kind == SF_RTF || kind == SF_RTFNOOBJS) {
            try {
                doc = ReadRtf(bytes);
            } catch (const ERtfError&) {
                stream->dwError = static_cast<uint32_t>(-16);
                return 0;
            }
            // The mark after the last paragraph of a whole document is the
            // document's own end.
            if (!selection && doc.Paragraphs.size() > 1 && doc.Paragraphs.back().Runs.empty()) doc.Paragraphs.pop_back();
        } else {
            std::u16string text;
            if (kind & SF_UNICODE) {
                for (size_t i = 0; i + 1 < bytes.size(); i += 2)
                    text += static_cast<char16_t>(static_cast<uint8_t>(bytes[i]) | static_cast<uint8_t>(bytes[i + 1]) << 8);
                if (!text.empty() && text[0] == 0xFEFF) text.erase(0, 1);
            } else {
                text = MultiByteToWide(bytes, 1252);
            }
            TRtfParagraph paragraph;
            paragraph.Runs.push_back({FromQString(DocumentText(ToQString(text))), ToRtf(ToCharFormat(defaultFormat_, document()->defaultFont()))});
            doc.Paragraphs.push_back(paragraph);
        }
        const int length = static_cast<int>(doc.PlainText().size());
        if (selection) {
            Change([&] {
                QTextCursor cursor = textCursor();
                cursor.beginEditBlock();
                cursor.removeSelectedText();
                InsertDocument(cursor, doc, false);
                cursor.endEditBlock();
                setTextCursor(cursor);
            });
        } else {
            ReplaceAll([&](QTextCursor& cursor) { InsertDocument(cursor, doc, true); });
        }
        return length;
    }

    intptr_t StreamOut(uintptr_t format, EDITSTREAM* stream) {
        if (!stream) return 0;
        stream->dwError = 0;
        const bool selection = format & SFF_SELECTION;
        const QTextCursor cursor = textCursor();
        const int start = selection ? cursor.selectionStart() : 0;
        const int end = selection ? cursor.selectionEnd() : Length();
        const uintptr_t kind = format & 0xFF;
        std::string bytes;
        if (kind == SF_RTF || kind == SF_RTFNOOBJS) {
            TRtfWriteOptions options;
            options.DefaultFace = document()->defaultFont().family().toStdU16String();
            options.FinalParagraphMark = !selection;
            bytes = WriteRtf(ToDocument(start, end), options);
        } else {
            QString text = Range(start, end);
            text.replace(u'\r', QStringLiteral("\r\n"));
            if (kind & SF_UNICODE) {
                for (QChar c : text) {
                    bytes += static_cast<char>(c.unicode() & 0xFF);
                    bytes += static_cast<char>(c.unicode() >> 8);
                }
            } else {
                bytes = WideToMultiByte(FromQString(text), 1252);
            }
        }
        return WriteStream(*stream, bytes) ? static_cast<intptr_t>(bytes.size()) : 0;
    }

    intptr_t ReplaceSelection(bool canUndo, const char16_t* text) {
        QString value = text ? QString::fromUtf16(text) : QString();
        value.truncate(std::max<qsizetype>(0, Room()));
        Change([&] {
            const bool undo = document()->isUndoRedoEnabled();
            if (!canUndo) document()->setUndoRedoEnabled(false);
            QTextCursor cursor = textCursor();
            if (Length() == 0) cursor.insertText(DocumentText(value), defaultFormat_);
            else cursor.insertText(DocumentText(value));
            setTextCursor(cursor);
            document()->setUndoRedoEnabled(undo);
        });
        return 0;
    }

    int FirstVisibleLine() const { return cursorForPosition(QPoint(0, 0)).blockNumber(); }

    TWinControl& control_;
    QTextCharFormat defaultFormat_;
    uint32_t eventMask_ = 0;
    uint32_t options_ = 0;
    uint32_t langOptions_ = 0;
    int64_t limit_ = 32767;
    intptr_t undoLimit_ = 100;
    bool autoDetect_ = false;
    bool overLink_ = false;
    bool dying_ = false;
    int quiet_ = 0;
    int changing_ = 0;
    CHARRANGE lastSelection_{-1, -1};
    std::vector<CHARRANGE> autoLinks_;
};

intptr_t TQtRichEdit::ClassProc(uint32_t msg, intptr_t wParam, intptr_t lParam) {
    QTextDocument* doc = document();
    switch (msg) {
        case WM_GETTEXTLENGTH: return Length();
        case EM_GETTEXTLENGTHEX: {
            const auto* ask = reinterpret_cast<const GETTEXTLENGTHEX*>(wParam);
            intptr_t length = Length();
            if (ask && (ask->flags & GTL_USECRLF)) length += doc->blockCount() - 1;
            return length;
        }
        case EM_GETTEXTEX: {
            const auto* ask = reinterpret_cast<const GETTEXTEX*>(wParam);
            if (!ask) return 0;
            QString text = WindowText(doc->toRawText());
            if (ask->flags & GT_USECRLF) text.replace(u'\r', QStringLiteral("\r\n"));
            return CopyOut(text, reinterpret_cast<char16_t*>(lParam), static_cast<qsizetype>(ask->cb / 2));
        }
        case EM_GETSEL: {
            const QTextCursor cursor = textCursor();
            if (wParam) *reinterpret_cast<uint32_t*>(wParam) = static_cast<uint32_t>(cursor.selectionStart());
            if (lParam) *reinterpret_cast<uint32_t*>(lParam) = static_cast<uint32_t>(cursor.selectionEnd());
            return MakeWParam(cursor.selectionStart(), cursor.selectionEnd());
        }
        case EM_SETSEL:
        case EM_EXSETSEL: {
            CHARRANGE range{static_cast<int32_t>(wParam), static_cast<int32_t>(lParam)};
            if (msg == EM_EXSETSEL) {
                if (!lParam) return 0;
                range = *reinterpret_cast<const CHARRANGE*>(lParam);
            }
            QTextCursor cursor = textCursor();
            if (range.cpMin < 0) {
                cursor.clearSelection();
            } else {
                const int end = range.cpMax < 0 ? Length() : Clamp(range.cpMax);
                cursor.setPosition(Clamp(range.cpMin));
                cursor.setPosition(end, QTextCursor::KeepAnchor);
            }
            setTextCursor(cursor);
            return cursor.selectionEnd();
        }
        case EM_EXGETSEL: {
            const QTextCursor cursor = textCursor();
            if (auto* range = reinterpret_cast<CHARRANGE*>(lParam))
                *range = {cursor.selectionStart(), cursor.selectionEnd()};
            return 0;
        }
        case EM_REPLACESEL: return ReplaceSelection(wParam != 0, reinterpret_cast<const char16_t*>(lParam));
        case EM_GETSELTEXT: {
            const QTextCursor cursor = textCursor();
            const QString text = Range(cursor.selectionStart(), cursor.selectionEnd());
            return CopyOut(text, reinterpret_cast<char16_t*>(lParam), text.size() + 1);
        }
        case EM_GETTEXTRANGE: {
            auto* range = reinterpret_cast<TEXTRANGEW*>(lParam);
            if (!range || !range->lpstrText) return 0;
            const int end = range->chrg.cpMax < 0 ? Length() : Clamp(range->chrg.cpMax);
            const QString text = Range(Clamp(range->chrg.cpMin), end);
            return CopyOut(text, range->lpstrText, text.size() + 1);
        }
        case EM_GETLINECOUNT: return doc->blockCount();
        case EM_LINEINDEX: {
            const QTextBlock block = wParam < 0 ? textCursor().block() : doc->findBlockByNumber(static_cast<int>(wParam));
            return block.isValid() ? block.position() : -1;
        }
        case EM_LINELENGTH: {
            if (wParam > Length()) return 0;
            const QTextBlock block = wParam < 0 ? textCursor().block() : doc->findBlock(static_cast<int>(wParam));
            return block.isValid() ? block.length() - 1 : 0;
        }
        case EM_LINEFROMCHAR:
        case EM_EXLINEFROMCHAR: {
            const intptr_t at = msg == EM_LINEFROMCHAR ? wParam : lParam;
            return (at < 0 ? textCursor().block() : doc->findBlock(Clamp(at))).blockNumber();
        }
        case EM_GETLINE: {
            auto* buffer = reinterpret_cast<char16_t*>(lParam);
            const QTextBlock block = doc->findBlockByNumber(static_cast<int>(wParam));
            if (!buffer || !block.isValid()) return 0;
            QString text = WindowText(block.text());
            if (block.next().isValid()) text += u'\r';
            const qsizetype count = std::min<qsizetype>(text.size(), buffer[0]);
            std::memcpy(buffer, text.utf16(), static_cast<size_t>(count) * 2);
            return count;
        }
        case EM_GETCHARFORMAT: {
            auto* cf = reinterpret_cast<CHARFORMAT2W*>(lParam);
            if (!cf) return 0;
            const uint32_t size = cf->cbSize;
            if (wParam == static_cast<intptr_t>(SCF_DEFAULT)) {
                *cf = ToCharFormat(defaultFormat_, doc->defaultFont());
            } else {
                const QTextCursor cursor = textCursor();
                *cf = RangeFormat(cursor.selectionStart(), cursor.selectionEnd());
            }
            cf->cbSize = size;
            return cf->dwMask;
        }
        case EM_SETCHARFORMAT:
            return lParam ? SetCharFormat(static_cast<uintptr_t>(wParam), *reinterpret_cast<const CHARFORMAT2W*>(lParam)) : 0;
        case EM_GETPARAFORMAT: {
            auto* pf = reinterpret_cast<PARAFORMAT2*>(lParam);
            if (!pf) return 0;
            const QTextCursor cursor = textCursor();
            *pf = RangeParagraph(cursor.selectionStart(), cursor.selectionEnd());
            return pf->dwMask;
        }
        case EM_SETPARAFORMAT:
            if (!lParam) return 0;
            SetParaFormat(*reinterpret_cast<const PARAFORMAT2*>(lParam));
            return 1;
        case EM_STREAMIN: return StreamIn(static_cast<uintptr_t>(wParam), reinterpret_cast<EDITSTREAM*>(lParam));
        case EM_STREAMOUT: return StreamOut(static_cast<uintptr_t>(wParam), reinterpret_cast<EDITSTREAM*>(lParam));
        case EM_GETEVENTMASK: return eventMask_;
        case EM_SETEVENTMASK: {
            const uint32_t old = eventMask_;
            eventMask_ = static_cast<uint32_t>(lParam);
            return old;
        }
        case EM_AUTOURLDETECT:
            autoDetect_ = wParam & 1;
            DetectURLs();
            return 0;
        case EM_SETUNDOLIMIT:
            undoLimit_ = std::max<intptr_t>(0, wParam);
            doc->setUndoRedoEnabled(undoLimit_ > 0);
            return undoLimit_;
        case EM_CANUNDO: return doc->isUndoAvailable() ? 1 : 0;
        case EM_UNDO:
            if (!doc->isUndoAvailable()) return 0;
            undo();
            return 1;
        case EM_CANREDO: return doc->isRedoAvailable() ? 1 : 0;
        case EM_REDO:
            if (!doc->isRedoAvailable()) return 0;
            redo();
            return 1;
        case EM_EMPTYUNDOBUFFER:
            doc->setUndoRedoEnabled(false);
            doc->setUndoRedoEnabled(undoLimit_ > 0);
            return 0;
        case EM_EXLIMITTEXT: limit_ = lParam <= 0 ? 65536 : lParam; return 0;
        case EM_SETREADONLY: setReadOnly(wParam != 0); return 1;
        case EM_GETOPTIONS: return options_ | (isReadOnly() ? ECO_READONLY : 0);
        case EM_SETOPTIONS: {
            const auto options = static_cast<uint32_t>(lParam);
            switch (wParam) {
                case ECOOP_SET: options_ = options; break;
                case ECOOP_OR: options_ |= options; break;
                case ECOOP_AND: options_ &= options; break;
                case ECOOP_XOR: options_ ^= options; break;
            }
            setReadOnly(options_ & ECO_READONLY);
            setViewportMargins((options_ & ECO_SELECTIONBAR) ? 8 : 0, 0, 0, 0);
            return options_;
        }
        case EM_SETLANGOPTIONS: langOptions_ = static_cast<uint32_t>(lParam); return 1;
        case EM_GETLANGOPTIONS: return langOptions_;
        case EM_SETTARGETDEVICE: setLineWrapMode(lParam == 1 ? QTextEdit::NoWrap : QTextEdit::WidgetWidth); return 1;
        case EM_SHOWSCROLLBAR:
            if (wParam == SB_HORZ) setHorizontalScrollBarPolicy(lParam ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
            else setVerticalScrollBarPolicy(lParam ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
            return 0;
        case EM_HIDESELECTION: return 0;
        case EM_SETBKGNDCOLOR: {
            QPalette colours = palette();
            colours.setColor(QPalette::Base, wParam ? QApplication::palette().color(QPalette::Base)
                                                    : FromColorRef(static_cast<uint32_t>(lParam)));
            setPalette(colours);
            return 0;
        }
        case WM_SETREDRAW:
            setUpdatesEnabled(wParam != 0);
            if (wParam) viewport()->update();
            return 0;
        case EM_GETFIRSTVISIBLELINE: return FirstVisibleLine();
        case EM_SCROLL: {
            const int before = verticalScrollBar()->value();
            switch (wParam) {
                case SB_LINEUP: verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepSub); break;
                case SB_LINEDOWN: verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd); break;
                case SB_PAGEUP: verticalScrollBar()->triggerAction(QAbstractSlider::SliderPageStepSub); break;
                case SB_PAGEDOWN: verticalScrollBar()->triggerAction(QAbstractSlider::SliderPageStepAdd); break;
                default: return 0;
            }
            return verticalScrollBar()->value() != before ? MakeWParam(1, 1) : 0;
        }
        case EM_POSFROMCHAR: {
            auto* point = reinterpret_cast<TPoint*>(wParam);
            if (!point) return 0;
            QTextCursor cursor(doc);
            cursor.setPosition(Clamp(lParam));
            const QRect r = cursorRect(cursor);
            *point = {r.left(), r.top()};
            return 0;
        }
        case EM_CHARFROMPOS: {
            const auto* point = reinterpret_cast<const TPoint*>(lParam);
            return point ? cursorForPosition(QPoint(point->X, point->Y)).position() : 0;
        }
        case EM_CANPASTE: return canPaste() ? 1 : 0;
        case WM_COPY: copy(); return 0;
        case WM_CUT: cut(); return 0;
        case WM_PASTE: paste(); return 0;
        case WM_CLEAR: textCursor().removeSelectedText(); return 0;
        case EM_GETOLEINTERFACE:
        case EM_SETOLECALLBACK: return 0;  // no embedded objects here
    }
    return 0;
}

// The window class over the edit; Qt owns the edit through its parent.
class TQtRichEditClass : public TQtWidgetClass {
public:
    TQtRichEditClass(TQtWindow& window, QWidget* parent)
        : TQtWidgetClass(window), edit_(new TQtRichEdit(window.Control(), parent)) {}
    QWidget* Widget() const override { return edit_; }
    QWidget* MouseWidget() const override { return edit_->viewport(); }
    void SetCursor(const QCursor& cursor) override { edit_->viewport()->setCursor(cursor); }
    void SetText(const std::u16string& text) override { edit_->SetText(text); }
    std::u16string Text() const override { return edit_->Text(); }
    intptr_t ClassProc(uint32_t msg, intptr_t wParam, intptr_t lParam) override {
        return edit_->ClassProc(msg, wParam, lParam);
    }

private:
    TQtRichEdit* edit_;
};

}  // namespace

void RegisterQtRichEditClass() {
    RegisterQtWindowClass("RICHEDIT20W", [](TQtWindow& window, QWidget* parent) -> std::unique_ptr<TQtWidgetClass> {
        return std::make_unique<TQtRichEditClass>(window, parent);
    });
}
