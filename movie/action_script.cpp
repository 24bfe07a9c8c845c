#include "movie/action_script.h"

#include <algorithm>

#include "movie/flash_movie.h"
#include "swf/do_action.h"

TFlashActionScript::TFlashActionScript(TFlashMovie* movie, TSWFActionList* list) : TFlashObject(movie) {
    if (list) {
        list_ = list;
    } else {
        owned_ = std::make_unique<TSWFActionList>();
        list_ = owned_.get();
    }
}

TFlashActionScript::~TFlashActionScript() = default;

void TFlashActionScript::UseList(TSWFActionList& list) {
    owned_.reset();
    list_ = &list;
}

void TFlashActionScript::CopyFieldsFrom(const TBasedSWFObject& source) {
    const auto& other = CopySourceAs<TFlashActionScript>(source, "an action script");
    if (!Owner) Owner = other.Owner;
    CopyActionList(other.ActionList(), *list_);
}

int TFlashActionScript::RequiredVersion() const {
    int version = 1;
    for (const auto& action : *list_) version = std::max(version, action->RequiredVersion());
    return version;
}

void TFlashActionScript::WriteTag(TBitsEngine& be) {
    auto tag = TSWFDoAction::CreateWithList(*list_);
    tag->WriteTag(be);
}

TSWFAction* TFlashActionScript::Append(uint8_t code) {
    std::unique_ptr<TSWFAction> action = CreateActionByCode(code);
    if (!action) throw Exception(FormatStr("No action of code 0x%02X", code));
    return list_->Add(std::move(action));
}

void TFlashActionScript::GotoFrame(uint16_t frame) { AppendNew<TSWFActionGotoFrame>()->Frame = frame; }

void TFlashActionScript::GetUrl(const std::string& url, const std::string& target) {
    auto* action = AppendNew<TSWFActionGetUrl>();
    action->URL = url;
    action->Target = target;
}

void TFlashActionScript::FSCommand(const std::string& command, const std::string& args) {
    GetUrl("FSCommand:" + command, args);
}

void TFlashActionScript::StoreRegister(uint8_t registerNumber) {
    AppendNew<TSWFActionStoreRegister>()->RegisterNumber = registerNumber;
}

TSWFActionConstantPool* TFlashActionScript::ConstantPool(const std::vector<std::string>& strings) {
    auto* action = AppendNew<TSWFActionConstantPool>();
    action->Constants = strings;
    return action;
}

void TFlashActionScript::WaitForFrame(uint16_t frame, uint8_t skipCount) {
    auto* action = AppendNew<TSWFActionWaitForFrame>();
    action->Frame = frame;
    action->SkipCount = skipCount;
}

void TFlashActionScript::GoToLabel(const std::string& label) { AppendNew<TSWFActionGoToLabel>()->Label = label; }

TSWFActionDefineFunction2* TFlashActionScript::DefineFunction2(const std::string& name,
                                                               const std::vector<std::string>& params,
                                                               uint8_t registerCount) {
    auto* action = AppendNew<TSWFActionDefineFunction2>();
    action->FunctionName = name;
    for (const std::string& param : params) action->AddParam(param, 0);
    action->RegisterCount = registerCount;
    return action;
}

TSWFActionTry* TFlashActionScript::Try() { return AppendNew<TSWFActionTry>(); }

TSWFActionWith* TFlashActionScript::With() { return AppendNew<TSWFActionWith>(); }

TSWFActionPush& TFlashActionScript::TrailingPush() {
    if (!list_->Empty()) {
        TSWFAction* last = list_->GetAction(list_->Count() - 1);
        if (last->ActionCode == 0x96) return static_cast<TSWFActionPush&>(*last);
    }
    return *AppendNew<TSWFActionPush>();
}

TSWFActionPush* TFlashActionScript::Push(const std::vector<TPushValue>& values, const std::vector<uint8_t>& types) {
    // Every value needs its type: a value pushed with a guessed type would
    // silently change what the script computes.
    if (types.size() < values.size())
        throw EConvertError(FormatStr("Push of %zu values with only %zu push types", values.size(), types.size()));
    TSWFActionPush& push = TrailingPush();
    for (size_t i = 0; i < values.size(); ++i) {
        size_t index = push.AddValue(values[i]);
        push.GetValueInfo(index).SetValueType(types[i]);
    }
    return &push;
}

void TFlashActionScript::PushConstants(const std::vector<uint16_t>& indices) {
    TSWFActionPush& push = TrailingPush();
    for (uint16_t index : indices) {
        if (index < 256) {
            size_t at = push.AddValue(TPushValue::Constant8(static_cast<uint8_t>(index)));
            push.GetValueInfo(at).SetValueType(kPushConstant8);
        } else {
            size_t at = push.AddValue(TPushValue::Constant16(index));
            push.GetValueInfo(at).SetValueType(kPushConstant16);
        }
    }
}

TSWFActionJump* TFlashActionScript::Jump() { return AppendNew<TSWFActionJump>(); }

void TFlashActionScript::GetURL2(bool loadTarget, bool loadVariables, uint8_t method) {
    auto* action = AppendNew<TSWFActionGetURL2>();
    action->LoadTargetFlag = loadTarget;
    action->LoadVariablesFlag = loadVariables;
    action->SendVarsMethod = method;
}

TSWFActionDefineFunction* TFlashActionScript::DefineFunction(const std::string& name,
                                                             const std::vector<std::string>& params) {
    auto* action = AppendNew<TSWFActionDefineFunction>();
    action->FunctionName = name;
    action->Params = params;
    return action;
}

TSWFActionIf* TFlashActionScript::If() { return AppendNew<TSWFActionIf>(); }

void TFlashActionScript::GotoFrame2(bool play, uint16_t sceneBias) {
    auto* action = AppendNew<TSWFActionGotoFrame2>();
    action->PlayFlag = play;
    action->SceneBias = sceneBias;
    action->SceneBiasFlag = sceneBias != 0;
}

TSWFActionByteCode* TFlashActionScript::ByteCode(const std::string& hexText) {
    auto* action = AppendNew<TSWFActionByteCode>();
    action->SetHexText(hexText);
    return action;
}

TSWFOffsetMarker* TFlashActionScript::AddOffsetMarker(TSWFOffsetMarker* marker, bool backward) {
    if (marker) {
        marker->Backward = backward;
        marker->Placed = true;
        list_->AddMarker(*marker);
        return marker;
    }
    auto created = std::make_unique<TSWFOffsetMarker>();
    created->Backward = true;
    created->Placed = true;
    return list_->Add(std::move(created));
}

void WriteMovieMessage(TFlashMovie* movie, const std::string& text) {
    if (!movie) return;
    TMemoryStream& messages = movie->GetMessageStream();
    messages.Seek(0, TSeekOrigin::End);
    messages.WriteBuffer(text.data(), static_cast<int64_t>(text.size()));
}

bool TFlashActionScript::CompileFromStream(TStream& source) {
    try {
        source.SetPosition(0);
        if (!Owner) throw EActionCompileError("ActionScript source cannot be compiled: the builder belongs to no movie.");
        Owner->GetCompileContext().CompileActions(source, *this);
        return true;
    } catch (const Exception& failure) {
        WriteMovieMessage(Owner, failure.what());
        return false;
    }
}

bool TFlashActionScript::CompileFromString(const std::string& source) {
    TMemoryStream stream(std::vector<uint8_t>(source.begin(), source.end()));
    return CompileFromStream(stream);
}

bool TFlashActionScript::CompileFromFile(const std::string& fileName) {
    TFileStream file(fileName, TFileMode::OpenRead);
    return CompileFromStream(file);
}
