// A kit of effect templates for tests, built with the movie builder: each
// holds its parameter declaration in a constant pool, assigned to
// ParamsDefine the way compiled templates do it, the placeholders its kind
// needs, and a script that traces what it receives:
//   "ParamsDefine: <the declaration>"
//   "ParamsValue: <the values handed in, or undefined>"
// Not shipped content: the real templates are data files of their own.
#pragma once

#include <string>
#include <vector>

struct TKitTemplate {
    // The declaration text; empty for a template without one.
    std::string Declaration;
    // Pushes before the assignment whose first value equals the pool index
    // of "ParamsDefine" only as an integer or as a register number, each
    // with a decoy document; with DecoysOnly the real assignment is left out.
    bool Decoys = false;
    bool DecoysOnly = false;
    // A second constant pool, without "ParamsDefine", declared just before
    // the assignment, whose pool references then name its own entries.
    bool ReplacedPool = false;
    // A picture template's placeholders: a bitmap exported as
    // <stem>_Image and a sprite showing it exported as <stem>_ImageMovie.
    std::string PictureStem;
    // Background picture parameters: a bitmap exported as <name>_Image and
    // a sprite exported as <name>, for each name.
    std::vector<std::string> PictureParams;
};

// Writes the template as an SWF 8 file (compressed when asked).
void WriteKitTemplate(const std::string& path, const TKitTemplate& kit, bool compressed = false);
