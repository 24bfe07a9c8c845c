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

void EmitFunctionBody(TCompileContext& context, TParseTreeNode* body, TSWFActionDefineFunction2& header) {
    // A break or continue in the body never leaves the function.
    std::vector<TParseTreeNode*> outer;
    context.SwapBreakables(outer);
    try {
        if (body) body->EmitCode(context);
    } catch (...) {
        context.SwapBreakables(outer);
        throw;
    }
    context.SwapBreakables(outer);
    context.EmitAction(acFunctionEnd);
    context.PlaceMarker(&header.GetLabel());
}

void TFuncDefNode::EmitCode(TCompileContext& context) {
    TStrId name = Name;
    if (Has(nfMember)) {
        name = TStringTable::Empty;
        Scope->UseImplicit(imThis);
    }
    TSWFActionDefineFunction2* header = EmitFunctionHeader2(context, *Scope, name, Params);
    EmitFunctionBody(context, Body, *header);
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
    for (TParseTreeNode* item : Items) item->EmitCode(context);
    context.EmitConstantPool(acConstantPool, context.UnitConstantPool());
}
