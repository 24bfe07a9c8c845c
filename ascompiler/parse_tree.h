// The parse tree: the nodes the grammar's actions build. Every node belongs
// to the compile unit whose source it came from (the unit's node list owns
// it; nodes refer to each other by plain pointers and are never freed one
// by one). Code generation walks the tree through EmitCode.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ascompiler/containers.h"
#include "ascompiler/ident_tables.h"

class TCompileContext;
class TSWFOffsetMarker;

// Node flags.
enum TNodeFlag : uint16_t {
    nfResultDiscarded = 1 << 0,
    nfNameOnly = 1 << 1,
    nfConstruction = 1 << 2,
    nfObjectLiteral = 1 << 3,
    nfArrayLiteral = 1 << 4,
    nfDoWhile = 1 << 5,
    nfPostfix = 1 << 6,
    nfSequence = 1 << 7,
    nfMember = 1 << 8,
    nfGetter = 1 << 9,
    nfSetter = 1 << 10,
    nfHoisted = 1 << 11,  // a function declaration already emitted at its body's start
};

struct TSourcePos {
    std::string FileName;
    int Line = 0;
    int Column = 0;
};

class TParseTreeNode {
public:
    TParseTreeNode() = default;
    virtual ~TParseTreeNode() = default;
    TParseTreeNode(const TParseTreeNode&) = delete;
    TParseTreeNode& operator=(const TParseTreeNode&) = delete;

    virtual void EmitCode(TCompileContext& context) { (void)context; }
    // Pops the value this node left when nobody uses it.
    void DiscardResult(TCompileContext& context);

    bool Has(TNodeFlag flag) const { return (Flags & flag) != 0; }
    void Set(TNodeFlag flag) { Flags = static_cast<uint16_t>(Flags | flag); }

    uint16_t Flags = 0;
    int ChainLength = 0;  // of member, index and call chains
    TSourcePos Pos;
};

// ---- auxiliary nodes

class TPairNode : public TParseTreeNode {
public:
    TPairNode(TParseTreeNode* name, TParseTreeNode* value) : Name(name), Value(value) {}
    TParseTreeNode* Name;
    TParseTreeNode* Value;  // may be none
};

// The lexer's position when the grammar's empty position rule is reduced.
class TSourcePosNode : public TParseTreeNode {};

// A dotted name such as a.b.C.
class TCompoundName : public TParseTreeNode {
public:
    explicit TCompoundName(TStrId part) { Parts.push_back(part); }
    // Split at every "." (empty parts are skipped).
    TCompoundName(const std::string& text, TStringTable& strings);

    void Add(TStrId part) {
        Parts.push_back(part);
        fullName_ = -1;
    }
    // Takes the parts of another dotted text.
    void Assign(const std::string& text, TStringTable& strings);
    int PartCount() const { return static_cast<int>(Parts.size()); }
    TStrId Part(int index) const { return Parts.at(static_cast<size_t>(index)); }
    TStrId LastPart() const { return Parts.back(); }
    // The parts joined with "." and interned (once).
    TStrId FullName(TStringTable& strings);

    std::vector<TStrId> Parts;

private:
    TStrId fullName_ = -1;
};

// ---- statements

class TStmtListNode : public TParseTreeNode {
public:
    void EmitCode(TCompileContext& context) override;
    std::vector<TParseTreeNode*> Statements;
};
class TNullStmtNode : public TParseTreeNode {};
class TListingStmtNode : public TParseTreeNode {
public:
    TListingStmtNode(int line, std::string text) : Line(line), Text(std::move(text)) {}
    int Line;
    std::string Text;
};

// Also the conditional expression a ? b : c.
class TIfStmtNode : public TParseTreeNode {
public:
    void EmitCode(TCompileContext& context) override;
    TIfStmtNode(TParseTreeNode* condition, TParseTreeNode* thenBranch, TParseTreeNode* elseBranch)
        : Condition(condition), Then(thenBranch), Else(elseBranch) {}
    TParseTreeNode* Condition;
    TParseTreeNode* Then;
    TParseTreeNode* Else;
};

class TSwitchCaseNode : public TParseTreeNode {
public:
    TSwitchCaseNode(TParseTreeNode* value, TParseTreeNode* statements) : Value(value), Statements(statements) {}
    TParseTreeNode* Value;       // none for default
    TParseTreeNode* Statements;  // may be none
    TSWFOffsetMarker* StartMarker = nullptr;
};
class TSwitchCaseListNode : public TParseTreeNode {
public:
    std::vector<TSwitchCaseNode*> Clauses;
};
class TSwitchStmtNode : public TParseTreeNode {
public:
    void EmitCode(TCompileContext& context) override;
    std::vector<TSWFOffsetMarker*> BreakMarkers;
    TSwitchStmtNode(TParseTreeNode* expression, TSwitchCaseListNode* cases) : Expression(expression), Cases(cases) {}
    TParseTreeNode* Expression;
    TSwitchCaseListNode* Cases;  // none for an empty body
};

class TWaitForFrameNode : public TParseTreeNode {
public:
    void EmitCode(TCompileContext& context) override;
    TWaitForFrameNode(int frame, TParseTreeNode* statement) : Frame(frame), Statement(statement) {}
    int Frame;
    TParseTreeNode* Statement;
};

class TLoopStmtNode : public TParseTreeNode {
public:
    void EmitCode(TCompileContext& context) override;
    std::vector<TSWFOffsetMarker*> BreakMarkers;
    TSWFOffsetMarker* StartMarker = nullptr;
    TLoopStmtNode(TParseTreeNode* condition, TParseTreeNode* body) : Condition(condition), Body(body) {}
    TParseTreeNode* Condition;  // none: for (;;)
    TParseTreeNode* Body;
};
class TForStmtNode : public TLoopStmtNode {
public:
    void EmitCode(TCompileContext& context) override;
    TForStmtNode(TParseTreeNode* init, TParseTreeNode* condition, TParseTreeNode* step)
        : TLoopStmtNode(condition, nullptr), Init(init), Step(step) {}
    TParseTreeNode* Init;
    TParseTreeNode* Step;
};
class TForInStmtNode : public TLoopStmtNode {
public:
    void EmitCode(TCompileContext& context) override;
    TForInStmtNode(TStrId varName, TIdentInfo* varEntry, TParseTreeNode* object)
        : TLoopStmtNode(nullptr, nullptr), VarName(varName), VarEntry(varEntry), Object(object) {}
    TStrId VarName;
    TIdentInfo* VarEntry;
    TParseTreeNode* Object;
};

class TBreakStmtNode : public TParseTreeNode {
public:
    void EmitCode(TCompileContext& context) override;
};
class TContinueStmtNode : public TParseTreeNode {
public:
    void EmitCode(TCompileContext& context) override;
};
class TReturnStmtNode : public TParseTreeNode {
public:
    void EmitCode(TCompileContext& context) override;
    explicit TReturnStmtNode(TParseTreeNode* value) : Value(value) {}
    TParseTreeNode* Value;
};
class TThrowStmtNode : public TParseTreeNode {
public:
    void EmitCode(TCompileContext& context) override;
    explicit TThrowStmtNode(TParseTreeNode* value) : Value(value) {}
    TParseTreeNode* Value;
};
class TWithStmtNode : public TParseTreeNode {
public:
    void EmitCode(TCompileContext& context) override;
    TWithStmtNode(TParseTreeNode* object, TParseTreeNode* body) : Object(object), Body(body) {}
    TParseTreeNode* Object;
    TParseTreeNode* Body;
};
class TSetTargetNode : public TParseTreeNode {
public:
    void EmitCode(TCompileContext& context) override;
    TSetTargetNode(TParseTreeNode* target, TParseTreeNode* body) : Target(target), Body(body) {}
    TParseTreeNode* Target;
    TParseTreeNode* Body;
};
class TCatchNode : public TParseTreeNode {
public:
    TCatchNode(TStrId varName, TStrId type, TParseTreeNode* statements)
        : VarName(varName), Type(type), Statements(statements) {}
    TStrId VarName;
    TStrId Type;  // recorded only
    TParseTreeNode* Statements;
};
class TTryStmtNode : public TParseTreeNode {
public:
    void EmitCode(TCompileContext& context) override;
    TTryStmtNode(TParseTreeNode* body, TCatchNode* catchClause, TParseTreeNode* finallyStatements)
        : Body(body), Catch(catchClause), Finally(finallyStatements) {}
    TParseTreeNode* Body;
    TCatchNode* Catch;
    TParseTreeNode* Finally;
};

// ---- expressions

class TNumberNode : public TParseTreeNode {
public:
    void EmitCode(TCompileContext& context) override;
    explicit TNumberNode(double value) : Value(value) {}
    double Value;
};

class TStrNode : public TParseTreeNode {
public:
    void EmitCode(TCompileContext& context) override;
    static constexpr TStrId Undefined = -1;
    static constexpr TStrId Null = -2;
    static constexpr TStrId False = -3;
    static constexpr TStrId True = -4;
    explicit TStrNode(TStrId id) : Id(id) {}
    TStrId Id;
};

// A variable, a member by name or by computed name, or eval(x).
class TLvalueNode : public TParseTreeNode {
public:
    void EmitCode(TCompileContext& context) override;
    // The fetch after the name part, and the store after the name part and
    // the value.
    void EmitFetch(TCompileContext& context);
    void EmitStore(TCompileContext& context);
    // The member object of a class member written without one (this, or the
    // class's path for a static member), found again before code is emitted.
    void ResolveMember(TCompileContext& context);
    int RegisterNumber() const { return !Object && !IsEval && Entry && Entry->Register > 0 ? Entry->Register : 0; }
    // The index of the clip property a bare, undeclared name stands for
    // where such names are properties of the current target; else -1.
    int ClipProperty(TCompileContext& context) const;
    TLvalueNode(TParseTreeNode* object, TParseTreeNode* name, TIdentTable* scope)
        : Object(object), Name(name), Scope(scope) {}
    TParseTreeNode* Object;  // none for a variable and for eval(x)
    TParseTreeNode* Name;    // a TStrNode, or the computed expression
    TIdentInfo* Entry = nullptr;
    TIdentTable* Scope;
    bool Resolved = false;
    bool IsEval = false;
};

class TAssignNode : public TParseTreeNode {
public:
    void EmitCode(TCompileContext& context) override;
    TAssignNode(TLvalueNode* target, TParseTreeNode* value, int kind, TIdentTable* scope)
        : Target(target), Value(value), Kind(kind), Scope(scope) {
        target->Set(nfNameOnly);
    }
    TLvalueNode* Target;
    TParseTreeNode* Value;  // none for increment and decrement
    int Kind;               // TAssignKind
    TIdentTable* Scope;
};

class TBinOpNode : public TParseTreeNode {
public:
    void EmitCode(TCompileContext& context) override;
    TBinOpNode(int op, TParseTreeNode* left, TParseTreeNode* right) : Op(op), Left(left), Right(right) {}
    int Op;  // the operator's token (a byte for single-character operators)
    TSWFOffsetMarker* EndMarker = nullptr;  // of && and ||, while emitted
    TParseTreeNode* Left;
    TParseTreeNode* Right;
};

enum class TUnaryOp { Negate, Not, BitNot, Delete, TypeOf, Void, Plus };

class TUnOpNode : public TParseTreeNode {
public:
    void EmitCode(TCompileContext& context) override;
    TUnOpNode(TUnaryOp op, TParseTreeNode* operand) : Op(op), Operand(operand) {}
    TUnaryOp Op;
    TParseTreeNode* Operand;
};

// A comma sequence, an array or object literal's items, or an argument list.
class TExprListNode : public TParseTreeNode {
public:
    void EmitCode(TCompileContext& context) override;
    std::vector<TParseTreeNode*> Items;
};

class TFuncCallNode : public TParseTreeNode {
public:
    void EmitCode(TCompileContext& context) override;
    // A built-in function's code; false when the name is none.
    bool EmitBuiltIn(TCompileContext& context);
    TFuncCallNode(TParseTreeNode* object, TStrId name, TExprListNode* args, TIdentTable* scope)
        : Object(object), Name(name), Args(args), Scope(scope) {}
    TParseTreeNode* Object;  // none for a plain call
    TStrId Name;
    // The computed name, when the name is no constant (with no object, the
    // name of a function; undefined to call the object itself).
    TParseTreeNode* Callee = nullptr;
    TExprListNode* Args;
    TClassInfo* Class = nullptr;  // the class a dotted object path names
    TIdentInfo* Entry = nullptr;
    TIdentTable* Scope;
    bool Resolved = false;
};

// ---- declarations, functions, handlers

class TVarDeclNode : public TParseTreeNode {
public:
    void EmitCode(TCompileContext& context) override;
    TVarDeclNode(TIdentInfo* entry, TParseTreeNode* value) : Value(value), Entry(entry) {}
    TParseTreeNode* Value;  // may be none
    TIdentInfo* Entry;
};
class TVarDeclListNode : public TParseTreeNode {
public:
    void EmitCode(TCompileContext& context) override;
    std::vector<TVarDeclNode*> Decls;
    bool Static = false;
};
class TArgDeclNode : public TParseTreeNode {
public:
    explicit TArgDeclNode(TIdentInfo* entry) : Entry(entry) {}
    TIdentInfo* Entry;
};
class TArgDeclListNode : public TParseTreeNode {
public:
    std::vector<TArgDeclNode*> Args;
};

class TFuncDefNode : public TParseTreeNode {
public:
    void EmitCode(TCompileContext& context) override;
    TFuncDefNode(TStrId name, TArgDeclListNode* params, TStrId returnType, TParseTreeNode* body, TIdentTable* scope)
        : Name(name), Params(params), ReturnType(returnType), Body(body), Scope(scope) {}
    TStrId Name;  // the empty string for an anonymous function
    TArgDeclListNode* Params;
    TStrId ReturnType;
    TParseTreeNode* Body;  // none for an empty body
    TIdentTable* Scope;
    TIdentInfo* Entry = nullptr;  // in the enclosing scope, for a named function
};

enum TEventKind : uint8_t { ekButton = 0, ekClip = 1, ekKey = 2 };

class TEventListNode : public TParseTreeNode {
public:
    std::vector<TPairNode*> Pairs;  // name (a TStrNode), key string (a TStrNode or none)
    uint8_t Kind = ekButton;
    uint16_t ButtonConditions = 0;
    uint32_t ClipEvents = 0;
    TStrId KeyString = 0;
};

// A source's top level, or an event handler's body when Events is set.
class TProgramNode : public TParseTreeNode {
public:
    void EmitCode(TCompileContext& context) override;
    explicit TProgramNode(TIdentTable* scope) : Scope(scope) {}
    std::vector<TParseTreeNode*> Items;
    TEventListNode* Events = nullptr;
    TIdentTable* Scope;
};

// ---- classes

class TClassImplListNode : public TParseTreeNode {
public:
    std::vector<TCompoundName*> Names;  // each the class's full name
};

class TClassBodyNode : public TParseTreeNode {
public:
    std::vector<TVarDeclListNode*> Fields;
    std::vector<TFuncDefNode*> Methods;
};

class TClassDefNode : public TParseTreeNode {
public:
    TClassDefNode(TCompoundName* name, TCompoundName* superName) : Name(name), SuperName(superName) {}
    // The classes to emit first: the superclass, then the interfaces.
    virtual std::vector<TCompoundName*> Dependencies() const;

    TCompoundName* Name;
    TCompoundName* SuperName;  // superclass or superinterface, may be none
    TIdentTable* Scope = nullptr;
    TClassInfo* Info = nullptr;
};

class TClassImplNode : public TClassDefNode {
public:
    void EmitCode(TCompileContext& context) override;
    using TClassDefNode::TClassDefNode;
    std::vector<TCompoundName*> Dependencies() const override;

    TClassBodyNode* Body = nullptr;
    TClassImplListNode* Interfaces = nullptr;
    TFuncDefNode* Constructor = nullptr;
};

class TClassIntfNode : public TClassDefNode {
public:
    void EmitCode(TCompileContext& context) override;
    using TClassDefNode::TClassDefNode;
};

class TImportNode : public TParseTreeNode {
public:
    explicit TImportNode(TCompoundName* name) : Name(name) {}
    TCompoundName* Name;
};
