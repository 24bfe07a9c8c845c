// Action classes of SWF 5 to 7: the constant pool, register store, function
// definitions, the with-block and try/catch/finally, and the operators
// without a body that those versions added.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "swf/actions.h"
#include "swf/actions_swf4.h"

// ---------------------------------------------------------------- SWF 5

TW_BODILESS_ACTION(TSWFActionDelete, TSWFAction5, 0x3A)
TW_BODILESS_ACTION(TSWFActionDelete2, TSWFAction5, 0x3B)
TW_BODILESS_ACTION(TSWFActionDefineLocal, TSWFAction5, 0x3C)
TW_BODILESS_ACTION(TSWFActionCallFunction, TSWFAction5, 0x3D)
TW_BODILESS_ACTION(TSWFActionReturn, TSWFAction5, 0x3E)
TW_BODILESS_ACTION(TSWFActionModulo, TSWFAction5, 0x3F)
TW_BODILESS_ACTION(TSWFActionNewObject, TSWFAction5, 0x40)
TW_BODILESS_ACTION(TSWFActionDefineLocal2, TSWFAction5, 0x41)
TW_BODILESS_ACTION(TSWFActionInitArray, TSWFAction5, 0x42)
TW_BODILESS_ACTION(TSWFActionInitObject, TSWFAction5, 0x43)
TW_BODILESS_ACTION(TSWFActionTypeOf, TSWFAction5, 0x44)
TW_BODILESS_ACTION(TSWFActionTargetPath, TSWFAction5, 0x45)
TW_BODILESS_ACTION(TSWFActionEnumerate, TSWFAction5, 0x46)
TW_BODILESS_ACTION(TSWFActionAdd2, TSWFAction5, 0x47)
TW_BODILESS_ACTION(TSWFActionLess2, TSWFAction5, 0x48)
TW_BODILESS_ACTION(TSWFActionEquals2, TSWFAction5, 0x49)
TW_BODILESS_ACTION(TSWFActionToNumber, TSWFAction5, 0x4A)
TW_BODILESS_ACTION(TSWFActionToString, TSWFAction5, 0x4B)
TW_BODILESS_ACTION(TSWFActionPushDuplicate, TSWFAction5, 0x4C)
TW_BODILESS_ACTION(TSWFActionStackSwap, TSWFAction5, 0x4D)
TW_BODILESS_ACTION(TSWFActionGetMember, TSWFAction5, 0x4E)
TW_BODILESS_ACTION(TSWFActionSetMember, TSWFAction5, 0x4F)
TW_BODILESS_ACTION(TSWFActionIncrement, TSWFAction5, 0x50)
TW_BODILESS_ACTION(TSWFActionDecrement, TSWFAction5, 0x51)
TW_BODILESS_ACTION(TSWFActionCallMethod, TSWFAction5, 0x52)
TW_BODILESS_ACTION(TSWFActionNewMethod, TSWFAction5, 0x53)
TW_BODILESS_ACTION(TSWFActionBitAnd, TSWFAction5, 0x60)
TW_BODILESS_ACTION(TSWFActionBitOr, TSWFAction5, 0x61)
TW_BODILESS_ACTION(TSWFActionBitXor, TSWFAction5, 0x62)
TW_BODILESS_ACTION(TSWFActionBitLShift, TSWFAction5, 0x63)
TW_BODILESS_ACTION(TSWFActionBitRShift, TSWFAction5, 0x64)
TW_BODILESS_ACTION(TSWFActionBitURShift, TSWFAction5, 0x65)

// ---------------------------------------------------------------- SWF 6

TW_BODILESS_ACTION(TSWFActionInstanceOf, TSWFAction6, 0x54)
TW_BODILESS_ACTION(TSWFActionEnumerate2, TSWFAction6, 0x55)
TW_BODILESS_ACTION(TSWFActionStrictEquals, TSWFAction6, 0x66)
TW_BODILESS_ACTION(TSWFActionGreater, TSWFAction6, 0x67)
TW_BODILESS_ACTION(TSWFActionStringGreater, TSWFAction6, 0x68)

// ---------------------------------------------------------------- SWF 7

TW_BODILESS_ACTION(TSWFActionThrow, TSWFAction7, 0x2A)
TW_BODILESS_ACTION(TSWFActionCastOp, TSWFAction7, 0x2B)
TW_BODILESS_ACTION(TSWFActionImplementsOp, TSWFAction7, 0x2C)
TW_BODILESS_ACTION(TSWFActionExtends, TSWFAction7, 0x69)

// ---------------------------------------------------------------- with a body

class TSWFActionStoreRegister : public TSWFAction5 {
public:
    TSWFActionStoreRegister() : TSWFAction5(0x87) {}
    uint8_t RegisterNumber = 0;

    void CopyFieldsFrom(const TSWFAction& source) override;
    void ReadBody(TBitsEngine& be) override;
    void WriteBody(TBitsEngine& be) override;
    void LoadFromXml(const TXmlNode& node) override;
    void SaveToXml(TXmlNode node) override;
};

class TSWFActionConstantPool : public TSWFAction5 {
public:
    TSWFActionConstantPool() : TSWFAction5(0x88) {}
    std::vector<std::string> Constants;

    void CopyFieldsFrom(const TSWFAction& source) override;
    void ReadBody(TBitsEngine& be) override;
    void WriteBody(TBitsEngine& be) override;
    void LoadFromXml(const TXmlNode& node) override;
    void SaveToXml(TXmlNode node) override;
};

class TSWFActionWith : public TSWFAction5 {
public:
    TSWFActionWith() : TSWFAction5(0x94) {}
    uint16_t Size = 0;
    bool SizeGiven = false;
    int32_t StartPosition = 0;
    TMarkerSlot<TSWFOffsetMarker> LabelMarker;

    // The end of the with-block, created on first use.
    TSWFOffsetMarker& GetLabel() { return LabelMarker.GetOrCreate(false); }
    void SetBlockSize(uint16_t value) {
        Size = value;
        SizeGiven = true;
    }

    void CopyFieldsFrom(const TSWFAction& source) override;
    void ReadBody(TBitsEngine& be) override;
    void WriteBody(TBitsEngine& be) override;
    void WriteAction(TBitsEngine& be) override;
    void LoadFromXml(const TXmlNode& node) override;
    void SaveToXml(TXmlNode node) override;
};

class TSWFActionDefineFunction : public TSWFAction5 {
public:
    TSWFActionDefineFunction() : TSWFAction5(0x9B) {}
    uint16_t CodeSize = 0;
    std::string FunctionName;
    std::vector<std::string> Params;
    bool CodeSizeGiven = false;
    int32_t StartPosition = 0;
    TMarkerSlot<TSWFOffsetMarker> LabelMarker;

    // The end of the function body, created on first use.
    TSWFOffsetMarker& GetLabel() { return LabelMarker.GetOrCreate(false); }
    void SetCodeSize(uint16_t value) {
        CodeSize = value;
        CodeSizeGiven = true;
    }

    void CopyFieldsFrom(const TSWFAction& source) override;
    void ReadBody(TBitsEngine& be) override;
    void WriteBody(TBitsEngine& be) override;
    void WriteAction(TBitsEngine& be) override;
    void LoadFromXml(const TXmlNode& node) override;
    void SaveToXml(TXmlNode node) override;
};

struct TSWFFunctionParam {
    std::string Name;
    uint8_t Register = 0;  // 0: the parameter lives in a variable
    bool operator==(const TSWFFunctionParam&) const = default;
};

class TSWFActionDefineFunction2 : public TSWFAction7 {
public:
    TSWFActionDefineFunction2() : TSWFAction7(0x8E) {}
    uint16_t CodeSize = 0;
    std::string FunctionName;
    std::vector<TSWFFunctionParam> Params;
    bool PreloadArguments = false, PreloadGlobal = false, PreloadParent = false, PreloadRoot = false,
         PreloadSuper = false, PreloadThis = false;
    uint8_t RegisterCount = 0;
    bool CodeSizeGiven = false;
    bool SuppressArguments = false, SuppressSuper = false, SuppressThis = false;
    int32_t StartPosition = 0;
    TMarkerSlot<TSWFOffsetMarker> LabelMarker;

    TSWFOffsetMarker& GetLabel() { return LabelMarker.GetOrCreate(false); }
    void SetCodeSize(uint16_t value) {
        CodeSize = value;
        CodeSizeGiven = true;
    }
    void AddParam(const std::string& name, uint8_t registerNumber) { Params.push_back({name, registerNumber}); }
    uint8_t GetParamRegister(size_t index) const { return Params.at(index).Register; }
    void SetParamRegister(size_t index, uint8_t registerNumber) { Params.at(index).Register = registerNumber; }

    void CopyFieldsFrom(const TSWFAction& source) override;
    void ReadBody(TBitsEngine& be) override;
    void WriteBody(TBitsEngine& be) override;
    void WriteAction(TBitsEngine& be) override;
    void LoadFromXml(const TXmlNode& node) override;
    void SaveToXml(TXmlNode node) override;
};

class TSWFActionTry : public TSWFAction7 {
public:
    TSWFActionTry() : TSWFAction7(0x8F) {}
    bool CatchBlockFlag = false;
    bool CatchInRegisterFlag = false;
    std::string CatchName;
    uint8_t CatchRegister = 0;
    uint16_t CatchSize = 0;
    bool FinallyBlockFlag = false;
    uint16_t FinallySize = 0;
    bool SizesGiven = false;
    uint16_t TrySize = 0;
    int32_t StartPosition = 0;
    TMarkerSlot<TSWFTryOffsetMarker> TryMarker, CatchMarker, FinallyMarker;

    TSWFTryOffsetMarker& GetTryLabel() { return TryMarker.GetOrCreate(false); }
    TSWFTryOffsetMarker& GetCatchLabel() { return CatchMarker.GetOrCreate(false); }
    TSWFTryOffsetMarker& GetFinallyLabel() { return FinallyMarker.GetOrCreate(false); }
    void SetTrySize(uint16_t value) {
        TrySize = value;
        SizesGiven = true;
    }
    void SetCatchSize(uint16_t value) {
        CatchSize = value;
        SizesGiven = true;
    }
    void SetFinallySize(uint16_t value) {
        FinallySize = value;
        SizesGiven = true;
    }

    void CopyFieldsFrom(const TSWFAction& source) override;
    void ReadBody(TBitsEngine& be) override;
    void WriteBody(TBitsEngine& be) override;
    void WriteAction(TBitsEngine& be) override;
    void LoadFromXml(const TXmlNode& node) override;
    void SaveToXml(TXmlNode node) override;
};
