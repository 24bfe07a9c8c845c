// Shapes of the movie builder: the tag each shape is written as, bounds,
// gradients, dashed outlines, copies, the XML form, the movie's shape
// factories, and every shape of a movie read back, through XML and written
// again unchanged.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "movie/shapes.h"
#include "path_text.h"
#include "shapes_fixture.h"
#include "swf/names.h"
#include "swf/reader.h"
#include "swf/xml_form.h"
#include "test_util.h"

namespace {

// The tag a shape writes, read back from its bytes.
std::unique_ptr<TSWFDefineShape> Written(TFlashShape& shape) {
    TMemoryStream out;
    TBitsEngine be(out);
    shape.WriteTag(be);
    Bytes bytes = out.Bytes();
    EXPECT_GE(bytes.size(), 2u);
    const uint16_t header = static_cast<uint16_t>(bytes[0] | bytes[1] << 8);
    size_t start = 2;
    if ((header & 0x3F) == 0x3F) start = 6;
    auto tag = CreateTagByCode(header >> 6);
    auto* shapeTag = dynamic_cast<TSWFDefineShape*>(tag.get());
    EXPECT_NE(shapeTag, nullptr) << (header >> 6);
    tag.release();
    std::unique_ptr<TSWFDefineShape> result(shapeTag);
    ReadBodyBytes(*result, Bytes(bytes.begin() + static_cast<ptrdiff_t>(start), bytes.end()));
    return result;
}

Bytes TagBytes(TBasedSWFObject& obj) {
    TMemoryStream out;
    TBitsEngine be(out);
    obj.WriteTag(be);
    return out.Bytes();
}

// The length drawn in one line style, curves measured along themselves.
double DrawnLength(const TSWFShapeRecordList& list, uint16_t line) {
    double length = 0;
    uint16_t current = 0;
    for (const auto& record : list) {
        if (record->RecordKind == kShapeRecordStyleChange) {
            const auto& change = static_cast<const TSWFStyleChangeRecord&>(*record);
            if (change.StateLineStyle) current = change.LineId;
        } else if (record->RecordKind == kShapeRecordStraightEdge && current == line) {
            const auto& edge = static_cast<const TSWFStraightEdgeRecord&>(*record);
            length += std::hypot(edge.DeltaX, edge.DeltaY);
        } else if (record->RecordKind == kShapeRecordCurvedEdge && current == line) {
            const auto& c = static_cast<const TSWFCurvedEdgeRecord&>(*record);
            double x = 0, y = 0;
            for (int k = 1; k <= 32; ++k) {
                const double t = k / 32.0, u = 1 - t;
                const double nx = 2 * u * t * c.ControlDeltaX + t * t * (c.ControlDeltaX + c.AnchorDeltaX);
                const double ny = 2 * u * t * c.ControlDeltaY + t * t * (c.ControlDeltaY + c.AnchorDeltaY);
                length += std::hypot(nx - x, ny - y);
                x = nx;
                y = ny;
            }
        }
    }
    return length;
}

TFlashShape* DashedLine(TFlashMovie& movie, int32_t length, std::initializer_list<uint8_t> lengths) {
    TFlashShape* line = movie.AddLine(0, 0, length, 0);
    line->AddLineStyle(1, SWFRGBA(0, 0, 0, 255));
    TFlashLineStyle& pattern = line->GetDashPattern();
    pattern.SetCount(static_cast<uint8_t>(lengths.size()));
    int i = 0;
    for (uint8_t item : lengths) pattern.SetItem(i++, item);
    return line;
}

}  // namespace

TEST(FlashShape, TagKindAndVersion) {
    struct Case {
        const char* name;
        std::function<void(TFlashShape&)> style;
        uint16_t code;
        int version;
    };
    const std::vector<Case> cases = {
        {"OpaqueFill", [](TFlashShape& s) { s.AddSolidFill(SWFRGBA(1, 2, 3, 255)); }, 22, 2},
        {"TranslucentFill", [](TFlashShape& s) { s.AddSolidFill(SWFRGBA(1, 2, 3, 128)); }, 32, 3},
        {"TranslucentLine", [](TFlashShape& s) { s.AddLineStyle(1, SWFRGBA(1, 2, 3, 0)); }, 32, 3},
        {"TranslucentGradientColour",
         [](TFlashShape& s) { s.AddLinearGradient(SWFRGBA(0, 0, 0, 255), SWFRGBA(9, 9, 9, 10)); }, 32, 3},
        // Made translucent after it was added: DefineShape2 would drop the alpha.
        {"AlphaSetOnTheStyle", [](TFlashShape& s) { s.AddSolidFillColor(0x0000FF)->Color.SetAlpha(64); }, 32, 3},
        {"DefineShape4",
         [](TFlashShape& s) {
             s.AddSolidFill(SWFRGBA(1, 2, 3, 255));
             s.AddLineStyle(2, SWFRGBA(4, 5, 6, 255));
             s.UseDefineShape4 = true;
         },
         83, 8},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TFlashMovie movie(0, 0, 200, 200, 12, true);
        TFlashShape* shape = movie.AddRectangle(0, 0, 10, 10);
        c.style(*shape);
        EXPECT_EQ(shape->RequiredVersion(), c.version);
        std::unique_ptr<TSWFDefineShape> tag = Written(*shape);
        EXPECT_EQ(tag->TagCode, c.code);
        EXPECT_EQ(tag->ShapeId, shape->GetCharacterId());
        if (c.code == 83) {
            const auto& four = static_cast<const TSWFDefineShape4&>(*tag);
            EXPECT_EQ(four.EdgeBounds.GetRect(), (TRect{0, 0, 200, 200}));
            ASSERT_EQ(tag->LineStyles.size(), 1u);
            EXPECT_NE(dynamic_cast<TSWFLineStyle2*>(tag->LineStyles[0].get()), nullptr);
        }
    }
}

TEST(FlashShape, WritesTheTagItStandsFor) {
    // A rectangle with a fill and a line, against the same tag built by hand.
    TFlashMovie movie(0, 0, 200, 200, 12, true);
    TFlashShape* shape = movie.AddRectangle(10, 20, 110, 70);
    shape->AddSolidFill(SWFRGBA(255, 0, 0, 255));
    shape->AddLineStyle(2, SWFRGBA(0, 0, 255, 255));

    TSWFDefineShape2 tag;
    tag.ShapeId = shape->GetCharacterId();
    // The bounds grow by half the line width on every side.
    tag.ShapeBounds.SetRect(TRect{200 - 20, 400 - 20, 2200 + 20, 1400 + 20});
    auto fill = std::make_unique<TSWFColorFill>();
    fill->Color.SetRGBA(SWFRGBA(255, 0, 0, 255));
    tag.FillStyles.push_back(std::move(fill));
    auto line = std::make_unique<TSWFLineStyle>();
    line->Width = 40;
    line->Color.SetRGBA(SWFRGBA(0, 0, 255, 255));
    tag.LineStyles.push_back(std::move(line));
    auto start = std::make_unique<TSWFStyleChangeRecord>();
    start->SetMoveTo(200, 400);
    start->SetFill1Id(1);
    start->SetLineId(1);
    tag.Edges.push_back(std::move(start));
    for (auto [dx, dy] : {std::pair{2000, 0}, {0, 1000}, {-2000, 0}, {0, -1000}}) {
        auto edge = std::make_unique<TSWFStraightEdgeRecord>();
        edge->DeltaX = dx;
        edge->DeltaY = dy;
        tag.Edges.push_back(std::move(edge));
    }
    tag.Edges.push_back(std::make_unique<TSWFEndShapeRecord>());
    EXPECT_EQ(ToHex(TagBytes(*shape)), ToHex(WriteTagBytes(tag)));
    // Writing lends the lists to the tag and takes them back.
    EXPECT_EQ(shape->FillStyles.size(), 1u);
    EXPECT_EQ(shape->LineStyles.size(), 1u);
    EXPECT_EQ(shape->ListEdges.size(), 6u);
    EXPECT_EQ(ToHex(TagBytes(*shape)), ToHex(WriteTagBytes(tag)));
}

TEST(FlashShape, GradientMatrices) {
    TFlashMovie movie(0, 0, 400, 400, 12, true);
    TFlashShape* at0 = movie.AddRectangle(0, 0, 200, 100);
    TSWFGradientFill* linear = at0->AddLinearGradient(SWFRGBA(0, 0, 0, 255), SWFRGBA(255, 255, 255, 255), 0);
    EXPECT_EQ(linear->FillStyleType, kFillLinearGradient);
    TSWFMatrixRec m = linear->GradientMatrix.GetRec();
    EXPECT_EQ(m.ScaleX, 8000);  // 4000 / 32768 in 16.16
    EXPECT_EQ(m.ScaleY, 4000);
    EXPECT_EQ(m.SkewX, 0);
    EXPECT_EQ(m.SkewY, 0);
    EXPECT_EQ(m.TranslateX, 2000);
    EXPECT_EQ(m.TranslateY, 1000);

    TSWFGradientFill* turned = at0->AddLinearGradient(SWFRGBA(0, 0, 0, 255), SWFRGBA(255, 255, 255, 255), 90);
    m = turned->GradientMatrix.GetRec();
    EXPECT_EQ(m.ScaleX, 0);
    EXPECT_EQ(m.SkewX, 8000);
    EXPECT_EQ(m.SkewY, -4000);
    EXPECT_EQ(at0->Fill1Index, 2) << "the newest fill is selected";

    TFlashShape* offset = movie.AddRectangle(10, 10, 210, 110);
    TSWFGradientFill* radial = offset->AddRadialGradient(SWFRGBA(0, 0, 0, 255), SWFRGBA(255, 255, 255, 255), 50, 50);
    EXPECT_EQ(radial->FillStyleType, kFillRadialGradient);
    m = radial->GradientMatrix.GetRec();
    EXPECT_EQ(m.ScaleX, 8000);
    EXPECT_EQ(m.ScaleY, 4000);
    EXPECT_EQ(m.TranslateX, 200 + 2000);
    EXPECT_EQ(m.TranslateY, 200 + 1000);
    EXPECT_FALSE(m.HasSkew);
}

TEST(FlashShape, GradientColours) {
    TFlashMovie movie(0, 0, 400, 400, 12, true);
    TFlashShape* shape = movie.AddRectangle(0, 0, 100, 100);
    auto ratios = [](const TSWFGradientFill& fill) {
        std::vector<int> out;
        for (const TSWFGradientRecord& record : fill.Gradients) out.push_back(record.Ratio);
        return out;
    };
    TSWFGradientFill* three = shape->AddLinearGradientColors(
        {SWFRGBA(255, 0, 0, 255), SWFRGBA(0, 255, 0, 255), SWFRGBA(0, 0, 255, 255)}, 0);
    EXPECT_EQ(ratios(*three), (std::vector<int>{0, 128, 255}));
    EXPECT_EQ(three->GetGradientRecord(2).Color, SWFRGBA(0, 255, 0, 255));

    std::vector<TSWFRGBAValue> ten;
    for (int i = 0; i < 10; ++i) ten.push_back(SWFRGBA(static_cast<uint8_t>(i), 0, 0, 255));
    TSWFGradientFill* radial = shape->AddRadialGradientColors(ten, 50, 50);
    EXPECT_EQ(ratios(*radial), (std::vector<int>{0, 36, 73, 109, 146, 182, 219, 255}));
    EXPECT_EQ(radial->GetGradientRecord(8).Color, SWFRGBA(7, 0, 0, 255));

    // One colour has no spread to divide: a single record at 0.
    TSWFGradientFill* single = shape->AddLinearGradientColors({SWFRGBA(1, 2, 3, 255)}, 0);
    EXPECT_EQ(ratios(*single), (std::vector<int>{0}));

    // Fifteen colours fill the gradient table; a sixteenth is refused
    // before anything is added.
    std::vector<TSWFRGBAValue> fifteen(15, SWFRGBA(9, 9, 9, 255));
    shape->AddLinearGradientColors(fifteen, 0);
    const size_t fills = shape->FillStyles.size();
    fifteen.push_back(SWFRGBA(9, 9, 9, 255));
    EXPECT_THROW(shape->AddLinearGradientColors(fifteen, 0), EConvertError);
    EXPECT_THROW(shape->AddLinearGradientColors({}, 0), EConvertError);
    EXPECT_EQ(shape->FillStyles.size(), fills);
    std::unique_ptr<TSWFDefineShape> tag = Written(*shape);
    ASSERT_EQ(tag->FillStyles.size(), fills);
    EXPECT_EQ(static_cast<TSWFGradientFill&>(*tag->FillStyles.back()).NumGradients(), 15);
}

TEST(FlashShape, DashedStraightLines) {
    TFlashMovie movie(0, 0, 400, 400, 12, true);
    // 100 pixels in dashes of 5 and gaps of 5: ten edges and ten moves.
    TFlashShape* line = DashedLine(movie, 100, {5, 5});
    std::string expected = "S/1";
    for (int i = 1; i <= 10; ++i) expected += FormatStr(" L(100,0) M(%d,0)/1", i * 200);
    expected += " E";
    EXPECT_EQ(Describe(Written(*line)->Edges), expected);

    // Gaps in a colour of their own: a second line style in the tag only,
    // and every run drawn.
    TFlashShape* gapped = DashedLine(movie, 30, {10, 5});
    gapped->GetGapColor().SetRGBA(SWFRGBA(255, 0, 0, 255));
    const Bytes first = TagBytes(*gapped);
    std::unique_ptr<TSWFDefineShape> tag = Written(*gapped);
    EXPECT_EQ(tag->LineStyles.size(), 2u);
    EXPECT_EQ(tag->LineStyles[1]->Color.GetRGBA(), SWFRGBA(255, 0, 0, 255));
    EXPECT_EQ(tag->LineStyles[1]->Width, 20);
    EXPECT_EQ(Describe(tag->Edges), "S/1 L(200,0) S/2 L(100,0) S/1 L(200,0) S/2 L(100,0) S/1 E");
    EXPECT_EQ(gapped->LineStyles.size(), 1u);
    EXPECT_EQ(ToHex(TagBytes(*gapped)), ToHex(first)) << "writing again gives the same tag";

    // A run cut at a corner goes on along the next edge in the same state.
    TFlashShape* corner = movie.AddShape();
    corner->Edges().LineDelta(3, 0);
    corner->Edges().LineDelta(0, 4);
    corner->AddLineStyle(1, SWFRGBA(0, 0, 0, 255));
    corner->GetDashPattern().SetCount(2);
    corner->GetDashPattern().SetItem(0, 4);
    corner->GetDashPattern().SetItem(1, 2);
    EXPECT_EQ(Describe(Written(*corner)->Edges), "S/1 L(60,0) L(0,20) M(60,60)/1 L(0,20) E");

    // A pattern of zeros cannot be walked: the outline is drawn solid.
    TFlashShape* zeros = DashedLine(movie, 100, {0, 0, 0});
    TFlashShape* solid = movie.AddLine(0, 0, 100, 0);
    solid->AddLineStyle(1, SWFRGBA(0, 0, 0, 255));
    solid->SetCharacterId(zeros->GetCharacterId());
    EXPECT_EQ(ToHex(TagBytes(*zeros)), ToHex(TagBytes(*solid)));
    // A zero among other lengths only switches between dash and gap.
    TFlashShape* someZeros = DashedLine(movie, 10, {5, 0});
    EXPECT_EQ(Describe(Written(*someZeros)->Edges), "S/1 L(100,0) L(100,0) E");
}

TEST(FlashShape, DashedFilledCurves) {
    TFlashMovie movie(0, 0, 400, 400, 12, true);
    TFlashShape* ellipse = movie.AddEllipse(0, 0, 200, 100);
    ellipse->AddSolidFill(SWFRGBA(0, 255, 0, 255));
    ellipse->AddLineStyle(2, SWFRGBA(0, 0, 0, 255));
    ellipse->GetDashPattern().SetCount(2);
    ellipse->GetDashPattern().SetItem(0, 20);
    ellipse->GetDashPattern().SetItem(1, 20);
    std::unique_ptr<TSWFDefineShape> tag = Written(*ellipse);

    // The closed path comes first, whole, without its line, to carry the
    // fill; its end record is not written in the middle of the tag.
    ASSERT_EQ(ellipse->ListEdges.back()->RecordKind, kShapeRecordEnd);
    const size_t pathRecords = ellipse->ListEdges.size() - 1;
    ASSERT_GT(tag->Edges.size(), pathRecords);
    TSWFShapeRecordList fillPart;
    for (size_t i = 0; i < pathRecords; ++i) {
        fillPart.push_back(CreateShapeRecord(tag->Edges[i]->RecordKind));
        fillPart.back()->CopyFrom(*tag->Edges[i]);
    }
    std::string pathText = Describe(ellipse->ListEdges);
    EXPECT_EQ(Describe(fillPart) + " E", pathText.replace(pathText.find("/1"), 2, "/0"));

    // Every dash starts and ends on the ellipse, and they cover half of it.
    TPoint pen;
    bool drawing = false;
    uint16_t line = 0;
    size_t dashes = 0;
    for (size_t i = pathRecords; i < tag->Edges.size(); ++i) {
        const TSWFShapeRecord& record = *tag->Edges[i];
        if (record.RecordKind == kShapeRecordStyleChange) {
            const auto& change = static_cast<const TSWFStyleChangeRecord&>(record);
            if (change.StateMoveTo) pen = TPoint{change.DeltaX, change.DeltaY};
            if (change.StateLineStyle) line = change.LineId;
            drawing = false;
            continue;
        }
        if (record.RecordKind == kShapeRecordEnd) continue;
        int32_t dx, dy;
        if (record.RecordKind == kShapeRecordStraightEdge) {
            dx = static_cast<const TSWFStraightEdgeRecord&>(record).DeltaX;
            dy = static_cast<const TSWFStraightEdgeRecord&>(record).DeltaY;
        } else {
            const auto& c = static_cast<const TSWFCurvedEdgeRecord&>(record);
            dx = c.ControlDeltaX + c.AnchorDeltaX;
            dy = c.ControlDeltaY + c.AnchorDeltaY;
        }
        EXPECT_EQ(line, 1);
        dashes += !drawing;
        drawing = true;
        pen.X += dx;
        pen.Y += dy;
        const double ex = (pen.X - 2000) / 2000.0, ey = (pen.Y - 1000) / 1000.0;
        EXPECT_NEAR(ex * ex + ey * ey, 1.0, 0.01) << pen.X << "," << pen.Y;
    }
    TSWFShapeRecordList outline;
    for (size_t i = pathRecords; i < tag->Edges.size(); ++i) {
        outline.push_back(CreateShapeRecord(tag->Edges[i]->RecordKind));
        outline.back()->CopyFrom(*tag->Edges[i]);
    }
    const double onLine = DrawnLength(outline, 1);
    // An ellipse of 200 x 100 pixels is about 484.4 pixels round.
    const double perimeter = 484.42 * 20;
    EXPECT_NEAR(onLine, perimeter / 2, perimeter * 0.02);
    EXPECT_NEAR(double(dashes), perimeter / 800, 1.5);
    EXPECT_GT(CountKind(outline, kShapeRecordCurvedEdge), 0u) << "long dashes stay curved";

    // With a gap colour every run is drawn, and the runs close the ellipse
    // exactly.
    ellipse->GetGapColor().SetRGBA(SWFRGBA(255, 255, 0, 255));
    tag = Written(*ellipse);
    int64_t x = 0, y = 0;
    for (size_t i = pathRecords; i < tag->Edges.size(); ++i) {
        const TSWFShapeRecord& record = *tag->Edges[i];
        if (record.RecordKind == kShapeRecordStraightEdge) {
            x += static_cast<const TSWFStraightEdgeRecord&>(record).DeltaX;
            y += static_cast<const TSWFStraightEdgeRecord&>(record).DeltaY;
        } else if (record.RecordKind == kShapeRecordCurvedEdge) {
            const auto& c = static_cast<const TSWFCurvedEdgeRecord&>(record);
            x += c.ControlDeltaX + c.AnchorDeltaX;
            y += c.ControlDeltaY + c.AnchorDeltaY;
        } else if (record.RecordKind == kShapeRecordStyleChange) {
            EXPECT_FALSE(static_cast<const TSWFStyleChangeRecord&>(record).StateMoveTo && i > pathRecords);
        }
    }
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 0);
}

TEST(FlashShape, SelectionAndStyles) {
    TFlashMovie movie(0, 0, 400, 400, 12, true);
    TFlashShape* shape = movie.AddRectangle(0, 0, 10, 10);
    TSWFColorFill* red = shape->AddSolidFillColor(0x0000FF);
    EXPECT_EQ(red->Color.GetRGBA(), SWFRGBA(255, 0, 0, 255));
    shape->AddSolidFill(SWFRGBA(0, 0, 255, 255));
    EXPECT_EQ(shape->Fill1Index, 2);
    shape->SelectFillStyle(red);
    EXPECT_EQ(shape->Fill1Index, 1);
    TSWFColorFill stranger;
    EXPECT_THROW(shape->SelectFillStyle(&stranger), EConvertError);
    shape->SetFill0Index(2);
    const auto& first = static_cast<const TSWFStyleChangeRecord&>(*shape->ListEdges.front());
    EXPECT_TRUE(first.StateFillStyle0);
    EXPECT_EQ(first.Fill0Id, 2);
    EXPECT_EQ(first.Fill1Id, 1);

    // Selections can go to the last style change instead.
    shape->Edges().MoveTo(50, 50);
    shape->Edges().MakeRectangle(5, 5);
    shape->StyleToLastRecord = true;
    shape->SetLineStyleIndex(1);
    EXPECT_FALSE(first.StateLineStyle);
    EXPECT_EQ(shape->GetLastStyleChangeRecord()->LineId, 1);

    // Line widths are in movie units and must fit a line style.
    EXPECT_EQ(shape->AddLineStyle(3, SWFRGBA(0, 0, 0, 255))->Width, 60);
    EXPECT_THROW(shape->AddLineStyle(4000, SWFRGBA(0, 0, 0, 255)), EConvertError);

    // Dash pattern lengths are bounded by the pattern.
    EXPECT_THROW(shape->GetDashPattern().GetItem(0), EConvertError);
    EXPECT_TRUE(shape->Dashed);
}

TEST(FlashShape, MovieFactories) {
    TFlashMovie movie(0, 0, 400, 400, 12, true);
    TFlashShape* rect = movie.AddRectangle(10, 20, 30, 60);
    TFlashShape* fromRect = movie.AddEllipseFromRect(TRect{0, 0, 40, 20});
    TFlashShape* ellipse = movie.AddEllipse(0, 0, 40, 20);
    TFlashShape* line = movie.AddLine(50, 60, 10, 20);
    TFlashShape* cubic = movie.AddCubicBezier({0, 0}, {-10, 40}, {70, -30}, {50, 10});
    auto given = std::make_unique<TFlashShape>();
    TFlashShape* adopted = movie.AddShape(std::move(given));
    EXPECT_EQ(rect->GetCharacterId(), 1);
    EXPECT_EQ(adopted->GetCharacterId(), 6);
    EXPECT_EQ(adopted->Owner, &movie);
    EXPECT_EQ(adopted->GetUnitFactor(), 20);
    EXPECT_EQ(movie.GetShapes().Count(), 6);
    EXPECT_EQ(movie.GetObjectList().size(), 6u);
    EXPECT_EQ(movie.GetShapes().FindById(4), line);

    EXPECT_EQ(Describe(rect->ListEdges), "M(200,400) L(400,0) L(0,800) L(-400,0) L(0,-800) E");
    EXPECT_EQ(rect->GetXMin(), 10);
    EXPECT_EQ(rect->GetHeight(), 40);
    EXPECT_EQ(rect->GetWidth(true), 400);
    EXPECT_EQ(Describe(fromRect->ListEdges), Describe(ellipse->ListEdges));
    EXPECT_EQ(Describe(line->ListEdges), "M(1000,1200) L(-800,-800)") << "left open";
    EXPECT_EQ(line->Bounds.GetRect(), (TRect{200, 400, 1000, 1200}));
    EXPECT_EQ(cubic->Bounds.GetRect(), (TRect{-200, -600, 1400, 800}));
    EXPECT_EQ(cubic->Edges().CurrentPos, (TPoint{1000, 200}));
    EXPECT_EQ(cubic->ListEdges.back()->RecordKind, kShapeRecordEnd);

    cubic->CalcBounds();
    const TRect path = cubic->Bounds.GetRect();
    EXPECT_LE(path.Left, 0);
    EXPECT_GE(path.Right, 1000);

    rect->AddSolidFill(SWFRGBA(0, 0, 0, 100));
    movie.ShowFrame();
    movie.MakeStream();
    EXPECT_EQ(movie.Version, 5) << "DefineShape3 needs 3, the header has 5";
    movie.Clear();
    EXPECT_EQ(movie.AddShape()->GetCharacterId(), 1);
    EXPECT_EQ(movie.GetShapes().Count(), 1);
}

TEST(FlashShape, CopiesWriteTheSameTag) {
    TFlashMovie movie(0, 0, kShapesMovieWidth, kShapesMovieHeight, 12, true);
    std::vector<TShapeCase> cases = BuildShapesMovie(movie);
    cases.back().shape->GetGapColor().SetRGBA(SWFRGBA(0, 0, 255, 255));
    for (const TShapeCase& c : cases) {
        SCOPED_TRACE(c.name);
        TFlashShape copy(&movie);
        copy.CopyFieldsFrom(*c.shape);
        EXPECT_EQ(copy.GetCharacterId(), c.shape->GetCharacterId());
        EXPECT_EQ(ToHex(TagBytes(copy)), ToHex(TagBytes(*c.shape)));
        // The copy draws on from where the original's pen is.
        copy.Edges().LineDelta(1, 0);
        c.shape->Edges().LineDelta(1, 0);
        EXPECT_EQ(Describe(copy.ListEdges), Describe(c.shape->ListEdges));
    }
}

TEST(FlashShape, MovieShapesThroughXmlUnchanged) {
    TFlashMovie movie(0, 0, kShapesMovieWidth, kShapesMovieHeight, 12, true);
    std::vector<TShapeCase> cases = BuildShapesMovie(movie);
    TFlashShape* four = movie.AddEllipse(10, 10, 60, 40);
    four->AddLinearGradient(SWFRGBA(255, 0, 0, 128), SWFRGBA(0, 0, 255, 255), 30);
    four->AddLineStyle(3, SWFRGBA(0, 0, 0, 255));
    four->UseDefineShape4 = true;
    movie.MakeStream();
    EXPECT_EQ(movie.Version, 8);
    TMemoryStream file;
    movie.SaveToStream(file);

    TMemoryStream in(file.Bytes());
    std::unique_ptr<TSWFStreamReader> reader = TSWFStreamReader::CreateFromStream(in);
    reader->ParseTags(true, true);
    size_t shapes = 0;
    for (size_t i = 0; i < reader->TagCount(); ++i) {
        TSWFObject* tag = reader->GetTagInfo(i).Object;
        auto* shape = dynamic_cast<TSWFDefineShape*>(tag);
        if (!shape) continue;
        SCOPED_TRACE(shape->ShapeId);
        TFlashShape* made = movie.GetShapes().FindById(shape->ShapeId);
        ASSERT_NE(made, nullptr);
        const Bytes original = TagBytes(*made);
        EXPECT_EQ(ToHex(WriteTagBytes(*shape)), ToHex(original));

        TXMLReadWriteSettings settings;
        TXmlDocument doc;
        shape->SaveToXml(doc.Root().AddChild(TagIdToName(shape->TagCode)), settings);
        TXmlDocument parsed;
        parsed.LoadFromString(doc.SaveToString());
        std::unique_ptr<TSWFObject> loaded = CreateTagByCode(shape->TagCode);
        loaded->LoadFromXml(parsed.DocumentElement(), settings);
        EXPECT_EQ(ToHex(WriteTagBytes(*loaded)), ToHex(original));

        std::unique_ptr<TSWFObject> copy = CreateTagByCode(shape->TagCode);
        copy->CopyFieldsFrom(*shape);
        EXPECT_EQ(ToHex(WriteTagBytes(*copy)), ToHex(original));
        ++shapes;
    }
    EXPECT_EQ(shapes, cases.size() + 1);
}

TEST(FlashShape, XmlFormDrawsAsTheOperations) {
    const char* xml = R"(<Shape ID="7" Color="#00FF0080" Depth="3">
        <Edges>
            <MoveTo X="10" Y="10"/>
            <Rectangle Width="100" Height="50"/>
        </Edges>
        <LineStyle Width="2" Color="#000000" BgColor="#FF0000" Ext="5, 3,0"/>
        <RadialGradient XCenter="25" YCenter="75">
            <Gradient Color="#FFFF00"/>
            <Gradient Color="#0000FF" Ratio="200"/>
            <Gradient Color="#FF00FF"/>
        </RadialGradient>
        <LinearGradient Angle="45"><G Color="#000000"/><G Color="#FFFFFF"/></LinearGradient>
        <SolidColor Color="#123456"/>
    </Shape>)";
    TXmlDocument doc;
    doc.LoadFromString(xml);
    TXMLReadWriteSettings settings;
    TFlashMovie movie(0, 0, 400, 400, 12, true);
    TFlashShape* loaded = movie.AddShape();
    loaded->LoadFromXml(doc.DocumentElement(), settings);
    EXPECT_EQ(loaded->GetCharacterId(), 7);
    ASSERT_EQ(movie.GetObjectList().size(), 2u);
    auto* placed = dynamic_cast<TFlashPlaceObject*>(movie.GetObjectList().back().get());
    ASSERT_NE(placed, nullptr);
    EXPECT_EQ(placed->GetDepth(), 3);

    TFlashMovie other(0, 0, 400, 400, 12, true);
    TFlashShape* made = other.AddShape();
    made->SetCharacterId(7);
    made->Edges().MoveTo(10, 10);
    made->Edges().MakeRectangle(100, 50);
    made->CalcBounds();
    made->AddLineStyle(2, StrToRGBA("#000000"));
    made->GetGapColor().SetRGBA(StrToRGBA("#FF0000"));
    TFlashLineStyle& pattern = made->GetDashPattern();
    pattern.SetCount(3);
    pattern.SetItem(0, 5);
    pattern.SetItem(1, 3);
    TSWFGradientFill* radial = made->AddRadialGradientColors(
        {StrToRGBA("#FFFF00"), StrToRGBA("#0000FF"), StrToRGBA("#FF00FF")}, 25, 75);
    radial->SetGradientRatio(2, 200);
    made->AddLinearGradient(StrToRGBA("#000000"), StrToRGBA("#FFFFFF"), 45);
    made->AddSolidFill(StrToRGBA("#123456"));
    made->AddSolidFill(StrToRGBA("#00FF0080"));
    EXPECT_TRUE(made->HasAlpha);
    EXPECT_EQ(ToHex(TagBytes(*loaded)), ToHex(TagBytes(*made)));

    TXmlDocument bad;
    bad.LoadFromString(R"(<Shape><LineStyle Width="1" Color="#000000" Ext="5,x"/></Shape>)");
    EXPECT_THROW(movie.AddShape()->LoadFromXml(bad.DocumentElement(), settings), EConvertError);
    bad.LoadFromString(R"(<Shape><LinearGradient/></Shape>)");
    EXPECT_THROW(movie.AddShape()->LoadFromXml(bad.DocumentElement(), settings), EConvertError);
}
