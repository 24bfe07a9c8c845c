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

bool TParser::ParseProgram() { return as_parse(*this) == 0; }

int TParser::Lex(AS_STYPE& value) {
    TTokenValue token;
    int kind = lexer_.NextToken(token);
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
    program->Items.push_back(item);
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

TLvalueNode* TParser::NewVariable(TStrId name) {
    TIdentTable* scope = context_.CurrentIdentTable();
    TLvalueNode* node = New<TLvalueNode>(nullptr, New<TStrNode>(name), scope);
    if (!scope) return node;
    if (name == TStringTable::This) scope->UseImplicit(imThis);
    if (name == TStringTable::Super) scope->UseImplicit(imSuper);
    if (name == TStringTable::Arguments) scope->UseImplicit(imArguments);
    TIdentInfo* entry = scope->Find(name, 0);
    if (!entry) {
        entry = scope->Find(name, fsSuperclasses | fsEnclosing);
        // An inner function reads its outer function's variables by name.
        if (entry && entry->Table != scope && entry->Table->Kind == skFunction) entry->Register = -1;
    }
    node->Entry = entry;
    if (auto* info = dynamic_cast<TClassInfo*>(entry)) ReferenceClass(info, name, node->Object);
    return node;
}

TLvalueNode* TParser::NewMember(TParseTreeNode* object, TStrId name) {
    return New<TLvalueNode>(object, New<TStrNode>(name), context_.CurrentIdentTable());
}

TLvalueNode* TParser::NewIndex(TParseTreeNode* object, TParseTreeNode* index) {
    return New<TLvalueNode>(object, index, context_.CurrentIdentTable());
}

TLvalueNode* TParser::NewEval(TParseTreeNode* expression) {
    TLvalueNode* node = New<TLvalueNode>(nullptr, expression, context_.CurrentIdentTable());
    node->IsEval = true;
    return node;
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

TFuncCallNode* TParser::MarkConstruction(TFuncCallNode* call) {
    call->Set(nfConstruction);
    return call;
}

TAssignNode* TParser::NewAssign(TLvalueNode* target, TParseTreeNode* value, int kind) {
    return New<TAssignNode>(target, value, kind, context_.CurrentIdentTable());
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
    TClassInfo* info = context_.CurrentScope().FindClass(name->FullName(Strings()));
    if (!info) throw EActionCompileError(FormatStr("Class %s not found.", Text(name->FullName(Strings())).c_str()));
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
