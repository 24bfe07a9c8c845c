#include "controls/regexpr.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "platform/codepage.h"

namespace {

// Flags every parsing step returns.
constexpr int kHasWidth = 1;         // matches at least one character
constexpr int kSimple = 2;           // exactly one character: a one-character repeat can count it
constexpr int kStartsWithRepeat = 4;

bool IsDigitChar(char c) { return c >= '0' && c <= '9'; }
bool IsPatternSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
bool IsQuantifierChar(char c) { return c == '*' || c == '+' || c == '?' || c == '{'; }
bool IsMetaChar(char c) { return c != '\0' && std::strchr("^$.[()|?+*\\{", c) != nullptr; }

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

template <typename Set>
bool Has(const Set& set, uint8_t c) {
    return (set[c >> 3] >> (c & 7)) & 1;
}

template <typename Set>
void Include(Set& set, uint8_t c) {
    set[c >> 3] = static_cast<uint8_t>(set[c >> 3] | (1 << (c & 7)));
}

}  // namespace

// One entry of the matcher's backtracking stack: either a choice point to
// resume or an undo record of a capture, loop counter or loop depth, so that
// every change made after a choice point is undone when it is resumed.
struct TRegExpr::Frame {
    enum Kind : uint8_t {
        RestoreOpen,     // node = group, a = old start of the open group
        RestoreCapture,  // node = group, a = old start, b = old end
        RestoreCounter,  // node = level, a = old counter
        RestoreLoopStart,  // node = level, a = old start of the pass
        RestorePass,     // node = loop head, a = old start of the pass
        RestoreDepth,    // a = old depth
        Alternative,     // node = next branch to try, a = cursor
        RepeatGreedy,    // node = repeat node, a = start of the run, b = count last tried
        RepeatLazy,      // same
        LoopLeave,       // node = loop node, a = cursor: leave the loop and match the rest
        LoopLazyBody,    // node = loop node, a = cursor: run the body once more
    };
    Kind kind;
    int32_t node;
    int64_t a;
    int64_t b;
};

const std::string TRegExpr::empty_;

TRegExpr::TRegExpr() {
    starts_.fill(-1);
    ends_.fill(-1);
    SetLinePairedSeparator("\r\n");
}

TRegExpr::~TRegExpr() = default;

// The code page's upper case of each character, or its lower case when the
// upper case is the character itself.
static const std::array<uint8_t, 256>& DefaultInversions() {
    static const std::array<uint8_t, 256> table = [] {
        std::array<uint8_t, 256> t{};
        for (int i = 0; i < 256; ++i) {
            std::string one(1, static_cast<char>(i));
            std::string upper = AnsiUpperCase(one);
            t[i] = static_cast<uint8_t>(upper[0] != one[0] ? upper[0] : AnsiLowerCase(one)[0]);
        }
        return t;
    }();
    return table;
}

char TRegExpr::DefaultInvertCase(char c) { return static_cast<char>(DefaultInversions()[static_cast<uint8_t>(c)]); }

std::string TRegExpr::ErrorText(int32_t code) const {
    switch (code) {
    case 0: return "No errors";
    case 100: return "TRegExpr(comp): Null Argument";
    case 101: return "TRegExpr(comp): Regexp Too Big";
    case 102: return "TRegExpr(comp): ParseReg Too Many ()";
    case 103:
    case 104: return "TRegExpr(comp): ParseReg Unmatched ()";
    case 105: return "TRegExpr(comp): ParseReg Junk On End";
    case 106: return "TRegExpr(comp): *+ Operand Could Be Empty";
    case 107: return "TRegExpr(comp): Nested *?+";
    case 108: return "TRegExpr(comp): Bad Hex Digit";
    case 109: return "TRegExpr(comp): Invalid [] Range";
    case 110: return "TRegExpr(comp): Parse Atom Trailing \\";
    case 111: return "TRegExpr(comp): No Hex Code After \\x";
    case 112: return "TRegExpr(comp): Hex Code After \\x Is Too Big";
    case 113: return "TRegExpr(comp): Unmatched []";
    case 114: return "TRegExpr(comp): Internal Urp";
    case 115: return "TRegExpr(comp): ?+*{ Follows Nothing";
    case 116: return "TRegExpr(comp): Trailing \\";
    case 119: return "TRegExpr(comp): RarseAtom Internal Disaster";
    case 122: return "TRegExpr(comp): BRACES Argument Too Big";
    case 124: return "TRegExpr(comp): BRACE Min Param Greater then Max";
    case 125: return "TRegExpr(comp): Unclosed (?#Comment)";
    case 126:
        return "TRegExpr(comp): If you want take part in beta-testing BRACES '{min,max}' and non-greedy ops '*?', "
               "'+?', '?" "?' for complex cases - remove '.' from {.$DEFINE ComplexBraces}";
    case 127: return "TRegExpr(comp): Urecognized Modifier";
    case 128: return "TRegExpr(comp): LinePairedSeparator must countain two different chars or no chars at all";
    case ErrNonCapturingGroup: return "TRegExpr(comp): Non-Capturing Group (?:...) Is Not Supported";
    case ErrLookaround: return "TRegExpr(comp): Lookahead And Lookbehind (?=, (?!, (?<=, (?<! Are Not Supported";
    case ErrControlVerb: return "TRegExpr(comp): Control Verbs Like (*FAIL) Are Not Supported";
    case ErrNoSuchGroup: return "TRegExpr(comp): Backreference To A Group That Does Not Exist";
    case ErrNulInExpression: return "TRegExpr(comp): NUL Character In Expression (write \\x00)";
    case 1000: return "TRegExpr(exec): RegRepeat Called Inappropriately";
    case 1001: return "TRegExpr(exec): MatchPrim Memory Corruption";
    case 1002: return "TRegExpr(exec): MatchPrim Corrupted Pointers";
    case 1003: return "TRegExpr(exec): Not Assigned Expression Property";
    case 1004: return "TRegExpr(exec): Corrupted Program";
    case 1005: return "TRegExpr(exec): No Input String Specified";
    case 1006: return "TRegExpr(exec): Offset Must Be Greater Then 0";
    case 1007: return "TRegExpr(exec): ExecNext Without Exec[Pos]";
    case 1008: return "TRegExpr(exec): GetInputString Without InputString";
    case 1011: return "TRegExpr(dump): Corrupted Opcode";
    case 1014: return "TRegExpr(exec): Loop Stack Exceeded";
    case 1015: return "TRegExpr(exec): Loop Without LoopEntry !";
    case ErrMatchLimit: return "TRegExpr(exec): Match Limit Exceeded";
    case ErrStackLimit: return "TRegExpr(exec): Backtracking Stack Limit Exceeded";
    case 2000: return "TRegExpr(misc): Bad p-code imported";
    default: return "Unknown error";
    }
}

int32_t TRegExpr::ErrorPosition() const { return compiling_ ? static_cast<int32_t>(cursor_) : 0; }

void TRegExpr::SignalError(int32_t code) {
    lastError_ = code;
    std::string message = ErrorText(code);
    int32_t position = ErrorPosition();
    if (code < 1000) message += " (pos " + std::to_string(position) + ")";
    throw ERegExpr(message, code, position);
}

// ---------------------------------------------------------------- properties

void TRegExpr::SetPattern(const std::string& text) {
    if (text == expression_ && compiled_) return;
    compiled_ = false;
    expression_ = text;
    hasExpression_ = !text.empty();
    DiscardProgram();
}

void TRegExpr::SetModifier(int number, bool on) {
    if (number < 1 || number > 6) SignalError(1013);
    uint32_t bit = 1u << (number - 1);
    modifiers_ = on ? modifiers_ | bit : modifiers_ & ~bit;
}

bool TRegExpr::GetModifier(int number) {
    if (number < 1 || number > 6) SignalError(1013);
    return (modifiers_ >> (number - 1)) & 1;
}

bool TRegExpr::ParseModifiers(const std::string& letters, uint32_t& set) {
    bool clear = false;
    for (char c : letters) {
        uint32_t bit;
        switch (c) {
        case '-': clear = true; continue;
        case 'i': case 'I': bit = ModifierI; break;
        case 'r': case 'R': bit = ModifierR; break;
        case 's': case 'S': bit = ModifierS; break;
        case 'g': case 'G': bit = ModifierG; break;
        case 'm': case 'M': bit = ModifierM; break;
        case 'x': case 'X': bit = ModifierX; break;
        default: return false;
        }
        set = clear ? set & ~bit : set | bit;
    }
    return true;
}

std::string TRegExpr::GetLinePairedSeparator() const {
    return pairAssigned_ ? std::string{pairHead_, pairTail_} : std::string();
}

void TRegExpr::SetLinePairedSeparator(const std::string& text) {
    if (text.empty()) {
        if (pairAssigned_) {
            DiscardProgram();
            pairAssigned_ = false;
        }
        return;
    }
    if (text.size() != 2 || text[0] == text[1]) SignalError(128);
    if (!pairAssigned_ || pairHead_ != text[0] || pairTail_ != text[1]) {
        pairAssigned_ = true;
        pairHead_ = text[0];
        pairTail_ = text[1];
        DiscardProgram();
    }
}

void TRegExpr::SetInputString(const std::string& text) {
    starts_.fill(-1);
    ends_.fill(-1);
    subject_ = text;
    size_t nul = text.find('\0');
    subjectEnd_ = static_cast<int64_t>(nul == std::string::npos ? text.size() : nul);
}

int64_t TRegExpr::MatchPos(int n) const {
    if (n < 0 || n >= kGroups || starts_[n] < 0 || ends_[n] < 0) return -1;
    return starts_[n] + 1;
}

int64_t TRegExpr::MatchLen(int n) const {
    if (n < 0 || n >= kGroups || starts_[n] < 0 || ends_[n] < 0) return -1;
    return ends_[n] - starts_[n];
}

// ---------------------------------------------------------------- compiling

void TRegExpr::DiscardProgram() {
    program_.clear();
    program_.shrink_to_fit();
}

void TRegExpr::EnsureCompiled() {
    if (!program_.empty() && modifiers_ != programModifiers_) DiscardProgram();
    if (!setsBuilt_ || LineSeparators != setsLineSeparators_ || WordChars != setsWordChars_) BuildSets();
    if (program_.empty()) {
        if (!hasExpression_) SignalError(1003);
        BuildInversions();
        CompileProgram();
    }
    if (program_[0] != kSignature) SignalError(1004);
}

void TRegExpr::BuildSets() {
    lineSeparatorSet_.fill(0);
    for (char c : LineSeparators) Include(lineSeparatorSet_, static_cast<uint8_t>(c));
    wordSet_.fill(0);
    for (char c : WordChars) Include(wordSet_, static_cast<uint8_t>(c));
    setsLineSeparators_ = LineSeparators;
    setsWordChars_ = WordChars;
    setsBuilt_ = true;
}

void TRegExpr::BuildInversions() {
    auto* hook = InvertCase.target<char (*)(char)>();
    if (hook != nullptr && *hook == &DefaultInvertCase)
        invert_ = DefaultInversions();
    else
        for (int i = 0; i < 256; ++i) invert_[i] = static_cast<uint8_t>(InvertCase(static_cast<char>(i)));
}

// Where the node's operand ends: the next node in the program's layout.
int32_t TRegExpr::NodeEnd(int32_t node) const {
    const int32_t operand = node + 5;
    switch (Op(node)) {
    case OpLiteral: case OpLiteralCI:
        return operand + static_cast<int32_t>(std::strlen(reinterpret_cast<const char*>(&program_[operand]))) + 1;
    case OpOneOf3: case OpNoneOf3: return operand + 3;
    case OpInSet: return operand + 32;
    case OpBackRef: case OpBackRefCI: return operand + 1;
    case OpCount: case OpCountLazy: return operand + 8;
    case OpLoop: case OpLoopLazy: return operand + 12;
    default: return operand;
    }
}

// Marks where each pass of a greedy * or + begins: the node its back link
// returns to.
void TRegExpr::FindLoopHeads() {
    loopHead_.assign(program_.size(), 0);
    for (int32_t node = 1; node < static_cast<int32_t>(program_.size()); node = NodeEnd(node))
        if (Op(node) == OpBack && Next(node) != 0) loopHead_[static_cast<size_t>(Next(node))] = 1;
    passStart_.assign(program_.size(), -1);
}

int32_t TRegExpr::ReadInt(int32_t at) const {
    uint32_t v = static_cast<uint32_t>(program_[at]) | static_cast<uint32_t>(program_[at + 1]) << 8 |
                 static_cast<uint32_t>(program_[at + 2]) << 16 | static_cast<uint32_t>(program_[at + 3]) << 24;
    return static_cast<int32_t>(v);
}

int32_t TRegExpr::Next(int32_t node) const {
    int32_t link = ReadInt(node + 1);
    return link == 0 ? 0 : node + link;
}

int32_t TRegExpr::EmitNode(uint8_t op) {
    if (sizing_) {
        programSize_ += 5;
        return 1;
    }
    int32_t at = static_cast<int32_t>(program_.size());
    program_.insert(program_.end(), {op, 0, 0, 0, 0});
    return at;
}

void TRegExpr::EmitByte(uint8_t b) {
    if (sizing_) {
        programSize_ += 1;
        return;
    }
    program_.push_back(b);
}

void TRegExpr::EmitInt(int32_t v) {
    uint32_t u = static_cast<uint32_t>(v);
    for (int i = 0; i < 4; ++i) EmitByte(static_cast<uint8_t>(u >> (8 * i)));
}

// Puts a node of `size` bytes in front of the operand that starts at
// `operand`; links are relative, so the moved nodes keep theirs.
void TRegExpr::InsertOperator(uint8_t op, int32_t operand, int32_t size) {
    if (sizing_) {
        programSize_ += size;
        return;
    }
    program_.insert(program_.begin() + operand, static_cast<size_t>(size), 0);
    program_[operand] = op;
}

// Links the last node of the chain that starts at `node` to `target`.
void TRegExpr::Tail(int32_t node, int32_t target) {
    if (sizing_) return;
    int32_t scan = node;
    for (int32_t next = Next(scan); next != 0; next = Next(scan)) scan = next;
    WriteInt(scan + 1, target - scan);
}

void TRegExpr::WriteInt(int32_t at, int32_t v) {
    if (sizing_) return;
    auto u = static_cast<uint32_t>(v);
    for (int i = 0; i < 4; ++i) program_[at + i] = static_cast<uint8_t>(u >> (8 * i));
}

// Tail on the operand of a branch node; nothing for other nodes.
void TRegExpr::OpTail(int32_t node, int32_t target) {
    if (sizing_ || Op(node) != OpBranch) return;
    Tail(node + 5, target);
}

void TRegExpr::CompileProgram() {
    DiscardProgram();
    programModifiers_ = modifiers_;
    compiling_ = true;
    try {
        // A NUL would end the expression early and drop the rest unseen.
        const size_t nul = expression_.find('\0');
        if (nul != std::string::npos) {
            cursor_ = nul;
            SignalError(ErrNulInExpression);
        }
        int flags = 0;
        maxBackRef_ = 0;
        // Sizing pass: only counts bytes.
        sizing_ = true;
        programSize_ = 0;
        cursor_ = 0;
        nextGroup_ = 1;
        compileModifiers_ = modifiers_;
        EmitByte(kSignature);
        ParseReg(false, flags);

        sizing_ = false;
        const int32_t counted = programSize_;
        program_.reserve(static_cast<size_t>(counted));
        cursor_ = 0;
        nextGroup_ = 1;
        compileModifiers_ = modifiers_;
        EmitByte(kSignature);
        ParseReg(false, flags);
        if (program_.size() != static_cast<size_t>(counted)) SignalError(1001);
        if (maxBackRef_ >= nextGroup_) {
            cursor_ = backRefAt_;
            SignalError(ErrNoSuchGroup);
        }

        BuildStartSet();
        FindLoopHeads();
        firstChar_ = 0;
        anchored_ = false;
        requiredLiteral_ = -1;
        requiredLength_ = 0;
        if (Op(Next(1)) == OpEnd) {  // one alternative at the top
            int32_t first = 1 + 5;
            if (Op(first) == OpLiteral)
                firstChar_ = program_[first + 5];
            else if (Op(first) == OpBeginText)
                anchored_ = true;
            if (flags & kStartsWithRepeat) {
                int32_t steps = programSize_;
                for (int32_t scan = first; scan != 0 && --steps > 0; scan = Next(scan)) {
                    if (Op(scan) != OpLiteral) continue;
                    auto length = static_cast<int32_t>(std::strlen(reinterpret_cast<const char*>(&program_[scan + 5])));
                    if (length > 0 && length >= requiredLength_) {
                        requiredLiteral_ = scan + 5;
                        requiredLength_ = length;
                    }
                }
            }
        }
    } catch (...) {
        DiscardProgram();
        sizing_ = false;
        compiling_ = false;
        compiled_ = false;
        throw;
    }
    compiling_ = false;
    compiled_ = true;
}

int32_t TRegExpr::ParseReg(bool paren, int& flags) {
    flags = kHasWidth;
    uint32_t savedModifiers = compileModifiers_;
    int32_t ret = 0;
    int32_t group = 0;
    if (paren) {
        if (nextGroup_ >= kGroups) SignalError(102);
        group = nextGroup_++;
        ret = EmitNode(static_cast<uint8_t>(OpOpen + group));
    }
    int branchFlags = 0;
    int32_t branch = ParseSequence(branchFlags);
    if (paren)
        Tail(ret, branch);
    else
        ret = branch;
    int32_t lastBranch = branch;
    for (;;) {
        if (!(branchFlags & kHasWidth)) flags &= ~kHasWidth;
        flags |= branchFlags & kStartsWithRepeat;
        if (PatternAt(cursor_) != '|') break;
        ++cursor_;
        branch = ParseSequence(branchFlags);
        Tail(lastBranch, branch);
        lastBranch = branch;
    }
    int32_t ender = EmitNode(paren ? static_cast<uint8_t>(OpClose + group) : OpEnd);
    Tail(ret, ender);
    if (!sizing_)
        for (int32_t node = ret; node != 0; node = Next(node)) OpTail(node, ender);
    if (paren) {
        if (PatternAt(cursor_) != ')') SignalError(103);
        ++cursor_;
    } else if (PatternAt(cursor_) != '\0') {
        SignalError(PatternAt(cursor_) == ')' ? 104 : 105);
    }
    compileModifiers_ = savedModifiers;
    return ret;
}

int32_t TRegExpr::ParseSequence(int& flags) {
    flags = 0;
    int32_t ret = EmitNode(OpBranch);
    int32_t chain = 0;
    bool first = true;
    for (char c = PatternAt(cursor_); c != '\0' && c != '|' && c != ')'; c = PatternAt(cursor_)) {
        int pieceFlags = 0;
        int32_t latest = ParseQuantified(pieceFlags);
        flags |= pieceFlags & kHasWidth;
        if (first)
            flags |= pieceFlags & kStartsWithRepeat;
        else
            Tail(chain, latest);
        chain = latest;
        first = false;
    }
    if (first) EmitNode(OpEmpty);
    return ret;
}

void TRegExpr::EmitLoop(int32_t atom, bool lazy, int32_t min, int32_t max) {
    InsertOperator(OpLoopEntry, atom, 5);
    int32_t loop = EmitNode(lazy ? OpLoopLazy : OpLoop);
    EmitInt(min);
    EmitInt(max);
    EmitInt(loop - (atom + 5));  // back to the body's first node
    Tail(atom, loop);
    Tail(atom + 5, loop);
}

int32_t TRegExpr::ParseQuantified(int& flags) {
    int atomFlags = 0;
    int32_t ret = ParseAtom(atomFlags);
    char op = PatternAt(cursor_);
    if (!IsQuantifierChar(op)) {
        flags = atomFlags;
        return ret;
    }
    if (!(atomFlags & kHasWidth) && op != '?') SignalError(106);
    const bool simple = atomFlags & kSimple;

    int32_t min = 0, max = 0;
    if (op == '{') {
        size_t p = cursor_ + 1;
        const size_t minStart = p;
        while (IsDigitChar(PatternAt(p))) ++p;
        const size_t minEnd = p;
        if (p == minStart || (PatternAt(p) != '}' && PatternAt(p) != ',')) {
            flags = atomFlags;  // no quantifier: the brace is read as a literal
            return ret;
        }
        size_t maxStart = 0, maxEnd = 0;
        if (PatternAt(p) == ',') {
            maxStart = ++p;
            while (IsDigitChar(PatternAt(p))) ++p;
            maxEnd = p;
            if (PatternAt(p) != '}') {
                flags = atomFlags;
                return ret;
            }
        }
        cursor_ = p;  // at "}"
        auto number = [&](size_t from, size_t to) {
            if (to - from > 8) SignalError(122);
            return static_cast<int32_t>(std::stol(expression_.substr(from, to - from)));
        };
        min = number(minStart, minEnd);
        if (maxStart == 0)
            max = min;
        else
            max = maxEnd == maxStart ? kUnbounded : number(maxStart, maxEnd);
        if (max < min) SignalError(124);
    }

    bool lazy = false;
    if (PatternAt(cursor_ + 1) == '?') {
        lazy = true;
        ++cursor_;
    }
    if (!(compileModifiers_ & ModifierG)) lazy = true;

    switch (op) {
    case '*':
        flags = kStartsWithRepeat;
        if (simple) {
            InsertOperator(lazy ? OpStarLazy : OpStar, ret, 5);
        } else if (lazy) {
            EmitLoop(ret, true, 0, kUnbounded);
        } else {  // x* as (x<back>|<empty>)
            InsertOperator(OpBranch, ret, 5);
            OpTail(ret, EmitNode(OpBack));
            OpTail(ret, ret);
            Tail(ret, EmitNode(OpBranch));
            Tail(ret, EmitNode(OpEmpty));
        }
        break;
    case '+':
        flags = kHasWidth | kStartsWithRepeat;
        if (simple) {
            InsertOperator(lazy ? OpPlusLazy : OpPlus, ret, 5);
        } else if (lazy) {
            EmitLoop(ret, true, 1, kUnbounded);
        } else {  // x+ as x(<back to x>|<empty>)
            int32_t next = EmitNode(OpBranch);
            Tail(ret, next);
            Tail(EmitNode(OpBack), ret);
            Tail(next, EmitNode(OpBranch));
            Tail(ret, EmitNode(OpEmpty));
        }
        break;
    case '?':
        flags = 0;
        if (lazy) {
            if (simple) {
                InsertOperator(OpCountLazy, ret, 13);
                WriteInt(ret + 5, 0);
                WriteInt(ret + 9, 1);
            } else {
                EmitLoop(ret, true, 0, 1);
            }
        } else {  // x? as (x|<empty>)
            InsertOperator(OpBranch, ret, 5);
            Tail(ret, EmitNode(OpBranch));
            int32_t next = EmitNode(OpEmpty);
            Tail(ret, next);
            OpTail(ret, next);
        }
        break;
    default:  // '{'
        // A repeat that may run zero times does not give its piece width:
        // with width, (x{0,2})* would loop on an empty body.
        flags = (min > 0 ? kHasWidth : 0) | (max > 0 ? kStartsWithRepeat : 0);
        if (simple) {
            InsertOperator(lazy ? OpCountLazy : OpCount, ret, 13);
            WriteInt(ret + 5, min);
            WriteInt(ret + 9, max);
        } else {
            EmitLoop(ret, lazy, min, max);
        }
        break;
    }
    ++cursor_;
    if (IsQuantifierChar(PatternAt(cursor_))) SignalError(107);
    return ret;
}

// Reads the escaped character whose first letter is at the cursor; leaves
// the cursor on its last character.
uint8_t TRegExpr::ParseEscaped() {
    char c = PatternAt(cursor_);
    switch (c) {
    case 'a': return 7;
    case 'e': return 27;
    case 'f': return 12;
    case 'n': return 10;
    case 'r': return 13;
    case 't': return 9;
    case 'x': {
        ++cursor_;
        unsigned value = 0;
        if (PatternAt(cursor_) == '{') {
            for (++cursor_;; ++cursor_) {
                char h = PatternAt(cursor_);
                if (h == '}') break;
                if (h == '\0') SignalError(111);
                int digit = HexValue(h);
                if (digit < 0) SignalError(108);
                if (value * 16 + static_cast<unsigned>(digit) > 255) SignalError(112);
                value = value * 16 + static_cast<unsigned>(digit);
            }
            return static_cast<uint8_t>(value);
        }
        for (int k = 0; k < 2; ++k) {
            if (k == 1) ++cursor_;
            char h = PatternAt(cursor_);
            if (h == '\0') SignalError(111);
            int digit = HexValue(h);
            if (digit < 0) SignalError(108);
            value = value * 16 + static_cast<unsigned>(digit);
        }
        return static_cast<uint8_t>(value);
    }
    default: return static_cast<uint8_t>(c);
    }
}

int32_t TRegExpr::EmitClass(const CharSet& members, bool negated) {
    uint8_t chars[3] = {0, 0, 0};
    int count = 0;
    for (int c = 0; c < 256 && count <= 3; ++c)
        if (Has(members, static_cast<uint8_t>(c))) {
            if (count < 3) chars[count] = static_cast<uint8_t>(c);
            ++count;
        }
    if (count >= 1 && count <= 3) {
        int32_t ret = EmitNode(negated ? OpNoneOf3 : OpOneOf3);
        for (int i = 0; i < 3; ++i) EmitByte(chars[std::min(i, count - 1)]);
        return ret;
    }
    int32_t ret = EmitNode(OpInSet);
    for (uint8_t b : members) EmitByte(negated ? static_cast<uint8_t>(~b) : b);
    return ret;
}

int32_t TRegExpr::ParseClass(int& flags) {
    CharSet members{};
    bool negated = false;
    if (PatternAt(cursor_) == '^') {
        negated = true;
        ++cursor_;
    }
    const bool caseless = compileModifiers_ & ModifierI;
    const bool cyrillic = compileModifiers_ & ModifierR;
    auto add = [&](uint8_t c) {
        Include(members, c);
        if (caseless) Include(members, invert_[c]);
    };
    auto addString = [&](const std::string& text) {
        for (char c : text) add(static_cast<uint8_t>(c));
    };
    auto addRun = [&](int from, int to) {
        for (int c = from; c <= to; ++c) add(static_cast<uint8_t>(c));
    };
    bool canRange = false;
    uint8_t rangeBegin = 0;
    for (bool first = true;; first = false) {
        char c = PatternAt(cursor_);
        if (c == '\0') SignalError(113);
        if (c == ']' && !first) break;
        char after = PatternAt(cursor_ + 1);
        bool classEscapeAfter = after == '\\' && PatternAt(cursor_ + 2) != '\0' &&
                                std::strchr("dswDSW", PatternAt(cursor_ + 2)) != nullptr;
        if (c == '-' && canRange && after != '\0' && after != ']' && !classEscapeAfter) {
            ++cursor_;
            uint8_t rangeEnd;
            if (PatternAt(cursor_) == '\\') {
                ++cursor_;
                if (PatternAt(cursor_) == '\0') SignalError(110);
                rangeEnd = ParseEscaped();
            } else {
                rangeEnd = static_cast<uint8_t>(PatternAt(cursor_));
            }
            // Code page 1251: the 33 letters of each case, Yo included,
            // whose codes lie outside the run of the others.
            if (cyrillic && rangeBegin == 224 && rangeEnd == 255) {
                addRun(224, 255);
                add(184);
            } else if (cyrillic && rangeBegin == 192 && rangeEnd == 223) {
                addRun(192, 223);
                add(168);
            } else if (cyrillic && rangeBegin == 224 && rangeEnd == 223) {
                addRun(192, 255);
                add(168);
                add(184);
            } else {
                if (rangeEnd < rangeBegin) SignalError(109);
                addRun(rangeBegin, rangeEnd);
            }
            ++cursor_;
            canRange = false;
            continue;
        }
        if (c == '\\') {
            ++cursor_;
            char e = PatternAt(cursor_);
            if (e == '\0') SignalError(110);
            if (e == 'd' || e == 's' || e == 'w') {
                addString(e == 'd' ? std::string("0123456789") : e == 's' ? SpaceChars : WordChars);
                canRange = false;
            } else {
                rangeBegin = ParseEscaped();
                add(rangeBegin);
                canRange = true;
            }
        } else {
            rangeBegin = static_cast<uint8_t>(c);
            add(rangeBegin);
            canRange = true;
        }
        ++cursor_;
    }
    ++cursor_;  // past "]"
    flags = kHasWidth | kSimple;
    return EmitClass(members, negated);
}

int32_t TRegExpr::ParseAtom(int& flags) {
    flags = 0;
    const uint32_t mods = compileModifiers_;
    const bool lineMode = (mods & ModifierM) && (!LineSeparators.empty() || pairAssigned_);
    int32_t ret = 0;
    char c = PatternAt(cursor_);
    switch (c) {
    case '^':
        ++cursor_;
        ret = EmitNode(lineMode ? OpBeginLine : OpBeginText);
        break;
    case '$':
        ++cursor_;
        ret = EmitNode(lineMode ? OpEndLine : OpEndText);
        break;
    case '.':
        ++cursor_;
        if (mods & ModifierS) {
            ret = EmitNode(OpAnyChar);
            flags = kHasWidth | kSimple;
        } else {
            ret = EmitNode(OpAnyInLine);
            flags = kHasWidth;
        }
        break;
    case '(':
        ++cursor_;
        if (PatternAt(cursor_) == '?' && PatternAt(cursor_ + 1) == '#') {
            cursor_ += 2;
            while (PatternAt(cursor_) != '\0' && PatternAt(cursor_) != ')') ++cursor_;
            if (PatternAt(cursor_) != ')') SignalError(125);
            ++cursor_;
            ret = EmitNode(OpNoOp);
        } else if (PatternAt(cursor_) == '*') {
            SignalError(ErrControlVerb);
        } else if (PatternAt(cursor_) == '?' && PatternAt(cursor_ + 1) == ':') {
            SignalError(ErrNonCapturingGroup);
        } else if (PatternAt(cursor_) == '?' &&
                   (PatternAt(cursor_ + 1) == '=' || PatternAt(cursor_ + 1) == '!' ||
                    (PatternAt(cursor_ + 1) == '<' && (PatternAt(cursor_ + 2) == '=' || PatternAt(cursor_ + 2) == '!')))) {
            SignalError(ErrLookaround);
        } else if (PatternAt(cursor_) == '?') {
            size_t begin = ++cursor_;
            while (PatternAt(cursor_) != '\0' && PatternAt(cursor_) != ')') ++cursor_;
            uint32_t changed = compileModifiers_;
            if (PatternAt(cursor_) != ')' || !ParseModifiers(expression_.substr(begin, cursor_ - begin), changed))
                SignalError(127);
            compileModifiers_ = changed;
            ++cursor_;
            ret = EmitNode(OpNoOp);
        } else {
            int groupFlags = 0;
            ret = ParseReg(true, groupFlags);
            flags = groupFlags & (kHasWidth | kStartsWithRepeat);
        }
        break;
    case '\0':
    case '|':
    case ')':
        SignalError(114);
        break;
    case '*':
    case '+':
    case '?':
        SignalError(115);
        break;
    case '[':
        ++cursor_;
        ret = ParseClass(flags);
        break;
    case '\\': {
        ++cursor_;
        char e = PatternAt(cursor_);
        if (e == '\0') SignalError(116);
        const bool caseless = mods & ModifierI;
        switch (e) {
        case '1': case '2': case '3': case '4': case '5': case '6': case '7': case '8': case '9':
            if (e - '0' > maxBackRef_) {
                maxBackRef_ = e - '0';
                backRefAt_ = cursor_;
            }
            ret = EmitNode(caseless ? OpBackRefCI : OpBackRef);
            EmitByte(static_cast<uint8_t>(e - '0'));
            flags = kHasWidth | kSimple;
            break;
        case 'A': ret = EmitNode(OpBeginText); break;
        case 'Z': ret = EmitNode(OpEndText); break;
        case 'b': ret = EmitNode(OpWordEdge); break;
        case 'B': ret = EmitNode(OpNotWordEdge); break;
        case 'd':
        case 'D':
            ret = EmitNode(e == 'd' ? OpDigit : OpNonDigit);
            flags = kHasWidth | kSimple;
            break;
        case 's': case 'w': case 'S': case 'W': {
            CharSet members{};
            for (char m : (e == 's' || e == 'S') ? SpaceChars : WordChars) {
                Include(members, static_cast<uint8_t>(m));
                if (caseless) Include(members, invert_[static_cast<uint8_t>(m)]);
            }
            ret = EmitClass(members, e == 'S' || e == 'W');
            flags = kHasWidth | kSimple;
            break;
        }
        default: {
            // A literal's text ends at its NUL, so an escaped NUL cannot be
            // one; as the subject ends at a NUL it matches no character.
            const uint8_t escaped = ParseEscaped();
            if (escaped == 0) {
                ret = EmitClass(CharSet{}, false);
            } else {
                ret = EmitNode(caseless ? OpLiteralCI : OpLiteral);
                EmitByte(escaped);
                EmitByte(0);
            }
            flags = kHasWidth | kSimple;
            break;
        }
        }
        ++cursor_;
        break;
    }
    default: {
        const bool extended = mods & ModifierX;
        if (extended && IsPatternSpace(c)) {
            while (IsPatternSpace(PatternAt(cursor_))) ++cursor_;
            ret = EmitNode(OpNoOp);
            break;
        }
        if (extended && c == '#') {
            while (PatternAt(cursor_) != '\0' && PatternAt(cursor_) != '\r' && PatternAt(cursor_) != '\n') ++cursor_;
            while (PatternAt(cursor_) == '\r' || PatternAt(cursor_) == '\n') ++cursor_;
            ret = EmitNode(OpNoOp);
            break;
        }
        size_t end = cursor_;
        if (PatternAt(end) == '{') ++end;
        while (PatternAt(end) != '\0' && !IsMetaChar(PatternAt(end)) && !(extended && PatternAt(end) == '#')) ++end;
        size_t length = end - cursor_;
        // Leave the last character to a quantifier that follows the run.
        if (length > 1 && IsQuantifierChar(PatternAt(end))) --length;
        if (length == 0) SignalError(119);
        ret = EmitNode((mods & ModifierI) ? OpLiteralCI : OpLiteral);
        for (size_t k = 0; k < length; ++k) {
            char ch = PatternAt(cursor_ + k);
            if (!(extended && IsPatternSpace(ch))) EmitByte(static_cast<uint8_t>(ch));
        }
        EmitByte(0);
        cursor_ += length;
        flags = kHasWidth | (length == 1 ? kSimple : 0);
        break;
    }
    }
    return ret;
}

// ---------------------------------------------------------------- start set

void TRegExpr::BuildStartSet() {
    startSet_.fill(0);
    std::vector<bool> visited(program_.size());
    AddStartChars(1, startSet_, visited, 0);
}

// Adds the characters at which a match of the chain from `node` can begin.
// A node reached again adds nothing new: its characters are being or have
// been added. Past a nesting depth the set takes every character, which is
// never wrong, only slower.
void TRegExpr::AddStartChars(int32_t node, CharSet& set, std::vector<bool>& visited, int depth) {
    if (depth > 200) {
        set.fill(0xFF);
        return;
    }
    for (int32_t scan = node;;) {
        if (scan == 0) {
            set.fill(0xFF);
            return;
        }
        if (visited[static_cast<size_t>(scan)]) return;
        visited[static_cast<size_t>(scan)] = true;
        const uint8_t op = Op(scan);
        const uint8_t* operand = &program_[scan + 5];
        switch (op) {
        case OpEnd: case OpAnyChar: case OpBackRef: case OpBackRefCI: case OpAnyInLine:
            set.fill(0xFF);
            return;
        case OpEndText:
            Include(set, 0);
            return;
        case OpEndLine:
            Include(set, 0);
            for (char c : LineSeparators) Include(set, static_cast<uint8_t>(c));
            if (pairAssigned_) Include(set, static_cast<uint8_t>(pairHead_));
            return;
        case OpBranch:
            if (Op(Next(scan)) == OpBranch) {
                for (int32_t alt = scan; alt != 0 && Op(alt) == OpBranch; alt = Next(alt))
                    AddStartChars(alt + 5, set, visited, depth + 1);
                return;
            }
            scan += 5;
            continue;
        case OpBeginText: case OpBack: case OpEmpty: case OpNoOp: case OpBeginLine: case OpWordEdge:
        case OpNotWordEdge: case OpLoopEntry:
            scan = Next(scan);
            continue;
        case OpLiteral:
            Include(set, operand[0]);
            return;
        case OpLiteralCI:
            Include(set, operand[0]);
            Include(set, invert_[operand[0]]);
            return;
        case OpOneOf3:
            for (int i = 0; i < 3; ++i) Include(set, operand[i]);
            return;
        case OpNoneOf3:
            for (int c = 0; c < 256; ++c)
                if (c != operand[0] && c != operand[1] && c != operand[2]) Include(set, static_cast<uint8_t>(c));
            return;
        case OpInSet:
            for (int i = 0; i < 32; ++i) set[i] = static_cast<uint8_t>(set[i] | operand[i]);
            return;
        case OpDigit: case OpNonDigit:
            for (int c = 0; c < 256; ++c)
                if (IsDigitChar(static_cast<char>(c)) == (op == OpDigit)) Include(set, static_cast<uint8_t>(c));
            return;
        case OpStar: case OpStarLazy:
            AddStartChars(scan + 5, set, visited, depth + 1);
            scan = Next(scan);
            continue;
        case OpPlus: case OpPlusLazy:
            AddStartChars(scan + 5, set, visited, depth + 1);
            return;
        case OpCount: case OpCountLazy:
            AddStartChars(scan + 13, set, visited, depth + 1);
            if (ReadInt(scan + 5) != 0) return;
            scan = Next(scan);
            continue;
        case OpLoop: case OpLoopLazy:
            AddStartChars(scan - ReadInt(scan + 13), set, visited, depth + 1);
            if (ReadInt(scan + 5) != 0) return;
            scan = Next(scan);
            continue;
        default:
            if (op > OpOpen && op < OpOpen + kGroups) {
                scan = Next(scan);
                continue;
            }
            if (op > OpClose && op < OpClose + kGroups) {
                scan = Next(scan);
                continue;
            }
            SignalError(1001);
        }
    }
}

// ---------------------------------------------------------------- searching

bool TRegExpr::MatchString(const std::string& subject) {
    SetInputString(subject);
    return RunFrom(1);
}

bool TRegExpr::RunFrom(int32_t offset) {
    starts_.fill(-1);
    ends_.fill(-1);
    EnsureCompiled();
    if (!subject_) SignalError(1005);
    if (offset <= 0) SignalError(1006);
    const std::string& subject = *subject_;
    if (static_cast<size_t>(offset) > subject.size() + 1) return false;
    text_ = subject.c_str();
    end_ = subjectEnd_;
    const int64_t from = offset - 1;
    if (from > end_) return false;  // the offset lies past the first NUL
    std::string_view rest(text_ + from, static_cast<size_t>(end_ - from));
    if (requiredLiteral_ >= 0 &&
        rest.find(std::string_view(reinterpret_cast<const char*>(&program_[requiredLiteral_]),
                                   static_cast<size_t>(requiredLength_))) == std::string_view::npos)
        return false;
    loopDepth_ = 0;
    loopCounters_.fill(0);
    searchPushes_ = 0;

    auto attempt = [&](int64_t at) {
        if (!MatchAt(at)) return false;
        starts_[0] = at;
        ends_[0] = cursorPos_;
        return true;
    };
    try {
        if (anchored_) return attempt(from);
        if (firstChar_ != 0) {
            for (int64_t at = from; at < end_; ++at) {
                const void* hit = std::memchr(text_ + at, firstChar_, static_cast<size_t>(end_ - at));
                if (hit == nullptr) return false;
                at = static_cast<const char*>(hit) - text_;
                if (attempt(at)) return true;
            }
            return false;
        }
        for (int64_t at = from; at <= end_; ++at)
            if (Has(startSet_, SubjectAt(at)) && attempt(at)) return true;
        return false;
    } catch (...) {
        starts_.fill(-1);
        ends_.fill(-1);
        stack_.clear();
        throw;
    }
}

bool TRegExpr::IsWord(int64_t pos) const { return pos >= 0 && pos < end_ && Has(wordSet_, SubjectAt(pos)); }

bool TRegExpr::AtLineStart(int64_t pos) const {
    if (pos == 0) return true;
    const uint8_t before = SubjectAt(pos - 1);
    if (pairAssigned_) {
        if (before == static_cast<uint8_t>(pairTail_) && pos >= 2 && SubjectAt(pos - 2) == static_cast<uint8_t>(pairHead_))
            return true;
        if (before == static_cast<uint8_t>(pairHead_) && SubjectAt(pos) == static_cast<uint8_t>(pairTail_))
            return false;  // between the halves of a paired break
    }
    return Has(lineSeparatorSet_, before);
}

bool TRegExpr::AtLineEnd(int64_t pos) const {
    if (pos == end_) return true;
    const uint8_t here = SubjectAt(pos);
    if (pairAssigned_) {
        if (here == static_cast<uint8_t>(pairHead_) && SubjectAt(pos + 1) == static_cast<uint8_t>(pairTail_))
            return true;
        if (here == static_cast<uint8_t>(pairTail_) && pos > 0 && SubjectAt(pos - 1) == static_cast<uint8_t>(pairHead_))
            return false;
    }
    return Has(lineSeparatorSet_, here);
}

// Whether the one-character node matches the character at pos.
bool TRegExpr::MatchOne(int32_t node, int64_t pos) const {
    const uint8_t c = SubjectAt(pos);
    if (c == 0) return false;  // the subject's end
    const uint8_t* operand = &program_[node + 5];
    switch (Op(node)) {
    case OpAnyChar: return true;
    case OpAnyInLine:
        if (pairAssigned_ && c == static_cast<uint8_t>(pairHead_) && SubjectAt(pos + 1) == static_cast<uint8_t>(pairTail_))
            return false;
        return !Has(lineSeparatorSet_, c);
    case OpLiteral: return c == operand[0];
    case OpLiteralCI: return c == operand[0] || c == invert_[operand[0]];
    case OpDigit: return c >= '0' && c <= '9';
    case OpNonDigit: return c < '0' || c > '9';
    case OpOneOf3: return c == operand[0] || c == operand[1] || c == operand[2];
    case OpNoneOf3: return c != operand[0] && c != operand[1] && c != operand[2];
    case OpInSet: return Has(operand, c);
    default: return false;
    }
}

// Counts how many times the one-character operand (or the text captured by
// a backreference) repeats at pos, at most max times; step is the length of
// one repetition (0 for an empty capture, which repeats without end).
int64_t TRegExpr::RegRepeat(int32_t operand, int64_t pos, int64_t max, int64_t& step) {
    step = 1;
    const uint8_t op = Op(operand);
    switch (op) {
    case OpAnyChar: return std::min(max, end_ - pos);
    case OpBackRef:
    case OpBackRefCI: {
        const int group = program_[operand + 5];
        const int64_t start = starts_[group], finish = ends_[group];
        if (start < 0 || finish < start) return 0;
        step = finish - start;
        if (step == 0) return max;
        int64_t count = 0;
        for (int64_t at = pos; count < max && at + step <= end_; at += step, ++count) {
            for (int64_t k = 0; k < step; ++k) {
                const uint8_t want = SubjectAt(start + k), got = SubjectAt(at + k);
                if (got != want && !(op == OpBackRefCI && got == invert_[want])) return count;
            }
        }
        return count;
    }
    case OpInSet: {
        const uint8_t* set = &program_[operand + 5];
        int64_t count = 0;
        while (count < max && SubjectAt(pos + count) != 0 && Has(set, SubjectAt(pos + count))) ++count;
        return count;
    }
    case OpLiteral: case OpLiteralCI: case OpDigit: case OpNonDigit: case OpOneOf3: case OpNoneOf3: {
        int64_t count = 0;
        while (count < max && MatchOne(operand, pos + count)) ++count;
        return count;
    }
    default:
        SignalError(1000);
        return 0;
    }
}

bool TRegExpr::MatchAt(int64_t start) {
    stack_.clear();
    int64_t pushes = 0;
    const size_t maxFrames = static_cast<size_t>(std::max<int64_t>(StackLimit, 0)) / sizeof(Frame);
    auto push = [&](Frame::Kind kind, int32_t node, int64_t a, int64_t b) {
        if (++pushes > MatchLimit || ++searchPushes_ > SearchLimit) SignalError(ErrMatchLimit);
        // Grown by hand, so that the stack never holds more than its limit.
        if (stack_.size() == stack_.capacity()) {
            if (stack_.size() >= maxFrames) SignalError(ErrStackLimit);
            stack_.reserve(std::min(maxFrames, std::max<size_t>(stack_.capacity() * 2, 64)));
        }
        stack_.push_back(Frame{kind, node, a, b});
    };
    auto setCounter = [&](int32_t value) {
        push(Frame::RestoreCounter, loopDepth_, loopCounters_[loopDepth_], 0);
        loopCounters_[loopDepth_] = value;
    };
    auto setDepth = [&](int32_t depth) {
        push(Frame::RestoreDepth, 0, loopDepth_, 0);
        loopDepth_ = depth;
    };
    struct Repeat {
        int32_t operand;
        int64_t min, max;
        int lookahead;  // first character of a literal that follows, or -1
        int32_t next;
    };
    auto describe = [&](int32_t node) {
        Repeat r{};
        const uint8_t op = Op(node);
        const bool counted = op == OpCount || op == OpCountLazy;
        r.operand = node + (counted ? 13 : 5);
        r.min = counted ? ReadInt(node + 5) : (op == OpPlus || op == OpPlusLazy) ? 1 : 0;
        r.max = counted ? ReadInt(node + 9) : 2147483647;
        r.next = Next(node);
        r.lookahead = r.next != 0 && Op(r.next) == OpLiteral ? program_[r.next + 5] : -1;
        return r;
    };
    auto lookaheadOk = [&](const Repeat& r, int64_t at) { return r.lookahead < 0 || SubjectAt(at) == r.lookahead; };
    auto unitStep = [&](const Repeat& r) {
        int64_t step;
        RegRepeat(r.operand, 0, 0, step);
        return step;
    };
    auto unitAt = [&](const Repeat& r, int64_t at) {
        int64_t step;
        return RegRepeat(r.operand, at, 1, step) == 1;
    };

    int64_t pos = start;
    int32_t scan = 1;

    // The alternative after `branch`, skipping those that begin with a
    // literal whose first character is not the one at the cursor.
    auto nextAlternative = [&](int32_t branch) {
        for (;;) {
            branch = Next(branch);
            if (branch == 0 || Op(branch) != OpBranch) return 0;
            if (Op(branch + 5) != OpLiteral || program_[branch + 10] == SubjectAt(pos)) return branch;
        }
    };

    // Pops the stack to the latest choice point and resumes it; false when
    // none is left.
    auto backtrack = [&]() {
        while (!stack_.empty()) {
            const Frame f = stack_.back();
            stack_.pop_back();
            switch (f.kind) {
            case Frame::RestoreOpen: openStarts_[f.node] = f.a; break;
            case Frame::RestoreCapture:
                starts_[f.node] = f.a;
                ends_[f.node] = f.b;
                break;
            case Frame::RestoreCounter: loopCounters_[f.node] = static_cast<int32_t>(f.a); break;
            case Frame::RestoreLoopStart: loopStarts_[f.node] = f.a; break;
            case Frame::RestorePass: passStart_[f.node] = f.a; break;
            case Frame::RestoreDepth: loopDepth_ = static_cast<int32_t>(f.a); break;
            case Frame::Alternative: {
                pos = f.a;
                int32_t next = nextAlternative(f.node);
                if (next != 0) push(Frame::Alternative, next, pos, 0);
                scan = f.node + 5;
                return true;
            }
            case Frame::RepeatGreedy: {
                const Repeat r = describe(f.node);
                const int64_t step = unitStep(r);
                for (int64_t i = f.b - 1; i >= r.min; --i) {
                    if (!lookaheadOk(r, f.a + i * step)) continue;
                    if (i > r.min) push(Frame::RepeatGreedy, f.node, f.a, i);
                    pos = f.a + i * step;
                    scan = r.next;
                    return true;
                }
                break;
            }
            case Frame::RepeatLazy: {
                const Repeat r = describe(f.node);
                const int64_t step = unitStep(r);
                for (int64_t i = f.b; i < r.max && unitAt(r, f.a + i * step);) {
                    ++i;
                    if (!lookaheadOk(r, f.a + i * step)) continue;
                    if (i < r.max) push(Frame::RepeatLazy, f.node, f.a, i);
                    pos = f.a + i * step;
                    scan = r.next;
                    return true;
                }
                break;
            }
            case Frame::LoopLeave:
                pos = f.a;
                setDepth(loopDepth_ - 1);
                scan = Next(f.node);
                if (scan == 0) SignalError(1002);
                return true;
            case Frame::LoopLazyBody:
                pos = f.a;
                setCounter(loopCounters_[loopDepth_] + 1);
                push(Frame::RestoreLoopStart, loopDepth_, loopStarts_[loopDepth_], 0);
                loopStarts_[loopDepth_] = pos;
                scan = f.node - ReadInt(f.node + 13);
                return true;
            }
        }
        return false;
    };

    for (;;) {
        if (loopHead_[static_cast<size_t>(scan)] && passStart_[static_cast<size_t>(scan)] != pos) {
            push(Frame::RestorePass, scan, passStart_[static_cast<size_t>(scan)], 0);
            passStart_[static_cast<size_t>(scan)] = pos;
        }
        const uint8_t op = Op(scan);
        bool ok = true;
        switch (op) {
        case OpEnd:
            cursorPos_ = pos;
            stack_.clear();
            return true;
        case OpBeginText: ok = pos == 0; break;
        case OpEndText: ok = pos == end_; break;
        case OpBeginLine: ok = AtLineStart(pos); break;
        case OpEndLine: ok = AtLineEnd(pos); break;
        case OpWordEdge: ok = IsWord(pos - 1) != IsWord(pos); break;
        case OpNotWordEdge: ok = IsWord(pos - 1) == IsWord(pos); break;
        case OpAnyChar: case OpAnyInLine: case OpDigit: case OpNonDigit: case OpOneOf3: case OpNoneOf3:
        case OpInSet:
            ok = MatchOne(scan, pos);
            if (ok) ++pos;
            break;
        case OpLiteral:
        case OpLiteralCI: {
            // A NUL in the operand would end it at once: the subject's end
            // is no character, so such a literal never matches.
            const uint8_t* literal = &program_[scan + 5];
            ok = literal[0] != 0;
            int64_t k = 0;
            for (; ok && literal[k] != 0; ++k) {
                const uint8_t c = SubjectAt(pos + k);
                ok = c != 0 && (c == literal[k] || (op == OpLiteralCI && c == invert_[literal[k]]));
            }
            if (ok) pos += k;
            break;
        }
        case OpBackRef:
        case OpBackRefCI: {
            const int group = program_[scan + 5];
            const int64_t begin = starts_[group], finish = ends_[group];
            ok = begin >= 0 && finish >= begin && pos + (finish - begin) <= end_;
            for (int64_t k = 0; ok && k < finish - begin; ++k) {
                const uint8_t want = SubjectAt(begin + k), got = SubjectAt(pos + k);
                ok = got == want || (op == OpBackRefCI && got == invert_[want]);
            }
            if (ok) pos += finish - begin;
            break;
        }
        case OpBranch: {
            const int32_t next = Next(scan);
            if (next == 0 || Op(next) != OpBranch) {  // a lone branch: its content
                scan += 5;
                continue;
            }
            int32_t branch = scan;
            if (Op(branch + 5) == OpLiteral && program_[branch + 10] != SubjectAt(pos)) branch = nextAlternative(branch);
            if (branch == 0) {
                ok = false;
                break;
            }
            const int32_t later = nextAlternative(branch);
            if (later != 0) push(Frame::Alternative, later, pos, 0);
            scan = branch + 5;
            continue;
        }
        case OpBack: {
            // A pass that matched nothing ends the loop (as Perl does): the
            // match goes on after the loop instead of running the pass again.
            // The exit is the empty alternative after the loop's branch: for
            // x* the head's second branch, for x+ the one after this node's.
            const int32_t head = Next(scan);
            if (head == 0 || passStart_[static_cast<size_t>(head)] != pos) break;
            scan = Next(Op(head) == OpBranch ? head : scan - 5) + 5;
            continue;
        }
        case OpEmpty: case OpNoOp: break;
        case OpStar: case OpStarLazy: case OpPlus: case OpPlusLazy: case OpCount: case OpCountLazy: {
            const Repeat r = describe(scan);
            const bool lazy = op == OpStarLazy || op == OpPlusLazy || op == OpCountLazy;
            int64_t step;
            int64_t count = RegRepeat(r.operand, pos, lazy ? r.min : r.max, step);
            if (step == 0) count = std::min(r.min, r.max);  // an empty capture repeats in place
            ok = false;
            if (count >= r.min && !lazy) {
                for (int64_t i = count; i >= r.min; --i) {
                    if (!lookaheadOk(r, pos + i * step)) continue;
                    if (i > r.min && step > 0) push(Frame::RepeatGreedy, scan, pos, i);
                    pos += i * step;
                    ok = true;
                    break;
                }
            } else if (count >= r.min) {
                for (int64_t i = r.min;; ++i) {
                    if (lookaheadOk(r, pos + i * step)) {
                        if (i < r.max && step > 0) push(Frame::RepeatLazy, scan, pos, i);
                        pos += i * step;
                        ok = true;
                        break;
                    }
                    if (step == 0 || i >= r.max || !unitAt(r, pos + i * step)) break;
                }
            }
            if (ok) {
                scan = r.next;
                if (scan == 0) SignalError(1002);
                continue;
            }
            break;
        }
        case OpLoopEntry:
            setDepth(loopDepth_ + 1);
            if (loopDepth_ > kLoopLevels) SignalError(1014);
            setCounter(0);
            break;
        case OpLoop:
        case OpLoopLazy: {
            if (loopDepth_ <= 0) SignalError(1015);
            const int32_t count = loopCounters_[loopDepth_];
            const int32_t min = ReadInt(scan + 5), max = ReadInt(scan + 9);
            const int32_t body = scan - ReadInt(scan + 13);
            // A pass that matched nothing ends the loop once its minimum is met.
            const bool emptyPass = count > 0 && count >= min && loopStarts_[loopDepth_] == pos;
            if (!emptyPass && (count < min || (op == OpLoop && count < max))) {
                if (count >= min) push(Frame::LoopLeave, scan, pos, 0);
                setCounter(count + 1);
                push(Frame::RestoreLoopStart, loopDepth_, loopStarts_[loopDepth_], 0);
                loopStarts_[loopDepth_] = pos;
                scan = body;
                continue;
            }
            if (emptyPass) {
                setDepth(loopDepth_ - 1);
                break;
            }
            if (op == OpLoopLazy && count < max) push(Frame::LoopLazyBody, scan, pos, 0);
            setDepth(loopDepth_ - 1);
            break;
        }
        default:
            // A group's capture changes when the group closes: until then a
            // backreference to it inside it sees its last completed pass.
            if (op > OpOpen && op < OpOpen + kGroups) {
                const int group = op - OpOpen;
                push(Frame::RestoreOpen, group, openStarts_[group], 0);
                openStarts_[group] = pos;
            } else if (op > OpClose && op < OpClose + kGroups) {
                const int group = op - OpClose;
                push(Frame::RestoreCapture, group, starts_[group], ends_[group]);
                starts_[group] = openStarts_[group];
                ends_[group] = pos;
            } else {
                SignalError(1001);
            }
            break;
        }
        if (ok) {
            const int32_t next = Next(scan);
            if (next == 0) SignalError(1002);
            scan = next;
            continue;
        }
        if (!backtrack()) return false;
    }
}
