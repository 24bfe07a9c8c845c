// Compiling source into movies for the code-generation tests, and a compact
// text form of an action list to compare with: actions by name, pushes with
// their values (constants as 'text', registers as rN), branches and blocks
// with the label of their target (labels numbered in list order).
#pragma once

#include <map>
#include <string>

#include "ascompiler/compile_context.h"
#include "movie/action_script.h"
#include "movie/flash_movie.h"
#include "swf/actions_swf4.h"
#include "swf/actions_swf5.h"
#include "swf/names.h"

namespace compile_fixture {

inline std::string PushText(const TPushValue& value, const TSWFActionConstantPool* pool) {
    switch (value.Kind()) {
        case TPushValueKind::Null: return "null";
        case TPushValueKind::Undefined: return "undefined";
        case TPushValueKind::Boolean: return value.AsBoolean() ? "true" : "false";
        case TPushValueKind::String: return "\"" + value.AsString() + "\"";
        case TPushValueKind::Register: return "r" + std::to_string(value.AsInteger());
        case TPushValueKind::Double: return value.AsString() + "d";
        case TPushValueKind::Constant8:
        case TPushValueKind::Constant16: {
            auto index = static_cast<size_t>(value.AsInteger());
            if (pool && index < pool->Constants.size()) return "'" + pool->Constants[index] + "'";
            return "c" + std::to_string(index);
        }
        default: return value.AsString();
    }
}

// The list as text; the ConstantPool action is left out (its texts show in
// the pushes).
inline std::string Dump(const TSWFActionList& list) {
    const TSWFActionConstantPool* pool = nullptr;
    std::map<const TSWFAction*, int> labels;
    for (const auto& action : list) {
        if (action->ActionCode == kActionConstantPool) pool = static_cast<const TSWFActionConstantPool*>(action.get());
        if (action->ActionCode == kActionOffsetMarker) labels.emplace(action.get(), static_cast<int>(labels.size()) + 1);
    }
    auto label = [&](const TSWFOffsetMarker* marker) {
        auto found = labels.find(marker);
        return found == labels.end() ? std::string("L?") : "L" + std::to_string(found->second);
    };
    std::string text;
    for (const auto& owned : list) {
        const TSWFAction* action = owned.get();
        std::string item;
        if (action->ActionCode == kActionConstantPool) continue;
        if (action->ActionCode == kActionOffsetMarker) {
            item = label(static_cast<const TSWFOffsetMarker*>(action)) + ":";
        } else if (auto* push = dynamic_cast<const TSWFActionPush*>(action)) {
            item = "Push";
            for (size_t i = 0; i < push->GetValueCount(); ++i) item += " " + PushText(push->GetValue(i), pool);
        } else if (auto* jump = dynamic_cast<const TSWFActionJump*>(action)) {
            item = (action->ActionCode == 0x9D ? "If " : "Jump ") + label(jump->LabelMarker.Get());
        } else if (auto* store = dynamic_cast<const TSWFActionStoreRegister*>(action)) {
            item = "StoreRegister " + std::to_string(store->RegisterNumber);
        } else if (auto* f2 = dynamic_cast<const TSWFActionDefineFunction2*>(action)) {
            item = "DefineFunction2 " + f2->FunctionName + "(";
            for (size_t i = 0; i < f2->Params.size(); ++i)
                item += (i ? "," : "") + f2->Params[i].Name + ":r" + std::to_string(f2->Params[i].Register);
            item += ") regs " + std::to_string(f2->RegisterCount) + " to " + label(f2->LabelMarker.Get());
        } else if (auto* f1 = dynamic_cast<const TSWFActionDefineFunction*>(action)) {
            item = "DefineFunction " + f1->FunctionName + " to " + label(f1->LabelMarker.Get());
        } else if (auto* with = dynamic_cast<const TSWFActionWith*>(action)) {
            item = "With to " + label(with->LabelMarker.Get());
        } else if (auto* wait = dynamic_cast<const TSWFActionWaitForFrame*>(action)) {
            item = "WaitForFrame " + std::to_string(wait->Frame) + " skip " + std::to_string(wait->SkipCount);
        } else if (auto* url = dynamic_cast<const TSWFActionGetURL2*>(action)) {
            item = "GetURL2 " + std::to_string(url->LoadTargetFlag) + std::to_string(url->LoadVariablesFlag) +
                   std::to_string(url->SendVarsMethod);
        } else if (auto* geturl = dynamic_cast<const TSWFActionGetUrl*>(action)) {
            item = "GetUrl " + geturl->URL + " " + geturl->Target;
        } else if (auto* go = dynamic_cast<const TSWFActionGotoFrame*>(action)) {
            item = "GotoFrame " + std::to_string(go->Frame);
        } else if (auto* go2 = dynamic_cast<const TSWFActionGotoFrame2*>(action)) {
            item = std::string("GotoFrame2 ") + (go2->PlayFlag ? "play" : "stop");
        } else {
            item = ActionCodeToName(action->ActionCode, false);
        }
        text += (text.empty() ? "" : "; ") + item;
    }
    return text;
}

// A movie of the version whose compile operations use the compiler.
inline std::unique_ptr<TFlashMovie> NewMovie(uint8_t version = 8) {
    RegisterActionScriptCompiler();
    auto movie = std::make_unique<TFlashMovie>(0, 0, 200, 200, 12, true);
    movie->SetVersion(version);
    return movie;
}

}  // namespace compile_fixture
