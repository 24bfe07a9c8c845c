#include "ascompiler/parser.h"

#include <cmath>
#include <cstring>
#include <strings.h>

#include "ascompiler/grammar.h"
#include "ascompiler/tokens.h"
#include "platform/split_text.h"

namespace {

// Button conditions and clip events by name, in condition and event order.
const char* const kButtonEvents[] = {"rollOver", "rollOut", "press", "release", "dragOver",
                                     "dragOut", "releaseOutside", "menuDragOver", "menuDragOut"};
const char* const kClipEvents[] = {"keyUp", "keyDown", "mouseUp", "mouseDown", "mouseMove", "unload", "enterFrame",
                                   "load", "dragOver", "rollOut", "rollOver", "releaseOutside", "release", "press",
                                   "initialize", "data", "construct", "keyPress", "dragOut"};

template <size_t N>
int EventIndex(const char* const (&names)[N], const std::string& name) {
    for (size_t i = 0; i < N; ++i) {
        if (name == names[i]) return static_cast<int>(i);
    }
    return -1;
}

std::vector<std::string> SplitDotted(const std::string& text) { return SplitText(text, '.'); }

}  // namespace

TParser::TParser(TCompileContext& context, TLexer& lexer) : context_(context), lexer_(lexer) {}

void TParser::ParseProgram() {
    if (as_parse(*this) == 0) return;
    throw EActionCompileError(errorMessage_.empty() ? "Parse Error" : errorMessage_);
}

void TParser::Fail(const std::string& what) {
    throw EActionCompileError(FormatStr("%s in line %d", what.c_str(), lexer_.TokenLine()));
}

void TParser::SyntaxError(const char* message, long depth) {
    errorDepth_ = depth;
    errorPending_ = true;
    std::string where = lexer_.TokenFileName().empty()
                            ? FormatStr("line: %d pos: %d", lexer_.TokenLine(), lexer_.TokenColumn() + 1)
                            : FormatStr("file: \"%s\" line: %d pos: %d", lexer_.TokenFileName().c_str(),
                                        lexer_.TokenLine(), lexer_.TokenColumn() + 1);
    if (std::strcmp(message, "memory exhausted") == 0) {
        errorMessage_ = "Parse Error in " + where + ": the script nests too deeply (the parser holds " +
                        std::to_string(MaxParseDepth) + " levels)";
        return;
    }
    std::string token = lastToken_ == tkEnd ? "the end of the script" : "\"" + lexer_.TokenText() + "\"";
    errorMessage_ = "Parse Error in " + where + ": " + token + " was not expected";
}

bool TParser::InsertSemicolon(long depth) {
    if (!errorPending_ || depth != errorDepth_ + 1 || insertedAt_ == tokenCount_) return false;
    bool mends = lexer_.TokenAfterLineBreak() || lastToken_ == '}' || lastToken_ == tkEnd || previousToken_ == '}';
    if (!mends) return false;
    insertedAt_ = tokenCount_;
    errorPending_ = false;
    errorMessage_.clear();
    return true;
}

int TParser::Lex(AS_STYPE& value) {
    TTokenValue token;
    int kind;
    if (heldToken_ >= 0) {
        kind = heldToken_;
        token = std::move(heldValue_);
        heldToken_ = -1;
    } else {
        kind = lexer_.NextToken(token);
        ++tokenCount_;
        if (lexer_.TokenAfterLineBreak()) {
            // return, break and continue end at a line break; ++ and -- that
            // start a line belong to what follows them.
            if ((lastToken_ == tkReturn || lastToken_ == tkBreak || lastToken_ == tkContinue) && kind != ';') {
                heldToken_ = kind;
                heldValue_ = std::move(token);
                token = TTokenValue();
                kind = ';';
            } else if (kind == tkIncrement) {
                kind = tkIncrementAfterBreak;
            } else if (kind == tkDecrement) {
                kind = tkDecrementAfterBreak;
            }
        }
    }
    previousToken_ = lastToken_;
    lastToken_ = kind;
    switch (kind) {
        case tkIdent:
        case tkString:
        case tkPathVar:
            value.id = token.Id;
            break;
        case tkNumber:
            value.number = token.Number;
            break;
        case tkAssignOp:
            value.kind = token.Kind;
            break;
        case tkListing:
            listings_.push_back(std::move(token.Text));
            value.text = &listings_.back();
            break;
        default:
            break;
    }
    return kind;
}

TSourcePosNode* TParser::Position() {
    TSourcePosNode* node = New<TSourcePosNode>();
    node->Pos = {lexer_.FileName(), lexer_.Line(), lexer_.Column()};
    return node;
}

TProgramNode* TParser::NewProgram(TParseTreeNode* item) {
    TProgramNode* program = New<TProgramNode>(context_.CurrentIdentTable());
    if (item) program->Items.push_back(item);
    return program;
}

// ---- event handlers

TPairNode* TParser::NewEvent(TStrId name, const TStrId* key) {
    return New<TPairNode>(New<TStrNode>(name), key ? New<TStrNode>(*key) : nullptr);
}

TProgramNode* TParser::AttachEvents(TProgramNode* body, TEventListNode* events, uint8_t kind, TSourcePosNode* pos) {
    events->Kind = kind;
    events->Pos = pos->Pos;
    body->Events = events;
    // Names resolve in order; the first pair with a key string makes the list
    // a key handler and ends the resolution.
    for (TPairNode* pair : events->Pairs) {
        const std::string& name = Text(static_cast<TStrNode*>(pair->Name)->Id);
        if (events->Kind == ekButton) {
            int index = EventIndex(kButtonEvents, name);
            if (index < 0) {
                throw EActionCompileError(
                    FormatStr("Unknown button event: %s in line %d", name.c_str(), events->Pos.Line));
            }
            events->ButtonConditions = static_cast<uint16_t>(events->ButtonConditions | (1u << index));
        } else {
            int index = EventIndex(kClipEvents, name);
            if (index < 0) {
                throw EActionCompileError(
                    FormatStr("Unknown clip event: %s in line %d", name.c_str(), events->Pos.Line));
            }
            events->ClipEvents |= 1u << index;
        }
        if (pair->Value) {
            events->Kind = ekKey;
            events->KeyString = static_cast<TStrNode*>(pair->Value)->Id;
            break;
        }
    }
    PopScope();
    return body;
}

TProgramNode* TParser::AttachKeyPress(TProgramNode* body, TStrId key, TSourcePosNode* pos) {
    TEventListNode* events = New<TEventListNode>();
    events->Pairs.push_back(NewEvent(Strings().Intern("keyPress"), &key));
    return AttachEvents(body, events, ekKey, pos);
}

// ---- functions and declarations

void TParser::DeclareFunction(TStrId name) {
    context_.CurrentScope().Add(name, TStringTable::Empty);
    PushScope(skFunction);
}

TFuncDefNode* TParser::EndFunctionDeclaration(TStrId name, TArgDeclListNode* params, TStrId type,
                                              TParseTreeNode* body, uint16_t accessor) {
    TIdentTable* scope = context_.CurrentIdentTable();
    PopScope();
    TFuncDefNode* node = New<TFuncDefNode>(name, params, type, body, scope);
    node->Flags = static_cast<uint16_t>(node->Flags | accessor);
    if (TIdentInfo* entry = context_.CurrentScope().Find(name, 0)) {
        entry->Type = type;
        entry->Flags |= ifFunction;
        if (accessor) entry->Flags |= ifDeclared;
        // A function defined by name is read by name, never from a register.
        entry->Register = -1;
        node->Entry = entry;
    }
    return node;
}

TFuncDefNode* TParser::EndFunctionExpression(TArgDeclListNode* params, TStrId type, TParseTreeNode* body) {
    TIdentTable* scope = context_.CurrentIdentTable();
    PopScope();
    return New<TFuncDefNode>(TStringTable::Empty, params, type, body, scope);
}

TArgDeclNode* TParser::NewParameter(TStrId name, TStrId type) {
    TIdentInfo* entry = context_.CurrentScope().Add(name, type);
    entry->Flags |= ifDeclared;
    return New<TArgDeclNode>(entry);
}

TVarDeclNode* TParser::NewVarDecl(TStrId name, TStrId type, TParseTreeNode* value) {
    TIdentInfo* entry = context_.CurrentScope().Add(name, type);
    entry->Flags |= ifDeclared;
    // A variable holding a function is read by name.
    if (dynamic_cast<TFuncDefNode*>(value)) entry->Register = -1;
    return New<TVarDeclNode>(entry, value);
}

TForInStmtNode* TParser::NewForIn(TStrId name, TParseTreeNode* object) {
    TIdentInfo* entry = context_.CurrentScope().Add(name, TStringTable::Empty);
    entry->Flags |= ifDeclared;
    return New<TForInStmtNode>(name, entry, object);
}

TListingStmtNode* TParser::NewListing(const std::string& text) { return New<TListingStmtNode>(lexer_.Line(), text); }

TWaitForFrameNode* TParser::NewWaitForFrame(double frame, TParseTreeNode* statement) {
    double whole = std::trunc(frame);
    int number = whole >= 2147483647.0 ? 2147483647 : whole <= -2147483648.0 ? -2147483647 - 1 : static_cast<int>(whole);
    return New<TWaitForFrameNode>(number, statement);
}

// ---- expressions

TParseTreeNode* TParser::PathObject(const std::vector<TStrId>& parts, size_t count) {
    TParseTreeNode* object = nullptr;
    for (size_t i = 0; i < count; ++i) {
        object = New<TLvalueNode>(object, New<TStrNode>(parts[i]), context_.CurrentIdentTable());
    }
    return object;
}

void TParser::ReferenceClass(TClassInfo* info, TStrId writtenName, TParseTreeNode*& object) {
    info->ClassFlags |= cfReferenced;
    const std::string& full = Text(info->Name);
    if (full == Text(writtenName)) return;
    // An imported short name: reach the class through its package path.
    std::vector<TStrId> parts;
    for (const std::string& part : SplitDotted(full)) parts.push_back(Strings().Intern(part));
    object = PathObject(parts, parts.size() - 1);
}

template <class Visit>
void TParser::ForEachEnclosingFunction(Visit visit) {
    for (TBaseIdentTable* table = context_.CurrentIdentTable(); table; table = table->Parent) {
        if (table->Kind == skFunction) visit(*static_cast<TIdentTable*>(table));
    }
}

void TParser::CheckChain(TParseTreeNode* node, TParseTreeNode* inner) {
    node->ChainLength = inner ? inner->ChainLength + 1 : 1;
    if (node->ChainLength > MaxChainLength) {
        Fail(FormatStr("A chain of members, indexes and calls longer than %d links", MaxChainLength));
    }
}

// A name that an inner function reads from outside itself: the functions
// around it keep a variable of that name out of their registers, so that
// the inner function finds it by name, even when it is declared later.
void TParser::NoteFreeName(TStrId name) {
    if (name == TStringTable::This || name == TStringTable::Super || name == TStringTable::Arguments) return;
    bool innermost = true;
    ForEachEnclosingFunction([&](TIdentTable& function) {
        if (!innermost) function.Captured.insert(name);
        innermost = false;
    });
}

TLvalueNode* TParser::NewVariable(TStrId name) {
    TIdentTable* scope = context_.CurrentIdentTable();
    TLvalueNode* node = New<TLvalueNode>(nullptr, New<TStrNode>(name), scope);
    node->ChainLength = 1;
    if (!scope) return node;
    if (name == TStringTable::This) scope->UseImplicit(imThis);
    if (name == TStringTable::Super) scope->UseImplicit(imSuper);
    if (name == TStringTable::Arguments) scope->UseImplicit(imArguments);
    TIdentInfo* entry = scope->Find(name, 0);
    if (!entry) {
        entry = scope->Find(name, fsSuperclasses | fsEnclosing);
        // An inner function reads its outer function's variables by name.
        if (entry && entry->Table != scope && entry->Table->Kind == skFunction) entry->Register = -1;
        NoteFreeName(name);
    }
    node->Entry = entry;
    if (auto* info = dynamic_cast<TClassInfo*>(entry)) ReferenceClass(info, name, node->Object);
    return node;
}

TLvalueNode* TParser::NewMember(TParseTreeNode* object, TStrId name) {
    TLvalueNode* node = New<TLvalueNode>(object, New<TStrNode>(name), context_.CurrentIdentTable());
    CheckChain(node, object);
    return node;
}

TLvalueNode* TParser::NewIndex(TParseTreeNode* object, TParseTreeNode* index) {
    TLvalueNode* node = New<TLvalueNode>(object, index, context_.CurrentIdentTable());
    CheckChain(node, object);
    return node;
}

TLvalueNode* TParser::NewEval(TParseTreeNode* expression) {
    TLvalueNode* node = New<TLvalueNode>(nullptr, expression, context_.CurrentIdentTable());
    node->IsEval = true;
    // eval reaches any variable by name: no function around it keeps one in
    // a register.
    ForEachEnclosingFunction([](TIdentTable& function) { function.NoRegisters = true; });
    return node;
}

void TParser::UseWith() {
    for (TBaseIdentTable* table = context_.CurrentIdentTable(); table; table = table->Parent) {
        if (table->Kind == skFunction) {
            static_cast<TIdentTable*>(table)->NoRegisters = true;
            return;
        }
    }
}

namespace {

// The names of a.b.c when node is such a chain of plain names.
bool DottedChain(TParseTreeNode* node, std::vector<TStrId>& parts) {
    auto* lvalue = dynamic_cast<TLvalueNode*>(node);
    if (!lvalue || lvalue->IsEval) return false;
    auto* name = dynamic_cast<TStrNode*>(lvalue->Name);
    if (!name || name->Id < 0) return false;
    if (lvalue->Object && !DottedChain(lvalue->Object, parts)) return false;
    parts.push_back(name->Id);
    return true;
}

}  // namespace

TFuncCallNode* TParser::NewCall(TParseTreeNode* object, TStrId name, TExprListNode* args, TSourcePosNode* pos) {
    TIdentTable* scope = context_.CurrentIdentTable();
    TFuncCallNode* call = New<TFuncCallNode>(object, name, args, scope);
    call->Pos = pos->Pos;
    if (!scope) return call;
    if (!object) {
        NoteFreeName(name);
        if (name == TStringTable::Super) {
            scope->UseImplicit(imSuper);
            scope->AutoSuperCall = false;
        }
        call->Entry = scope->Find(name, fsSuperclasses | fsEnclosing);
        if (auto* info = dynamic_cast<TClassInfo*>(call->Entry)) ReferenceClass(info, name, call->Object);
        return call;
    }
    // mx.core.Foo(x): a dotted path that names a class is a cast.
    std::vector<TStrId> parts;
    if (DottedChain(object, parts)) {
        std::string dotted;
        for (TStrId part : parts) dotted += Text(part) + ".";
        dotted += Text(name);
        if (TClassInfo* info = context_.CurrentScope().FindClass(Strings().Intern(dotted))) {
            call->Class = info;
            info->ClassFlags |= cfReferenced;
        }
    }
    return call;
}

TFuncCallNode* TParser::NewCallOf(TParseTreeNode* callee, TExprListNode* args, TSourcePosNode* pos,
                                   bool construction) {
    TFuncCallNode* call = nullptr;
    auto* lvalue = dynamic_cast<TLvalueNode*>(callee);
    auto* name = lvalue && !lvalue->IsEval ? dynamic_cast<TStrNode*>(lvalue->Name) : nullptr;
    if (name && name->Id >= 0 && (!lvalue->Object || dynamic_cast<TClassInfo*>(lvalue->Entry))) {
        // A name (a class's short name reaches it through its path again).
        call = NewCall(nullptr, name->Id, args, pos);
    } else if (name && name->Id >= 0) {
        call = NewCall(lvalue->Object, name->Id, args, pos);
    } else {
        TIdentTable* scope = context_.CurrentIdentTable();
        if (lvalue && lvalue->IsEval) {
            // eval(x)(...): the function named by the value of x.
            call = New<TFuncCallNode>(nullptr, TStringTable::Empty, args, scope);
            call->Callee = lvalue->Name;
        } else if (lvalue && lvalue->Object) {
            call = New<TFuncCallNode>(lvalue->Object, TStringTable::Empty, args, scope);
            call->Callee = lvalue->Name;
        } else {
            // Any other value is called as a function itself.
            call = New<TFuncCallNode>(callee, TStringTable::Empty, args, scope);
            call->Callee = New<TStrNode>(TStrNode::Undefined);
        }
        call->Pos = pos->Pos;
        call->Resolved = true;
    }
    CheckChain(call, lvalue && !lvalue->Object ? nullptr : lvalue ? lvalue->Object : callee);
    return construction ? MarkConstruction(call) : call;
}

TFuncCallNode* TParser::MarkConstruction(TFuncCallNode* call) {
    call->Set(nfConstruction);
    return call;
}

TAssignNode* TParser::NewAssign(TParseTreeNode* target, TParseTreeNode* value, int kind) {
    auto* lvalue = dynamic_cast<TLvalueNode*>(target);
    if (!lvalue) Fail("Only a variable, a member or eval(...) can be assigned to");
    return New<TAssignNode>(lvalue, value, kind, context_.CurrentIdentTable());
}

TBinOpNode* TParser::NewBinOp(int op, TParseTreeNode* left, TParseTreeNode* right) {
    return New<TBinOpNode>(op, left, right);
}

// A sequence that began with a function expression becomes a list here.
TParseTreeNode* TParser::AppendToSequence(TParseTreeNode* sequence, TParseTreeNode* item) {
    auto* list = dynamic_cast<TExprListNode*>(sequence);
    if (!list || !list->Has(nfSequence)) {
        list = New<TExprListNode>();
        list->Set(nfSequence);
        list->Items.push_back(sequence);
    }
    list->Items.push_back(item);
    return list;
}

// ---- classes, interfaces, imports

TClassInfo* TParser::ResolveClass(TCompoundName* name, const char* message) {
    TStrId written = name->FullName(Strings());
    TClassInfo* info = context_.CurrentScope().FindClass(written);
    if (!info) throw EActionCompileError(FormatStr(message, Text(written).c_str()));
    if (Text(info->Name) != Text(written)) name->Assign(Text(info->Name), Strings());
    info->ClassFlags |= cfReferenced;
    return info;
}

void TParser::BeginClass(TCompoundName* name, TCompoundName* superName, TClassImplListNode* interfaces,
                         bool isInterface) {
    (void)interfaces;
    (void)isInterface;
    TClassInfo* superInfo = superName ? ResolveClass(superName, "Superclass %s not found.") : nullptr;
    TStrId full = name->FullName(Strings());
    TClassInfo* info = context_.CurrentScope().AddClass(full);
    TIdentTable* scope = context_.PushIdentTable(skClass);
    scope->ClassName = full;
    info->Scope = scope;
    if (superInfo && superInfo->Scope) scope->SuperScope = superInfo->Scope;
    classes_.push_back(info);
    context_.CurrentUnit()->DefinedClasses.emplace_back(info, scope);
}

void TParser::AddInterface(TClassImplListNode* list, TCompoundName* name) {
    ResolveClass(name, "Interface %s not found.");
    list->Names.push_back(name);
}

void TParser::AddMember(TClassBodyNode* body, TParseTreeNode* member) {
    member->Set(nfMember);
    if (auto* fields = dynamic_cast<TVarDeclListNode*>(member)) body->Fields.push_back(fields);
    if (auto* method = dynamic_cast<TFuncDefNode*>(member)) body->Methods.push_back(method);
}

TParseTreeNode* TParser::AddModifiers(TParseTreeNode* member, int modifiers) {
    auto flags = static_cast<uint8_t>(modifiers);
    if (auto* fields = dynamic_cast<TVarDeclListNode*>(member)) {
        for (TVarDeclNode* decl : fields->Decls) decl->Entry->Flags |= flags;
        if (flags & ifStatic) fields->Static = true;
    } else if (auto* method = dynamic_cast<TFuncDefNode*>(member)) {
        if (method->Entry) method->Entry->Flags |= flags;
    }
    return member;
}

TClassImplNode* TParser::EndClass(TCompoundName* name, TCompoundName* superName, TClassImplListNode* interfaces,
                                  TClassBodyNode* body) {
    TIdentTable* scope = context_.CurrentIdentTable();
    TClassImplNode* node = New<TClassImplNode>(name, superName);
    node->Body = body;
    node->Interfaces = interfaces;
    node->Scope = scope;
    node->Info = classes_.back();
    node->Info->Definition = node;
    classes_.pop_back();
    // The method named after the class is its constructor.
    std::vector<TFuncDefNode*>& methods = body->Methods;
    for (auto it = methods.begin(); it != methods.end(); ++it) {
        if ((*it)->Name == name->LastPart()) {
            node->Constructor = *it;
            methods.erase(it);
            break;
        }
    }
    if (!node->Constructor) {
        TIdentTable* constructorScope = context_.PushIdentTable(skFunction);
        PopScope();
        node->Constructor =
            New<TFuncDefNode>(name->LastPart(), New<TArgDeclListNode>(), TStringTable::Empty, nullptr, constructorScope);
        node->Constructor->Set(nfMember);
    }
    PopScope();
    return node;
}

TClassIntfNode* TParser::EndInterface(TCompoundName* name, TCompoundName* superName) {
    TClassIntfNode* node = New<TClassIntfNode>(name, superName);
    node->Scope = context_.CurrentIdentTable();
    node->Info = classes_.back();
    node->Info->Definition = node;
    classes_.pop_back();
    PopScope();
    return node;
}

TImportNode* TParser::Import(TCompoundName* name) {
    TStrId shortName = name->LastPart();
    TStrId fullName = name->FullName(Strings());
    TClassInfo* info = context_.CurrentScope().FindClass(fullName);
    if (!info && IsBuiltInClassName(Text(fullName))) {
        // The player's own classes need no source file.
        info = context_.Classes().AddClass(fullName);
        info->ClassFlags = cfBuiltIn;
    }
    if (!info) throw EActionCompileError(FormatStr("Class %s not found.", Text(fullName).c_str()));
    context_.CurrentScope().AddAlias(shortName, info);
    return New<TImportNode>(name);
}

TImportNode* TParser::ImportPackage(TCompoundName* package) {
    std::vector<TClassInfo*> matches;
    for (const auto& entry : context_.Classes().Entries) {
        auto* info = dynamic_cast<TClassInfo*>(entry.get());
        if (!info) continue;
        std::vector<std::string> parts = SplitDotted(Text(info->Name));
        if (parts.size() != package->Parts.size() + 1) continue;
        bool same = true;
        for (size_t i = 0; i < package->Parts.size() && same; ++i) {
            same = strcasecmp(parts[i].c_str(), Text(package->Parts[i]).c_str()) == 0;
        }
        if (same) matches.push_back(info);
    }
    for (TClassInfo* info : matches) {
        context_.CurrentScope().AddAlias(Strings().Intern(SplitDotted(Text(info->Name)).back()), info);
    }
    return New<TImportNode>(package);
}
