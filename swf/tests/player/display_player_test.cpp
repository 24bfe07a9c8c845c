// Placements, sprites, filters, blend modes and clip events as a real player
// shows them: a hand-built movie whose pixels and trace output are checked.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "platform/player/player_test_support.h"
#include "swf/actions.h"
#include "swf/control_tags.h"
#include "swf/display_tags.h"
#include "swf/filters.h"
#include "swf/reader.h"
#include "swf/sprite_tags.h"
#include "test_util.h"

namespace {

constexpr int kTwips = 20;
const TSWFRGBRec kShapeColor{200, 0, 0};
const TSWFRGBRec kBackground{128, 128, 128};

// DefineShape (code 2), built by hand as a raw tag because the shape classes
// live elsewhere. Body layout:
//   UI16 ShapeId; RECT bounds (0..400 twips square);
//   FILLSTYLEARRAY: UI8 count 1, UI8 type 0x00 (solid), RGB;
//   LINESTYLEARRAY: UI8 count 0;
//   UB[4] NumFillBits 1, UB[4] NumLineBits 0;
//   STYLECHANGE: TypeFlag 0, NewStyles 0, LineStyle 0, FillStyle1 0,
//     FillStyle0 1, MoveTo 1; UB[5] MoveBits 1, SB[1] 0, SB[1] 0;
//     UB[1] FillStyle0 = 1;
//   four STRAIGHTEDGEs: TypeFlag 1, StraightFlag 1, UB[4] NumBits-2 = 8,
//     GeneralLine 0, VertLine 0 (horizontal) or 1 (vertical), SB[10] delta;
//   ENDSHAPE: TypeFlag 0 and five zero bits; padded to a byte.
std::unique_ptr<TSWFObject> RectangleShape(uint16_t id, int32_t side) {
    TMemoryStream body;
    TBitsEngine be(body);
    be.WriteWord(id);
    be.WriteRect(TRect{0, side, 0, side});
    be.WriteByte(1);
    be.WriteByte(0x00);
    be.WriteRGB(kShapeColor);
    be.WriteByte(0);
    be.WriteBits(1, 4);
    be.WriteBits(0, 4);
    be.WriteBits(0b000011, 6);
    be.WriteBits(1, 5);
    be.WriteBits(0, 1);
    be.WriteBits(0, 1);
    be.WriteBits(1, 1);
    const int32_t deltas[4][2] = {{side, 0}, {0, side}, {-side, 0}, {0, -side}};
    for (const auto& d : deltas) {
        be.WriteBits(0b11, 2);
        be.WriteBits(8, 4);
        be.WriteBit(false);
        bool vertical = d[0] == 0;
        be.WriteBit(vertical);
        be.WriteSBits(vertical ? d[1] : d[0], 10);
    }
    be.WriteBits(0, 6);
    be.FlushLastByte(true);
    auto raw = std::make_unique<TSWFByteCodeTag>();
    raw->RealCode = 2;
    raw->SetData(body.Bytes());
    return raw;
}

// onClipEvent(enterFrame) { this._x += 5; trace(this._x); } in SWF 5 byte
// code, assembled by hand: an empty target string is the clip itself and
// property 0 is _x.
//   Push "", 0, "", 0     96 0E 00 | 00 00 | 07 00000000 | 00 00 | 07 00000000
//   GetProperty           22
//   Push 5                96 05 00 | 07 05000000
//   Add2                  47
//   SetProperty           23
//   Push "", 0            96 07 00 | 00 00 | 07 00000000
//   GetProperty, Trace    22 26
std::unique_ptr<TSWFActionByteCode> MoveRightByFive() {
    auto code = std::make_unique<TSWFActionByteCode>();
    code->Data = HexBytes(
        "96 0E 00 00 00 07 00 00 00 00 00 00 07 00 00 00 00 22"
        "96 05 00 07 05 00 00 00 47 23"
        "96 07 00 00 00 07 00 00 00 00 22 26");
    return code;
}

// A 200 x 150 movie on grey: a sprite (id 2) whose first frame places the
// 20 px square (id 1) scaled 2x at (10, 10) with a colour transform, placed
// at (20, 20) with a clip event that moves it; and the square itself at
// (120, 80) with a drop shadow and the multiply blend mode.
std::vector<std::unique_ptr<TSWFObject>> MovieTags() {
    std::vector<std::unique_ptr<TSWFObject>> tags;
    auto background = std::make_unique<TSWFSetBackgroundColor>();
    background->Color.SetRGB(kBackground);
    tags.push_back(std::move(background));
    tags.push_back(RectangleShape(1, 20 * kTwips));

    auto sprite = std::make_unique<TSWFDefineSprite>();
    sprite->SpriteID = 2;
    sprite->FrameCount = 2;
    auto inner = std::make_unique<TSWFPlaceObject2>();
    inner->Depth = 1;
    inner->SetCharacterId(1);
    inner->GetMatrix().SetScale(2, 2);
    inner->GetMatrix().SetTranslate(10 * kTwips, 10 * kTwips);
    TSWFColorTransform& color = inner->GetColorTransform();
    color.SetMultR(128);  // 200 -> 100
    color.SetMultG(256);
    color.SetMultB(256);
    color.SetMultA(256);
    color.SetAddR(0);
    color.SetAddG(80);
    color.SetAddB(40);
    color.SetAddA(0);
    sprite->ControlTags.push_back(std::move(inner));
    sprite->ControlTags.push_back(std::make_unique<TSWFShowFrame>());
    sprite->ControlTags.push_back(std::make_unique<TSWFShowFrame>());
    tags.push_back(std::move(sprite));

    auto mover = std::make_unique<TSWFPlaceObject2>();
    mover->SWFVersion = 8;
    mover->Depth = 1;
    mover->SetCharacterId(2);
    mover->SetName("mover");
    mover->GetMatrix().SetTranslate(20 * kTwips, 20 * kTwips);
    mover->GetClipActions().AddActionRecord(kClipEventEnterFrame, 0).Add(MoveRightByFive());
    tags.push_back(std::move(mover));

    auto shadowed = std::make_unique<TSWFPlaceObject3>();
    shadowed->Depth = 2;
    shadowed->SetCharacterId(1);
    shadowed->GetMatrix().SetTranslate(120 * kTwips, 80 * kTwips);
    auto& shadow = static_cast<TSWFDropShadowFilter&>(shadowed->GetFilters().CreateFilterById(kFilterDropShadow));
    shadow.BlurX = 2;
    shadow.BlurY = 2;
    shadow.Angle = 0.785398f;  // 45 degrees: down and to the right
    shadow.Distance = 8;
    shadow.Strength = 1;
    shadow.Passes = 1;
    shadowed->HasBlendMode = true;
    shadowed->BlendMode = 3;  // multiply
    tags.push_back(std::move(shadowed));

    tags.push_back(std::make_unique<TSWFShowFrame>());
    tags.push_back(std::make_unique<TSWFEnd>());
    return tags;
}

// The leftmost x in row y whose pixel is the transformed colour, or -1.
int LeftEdgeOfColor(const TPlayerFrame& frame, int y, TPlayerPixel color) {
    for (int x = 0; x < frame.width; ++x) {
        TPlayerPixel p = Pixel(frame, x, y);
        if (std::abs(p.r - color.r) <= 3 && std::abs(p.g - color.g) <= 3 && std::abs(p.b - color.b) <= 3) return x;
    }
    return -1;
}

}  // namespace

TEST(PlayerDisplay, SpriteColourTransformShadowBlendAndClipEvent) {
    TW_REQUIRE_PLAYER();

    auto tags = MovieTags();
    int version = 1;
    for (const auto& tag : tags) version = std::max(version, tag->RequiredVersion());
    EXPECT_EQ(version, 8);  // the PlaceObject3 raises it

    TSWFStreamReader movie;  // as a writer of header and body
    movie.SetSystemCoord(true);
    movie.SetBounds(TRect{0, 0, 200, 150});
    movie.SetFrameRate(12);
    movie.SetVersion(static_cast<uint8_t>(version));
    movie.FrameCount = 1;
    TBitsEngine be(movie.GetBodyStream());
    for (auto& tag : tags) tag->WriteTag(be);
    std::filesystem::path folder = std::filesystem::path(TestScratchFolder("tw_player_display"));
    std::filesystem::create_directories(folder);
    std::string path = (folder / "display.swf").string();
    movie.SaveToFile(path);

    // The placements and the sprite read back into objects that write the
    // same bodies: the movie the player sees is the one the classes describe.
    {
        TSWFStreamReader reader(path);
        reader.ParseTags(true, true);
        int checked = 0;
        for (const auto& info : reader.Tags) {
            if (info->TagCode != 26 && info->TagCode != 39 && info->TagCode != 70) continue;
            const uint8_t* start = reader.GetBodyStream().Memory() + info->Offset + info->GetFullSize() - info->BodySize;
            EXPECT_EQ(ToHex(WriteBodyBytes(*info->Object)), ToHex(Bytes(start, start + info->BodySize)));
            ++checked;
        }
        EXPECT_EQ(checked, 3);
    }

    TPlayedMovie played = TPlayerHarness::Shared().Play(path, 6);
    ASSERT_EQ(played.frames.size(), 6u);
    EXPECT_EQ(played.info.swfVersion, 8);
    const TPlayerFrame& first = played.frames.front();
    const TPlayerFrame& last = played.frames.back();
    ASSERT_EQ(first.width, 200);

    // The sprite's square: scaled to 40 px, colour (200, 0, 0) transformed to
    // (100, 80, 40), at y 30..70 on the stage.
    const TPlayerPixel transformed{100, 80, 40, 255};
    int before = LeftEdgeOfColor(first, 50, transformed);
    int after = LeftEdgeOfColor(last, 50, transformed);
    ASSERT_GE(before, 0) << "the transformed colour is not on the first frame";
    ASSERT_GE(after, 0) << "the transformed colour is not on the last frame";
    EXPECT_EQ(Pixel(first, before + 20, 30 + 39), transformed);
    // Five frames later the clip event has moved it 5 px a frame.
    EXPECT_EQ(after - before, 25);
    // And traced where it went, one line a frame once the clip is on stage.
    ASSERT_GE(played.trace.size(), 5u);
    for (size_t i = 1; i < played.trace.size(); ++i)
        EXPECT_DOUBLE_EQ(std::atof(played.trace[i].c_str()) - std::atof(played.trace[i - 1].c_str()), 5.0)
            << played.trace[i - 1] << " then " << played.trace[i];

    // The shadowed square, multiplied onto grey: (200, 0, 0) x 128/255.
    TPlayerPixel body = Pixel(last, 130, 90);
    EXPECT_NEAR(body.r, 100, 3);
    EXPECT_NEAR(body.g, 0, 3);
    EXPECT_NEAR(body.b, 0, 3);
    // Its shadow 8 px down and right, outside the square: darker than the grey.
    TPlayerPixel shade = Pixel(last, 143, 103);
    EXPECT_LT(shade.r, 70);
    EXPECT_LT(shade.g, 70);
    EXPECT_LT(shade.b, 70);
    // Above and left of the square the grey is untouched.
    EXPECT_EQ(Pixel(last, 115, 75), (TPlayerPixel{128, 128, 128, 255}));
    std::filesystem::remove_all(folder);
}
