#include "app/project_file.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <map>
#include <optional>
#include <type_traits>

#include "app/app_utils.h"
#include "app/templates.h"
#include "controls/ucsysutils.h"
#include "platform/codepage.h"
#include "platform/stream.h"
#include "platform/xml.h"

namespace {

// Far beyond any real project; a larger file is refused before it is read.
constexpr int64_t kMaxProjectFileSize = 64 << 20;

std::string Num(int value) { return std::to_string(value); }
WideString Number(int64_t value) { return UcSystem::Utf8ToWide(std::to_string(value)); }

// The integer a text holds; nothing for any other text.
std::optional<int64_t> IntegerOf(const WideString& text) {
    try {
        return StrToInt64(UcSystem::WideToUtf8(text));
    } catch (const EConvertError&) {
        return std::nullopt;
    }
}

// "Theme/Template.swf", or the template alone when it has no theme.
WideString TemplateTitle(const WideString& theme, const WideString& name) {
    return theme.empty() ? name : theme + u"/" + name;
}

// Line breaks would end the ini line; in formatted text they can only stand
// in XML text, where a character reference means the same.
WideString WithoutLineBreaks(const WideString& text) {
    WideString result;
    for (WideChar c : text) {
        if (c == u'\r') result += u"&#13;";
        else if (c == u'\n') result += u"&#10;";
        else result += c;
    }
    return result;
}

// The values a control can hold; a value read from a file outside them is
// brought to the nearer end and reported.
struct TRange {
    int Lo = std::numeric_limits<int>::min();
    int Hi = std::numeric_limits<int>::max();
};

const TRange kPercent{0, 100};
const TRange kDegrees{0, 360};
const TRange kOffset{-1000, 1000};
const TRange kAdjust{-5000, 5000};
const TRange kCount{1, 100};
const TRange kSeconds{0, 1000};

// The names of the keys a block of fields reads, without its index.
class TKeyNames {
public:
    std::vector<std::string> Names;

    template <class T, class... Rest>
    void Int(const std::string& key, T&, Rest...) { Names.push_back(key); }
    template <class T, class... Rest>
    void Flag(const std::string& key, T&, Rest...) { Names.push_back(key); }
    template <class T, class... Rest>
    void Color(const std::string& key, T&, Rest...) { Names.push_back(key); }
    template <class T>
    void Str(const std::string& key, T&) { Names.push_back(key); }
    template <class T>
    void Path(const std::string& key, T&) { Names.push_back(key); }
    template <class T, class... Rest>
    void Time(const std::string& key, T&, Rest...) { Names.push_back(key); }
};

class TKeyWriter {
public:
    std::string Text;

    void Int(const std::string& key, int value, int = 0, TRange = {}) { Put(key, std::to_string(value)); }
    void Flag(const std::string& key, bool value, bool = false) { Put(key, value ? "1" : "0"); }
    void Color(const std::string& key, TColor value, const char* = nullptr) {
        Put(key, UcSystem::WideToUtf8(ColorToHex(value)));
    }
    void Str(const std::string& key, const WideString& value) { Put(key, UcSystem::WideToUtf8(value)); }
    void Path(const std::string& key, const WideString& value) { Str(key, MakeRelativePath(value)); }
    void Time(const std::string& key, float value, const char* = nullptr, TRange = {}) { Put(key, TimeToText(value)); }

private:
    void Put(const std::string& key, const std::string& value) {
        Text.append(key).append(1, '=').append(value).append("\r\n");
    }
};

class TKeyReader {
public:
    TKeyReader(const std::string& bytes, TProjectReadProblems* problems) : problems_(problems) { Parse(bytes); }

    // One more than the highest n of the keys named prefix + "_" + n; 0
    // when there is none. Bounds the parameters worth looking up.
    int IndexCeiling(const std::string& prefix) const {
        auto found = ceilings_.find(Key(prefix));
        return found != ceilings_.end() ? found->second : 0;
    }

    void Int(const std::string& key, int& value, int fallback, TRange range = {}) {
        value = fallback;
        const std::string* text = Find(key);
        if (text == nullptr) return;
        int64_t number;
        try {
            number = StrToInt64(*text);
        } catch (const EConvertError&) {
            Problem(key, *text, "is not an integer");
            return;
        }
        if (number < range.Lo || number > range.Hi) {
            value = number < range.Lo ? range.Lo : range.Hi;
            Report(key, Decode(*text), OutOfRange(range, value));
            return;
        }
        value = static_cast<int>(number);
    }
    static WideString OutOfRange(TRange range, int used) {
        return UcSystem::Utf8ToWide("is out of range " + std::to_string(range.Lo) + ".." + std::to_string(range.Hi) +
                                    "; " + std::to_string(used) + " is used");
    }
    int Int(const std::string& key, int fallback) {
        int value;
        Int(key, value, fallback);
        return value;
    }
    void Flag(const std::string& key, bool& value, bool fallback) {
        int number;
        Int(key, number, fallback ? 1 : 0);
        value = number != 0;
    }
    bool Flag(const std::string& key, bool fallback) {
        bool value;
        Flag(key, value, fallback);
        return value;
    }
    void Color(const std::string& key, TColor& value, const char* fallback) {
        value = HexToColor(std::string(fallback));
        const std::string* text = Find(key);
        if (text == nullptr) return;
        try {
            value = HexToColor(*text);
        } catch (const EConvertError&) {
            Problem(key, *text, "is not a colour");
        }
    }
    void Str(const std::string& key, WideString& value) {
        const std::string* text = Find(key);
        value = text != nullptr ? Decode(*text) : WideString();
    }
    WideString Str(const std::string& key) {
        WideString value;
        Str(key, value);
        return value;
    }
    void Path(const std::string& key, WideString& value) { value = MakeAbsolutePath(Str(key)); }
    void Time(const std::string& key, float& value, const char* fallback, TRange range = {}) {
        TryTextToTime(fallback, value);
        const std::string* text = Find(key);
        if (text == nullptr) return;
        if (!TryTextToTime(*text, value)) {
            TryTextToTime(fallback, value);
            Problem(key, *text, "is not a time in seconds");
        } else if (value < float(range.Lo) || value > float(range.Hi)) {
            value = float(value < float(range.Lo) ? range.Lo : range.Hi);
            Report(key, Decode(*text), OutOfRange(range, int(value)));
        }
    }
    // One more than the highest index of the block's keys (names without
    // their index) that the file holds; 0 when it holds none.
    int BlockCeiling(const std::vector<std::string>& names) const {
        int ceiling = 0;
        for (const std::string& name : names) {
            auto found = blockCeilings_.find(Key(name));
            if (found != blockCeilings_.end()) ceiling = std::max(ceiling, found->second);
        }
        return ceiling;
    }

    // A line for the user: "KEY: 'value' what".
    void Report(const std::string& key, const WideString& value, const WideString& what) {
        if (problems_ != nullptr) problems_->push_back(UcSystem::Utf8ToWide(key + ": '") + value + u"' " + what);
    }

private:
    static std::string Key(const std::string& name) { return AnsiUpperCase(name); }

    // Old files may hold code-page text; UTF-8 is tried first.
    static WideString Decode(const std::string& bytes) {
        WideString text = UcSystem::Utf8ToWide(bytes);
        return !text.empty() || bytes.empty() ? text : AnsiToWideDefault(bytes);
    }

    void Parse(const std::string& bytes) {
        bool inOptions = false;
        size_t start = 0;
        if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) start = 3;
        while (start < bytes.size()) {
            size_t end = bytes.find('\n', start);
            if (end == std::string::npos) end = bytes.size();
            std::string line = bytes.substr(start, end - start);
            start = end + 1;
            if (!line.empty() && line.back() == '\r') line.pop_back();
            size_t first = line.find_first_not_of(" \t");
            if (first == std::string::npos || line[first] == ';') continue;
            if (line[first] == '[') {
                size_t close = line.find(']', first);
                inOptions = close != std::string::npos && Key(line.substr(first + 1, close - first - 1)) == "OPTIONS";
                continue;
            }
            size_t equals = line.find('=');
            if (!inOptions || equals == std::string::npos) continue;
            std::string name = line.substr(first, equals - first);
            name.erase(name.find_last_not_of(" \t") + 1);
            values_.emplace(Key(name), line.substr(equals + 1));  // the first of a repeated key wins
            NoteIndex(Key(name));
        }
    }

    void NoteIndex(const std::string& key) {
        size_t digits = key.find_last_not_of("0123456789") + 1;
        if (digits < key.size() && key.size() - digits <= 9) {
            int& known = blockCeilings_[key.substr(0, digits)];
            known = std::max(known, std::stoi(key.substr(digits)) + 1);
        }
        size_t cut = key.rfind('_');
        if (cut == std::string::npos || key.size() - cut - 1 == 0 || key.size() - cut - 1 > 9) return;
        if (key.find_first_not_of("0123456789", cut + 1) != std::string::npos) return;
        int ceiling = std::stoi(key.substr(cut + 1)) + 1;
        int& known = ceilings_[key.substr(0, cut)];
        known = std::max(known, ceiling);
    }

    const std::string* Find(const std::string& key) const {
        auto found = values_.find(Key(key));
        return found != values_.end() ? &found->second : nullptr;
    }

    void Problem(const std::string& key, const std::string& text, const char* what) {
        Report(key, Decode(text), UcSystem::Utf8ToWide(what));
    }

    std::map<std::string, std::string> values_;
    std::map<std::string, int> ceilings_;
    std::map<std::string, int> blockCeilings_;
    TProjectReadProblems* problems_;
};

const char* const kParamFields[8] = {"NAME", "VALUE", "TYPE", "CAPTION", "DEFAULT", "MIN", "MAX", "SELECTION"};

// The keys of an effect: base ("PLMOVIE_", "BGMOVIE_", "DYNAMICTEXTS_")
// then the name, then tag (the item's index, or nothing for the preloader).
void WriteEffect(TKeyWriter& w, const std::string& base, const std::string& tag, const EffectRecord& effect) {
    w.Str(base + "STR_THEME" + tag, effect.ThemeName);
    w.Str(base + "STR_TEMPLATE" + tag, effect.TemplateName);
    w.Int(base + "I_PARAMS" + tag, effect.ParamCount());
    for (int p = 0; p < effect.ParamCount(); ++p) {
        const TEffectParam& param = effect.Params[p];
        const WideString* fields[8] = {&param.Name,    &param.Value, &param.Type, &param.Caption,
                                       &param.Default, &param.Min,   &param.Max,  &param.Selection};
        for (int f = 0; f < 8; ++f) w.Str(base + "PARAM_STR_" + kParamFields[f] + tag + "_" + Num(p), *fields[f]);
    }
}

// The stored values of an effect, set by name onto the installed
// template's parameters; names it no longer declares are dropped.
// A value the template's parameter type cannot take keeps the template's
// own and is reported.
void ReadEffectValues(TKeyReader& r, const std::string& base, const std::string& tag, EffectRecord& effect) {
    int count = std::min(r.Int(base + "I_PARAMS" + tag, 0), r.IndexCeiling(base + "PARAM_STR_NAME" + tag));
    for (int p = 0; p < count; ++p) {
        WideString name = r.Str(base + "PARAM_STR_NAME" + tag + "_" + Num(p));
        TEffectParam* param = FindParam(effect, name);
        if (param == nullptr) continue;
        const std::string key = base + "PARAM_STR_VALUE" + tag + "_" + Num(p);
        WideString value = r.Str(key);
        const WideString of = u" for " + param->Name + u" of " + effect.TemplateName;
        if (WideSameText(param->Type, u"color")) {
            try {
                HexToColor(value);
            } catch (const EConvertError&) {
                r.Report(key, value, u"is not a colour" + of + u"; its default " + param->Value + u" is kept");
                continue;
            }
        } else if (WideSameText(param->Type, u"integer")) {
            std::optional<int64_t> number = IntegerOf(value), lo = IntegerOf(param->Min), hi = IntegerOf(param->Max);
            if (!number) {
                r.Report(key, value, u"is not an integer" + of + u"; its default " + param->Value + u" is kept");
                continue;
            }
            if ((lo && *number < *lo) || (hi && *number > *hi)) {
                const WideString used = Number(lo && *number < *lo ? *lo : *hi);
                r.Report(key, value, u"is out of range " + param->Min + u".." + param->Max + of + u"; " + used +
                                         u" is used");
                value = used;
            }
        }
        param->Value = value;
    }
}

// The plain fields of the numbered records, shared by the writer (const
// records) and the reader.
template <class IO, class Picture>
void PictureFields(IO& io, Picture& picture, const std::string& n) {
    io.Path("STR_BGIMAGE" + n, picture.FileName);
    io.Int("I_BGIMAGEPOSITION" + n, picture.PositionMode, 0, TRange{0, 3});
    io.Int("I_BGIMAGELEFT" + n, picture.Left, 0, kOffset);
    io.Int("I_BGIMAGETOP" + n, picture.Top, 0, kOffset);
    io.Int("I_BGIMAGEXSCALE" + n, picture.XScale, 100, TRange{1, 1000});
    io.Int("I_BGIMAGEYSCALE" + n, picture.YScale, 100, TRange{1, 1000});
    io.Int("I_BGIMAGEROTATE" + n, picture.Rotation, 0, kDegrees);
}

template <class IO, class Style>
void FontFields(IO& io, Style& style, const std::string& n) {
    io.Str("FONT_STR_NAME" + n, style.Name);
    io.Str("FONT_STR_FONTNAME" + n, style.FontName);
    io.Int("FONT_I_FONTSIZE" + n, style.Size, 20, kPercent);
    io.Flag("FONT_B_FONTBOLD" + n, style.Bold, false);
    io.Flag("FONT_B_FONTITALIC" + n, style.Italic, false);
    io.Flag("FONT_B_FONTUNDERLINE" + n, style.Underline, false);
    io.Int("FONT_I_WIDTHSCALE" + n, style.WidthScale, 100, TRange{0, 500});
    io.Int("FONT_I_HEIGHTSCALE" + n, style.HeightScale, 100, TRange{0, 500});
    io.Int("FONT_I_ALPHA" + n, style.Alpha, 100, kPercent);
    io.Int("FONT_I_TEXTSPACE" + n, style.TextSpace, 0, kPercent);
    io.Int("FONT_I_FILLSTYLE" + n, style.FillKind, 0, TRange{0, 2});
    io.Color("FONT_COLOR_FILLBEGIN" + n, style.FillBeginColor, "0xFF9900");
    io.Color("FONT_COLOR_FILLEND" + n, style.FillEndColor, "0x663300");
    io.Color("FONT_COLOR_BORDER" + n, style.BorderColor, "0x00FF00");
    io.Int("FONT_I_BORDERSIZE" + n, style.BorderSize, 0, kPercent);
    io.Flag("FONT_B_BORDERSHADOW" + n, style.Shadow, false);
    io.Int("FONT_I_CHARROTATION" + n, style.CharRotation, 0, kDegrees);
}

// A stage block after its effect keys; p is the prefix, n the index.
template <class IO, class Stage>
void StageFields(IO& io, Stage& s, const std::string& p, const std::string& n) {
    io.Flag(p + "B_IMAGE" + n, s.PictureStage, false);
    io.Str(p + "STR_IMAGEFILE" + n, s.PictureFile);
    io.Int(p + "I_IMAGEPOSSIZE" + n, s.PlacementMode, 0, TRange{0, 2});
    io.Int(p + "I_IMAGELEFT" + n, s.Left, 0, kOffset);
    io.Int(p + "I_IMAGETOP" + n, s.Top, 0, kOffset);
    io.Int(p + "I_IMAGESCALE" + n, s.Scale, 100, TRange{0, 1000});
    io.Int(p + "I_IMAGEROTATE" + n, s.Rotation, 0, kDegrees);
    io.Int(p + "I_IMAGEALPHA" + n, s.Alpha, 100, kPercent);
    if constexpr (std::is_const_v<Stage>) io.Str(p + "STR_FORMATEDTEXT" + n, WithoutLineBreaks(s.FormattedText));
    else io.Str(p + "STR_FORMATEDTEXT" + n, s.FormattedText);
    io.Flag(p + "B_ALIGNRELATIVE" + n, s.AlignRelative, true);
    io.Int(p + "I_HORZALIGN" + n, s.HorzAlign, 1, TRange{0, 2});
    io.Int(p + "I_VERTALIGN" + n, s.VertAlign, 1, TRange{0, 2});
    io.Int(p + "I_HORZADJUST" + n, s.HorzAdjust, 0, kAdjust);
    io.Int(p + "I_VERTADJUST" + n, s.VertAdjust, 0, kAdjust);
    io.Int(p + "I_ALIGNLEFT" + n, s.AlignLeft, 0, kAdjust);
    io.Int(p + "I_ALIGNTOP" + n, s.AlignTop, 0, kAdjust);
    io.Int(p + "I_TEXTROTATION" + n, s.TextRotation, 0, kDegrees);
    io.Int(p + "I_LINESPACE" + n, s.LineSpace, 0, TRange{0, 1000});
    io.Int(p + "I_LINEALIGN" + n, s.LineAlign, 1, TRange{0, 2});
    io.Flag(p + "B_STATICTEXT" + n, s.StaticStage, false);
    io.Time(p + "F_STAGEENTER" + n, s.EnterTime, "0.0", kSeconds);
    io.Flag(p + "B_REMOVEPREV" + n, s.RemovePrevious, false);
    io.Time(p + "F_STAGEDELAY" + n, s.DelayAfterPrevious, "0.0", kSeconds);
    io.Flag(p + "B_SKIPENTERACTION" + n, s.SkipEnterAction, false);
    io.Flag(p + "B_LINESSYNCENTER" + n, s.LinesSyncEnter, false);
    io.Time(p + "F_STAGEDURATION" + n, s.Duration, p == "STATICTEXTS_" ? "1.0" : "0.0", kSeconds);
    io.Flag(p + "B_SKIPLEAVEACTION" + n, s.SkipLeaveAction, false);
    io.Flag(p + "B_LINESSYNCLEAVE" + n, s.LinesSyncLeave, false);
    io.Flag(p + "B_LEAVEFROMBEGIN" + n, s.LeaveFromBeginning, false);
    io.Flag(p + "B_KEEPTEXT" + n, s.KeepText, false);
    io.Flag(p + "B_URLREPLAY" + n, s.UrlReplays, false);
    io.Flag(p + "B_URL" + n, s.HasUrl, false);
    io.Int(p + "I_URL" + n, s.UrlKind, 0);
    io.Str(p + "STR_URLADDRESS" + n, s.UrlAddress);
    io.Str(p + "STR_URLTARGET" + n, s.UrlTarget);
}

void WriteStages(TKeyWriter& w, const std::string& prefix, const std::vector<const StageRecord*>& stages) {
    for (size_t s = 0; s < stages.size(); ++s) {
        std::string n = Num(static_cast<int>(s));
        if (stages[s]->Effect) WriteEffect(w, prefix, n, *stages[s]->Effect);
        StageFields(w, *stages[s], prefix, n);
    }
}

// The number of numbered items the count key announces, no more than the
// file holds blocks for (a block writes every one of names with its index):
// a count beyond them would make items of nothing but defaults, so it is
// cut back and reported.
int ReadItemCount(TKeyReader& r, const std::string& countKey, const std::vector<std::string>& names) {
    const int count = r.Int(countKey, 0), held = r.BlockCeiling(names);
    if (count <= held) return count;
    r.Report(countKey, Number(count), u"announces more items than the file holds; only its " + Number(held) +
                                          u" are read");
    return held;
}

template <class Record, class Fields>
std::vector<std::string> FieldNames(Fields fields) {
    TKeyNames names;
    Record record;
    fields(names, record);
    return names.Names;
}

void ReadStages(TKeyReader& r, TProjectState& state, const std::string& prefix, const std::string& countKey) {
    std::vector<std::string> names = FieldNames<StageRecord>([&](TKeyNames& io, StageRecord& stage) {
        StageFields(io, stage, prefix, "");
    });
    for (const char* effectKey : {"STR_THEME", "STR_TEMPLATE", "I_PARAMS"}) names.push_back(prefix + effectKey);
    const int count = ReadItemCount(r, countKey, names);
    for (int s = 0; s < count; ++s) {
        std::string n = Num(s);
        std::unique_ptr<StageRecord> stage = NewStageEffect(state, r.Flag(prefix + "B_IMAGE" + n, false));
        TEffectTree& tree = stage->PictureStage ? state.TreeImageEffect : state.TreeTextEffect;
        const WideString theme = r.Str(prefix + "STR_THEME" + n), name = r.Str(prefix + "STR_TEMPLATE" + n);
        if (TEffectTemplateNode* node = tree.Find(theme, name)) {
            stage->Effect = CopyEffectRecord(*node->Effect);
            ReadEffectValues(r, prefix, n, *stage->Effect);
        } else if (!name.empty()) {
            const EffectRecord* first = stage->Effect.get();
            WideString standIn = first != nullptr
                                     ? u"\"" + TemplateTitle(first->ThemeName, first->TemplateName) + u"\" stands in"
                                     : WideString(u"it has no effect");
            r.Report(prefix + "STR_TEMPLATE" + n, TemplateTitle(theme, name),
                     u"is not installed or could not be read; in stage " +
                         Number(int(state.LbxText.size()) + 1) + u" " + standIn);
        }
        StageFields(r, *stage, prefix, n);
        state.LbxText.push_back(std::move(stage));
    }
}

}  // namespace

std::string TimeToText(float seconds) {
    char buffer[64];
    auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, static_cast<double>(seconds),
                                      std::chars_format::general, 15);
    return error == std::errc() ? std::string(buffer, end) : "0";
}

bool TryTextToTime(const std::string& original, float& seconds) {
    std::string text = original;
    text.erase(0, text.find_first_not_of(" \t"));
    text.erase(text.find_last_not_of(" \t") + 1);
    std::replace(text.begin(), text.end(), ',', '.');
    double value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || !std::isfinite(value) ||
        std::abs(value) > std::numeric_limits<float>::max())
        return false;
    seconds = static_cast<float>(value);
    return true;
}

std::unique_ptr<StageRecord> NewStageEffect(TProjectState& state, bool picture) {
    auto stage = std::make_unique<StageRecord>();
    stage->PictureStage = picture;
    TEffectTemplateNode* first = picture ? state.TreeImageEffect.First() : state.TreeTextEffect.First();
    if (first != nullptr) stage->Effect = CopyEffectRecord(*first->Effect);
    return stage;
}

std::string ProjectFileText(const ProjectRecord& p) {
    TKeyWriter w;
    w.Text = "[OPTIONS]\r\n";
    w.Int("I_WIDTH", p.Width);
    w.Int("I_HEIGHT", p.Height);
    w.Int("I_FRAMERATE", p.FrameRate);
    w.Flag("B_BORDER", p.BorderOn);
    w.Int("I_BORDER", p.BorderSize);
    w.Color("COLOR_BORDER", p.BorderColor);
    w.Flag("B_SOUND", p.SoundOn);
    w.Path("STR_SOUNDFILE", p.SoundFile);
    w.Flag("B_SOUNDLOOP", p.SoundLoopLimited);
    w.Int("I_SOUNDLOOP", p.SoundLoopCount);
    w.Flag("B_COMPRESS", p.Compress);
    w.Flag("B_LOOP", p.LoopLimited);
    w.Int("I_LOOP", p.LoopCount);
    w.Flag("B_REPLOADER", p.PreloaderOn);
    w.Str("STR_PRELOADER", p.PreloaderName);
    if (p.PreloaderEffect != nullptr) WriteEffect(w, "PLMOVIE_", "", *p.PreloaderEffect);
    w.Int("I_BGCOLORTYPE", p.BgKind);
    w.Color("COLOR_SOLID", p.SolidColor);
    w.Color("COLOR_GRADIENTSTART", p.GradientStartColor);
    w.Color("COLOR_GRADIENTEND", p.GradientEndColor);
    w.Int("I_BGGRADIENTSTYLE", p.GradientStyle);
    w.Int("I_BGLINEARROTATION", p.LinearRotation);
    w.Int("I_BGRADIALRADIUS", p.RadialRadius);
    w.Flag("B_BGIMAGE", p.PicturesOn);
    w.Int("I_BGIMAGE", static_cast<int>(p.Pictures.size()));
    for (size_t i = 0; i < p.Pictures.size(); ++i) PictureFields(w, *p.Pictures[i], Num(static_cast<int>(i)));
    w.Flag("B_BGMOVIE", p.BgEffectsOn);
    w.Flag("B_BGMOVIE_MULTIPLE", p.SeveralBgEffects);
    w.Int("I_BGMOVIE", static_cast<int>(p.BgEffects.size()));
    // An unresolved entry writes nothing but keeps its index.
    for (size_t e = 0; e < p.BgEffects.size(); ++e)
        if (p.BgEffects[e] != nullptr) WriteEffect(w, "BGMOVIE_", Num(static_cast<int>(e)), *p.BgEffects[e]);
    w.Int("I_FONTFORMATS", static_cast<int>(p.FontStyles.size()));
    for (size_t f = 0; f < p.FontStyles.size(); ++f) FontFields(w, *p.FontStyles[f], Num(static_cast<int>(f)));
    w.Int("I_STATICSTAGES", static_cast<int>(p.StaticStages.size()));
    WriteStages(w, "STATICTEXTS_", p.StaticStages);
    w.Int("I_DYNAMICSTAGES", static_cast<int>(p.Stages.size()));
    WriteStages(w, "DYNAMICTEXTS_", p.Stages);
    w.Flag("B_DISPLAYONEBYONE", p.OneByOne);
    w.Flag("B_URLONCLOSE", p.CloseUrlOn);
    w.Int("I_URLONCLOSE", p.CloseUrlKind);
    w.Str("STR_URLONCLOSE", p.CloseUrl);
    w.Str("STR_URLTARGETONCLOSE", p.CloseUrlTarget);
    w.Flag("B_URLONCLICK", p.ClickUrlOn);
    w.Int("I_URLONCLICK", p.ClickUrlKind);
    w.Str("STR_URLONCLICK", p.ClickUrl);
    w.Str("STR_URLTARGETONCLICK", p.ClickUrlTarget);
    w.Text += "\r\n";
    return std::move(w.Text);
}

void WriteProjectFile(const WideString& path, const ProjectRecord& project) {
    std::string text = ProjectFileText(project);
    WideWriteFileReplacing(path, text.data(), text.size());
}

void ReadProjectText(const std::string& bytes, TProjectState& state, TProjectReadProblems* problems) {
    TKeyReader r(bytes, problems);
    r.Int("I_WIDTH", state.UpDownMovieWidth, 400, TRange{1, 10000});
    r.Int("I_HEIGHT", state.UpDownMovieHeight, 300, TRange{1, 10000});
    r.Int("I_FRAMERATE", state.UpDownFrameRate, 24, kCount);
    r.Flag("B_BORDER", state.ChkBorder, true);
    r.Int("I_BORDER", state.UpDownBorder, 1, kCount);
    r.Color("COLOR_BORDER", state.ColorBorder, "0xFF6600");
    r.Flag("B_SOUND", state.ChkSound, false);
    r.Path("STR_SOUNDFILE", state.EditSoundFile);
    if (state.ChkSound && !WideFileExists(WideTrim(state.EditSoundFile)))
        r.Report("STR_SOUNDFILE", state.EditSoundFile,
                 WideTrim(state.EditSoundFile).empty() ? u"names no sound file; the movie will have no sound"
                                                       : u"does not exist; the movie will have no sound");
    r.Flag("B_SOUNDLOOP", state.ChkSoundLoop, false);
    r.Int("I_SOUNDLOOP", state.UpDownSoundLoop, 1, kCount);
    r.Flag("B_COMPRESS", state.ChkCompress, true);
    r.Flag("B_LOOP", state.ChkLoop, false);
    r.Int("I_LOOP", state.UpDownLoop, 1, kCount);

    r.Flag("B_REPLOADER", state.ChkPreloader, false);
    WideString preloaderName = r.Str("STR_PRELOADER");
    state.CmbPreLoaderIndex = state.CmbPreLoader.empty() ? -1 : 0;
    for (size_t i = 0; i < state.CmbPreLoader.size(); ++i) {
        if (WideSameText(state.CmbPreLoader[i].FileName, preloaderName)) {
            state.CmbPreLoaderIndex = static_cast<int>(i);
            break;
        }
    }
    state.CmbPreLoaderText.clear();
    if (!preloaderName.empty() && (state.CmbPreLoaderIndex < 0 ||
                                   !WideSameText(state.CmbPreLoader[state.CmbPreLoaderIndex].FileName, preloaderName))) {
        r.Report("STR_PRELOADER", preloaderName,
                 state.CmbPreLoaderIndex < 0
                     ? WideString(u"is not installed or could not be read, and no other preloader is")
                     : u"is not installed or could not be read; \"" +
                           state.CmbPreLoader[state.CmbPreLoaderIndex].FileName + u"\" stands in");
    }
    if (state.CmbPreLoaderIndex >= 0) {
        TPreloaderItem& item = state.CmbPreLoader[state.CmbPreLoaderIndex];
        state.CmbPreLoaderText = item.FileName;
        if (WideSameText(item.FileName, r.Str("PLMOVIE_STR_TEMPLATE"))) ReadEffectValues(r, "PLMOVIE_", "", *item.Effect);
        ApplyPreloaderColors(state, *item.Effect);
    }

    int bgKind = r.Int("I_BGCOLORTYPE", 1);
    state.RdoSolidColor = bgKind == bkSolid;
    state.RdoGradientColor = bgKind == bkGradient;
    r.Color("COLOR_SOLID", state.ColorBgColorSolid, "0x663300");
    r.Color("COLOR_GRADIENTSTART", state.ColorBgGradientStart, "0x663300");
    r.Color("COLOR_GRADIENTEND", state.ColorBgGradientEnd, "0xCCFF99");
    r.Int("I_BGGRADIENTSTYLE", state.CmbBgGradientStyle, 0, TRange{0, 1});
    state.SpinEditBgLinearColorRotation = r.Int("I_BGLINEARROTATION", 270);
    state.SpinEditBgRadialColorRadius = r.Int("I_BGRADIALRADIUS", 200);

    state.lstBgImage.clear();
    r.Flag("B_BGIMAGE", state.ChkBgImage, false);
    const int pictures = ReadItemCount(r, "I_BGIMAGE", FieldNames<BgImageRecord>([](TKeyNames& io, BgImageRecord& b) {
                                           PictureFields(io, b, "");
                                       }));
    for (int i = 0; i < pictures; ++i) {
        auto picture = std::make_unique<BgImageRecord>();
        PictureFields(r, *picture, Num(i));
        state.lstBgImage.push_back(std::move(picture));
    }

    r.Flag("B_BGMOVIE", state.ChkAddBgEffect, true);
    r.Flag("B_BGMOVIE_MULTIPLE", state.ChkBgEffectMultiple, false);
    state.ListViewBgEffectMultiple.clear();
    const int effects = ReadItemCount(r, "I_BGMOVIE", {"BGMOVIE_STR_THEME", "BGMOVIE_STR_TEMPLATE", "BGMOVIE_I_PARAMS"});
    for (int e = 0; e < effects; ++e) {
        WideString theme = r.Str("BGMOVIE_STR_THEME" + Num(e));
        WideString name = r.Str("BGMOVIE_STR_TEMPLATE" + Num(e));
        TEffectTemplateNode* node = state.TreeBg.Find(theme, name);
        if (node == nullptr) {  // no longer installed: left out
            if (!name.empty())
                r.Report("BGMOVIE_STR_TEMPLATE" + Num(e), TemplateTitle(theme, name),
                         u"is not installed or could not be read; the background effect is left out");
            continue;
        }
        state.ListViewBgEffectMultiple.push_back({node->FileName, theme});
        ReadEffectValues(r, "BGMOVIE_", Num(e), *node->Effect);
    }

    state.CmbFontFormat.clear();
    const int styles = ReadItemCount(r, "I_FONTFORMATS", FieldNames<FontStyleRecord>([](TKeyNames& io, FontStyleRecord& f) {
                                         FontFields(io, f, "");
                                     }));
    if (styles < 1) {
        state.CmbFontFormat.push_back(std::make_unique<FontStyleRecord>());
        state.CmbFontFormat.back()->Name = u"default";
    }
    for (int f = 0; f < styles; ++f) {
        if (r.Str("FONT_STR_NAME" + Num(f)).empty()) continue;
        auto style = std::make_unique<FontStyleRecord>();
        FontFields(r, *style, Num(f));
        state.CmbFontFormat.push_back(std::move(style));
    }

    state.LbxText.clear();
    ReadStages(r, state, "STATICTEXTS_", "I_STATICSTAGES");
    ReadStages(r, state, "DYNAMICTEXTS_", "I_DYNAMICSTAGES");

    r.Flag("B_DISPLAYONEBYONE", state.ChkDisplayOneByOne, true);
    r.Flag("B_URLONCLOSE", state.ChkURLOnClose, false);
    state.RdoClickTagOnClose = r.Int("I_URLONCLOSE", 0) == 1;
    r.Str("STR_URLONCLOSE", state.EditURLOnClose);
    r.Str("STR_URLTARGETONCLOSE", state.CmbURLTargetOnClose);
    r.Flag("B_URLONCLICK", state.ChkURLOnClick, false);
    state.RdoClickTAGOnClick = r.Int("I_URLONCLICK", 0) == 1;
    r.Str("STR_URLONCLICK", state.EditURLOnClick);
    r.Str("STR_URLTARGETONCLICK", state.CmbURLTargetOnClick);
}

bool ReadProjectFile(const WideString& path, TProjectState& state, TProjectReadProblems* problems) {
    if (!WideFileExists(path)) return false;
    TFileStream file(UcSystem::WideToUtf8(path), TFileMode::OpenRead);
    int64_t size = file.GetSize();
    if (size > kMaxProjectFileSize)
        throw EReadError(FormatStr("The project file is too large (%lld bytes)", static_cast<long long>(size)));
    std::string bytes(static_cast<size_t>(size), '\0');
    file.ReadBuffer(bytes.data(), size);
    ReadProjectText(bytes, state, problems);
    return true;
}
