// The frame-script tags DoAction (12) and DoInitAction (59), which carry an
// action block either parsed into action objects or kept as raw bytes, and
// the XML form of action lists: action elements inline, or the whole list in
// an external file, with branch labels bound to offset markers on loading.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "swf/actions.h"
#include "swf/tag.h"
#include "swf/xml_form.h"

class TSWFDoAction : public TSWFObject {
public:
    using TLoadActionsHandler = std::function<void(TSWFDoAction& tag, const TXmlNode& node)>;

    TSWFDoAction();
    // A tag over a list that the caller keeps and frees.
    static std::unique_ptr<TSWFDoAction> CreateWithList(TSWFActionList& list);

    TSWFActionList& Actions() const { return *actions_; }
    bool OwnsActions() const { return owned_ != nullptr; }
    // Set by the file reader before the body is read; off keeps it raw.
    bool ParseActions = false;
    // When assigned, LoadFromXml hands the element to it instead.
    TLoadActionsHandler OnLoadActions;
    // The block closes with an ActionEnd byte. A block read without one is
    // written back without one: code of an earlier block may jump to the
    // bytes after its end, where an added byte would land.
    bool HasActionEnd = true;

    void SetParseActions(bool parse) override { ParseActions = parse; }
    void CopyFieldsFrom(const TBasedSWFObject& source) override;
    int RequiredVersion() const override;
    void ReadBody(TBitsEngine& be) override;
    void WriteBody(TBitsEngine& be) override;
    void LoadFromXml(const TXmlNode& node, TXMLReadWriteSettings& settings) override;
    void SaveToXml(TXmlNode node, TXMLReadWriteSettings& settings) override;

protected:
    void ReadActionBlock(TBitsEngine& be, int64_t size);
    void UseList(TSWFActionList& list) {
        owned_.reset();
        actions_ = &list;
    }

private:
    std::unique_ptr<TSWFActionList> owned_;
    TSWFActionList* actions_ = nullptr;
};

class TSWFDoInitAction : public TSWFDoAction {
public:
    TSWFDoInitAction() { TagCode = TagCodes::DoInitAction; }
    static std::unique_ptr<TSWFDoInitAction> CreateWithList(TSWFActionList& list);

    uint16_t SpriteID = 0;

    void CopyFieldsFrom(const TBasedSWFObject& source) override;
    int RequiredVersion() const override { return 6; }
    void ReadBody(TBitsEngine& be) override;
    void WriteBody(TBitsEngine& be) override;
    void LoadFromXml(const TXmlNode& node, TXMLReadWriteSettings& settings) override;
    void SaveToXml(TXmlNode node, TXMLReadWriteSettings& settings) override;
};

// Appends the actions that an XML element describes (inline, or in the
// external file its "File" attribute names) and binds branch and block
// owners to the "Offset" elements their labels name.
void LoadActionListFromXml(const TXmlNode& node, TSWFActionList& list, TXMLReadWriteSettings& settings);
// Writes the list into the element, or into an external file when the
// settings ask for action blocks in files.
void SaveActionListToXml(TXmlNode node, TSWFActionList& list, TXMLReadWriteSettings& settings);

// The parameter document of an effect template: the text that the tag's
// script assigns to the variable ParamsDefine, compiled as a constant pool
// holding both strings and a Push of the two pool references before
// SetVariable. Nothing when the tag has no such assignment.
std::optional<std::string> FindParamsDefine(const TSWFDoAction& tag);
