// Movies as other producers write them: each fixture is a small file that
// holds what one producer does differently (fields of later file formats,
// reserved bits, payloads that are not JPEG, blocks without ActionEnd,
// counts that do not count), with what its objects must say. The table is
// shared by the round-trip test and the player test.
#pragma once

#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>
#include <zlib.h>

#include "platform/zstream.h"
#include "swf/actions_swf4.h"
#include "swf/actions_swf5.h"
#include "swf/bitmap_tags.h"
#include "swf/button_tags.h"
#include "swf/control_tags.h"
#include "swf/display_tags.h"
#include "swf/do_action.h"
#include "swf/font_tags.h"
#include "swf/morph_tags.h"
#include "swf/reader.h"
#include "swf/shape_tags.h"
#include "swf/sound_tags.h"
#include "swf/sprite_tags.h"
#include "swf/text_tags.h"
#include "test_util.h"

namespace fidelity {

inline const char* const kStage = "78 00 05 5F 00 00 0F A0 00";  // 550 x 400 pixels
inline const char* const kPNG = "89 50 4E 47 0D 0A 1A 0A 00 00 00 00 49 45 4E 44 AE 42 60 82";
inline const char* const kGIF = "47 49 46 38 39 61 01 00 01 00 00 00 00 3B";

struct Fixture {
    const char* name;
    uint8_t version;
    bool compressed;
    const char* frame;    // the frame RECT
    uint16_t frameCount;
    std::vector<std::pair<uint16_t, std::string>> tags;  // code and body; End is added
    // What the objects must hold, checked on the movie read and on the one
    // loaded from its XML form.
    std::function<void(TSWFStreamReader&)> check;
    const char* dataFile = nullptr;  // bytes that one external data file must hold
};

template <class T>
T& TagAt(TSWFStreamReader& movie, size_t index) {
    auto* tag = dynamic_cast<T*>(movie.GetTagInfo(index).Object);
    if (!tag) throw std::runtime_error("tag " + std::to_string(index) + " is not of the expected class");
    return *tag;
}

inline std::vector<Fixture> Fixtures() {
    return {
        {"PlaceObject3 with the fields of SWF 10 and 11", 11, false, kStage, 1,
         // Character 5 at depth 1 with blend mode 12, the cache value, the
         // visibility byte and an opaque background; then a move whose
         // cache value is followed by two bytes no format defines.
         {{70, "02 66 01 00 05 00 0C 01 00 11 22 33 FF"}, {70, "01 04 02 00 01 AB CD"}, {1, ""}},
         [](TSWFStreamReader& movie) {
             auto& place = TagAt<TSWFPlaceObject3>(movie, 0);
             EXPECT_EQ(place.CharacterId, 5);
             EXPECT_EQ(place.BlendMode, 12);
             EXPECT_TRUE(place.HasBitmapCache);
             EXPECT_EQ(place.BitmapCache, 1);
             EXPECT_TRUE(place.HasVisible);
             EXPECT_EQ(place.Visible, 0);
             EXPECT_TRUE(place.HasOpaqueBackground);
             EXPECT_EQ(place.OpaqueBackground, SWFRGBA(0x11, 0x22, 0x33, 0xFF));
             EXPECT_EQ(place.RequiredVersion(), 11);
             EXPECT_EQ(TagAt<TSWFPlaceObject3>(movie, 1).RequiredVersion(), 10);
         }},
        // SWF 8 knows neither image nor class name, nor the cache value: the
        // bits and the byte are kept without a meaning.
        {"PlaceObject3 of SWF 8 with bits of later formats", 8, false, kStage, 1,
         {{70, "02 9C 01 00 05 00 01"}, {1, ""}},
         [](TSWFStreamReader& movie) {
             auto& place = TagAt<TSWFPlaceObject3>(movie, 0);
             EXPECT_EQ(place.CharacterId, 5);
             EXPECT_FALSE(place.HasImage);
             EXPECT_FALSE(place.HasClassName);
             EXPECT_TRUE(place.CacheAsBitmap);
             EXPECT_FALSE(place.HasBitmapCache);
         }},
        // The image and character flags without the class-name flag: the
        // identifier follows the depth. An empty class name keeps its flag.
        {"PlaceObject3 class names only where flagged", 9, false, kStage, 1,
         {{70, "06 10 01 00 07 00 00"}, {70, "02 08 02 00 00 08 00"}, {1, ""}},
         [](TSWFStreamReader& movie) {
             auto& image = TagAt<TSWFPlaceObject3>(movie, 0);
             EXPECT_EQ(image.CharacterId, 7);
             EXPECT_TRUE(image.HasImage);
             EXPECT_TRUE(image.HasMatrix);
             EXPECT_FALSE(image.HasClassName);
             auto& named = TagAt<TSWFPlaceObject3>(movie, 1);
             EXPECT_TRUE(named.HasClassName);
             EXPECT_EQ(named.ClassName, "");
             EXPECT_EQ(named.CharacterId, 8);
         }},
        // A PNG in DefineBitsJPEG2, a GIF in DefineBitsJPEG3 (no alpha), a
        // JPEG without its end marker, and a wrapped JPEG whose payload
        // itself begins with a start marker.
        {"Image tags holding PNG, GIF and odd JPEG framing", 8, false, kStage, 1,
         {{21, std::string("01 00 ") + kPNG},
          {35, std::string("02 00 0E 00 00 00 ") + kGIF},
          {21, "03 00 FF D8 FF DB 12 34"},
          {21, "04 00 FF D8 FF D8 00 FF D9"},
          {1, ""}},
         [](TSWFStreamReader& movie) {
             auto& png = TagAt<TSWFDefineBitsJPEG2>(movie, 0);
             EXPECT_EQ(ToHex(Bytes(png.Data(), png.Data() + png.DataSize())), kPNG);
             auto& gif = TagAt<TSWFDefineBitsJPEG3>(movie, 1);
             EXPECT_EQ(ToHex(Bytes(gif.Data(), gif.Data() + gif.DataSize())), kGIF);
             EXPECT_EQ(gif.AlphaDataSize(), 0);
         },
         kPNG},
        {"Reserved bits and words", 8, false, kStage, 1,
         // EnableDebugger2's word, the stream head's upper nibble, and a
         // DefineShape4 that says it has strokes of both kinds but has none.
         {{64, "34 12 24 31 24 61 62 24 78 00"}, {45, "F6 16 00 04"}, {83, "01 00 00 00 03 00 00 00 00"}, {1, ""}},
         [](TSWFStreamReader& movie) {
             EXPECT_EQ(TagAt<TSWFEnableDebugger2>(movie, 0).Reserved, 0x1234);
             EXPECT_EQ(TagAt<TSWFSoundStreamHead2>(movie, 1).Reserved, 0xF);
             auto& shape = TagAt<TSWFDefineShape4>(movie, 2);
             EXPECT_TRUE(shape.UsesScalingStrokes);
             EXPECT_TRUE(shape.UsesNonScalingStrokes);
         }},
        // The first block traces "a" and jumps 5 bytes past its own end, and
        // has no ActionEnd; the second branches to before its start.
        {"Action blocks without ActionEnd and branches out of them", 6, false, kStage, 1,
         {{12, "96 03 00 00 61 00 26 99 02 00 05 00"},
          {12, "96 02 00 05 01 9D 02 00 F0 FF 96 03 00 00 62 00 26 00"},
          {1, ""}},
         [](TSWFStreamReader& movie) {
             auto& first = TagAt<TSWFDoAction>(movie, 0);
             EXPECT_FALSE(first.HasActionEnd);
             auto* jump = dynamic_cast<TSWFActionJump*>(first.Actions().GetAction(first.Actions().Count() - 1));
             ASSERT_NE(jump, nullptr);
             EXPECT_EQ(jump->BranchOffset, 5);
             EXPECT_TRUE(TagAt<TSWFDoAction>(movie, 1).HasActionEnd);
         }},
        {"Carriage returns in action strings", 6, false, kStage, 1,
         {{12, "88 0B 00 02 00 61 0D 62 0D 0A 63 00 0D 00 96 09 00 00 78 0D 79 0D 23 24 44 00 26 00"}, {1, ""}},
         [](TSWFStreamReader& movie) {
             auto& script = TagAt<TSWFDoAction>(movie, 0);
             auto* pool = dynamic_cast<TSWFActionConstantPool*>(script.Actions().GetAction(0));
             ASSERT_NE(pool, nullptr);
             EXPECT_EQ(pool->Constants, (std::vector<std::string>{"a\rb\r\nc", "\r"}));
             auto* push = dynamic_cast<TSWFActionPush*>(script.Actions().GetAction(1));
             ASSERT_NE(push, nullptr);
             EXPECT_EQ(push->GetValueInfo(0).Value.AsString(), "x\ry\r#$D");
         }},
        {"Metadata in UTF-8", 8, false, kStage, 1,
         {{77, "3C 78 3E D0 9F D1 80 D0 B8 D0 B2 D0 B5 D1 82 20 E6 97 A5 E6 9C AC 20 63 61 66 C3 A9 3C 2F 78 3E 00"},
          {1, ""}},
         [](TSWFStreamReader& movie) {
             EXPECT_EQ(TagAt<TSWFMetadata>(movie, 0).Metadata,
                       "<x>\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82 \xE6\x97\xA5\xE6\x9C\xAC caf\xC3\xA9</x>");
         }},
        // Five frames in the header and seven in the sprite, one ShowFrame each.
        {"Frame counts as the producer wrote them", 6, false, kStage, 5,
         {{39, "03 00 07 00 40 00 00 00"}, {1, ""}},
         [](TSWFStreamReader& movie) {
             EXPECT_EQ(movie.FrameCount, 5);
             EXPECT_EQ(TagAt<TSWFDefineSprite>(movie, 0).FrameCount, 7);
         }},
        // An empty instance name; an all-events word that is more than the
        // union of its one record (Load) and a block without records.
        {"PlaceObject2 names and clip-action blocks", 6, false, kStage, 1,
         {{26, "22 01 00 05 00 00"},
          {26, "82 02 00 06 00 00 00 C1 00 00 00 01 00 00 00 02 00 00 00 07 00 00 00 00 00"},
          {26, "82 03 00 07 00 00 00 01 00 00 00 00 00 00 00"},
          {1, ""}},
         [](TSWFStreamReader& movie) {
             auto& named = TagAt<TSWFPlaceObject2>(movie, 0);
             EXPECT_TRUE(named.HasName);
             EXPECT_EQ(named.Name, "");
             auto& clip = TagAt<TSWFPlaceObject2>(movie, 1);
             ASSERT_TRUE(clip.HasClipActionsObject());
             EXPECT_EQ(clip.GetClipActions().GetCount(), 1u);
             EXPECT_EQ(clip.GetClipActions().AllEventFlags, kClipEventKeyUp | kClipEventKeyDown | kClipEventLoad);
             auto& empty = TagAt<TSWFPlaceObject2>(movie, 2);
             EXPECT_TRUE(empty.HasClipActions);
             EXPECT_EQ(empty.GetClipActions().GetCount(), 0u);
         }},
        // Fonts as other producers leave them: DefineFont2 without glyphs,
        // code-table offset or ANSI flag, named in UTF-8 ("A 標準"); a
        // DefineFont3 without glyphs but with its layout block; and a font
        // whose one empty glyph has the bounds Xmin 0x3FFFFFFF, Xmax 0, and
        // two bytes after its kerning count.
        {"Fonts without glyphs, with a UTF-8 name, empty bounds and bytes after their fields", 8, false, kStage, 1,
         {{48, "01 00 00 00 08 41 20 E6 A8 99 E6 BA 96 00 00"},
          {75, "02 00 84 00 00 00 00 00 04 00 01 00 00 00 00"},
          {48, "05 00 80 00 00 01 00 04 00 06 00 10 00 41 00 00 00 00 00 00 00 00 "
               "FB FF FF FF F0 00 00 00 00 00 00 00 00 00 00 00 00 00 00 AB CD"},
          {1, ""}},
         [](TSWFStreamReader& movie) {
             auto& named = TagAt<TSWFDefineFont2>(movie, 0);
             EXPECT_TRUE(named.GlyphShapeTable.empty());
             EXPECT_FALSE(named.FontFlagsANSI);
             EXPECT_EQ(named.NameAsRead.Bytes, "A \xE6\xA8\x99\xE6\xBA\x96");
             auto& layout = TagAt<TSWFDefineFont3>(movie, 1);
             EXPECT_TRUE(layout.FontFlagsHasLayout);
             EXPECT_TRUE(layout.FontFlagsWideCodes);
             EXPECT_EQ(layout.FontAscent, 1024);
             auto& bounds = TagAt<TSWFDefineFont2>(movie, 2);
             ASSERT_EQ(bounds.FontBoundsTable.size(), 1u);
             EXPECT_EQ(bounds.FontBoundsTable[0].Xmin, 0x3FFFFFFF);
             EXPECT_EQ(bounds.FontBoundsTable[0].Xmax, 0);
             EXPECT_EQ(ToHex(bounds.Trailing), "AB CD");
         }},
        // Edit texts: one that was static, whose text holds a CR and a CR LF;
        // one with an empty initial text.
        {"Edit texts that were static, with CR and with an empty text", 8, false, kStage, 1,
         {{37, "03 00 00 80 04 76 00 61 0D 62 0D 0A 63 00"}, {37, "04 00 00 80 00 00 00"}, {1, ""}},
         [](TSWFStreamReader& movie) {
             auto& text = TagAt<TSWFDefineEditText>(movie, 0);
             EXPECT_TRUE(text.WasStatic);
             EXPECT_EQ(text.InitialText, "a\rb\r\nc");
             auto& empty = TagAt<TSWFDefineEditText>(movie, 1);
             EXPECT_TRUE(empty.HasText);
             EXPECT_EQ(empty.InitialText, "");
         }},
        // An empty DoAction and a DefineButton without records or an action
        // list gain no ActionEnd; a last block traces "x".
        {"Empty action block and a button without actions", 6, false, kStage, 1,
         {{12, ""}, {7, "06 00 00"}, {12, "96 03 00 00 78 00 26 00"}, {1, ""}},
         [](TSWFStreamReader& movie) {
             EXPECT_FALSE(TagAt<TSWFDoAction>(movie, 0).HasActionEnd);
             EXPECT_FALSE(TagAt<TSWFDefineButton>(movie, 1).HasActionEnd);
             EXPECT_TRUE(TagAt<TSWFDoAction>(movie, 2).HasActionEnd);
         }},
        // Fields stored wider than their values need: a font whose empty
        // glyph's bounds have 1-bit fields (as one producer writes every
        // empty glyph), a shape whose zero bounds have 16-bit fields, and a
        // morph shape whose end edges declare 1-bit style indices.
        {"Fields stored wider than their values need", 8, false, kStage, 1,
         {{48, "06 00 80 00 00 01 00 04 00 06 00 10 00 41 00 04 00 01 00 00 00 02 08 00 00 00"},
          {2, "07 00 80 00 00 00 00 00 00 00 00 00 00 00 00"},
          {46, "08 00 00 00 04 00 00 00 00 00 00 00 11 00"},
          {1, ""}},
         [](TSWFStreamReader& movie) {
             auto& font = TagAt<TSWFDefineFont2>(movie, 0);
             ASSERT_EQ(font.FontBoundsTable.size(), 1u);
             EXPECT_EQ(font.FontBoundsTable[0].GetRect(), TRect{});
             EXPECT_EQ(font.FontBoundsTable[0].Bits, 1);
             EXPECT_EQ(font.FontAdvanceTable, std::vector<int16_t>{512});
             EXPECT_EQ(TagAt<TSWFDefineShape>(movie, 1).ShapeBounds.Bits, 16);
             EXPECT_EQ(TagAt<TSWFDefineMorphShape>(movie, 2).EndEdgeWidths, 0x11);
         }},
        // A compressed SWF 5 file whose frame has its minimum past its maximum.
        {"Compressed SWF 5 with a reversed frame", 5, true, "7A AF 80 00 07 D0 00 00 00", 1,
         {{12, "96 04 00 00 6F 6B 00 26 00"}, {1, ""}},
         [](TSWFStreamReader& movie) {
             EXPECT_EQ(movie.Version, 5);
             EXPECT_TRUE(movie.Compressed);
             EXPECT_EQ(movie.Bounds.Left, 11000);
             EXPECT_EQ(movie.Bounds.Right, 0);
         }},
    };
}

inline void AppendRecord(Bytes& out, uint16_t code, const Bytes& body) {
    const bool longHeader = body.size() >= 63;
    uint16_t header = static_cast<uint16_t>(code << 6 | (longHeader ? 0x3F : body.size()));
    out.push_back(static_cast<uint8_t>(header));
    out.push_back(static_cast<uint8_t>(header >> 8));
    if (longHeader)
        for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(body.size() >> (8 * i)));
    out.insert(out.end(), body.begin(), body.end());
}

// The file of a fixture, compressed by zlib itself when it asks.
inline Bytes FileOf(const Fixture& f) {
    Bytes rest = HexBytes(f.frame);
    rest.insert(rest.end(), {0x00, 0x0C, static_cast<uint8_t>(f.frameCount), static_cast<uint8_t>(f.frameCount >> 8)});
    for (const auto& [code, body] : f.tags) AppendRecord(rest, code, HexBytes(body));
    rest.insert(rest.end(), {0x00, 0x00});
    const uint32_t length = static_cast<uint32_t>(rest.size() + 8);
    Bytes file = {static_cast<uint8_t>(f.compressed ? 'C' : 'F'), 'W', 'S', f.version};
    for (int i = 0; i < 4; ++i) file.push_back(static_cast<uint8_t>(length >> (8 * i)));
    if (!f.compressed) {
        file.insert(file.end(), rest.begin(), rest.end());
        return file;
    }
    Bytes packed(compressBound(static_cast<uLong>(rest.size())));
    uLongf packedSize = static_cast<uLongf>(packed.size());
    compress2(packed.data(), &packedSize, rest.data(), static_cast<uLong>(rest.size()), Z_DEFAULT_COMPRESSION);
    file.insert(file.end(), packed.begin(), packed.begin() + static_cast<std::ptrdiff_t>(packedSize));
    return file;
}

// The 8 leading bytes and the inflated rest: what a file says, whatever
// deflate made of it.
inline std::string Unpacked(const Bytes& file) {
    if (file.size() < 8 || file[0] != 'C') return ToHex(file);
    Bytes rest(file.begin() + 8, file.end());
    TMemoryStream in(rest);
    TDecompressionStream inflater(in);
    uint32_t length = file[4] | file[5] << 8 | file[6] << 16 | uint32_t(file[7]) << 24;
    Bytes whole(file.begin(), file.begin() + 8);
    Bytes body(length - 8);
    inflater.ReadBuffer(body.data(), static_cast<int64_t>(body.size()));
    whole.insert(whole.end(), body.begin(), body.end());
    return ToHex(whole);
}

// Rewrites the movie's body from its objects and saves the file.
inline Bytes Saved(TSWFStreamReader& movie) {
    TMemoryStream out;
    movie.SaveToStream(out);
    return out.Bytes();
}

}  // namespace fidelity
