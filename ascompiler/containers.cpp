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

int TConstantPool::IndexOfOrAdd(TStrId id) {
    auto [it, added] = indexes_.try_emplace(id, static_cast<int>(numbers_.size()));
    if (added) numbers_.push_back(id);
    return it->second;
}
