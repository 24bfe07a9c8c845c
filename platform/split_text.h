// Splitting text at a separator character, as the dotted names of the
// compiler and the version texts of the SWF model need it.
#pragma once

#include <string>
#include <vector>

// The pieces between the separators ("a..b" gives "a", "", "b"; "" gives one
// empty piece).
inline std::vector<std::string> SplitText(const std::string& text, char separator) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        size_t at = text.find(separator, start);
        parts.push_back(text.substr(start, at == std::string::npos ? std::string::npos : at - start));
        if (at == std::string::npos) return parts;
        start = at + 1;
    }
}
