#include "controls/regexpr.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;
using R = TRegExpr;

// A node: op code and little-endian link.
Bytes Node(uint8_t op, int32_t link) {
    auto u = static_cast<uint32_t>(link);
    return {op, static_cast<uint8_t>(u), static_cast<uint8_t>(u >> 8), static_cast<uint8_t>(u >> 16),
            static_cast<uint8_t>(u >> 24)};
}

Bytes Int(int32_t v) {
    Bytes b = Node(0, v);
    return Bytes(b.begin() + 1, b.end());
}

Bytes Join(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

Bytes SetOf(const std::string& chars) {
    Bytes set(32, 0);
    for (char c : chars) set[static_cast<uint8_t>(c) >> 3] |= static_cast<uint8_t>(1 << (c & 7));
    return set;
}

std::string Span(R& re, int n) {
    if (re.MatchPos(n) < 0) return "unset";
    return std::to_string(re.MatchPos(n)) + "+" + std::to_string(re.MatchLen(n));
}

// Runs a search and gives "no", or the whole match's 1-based position and
// length ("3+2").
std::string Search(const std::string& pattern, const std::string& subject, const std::string& modifiers = "") {
    R re;
    re.SetPattern(pattern);
    uint32_t set = re.GetModifiers();
    EXPECT_TRUE(R::ParseModifiers(modifiers, set));
    for (int n = 1; n <= 6; ++n) re.SetModifier(n, (set >> (n - 1)) & 1);
    return re.MatchString(subject) ? Span(re, 0) : "no";
}

// Runs `action` and gives the ERegExpr it raises as "code message @position".
template <typename F>
std::string Raised(F action) {
    try {
        action();
    } catch (const ERegExpr& e) {
        return std::to_string(e.ErrorCode) + " " + e.Message() + " @" + std::to_string(e.CompilerErrorPos);
    }
    return "nothing raised";
}

std::string CompileError(const std::string& pattern) {
    R re;
    re.SetPattern(pattern);
    return Raised([&] { re.MatchString("x"); });
}

TEST(RegExprProgram, ClassesAndAnchoredCaseInsensitivePattern) {
    const std::string letters = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
    struct Case {
        std::string pattern, modifiers;
        Bytes program;
    } cases[] = {
        {"[ab]", "", Join({{216}, Node(R::OpBranch, 13), Node(R::OpOneOf3, 8), {'a', 'b', 'b'}, Node(R::OpEnd, 0)})},
        {"[^ab]", "", Join({{216}, Node(R::OpBranch, 13), Node(R::OpNoneOf3, 8), {'a', 'b', 'b'}, Node(R::OpEnd, 0)})},
        {"[cab-]", "", Join({{216}, Node(R::OpBranch, 42), Node(R::OpInSet, 37), SetOf("abc-"), Node(R::OpEnd, 0)})},
        {"[abcd]", "", Join({{216}, Node(R::OpBranch, 42), Node(R::OpInSet, 37), SetOf("abcd"), Node(R::OpEnd, 0)})},
        {"^[a-z]:", "i",
         Join({{216}, Node(R::OpBranch, 54), Node(R::OpBeginText, 5), Node(R::OpInSet, 37), SetOf(letters),
               Node(R::OpLiteralCI, 7), {':', 0}, Node(R::OpEnd, 0)})},
        {"a{2,}", "",
         Join({{216}, Node(R::OpBranch, 25), Node(R::OpCount, 20), Int(2), Int(R::kUnbounded), Node(R::OpLiteral, 0),
               {'a', 0}, Node(R::OpEnd, 0)})},
        {"(b)+?", "",
         Join({{216}, Node(R::OpBranch, 49), Node(R::OpLoopEntry, 27), Node(R::OpOpen + 1, 5), Node(R::OpBranch, 12),
               Node(R::OpLiteral, 7), {'b', 0}, Node(R::OpClose + 1, 5), Node(R::OpLoopLazy, 17), Int(1),
               Int(R::kUnbounded), Int(22), Node(R::OpEnd, 0)})},
    };
    for (const Case& c : cases) {
        R re;
        re.SetPattern(c.pattern);
        for (char m : c.modifiers) re.SetModifier(std::string("irsgmx").find(m) + 1, true);
        re.MatchString("");
        EXPECT_EQ(re.Program(), c.program) << c.pattern;
    }
}

TEST(RegExprSearch, DriveLetterTestOfThePathRoutine) {
    R re;
    re.SetPattern("^[a-z]:");
    re.SetModifier(1, true);
    EXPECT_TRUE(re.MatchString("C:\\temp"));
    EXPECT_TRUE(re.MatchString("c:"));
    EXPECT_FALSE(re.MatchString("\\\\server\\share"));
    EXPECT_FALSE(re.MatchString("1:"));
    EXPECT_FALSE(re.MatchString("/home/c:"));  // anchored: no later attempt
}

TEST(RegExprSearch, Semantics) {
    struct Case {
        const char* pattern;
        const char* modifiers;
        std::string subject;
        const char* expected;
    } cases[] = {
        // Braces that are no quantifier are text.
        {"a{,3}", "", "xa{,3}", "2+5"},
        {"a{x}", "", "a{x}", "1+4"},
        {"a{2,}", "", "baaaa", "2+4"},
        {"ba{0}c", "", "bc", "1+2"},
        // Modifier groups hold until their group closes.
        {"(?i)abc", "", "xABC", "2+3"},
        {"(x(?i)y)z", "", "xYz", "1+3"},
        {"(x(?i)y)z", "", "xYZ", "no"},
        {"a(?i)b|c", "", "C", "1+1"},
        {"(?i)a(?-i)b", "", "AB", "no"},
        {"a b # comment", "x", "ab", "1+2"},
        {"(?#note)ab", "", "ab", "1+2"},
        // "$" at the terminating NUL; a NUL ends the subject.
        {"$", "", "abc", "4+0"},
        {"c$", "", std::string("abc\0d", 5), "3+1"},
        // Greedy and lazy forms, also with modifier g off.
        {"<.+>", "", "<a><b>", "1+6"},
        {"<.+?>", "", "<a><b>", "1+3"},
        {"<.+>", "-g", "<a><b>", "1+3"},
        {"(ab)*?c", "", "ababc", "1+5"},
        {"(ab){1,2}?", "", "abab", "1+2"},
        {"x(ab)??", "", "xab", "1+1"},
        // Loop state restored when a later choice is retried.
        {"(a|ab){1,2}c", "", "abac", "1+4"},
        {"((a|ab){1,2}x){2}", "", "abaxax", "1+6"},
        // Line modes: CR LF is one break; "." without s stops at breaks.
        {"^b", "m", "a\r\nb", "4+1"},
        {"a$", "m", "a\r\nb", "1+1"},
        {"\\r$", "m", "a\r\nb", "no"},
        {"^\\n", "m", "a\r\nb", "no"},
        {"$\\r", "m", "a\r\nb", "2+1"},
        {"(?m)$\\n", "", "a\nb", "2+1"},  // line mode from inside the expression reaches the start set
        {"a.b", "-s", "a\nb", "no"},
        {"a.+", "-s", "abc\r\nd", "1+3"},
        // Escapes and classes.
        {"\\x41\\x{42}\\t", "", "AB\t", "1+3"},
        {"a\\x{}", "", "a", "no"},  // a NUL is the subject's end, never a character
        {"a[\\x00b]", "", "a", "no"},
        {"a\\x{}?b", "", "ab", "1+2"},       // an escaped NUL keeps the program's layout
        {"[\\n]\\x{}04c{}2", "", "b", "no"},
        {"[\\d.]+", "", "v1.25x", "2+4"},
        {"[a\\-z]+", "", "b-az", "2+3"},
        {"[]a]+", "", "x]a]", "2+3"},
        {"[\\D]", "", "1D", "2+1"},  // \D in a class is the letter
        {"\\w+\\s\\W", "", "ab c  !", "4+3"},
        {"\\bb\\B", "", "ab bc", "4+1"},
        {"[\xe0-\xff]+", "", "\xb8\xe0", "1+2"},  // modifier r: the 1251 Yo joins the lower-case run
        {"[\xe0-\xff]+", "-r", "\xb8\xe0", "2+1"},
        {"\xc9t\xc9", "i", "\xe9T\xe9", "1+3"},  // the code page's own case pairs
        {"\xff\x9a\x9c\x9e", "i", "\x9f\x8a\x8c\x8e", "1+4"},  // y-diaeresis, s-caron, oe, z-caron
        {"[\x9f\x8a]+", "i", "\xff\x9a", "1+2"},
        // Backreferences, also quantified and caseless.
        {"(a+)b\\1", "", "aabaa", "1+5"},
        {"(ab)\\1{2}", "", "abababab", "1+6"},
        {"(a)\\1*?b", "", "aaab", "1+4"},
        {"(ab)\\1", "i", "abAB", "1+4"},
        {"(x)?y\\1", "", "y", "no"},
        // Inside its own group a backreference is the group's last completed
        // pass, and a pass that matches nothing ends its loop (as in Perl).
        {"(a|b\\1)*", "", "ab", "1+1"},
        {"(a|b\\1)+", "", "aba", "1+3"},
        {"(a|\\1)+$", "", "ab", "no"},
        {"(a?)(b|\\1)*c", "", "bc", "1+2"},
        {"(a?)(\\1){2,}c", "", "c", "1+1"},
        // One-character repeats over the whole remainder, with a look-ahead literal.
        {".*c", "", "abcabc", "1+6"},
        {"a.*?c", "", "abcabc", "1+3"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Search(c.pattern, c.subject, c.modifiers), c.expected) << c.pattern << " on " << c.subject;
}

TEST(RegExprSearch, CapturesOfGroupsThatTookPart) {
    R re;
    re.SetPattern("(a)|(b)(c)?");
    ASSERT_TRUE(re.MatchString("xb"));
    EXPECT_EQ(Span(re, 0), "2+1");
    EXPECT_EQ(Span(re, 1), "unset");
    EXPECT_EQ(Span(re, 2), "2+1");
    EXPECT_EQ(Span(re, 3), "unset");
    // The last pass of a repeated group holds.
    re.SetPattern("(?:x)?((a)|(b))+");
    EXPECT_THROW(re.MatchString("ab"), ERegExpr);  // "(?:" is no group here
    re.SetPattern("((a)|(b))+");
    ASSERT_TRUE(re.MatchString("ab"));
    EXPECT_EQ(Span(re, 1), "2+1");
    EXPECT_EQ(Span(re, 2), "1+1");
    EXPECT_EQ(Span(re, 3), "2+1");
    // A failed search leaves the captures cleared; RunFrom searches from an offset.
    EXPECT_FALSE(re.MatchString("x"));
    EXPECT_EQ(Span(re, 0), "unset");
    re.SetInputString("abxab");
    ASSERT_TRUE(re.RunFrom(3));
    EXPECT_EQ(Span(re, 0), "4+2");
    EXPECT_FALSE(re.RunFrom(7));
}

TEST(RegExprState, ProgramFollowsExpressionModifiersAndPairedBreak) {
    R re;
    re.SetPattern("a.b");
    EXPECT_TRUE(re.MatchString("a\nb"));
    re.SetModifier(3, false);  // noticed by the next search
    EXPECT_FALSE(re.MatchString("a\nb"));
    EXPECT_EQ(re.Program()[13], R::OpAnyInLine);

    re.SetPattern("^b");
    re.SetModifier(5, true);
    EXPECT_TRUE(re.MatchString("a\r\nb"));
    re.SetLinePairedSeparator("");
    EXPECT_TRUE(re.Program().empty());
    re.LineSeparators = "";
    EXPECT_FALSE(re.MatchString("a\r\nb"));  // no separators: "^" is the subject start
    EXPECT_EQ(re.GetLinePairedSeparator(), "");

    // An empty expression leaves no program, even after an earlier compile.
    re.SetPattern("");
    EXPECT_EQ(Raised([&] { re.MatchString("a"); }), "1003 TRegExpr(exec): Not Assigned Expression Property @0");
    EXPECT_EQ(re.LastError(), 1003);

    // A compile error keeps the text: the next search raises again.
    re.SetPattern("a(");
    EXPECT_THROW(re.MatchString("a"), ERegExpr);
    EXPECT_TRUE(re.Program().empty());
    EXPECT_EQ(Raised([&] { re.MatchString("a"); }), "103 TRegExpr(comp): ParseReg Unmatched () (pos 2) @2");
}

TEST(RegExprErrors, EveryRaisedErrorWithTextAndPosition) {
    const std::string groups15 = "(((((((((((((((a)))))))))))))))";
    std::string loops11;
    for (int i = 0; i < 11; ++i) loops11 += "(";
    loops11 += "a";
    for (int i = 0; i < 11; ++i) loops11 += "){1,2}";
    std::string groups14;
    for (int i = 0; i < 14; ++i) groups14 += "(";
    groups14 += "a";
    for (int i = 0; i < 14; ++i) groups14 += ")";

    struct Case {
        std::string label, expected, raised;
    } cases[] = {
        {"fifteenth group", "102 TRegExpr(comp): ParseReg Too Many () (pos 15) @15", CompileError(groups15)},
        {"group without )", "103 TRegExpr(comp): ParseReg Unmatched () (pos 2) @2", CompileError("(a")},
        {"stray )", "104 TRegExpr(comp): ParseReg Unmatched () (pos 1) @1", CompileError("a)")},
        {"empty operand", "106 TRegExpr(comp): *+ Operand Could Be Empty (pos 2) @2", CompileError("()*")},
        {"zero-width operand", "106 TRegExpr(comp): *+ Operand Could Be Empty (pos 2) @2", CompileError("\\b+")},
        {"maybe-empty counted operand", "106 TRegExpr(comp): *+ Operand Could Be Empty (pos 8) @8",
         CompileError("(a{0,2})*")},
        {"nested quantifier", "107 TRegExpr(comp): Nested *?+ (pos 2) @2", CompileError("a**")},
        {"bad hex digit", "108 TRegExpr(comp): Bad Hex Digit (pos 2) @2", CompileError("\\xg1")},
        {"bad hex digit in braces", "108 TRegExpr(comp): Bad Hex Digit (pos 4) @4", CompileError("\\x{4g}")},
        {"reversed range", "109 TRegExpr(comp): Invalid [] Range (pos 3) @3", CompileError("[z-a]")},
        {"trailing \\ in class", "110 TRegExpr(comp): Parse Atom Trailing \\ (pos 3) @3", CompileError("[a\\")},
        {"short hex", "111 TRegExpr(comp): No Hex Code After \\x (pos 3) @3", CompileError("\\x4")},
        {"unclosed hex braces", "111 TRegExpr(comp): No Hex Code After \\x (pos 5) @5", CompileError("\\x{41")},
        {"hex too big", "112 TRegExpr(comp): Hex Code After \\x Is Too Big (pos 5) @5", CompileError("\\x{100}")},
        {"unclosed class", "113 TRegExpr(comp): Unmatched [] (pos 4) @4", CompileError("[abc")},
        {"leading quantifier", "115 TRegExpr(comp): ?+*{ Follows Nothing (pos 0) @0", CompileError("*a")},
        {"quantifier after |", "115 TRegExpr(comp): ?+*{ Follows Nothing (pos 2) @2", CompileError("a|+")},
        {"trailing \\", "116 TRegExpr(comp): Trailing \\ (pos 2) @2", CompileError("a\\")},
        {"nine-digit brace", "122 TRegExpr(comp): BRACES Argument Too Big (pos 11) @11", CompileError("a{123456789}")},
        {"brace min over max", "124 TRegExpr(comp): BRACE Min Param Greater then Max (pos 5) @5",
         CompileError("a{3,2}")},
        {"unclosed comment", "125 TRegExpr(comp): Unclosed (?#Comment) (pos 6) @6", CompileError("(?#abc")},
        {"unknown modifier", "127 TRegExpr(comp): Urecognized Modifier (pos 3) @3", CompileError("(?q)a")},
        {"unclosed modifier group", "127 TRegExpr(comp): Urecognized Modifier (pos 3) @3", CompileError("(?i")},
        {"non-capturing group", "129 TRegExpr(comp): Non-Capturing Group (?:...) Is Not Supported (pos 1) @1",
         CompileError("(?:a)")},
        {"lookahead",
         "130 TRegExpr(comp): Lookahead And Lookbehind (?=, (?!, (?<=, (?<! Are Not Supported (pos 2) @2",
         CompileError("a(?=b)")},
        {"lookbehind",
         "130 TRegExpr(comp): Lookahead And Lookbehind (?=, (?!, (?<=, (?<! Are Not Supported (pos 1) @1",
         CompileError("(?<!b)a")},
        {"control verb", "131 TRegExpr(comp): Control Verbs Like (*FAIL) Are Not Supported (pos 1) @1",
         CompileError("(*FAIL)")},
        {"missing group", "132 TRegExpr(comp): Backreference To A Group That Does Not Exist (pos 4) @4",
         CompileError("(a)\\2")},
        {"embedded NUL", "133 TRegExpr(comp): NUL Character In Expression (write \\x00) (pos 1) @1",
         CompileError(std::string("a\0b", 3))},
        {"equal paired separators",
         "128 TRegExpr(comp): LinePairedSeparator must countain two different chars or no chars at all (pos 0) @0",
         Raised([] { R().SetLinePairedSeparator("\n\n"); })},
        {"three paired separators",
         "128 TRegExpr(comp): LinePairedSeparator must countain two different chars or no chars at all (pos 0) @0",
         Raised([] { R().SetLinePairedSeparator("abc"); })},
        {"no expression", "1003 TRegExpr(exec): Not Assigned Expression Property @0",
         Raised([] { R().MatchString("a"); })},
        {"no subject", "1005 TRegExpr(exec): No Input String Specified @0",
         Raised([] {
             R re;
             re.SetPattern("a");
             re.RunFrom(1);
         })},
        {"offset 0", "1006 TRegExpr(exec): Offset Must Be Greater Then 0 @0",
         Raised([] {
             R re;
             re.SetPattern("a");
             re.SetInputString("a");
             re.RunFrom(0);
         })},
        {"modifier 7", "1013 Unknown error @0", Raised([] { R().SetModifier(7, true); })},
        {"modifier 0 read", "1013 Unknown error @0", Raised([] { R().GetModifier(0); })},
        {"eleventh loop level", "1014 TRegExpr(exec): Loop Stack Exceeded @0",
         Raised([&] {
             R re;
             re.SetPattern(loops11);
             re.MatchString("a");
         })},
    };
    for (const Case& c : cases) EXPECT_EQ(c.raised, c.expected) << c.label;

    // Fourteen groups and ten loop levels are allowed.
    EXPECT_EQ(Search(groups14, "xa"), "2+1");
    EXPECT_EQ(Search(loops11.substr(1, loops11.size() - 7), "aa"), "1+2");
    // Texts of the codes nothing here raises.
    R re;
    EXPECT_EQ(re.ErrorText(0), "No errors");
    EXPECT_EQ(re.ErrorText(1007), "TRegExpr(exec): ExecNext Without Exec[Pos]");
    EXPECT_EQ(re.ErrorText(2000), "TRegExpr(misc): Bad p-code imported");
    EXPECT_EQ(re.ErrorText(55), "Unknown error");
}

// Patterns that explode a backtracking matcher: each gives a result or a
// clear error, and none grows the native stack with the subject.
TEST(RegExprLimits, CatastrophicPatternsOnAMegabyte) {
    const std::string as(1 << 20, 'a');
    // Linear, but one choice point per character.
    EXPECT_EQ(Search("(a|b)*c", as + "c"), "1+" + std::to_string(as.size() + 1));
    EXPECT_EQ(Search("^(((a|b)+)+)+$", as), "1+" + std::to_string(as.size()));
    EXPECT_EQ(Search("^(a|b){1,2000000}?$", as), "1+" + std::to_string(as.size()));
    // Exponential: stopped by the match limit.
    const std::string limit = "1016 TRegExpr(exec): Match Limit Exceeded @0";
    R re;
    re.SetPattern("^(((a+)+)+)+$");
    EXPECT_EQ(Raised([&] { re.MatchString(as + "c"); }), limit);
    EXPECT_EQ(Span(re, 0), "unset");
    re.MatchLimit = 100000;
    re.SetPattern("(a+)+b");
    EXPECT_EQ(Raised([&] { re.MatchString("b" + as); }), limit);
    re.SetPattern("(a|aa)+b");
    EXPECT_EQ(Raised([&] { re.MatchString("b" + as); }), limit);
    // A body that can match empty through a backreference ends its loop at
    // the first empty pass instead of spinning to the limit.
    re.MatchLimit = 10000000;
    re.SetPattern("(a|\\1)+$");
    EXPECT_FALSE(re.MatchString("a" + std::string(1000, 'b')));
    // The stack's memory has a ceiling of its own.
    R deep;
    deep.StackLimit = 1 << 20;
    deep.SetPattern("(a|b)*c");
    EXPECT_EQ(Raised([&] { deep.MatchString(as + "c"); }),
              "1017 TRegExpr(exec): Backtracking Stack Limit Exceeded @0");
    EXPECT_EQ(Search("(a|b)*c", as.substr(0, 1000) + "c"), "1+1001");
    // Cheap per attempt, but retried at every start: the search's own limit.
    R quadratic;
    quadratic.SetPattern("(a|b)*[cd]");
    EXPECT_FALSE(quadratic.MatchString(as.substr(0, 2000)));
    quadratic.SearchLimit = 100000;
    EXPECT_EQ(Raised([&] { quadratic.MatchString(as.substr(0, 2000)); }), limit);
    EXPECT_FALSE(quadratic.MatchString(as.substr(0, 100)));  // the count starts anew
    // Long chains of optional pieces, zero-width loop bodies among them.
    std::string optional, lazyAnchors;
    for (int i = 0; i < 20000; ++i) {
        optional += "x?";
        lazyAnchors += "^?";
    }
    EXPECT_EQ(Search(optional + "a", "xxa"), "1+3");
    EXPECT_EQ(Search(lazyAnchors + "a", "ba", "-g"), "2+1");
    // Deep nesting ends at the fifteenth group.
    EXPECT_EQ(CompileError(std::string(100000, '(')).substr(0, 4), "102 ");
}

}  // namespace
