// The grammar: accepted and rejected programs, the tree its actions build,
// the exact parse-error messages, scopes, classes and event handlers.
#include <gtest/gtest.h>

#include "ascompiler/compile_context.h"
#include "ascompiler/parser.h"
#include "ascompiler/tokens.h"

namespace {

TMemoryStream StreamOf(const std::string& text) { return TMemoryStream(std::vector<uint8_t>(text.begin(), text.end())); }

std::unique_ptr<TCompileUnit> Parse(TCompileContext& context, const std::string& source) {
    TMemoryStream stream = StreamOf(source);
    return context.ParseUnit(stream);
}

// The message a source fails with ("" when it parses).
std::string ErrorOf(const std::string& source) {
    TCompileContext context;
    try {
        Parse(context, source);
    } catch (const Exception& error) {
        return error.what();
    }
    return "";
}

// Expressions as S-expressions, so precedence and grouping show.
class TDumper {
public:
    explicit TDumper(TStringTable& strings) : strings_(strings) {}

    std::string operator()(TParseTreeNode* node) {
        if (!node) return "_";
        if (auto* n = dynamic_cast<TNumberNode*>(node)) {
            char buffer[32];
            std::snprintf(buffer, sizeof buffer, "%g", n->Value);
            return buffer;
        }
        if (auto* s = dynamic_cast<TStrNode*>(node)) {
            switch (s->Id) {
                case TStrNode::Null: return "null";
                case TStrNode::Undefined: return "undefined";
                case TStrNode::True: return "true";
                case TStrNode::False: return "false";
                default: return "'" + strings_.Text(s->Id) + "'";
            }
        }
        if (auto* l = dynamic_cast<TLvalueNode*>(node)) {
            if (l->IsEval) return "(eval " + (*this)(l->Name) + ")";
            auto* name = dynamic_cast<TStrNode*>(l->Name);
            if (!l->Object && name) return strings_.Text(name->Id);
            if (name) return (*this)(l->Object) + "." + strings_.Text(name->Id);
            return (*this)(l->Object) + "[" + (*this)(l->Name) + "]";
        }
        if (auto* b = dynamic_cast<TBinOpNode*>(node)) return "(" + Op(b->Op) + " " + (*this)(b->Left) + " " + (*this)(b->Right) + ")";
        if (auto* u = dynamic_cast<TUnOpNode*>(node)) {
            static const char* const kNames[] = {"neg", "not", "bitnot", "delete", "typeof", "void", "plus"};
            return std::string("(") + kNames[static_cast<int>(u->Op)] + " " + (*this)(u->Operand) + ")";
        }
        if (auto* a = dynamic_cast<TAssignNode*>(node)) {
            std::string kind = a->Kind == akIncrement ? "++" : a->Kind == akDecrement ? "--" : std::to_string(a->Kind);
            if (a->Has(nfPostfix)) kind = "post" + kind;
            return "(set" + kind + " " + (*this)(a->Target) + (a->Value ? " " + (*this)(a->Value) : "") + ")";
        }
        if (auto* i = dynamic_cast<TIfStmtNode*>(node)) {
            return "(? " + (*this)(i->Condition) + " " + (*this)(i->Then) + " " + (*this)(i->Else) + ")";
        }
        if (auto* c = dynamic_cast<TFuncCallNode*>(node)) {
            std::string text = c->Has(nfConstruction) ? "(new " : "(call ";
            if (c->Callee) {
                auto* none = dynamic_cast<TStrNode*>(c->Callee);
                text += (*this)(c->Object) + (none && none->Id == TStrNode::Undefined ? "" : "[" + (*this)(c->Callee) + "]");
            } else {
                if (c->Object) text += (*this)(c->Object) + ".";
                text += strings_.Text(c->Name);
            }
            for (TParseTreeNode* arg : c->Args->Items) text += " " + (*this)(arg);
            return text + ")";
        }
        if (auto* f = dynamic_cast<TFuncDefNode*>(node)) return "(function " + strings_.Text(f->Name) + ")";
        if (auto* list = dynamic_cast<TExprListNode*>(node)) {
            std::string text = list->Has(nfSequence)        ? "(seq"
                               : list->Has(nfArrayLiteral)  ? "(array"
                               : list->Has(nfObjectLiteral) ? "(object"
                                                            : "(args";
            for (TParseTreeNode* item : list->Items) text += " " + (*this)(item);
            return text + ")";
        }
        return "?";
    }

private:
    static std::string Op(int op) {
        switch (op) {
            case tkAnd: return "&&";
            case tkOr: return "||";
            case tkBitAnd: return "&";
            case tkBitOr: return "|";
            case tkBitXor: return "^";
            case tkEquals: return "==";
            case tkNotEquals: return "!=";
            case tkStrictEquals: return "===";
            case tkStrictNotEquals: return "!==";
            case tkLessEq: return "<=";
            case tkGreaterEq: return ">=";
            case tkShiftLeft: return "<<";
            case tkShiftRight: return ">>";
            case tkShiftRightUnsigned: return ">>>";
            case tkInstanceof: return "instanceof";
            case tkStrAdd: return "add";
            case tkStrEq: return "eq";
            case tkStrNe: return "ne";
            case tkStrLt: return "lt";
            case tkStrGt: return "gt";
            case tkStrLe: return "le";
            case tkStrGe: return "ge";
            default: return std::string(1, static_cast<char>(op));
        }
    }
    TStringTable& strings_;
};

// The first statement of a one-statement program, dumped.
std::string Expression(const std::string& source) {
    TCompileContext context;
    auto unit = Parse(context, source);
    TParseTreeNode* item = unit->Root->Items.at(0);
    return TDumper(context.Strings())(item);
}

TEST(Parser, PrecedenceAndAssociativity) {
    const std::pair<const char*, const char*> cases[] = {
        {"a || b && c | d ^ e & f == g < h << i + j * k;",
         "(seq (|| a (&& b (| c (^ d (& e (== f (< g (<< h (+ i (* j k)))))))))))"},
        {"a - b - c;", "(seq (- (- a b) c))"},
        {"a * b % c / d;", "(seq (/ (% (* a b) c) d))"},
        {"a add b + c;", "(seq (+ (add a b) c))"},
        {"a < b instanceof C;", "(seq (instanceof (< a b) C))"},
        {"a eq b == c lt d;", "(seq (lt (== (eq a b) c) d))"},
        {"a >= b <= c >>> d;", "(seq (<= (>= a b) (>>> c d)))"},
        {"a and b or not c;", "(seq (|| (&& a b) (not c)))"},
        {"a = b = c;", "(seq (set1 a (set1 b c)))"},
        {"a += b -= 2;", "(seq (set2 a (set3 b 2)))"},
        {"x = a ? b : c ? d : e;", "(seq (set1 x (? a b (? c d e))))"},
        {"x = a || b ? c = 1 : d;", "(seq (set1 x (? (|| a b) (set1 c 1) d)))"},
        {"a, b = 1, c;", "(seq a (set1 b 1) c)"},
        {"-a * !b + ~c;", "(seq (+ (* (neg a) (not b)) (bitnot c)))"},
        {"delete a.b; ", "(seq (delete a.b))"},
        {"typeof void x;", "(seq (typeof (void x)))"},
        {"i++ + --j;", "(seq (+ (setpost++ i) (set-- j)))"},
        {"a.b[c].d(1, 2);", "(seq (call a.b[(seq c)].d 1 2))"},
        {"f(g(1), [2, 3], {x: 4, y: 'z'});", "(seq (call f (call g 1) (array 2 3) (object 4 'x' 'z' 'y')))"},
        {"new Foo;", "(seq (new Foo))"},
        {"new a.b.Foo(1);", "(seq (new a.b.Foo 1))"},
        {"eval('x' + i).y = null;", "(seq (set1 (eval (seq (+ 'x' i))).y null))"},
        {"x = true != false === undefined;", "(seq (set1 x (=== (!= true false) undefined)))"},
        {"(a, b) * 2;", "(seq (* (seq a b) 2))"},
        {"function () {}, a;", "(seq (function ) a)"},
        {"f = function (x) { return x; }", "(seq (set1 f (function )))"},
        {"o['f'](1)(2);", "(seq (call (call o[(seq 'f')] 1) 2))"},
        {"'abc'.length + new Array(1, 2).length;", "(seq (+ 'abc'.length (new Array 1 2).length))"},
        {"a.sort(function (x, y) { return x - y; });", "(seq (call a.sort (function )))"},
        {"x = +y;", "(seq (set1 x (plus y)))"},
    };
    for (const auto& [source, expected] : cases) EXPECT_EQ(Expression(source), expected) << source;
}

struct TGrammarCase {
    const char* Source;
    const char* Error;  // "" when accepted
};

TEST(Parser, AcceptedAndRejectedPrograms) {
    const TGrammarCase cases[] = {
        // Statements.
        {";", ""},
        {"{} {;} { a(); b(); }", ""},
        {"if (a) if (b) x(); else y();", ""},
        {"switch (x) { default: a(); case 1: b(); break; case 2: }", ""},
        {"switch (x) {}", ""},
        {"while (i < 3) i++;", ""},
        {"do { i++; } while (i < 3);", ""},
        {"for (var i = 0, j; i < 3; i++) {} for (;;) break; for (k in o) continue;", ""},
        {"for (var k in a.b) trace(k); for (k in f()) {}", ""},
        {"try { a(); } catch (e:Error) { b(); } finally { c(); } try x(); finally {} throw e;", ""},
        {"with (_root.clip) play(); tellTarget ('/a') { stop(); }", ""},
        {"ifFrameLoaded (3.7) gotoAndPlay(2);", ""},
        {"var a:Number = 1, b, c = function () {};", ""},
        {"var f = function () {};", ""},
        {"x = function () {}", ""},
        {"function f(a, b:String):Void { var c; return; }", ""},
        {"return function () {};", ""},
        {"//#note\nx = 1;\n", ""},
        {"import a;", "Class a not found."},
        // Widened: optional semicolons, function expressions anywhere,
        // calls of computed members and call results, an empty script.
        {"", ""},
        {"  // only a comment\n", ""},
        {"x = 1", ""},
        {"x = 1\ny = 2\n{ z = 3 }", ""},
        {"a[0](1);", ""},
        {"f(1)(2);", ""},
        {"f(function () {});", ""},
        {"x = [function () {}];", ""},
        {"x = 1 + function () {};", ""},
        {"a = b = function () {};", ""},
        {"do x(); while (c);", ""},
        {"with (a + b) x();", ""},
        {"class A {}", ""},
        {"x = {'a': 1, b: 2, 3: 4};", ""},
        {"function f() { function g() {} { function h() {} } }", ""},
        // Rejected, with the line and column of the token that could not be
        // taken and its text.
        {"x = 1;\ny = ;", "Parse Error in line: 2 pos: 5: \";\" was not expected"},
        {"x = 1 y = 2;", "Parse Error in line: 1 pos: 7: \"y\" was not expected"},
        {"if (a) x = 1 else y = 2;", "Parse Error in line: 1 pos: 14: \"else\" was not expected"},
        {"f() = 1;", "Only a variable, a member or eval(...) can be assigned to in line 1"},
        {"ifFrameLoaded (n) x();", "Parse Error in line: 1 pos: 16: \"n\" was not expected"},
        {"x = 1a;", "Parse Error in line: 1 pos: 5: \"1\" was not expected"},
        {"x = 0x100000000;", "Parse Error in line: 1 pos: 5: \"0x100000000\" was not expected"},
        {"#include \"a.as\";\n", "Parse Error in line: 1 pos: 1: \"#\" was not expected"},
        {"x = 'open;\n", "Parse Error in line: 1 pos: 5: \"'\" was not expected"},
        {"a = 1;\n\n  if (a) {\n    b();\n  else c();", "Parse Error in line: 5 pos: 3: \"else\" was not expected"},
        {"x = (1", "Parse Error in line: 1 pos: 7: the end of the script was not expected"},
    };
    for (const TGrammarCase& c : cases) EXPECT_EQ(ErrorOf(c.Source), c.Error) << c.Source;
}

TEST(Parser, StatementShapes) {
    TCompileContext context;
    auto unit = Parse(context,
                      "if (a) if (b) x(); else y();\n"
                      "{}\n"
                      "var f = function () {};\n"
                      "do { } while (c);\n"
                      "for (;;) {}\n"
                      "ifFrameLoaded (3.7) ;\n"
                      "//#listed\n");
    const std::vector<TParseTreeNode*>& items = unit->Root->Items;
    ASSERT_EQ(items.size(), 7u);
    // The else binds to the inner if.
    auto* outer = dynamic_cast<TIfStmtNode*>(items[0]);
    ASSERT_TRUE(outer);
    EXPECT_EQ(outer->Else, nullptr);
    auto* inner = dynamic_cast<TIfStmtNode*>(outer->Then);
    ASSERT_TRUE(inner);
    EXPECT_NE(inner->Else, nullptr);
    // {} at a statement's start is an empty block.
    EXPECT_TRUE(dynamic_cast<TNullStmtNode*>(items[1]));
    // var f = function () {}; takes its semicolon.
    EXPECT_TRUE(dynamic_cast<TVarDeclListNode*>(items[2]));
    auto* loop = dynamic_cast<TLoopStmtNode*>(items[3]);
    ASSERT_TRUE(loop);
    EXPECT_TRUE(loop->Has(nfDoWhile));
    auto* forever = dynamic_cast<TForStmtNode*>(items[4]);
    ASSERT_TRUE(forever);
    EXPECT_EQ(forever->Condition, nullptr);
    auto* wait = dynamic_cast<TWaitForFrameNode*>(items[5]);
    ASSERT_TRUE(wait);
    EXPECT_EQ(wait->Frame, 3);
    auto* listing = dynamic_cast<TListingStmtNode*>(items[6]);
    ASSERT_TRUE(listing);
    EXPECT_EQ(listing->Text, "listed");
    EXPECT_EQ(listing->Line, 7);
}

TEST(Parser, ScopesAndRegisters) {
    TCompileContext context;
    auto unit = Parse(context,
                      "var g = 1;\n"
                      "function outer(p) {\n"
                      "  var kept = 1, shared = 2;\n"
                      "  var inner = function () { return shared + this.x; };\n"
                      "  return kept + arguments.length;\n"
                      "}\n");
    TStringTable& strings = context.Strings();
    auto* outer = dynamic_cast<TFuncDefNode*>(unit->Root->Items.at(1));
    ASSERT_TRUE(outer);
    ASSERT_TRUE(outer->Entry);
    EXPECT_EQ(outer->Entry->Register, -1);
    EXPECT_TRUE(outer->Entry->Flags & ifFunction);
    TIdentTable* scope = outer->Scope;
    EXPECT_EQ(scope->Kind, skFunction);
    EXPECT_EQ(scope->Parent, unit->Root->Scope);
    EXPECT_EQ(unit->Root->Scope->Parent, &context.Classes());
    auto entry = [&](const char* name) { return scope->Find(strings.Intern(name), 0); };
    ASSERT_TRUE(entry("p") && entry("kept") && entry("shared") && entry("inner"));
    EXPECT_EQ(entry("kept")->Register, 0);
    EXPECT_EQ(entry("shared")->Register, -1);  // read by the inner function
    EXPECT_EQ(entry("inner")->Register, -1);   // holds a function
    EXPECT_TRUE(scope->Uses(imArguments));
    EXPECT_FALSE(scope->Uses(imThis));
    EXPECT_EQ(scope->Find(strings.Intern("g"), 0), nullptr);
    EXPECT_NE(scope->Find(strings.Intern("g"), fsEnclosing), nullptr);
}

TEST(Parser, EventHandlers) {
    TCompileContext context;
    auto unit = Parse(context,
                      "on (press, release) { a(); }\n"
                      "onClipEvent (enterFrame) { b(); }\n"
                      "on (keyPress \"<Left>\") { c(); }\n"
                      "onClipEvent (keyDown, keyUp) { on (release) { d(); } }\n");
    const auto& items = unit->Root->Items;
    ASSERT_EQ(items.size(), 4u);
    auto events = [&](size_t i) { return dynamic_cast<TProgramNode*>(items[i])->Events; };
    EXPECT_EQ(events(0)->Kind, ekButton);
    EXPECT_EQ(events(0)->ButtonConditions, (1u << 2) | (1u << 3));
    EXPECT_EQ(events(1)->Kind, ekClip);
    EXPECT_EQ(events(1)->ClipEvents, 1u << 6);
    EXPECT_EQ(events(2)->Kind, ekKey);
    EXPECT_EQ(events(2)->ClipEvents, 1u << 17);
    EXPECT_EQ(context.Strings().Text(events(2)->KeyString), "<Left>");
    EXPECT_EQ(events(3)->ClipEvents, 3u);
    EXPECT_EQ(events(0)->Pos.Line, 1);
    EXPECT_EQ(events(3)->Pos.Line, 4);

    EXPECT_EQ(ErrorOf("\non (bogus) { a(); }"), "Unknown button event: bogus in line 2");
    EXPECT_EQ(ErrorOf("onClipEvent (press, bogus) { a(); }"), "Unknown clip event: bogus in line 1");
    // keyPress is a keyword: with its key in parentheses it is no event name.
    EXPECT_EQ(ErrorOf("on (keyPress(\"a\")) { a(); }"), "Parse Error in line: 1 pos: 13: \"(\" was not expected");
    // Any other name with a key string makes a key handler and ends the list.
    auto keyed = Parse(context, "on (press(\"k\"), bogus) { a(); }");
    TEventListNode* list = keyed->Root->Items.at(0) == nullptr ? nullptr : dynamic_cast<TProgramNode*>(keyed->Root->Items[0])->Events;
    ASSERT_TRUE(list);
    EXPECT_EQ(list->Kind, ekKey);
    EXPECT_EQ(list->ButtonConditions, 1u << 2);
    EXPECT_EQ(context.Strings().Text(list->KeyString), "k");
    EXPECT_EQ(ErrorOf("on (press) { }"), "");
}

TEST(Parser, ClassesInterfacesAndImports) {
    TCompileContext context;
    // As the class path would register them.
    context.Classes().AddClass(context.Strings().Intern("lib.Thing"));
    context.Classes().AddClass(context.Strings().Intern("lib.deep.Other"));
    auto unit = Parse(context,
                      "interface pkg.IShape { function area():Number; }\n"
                      "class pkg.Base { function Base() {} }\n"
                      "import pkg.Base;\n"
                      "import pkg.IShape;\n"
                      "class Circle extends Base implements IShape {\n"
                      "  private var r:Number = 1;\n"
                      "  static var count = 0; ;\n"
                      "  function get radius() { return r; }\n"
                      "  function set radius(v) { r = v; }\n"
                      "  public static function make() { return new Circle(); }\n"
                      "}\n"
                      "x = Base(y);\n"
                      "import lib.*;\n"
                      "t = new Thing(); o = Other;\n");
    TStringTable& strings = context.Strings();
    const auto& items = unit->Root->Items;
    auto* shape = dynamic_cast<TClassIntfNode*>(items.at(0));
    ASSERT_TRUE(shape);
    // "import a.b;" is an import and an empty statement.
    EXPECT_TRUE(dynamic_cast<TImportNode*>(items.at(2)));
    EXPECT_TRUE(dynamic_cast<TNullStmtNode*>(items.at(3)));
    auto* circle = dynamic_cast<TClassImplNode*>(items.at(6));
    ASSERT_TRUE(circle);
    // Short names resolve to full names.
    EXPECT_EQ(strings.Text(circle->SuperName->FullName(strings)), "pkg.Base");
    ASSERT_TRUE(circle->Interfaces);
    EXPECT_EQ(strings.Text(circle->Interfaces->Names.at(0)->FullName(strings)), "pkg.IShape");
    EXPECT_EQ(circle->Dependencies().size(), 2u);
    // No method named after the class: an empty constructor.
    ASSERT_TRUE(circle->Constructor);
    EXPECT_EQ(circle->Constructor->Body, nullptr);
    EXPECT_TRUE(circle->Constructor->Has(nfMember));
    ASSERT_EQ(circle->Body->Fields.size(), 2u);
    EXPECT_TRUE(circle->Body->Fields[1]->Static);
    EXPECT_TRUE(circle->Body->Fields[0]->Decls[0]->Entry->Flags & ifPrivate);
    ASSERT_EQ(circle->Body->Methods.size(), 3u);
    EXPECT_TRUE(circle->Body->Methods[0]->Has(nfGetter));
    EXPECT_TRUE(circle->Body->Methods[1]->Has(nfSetter));
    EXPECT_TRUE(circle->Body->Methods[2]->Entry->Flags & ifStatic);
    EXPECT_EQ(circle->Scope->SuperScope, circle->Info->Scope->SuperScope);
    auto* base = dynamic_cast<TClassImplNode*>(items.at(1));
    EXPECT_EQ(circle->Scope->SuperScope, base->Scope);
    EXPECT_EQ(strings.Text(base->Constructor->Name), "Base");
    EXPECT_TRUE(base->Body->Methods.empty());
    // A call of a class by its imported short name: referenced, reached
    // through its package path.
    EXPECT_TRUE(base->Info->ClassFlags & cfReferenced);
    EXPECT_EQ(TDumper(strings)(items.at(7)), "(seq (set1 x (call pkg.Base y)))");
    // import lib.* takes the class path's classes one level down only.
    EXPECT_EQ(TDumper(strings)(items.at(9)), "(seq (set1 t (new lib.Thing)))");
    EXPECT_EQ(TDumper(strings)(items.at(10)), "(seq (set1 o Other))");
    EXPECT_TRUE(context.Classes().FindClass(strings.Intern("LIB.THING"))->ClassFlags & cfReferenced);

    EXPECT_EQ(ErrorOf("class A extends Missing { var a; }"), "Superclass Missing not found.");
    EXPECT_EQ(ErrorOf("interface I extends a.J {}"), "Superclass a.J not found.");
    EXPECT_EQ(ErrorOf("class A implements I, Missing { var a; }"), "Interface I not found.");
    EXPECT_EQ(ErrorOf("import a.b.C;"), "Class a.b.C not found.");
    EXPECT_EQ(ErrorOf("interface I {} class A implements I { var a; }"), "");
}

TEST(Parser, LongAndDeepSourcesNeedNoDeepRecursion) {
    // About 1 MB of statements: the left-recursive lists keep the stack flat.
    std::string source;
    for (int i = 0; source.size() < (1u << 20); ++i) {
        source += "v" + std::to_string(i % 97) + " = a.b[" + std::to_string(i) + "] + f(x, 'text') * 3;\n";
    }
    TCompileContext context;
    auto unit = Parse(context, source);
    EXPECT_GT(unit->Root->Items.size(), 20000u);

    // One long left-associative expression is flat for the parser too.
    std::string chain = "x = a";
    for (int i = 0; i < 100000; ++i) chain += " + a";
    EXPECT_EQ(ErrorOf(chain + ";"), "");

    // Nesting beyond the bounded parse stack is a parse error, not a crash.
    std::string nested = "x = " + std::string(100000, '(') + "1" + std::string(100000, ')') + ";";
    EXPECT_EQ(ErrorOf(nested).rfind("Parse Error in line: 1 pos: ", 0), 0u);
    std::string blocks = std::string(100000, '{') + std::string(100000, '}');
    EXPECT_EQ(ErrorOf(blocks).rfind("Parse Error in line: 1 pos: ", 0), 0u);
    EXPECT_NE(ErrorOf(blocks).find("the script nests too deeply"), std::string::npos);

    // An else-if chain far longer than any script needs parses.
    std::string choices = "if (n == 0) x = 0;\n";
    for (int i = 1; i < 1000; ++i) choices += "else if (n == " + std::to_string(i) + ") x = " + std::to_string(i) + ";\n";
    EXPECT_EQ(ErrorOf(choices), "");

    // Chains of members, indexes and calls have a length limit of their own.
    std::string members = "x = a";
    for (int i = 1; i < TParser::MaxChainLength; ++i) members += i % 2 ? ".b" : "[1]";
    EXPECT_EQ(ErrorOf(members + ";"), "");
    EXPECT_EQ(ErrorOf(members + ".c;"), "A chain of members, indexes and calls longer than 4000 links in line 1");
}

}  // namespace

namespace {

TEST(Parser, ClassPathEntriesForgetDefinitionsOfFreedUnits) {
    TCompileContext context;
    TClassInfo* shared = context.Classes().AddClass(context.Strings().Intern("Shared"));
    {
        auto unit = Parse(context, "class Shared { var a; }");
        EXPECT_TRUE(shared->Scope && shared->Definition);
    }
    EXPECT_EQ(shared->Scope, nullptr);
    EXPECT_EQ(shared->Definition, nullptr);
    // Nor does a definition cut short by a syntax error stay behind.
    TMemoryStream broken = StreamOf("class Shared { var a; function f() { x = ; } }");
    EXPECT_THROW(context.ParseUnit(broken), EActionCompileError);
    EXPECT_EQ(shared->Scope, nullptr);
    EXPECT_EQ(context.CurrentIdentTable(), nullptr);
}

}  // namespace
