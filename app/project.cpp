#include "app/project.h"

#include <optional>
#include <string>

#include "app/app_utils.h"
#include "app/xml_document.h"
#include "controls/ucsysutils.h"
#include "platform/mathutil.h"

namespace {

WideString Decimal(int value) {
    std::string text = std::to_string(value);
    return WideString(text.begin(), text.end());
}

WideString TrueFalse(bool value) { return value ? u"true" : u"false"; }

WideString Element(const char16_t* name, const WideString& content) {
    return WideString(u"<") + name + u">" + content + u"</" + name + u">";
}

template <class T>
std::vector<const T*> Borrowed(const std::vector<std::unique_ptr<T>>& owned) {
    std::vector<const T*> result;
    result.reserve(owned.size());
    for (const auto& item : owned) result.push_back(item.get());
    return result;
}

}  // namespace

TProjectState::TProjectState() = default;
TProjectState::~TProjectState() = default;

template <class Tree, class Node>
static Node* FindTemplate(Tree& tree, const WideString& themeName, const WideString& templateName) {
    for (auto& theme : tree.Themes) {
        if (!WideSameText(theme.Name, themeName)) continue;
        for (auto& node : theme.Templates)
            if (WideSameText(node.FileName, templateName)) return &node;
    }
    return nullptr;
}

TEffectTemplateNode* TEffectTree::Find(const WideString& themeName, const WideString& templateName) {
    return FindTemplate<TEffectTree, TEffectTemplateNode>(*this, themeName, templateName);
}

const TEffectTemplateNode* TEffectTree::Find(const WideString& themeName, const WideString& templateName) const {
    return FindTemplate<const TEffectTree, const TEffectTemplateNode>(*this, themeName, templateName);
}

TEffectTemplateNode* TEffectTree::First() {
    if (Themes.empty() || Themes.front().Templates.empty()) return nullptr;
    return &Themes.front().Templates.front();
}

WideString StageItemText(const StageRecord& stage) {
    if (stage.PictureStage) return kPictureStageMarker + MakeAbsolutePath(stage.PictureFile);
    return kTextStageMarker + stage.FormattedText;
}

std::unique_ptr<EffectRecord> CopyEffectRecord(const EffectRecord& source) {
    return std::make_unique<EffectRecord>(source);
}

std::unique_ptr<ProjectRecord> GatherProject(const TProjectState& state) {
    auto project = std::make_unique<ProjectRecord>();
    ProjectRecord& p = *project;

    p.Width = state.UpDownMovieWidth;
    p.Height = state.UpDownMovieHeight;
    p.FrameRate = state.UpDownFrameRate;
    p.BorderOn = state.ChkBorder;
    p.BorderColor = state.ColorBorder;
    p.BorderSize = state.UpDownBorder;

    // A ticked sound whose file has gone is left out altogether; an unticked
    // one keeps its name so that saving the project keeps it too.
    WideString soundFile = WideTrim(state.EditSoundFile);
    if (state.ChkSound) {
        if (WideFileExists(soundFile)) {
            p.SoundOn = true;
            p.SoundFile = soundFile;
        } else if (soundFile.empty()) {
            p.Warnings.push_back(u"No background sound file is chosen: the movie has no sound.");
        } else {
            p.Warnings.push_back(u"The background sound file \"" + soundFile +
                                 u"\" is missing: the movie has no sound.");
        }
    } else {
        p.SoundFile = soundFile;
    }

    p.SoundLoopLimited = state.ChkSoundLoop;
    p.SoundLoopCount = state.UpDownSoundLoop;
    p.Compress = state.ChkCompress;
    p.LoopLimited = state.ChkLoop;
    p.LoopCount = state.UpDownLoop;
    p.PreloaderOn = state.ChkPreloader;
    p.PreloaderName = state.CmbPreLoaderText;
    if (state.CmbPreLoaderIndex >= 0 && state.CmbPreLoaderIndex < static_cast<int>(state.CmbPreLoader.size()))
        p.PreloaderEffect = state.CmbPreLoader[state.CmbPreLoaderIndex].Effect.get();

    p.BgKind = state.RdoSolidColor ? bkSolid : state.RdoGradientColor ? bkGradient : bkTransparent;
    p.SolidColor = state.ColorBgColorSolid;
    p.GradientStartColor = state.ColorBgGradientStart;
    p.GradientEndColor = state.ColorBgGradientEnd;
    p.GradientStyle = state.CmbBgGradientStyle;
    p.LinearRotation = static_cast<int>(RoundHalfEven(state.SpinEditBgLinearColorRotation));
    p.RadialRadius = static_cast<int>(RoundHalfEven(state.SpinEditBgRadialColorRadius));

    p.PicturesOn = state.ChkBgImage;
    p.Pictures = Borrowed(state.lstBgImage);

    p.BgEffectsOn = state.ChkAddBgEffect;
    p.SeveralBgEffects = state.ChkBgEffectMultiple;
    for (const TBgEffectItem& item : state.ListViewBgEffectMultiple) {
        const TEffectTemplateNode* node = state.TreeBg.Find(item.Theme, item.Template);
        p.BgEffects.push_back(node != nullptr ? node->Effect.get() : nullptr);
        if (node == nullptr && state.ChkAddBgEffect)
            p.Warnings.push_back(u"The background effect \"" + item.Theme + u"/" + item.Template +
                                 u"\" is not installed: it is left out.");
    }

    p.Stages = Borrowed(state.LbxText);
    p.FontStyles = Borrowed(state.CmbFontFormat);
    p.FontXml = BuildFontXml(p.FontStyles);
    p.OneByOne = state.ChkDisplayOneByOne;

    p.CloseUrlOn = state.ChkURLOnClose;
    p.CloseUrlKind = state.RdoClickTagOnClose ? 1 : 0;
    p.CloseUrl = WideTrim(state.EditURLOnClose);
    p.CloseUrlTarget = WideTrim(state.CmbURLTargetOnClose);
    p.ClickUrlOn = state.ChkURLOnClick;
    p.ClickUrlKind = state.RdoClickTAGOnClick ? 1 : 0;
    p.ClickUrl = WideTrim(state.EditURLOnClick);
    p.ClickUrlTarget = WideTrim(state.CmbURLTargetOnClick);
    return project;
}

WideString BuildFontXml(const std::vector<const FontStyleRecord*>& styles) {
    WideString xml = u"<Txt.Font>";
    for (const FontStyleRecord* style : styles) {
        WideString name = XmlEscape(style->Name);
        const char16_t* fill = style->FillKind == fkLinear ? u"linear" : style->FillKind == fkRadial ? u"radial" : u"solid";
        xml += u"<Txt.Format name=\"" + name + u"\">";
        xml += Element(u"FontFormatName", name);
        xml += Element(u"FontSize", Decimal(style->Size));
        xml += Element(u"FontUnderline", TrueFalse(style->Underline));
        xml += Element(u"FontXScale", Decimal(style->WidthScale));
        xml += Element(u"FontYScale", Decimal(style->HeightScale));
        xml += Element(u"Alpha", Decimal(style->Alpha));
        xml += Element(u"TextSpace", Decimal(style->TextSpace));
        xml += Element(u"FillStyle", fill);
        xml += Element(u"FontBeginColor", ColorToHex(style->FillBeginColor));
        xml += Element(u"FontEndColor", ColorToHex(style->FillEndColor));
        xml += Element(u"Border", TrueFalse(style->BorderSize > 0));
        xml += Element(u"BorderColor", ColorToHex(style->BorderColor));
        xml += Element(u"BorderSize", Decimal(style->BorderSize));
        xml += Element(u"BorderShadow", TrueFalse(style->Shadow));
        xml += Element(u"CharRotation", Decimal(style->CharRotation));
        xml += u"</Txt.Format>";
    }
    return xml + u"</Txt.Font>";
}

WideString CollectStyleChars(const std::vector<const StageRecord*>& stages, const WideString& styleName) {
    WideString result;
    for (size_t index = 0; index < stages.size(); ++index) {
        const StageRecord* stage = stages[index];
        if (stage->PictureStage) continue;
        std::optional<TAppXmlDocument> parsed;
        try {
            parsed.emplace(stage->FormattedText);
        } catch (const EConvertError& e) {
            throw EConvertError(FormatStr("The text of stage %d is not well-formed: %s", int(index) + 1, e.what()));
        }
        TAppXmlDocument& document = *parsed;
        TXmlNode root = document.DocumentElement();
        if (!WideSameText(XmlNodeName(root), u"Txt.StrFormatedText")) continue;
        for (const TXmlNode& line : XmlItems(root)) {
            for (const TXmlNode& run : XmlItems(line)) {
                std::optional<WideString> text = XmlNodeValue(run);
                std::optional<WideString> format = XmlAttribute(run, "format");
                if (text && format && WideSameText(*format, styleName)) result += *text;
            }
        }
    }
    return result;
}
