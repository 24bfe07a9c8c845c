// Test fixtures made at test time by tools nobody here wrote (ffmpeg, haxe),
// cached in the build folder. Each maker returns an empty result when its
// tool is not installed, so the tests can skip (or, under CI, fail) with a
// clear message.
#pragma once

#include <cstdlib>
#include <unistd.h>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/testing/test_support.h"

inline std::string FixtureDir() {
    std::filesystem::path dir = std::filesystem::path(TW_FIXTURE_DIR);
    std::filesystem::create_directories(dir);
    return dir.string();
}

// SWF movies written by ffmpeg's muxer: FLV1 video with MP3 sound, and MJPEG.
inline std::vector<std::string> FfmpegFixtures() {
    if (!ToolInstalled("ffmpeg")) return {};
    std::string dir = FixtureDir();
    std::vector<std::string> files;
    std::string flv = MakeFixture(dir + "/ffmpeg-flv1-mp3.swf",
                                  "ffmpeg -nostdin -y -f lavfi -i testsrc=size=160x120:rate=12 -f lavfi -i "
                                  "sine=frequency=440:sample_rate=22050 -t 2 -c:v flv1 -c:a libmp3lame -ar 22050 "
                                  "-f swf {out}");
    std::string mjpeg = MakeFixture(dir + "/ffmpeg-mjpeg.swf",
                                    "ffmpeg -nostdin -y -f lavfi -i testsrc=size=160x120:rate=12 -t 1 -c:v mjpeg "
                                    "-f swf {out}");
    if (!flv.empty()) files.push_back(flv);
    if (!mjpeg.empty()) files.push_back(mjpeg);
    return files;
}

// A compressed SWF 10 that haxe writes (FileAttributes with the ActionScript 3
// flag, DoABC, SymbolClass, Metadata).
inline std::string HaxeFixture() {
    if (!ToolInstalled("haxe")) return "";
    std::string dir = FixtureDir() + "/haxe";
    std::filesystem::create_directories(dir);
    std::string source = dir + "/Main.hx";
    if (!std::filesystem::exists(source)) {
        FILE* f = std::fopen(source.c_str(), "w");
        if (!f) return "";
        std::fputs("class Main { static function main() { trace(\"hello\"); } }\n", f);
        std::fclose(f);
    }
    return MakeFixture(dir + "/haxe.swf", "cd " + dir + " && haxe -main Main -swf {out} -swf-version 10");
}

// A compressed SWF 10 that haxe writes with DejaVu Sans embedded (DefineFont3
// of the letters, a text field that shows "Hello" in it).
inline std::string HaxeFontFixture() {
    const std::string font = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
    if (!ToolInstalled("haxe") || !std::filesystem::exists(font)) return "";
    std::string dir = FixtureDir() + "/haxe-font";
    std::filesystem::create_directories(dir);
    std::string source = dir + "/Main.hx";
    if (!std::filesystem::exists(source)) {
        FILE* f = std::fopen(source.c_str(), "w");
        if (!f) return "";
        std::fputs(("@:font(\"" + font + "\", \"A-Za-z \") class EmbeddedFont extends flash.text.Font {}\n").c_str(), f);
        std::fputs("class Main { static function main() {\n"
                   "  flash.text.Font.registerFont(EmbeddedFont);\n"
                   "  var t = new flash.text.TextField();\n"
                   "  t.embedFonts = true;\n"
                   "  t.defaultTextFormat = new flash.text.TextFormat(new EmbeddedFont().fontName, 40, 0);\n"
                   "  t.width = 300;\n"
                   "  t.text = \"Hello\";\n"
                   "  flash.Lib.current.addChild(t);\n"
                   "} }\n", f);
        std::fclose(f);
    }
    return MakeFixture(dir + "/haxe-font.swf",
                       "cd " + dir + " && haxe -main Main -swf {out} -swf-version 10 -swf-header 320:120:24:FFFFFF");
}

// A compressed SWF 10 that haxe writes from a program with typed vectors
// (whose ABC pool holds generic type names), an interface, a class and a
// caught exception. It traces "sum 30 a-b 5 9.25 boom" and fills the top
// left 100 x 100 pixels of its 200 x 200 white stage with red.
inline std::string HaxeVectorFixture() {
    if (!ToolInstalled("haxe")) return "";
    std::string dir = FixtureDir() + "/haxe-vector";
    std::filesystem::create_directories(dir);
    std::string source = dir + "/Main.hx";
    if (!std::filesystem::exists(source)) {
        FILE* f = std::fopen(source.c_str(), "w");
        if (!f) return "";
        std::fputs("interface IShape { function area():Float; }\n"
                   "class Square implements IShape {\n"
                   "  public var side:Float;\n"
                   "  public function new(s:Float) { side = s; }\n"
                   "  public function area():Float { return side * side; }\n"
                   "}\n"
                   "class Main { static function main() {\n"
                   "  var v = new flash.Vector<Int>();\n"
                   "  for (i in 0...5) v.push(i * i);\n"
                   "  var names = new flash.Vector<String>();\n"
                   "  names.push(\"a\"); names.push(\"b\");\n"
                   "  var shapes:Array<IShape> = [new Square(3), new Square(0.5)];\n"
                   "  var total = 0.0;\n"
                   "  for (s in shapes) total += s.area();\n"
                   "  var caught = \"none\";\n"
                   "  try { throw new flash.errors.Error(\"boom\"); }\n"
                   "  catch (e:flash.errors.Error) { caught = e.message; }\n"
                   "  flash.Lib.trace(\"sum \" + (v[1] + v[2] + v[3] + v[4]) + \" \" + names.join(\"-\") + \" \" +\n"
                   "                  v.length + \" \" + total + \" \" + caught);\n"
                   "  var g = flash.Lib.current.graphics;\n"
                   "  g.beginFill(0xFF0000); g.drawRect(0, 0, 100, 100); g.endFill();\n"
                   "} }\n", f);
        std::fclose(f);
    }
    return MakeFixture(dir + "/haxe-vector.swf",
                       "cd " + dir + " && haxe -main Main -swf {out} -swf-version 10 -swf-header 200:200:24:FFFFFF");
}
