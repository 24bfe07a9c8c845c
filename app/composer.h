// The movie composer: the single road from a project to an SWF 8 movie.
// The preview, publishing and the GIF and AVI export all take it.
//
// Timeline of the movie (depths count up from 1, one per placement; the
// border alone stands at 999):
//   preloader frame    (preloader on) its background rectangle and sprite
//   start frame        loop counter, background sound, Play
//   loop-start frame   label "loopstart": background shape, pictures,
//                      border, fonts, background effects, click area and
//                      static stages
//   stage frames       the other stages, timed or one by one
//   end frame          counts the loops down and goes back to "loopstart",
//                      or stops and opens the close address
//
// The templates see the main timeline's variables g_loopcount,
// g_soundloopcount, moviesound and g_effectcount (the stages still running:
// each stage counts it down and resumes the main timeline) and the FlashVar
// clickTAG as _root.clickTAG. Fonts are exported under their styles' names
// and carry exactly the characters the text stages write in them.
//
// Nothing is written until the whole movie is built: a template, picture,
// sound or XML error raises with its message and leaves any file at the
// output path as it was.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/project.h"

class TFlashMovie;

struct TComposeOptions {
    // An FSCommand sent each time the movie reaches its end frame, before
    // its end script; empty for none. Frame capture watches for it, since
    // the player cannot be asked which frame it shows.
    std::string EndFrameCommand;
    // Told what is being built: a short text and a percentage.
    std::function<void(const std::string& step, int percent)> OnProgress;
    // Told, one sentence at a time, what the movie will lack of what the
    // project asks for (the snapshot's own warnings first); the movie is
    // made all the same.
    std::function<void(const WideString& warning)> OnWarning;
};

// The FSCommand the capture composition names as its end-frame marker.
inline const std::string kEndFrameCommand = "TamblewickEndFrame";

// The composed movie, its body made.
std::unique_ptr<TFlashMovie> ComposeProjectMovie(const ProjectRecord& project, const TComposeOptions& options = {});
// The composed movie as the bytes of an SWF file.
std::vector<uint8_t> ComposeMovieBytes(const ProjectRecord& project, const TComposeOptions& options = {});
// Composes and writes the movie to path, replacing the file only once the
// movie is complete.
void ComposeMovie(const ProjectRecord& project, const WideString& path, const TComposeOptions& options = {});
// The same from the project state, through its snapshot.
void ComposeMovie(const TProjectState& state, const WideString& path, const TComposeOptions& options = {});
