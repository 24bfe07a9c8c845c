// Fill and line styles, shape records and the DefineShape tags: the bit
// layouts checked both ways, the XML form, copies, what the writer refuses,
// real shapes of other producers, and damaged shape bodies.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <functional>

#include "platform/random.h"
#include "swf/control_tags.h"
#include "swf/names.h"
#include "swf/reader.h"
#include "swf/shape_tags.h"
#include "swf/xml_form.h"
#include "test_util.h"
#include "tool_fixtures.h"

namespace fs = std::filesystem;

namespace {

// "11 0000 0 1 00" -> the bits, most significant first, padded to a byte.
Bytes Bits(const std::string& text) {
    Bytes out;
    int count = 0;
    uint8_t current = 0;
    for (char c : text) {
        if (c != '0' && c != '1') continue;
        current = static_cast<uint8_t>(current << 1 | (c == '1'));
        if (++count == 8) {
            out.push_back(current);
            current = 0;
            count = 0;
        }
    }
    if (count) out.push_back(static_cast<uint8_t>(current << (8 - count)));
    return out;
}

Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

bool IsShapeCode(uint16_t code) { return code == 2 || code == 22 || code == 32 || code == 83; }

std::unique_ptr<TSWFDefineShape> NewShape(uint16_t code) {
    auto tag = CreateTagByCode(code);
    auto* shape = dynamic_cast<TSWFDefineShape*>(tag.get());
    EXPECT_NE(shape, nullptr) << code;
    tag.release();
    return std::unique_ptr<TSWFDefineShape>(shape);
}

template <class T>
T& Add(TSWFShapeRecordList& list) {
    list.push_back(std::make_unique<T>());
    return static_cast<T&>(*list.back());
}

TSWFStraightEdgeRecord& AddLine(TSWFShapeRecordList& list, int32_t dx, int32_t dy) {
    auto& edge = Add<TSWFStraightEdgeRecord>(list);
    edge.DeltaX = dx;
    edge.DeltaY = dy;
    return edge;
}

TSWFColorFill& AddSolid(TSWFFillStyleList& list, TSWFRGBAValue rgba) {
    auto fill = std::make_unique<TSWFColorFill>();
    fill->Color.SetRGBA(rgba);
    list.push_back(std::move(fill));
    return static_cast<TSWFColorFill&>(*list.back());
}

TSWFLineStyle2& AddLine2(TSWFLineStyleList& list, uint16_t width, TSWFRGBAValue rgba) {
    auto line = std::make_unique<TSWFLineStyle2>();
    line->Width = width;
    line->Color.SetRGBA(rgba);
    list.push_back(std::move(line));
    return static_cast<TSWFLineStyle2&>(*list.back());
}

// The XML element of a tag through text and back into a new tag, in twips.
std::unique_ptr<TSWFObject> ThroughXml(TSWFObject& tag, std::string* text = nullptr) {
    TXMLReadWriteSettings settings;
    TXmlDocument doc;
    tag.SaveToXml(doc.Root().AddChild(TagIdToName(tag.TagCode)), settings);
    std::string saved = doc.SaveToString();
    if (text) *text = saved;
    TXmlDocument parsed;
    parsed.LoadFromString(saved);
    auto loaded = CreateTagByCode(tag.TagCode);
    loaded->LoadFromXml(parsed.DocumentElement(), settings);
    return loaded;
}

std::string XmlOf(TSWFObject& tag) {
    std::string text;
    ThroughXml(tag, &text);
    return text;
}

std::unique_ptr<TSWFObject> ReadTag(uint16_t code, const Bytes& body) {
    auto tag = CreateTagByCode(code);
    ReadBodyBytes(*tag, body);
    return tag;
}

struct LayoutCase {
    const char* name;
    uint16_t code;
    int version;
    std::function<void(TSWFDefineShape&)> fill;
    Bytes body;
};

// A shape of n solid fills (RGB or RGBA by the tag) and its body.
LayoutCase ManyFills(const char* name, uint16_t code, int n, const char* count, const char* widths) {
    bool alpha = code == 32 || code == 83;
    Bytes body = HexBytes("01 00 00");
    if (code == 83) body = Cat({body, HexBytes("00 00")});
    body = Cat({body, HexBytes(count)});
    for (int i = 0; i < n; ++i) {
        body.push_back(0x00);
        body.push_back(static_cast<uint8_t>(i));
        body.push_back(0x10);
        body.push_back(0x20);
        if (alpha) body.push_back(0x80);
    }
    body = Cat({body, HexBytes("00"), HexBytes(widths), HexBytes("00")});
    int version = code == 2 ? 1 : code == 22 ? 2 : code == 32 ? 3 : 8;
    return {name, code, version,
            [n, alpha](TSWFDefineShape& s) {
                s.ShapeId = 1;
                for (int i = 0; i < n; ++i)
                    AddSolid(s.FillStyles, SWFRGBA(static_cast<uint8_t>(i), 0x10, 0x20, alpha ? 0x80 : 0xFF));
            },
            body};
}

std::vector<LayoutCase> LayoutCases() {
    // Every body starts with ShapeId 1 and an empty RECT (width field 0).
    std::vector<LayoutCase> cases = {
        {"EmptyShape", 2, 1, [](TSWFDefineShape& s) { s.ShapeId = 1; }, HexBytes("01 00 00 00 00 00 00")},
        {"StraightEdgeZero", 2, 1,
         [](TSWFDefineShape& s) { s.ShapeId = 1; AddLine(s.Edges, 0, 0); },
         Cat({HexBytes("01 00 00 00 00 00"), Bits("11 0000 0 1 00  000000")})},
        {"StraightEdgeHorizontal", 2, 1,
         [](TSWFDefineShape& s) { s.ShapeId = 1; AddLine(s.Edges, 3, 0); },
         Cat({HexBytes("01 00 00 00 00 00"), Bits("11 0001 0 0 011  000000")})},
        {"StraightEdgeGeneral", 2, 1,
         [](TSWFDefineShape& s) { s.ShapeId = 1; AddLine(s.Edges, -4, 5); },
         Cat({HexBytes("01 00 00 00 00 00"), Bits("11 0010 1 1100 0101  000000")})},
        {"CurvedEdge", 2, 1,
         [](TSWFDefineShape& s) {
             s.ShapeId = 1;
             auto& curve = Add<TSWFCurvedEdgeRecord>(s.Edges);
             curve.ControlDeltaX = 10;
             curve.ControlDeltaY = -5;
             curve.AnchorDeltaX = 3;
         },
         Cat({HexBytes("01 00 00 00 00 00"), Bits("10 0011 01010 11011 00011 00000  000000")})},
        // Five zero flags would be an end record: a move-to with MoveBits 0.
        {"StyleChangeWithoutFlags", 2, 1,
         [](TSWFDefineShape& s) { s.ShapeId = 1; Add<TSWFStyleChangeRecord>(s.Edges); },
         Cat({HexBytes("01 00 00 00 00 00"), Bits("0 0000 1 00000  000000")})},
        {"StyleChangeFill0", 2, 1,
         [](TSWFDefineShape& s) {
             s.ShapeId = 1;
             AddSolid(s.FillStyles, SWFRGBA(0x11, 0x22, 0x33, 0xFF));
             Add<TSWFStyleChangeRecord>(s.Edges).SetFill0Id(1);
         },
         Cat({HexBytes("01 00 00  01 00 11 22 33  00  10"), Bits("0 0 0 0 1 0 1  000000")})},
        {"StyleChangeMoveAndLine", 22, 2,
         [](TSWFDefineShape& s) {
             s.ShapeId = 1;
             auto line = std::make_unique<TSWFLineStyle>();
             line->Width = 20;
             line->Color.SetRGB(SWFRGB(1, 2, 3));
             s.LineStyles.push_back(std::move(line));
             auto& change = Add<TSWFStyleChangeRecord>(s.Edges);
             change.SetMoveTo(100, -50);
             change.SetLineId(1);
         },
         Cat({HexBytes("01 00 00  00  01 14 00 01 02 03  01"),
              Bits("0 0 1 0 0 1  01000 01100100 11001110  1  000000")})},
        // New styles alone set a flag already: no move-to, so the pen stays.
        {"NewStylesOnly", 32, 3,
         [](TSWFDefineShape& s) {
             s.ShapeId = 1;
             AddSolid(Add<TSWFStyleChangeRecord>(s.Edges).GetNewFillStyles(), SWFRGBA(0xAA, 0xBB, 0xCC, 0xDD));
         },
         Cat({HexBytes("01 00 00 00 00 00"), Bits("0 1 0 0 0 0"), HexBytes("01 00 AA BB CC DD  00  10"),
              Bits("000000")})},
        // Three new fills widen the fill index to 2 bits for the next record.
        {"NewStylesSwitchWidths", 2, 1,
         [](TSWFDefineShape& s) {
             s.ShapeId = 1;
             auto& fills = Add<TSWFStyleChangeRecord>(s.Edges).GetNewFillStyles();
             for (uint8_t i = 0; i < 3; ++i) AddSolid(fills, SWFRGBA(i, i, i, 0xFF));
             Add<TSWFStyleChangeRecord>(s.Edges).SetFill0Id(3);
         },
         Cat({HexBytes("01 00 00 00 00 00"), Bits("0 1 0 0 0 0"),
              HexBytes("03 00 00 00 00 00 01 01 01 00 02 02 02  00  20"), Bits("0 0 0 0 1 0 11  000000")})},
        ManyFills("FillCount254", 2, 254, "FE", "80"),
        ManyFills("FillCount255", 2, 255, "FF FF 00", "80"),
        ManyFills("FillCount300Shape", 2, 300, "FF 2C 01", "90"),
        ManyFills("FillCount300Shape2", 22, 300, "FF 2C 01", "90"),
        ManyFills("FillCount300Shape3", 32, 300, "FF 2C 01", "90"),
        ManyFills("FillCount300Shape4", 83, 300, "FF 2C 01", "90"),
        {"Shape4StrokeFlags", 83, 8,
         [](TSWFDefineShape& s) {
             s.ShapeId = 1;
             AddLine2(s.LineStyles, 20, SWFRGBA(1, 2, 3, 4)).NoVScaleFlag = true;
             AddLine2(s.LineStyles, 40, SWFRGBA(5, 6, 7, 8));
         },
         HexBytes("01 00 00 00 03  00  02 14 00 02 00 01 02 03 04  28 00 00 00 05 06 07 08  02 00")},
        {"Shape4WithoutLines", 83, 8, [](TSWFDefineShape& s) { s.ShapeId = 1; },
         HexBytes("01 00 00 00 00  00 00 00 00")},
        {"LineStyle2Miter", 83, 8,
         [](TSWFDefineShape& s) {
             s.ShapeId = 1;
             auto& line = AddLine2(s.LineStyles, 10, SWFRGBA(1, 2, 3, 4));
             line.JoinStyle = 2;
             line.MiterLimitFactor = 1.5f;
             line.StartCapStyle = 1;
             line.EndCapStyle = 2;
             line.NoClose = true;
         },
         HexBytes("01 00 00 00 01  00  01 0A 00 60 06 80 01 01 02 03 04  01 00")},
        // The fill of a LINESTYLE2 carries its own type byte and RGBA.
        {"LineStyle2Fill", 83, 8,
         [](TSWFDefineShape& s) {
             s.ShapeId = 1;
             auto& line = AddLine2(s.LineStyles, 10, SWFRGBA(0, 0, 0, 0xFF));
             line.HasFillFlag = true;
             line.PixelHintingFlag = true;
             static_cast<TSWFColorFill*>(line.GetFillStyle(kFillSolid))->Color.SetRGBA(SWFRGBA(0x11, 0x22, 0x33, 0x44));
         },
         HexBytes("01 00 00 00 01  00  01 0A 00 09 00 00 11 22 33 44  01 00")},
        // Mode/count byte 0x53: spread 1, interpolation 1, three records.
        {"GradientModes", 32, 3,
         [](TSWFDefineShape& s) {
             s.ShapeId = 1;
             auto fill = std::make_unique<TSWFGradientFill>();
             fill->SpreadMode = 1;
             fill->InterpolationMode = 1;
             const TSWFRGBAValue colors[] = {SWFRGBA(0xFF, 0, 0, 0xFF), SWFRGBA(0, 0xFF, 0, 0xFF),
                                             SWFRGBA(0, 0, 0xFF, 0xFF)};
             const uint8_t ratios[] = {0, 0x80, 0xFF};
             for (int i = 1; i <= 3; ++i) {
                 fill->GetGradientColor(i).SetRGBA(colors[i - 1]);
                 fill->SetGradientRatio(i, ratios[i - 1]);
             }
             s.FillStyles.push_back(std::move(fill));
         },
         HexBytes("01 00 00  01 10 00 53 00 FF 00 00 FF 80 00 FF 00 FF FF 00 00 FF FF  00  10 00")},
        // A clipped bitmap translated by (20, -20), and a focal gradient of
        // one colour with spread 2, interpolation 1 and focal point 128/255.
        {"BitmapAndFocalFills", 32, 3,
         [](TSWFDefineShape& s) {
             s.ShapeId = 1;
             auto bitmap = std::make_unique<TSWFImageFill>();
             bitmap->BitmapId = 5;
             bitmap->BitmapMatrix.SetTranslate(20, -20);
             s.FillStyles.push_back(std::move(bitmap));
             auto focal = std::make_unique<TSWFFocalGradientFill>();
             focal->SpreadMode = 2;
             focal->InterpolationMode = 1;
             focal->FocalPoint = 128;
             focal->GetGradientColor(1).SetRGBA(SWFRGBA(0x11, 0x22, 0x33, 0x44));
             focal->SetGradientRatio(1, 0x40);
             s.FillStyles.push_back(std::move(focal));
         },
         Cat({HexBytes("01 00 00  02  41 05 00"), Bits("0 0 00110 010100 101100"),
              HexBytes("13 00 91 40 11 22 33 44 80 00  00  20 00")})},
    };
    return cases;
}

}  // namespace

TEST(Shapes, BitLayoutsBothWays) {
    for (const LayoutCase& c : LayoutCases()) {
        SCOPED_TRACE(c.name);
        auto built = NewShape(c.code);
        c.fill(*built);
        EXPECT_EQ(ToHex(WriteBodyBytes(*built)), ToHex(c.body));
        EXPECT_EQ(built->RequiredVersion(), c.version);
        EXPECT_EQ(ToHex(WriteBodyBytes(*CloneTag(*built))), ToHex(c.body));

        auto read = ReadTag(c.code, c.body);
        EXPECT_EQ(ToHex(WriteBodyBytes(*read)), ToHex(c.body));
        EXPECT_EQ(read->CharacterId(), 1);
        std::string text;
        auto loaded = ThroughXml(*read, &text);
        EXPECT_EQ(ToHex(WriteBodyBytes(*loaded)), ToHex(c.body)) << text;
        EXPECT_EQ(ToHex(WriteBodyBytes(*CloneTag(*read))), ToHex(c.body));
    }
}

TEST(Shapes, WriterNormalisesWhatItCannotOrNeedNotWrite) {
    const Bytes head = HexBytes("01 00 00 00 00 00");
    // A curve of zero deltas writes nothing; end records in the middle are
    // dropped and a missing final one is added.
    TSWFDefineShape shape;
    shape.ShapeId = 1;
    AddLine(shape.Edges, 0, 0);
    Add<TSWFCurvedEdgeRecord>(shape.Edges);
    Add<TSWFEndShapeRecord>(shape.Edges);
    AddLine(shape.Edges, 3, 0);
    EXPECT_EQ(ToHex(WriteBodyBytes(shape)),
              ToHex(Cat({head, Bits("11 0000 0 1 00  11 0001 0 0 011  000000")})));

    // Selecting a fill in a shape without fills: the flag goes (also in
    // memory), and the record that is left changes nothing, so it moves.
    TSWFDefineShape noFills;
    noFills.ShapeId = 1;
    auto& change = Add<TSWFStyleChangeRecord>(noFills.Edges);
    change.SetFill0Id(1);
    EXPECT_EQ(ToHex(WriteBodyBytes(noFills)), ToHex(Cat({head, Bits("0 0000 1 00000  000000")})));
    EXPECT_FALSE(change.StateFillStyle0);

    // A DefineShape3 fill moved into a DefineShape2 is written as RGB.
    TSWFDefineShape3 three;
    three.ShapeId = 1;
    AddSolid(three.FillStyles, SWFRGBA(1, 2, 3, 4));
    TSWFDefineShape2 two;
    two.CopyFieldsFrom(three);
    two.HasAlpha = false;
    EXPECT_EQ(ToHex(WriteBodyBytes(three)), "01 00 00 01 00 01 02 03 04 00 10 00");
    EXPECT_EQ(ToHex(WriteBodyBytes(two)), "01 00 00 01 00 01 02 03 00 10 00");
}

TEST(Shapes, WriterRefusesWhatARecordCannotHold) {
    struct Refused {
        const char* name;
        std::function<void(TSWFDefineShape&)> fill;
        const char* message;
    };
    const Refused cases[] = {
        {"EdgeTooLong", [](TSWFDefineShape& s) { AddLine(s.Edges, 70000, 0); }, "70000"},
        {"CurveTooLong",
         [](TSWFDefineShape& s) { Add<TSWFCurvedEdgeRecord>(s.Edges).AnchorDeltaY = -100000; }, "100000"},
        {"SixteenGradientColours",
         [](TSWFDefineShape& s) {
             auto fill = std::make_unique<TSWFGradientFill>();
             fill->GetGradientColor(16);
             s.FillStyles.push_back(std::move(fill));
         },
         "16 colours"},
        {"FillIndexPastItsWidth",
         [](TSWFDefineShape& s) {
             AddSolid(s.FillStyles, 0);
             Add<TSWFStyleChangeRecord>(s.Edges).SetFill1Id(2);
         },
         "index 2"},
        {"FilledLineWithoutFill",
         [](TSWFDefineShape& s) { AddLine2(s.LineStyles, 20, 0).HasFillFlag = true; }, "no fill style"},
    };
    for (const Refused& c : cases) {
        SCOPED_TRACE(c.name);
        TSWFDefineShape4 shape;
        c.fill(shape);
        try {
            WriteBodyBytes(shape);
            ADD_FAILURE() << "written";
        } catch (const EWriteError& e) {
            EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
        }
    }
}

TEST(Shapes, GradientsOfOneOrManyColours) {
    // One colour: written, read, copied and saved like any other.
    TSWFDefineShape3 shape;
    shape.ShapeId = 4;
    auto one = std::make_unique<TSWFGradientFill>();
    one->FillStyleType = kFillRadialGradient;
    one->GetGradientColor(1).SetRGBA(SWFRGBA(9, 8, 7, 6));
    one->FitToRect(TRect{0, 0, 100, 100});
    shape.FillStyles.push_back(std::move(one));
    Bytes body = WriteBodyBytes(shape);
    auto read = ReadTag(32, body);
    EXPECT_EQ(WriteBodyBytes(*ThroughXml(*read)), body);
    auto& fill = static_cast<TSWFGradientFill&>(*static_cast<TSWFDefineShape&>(*read).FillStyles[0]);
    EXPECT_EQ(fill.NumGradients(), 1);
    EXPECT_EQ(fill.GetGradientRecord(1).Color, SWFRGBA(9, 8, 7, 6));

    // Twenty colours from XML are all kept; only writing refuses them.
    std::string xml = "<DefineShape3 ID=\"1\" XMax=\"10\" YMax=\"10\"><FillStyles><LinearGradient><Matrix/>";
    for (int i = 0; i < 20; ++i) xml += "<Gradient Ratio=\"" + std::to_string(i * 10) + "\" Color=\"#FF0000\"/>";
    xml += "</LinearGradient></FillStyles></DefineShape3>";
    TXmlDocument doc;
    doc.LoadFromString(xml);
    TSWFDefineShape3 loaded;
    TXMLReadWriteSettings settings;
    loaded.LoadFromXml(doc.DocumentElement(), settings);
    auto& many = static_cast<TSWFGradientFill&>(*loaded.FillStyles[0]);
    EXPECT_EQ(many.NumGradients(), 20);
    EXPECT_EQ(many.GetGradientRecord(20).Ratio, 190);
    EXPECT_THROW(WriteBodyBytes(loaded), EWriteError);
    many.SetNumGradients(15);
    EXPECT_NO_THROW(WriteBodyBytes(loaded));
}

TEST(Shapes, StyleValueHelpers) {
    TSWFFocalGradientFill focal;
    focal.SetFocalPoint(1.0f);
    EXPECT_EQ(focal.FocalPoint, 255);
    focal.SetFocalPoint(-2.0f);
    EXPECT_EQ(focal.FocalPoint, -255);
    focal.FocalPoint = 300;
    EXPECT_EQ(focal.GetFocalPoint(), 1.0f);
    // A focal point outside -1..1, as a file may hold it, survives a copy.
    TSWFFocalGradientFill copy;
    copy.CopyFrom(focal);
    EXPECT_EQ(copy.FocalPoint, 300);

    TSWFGradientFill linear;
    linear.FitToRect(TRect{0, 0, 3277, 6554});
    EXPECT_NEAR(linear.GradientMatrix.GetScaleX(), 0.1000061f, 1e-6);
    EXPECT_NEAR(linear.GradientMatrix.GetScaleY(), 0.2000122f, 1e-6);
    EXPECT_EQ(linear.GradientMatrix.TranslateX, 1638);
    EXPECT_EQ(linear.GradientMatrix.TranslateY, 3277);
    // The spread mode is part of what a copy draws.
    linear.SpreadMode = 2;
    auto linearCopy = CloneFillStyle(linear);
    EXPECT_EQ(static_cast<TSWFGradientFill&>(*linearCopy).SpreadMode, 2);

    TSWFLineStyle2 line;
    EXPECT_THROW(line.GetFillStyle(0x20), EReadError);
    EXPECT_EQ(line.GetFillStyle(-1), nullptr);
    TSWFFillStyle* bitmap = line.GetFillStyle(kFillTileBitmap);
    EXPECT_TRUE(bitmap->HasAlpha);
    EXPECT_EQ(line.GetFillStyle(kFillTileBitmap), bitmap);  // same type: kept
    EXPECT_EQ(line.GetFillStyle(kFillSolid)->FillStyleType, kFillSolid);
}

TEST(Shapes, XmlFormLoading) {
    struct XmlCase {
        const char* name;
        const char* xml;
        std::function<void(TSWFDefineShape&)> check;
    };
    const XmlCase cases[] = {
        {"LastEdgeLineGainsEnd", "<S ID=\"1\" XMax=\"1\" YMax=\"1\"><Edges><Line X=\"1\" Y=\"2\"/><Foo/></Edges></S>",
         [](TSWFDefineShape& s) {
             ASSERT_EQ(s.Edges.size(), 2u);
             EXPECT_EQ(s.Edges[1]->RecordKind, kShapeRecordEnd);
         }},
        {"LastEdgeEndStays", "<S ID=\"1\" XMax=\"1\" YMax=\"1\"><Edges><line X=\"1\" Y=\"2\"/><End/></Edges></S>",
         [](TSWFDefineShape& s) { EXPECT_EQ(s.Edges.size(), 2u); }},
        {"NoEdgesChildren", "<S ID=\"1\" XMax=\"1\" YMax=\"1\"><Edges/></S>",
         [](TSWFDefineShape& s) {
             ASSERT_EQ(s.Edges.size(), 1u);
             EXPECT_EQ(s.Edges[0]->RecordKind, kShapeRecordEnd);
         }},
        {"EmptyNewStylesKeepTheirFlag", "<S ID=\"1\" XMax=\"1\" YMax=\"1\"><Edges><MoveTo><NewFillStyles/></MoveTo></Edges></S>",
         [](TSWFDefineShape& s) {
             auto& change = static_cast<TSWFStyleChangeRecord&>(*s.Edges[0]);
             EXPECT_TRUE(change.StateNewStyles);
             EXPECT_FALSE(change.StateMoveTo);
         }},
        {"GradientWithoutChildren", "<S ID=\"1\" XMax=\"1\" YMax=\"1\"><FillStyles><RadialGradient/></FillStyles></S>",
         [](TSWFDefineShape& s) {
             auto& fill = static_cast<TSWFGradientFill&>(*s.FillStyles[0]);
             EXPECT_EQ(fill.FillStyleType, kFillRadialGradient);
             EXPECT_EQ(fill.NumGradients(), 0);
         }},
        {"UnknownFillNameIsSolid", "<S ID=\"1\" XMax=\"1\" YMax=\"1\"><FillStyles><Plaid Color=\"#102030\"/></FillStyles></S>",
         [](TSWFDefineShape& s) {
             auto& fill = static_cast<TSWFColorFill&>(*s.FillStyles[0]);
             EXPECT_EQ(fill.FillStyleType, kFillSolid);
             EXPECT_EQ(fill.Color.GetRGBA(), SWFRGBA(0x10, 0x20, 0x30, 0xFF));
         }},
        {"CapStyleSetsBothCaps",
         "<S ID=\"1\" XMax=\"1\" YMax=\"1\"><LineStyles><Style2 Width=\"20\" CapStyle=\"2\" JoinStyle=\"0\" "
         "NoClose=\"false\" NoHScaleFlag=\"false\" NoVScaleFlag=\"true\" PixelHintingFlag=\"false\" "
         "Color=\"#80102030\"/></LineStyles></S>",
         [](TSWFDefineShape& s) {
             auto& line = static_cast<TSWFLineStyle2&>(*s.LineStyles[0]);
             EXPECT_EQ(line.StartCapStyle, 2);
             EXPECT_EQ(line.EndCapStyle, 2);
             EXPECT_TRUE(line.NoVScaleFlag);
             EXPECT_EQ(line.Color.GetRGBA(), SWFRGBA(0x10, 0x20, 0x30, 0x80));
         }},
    };
    TXMLReadWriteSettings settings;
    for (const XmlCase& c : cases) {
        SCOPED_TRACE(c.name);
        TXmlDocument doc;
        doc.LoadFromString(c.xml);
        TSWFDefineShape4 shape;
        shape.LoadFromXml(doc.DocumentElement(), settings);
        c.check(shape);
    }
    // Attributes a loader needs are required.
    for (const char* xml : {"<S ID=\"1\" XMax=\"1\" YMax=\"1\"><LineStyles><Style Color=\"#000000\"/></LineStyles></S>",
                            "<S ID=\"1\" XMax=\"1\" YMax=\"1\"><Edges><Line X=\"1\"/></Edges></S>",
                            "<S ID=\"1\" XMax=\"1\" YMax=\"1\"><FillStyles><LinearGradient><Matrix/><Gradient "
                            "Color=\"#000000\"/></LinearGradient></FillStyles></S>"}) {
        TXmlDocument doc;
        doc.LoadFromString(xml);
        TSWFDefineShape3 shape;
        EXPECT_THROW(shape.LoadFromXml(doc.DocumentElement(), settings), EConvertError) << xml;
    }
}

TEST(Shapes, ReaderFindsShapesAndKeepsUnreadableOnesRaw) {
    TSWFDefineShape3 good;
    good.ShapeId = 7;
    good.ShapeBounds.SetRect(TRect{0, 0, 200, 100});
    AddSolid(good.FillStyles, SWFRGBA(1, 2, 3, 4));
    Add<TSWFStyleChangeRecord>(good.Edges).SetFill1Id(1);
    AddLine(good.Edges, 200, 0);
    // A fill type byte outside the table.
    TSWFByteCodeTag bad;
    bad.RealCode = 2;
    bad.SetData(HexBytes("08 00 00 01 20 00 00 00 00"));

    TSWFStreamReader movie;
    movie.SetBounds(TRect{0, 0, 550, 400});
    movie.SetVersion(8);
    movie.FrameCount = 1;
    TBitsEngine be(movie.GetBodyStream());
    good.WriteTag(be);
    bad.WriteTag(be);
    TSWFShowFrame().WriteTag(be);
    TSWFEnd().WriteTag(be);
    TMemoryStream file;
    movie.SaveToStream(file);

    TMemoryStream in(file.Bytes());
    auto reader = TSWFStreamReader::CreateFromStream(in);
    reader->ParseTags(true, true);
    TSWFObject* found = reader->GetCharacterObject(7);
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->TagCode, 32);
    EXPECT_EQ(static_cast<TSWFDefineShape*>(found)->Edges.size(), 3u);
    auto& raw = static_cast<TSWFByteCodeTag&>(*reader->Tags[1]->Object);
    EXPECT_EQ(raw.TagCode, kErrorTagCode);
    EXPECT_NE(raw.Name.find("fill style type 0x20"), std::string::npos) << raw.Name;
    reader->MakeStream();
    TMemoryStream again;
    reader->SaveToStream(again);
    EXPECT_EQ(again.Bytes(), file.Bytes());
}

namespace {

std::vector<std::string> ShapeSourceFiles() {
    std::vector<std::string> files;
    fs::path root = fs::path(SharedDir()) / "corpus" / "swf-gnash";
    std::error_code error;
    if (fs::is_directory(root, error))
        for (auto& entry : fs::recursive_directory_iterator(root))
            if (entry.is_regular_file() && entry.path().extension() == ".swf") files.push_back(entry.path().string());
    std::sort(files.begin(), files.end());
    for (const std::string& movie : FfmpegFixtures())
        if (movie.find("mjpeg") != std::string::npos) files.push_back(movie);
    return files;
}

struct ShapeBody {
    std::string where;
    uint16_t code;
    Bytes body;
};

std::vector<ShapeBody> ShapeBodies(const std::vector<std::string>& files) {
    std::vector<ShapeBody> bodies;
    for (const std::string& path : files) {
        Bytes file = ReadFileBytes(path);
        TMemoryStream in(file);
        auto reader = TSWFStreamReader::CreateFromStream(in);
        if (!reader->Valid) continue;
        reader->ParseTags(false, false);
        TMemoryStream& body = reader->GetBodyStream();
        for (size_t i = 0; i < reader->Tags.size(); ++i) {
            const TSWFTagInfo& info = *reader->Tags[i];
            if (!IsShapeCode(info.TagCode)) continue;
            int64_t start = int64_t(info.Offset) + info.GetFullSize() - info.BodySize;
            bodies.push_back({fs::path(path).filename().string() + " tag " + std::to_string(i), info.TagCode,
                              Bytes(body.Memory() + start, body.Memory() + start + info.BodySize)});
        }
    }
    return bodies;
}

}  // namespace

TEST(Shapes, RealShapesRoundTripThroughObjectsXmlAndCopies) {
    std::vector<std::string> files = ShapeSourceFiles();
    if (files.empty()) TW_SKIP_OR_FAIL() << "no corpus at " << SharedDir() << "/corpus/swf-gnash and no ffmpeg";
    std::vector<ShapeBody> bodies = ShapeBodies(files);
    ASSERT_FALSE(bodies.empty());
    int identical = 0, longer = 0, fromFfmpeg = 0;
    for (const ShapeBody& shape : bodies) {
        SCOPED_TRACE(shape.where);
        if (shape.where.find("ffmpeg") != std::string::npos) ++fromFfmpeg;
        std::unique_ptr<TSWFObject> read;
        try {
            read = ReadTag(shape.code, shape.body);
        } catch (const std::exception& e) {
            ADD_FAILURE() << "not read: " << e.what();
            continue;
        }
        EXPECT_EQ(read->CharacterId(), shape.body[0] | shape.body[1] << 8);
        Bytes written = WriteBodyBytes(*read);
        if (written == shape.body) {
            ++identical;
        } else {
            // The producer chose a longer encoding: the same objects must
            // come back from ours, which must be a fixed point.
            ++longer;
            auto again = ReadTag(shape.code, written);
            EXPECT_EQ(XmlOf(*again), XmlOf(*read));
            EXPECT_EQ(ToHex(WriteBodyBytes(*again)), ToHex(written));
        }
        EXPECT_EQ(ToHex(WriteBodyBytes(*ThroughXml(*read))), ToHex(written));
        EXPECT_EQ(ToHex(WriteBodyBytes(*CloneTag(*read))), ToHex(written));
    }
    std::printf("shapes: %zu bodies (%d from ffmpeg): %d byte-identical, %d took a longer producer encoding\n",
                bodies.size(), fromFfmpeg, identical, longer);
    if (!FfmpegFixtures().empty()) {
        EXPECT_GT(fromFfmpeg, 0);
    }
}

TEST(Shapes, DamagedBodiesFailCleanly) {
    // Counts that claim more styles than the body holds, the 0xFF escape
    // included, are refused before anything is built.
    for (const char* body : {"01 00 00 FF FF FF", "01 00 00 FE", "01 00 00 00 FF 10 00 00 00 00 00 00"}) {
        TSWFDefineShape3 shape;
        try {
            ReadBodyBytes(shape, HexBytes(body));
            ADD_FAILURE() << body << " was read";
        } catch (const EReadError& e) {
            EXPECT_NE(std::string(e.what()).find("claims"), std::string::npos) << e.what();
        }
    }

    std::vector<std::string> files = ShapeSourceFiles();
    std::vector<ShapeBody> seeds = ShapeBodies(files);
    // Hand-made seeds, so the test has material anywhere.
    for (const LayoutCase& c : LayoutCases())
        if (c.body.size() < 200) seeds.push_back({c.name, c.code, c.body});
    TRandomSource random(20261211);
    const int total = 600;
    int readOk = 0;
    for (int n = 0; n < total; ++n) {
        const ShapeBody& seed = seeds[random.Next(static_cast<uint32_t>(seeds.size()))];
        Bytes copy = seed.body;
        if (random.Next(5) == 0) copy.resize(random.Next(static_cast<uint32_t>(copy.size())));
        int flips = 1 + static_cast<int>(random.Next(4));
        for (int k = 0; k < flips && !copy.empty(); ++k) {
            size_t at = random.Next(static_cast<uint32_t>(std::min<size_t>(copy.size(), 64)));
            if (random.Next(3) == 0) at = random.Next(static_cast<uint32_t>(copy.size()));
            copy[at] = static_cast<uint8_t>(random.Next(2) ? copy[at] ^ (1u << random.Next(8)) : random.Next(256));
        }
        uint16_t code = seed.code;
        if (random.Next(4) == 0) code = std::array<uint16_t, 4>{2, 22, 32, 83}[random.Next(4)];
        try {
            auto tag = ReadTag(code, copy);
            ++readOk;
            Bytes written = WriteBodyBytes(*tag);
            WriteBodyBytes(*CloneTag(*tag));
            WriteBodyBytes(*ThroughXml(*tag));
            auto again = ReadTag(code, written);
            EXPECT_EQ(WriteBodyBytes(*again), written);
        } catch (const std::exception& e) {
            EXPECT_NE(std::string(e.what()), "");
        }
    }
    std::printf("damaged shapes: %d mutated bodies, %d still read\n", total, readOk);
}
