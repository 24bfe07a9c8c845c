// Code of the statement nodes. Branches go through markers: a forward branch
// takes its action's own marker and places it after the code it skips; a
// backward one places a new marker first and links the later branch to it.
#include "ascompiler/compile_context.h"
#include "movie/action_script.h"
#include "swf/actions_swf4.h"
#include "swf/actions_swf5.h"

namespace {

void Emit(TCompileContext& context, TParseTreeNode* node) {
    if (node) node->EmitCode(context);
}

// A branch action (If or Jump) whose target is its own marker.
TSWFOffsetMarker* ForwardBranch(TCompileContext& context, int command) {
    auto* branch = static_cast<TSWFActionJump*>(context.EmitAction(command));
    return &branch->GetLabel();
}

// A branch action (If or Jump) back to a placed marker.
void BackwardBranch(TCompileContext& context, int command, TSWFOffsetMarker* target) {
    auto* branch = static_cast<TSWFActionJump*>(context.EmitAction(command));
    branch->LabelMarker.Link(target);
}

void PlaceAll(TCompileContext& context, const std::vector<TSWFOffsetMarker*>& markers) {
    for (TSWFOffsetMarker* marker : markers) context.PlaceMarker(marker);
}

// Drops the names an enumeration left on the stack, up to its final null.
void DrainEnumeration(TCompileContext& context) {
    TSWFOffsetMarker* drain = context.PlaceMarker();
    context.PushNull();
    context.EmitAction(acEquals2);
    context.EmitAction(acNot);
    BackwardBranch(context, acIf, drain);
}

// The text a.b.c of a chain of plain names.
bool VariablePath(TCompileContext& context, TParseTreeNode* node, std::string& path) {
    auto* list = dynamic_cast<TExprListNode*>(node);
    if (list && list->Has(nfSequence) && list->Items.size() == 1) node = list->Items[0];
    auto* lvalue = dynamic_cast<TLvalueNode*>(node);
    if (!lvalue || lvalue->IsEval) return false;
    auto* name = dynamic_cast<TStrNode*>(lvalue->Name);
    if (!name || name->Id < 0) return false;
    if (lvalue->Object && !VariablePath(context, lvalue->Object, path)) return false;
    path += (path.empty() ? "" : ".") + context.Text(name->Id);
    return true;
}

}  // namespace

void TStmtListNode::EmitCode(TCompileContext& context) {
    for (TParseTreeNode* statement : Statements) Emit(context, statement);
}

// The then-branch is jumped to; the else-branch falls through first.
void TIfStmtNode::EmitCode(TCompileContext& context) {
    Emit(context, Condition);
    TSWFOffsetMarker* thenLabel = ForwardBranch(context, acIf);
    Emit(context, Else);
    TSWFOffsetMarker* endLabel = ForwardBranch(context, acJump);
    context.PlaceMarker(thenLabel);
    Emit(context, Then);
    context.PlaceMarker(endLabel);
    DiscardResult(context);
}

// The bodies come first, in source order, so that each falls through into
// the next; the dispatch after them tests the cases in order and jumps to
// the default clause last, wherever it stands.
void TSwitchStmtNode::EmitCode(TCompileContext& context) {
    if (!Cases) {
        Emit(context, Expression);
        return;
    }
    BreakMarkers.clear();
    context.PushSwitch(this);
    TSWFOffsetMarker* dispatch = ForwardBranch(context, acJump);
    std::vector<TSwitchCaseNode*>& clauses = Cases->Clauses;
    for (TSwitchCaseNode* clause : clauses) {
        clause->StartMarker = context.PlaceMarker();
        Emit(context, clause->Statements);
    }
    BreakMarkers.push_back(ForwardBranch(context, acJump));
    context.PlaceMarker(dispatch);
    Emit(context, Expression);
    TSwitchCaseNode* fallback = nullptr;
    for (TSwitchCaseNode* clause : clauses) {
        if (!clause->Value) {
            if (!fallback) fallback = clause;
            continue;
        }
        context.EmitAction(acPushDuplicate);
        clause->Value->EmitCode(context);
        // Cases match by strict equality (SWF 5 has only the loose one).
        context.EmitAction(context.MovieVersion() >= 6 ? acStrictEquals : acEquals2);
        BackwardBranch(context, acIf, clause->StartMarker);
    }
    if (fallback) BackwardBranch(context, acJump, fallback->StartMarker);
    PlaceAll(context, BreakMarkers);
    context.EmitAction(acPop);
    context.PopSwitch();
}

void TWaitForFrameNode::EmitCode(TCompileContext& context) {
    auto frame = static_cast<uint16_t>(Frame < 0 ? 0 : Frame > 65535 ? 65535 : Frame);
    context.RequireBuilder().WaitForFrame(frame, 0);
    TSWFActionList& list = context.RequireBuilder().ActionList();
    auto* wait = static_cast<TSWFActionWaitForFrame*>(list.GetAction(list.Count() - 1));
    size_t before = context.CountActions();
    Emit(context, Statement);
    size_t skip = context.CountActions() - before;
    if (skip >= 256) throw EComponentError("ActionWaitForFrame: invalid SkipCount parameter.");
    wait->SkipCount = static_cast<uint8_t>(skip);
}

void TLoopStmtNode::EmitCode(TCompileContext& context) {
    BreakMarkers.clear();
    context.PushLoop(this);
    TSWFOffsetMarker* bodyLabel = nullptr;
    if (Has(nfDoWhile)) bodyLabel = ForwardBranch(context, acJump);
    StartMarker = context.PlaceMarker();
    Emit(context, Condition);
    context.EmitAction(acNot);
    BreakMarkers.push_back(ForwardBranch(context, acIf));
    if (bodyLabel) context.PlaceMarker(bodyLabel);
    Emit(context, Body);
    BackwardBranch(context, acJump, StartMarker);
    PlaceAll(context, BreakMarkers);
    context.PopLoop();
}

void TForStmtNode::EmitCode(TCompileContext& context) {
    BreakMarkers.clear();
    Emit(context, Init);
    TSWFOffsetMarker* conditionLabel = ForwardBranch(context, acJump);
    context.PushLoop(this);
    StartMarker = context.PlaceMarker();
    Emit(context, Step);
    context.PlaceMarker(conditionLabel);
    if (Condition) {
        Condition->EmitCode(context);
        context.EmitAction(acNot);
        BreakMarkers.push_back(ForwardBranch(context, acIf));
    }
    Emit(context, Body);
    BackwardBranch(context, acJump, StartMarker);
    PlaceAll(context, BreakMarkers);
    context.PopLoop();
}

void TForInStmtNode::EmitCode(TCompileContext& context) {
    BreakMarkers.clear();
    int reg = VarEntry && VarEntry->Register > 0 ? VarEntry->Register : 0;
    if (!reg) {
        context.PushConstant(VarName);
        context.EmitAction(acDefineLocal2);
    }
    if (context.MovieVersion() >= 6) {
        Object->EmitCode(context);
        context.EmitAction(acEnumerate2);
    } else {
        // Before SWF 6 the object is enumerated by its variable path.
        std::string path;
        if (!VariablePath(context, Object, path)) {
            throw EActionCompileError(FormatStr(
                "for-in over anything but a variable or a.b.c path needs a movie of SWF version 6 or later; this "
                "movie is version %d.", context.MovieVersion()));
        }
        context.PushString(path);
        context.EmitAction(acEnumerate);
    }
    context.PushLoop(this);
    StartMarker = context.PlaceMarker();
    context.EmitAction(acPushDuplicate);
    context.PushNull();
    context.EmitAction(acEquals2);
    BreakMarkers.push_back(ForwardBranch(context, acIf));
    if (reg) {
        context.EmitRegisterAction('S', reg, VarName);
        context.EmitAction(acPop);
    } else {
        context.PushConstant(VarName);
        context.EmitAction(acStackSwap);
        context.EmitAction(acSetVariable);
    }
    Emit(context, Body);
    BackwardBranch(context, acJump, StartMarker);
    PlaceAll(context, BreakMarkers);
    DrainEnumeration(context);
    context.PopLoop();
}

void TBreakStmtNode::EmitCode(TCompileContext& context) {
    if (TLoopStmtNode* loop = context.CurrentLoop()) {
        loop->BreakMarkers.push_back(ForwardBranch(context, acJump));
    } else if (TSwitchStmtNode* node = context.CurrentSwitch()) {
        node->BreakMarkers.push_back(ForwardBranch(context, acJump));
    }
}

// Continues the innermost loop, dropping the values of the switches it
// leaves on the way.
void TContinueStmtNode::EmitCode(TCompileContext& context) {
    const std::vector<TParseTreeNode*>& around = context.Breakables();
    for (auto it = around.rbegin(); it != around.rend(); ++it) {
        if (auto* loop = dynamic_cast<TLoopStmtNode*>(*it)) {
            BackwardBranch(context, acJump, loop->StartMarker);
            return;
        }
        context.EmitAction(acPop);
    }
}

// A return from inside switches and for-in loops first drops what they keep
// on the stack: the switch's value, the names still to enumerate.
void TReturnStmtNode::EmitCode(TCompileContext& context) {
    if (Value) Value->EmitCode(context);
    else context.PushUndefined();
    const std::vector<TParseTreeNode*>& around = context.Breakables();
    bool holds = false;
    for (TParseTreeNode* node : around) {
        holds = holds || dynamic_cast<TSwitchStmtNode*>(node) || dynamic_cast<TForInStmtNode*>(node);
    }
    if (holds) {
        context.EmitRegisterAction('S', 0, 0);
        context.EmitAction(acPop);
        for (auto it = around.rbegin(); it != around.rend(); ++it) {
            if (dynamic_cast<TSwitchStmtNode*>(*it)) context.EmitAction(acPop);
            else if (dynamic_cast<TForInStmtNode*>(*it)) DrainEnumeration(context);
        }
        context.EmitRegisterAction('E', 0, 0);
    }
    context.EmitAction(acReturn);
}

void TThrowStmtNode::EmitCode(TCompileContext& context) {
    Emit(context, Value);
    context.EmitAction(acThrow);
}

void TWithStmtNode::EmitCode(TCompileContext& context) {
    Object->EmitCode(context);
    auto* with = static_cast<TSWFActionWith*>(context.EmitAction(acWith));
    Emit(context, Body);
    context.PlaceMarker(&with->GetLabel());
}

void TSetTargetNode::EmitCode(TCompileContext& context) {
    Target->EmitCode(context);
    context.EmitAction(acSetTarget2);
    // Bare clip properties inside are the target's.
    context.EnterClipProperties(1);
    try {
        Emit(context, Body);
    } catch (...) {
        context.EnterClipProperties(-1);
        throw;
    }
    context.EnterClipProperties(-1);
    context.PushConstant(TStringTable::Empty);
    context.EmitAction(acSetTarget2);
}

void TTryStmtNode::EmitCode(TCompileContext& context) {
    auto* action = static_cast<TSWFActionTry*>(context.EmitAction(acTry));
    Emit(context, Body);
    context.PlaceMarker(&action->GetTryLabel());
    action->CatchBlockFlag = Catch != nullptr;
    if (Catch) {
        action->CatchInRegisterFlag = false;
        action->CatchName = context.Text(Catch->VarName);
        Emit(context, Catch->Statements);
        context.PlaceMarker(&action->GetCatchLabel());
    }
    action->FinallyBlockFlag = Finally != nullptr;
    if (Finally) {
        Finally->EmitCode(context);
        context.PlaceMarker(&action->GetFinallyLabel());
    }
}
