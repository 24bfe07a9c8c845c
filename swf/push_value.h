// The value of one entry of a Push action: a small variant of our own that
// holds what a script can push (text, numbers, booleans, null, undefined,
// constant-pool references and registers) and converts between those forms
// the way the push writer and the XML form need. Conversions that have no
// answer raise EConvertError; texts of numbers always use '.'.
#pragma once

#include <cstdint>
#include <string>

enum class TPushValueKind : uint8_t {
    Empty,
    Null,
    Undefined,
    Integer,
    Single,
    Double,
    Boolean,
    String,
    Constant8,
    Constant16,
    Register,
};

class TPushValue {
public:
    TPushValue() = default;
    TPushValue(int value) : kind_(TPushValueKind::Integer), int_(value) {}
    TPushValue(int64_t value) : kind_(TPushValueKind::Integer), int_(value) {}
    TPushValue(double value) : kind_(TPushValueKind::Double), double_(value) {}
    TPushValue(float value) : kind_(TPushValueKind::Single), double_(value), single_(value) {}
    TPushValue(bool value) : kind_(TPushValueKind::Boolean), int_(value ? 1 : 0) {}
    TPushValue(std::string value) : kind_(TPushValueKind::String), text_(std::move(value)) {}
    TPushValue(const char* value) : kind_(TPushValueKind::String), text_(value) {}

    static TPushValue Null() { return TPushValue(TPushValueKind::Null, 0); }
    static TPushValue Undefined() { return TPushValue(TPushValueKind::Undefined, 0); }
    static TPushValue Constant8(uint8_t index) { return TPushValue(TPushValueKind::Constant8, index); }
    static TPushValue Constant16(uint16_t index) { return TPushValue(TPushValueKind::Constant16, index); }
    static TPushValue Register(uint8_t number) { return TPushValue(TPushValueKind::Register, number); }

    TPushValueKind Kind() const { return kind_; }
    bool IsEmpty() const { return kind_ == TPushValueKind::Empty; }
    bool IsText() const { return kind_ == TPushValueKind::String; }
    // Integers, booleans, pool references and registers: the number they hold.
    bool IsIntegral() const;

    // Floats are rounded half to even; texts are parsed; booleans give 0 or 1;
    // empty, null and undefined give 0.
    int64_t AsInteger() const;
    double AsDouble() const;
    // A 32-bit float keeps its exact bits (a signalling NaN included).
    float AsSingle() const;
    // Numbers in their shortest exact form with '.'; booleans "True"/"False";
    // null and undefined by those names; empty as "".
    std::string AsString() const;
    bool AsBoolean() const;

    bool operator==(const TPushValue& other) const;

private:
    TPushValue(TPushValueKind kind, int64_t number) : kind_(kind), int_(number) {}

    TPushValueKind kind_ = TPushValueKind::Empty;
    int64_t int_ = 0;
    double double_ = 0;
    float single_ = 0;
    std::string text_;
};

// Text of a float in its shortest form that reads back to the same float.
std::string SingleToText(float value);
std::string DoubleToText(double value);
