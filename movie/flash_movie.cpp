#include "movie/flash_movie.h"

#include <algorithm>

#include "movie/action_script.h"
#include "movie/buttons.h"
#include "movie/morph_shapes.h"
#include "movie/video.h"
#include "movie/external_movie.h"
#include "movie/flash_canvas.h"
#include "movie/fonts.h"
#include "movie/images.h"
#include "movie/shapes.h"
#include "movie/sounds.h"
#include "movie/sprites.h"
#include "movie/texts.h"
#include "platform/mathutil.h"
#include "swf/character_ids.h"
#include "swf/control_tags.h"
#include "swf/names.h"
#include "swf/display_tags.h"
#include "swf/sound_tags.h"

TFlashMovie::TFlashMovie(int32_t left, int32_t top, int32_t right, int32_t bottom, float frameRate, bool usePixels)
    : TBasedSWFStream(left, top, right, bottom, frameRate, usePixels) {
    SetCorrectImageFill(true);
}

TFlashMovie::~TFlashMovie() {
    // Placements and builders refer to objects of the list: free them first,
    // in reverse order of creation.
    FrameActions.reset();
    Canvas.reset();
    while (!ObjectList.empty()) ObjectList.pop_back();
}

void TFlashMovie::Clear() {
    BackgroundColorSet = false;
    // The canvas points at sprites of the list.
    Canvas.reset();
    while (!ObjectList.empty()) ObjectList.pop_back();
    sprites_.Clear();
    buttons_.Clear();
    fonts_.Clear();
    images_.Clear();
    morphShapes_.Clear();
    shapes_.Clear();
    sounds_.Clear();
    texts_.Clear();
    videos_.Clear();
    NextCharacterId = 1;
}

uint16_t TFlashMovie::TakeCharacterId() {
    if (NextCharacterId > 0xFFFF)
        throw Exception("The movie has no character identifiers left: all 65535 are in use");
    return static_cast<uint16_t>(NextCharacterId++);
}

// ---------------------------------------------------------------- factories

TFlashExternalMovie* TFlashMovie::AddExternalMovie(TStream& stream, uint8_t mode, bool renumber) {
    return EmbedExternalMovie(TFlashExternalMovie::CreateFromStream(this, stream), mode, renumber);
}

TFlashExternalMovie* TFlashMovie::AddExternalMovieFromFile(const std::string& fileName, uint8_t mode, bool renumber) {
    return EmbedExternalMovie(std::make_unique<TFlashExternalMovie>(this, fileName), mode, renumber);
}

TFlashExternalMovie* TFlashMovie::EmbedExternalMovie(std::unique_ptr<TFlashExternalMovie> ext, uint8_t mode,
                                                     bool renumber) {
    if (mode > kExternalSprite) throw Exception(FormatStr("%u is not a mode of embedding a movie", unsigned(mode)));
    ext->Mode = mode;
    ext->SetMovie(this);
    TSWFStreamReader& reader = ext->Reader();
    reader.ParseTags(true, false);
    const uint32_t firstId = NextCharacterId;
    const uint32_t count = ext->CountDefinitions();
    const uint32_t next = firstId + count + 1 + (mode == kExternalSprite ? 1 : 0);
    // Checked before anything changes: the movie stays as it was.
    const uint32_t lastUsed = std::max(firstId, firstId + count - (mode == kExternalSprite || count == 0 ? 0 : 1));
    if (lastUsed > 0xFFFF)
        throw Exception(FormatStr("The embedded movie's %u characters do not fit into the identifiers left "
                                  "after %u", count, firstId - 1));
    if (renumber) {
        std::vector<TSWFObject*> tags;
        for (const auto& info : reader.Tags)
            if (info->Object) tags.push_back(info->Object);
        // A reference to a character the movie does not define would, once
        // the movie's characters move, point at one of ours.
        std::vector<TUnresolvedReference> unresolved = FindUnresolvedReferences(tags, false);
        if (!unresolved.empty())
            throw Exception(FormatStr("The embedded movie's %s (tag %zu) refers to character %u, which the movie "
                                      "does not define",
                                      TagIdToName(unresolved.front().TagCode).c_str(), unresolved.front().TagIndex,
                                      unsigned(unresolved.front().Id)));
    }
    ext->SetCharacterId(static_cast<uint16_t>(firstId));
    if (renumber && count > 0) ext->RenumberIds(static_cast<uint16_t>(mode == kExternalSprite ? firstId + 1 : firstId));
    NextCharacterId = next;
    TFlashExternalMovie* raw = AddObject(std::move(ext));
    if (mode == kExternalSprite) raw->CreateSprite();
    return raw;
}

void TFlashMovie::MoveDefinitionBefore(const TBasedSWFObject* used, const TBasedSWFObject* user) {
    auto self = std::find_if(ObjectList.begin(), ObjectList.end(), [user](auto& o) { return o.get() == user; });
    auto found = std::find_if(ObjectList.begin(), ObjectList.end(), [used](auto& o) { return o.get() == used; });
    if (self != ObjectList.end() && found != ObjectList.end() && found > self) std::rotate(self, found, found + 1);
}

TFlashSprite* TFlashMovie::AddSprite(TFlashVisualObject* obj) {
    auto sprite = std::make_unique<TFlashSprite>(this);
    sprite->SetCharacterId(TakeCharacterId());
    TFlashSprite* raw = AddObject(std::move(sprite));
    sprites_.Add(raw);
    if (obj) raw->PlaceObject(obj, 1);
    return raw;
}

TFlashShape* TFlashMovie::AddShape() { return AddShape(std::make_unique<TFlashShape>(this)); }

TFlashShape* TFlashMovie::AddShape(std::unique_ptr<TFlashShape> shape) {
    if (!shape) shape = std::make_unique<TFlashShape>(this);
    else shape->SetMovie(this);
    shape->SetCharacterId(TakeCharacterId());
    TFlashShape* raw = AddObject(std::move(shape));
    shapes_.Add(raw);
    return raw;
}

TFlashShape* TFlashMovie::AddRectangle(int32_t left, int32_t top, int32_t right, int32_t bottom) {
    TFlashShape* shape = AddShape();
    shape->SetBounds(left, top, right, bottom);
    shape->Edges().MoveTo(left, top);
    shape->Edges().MakeRectangle(right - left, bottom - top);
    shape->Edges().FinishEdges();
    return shape;
}

TFlashShape* TFlashMovie::AddRectangleFromRect(const TRect& rect) {
    return AddRectangle(rect.Left, rect.Top, rect.Right, rect.Bottom);
}

TFlashShape* TFlashMovie::AddEllipse(int32_t left, int32_t top, int32_t right, int32_t bottom) {
    TFlashShape* shape = AddShape();
    shape->SetBounds(left, top, right, bottom);
    shape->Edges().MoveTo(left, top);
    shape->Edges().MakeEllipse(right - left, bottom - top);
    shape->Edges().FinishEdges();
    return shape;
}

TFlashShape* TFlashMovie::AddEllipseFromRect(const TRect& rect) {
    return AddEllipse(rect.Left, rect.Top, rect.Right, rect.Bottom);
}

TFlashShape* TFlashMovie::AddLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
    TFlashShape* shape = AddShape();
    shape->SetBounds(x1, y1, x2, y2);
    shape->Edges().MoveTo(x1, y1);
    shape->Edges().LineTo(x2, y2);
    return shape;
}

TFlashShape* TFlashMovie::AddCubicBezier(const TPoint& p0, const TPoint& p1, const TPoint& p2, const TPoint& p3) {
    TFlashShape* shape = AddShape();
    shape->SetBounds(std::min({p0.X, p1.X, p2.X, p3.X}), std::min({p0.Y, p1.Y, p2.Y, p3.Y}),
                     std::max({p0.X, p1.X, p2.X, p3.X}), std::max({p0.Y, p1.Y, p2.Y, p3.Y}));
    shape->Edges().MoveTo(p0.X, p0.Y);
    shape->Edges().MakeCubicBezier(p1, p2, p3, 4);
    shape->Edges().FinishEdges();
    return shape;
}

TFlashImage* TFlashMovie::AddImage(const std::string& fileName) {
    // Loaded before it takes an identifier, so a bad file leaves no trace.
    auto image = std::make_unique<TFlashImage>(this, fileName);
    image->SetCharacterId(TakeCharacterId());
    TFlashImage* raw = AddObject(std::move(image));
    images_.Add(raw);
    return raw;
}

TFlashShape* TFlashMovie::AddImageShape(TFlashImage* image) {
    if (!image) throw EConvertError("An image shape needs an image");
    TFlashShape* shape = AddRectangle(0, 0, image->GetWidth(), image->GetHeight());
    shape->AddImageFill(image, 1, 1, 1);
    return shape;
}

TFlashSound* TFlashMovie::AddSound(const std::string& fileName) {
    auto sound = std::make_unique<TFlashSound>(this, fileName);
    sound->SetCharacterId(TakeCharacterId());
    TFlashSound* raw = AddObject(std::move(sound));
    sounds_.Add(raw);
    return raw;
}

TFlashButton* TFlashMovie::AddButton(bool trackAsMenu, bool useButton2) {
    auto button = std::make_unique<TFlashButton>(this, trackAsMenu, useButton2);
    button->SetCharacterId(TakeCharacterId());
    TFlashButton* raw = AddObject(std::move(button));
    buttons_.Add(raw);
    return raw;
}

TFlashMorphShape* TFlashMovie::AddMorphShape() {
    auto morph = std::make_unique<TFlashMorphShape>(this);
    morph->SetCharacterId(TakeCharacterId());
    TFlashMorphShape* raw = AddObject(std::move(morph));
    morphShapes_.Add(raw);
    return raw;
}

TFlashVideo* TFlashMovie::AddVideo(const std::string& fileName) {
    // Indexed before it takes an identifier, so a file that cannot be
    // opened leaves no trace.
    auto video = std::make_unique<TFlashVideo>(this, fileName);
    if (!video->FLV().Problem.empty())
        WriteMovieMessage(this, FormatStr("%s: %s\n", fileName.c_str(), video->FLV().Problem.c_str()));
    video->SetCharacterId(TakeCharacterId());
    TFlashVideo* raw = AddObject(std::move(video));
    videos_.Add(raw);
    return raw;
}

TFlashPlaceVideo* TFlashMovie::PlaceVideo(TFlashVideo* video, uint16_t depth) {
    return AddObject(std::make_unique<TFlashPlaceVideo>(this, video, depth, FrameCount));
}

// ---------------------------------------------------------------- fonts and texts

TFlashFont* TFlashMovie::AddFont() {
    auto font = std::make_unique<TFlashFont>(this);
    font->SetCharacterId(TakeCharacterId());
    TFlashFont* raw = AddObject(std::move(font));
    fonts_.Add(raw);
    return raw;
}

TFlashFont* TFlashMovie::AddFontByName(const std::string& name, bool bold, bool italic, uint16_t size,
                                       bool asDevice) {
    auto font = TFlashFont::CreateFont(this, asDevice, name, bold, italic, size);
    font->SetCharacterId(TakeCharacterId());
    TFlashFont* raw = AddObject(std::move(font));
    fonts_.Add(raw);
    return raw;
}

TFlashFont* TFlashMovie::AddFontFromLogFont(const TLogFont& logFont, bool asDevice) {
    TFlashFont* font = AddFont();
    font->AsDevice = asDevice;
    font->SetLogFont(logFont);
    return font;
}

static TFlashText* AddTextObject(TFlashMovie& movie, std::unique_ptr<TFlashText> text,
                                 TFlashObjectList<TFlashText>& texts) {
    text->SetCharacterId(movie.TakeCharacterId());
    TFlashText* raw = movie.AddObject(std::move(text));
    texts.Add(raw);
    return raw;
}

TFlashText* TFlashMovie::AddText() { return AddTextObject(*this, std::make_unique<TFlashText>(this), texts_); }

TFlashText* TFlashMovie::AddTextAtPoint(const std::u16string& text, TSWFRGBAValue color, TFlashFont* font,
                                        const TPoint& point, uint8_t align) {
    return AddTextObject(*this, TFlashText::CreateAtPoint(this, text, color, font, point, align), texts_);
}

TFlashText* TFlashMovie::AddTextInRect(const std::u16string& text, TSWFRGBAValue color, TFlashFont* font,
                                       const TRect& rect) {
    return AddTextObject(*this, TFlashText::CreateInRect(this, text, color, font, rect), texts_);
}

TFlashText* TFlashMovie::AddDynamicText(const std::string& variableName, const std::u16string& text,
                                        TSWFRGBAValue color, TFlashFont* font, const TRect& rect) {
    TFlashText* made = AddTextInRect(text, color, font, rect);
    made->SetDynamic(true);
    if (font) font->UsageFlags |= kFontUsedByEditText;
    made->VariableName = variableName;
    return made;
}

TFlashPlaceObject* TFlashMovie::PlaceObject(TFlashVisualObject* obj, uint16_t depth) {
    return AddObject(std::make_unique<TFlashPlaceObject>(this, obj, depth));
}

TFlashPlaceObject* TFlashMovie::PlaceDepth(uint16_t depth) {
    return AddObject(std::make_unique<TFlashPlaceObject>(this, nullptr, depth));
}

void TFlashMovie::RemoveObject(uint16_t depth, TFlashIDObject* obj) { AddObject(MakeRemoveTag(depth, obj)); }

TSWFStartSound* TFlashMovie::StartSound(uint16_t soundId) { return AddObject(MakeStartSoundTag(soundId)); }

TSWFExportAssets* TFlashMovie::AddExportAssets(const std::string& name, uint16_t characterId) {
    auto tag = std::make_unique<TSWFExportAssets>();
    tag->AddAsset(name, characterId);
    return AddObject(std::move(tag));
}

// ---------------------------------------------------------------- frames

TFlashActionScript& TFlashMovie::GetFrameActions() {
    if (!FrameActions) FrameActions = std::make_unique<TFlashActionScript>(this);
    return *FrameActions;
}

void TFlashMovie::CommitFrameActions() {
    if (FrameActions) ObjectList.push_back(std::move(FrameActions));
}

void TFlashMovie::ShowFrame(uint16_t count) {
    if (count == 0) count = 1;
    if (!FrameLabel.empty()) {
        ObjectList.push_back(TSWFFrameLabel::CreateWithName(FrameLabel));
        FrameLabel.clear();
    }
    CommitFrameActions();
    for (uint16_t i = 0; i < count; ++i) {
        ++FrameCount;
        ObjectList.push_back(std::make_unique<TSWFShowFrame>());
    }
}

// ---------------------------------------------------------------- companions

TSWFRGB& TFlashMovie::GetBackgroundColor() {
    if (!BackgroundColor) BackgroundColor = std::make_unique<TSWFRGB>();
    BackgroundColorSet = true;
    return *BackgroundColor;
}

TFlashSound* TFlashMovie::GetStreamSound() {
    if (!StreamSound) {
        StreamSound = std::make_unique<TFlashSound>(this);
        StreamSound->Loop = true;
        StreamSoundEnabled = true;
    }
    return StreamSound.get();
}

TBaseCompileContext& TFlashMovie::GetCompileContext() {
    if (!CompileContext) {
        std::unique_ptr<TBaseCompileContext> context = CreateCompileContext(*this);
        if (!Settings.BaseFolder.empty()) context->AddIncludePath(Settings.BaseFolder);
        if (!Settings.ActionsFolder.empty()) context->AddIncludePath(Settings.GetDataFolder(kDataKindActions));
        CompileContext = std::move(context);
    }
    return *CompileContext;
}

TFlashCanvas& TFlashMovie::GetCanvas() {
    if (!Canvas) Canvas = std::make_unique<TFlashCanvas>(this);
    return *Canvas;
}

TMemoryStream& TFlashMovie::GetMessageStream() {
    if (!MessageStream) MessageStream = std::make_unique<TMemoryStream>();
    return *MessageStream;
}

std::string TFlashMovie::GetMessages() const {
    if (!MessageStream) return {};
    const auto& bytes = MessageStream->Bytes();
    return std::string(bytes.begin(), bytes.end());
}

// ---------------------------------------------------------------- the stream

void TFlashMovie::HeaderChanged() {
    if (Version >= 8) CorrectImageFill = false;
}

static bool IsTagWithCode(const TBasedSWFObject& obj, uint16_t code) {
    auto* tag = dynamic_cast<const TSWFObject*>(&obj);
    return tag && tag->TagCode == code;
}

int32_t TFlashMovie::GetFrameTagIndex(uint16_t frame) {
    if (frame == 0 || ObjectList.empty()) return 0;
    uint16_t seen = 0;
    for (size_t i = 0; i < ObjectList.size(); ++i)
        if (IsTagWithCode(*ObjectList[i], 1) && ++seen == frame) return static_cast<int32_t>(i);
    return static_cast<int32_t>(ObjectList.size() - 1);
}

void TFlashMovie::MakeStream() {
    auto body = std::make_unique<TMemoryStream>();
    TBitsEngine be(*body);
    int version = Version;
    uint16_t frames = 0;
    bool placed = false;
    if (BackgroundColorSet) {
        TSWFSetBackgroundColor background;
        background.Color.CopyFrom(GetBackgroundColor());
        background.WriteTag(be);
    }
    // A stream sound that holds nothing (its file failed to load) is left out.
    TFlashSound* stream = StreamSoundEnabled && StreamSound && StreamSound->HasData() ? StreamSound.get() : nullptr;
    if (stream) {
        version = std::max(version, stream->RequiredVersion());
        TSWFSoundStreamHead2 head;
        stream->FillStreamHead(head, GetFrameRate());
        head.WriteTag(be);
    }
    // Video placements write at every ShowFrame after them.
    std::vector<TFlashPlaceVideo*> videos;
    const size_t count = ObjectList.size();
    for (size_t i = 0; i < count; ++i) {
        if (OnProgress)
            ReportProgress(static_cast<int32_t>(RoundHalfEven(double(i + 1) / count * 100.0)), kProgressBuilding);
        TBasedSWFObject& obj = *ObjectList[i];
        version = std::max(version, obj.RequiredVersion());
        if (obj.ObjectLevel() == 0) {
            auto& tag = static_cast<TSWFObject&>(obj);
            if (tag.TagCode == TagCodes::ShowFrame) {
                WriteVideoFrames(videos, be, frames);
                // The frame's stream-sound block goes just before its ShowFrame.
                if (stream) stream->WriteStreamBlock(be);
                ++frames;
            }
            if (tag.TagCode == TagCodes::PlaceObject || tag.TagCode == TagCodes::PlaceObject2 ||
                tag.TagCode == TagCodes::PlaceObject3) placed = true;
        } else if (auto* placement = dynamic_cast<TFlashPlaceObject*>(&obj)) {
            placement->Tag().SWFVersion = static_cast<uint8_t>(version);
            placed = true;
            if (auto* video = dynamic_cast<TFlashPlaceVideo*>(placement)) videos.push_back(video);
        }
        obj.WriteTag(be);
        // An embedded root timeline brings its frames along.
        if (auto* ext = dynamic_cast<TFlashExternalMovie*>(&obj)) frames = static_cast<uint16_t>(frames + ext->WrittenFrames());
    }
    if (frames == 0 && placed) {
        be.WriteWord(0x0040);
        frames = 1;
    }
    if (ObjectList.empty() || !IsTagWithCode(*ObjectList.back(), 0)) be.WriteWord(0);
    SetBodyStream(std::move(body));
    FrameCount = frames;
    if (Version < version) SetVersion(static_cast<uint8_t>(version));
}

void TFlashMovie::MoveResourcesToFrame(uint16_t dest, uint16_t from, int32_t to) {
    dest = std::min(dest, from);
    if (to == -1) to = FrameCount;
    if (to <= 0 || to < from) to = from;
    auto isShowFrame = [this](int32_t index) {
        return index >= 0 && index < static_cast<int32_t>(ObjectList.size()) && IsTagWithCode(*ObjectList[index], 1);
    };
    // Frame 0 starts at the very beginning, even when the list opens with a
    // ShowFrame (an empty first frame): that ShowFrame already ends frame 0.
    int32_t insertAt = dest == 0 ? 0 : GetFrameTagIndex(dest);
    if (dest > 0 && isShowFrame(insertAt)) ++insertAt;
    int32_t start = from == dest ? insertAt + 1 : GetFrameTagIndex(from) + 1;
    int32_t end = GetFrameTagIndex(static_cast<uint16_t>(std::min<int32_t>(to + 1, 0xFFFF)));
    if (isShowFrame(end)) --end;
    if (end <= start) return;
    int32_t moved = 0;
    for (int32_t i = start; i <= end && i < static_cast<int32_t>(ObjectList.size()); ++i) {
        TBasedSWFObject& obj = *ObjectList[i];
        bool resource = false;
        if (auto* flash = dynamic_cast<TFlashObject*>(&obj)) {
            resource = flash->IsMovableResource();
        } else if (auto* tag = dynamic_cast<TSWFObject*>(&obj)) {
            switch (tag->TagCode) {
                case 6: case 8: case 20: case 21: case 35: case 36:  // bitmaps and JPEG tables
                case 10: case 48: case 75:                            // fonts
                case 14:                                              // sounds
                    resource = true;
                    break;
                default:
                    break;
            }
        }
        if (!resource) continue;
        // Moving an item in front shifts the ones between by one, so the
        // next index still holds the next unvisited item.
        std::unique_ptr<TBasedSWFObject> item = std::move(ObjectList[i]);
        ObjectList.erase(ObjectList.begin() + i);
        ObjectList.insert(ObjectList.begin() + insertAt + moved, std::move(item));
        ++moved;
    }
}
