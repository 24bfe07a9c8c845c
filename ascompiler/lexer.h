// The lexer: turns ActionScript source bytes into tokens for the parser.
//
// It behaves like a table-driven longest-match scanner with rule priority
// and trailing context: keywords beat identifiers of the same length, a
// number's trailing character decides between octal and decimal readings, and
// a rule's trailing context is looked at but left in the input. It also
// follows `#include` lines into other files, skips comments and white space,
// and keeps the line and column that parse errors report.
//
// Each input (the main source, each open include file) is read whole into
// memory first, so the lexer can look ahead and give back without stepping a
// stream back, and positions after a given-back line feed stay exact.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ascompiler/containers.h"
#include "platform/stream.h"

struct TTokenValue {
    TStrId Id = 0;        // identifiers and strings
    double Number = 0;    // numbers
    int Kind = 0;         // compound assignments: the operator kind
    std::string Text;     // listing lines: the text after //#
};

class TLexer {
public:
    // Opens an include file by the name written in the directive (raises
    // when it cannot be found).
    using TIncludeOpener = std::function<std::unique_ptr<TStream>(const std::string& name)>;

    // Reads source from its current position to its end. Bytes that no rule
    // takes are copied to echo (when given), a line feed as CR LF.
    TLexer(TStringTable& strings, TStream& source, TIncludeOpener opener, TStream* echo = nullptr);

    // The next token (0 at the end of the input); fills value.
    int NextToken(TTokenValue& value);

    // Position in the current input: line from 1, column from 0, and the
    // include name as written ("" in the main source).
    int Line() const { return sources_.back().Line; }
    int Column() const { return sources_.back().Column; }
    const std::string& FileName() const { return sources_.back().FileName; }

    // Where the last token began (line from 1, column from 0, the include
    // name as written), its text as written (cut to a readable length, ""
    // at the end of the input), and whether a line break or the start of
    // the input came between it and the token before it.
    int TokenLine() const { return tokenLine_; }
    int TokenColumn() const { return tokenColumn_; }
    const std::string& TokenFileName() const { return tokenFile_; }
    const std::string& TokenText() const { return tokenText_; }
    bool TokenAfterLineBreak() const { return tokenAfterBreak_; }

    // How deep includes may nest.
    static constexpr size_t MaxIncludeDepth = 64;

    // The longest identifier or number the lexer takes.
    static constexpr size_t MaxTokenLength = 1024;
    // The longest listing text and include name kept.
    static constexpr size_t MaxListingLength = 255;
    static constexpr size_t MaxIncludeNameLength = 1024;

private:
    struct TSource {
        std::vector<uint8_t> Bytes;
        size_t Pos = 0;
        int Line = 1;
        int Column = 0;
        std::string FileName;
    };

    // The next token, with the start of the token noted in tokenLine_,
    // tokenColumn_ and tokenStart_.
    int ScanToken(TTokenValue& value);
    void NoteTokenStart();
    static void SkipByteOrderMark(TSource& source);
    TSource& Current() { return sources_.back(); }
    size_t Avail() const { return sources_.back().Bytes.size() - sources_.back().Pos; }
    // Byte k ahead inside the current input, -1 past its end.
    int At(size_t k) const;
    // Byte k ahead, reading on into the inputs that resume after an include
    // ends (as trailing context sees them); -1 past the end of everything.
    int Peek(size_t k) const;
    void Consume(size_t n);
    void PushInclude(const std::string& name);

    bool TryInclude(size_t& length, std::string& name) const;
    int ScanNumber(TTokenValue& value);
    int ScanNumberText(TTokenValue& value);
    void DropZeroAfterToken();
    int ScanIdentifier(TTokenValue& value);
    int ScanString(TTokenValue& value);
    int ScanOperator(TTokenValue& value);
    // Length of a line's rest from k when a line feed follows it, else 0.
    size_t RestOfLineBeforeLineFeed(size_t k) const;
    void Echo(uint8_t c);

    TStringTable& strings_;
    TIncludeOpener opener_;
    TStream* echo_;
    std::vector<TSource> sources_;
    bool lineStart_ = true;
    int tokenLine_ = 1;
    int tokenColumn_ = 0;
    std::string tokenFile_;
    std::string tokenText_;
    bool tokenAfterBreak_ = true;
    size_t tokenStart_ = 0;
    size_t tokenSource_ = 0;
    bool started_ = false;
};
