// The ActionScript compiler: turns ActionScript 1/2 source into SWF action
// records through the movie builder. This header is its context for one
// movie: the interned strings, the known classes, the include folders, the
// scopes open while parsing and the compile unit being built. It stands on
// platform/ and the movie builder, which reaches it through its abstract
// compile context (movie/compile_context.h, also home of
// EActionCompileError).
//
// State that the compiler keeps per process elsewhere (the current context,
// the lexer's input) lives here and in the lexer object of one parse, so
// contexts of different movies do not meet.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ascompiler/compile_unit.h"
#include "ascompiler/containers.h"
#include "ascompiler/ident_tables.h"
#include "platform/errors.h"
#include "platform/stream.h"

#include "movie/compile_context.h"

class TFlashMovie;
class TFlashSprite;
class TSWFAction;
class TSWFActionList;
class TSWFOffsetMarker;

// Raised where the platform's class library would raise its component error
// (an action record given a value it cannot hold).
class EComponentError : public Exception {
public:
    using Exception::Exception;
};

// What a button's `on` handlers compile into: its condition-action records.
// The movie builder's button adapts itself to this.
class TCondActionsHost {
public:
    virtual ~TCondActionsHost() = default;
    // A new record for the conditions (bits 0 to 8) and key code.
    virtual TSWFActionList& AddCondActions(uint16_t conditions, uint8_t keyCode) = 0;
    // The record of one condition (0 to 8), none when absent.
    virtual TSWFActionList* FindCondActions(int condition) = 0;
};

// The argument of an emitter command (see EmitAction).
struct TEmitArgument {
    bool Bool = false;
    int64_t Integer = 0;
    double Double = 0;
    std::string Texts[2];
    int Values[3] = {0, 0, 0};
};

// Internal action command numbers, one per action, in the emitter's order.
enum TActionCommand : int {
    acAdd, acAdd2, acAnd, acAsciiToChar, acBitAnd, acBitLShift, acBitOr, acBitRShift, acBitURShift, acBitXor,
    acCall, acCallFunction, acCallMethod, acCastOp, acCharToAscii, acCloneSprite, acConstantPool, acDecrement,
    acDefineFunction, acDefineFunction2, acDefineLocal, acDefineLocal2, acDelete, acDelete2, acDivide, acEndDrag,
    acFunctionEnd, acEnumerate2, acEquals, acEquals2, acExtends, acFSCommand, acFSCommand2, acGetMember,
    acGetProperty, acGetTime, acGetURL2, acGetVariable, acGotoFrame, acGotoFrame2, acIf, acImplementsOp,
    acIncrement, acInitArray, acInitObject, acInstanceOf, acJump, acLess, acLess2, acListingLine, acMBAsciiToChar,
    acMBCharToAscii, acMBStringLength, acModulo, acMultiply, acNextFrame, acNewMethod, acNewObject, acNot, acOr,
    acPlay, acPop, acPreviousFrame, acPushBoolean, acPushConstant, acPushDouble, acPushDuplicate, acPushInteger,
    acPushNull, acPushRegister, acPushString, acPushUndefined, acRandomNumber, acRemoveSprite, acReturn,
    acSetMember, acSetProperty, acSetTarget2, acSetVariable, acStackSwap, acStartDrag, acStop, acStopSounds,
    acStoreRegister, acStrictEquals, acStringAdd, acStringEquals, acStringExtract, acStringLength, acStringLess,
    acSubtract, acThrow, acToInteger, acToNumber, acToString, acTrace, acTry, acTypeOf, acWith,
    acEnumerate, acGreater, acStringGreater,
    acCommandCount,  // no command: the first number past the last
};

// The movie side of a context: a context made without a movie owns a blank
// one, so that the parser can be used on its own.
struct TOwnedMovieHolder {
    explicit TOwnedMovieHolder(bool create);
    ~TOwnedMovieHolder();
    std::unique_ptr<TFlashMovie> OwnedMovie;
};

class TCompileContext : private TOwnedMovieHolder, public TBaseCompileContext {
public:
    TCompileContext();
    explicit TCompileContext(TFlashMovie& movie);
    ~TCompileContext() override;
    TCompileContext(const TCompileContext&) = delete;
    TCompileContext& operator=(const TCompileContext&) = delete;

    // ---- the movie builder's operations
    // Registers the class files of a folder and its package sub-folders.
    void AddClassPath(const std::string& path) override;
    void CompileActions(TStream& source, TFlashActionScript& builder) override;
    void CompileButtonActions(TStream& source, TFlashButton& button) override;
    void CompileClipActions(TStream& source, TFlashPlaceObject& placement) override;
    // The button compilation over any holder of condition-action records.
    void CompileCondActions(TStream& source, TCondActionsHost& button);

    // Adds an existing, absolute folder to the include search (once); raises
    // "Include path \"%s\" not found." otherwise.
    void AddIncludePath(const std::string& path) override;
    const std::vector<std::string>& IncludeFolders() const { return includeFolders_; }
    // Opens an include file: a name with an absolute or drive prefix as it
    // is, any other in the include folders in the order they were added.
    // The working directory is never searched. Raises "Include file \"%s\"
    // not found." when no folder holds it.
    std::unique_ptr<TStream> OpenIncludeFile(const std::string& name) const;

    // Parses source from its position to its end into the current unit.
    // Raises "Parse Error in line: %d pos: %d: \"%s\" was not expected" (or,
    // inside an include file, "Parse Error in file: \"%s\" line: %d pos: %d:
    // ...") with the position and text of the token that could not be
    // taken.
    void ParseActionSource(TStream& source);
    // A new unit, made current while the source is parsed into it.
    std::unique_ptr<TCompileUnit> ParseUnit(TStream& source);

    TStringTable& Strings() { return *strings_; }
    TClassTable& Classes() { return *classes_; }
    const std::string& Text(TStrId id) const { return strings_->Text(id); }

    TCompileUnit* CurrentUnit() const { return currentUnit_; }
    void SetCurrentUnit(TCompileUnit* unit) { currentUnit_ = unit; }
    void SetRoot(TProgramNode* root) { currentUnit_->Root = root; }

    // Every node and scope joins the current unit, which owns it.
    template <class T, class... Args>
    T* NewNode(Args&&... args) {
        return currentUnit_->NewNode<T>(std::forward<Args>(args)...);
    }

    // Scopes: a new one's parent is the innermost open scope, or the class
    // table when none is open.
    TIdentTable* PushIdentTable(uint8_t kind);
    void PopIdentTable();
    TIdentTable* CurrentIdentTable() const { return identTables_.empty() ? nullptr : identTables_.back(); }
    TBaseIdentTable& CurrentScope();

    // ---- code generation
    // The enclosing loops and switches while code is emitted.
    void PushLoop(TLoopStmtNode* loop) { breakables_.push_back(loop); }
    void PushSwitch(TSwitchStmtNode* node) { breakables_.push_back(node); }
    void PopLoop() { breakables_.pop_back(); }
    void PopSwitch() { breakables_.pop_back(); }
    void SwapBreakables(std::vector<TParseTreeNode*>& other) { breakables_.swap(other); }
    TLoopStmtNode* CurrentLoop() const;
    TSwitchStmtNode* CurrentSwitch() const;

    // The loops and switches around the code being emitted, innermost last.
    const std::vector<TParseTreeNode*>& Breakables() const { return breakables_; }
    // Inside tellTarget and clip event handlers a bare clip property (_x)
    // stands for the property of the current target.
    bool ClipPropertiesBare() const { return clipProperties_ > 0; }
    void EnterClipProperties(int step) { clipProperties_ += step; }
    int SwapClipProperties(int value) { std::swap(value, clipProperties_); return value; }
    // Code run right after the constructor's explicit super() call (the
    // instance fields' initial values), once.
    std::function<void()> AfterSuperCall;
    // Raises when the body of a function from its header's index to the
    // end of the list is too long for the header's 16-bit size.
    void CheckFunctionSize(size_t headerIndex, TStrId name);

    TFlashActionScript* CurrentBuilder() const { return builder_; }
    void SetCurrentBuilder(TFlashActionScript* builder) { builder_ = builder; }
    TFlashButton* TargetButton() const { return currentUnit_ ? currentUnit_->TargetButton : nullptr; }
    TCondActionsHost* TargetCondActions() const { return currentUnit_ ? currentUnit_->TargetCondActions : nullptr; }
    TFlashPlaceObject* TargetPlaceObject() const { return currentUnit_ ? currentUnit_->TargetPlacement : nullptr; }
    TConstantPool& UnitConstantPool() { return currentUnit_->ConstantPool; }
    int MovieVersion() const;

    // Appends the action of a command to the current builder. If, Jump, Try
    // and With return their new record; the rest return nothing. Commands
    // with operations of their own, and unknown ones, raise "Unknown action
    // command."; an action that the movie's SWF version does not have
    // raises, naming it (the movie's version is never raised for it).
    TSWFAction* EmitAction(int command, const TEmitArgument& argument = {});
    TSWFAction* EmitSimpleAction(int command) { return EmitAction(command); }
    // 'E' pushes the register, 'S' stores into it; name documents it only.
    void EmitRegisterAction(char kind, int registerNumber, TStrId name);
    // DefineFunction (18) or DefineFunction2 (19); the caller places the
    // returned action's end-of-body marker after the body.
    TSWFAction* EmitFunctionHeader(int kind, TStrId name, const TArgDeclListNode* params, int registerCount);
    // Writes a ConstantPool of the pool's strings at the front of the
    // current list; nothing for an empty pool.
    void EmitConstantPool(int kind, const TConstantPool& pool);
    // Shorthands over EmitAction.
    void PushInteger(int64_t value);
    void PushConstant(TStrId id);
    void PushUndefined() { EmitAction(acPushUndefined); }
    void PushNull() { EmitAction(acPushNull); }
    void PushString(const std::string& text);
    // Places a branch's own (forward) marker here, or, with none, a new
    // marker that later branches jump back to.
    TSWFOffsetMarker* PlaceMarker(TSWFOffsetMarker* marker = nullptr);
    // The number of actions (markers not counted) in the current list.
    size_t CountActions() const;

    // The action builder of code being emitted; raises for code that has
    // none (statements outside the handlers of button or clip actions).
    TFlashActionScript& RequireBuilder();
    // The tidy-up of a finished list: named functions hoisted to the front,
    // one-value Push and Pop pairs removed.
    static void OptimizeActions(TSWFActionList& list);

private:
    // Runs one compilation of source for a target into a fresh unit.
    template <class Body>
    void Compile(TStream& source, TCompileUnit& unit, Body&& body);
    // Parses and emits the referenced classes of the class path.
    void ProcessClasses();
    void ParseClassFiles();
    void EmitClasses();
    void EmitClass(TClassInfo& info, std::vector<TClassInfo*>& pending);
    void ScanClassPath(const std::string& folder, const std::string& prefix);
    TSWFAction* CheckVersion(TSWFAction* action);

    std::unique_ptr<TStringTable> strings_;
    std::unique_ptr<TClassTable> classes_;
    std::vector<std::string> includeFolders_;
    std::vector<TIdentTable*> identTables_;
    std::vector<TParseTreeNode*> breakables_;
    TFlashActionScript* builder_ = nullptr;
    TCompileUnit* currentUnit_ = nullptr;
    int clipProperties_ = 0;
};

// Registers the compiler with the movie builder, so that every movie's
// compile operations use a TCompileContext. Idempotent.
void RegisterActionScriptCompiler();
