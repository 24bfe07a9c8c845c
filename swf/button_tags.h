// The button character and its companions: DefineButton (7) with one action
// list run on release, DefineButton2 (34) with condition-action records,
// DefineButtonCxform (23) and DefineButtonSound (17), and the button record
// (a character shown in some of the four states) that both button tags hold.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "swf/actions.h"
#include "swf/filters.h"
#include "swf/sound_tags.h"
#include "swf/tag.h"
#include "swf/value_records.h"

class TXMLReadWriteSettings;

// Button states in memory. On the stream Down and Over change places (flags
// byte: 0x08 HitTest, 0x04 Down, 0x02 Over, 0x01 Up).
enum : uint8_t {
    kButtonStateUp = 0x01,
    kButtonStateDown = 0x02,
    kButtonStateOver = 0x04,
    kButtonStateHitTest = 0x08,
};

// Button conditions in memory: element i is bit 1 << i, in the order of the
// name table (IdleToOverUp ... OverDownToIdle).
enum : uint16_t {
    kCondIdleToOverUp = 1u << 0,
    kCondOverUpToIdle = 1u << 1,
    kCondOverUpToOverDown = 1u << 2,
    kCondOverDownToOverUp = 1u << 3,
    kCondOutDownToOverDown = 1u << 4,
    kCondOverDownToOutDown = 1u << 5,
    kCondOutDownToIdle = 1u << 6,
    kCondIdleToOverDown = 1u << 7,
    kCondOverDownToIdle = 1u << 8,
};

// "IdleToOverUp, OverDownToOverUp" <-> the set; unknown names are ignored,
// letter case and spaces do not matter.
uint16_t ButtonConditionsFromNames(const std::string& text);
std::string ButtonConditionsToNames(uint16_t conditions);

class TSWFButtonRecord {
public:
    explicit TSWFButtonRecord(uint16_t characterId = 0) : CharacterId(characterId) {}

    uint8_t States = 0;
    uint16_t CharacterId = 0;
    uint16_t Depth = 0;
    bool HasColorTransform = false;
    bool HasBlendMode = false;
    uint8_t BlendMode = 0;
    bool HasFilterList = false;

    TSWFMatrix& GetMatrix() { return matrix_; }
    const TSWFMatrix& GetMatrix() const { return matrix_; }
    // Created on first use (with alpha); sets HasColorTransform.
    TSWFColorTransform& GetColorTransform();
    // Created on first use; sets HasFilterList.
    TSWFFilterList& GetFilters();
    bool HasFiltersObject() const { return filters_ != nullptr; }

    void CopyFrom(const TSWFButtonRecord& source);
    // The record after its flags byte, which the owner has read; the colour
    // transform and SWF 8 parts only for DefineButton2.
    void ReadFromStream(TBitsEngine& be, uint8_t flags, bool button2);
    // Flags byte and record, with whatever the record holds.
    void WriteToStream(TBitsEngine& be);
    void LoadFromXml(const TXmlNode& node, const TXMLReadWriteSettings& settings);
    void SaveToXml(TXmlNode node, const TXMLReadWriteSettings& settings);

private:
    TSWFMatrix matrix_;
    std::unique_ptr<TSWFColorTransform> colorTransform_;
    std::unique_ptr<TSWFFilterList> filters_;
};

class TSWFBasedButton;
using TButtonLoadActionsEvent = std::function<void(TSWFBasedButton& button, const TXmlNode& element)>;

class TSWFBasedButton : public TSWFObject {
public:
    TSWFBasedButton() { TagCode = TagCodes::DefineButton; }

    uint16_t ButtonId = 0;
    std::vector<std::unique_ptr<TSWFButtonRecord>> ButtonRecords;
    // DefineButton: the actions run on release (DefineButton2 keeps its
    // condition-action records apart).
    TSWFActionList Actions;
    bool ParseActions = false;
    TButtonLoadActionsEvent OnLoadActions;

    TSWFButtonRecord& GetButtonRecord(size_t index) const { return *ButtonRecords.at(index); }
    TSWFButtonRecord& AddButtonRecord(uint16_t characterId, uint8_t states, uint16_t depth);

    void SetParseActions(bool parse) override { ParseActions = parse; }
    int32_t CharacterId() const override { return ButtonId; }
    void CopyFieldsFrom(const TBasedSWFObject& source) override;
    virtual std::unique_ptr<TSWFBasedButton> Create() const = 0;

protected:
    void LoadRecordsFromXml(const TXmlNode& node, const TXMLReadWriteSettings& settings);
    void SaveRecordsToXml(TXmlNode node, const TXMLReadWriteSettings& settings);
};

class TSWFDefineButton : public TSWFBasedButton {
public:
    // False when the file's button had no ActionEnd after its actions (or
    // no action list at all): it is written back without one.
    bool HasActionEnd = true;

    int RequiredVersion() const override;
    void CopyFieldsFrom(const TBasedSWFObject& source) override;
    void ReadBody(TBitsEngine& be) override;
    void WriteBody(TBitsEngine& be) override;
    void LoadFromXml(const TXmlNode& node, TXMLReadWriteSettings& settings) override;
    void SaveToXml(TXmlNode node, TXMLReadWriteSettings& settings) override;
    std::unique_ptr<TSWFBasedButton> Create() const override { return std::make_unique<TSWFDefineButton>(); }
};

// One condition-action record: the record is itself the list of its actions.
class TSWFButtonCondAction : public TSWFActionList {
public:
    uint16_t Conditions = 0;
    uint8_t KeyCode = 0;  // 7 bits on the stream; 0 = no key
};

class TSWFDefineButton2 : public TSWFBasedButton {
public:
    TSWFDefineButton2() { TagCode = TagCodes::DefineButton2; }

    bool TrackAsMenu = false;
    std::vector<std::unique_ptr<TSWFButtonCondAction>> CondActions;

    size_t CondActionCount() const { return CondActions.size(); }
    TSWFButtonCondAction& GetCondAction(size_t index) const;
    TSWFButtonCondAction& AddCondAction(uint16_t conditions, uint8_t keyCode = 0);
    void LoadCondActionsFromXml(const TXmlNode& element, TXMLReadWriteSettings& settings);

    int RequiredVersion() const override { return 3; }
    void CopyFieldsFrom(const TBasedSWFObject& source) override;
    void ReadBody(TBitsEngine& be) override;
    void WriteBody(TBitsEngine& be) override;
    void LoadFromXml(const TXmlNode& node, TXMLReadWriteSettings& settings) override;
    void SaveToXml(TXmlNode node, TXMLReadWriteSettings& settings) override;
    std::unique_ptr<TSWFBasedButton> Create() const override { return std::make_unique<TSWFDefineButton2>(); }
};

class TSWFDefineButtonCxform : public TSWFObject {
public:
    TSWFDefineButtonCxform() { TagCode = TagCodes::DefineButtonCxform; }

    uint16_t ButtonId = 0;
    TSWFColorTransform ColorTransform;

    int RequiredVersion() const override { return 2; }
    void CopyFieldsFrom(const TBasedSWFObject& source) override;
    void ReadBody(TBitsEngine& be) override;
    void WriteBody(TBitsEngine& be) override;
    void LoadFromXml(const TXmlNode& node, TXMLReadWriteSettings& settings) override;
    void SaveToXml(TXmlNode node, TXMLReadWriteSettings& settings) override;
};

class TSWFDefineButtonSound : public TSWFObject {
public:
    // The transitions in stream order.
    enum TTransition { OverUpToIdle = 0, IdleToOverUp = 1, OverUpToOverDown = 2, OverDownToOverUp = 3 };

    TSWFDefineButtonSound() { TagCode = TagCodes::DefineButtonSound; }

    uint16_t ButtonId = 0;

    // The transition's sound, created on first use; the call marks it present.
    TSWFStartSound& GetSound(int transition);
    TSWFStartSound& GetOverUpToIdle() { return GetSound(OverUpToIdle); }
    TSWFStartSound& GetIdleToOverUp() { return GetSound(IdleToOverUp); }
    TSWFStartSound& GetOverUpToOverDown() { return GetSound(OverUpToOverDown); }
    TSWFStartSound& GetOverDownToOverUp() { return GetSound(OverDownToOverUp); }
    bool HasSound(int transition) const { return sounds_.at(transition) != nullptr; }
    // The sound written for a transition: present and not 0.
    const TSWFStartSound* WrittenSound(int transition) const;

    int RequiredVersion() const override { return 2; }
    void CopyFieldsFrom(const TBasedSWFObject& source) override;
    void ReadBody(TBitsEngine& be) override;
    void WriteBody(TBitsEngine& be) override;
    void LoadFromXml(const TXmlNode& node, TXMLReadWriteSettings& settings) override;
    void SaveToXml(TXmlNode node, TXMLReadWriteSettings& settings) override;

private:
    std::array<std::unique_ptr<TSWFStartSound>, 4> sounds_;
};
