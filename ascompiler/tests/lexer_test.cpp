// The lexer's longest-match and trailing-context behaviour, token by token.
#include <gtest/gtest.h>

#include <cstdio>

#include "ascompiler/lexer.h"
#include "ascompiler/tokens.h"
#include "movie/compile_context.h"

namespace {

TMemoryStream StreamOf(const std::string& text) { return TMemoryStream(std::vector<uint8_t>(text.begin(), text.end())); }

std::unique_ptr<TStream> NoIncludes(const std::string& name) {
    throw EActionCompileError("Include file \"" + name + "\" not found.");
}

// One word per token: id:x str:x num:x op=kind listing:x bad 'c' or #number.
std::string Describe(TStringTable& strings, int token, const TTokenValue& value) {
    char buffer[64];
    switch (token) {
        case tkIdent: return "id:" + strings.Text(value.Id);
        case tkString: return "str:" + strings.Text(value.Id);
        case tkNumber: std::snprintf(buffer, sizeof buffer, "num:%.17g", value.Number); return buffer;
        case tkAssignOp: return "op=" + std::to_string(value.Kind);
        case tkListing: return "listing:" + value.Text;
        case tkMalformedNumber: return "bad";
        default: break;
    }
    if (token < 256) return std::string("'") + static_cast<char>(token) + "'";
    return "#" + std::to_string(token);
}

std::string Tokens(const std::string& source, TStream* echo = nullptr) {
    TStringTable strings;
    TMemoryStream stream = StreamOf(source);
    TLexer lexer(strings, stream, NoIncludes, echo);
    std::string result;
    TTokenValue value;
    for (int token; (token = lexer.NextToken(value)) != tkEnd;) {
        if (!result.empty()) result += ' ';
        result += Describe(strings, token, value);
    }
    return result;
}

struct TLexCase {
    const char* Source;
    const char* Expected;
};

TEST(Lexer, TokensOfTheScannerRules) {
    const TLexCase cases[] = {
        // Numbers: the character after a literal picks octal or decimal.
        {"x = 010;", "id:x '=' num:10 ';'"},
        {"x = 09;", "id:x '=' num:9 ';'"},
        {"x = 010and y;", "id:x '=' num:8 #309 id:y ';'"},
        {"09a", "bad id:a"},
        {"07777777777a", "num:1073741823 id:a"},
        {"017777777777a", "bad id:a"},  // 0, 1 and ten 7s: the lower digits' sum is too large first
        {"0 0", "num:0 num:0"},
        {"012.5;", "num:12.5 ';'"},
        {"010e1;", "num:100 ';'"},
        {"1e5;", "num:100000 ';'"},
        {"1e5", "num:100000"},  // a script may end with a number
        {".5;", "num:0.5 ';'"},
        {".5a;", "'.' '5' id:a ';'"},
        {"1.;", "num:1 '.' ';'"},
        {"x = 1a;", "id:x '=' '1' id:a ';'"},
        {"x = 12a;", "id:x '=' num:12 id:a ';'"},
        {"12e5a", "num:1200000 id:a"},
        {"1e999;", "bad ';'"},
        {"0x10;", "num:16 ';'"},
        {"0xFFFFFFFF;", "num:-1 ';'"},
        {"0x100000000;", "bad ';'"},
        {"0x000000000000000000000000000000001;", "num:0 ';'"},  // digits after the 32nd are ignored
        {"0x;", "num:0 id:x ';'"},
        // Path names with colons fall back to their parts.
        {"a:b", "id:a ':' id:b"},
        {"/a/b:c", "'/' id:a '/' id:b ':' id:c"},
        {"../a:b", "'.' '.' '/' id:a ':' id:b"},
        {":b", "':' id:b"},
        // Keywords, the keyword spellings of operators, eval and accessors.
        {"not x !x", "#307 id:x #307 id:x"},
        {"a <> b != c", "id:a #316 id:b #316 id:c"},
        {"a and b or c", "id:a #309 id:b #308 id:c"},
        {"a && b || c", "id:a #309 id:b #308 id:c"},
        {"eval (x)", "#267 '(' id:x ')'"},
        {"eval\r\n\t(x)", "#267 '(' id:x ')'"},
        {"eval x", "id:eval id:x"},
        {"eval", "id:eval"},
        {"evalx(", "id:evalx '('"},
        {"function get x()", "#272 id:x '(' ')'"},
        {"function set\nx(v)", "#273 id:x '(' id:v ')'"},
        {"function getX()", "#271 id:getX '(' ')'"},
        {"function get()", "#271 id:get '(' ')'"},
        {"ifFrameLoaded if instanceof in", "#275 #274 #319 #277"},
        {"If", "id:If"},
        // Operators: the longest wins.
        {">>>= >>> >>= >> >= > ===", "op=12 #324 op=11 #323 #315 '>' #317"},
        {"!== != ! <<= << <= <", "#318 #316 #307 op=10 #322 #314 '<'"},
        {"+= -= *= /= %= &= ^= |=", "op=2 op=3 op=4 op=5 op=6 op=7 op=8 op=9"},
        {"++ -- & ^ | = + ~", "#320 #321 #311 #312 #310 '=' '+' '~'"},
        // Strings.
        {"'a\\'b' \"c\\\"d\"", "str:a'b str:c\"d"},
        {"\"\\b\\f\\n\\r\\t\\v\\q\\\\\"", "str:\b\f\n\r\t\vq\\"},
        {"'two\nlines'", "str:two\nlines"},
        {"\"open", "'\"' id:open"},
        {"'a\\\nb'", "''' id:a '\\' id:b '''"},  // an escaped line feed ends no string
        // Comments and listing lines.
        {"x; // note\ny", "id:x ';' id:y"},
        {"x; // note", "id:x ';'"},  // the last line needs no line feed
        {"\xEF\xBB\xBFx", "id:x"},  // a byte-order mark is skipped
        {"$a_1 = \"\\u0041\\x42\\u00e9\";", "id:$a_1 '=' str:AB\xC3\xA9 ';'"},
        {"//#listed text\n", "listing:listed text"},
        {"a /* b\n c */ d", "id:a id:d"},
        {"a /* never closed", "id:a"},
        // #include only at a line start with a quoted name and a line feed.
        {"x #include \"f.as\"\n", "id:x '#' id:include str:f.as"},
        {"#include \"f.as\";\n", "'#' id:include str:f.as ';'"},
        {"#include\"f.as\"\n", "'#' id:include str:f.as"},
        {"#include \"f.as\"", "'#' id:include str:f.as"},
    };
    for (const TLexCase& c : cases) {
        EXPECT_EQ(Tokens(c.Source), c.Expected) << "source: " << c.Source;
    }
}

TEST(Lexer, ZeroBytesAreDropped) {
    // After a token that could go on, the 0 goes alone; where it would begin
    // a token, the byte after it goes too, to the echo output; two end the input.
    EXPECT_EQ(Tokens(std::string("ab\0cd", 5)), "id:ab id:cd");
    EXPECT_EQ(Tokens(std::string("12\0;", 4)), "num:12 ';'");
    TMemoryStream echo;
    EXPECT_EQ(Tokens(std::string("a; \0bc \0\nd", 10), &echo), "id:a ';' id:c id:d");
    EXPECT_EQ(std::string(echo.Bytes().begin(), echo.Bytes().end()), "b\r\n");
    EXPECT_EQ(Tokens(std::string("a \0\0b", 5)), "id:a");
}

TEST(Lexer, LineAndColumnAfterLookahead) {
    TStringTable strings;
    TMemoryStream stream = StreamOf("abc\n  def\n// c\nx 'a\nbc' eval\n\n(y");
    TLexer lexer(strings, stream, NoIncludes);
    TTokenValue value;
    struct TStep {
        int Token;
        int Line;
        int Column;
    } steps[] = {
        {tkIdent, 1, 3},   // the line feed looked at and given back
        {tkIdent, 2, 5},
        {tkIdent, 4, 1},   // after a comment whose line feed was trailing context
        {tkString, 5, 3},  // a string across a line break
        {tkEval, 5, 8},    // eval's trailing blanks and parenthesis stay in the input
        {'(', 7, 1},
        {tkIdent, 7, 2},
        {tkEnd, 7, 2},
    };
    for (const TStep& step : steps) {
        EXPECT_EQ(lexer.NextToken(value), step.Token);
        EXPECT_EQ(lexer.Line(), step.Line);
        EXPECT_EQ(lexer.Column(), step.Column);
    }
}

TEST(Lexer, OverlongIdentifierOverflowsTheMatchStack) {
    EXPECT_EQ(Tokens(std::string(TLexer::MaxTokenLength, 'a')), "id:" + std::string(TLexer::MaxTokenLength, 'a'));
    try {
        Tokens(std::string(TLexer::MaxTokenLength + 1, 'a'));
        FAIL() << "no error";
    } catch (const Exception& error) {
        EXPECT_STREQ(error.what(), "Lex scanner error: match stack overflow");
    }
    EXPECT_THROW(Tokens(std::string(2000, '7') + ";"), Exception);
}

TEST(Lexer, InternsIdentifiersAndStringsOnce) {
    TStringTable strings;
    TMemoryStream stream = StreamOf("this This 'this'");
    TLexer lexer(strings, stream, NoIncludes);
    TTokenValue value;
    lexer.NextToken(value);
    EXPECT_EQ(value.Id, TStringTable::This);
    lexer.NextToken(value);
    EXPECT_EQ(value.Id, 7);
    lexer.NextToken(value);
    EXPECT_EQ(value.Id, TStringTable::This);
    EXPECT_EQ(strings.Count(), 8);
}

}  // namespace
