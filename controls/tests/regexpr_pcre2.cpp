// TRegExpr judged by PCRE2 (the interpreter, no JIT): generated patterns of
// the grammar both share, run on generated subjects with the options set
// alike, must give the same match result and the same whole-match and group
// spans.
//
// What differs by design is kept out of the generator or mapped:
// - "$" and "\Z" match at the subject's end only here: PCRE2 runs with
//   PCRE2_DOLLAR_ENDONLY and gets "\z" for "\Z".
// - Line mode (modifier m) breaks at CR, LF and CR LF, and "^" also matches
//   after a break at the very end: PCRE2_NEWLINE_ANYCRLF and
//   PCRE2_ALT_CIRCUMFLEX. A CR LF pair is one break here, so neither "^" nor
//   "$" matches between its halves; subjects hold no CR LF pair.
// - Modifier s is on by default here: PCRE2_DOTALL unless it is off.
// - A quantifier on an atom that may match nothing ("()*", "\b+", "(a?)+",
//   "^{2}") is a compile error here; "a{2}{3}" too. Patterns that either side
//   rejects are counted and skipped.
// - "\D", "\S", "\W" inside a class are the letters themselves here; a
//   backreference inside its own group or ahead of it, more than 14 groups,
//   "(?:", possessive quantifiers, modifier x, modifier r with ranges above
//   code 191, and "\v" in subjects are left out.
// - A loop whose body matches an empty backreference repeats until the match
//   limit here (PCRE2 stops empty iterations); such runs are counted and
//   skipped.
#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <gtest/gtest.h>

#include <random>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "controls/regexpr.h"

namespace {

struct Pattern {
    std::string ours, theirs;
    void Add(const std::string& both) {
        ours += both;
        theirs += both;
    }
    void Add(const std::string& mine, const std::string& pcre) {
        ours += mine;
        theirs += pcre;
    }
    void Add(const Pattern& other) {
        ours += other.ours;
        theirs += other.theirs;
    }
};

class Generator {
public:
    explicit Generator(uint32_t seed) : rng_(seed) {}

    Pattern Expression() {
        groups_ = 0;
        closed_.clear();
        return Alternatives(0);
    }

    std::string Subject() {
        static const std::string alphabet = "aaabbbcccABC1_ .-\n\r";
        std::string s;
        for (int n = Pick(11); n > 0; --n) {
            char c = alphabet[Pick(static_cast<int>(alphabet.size()))];
            if (c == '\n' && !s.empty() && s.back() == '\r') c = 'a';
            s += c;
        }
        return s;
    }

    int Pick(int n) { return static_cast<int>(rng_() % static_cast<uint32_t>(n)); }

private:
    Pattern Alternatives(int depth) {
        Pattern p = Sequence(depth);
        for (int n = Pick(5) == 0 ? 1 + Pick(2) : 0; n > 0; --n) {
            p.Add("|");
            p.Add(Sequence(depth));
        }
        return p;
    }

    Pattern Sequence(int depth) {
        Pattern p;
        for (int n = 1 + Pick(4); n > 0; --n) p.Add(Piece(depth));
        return p;
    }

    Pattern Piece(int depth) {
        Pattern p = Atom(depth);
        if (Pick(5) < 2) {
            static const char* quantifiers[] = {"*", "+", "?", "{2}", "{1,2}", "{0,2}", "{2,}", "{1,}", "{0}"};
            p.Add(quantifiers[Pick(9)]);
            if (Pick(3) == 0) p.Add("?");
        }
        return p;
    }

    Pattern Atom(int depth) {
        Pattern p;
        switch (Pick(16)) {
        case 0: case 1: case 2: case 3:
            p.Add(std::string(1, "abc"[Pick(3)]));
            break;
        case 4: p.Add(Pick(2) ? "ab" : "b c"); break;
        case 5: p.Add("."); break;
        case 6: case 7: p.Add(Class()); break;
        case 8: case 9:
            if (depth < 3 && groups_ < 6) {
                int number = ++groups_;
                p.Add("(");
                p.Add(Alternatives(depth + 1));
                p.Add(")");
                closed_.push_back(number);
            } else {
                p.Add("a");
            }
            break;
        case 10: {
            static const char* escapes[] = {"\\d", "\\w", "\\s", "\\D", "\\W", "\\S", "\\.", "\\x61", "\\x{42}", "\\-"};
            p.Add(escapes[Pick(10)]);
            break;
        }
        case 11: {
            static const char* assertions[] = {"^", "$", "\\b", "\\B", "\\A", "\\Z"};
            int k = Pick(6);
            if (k == 5)
                p.Add("\\Z", "\\z");
            else
                p.Add(assertions[k]);
            break;
        }
        case 12:
            if (!closed_.empty())
                p.Add("\\" + std::to_string(closed_[Pick(static_cast<int>(closed_.size()))]));
            else
                p.Add("c");
            break;
        case 13: {
            static const char* modifiers[] = {"(?i)", "(?-i)", "(?s)", "(?-s)", "(?m)", "(?-m)", "(?is)", "(?i-s)"};
            p.Add(modifiers[Pick(8)]);
            break;
        }
        default: p.Add(std::string(1, "AB1_ -"[Pick(6)])); break;
        }
        return p;
    }

    std::string Class() {
        static const char* members[] = {"a", "b", "c", "a-c", "A-C", "\\d", "\\w", "\\s", ".", "\\]", "-", "_", "1-3", "\\n"};
        std::string c = "[";
        if (Pick(3) == 0) c += "^";
        if (Pick(8) == 0) c += "]";
        for (int n = 1 + Pick(3); n > 0; --n) c += members[Pick(14)];
        return c + "]";
    }

    std::mt19937 rng_;
    int groups_ = 0;
    std::vector<int> closed_;
};

std::string Show(const std::string& s) {
    std::string out;
    for (char c : s) {
        if (c == '\n') out += "\\n";
        else if (c == '\r') out += "\\r";
        else out += c;
    }
    return out;
}

// The first patterns with a subject each are kept as the fuzzer's first
// inputs, in its form: the modifier bits (1 for i, 4 for s, 16 for m), the
// expression, a NUL, the subject.
constexpr int kSeeds = 200;

void WriteSeed(int n, int modifiers, const std::string& pattern, const std::string& subject) {
    static const std::filesystem::path folder = [] {
        std::filesystem::path path = std::filesystem::path(TW_FIXTURE_DIR) / "regexpr-seeds";
        std::filesystem::remove_all(path);
        std::filesystem::create_directories(path);
        return path;
    }();
    std::ofstream out(folder / (std::to_string(n) + ".regex"), std::ios::binary);
    out << static_cast<char>(modifiers) << pattern << '\0' << subject;
}

TEST(RegExprAgainstPcre2, GeneratedPatternsAndSubjects) {
    Generator gen(20261210);
    pcre2_compile_context* context = pcre2_compile_context_create(nullptr);
    ASSERT_NE(context, nullptr);
    pcre2_set_newline(context, PCRE2_NEWLINE_ANYCRLF);

    int compared = 0, matched = 0, rejected = 0, limited = 0, patterns = 0;
    std::vector<std::string> mismatches;
    for (int round = 0; round < 4000 && compared < 1200; ++round) {
        Pattern pattern = gen.Expression();
        const bool caseless = gen.Pick(3) == 0, dotAll = gen.Pick(3) != 0, multiLine = gen.Pick(3) == 0;

        uint32_t options = PCRE2_DOLLAR_ENDONLY | PCRE2_ALT_CIRCUMFLEX;
        if (caseless) options |= PCRE2_CASELESS;
        if (dotAll) options |= PCRE2_DOTALL;
        if (multiLine) options |= PCRE2_MULTILINE;
        int errorCode;
        PCRE2_SIZE errorOffset;
        pcre2_code* code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.theirs.c_str()), pattern.theirs.size(),
                                         options, &errorCode, &errorOffset, context);
        TRegExpr re;
        re.SetPattern(pattern.ours);
        re.SetModifier(1, caseless);
        re.SetModifier(3, dotAll);
        re.SetModifier(5, multiLine);
        bool oursCompiles = true;
        try {
            re.MatchString("");
        } catch (const ERegExpr& e) {
            oursCompiles = e.ErrorCode >= 1000;  // run-time errors are judged per subject below
        }
        if (code == nullptr || !oursCompiles) {
            ++rejected;
            if (code != nullptr) pcre2_code_free(code);
            continue;
        }
        ++patterns;
        uint32_t groups = 0;
        pcre2_pattern_info(code, PCRE2_INFO_CAPTURECOUNT, &groups);
        pcre2_match_data* data = pcre2_match_data_create_from_pattern(code, nullptr);
        for (int s = 0; s < 4; ++s) {
            const std::string subject = gen.Subject();
            if (s == 0 && patterns <= kSeeds) WriteSeed(patterns, caseless | dotAll << 2 | multiLine << 4, pattern.ours, subject);
            int rc = pcre2_match(code, reinterpret_cast<PCRE2_SPTR>(subject.c_str()), subject.size(), 0, 0, data,
                                 nullptr);
            bool ours;
            try {
                ours = re.MatchString(subject);
            } catch (const ERegExpr& e) {
                ++limited;
                continue;
            }
            ASSERT_TRUE(rc >= 0 || rc == PCRE2_ERROR_NOMATCH) << "PCRE2 error " << rc << " on " << pattern.theirs;
            ++compared;
            std::ostringstream ourSpans, theirSpans;
            ourSpans << (ours ? "match" : "no match");
            theirSpans << (rc >= 0 ? "match" : "no match");
            if (rc >= 0) matched += ours;
            if (rc >= 0 && ours) {
                PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(data);
                for (uint32_t g = 0; g <= groups && g < 15; ++g) {
                    int64_t pos = re.MatchPos(static_cast<int>(g));
                    ourSpans << " " << (pos < 0 ? std::string("-") : std::to_string(pos - 1) + ".." +
                                                                         std::to_string(pos - 1 + re.MatchLen(static_cast<int>(g))));
                    theirSpans << " " << (ovector[2 * g] == PCRE2_UNSET
                                              ? std::string("-")
                                              : std::to_string(ovector[2 * g]) + ".." + std::to_string(ovector[2 * g + 1]));
                }
            }
            if (ourSpans.str() != theirSpans.str() && mismatches.size() < 20)
                mismatches.push_back("/" + Show(pattern.ours) + "/ " + (caseless ? "i" : "") + (dotAll ? "s" : "") +
                                     (multiLine ? "m" : "") + " on \"" + Show(subject) + "\": ours " + ourSpans.str() +
                                     ", PCRE2 " + theirSpans.str());
        }
        pcre2_match_data_free(data);
        pcre2_code_free(code);
    }
    pcre2_compile_context_free(context);

    std::string report;
    for (const std::string& m : mismatches) report += m + "\n";
    EXPECT_TRUE(mismatches.empty()) << report;
    EXPECT_GE(compared, 300);
    EXPECT_GE(matched, compared / 5) << "too few matches to judge the spans";
    EXPECT_LE(limited, compared / 50) << "too many runs stopped by the match limit";
    std::printf("%d pairs compared (%d matched) over %d patterns; %d patterns rejected by either side, %d runs limited\n",
                compared, matched, patterns, rejected, limited);
}

}  // namespace
