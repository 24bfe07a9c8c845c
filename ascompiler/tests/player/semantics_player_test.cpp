// Scripts compiled into movies and run in the real player: what they trace
// must equal what the language says, line for line, with trace() reaching
// the player's log through its own output action.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "ascompiler/compile_context.h"
#include "movie/action_script.h"
#include "movie/flash_movie.h"
#include "movie/sprites.h"
#include "movie/tests/morph_button_fixture.h"
#include "platform/player/player_test_support.h"

namespace fs = std::filesystem;

namespace {

fs::path Fixtures() {
    fs::path folder = fs::path(TW_FIXTURE_DIR) / ::testing::UnitTest::GetInstance()->current_test_info()->name();
    fs::remove_all(folder);
    fs::create_directories(folder);
    return folder;
}

[[maybe_unused]] void WriteFile(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

std::unique_ptr<TFlashMovie> NewMovie(uint8_t version = 8) {
    RegisterActionScriptCompiler();
    auto movie = std::make_unique<TFlashMovie>(0, 0, 200, 200, 12, true);
    movie->SetVersion(version);
    return movie;
}

TPlayedMovie PlayMovie(TFlashMovie& movie, const fs::path& folder, int frames) {
    movie.ShowFrame();
    movie.MakeStream();
    std::string path = (folder / "movie.swf").string();
    movie.SaveToFile(path);
    return TPlayerHarness::Shared().Play(path, frames);
}

std::vector<std::string> Play(TFlashMovie& movie, const fs::path& folder, int frames) {
    return PlayMovie(movie, folder, frames).trace;
}

// Compiles the script into the first frame and returns what the movie
// traces.
std::vector<std::string> RunScript(const std::string& script, const fs::path& folder, const std::string& classPath = "",
                                   uint8_t version = 8) {
    auto movie = NewMovie(version);
    if (!classPath.empty()) movie->GetCompileContext().AddClassPath(classPath);
    TFlashActionScript& frame = movie->GetFrameActions();
    EXPECT_TRUE(frame.CompileFromString(script)) << movie->GetMessages();
    return Play(*movie, folder, 2);
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        lines.push_back(text.substr(start, end - start));
        start = end == std::string::npos ? text.size() : end + 1;
    }
    return lines;
}

}  // namespace

TEST(CompiledScripts, StatementsExpressionsAndFunctions) {
    TW_REQUIRE_PLAYER();
    std::string many = "function many() {\n";
    for (int i = 0; i < 300; ++i) many += "  var v" + std::to_string(i) + " = " + std::to_string(i) + ";\n";
    many += "  return v0 + v253 + v254 + v299;\n}\n";
    std::string script = many + R"(
function sw(x) {
    var out = "";
    switch (x) {
        default: out += "d";
        case 1: out += "1"; break;
        case 2: out += "2";
    }
    return out;
}
trace("switch " + sw(1) + " " + sw(2) + " " + sw(5));
var o = {a: 1, b: 2, c: 3};
var n = 0;
for (var k in o) { n++; if (n == 2) break; }
trace("forin " + n);
var keys = 0;
for (k in o) keys++;
trace("keys " + keys);
function tr(v) {
    var s = "";
    try { s += "t"; if (v) throw "e"; s += "n"; } catch (err) { s += "c" + err; } finally { s += "f"; }
    return s;
}
trace("try " + tr(false) + " " + tr(true));
var p = {x: 5};
p.x += 3;
p.x *= 2;
p["x"] -= 1;
trace("member " + p.x);
function counter() { var c = 0; return function () { c++; return c; }; }
var f = counter();
f();
trace("closure " + f());
trace("locals " + many());
var a = new Array(5);
trace("array " + a.length + " " + a[0]);
var a2 = new Array(5, 6);
trace("array " + a2.length + " " + a2[0]);
var i = 0, total = 0;
while (i < 10) { i++; if (i % 2 == 0) continue; total += i; }
trace("while " + total);
var j = 0;
do { j += 3; } while (j < 10);
trace("do " + j);
var sum = 0;
for (var q = 0; q < 5; q++) { if (q == 4) break; sum += q; }
trace("for " + sum);
var t = 7;
trace("ops " + (t > 5 ? "big" : "small") + " " + (t >= 7) + " " + (t <= 6) + " " + (t != 7) + " " + (t === "7") + " " + (t !== 7));
trace("bits " + (t & 3) + " " + (t | 8) + " " + (t ^ 1) + " " + (~t) + " " + (t << 2) + " " + (-t >> 1) + " " + (-1 >>> 28));
trace("logic " + (0 || "x") + " " + (1 && "y") + " " + !t + " " + typeof t + " " + void 0 + " " + -t);
var m = 10;
m -= 4; m /= 2; m %= 2; m <<= 3; m |= 1; m &= 5; m ^= 12; m >>= 1; m >>>= 0;
trace("compound " + m);
var pre = 5;
var post = pre++;
var both = ++pre;
trace("incdec " + post + " " + both + " " + pre-- + " " + --pre);
var obj = {x: 1, y: 2};
delete obj.x;
trace("delete " + obj.x + " " + obj.y);
with (obj) { trace("with " + y); }
function fact(n) { return n <= 1 ? 1 : n * fact(n - 1); }
trace("recursion " + fact(6));
trace("hoisted " + later());
function later() { return "ok"; }
trace("strings " + ("a" add "b") + " " + ("a" eq "a") + " " + ("b" lt "a") + " " + ("b" ge "a"));
)";
    std::vector<std::string> expected = Lines(R"(switch 1 2 d1
forin 2
keys 3
try tnf tcef
member 15
closure 2
locals 806
array 5 undefined
array 2 5
while 25
do 12
for 6
ops big true false false false false
bits 3 15 6 -8 28 -4 15
logic x y false number undefined -7
compound 6
incdec 5 7 7 5
delete undefined 2
with 2
recursion 720
hoisted ok
strings ab true false true)");
    EXPECT_EQ(RunScript(script, Fixtures()), expected);
}

// Classes from a class path: a package, inheritance with an explicit and an
// implicit super call, an interface, static members, getters and setters,
// casts, and the version folder chosen by the movie's SWF version.
TEST(CompiledScripts, ClassesFromTheClassPath) {
    TW_REQUIRE_PLAYER();
    fs::path folder = Fixtures();
    fs::path classes = folder / "classes";
    WriteFile(classes / "Shape.as", R"(class Shape {
    var name:String;
    var tag = "shape";
    function Shape(n) { name = n; }
    function area() { return 0; }
    function describe() { return name + ":" + area(); }
})");
    WriteFile(classes / "IArea.as", "interface IArea { function area(); }\n");
    WriteFile(classes / "geom" / "Square.as", "\xEF\xBB\xBF" R"(import IArea;
class geom.Square extends Shape implements IArea {
    static var count = 0;
    var side;
    function Square(s) { super("sq"); side = s; }
    function area() { return side * side; }
    function get doubled() { return side * 2; }
    function set doubled(v) { side = v / 2; }
    static function make(s) { count++; return new geom.Square(s); }
})");
    WriteFile(classes / "geom" / "Blank.as", "class geom.Blank extends Shape { var unused; }\n");
    WriteFile(classes / "FP7" / "Versioned.as", R"(class Versioned { static function which() { return "fp7"; } })");
    WriteFile(classes / "FP8" / "Versioned.as", R"(class Versioned { static function which() { return "fp8"; } })");
    std::string script = R"(
import geom.*;
var sq = Square.make(3);
trace(sq.describe());
trace(sq.doubled);
sq.doubled = 10;
trace(sq.area());
trace(sq.tag);
trace((sq instanceof Shape) + " " + (sq instanceof IArea) + " " + (sq instanceof geom.Square));
trace(Square.count);
var again = geom.Square.make(1);
trace(Square.count);
trace(Versioned.which());
var b = new Blank();
trace(b.describe() + " " + (b instanceof Shape));
var sh = Shape(sq);
trace(sh == sq);
)";
    std::vector<std::string> expected = {"sq:9", "6", "25", "shape", "true true true", "1", "2", "fp8",
                                         "undefined:0 true", "true"};
    EXPECT_EQ(RunScript(script, folder, classes.string()), expected);
}

// Handlers of a placed sprite run on its events; each record carries its
// own constant pool.
TEST(CompiledScripts, ClipEventHandlersRunOnTheirEvents) {
    TW_REQUIRE_PLAYER();
    auto movie = NewMovie();
    // The clip comes in the second frame.
    movie->ShowFrame();
    TFlashSprite* sprite = movie->AddSprite();
    sprite->ShowFrame();
    TFlashPlaceObject* place = movie->PlaceObject(sprite, 1);
    ASSERT_TRUE(place->CompileClipActionsFromString(R"(
onClipEvent (load) { var n = 0; trace("load"); }
onClipEvent (enterFrame) { n++; if (n <= 2) trace("frame " + n); }
)")) << movie->GetMessages();
    ASSERT_TRUE(movie->GetFrameActions().CompileFromString("stop();"));
    EXPECT_EQ(Play(*movie, Fixtures(), 5), (std::vector<std::string>{"load", "frame 1", "frame 2"}));
}

// A button's compiled handlers run when the player's pointer presses and
// releases it, each on its own transition.
TEST(CompiledScripts, ButtonHandlersRunWhenClicked) {
    TW_REQUIRE_PLAYER();
    auto movie = NewMovie();
    TFlashButton* button = BuildRedButton(*movie);
    ASSERT_TRUE(button->CompileActionsFromText(R"(
on (press) { n++; trace("press " + n); }
on (release) { trace("release " + n); }
on (rollOut) { trace("out"); }
)")) << movie->GetMessages();
    movie->PlaceObject(button, 1)->SetTranslate(20, 30);
    ASSERT_TRUE(movie->GetFrameActions().CompileFromString("var n = 0; stop();"));
    movie->ShowFrame();
    movie->MakeStream();
    const std::string path = (Fixtures() / "button.swf").string();
    movie->SaveToFile(path);
    TPlayerHarness& player = TPlayerHarness::Shared();
    player.Load(path);
    player.Step(1);
    EXPECT_EQ(player.Click(50, 50), (std::vector<std::string>{"press 1", "release 1"}));
    EXPECT_EQ(player.Click(79, 69), (std::vector<std::string>{"press 2", "release 2"}));
    // Moving off the face to click beside it rolls out first.
    EXPECT_EQ(player.Click(150, 90), (std::vector<std::string>{"out"}));
}

// Source as scripts are really written: no semicolons at line ends,
// function expressions and declarations anywhere, calls of computed members
// and of literals' members, $ in names, unary +, a do body without braces,
// quoted keys, escapes, a built-in class imported without a class path, a
// byte-order mark and a last line without a line feed.
TEST(CompiledScripts, ScriptsAsTheyAreReallyWritten) {
    TW_REQUIRE_PLAYER();
    std::string script = "\xEF\xBB\xBF" R"(trace("a")
trace("b");
var arr = [3, 1, 2]
arr.sort(function (x, y) { return x - y; })
trace(arr.join(","))
var obj = {f: function () { return 1; }, "q": 2}
trace(obj.f() + obj.q)
var fns = [function () { return "in array"; }]
trace(fns[0]())
var o = {f: function () { return "computed"; }}
trace(o["f"]())
trace("abc".length)
trace(new Array(1, 2).length)
function outer() {
    return inner() + 1
    function inner() { return 41; }
}
trace(outer())
if (true) { function inBlock() { return "block" } }
trace(inBlock())
var $d = 5; trace($d)
trace(+"7" + 1)
var x = 0
do x++; while (x < 3)
trace(x)
trace(new String().length + " " + typeof new String("s") + " " + typeof new Number(5))
trace("\u0041\x42")
import flash.geom.Point;
var p = new Point(1, 2)
trace(p.x + p.y)
var t = 1
t
++t
trace(t)
function early() {
    return
    "never"
}
trace(early())
// the last line has no line feed)";
    std::vector<std::string> expected = {"a", "b", "1,2,3", "3", "in array", "computed", "3", "2", "42", "block",
                                         "5", "8", "3", "0 object object", "AB", "3", "2", "undefined"};
    EXPECT_EQ(RunScript(script, Fixtures()), expected);
}

// Code that compiled before but computed something else than the language
// says.
TEST(CompiledScripts, CodeComputesWhatTheLanguageSays) {
    TW_REQUIRE_PLAYER();
    std::string script = R"(
var a = new Array(3);
trace(a.length + " " + a[0]);
trace(typeof new Number(5) + " " + typeof new String("s"));
function loop() {
    var out = "";
    for (var i = 0; i < 4; i++) {
        switch (i) {
            default: out += i;
            case 1: if (i == 1) continue;
        }
        out += ";";
    }
    return out;
}
trace(loop());
function sw(v) { switch (v) { case 1: return "one"; case "1": return "string one"; default: return "other"; } }
trace(sw("1") + " " + sw(1) + " " + sw(true));
var log = "";
function v(n) { log += n; return n; }
var r1 = v(2) > v(1);
var r2 = v(3) <= v(4);
trace(log + " " + r1 + " " + r2);
function firstKey(o) { for (var k in o) { return k; } return "none"; }
var n = 0;
for (var key in {x: 1, y: 2}) { n++; firstKey({a: 1, b: 2, c: 3}); }
trace(n + " " + typeof firstKey({a: 1}) + " " + firstKey({}));
function later() {
    var g = function () { return x; };
    var x = 5;
    return g();
}
trace(later());
var arr = [10, 20];
var i = 0;
arr[i++] += 5;
trace(arr + " " + i);
function ev() { var secret = "seen"; return eval("secret"); }
trace(ev());
function wi() { var y = "local"; var o = {y: "member"}; with (o) { return y; } }
trace(wi());
)";
    std::vector<std::string> expected = {"3 undefined", "object object", "0;2;3;", "string one one other",
                                         "2134 true true", "2 string none", "5", "15,20 1", "seen", "member"};
    EXPECT_EQ(RunScript(script, Fixtures()), expected);
}

// A movie of SWF 5 or 6 stays one: its functions and enumerations are
// those of its version, and it behaves as such a movie does.
TEST(CompiledScripts, MoviesKeepTheirVersion) {
    TW_REQUIRE_PLAYER();
    const std::string script = R"(
trace("a" + undefined);
function f(p) { var q = p + 1; return q; }
trace(f(1));
var o = {a: 1, b: 2};
var n = 0;
for (var k in o) n++;
trace(n);
var log = "";
function v(x) { log += x; return x; }
trace((v(2) > v(1)) + " " + log);
switch (n) { case 2: trace("two"); }
)";
    for (uint8_t version : {5, 6}) {
        auto movie = NewMovie(version);
        ASSERT_TRUE(movie->GetFrameActions().CompileFromString(script)) << movie->GetMessages();
        TPlayedMovie played = PlayMovie(*movie, Fixtures(), 2);
        EXPECT_EQ(movie->Version, version);
        EXPECT_EQ(played.info.swfVersion, version);
        EXPECT_EQ(played.trace, (std::vector<std::string>{"a", "2", "2", "true 21", "two"})) << int(version);
    }
}

// Inside tellTarget and a clip's handlers a bare clip property is the
// target's property; fscommand takes its arguments as optional.
TEST(CompiledScripts, BareClipPropertiesAndOneArgumentFscommand) {
    TW_REQUIRE_PLAYER();
    auto movie = NewMovie();
    TFlashSprite* sprite = movie->AddSprite();
    sprite->ShowFrame();
    TFlashPlaceObject* place = movie->PlaceObject(sprite, 1);
    place->SetName("mc");
    place->SetTranslate(10, 20);
    ASSERT_TRUE(place->CompileClipActionsFromString(R"(
onClipEvent (load) { trace("load " + _name + " " + _y); _y += 5; }
)")) << movie->GetMessages();
    movie->ShowFrame();
    ASSERT_TRUE(movie->GetFrameActions().CompileFromString(R"(
tellTarget ("mc") { trace(_x + " " + _y); _x = 25; }
trace(mc._x + " " + mc._y);
fscommand("quit");
stop();
)")) << movie->GetMessages();
    movie->ShowFrame();
    movie->MakeStream();
    const std::string path = (Fixtures() / "movie.swf").string();
    movie->SaveToFile(path);
    TPlayerHarness& player = TPlayerHarness::Shared();
    TPlayerOpenOptions options;
    options.fsCommands = true;
    player.Open(path, options);
    std::vector<TPlayerFSCommand> commands;
    for (int i = 0; i < 2; ++i) {
        TPlayerFrame frame = player.Advance();
        commands.insert(commands.end(), frame.fsCommands.begin(), frame.fsCommands.end());
    }
    EXPECT_EQ(player.Trace(), (std::vector<std::string>{"load mc 20", "10 25", "25 25"}));
    EXPECT_EQ(commands, (std::vector<TPlayerFSCommand>{{"quit", ""}}));
}

// Subclass field initial values win over the superclass's; an empty class
// body is a class.
TEST(CompiledScripts, SubclassFieldsWinOverTheSuperclass) {
    TW_REQUIRE_PLAYER();
    fs::path folder = Fixtures();
    fs::path classes = folder / "classes";
    WriteFile(classes / "Base.as", "class Base { var tag = \"base\"; var kept = \"kept\"; function Base() { } }\n");
    WriteFile(classes / "Derived.as",
              "class Derived extends Base {\n  var tag = \"derived\"\n  function Derived() { super(); trace(tag); }\n}\n");
    WriteFile(classes / "Empty.as", "class Empty {}");
    std::string script = R"(
var d = new Derived();
trace(d.tag + " " + d.kept);
trace(new Empty() instanceof Empty);
)";
    EXPECT_EQ(RunScript(script, folder, classes.string()), (std::vector<std::string>{"derived", "derived kept", "true"}));
}

// Scripts past the old limits play: strings beyond what one constant pool
// holds, and a long else-if chain.
TEST(CompiledScripts, ScriptsPastTheOldLimits) {
    TW_REQUIRE_PLAYER();
    std::string script;
    for (int i = 0; i < 3000; ++i) {
        script += "var s" + std::to_string(i) + " = \"" + std::string(24, 'a' + i % 26) + std::to_string(i) + "\";\n";
    }
    script += "trace(s0 + \" \" + s2999.length + \" \" + s1500);\n";
    script += "function pick(n) {\n  if (n == 0) return 0;\n";
    for (int i = 1; i < 200; ++i) script += "  else if (n == " + std::to_string(i) + ") return " + std::to_string(i) + ";\n";
    script += "  return -1;\n}\ntrace(pick(170) + \" \" + pick(500));\n";
    std::vector<std::string> expected = {std::string(24, 'a') + "0 28 " + std::string(24, 'a' + 1500 % 26) + "1500",
                                         "170 -1"};
    EXPECT_EQ(RunScript(script, Fixtures()), expected);
}
