// Another SWF movie embedded whole into the movie being built: its tags are
// copied into the output when the movie is made, its characters renumbered
// to follow the movie's own, in one of four modes: as part of the root
// timeline, as resources only (no frames, no placements), as root content
// without frames of its own, or as a sprite. Effect templates reach the
// output this last way.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "movie/flash_object.h"
#include "swf/reader.h"

class TFlashSprite;

enum : uint8_t {
    kExternalRoot = 0,
    kExternalResource = 1,
    kExternalNoFrameRoot = 2,
    kExternalSprite = 3,
};

class TFlashExternalMovie : public TFlashIDObject {
public:
    // A reader loading the file or stream; no tags are parsed yet. A file or
    // stream that is not an SWF movie gives a reader without tags.
    TFlashExternalMovie(TFlashMovie* movie, const std::string& fileName);
    static std::unique_ptr<TFlashExternalMovie> CreateFromStream(TFlashMovie* movie, TStream& stream);
    ~TFlashExternalMovie() override;

    uint8_t Mode = kExternalRoot;
    TSWFStreamReader& Reader() { return *reader_; }
    // The sprite wrapping the embedded timeline (mode 3), or none.
    TFlashSprite* Sprite() const { return sprite_.get(); }
    // Makes the mode-3 sprite with the movie's identifier and the embedded
    // frame count; the movie lists it among its sprites.
    TFlashSprite& CreateSprite();

    // The identifiers the parsed movie defines.
    uint16_t CountDefinitions() const;
    void RenumberIds(uint16_t firstId);
    // ShowFrame tags the last WriteTag put into the root timeline.
    uint16_t WrittenFrames() const { return writtenFrames_; }
    // The prefix the next WriteTag gives embedded font names; drawn at random
    // (0..65534) per write unless fixed here (tests).
    void SetFontPrefix(int32_t prefix) { fixedPrefix_ = prefix; }

    void CopyFieldsFrom(const TBasedSWFObject& source) override;
    int RequiredVersion() const override;
    void WriteTag(TBitsEngine& be) override;

private:
    TFlashExternalMovie(TFlashMovie* movie, std::unique_ptr<TSWFStreamReader> reader);

    std::unique_ptr<TSWFStreamReader> reader_;
    std::unique_ptr<TFlashSprite> sprite_;
    uint16_t writtenFrames_ = 0;
    int32_t fixedPrefix_ = -1;
};

// Inserts prefix after the opening quote of every face attribute of an HTML
// text ("face" in any letter case, its value in double or single quotes).
std::string PrefixHtmlFaces(const std::string& html, const std::string& prefix);
