#include "movie/sprites.h"

#include <algorithm>

#include "movie/flash_movie.h"
#include "movie/sounds.h"
#include "movie/video.h"
#include "swf/control_tags.h"
#include "swf/do_action.h"
#include "swf/names.h"
#include "swf/sound_tags.h"

uint32_t ClipEventFlag(uint8_t event) { return event <= 18 ? 1u << event : 0; }

// ---------------------------------------------------------------- placements

TFlashPlaceObject::TFlashPlaceObject(TFlashMovie* movie, TFlashVisualObject* obj, uint16_t depth)
    : TFlashObject(movie), tag_(std::make_unique<TSWFPlaceObject3>()), obj_(obj) {
    tag_->Depth = depth;
    if (obj) {
        tag_->SetCharacterId(static_cast<TFlashIDObject*>(obj)->GetCharacterId());
        if (dynamic_cast<TFlashSprite*>(obj)) {
            clipActionList_ = std::make_unique<TSWFActionList>();
            clipActionBuilder_ = std::make_unique<TFlashActionScript>(movie, clipActionList_.get());
        }
    }
}

TFlashPlaceObject::~TFlashPlaceObject() = default;

void TFlashPlaceObject::CopyFieldsFrom(const TBasedSWFObject& source) {
    const auto& other = CopySourceAs<TFlashPlaceObject>(source, "a placement");
    if (!Owner) Owner = other.Owner;
    tag_->CopyFieldsFrom(*other.tag_);
    obj_ = other.obj_;
    if (other.clipActionBuilder_) {
        if (!clipActionList_) {
            clipActionList_ = std::make_unique<TSWFActionList>();
            clipActionBuilder_ = std::make_unique<TFlashActionScript>(Owner, clipActionList_.get());
        }
        CopyActionList(*other.clipActionList_, *clipActionList_);
    }
}

bool TFlashPlaceObject::NeedsPlaceObject3() const {
    return tag_->BlendMode >= 2 || (tag_->HasFilterList && tag_->HasFiltersObject()) || tag_->CacheAsBitmap;
}

int TFlashPlaceObject::RequiredVersion() const {
    if (NeedsPlaceObject3()) return 8;
    if (tag_->HasClipActions) return 5;
    return 3;
}

void TFlashPlaceObject::WriteTag(TBitsEngine& be) {
    // Without an SWF 8 feature the placement is a PlaceObject2, which every
    // player version reads: the same record less the PlaceObject3 extras.
    bool asPlaceObject2 = !NeedsPlaceObject3();
    tag_->WriteAsPlaceObject2 = asPlaceObject2;
    tag_->TagCode = asPlaceObject2 ? TagCodes::PlaceObject2 : TagCodes::PlaceObject3;
    tag_->WriteTag(be);
    tag_->TagCode = TagCodes::PlaceObject3;
}

void TFlashPlaceObject::SetTranslate(int32_t x, int32_t y) {
    if (x == 0 && y == 0 && !tag_->HasMatrix && !tag_->PlaceFlagMove) return;
    uint8_t factor = Owner ? Owner->UnitFactor : 1;
    tag_->GetMatrix().SetTranslate(x * factor, y * factor);
}

void TFlashPlaceObject::SetTranslateX(int32_t x) {
    uint8_t factor = obj_ ? obj_->GetUnitFactor() : 1;
    tag_->GetMatrix().TranslateX = x * factor;
}

void TFlashPlaceObject::SetTranslateY(int32_t y) {
    uint8_t factor = obj_ ? obj_->GetUnitFactor() : 1;
    tag_->GetMatrix().TranslateY = y * factor;
}

TSWFColorTransform& TFlashPlaceObject::GetColorTransform() {
    bool fresh = !tag_->HasColorTransform;
    TSWFColorTransform& transform = tag_->GetColorTransform();
    if (fresh) transform.HasAlpha = true;
    return transform;
}

void TFlashPlaceObject::SetBlendMode(uint8_t mode) {
    tag_->BlendMode = mode;
    if (mode > 1) tag_->HasBlendMode = true;
}

TSWFFilterList& TFlashPlaceObject::GetFilters() {
    tag_->HasFilterList = true;
    return tag_->GetFilters();
}

TSWFClipActionRecord& TFlashPlaceObject::AddClipActions(uint32_t events) {
    tag_->HasClipActions = true;
    return tag_->GetClipActions().AddActionRecord(events, 0);
}

TSWFClipActionRecord* TFlashPlaceObject::FindClipActions(uint8_t event, bool create) {
    if (!dynamic_cast<TFlashSprite*>(obj_)) return nullptr;
    uint32_t flag = ClipEventFlag(event);
    if (tag_->HasClipActionsObject()) {
        TSWFClipActions& actions = tag_->GetClipActions();
        for (size_t i = 0; i < actions.GetCount(); ++i)
            if (flag && (actions.GetActionRecord(i).EventFlags & flag)) return &actions.GetActionRecord(i);
    }
    if (!create || !flag) return nullptr;
    return &AddClipActions(flag);
}

TFlashActionScript* TFlashPlaceObject::GetClipEventActions(uint8_t event) {
    TSWFClipActionRecord* record = FindClipActions(event, true);
    if (!record) return nullptr;
    clipActionBuilder_->UseList(record->GetActions());
    return clipActionBuilder_.get();
}

TFlashActionScript* TFlashPlaceObject::GetReleaseActions() { return GetClipEventActions(12); }

bool TFlashPlaceObject::CompileClipActions(TStream& source) {
    try {
        source.SetPosition(0);
        if (!Owner) throw EActionCompileError("Clip actions cannot be compiled: the placement belongs to no movie.");
        Owner->GetCompileContext().CompileClipActions(source, *this);
        tag_->HasClipActions = true;
        return true;
    } catch (const Exception& failure) {
        WriteMovieMessage(Owner, failure.what());
        return false;
    }
}

bool TFlashPlaceObject::CompileClipActionsFromString(const std::string& text) {
    TMemoryStream stream(std::vector<uint8_t>(text.begin(), text.end()));
    return CompileClipActions(stream);
}

bool TFlashPlaceObject::CompileClipActionsFromFile(const std::string& fileName) {
    TFileStream file(fileName, TFileMode::OpenRead);
    return CompileClipActions(file);
}

// ---------------------------------------------------------------- sprites

TFlashSprite::TFlashSprite(TFlashMovie* movie) : TFlashVisualObject(movie) {}

TFlashSprite::~TFlashSprite() = default;

void TFlashSprite::SetCharacterId(uint16_t id) {
    TFlashVisualObject::SetCharacterId(id);
    spriteTag_.SpriteID = id;
}

std::unique_ptr<TBasedSWFObject> CloneTimelineObject(const TBasedSWFObject& source) {
    if (auto* tag = dynamic_cast<const TSWFObject*>(&source)) return CloneTag(*tag);
    if (auto* video = dynamic_cast<const TFlashPlaceVideo*>(&source)) {
        auto copy = std::make_unique<TFlashPlaceVideo>(video->Owner, video->Video(), video->GetDepth());
        copy->CopyFieldsFrom(*video);
        return copy;
    }
    if (auto* place = dynamic_cast<const TFlashPlaceObject*>(&source)) {
        auto copy = std::make_unique<TFlashPlaceObject>(place->Owner, place->Obj(), place->GetDepth());
        copy->CopyFieldsFrom(*place);
        return copy;
    }
    if (auto* script = dynamic_cast<const TFlashActionScript*>(&source)) {
        auto copy = std::make_unique<TFlashActionScript>(script->Owner);
        copy->CopyFieldsFrom(*script);
        return copy;
    }
    throw Exception("This kind of object cannot be copied into a sprite's timeline");
}

void TFlashSprite::CopyFieldsFrom(const TBasedSWFObject& source) {
    const auto& other = CopySourceAs<TFlashSprite>(source, "a sprite");
    TFlashVisualObject::CopyFieldsFrom(source);
    spriteTag_.FrameCount = other.spriteTag_.FrameCount;
    spriteTag_.SpriteID = GetCharacterId();
    for (const auto& tag : other.controlTags_) controlTags_.push_back(CloneTimelineObject(*tag));
    FrameLabel = other.FrameLabel;
    if (other.initActions_) GetInitActions().CopyFieldsFrom(*other.initActions_);
    if (other.streamSound_) {
        GetStreamSound()->CopyFieldsFrom(*other.streamSound_);
        StreamSoundEnabled = other.StreamSoundEnabled;
    }
}

int TFlashSprite::RequiredVersion() const {
    int version = 3;
    for (const auto& tag : controlTags_) version = std::max(version, tag->RequiredVersion());
    if (initActions_) version = std::max(version, 6);
    if (StreamSoundEnabled && streamSound_ && streamSound_->HasData())
        version = std::max(version, streamSound_->RequiredVersion());
    return version;
}

TFlashPlaceObject* TFlashSprite::PlaceObject(TFlashVisualObject* obj, uint16_t depth) {
    auto* placement = AddControlTag(std::make_unique<TFlashPlaceObject>(Owner, obj, depth));
    if (Owner && obj) Owner->MoveDefinitionBefore(obj, this);
    return placement;
}

TFlashPlaceObject* TFlashSprite::PlaceMaskedObject(TFlashVisualObject* obj, TFlashVisualObject* mask,
                                                   uint16_t depth) {
    if (!Owner) throw Exception("A masked placement needs a movie to hold its inner sprite");
    TFlashSprite* inner = Owner->AddSprite();
    inner->PlaceObject(mask, 1)->SetClipDepth(2);
    inner->PlaceObject(obj, 2);
    return PlaceObject(inner, depth);
}

TFlashPlaceObject* TFlashSprite::PlaceDepth(uint16_t depth) {
    return AddControlTag(std::make_unique<TFlashPlaceObject>(Owner, nullptr, depth));
}

TFlashPlaceVideo* TFlashSprite::PlaceVideo(TFlashVideo* video, uint16_t depth) {
    auto* placement = AddControlTag(std::make_unique<TFlashPlaceVideo>(Owner, video, depth, GetFrameCount()));
    if (Owner && video) Owner->MoveDefinitionBefore(video, this);
    return placement;
}

std::unique_ptr<TSWFObject> MakeRemoveTag(uint16_t depth, const TFlashIDObject* obj) {
    if (obj) {
        auto tag = std::make_unique<TSWFRemoveObject>();
        tag->CharacterId = obj->GetCharacterId();
        tag->Depth = depth;
        return tag;
    }
    auto tag = std::make_unique<TSWFRemoveObject2>();
    tag->Depth = depth;
    return tag;
}

std::unique_ptr<TSWFStartSound> MakeStartSoundTag(uint16_t soundId) {
    auto tag = std::make_unique<TSWFStartSound>();
    tag->SoundId = soundId;
    return tag;
}

void TFlashSprite::RemoveObject(uint16_t depth, TFlashIDObject* obj) { AddControlTag(MakeRemoveTag(depth, obj)); }

TSWFStartSound* TFlashSprite::StartSound(uint16_t soundId) { return AddControlTag(MakeStartSoundTag(soundId)); }

void TFlashSprite::ShowFrame(uint16_t count) {
    if (count == 0) count = 1;
    spriteTag_.FrameCount = static_cast<uint16_t>(spriteTag_.FrameCount + count);
    if (frameActions_) controlTags_.push_back(std::move(frameActions_));
    if (!FrameLabel.empty()) {
        controlTags_.push_back(TSWFFrameLabel::CreateWithName(FrameLabel));
        FrameLabel.clear();
    }
    for (uint16_t i = 0; i < count; ++i) controlTags_.push_back(std::make_unique<TSWFShowFrame>());
}

TFlashActionScript& TFlashSprite::GetFrameActions() {
    if (!frameActions_) frameActions_ = std::make_unique<TFlashActionScript>(Owner);
    return *frameActions_;
}

TFlashSound* TFlashSprite::GetStreamSound() {
    if (!streamSound_) {
        streamSound_ = std::make_unique<TFlashSound>(Owner);
        streamSound_->Loop = true;
        StreamSoundEnabled = true;
    }
    return streamSound_.get();
}

TFlashActionScript& TFlashSprite::GetInitActions() {
    if (!initActions_) initActions_ = std::make_unique<TFlashActionScript>(Owner);
    return *initActions_;
}

void TFlashSprite::WriteTag(TBitsEngine& be) {
    if (spriteTag_.FrameCount == 0) ShowFrame(1);
    TMemoryStream body;
    TBitsEngine bodyEngine(body);
    bodyEngine.WriteWord(GetCharacterId());
    bodyEngine.WriteWord(spriteTag_.FrameCount);
    uint8_t version = Owner ? Owner->Version : 8;
    TFlashSound* stream = StreamSoundEnabled && streamSound_ && streamSound_->HasData() ? streamSound_.get() : nullptr;
    if (stream) {
        if (!Owner) throw Exception("A sprite's stream sound needs the movie's frame rate: the sprite has no movie");
        TSWFSoundStreamHead2 head;
        stream->FillStreamHead(head, Owner->GetFrameRate());
        head.WriteTag(bodyEngine);
    }
    std::vector<TFlashPlaceVideo*> videos;
    uint32_t frames = 0;
    for (auto& tag : controlTags_) {
        if (auto* placement = dynamic_cast<TFlashPlaceObject*>(tag.get())) {
            placement->Tag().SWFVersion = version;
            if (auto* video = dynamic_cast<TFlashPlaceVideo*>(placement)) videos.push_back(video);
        }
        auto* swfTag = dynamic_cast<TSWFObject*>(tag.get());
        if (swfTag && swfTag->TagCode == TagCodes::ShowFrame) {
            WriteVideoFrames(videos, bodyEngine, frames++);
            if (stream) stream->WriteStreamBlock(bodyEngine);
        }
        tag->WriteTag(bodyEngine);
    }
    bool endsWithEnd = false;
    if (!controlTags_.empty())
        if (auto* last = dynamic_cast<TSWFObject*>(controlTags_.back().get())) endsWithEnd = last->TagCode == TagCodes::End;
    if (!endsWithEnd) bodyEngine.WriteWord(0);
    be.FlushLastByte(true);
    body.SetPosition(0);
    WriteTagFromStream(be.Stream, TagCodes::DefineSprite, body, static_cast<int32_t>(body.GetSize()));
    if (initActions_) {
        auto init = TSWFDoInitAction::CreateWithList(initActions_->ActionList());
        init->SpriteID = GetCharacterId();
        init->WriteTag(be);
    }
}
