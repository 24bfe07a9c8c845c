#include "app/composer.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <set>

#include "app/app_utils.h"
#include "app/effect_builders.h"
#include "app/movie_pictures.h"
#include "controls/ucsysutils.h"
#include "movie/action_script.h"
#include "movie/external_movie.h"
#include "movie/flash_movie.h"
#include "movie/fonts.h"
#include "movie/images.h"
#include "movie/shapes.h"
#include "movie/sounds.h"
#include "movie/sprites.h"
#include "platform/fonts.h"
#include "platform/mathutil.h"
#include "swf/styles.h"

namespace {

TSWFRGBAValue Rgba(TColor color) {
    return SWFRGBA(uint8_t(color & 0xFF), uint8_t((color >> 8) & 0xFF), uint8_t((color >> 16) & 0xFF), 255);
}

// One frame can show a run of at most this many ShowFrame tags in one call.
constexpr int64_t kMaxFrameRun = 0xFFFF;

class TComposer {
public:
    TComposer(const ProjectRecord& project, const TComposeOptions& options) : p_(project), options_(options) {}

    std::unique_ptr<TFlashMovie> Compose();

private:
    void Progress(const std::string& step, int percent) {
        if (options_.OnProgress) options_.OnProgress(step, percent);
    }
    void Warn(const WideString& warning) {
        if (options_.OnWarning) options_.OnWarning(warning);
    }
    TFlashPlaceObject* Place(TFlashVisualObject* object) {
        TFlashPlaceObject* placed = movie_->PlaceObject(object, depth_);
        ++depth_;
        return placed;
    }
    // Embeds a sub-movie as a sprite (its characters renumbered after ours).
    TFlashSprite* Embed(TFlashMovie& sub) {
        TMemoryStream bytes;
        sub.SaveToStream(bytes);
        return movie_->AddExternalMovie(bytes, kExternalSprite, true)->Sprite();
    }
    // Frames ended in runs a single count can hold.
    void EndFrames(int64_t count) {
        while (count > 0) {
            int64_t run = std::min(count, kMaxFrameRun);
            movie_->ShowFrame(static_cast<uint16_t>(run));
            count -= run;
        }
    }
    std::unique_ptr<TFlashMovie> BuildStage(int index) {
        const StageRecord& stage = *p_.Stages[size_t(index)];
        return stage.PictureStage ? BuildImageStageMovie(p_, index) : BuildTextStageMovie(p_, index);
    }
    void Preloader();
    void StartFrame();
    void Background();
    void BackgroundPictures();
    void BackgroundPicture(const BgImageRecord& record);
    void Fonts();
    void WarnOfMissingGlyphs(const FontStyleRecord& style, const TLogFont& face, const WideString& chars);
    void ClickArea();
    void OneByOneStages();
    void TimedStages();
    void EndFrame();

    const ProjectRecord& p_;
    const TComposeOptions& options_;
    std::unique_ptr<TFlashMovie> movie_;
    uint16_t depth_ = 1;
};

std::unique_ptr<TFlashMovie> TComposer::Compose() {
    if (p_.Width <= 0 || p_.Height <= 0 || p_.FrameRate <= 0)
        throw EConvertError(FormatStr("A movie of %d x %d pixels at %d frames per second cannot be made", p_.Width,
                                      p_.Height, p_.FrameRate));
    movie_ = std::make_unique<TFlashMovie>(0, 0, p_.Width * 20, p_.Height * 20, float(p_.FrameRate), false);
    movie_->SetVersion(8);
    movie_->SetSystemCoord(true);
    movie_->SetCompressed(p_.Compress);
    for (const WideString& warning : p_.Warnings) Warn(warning);

    Progress("preloader", 0);
    if (p_.PreloaderOn && p_.PreloaderEffect != nullptr) Preloader();
    StartFrame();
    Progress("background", 10);
    // The background stands from the start frame on: the movie has no
    // background colour of its own, so the frame after the preloader (and
    // the first frame of a movie without one) would otherwise show the
    // player's white.
    Background();
    movie_->ShowFrame();
    movie_->BackgroundColorSet = false;
    if (p_.PicturesOn) BackgroundPictures();
    if (p_.BorderOn) {
        TFlashShape* border = movie_->AddRectangle(0, 0, p_.Width, p_.Height);
        border->AddLineStyle(p_.BorderSize, Rgba(p_.BorderColor));
        movie_->PlaceObject(border, 999);
    }
    Progress("fonts", 20);
    Fonts();
    if (p_.BgEffectsOn) {
        for (size_t i = 0; i < p_.BgEffects.size(); ++i) {
            if (p_.BgEffects[i] == nullptr) continue;
            Progress("background effect " + std::to_string(i + 1), 30);
            Place(Embed(*BuildBgEffectMovie(p_, int(i))));
        }
    }
    if (p_.ClickUrlOn) ClickArea();
    for (size_t i = 0; i < p_.Stages.size(); ++i) {
        if (!p_.Stages[i]->StaticStage) continue;
        Progress("stage " + std::to_string(i + 1), 40);
        if (auto sub = BuildStage(int(i))) Place(Embed(*sub));
    }
    movie_->FrameLabel = "loopstart";
    movie_->GetFrameActions().Play();
    movie_->ShowFrame();

    if (p_.OneByOne) OneByOneStages();
    else TimedStages();
    EndFrame();
    Progress("writing", 95);
    movie_->MakeStream();
    Progress("done", 100);
    return std::move(movie_);
}

void TComposer::Preloader() {
    TColor background = 0;
    for (const TEffectParam& param : p_.PreloaderEffect->Params) {
        if (!WideSameText(param.Name, u"Bg.BgColor")) continue;
        try {
            background = HexToColor(param.Value);
        } catch (const EConvertError&) {
            throw EConvertError("The preloader \"" + UcSystem::WideToUtf8(p_.PreloaderName) + "\" has no colour in its " +
                                UcSystem::WideToUtf8(param.Name) + ": \"" + UcSystem::WideToUtf8(param.Value) +
                                "\" is not a colour of the form 0xRRGGBB");
        }
        break;
    }
    TFlashShape* rectangle = movie_->AddRectangle(0, 0, p_.Width, p_.Height);
    rectangle->AddSolidFill(Rgba(background));
    const uint16_t first = depth_;
    Place(rectangle);

    std::unique_ptr<TFlashMovie> sub = BuildPreloaderMovie(p_);
    const double pw = (sub->Bounds.Right - sub->Bounds.Left) / 20.0;
    const double ph = (sub->Bounds.Bottom - sub->Bounds.Top) / 20.0;
    TFlashSprite* sprite = Embed(*sub);
    sub.reset();
    // Each axis on its own: a narrower preloader is centred, a wider one
    // scaled down to fit.
    auto fit = [](int size, double own, double& offset, double& scale) {
        if (own <= 0) {
            offset = 0;
            scale = 1;
        } else if (size > own) {
            offset = (size - own) / 2;
            scale = 1;
        } else {
            offset = 0;
            scale = size / own;
        }
    };
    double x, y, sx, sy;
    fit(p_.Width, pw, x, sx);
    fit(p_.Height, ph, y, sy);
    TFlashPlaceObject* placed = Place(sprite);
    placed->SetTranslate(static_cast<int32_t>(Trunc(x)), static_cast<int32_t>(Trunc(y)));
    placed->SetScale(float(sx), float(sy));
    movie_->ShowFrame();
    movie_->RemoveObject(first);
    movie_->RemoveObject(uint16_t(first + 1));
}

void TComposer::StartFrame() {
    TFlashActionScript& s = movie_->GetFrameActions();
    if (p_.LoopLimited) {
        s.Push({TPushValue("g_loopcount"), TPushValue(p_.LoopCount)}, {0, 7});
        s.SetVariable();
    }
    if (p_.SoundOn) {
        TFlashSound* sound;
        try {
            sound = movie_->AddSound(UcSystem::WideToUtf8(p_.SoundFile));
        } catch (const std::exception& e) {
            throw EConvertError("Cannot use the sound \"" + UcSystem::WideToUtf8(p_.SoundFile) + "\": " + e.what());
        }
        movie_->AddExportAssets("moviesound", sound->GetCharacterId());
        s.Push({TPushValue("g_soundloopcount"), TPushValue(p_.SoundLoopLimited ? p_.SoundLoopCount : -1)}, {0, 7});
        s.SetVariable();
        s.ConstantPool({"moviesound", "Sound", "attachSound", "start", "onSoundComplete", "g_soundloopcount"});
        auto pool = [](uint8_t i) { return TPushValue::Constant8(i); };
        s.Push({pool(0), TPushValue(0.0), pool(1)}, {8, 6, 8});
        s.NewObject();
        s.SetVariable();
        s.Push({pool(0), TPushValue(1), pool(0)}, {8, 7, 8});
        s.GetVariable();
        s.Push({pool(2)}, {8});
        s.CallMethod();
        s.Pop();
        s.Push({TPushValue(0.0), pool(0)}, {6, 8});
        s.GetVariable();
        s.Push({pool(3)}, {8});
        s.CallMethod();
        s.Pop();
        s.Push({pool(0)}, {8});
        s.GetVariable();
        s.Push({pool(4)}, {8});
        TSWFActionDefineFunction* complete = s.DefineFunction("", {});
        s.Push({pool(5)}, {8});
        s.GetVariable();
        s.Push({TPushValue(-1)}, {7});
        s.Equals2();
        s.Not();
        s.Not();
        TSWFActionIf* endless = s.If();
        s.Push({pool(5), pool(5)}, {8, 8});
        s.GetVariable();
        s.Decrement();
        s.SetVariable();
        s.AddOffsetMarker(&endless->GetLabel());
        s.Push({pool(5)}, {8});
        s.GetVariable();
        s.Push({TPushValue(0.0)}, {6});
        s.Equals2();
        s.Not();
        s.Not();
        TSWFActionIf* done = s.If();
        s.Push({TPushValue(0.0), pool(0)}, {6, 8});
        s.GetVariable();
        s.Push({pool(3)}, {8});
        s.CallMethod();
        s.Pop();
        s.AddOffsetMarker(&done->GetLabel());
        s.AddOffsetMarker(&complete->GetLabel());
        s.SetMember();
    }
    s.Play();
}

void TComposer::Background() {
    TFlashShape* shape = movie_->AddRectangle(0, 0, p_.Width, p_.Height);
    if (p_.BgKind == bkSolid) {
        shape->AddSolidFill(Rgba(p_.SolidColor));
    } else if (p_.BgKind == bkGradient && p_.GradientStyle == 0) {
        shape->AddLinearGradient(Rgba(p_.GradientStartColor), Rgba(p_.GradientEndColor), float(p_.LinearRotation));
    } else if (p_.BgKind == bkGradient) {
        TSWFGradientFill* fill = shape->AddRadialGradient(Rgba(p_.GradientStartColor), Rgba(p_.GradientEndColor));
        const double r = p_.RadialRadius * 0.5 / 100;
        TRect square;
        square.Left = static_cast<int32_t>(Trunc((0.5 - r) * p_.Width * 20));
        square.Top = static_cast<int32_t>(Trunc((0.5 - r) * p_.Height * 20));
        square.Right = static_cast<int32_t>(Trunc((r + 0.5) * p_.Width * 20));
        square.Bottom = static_cast<int32_t>(Trunc((r + 0.5) * p_.Height * 20));
        fill->FitToRect(square);
    }
    // A transparent background still takes its depth, so that the depths
    // after it do not depend on the kind.
    Place(shape);
}

void TComposer::BackgroundPictures() {
    for (const BgImageRecord* record : p_.Pictures) {
        if (record == nullptr || record->FileName.empty() || !WideFileExists(record->FileName)) continue;
        BackgroundPicture(*record);
    }
}

void TComposer::BackgroundPicture(const BgImageRecord& record) {
    const int w = p_.Width, h = p_.Height;
    const double a = record.Rotation * std::numbers::pi / 180.0;
    if (GetMediaKind(record.FileName) == mkSwf) {
        TFlashExternalMovie* ext;
        try {
            ext = movie_->AddExternalMovieFromFile(UcSystem::WideToUtf8(record.FileName), kExternalSprite, true);
        } catch (const std::exception& e) {
            throw EConvertError("Cannot embed the movie \"" + UcSystem::WideToUtf8(record.FileName) + "\": " + e.what());
        }
        const TRect& bounds = ext->Reader().Bounds;
        const int64_t sw = RoundHalfEven((bounds.Right - bounds.Left) / 20.0);
        const int64_t sh = RoundHalfEven((bounds.Bottom - bounds.Top) / 20.0);
        if (sw <= 0 || sh <= 0)
            throw EConvertError("The movie \"" + UcSystem::WideToUtf8(record.FileName) + "\" has no stage size");
        TFlashPlaceObject* placed = Place(ext->Sprite());
        switch (record.PositionMode) {
        case pmStretch:
        case pmTile:
            placed->SetTranslate(0, 0);
            placed->SetScale(float(double(w) / sw), float(double(h) / sh));
            break;
        case pmCenter: placed->SetTranslate(int32_t((w - sw) / 2), int32_t((h - sh) / 2)); break;
        default: {
            const double sx = record.XScale / 100.0, sy = record.YScale / 100.0;
            const double iw = sw * sx, ih = sh * sy;
            placed->SetScale(float(sx), float(sy));
            placed->SetRotate(float(record.Rotation));
            const int64_t dx = RoundHalfEven(iw / 2 - std::cos(a) * iw / 2 - std::sin(a) * ih / 2);
            const int64_t dy = RoundHalfEven(std::sin(a) * iw / 2 + ih / 2 - std::cos(a) * ih / 2);
            placed->SetTranslate(int32_t(record.Left + dx), int32_t(record.Top + dy));
        }
        }
        return;
    }

    TIEBitmap picture;
    LoadPictureFile(record.FileName, picture);
    switch (record.PositionMode) {
    case pmStretch: CoverPicture(picture, w, h); break;
    case pmTile:
        ResizePictureCanvas(picture, std::min(w, picture.GetWidth()), std::min(h, picture.GetHeight()), 0, 0);
        break;
    case pmCenter:
        ResizePictureCanvas(picture, std::min(w, picture.GetWidth()), std::min(h, picture.GetHeight()), 1, 1);
        break;
    default:
        ResamplePicture(picture, int32_t(RoundHalfEven(picture.GetWidth() * record.XScale / 100.0)),
                        int32_t(RoundHalfEven(picture.GetHeight() * record.YScale / 100.0)));
    }
    TFlashImage* image = AddPictureImage(*movie_, picture, true);
    const int iw = image->GetWidth(), ih = image->GetHeight();
    TFlashShape* shape;
    switch (record.PositionMode) {
    case pmStretch:
    case pmTile:
        shape = movie_->AddRectangle(0, 0, w, h);
        shape->AddImageFill(image, record.PositionMode == pmTile ? 2 : 1, 1.0f, 1.0f);
        Place(shape);
        break;
    case pmCenter:
        shape = movie_->AddRectangle((w - iw) / 2, (h - ih) / 2, (iw + w) / 2, (ih + h) / 2);
        shape->AddImageFill(image, 1, 1.0f, 1.0f);
        Place(shape);
        break;
    default: {
        shape = movie_->AddRectangle(0, 0, iw, ih);
        shape->AddImageFill(image, 1, 1.0f, 1.0f);
        TFlashPlaceObject* placed = Place(shape);
        placed->SetRotate(float(record.Rotation));
        const int64_t dx = RoundHalfEven(iw / 2.0 - std::cos(a) * iw / 2 - std::sin(a) * ih / 2);
        const int64_t dy = RoundHalfEven(std::sin(a) * iw / 2 + ih / 2.0 - std::cos(a) * ih / 2);
        placed->SetTranslate(int32_t(record.Left + dx), int32_t(record.Top + dy));
    }
    }
}

void TComposer::Fonts() {
    for (const FontStyleRecord* style : p_.FontStyles) {
        if (style == nullptr) continue;
        // The outlines come from the installed font (its face in the font's
        // description); the movie knows the font by its style's name as well
        // as by its export name, since players look embedded fonts up by one
        // or the other.
        TLogFont face;
        face.lfFaceName = UcSystem::WideToUtf8(style->FontName);
        face.lfWeight = style->Bold ? 700 : 400;
        face.lfItalic = style->Italic ? 1 : 0;
        face.lfQuality = 4;
        face.lfHeight = -std::clamp(style->Size, 1, 1000);
        TFlashFont* font = movie_->AddFontFromLogFont(face, false);
        font->Name = UcSystem::WideToUtf8(style->Name);
        const WideString chars = CollectStyleChars(p_.Stages, style->Name);
        font->AddCharsW(chars);
        WarnOfMissingGlyphs(*style, face, chars);
        font->SetHasLayout(true);
        movie_->AddExportAssets(UcSystem::WideToUtf8(style->Name), font->GetCharacterId());
    }
}

// The installed face the font was made from draws a character it lacks as
// an empty box: the user is told the style and the characters.
void TComposer::WarnOfMissingGlyphs(const FontStyleRecord& style, const TLogFont& face, const WideString& chars) {
    if (chars.empty()) return;
    std::unique_ptr<TPlatformFont> font = TPlatformFont::Open(face);
    std::set<char32_t> seen;
    WideString missing;
    for (size_t i = 0; i < chars.size(); ++i) {
        const size_t first = i;
        char32_t code = chars[i];
        if (code >= 0xD800 && code < 0xDC00 && i + 1 < chars.size() && chars[i + 1] >= 0xDC00 && chars[i + 1] < 0xE000)
            code = 0x10000 + ((code - 0xD800) << 10) + (chars[++i] - 0xDC00);
        if (code < 0x20 || !seen.insert(code).second || font->HasGlyph(code)) continue;
        missing += chars.substr(first, i - first + 1);
    }
    if (missing.empty()) return;
    Warn(u"The font style \"" + style.Name + u"\" (" + UcSystem::Utf8ToWide(font->FamilyName()) +
         u") has no glyphs for \"" + missing + u"\": they show as empty boxes.");
}

void TComposer::ClickArea() {
    TFlashShape* area = movie_->AddRectangle(0, 0, p_.Width, p_.Height);
    area->AddSolidFill(SWFRGBA(255, 255, 255, 255));
    TFlashSprite* sprite = movie_->AddSprite();
    sprite->PlaceObject(area, 1);
    sprite->ShowFrame();
    TFlashPlaceObject* placed = Place(sprite);
    // Invisible but still hit by the mouse.
    placed->GetColorTransform().SetAddA(-255);
    AddGetUrlActions(*placed->GetReleaseActions(), p_.ClickUrlKind, p_.ClickUrl, p_.ClickUrlTarget);
}

void TComposer::OneByOneStages() {
    const uint16_t first = depth_;
    std::vector<std::string> placedNames;
    for (size_t i = 0; i < p_.Stages.size(); ++i) {
        const StageRecord& stage = *p_.Stages[i];
        if (stage.StaticStage) continue;
        Progress("stage " + std::to_string(i + 1), 40 + int(50 * i / p_.Stages.size()));
        std::unique_ptr<TFlashMovie> sub = BuildStage(int(i));
        if (stage.RemovePrevious && depth_ > first) {
            // The stages shown so far fade from 100 to 5 over 20 frames.
            for (int step = 0; step < 20; ++step) {
                TFlashActionScript& s = movie_->GetFrameActions();
                for (const std::string& name : placedNames) {
                    s.Push({TPushValue("this")}, {0});
                    s.GetVariable();
                    s.Push({TPushValue(name)}, {0});
                    s.GetMember();
                    s.Push({TPushValue("_alpha"), TPushValue(100 - 5 * step)}, {0, 7});
                    s.SetMember();
                }
                movie_->ShowFrame();
            }
            for (uint16_t d = first; d < depth_; ++d) movie_->RemoveObject(d);
            placedNames.clear();
        }
        if (sub == nullptr) continue;
        const std::string name = "dynamictext" + std::to_string(i);
        Place(Embed(*sub))->SetName(name);
        placedNames.push_back(name);
        TFlashActionScript& s = movie_->GetFrameActions();
        s.Stop();
        s.Push({TPushValue("g_effectcount"), TPushValue(1)}, {0, 7});
        s.SetVariable();
        movie_->ShowFrame();
    }
}

void TComposer::TimedStages() {
    std::vector<size_t> order;
    for (size_t i = 0; i < p_.Stages.size(); ++i)
        if (!p_.Stages[i]->StaticStage) order.push_back(i);
    // Equal enter times keep their list order.
    std::stable_sort(order.begin(), order.end(),
                     [&](size_t a, size_t b) { return p_.Stages[a]->EnterTime < p_.Stages[b]->EnterTime; });
    // Built first, so that the count the stages run down holds only the
    // stages that are really in the movie: one left out (its picture is
    // missing) would otherwise keep the movie from ever reaching its end.
    std::vector<std::unique_ptr<TFlashMovie>> subs;
    int placed = 0;
    for (size_t n = 0; n < order.size(); ++n) {
        Progress("stage " + std::to_string(order[n] + 1), 40 + int(50 * n / std::max<size_t>(order.size(), 1)));
        subs.push_back(BuildStage(int(order[n])));
        if (subs.back() != nullptr) ++placed;
    }
    if (placed > 0) {
        TFlashActionScript& s = movie_->GetFrameActions();
        s.Push({TPushValue("g_effectcount"), TPushValue(placed)}, {0, 7});
        s.SetVariable();
    }
    int64_t current = 0;
    for (size_t n = 0; n < order.size(); ++n) {
        const StageRecord& stage = *p_.Stages[order[n]];
        const int64_t frame = RoundHalfEven(double(p_.FrameRate) * double(stage.EnterTime));
        if (subs[n] == nullptr) continue;
        if (frame > current) {
            EndFrames(frame - current);
            current = frame;
        }
        Place(Embed(*subs[n]));
        subs[n].reset();
    }
    // With no stage at all the movie rests here; with stages it waits for
    // them to count down, but only for those that were placed.
    if (placed > 0 || order.empty()) movie_->GetFrameActions().Stop();
    movie_->ShowFrame();
}

void TComposer::EndFrame() {
    TFlashActionScript& s = movie_->GetFrameActions();
    if (!options_.EndFrameCommand.empty()) s.FSCommand(options_.EndFrameCommand, "");
    if (p_.LoopLimited) {
        s.ConstantPool({"g_loopcount"});
        s.Push({TPushValue::Constant8(0), TPushValue::Constant8(0)}, {8, 8});
        s.GetVariable();
        s.Push({TPushValue(1)}, {7});
        s.Subtract();
        s.SetVariable();
        s.Push({TPushValue::Constant8(0)}, {8});
        s.GetVariable();
        s.Push({TPushValue(0.0)}, {6});
        s.Greater();
        s.Not();
        TSWFActionIf* finished = s.If();
        s.GoToLabel("loopstart");
        s.Play();
        TSWFActionJump* over = s.Jump();
        s.AddOffsetMarker(&finished->GetLabel());
        s.Stop();
        if (p_.CloseUrlOn) AddGetUrlActions(s, p_.CloseUrlKind, p_.CloseUrl, p_.CloseUrlTarget);
        s.AddOffsetMarker(&over->GetLabel());
    } else {
        s.GoToLabel("loopstart");
        s.Play();
    }
    movie_->ShowFrame();
}

}  // namespace

std::unique_ptr<TFlashMovie> ComposeProjectMovie(const ProjectRecord& project, const TComposeOptions& options) {
    return TComposer(project, options).Compose();
}

std::vector<uint8_t> ComposeMovieBytes(const ProjectRecord& project, const TComposeOptions& options) {
    std::unique_ptr<TFlashMovie> movie = ComposeProjectMovie(project, options);
    TMemoryStream stream;
    movie->SaveToStream(stream);
    std::vector<uint8_t> bytes(size_t(stream.GetSize()));
    stream.SetPosition(0);
    stream.Read(bytes.data(), int64_t(bytes.size()));
    return bytes;
}

void ComposeMovie(const ProjectRecord& project, const WideString& path, const TComposeOptions& options) {
    std::unique_ptr<TFlashMovie> movie = ComposeProjectMovie(project, options);
    movie->SaveToFile(UcSystem::WideToUtf8(path));
}

void ComposeMovie(const TProjectState& state, const WideString& path, const TComposeOptions& options) {
    std::unique_ptr<ProjectRecord> project = GatherProject(state);
    ComposeMovie(*project, path, options);
}
