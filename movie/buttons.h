// Buttons of the movie builder: a DefineButton or DefineButton2 character
// with its records (the characters shown in the up, over, down and hit
// states), its actions, and the sounds of four state transitions written as
// a DefineButtonSound beside it. Condition actions of a DefineButton2 are
// built action by action or compiled from the `on` handlers of ActionScript
// source through the movie's compile context.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "movie/action_script.h"
#include "movie/flash_object.h"
#include "swf/button_tags.h"

class TFlashButton : public TFlashVisualObject {
public:
    // useButton2 off makes a DefineButton, whose one action list runs on
    // release; trackAsMenu only counts for a DefineButton2.
    TFlashButton(TFlashMovie* movie, bool trackAsMenu = false, bool useButton2 = true);
    ~TFlashButton() override;
    TFlashButton(const TFlashButton&) = delete;
    TFlashButton& operator=(const TFlashButton&) = delete;

    TSWFBasedButton& GetButton() { return *tag_; }
    const TSWFBasedButton& GetButton() const { return *tag_; }
    bool UseButton2() const { return useButton2_; }

    // A record showing obj in the given states (kButtonState* bits) at a
    // depth of the button; obj's definition moves in front of the button.
    TSWFButtonRecord& AddRecord(TFlashVisualObject* obj, uint8_t states, uint16_t depth = 1);

    // Condition numbers are those of the DefineButton2 condition flags:
    // 0 IdleToOverUp (roll over) .. 3 OverDownToOverUp (release) .. 8.
    // Both raise EConvertError on a DefineButton, which has no such records.
    TSWFButtonCondAction& AddCondActions(uint16_t conditions);
    TSWFButtonCondAction* FindCondActions(uint8_t condition, bool create);
    // A builder over the record of one condition (created when absent); on a
    // DefineButton every condition is the button's one action list.
    TFlashActionScript& GetCondActionsBuilder(uint8_t condition);
    TFlashActionScript& GetReleaseActions() { return GetCondActionsBuilder(3); }

    // The transition sounds, each created on first use and written from then on.
    TSWFStartSound& GetSndRollOver();
    TSWFStartSound& GetSndRollOut();
    TSWFStartSound& GetSndPress();
    TSWFStartSound& GetSndRelease();
    bool HasSounds() const;

    // Compiles the `on` handlers of the source into condition actions; false,
    // with the message in the movie's message stream, when that fails.
    // Records added before the failure stay.
    bool CompileActions(TStream& source);
    bool CompileActionsFromText(const std::string& text);
    // A missing file raises the stream's error.
    bool CompileActionsFromFile(const std::string& fileName);

    void CopyFieldsFrom(const TBasedSWFObject& source) override;
    void SetCharacterId(uint16_t id) override;
    int RequiredVersion() const override { return useButton2_ ? 3 : 1; }
    void WriteTag(TBitsEngine& be) override;
    // Sounds by "SndPress" ... (or their names with "Str"), the tag's own
    // XML form, records named by "IDStr", "Actions" children and "Depth".
    void LoadFromXml(const TXmlNode& node, TXMLReadWriteSettings& settings) override;

private:
    TSWFDefineButton2& Button2(const char* what);

    std::unique_ptr<TSWFBasedButton> tag_;
    bool useButton2_;
    TSWFDefineButtonSound sounds_;
    std::unique_ptr<TFlashActionScript> builder_;
};
