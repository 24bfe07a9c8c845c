// The parser: an LALR(1) automaton (tables built by bison from grammar.y)
// whose actions build the parse tree into the compile context's current
// unit, open and close scopes, resolve class names and event names. Nothing
// is emitted while parsing. The parse stack is bounded, so neither long nor
// deeply nested sources make it recurse.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "ascompiler/compile_context.h"
#include "ascompiler/lexer.h"
#include "ascompiler/parse_tree.h"

union AS_STYPE;

class TParser {
public:
    TParser(TCompileContext& context, TLexer& lexer);

    // Parses the whole input; raises EActionCompileError with the position
    // and text of the token that could not be taken, or when the program
    // nests deeper than the parse stack's bound.
    void ParseProgram();

    // How long a chain of members, indexes and calls may be (code
    // generation walks chains recursively).
    static constexpr int MaxChainLength = 4000;
    // The parse stack's bound: each level of nesting takes a few entries.
    static constexpr int MaxParseDepth = 10000;

    // ---- used by the grammar's actions
    int Lex(union AS_STYPE& value);
    // Notes a syntax error found with the state stack depth states deep.
    void SyntaxError(const char* message, long depth);
    // Whether the syntax error just noted may be mended by a semicolon in
    // the state on top of the stack (depth states deep): the token that
    // could not be taken is on a new line, a '}' or the end of the input, or
    // follows a '}', and no state was given up to reach this one.
    bool InsertSemicolon(long depth);
    // A with statement: the variables of the enclosing function are read by
    // name, so the with object can stand in for them.
    void UseWith();

    template <class T, class... Args>
    T* New(Args&&... args) {
        return context_.NewNode<T>(std::forward<Args>(args)...);
    }
    TStringTable& Strings() { return context_.Strings(); }

    void PushScope(uint8_t kind) { context_.PushIdentTable(kind); }
    void PopScope() { context_.PopIdentTable(); }
    void SetRoot(TProgramNode* root) { context_.SetRoot(root); }
    TSourcePosNode* Position();

    TProgramNode* NewProgram(TParseTreeNode* item);
    TPairNode* NewEvent(TStrId name, const TStrId* key);
    TProgramNode* AttachEvents(TProgramNode* body, TEventListNode* events, uint8_t kind, TSourcePosNode* pos);
    TProgramNode* AttachKeyPress(TProgramNode* body, TStrId key, TSourcePosNode* pos);

    void DeclareFunction(TStrId name);
    TFuncDefNode* EndFunctionDeclaration(TStrId name, TArgDeclListNode* params, TStrId type, TParseTreeNode* body,
                                         uint16_t accessor);
    TFuncDefNode* EndFunctionExpression(TArgDeclListNode* params, TStrId type, TParseTreeNode* body);
    TArgDeclNode* NewParameter(TStrId name, TStrId type);
    TVarDeclNode* NewVarDecl(TStrId name, TStrId type, TParseTreeNode* value);
    TForInStmtNode* NewForIn(TStrId name, TParseTreeNode* object);
    TListingStmtNode* NewListing(const std::string& text);
    TWaitForFrameNode* NewWaitForFrame(double frame, TParseTreeNode* statement);

    TLvalueNode* NewVariable(TStrId name);
    TLvalueNode* NewMember(TParseTreeNode* object, TStrId name);
    TLvalueNode* NewIndex(TParseTreeNode* object, TParseTreeNode* index);
    TLvalueNode* NewEval(TParseTreeNode* expression);
    TFuncCallNode* NewCall(TParseTreeNode* object, TStrId name, TExprListNode* args, TSourcePosNode* pos);
    // A call or construction of what callee evaluates to: a name, a member by
    // name or computed name, or any other value.
    TFuncCallNode* NewCallOf(TParseTreeNode* callee, TExprListNode* args, TSourcePosNode* pos, bool construction);
    TFuncCallNode* MarkConstruction(TFuncCallNode* call);
    // Raises when target is no variable, member or eval(x).
    TAssignNode* NewAssign(TParseTreeNode* target, TParseTreeNode* value, int kind);
    TBinOpNode* NewBinOp(int op, TParseTreeNode* left, TParseTreeNode* right);
    TParseTreeNode* AppendToSequence(TParseTreeNode* sequence, TParseTreeNode* item);

    void BeginClass(TCompoundName* name, TCompoundName* superName, TClassImplListNode* interfaces, bool isInterface);
    void AddInterface(TClassImplListNode* list, TCompoundName* name);
    void AddMember(TClassBodyNode* body, TParseTreeNode* member);
    TParseTreeNode* AddModifiers(TParseTreeNode* member, int modifiers);
    TClassImplNode* EndClass(TCompoundName* name, TCompoundName* superName, TClassImplListNode* interfaces,
                             TClassBodyNode* body);
    TClassIntfNode* EndInterface(TCompoundName* name, TCompoundName* superName);
    TImportNode* Import(TCompoundName* name);
    TImportNode* ImportPackage(TCompoundName* package);

private:
    // The class a dotted name stands for (looked up from the current scope),
    // or a raise of message with the name as written.
    TClassInfo* ResolveClass(TCompoundName* name, const char* message);
    // An lvalue chain for the parts [0, count) of a dotted name.
    TParseTreeNode* PathObject(const std::vector<TStrId>& parts, size_t count);
    // Marks a class used by a name and gives the name its package path when
    // it was written as an imported short name.
    void ReferenceClass(TClassInfo* info, TStrId writtenName, TParseTreeNode*& object);
    const std::string& Text(TStrId id) { return Strings().Text(id); }
    // The length of the chain node ends, raising past MaxChainLength.
    void CheckChain(TParseTreeNode* node, TParseTreeNode* inner);
    void NoteFreeName(TStrId name);
    // Every function scope from the current one outwards.
    template <class Visit>
    void ForEachEnclosingFunction(Visit visit);
    [[noreturn]] void Fail(const std::string& what);

    TCompileContext& context_;
    TLexer& lexer_;
    std::deque<std::string> listings_;
    std::vector<TClassInfo*> classes_;  // the classes being defined, innermost last
    // The token before the lookahead, for the semicolon rule.
    int previousToken_ = 0;
    int lastToken_ = 0;
    long tokenCount_ = 0;
    long insertedAt_ = -1;
    // A token held back while a semicolon is handed out in its place.
    int heldToken_ = -1;
    TTokenValue heldValue_;
    // The syntax error found last: its state stack depth and where.
    long errorDepth_ = -1;
    bool errorPending_ = false;
    std::string errorMessage_;
};
