// The emitter: the numbered action commands through which every node
// appends code to the current action builder, the constant pool, function
// headers and markers; and the tidy-up of finished action lists.
#include <cmath>

#include "ascompiler/compile_context.h"
#include "movie/action_script.h"
#include "movie/buttons.h"
#include "movie/flash_movie.h"
#include "movie/sprites.h"
#include "swf/actions_swf4.h"
#include "swf/actions_swf5.h"
#include "swf/bits_engine.h"
#include "swf/names.h"

namespace {

[[noreturn]] void UnknownCommand() { throw EActionCompileError("Unknown action command."); }

}  // namespace

void TParseTreeNode::DiscardResult(TCompileContext& context) {
    if (Has(nfResultDiscarded)) context.EmitAction(acPop);
}

TLoopStmtNode* TCompileContext::CurrentLoop() const {
    return breakables_.empty() ? nullptr : dynamic_cast<TLoopStmtNode*>(breakables_.back());
}

TSwitchStmtNode* TCompileContext::CurrentSwitch() const {
    return breakables_.empty() ? nullptr : dynamic_cast<TSwitchStmtNode*>(breakables_.back());
}

int TCompileContext::MovieVersion() const { return Movie.Version; }

TFlashActionScript& TCompileContext::RequireBuilder() {
    // Button and clip sources hold only handlers at their top level.
    if (!builder_) throw EActionCompileError("Button and clip actions hold only event handlers at their top level.");
    return *builder_;
}

TSWFAction* TCompileContext::EmitAction(int command, const TEmitArgument& argument) {
    TFlashActionScript& b = RequireBuilder();
    switch (command) {
        case acAdd: b.Add(); break;
        case acAdd2: b.Add2(); break;
        case acAnd: b.And(); break;
        case acAsciiToChar: b.AsciiToChar(); break;
        case acBitAnd: b.BitAnd(); break;
        case acBitLShift: b.BitLShift(); break;
        case acBitOr: b.BitOr(); break;
        case acBitRShift: b.BitRShift(); break;
        case acBitURShift: b.BitURShift(); break;
        case acBitXor: b.BitXor(); break;
        case acCall: b.Call(); break;
        case acCallFunction: b.CallFunction(); break;
        case acCallMethod: b.CallMethod(); break;
        case acCastOp: b.CastOp(); break;
        case acCharToAscii: b.CharToAscii(); break;
        case acCloneSprite: b.CloneSprite(); break;
        case acDecrement: b.Decrement(); break;
        case acDefineLocal: b.DefineLocal(); break;
        case acDefineLocal2: b.DefineLocal2(); break;
        case acDelete: b.Delete(); break;
        case acDelete2: b.Delete2(); break;
        case acDivide: b.Divide(); break;
        case acEndDrag: b.EndDrag(); break;
        case acFunctionEnd: break;
        case acEnumerate2: b.Enumerate2(); break;
        case acEquals: b.Equals(); break;
        case acEquals2: b.Equals2(); break;
        case acExtends: b.Extends(); break;
        case acFSCommand: b.FSCommand(argument.Texts[0], argument.Texts[1]); break;
        case acFSCommand2: b.ActionList().Add(std::make_unique<TSWFActionFSCommand2>()); break;
        case acGetMember: b.GetMember(); break;
        case acGetProperty: b.GetProperty(); break;
        case acGetTime: b.GetTime(); break;
        case acGetURL2:
            b.GetURL2(argument.Values[0] != 0, argument.Values[1] != 0, static_cast<uint8_t>(argument.Values[2]));
            break;
        case acGetVariable: b.GetVariable(); break;
        case acGotoFrame: b.GotoFrame(static_cast<uint16_t>(argument.Integer)); break;
        case acGotoFrame2: b.GotoFrame2(argument.Bool, 0); break;
        case acIf: return CheckVersion(b.If());
        case acImplementsOp: b.ImplementsOp(); break;
        case acIncrement: b.Increment(); break;
        case acInitArray: b.InitArray(); break;
        case acInitObject: b.InitObject(); break;
        case acInstanceOf: b.InstanceOf(); break;
        case acJump: return CheckVersion(b.Jump());
        case acLess: b.Less(); break;
        case acLess2: b.Less2(); break;
        case acListingLine: break;
        case acMBAsciiToChar: b.MBAsciiToChar(); break;
        case acMBCharToAscii: b.MBCharToAscii(); break;
        case acMBStringLength: b.MBStringLength(); break;
        case acModulo: b.Modulo(); break;
        case acMultiply: b.Multiply(); break;
        case acNextFrame: b.NextFrame(); break;
        case acNewMethod: b.NewMethod(); break;
        case acNewObject: b.NewObject(); break;
        case acNot: b.Not(); break;
        case acOr: b.Or(); break;
        case acPlay: b.Play(); break;
        case acPop: b.Pop(); break;
        case acPreviousFrame: b.PreviousFrame(); break;
        case acPushBoolean: b.Push({TPushValue(argument.Bool)}, {kPushBoolean}); break;
        case acPushConstant: {
            auto id = static_cast<TStrId>(argument.Integer);
            const std::string& text = Text(id);
            int index = currentUnit_->ConstantPool.IndexOfOrAdd(id, text.size());
            if (index < 0) b.Push({TPushValue(text)}, {kPushString});
            else b.PushConstant(static_cast<uint16_t>(index));
            break;
        }
        case acPushDouble: b.Push({TPushValue(argument.Double)}, {kPushDouble}); break;
        case acPushDuplicate: b.PushDuplicate(); break;
        case acPushInteger: b.Push({TPushValue(argument.Integer)}, {kPushInteger}); break;
        case acPushNull: b.Push({TPushValue::Null()}, {kPushNull}); break;
        case acPushString: b.Push({TPushValue(argument.Texts[0])}, {kPushString}); break;
        case acPushUndefined: b.Push({TPushValue::Undefined()}, {kPushUndefined}); break;
        case acRandomNumber: b.RandomNumber(); break;
        case acRemoveSprite: b.RemoveSprite(); break;
        case acReturn: b.Return(); break;
        case acSetMember: b.SetMember(); break;
        case acSetProperty: b.SetProperty(); break;
        case acSetTarget2: b.SetTarget2(); break;
        case acSetVariable: b.SetVariable(); break;
        case acStackSwap: b.StackSwap(); break;
        case acStartDrag: b.StartDrag(); break;
        case acStop: b.Stop(); break;
        case acStopSounds: b.StopSounds(); break;
        case acStrictEquals: b.StrictEquals(); break;
        case acStringAdd: b.StringAdd(); break;
        case acStringEquals: b.StringEquals(); break;
        case acStringExtract: b.StringExtract(); break;
        case acStringLength: b.StringLength(); break;
        case acStringLess: b.StringLess(); break;
        case acSubtract: b.Subtract(); break;
        case acThrow: b.Throw(); break;
        case acToInteger: b.ToInteger(); break;
        case acToNumber: b.ToNumber(); break;
        case acToString: b.ToString(); break;
        case acTrace: b.Trace(); break;
        case acTry: return CheckVersion(b.Try());
        case acTypeOf: b.TypeOf(); break;
        case acWith: return CheckVersion(b.With());
        case acEnumerate: b.ActionList().Add(std::make_unique<TSWFActionEnumerate>()); break;
        case acGreater: b.Greater(); break;
        case acStringGreater: b.ActionList().Add(std::make_unique<TSWFActionStringGreater>()); break;
        default: UnknownCommand();
    }
    // A push's values are data: one of undefined before SWF 5 is what the
    // tidy-up removes.
    if (!b.ActionList().Empty()) {
        TSWFAction* last = b.ActionList().GetAction(b.ActionList().Count() - 1);
        if (last->ActionCode != 0x96) CheckVersion(last);
    }
    return nullptr;
}

TSWFAction* TCompileContext::CheckVersion(TSWFAction* action) {
    int needed = action->RequiredVersion();
    if (needed > MovieVersion()) {
        throw EActionCompileError(FormatStr("The action %s needs a movie of SWF version %d or later; this movie is version %d.",
                                            ActionCodeToName(action->ActionCode, false).c_str(), needed, MovieVersion()));
    }
    return action;
}

void TCompileContext::CheckFunctionSize(size_t headerIndex, TStrId name) {
    const TSWFActionList& list = builder_->ActionList();
    // Actions with a body are written as the file would hold them, one after
    // the other into one stream; the rest take a byte.
    size_t bytes = 0;
    TMemoryStream sink;
    TBitsEngine engine(sink);
    for (size_t i = headerIndex + 1; i < list.Count(); ++i) {
        TSWFAction* action = list.GetAction(i);
        if (action->ActionCode == kActionOffsetMarker) continue;
        if (action->ActionCode < 0x80) {
            ++bytes;
        } else {
            action->WriteAction(engine);
        }
    }
    bytes += static_cast<size_t>(sink.GetSize());
    if (bytes > 0xFFFF) {
        std::string shown = name == TStringTable::Empty ? "(anonymous)" : Text(name);
        throw EActionCompileError(FormatStr("The function %s is too long: its body takes %zu bytes, more than the "
                                            "65535 a function can hold.",
                                            shown.c_str(), bytes));
    }
}

void TCompileContext::EmitRegisterAction(char kind, int registerNumber, TStrId name) {
    (void)name;
    RequireBuilder();
    if (kind == 'E') {
        builder_->Push({TPushValue::Register(static_cast<uint8_t>(registerNumber))}, {kPushRegister});
    } else if (kind == 'S') {
        builder_->StoreRegister(static_cast<uint8_t>(registerNumber));
    } else {
        UnknownCommand();
    }
}

TSWFAction* TCompileContext::EmitFunctionHeader(int kind, TStrId name, const TArgDeclListNode* params,
                                                int registerCount) {
    RequireBuilder();
    if (kind == acDefineFunction) {
        std::vector<std::string> names;
        if (params) {
            for (const TArgDeclNode* param : params->Args) names.push_back(Text(param->Entry->Name));
        }
        return builder_->DefineFunction(Text(name), names);
    }
    if (kind != acDefineFunction2) UnknownCommand();
    auto* action = builder_->DefineFunction2(Text(name), {}, static_cast<uint8_t>(registerCount));
    CheckVersion(action);
    if (params) {
        for (const TArgDeclNode* param : params->Args) {
            int reg = param->Entry->Register > 0 ? param->Entry->Register : 0;
            action->AddParam(Text(param->Entry->Name), static_cast<uint8_t>(reg));
        }
    }
    return action;
}

void TCompileContext::EmitConstantPool(int kind, const TConstantPool& pool) {
    if (kind != acConstantPool) UnknownCommand();
    if (pool.Empty()) return;
    RequireBuilder();
    auto action = std::make_unique<TSWFActionConstantPool>();
    for (TStrId id : pool.Numbers()) action->Constants.push_back(Text(id));
    builder_->ActionList().Insert(0, std::move(action));
}

void TCompileContext::PushInteger(int64_t value) {
    TEmitArgument argument;
    argument.Integer = value;
    EmitAction(acPushInteger, argument);
}

void TCompileContext::PushConstant(TStrId id) {
    TEmitArgument argument;
    argument.Integer = id;
    EmitAction(acPushConstant, argument);
}

void TCompileContext::PushString(const std::string& text) {
    TEmitArgument argument;
    argument.Texts[0] = text;
    EmitAction(acPushString, argument);
}

TSWFOffsetMarker* TCompileContext::PlaceMarker(TSWFOffsetMarker* marker) {
    RequireBuilder();
    if (marker) return builder_->AddOffsetMarker(marker, false);
    return builder_->AddOffsetMarker();
}

size_t TCompileContext::CountActions() const {
    size_t count = 0;
    for (const auto& action : builder_->ActionList()) {
        if (action->ActionCode != kActionOffsetMarker) ++count;
    }
    return count;
}

// ---------------------------------------------------------------- tidy-up

namespace {

// The index just past the end-of-body marker of the function at index, or
// index + 1 when its marker is not in the list.
size_t FunctionBlockEnd(const TSWFActionList& list, size_t index) {
    TSWFAction* action = list.GetAction(index);
    TSWFOffsetMarker* marker = nullptr;
    if (auto* f2 = dynamic_cast<TSWFActionDefineFunction2*>(action)) marker = f2->LabelMarker.Get();
    if (auto* f1 = dynamic_cast<TSWFActionDefineFunction*>(action)) marker = f1->LabelMarker.Get();
    if (!marker) return index + 1;
    for (size_t i = index + 1; i < list.Count(); ++i) {
        if (list.GetAction(i) == marker) return i + 1;
    }
    return index + 1;
}

const std::string* FunctionName(const TSWFAction* action) {
    if (auto* f2 = dynamic_cast<const TSWFActionDefineFunction2*>(action)) return &f2->FunctionName;
    if (auto* f1 = dynamic_cast<const TSWFActionDefineFunction*>(action)) return &f1->FunctionName;
    return nullptr;
}

bool HasWaitForFrame(const TSWFActionList& list) {
    for (const auto& action : list) {
        if (action->ActionCode == 0x8A) return true;
    }
    return false;
}

// Before count actions from index first leave their place: a WaitForFrame
// whose skipped actions include them skips that many fewer, so that it
// still skips exactly the code of its statement.
void ShrinkWaitRanges(const TSWFActionList& list, size_t first, size_t count) {
    size_t between = 0;
    for (size_t w = first; w-- > 0;) {
        TSWFAction* action = list.GetAction(w);
        if (auto* wait = dynamic_cast<TSWFActionWaitForFrame*>(action)) {
            if (between < wait->SkipCount) wait->SkipCount = static_cast<uint8_t>(wait->SkipCount - count);
        }
        if (action->ActionCode != kActionOffsetMarker) ++between;
    }
}

size_t CountNonMarkers(const TSWFActionList& list, size_t first, size_t end) {
    size_t count = 0;
    for (size_t i = first; i < end; ++i) {
        if (list.GetAction(i)->ActionCode != kActionOffsetMarker) ++count;
    }
    return count;
}

}  // namespace

void TCompileContext::OptimizeActions(TSWFActionList& list) {
    // A WaitForFrame counts the actions it skips: with one in the list the
    // actions move and go one step at a time, each step correcting the
    // counts; without, each pass rearranges the list at once.
    const bool waits = HasWaitForFrame(list);
    if (list.Count() > 1) {
        size_t insertAt = list.GetAction(0)->ActionCode == kActionConstantPool ? 1 : 0;
        std::vector<size_t> hoisted, rest;
        for (size_t i = 0; i < insertAt; ++i) hoisted.push_back(i);
        size_t i = insertAt;
        while (i < list.Count()) {
            const std::string* name = FunctionName(list.GetAction(i));
            if (!name) {
                rest.push_back(i++);
                continue;
            }
            size_t end = FunctionBlockEnd(list, i);
            size_t length = end - i;
            if (!name->empty() && waits) {
                if (i != insertAt) {
                    ShrinkWaitRanges(list, i, CountNonMarkers(list, i, end));
                    list.Move(i, length, insertAt);
                }
                insertAt += length;
            } else {
                for (size_t k = i; k < end; ++k) (name->empty() ? rest : hoisted).push_back(k);
            }
            i = end;
        }
        if (!waits && !rest.empty() && hoisted.size() > insertAt) {
            hoisted.insert(hoisted.end(), rest.begin(), rest.end());
            list.Reorder(hoisted);
        }
    }
    if (list.Count() < 2) return;
    auto isOneValuePush = [&](size_t index) {
        auto* push = dynamic_cast<TSWFActionPush*>(list.GetAction(index));
        return push && push->GetValueCount() == 1;
    };
    if (waits) {
        size_t i = 1;
        while (i < list.Count()) {
            if (list.GetAction(i)->ActionCode == 0x17 && isOneValuePush(i - 1)) {
                ShrinkWaitRanges(list, i - 1, 2);
                list.Delete(i);
                list.Delete(i - 1);
                i = i >= 3 ? i - 2 : 1;
            } else {
                ++i;
            }
        }
        return;
    }
    // The same as stepping back after each removed pair: a Pop cancels the
    // one-value Push that the kept actions end with.
    std::vector<size_t> kept;
    kept.reserve(list.Count());
    for (size_t i = 0; i < list.Count(); ++i) {
        if (list.GetAction(i)->ActionCode == 0x17 && !kept.empty() && isOneValuePush(kept.back())) {
            kept.pop_back();
            continue;
        }
        kept.push_back(i);
    }
    if (kept.size() != list.Count()) list.Reorder(kept);
}

// ---------------------------------------------------------------- compile operations

template <class Body>
void TCompileContext::Compile(TStream& source, TCompileUnit& unit, Body&& body) {
    // Whatever happens, this compilation leaves no state behind.
    struct TRestore {
        TCompileContext& context;
        ~TRestore() {
            context.currentUnit_ = nullptr;
            context.builder_ = nullptr;
            context.breakables_.clear();
            context.identTables_.clear();
        }
    } restore{*this};
    currentUnit_ = &unit;
    ParseActionSource(source);
    ProcessClasses();
    currentUnit_ = &unit;
    body();
}

void TCompileContext::CompileActions(TStream& source, TFlashActionScript& builder) {
    TCompileUnit unit;
    unit.TargetBuilder = &builder;
    Compile(source, unit, [&] {
        // Code compiled after other actions gets its constant pool and its
        // hoisted functions at its own start: at the front of the whole list
        // they would serve the earlier actions, whose constant indexes
        // belong to another pool.
        std::unique_ptr<TFlashActionScript> separate;
        if (!builder.ActionList().Empty()) separate = std::make_unique<TFlashActionScript>(&Movie);
        TFlashActionScript& target = separate ? *separate : builder;
        builder_ = &target;
        try {
            if (unit.Root) unit.Root->EmitCode(*this);
            EmitConstantPool(acConstantPool, unit.ConstantPool);
            OptimizeActions(target.ActionList());
        } catch (...) {
            // What was appended before the failure stays, as it would in place.
            if (separate) builder.ActionList().TakeAll(separate->ActionList());
            throw;
        }
        if (separate) builder.ActionList().TakeAll(separate->ActionList());
    });
}

void TCompileContext::CompileCondActions(TStream& source, TCondActionsHost& button) {
    TCompileUnit unit;
    unit.TargetCondActions = &button;
    Compile(source, unit, [&] {
        if (unit.Root) unit.Root->EmitCode(*this);
        for (int condition = 0; condition <= 8; ++condition) {
            if (TSWFActionList* list = button.FindCondActions(condition)) OptimizeActions(*list);
        }
    });
}

namespace {

// The movie builder's button as the compiler's holder of condition records.
class TButtonCondActions : public TCondActionsHost {
public:
    explicit TButtonCondActions(TFlashButton& button) : button_(button) {}
    TSWFActionList& AddCondActions(uint16_t conditions, uint8_t keyCode) override {
        TSWFButtonCondAction& record = button_.AddCondActions(conditions);
        record.KeyCode = keyCode;
        return record;
    }
    TSWFActionList* FindCondActions(int condition) override {
        return button_.FindCondActions(static_cast<uint8_t>(condition), false);
    }

private:
    TFlashButton& button_;
};

}  // namespace

void TCompileContext::CompileButtonActions(TStream& source, TFlashButton& button) {
    TButtonCondActions host(button);
    CompileCondActions(source, host);
}

void TCompileContext::CompileClipActions(TStream& source, TFlashPlaceObject& placement) {
    TCompileUnit unit;
    unit.TargetPlacement = &placement;
    Compile(source, unit, [&] {
        if (unit.Root) unit.Root->EmitCode(*this);
        for (uint8_t event = 0; event <= 18; ++event) {
            if (TSWFClipActionRecord* record = placement.FindClipActions(event, false))
                OptimizeActions(record->GetActions());
        }
    });
}

void RegisterActionScriptCompiler() {
    RegisterCompileContextFactory(
        [](TFlashMovie& movie) -> std::unique_ptr<TBaseCompileContext> { return std::make_unique<TCompileContext>(movie); });
}

namespace {
// Linking the compiler in is enough for movies to compile through it.
const bool kRegistered = (RegisterActionScriptCompiler(), true);
}  // namespace
