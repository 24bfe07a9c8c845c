// Movies made with the movie builder, judged by a real player: drawing from a
// sprite's frame script, placement transforms, clip events in SWF 5 and 6,
// and frame scripts built with the branch helpers.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "movie/action_script.h"
#include "movie/flash_movie.h"
#include "movie/sprites.h"
#include "platform/player/player_test_support.h"
#include "player_files.h"

namespace {

std::string TempPath(const std::string& name) { return PlayerTempPath("tw_movie_player", name); }

// this.<method>(args...) with the drawing API; args are pushed last first.
void CallOnThis(TFlashActionScript& s, const std::string& method, const std::vector<TPushValue>& args,
                const std::vector<uint8_t>& types) {
    std::vector<TPushValue> values(args.rbegin(), args.rend());
    std::vector<uint8_t> valueTypes(types.rbegin(), types.rend());
    values.push_back(static_cast<int>(args.size()));
    valueTypes.push_back(kPushInteger);
    values.push_back("this");
    valueTypes.push_back(kPushString);
    s.Push(values, valueTypes);
    s.GetVariable();
    s.Push({method}, {kPushString});
    s.CallMethod();
    s.Pop();
}

// A 100 x 100 square at (0, 0) filled with colour, drawn by the frame script.
TFlashSprite* SquareSprite(TFlashMovie& movie, int colour) {
    TFlashSprite* sprite = movie.AddSprite();
    TFlashActionScript& s = sprite->GetFrameActions();
    CallOnThis(s, "beginFill", {colour, 100}, {kPushInteger, kPushInteger});
    CallOnThis(s, "moveTo", {0, 0}, {kPushInteger, kPushInteger});
    CallOnThis(s, "lineTo", {100, 0}, {kPushInteger, kPushInteger});
    CallOnThis(s, "lineTo", {100, 100}, {kPushInteger, kPushInteger});
    CallOnThis(s, "lineTo", {0, 100}, {kPushInteger, kPushInteger});
    CallOnThis(s, "lineTo", {0, 0}, {kPushInteger, kPushInteger});
    CallOnThis(s, "endFill", {}, {});
    s.Stop();
    sprite->ShowFrame();
    return sprite;
}

// A sprite holding a 100 x 100 square shape of the colour, as a DefineShape
// written bit by bit (shapes of SWF 1 play in every version, where the
// drawing API needs SWF 6).
TFlashSprite* ShapeSquareSprite(TFlashMovie& movie, uint8_t r, uint8_t g, uint8_t b) {
    uint16_t shapeId = movie.TakeCharacterId();
    TMemoryStream body;
    TBitsEngine be(body);
    be.WriteWord(shapeId);
    be.WriteTRect(TRect{0, 0, 2000, 2000});
    be.WriteByte(1);     // one fill style
    be.WriteByte(0x00);  // solid
    be.WriteRGB(SWFRGB(r, g, b));
    be.WriteByte(0);     // no line styles
    be.WriteBits(1, 4);  // fill index bits
    be.WriteBits(0, 4);  // line index bits
    // Style change: move to (0, 0), fill style 1.
    be.WriteBits(0b000101, 6);
    be.WriteBits(1, 5);
    be.WriteBits(0, 1);
    be.WriteBits(0, 1);
    be.WriteBits(1, 1);
    // Four straight edges of 2000 twips: vertical or horizontal, 12-bit deltas.
    const int32_t edges[4][2] = {{2000, 0}, {0, 2000}, {-2000, 0}, {0, -2000}};
    for (const auto& edge : edges) {
        be.WriteBits(0b11, 2);
        be.WriteBits(10, 4);
        be.WriteBit(false);                // not a general line
        be.WriteBit(edge[0] == 0);         // vertical
        be.WriteSBits(edge[0] == 0 ? edge[1] : edge[0], 12);
    }
    be.WriteBits(0, 6);  // end of shape
    be.FlushLastByte(true);
    auto shape = std::make_unique<TSWFByteCodeTag>();
    shape->RealCode = 2;
    shape->SetData(body.Bytes());
    movie.AddObject(std::move(shape));
    TFlashSprite* sprite = movie.AddSprite();
    sprite->PlaceDepth(1)->SetCharacterId(shapeId);
    sprite->ShowFrame();
    return sprite;
}

void Trace(TFlashActionScript& s) { s.ActionList().Add(CreateActionByCode(0x26)); }

}  // namespace

TEST(PlayerMovie, DrawnSquareTransformedAndPlaced) {
    TW_REQUIRE_PLAYER();
    TFlashMovie movie(0, 0, 550, 400, 12, true);
    movie.SetCompressed(true);
    movie.GetBackgroundColor().SetRGB(SWFRGB(255, 255, 255));
    TFlashSprite* square = SquareSprite(movie, 0x0000FF);  // blue
    TFlashPlaceObject* place = movie.PlaceObject(square, 1);
    place->SetTranslate(200, 100);
    place->SetScale(2.0f, 1.5f);
    // Blue becomes purple: keep blue, add red.
    place->GetColorTransform().SetAddR(255);
    movie.ShowFrame();
    movie.MakeStream();
    std::string path = TempPath("square.swf");
    movie.SaveToFile(path);

    TPlayedMovie played = TPlayerHarness::Shared().Play(path, 2);
    ASSERT_EQ(played.frames.size(), 2u);
    const TPlayerFrame& frame = played.frames.back();
    ASSERT_EQ(frame.width, 550);
    // The square covers (200..400, 100..250) after scaling.
    EXPECT_EQ(Pixel(frame, 300, 175), (TPlayerPixel{255, 0, 255, 255}));
    EXPECT_EQ(Pixel(frame, 390, 240), (TPlayerPixel{255, 0, 255, 255}));
    EXPECT_EQ(Pixel(frame, 150, 175), (TPlayerPixel{255, 255, 255, 255}));
    EXPECT_EQ(Pixel(frame, 300, 270), (TPlayerPixel{255, 255, 255, 255}));
}

TEST(PlayerMovie, EnterFrameMovesTheSpriteInSwf5And6) {
    TW_REQUIRE_PLAYER();
    for (uint8_t version : {uint8_t{5}, uint8_t{6}}) {
        SCOPED_TRACE(int(version));
        TFlashMovie movie(0, 0, 550, 400, 12, true);
        movie.SetVersion(version);
        movie.GetBackgroundColor().SetRGB(SWFRGB(255, 255, 255));
        TFlashSprite* square = ShapeSquareSprite(movie, 0, 255, 0);
        TFlashPlaceObject* place = movie.PlaceObject(square, 1);
        place->SetTranslate(0, 100);
        // onClipEvent(enterFrame) { _x += 20; }
        TFlashActionScript* s = place->GetClipEventActions(6);
        ASSERT_NE(s, nullptr);
        s->Push({"", 0, "", 0}, {kPushString, kPushInteger, kPushString, kPushInteger});
        s->GetProperty();
        s->Push({20}, {kPushInteger});
        s->Add();
        s->SetProperty();
        movie.ShowFrame();
        movie.MakeStream();
        EXPECT_EQ(movie.Version, version);
        std::string path = TempPath("move" + std::to_string(version) + ".swf");
        movie.SaveToFile(path);

        TPlayedMovie played = TPlayerHarness::Shared().Play(path, 6);
        ASSERT_EQ(played.frames.size(), 6u);
        // The square's left edge moves right by 20 pixels a frame.
        auto leftEdge = [](const TPlayerFrame& f) {
            for (int x = 0; x < f.width; ++x)
                if (Pixel(f, x, 150).g == 255 && Pixel(f, x, 150).r == 0) return x;
            return -1;
        };
        int first = leftEdge(played.frames[1]);
        int last = leftEdge(played.frames[5]);
        ASSERT_GE(first, 0);
        EXPECT_EQ(last - first, 80);
    }
}

TEST(PlayerMovie, BranchHelpersRunAsWritten) {
    TW_REQUIRE_PLAYER();
    TFlashMovie movie(0, 0, 200, 200, 12, true);
    movie.SetVersion(7);
    TFlashActionScript& s = movie.GetFrameActions();
    // i = 0; loop: trace(i); i++; if (i < 3) goto loop
    s.Push({"i", 0}, {kPushString, kPushInteger});
    s.SetVariable();
    TSWFOffsetMarker* top = s.AddOffsetMarker();
    s.Push({"i"}, {kPushString});
    s.GetVariable();
    Trace(s);
    s.Push({"i", "i"}, {kPushString, kPushString});
    s.GetVariable();
    s.Increment();
    s.SetVariable();
    s.Push({"i"}, {kPushString});
    s.GetVariable();
    s.Push({3}, {kPushInteger});
    s.Less2();
    s.If()->LabelMarker.Link(top);
    // if (i == 3) trace("three") else trace("other")
    s.Push({"i"}, {kPushString});
    s.GetVariable();
    s.Push({3}, {kPushInteger});
    s.Equals2();
    TSWFActionIf* then = s.If();
    s.Push({"other"}, {kPushString});
    Trace(s);
    TSWFActionJump* over = s.Jump();
    s.AddOffsetMarker(&then->GetLabel(), false);
    s.Push({"three"}, {kPushString});
    Trace(s);
    s.AddOffsetMarker(&over->GetLabel(), false);
    // try { throw "oops" } catch (e) { trace(e) } finally { trace("done") }
    TSWFActionTry* attempt = s.Try();
    attempt->CatchBlockFlag = true;
    attempt->FinallyBlockFlag = true;
    attempt->CatchName = "e";
    s.Push({"oops"}, {kPushString});
    s.Throw();
    s.AddOffsetMarker(&attempt->GetTryLabel(), false);
    s.Push({"e"}, {kPushString});
    s.GetVariable();
    Trace(s);
    s.AddOffsetMarker(&attempt->GetCatchLabel(), false);
    s.Push({"done"}, {kPushString});
    Trace(s);
    s.AddOffsetMarker(&attempt->GetFinallyLabel(), false);
    s.Stop();
    movie.ShowFrame();
    movie.MakeStream();
    std::string path = TempPath("branches.swf");
    movie.SaveToFile(path);

    TPlayedMovie played = TPlayerHarness::Shared().Play(path, 1);
    EXPECT_EQ(played.trace, (std::vector<std::string>{"0", "1", "2", "three", "oops", "done"}));
}
