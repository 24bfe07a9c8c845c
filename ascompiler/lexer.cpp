#include "ascompiler/lexer.h"

#include <charconv>
#include <cstring>
#include <unordered_map>

#include "ascompiler/tokens.h"
#include "movie/compile_context.h"

namespace {

bool IsDigit(int c) { return c >= '0' && c <= '9'; }
bool IsLetter(int c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsIdentStart(int c) { return IsLetter(c) || c == '_' || c == '$'; }
bool IsIdentChar(int c) { return IsIdentStart(c) || IsDigit(c); }
bool IsHexDigit(int c) { return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
bool IsBlank(int c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
// What may follow a number: anything but a letter, an underscore or a zero
// byte (the end of the input too: a script may end with a number).
bool IsNumberTrail(int c) { return c != 0 && !IsIdentStart(c); }

[[noreturn]] void MatchStackOverflow() { throw Exception("Lex scanner error: match stack overflow"); }

const std::unordered_map<std::string, int>& Keywords() {
    static const std::unordered_map<std::string, int> table = {
        {"add", tkStrAdd},       {"and", tkAnd},
        {"break", tkBreak},      {"case", tkCase},
        {"catch", tkCatch},      {"class", tkClass},
        {"continue", tkContinue}, {"default", tkDefault},
        {"delete", tkDelete},    {"do", tkDo},
        {"else", tkElse},        {"eq", tkStrEq},
        {"extends", tkExtends},  {"false", tkFalse},
        {"finally", tkFinally},  {"for", tkFor},
        {"function", tkFunction}, {"gt", tkStrGt},
        {"ge", tkStrGe},         {"if", tkIf},
        {"ifFrameLoaded", tkIfFrameLoaded}, {"implements", tkImplements},
        {"import", tkImport},    {"in", tkIn},
        {"interface", tkInterface}, {"instanceof", tkInstanceof},
        {"keyPress", tkKeyPress}, {"lt", tkStrLt},
        {"le", tkStrLe},         {"ne", tkStrNe},
        {"new", tkNew},          {"not", tkNot},
        {"null", tkNull},        {"on", tkOn},
        {"onClipEvent", tkOnClipEvent}, {"or", tkOr},
        {"private", tkPrivate},  {"public", tkPublic},
        {"return", tkReturn},    {"static", tkStatic},
        {"switch", tkSwitch},    {"throw", tkThrow},
        {"tellTarget", tkTellTarget}, {"true", tkTrue},
        {"try", tkTry},          {"typeof", tkTypeof},
        {"undefined", tkUndefined}, {"var", tkVar},
        {"void", tkVoid},        {"while", tkWhile},
        {"with", tkWith},
    };
    return table;
}

struct TOperator {
    const char* Text;
    int Token;
    int Kind;  // compound assignments
};

// Longest first, so the first that matches is the longest match.
const TOperator kOperators[] = {
    {">>>=", tkAssignOp, akShiftRightUnsigned},
    {"===", tkStrictEquals, 0}, {"!==", tkStrictNotEquals, 0},
    {"<<=", tkAssignOp, akShiftLeft}, {">>=", tkAssignOp, akShiftRight},
    {">>>", tkShiftRightUnsigned, 0},
    {"==", tkEquals, 0}, {"!=", tkNotEquals, 0}, {"<>", tkNotEquals, 0},
    {"<=", tkLessEq, 0}, {">=", tkGreaterEq, 0},
    {"&&", tkAnd, 0}, {"||", tkOr, 0},
    {"++", tkIncrement, 0}, {"--", tkDecrement, 0},
    {"<<", tkShiftLeft, 0}, {">>", tkShiftRight, 0},
    {"+=", tkAssignOp, akAdd}, {"-=", tkAssignOp, akSubtract},
    {"*=", tkAssignOp, akMultiply}, {"/=", tkAssignOp, akDivide},
    {"%=", tkAssignOp, akModulo}, {"&=", tkAssignOp, akBitAnd},
    {"^=", tkAssignOp, akBitXor}, {"|=", tkAssignOp, akBitOr},
    {"&", tkBitAnd, 0}, {"^", tkBitXor, 0}, {"|", tkBitOr, 0},
    {"!", tkNot, 0},
};

// Appends the UTF-8 form of a code point.
void AppendUtf8(std::string& text, uint32_t code) {
    if (code < 0x80) {
        text.push_back(static_cast<char>(code));
    } else if (code < 0x800) {
        text.push_back(static_cast<char>(0xC0 | (code >> 6)));
        text.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
        text.push_back(static_cast<char>(0xE0 | (code >> 12)));
        text.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        text.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
}

int HexValue(int c) { return IsDigit(c) ? c - '0' : (c | 0x20) - 'a' + 10; }

}  // namespace

// A UTF-8 byte-order mark at the start of a source is no part of its text.
void TLexer::SkipByteOrderMark(TSource& source) {
    const std::vector<uint8_t>& b = source.Bytes;
    if (b.size() >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) source.Pos = 3;
}

TLexer::TLexer(TStringTable& strings, TStream& source, TIncludeOpener opener, TStream* echo)
    : strings_(strings), opener_(std::move(opener)), echo_(echo) {
    TSource main;
    int64_t size = source.Remaining();
    if (size > 0) {
        main.Bytes.resize(static_cast<size_t>(size));
        source.ReadBuffer(main.Bytes.data(), size);
    }
    SkipByteOrderMark(main);
    sources_.push_back(std::move(main));
}

int TLexer::At(size_t k) const {
    const TSource& s = sources_.back();
    return s.Pos + k < s.Bytes.size() ? s.Bytes[s.Pos + k] : -1;
}

int TLexer::Peek(size_t k) const {
    for (auto it = sources_.rbegin(); it != sources_.rend(); ++it) {
        size_t left = it->Bytes.size() - it->Pos;
        if (k < left) return it->Bytes[it->Pos + k];
        k -= left;
    }
    return -1;
}

void TLexer::Consume(size_t n) {
    TSource& s = Current();
    for (size_t i = 0; i < n; ++i) {
        if (s.Bytes[s.Pos++] == '\n') {
            ++s.Line;
            s.Column = 0;
        } else {
            ++s.Column;
        }
    }
    if (n > 0) lineStart_ = s.Bytes[s.Pos - 1] == '\n';
}

void TLexer::Echo(uint8_t c) {
    if (!echo_) return;
    if (c == '\n') {
        echo_->WriteBuffer("\r\n", 2);
    } else {
        echo_->WriteBuffer(&c, 1);
    }
}

void TLexer::PushInclude(const std::string& name) {
    // An include that is already open would include itself for ever.
    for (const TSource& open : sources_) {
        if (&open != &sources_.front() && open.FileName == name) {
            throw EActionCompileError(FormatStr("Include file \"%s\" includes itself.", name.c_str()));
        }
    }
    if (sources_.size() > MaxIncludeDepth) {
        throw EActionCompileError(FormatStr("Include file \"%s\": includes nest more than %d deep.", name.c_str(),
                                            static_cast<int>(MaxIncludeDepth)));
    }
    std::unique_ptr<TStream> stream = opener_(name);
    TSource include;
    include.FileName = name;
    int64_t size = stream->GetSize() - stream->GetPosition();
    if (size > 0) {
        include.Bytes.resize(static_cast<size_t>(size));
        stream->ReadBuffer(include.Bytes.data(), size);
    }
    SkipByteOrderMark(include);
    sources_.push_back(std::move(include));
    lineStart_ = true;
}

size_t TLexer::RestOfLineBeforeLineFeed(size_t k) const {
    size_t end = k;
    for (int c; (c = At(end)) > 0 && c != '\n';) ++end;
    // The last line of an input needs no line feed.
    return Peek(end) == '\n' || At(end) < 0 ? end : 0;
}

// At a line start: optional blanks, #include, blanks, a quoted name, optional
// blanks and CRs, and a line feed that stays in the input.
bool TLexer::TryInclude(size_t& length, std::string& name) const {
    size_t k = 0;
    while (At(k) == ' ' || At(k) == '\t') ++k;
    static const char kDirective[] = "#include";
    for (size_t i = 0; kDirective[i]; ++i, ++k) {
        if (At(k) != kDirective[i]) return false;
    }
    size_t blanks = k;
    while (At(k) == ' ' || At(k) == '\t') ++k;
    if (k == blanks) return false;
    int quote = At(k);
    if (quote != '"' && quote != '\'') return false;
    size_t start = ++k;
    for (int c; (c = At(k)) != quote; ++k) {
        if (c <= 0 || c == '\n') return false;
    }
    size_t end = k++;
    while (At(k) == ' ' || At(k) == '\t' || At(k) == '\r') ++k;
    if (Peek(k) != '\n') return false;
    const TSource& s = sources_.back();
    const char* text = reinterpret_cast<const char*>(s.Bytes.data() + s.Pos);
    name.assign(text + start, std::min(end - start, MaxIncludeNameLength));
    length = k;
    return true;
}

int TLexer::ScanString(TTokenValue& value) {
    int quote = At(0);
    size_t k = 1;
    for (;;) {
        int c = At(k);
        if (c <= 0) break;
        if (c == quote) {
            std::string text;
            text.reserve(k);
            for (size_t i = 1; i < k; ++i) {
                int b = At(i);
                if (b == '\\') {
                    b = At(++i);
                    switch (b) {
                        case 'b': b = 8; break;
                        case 'f': b = 12; break;
                        case 'n': b = 10; break;
                        case 'r': b = 13; break;
                        case 't': b = 9; break;
                        case 'v': b = 11; break;
                        case 'u':
                        case 'x': {
                            // \uXXXX and \xXX: a character by its code, in UTF-8.
                            size_t digits = b == 'u' ? 4 : 2;
                            uint32_t code = 0;
                            size_t n = 0;
                            while (n < digits && i + 1 + n < k && IsHexDigit(At(i + 1 + n))) {
                                code = code * 16 + static_cast<uint32_t>(HexValue(At(i + 1 + n)));
                                ++n;
                            }
                            if (n == digits) {
                                AppendUtf8(text, code);
                                i += digits;
                                continue;
                            }
                            break;
                        }
                        default: break;
                    }
                }
                text.push_back(static_cast<char>(b));
            }
            Consume(k + 1);
            value.Id = strings_.Intern(text);
            return tkString;
        }
        if (c == '\\') {
            int next = At(k + 1);
            if (next <= 0 || next == '\n') break;
            k += 2;
        } else {
            ++k;
        }
    }
    // Unterminated: the quote alone.
    Consume(1);
    return quote;
}

// Numbers follow the scanner's longest-match rule with trailing context: a
// decimal literal counts only when the character after it (or, for a longer
// literal, a digit or period inside it) is no letter, underscore or end of
// input; of the readings that get that far, the one that read furthest wins,
// an earlier rule on a tie, and it takes the longest text it matched.
int TLexer::ScanNumber(TTokenValue& value) {
    int token = ScanNumberText(value);
    DropZeroAfterToken();
    return token;
}

// A 0 byte stops a token that could go on, and goes with it.
void TLexer::DropZeroAfterToken() {
    if (At(0) == 0) Consume(1);
}

int TLexer::ScanNumberText(TTokenValue& value) {
    auto digits = [this](size_t k) {
        size_t n = 0;
        while (IsDigit(At(k + n))) ++n;
        return n;
    };
    const int first = At(0);
    enum { kOctal, kDecimal, kHex, kChar };
    size_t reach[4] = {0, 0, 0, 1};
    size_t length[4] = {0, 0, 0, 1};

    // Every prefix length that is a decimal literal of the form
    // digits[.digits][(e|E)[+-]digits], or .digits[(e|E)[+-]digits].
    auto decimalPrefix = [&](size_t mantissaEnd, size_t begin) {
        auto take = [&](size_t len) {
            length[kDecimal] = len;
            if (IsNumberTrail(Peek(len))) reach[kDecimal] = len + 1;
        };
        for (size_t len = begin; len <= mantissaEnd; ++len) take(len);
        size_t k = mantissaEnd;
        if (At(k) == 'e' || At(k) == 'E') {
            ++k;
            if (At(k) == '+' || At(k) == '-') ++k;
            size_t n = digits(k);
            for (size_t len = k + 1; len <= k + n; ++len) take(len);
        }
    };

    if (first == '.') {
        size_t n = digits(1);
        if (n > MaxTokenLength) MatchStackOverflow();
        if (n > 0) decimalPrefix(1 + n, 2);
    } else {
        size_t n1 = digits(0);
        if (n1 > MaxTokenLength) MatchStackOverflow();
        size_t end = n1;
        if (At(n1) == '.' && IsDigit(At(n1 + 1))) {
            size_t n2 = digits(n1 + 1);
            end = n1 + 1 + n2;
        }
        if (end > MaxTokenLength) MatchStackOverflow();
        // The integer part's prefixes, then the fraction's.
        decimalPrefix(n1, 1);
        if (end > n1) decimalPrefix(end, n1 + 2);
        if (first == '0') {
            reach[kOctal] = length[kOctal] = n1;
            if ((At(1) == 'x' || At(1) == 'X') && IsHexDigit(At(2))) {
                size_t n = 0;
                while (IsHexDigit(At(2 + n))) ++n;
                if (n + 2 > MaxTokenLength) MatchStackOverflow();
                reach[kHex] = length[kHex] = 2 + n;
            }
        }
    }
    int winner = kChar;
    for (int rule = kChar - 1; rule >= 0; --rule) {
        if (reach[rule] > 0 && reach[rule] >= reach[winner]) winner = rule;
    }
    if (winner == kChar) {
        Consume(1);
        return first;
    }
    size_t len = length[winner];
    const TSource& s = sources_.back();
    std::string text(reinterpret_cast<const char*>(s.Bytes.data() + s.Pos), len);
    Consume(len);
    bool malformed = false;
    switch (winner) {
        case kOctal: {
            // Read from the last digit backwards into an unsigned 32-bit sum.
            uint64_t sum = 0;
            uint64_t weight = 1;
            for (size_t i = text.size(); i-- > 1;) {
                int digit = text[i] - '0';
                if (digit > 7 || sum > 0x0FFFFFFF) {
                    malformed = true;
                    break;
                }
                if (digit != 0) {
                    if (weight > 0xFFFFFFFFull) {
                        malformed = true;
                        break;
                    }
                    sum += static_cast<uint64_t>(digit) * weight;
                }
                if (weight <= 0xFFFFFFFFull) weight *= 8;
            }
            if (sum > 0xFFFFFFFFull) malformed = true;
            value.Number = static_cast<double>(sum);
            break;
        }
        case kDecimal: {
            std::string literal = first == '.' ? "0" + text : text;
            double number = 0;
            auto [end, error] = std::from_chars(literal.data(), literal.data() + literal.size(), number);
            // Too small to tell from 0 is 0; too large is no number.
            if (error == std::errc::result_out_of_range) {
                malformed = literal.find("e-") == std::string::npos && literal.find("E-") == std::string::npos;
                number = 0;
            } else {
                malformed = error != std::errc() || end != literal.data() + literal.size();
            }
            value.Number = number;
            break;
        }
        case kHex: {
            // At most 32 digits are looked at; the value must fit in 32 bits.
            uint64_t number = 0;
            size_t count = std::min<size_t>(text.size() - 2, 32);
            for (size_t i = 0; i < count && !malformed; ++i) {
                int c = text[2 + i];
                int digit = IsDigit(c) ? c - '0' : (c | 0x20) - 'a' + 10;
                number = number * 16 + static_cast<uint64_t>(digit);
                if (number > 0xFFFFFFFFull) malformed = true;
            }
            value.Number = static_cast<double>(static_cast<int32_t>(static_cast<uint32_t>(number)));
            break;
        }
    }
    return malformed ? tkMalformedNumber : tkNumber;
}

int TLexer::ScanIdentifier(TTokenValue& value) {
    size_t n = 1;
    while (IsIdentChar(At(n))) {
        if (++n > MaxTokenLength) MatchStackOverflow();
    }
    const TSource& s = sources_.back();
    std::string text(reinterpret_cast<const char*>(s.Bytes.data() + s.Pos), n);
    const auto& keywords = Keywords();
    auto keyword = keywords.find(text);
    if (keyword != keywords.end()) {
        int token = keyword->second;
        if (token == tkFunction) {
            // "function get " and "function set " are tokens of their own,
            // white space on both sides of get/set included.
            size_t k = n;
            while (IsBlank(At(k))) ++k;
            if (k > n && (At(k) == 'g' || At(k) == 's') && At(k + 1) == 'e' && At(k + 2) == 't' && IsBlank(At(k + 3))) {
                int accessor = At(k) == 'g' ? tkFunctionGet : tkFunctionSet;
                k += 3;
                while (IsBlank(At(k))) ++k;
                Consume(k);
                return accessor;
            }
        }
        Consume(n);
        DropZeroAfterToken();
        return token;
    }
    if (text == "eval") {
        // The keyword only when a parenthesis follows (looked at, not taken).
        size_t k = n;
        while (IsBlank(Peek(k))) ++k;
        if (Peek(k) == '(') {
            Consume(n);
            DropZeroAfterToken();
            return tkEval;
        }
    }
    Consume(n);
    DropZeroAfterToken();
    value.Id = strings_.Intern(text);
    return tkIdent;
}

int TLexer::ScanOperator(TTokenValue& value) {
    for (const TOperator& op : kOperators) {
        size_t len = std::strlen(op.Text);
        size_t i = 0;
        while (i < len && At(i) == static_cast<uint8_t>(op.Text[i])) ++i;
        if (i == len) {
            Consume(len);
            value.Kind = op.Kind;
            return op.Token;
        }
    }
    int c = At(0);
    Consume(1);
    return c;
}

void TLexer::NoteTokenStart() {
    tokenLine_ = Line();
    tokenColumn_ = Column();
    tokenStart_ = Current().Pos;
    tokenSource_ = sources_.size();
}

int TLexer::NextToken(TTokenValue& value) {
    const size_t sourceBefore = sources_.size();
    const int lineBefore = Line();
    int token = ScanToken(value);
    tokenFile_ = FileName();
    tokenAfterBreak_ = !started_ || sourceBefore != tokenSource_ || lineBefore != tokenLine_;
    started_ = true;
    if (token == tkEnd) {
        tokenText_.clear();
    } else if (tokenSource_ == sources_.size()) {
        const TSource& s = sources_.back();
        constexpr size_t kShown = 40;
        size_t length = std::min(s.Pos - tokenStart_, kShown);
        tokenText_.assign(reinterpret_cast<const char*>(s.Bytes.data() + tokenStart_), length);
        if (s.Pos - tokenStart_ > kShown) tokenText_ += "...";
    }
    return token;
}

int TLexer::ScanToken(TTokenValue& value) {
    for (;;) {
        // The end of an include file resumes its includer.
        while (Avail() == 0 && sources_.size() > 1) {
            sources_.pop_back();
            lineStart_ = false;
        }
        NoteTokenStart();
        if (Avail() == 0) return tkEnd;
        const int c = At(0);
        if (c == 0) {
            // A 0 byte never starts a token: it is dropped with the byte after
            // it, which goes to the echo output; two in a row end the input.
            Consume(1);
            while (Avail() == 0 && sources_.size() > 1) sources_.pop_back();
            int next = At(0);
            if (next <= 0) return tkEnd;
            Consume(1);
            Echo(static_cast<uint8_t>(next));
            continue;
        }
        if (lineStart_ && (c == '#' || c == ' ' || c == '\t')) {
            size_t length = 0;
            std::string name;
            if (TryInclude(length, name)) {
                Consume(length);
                PushInclude(name);
                continue;
            }
        }
        switch (c) {
            case ' ':
            case '\t':
            case '\r':
            case '\n':
                Consume(1);
                continue;
            case '/':
                if (At(1) == '/') {
                    size_t end = RestOfLineBeforeLineFeed(2);
                    if (end > 0) {
                        if (At(2) == '#') {
                            const TSource& s = sources_.back();
                            const char* text = reinterpret_cast<const char*>(s.Bytes.data() + s.Pos);
                            value.Text.assign(text + 3, std::min(end - 3, MaxListingLength));
                            Consume(end);
                            return tkListing;
                        }
                        Consume(end);
                        continue;
                    }
                } else if (At(1) == '*') {
                    // To the next */ or the end of the input.
                    size_t k = 2;
                    while (At(k) >= 0 && !(At(k) == '*' && At(k + 1) == '/')) ++k;
                    Consume(At(k) >= 0 ? k + 2 : k);
                    continue;
                }
                return ScanOperator(value);
            case '"':
            case '\'':
                return ScanString(value);
            default:
                break;
        }
        if (IsDigit(c) || (c == '.' && IsDigit(At(1)))) return ScanNumber(value);
        if (IsIdentStart(c)) return ScanIdentifier(value);
        return ScanOperator(value);
    }
}
