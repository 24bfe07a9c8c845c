#include "ascompiler/compile_context.h"

#include <algorithm>

#include "ascompiler/lexer.h"
#include "ascompiler/parser.h"
#include "movie/flash_movie.h"
#include "platform/paths.h"

TOwnedMovieHolder::TOwnedMovieHolder(bool create) {
    if (create) OwnedMovie = std::make_unique<TFlashMovie>(0, 0, 550, 400, 12, true);
}
TOwnedMovieHolder::~TOwnedMovieHolder() = default;

TCompileContext::TCompileContext()
    : TOwnedMovieHolder(true),
      TBaseCompileContext(*OwnedMovie),
      strings_(std::make_unique<TStringTable>()),
      classes_(std::make_unique<TClassTable>(*strings_)) {}

TCompileContext::TCompileContext(TFlashMovie& movie)
    : TOwnedMovieHolder(false),
      TBaseCompileContext(movie),
      strings_(std::make_unique<TStringTable>()),
      classes_(std::make_unique<TClassTable>(*strings_)) {}

// The class table goes first: its entries own the units of class files,
// whose scopes refer into it.
TCompileContext::~TCompileContext() {
    for (const auto& entry : classes_->Entries) {
        auto* info = dynamic_cast<TClassInfo*>(entry.get());
        if (info && info->Unit) info->Unit->DefinedClasses.clear();
    }
    classes_.reset();
}

TCompileUnit::~TCompileUnit() {
    for (auto [info, scope] : DefinedClasses) {
        if (info->Scope == scope) {
            info->Definition = nullptr;
            info->Scope = nullptr;
        }
    }
    for (TParseTreeNode* node : Nodes) node->~TParseTreeNode();
}

// Folders keep their case: file names are case-sensitive here. A relative
// folder is refused, because it would be found through the working
// directory.
void TCompileContext::AddIncludePath(const std::string& path) {
    std::string native = NativePath(path);
    if (native.empty() || !IsAbsolutePath(native) || native[0] != '/' || !DirectoryExists(native)) {
        throw EActionCompileError(FormatStr("Include path \"%s\" not found.", path.c_str()));
    }
    std::string folder = IncludeTrailingPathDelimiter(ExcludeTrailingPathDelimiter(native));
    if (std::find(includeFolders_.begin(), includeFolders_.end(), folder) == includeFolders_.end()) {
        includeFolders_.push_back(folder);
    }
}

std::unique_ptr<TStream> TCompileContext::OpenIncludeFile(const std::string& name) const {
    std::string native = NativePath(name);
    auto open = [](const std::string& fileName) -> std::unique_ptr<TStream> {
        if (!FileExists(fileName) || DirectoryExists(fileName)) return nullptr;
        return std::make_unique<TFileStream>(fileName, TFileMode::OpenRead);
    };
    std::unique_ptr<TStream> stream;
    if (IsAbsolutePath(native)) {
        // A drive-letter name names nothing here.
        if (native[0] == '/') stream = open(native);
    } else {
        for (const std::string& folder : includeFolders_) {
            if ((stream = open(folder + native))) break;
        }
    }
    if (!stream) throw EActionCompileError(FormatStr("Include file \"%s\" not found.", native.c_str()));
    return stream;
}

TIdentTable* TCompileContext::PushIdentTable(uint8_t kind) {
    auto table = std::make_unique<TIdentTable>(kind, &CurrentScope());
    TIdentTable* raw = table.get();
    currentUnit_->Tables.push_back(std::move(table));
    identTables_.push_back(raw);
    return raw;
}

void TCompileContext::PopIdentTable() {
    if (!identTables_.empty()) identTables_.pop_back();
}

TBaseIdentTable& TCompileContext::CurrentScope() {
    if (identTables_.empty()) return *classes_;
    return *identTables_.back();
}

void TCompileContext::ParseActionSource(TStream& source) {
    // Scopes a failed parse leaves open are closed again.
    size_t openScopes = identTables_.size();
    struct TScopeGuard {
        std::vector<TIdentTable*>& tables;
        size_t size;
        ~TScopeGuard() { tables.resize(size); }
    } guard{identTables_, openScopes};

    TLexer lexer(
        *strings_, source, [this](const std::string& name) { return OpenIncludeFile(name); }, &GetMessageStream());
    TParser parser(*this, lexer);
    parser.ParseProgram();
}

std::unique_ptr<TCompileUnit> TCompileContext::ParseUnit(TStream& source) {
    auto unit = std::make_unique<TCompileUnit>();
    TCompileUnit* previous = currentUnit_;
    currentUnit_ = unit.get();
    try {
        ParseActionSource(source);
    } catch (...) {
        currentUnit_ = previous;
        throw;
    }
    currentUnit_ = previous;
    return unit;
}
