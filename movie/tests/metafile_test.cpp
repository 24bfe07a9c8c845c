// Enhanced metafiles into movie objects: hand-built metafiles for the cases
// the conversion must get right, damaged metafiles that must be refused
// cleanly, and the recording canvas going the same road.
#include <gtest/gtest.h>

#include <functional>

#include "movie/flash_canvas.h"
#include "movie/flash_movie.h"
#include "movie/images.h"
#include "movie/shapes.h"
#include "movie/sprites.h"
#include "movie/texts.h"
#include "platform/diagnostics.h"
#include "written_movie.h"

namespace {

using Ints = std::vector<int32_t>;

std::vector<uint8_t> Payload(const Ints& values) {
    std::vector<uint8_t> out;
    for (int32_t v : values) PutI32(out, v);
    return out;
}

void Add(TEmfRecorder& rec, uint32_t type, const Ints& values) { rec.Add(type, Payload(values)); }

// A 100 x 100 pixel frame at 96 pixels per inch, handle slots 1 to 3.
TEmfRecorder NewRecorder() {
    TEmfRecorder rec(TRect{0, 0, 2646, 2646});
    rec.UseHandle(3);
    return rec;
}

// A BITMAPINFOHEADER of a bottom-up picture.
Ints InfoHeader(int32_t width, int32_t height, int bits) {
    return {40, width, height, 1 | bits << 16, 0, 0, 0, 0, 0, 0};
}

void AddFont(TEmfRecorder& rec, int32_t height) {
    std::vector<uint8_t> p = Payload({1, height, 0, 0, 0, 400, 0x01000000, 0});
    const std::u16string face = u"DejaVu Sans";
    for (char16_t c : face) {
        p.push_back(static_cast<uint8_t>(c));
        p.push_back(static_cast<uint8_t>(c >> 8));
    }
    p.resize(4 + 320, 0);
    rec.Add(EMR_EXTCREATEFONTINDIRECTW, p);
    Add(rec, EMR_SELECTOBJECT, {1});
}

// A text record of UTF-16 units at (10, 10), no spacing array.
void AddText(TEmfRecorder& rec, const std::u16string& text, uint32_t options) {
    std::vector<uint8_t> p = Payload({0, 0, 100, 100, 1, 0, 0, 10, 10, static_cast<int32_t>(text.size()), 76,
                                      static_cast<int32_t>(options), 0, 0, 0, 0, 0});
    for (char16_t c : text) {
        p.push_back(static_cast<uint8_t>(c));
        p.push_back(static_cast<uint8_t>(c >> 8));
    }
    rec.Add(EMR_EXTTEXTOUTW, p);
}

struct TConverted {
    std::unique_ptr<TFlashMovie> movie = std::make_unique<TFlashMovie>(0, 0, 200, 200, 12, true);
    TFlashPlaceObject* placed = nullptr;

    std::vector<TFlashPlaceObject*> Placements() const {
        std::vector<TFlashPlaceObject*> all;
        for (auto& obj : movie->GetObjectList())
            if (auto* sprite = dynamic_cast<TFlashSprite*>(obj.get()))
                for (auto& tag : sprite->GetControlTags())
                    if (auto* p = dynamic_cast<TFlashPlaceObject*>(tag.get())) all.push_back(p);
        return all;
    }
    TFlashPlaceObject* PlacementOf(const TFlashVisualObject* obj) const {
        for (TFlashPlaceObject* p : Placements())
            if (p->Obj() == obj) return p;
        return nullptr;
    }
    // The shapes that show on screen: not the black masks of clip groups.
    std::vector<TFlashShape*> Shapes() const {
        std::vector<TFlashShape*> all;
        for (TFlashShape* s : movie->GetShapes()) all.push_back(s);
        return all;
    }
};

TConverted Convert(TEmfRecorder& rec) {
    TConverted out;
    TEnhMetafile metafile;
    metafile.LoadFromBytes(rec.Finish());
    TFlashCanvas& canvas = out.movie->GetCanvas();
    canvas.DrawMetafile(TRect{0, 0, 100, 100}, metafile, false);
    out.placed = canvas.PlaceDrawing(1, true);
    return out;
}

uint32_t SolidColor(const TFlashShape& shape) {
    if (shape.FillStyles.empty()) return 0xFFFFFFFFu;
    auto* fill = dynamic_cast<const TSWFColorFill*>(shape.FillStyles.front().get());
    if (!fill) return 0xFFFFFFFEu;
    return uint32_t{fill->Color.R} << 16 | uint32_t{fill->Color.G} << 8 | fill->Color.B;
}

size_t EdgeCount(const TFlashShape& shape) {
    size_t edges = 0;
    for (const auto& record : shape.ListEdges)
        if (record->RecordKind == kShapeRecordStraightEdge || record->RecordKind == kShapeRecordCurvedEdge) ++edges;
    return edges;
}

void Blit(TEmfRecorder& rec, int32_t rop, const Ints& source = {}) {
    // BITBLT of (10, 10, 10 x 10); source pixels follow the fixed part.
    Ints values = {10, 10, 20, 20, 10, 10, 10, 10, rop, 0, 0};
    Ints xform = {0x3F800000, 0, 0, 0x3F800000, 0, 0};
    values.insert(values.end(), xform.begin(), xform.end());
    const bool pixels = !source.empty();
    values.insert(values.end(), {0x123456, 0, pixels ? 100 : 0, pixels ? 40 : 0, pixels ? 140 : 0,
                                 pixels ? static_cast<int32_t>(source.size() * 4 - 40) : 0});
    values.insert(values.end(), source.begin(), source.end());
    Add(rec, EMR_BITBLT, values);
}

}  // namespace

// Each case: the records after the header, and what the movie must hold.
TEST(Metafile, RecordsBecomeShapesTextsAndLayers) {
    struct TCase {
        const char* name;
        std::function<void(TEmfRecorder&)> draw;
        std::function<void(const TConverted&)> check;
    };
    const Ints twoByTwo = [] {
        Ints px = InfoHeader(2, 2, 24);
        px.insert(px.end(), {0x00FF0000, 0x0000FF00, 0x00FF0000, 0x0000FF00});  // rows of 6 bytes padded to 8
        return px;
    }();
    const std::vector<TCase> cases = {
        {"a BLACKNESS blit is a black rectangle, normally blended",
         [](TEmfRecorder& rec) { Blit(rec, 0x42); },
         [](const TConverted& c) {
             ASSERT_EQ(c.Shapes().size(), 1u);
             EXPECT_EQ(SolidColor(*c.Shapes()[0]), 0u);
             TFlashPlaceObject* p = c.PlacementOf(c.Shapes()[0]);
             ASSERT_TRUE(p);
             EXPECT_FALSE(p->Tag().HasBlendMode);
             EXPECT_EQ(p->Tag().GetMatrix().TranslateX, 200);
             EXPECT_EQ(c.Shapes()[0]->GetWidth(true), 200);
         }},
        {"a SRCAND blit is the picture of its destination, cut from the rendered metafile",
         [&](TEmfRecorder& rec) { Blit(rec, 0x8800C6, twoByTwo); },
         [](const TConverted& c) {
             ASSERT_EQ(c.movie->GetImages().Count(), 1);
             EXPECT_EQ(c.movie->GetImages().GetItem(0)->GetWidth(), 10);
             TFlashPlaceObject* p = c.PlacementOf(c.Shapes().back());
             ASSERT_TRUE(p);
             EXPECT_FALSE(p->Tag().HasBlendMode);
         }},
        {"a negative STRETCHDIBITS width mirrors",
         [&](TEmfRecorder& rec) {
             Ints values = {0, 0, 100, 100, 60, 10, 0, 0, 2, 2, 80, 40, 120, 16, 0, 0xCC0020, -40, 20};
             values.insert(values.end(), twoByTwo.begin(), twoByTwo.end());
             Add(rec, EMR_STRETCHDIBITS, values);
         },
         [](const TConverted& c) {
             TFlashPlaceObject* p = c.PlacementOf(c.Shapes().back());
             ASSERT_TRUE(p);
             EXPECT_LT(p->Tag().GetMatrix().GetScaleX(), 0);
             EXPECT_EQ(p->Tag().GetMatrix().TranslateX, 60 * 20);  // its right edge
             EXPECT_EQ(c.Shapes().back()->GetWidth(true), 40 * 20);
         }},
        {"glyph indexes 36, 69, 76 are A, b, i",
         [](TEmfRecorder& rec) {
             AddFont(rec, -20);
             AddText(rec, u"\x24\x45\x4C", 0x10);
         },
         [](const TConverted& c) {
             ASSERT_EQ(c.movie->GetTexts().Count(), 1);
             EXPECT_EQ(c.movie->GetTexts().GetItem(0)->WideText, u"Abi");
             EXPECT_EQ(c.movie->GetTexts().GetItem(0)->TextHeight, 400);
         }},
        {"opaque and clipped text: its rectangle behind it and clipping it, around the text's sprite",
         [](TEmfRecorder& rec) {
             AddFont(rec, -20);
             std::vector<uint8_t> p = Payload({0, 0, 100, 100, 1, 0, 0, 10, 10, 2, 76, 6, 5, 5, 60, 30, 0});
             for (char16_t c : std::u16string(u"Hi")) {
                 p.push_back(static_cast<uint8_t>(c));
                 p.push_back(0);
             }
             rec.Add(EMR_EXTTEXTOUTW, p);
         },
         [](const TConverted& c) {
             ASSERT_EQ(c.movie->GetTexts().Count(), 1);
             TFlashPlaceObject* clip = nullptr;
             TFlashPlaceObject* opaque = nullptr;
             TFlashPlaceObject* text = nullptr;
             for (TFlashPlaceObject* p : c.Placements()) {
                 if (p->Tag().HasClipDepth && p->Tag().ClipDepth == 5) clip = p;
                 if (p->GetDepth() == 3 && dynamic_cast<TFlashShape*>(p->Obj())) opaque = p;
                 if (p->GetDepth() == 5 && dynamic_cast<TFlashSprite*>(p->Obj())) text = p;
             }
             ASSERT_TRUE(clip && opaque && text);
             EXPECT_EQ(clip->GetDepth(), 4);
             auto* box = static_cast<TFlashShape*>(opaque->Obj());
             EXPECT_EQ(SolidColor(*box), 0xFFFFFFu);
             EXPECT_EQ(box->GetWidth(true), 55 * 20);
             EXPECT_EQ(box->GetXMin(), -5);  // from the text's own position
             // The sprite around is defined after the text's sprite it places.
             const auto& list = c.movie->GetObjectList();
             size_t inner = list.size(), around = list.size();
             for (size_t i = 0; i < list.size(); ++i) {
                 if (list[i].get() == text->Obj()) inner = i;
                 if (auto* sprite = dynamic_cast<TFlashSprite*>(list[i].get()))
                     for (auto& tag : sprite->GetControlTags())
                         if (tag.get() == text) around = i;
             }
             EXPECT_LT(inner, around);
         }},
        {"a font 5000 pixels high draws nothing",
         [](TEmfRecorder& rec) {
             AddFont(rec, -5000);
             AddText(rec, u"Big", 0);
         },
         [](const TConverted& c) { EXPECT_EQ(c.movie->GetTexts().Count(), 0); }},
        {"IntersectClipRect opens a clip group whose mask holds the rectangle",
         [](TEmfRecorder& rec) {
             Add(rec, EMR_INTERSECTCLIPRECT, {10, 10, 50, 50});
             Add(rec, EMR_RECTANGLE, {0, 0, 90, 90});
         },
         [](const TConverted& c) {
             auto shapes = c.Shapes();
             ASSERT_EQ(shapes.size(), 2u);  // the mask, then the rectangle
             EXPECT_EQ(shapes[0]->GetWidth(true), 800);
             int clips = 0;
             for (TFlashPlaceObject* p : c.Placements())
                 if (p->Tag().HasClipDepth) {
                     ++clips;
                     EXPECT_EQ(p->Tag().ClipDepth, 2);
                     EXPECT_EQ(p->GetDepth(), 1);
                 }
             EXPECT_EQ(clips, 1);
             // The rectangle sits in the content layer at depth 2 of the group.
             TFlashPlaceObject* drawn = c.PlacementOf(shapes[1]);
             ASSERT_TRUE(drawn);
             TFlashPlaceObject* content = nullptr;
             for (TFlashPlaceObject* p : c.Placements())
                 if (auto* layer = dynamic_cast<TFSpriteCanvas*>(p->Obj()); layer && layer->Kind == 0) content = p;
             ASSERT_TRUE(content);
             EXPECT_EQ(content->GetDepth(), 2);
         }},
        {"deleting the selected brush leaves light grey fills",
         [](TEmfRecorder& rec) {
             Add(rec, EMR_CREATEBRUSHINDIRECT, {1, 0, 0x0000FF, 0});
             Add(rec, EMR_SELECTOBJECT, {1});
             Add(rec, EMR_RECTANGLE, {0, 0, 10, 10});
             Add(rec, EMR_DELETEOBJECT, {1});
             Add(rec, EMR_RECTANGLE, {20, 20, 30, 30});
         },
         [](const TConverted& c) {
             ASSERT_EQ(c.Shapes().size(), 2u);
             EXPECT_EQ(SolidColor(*c.Shapes()[0]), 0xFF0000u);  // red, COLORREF 0x0000FF
             EXPECT_EQ(SolidColor(*c.Shapes()[1]), 0xC0C0C0u);
         }},
        {"three LINETOs after a MOVETOEX are one shape of three edges",
         [](TEmfRecorder& rec) {
             Add(rec, EMR_SELECTOBJECT, {static_cast<int32_t>(0x80000007)});  // the black stock pen
             Add(rec, EMR_MOVETOEX, {0, 0});
             Add(rec, EMR_LINETO, {10, 0});
             Add(rec, EMR_LINETO, {10, 10});
             Add(rec, EMR_LINETO, {0, 10});
         },
         [](const TConverted& c) {
             ASSERT_EQ(c.Shapes().size(), 1u);
             EXPECT_EQ(EdgeCount(*c.Shapes()[0]), 3u);
             EXPECT_EQ(c.Shapes()[0]->LineStyles.size(), 1u);
         }},
        {"a geometric pen keeps its flat ends and miter joins; a cosmetic one draws round",
         [](TEmfRecorder& rec) {
             Add(rec, EMR_EXTCREATEPEN, {1, 0, 0, 0, 0, 0x12200, 8, 0, 0, 0, 0});
             Add(rec, EMR_SELECTOBJECT, {1});
             Add(rec, EMR_SETMITERLIMIT, {4});
             Add(rec, EMR_POLYLINE, {0, 0, 0, 0, 3, 10, 10, 40, 50, 70, 10});
             Add(rec, EMR_EXTCREATEPEN, {2, 0, 0, 0, 0, 0x2200, 8, 0, 0, 0, 0});
             Add(rec, EMR_SELECTOBJECT, {2});
             Add(rec, EMR_POLYLINE, {0, 0, 0, 0, 2, 10, 60, 40, 60});
         },
         [](const TConverted& c) {
             ASSERT_EQ(c.Shapes().size(), 2u);
             const TFlashShape& shaped = *c.Shapes()[0];
             ASSERT_EQ(shaped.LineStyles.size(), 1u);
             auto* line = dynamic_cast<const TSWFLineStyle2*>(shaped.LineStyles[0].get());
             ASSERT_TRUE(line);
             EXPECT_TRUE(shaped.UseDefineShape4);
             EXPECT_EQ(line->Width, 160);
             EXPECT_EQ(line->StartCapStyle, 1);
             EXPECT_EQ(line->EndCapStyle, 1);
             EXPECT_EQ(line->JoinStyle, 2);
             EXPECT_FLOAT_EQ(line->MiterLimitFactor, 4);
             const TFlashShape& plain = *c.Shapes()[1];
             ASSERT_EQ(plain.LineStyles.size(), 1u);
             EXPECT_FALSE(dynamic_cast<const TSWFLineStyle2*>(plain.LineStyles[0].get()));
             EXPECT_EQ(plain.LineStyles[0]->Width, 20);
         }},
        {"MASKBLT shows the source where its mask picks the source operation",
         [](TEmfRecorder& rec) {
             // The mask's set bits keep the destination, its clear bits copy
             // the source (the foreground and background operations of an icon).
             Ints values = {0, 0, 20, 20, 10, 10, 2, 2, static_cast<int32_t>(0xCCAA0029), 0, 0,
                            0x3F800000, 0, 0, 0x3F800000, 0, 0, 0, 0, 128, 40, 168, 16, 0, 0, 0, 184, 48, 232, 8};
             Ints source = InfoHeader(2, 2, 24);
             source.insert(source.end(), {0x00FF0000, 0x0000FF00, 0x00FF0000, 0x0000FF00});
             Ints mask = InfoHeader(2, 2, 1);
             mask.insert(mask.end(), {0, 0xFFFFFF, 0x40, 0x80});  // palette; the bottom row, then the top one
             values.insert(values.end(), source.begin(), source.end());
             values.insert(values.end(), mask.begin(), mask.end());
             Add(rec, EMR_MASKBLT, values);
         },
         [](const TConverted& c) {
             ASSERT_EQ(c.movie->GetImages().Count(), 1);
             const TBMPReader& bitmap = c.movie->GetImages().GetItem(0)->GetBitmap();
             ASSERT_EQ(bitmap.GetBitCount(), 32);
             int clear = 0;
             for (int32_t row = 0; row < 2; ++row)
                 for (int32_t col = 0; col < 2; ++col) clear += bitmap.Rows[size_t(row)][col * 4 + 3] == 0;
             EXPECT_EQ(clear, 2);
             ASSERT_EQ(c.Shapes().size(), 1u);
             EXPECT_EQ(c.Shapes()[0]->GetWidth(true), 40);
             EXPECT_EQ(c.Shapes()[0]->GetXMin(), 10);
         }},
        {"an arc and a text drawn inside paths become the paths' outlines",
         [](TEmfRecorder& rec) {
             AddFont(rec, -40);
             Add(rec, EMR_BEGINPATH, {});
             Add(rec, EMR_ARC, {10, 10, 50, 50, 50, 30, 10, 30});  // the upper half, counterclockwise
             Add(rec, EMR_ENDPATH, {});
             Add(rec, EMR_STROKEPATH, {0, 0, 100, 100});
             Add(rec, EMR_BEGINPATH, {});
             AddText(rec, u"I", 0);
             Add(rec, EMR_ENDPATH, {});
             Add(rec, EMR_FILLPATH, {0, 0, 100, 100});
         },
         [](const TConverted& c) {
             EXPECT_EQ(c.movie->GetTexts().Count(), 0);
             ASSERT_EQ(c.Shapes().size(), 2u);
             const TFlashShape& arc = *c.Shapes()[0];
             EXPECT_EQ(arc.GetXMin(), 10);
             EXPECT_EQ(arc.GetXMax(), 50);
             EXPECT_EQ(arc.GetYMin(), 10);
             EXPECT_EQ(arc.GetYMax(), 30);
             // The capital I of a 40-pixel font, its top at the text's top.
             const TFlashShape& glyph = *c.Shapes()[1];
             EXPECT_GE(EdgeCount(glyph), 4u);
             EXPECT_GE(glyph.GetXMin(), 10);
             EXPECT_LE(glyph.GetXMax(), 25);
             EXPECT_GE(glyph.GetYMin(), 10);
             EXPECT_LE(glyph.GetYMax(), 50);
             EXPECT_GE(glyph.GetYMax() - glyph.GetYMin(), 25);
         }},
        {"ALPHABLEND keeps its constant opacity; an XOR pen draws as a difference",
         [](TEmfRecorder& rec) {
             Ints values = {10, 10, 20, 20, 10, 10, 10, 10, 0x01800000, 0, 0,
                            0x3F800000, 0, 0, 0x3F800000, 0, 0, 0, 0, 108, 40, 148, 16, 2, 2};
             Ints pixels = InfoHeader(2, 2, 32);
             pixels.insert(pixels.end(), {static_cast<int32_t>(0xFF0000FF), static_cast<int32_t>(0xFF00FF00),
                                          static_cast<int32_t>(0x80800000), 0});
             values.insert(values.end(), pixels.begin(), pixels.end());
             Add(rec, EMR_ALPHABLEND, values);
             Add(rec, EMR_SETROP2, {7});
             Add(rec, EMR_RECTANGLE, {30, 30, 60, 60});
         },
         [](const TConverted& c) {
             ASSERT_EQ(c.Shapes().size(), 2u);
             TFlashPlaceObject* blended = c.PlacementOf(c.Shapes()[0]);
             ASSERT_TRUE(blended);
             ASSERT_TRUE(blended->Tag().HasColorTransform);
             EXPECT_EQ(blended->Tag().GetColorTransform().MultA, 128);
             EXPECT_EQ(blended->Tag().GetColorTransform().MultR, 256);
             EXPECT_FALSE(blended->Tag().HasBlendMode);
             EXPECT_TRUE(c.movie->GetImages().GetItem(0)->GetBitmap().HasAlpha());
             TFlashPlaceObject* xored = c.PlacementOf(c.Shapes()[1]);
             ASSERT_TRUE(xored);
             EXPECT_EQ(xored->Tag().BlendMode, 7);
         }},
        {"a one-point POLYLINE draws nothing; a closed POLYGON is not closed twice",
         [](TEmfRecorder& rec) {
             Add(rec, EMR_POLYLINE, {5, 5, 5, 5, 1, 5, 5});
             Add(rec, EMR_POLYGON, {0, 0, 10, 10, 4, 0, 0, 10, 0, 10, 10, 0, 0});
         },
         [](const TConverted& c) {
             ASSERT_EQ(c.Shapes().size(), 1u);
             EXPECT_EQ(EdgeCount(*c.Shapes()[0]), 3u);
         }},
        {"two blits over the same bounds keep only the second",
         [](TEmfRecorder& rec) {
             Blit(rec, 0x42);
             Blit(rec, 0xFF0062);
         },
         [](const TConverted& c) {
             ASSERT_EQ(c.Shapes().size(), 1u);
             EXPECT_EQ(SolidColor(*c.Shapes()[0]), 0xFFFFFFu);
         }},
        {"a mask blit ANDed and a picture ORed over it both stay",
         [&](TEmfRecorder& rec) {
             Blit(rec, 0x8800C6, twoByTwo);
             Blit(rec, 0xEE0086, twoByTwo);
         },
         [](const TConverted& c) {
             ASSERT_EQ(c.Shapes().size(), 2u);
             EXPECT_FALSE(c.PlacementOf(c.Shapes()[0])->Tag().HasBlendMode);
             EXPECT_FALSE(c.PlacementOf(c.Shapes()[1])->Tag().HasBlendMode);
         }},
        {"an ARC in a zero-width box draws nothing; a PIE is filled",
         [](TEmfRecorder& rec) {
             Add(rec, EMR_ARC, {10, 10, 10, 50, 0, 0, 20, 20});
             Add(rec, EMR_PIE, {10, 10, 50, 50, 50, 30, 30, 10});
         },
         [](const TConverted& c) {
             ASSERT_EQ(c.Shapes().size(), 1u);
             EXPECT_EQ(SolidColor(*c.Shapes()[0]), 0xC0C0C0u);
             EXPECT_GE(EdgeCount(*c.Shapes()[0]), 3u);
         }},
        {"a path of lines and a bezier is filled and stroked",
         [](TEmfRecorder& rec) {
             Add(rec, EMR_SELECTOBJECT, {static_cast<int32_t>(0x80000007)});
             Add(rec, EMR_BEGINPATH, {});
             Add(rec, EMR_MOVETOEX, {10, 10});
             Add(rec, EMR_LINETO, {90, 10});
             Add(rec, EMR_POLYBEZIERTO, {0, 0, 0, 0, 3, 90, 50, 50, 90, 10, 90});
             Add(rec, EMR_CLOSEFIGURE, {});
             Add(rec, EMR_ENDPATH, {});
             Add(rec, EMR_STROKEANDFILLPATH, {0, 0, 100, 100});
         },
         [](const TConverted& c) {
             ASSERT_EQ(c.Shapes().size(), 1u);
             const TFlashShape& s = *c.Shapes()[0];
             EXPECT_EQ(s.FillStyles.size(), 1u);
             EXPECT_EQ(s.LineStyles.size(), 1u);
             EXPECT_EQ(s.GetXMin(), 10) << s.GetXMax() << " " << s.GetYMin();
             EXPECT_NEAR(s.GetYMax(), 90, 2);
         }},
    };
    for (const TCase& item : cases) {
        SCOPED_TRACE(item.name);
        TEmfRecorder rec = NewRecorder();
        item.draw(rec);
        TConverted converted = Convert(rec);
        ASSERT_TRUE(converted.placed);
        item.check(converted);
        // Every movie made this way writes and reads back whole.
        ExpectWritesWhole(*converted.movie);
    }
}

// Records that mix with the pixels beneath them become pictures of what
// the whole metafile leaves there.
TEST(Metafile, RecordsThatReadTheDestinationAreCutFromTheRendering) {
    TEmfRecorder rec = NewRecorder();
    Add(rec, EMR_CREATEBRUSHINDIRECT, {1, 0, 0x000000, 0});  // solid black
    Add(rec, EMR_SELECTOBJECT, {1});
    Add(rec, EMR_SELECTOBJECT, {static_cast<int32_t>(0x80000008)});  // no pen
    Add(rec, EMR_RECTANGLE, {0, 0, 15, 15});
    Blit(rec, 0x550009);  // DSTINVERT over (10, 10, 20, 20): half black, half white
    Add(rec, EMR_RECTANGLE, {0, 0, 30, 30});  // later: covers the blit, not its picture
    Add(rec, EMR_CREATEBRUSHINDIRECT, {2, 0, 0x0000FF, 0});  // solid red
    Add(rec, EMR_SELECTOBJECT, {2});
    Add(rec, EMR_SETROP2, {7});  // XOR
    // A red square XORed over white and over the black of another red one.
    Add(rec, EMR_RECTANGLE, {40, 40, 50, 50});
    Add(rec, EMR_POLYGON16, {40, 40, 60, 60, 4, 40 | 40 << 16, 60 | 40 << 16, 60 | 60 << 16, 40 | 60 << 16});
    TConverted c = Convert(rec);
    ASSERT_TRUE(c.placed);
    ASSERT_EQ(c.movie->GetImages().Count(), 2);
    auto pixel = [&](int image, int32_t x, int32_t y) {
        TRGBTriple colour;
        c.movie->GetImages().GetItem(image)->GetBitmap().GetPixelColor(y, x, colour);
        return colour.Value();  // 0xRRGGBB
    };
    // The blit: 10 x 10 from (10, 10); the rectangle's black, inverted, is
    // white up to x and y 15, and the white beyond it black.
    TFlashImage& blit = *c.movie->GetImages().GetItem(0);
    EXPECT_EQ(blit.GetWidth(), 10);
    EXPECT_EQ(blit.GetHeight(), 10);
    EXPECT_EQ(pixel(0, 2, 2), 0xFFFFFFu);
    EXPECT_EQ(pixel(0, 7, 7), 0x000000u);
    EXPECT_EQ(pixel(0, 2, 7), 0x000000u);
    // The polygon: its bounds, 21 x 21 from (40, 40). White XOR red is
    // cyan; where the rectangle made it cyan already, XOR red again gives
    // white back.
    TFlashImage& polygon = *c.movie->GetImages().GetItem(1);
    EXPECT_EQ(polygon.GetWidth(), 21);
    EXPECT_EQ(pixel(1, 15, 15), 0x00FFFFu);
    EXPECT_EQ(pixel(1, 5, 5), 0xFFFFFFu);
    for (TFlashShape* shape : c.Shapes()) {
        TFlashPlaceObject* p = c.PlacementOf(shape);
        ASSERT_TRUE(p);
        if (shape->FillStyles.empty() || !dynamic_cast<TSWFImageFill*>(shape->FillStyles.front().get())) continue;
        EXPECT_FALSE(p->Tag().HasBlendMode);
    }
    EXPECT_EQ(c.PlacementOf(c.Shapes().back())->Tag().GetMatrix().TranslateX, 800);
    ExpectWritesWhole(*c.movie);
}

TEST(Metafile, MappingModesReachDevicePixels) {
    // Anisotropic: 1000 logical units across 100 pixels, origin moved.
    TEmfRecorder rec = NewRecorder();
    Add(rec, EMR_SETMAPMODE, {8});
    Add(rec, EMR_SETWINDOWEXTEX, {1000, 1000});
    Add(rec, EMR_SETVIEWPORTEXTEX, {100, 100});
    Add(rec, EMR_SETWINDOWORGEX, {-100, 0});
    Add(rec, EMR_RECTANGLE, {0, 0, 500, 250});
    Add(rec, EMR_SETWORLDTRANSFORM, {0x40000000, 0, 0, 0x40000000, 0, 0});  // scale 2
    Add(rec, EMR_ELLIPSE, {0, 0, 100, 100});
    TConverted c = Convert(rec);
    auto shapes = c.Shapes();
    ASSERT_EQ(shapes.size(), 2u);
    EXPECT_EQ(shapes[0]->GetXMin(), 10);
    EXPECT_EQ(shapes[0]->GetXMax(), 60);
    EXPECT_EQ(shapes[0]->GetYMax(), 25);
    EXPECT_EQ(shapes[1]->GetXMax(), 30);
}

TEST(Metafile, DrawingNothingMakesNoSprite) {
    TFlashMovie movie(0, 0, 100, 100, 12, true);
    EXPECT_EQ(movie.GetCanvas().PlaceDrawing(1, true), nullptr);
    TEmfRecorder rec = NewRecorder();
    Add(rec, EMR_SETBKMODE, {1});
    TEnhMetafile metafile;
    metafile.LoadFromBytes(rec.Finish());
    movie.GetCanvas().DrawMetafile(TRect{0, 0, 50, 50}, metafile, true);
    EXPECT_EQ(movie.GetCanvas().PlaceDrawing(1, true), nullptr);
    EXPECT_EQ(movie.GetSprites().Count(), 0);
}

TEST(Metafile, DamagedMetafilesAreRefusedWithTheirReason) {
    TEmfRecorder rec = NewRecorder();
    Add(rec, EMR_RECTANGLE, {0, 0, 10, 10});
    const std::vector<uint8_t> good = rec.Finish();
    auto patched = [&](size_t at, uint32_t value) {
        std::vector<uint8_t> bytes = good;
        for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
        return bytes;
    };
    struct TCase {
        const char* name;
        std::vector<uint8_t> bytes;
        const char* message;
    };
    const std::vector<TCase> cases = {
        {"empty", {}, "too short"},
        {"no signature", patched(40, 0x12345678), "signature"},
        {"a record past the end", patched(88 + 4, 0x1000), "does not fit"},
        {"a record size not a multiple of 4", patched(88 + 4, 26), "does not fit"},
        {"a zero record size", patched(88 + 4, 0), "does not fit"},
    };
    for (const TCase& item : cases) {
        SCOPED_TRACE(item.name);
        TEnhMetafile metafile;
        try {
            metafile.LoadFromBytes(item.bytes);
            ADD_FAILURE() << "loaded";
        } catch (const EMetafileError& error) {
            EXPECT_NE(error.Message().find(item.message), std::string::npos) << error.Message();
        }
    }
    // Records whose own counts and offsets reach past them: a million points
    // in a record of a few bytes, a string and a bitmap past the record, a
    // region with more rectangles than bytes, no handle table at all.
    const std::vector<std::pair<const char*, std::function<void(TEmfRecorder&)>>> records = {
        {"a million points", [](TEmfRecorder& r) { Add(r, EMR_POLYGON16, {0, 0, 0, 0, 1000000, 0}); }},
        {"a poly-polygon of a million polygons", [](TEmfRecorder& r) { Add(r, EMR_POLYPOLYGON, {0, 0, 0, 0, 1000000, 3}); }},
        {"a string past the record", [](TEmfRecorder& r) { AddText(r, u"", 0); Add(r, EMR_EXTTEXTOUTW, {0, 0, 9, 9, 1, 0, 0, 1, 1, 500, 76, 0, 0, 0, 0, 0, 0}); }},
        {"a bitmap past the record", [](TEmfRecorder& r) {
             Ints values = {0, 0, 9, 9, 0, 0, 0, 0, 2, 2, 80, 40, 4000, 16, 0, 0xCC0020, 4, 4};
             Ints info = InfoHeader(2, 2, 24);
             values.insert(values.end(), info.begin(), info.end());
             Add(r, EMR_STRETCHDIBITS, values);
         }},
        {"a region counting past its data", [](TEmfRecorder& r) { Add(r, EMR_EXTSELECTCLIPRGN, {48, 5, 32, 1, 999, 0, 0, 0, 0, 0, 0, 0, 0, 0}); }},
    };
    for (const auto& [name, draw] : records) {
        SCOPED_TRACE(name);
        TEmfRecorder r = NewRecorder();
        Add(r, EMR_RECTANGLE, {0, 0, 5, 5});
        draw(r);
        TEnhMetafile metafile;
        metafile.LoadFromBytes(r.Finish());
        TFlashMovie movie(0, 0, 100, 100, 12, true);
        EXPECT_THROW(movie.GetCanvas().DrawMetafile(TRect{0, 0, 100, 100}, metafile, false), EReadError);
        movie.MakeStream();  // what was made before the damage still writes
    }
    // Selecting and deleting objects of a metafile without a handle table.
    TEmfRecorder none(TRect{0, 0, 2646, 2646});
    Add(none, EMR_CREATEBRUSHINDIRECT, {7, 0, 255, 0});
    Add(none, EMR_SELECTOBJECT, {7});
    Add(none, EMR_DELETEOBJECT, {7});
    Add(none, EMR_RECTANGLE, {0, 0, 5, 5});
    TConverted c = Convert(none);
    ASSERT_EQ(c.Shapes().size(), 1u);
    EXPECT_EQ(SolidColor(*c.Shapes()[0]), 0xC0C0C0u);
}

TEST(Metafile, TheCanvasRecordsAndConvertsWhatIsDrawn) {
    TFlashMovie movie(0, 0, 200, 100, 12, true);
    TFlashCanvas& canvas = movie.GetCanvas();
    canvas.Brush.Color = 0x0000FF;
    canvas.Pen.Style = PS_NULL;
    canvas.Rectangle(10, 10, 60, 40);
    canvas.Brush.Color = 0x00FF00;
    canvas.Pen.Style = PS_DASH;
    canvas.Ellipse(100, 10, 150, 60);
    canvas.Font.Name = "DejaVu Sans";
    canvas.Font.Height = -16;
    canvas.Brush.Style = BS_NULL;
    canvas.TextOut(10, 70, u"Canvas");
    TFlashPlaceObject* placed = canvas.PlaceDrawing(1, true);
    ASSERT_TRUE(placed);
    ASSERT_GE(movie.GetShapes().Count(), 2);
    EXPECT_EQ(SolidColor(*movie.GetShapes().GetItem(0)), 0xFF0000u);
    EXPECT_TRUE(movie.GetShapes().GetItem(0)->LineStyles.empty());
    EXPECT_TRUE(movie.GetShapes().GetItem(1)->Dashed);
    ASSERT_EQ(movie.GetTexts().Count(), 1);
    EXPECT_EQ(movie.GetTexts().GetItem(0)->WideText, u"Canvas");
    // The canvas records again: a second drawing goes to a new sprite.
    canvas.Rectangle(0, 0, 5, 5);
    ASSERT_TRUE(canvas.PlaceDrawing(2, true));
    movie.ShowFrame();
    ExpectWritesWhole(movie);
}
