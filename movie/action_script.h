// The action-script builder: the one way in which the rest of the system
// writes AVM1 action code. One operation appends one action record;
// consecutive pushes merge into one Push; branch targets are offset markers
// placed in the list, never computed offsets. A builder writes its list as
// one DoAction tag, and compiles ActionScript source through the movie's
// compile context.
#pragma once

#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "movie/flash_object.h"
#include "swf/actions.h"
#include "swf/actions_swf4.h"
#include "swf/actions_swf5.h"
#include "swf/push_value.h"

class TFlashActionScript : public TFlashObject {
public:
    // With no list the builder creates and owns one; otherwise it appends to
    // the given list and leaves it to its owner.
    explicit TFlashActionScript(TFlashMovie* movie, TSWFActionList* list = nullptr);
    ~TFlashActionScript() override;

    TSWFActionList& ActionList() const { return *list_; }
    bool OwnsList() const { return owned_ != nullptr; }
    // Points the builder at another list it does not own.
    void UseList(TSWFActionList& list);

    void CopyFieldsFrom(const TBasedSWFObject& source) override;
    int RequiredVersion() const override;
    void WriteTag(TBitsEngine& be) override;

    TSWFAction* GetAction(size_t index) const { return list_->GetAction(index); }

    // ---- operand-free actions
    void NextFrame() { Append(0x04); }
    void PreviousFrame() { Append(0x05); }
    void Play() { Append(0x06); }
    void Stop() { Append(0x07); }
    void StopSounds() { Append(0x09); }
    void Add() { Append(0x0A); }
    void Subtract() { Append(0x0B); }
    void Multiply() { Append(0x0C); }
    void Divide() { Append(0x0D); }
    void Equals() { Append(0x0E); }
    void Less() { Append(0x0F); }
    void And() { Append(0x10); }
    void Or() { Append(0x11); }
    void Not() { Append(0x12); }
    void StringEquals() { Append(0x13); }
    void StringLength() { Append(0x14); }
    void StringExtract() { Append(0x15); }
    void Pop() { Append(0x17); }
    void ToInteger() { Append(0x18); }
    void GetVariable() { Append(0x1C); }
    void SetVariable() { Append(0x1D); }
    void SetTarget2() { Append(0x20); }
    void StringAdd() { Append(0x21); }
    void GetProperty() { Append(0x22); }
    void SetProperty() { Append(0x23); }
    void CloneSprite() { Append(0x24); }
    void RemoveSprite() { Append(0x25); }
    void Trace() { Append(0x26); }
    void StartDrag() { Append(0x27); }
    void EndDrag() { Append(0x28); }
    void StringLess() { Append(0x29); }
    void Throw() { Append(0x2A); }
    void CastOp() { Append(0x2B); }
    void ImplementsOp() { Append(0x2C); }
    void RandomNumber() { Append(0x30); }
    void MBStringLength() { Append(0x31); }
    void CharToAscii() { Append(0x32); }
    void AsciiToChar() { Append(0x33); }
    void GetTime() { Append(0x34); }
    void MBCharToAscii() { Append(0x36); }
    void MBAsciiToChar() { Append(0x37); }
    void Delete() { Append(0x3A); }
    void Delete2() { Append(0x3B); }
    void DefineLocal() { Append(0x3C); }
    void CallFunction() { Append(0x3D); }
    void Return() { Append(0x3E); }
    void Modulo() { Append(0x3F); }
    void NewObject() { Append(0x40); }
    void DefineLocal2() { Append(0x41); }
    void InitArray() { Append(0x42); }
    void InitObject() { Append(0x43); }
    void TypeOf() { Append(0x44); }
    void Add2() { Append(0x47); }
    void Less2() { Append(0x48); }
    void Equals2() { Append(0x49); }
    void ToNumber() { Append(0x4A); }
    void ToString() { Append(0x4B); }
    void PushDuplicate() { Append(0x4C); }
    void StackSwap() { Append(0x4D); }
    void GetMember() { Append(0x4E); }
    void SetMember() { Append(0x4F); }
    void Increment() { Append(0x50); }
    void Decrement() { Append(0x51); }
    void CallMethod() { Append(0x52); }
    void NewMethod() { Append(0x53); }
    void InstanceOf() { Append(0x54); }
    void Enumerate2() { Append(0x55); }
    void BitAnd() { Append(0x60); }
    void BitOr() { Append(0x61); }
    void BitXor() { Append(0x62); }
    void BitLShift() { Append(0x63); }
    void BitRShift() { Append(0x64); }
    void BitURShift() { Append(0x65); }
    void StrictEquals() { Append(0x66); }
    void Greater() { Append(0x67); }
    void Extends() { Append(0x69); }
    void Call() { Append(0x9E); }

    // ---- actions with operands
    void GotoFrame(uint16_t frame);
    void GetUrl(const std::string& url, const std::string& target);
    void FSCommand(const std::string& command, const std::string& args);
    void StoreRegister(uint8_t registerNumber);
    TSWFActionConstantPool* ConstantPool(const std::vector<std::string>& strings);
    void WaitForFrame(uint16_t frame, uint8_t skipCount);
    void GoToLabel(const std::string& label);
    TSWFActionDefineFunction2* DefineFunction2(const std::string& name, const std::vector<std::string>& params,
                                               uint8_t registerCount);
    TSWFActionTry* Try();
    TSWFActionWith* With();
    // Adds the values, each with its push type, to a trailing Push, or to a
    // new one. Types: 0 string, 1 float, 2 null, 3 undefined, 4 register,
    // 5 boolean, 6 double, 7 integer, 8 and 9 constant indexes. A value
    // without a type raises EConvertError.
    TSWFActionPush* Push(const std::vector<TPushValue>& values, const std::vector<uint8_t>& types);
    void PushConstant(uint16_t index) { PushConstants({index}); }
    void PushConstants(const std::vector<uint16_t>& indices);
    TSWFActionJump* Jump();
    void GetURL2(bool loadTarget, bool loadVariables, uint8_t method);
    TSWFActionDefineFunction* DefineFunction(const std::string& name, const std::vector<std::string>& params);
    TSWFActionIf* If();
    void GotoFrame2(bool play, uint16_t sceneBias);
    TSWFActionByteCode* ByteCode(const std::string& hexText);
    // Places marker (a forward target of a branch written earlier) at the end
    // of the list; with none, a new backward target that later branches jump to.
    TSWFOffsetMarker* AddOffsetMarker(TSWFOffsetMarker* marker = nullptr, bool backward = false);

    // ---- compiling source into this builder; false on failure, with the
    // message in the movie's message stream
    bool CompileFromStream(TStream& source);
    bool CompileFromString(const std::string& source);
    bool CompileFromFile(const std::string& fileName);

private:
    TSWFAction* Append(uint8_t code);
    template <class T>
    T* AppendNew() {
        return list_->Add(std::make_unique<T>());
    }
    TSWFActionPush& TrailingPush();

    std::unique_ptr<TSWFActionList> owned_;
    TSWFActionList* list_;
};

// Appends text without a line break to the owner movie's message stream
// (nothing when there is no movie).
void WriteMovieMessage(TFlashMovie* movie, const std::string& text);
