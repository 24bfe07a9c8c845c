// The compiler's own tables: the string table that interns every identifier
// and literal of a movie's compilations, the constant pool of one compile
// unit, and the errors of the compiler's lists and dictionaries. Plain lists
// and maps are the standard library's.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/errors.h"

// An interned string's number: its position in the string table, stable for
// the life of the compile context.
using TStrId = int32_t;

class EVectorRangeError : public Exception {
public:
    EVectorRangeError(const std::string& className, int index);
    int Index;
};
class EDictKeyNotFound : public Exception {
public:
    EDictKeyNotFound() : Exception("TDict.GetItem: Key not found.") {}
};

class TStringTable {
public:
    // Numbers 0 to 6 are fixed: "", "this", "prototype", "super",
    // "arguments", "_global", "Object".
    TStringTable();

    TStrId Intern(const std::string& text);
    const std::string& Text(TStrId id) const;
    int Count() const { return static_cast<int>(texts_.size()); }

    static constexpr TStrId Empty = 0;
    static constexpr TStrId This = 1;
    static constexpr TStrId Prototype = 2;
    static constexpr TStrId Super = 3;
    static constexpr TStrId Arguments = 4;
    static constexpr TStrId Global = 5;
    static constexpr TStrId Object = 6;

private:
    std::vector<std::string> texts_;
    std::unordered_map<std::string, TStrId> numbers_;
};

// The strings one compile unit pushes by index; a number's position is its
// constant index.
class TConstantPool {
public:
    // The index of the string, added when new; -1 when the pool's record
    // would grow past what its 16-bit length holds (the string is then
    // pushed as it is).
    int IndexOfOrAdd(TStrId id, size_t textLength);
    static constexpr size_t MaxBytes = 0xFFFF;
    static constexpr size_t MaxCount = 0xFFFF;
    const std::vector<TStrId>& Numbers() const { return numbers_; }
    bool Empty() const { return numbers_.empty(); }

private:
    std::vector<TStrId> numbers_;
    std::unordered_map<TStrId, int> indexes_;
    size_t bytes_ = 2;
};
