// Code of declarations, functions and event handlers, and the register
// layout of a function's scope.
#include "ascompiler/emit_helpers.h"
#include "movie/action_script.h"
#include "movie/sprites.h"
#include "swf/actions_swf5.h"

namespace {

constexpr int kLastRegister = 254;

// The key code of an `on (keyPress ...)` key string.
uint8_t KeyCode(const std::string& key) {
    if (key.size() == 1) return static_cast<uint8_t>(key[0]);
    static const std::pair<const char*, uint8_t> kKeys[] = {
        {"<Enter>", 13},       {"<Up>", 14},         {"<Down>", 15},     {"<Left>", 1},        {"<Right>", 2},
        {"<PageUp>", 16},      {"<PageDown>", 17},   {"Key.BACKSPACE", 8}, {"Key.CAPSLOCK", 20}, {"Key.CONTROL", 17},
        {"Key.DELETEKEY", 46}, {"Key.DOWN", 40},     {"Key.END", 35},    {"Key.ENTER", 13},    {"Key.ESCAPE", 27},
        {"Key.HOME", 36},      {"Key.INSERT", 45},   {"Key.LEFT", 37},   {"Key.PGDN", 34},     {"Key.PGUP", 33},
        {"Key.RIGHT", 39},     {"Key.SHIFT", 16},    {"Key.SPACE", 32},  {"Key.TAB", 9},       {"Key.UP", 38},
    };
    for (const auto& [name, code] : kKeys) {
        if (key == name) return code;
    }
    return 0;
}

}  // namespace

void AllocateRegisters(TIdentTable& scope) {
    scope.NextRegister = 1;
    for (TImplicit which : {imThis, imArguments, imSuper}) {
        if (scope.Uses(which)) scope.ImplicitEntry(which)->Register = scope.NextRegister++;
    }
    std::unordered_map<TStrId, int> byName;
    bool full = false;
    for (const auto& owned : scope.Entries) {
        TIdentInfo* entry = owned.get();
        if (entry == scope.ThisEntry || entry == scope.SuperEntry || entry == scope.ArgumentsEntry) continue;
        if (dynamic_cast<TClassInfo*>(entry) || dynamic_cast<TAliasInfo*>(entry)) continue;
        // Read by name: by eval, inside with, or from an inner function.
        if (scope.NoRegisters || scope.Captured.count(entry->Name)) {
            entry->Register = -1;
            continue;
        }
        if (entry->Register != 0) {
            if (entry->Register > 0) byName.emplace(entry->Name, entry->Register);
            continue;
        }
        auto shared = byName.find(entry->Name);
        if (shared != byName.end()) {
            entry->Register = shared->second;
            continue;
        }
        if (full) continue;
        entry->Register = scope.NextRegister++;
        byName.emplace(entry->Name, entry->Register);
        if (scope.NextRegister > kLastRegister) full = true;
    }
}

// ---------------------------------------------------------------- declarations

void TVarDeclNode::EmitCode(TCompileContext& context) {
    if (Entry->Register > 0) {
        if (Value) {
            Value->EmitCode(context);
            context.EmitRegisterAction('S', Entry->Register, Entry->Name);
            context.EmitAction(acPop);
        }
        return;
    }
    context.PushConstant(Entry->Name);
    if (Value) {
        Value->EmitCode(context);
        context.EmitAction(acDefineLocal);
    } else {
        context.EmitAction(acDefineLocal2);
    }
}

void TVarDeclListNode::EmitCode(TCompileContext& context) {
    for (TVarDeclNode* decl : Decls) decl->EmitCode(context);
}

TSWFActionDefineFunction2* EmitFunctionHeader2(TCompileContext& context, TIdentTable& scope, TStrId name,
                                                const TArgDeclListNode* params) {
    AllocateRegisters(scope);
    auto* header = static_cast<TSWFActionDefineFunction2*>(
        context.EmitFunctionHeader(acDefineFunction2, name, params, scope.NextRegister));
    header->PreloadThis = scope.Uses(imThis);
    header->SuppressThis = !header->PreloadThis;
    header->PreloadArguments = scope.Uses(imArguments);
    header->SuppressArguments = !header->PreloadArguments;
    header->PreloadSuper = scope.Uses(imSuper);
    header->SuppressSuper = !header->PreloadSuper;
    return header;
}

TFunctionHeader EmitFunctionHeader(TCompileContext& context, TIdentTable& scope, TStrId name,
                                   const TArgDeclListNode* params) {
    TFunctionHeader header{nullptr, nullptr, context.RequireBuilder().ActionList().Count(), name};
    if (context.MovieVersion() >= 7) {
        TSWFActionDefineFunction2* action = EmitFunctionHeader2(context, scope, name, params);
        header.Action = action;
        header.End = &action->GetLabel();
    } else {
        auto* action = static_cast<TSWFActionDefineFunction*>(context.EmitFunctionHeader(acDefineFunction, name, params, 0));
        header.Action = action;
        header.End = &action->GetLabel();
    }
    return header;
}

namespace {

// Emits the named functions declared in a body's statements (not inside
// other functions) and marks them, so that they exist before any of the
// body runs.
void HoistFunctions(TCompileContext& context, TParseTreeNode* node) {
    if (!node) return;
    if (auto* function = dynamic_cast<TFuncDefNode*>(node)) {
        if (function->Name != TStringTable::Empty && !function->Has(nfMember) && !function->Has(nfHoisted)) {
            function->EmitCode(context);
            function->Set(nfHoisted);
        }
    } else if (auto* list = dynamic_cast<TStmtListNode*>(node)) {
        for (TParseTreeNode* statement : list->Statements) HoistFunctions(context, statement);
    } else if (auto* branch = dynamic_cast<TIfStmtNode*>(node)) {
        HoistFunctions(context, branch->Then);
        HoistFunctions(context, branch->Else);
    } else if (auto* loop = dynamic_cast<TLoopStmtNode*>(node)) {
        HoistFunctions(context, loop->Body);
    } else if (auto* with = dynamic_cast<TWithStmtNode*>(node)) {
        HoistFunctions(context, with->Body);
    } else if (auto* attempt = dynamic_cast<TTryStmtNode*>(node)) {
        HoistFunctions(context, attempt->Body);
    }
}

}  // namespace

void EmitFunctionBody(TCompileContext& context, TParseTreeNode* body, const TFunctionHeader& header) {
    // A break or continue in the body never leaves the function, and a bare
    // clip property inside it is a variable again.
    std::vector<TParseTreeNode*> outer;
    context.SwapBreakables(outer);
    int clipProperties = context.SwapClipProperties(0);
    try {
        HoistFunctions(context, body);
        if (body) body->EmitCode(context);
    } catch (...) {
        context.SwapBreakables(outer);
        context.SwapClipProperties(clipProperties);
        throw;
    }
    context.SwapBreakables(outer);
    context.SwapClipProperties(clipProperties);
    context.EmitAction(acFunctionEnd);
    context.CheckFunctionSize(header.Index, header.Name);
    context.PlaceMarker(header.End);
}

void TFuncDefNode::EmitCode(TCompileContext& context) {
    // Hoisted to the start of its body already.
    if (Has(nfHoisted)) return;
    TStrId name = Name;
    if (Has(nfMember)) {
        name = TStringTable::Empty;
        Scope->UseImplicit(imThis);
    }
    TFunctionHeader header = EmitFunctionHeader(context, *Scope, name, Params);
    EmitFunctionBody(context, Body, header);
    if (name == TStringTable::Empty) DiscardResult(context);
}

// ---------------------------------------------------------------- handlers

void TProgramNode::EmitCode(TCompileContext& context) {
    if (!Events) {
        for (TParseTreeNode* item : Items) item->EmitCode(context);
        return;
    }
    if (context.CurrentBuilder()) {
        // A handler inside a frame script or inside another handler.
        throw EActionCompileError(FormatStr("Invalid event handler type in line %d", Events->Pos.Line));
    }
    TCondActionsHost* button = context.TargetCondActions();
    TFlashPlaceObject* placement = context.TargetPlaceObject();
    uint8_t key = Events->Kind == ekKey ? KeyCode(context.Text(Events->KeyString)) : 0;
    TSWFActionList* record = nullptr;
    if (Events->Kind == ekButton && button) {
        record = &button->AddCondActions(Events->ButtonConditions, 0);
    } else if (Events->Kind == ekClip && placement) {
        record = &placement->AddClipActions(Events->ClipEvents);
    } else if (Events->Kind == ekKey && button) {
        record = &button->AddCondActions(0, key);
    } else if (Events->Kind == ekKey && placement) {
        TSWFClipActionRecord& clip = placement->AddClipActions(0);
        clip.SetKeyCode(key);
        placement->Tag().GetClipActions().AllEventFlags |= clip.EventFlags;
        record = &clip;
    }
    if (!record) throw EActionCompileError(FormatStr("Invalid event handler type in line %d", Events->Pos.Line));
    // The handler's own builder over its record; the record keeps the actions.
    TFlashActionScript builder(&context.Movie, record);
    struct TClear {
        TCompileContext& context;
        ~TClear() { context.SetCurrentBuilder(nullptr); }
    } clear{context};
    context.SetCurrentBuilder(&builder);
    // Inside a clip's handlers a bare clip property is the clip's own.
    int clipStep = placement ? 1 : 0;
    context.EnterClipProperties(clipStep);
    try {
        for (TParseTreeNode* item : Items) item->EmitCode(context);
    } catch (...) {
        context.EnterClipProperties(-clipStep);
        throw;
    }
    context.EnterClipProperties(-clipStep);
    context.EmitConstantPool(acConstantPool, context.UnitConstantPool());
}
