#include "app/effect_builders.h"

#include <cmath>
#include <functional>
#include <numbers>
#include <optional>
#include <vector>

#include "app/app_utils.h"
#include "app/movie_pictures.h"
#include "app/templates.h"
#include "controls/ucsysutils.h"
#include "movie/action_script.h"
#include "movie/flash_movie.h"
#include "movie/images.h"
#include "movie/shapes.h"
#include "movie/sprites.h"
#include "platform/mathutil.h"
#include "swf/control_tags.h"
#include "swf/names.h"
#include "swf/reader.h"
#include "swf/sprite_tags.h"
#include "swf/tag_codes.h"

namespace {

WideString Number(int64_t value) { return UcSystem::Utf8ToWide(std::to_string(value)); }
WideString Bool(bool value) { return value ? u"true" : u"false"; }

// round(rate x seconds), halves to even, as frame counts are reckoned.
int64_t Frames(int frameRate, float seconds) { return RoundHalfEven(double(frameRate) * double(seconds)); }

class TParamsValue {
public:
    TParamsValue() : text_(u"<ParamsValue>") {}
    void Add(const WideString& name, const WideString& value) {
        text_ += u"<" + name + u">" + XmlEscape(value) + u"</" + name + u">";
    }
    void Add(const WideString& name, int64_t value) { Add(name, Number(value)); }
    void AddBool(const WideString& name, bool value) { Add(name, Bool(value)); }
    void AddDocument(const WideString& xml) { text_ += xml; }
    void AddParams(const EffectRecord* effect) {
        if (effect == nullptr) return;
        for (const TEffectParam& param : effect->Params) Add(param.Name, param.Value);
    }
    void AddMovieSize(const ProjectRecord& project) {
        Add(u"Movie.Width", project.Width);
        Add(u"Movie.Height", project.Height);
    }
    WideString Text() const { return text_ + u"</ParamsValue>"; }

private:
    WideString text_;
};

const StageRecord& StageAt(const ProjectRecord& project, int index) {
    if (index < 0 || size_t(index) >= project.Stages.size() || project.Stages[size_t(index)] == nullptr)
        throw EConvertError(FormatStr("There is no stage %d", index));
    return *project.Stages[size_t(index)];
}

const EffectRecord& StageEffect(const StageRecord& stage, int index) {
    if (stage.Effect == nullptr) throw EConvertError(FormatStr("Stage %d has no effect template", index));
    return *stage.Effect;
}

// The delay before a timed element: only the one-by-one sequence waits.
int64_t DelayFrames(const ProjectRecord& project, const StageRecord& stage) {
    return project.OneByOne ? Frames(project.FrameRate, stage.DelayAfterPrevious) : 0;
}

// The frame scripts to insert before the template's first one.
struct TInsertedScripts {
    std::string Document;           // UTF-8
    const StageRecord* ClickStage;  // its click script, when it has one
};

// ---------------------------------------------------------------- scripts

void AddLinkActions(TFlashActionScript& s, const StageRecord& stage) {
    AddGetUrlActions(s, stage.UrlKind, stage.UrlAddress, stage.UrlTarget);
}

// this.onRelease = a function that opens the stage's link and, for a stage
// that replays the movie, sends the main timeline back to "loopstart".
bool AddClickScript(TFlashActionScript& s, const StageRecord& stage) {
    if (!stage.UrlReplays && !stage.HasUrl) return false;
    s.Push({TPushValue("this")}, {0});
    s.GetVariable();
    s.Push({TPushValue("onRelease")}, {0});
    if (stage.UrlReplays) {
        TSWFActionDefineFunction2* function = s.DefineFunction2("", {}, 2);
        function->PreloadParent = true;
        function->SuppressArguments = true;
        function->SuppressSuper = true;
        function->SuppressThis = true;
        // _parent lands in register 1.
        s.Push({TPushValue("loopstart"), TPushValue(1), TPushValue::Register(1), TPushValue("gotoAndPlay")},
               {0, 7, 4, 0});
        if (stage.HasUrl) AddLinkActions(s, stage);
        s.CallMethod();
        s.Pop();
        s.AddOffsetMarker(&function->GetLabel());
    } else {
        TSWFActionDefineFunction* function = s.DefineFunction("", {});
        AddLinkActions(s, stage);
        s.AddOffsetMarker(&function->GetLabel());
    }
    s.SetMember();
    return true;
}

// ---------------------------------------------------------------- the copy

// What a builder does with a template tag: nothing (it is copied), or it
// drops it (and may add its own objects in its place).
using TTagFilter = std::function<bool(TSWFTagInfo& info, TFlashMovie& movie)>;

std::unique_ptr<TFlashMovie> CreateMovieFor(const TSWFStreamReader& reader) {
    const TRect& bounds = reader.Bounds;
    auto movie = std::make_unique<TFlashMovie>(bounds.Left, bounds.Top, bounds.Right, bounds.Bottom,
                                               reader.GetFrameRate(), false);
    movie->SetVersion(reader.Version);
    return movie;
}

void CopyTemplate(TSWFStreamReader& reader, TFlashMovie& movie, const TInsertedScripts& scripts,
                  const TTagFilter& filter) {
    bool inserted = false;
    for (size_t t = 0; t < reader.TagCount(); ++t) {
        TSWFTagInfo& info = reader.GetTagInfo(t);
        if (info.TagCode == TagCodes::DoAction && !inserted) {
            inserted = true;
            PushStringAssignment(movie.GetFrameActions(), "ParamsValue", scripts.Document);
            movie.CommitFrameActions();
            if (scripts.ClickStage != nullptr && AddClickScript(movie.GetFrameActions(), *scripts.ClickStage))
                movie.CommitFrameActions();
        }
        if (filter && filter(info, movie)) continue;
        if (info.Object == nullptr) continue;
        std::unique_ptr<TSWFObject> copy = CreateTagByCode(info.TagCode);
        copy->CopyFieldsFrom(*info.Object);
        movie.AddObject(std::move(copy));
    }
    movie.MakeStream();
}

bool IsShapeTag(uint16_t code) {
    return code == TagCodes::DefineShape || code == TagCodes::DefineShape2 || code == TagCodes::DefineShape3;
}

// The character that a sprite's first control tag places; none when that
// tag places nothing.
std::optional<uint16_t> FirstPlacedCharacter(const TSWFObject& sprite) {
    const auto* children = sprite.ChildTags();
    if (children == nullptr || children->empty()) return std::nullopt;
    TPlacementInfo placement;
    if (!(*children)[0]->GetPlacementInfo(placement) || !placement.HasCharacter) return std::nullopt;
    return placement.CharacterId;
}

// A rectangle of the picture's fill with the placeholder shape's identifier
// and a one-frame sprite with the placeholder sprite's identifier showing
// it at depth 1.
TFlashSprite* AddPictureSprite(TFlashMovie& movie, TFlashImage& image, int32_t width, int32_t height,
                               uint16_t shapeId, uint16_t spriteId) {
    TFlashShape* shape = movie.AddRectangle(0, 0, width, height);
    shape->SetCharacterId(shapeId);
    shape->AddImageFill(&image, 1, 1.0f, 1.0f);
    TFlashSprite* sprite = movie.AddSprite();
    sprite->SetCharacterId(spriteId);
    sprite->PlaceObject(shape, 1);
    sprite->ShowFrame();
    return sprite;
}

WideString TemplatePath(const WideString& folder, const EffectRecord& effect) {
    return GetProgramFolder() + folder + u"/" + effect.ThemeName + u"/" + effect.TemplateName;
}

}  // namespace

// ---------------------------------------------------------------- the documents

void AddGetUrlActions(TFlashActionScript& s, int kind, const WideString& address, const WideString& target) {
    if (kind == 1) {
        s.Push({TPushValue("_root")}, {0});
        s.GetVariable();
        s.Push({TPushValue("clickTAG")}, {0});
        s.GetMember();
        s.Push({TPushValue(UcSystem::WideToUtf8(target))}, {0});
        s.GetURL2(false, false, 0);
    } else if (!address.empty()) {
        // The movies are SWF 6 or later, whose strings are UTF-8.
        s.GetUrl(UcSystem::WideToUtf8(address), UcSystem::WideToUtf8(target));
    }
}

void PushStringAssignment(TFlashActionScript& script, const std::string& name, const std::string& text) {
    // A push record's length is 16 bits; leave room for the name, the type
    // bytes and the terminators.
    constexpr size_t kPiece = 65000;
    if (text.size() <= kPiece) {
        script.Push({TPushValue(name), TPushValue(text)}, {0, 0});
        script.SetVariable();
        return;
    }
    // Each piece ends on a whole UTF-8 sequence, so every piece is a valid
    // string of its own and the joined text equals the original.
    std::vector<std::string> pieces;
    for (size_t at = 0; at < text.size();) {
        size_t end = std::min(text.size(), at + kPiece);
        while (end < text.size() && (static_cast<uint8_t>(text[end]) & 0xC0) == 0x80) --end;
        pieces.push_back(text.substr(at, end - at));
        at = end;
    }
    script.Push({TPushValue(name), TPushValue(pieces[0])}, {0, 0});
    for (size_t i = 1; i < pieces.size(); ++i) {
        // A new record of its own: the builder would merge it into the last.
        auto push = std::make_unique<TSWFActionPush>();
        push->AddValue(TPushValue(pieces[i]));
        script.ActionList().Add(std::move(push));
        script.StringAdd();
    }
    script.SetVariable();
}

WideString PreloaderParamsValue(const ProjectRecord& project) {
    TParamsValue doc;
    doc.AddParams(project.PreloaderEffect);
    return doc.Text();
}

WideString BgEffectParamsValue(const ProjectRecord& project, int index) {
    if (index < 0 || size_t(index) >= project.BgEffects.size() || project.BgEffects[size_t(index)] == nullptr)
        throw EConvertError(FormatStr("There is no background effect %d", index));
    TParamsValue doc;
    doc.AddMovieSize(project);
    doc.Add(u"Movie.FPS", project.FrameRate);
    doc.AddParams(project.BgEffects[size_t(index)]);
    return doc.Text();
}

WideString TextStageParamsValue(const ProjectRecord& project, int index) {
    const StageRecord& stage = StageAt(project, index);
    TParamsValue doc;
    doc.AddMovieSize(project);
    doc.AddDocument(stage.FormattedText);
    doc.AddDocument(project.FontXml);
    doc.AddParams(stage.Effect.get());

    int32_t x, y;
    if (stage.AlignRelative) {
        auto anchor = [](int align, int32_t size, int32_t adjust) {
            return align == 0 ? adjust : align == 1 ? size / 2 + adjust : size + adjust;
        };
        x = anchor(stage.HorzAlign, project.Width, stage.HorzAdjust);
        y = anchor(stage.VertAlign, project.Height, stage.VertAdjust);
    } else {
        x = stage.AlignLeft;
        y = stage.AlignTop;
    }
    const int r = stage.TextRotation;
    if (r != 0) {
        const double a = r * std::numbers::pi / 180.0;
        doc.Add(u"Txt.PosX", RoundHalfEven(x * std::cos(a) + y * std::sin(a)));
        doc.Add(u"Txt.PosY", RoundHalfEven(y * std::cos(a) - x * std::sin(a)));
    } else {
        doc.Add(u"Txt.PosX", x);
        doc.Add(u"Txt.PosY", y);
    }
    doc.Add(u"Txt.Rotation", r);
    doc.Add(u"Txt.LineSpace", stage.LineSpace);
    doc.Add(u"Txt.LineAlign", stage.LineAlign);
    doc.AddBool(u"Txt.StaticText", stage.StaticStage);
    if (stage.StaticStage) {
        doc.Add(u"Txt.DelayFrame", 0);
        doc.AddBool(u"Txt.SkipEnter", true);
        doc.Add(u"Txt.DurationFrame", -1);
        doc.AddBool(u"Txt.SkipLeave", true);
        doc.AddBool(u"Txt.KeepText", true);
    } else {
        doc.Add(u"Txt.DelayFrame", DelayFrames(project, stage));
        doc.AddBool(u"Txt.SkipEnter", stage.SkipEnterAction);
        doc.AddBool(u"Txt.LinesSyncEnter", stage.LinesSyncEnter);
        doc.Add(u"Txt.DurationFrame", Frames(project.FrameRate, stage.Duration));
        doc.AddBool(u"Txt.SkipLeave", stage.SkipLeaveAction);
        doc.AddBool(u"Txt.LinesSyncLeave", stage.LinesSyncLeave);
        doc.AddBool(u"Txt.LeaveFromBegin", stage.LeaveFromBeginning);
        doc.AddBool(u"Txt.KeepText", stage.KeepText);
    }
    doc.AddBool(u"Txt.URL", false);
    doc.Add(u"Txt.URLAddress", u"about:blank");
    doc.Add(u"Txt.URLTarget", u"");
    return doc.Text();
}

WideString PictureExportStem(const EffectRecord& effect) {
    for (const TEffectParam& param : effect.Params)
        if (WideSameText(param.Name, u"Img.EffectName")) return param.Default;
    return u"";
}

WideString ImageStageParamsValue(const ProjectRecord& project, int index, const TPicturePosition& position) {
    const StageRecord& stage = StageAt(project, index);
    const WideString stem = PictureExportStem(StageEffect(stage, index));
    TParamsValue doc;
    doc.AddMovieSize(project);
    doc.Add(u"Movie.FPS", project.FrameRate);
    doc.Add(u"Img.ImageExport", stem + u"_Image_" + Number(index));
    doc.Add(u"Img.ImageMovieExport", stem + u"_ImageMovie_" + Number(index));
    doc.AddParams(stage.Effect.get());
    doc.Add(u"Img.PosX", position.X);
    doc.Add(u"Img.PosY", position.Y);
    doc.AddBool(u"Img.SeeThrough", position.SeeThrough);
    doc.Add(u"Img.Rotation", stage.Rotation);
    doc.Add(u"Img.Alpha", stage.Alpha);
    doc.AddBool(u"Img.StaticText", stage.StaticStage);
    if (stage.StaticStage) {
        doc.Add(u"Img.DelayFrame", 0);
        doc.Add(u"Img.DurationFrame", -1);
        doc.AddBool(u"Img.KeepText", true);
    } else {
        doc.Add(u"Img.DelayFrame", DelayFrames(project, stage));
        doc.Add(u"Img.DurationFrame", Frames(project.FrameRate, stage.Duration));
        doc.AddBool(u"Img.KeepText", stage.KeepText);
    }
    doc.AddBool(u"Img.URL", false);
    doc.Add(u"Img.URLAddress", u"about:blank");
    doc.Add(u"Img.URLTarget", u"");
    return doc.Text();
}

// ---------------------------------------------------------------- the builders

std::unique_ptr<TFlashMovie> BuildPreloaderMovie(const ProjectRecord& project) {
    if (project.PreloaderEffect == nullptr) throw EConvertError("The project has no preloader template");
    TInsertedScripts scripts{UcSystem::WideToUtf8(PreloaderParamsValue(project)), nullptr};
    auto reader = ReadTemplateFile(GetProgramFolder() + u"preloader/" + project.PreloaderName);
    auto movie = CreateMovieFor(*reader);
    CopyTemplate(*reader, *movie, scripts, nullptr);
    return movie;
}

std::unique_ptr<TFlashMovie> BuildBgEffectMovie(const ProjectRecord& project, int index) {
    TInsertedScripts scripts{UcSystem::WideToUtf8(BgEffectParamsValue(project, index)), nullptr};
    const EffectRecord& effect = *project.BgEffects[size_t(index)];
    auto reader = ReadTemplateFile(TemplatePath(EffectFolderName(ekBackground), effect));
    auto movie = CreateMovieFor(*reader);
    movie->SetSystemCoord(true);

    // A picture parameter names a bitmap "<name>_Image" and a sprite "<name>"
    // showing it; both must be there for the picture to take their place.
    struct TSwap {
        uint16_t BitmapId = 0;
        WideString File;
        uint16_t SpriteId = 0;
        uint16_t ShapeId = 0;
        TFlashImage* Image = nullptr;
    };
    std::vector<TSwap> swaps;
    for (const TEffectParam& param : effect.Params) {
        if (!WideSameText(param.Type, u"imagefile")) continue;
        WideString file = MakeAbsolutePath(param.Value);
        if (file.empty() || !WideFileExists(file)) continue;
        std::string name = UcSystem::WideToUtf8(param.Name);
        TSWFObject* bitmap = reader->FindObjectByName(name + "_Image");
        TSWFObject* sprite = reader->FindObjectByName(name);
        if (bitmap == nullptr || sprite == nullptr || sprite->TagCode != TagCodes::DefineSprite) continue;
        std::optional<uint16_t> shape = FirstPlacedCharacter(*sprite);
        if (!shape) continue;
        swaps.push_back({static_cast<uint16_t>(bitmap->CharacterId()), file,
                         static_cast<uint16_t>(sprite->CharacterId()), *shape, nullptr});
    }
    auto swapOfBitmap = [&](int32_t id) -> TSwap* {
        for (TSwap& swap : swaps)
            if (swap.BitmapId == id) return &swap;
        return nullptr;
    };
    for (size_t t = 0; t < reader->TagCount() && !swaps.empty(); ++t) {
        TSWFTagInfo& info = reader->GetTagInfo(t);
        if (info.TagCode != TagCodes::DefineBitsJPEG2 || info.Object == nullptr) continue;
        TSwap* swap = swapOfBitmap(info.Object->CharacterId());
        if (swap == nullptr || swap->Image != nullptr) continue;
        TIEBitmap picture;
        LoadPictureFile(swap->File, picture);
        CoverPicture(picture, project.Width, project.Height);
        swap->Image = AddPictureImage(*movie, picture, false);
        swap->Image->SetCharacterId(swap->BitmapId);
    }

    CopyTemplate(*reader, *movie, scripts, [&](TSWFTagInfo& info, TFlashMovie& target) {
        if (info.Object == nullptr) return false;
        const int32_t id = info.Object->CharacterId();
        for (TSwap& swap : swaps) {
            if (swap.Image == nullptr) continue;
            if (IsShapeTag(info.TagCode) && id == swap.ShapeId) return true;
            if (info.TagCode == TagCodes::DefineBitsJPEG2 && id == swap.BitmapId) return true;
            if (info.TagCode == TagCodes::DefineSprite && id == swap.SpriteId) {
                AddPictureSprite(target, *swap.Image, project.Width, project.Height, swap.ShapeId, swap.SpriteId);
                return true;
            }
        }
        return false;
    });
    return movie;
}

std::unique_ptr<TFlashMovie> BuildTextStageMovie(const ProjectRecord& project, int index) {
    const StageRecord& stage = StageAt(project, index);
    const EffectRecord& effect = StageEffect(stage, index);
    TInsertedScripts scripts{UcSystem::WideToUtf8(TextStageParamsValue(project, index)), &stage};
    auto reader = ReadTemplateFile(TemplatePath(EffectFolderName(ekText), effect));
    auto movie = CreateMovieFor(*reader);
    CopyTemplate(*reader, *movie, scripts, nullptr);
    return movie;
}

std::unique_ptr<TFlashMovie> BuildImageStageMovie(const ProjectRecord& project, int index) {
    const StageRecord& stage = StageAt(project, index);
    const EffectRecord& effect = StageEffect(stage, index);
    const WideString file = MakeAbsolutePath(stage.PictureFile);
    if (file.empty() || !WideFileExists(file)) return nullptr;

    TIEBitmap picture;
    LoadPictureFile(file, picture);
    TPicturePosition position;
    if (stage.PlacementMode == pmStretch) {
        CoverPicture(picture, project.Width, project.Height);
    } else {
        ResamplePicture(picture, static_cast<int32_t>(RoundHalfEven(picture.GetWidth() * stage.Scale / 100.0)),
                        static_cast<int32_t>(RoundHalfEven(picture.GetHeight() * stage.Scale / 100.0)));
        RotatePicture(picture, stage.Rotation);
        if (stage.PlacementMode == pmCustom) {
            position = {stage.Left, stage.Top};
        } else {
            position = {project.Width / 2 - picture.GetWidth() / 2, project.Height / 2 - picture.GetHeight() / 2};
        }
    }
    position.SeeThrough = HasSeeThroughPixels(picture);

    const WideString stem = PictureExportStem(effect);
    const std::string stem8 = UcSystem::WideToUtf8(stem);
    const std::string imageExport = UcSystem::WideToUtf8(stem + u"_Image_" + Number(index));
    const std::string movieExport = UcSystem::WideToUtf8(stem + u"_ImageMovie_" + Number(index));
    TInsertedScripts scripts{UcSystem::WideToUtf8(ImageStageParamsValue(project, index, position)), &stage};
    const WideString path = TemplatePath(EffectFolderName(ekImage), effect);
    auto reader = ReadTemplateFile(path);
    auto movie = CreateMovieFor(*reader);
    movie->SetSystemCoord(true);

    TSWFObject* bitmap = reader->FindObjectByName(stem8 + "_Image");
    TSWFObject* sprite = reader->FindObjectByName(stem8 + "_ImageMovie");
    std::optional<uint16_t> shape;
    if (sprite != nullptr && sprite->TagCode == TagCodes::DefineSprite) shape = FirstPlacedCharacter(*sprite);
    if (bitmap == nullptr || !shape)
        throw EConvertError("The picture template \"" + UcSystem::WideToUtf8(path) + "\" has no placeholders \"" +
                            stem8 + "_Image\" and \"" + stem8 + "_ImageMovie\"");
    const uint16_t bitmapId = static_cast<uint16_t>(bitmap->CharacterId());
    const uint16_t spriteId = static_cast<uint16_t>(sprite->CharacterId());

    TFlashImage* image = nullptr;
    for (size_t t = 0; t < reader->TagCount(); ++t) {
        TSWFTagInfo& info = reader->GetTagInfo(t);
        if (info.TagCode != TagCodes::DefineBitsJPEG2 || info.Object == nullptr ||
            info.Object->CharacterId() != bitmapId)
            continue;
        image = AddPictureImage(*movie, picture, true);
        image->SetCharacterId(bitmapId);
        movie->AddExportAssets(imageExport, bitmapId);
        break;
    }
    // A placeholder kept as another kind of bitmap stays as it is.
    if (image == nullptr) {
        CopyTemplate(*reader, *movie, scripts, nullptr);
        return movie;
    }

    const int32_t width = picture.GetWidth(), height = picture.GetHeight();
    CopyTemplate(*reader, *movie, scripts, [&](TSWFTagInfo& info, TFlashMovie& target) {
        if (info.Object == nullptr) return false;
        const int32_t id = info.Object->CharacterId();
        if (IsShapeTag(info.TagCode) && id == *shape) return true;
        if (info.TagCode == TagCodes::DefineBitsJPEG2 && id == bitmapId) return true;
        if (info.TagCode == TagCodes::DefineSprite && id == spriteId) {
            AddPictureSprite(target, *image, width, height, *shape, spriteId);
            target.AddExportAssets(movieExport, spriteId);
            return true;
        }
        if (info.TagCode == TagCodes::ExportAssets) {
            for (const TSWFAssetEntry& asset : static_cast<TSWFExportAssets*>(info.Object)->Assets) {
                WideString name = UcSystem::Utf8ToWide(asset.Name);
                if (WideSameText(name, stem + u"_Image") || WideSameText(name, stem + u"_ImageMovie")) return true;
            }
        }
        return false;
    });
    return movie;
}

void AddPicturePlaceholder(TFlashMovie& movie, const std::string& pictureFile, const std::string& bitmapName,
                           const std::string& spriteName) {
    TFlashImage* image = movie.AddImage(pictureFile);
    image->SetAsJPEG(true);
    TFlashShape* shape = movie.AddImageShape(image);
    TFlashSprite* sprite = movie.AddSprite();
    sprite->PlaceObject(shape, 1);
    sprite->ShowFrame();
    movie.AddExportAssets(bitmapName, image->GetCharacterId());
    movie.AddExportAssets(spriteName, sprite->GetCharacterId());
}
