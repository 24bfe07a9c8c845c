// The action sequences that statements, expressions, functions and built-in
// functions compile to, read back through the action classes; the tidy-up
// of finished lists; and the messages of failed compilations.
#include <gtest/gtest.h>

#include "ascompiler/tests/compile_fixture.h"
#include "movie/sprites.h"

using compile_fixture::Dump;
using compile_fixture::NewMovie;

namespace {

// The frame script source compiles to, or "error: <message>".
std::string Compiled(const std::string& source, uint8_t version = 8) {
    auto movie = NewMovie(version);
    TFlashActionScript script(movie.get());
    if (!script.CompileFromString(source)) return "error: " + movie->GetMessages();
    return Dump(script.ActionList());
}

struct TCase {
    const char* source;
    const char* actions;
};

void ExpectAll(const std::vector<TCase>& cases, uint8_t version = 8) {
    for (const TCase& c : cases) EXPECT_EQ(Compiled(c.source, version), c.actions) << c.source;
}

}  // namespace

TEST(Codegen, Expressions) {
    ExpectAll({
        {"a = 3; b = 3.0; c = 3.5; d = -0;",
         "Push 'a' 3; SetVariable; Push 'b' 3; SetVariable; Push 'c' 3.5d; SetVariable; Push 'd' 0 0; Subtract; "
         "SetVariable"},
        // An integral literal beyond 32 bits keeps its value as a double.
        {"a = 5000000000;", "Push 'a' 5e+09d; SetVariable"},
        {"x = y = 1;", "Push 'x' 'y' 1; StoreRegister 0; SetVariable; Push r0; SetVariable"},
        {"a.b += 1;", "Push 'a'; GetVariable; Push 'b' 'a'; GetVariable; Push 'b'; GetMember; Push 1; Add2; SetMember"},
        {"i++;", "Push 'i' 'i'; GetVariable; Increment; SetVariable"},
        {"x = i++;", "Push 'x' 'i' 'i'; GetVariable; StoreRegister 0; Increment; SetVariable; Push r0; SetVariable"},
        {"x = --i;", "Push 'x' 'i' 'i'; GetVariable; Decrement; StoreRegister 0; SetVariable; Push r0; SetVariable"},
        {"new Array(5);", "Push 5 1 'Array'; NewObject; Pop"},
        {"new Array(5, 6);", "Push 6 5 2; InitArray; Pop"},
        {"x = a ? 1 : 2;", "Push 'x' 'a'; GetVariable; If L1; Push 2; Jump L2; L1:; Push 1; L2:; SetVariable"},
        {"x = a && b;",
         "Push 'x' 'a'; GetVariable; PushDuplicate; Not; If L1; Pop; Push 'b'; GetVariable; L1:; SetVariable"},
        {"x = a || b;", "Push 'x' 'a'; GetVariable; PushDuplicate; If L1; Pop; Push 'b'; GetVariable; L1:; SetVariable"},
        {"x = a > b;", "Push 'x' 'a'; GetVariable; Push 'b'; GetVariable; Greater; SetVariable"},
        {"x = a <= b;", "Push 'x' 'a'; GetVariable; Push 'b'; GetVariable; Greater; Not; SetVariable"},
        {"x = a != b;", "Push 'x' 'a'; GetVariable; Push 'b'; GetVariable; Equals2; Not; SetVariable"},
        {"x = a !== b;", "Push 'x' 'a'; GetVariable; Push 'b'; GetVariable; StrictEquals; Not; SetVariable"},
        {"x = a instanceof b;", "Push 'x' 'a'; GetVariable; Push 'b'; GetVariable; InstanceOf; SetVariable"},
        {"x = a add b;", "Push 'x' 'a'; GetVariable; Push 'b'; GetVariable; StringAdd; SetVariable"},
        {"x = a gt b;", "Push 'x' 'a'; GetVariable; Push 'b'; GetVariable; StringGreater; SetVariable"},
        {"x = a le b;", "Push 'x' 'a'; GetVariable; Push 'b'; GetVariable; StringGreater; Not; SetVariable"},
        {"x = a ne b;", "Push 'x' 'a'; GetVariable; Push 'b'; GetVariable; StringEquals; Not; SetVariable"},
        {"x = ~a; y = !a; z = typeof a; w = void a;",
         "Push 'x' 'a'; GetVariable; Push -1; BitXor; SetVariable; Push 'y' 'a'; GetVariable; Not; SetVariable; "
         "Push 'z' 'a'; GetVariable; TypeOf; SetVariable; Push 'w' 'a'; GetVariable; Pop; Push undefined; SetVariable"},
        {"delete a.b; delete c;", "Push 'a'; GetVariable; Push 'b'; Delete; Pop; Push 'c'; Delete2; Pop"},
        {"x = {a: 1, b: 2}; y = [1, 2];",
         "Push 'x' 'b' 2 'a' 1 2; InitObject; SetVariable; Push 'y' 2 1 2; InitArray; SetVariable"},
        {"x = a, b;", "Push 'x' 'a'; GetVariable; SetVariable"},
        {"o.f(1, 2); f(3); new Foo(1); new a.B();",
         "Push 2 1 2 'o'; GetVariable; Push 'f'; CallMethod; Pop; Push 3 1 'f'; CallFunction; Pop; Push 1 1 'Foo'; "
         "NewObject; Pop; Push 0 'a'; GetVariable; Push 'B'; NewMethod; Pop"},
        {"x = eval(\"a\"); eval(\"b\") = 2;",
         "Push 'x' 'a'; GetVariable; SetVariable; Push 'b' 2; SetVariable"},
        {"x = true; y = null; z = undefined; w = \"s\";",
         "Push 'x' true; SetVariable; Push 'y' null; SetVariable; Push 'z' undefined; SetVariable; Push 'w' 's'; "
         "SetVariable"},
    });
}

TEST(Codegen, Statements) {
    ExpectAll({
        {"if (a) b(); else c();",
         "Push 'a'; GetVariable; If L1; Push 0 'c'; CallFunction; Pop; Jump L2; L1:; Push 0 'b'; CallFunction; Pop; L2:"},
        {"if (a) b();", "Push 'a'; GetVariable; If L1; Jump L2; L1:; Push 0 'b'; CallFunction; Pop; L2:"},
        // Bodies in source order, the default reached last by the dispatch.
        {"switch (x) { default: a(); case 1: b(); }",
         "Jump L3; L1:; Push 0 'a'; CallFunction; Pop; L2:; Push 0 'b'; CallFunction; Pop; Jump L4; L3:; Push 'x'; "
         "GetVariable; PushDuplicate; Push 1; StrictEquals; If L2; Jump L1; L4:; Pop"},
        {"switch (x) {}", "Push 'x'; GetVariable"},
        {"while (c) { f(); }", "L1:; Push 'c'; GetVariable; Not; If L2; Push 0 'f'; CallFunction; Pop; Jump L1; L2:"},
        {"do { } while (c);", "Jump L2; L1:; Push 'c'; GetVariable; Not; If L3; L2:; Jump L1; L3:"},
        {"for (;;) {}", "Jump L2; L1:; L2:; Jump L1"},
        {"for (i = 0; i < 3; i++) { if (i) continue; break; }",
         "Push 'i' 0; SetVariable; Jump L2; L1:; Push 'i' 'i'; GetVariable; Increment; SetVariable; L2:; Push 'i'; "
         "GetVariable; Push 3; Less2; Not; If L5; Push 'i'; GetVariable; If L3; Jump L4; L3:; Jump L1; L4:; Jump L6; "
         "Jump L1; L5:; L6:"},
        {"while (a) { switch (b) { case 1: break; } }",
         "L1:; Push 'a'; GetVariable; Not; If L6; Jump L3; L2:; Jump L4; Jump L5; L3:; Push 'b'; GetVariable; "
         "PushDuplicate; Push 1; StrictEquals; If L2; L4:; L5:; Pop; Jump L1; L6:"},
        {"break; continue;", ""},
        {"for (k in o) f(k);",
         "Push 'k'; DefineLocal2; Push 'o'; GetVariable; Enumerate2; L1:; PushDuplicate; Push null; Equals2; If L2; "
         "Push 'k'; StackSwap; SetVariable; Push 'k'; GetVariable; Push 1 'f'; CallFunction; Pop; Jump L1; L2:; L3:; "
         "Push null; Equals2; Not; If L3"},
        {"function g(o) { for (var k in o) f(k); }",
         "DefineFunction2 g(o:r1) regs 3 to L4; Push r1; Enumerate2; L1:; PushDuplicate; Push null; Equals2; If L2; "
         "StoreRegister 2; Pop; Push r2 1 'f'; CallFunction; Pop; Jump L1; L2:; L3:; Push null; Equals2; Not; If L3; "
         "L4:"},
        {"with (o) { f(); }", "Push 'o'; GetVariable; With to L1; Push 0 'f'; CallFunction; Pop; L1:"},
        {"tellTarget (\"/mc\") { play(); }", "Push '/mc'; SetTarget2; Play; Push ''; SetTarget2"},
        {"try { f(); } catch (e) { g(e); } finally { h(); }",
         "Try; Push 0 'f'; CallFunction; Pop; L1:; Push 'e'; GetVariable; Push 1 'g'; CallFunction; Pop; L2:; "
         "Push 0 'h'; CallFunction; Pop; L3:"},
        {"throw \"x\";", "Push 'x'; Throw"},
        {"ifFrameLoaded (3.7) { play(); }", "WaitForFrame 3 skip 1; Play"},
        {"ifFrameLoaded (2) { if (a) b(); }",
         "WaitForFrame 2 skip 7; Push 'a'; GetVariable; If L1; Jump L2; L1:; Push 0 'b'; CallFunction; Pop; L2:"},
        {"var v; var w = 1;", "Push 'v'; DefineLocal2; Push 'w' 1; DefineLocal"},
        {";", ""},
    });
}

TEST(Codegen, FunctionsAndTheirRegisters) {
    ExpectAll({
        {"function f() { return; }", "DefineFunction2 f() regs 1 to L1; Push undefined; Return; L1:"},
        {"function f(a, b) { var c = a + b; var c; return c; }",
         "DefineFunction2 f(a:r1,b:r2) regs 4 to L1; Push r1 r2; Add2; StoreRegister 3; Pop; Push r3; Return; L1:"},
        {"function f() { this.x = arguments.length; }",
         "DefineFunction2 f() regs 3 to L1; Push r1 'x' r2 'length'; GetMember; SetMember; L1:"},
        // A variable an inner function reads stays a variable by name.
        {"function f() { var c = 1; return function () { return c; }; }",
         "DefineFunction2 f() regs 1 to L2; Push 'c' 1; DefineLocal; DefineFunction2 () regs 1 to L1; Push 'c'; "
         "GetVariable; Return; L1:; Return; L2:"},
        // Named functions move to the front in order; anonymous ones stay.
        {"b(); function a() {} function b() {}",
         "DefineFunction2 a() regs 1 to L1; L1:; DefineFunction2 b() regs 1 to L2; L2:; Push 0 'b'; CallFunction; Pop"},
        {"o.onPress = function () { f(); };",
         "Push 'o'; GetVariable; Push 'onPress'; DefineFunction2 () regs 1 to L1; Push 0 'f'; CallFunction; Pop; L1:; "
         "SetMember"},
        {"var g = function () {};", "Push 'g'; DefineFunction2 () regs 1 to L1; L1:; DefineLocal"},
        {"void 0; f();", "Push 0 'f'; CallFunction; Pop"},
    });
}

TEST(Codegen, FunctionFlagsAndRegisterLimit) {
    auto movie = NewMovie();
    TFlashActionScript script(movie.get());
    std::string source = "function f(p) { return super.m(this, arguments); }\nfunction many() {\n";
    for (int i = 0; i < 300; ++i) source += "  var v" + std::to_string(i) + " = " + std::to_string(i) + ";\n";
    source += "  return v299;\n}\nfunction plain() {}\n";
    ASSERT_TRUE(script.CompileFromString(source)) << movie->GetMessages();
    std::vector<TSWFActionDefineFunction2*> functions;
    for (const auto& action : script.ActionList()) {
        if (auto* f = dynamic_cast<TSWFActionDefineFunction2*>(action.get())) functions.push_back(f);
    }
    ASSERT_EQ(functions.size(), 3u);
    TSWFActionDefineFunction2& f = *functions[0];
    EXPECT_TRUE(f.PreloadThis && f.PreloadArguments && f.PreloadSuper);
    EXPECT_FALSE(f.SuppressThis || f.SuppressArguments || f.SuppressSuper || f.PreloadRoot || f.PreloadGlobal);
    EXPECT_EQ(f.RegisterCount, 5);  // this 1, arguments 2, super 3, p 4
    EXPECT_EQ(f.GetParamRegister(0), 4);
    TSWFActionDefineFunction2& many = *functions[1];
    EXPECT_EQ(many.RegisterCount, 255);
    TSWFActionDefineFunction2& plain = *functions[2];
    EXPECT_TRUE(plain.SuppressThis && plain.SuppressArguments && plain.SuppressSuper);
    EXPECT_FALSE(plain.PreloadThis || plain.PreloadArguments || plain.PreloadSuper);
    // Past register 254 the variables are defined and read by name.
    std::string text = Dump(script.ActionList());
    EXPECT_NE(text.find("StoreRegister 254; Pop; Push 'v254' 254; DefineLocal"), std::string::npos);
    EXPECT_NE(text.find("Push 'v299'; GetVariable; Return"), std::string::npos);
}

TEST(Codegen, BuiltInFunctions) {
    ExpectAll({
        {"x = length(s); y = int(n); z = random(5);",
         "Push 'x' 's'; GetVariable; StringLength; SetVariable; Push 'y' 'n'; GetVariable; ToInteger; SetVariable; "
         "Push 'z' 5; RandomNumber; SetVariable"},
        {"GetURL(\"u\"); geturl(\"u\", \"_blank\", \"GET\"); getURL(\"u\", \"t\", \"post\");",
         "Push 'u' \"\"; GetURL2 000; Push 'u' '_blank'; GetURL2 001; Push 'u' 't'; GetURL2 002"},
        {"fscommand(\"quit\", \"\");", "GetUrl FSCommand:quit "},
        {"stopDrag(); play(); stop(); nextFrame(); prevFrame(); stopAllSounds();",
         "EndDrag; Play; Stop; NextFrame; PreviousFrame; StopSounds"},
        {"startDrag(mc); startDrag(mc, true); startDrag(mc, 1, 2, 3, 4, 5);",
         "Push 0 0 'mc'; GetVariable; StartDrag; Push 0 true 'mc'; GetVariable; StartDrag; Push 2 3 4 5 1 1 'mc'; "
         "GetVariable; StartDrag"},
        {"x = getProperty(mc, _alpha); setProperty(mc, _X, 5);",
         "Push 'x' 'mc'; GetVariable; Push 6; GetProperty; SetVariable; Push 'mc'; GetVariable; Push 0 5; SetProperty"},
        {"loadMovieNum(\"a.swf\", 2); loadVariables(\"v\", mc, \"POST\"); unloadMovie(mc); unloadMovieNum(3);",
         "Push 'a.swf' \"_level2\"; GetURL2 100; Push 'v' 'mc'; GetVariable; GetURL2 112; Push \"\" 'mc'; "
         "GetVariable; GetURL2 100; Push \"\" \"_level3\"; GetURL2 100"},
        {"gotoAndPlay(3); gotoAndStop(\"x\");", "Push 3; GotoFrame2 play; Push 'x'; GotoFrame2 stop"},
        {"set(\"a\", 1); x = substring(s, 1, 2); duplicateMovieClip(a, \"b\", 3); removeMovieClip(a);",
         "Push 'a' 1; SetVariable; Push 'x' 's'; GetVariable; Push 1 2; StringExtract; SetVariable; Push 'a'; "
         "GetVariable; Push 'b' 3; CloneSprite; Push 'a'; GetVariable; RemoveSprite"},
        {"x = chr(65) add ord(\"A\") add mbchr(1) add mbord(\"b\") add mblength(\"c\") add number(\"1\") add string(2);",
         "Push 'x' 65; AsciiToChar; Push 'A'; CharToAscii; StringAdd; Push 1; MBAsciiToChar; StringAdd; Push 'b'; "
         "MBCharToAscii; StringAdd; Push 'c'; MBStringLength; StringAdd; Push '1'; ToNumber; StringAdd; Push 2; "
         "ToString; StringAdd; SetVariable"},
        {"x = getTimer(); call(\"f\"); fscommand2(\"a\", 1);",
         "Push 'x'; GetTime; SetVariable; Push 'f'; Call; Push 1 'a' 2; FSCommand2; Pop"},
        // The player's output action, not a call of a function named trace.
        {"trace(\"hi\"); TRACE(x);", "Push 'hi'; Trace; Push 'x'; GetVariable; Trace"},
    });
    // Below SWF 5 frames are numbered in the action.
    ExpectAll({{"gotoAndPlay(3); gotoAndStop(s, 2); gotoAndStop(s);", "GotoFrame 2; Play; GotoFrame 1"}}, 4);
}

// Code that computed something else than the language says before: each
// side effect once, continue and return out of switches and enumerations,
// clip properties inside tellTarget, calls of any value.
TEST(Codegen, StackAndEvaluationOrder) {
    ExpectAll({
        {"a[i++] += 5;", "Push 'a'; GetVariable; Push 'i' 'i'; GetVariable; StoreRegister 0; Increment; SetVariable; Push r0; StoreRegister 0; Pop; PushDuplicate; Push r0; StackSwap; Push r0; GetMember; Push 5; Add2; SetMember"},
        {"f().x++;", "Push 0 'f'; CallFunction; Push 'x'; StoreRegister 0; Pop; PushDuplicate; Push r0; StackSwap; Push r0; GetMember; Increment; SetMember"},
        {"while (a) { switch (b) { case 1: continue; } }", "L1:; Push 'a'; GetVariable; Not; If L5; Jump L3; L2:; Pop; Jump L1; Jump L4; L3:; Push 'b'; GetVariable; PushDuplicate; Push 1; StrictEquals; If L2; L4:; Pop; Jump L1; L5:"},
        {"function g(o) { for (var k in o) { switch (k) { case 'x': return k; } } }", "DefineFunction2 g(o:r1) regs 3 to L8; Push r1; Enumerate2; L1:; PushDuplicate; Push null; Equals2; If L6; StoreRegister 2; Pop; Jump L4; L2:; Push r2; StoreRegister 0; Pop; Pop; L3:; Push null; Equals2; Not; If L3; Push r0; Return; Jump L5; L4:; Push r2; PushDuplicate; Push 'x'; StrictEquals; If L2; L5:; Pop; Jump L1; L6:; L7:; Push null; Equals2; Not; If L7; L8:"},
        {"tellTarget (\"/mc\") { _x = _x + 1; trace(_name); }", "Push '/mc'; SetTarget2; Push \"\" 0 \"\" 0; GetProperty; Push 1; Add2; SetProperty; Push \"\" 13; GetProperty; Trace; Push ''; SetTarget2"},
        {"o['f'](1); f(1)(2); (function () {})();", "Push 1 1 'o'; GetVariable; Push 'f'; CallMethod; Pop; Push 2 1 1 1 'f'; CallFunction; Push undefined; CallMethod; Pop; Push 0; DefineFunction2 () regs 1 to L1; L1:; Push undefined; CallMethod; Pop"},
        {"new o['C'](); new String(); new Number(1);", "Push 0 'o'; GetVariable; Push 'C'; NewMethod; Pop; Push 0 'String'; NewObject; Pop; Push 1 1 'Number'; NewObject; Pop"},
        {"fscommand('quit');", "GetUrl FSCommand:quit "},
        {"function f() { return g(); function g() { return 1; } }", "DefineFunction2 f() regs 1 to L2; DefineFunction2 g() regs 1 to L1; Push 1; Return; L1:; Push 0 'g'; CallFunction; Return; L2:"},
    });
}

// A movie keeps its version: functions and for-in take the actions it
// has, and what it lacks is refused by name.
TEST(Codegen, ActionsOfTheMovieVersion) {
    ExpectAll({
        {"function f(a) { var b = a; return b; }", "DefineFunction f to L1; Push 'b' 'a'; GetVariable; DefineLocal; Push 'b'; GetVariable; Return; L1:"},
        {"for (k in o.p) f(k);", "Push 'k'; DefineLocal2; Push \"o.p\"; Enumerate; L1:; PushDuplicate; Push null; Equals2; If L2; Push 'k'; StackSwap; SetVariable; Push 'k'; GetVariable; Push 1 'f'; CallFunction; Pop; Jump L1; L2:; L3:; Push null; Equals2; Not; If L3"},
        {"x = a > b; switch (x) { case 1: }", "Push 'x' 'a'; GetVariable; Push 'b'; GetVariable; StackSwap; Less2; SetVariable; Jump L2; L1:; Jump L3; L2:; Push 'x'; GetVariable; PushDuplicate; Push 1; Equals2; If L1; L3:; Pop"},
        {"x = a === b;", "error: The action StrictEquals needs a movie of SWF version 6 or later; this movie is version 5."},
        {"try { } finally { }", "error: The action Try needs a movie of SWF version 7 or later; this movie is version 5."},
        {"for (k in f()) {}", "error: for-in over anything but a variable or a.b.c path needs a movie of SWF version 6 or later; this movie is version 5."},
    }, 5);
    ExpectAll({
        {"function f(a) { var b = a; return b; }", "DefineFunction f to L1; Push 'b' 'a'; GetVariable; DefineLocal; Push 'b'; GetVariable; Return; L1:"},
        {"for (k in o) {}", "Push 'k'; DefineLocal2; Push 'o'; GetVariable; Enumerate2; L1:; PushDuplicate; Push null; Equals2; If L2; Push 'k'; StackSwap; SetVariable; Jump L1; L2:; L3:; Push null; Equals2; Not; If L3"},
        {"class C { }", "error: Class C needs a movie of SWF version 7 or later; this movie is version 6."},
    }, 6);
}

// What the file format cannot hold is found at compile time: a constant
// pool past its 16-bit length leaves the rest of the strings pushed as they
// are; a function body past its 16-bit size is refused by name. The
// longest chains and deepest nesting the parser takes emit without running
// out of stack.
TEST(Codegen, LimitsOfTheFileFormat) {
    auto movie = NewMovie();
    TFlashActionScript script(movie.get());
    std::string many;
    for (int i = 0; i < 3000; ++i) many += "s = \"" + std::string(24, 'a' + i % 26) + std::to_string(i) + "\";\n";
    ASSERT_TRUE(script.CompileFromString(many)) << movie->GetMessages();
    auto* pool = dynamic_cast<TSWFActionConstantPool*>(script.ActionList().GetAction(0));
    ASSERT_TRUE(pool);
    size_t bytes = 2;
    for (const std::string& text : pool->Constants) bytes += text.size() + 1;
    EXPECT_LE(bytes, 0xFFFFu);
    EXPECT_GT(pool->Constants.size(), 2000u);
    EXPECT_NE(Dump(script.ActionList()).find("Push 's' \"" + std::string(24, 'a' + 2999 % 26) + "2999\""),
              std::string::npos);

    std::string big = "function big() {\n";
    for (int i = 0; i < 6000; ++i) big += "  v = " + std::to_string(i) + ".5;\n";
    big += "}\n";
    EXPECT_EQ(Compiled(big).rfind("error: The function big is too long: its body takes ", 0), 0u) << Compiled(big).substr(0, 200);

    std::string chain = "x = a";
    for (int i = 0; i < 3999; ++i) chain += i % 2 ? ".b" : "[i]";
    EXPECT_EQ(Compiled(chain + ";").rfind("Push 'x' 'a'; GetVariable; Push 'i'", 0), 0u);
    std::string nested = "x = " + std::string(3000, '(') + "-a" + std::string(3000, ')') + ";";
    EXPECT_EQ(Compiled(nested).rfind("Push 'x' 0 'a'; GetVariable; Subtract; SetVariable", 0), 0u);
    std::string unary = "x = " + std::string(4000, '!') + "a;";
    EXPECT_EQ(Compiled(unary).rfind("Push 'x' 'a'; GetVariable; Not; Not", 0), 0u);
    std::string blocks = "function f() {" + std::string(9000, '{') + "function g() {} g();" + std::string(9000, '}') + "}";
    EXPECT_EQ(Compiled(blocks).rfind("DefineFunction2 f() regs 1 to L2; DefineFunction2 g() regs 1 to L1; L1:;", 0), 0u);
}

TEST(Codegen, CompileErrorsReachTheMessageStreamAndKeepEarlierActions) {
    struct TError {
        const char* source;
        const char* message;
    };
    const TError errors[] = {
        {"a = (", "Parse Error in line: 1 pos: 6: the end of the script was not expected"},
        {"a = ;\n", "Parse Error in line: 1 pos: 5: \";\" was not expected"},
        {"x = 1;\nrandom(1, 2);", "Invalid parameters count in \"random\" in line 2\nRequires 1 parameters, actual - 2."},
        {"startDrag(a, b, c);",
         "Invalid parameters list in \"startDrag\" in line 1\n\"startDrag\" requires 1 (target), 2 (target+lock) or "
         "6 (target+lock+constraint) parameters"},
        {"getURL();", "Invalid parameters list in \"getUrl\" in line 1\n\"getUrl\" requires 1, 2 or 3 parameters"},
        {"getURL(a, b, c);", "Invalid parameters 3 in \"getUrl\" in line 1"},
        {"loadMovie(a);", "Invalid parameters list in \"loadMovie\" in line 1\n\"loadMovie\" requires 2 or 3 parameters"},
        {"loadMovieNum(a, n);", "Invalid parameters 2 in \"loadMovieNum\" in line 1"},
        {"fscommand(a, \"b\");", "Invalid parameters 1 in \"fscommand\" in line 1"},
        {"fscommand(\"a\", b);", "Invalid parameters 2 in \"fscommand\" in line 1"},
        {"fscommand2();", "Invalid parameters list in \"fscommand2\" in line 1\n"},
        {"trace(a, b);", "Invalid parameters count in \"trace\" in line 1\nRequires 1 parameters, actual - 2."},
        {"x = getProperty(mc, alpha);", "Invalid property name in \"getProperty\" in line 1"},
        {"x = getProperty(mc, 3);", "Invalid parameters list in \"getProperty\" in line 1"},
        {"\non (press) { play(); }", "Invalid event handler type in line 2"},
        {"on (explode) { play(); }", "Unknown button event: explode in line 1"},
        {"onClipEvent (explode) { play(); }", "Unknown clip event: explode in line 1"},
        {"#include \"missing.as\"\n", "Include file \"missing.as\" not found."},
    };
    for (const TError& error : errors) {
        EXPECT_EQ(Compiled(error.source), std::string("error: ") + error.message) << error.source;
    }
    // The actions of an earlier compilation stay when a later one fails.
    auto movie = NewMovie();
    TFlashActionScript script(movie.get());
    ASSERT_TRUE(script.CompileFromString("a = 1;"));
    ASSERT_TRUE(script.CompileFromString("b = 2;"));
    EXPECT_FALSE(script.CompileFromString("c = 3; random();"));
    // Each compilation's code starts with its own constant pool.
    TSWFActionList& list = script.ActionList();
    ASSERT_EQ(list.Count(), 8u);
    EXPECT_EQ(static_cast<TSWFActionConstantPool*>(list.GetAction(0))->Constants, std::vector<std::string>{"a"});
    EXPECT_EQ(static_cast<TSWFActionConstantPool*>(list.GetAction(3))->Constants, std::vector<std::string>{"b"});
    EXPECT_EQ(list.GetAction(6)->ActionCode, 0x96);
    EXPECT_EQ(movie->GetMessages(), "Invalid parameters count in \"random\" in line 1\nRequires 1 parameters, actual - 0.");
}

TEST(Codegen, EmitterCommands) {
    auto movie = NewMovie();
    TCompileContext context(*movie);
    TFlashActionScript script(movie.get());
    TCompileUnit unit;
    context.SetCurrentUnit(&unit);
    context.SetCurrentBuilder(&script);
    // Consecutive pushes make one Push action.
    context.PushInteger(1);
    context.PushConstant(context.Strings().Intern("s"));
    context.EmitRegisterAction('E', 2, 0);
    EXPECT_EQ(script.ActionList().Count(), 1u);
    for (int command : std::initializer_list<int>{acConstantPool, acDefineFunction, acDefineFunction2, acPushRegister, acStoreRegister, acCommandCount}) {
        EXPECT_THROW(context.EmitAction(command), EActionCompileError) << command;
    }
    EXPECT_THROW(context.EmitRegisterAction('X', 1, 0), EActionCompileError);
    EXPECT_THROW(context.EmitFunctionHeader(17, 0, nullptr, 0), EActionCompileError);
    EXPECT_THROW(context.EmitConstantPool(17, unit.ConstantPool), EActionCompileError);
    context.EmitConstantPool(acConstantPool, unit.ConstantPool);
    EXPECT_EQ(Dump(script.ActionList()), "Push 1 's' r2");
    EXPECT_EQ(script.ActionList().GetAction(0)->ActionCode, kActionConstantPool);
    context.SetCurrentUnit(nullptr);
    context.SetCurrentBuilder(nullptr);
}

// Long operator chains are as deep as they are long: their code is emitted
// without recursion.
TEST(Codegen, LongOperatorChains) {
    std::string source = "x = 1";
    for (int i = 0; i < 100000; ++i) source += i % 3 == 0 ? " + 1" : i % 3 == 1 ? " * 2" : " < y";
    source += ";";
    auto movie = NewMovie();
    TFlashActionScript script(movie.get());
    ASSERT_TRUE(script.CompileFromString(source)) << movie->GetMessages();
    std::string text = Dump(script.ActionList());
    const std::string start =
        "Push 'x' 1 1 2; Multiply; Add2; Push 'y'; GetVariable; Push 1 2; Multiply; Add2; Less2; Push 'y'; ";
    EXPECT_EQ(text.substr(0, start.size()), start);
    EXPECT_EQ(text.substr(text.size() - 13), "; SetVariable");
}
