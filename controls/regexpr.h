// Regular expressions over 8-bit (code-page) text.
//
// TRegExpr compiles an expression into a compact byte program and runs it
// with a backtracking matcher. The subject ends at its first NUL. The only
// search is MatchString (or RunFrom on the subject already set); the capture
// spans of the last search can be read back with MatchPos and MatchLen.
//
// The program is one block: byte 0 holds the signature 216, then nodes of
// op code (1 byte), link (signed 32-bit little-endian distance from this
// node to the next, 0 = none) and operand. The matcher keeps its choice
// points on a heap stack of its own, so neither deep nesting nor long
// subjects grow the native stack; a run that needs more choice points than
// MatchLimit in one attempt, or more than SearchLimit over all the start
// positions of one search, stops with error 1016 instead of running on, and
// one whose stack would outgrow StackLimit stops with error 1017. A pass of
// a loop that matched nothing ends the loop, and a backreference inside its
// own group refers to the group's last completed pass, as in Perl.
// Stands on the platform's code-page case mapping and exceptions only.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/errors.h"

class ERegExpr : public Exception {
public:
    ERegExpr(const std::string& message, int32_t code, int32_t position)
        : Exception(message), ErrorCode(code), CompilerErrorPos(position) {}
    int32_t ErrorCode;
    // Distance from the start of the expression to the parse cursor when a
    // compile error was raised; 0 for every other error.
    int32_t CompilerErrorPos;
};

class TRegExpr {
public:
    // Op codes of the program.
    static constexpr uint8_t OpEnd = 0, OpBeginText = 1, OpEndText = 2, OpAnyChar = 3, OpBranch = 6, OpBack = 7,
                             OpLiteral = 8, OpEmpty = 9, OpStar = 10, OpPlus = 11, OpDigit = 12, OpNonDigit = 13,
                             OpCount = 18, OpNoOp = 19, OpLiteralCI = 20, OpLoopEntry = 23, OpLoop = 24,
                             OpOneOf3 = 25, OpNoneOf3 = 26, OpInSet = 27, OpBackRef = 28, OpBackRefCI = 29,
                             OpStarLazy = 30, OpPlusLazy = 31, OpCountLazy = 32, OpLoopLazy = 33,
                             OpBeginLine = 34, OpEndLine = 35, OpAnyInLine = 36, OpWordEdge = 37,
                             OpNotWordEdge = 38, OpOpen = 39, OpClose = 54;  // group n: OpOpen + n, OpClose + n
    static constexpr uint8_t kSignature = 216;
    static constexpr int32_t kUnbounded = 2147483646;
    static constexpr int kGroups = 15;      // capture 0 = the whole match, 1..14 the groups
    static constexpr int kLoopLevels = 10;  // nesting levels of general loops

    // Modifier bits (SetModifier takes their numbers 1..6 in this order).
    static constexpr uint32_t ModifierI = 1, ModifierR = 2, ModifierS = 4, ModifierG = 8, ModifierM = 16,
                              ModifierX = 32;

    // Error codes raised here beyond the compile table.
    static constexpr int32_t ErrMatchLimit = 1016;
    static constexpr int32_t ErrStackLimit = 1017;
    // Constructs of other regular-expression dialects that this one lacks,
    // and references that cannot be resolved: each error names its construct.
    static constexpr int32_t ErrNonCapturingGroup = 129, ErrLookaround = 130, ErrControlVerb = 131,
                             ErrNoSuchGroup = 132, ErrNulInExpression = 133;

    TRegExpr();
    virtual ~TRegExpr();
    TRegExpr(const TRegExpr&) = delete;
    TRegExpr& operator=(const TRegExpr&) = delete;

    virtual void SignalError(int32_t code);
    virtual std::string ErrorText(int32_t code) const;

    const std::string& GetExpression() const { return expression_; }
    void SetPattern(const std::string& text);

    void SetModifier(int number, bool on);
    bool GetModifier(int number);
    uint32_t GetModifiers() const { return modifiers_; }

    std::string GetLinePairedSeparator() const;
    void SetLinePairedSeparator(const std::string& text);

    const std::string& GetInputString() const { return subject_ ? *subject_ : empty_; }
    void SetInputString(const std::string& text);

    // Whether the expression matches anywhere in the subject.
    bool MatchString(const std::string& subject);
    // Searches the subject set last from the 1-based offset on.
    bool RunFrom(int32_t offset);

    // 1-based start and length of capture n after a match; -1 when unset.
    int64_t MatchPos(int n) const;
    int64_t MatchLen(int n) const;

    // Applies modifier letters to a set; "-" makes the later letters clear.
    // False at the first character that is no modifier letter.
    static bool ParseModifiers(const std::string& letters, uint32_t& set);
    static char DefaultInvertCase(char c);

    int32_t LastError() const { return lastError_; }
    int32_t ErrorPosition() const;
    // The compiled program (empty until a search compiled it).
    const std::vector<uint8_t>& Program() const { return program_; }

    std::string SpaceChars = " \t\n\r\f";
    std::string WordChars = "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ_";
    std::string LineSeparators = "\r\n";
    std::function<char(char)> InvertCase = DefaultInvertCase;
    // Choice points (backtracking entries) one attempt may push before the
    // search stops with ErrMatchLimit; it also bounds the matcher's memory.
    int64_t MatchLimit = 10000000;
    // Choice points a whole search may push over all its start positions:
    // a pattern that is cheap per attempt but retried at every position of
    // a long subject is quadratic, and this stops it too.
    int64_t SearchLimit = 1000000000;
    // Bytes the backtracking stack may take: a search that would need more
    // stops with ErrStackLimit instead of taking the memory.
    int64_t StackLimit = 256 << 20;

private:
    using CharSet = std::array<uint8_t, 32>;
    struct Frame;

    void DiscardProgram();
    void EnsureCompiled();
    // The character tables the program and the matcher read: the case
    // inversions when the expression compiles, the line-separator and word
    // sets whenever their texts change.
    void BuildInversions();
    void BuildSets();
    void FindLoopHeads();
    int32_t NodeEnd(int32_t node) const;
    void CompileProgram();
    void BuildStartSet();
    void AddStartChars(int32_t node, CharSet& set, std::vector<bool>& visited, int depth);

    // Parsing (returns the node offset of what was emitted).
    int32_t ParseReg(bool paren, int& flags);
    int32_t ParseSequence(int& flags);
    int32_t ParseQuantified(int& flags);
    int32_t ParseAtom(int& flags);
    int32_t ParseClass(int& flags);
    int32_t EmitClass(const CharSet& members, bool negated);
    uint8_t ParseEscaped();
    void EmitLoop(int32_t atom, bool lazy, int32_t min, int32_t max);

    // Emitting (counts only during the sizing pass).
    int32_t EmitNode(uint8_t op);
    void EmitByte(uint8_t b);
    void EmitInt(int32_t v);
    void WriteInt(int32_t at, int32_t v);  // patches a value already emitted
    void InsertOperator(uint8_t op, int32_t operand, int32_t size);
    void Tail(int32_t node, int32_t target);
    void OpTail(int32_t node, int32_t target);
    char PatternAt(size_t i) const { return i < expression_.size() ? expression_[i] : '\0'; }

    // Program access.
    uint8_t Op(int32_t node) const { return program_[node]; }
    int32_t ReadInt(int32_t at) const;
    int32_t Next(int32_t node) const;

    // Matching.
    bool MatchAt(int64_t start);
    int64_t RegRepeat(int32_t operand, int64_t pos, int64_t max, int64_t& step);
    bool MatchOne(int32_t node, int64_t pos) const;
    bool IsWord(int64_t pos) const;
    bool AtLineStart(int64_t pos) const;
    bool AtLineEnd(int64_t pos) const;
    uint8_t SubjectAt(int64_t i) const { return static_cast<uint8_t>(text_[i]); }

    // Captures, as offsets into the subject (-1 = unset).
    std::array<int64_t, kGroups> starts_{};
    std::array<int64_t, kGroups> ends_{};
    std::array<int64_t, kGroups> openStarts_{};  // where each open group began
    std::array<int32_t, kLoopLevels + 1> loopCounters_{};
    std::array<int64_t, kLoopLevels + 1> loopStarts_{};  // where each loop's last pass began
    int32_t loopDepth_ = 0;
    int64_t searchPushes_ = 0;

    uint8_t firstChar_ = 0;
    bool anchored_ = false;
    int32_t requiredLiteral_ = -1;  // offset of the literal's characters
    int32_t requiredLength_ = 0;
    CharSet startSet_{};

    // Compiler state.
    size_t cursor_ = 0;
    int32_t nextGroup_ = 1;
    bool sizing_ = false;
    int32_t programSize_ = 0;
    bool compiling_ = false;
    bool compiled_ = false;
    uint32_t modifiers_ = ModifierR | ModifierS | ModifierG;
    uint32_t compileModifiers_ = 0;
    uint32_t programModifiers_ = 0;

    std::vector<uint8_t> program_;
    std::string expression_;
    bool hasExpression_ = false;
    std::optional<std::string> subject_;
    int64_t subjectEnd_ = 0;  // index of the subject's first NUL
    static const std::string empty_;

    int32_t lastError_ = 0;

    bool pairAssigned_ = false;
    char pairHead_ = '\r', pairTail_ = '\n';
    CharSet lineSeparatorSet_{};
    CharSet wordSet_{};
    std::string setsLineSeparators_, setsWordChars_;
    bool setsBuilt_ = false;
    // The nodes where a pass of a greedy * or + begins, and where the pass
    // that is running began (-1: none yet).
    std::vector<uint8_t> loopHead_;
    std::vector<int64_t> passStart_;
    int32_t maxBackRef_ = 0;
    size_t backRefAt_ = 0;
    std::array<uint8_t, 256> invert_{};

    // Run state.
    const char* text_ = nullptr;
    int64_t end_ = 0;  // index of the subject's first NUL
    int64_t cursorPos_ = 0;
    std::vector<Frame> stack_;
};
