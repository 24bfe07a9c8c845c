// Placements and sprites of the movie builder. A placement puts a character
// on a display list at a depth, with an optional transform, colour
// transform, name and clip actions; it is written as PlaceObject2 unless an
// SWF 8 feature (blend mode, filters, bitmap caching) asks for PlaceObject3.
// A sprite is a character with a timeline of its own, written as a
// DefineSprite followed by its init actions.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "movie/action_script.h"
#include "movie/flash_object.h"
#include "swf/display_tags.h"
#include "swf/sprite_tags.h"

class TFlashPlaceVideo;
class TFlashSound;
class TFlashSprite;
class TFlashVideo;
class TSWFStartSound;

class TFlashPlaceObject : public TFlashObject {
public:
    TFlashPlaceObject(TFlashMovie* movie, TFlashVisualObject* obj, uint16_t depth);
    ~TFlashPlaceObject() override;

    TSWFPlaceObject3& Tag() { return *tag_; }
    const TSWFPlaceObject3& Tag() const { return *tag_; }
    TFlashVisualObject* Obj() const { return obj_; }

    void CopyFieldsFrom(const TBasedSWFObject& source) override;
    int RequiredVersion() const override;
    void WriteTag(TBitsEngine& be) override;
    virtual uint16_t GetCharacterId() const { return tag_->CharacterId; }
    // The placement tag's XML form, coordinates in the movie's units, with
    // the movie loading its action blocks; "IDStr" names the character.
    void LoadFromXml(const TXmlNode& node, TXMLReadWriteSettings& settings) override;
    // Whether the placement needs PlaceObject3 (blend mode, filters or caching).
    bool NeedsPlaceObject3() const;

    // Positions are in the owner movie's units.
    void SetTranslate(int32_t x, int32_t y);
    void SetPosition(int32_t x, int32_t y) { SetTranslate(x, y); }
    void SetTranslateX(int32_t x);
    void SetTranslateY(int32_t y);
    void SetScale(float scaleX, float scaleY) { tag_->GetMatrix().SetScale(scaleX, scaleY); }
    void SetRotate(float degrees) { tag_->GetMatrix().SetRotate(degrees); }
    TSWFColorTransform& GetColorTransform();
    void SetName(const std::string& name) { tag_->SetName(name); }
    const std::string& GetName() const { return tag_->Name; }
    void SetClipDepth(uint16_t depth) { tag_->SetClipDepth(depth); }
    void SetRatio(uint16_t ratio) { tag_->SetRatio(ratio); }
    void SetCharacterId(uint16_t id) { tag_->SetCharacterId(id); }
    uint16_t GetDepth() const { return tag_->Depth; }
    bool GetMove() const { return tag_->PlaceFlagMove; }
    void SetMove(bool move) { tag_->PlaceFlagMove = move; }
    void SetBlendMode(uint8_t mode);
    bool GetCacheAsBitmap() const { return tag_->CacheAsBitmap; }
    void SetCacheAsBitmap(bool on) { tag_->CacheAsBitmap = on; }
    TSWFFilterList& GetFilters();

    // Clip actions (placements of sprites).
    TSWFClipActionRecord& AddClipActions(uint32_t events);
    // The first record whose events hold event (an index in the internal
    // clip-event order), created when absent and create is set; nullptr for a
    // placement of anything but a sprite.
    TSWFClipActionRecord* FindClipActions(uint8_t event, bool create);
    // The builder over the record of clip event 12 (Release).
    TFlashActionScript* GetReleaseActions();
    // The builder pointed at the record of one clip event (placements of sprites).
    TFlashActionScript* GetClipEventActions(uint8_t event);
    bool CompileClipActions(TStream& source);
    bool CompileClipActionsFromString(const std::string& text);
    bool CompileClipActionsFromFile(const std::string& fileName);

protected:
    void SetObj(TFlashVisualObject* obj) { obj_ = obj; }

private:
    std::unique_ptr<TSWFPlaceObject3> tag_;
    TFlashVisualObject* obj_ = nullptr;
    std::unique_ptr<TSWFActionList> clipActionList_;
    std::unique_ptr<TFlashActionScript> clipActionBuilder_;
};

// The bit of the clip-event flags (as the file holds them) of an event in the
// internal order 0 KeyUp .. 18 DragOut; 0 for an event beyond it.
uint32_t ClipEventFlag(uint8_t event);

class TFlashSprite : public TFlashVisualObject {
public:
    explicit TFlashSprite(TFlashMovie* movie);
    ~TFlashSprite() override;

    std::string FrameLabel;

    void CopyFieldsFrom(const TBasedSWFObject& source) override;
    int RequiredVersion() const override;
    void WriteTag(TBitsEngine& be) override;
    void SetCharacterId(uint16_t id) override;
    // "Depth" places the sprite in the movie; the children build its timeline.
    void LoadFromXml(const TXmlNode& node, TXMLReadWriteSettings& settings) override;

    TFlashPlaceObject* PlaceObject(TFlashVisualObject* obj, uint16_t depth);
    TFlashPlaceObject* PlaceMaskedObject(TFlashVisualObject* obj, TFlashVisualObject* mask, uint16_t depth);
    TFlashPlaceObject* PlaceDepth(uint16_t depth);
    // The video (none: one named later) plays along from the sprite's
    // current frame, looping.
    TFlashPlaceVideo* PlaceVideo(TFlashVideo* video, uint16_t depth);
    void RemoveObject(uint16_t depth, TFlashIDObject* obj = nullptr);
    TSWFStartSound* StartSound(uint16_t soundId);
    void ShowFrame(uint16_t count = 1);
    TFlashActionScript& GetFrameActions();
    TFlashActionScript& GetInitActions();
    // The sprite's own stream sound, created (looping) and enabled on first
    // request, written with the sprite's frames once it holds a sound.
    TFlashSound* GetStreamSound();
    bool StreamSoundEnabled = false;
    uint16_t GetFrameCount() const { return spriteTag_.FrameCount; }
    void SetFrameCount(uint16_t count) { spriteTag_.FrameCount = count; }
    // The sprite's timeline: SWF tags and movie-level objects in order.
    std::vector<std::unique_ptr<TBasedSWFObject>>& GetControlTags() { return controlTags_; }
    template <class T>
    T* AddControlTag(std::unique_ptr<T> tag) {
        T* raw = tag.get();
        controlTags_.push_back(std::move(tag));
        return raw;
    }

private:
    TSWFDefineSprite spriteTag_;
    std::vector<std::unique_ptr<TBasedSWFObject>> controlTags_;
    std::unique_ptr<TFlashActionScript> frameActions_;
    std::unique_ptr<TFlashActionScript> initActions_;
    std::unique_ptr<TFlashSound> streamSound_;
};

// The tags both timelines use: RemoveObject of obj's character at depth, or
// RemoveObject2 of whatever is there; StartSound of a sound character.
std::unique_ptr<TSWFObject> MakeRemoveTag(uint16_t depth, const TFlashIDObject* obj);
std::unique_ptr<TSWFStartSound> MakeStartSoundTag(uint16_t soundId);

// A deep copy of a timeline object: a tag, a placement or an action builder.
std::unique_ptr<TBasedSWFObject> CloneTimelineObject(const TBasedSWFObject& source);
