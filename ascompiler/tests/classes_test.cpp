// Classes and interfaces: the class path and its version folders, the code
// that builds a class at run time, classes emitted once per movie, and the
// records that button and clip event handlers compile into.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "ascompiler/tests/compile_fixture.h"
#include "movie/sprites.h"
#include "swf/display_tags.h"

namespace fs = std::filesystem;
using compile_fixture::Dump;
using compile_fixture::NewMovie;

namespace {

class ClassesTest : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = fs::path(TW_FIXTURE_DIR) / ::testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::remove_all(root_);
        fs::create_directories(root_);
    }
    void Write(const std::string& relative, const std::string& text) {
        fs::path path = root_ / relative;
        fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << text;
    }
    // The init actions of every sprite the movie holds, in order.
    static std::vector<std::string> InitActions(TFlashMovie& movie) {
        std::vector<std::string> result;
        for (const auto& object : movie.GetObjectList()) {
            if (auto* sprite = dynamic_cast<TFlashSprite*>(object.get()))
                result.push_back(Dump(sprite->GetInitActions().ActionList()));
        }
        return result;
    }
    fs::path root_;
};

}  // namespace

TEST_F(ClassesTest, VersionFoldersAndPackagesOfTheClassPath) {
    Write("Top.as", "");
    Write("mx/core/Foo.as", "");
    Write("FP7/Seven.as", "");
    Write("FP8/Eight.as", "");
    Write("fp9/Nine.as", "");
    Write("mx/FP8/Inner.as", "");
    Write("MovieClip.as", "");
    struct TVersion {
        uint8_t version;
        std::vector<std::string> classes;
    };
    const TVersion versions[] = {
        {6, {"MovieClip", "Top", "mx.core.Foo"}},
        {7, {"MovieClip", "Top", "Seven", "mx.core.Foo"}},
        {8, {"MovieClip", "Top", "Eight", "mx.Inner", "mx.core.Foo"}},
        {9, {"MovieClip", "Top", "Eight", "Nine", "mx.Inner", "mx.core.Foo"}},
    };
    for (const TVersion& v : versions) {
        auto movie = NewMovie(v.version);
        TCompileContext context(*movie);
        context.AddClassPath(root_.string());
        std::vector<std::string> names;
        for (const auto& entry : context.Classes().Entries) {
            names.push_back(context.Text(entry->Name));
            auto* info = dynamic_cast<TClassInfo*>(entry.get());
            ASSERT_NE(info, nullptr);
            EXPECT_EQ(info->ClassFlags, names.back() == "MovieClip" ? cfBuiltIn : 0);
        }
        std::vector<std::string> expected = v.classes;
        std::sort(names.begin(), names.end());
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(names, expected) << int(v.version);
    }
    auto movie = NewMovie();
    TCompileContext context(*movie);
    EXPECT_THROW(context.AddClassPath((root_ / "absent").string()), EActionCompileError);
}

TEST_F(ClassesTest, ClassCodeAndOneEmissionPerMovie) {
    Write("MovieClip.as", "");
    Write("a/Base.as", "class a.Base extends MovieClip { }\n");
    Write("a/Base.as", "class a.Base extends MovieClip { function set only(v) { } }\n");
    Write("IThing.as", "interface IThing { function f(); }\n");
    Write("Thing.as", "import a.Base;\nclass Thing extends Base implements IThing { static var n = 1; function f() { return n; } }\n");
    auto movie = NewMovie();
    movie->GetCompileContext().AddClassPath(root_.string());
    TFlashActionScript first(movie.get());
    ASSERT_TRUE(first.CompileFromString("var t = new Thing();")) << movie->GetMessages();
    TFlashActionScript second(movie.get());
    ASSERT_TRUE(second.CompileFromString("var u = new Thing(); var c = Thing(u);")) << movie->GetMessages();
    EXPECT_EQ(Dump(second.ActionList()),
              "Push 'u' 0 'Thing'; NewObject; DefineLocal; Push 'c' '_global'; GetVariable; Push 'Thing'; GetMember; "
              "Push 'u'; GetVariable; CastOp; DefineLocal");
    std::vector<std::string> sprites = InitActions(*movie);
    // Superclass and interface first (in the order of the class table);
    // MovieClip is the player's.
    ASSERT_EQ(sprites.size(), 3u);
    EXPECT_EQ(sprites[0],
              "Push '_global'; GetVariable; StoreRegister 1; Push 'IThing'; GetMember; Not; Not; If L2; Push r1 "
              "'IThing'; DefineFunction  to L1; Push undefined; Return; L1:; StoreRegister 1; SetMember; L2:");
    EXPECT_EQ(sprites[1],
              "Push '_global'; GetVariable; StoreRegister 1; Push 'a'; GetMember; Not; Not; If L1; Push r1 'a' 0 "
              "'Object'; NewObject; SetMember; L1:; Push r1 'a'; GetMember; StoreRegister 1; Push 'Base'; GetMember; "
              "Not; Not; If L4; Push r1 'Base'; DefineFunction2 () regs 3 to L2; Push 0 r2 undefined; CallMethod; Pop; "
              "L2:; StoreRegister 1; SetMember; Push r1 '_global'; GetVariable; Push 'MovieClip'; GetMember; Extends; "
              "Push r1 'prototype'; GetMember; StoreRegister 1; Pop; Push r1 '__set__only'; DefineFunction2 (v:r2) "
              "regs 3 to L3; L3:; SetMember; Push r1 '__set__only'; GetMember; Push null 'only' 3 r1 'addProperty'; "
              "CallMethod; Pop; L4:");
    EXPECT_EQ(sprites[2],
              "Push '_global'; GetVariable; StoreRegister 1; Push 'Thing'; GetMember; Not; Not; If L3; Push r1 "
              "'Thing'; DefineFunction2 () regs 3 to L1; Push 0 r2 undefined; CallMethod; Pop; L1:; StoreRegister 1; "
              "SetMember; Push r1 '_global'; GetVariable; Push 'a'; GetMember; Push 'Base'; GetMember; Extends; Push "
              "'_global'; GetVariable; Push 'IThing'; GetMember; Push 1 r1; ImplementsOp; Push r1 'n' 1; SetMember; "
              "Push r1 'prototype'; GetMember; StoreRegister 1; Pop; Push r1 'f'; DefineFunction2 () regs 2 to L2; "
              "Push 'Thing'; GetVariable; Push 'n'; GetMember; Return; L2:; SetMember; L3:");
}

TEST_F(ClassesTest, ClassErrors) {
    Write("Broken.as", "class Broken { var ; }\n");
    Write("Orphan.as", "class Orphan extends Missing { var x; }\n");
    struct TError {
        const char* source;
        const char* message;
    };
    const TError errors[] = {
        {"var b = new Broken();", "Parse Error in line: 1 pos: 20: \";\" was not expected"},
        {"var o = new Orphan();", "Superclass Missing not found."},
        {"import a.Missing;", "Class a.Missing not found."},
        {"class C implements INone { var x; }", "Interface INone not found."},
        {"class Point { var x; }\nvar p = Point(1, 2);", "Invalid cast operation in line 2\nRequires 1 parameter."},
    };
    for (const TError& error : errors) {
        auto movie = NewMovie();
        movie->GetCompileContext().AddClassPath(root_.string());
        TFlashActionScript script(movie.get());
        EXPECT_FALSE(script.CompileFromString(error.source)) << error.source;
        EXPECT_EQ(movie->GetMessages(), error.message) << error.source;
    }
}

namespace {

// A button's condition records as plain lists.
class TTestButton : public TCondActionsHost {
public:
    struct TRecord {
        uint16_t conditions;
        uint8_t key;
        std::unique_ptr<TSWFActionList> actions = std::make_unique<TSWFActionList>();
    };
    TSWFActionList& AddCondActions(uint16_t conditions, uint8_t keyCode) override {
        records.push_back({conditions, keyCode});
        return *records.back().actions;
    }
    TSWFActionList* FindCondActions(int condition) override {
        for (TRecord& record : records) {
            if (record.conditions & (1u << condition)) return record.actions.get();
        }
        return nullptr;
    }
    std::vector<TRecord> records;
};

}  // namespace

TEST_F(ClassesTest, ButtonAndClipHandlersFillTheirRecords) {
    auto movie = NewMovie();
    TCompileContext context(*movie);
    TTestButton button;
    std::string text = "on (press, release) { play(); }\non (keyPress \"<Left>\") { x = 1; }";
    TMemoryStream source(std::vector<uint8_t>(text.begin(), text.end()));
    context.CompileCondActions(source, button);
    ASSERT_EQ(button.records.size(), 2u);
    EXPECT_EQ(button.records[0].conditions, (1 << 2) | (1 << 3));
    EXPECT_EQ(Dump(*button.records[0].actions), "Play");
    EXPECT_EQ(button.records[1].conditions, 0);
    EXPECT_EQ(button.records[1].key, 1);
    // Every handler's pool holds the strings of the unit so far.
    EXPECT_EQ(Dump(*button.records[1].actions), "Push 'x' 1; SetVariable");

    TFlashSprite* sprite = movie->AddSprite();
    TFlashPlaceObject* place = movie->PlaceObject(sprite, 1);
    ASSERT_TRUE(place->CompileClipActionsFromString(
        "onClipEvent (enterFrame) { f(); }\non (keyPress \"Key.SPACE\") { g(); }"))
        << movie->GetMessages();
    TSWFClipActions& clips = place->Tag().GetClipActions();
    ASSERT_EQ(clips.GetCount(), 2u);
    EXPECT_EQ(clips.GetActionRecord(0).EventFlags, ClipEventFlag(6));
    EXPECT_EQ(Dump(clips.GetActionRecord(0)), "Push 0 'f'; CallFunction; Pop");
    EXPECT_EQ(clips.GetActionRecord(0).GetAction(0)->ActionCode, kActionConstantPool);
    EXPECT_EQ(clips.GetActionRecord(1).EventFlags, ClipEventFlag(17));
    EXPECT_EQ(clips.GetActionRecord(1).KeyCode, 32);

    struct TError {
        const char* source;
        const char* message;
    };
    const TError errors[] = {
        {"\n\non (press) { play(); }", "Invalid event handler type in line 3"},
        {"play();", "Button and clip actions hold only event handlers at their top level."},
        {"onClipEvent (load) { onClipEvent (load) { play(); } }", "Invalid event handler type in line 1"},
    };
    for (const TError& error : errors) {
        auto other = NewMovie();
        TFlashPlaceObject* placement = other->PlaceObject(other->AddSprite(), 1);
        EXPECT_FALSE(placement->CompileClipActionsFromString(error.source));
        EXPECT_EQ(other->GetMessages(), error.message) << error.source;
    }
}
