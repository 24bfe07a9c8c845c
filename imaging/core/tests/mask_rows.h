// A selection mask as text for the tests: rows of 'x' (set) and '-', and
// the number of set pixels.
#pragma once

#include <string>
#include <vector>

#include "imaging/core/ie_mask.h"

inline std::vector<std::string> MaskRows(TIEMask& mask) {
    std::vector<std::string> rows;
    for (int32_t y = 0; y < mask.Height(); ++y) {
        std::string row;
        for (int32_t x = 0; x < mask.Width(); ++x) row += mask.GetPixel(x, y) ? 'x' : '-';
        rows.push_back(row);
    }
    return rows;
}

inline int CountSet(TIEMask& mask) {
    int n = 0;
    for (int32_t y = 0; y < mask.Height(); ++y)
        for (int32_t x = 0; x < mask.Width(); ++x) n += mask.GetPixel(x, y) != 0;
    return n;
}
