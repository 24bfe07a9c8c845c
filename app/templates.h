// Effect templates: SWF files in folders below the program folder that
// declare their editable parameters as an XML document assigned to the
// script variable ParamsDefine in their own frame script.
//
//   preloader/              templates directly inside
//   background/<theme>/     kind 0
//   text/<theme>/           kind 1
//   image/<theme>/          kind 2
//
// The declaration is a root element "ParamsDefine" with one element per
// parameter, named after it and carrying "type", "caption", "default" and,
// by type, "min" and "max" (integer) or "selection" (choices separated by
// ';'). It is found in the first DoAction whose script assigns a
// constant-pool string to the pool entry "ParamsDefine": a Push whose first
// value is a pool reference to that entry and whose second is a pool
// reference to the document.
//
// Scanning never stops at a bad entry: a file that is not a readable SWF or
// is damaged, a folder among the templates, a declaration that is not
// well-formed XML are left out and reported; a SWF without a declaration is kept with no
// parameters.
#pragma once

#include <memory>
#include <optional>
#include <vector>

#include "app/project.h"

// Kinds of effect folders.
constexpr int ekBackground = 0;
constexpr int ekText = 1;
constexpr int ekImage = 2;

// The folder name of a kind ("background", "text", "image") below the
// program folder.
WideString EffectFolderName(int kind);

class TSWFStreamReader;

// A template read for its declaration or to build from, its tags parsed.
// Raises, with a message naming the file, for a missing file, one that
// cannot be read or is no SWF movie, and a damaged one (lengths that do not
// match its bytes, as a cut file or an overwritten script shows): players
// stumble over such a file where the reader goes on.
std::unique_ptr<TSWFStreamReader> ReadTemplateFile(const WideString& templatePath);

// The ParamsDefine document of a template, when it has one. A file that
// cannot be read or is damaged raises as ReadTemplateFile says.
std::optional<WideString> FindParamsDefine(const WideString& templatePath);

// Reads a template's declaration into a new record (theme and template
// names left empty). False, with record untouched, when the template has
// none. A declaration that is not well-formed XML raises EConvertError; a
// root element of another name gives a record without parameters.
bool ReadParamsDefine(const WideString& templatePath, std::unique_ptr<EffectRecord>& record);

// The parameters of a declaration document.
std::unique_ptr<EffectRecord> ParseParamsDefine(const WideString& document);

// Entries left out of a scan, each with its reason ("<path>: <why>").
using TScanProblems = std::vector<WideString>;

// Fills the tree of kind 0, 1 or 2 from its folder: themes and templates
// in sorted order (case-insensitive). Returns the number of entries found
// in the theme folders, every one counted whether it became a template or
// not.
int ScanEffectFolder(int kind, TEffectTree& tree, TScanProblems* problems = nullptr);

// Fills the preloader list from "preloader/", sorted.
void LoadPreloaderList(std::vector<TPreloaderItem>& list, TScanProblems* problems = nullptr);

// The start-up scan into a project state: the preloader list (its first
// item selected, its colours applied), then the background, picture and
// text trees. Returns the total count of template entries of the trees.
int ScanTemplates(TProjectState& state, TScanProblems* problems = nullptr);

// The preloader's colours: "Bg.Color" sets ColorPl and "Bg.BgColor"
// ColorPlBg (names without regard to case, parameters of type "color"). A
// value that is no colour leaves its button as it was.
void ApplyPreloaderColors(TProjectState& state, const EffectRecord& preloader);

// The choices of a selection parameter: the text cut at every ';'; an
// empty piece between two ';' is a choice, a trailing empty piece is not.
std::vector<WideString> SelectionChoices(const WideString& selection);

// The first parameter named name (without regard to case); null when none.
TEffectParam* FindParam(EffectRecord& record, const WideString& name);
