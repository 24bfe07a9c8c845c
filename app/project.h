// The project model of the application: the five records that composing,
// previewing, publishing and saving read (ProjectRecord, StageRecord,
// FontStyleRecord, EffectRecord, BgImageRecord), the project state they are
// taken from, the snapshot, the "<Txt.Font>" font-style XML that travels in
// it, and the characters each font style must embed.
//
// TProjectState holds what the main window's controls, lists and trees hold
// (its fields are named after those controls), so that everything here runs
// with no display: the window fills the same state. It owns the stages,
// font styles, background pictures and the templates' effect records; a
// ProjectRecord only borrows them and must not outlive the state.
//
// Texts are wide strings of any length: formatted text and paths are never
// cut, since a cut XML text no longer parses and a cut path names another
// file.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "controls/ucsystem.h"
#include "platform/colour.h"

// One declared parameter of an effect template and its current value.
struct TEffectParam {
    WideString Name;
    WideString Value;
    WideString Type;
    WideString Caption;
    WideString Default;
    WideString Min;
    WideString Max;
    WideString Selection;
};

// The parameters of one effect template: the template's theme (empty for a
// preloader) and file name, and its parameters in declaration order.
struct EffectRecord {
    WideString ThemeName;
    WideString TemplateName;
    std::vector<TEffectParam> Params;

    int ParamCount() const { return static_cast<int>(Params.size()); }
};

// Placement modes of pictures.
constexpr int pmCenter = 0;
constexpr int pmCustom = 1;
constexpr int pmStretch = 2;
constexpr int pmTile = 3;  // background pictures only

// One text or picture stage. The defaults are those of a new stage.
struct StageRecord {
    bool PictureStage = false;
    WideString PictureFile;  // relative to the program folder when below it
    int PlacementMode = pmCenter;
    int Left = 0;
    int Top = 0;
    int Scale = 100;
    int Rotation = 0;
    int Alpha = 100;
    std::unique_ptr<EffectRecord> Effect;  // the stage's own copy
    WideString FormattedText;              // the "<Txt.StrFormatedText>" document
    bool AlignRelative = true;
    int HorzAlign = 1;  // 0 left, 1 centre, 2 right edge of the movie
    int VertAlign = 1;  // 0 top, 1 middle, 2 bottom
    int HorzAdjust = 0;
    int VertAdjust = 0;
    int AlignLeft = 0;
    int AlignTop = 0;
    int TextRotation = 0;
    int LineSpace = 0;
    int LineAlign = 1;  // "Top", "Middle", "Bottom"
    bool StaticStage = false;
    float EnterTime = 0.0f;
    bool RemovePrevious = false;
    float DelayAfterPrevious = 0.0f;
    bool SkipEnterAction = false;
    bool LinesSyncEnter = false;
    float Duration = 1.0f;
    bool SkipLeaveAction = false;
    bool LinesSyncLeave = false;
    bool LeaveFromBeginning = true;
    bool KeepText = false;
    bool UrlReplays = false;
    bool HasUrl = false;
    int UrlKind = 0;  // 1: the variable _root.clickTAG, else the address
    WideString UrlAddress;
    WideString UrlTarget;
};

// Fill kinds of a font style.
constexpr int fkSolid = 0;
constexpr int fkLinear = 1;
constexpr int fkRadial = 2;

// One named font style; the defaults are those of a new style.
struct FontStyleRecord {
    WideString Name;
    WideString FontName = u"Tahoma";
    int Size = 20;
    bool Bold = false;
    bool Italic = false;
    bool Underline = false;
    int WidthScale = 100;
    int HeightScale = 100;
    int Alpha = 100;
    int TextSpace = 0;
    int FillKind = fkSolid;
    TColor FillBeginColor = RGBColor(0xFF, 0x99, 0x00);
    TColor FillEndColor = RGBColor(0x66, 0x33, 0x00);
    TColor BorderColor = RGBColor(0xFF, 0x00, 0x00);
    int BorderSize = 0;  // above 0: the glyphs have a border
    bool Shadow = false;
    int CharRotation = 0;
};

// One background picture or SWF file; the defaults are those of a new one.
struct BgImageRecord {
    WideString FileName;  // absolute path
    int PositionMode = pmCenter;
    int Left = 0;
    int Top = 0;
    int XScale = 100;
    int YScale = 100;
    int Rotation = 0;
};

// Background kinds.
constexpr int bkTransparent = 0;
constexpr int bkSolid = 1;
constexpr int bkGradient = 2;

// One snapshot of the whole project. The records it points to are borrowed
// from the project state; an entry of BgEffects is null when its list item
// names no installed template, and every reader skips it.
struct ProjectRecord {
    int Width = 0;
    int Height = 0;
    int FrameRate = 0;
    bool BorderOn = false;
    int BorderSize = 0;
    TColor BorderColor = 0;
    bool SoundOn = false;
    WideString SoundFile;
    bool SoundLoopLimited = false;
    int SoundLoopCount = 0;
    bool Compress = false;
    bool LoopLimited = false;
    int LoopCount = 0;
    bool PreloaderOn = false;
    WideString PreloaderName;
    const EffectRecord* PreloaderEffect = nullptr;
    int BgKind = bkTransparent;
    TColor SolidColor = 0;
    TColor GradientStartColor = 0;
    TColor GradientEndColor = 0;
    int GradientStyle = 0;  // 0 "Linear", 1 "Radial"
    int LinearRotation = 0;
    int RadialRadius = 0;
    bool PicturesOn = false;
    std::vector<const BgImageRecord*> Pictures;
    bool BgEffectsOn = false;
    bool SeveralBgEffects = false;
    std::vector<const EffectRecord*> BgEffects;
    std::vector<const FontStyleRecord*> FontStyles;
    WideString FontXml;
    bool OneByOne = false;
    std::vector<const StageRecord*> StaticStages;  // never filled by a snapshot
    std::vector<const StageRecord*> Stages;
    bool CloseUrlOn = false;
    int CloseUrlKind = 0;  // 1: the variable _root.clickTAG, else the address
    WideString CloseUrl;
    WideString CloseUrlTarget;
    bool ClickUrlOn = false;
    int ClickUrlKind = 0;
    WideString ClickUrl;
    WideString ClickUrlTarget;
    // What the snapshot had to leave out of what the user asked for (a
    // sound file that has gone, a background effect no longer installed),
    // one sentence each, for the user to be told.
    std::vector<WideString> Warnings;
};

// A template of an effect tree: its file name and its own effect record.
struct TEffectTemplateNode {
    WideString FileName;
    std::unique_ptr<EffectRecord> Effect;
};

struct TEffectTheme {
    WideString Name;
    std::vector<TEffectTemplateNode> Templates;
};

// The themes of one template folder with their templates, in sorted order.
struct TEffectTree {
    std::vector<TEffectTheme> Themes;

    // The first template named templateName below the first theme named
    // themeName that has it (both without regard to case); null when none.
    TEffectTemplateNode* Find(const WideString& themeName, const WideString& templateName);
    const TEffectTemplateNode* Find(const WideString& themeName, const WideString& templateName) const;
    // The first template of the first theme; null when there is none.
    TEffectTemplateNode* First();
};

// An item of the preloader list.
struct TPreloaderItem {
    WideString FileName;
    std::unique_ptr<EffectRecord> Effect;
};

// An item of the list of chosen background effects: the template's file
// name (the caption) and its theme (the first sub-item).
struct TBgEffectItem {
    WideString Template;
    WideString Theme;
};

// What the main window's controls hold, with the values they start with.
struct TProjectState {
    TProjectState();
    ~TProjectState();
    TProjectState(const TProjectState&) = delete;
    TProjectState& operator=(const TProjectState&) = delete;

    int UpDownMovieWidth = 400;
    int UpDownMovieHeight = 300;
    int UpDownFrameRate = 24;
    bool ChkBorder = true;
    int UpDownBorder = 1;
    TColor ColorBorder = RGBColor(0xFF, 0x66, 0x00);
    bool ChkSound = false;
    WideString EditSoundFile;
    bool ChkSoundLoop = false;
    int UpDownSoundLoop = 1;
    bool ChkCompress = true;
    bool ChkLoop = false;
    int UpDownLoop = 1;
    bool ChkPreloader = false;
    WideString CmbPreLoaderText;
    int CmbPreLoaderIndex = -1;
    std::vector<TPreloaderItem> CmbPreLoader;
    // The preloader's colour buttons, set from its record.
    TColor ColorPl = RGBColor(0xFF, 0xFF, 0xFF);
    TColor ColorPlBg = RGBColor(0x00, 0x00, 0x00);
    // The background radio buttons; neither checked means transparent.
    bool RdoSolidColor = true;
    bool RdoGradientColor = false;
    TColor ColorBgColorSolid = RGBColor(0x66, 0x33, 0x00);
    TColor ColorBgGradientStart = RGBColor(0x66, 0x33, 0x00);
    TColor ColorBgGradientEnd = RGBColor(0xCC, 0xFF, 0x99);
    int CmbBgGradientStyle = 0;
    double SpinEditBgLinearColorRotation = 270;
    double SpinEditBgRadialColorRadius = 200;
    bool ChkBgImage = false;
    std::vector<std::unique_ptr<BgImageRecord>> lstBgImage;
    bool ChkAddBgEffect = true;
    bool ChkBgEffectMultiple = false;
    std::vector<TBgEffectItem> ListViewBgEffectMultiple;
    TEffectTree TreeBg;
    TEffectTree TreeTextEffect;
    TEffectTree TreeImageEffect;
    std::vector<std::unique_ptr<FontStyleRecord>> CmbFontFormat;
    bool ChkDisplayOneByOne = true;
    std::vector<std::unique_ptr<StageRecord>> LbxText;
    bool ChkURLOnClose = false;
    bool RdoClickTagOnClose = false;
    WideString EditURLOnClose;
    WideString CmbURLTargetOnClose;
    bool ChkURLOnClick = false;
    bool RdoClickTAGOnClick = false;
    WideString EditURLOnClick;
    WideString CmbURLTargetOnClick;
};

// The markers that start a stage's item text.
inline const WideString kTextStageMarker = u"ORVUTXT";
inline const WideString kPictureStageMarker = u"ORVUIMG";

// The item string the stage list shows for a stage: the marker, then the
// formatted text or the picture path made absolute.
WideString StageItemText(const StageRecord& stage);

// A copy of an effect record (a stage's own effect is one).
std::unique_ptr<EffectRecord> CopyEffectRecord(const EffectRecord& source);

// Takes a snapshot of the state. Never fails on what the user entered; what
// it leaves out goes into the record's Warnings.
std::unique_ptr<ProjectRecord> GatherProject(const TProjectState& state);

// The "<Txt.Font>" document of the font styles, in list order. Style names
// are escaped for XML.
WideString BuildFontXml(const std::vector<const FontStyleRecord*>& styles);

// The characters that the text stages write in the named style (compared
// without regard to case), in stage, line and run order, repeats kept. A
// stage whose formatted text is not well-formed XML raises EConvertError
// naming the stage by its place in the list (from 1).
WideString CollectStyleChars(const std::vector<const StageRecord*>& stages, const WideString& styleName);
