#include "ascompiler/containers.h"

#include <algorithm>

EVectorRangeError::EVectorRangeError(const std::string& className, int index)
    : Exception(FormatStr("%s: bounds check error. Incorrect index = %d", className.c_str(), index)), Index(index) {}

TStringTable::TStringTable() {
    for (const char* text : {"", "this", "prototype", "super", "arguments", "_global", "Object"}) Intern(text);
}

TStrId TStringTable::Intern(const std::string& text) {
    auto [it, added] = numbers_.try_emplace(text, static_cast<TStrId>(texts_.size()));
    if (added) texts_.push_back(text);
    return it->second;
}

const std::string& TStringTable::Text(TStrId id) const {
    if (id < 0 || id >= Count()) throw EVectorRangeError("TStrVector", id);
    return texts_[static_cast<size_t>(id)];
}

int TConstantPool::IndexOfOrAdd(TStrId id, size_t textLength) {
    auto found = indexes_.find(id);
    if (found != indexes_.end()) return found->second;
    // The record's count, and each string with its terminating zero.
    if (numbers_.size() >= MaxCount || bytes_ + textLength + 1 > MaxBytes) return -1;
    bytes_ += textLength + 1;
    int index = static_cast<int>(numbers_.size());
    indexes_.emplace(id, index);
    numbers_.push_back(id);
    return index;
}
