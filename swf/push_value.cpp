#include "swf/push_value.h"

#include <charconv>
#include <cmath>
#include <cstring>

#include "platform/errors.h"
#include "platform/mathutil.h"
#include "platform/xml.h"

namespace {

template <class T>
std::string FloatText(T value) {
    char buffer[64];
    auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value);
    if (error != std::errc()) return "0";
    return std::string(buffer, end);
}

int64_t RoundToInteger(double value) {
    if (std::isnan(value) || value >= 9.2e18 || value <= -9.2e18)
        throw EConvertError(FormatStr("%s cannot be converted to an integer", FloatText(value).c_str()));
    return RoundHalfEven(value);
}

}  // namespace

std::string SingleToText(float value) { return FloatText(value); }
std::string DoubleToText(double value) { return FloatText(value); }

bool TPushValue::IsIntegral() const {
    switch (kind_) {
        case TPushValueKind::Integer:
        case TPushValueKind::Boolean:
        case TPushValueKind::Constant8:
        case TPushValueKind::Constant16:
        case TPushValueKind::Register:
            return true;
        default:
            return false;
    }
}

int64_t TPushValue::AsInteger() const {
    switch (kind_) {
        case TPushValueKind::Single:
        case TPushValueKind::Double:
            return RoundToInteger(double_);
        case TPushValueKind::String:
            return StrToInt64(text_);
        case TPushValueKind::Empty:
        case TPushValueKind::Null:
        case TPushValueKind::Undefined:
            return 0;
        default:
            return int_;
    }
}

double TPushValue::AsDouble() const {
    switch (kind_) {
        case TPushValueKind::Single:
        case TPushValueKind::Double:
            return double_;
        case TPushValueKind::String:
            return StrToFloat(text_);
        case TPushValueKind::Empty:
        case TPushValueKind::Null:
        case TPushValueKind::Undefined:
            return 0;
        default:
            return static_cast<double>(int_);
    }
}

float TPushValue::AsSingle() const {
    if (kind_ == TPushValueKind::Single) return single_;
    return static_cast<float>(AsDouble());
}

std::string TPushValue::AsString() const {
    switch (kind_) {
        case TPushValueKind::Empty: return {};
        case TPushValueKind::Null: return "null";
        case TPushValueKind::Undefined: return "undefined";
        case TPushValueKind::Single: return SingleToText(single_);
        case TPushValueKind::Double: return DoubleToText(double_);
        case TPushValueKind::Boolean: return BoolToStr(int_ != 0);
        case TPushValueKind::String: return text_;
        default: return std::to_string(int_);
    }
}

bool TPushValue::AsBoolean() const {
    switch (kind_) {
        case TPushValueKind::String: return StrToBool(text_);
        case TPushValueKind::Single:
        case TPushValueKind::Double: return double_ != 0;
        default: return int_ != 0;
    }
}

bool TPushValue::operator==(const TPushValue& other) const {
    if (kind_ != other.kind_) return false;
    switch (kind_) {
        case TPushValueKind::Single:
            // Bit equality, so that a NaN read from a file equals itself.
            return std::memcmp(&single_, &other.single_, sizeof single_) == 0;
        case TPushValueKind::Double:
            return std::memcmp(&double_, &other.double_, sizeof double_) == 0;
        case TPushValueKind::String: return text_ == other.text_;
        default: return int_ == other.int_;
    }
}
