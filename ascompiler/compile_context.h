// The ActionScript compiler: turns ActionScript 1/2 source into SWF action
// records through the movie builder. This header is its context for one
// movie: the interned strings, the known classes, the include folders, the
// scopes open while parsing and the compile unit being built. It stands on
// platform/ and the movie builder, which reaches it through its abstract
// compile context (movie/compile_context.h, also home of
// EActionCompileError).
//
// State that the compiler keeps per process elsewhere (the current context,
// the lexer's input) lives here and in the lexer object of one parse, so
// contexts of different movies do not meet.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "ascompiler/compile_unit.h"
#include "ascompiler/containers.h"
#include "ascompiler/ident_tables.h"
#include "platform/errors.h"
#include "platform/stream.h"

#include "movie/compile_context.h"

class TCompileContext {
public:
    TCompileContext();
    virtual ~TCompileContext();
    TCompileContext(const TCompileContext&) = delete;
    TCompileContext& operator=(const TCompileContext&) = delete;

    // Adds an existing, absolute folder to the include search (once); raises
    // "Include path \"%s\" not found." otherwise.
    void AddIncludePath(const std::string& path);
    const std::vector<std::string>& IncludeFolders() const { return includeFolders_; }
    // Opens an include file: a name with an absolute or drive prefix as it
    // is, any other in the include folders in the order they were added.
    // The working directory is never searched. Raises "Include file \"%s\"
    // not found." when no folder holds it.
    std::unique_ptr<TStream> OpenIncludeFile(const std::string& name) const;

    // Parses source from its position to its end into the current unit.
    // Raises "Parse Error in line: %d pos: %d" (or, inside an include file,
    // "Parse Error in file: \"%s\" line: %d pos: %d") on a syntax error.
    void ParseActionSource(TStream& source);
    // A new unit, made current while the source is parsed into it.
    std::unique_ptr<TCompileUnit> ParseUnit(TStream& source);

    TStringTable& Strings() { return *strings_; }
    TClassTable& Classes() { return *classes_; }

    TCompileUnit* CurrentUnit() const { return currentUnit_; }
    void SetCurrentUnit(TCompileUnit* unit) { currentUnit_ = unit; }
    void SetRoot(TProgramNode* root) { currentUnit_->Root = root; }

    // Every node and scope joins the current unit, which owns it.
    template <class T, class... Args>
    T* NewNode(Args&&... args) {
        return currentUnit_->NewNode<T>(std::forward<Args>(args)...);
    }

    // Scopes: a new one's parent is the innermost open scope, or the class
    // table when none is open.
    TIdentTable* PushIdentTable(uint8_t kind);
    void PopIdentTable();
    TIdentTable* CurrentIdentTable() const { return identTables_.empty() ? nullptr : identTables_.back(); }
    TBaseIdentTable& CurrentScope();

    // Where the lexer copies bytes that no rule takes (the movie's message
    // stream once the compiler serves a movie); none drops them.
    TStream* MessageStream = nullptr;

private:
    std::unique_ptr<TStringTable> strings_;
    std::unique_ptr<TClassTable> classes_;
    std::vector<std::string> includeFolders_;
    std::vector<TIdentTable*> identTables_;
    TCompileUnit* currentUnit_ = nullptr;
};
