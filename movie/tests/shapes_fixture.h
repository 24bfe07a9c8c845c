// One movie of the shapes the movie builder draws, each in a region of its
// own, with the same primitives written as ImageMagick drawing commands so a
// test can put the player's picture beside ImageMagick's.
#pragma once

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "movie/flash_movie.h"
#include "movie/shapes.h"
#include "movie/sprites.h"

struct TShapeCase {
    const char* name;
    TFlashShape* shape;
    TRect region;      // pixels, window order; nothing else is drawn there
    std::string draw;  // ImageMagick MVG primitives in pixel coordinates
    TPoint inside;     // a pixel well inside the filled area
};

constexpr int kShapesMovieWidth = 640;
constexpr int kShapesMovieHeight = 400;

inline std::string ImPoint(double x, double y) {
    char text[64];
    std::snprintf(text, sizeof text, "%.3f,%.3f", x, y);
    return text;
}

inline std::vector<TShapeCase> BuildShapesMovie(TFlashMovie& movie) {
    std::vector<TShapeCase> cases;
    movie.GetBackgroundColor().SetRGB(SWFRGB(255, 255, 255));

    // Half-transparent red: DefineShape3.
    TFlashShape* rect = movie.AddRectangle(30, 30, 180, 150);
    rect->AddSolidFill(SWFRGBA(255, 0, 0, 128));
    cases.push_back({"translucent rectangle", rect, TRect{0, 0, 213, 200},
                     "stroke none fill rgba(255,0,0,0.50196) rectangle " + ImPoint(30, 30) + " " + ImPoint(180, 150),
                     TPoint{105, 90}});

    // Radial gradient from yellow in the middle to blue at the rim.
    TFlashShape* ellipse = movie.AddEllipse(240, 40, 400, 160);
    ellipse->AddRadialGradient(SWFRGBA(255, 255, 0, 255), SWFRGBA(0, 0, 255, 255));
    cases.push_back({"gradient ellipse", ellipse, TRect{213, 0, 426, 200},
                     "stroke none fill #FFFF00 ellipse " + ImPoint(320, 100) + " 80,60 0,360", TPoint{320, 100}});

    TFlashShape* round = movie.AddShape();
    round->SetBounds(450, 30, 610, 170);
    round->Edges().MoveTo(450, 30);
    round->Edges().MakeRoundRect(160, 140, 25, 25);
    round->Edges().FinishEdges();
    round->AddSolidFill(SWFRGBA(0, 160, 0, 255));
    cases.push_back({"rounded rectangle", round, TRect{426, 0, 640, 200},
                     "stroke none fill #00A000 roundrectangle " + ImPoint(450, 30) + " " + ImPoint(610, 170) + " 25,25",
                     TPoint{530, 100}});

    TFlashShape* star = movie.AddShape();
    star->Edges().MakeStar(106, 300, 80, 35, 5, false);
    star->Edges().FinishEdges();
    star->CalcBounds();
    star->AddSolidFill(SWFRGBA(128, 0, 192, 255));
    std::string polygon = "stroke none fill #8000C0 polygon";
    const double step = 2 * M_PI / 5;
    for (int i = 0; i < 5; ++i) {
        const double outer = -M_PI / 2 + i * step, inner = outer + step / 2;
        polygon += " " + ImPoint(106 + 80 * std::cos(outer), 300 + 80 * std::sin(outer));
        polygon += " " + ImPoint(106 + 35 * std::cos(inner), 300 + 35 * std::sin(inner));
    }
    cases.push_back({"star", star, TRect{0, 200, 213, 400}, polygon, TPoint{106, 300}});

    // Three quarters, clockwise on screen from three o'clock to twelve.
    TFlashShape* pie = movie.AddShape();
    pie->Edges().MoveTo(320, 300);
    pie->Edges().MakePie(80, 80, 0, 270, true);
    pie->Edges().FinishEdges();
    pie->CalcBounds();
    pie->AddSolidFill(SWFRGBA(255, 128, 0, 255));
    cases.push_back({"pie", pie, TRect{213, 200, 426, 400},
                     "stroke none fill #FF8000 path 'M " + ImPoint(320, 300) + " L " + ImPoint(400, 300) +
                         " A 80,80 0 1,1 " + ImPoint(320, 220) + " Z'",
                     TPoint{292, 328}});

    // 200 pixels long: dashes and gaps of 24, with the round ends SWF lines have.
    TFlashShape* dashed = movie.AddLine(450, 240, 610, 360);
    dashed->AddLineStyle(12, SWFRGBA(0, 0, 0, 255));
    TFlashLineStyle& pattern = dashed->GetDashPattern();
    pattern.SetCount(2);
    pattern.SetItem(0, 24);
    pattern.SetItem(1, 24);
    cases.push_back({"dashed line", dashed, TRect{426, 200, 640, 400},
                     "fill none stroke #000000 stroke-width 12 stroke-linecap round stroke-dasharray 24 24 line " +
                         ImPoint(450, 240) + " " + ImPoint(610, 360),
                     TPoint{458, 246}});

    uint16_t depth = 1;
    for (const TShapeCase& c : cases) movie.PlaceObject(c.shape, depth++);
    movie.ShowFrame();
    return cases;
}
