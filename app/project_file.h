// The project file: an ini file with the one section "OPTIONS", written
// from a ProjectRecord and read back into a project state. "config.ini",
// "default.ini" and the example projects have the same form.
//
// Values: integers in decimal, flags "1"/"0", colours "0xRRGGBB", texts as
// UTF-8 bytes, paths below the program folder relative to it, times as
// general decimal text of up to 15 significant digits. Times are always
// written with '.', whatever the user's locale, and read with '.' or ','.
// Key names are compared without regard to case; lines end with CR LF.
//
// A value that does not convert (a colour, a number, a flag, a time) falls
// back to the key's default and is reported; the keys after it are read all
// the same. Parameter values are matched by name onto the parameters that
// the installed templates declare.
#pragma once

#include <string>
#include <vector>

#include "app/project.h"

// The file's bytes for a project.
std::string ProjectFileText(const ProjectRecord& project);

// Writes the file through a temporary file beside it that is renamed over
// it, so a failure leaves an old file as it was; the failure raises
// EFCreateError naming the file and the reason.
void WriteProjectFile(const WideString& path, const ProjectRecord& project);

// The values that did not convert, one line each ("KEY: 'text' is not ...").
using TProjectReadProblems = std::vector<WideString>;

// Replaces the project held by the state with the file's. The state's
// template lists and trees must be scanned already. A missing file changes
// nothing and gives false.
bool ReadProjectFile(const WideString& path, TProjectState& state, TProjectReadProblems* problems = nullptr);
// The same from the file's bytes.
void ReadProjectText(const std::string& bytes, TProjectState& state, TProjectReadProblems* problems = nullptr);

// A new stage of the kind with the defaults, its effect a copy of the first
// template of the text or picture tree (none when the tree is empty).
std::unique_ptr<StageRecord> NewStageEffect(TProjectState& state, bool picture);

// Float text for the file, and back: '.' always; ',' read as '.'.
std::string TimeToText(float seconds);
bool TryTextToTime(const std::string& text, float& seconds);
