// The built-in functions of early ActionScript: a call without object whose
// name (in any case) is one of them compiles to the actions that perform
// it, with its arguments checked here.
#include <cmath>
#include <strings.h>

#include <algorithm>
#include <cctype>

#include "ascompiler/emit_helpers.h"

namespace {

const char* const kProperties[] = {"_x",        "_y",           "_xscale",     "_yscale",   "_currentframe", "_totalframes",
                                   "_alpha",    "_visible",     "_width",      "_height",   "_rotation",     "_target",
                                   "_framesloaded", "_name",    "_droptarget", "_url",      "_highquality",  "_focusrect",
                                   "_soundbuftime", "_quality", "_xmouse",     "_ymouse"};

const std::string kNoText;

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// The text of a string literal argument (a one-item sequence holding it).
const std::string* StringLiteral(TCompileContext& context, TParseTreeNode* node) {
    auto* list = dynamic_cast<TExprListNode*>(node);
    if (list && list->Has(nfSequence) && list->Items.size() == 1) node = list->Items[0];
    auto* text = dynamic_cast<TStrNode*>(node);
    if (!text || text->Id < 0) return nullptr;
    return &context.Text(text->Id);
}

const double* NumberLiteral(TParseTreeNode* node) {
    auto* list = dynamic_cast<TExprListNode*>(node);
    if (list && list->Has(nfSequence) && list->Items.size() == 1) node = list->Items[0];
    auto* number = dynamic_cast<TNumberNode*>(node);
    return number ? &number->Value : nullptr;
}

int64_t Truncated(double value) {
    double whole = std::trunc(value);
    if (!(whole > -2147483648.0)) return -2147483647 - 1;
    if (whole > 2147483647.0) return 2147483647;
    return static_cast<int64_t>(whole);
}

class TBuiltIn {
public:
    TBuiltIn(TCompileContext& context, TFuncCallNode& call)
        : c(context), call_(call), args(call.Args->Items), line(call.Pos.Line), name(context.Text(call.Name)) {}

    bool Emit();

private:
    void Arg(size_t index) { args.at(index)->EmitCode(c); }
    void Count(size_t required) {
        if (args.size() != required) {
            throw EActionCompileError(
                FormatStr("Invalid parameters count in \"%s\" in line %d\nRequires %d parameters, actual - %d.",
                          name.c_str(), line, static_cast<int>(required), static_cast<int>(args.size())));
        }
    }
    [[noreturn]] void Fail(const std::string& message) { throw EActionCompileError(FormatStr(message.c_str(), line)); }
    void Simple(size_t required, std::initializer_list<int> actions, bool undefinedAfter = false) {
        Count(required);
        for (size_t i = 0; i < required; ++i) Arg(i);
        for (int action : actions) c.EmitAction(action);
        if (undefinedAfter) c.PushUndefined();
    }
    void GetUrl2(int loadTarget, int loadVariables, int method) {
        TEmitArgument argument;
        argument.Values[0] = loadTarget;
        argument.Values[1] = loadVariables;
        argument.Values[2] = method;
        c.EmitAction(acGetURL2, argument);
    }
    // The method of a third argument: 1 for "get" (any case), 2 for any other
    // string literal; -1 when it is no string literal.
    int Method(size_t index) {
        const std::string* text = StringLiteral(c, args[index]);
        if (!text) return -1;
        return strcasecmp(text->c_str(), "get") == 0 ? 1 : 2;
    }
    int PropertyIndex(bool forGet);
    void Property(bool forGet);
    void GetUrl();
    void LoadOrVariables(bool variables, bool levelForm);
    void Unload(bool levelForm);
    void Goto(bool play);

    TCompileContext& c;
    TFuncCallNode& call_;
    std::vector<TParseTreeNode*>& args;
    int line;
    std::string name;
};

int TBuiltIn::PropertyIndex(bool forGet) {
    TParseTreeNode* node = args[1];
    auto* list = dynamic_cast<TExprListNode*>(node);
    if (list && list->Has(nfSequence) && list->Items.size() == 1) node = list->Items[0];
    auto* lvalue = dynamic_cast<TLvalueNode*>(node);
    auto* text = lvalue && !lvalue->IsEval ? dynamic_cast<TStrNode*>(lvalue->Name) : nullptr;
    if (!text || text->Id < 0) {
        Fail(forGet ? "Invalid parameters list in \"getProperty\" in line %d"
                    : "Invalid parameters list in \"setProperty\" in line %d");
    }
    std::string property = Lower(c.Text(text->Id));
    for (size_t i = 0; i < std::size(kProperties); ++i) {
        if (property == kProperties[i]) return static_cast<int>(i);
    }
    Fail(forGet ? "Invalid property name in \"getProperty\" in line %d"
                : "Invalid property name in \"setProperty\" in line %d");
}

void TBuiltIn::Property(bool forGet) {
    Count(forGet ? 2 : 3);
    int index = PropertyIndex(forGet);
    Arg(0);
    c.PushInteger(index);
    if (forGet) {
        c.EmitAction(acGetProperty);
    } else {
        Arg(2);
        c.EmitAction(acSetProperty);
        c.PushUndefined();
    }
}

void TBuiltIn::GetUrl() {
    if (args.empty() || args.size() > 3) {
        Fail("Invalid parameters list in \"getUrl\" in line %d\n\"getUrl\" requires 1, 2 or 3 parameters");
    }
    int method = 0;
    if (args.size() == 3 && (method = Method(2)) < 0) Fail("Invalid parameters 3 in \"getUrl\" in line %d");
    Arg(0);
    if (args.size() >= 2) Arg(1);
    else c.PushString("");
    GetUrl2(0, 0, method);
    c.PushUndefined();
}

void TBuiltIn::LoadOrVariables(bool variables, bool levelForm) {
    if (args.size() != 2 && args.size() != 3) {
        Fail(variables
                 ? "Invalid parameters list in \"loadVariables\" in line %d\n\"loadVariables\" requires 2 or 3 parameters"
                 : "Invalid parameters list in \"loadMovie\" in line %d\n\"loadMovie\" requires 2 or 3 parameters");
    }
    const double* level = levelForm ? NumberLiteral(args[1]) : nullptr;
    if (levelForm && !level) {
        Fail(variables ? "Invalid parameters 2 in \"loadVariablesNum\" in line %d"
                       : "Invalid parameters 2 in \"loadMovieNum\" in line %d");
    }
    int method = 0;
    if (args.size() == 3 && (method = Method(2)) < 0) {
        Fail(variables ? "Invalid parameters 3 in \"loadVariables\" in line %d"
                       : "Invalid parameters 3 in \"loadMovie\" in line %d");
    }
    Arg(0);
    if (levelForm) c.PushString("_level" + std::to_string(Truncated(*level)));
    else Arg(1);
    GetUrl2(1, variables ? 1 : 0, method);
    c.PushUndefined();
}

void TBuiltIn::Unload(bool levelForm) {
    Count(1);
    c.PushString("");
    if (levelForm) {
        const double* level = NumberLiteral(args[0]);
        if (!level) Fail("Invalid parameters 1 in \"unloadMovieNum\" in line %d");
        c.PushString("_level" + std::to_string(Truncated(*level)));
    } else {
        Arg(0);
    }
    GetUrl2(1, 0, 0);
    c.PushUndefined();
}

void TBuiltIn::Goto(bool play) {
    if (c.MovieVersion() >= 5) {
        if (args.empty()) Count(1);
        Arg(0);
        TEmitArgument argument;
        argument.Bool = play;
        c.EmitAction(acGotoFrame2, argument);
    } else {
        TEmitArgument argument;
        if (args.size() == 1) {
            if (const double* frame = NumberLiteral(args[0])) {
                argument.Integer = Truncated(*frame) - 1;
                c.EmitAction(acGotoFrame, argument);
            }
        } else if (args.size() == 2) {
            const double* frame = NumberLiteral(args[1]);
            argument.Integer = frame ? Truncated(*frame) - 1 : 0;
            c.EmitAction(acGotoFrame, argument);
        } else {
            Fail(play ? "Invalid parameters list in \"gotoAndPlay\" in line %d"
                      : "Invalid parameters list in \"gotoAndStop\" in line %d");
        }
        if (play) c.EmitAction(acPlay);
    }
    c.PushUndefined();
}

bool TBuiltIn::Emit() {
    std::string key = Lower(name);
    if (key == "length") Simple(1, {acStringLength});
    else if (key == "int") Simple(1, {acToInteger});
    else if (key == "random") Simple(1, {acRandomNumber});
    else if (key == "call") Simple(1, {acCall}, true);
    else if (key == "chr") Simple(1, {acAsciiToChar});
    else if (key == "ord") Simple(1, {acCharToAscii});
    else if (key == "substring") Simple(3, {acStringExtract});
    else if (key == "mbord") Simple(1, {acMBCharToAscii});
    else if (key == "mbchr") Simple(1, {acMBAsciiToChar});
    else if (key == "mblength") Simple(1, {acMBStringLength});
    else if (key == "number") Simple(1, {acToNumber});
    else if (key == "string") Simple(1, {acToString});
    else if (key == "gettimer") Simple(0, {acGetTime});
    // The player's own output action: a movie needs no trace function of its
    // own for its messages to reach the player's log.
    else if (key == "trace") Simple(1, {acTrace}, true);
    else if (key == "stopdrag") Simple(0, {acEndDrag}, true);
    else if (key == "play") Simple(0, {acPlay}, true);
    else if (key == "stop") Simple(0, {acStop}, true);
    else if (key == "nextframe") Simple(0, {acNextFrame}, true);
    else if (key == "prevframe") Simple(0, {acPreviousFrame}, true);
    else if (key == "stopallsounds") Simple(0, {acStopSounds}, true);
    else if (key == "duplicatemovieclip") Simple(3, {acCloneSprite}, true);
    else if (key == "removemovieclip") Simple(1, {acRemoveSprite}, true);
    else if (key == "set") Simple(2, {acSetVariable}, true);
    else if (key == "getproperty") Property(true);
    else if (key == "setproperty") Property(false);
    else if (key == "geturl") GetUrl();
    else if (key == "loadmovie") LoadOrVariables(false, false);
    else if (key == "loadmovienum") LoadOrVariables(false, true);
    else if (key == "loadvariables") LoadOrVariables(true, false);
    else if (key == "loadvariablesnum") LoadOrVariables(true, true);
    else if (key == "unloadmovie") Unload(false);
    else if (key == "unloadmovienum") Unload(true);
    else if (key == "gotoandplay") Goto(true);
    else if (key == "gotoandstop") Goto(false);
    else if (key == "startdrag") {
        if (args.size() == 1) {
            c.PushInteger(0);
            c.PushInteger(0);
            Arg(0);
        } else if (args.size() == 2) {
            c.PushInteger(0);
            Arg(1);
            Arg(0);
        } else if (args.size() == 6) {
            for (size_t i = 2; i < 6; ++i) Arg(i);
            c.PushInteger(1);
            Arg(1);
            Arg(0);
        } else {
            Fail("Invalid parameters list in \"startDrag\" in line %d\n\"startDrag\" requires 1 (target), 2 "
                 "(target+lock) or 6 (target+lock+constraint) parameters");
        }
        c.EmitAction(acStartDrag);
        c.PushUndefined();
    } else if (key == "fscommand") {
        // The arguments are optional.
        if (args.size() != 1) Count(2);
        const std::string* command = StringLiteral(c, args[0]);
        if (!command) Fail("Invalid parameters 1 in \"fscommand\" in line %d");
        const std::string* arguments = args.size() > 1 ? StringLiteral(c, args[1]) : &kNoText;
        if (!arguments) Fail("Invalid parameters 2 in \"fscommand\" in line %d");
        TEmitArgument argument;
        argument.Texts[0] = *command;
        argument.Texts[1] = *arguments;
        c.EmitAction(acFSCommand, argument);
        c.PushUndefined();
    } else if (key == "fscommand2") {
        if (args.empty()) Fail("Invalid parameters list in \"fscommand2\" in line %d\n");
        for (auto arg = args.rbegin(); arg != args.rend(); ++arg) (*arg)->EmitCode(c);
        c.PushInteger(static_cast<int64_t>(args.size()));
        c.EmitAction(acFSCommand2);
    } else {
        return false;
    }
    (void)call_;
    return true;
}

}  // namespace

bool TFuncCallNode::EmitBuiltIn(TCompileContext& context) { return TBuiltIn(context, *this).Emit(); }

int ClipPropertyIndex(const std::string& name) {
    std::string key = Lower(name);
    for (size_t i = 0; i < std::size(kProperties); ++i) {
        if (key == kProperties[i]) return static_cast<int>(i);
    }
    return -1;
}
