#include "swf/do_action.h"

#include <algorithm>
#include <unordered_map>
#include <unordered_set>

#include "platform/codepage.h"
#include "platform/paths.h"
#include "swf/actions_swf4.h"
#include "swf/actions_swf5.h"
#include "swf/names.h"

// ---------------------------------------------------------------- DoAction

TSWFDoAction::TSWFDoAction() : owned_(std::make_unique<TSWFActionList>()), actions_(owned_.get()) { TagCode = TagCodes::DoAction; }

std::unique_ptr<TSWFDoAction> TSWFDoAction::CreateWithList(TSWFActionList& list) {
    auto tag = std::make_unique<TSWFDoAction>();
    tag->UseList(list);
    return tag;
}

std::unique_ptr<TSWFDoInitAction> TSWFDoInitAction::CreateWithList(TSWFActionList& list) {
    auto tag = std::make_unique<TSWFDoInitAction>();
    tag->UseList(list);
    return tag;
}

void TSWFDoAction::CopyFieldsFrom(const TBasedSWFObject& source) {
    const auto& other = SourceAs<TSWFDoAction>(source, *this);
    TSWFObject::CopyFieldsFrom(source);
    if (&other.Actions() != &Actions()) CopyActionList(other.Actions(), Actions());
    HasActionEnd = other.HasActionEnd;
}

int TSWFDoAction::RequiredVersion() const { return ActionListRequiredVersion(Actions()); }

void TSWFDoAction::ReadActionBlock(TBitsEngine& be, int64_t size) {
    TStream& in = be.Stream;
    size = std::min<int64_t>(size, in.Remaining());
    HasActionEnd = BlockEndsWithActionEnd(in, in.GetPosition(), in.GetPosition() + std::max<int64_t>(size, 0));
    if (ParseActions) {
        ReadActionList(be, Actions(), size);
        return;
    }
    // Kept raw: every byte but the block's final ActionEnd, which WriteBody
    // adds back.
    int64_t n = size;
    if (n <= 0) return;
    auto raw = std::make_unique<TSWFActionByteCode>();
    raw->Data.resize(static_cast<size_t>(n));
    be.ReadBytes(raw->Data.data(), n);
    if (HasActionEnd) raw->Data.pop_back();
    Actions().Add(std::move(raw));
}

void TSWFDoAction::ReadBody(TBitsEngine& be) { ReadActionBlock(be, BodySize); }

void TSWFDoAction::WriteBody(TBitsEngine& be) {
    for (const auto& action : Actions()) action->WriteAction(be);
    if (HasActionEnd) be.WriteByte(0);
}

void TSWFDoAction::LoadFromXml(const TXmlNode& node, TXMLReadWriteSettings& settings) {
    HasActionEnd = node.AttrBoolDef("ActionEnd", true);
    if (OnLoadActions) OnLoadActions(*this, node);
    else LoadActionListFromXml(node, Actions(), settings);
}

void TSWFDoAction::SaveToXml(TXmlNode node, TXMLReadWriteSettings& settings) {
    if (!HasActionEnd) node.SetAttrBool("ActionEnd", false);
    SaveActionListToXml(node, Actions(), settings);
}

// ---------------------------------------------------------------- DoInitAction

void TSWFDoInitAction::CopyFieldsFrom(const TBasedSWFObject& source) {
    const auto& other = SourceAs<TSWFDoInitAction>(source, *this);
    TSWFDoAction::CopyFieldsFrom(source);
    SpriteID = other.SpriteID;
}

void TSWFDoInitAction::ReadBody(TBitsEngine& be) {
    SpriteID = be.ReadWord();
    ReadActionBlock(be, int64_t(BodySize) - 2);
}

void TSWFDoInitAction::WriteBody(TBitsEngine& be) {
    be.WriteWord(SpriteID);
    TSWFDoAction::WriteBody(be);
}

void TSWFDoInitAction::LoadFromXml(const TXmlNode& node, TXMLReadWriteSettings& settings) {
    SpriteID = static_cast<uint16_t>(node.AttrInt("ID"));
    TSWFDoAction::LoadFromXml(node, settings);
}

void TSWFDoInitAction::SaveToXml(TXmlNode node, TXMLReadWriteSettings& settings) {
    node.SetAttr("ID", static_cast<int>(SpriteID));
    TSWFDoAction::SaveToXml(node, settings);
}

// ---------------------------------------------------------------- XML of lists

namespace {

class TMarkerBinder {
public:
    struct TLoaded {
        TSWFOffsetMarker* marker;
        size_t index;
    };

    TMarkerBinder(TSWFActionList& list, const std::vector<TLoaded>& loaded) : list_(list) {
        // By label, in document order; the indexes stay valid because
        // binding replaces items and never moves them.
        for (const TLoaded& entry : loaded) byLabel_[AnsiLowerCase(entry.marker->Label)].push_back(entry);
    }

    // The first loaded marker still in the list whose label matches.
    int64_t FindMarkerByLabel(const std::string& label) const {
        if (label.empty()) return -1;
        auto found = byLabel_.find(AnsiLowerCase(label));
        if (found == byLabel_.end()) return -1;
        for (const TLoaded& entry : found->second)
            if (entry.marker) return static_cast<int64_t>(entry.index);
        return -1;
    }

    // Puts the owner's marker in place of the loaded one at index.
    void Bind(int64_t index, TSWFOffsetMarker& marker) {
        auto found = byLabel_.find(AnsiLowerCase(marker.Label));
        if (found != byLabel_.end())
            for (TLoaded& entry : found->second)
                if (entry.marker && entry.index == static_cast<size_t>(index)) entry.marker = nullptr;
        list_.ReplaceByMarker(static_cast<size_t>(index), marker);
    }

    // A block end: bound when a marker of its label exists.
    void BindForward(TSWFOffsetMarker& marker) {
        marker.Backward = false;
        if (!marker.HeldByOwner()) return;
        int64_t index = FindMarkerByLabel(marker.Label);
        if (index >= 0) Bind(index, marker);
    }

    void Run(size_t count) {
        for (size_t i = 0; i < count; ++i) {
            TSWFAction* action = list_.GetAction(i);
            if (auto* function2 = dynamic_cast<TSWFActionDefineFunction2*>(action)) {
                BindForward(function2->GetLabel());
            } else if (auto* function = dynamic_cast<TSWFActionDefineFunction*>(action)) {
                BindForward(function->GetLabel());
            } else if (auto* with = dynamic_cast<TSWFActionWith*>(action)) {
                BindForward(with->GetLabel());
            } else if (auto* block = dynamic_cast<TSWFActionTry*>(action)) {
                BindForward(block->GetTryLabel());
                if (block->CatchBlockFlag) BindForward(block->GetCatchLabel());
                if (block->FinallyBlockFlag) BindForward(block->GetFinallyLabel());
            } else if (auto* jump = dynamic_cast<TSWFActionJump*>(action)) {
                TSWFOffsetMarker& marker = jump->GetLabel();
                if (!marker.HeldByOwner()) continue;
                int64_t index = FindMarkerByLabel(marker.Label);
                if (index < 0) {
                    if (!jump->OffsetGiven) jump->SetBranchOffset(0);
                    continue;
                }
                marker.Backward = index < static_cast<int64_t>(i);
                Bind(index, marker);
            }
        }
    }

private:
    TSWFActionList& list_;
    std::unordered_map<std::string, std::vector<TLoaded>> byLabel_;
};

}  // namespace

namespace {

// ActionNameToCode through a table built once: a long script has thousands
// of elements, and the name table is searched row by row.
int32_t ActionCodeOfElement(const std::string& name) {
    static const std::unordered_map<std::string, int32_t> codes = [] {
        std::unordered_map<std::string, int32_t> table;
        for (int code = 0; code < 256; ++code) {
            if (!IsKnownActionCode(static_cast<uint8_t>(code))) continue;
            std::string key = AnsiLowerCase(ActionCodeToName(static_cast<uint8_t>(code), false));
            table.emplace(key, ActionNameToCode(key));
        }
        table["offset"] = ActionNameToCode("Offset");
        return table;
    }();
    auto found = codes.find(AnsiLowerCase(name));
    return found == codes.end() ? -1 : found->second;
}

}  // namespace

void LoadActionListFromXml(const TXmlNode& node, TSWFActionList& list, TXMLReadWriteSettings& settings) {
    TXmlNode source = node;
    TXmlDocument external;
    if (node.HasAttribute("File")) {
        if (auto bytes = settings.LoadDataFile(kDataKindActions, node.AttrStr("File"))) {
            if (AnsiSameText(node.AttrStrDef("FileType", ""), "bytecode")) {
                if (!bytes->empty()) {
                    auto raw = std::make_unique<TSWFActionByteCode>();
                    raw->Data = std::move(*bytes);
                    list.Add(std::move(raw));
                    return;
                }
            } else {
                external.LoadFromString(std::string(bytes->begin(), bytes->end()));
                source = external.DocumentElement();
            }
        }
    }
    std::vector<TMarkerBinder::TLoaded> loaded;
    for (const TXmlNode& child : source.ChildElements()) {
        int32_t code = ActionCodeOfElement(child.NodeName());
        if (code < 0) continue;
        std::unique_ptr<TSWFAction> action = CreateActionByCode(static_cast<uint8_t>(code));
        if (!action) continue;
        action->LoadFromXml(child);
        if (auto* marker = dynamic_cast<TSWFOffsetMarker*>(action.get())) loaded.push_back({marker, list.Count()});
        list.Add(std::move(action));
    }
    TMarkerBinder(list, loaded).Run(list.Count());
}

namespace {

// The XML form binds branches to markers by label: a marker that a builder
// placed without one gets a label no other marker of the list has.
void LabelUnnamedMarkers(TSWFActionList& list) {
    std::unordered_set<std::string> used;
    for (const auto& action : list)
        if (auto* marker = dynamic_cast<TSWFOffsetMarker*>(action.get())) used.insert(AnsiLowerCase(marker->Label));
    int n = 0;
    for (const auto& action : list) {
        auto* marker = dynamic_cast<TSWFOffsetMarker*>(action.get());
        if (!marker || !marker->Label.empty()) continue;
        std::string label;
        do label = "label " + std::to_string(++n);
        while (used.count(label));
        used.insert(label);
        marker->Label = label;
    }
}

}  // namespace

void SaveActionListToXml(TXmlNode node, TSWFActionList& list, TXMLReadWriteSettings& settings) {
    LabelUnnamedMarkers(list);
    const bool external = (settings.Options & kXmlExternalActions) != 0;
    const bool asXml = settings.ActionFormat == 0;
    if (!external || asXml)
        for (const auto& action : list) SaveToXmlChild(*action, node);
    if (!external || list.Empty()) return;
    std::string fileValue;
    if (asXml) {
        // The declaration names UTF-8, and the text is UTF-8.
        std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n" + node.XmlText();
        fileValue = settings.SaveDataFile(kDataKindActions, text.data(), text.size());
        node.Raw().remove_children();
    } else {
        TMemoryStream bytes;
        TBitsEngine be(bytes);
        for (const auto& action : list) action->WriteAction(be);
        be.FlushLastByte(true);
        fileValue = settings.SaveDataFile(kDataKindActions, bytes.Memory(), static_cast<size_t>(bytes.GetSize()));
    }
    node.SetAttr("File", fileValue);
    node.SetAttr("FileType", asXml ? "AC" : "bytecode");
}

// ---------------------------------------------------------------- template look-up

std::optional<std::string> FindParamsDefine(const TSWFDoAction& tag) {
    const TSWFActionConstantPool* pool = nullptr;
    int64_t nameIndex = -1;
    auto isPoolReference = [](const TPushValueInfo& info) {
        return info.ValueType == kPushConstant8 || info.ValueType == kPushConstant16;
    };
    for (const auto& action : tag.Actions()) {
        if (auto* constants = dynamic_cast<const TSWFActionConstantPool*>(action.get())) {
            pool = constants;
            for (size_t k = 0; k < constants->Constants.size(); ++k) {
                if (AnsiSameText(constants->Constants[k], "ParamsDefine")) {
                    nameIndex = static_cast<int64_t>(k);
                    break;
                }
            }
        } else if (auto* push = dynamic_cast<const TSWFActionPush*>(action.get())) {
            if (nameIndex < 0 || !pool || push->GetValueCount() < 2) continue;
            const TPushValueInfo& name = push->GetValueInfo(0);
            const TPushValueInfo& value = push->GetValueInfo(1);
            if (!isPoolReference(name) || !isPoolReference(value)) continue;
            if (name.Value.AsInteger() != nameIndex) continue;
            int64_t index = value.Value.AsInteger();
            // A reference past the pool names nothing.
            if (index < 0 || index >= static_cast<int64_t>(pool->Constants.size())) continue;
            return pool->Constants[static_cast<size_t>(index)];
        }
    }
    return std::nullopt;
}
