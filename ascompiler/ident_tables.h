// Identifier tables: the compiler's scopes. They are filled while parsing
// (declarations, parameters, implicit this/super/arguments, imports,
// classes) and consulted to choose between a register and a name and to find
// classes and class members. The class table is the outermost scope of every
// lookup: it holds the classes of the class path by full dotted name.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "ascompiler/containers.h"

class TBaseIdentTable;
class TIdentTable;
class TClassDefNode;
class TCompileUnit;

enum TScopeKind : uint8_t { skFunction = 0, skClass = 1, skProgram = 2 };

// Identifier flags.
enum : uint8_t { ifDeclared = 1, ifFunction = 2, ifStatic = 4, ifPublic = 8, ifPrivate = 16 };

class TIdentInfo {
public:
    TIdentInfo(TStrId name, TStrId type, TBaseIdentTable* table, uint8_t kind);
    virtual ~TIdentInfo() = default;
    TIdentInfo(const TIdentInfo&) = delete;
    TIdentInfo& operator=(const TIdentInfo&) = delete;

    TStrId Name;
    TStrId Type;            // the empty string's number when none
    uint8_t ScopeKind;      // of the owning table
    int Register = 0;       // 0 none yet, -1 never, 1.. a register
    uint8_t Flags = 0;
    TBaseIdentTable* Table; // owning table
};

// Class flags.
enum : uint8_t { cfReferenced = 1, cfEmitted = 2, cfBuiltIn = 4 };

class TClassInfo : public TIdentInfo {
public:
    TClassInfo(TStrId name, TBaseIdentTable* table);
    ~TClassInfo() override;

    TIdentTable* Scope = nullptr;           // set when the definition is parsed
    TClassDefNode* Definition = nullptr;    // likewise
    std::string FileName;                   // class-path file, when any
    uint8_t ClassFlags = 0;
    std::unique_ptr<TCompileUnit> Unit;     // of its file, once parsed
};

// An imported short name standing for a class.
class TAliasInfo : public TIdentInfo {
public:
    TAliasInfo(TStrId name, TClassInfo* target, TBaseIdentTable* table);
    TClassInfo* Class;
};

// Find flags.
enum : uint8_t { fsSuperclasses = 2, fsEnclosing = 1 };

class TBaseIdentTable {
public:
    TBaseIdentTable(uint8_t kind, TBaseIdentTable* parent) : Kind(kind), Parent(parent) {}
    virtual ~TBaseIdentTable() = default;
    TBaseIdentTable(const TBaseIdentTable&) = delete;
    TBaseIdentTable& operator=(const TBaseIdentTable&) = delete;

    virtual bool SameName(TStrId a, TStrId b) const { return a == b; }

    TIdentInfo* Add(TStrId name, TStrId type);
    // The class found by FindClass, or a new class entry of this table.
    TClassInfo* AddClass(TStrId name);
    TAliasInfo* AddAlias(TStrId name, TClassInfo* target);
    // Newest entry first; an alias gives its class. flags: fsEnclosing goes
    // on to the parent scopes, fsSuperclasses up the superclass scopes.
    TIdentInfo* Find(TStrId name, uint8_t flags) const;
    TClassInfo* FindClass(TStrId name) const;

    std::vector<std::unique_ptr<TIdentInfo>> Entries;
    uint8_t Kind;
    TBaseIdentTable* Parent;
    TBaseIdentTable* SuperScope = nullptr;

protected:
    // Lookups go through an index of the newest entry (and the newest class
    // or alias entry) of each name, so a scope of many names is no slower
    // to search than a small one. A table whose SameName is not identity
    // keeps its own index.
    virtual void Index(TIdentInfo* entry, bool isClass);
    virtual TIdentInfo* FindOwn(TStrId name, bool classOnly) const;

private:
    TIdentInfo* Append(std::unique_ptr<TIdentInfo> entry);
    std::unordered_map<TStrId, TIdentInfo*> newest_;
    std::unordered_map<TStrId, TIdentInfo*> newestClass_;
};

// Implicit identifiers.
enum TImplicit : uint8_t { imThis = 1, imSuper = 2, imArguments = 4 };

class TIdentTable : public TBaseIdentTable {
public:
    using TBaseIdentTable::TBaseIdentTable;

    // Adds the entry of this, super or arguments on first use.
    TIdentInfo* UseImplicit(TImplicit which);
    bool Uses(TImplicit which) const { return (UsedImplicit & which) != 0; }
    TIdentInfo* ImplicitEntry(TImplicit which) const;

    int TempRegister = 0;
    uint8_t UsedImplicit = 0;
    TIdentInfo* ThisEntry = nullptr;
    TIdentInfo* SuperEntry = nullptr;
    TIdentInfo* ArgumentsEntry = nullptr;
    int NextRegister = 1;
    bool AutoSuperCall = true;
    TStrId ClassName = 0;  // a class scope's full dotted name
    // A function whose variables eval or with may reach keeps none in
    // registers; nor one whose name an inner function reads.
    bool NoRegisters = false;
    std::unordered_set<TStrId> Captured;
};

// The classes known to a compile context, by full dotted name; names compare
// ignoring case.
class TClassTable : public TBaseIdentTable {
public:
    explicit TClassTable(const TStringTable& strings) : TBaseIdentTable(skProgram, nullptr), strings_(strings) {}
    bool SameName(TStrId a, TStrId b) const override;
    std::vector<std::string> ClassPath;

protected:
    void Index(TIdentInfo* entry, bool isClass) override;
    TIdentInfo* FindOwn(TStrId name, bool classOnly) const override;

private:
    std::string Key(TStrId name) const;
    const TStringTable& strings_;
    std::unordered_map<std::string, TIdentInfo*> newestByText_;
    std::unordered_map<std::string, TIdentInfo*> newestClassByText_;
};

// The names of the classes the player provides.
bool IsBuiltInClassName(const std::string& name);
