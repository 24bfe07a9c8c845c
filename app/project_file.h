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
// the same. A number beyond what its control holds is brought to the nearer
// end, and a count of items beyond the blocks the file holds to those
// blocks; both are reported. Parameter values are matched by name onto the
// parameters that the installed templates declare: one the parameter's type
// cannot take keeps the template's value, an integer beyond its min and max
// is brought into them, and either is reported. A template the file names
// that is not installed (or was turned away by the scan) gives way to the
// first one (a stage, the preloader) or is left out (a background effect),
// and each such change is reported with the names; so is a ticked sound
// whose file is missing.
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

// What the reading changed of the file, one line each ("KEY: 'text' is not
// ...").
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
