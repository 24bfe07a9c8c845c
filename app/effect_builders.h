// The effect sub-movies: the preloader, each background effect, each text
// stage and each picture stage is a movie of its own, built from its effect
// template and then embedded into the output movie as a sprite.
//
// A builder reads the template, writes the user's values into a
// "<ParamsValue>" document and hands it to the template by a frame script
// that assigns it to the variable ParamsValue just before the template's
// first frame script; stages may get a second script that makes a click on
// them open their address or restart the movie. The template's placeholder
// pictures give way to the user's pictures. Every other tag of the template
// is copied as it stands; what the template's own scripts do with the
// document is the template's business.
//
// Values are escaped for XML as they go in (the stage's formatted text and
// the font XML are documents already and go in as they stand). A document
// longer than one push record can hold is pushed in pieces and joined by the
// script, never cut.
#pragma once

#include <cstdint>
#include <memory>

#include "app/project.h"

class TFlashMovie;

// Where a picture stage's prepared picture stands in the movie, and whether
// it has see-through parts (a template that crops the picture to its
// rectangle would cut such a shape).
struct TPicturePosition {
    int32_t X = 0;
    int32_t Y = 0;
    bool SeeThrough = false;
};

// The "<ParamsValue>" documents, for each builder.
WideString PreloaderParamsValue(const ProjectRecord& project);
WideString BgEffectParamsValue(const ProjectRecord& project, int index);
WideString TextStageParamsValue(const ProjectRecord& project, int index);
WideString ImageStageParamsValue(const ProjectRecord& project, int index, const TPicturePosition& position);

// The export stem of a picture template: the default text of its parameter
// "Img.EffectName"; empty when it has none.
WideString PictureExportStem(const EffectRecord& effect);

// Each builder returns a new movie owned by the caller. A template that
// cannot be read, a picture that cannot be loaded or a template that lacks
// the placeholders a picture needs raises with a message naming it.
std::unique_ptr<TFlashMovie> BuildPreloaderMovie(const ProjectRecord& project);
std::unique_ptr<TFlashMovie> BuildBgEffectMovie(const ProjectRecord& project, int index);
std::unique_ptr<TFlashMovie> BuildTextStageMovie(const ProjectRecord& project, int index);
// Null when the stage's picture file does not exist: the stage is left out.
std::unique_ptr<TFlashMovie> BuildImageStageMovie(const ProjectRecord& project, int index);

// The placeholder pair a template carries for a picture, the one the
// builders above replace with the user's: the picture file as a JPEG bitmap
// exported as bitmapName, and a sprite showing it exported as spriteName.
void AddPicturePlaceholder(TFlashMovie& movie, const std::string& pictureFile, const std::string& bitmapName,
                           const std::string& spriteName);

// Appends to a script: the assignment of text (UTF-8) to the variable name,
// in pieces joined by the script when it does not fit one push record.
class TFlashActionScript;
void PushStringAssignment(TFlashActionScript& script, const std::string& name, const std::string& text);
// Appends the opening of an address: for kind 1 getURL(_root.clickTAG,
// target), the FlashVar a hosting page hands in; otherwise the address
// itself, when there is one.
void AddGetUrlActions(TFlashActionScript& script, int kind, const WideString& address, const WideString& target);
