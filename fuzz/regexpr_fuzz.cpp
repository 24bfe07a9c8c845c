// TRegExpr on arbitrary expressions and subjects: the first byte picks the
// modifiers, the rest is the expression, a NUL, then the subject. Any
// ERegExpr is a fine outcome; a crash, a sanitizer report, a hang or a
// match span outside the subject is not.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "controls/regexpr.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const uint8_t modifiers = data[0];
    std::string rest(reinterpret_cast<const char*>(data + 1), size - 1);
    size_t split = rest.find('\0');
    std::string pattern = rest.substr(0, split);
    std::string subject = split == std::string::npos ? std::string() : rest.substr(split + 1);

    TRegExpr re;
    re.MatchLimit = 200000;
    re.SearchLimit = 2000000;
    try {
        for (int n = 1; n <= 6; ++n) re.SetModifier(n, (modifiers >> (n - 1)) & 1);
        if (modifiers & 0x40) re.SetLinePairedSeparator("");
        re.SetPattern(pattern);
        if (!re.MatchString(subject)) return 0;
        for (int g = 0; g < TRegExpr::kGroups; ++g) {
            int64_t pos = re.MatchPos(g), len = re.MatchLen(g);
            if (pos < 0) continue;
            if (pos < 1 || len < 0 || pos - 1 + len > static_cast<int64_t>(subject.size())) std::abort();
        }
        if (re.MatchPos(0) < 0) std::abort();
    } catch (const ERegExpr&) {
    }
    return 0;
}
