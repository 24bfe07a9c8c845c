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
    // ActionScript compiled into a second frame script of the first frame,
    // run after the kit's own; it may read ParamsValue.
    std::string Script;
    // A rectangle of this colour (0xRRGGBB) over the whole template stage at
    // depth 1, so that the template shows and can be clicked.
    int FillColor = -1;
};

// A script function for Script: pv(name) is the text of the ParamsValue
// element of that name (undefined when there is none), read by the
// player's own XML parser.
extern const char* const kKitParamsValueReader;

// The template stage: 200 x 100 pixels at 12 frames per second. The
// placeholder bitmap is 2 x 2 pixels of pure blue.
// Writes the template as an SWF 8 file (compressed when asked). A script
// that does not compile raises with the compiler's message.
void WriteKitTemplate(const std::string& path, const TKitTemplate& kit, bool compressed = false);
