// The movie that a caller composes: an ordered list of everything that goes
// into the body (SWF tag objects and movie-level objects side by side), the
// allocation of character identifiers, the factories of the movie-level
// objects, the frame under construction (its pending label and actions) and
// MakeStream, which turns the list into the body that the inherited writer
// saves with its header.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "movie/compile_context.h"
#include "movie/flash_object.h"
#include "platform/fonts.h"
#include "swf/swf_stream.h"
#include "swf/value_records.h"

class TFlashActionScript;
class TFlashExternalMovie;
class TFlashPlaceObject;
class TFlashPlaceVideo;
class TFlashSprite;
class TSWFExportAssets;
class TSWFStartSound;
class TSWFRGB;
// Filled in by the issues that build them.
class TFlashButton;
class TFlashCanvas;
class TFlashFont;
class TFlashImage;
class TFlashMorphShape;
class TFlashShape;
class TFlashSound;
class TFlashText;
class TFlashVideo;

class TFlashMovie : public TBasedSWFStream {
public:
    TFlashMovie(int32_t left, int32_t top, int32_t right, int32_t bottom, float frameRate, bool usePixels);
    ~TFlashMovie() override;

    // Frame under construction.
    std::string FrameLabel;
    bool BackgroundColorSet = false;
    bool CorrectImageFill = true;

    // Empties the object list and the typed lists; identifiers start at 1 again.
    void Clear();

    // ---- objects
    // Appends obj to the object list, which owns it from now on.
    template <class T>
    T* AddObject(std::unique_ptr<T> obj) {
        T* raw = obj.get();
        ObjectList.push_back(std::move(obj));
        return raw;
    }
    std::vector<std::unique_ptr<TBasedSWFObject>>& GetObjectList() { return ObjectList; }
    uint16_t GetNextCharacterId() const { return NextCharacterId; }
    void SetNextCharacterId(uint16_t id) { NextCharacterId = id; }

    TFlashSprite* AddSprite(TFlashVisualObject* obj = nullptr);
    // Shapes, in movie units; each gets the next identifier and joins GetShapes().
    TFlashShape* AddShape();
    TFlashShape* AddShape(std::unique_ptr<TFlashShape> shape);
    TFlashShape* AddRectangle(int32_t left, int32_t top, int32_t right, int32_t bottom);
    TFlashShape* AddRectangleFromRect(const TRect& rect);  // window order
    TFlashShape* AddEllipse(int32_t left, int32_t top, int32_t right, int32_t bottom);
    TFlashShape* AddEllipseFromRect(const TRect& rect);  // window order
    // An open path: the line is drawn by a line style the caller adds.
    TFlashShape* AddLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2);
    TFlashShape* AddCubicBezier(const TPoint& p0, const TPoint& p1, const TPoint& p2, const TPoint& p3);
    // A bitmap character from a JPEG or BMP file (none: an empty one to fill).
    // A file that cannot be loaded raises and adds nothing.
    TFlashImage* AddImage(const std::string& fileName = "");
    // A rectangle of the image's size at (0, 0) that the image fills.
    TFlashShape* AddImageShape(TFlashImage* image);
    // An event sound from a WAVE or MP3 file; raises and adds nothing when
    // the file cannot be used.
    TFlashSound* AddSound(const std::string& fileName);
    // Fonts and texts; each gets the next identifier and joins GetFonts() or
    // GetTexts(). Sizes and points in movie units.
    TFlashFont* AddFont();
    TFlashFont* AddFontByName(const std::string& name, bool bold, bool italic, uint16_t size, bool asDevice);
    TFlashFont* AddFontFromLogFont(const TLogFont& logFont, bool asDevice);
    TFlashText* AddText();
    TFlashText* AddTextAtPoint(const std::u16string& text, TSWFRGBAValue color, TFlashFont* font,
                               const TPoint& point, uint8_t align);
    TFlashText* AddTextInRect(const std::u16string& text, TSWFRGBAValue color, TFlashFont* font, const TRect& rect);
    TFlashText* AddDynamicText(const std::string& variableName, const std::u16string& text, TSWFRGBAValue color,
                               TFlashFont* font, const TRect& rect);
    TFlashPlaceObject* PlaceObject(TFlashVisualObject* obj, uint16_t depth);
    TFlashPlaceObject* PlaceDepth(uint16_t depth);
    void RemoveObject(uint16_t depth, TFlashIDObject* obj = nullptr);
    TSWFStartSound* StartSound(uint16_t soundId);
    TSWFExportAssets* AddExportAssets(const std::string& name, uint16_t characterId);
    // A button character: a DefineButton2 (with condition actions) unless
    // useButton2 is off.
    TFlashButton* AddButton(bool trackAsMenu = false, bool useButton2 = true);
    // A morph shape; its start and end paths are drawn with its edge builders.
    TFlashMorphShape* AddMorphShape();
    // A video stream from an FLV file, which stays open while the movie
    // lives; a file that cannot be opened raises and adds nothing. Damage
    // found while indexing the file goes to the message stream.
    TFlashVideo* AddVideo(const std::string& fileName);
    // A placement of a video (none: one named later) that shows the video's
    // next frame at every frame of the movie from now on, looping.
    TFlashPlaceVideo* PlaceVideo(TFlashVideo* video, uint16_t depth);
    // Moves used (a definition) in front of user in the object list when it
    // stands after it: a character must be defined before what refers to it.
    void MoveDefinitionBefore(const TBasedSWFObject* used, const TBasedSWFObject* user);
    // Another SWF movie embedded in one of the modes of TFlashExternalMovie
    // (0 root, 1 resource, 2 no-frame root, 3 sprite), its characters
    // renumbered after the movie's own when renumber is set. The movie takes
    // a copy of the stream's bytes. Raises, adding nothing, when the embedded
    // movie refers to characters it does not define or its identifiers would
    // run past 65535.
    TFlashExternalMovie* AddExternalMovie(TStream& stream, uint8_t mode, bool renumber);
    TFlashExternalMovie* AddExternalMovieFromFile(const std::string& fileName, uint8_t mode, bool renumber);
    TFlashExternalMovie* EmbedExternalMovie(std::unique_ptr<TFlashExternalMovie> ext, uint8_t mode, bool renumber);

    // ---- frames
    TFlashActionScript& GetFrameActions();
    void CommitFrameActions();
    void ShowFrame(uint16_t count = 1);

    // ---- companions
    TSWFRGB& GetBackgroundColor();
    // The movie's background stream sound, created (looping) and enabled on
    // first request; it is written only once it holds a sound.
    TFlashSound* GetStreamSound();
    bool StreamSoundEnabled = false;
    TBaseCompileContext& GetCompileContext();
    // The drawing canvas, created on first request; drawings go into the
    // movie as sprites (see TFlashCanvas).
    TFlashCanvas& GetCanvas();
    TMemoryStream& GetMessageStream();
    std::string GetMessages() const;
    TFlashObjectList<TFlashSprite>& GetSprites() { return sprites_; }
    TFlashObjectList<TFlashButton>& GetButtons() { return buttons_; }
    TFlashObjectList<TFlashFont>& GetFonts() { return fonts_; }
    TFlashObjectList<TFlashImage>& GetImages() { return images_; }
    TFlashObjectList<TFlashMorphShape>& GetMorphShapes() { return morphShapes_; }
    TFlashObjectList<TFlashShape>& GetShapes() { return shapes_; }
    TFlashObjectList<TFlashSound>& GetSounds() { return sounds_; }
    TFlashObjectList<TFlashText>& GetTexts() { return texts_; }
    TFlashObjectList<TFlashVideo>& GetVideos() { return videos_; }
    void SetCorrectImageFill(bool on) { CorrectImageFill = on; }

    // Names of characters while a movie is loaded from its XML form
    // (compared without regard to case): the character and, once it was
    // placed by name, the depth of that placement on the timeline being
    // loaded (a name placed in a sprite has no depth on the movie's own
    // timeline); -1 for a name not known.
    void RegisterCharacterName(const std::string& name, uint16_t id);
    int32_t FindCharacterId(const std::string& name) const;
    int32_t FindCharacterDepth(const std::string& name) const;
    void SetCharacterPlacement(const std::string& name, uint16_t depth, uint16_t id);
    // The timeline whose elements are being loaded: a sprite, or null for
    // the movie's own. Returns the one it replaces.
    const void* SetLoadingTimeline(const void* timeline);
    // One action block of the XML form into a builder, a DoAction-like tag
    // or a placement tag's clip actions: XML action records, ActionScript
    // source compiled on the spot, or raw byte code, inline or from "File".
    void LoadActionsFromXml(TBasedSWFObject& target, const TXmlNode& element);
    // A "StartSound" element on the movie's timeline or a sprite's.
    void LoadStartSoundFromXml(const TXmlNode& element, TFlashSprite* sprite);

    // ---- the stream
    void HeaderChanged() override;
    int32_t GetFrameTagIndex(uint16_t frame) override;
    void MakeStream() override;
    bool LoadFromXml(const TXmlNode& node, bool readHeader) override;
    // Moves the resource definitions of frames from..to to the start of frame dest.
    void MoveResourcesToFrame(uint16_t dest, uint16_t from, int32_t to);

    // Hands out the next character identifier; raises when the 16-bit space
    // is used up rather than wrapping to identifiers already in use.
    uint16_t TakeCharacterId();

private:
    void LoadMovieElement(int code, const TXmlNode& element);
    // Takes back what a failed element added: the objects from index on and
    // the identifiers they took.
    void DropObjectsFrom(size_t index, uint32_t nextCharacterId);
    void LoadTagFromXml(const TXmlNode& element);
    void LoadPlacementFromXml(const TXmlNode& element);
    void LoadExternalMovieFromXml(const TXmlNode& element);
    std::vector<std::unique_ptr<TBasedSWFObject>> ObjectList;
    uint32_t NextCharacterId = 1;
    std::unique_ptr<TFlashActionScript> FrameActions;
    std::unique_ptr<TSWFRGB> BackgroundColor;
    std::unique_ptr<TFlashSound> StreamSound;
    std::unique_ptr<TBaseCompileContext> CompileContext;
    std::unique_ptr<TFlashCanvas> Canvas;
    std::unique_ptr<TMemoryStream> MessageStream;
    std::optional<std::map<std::string, uint32_t>> CharacterNames;
    std::map<std::pair<const void*, std::string>, uint16_t> placedDepths_;
    const void* loadingTimeline_ = nullptr;
    TFlashObjectList<TFlashSprite> sprites_;
    TFlashObjectList<TFlashButton> buttons_;
    TFlashObjectList<TFlashFont> fonts_;
    TFlashObjectList<TFlashImage> images_;
    TFlashObjectList<TFlashMorphShape> morphShapes_;
    TFlashObjectList<TFlashShape> shapes_;
    TFlashObjectList<TFlashSound> sounds_;
    TFlashObjectList<TFlashText> texts_;
    TFlashObjectList<TFlashVideo> videos_;
};

// The number of a movie element of the XML form ("Frame" 1 .. "InitActions"
// 19, in any case); 0 for any other name.
int GetMovieElementCode(const std::string& name);
