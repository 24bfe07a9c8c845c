// The morph shape and the button that the unit tests and the player tests
// share: a rectangle tweened from red to blue, and a red button whose
// release handler traces.
#pragma once

#include "movie/buttons.h"
#include "movie/flash_movie.h"
#include "movie/morph_shapes.h"
#include "movie/shapes.h"
#include "movie/sprites.h"

constexpr TSWFRGBAValue kOpaqueRed = 0xFF0000FFu;
constexpr TSWFRGBAValue kOpaqueBlue = 0xFFFF0000u;

// 80 x 60 pixels at the start, 100 x 60 at the end, with an outline that
// widens and turns from red to blue too. Movie in pixels.
inline TFlashMorphShape* BuildRedToBlueMorph(TFlashMovie& movie, bool second) {
    TFlashMorphShape* morph = movie.AddMorphShape();
    morph->UseDefineMorphShape2 = second;
    morph->StartEdges().MoveTo(0, 0);
    morph->StartEdges().MakeRectangle(80, 60);
    morph->EndEdges().MoveTo(0, 0);
    morph->EndEdges().MakeRectangle(100, 60);
    morph->SetStartBounds(0, 0, 80, 60);
    morph->SetEndBounds(0, 0, 100, 60);
    morph->AddSolidFill(kOpaqueRed, kOpaqueBlue);
    morph->AddLineStyle(1, 2, kOpaqueRed, kOpaqueBlue);
    return morph;
}

// A button showing a red 60 x 40 rectangle in all four states.
inline TFlashButton* BuildRedButton(TFlashMovie& movie, bool useButton2 = true) {
    TFlashShape* face = movie.AddRectangle(0, 0, 60, 40);
    face->AddSolidFill(kOpaqueRed);
    TFlashButton* button = movie.AddButton(false, useButton2);
    button->AddRecord(face, kButtonStateUp | kButtonStateOver | kButtonStateDown | kButtonStateHitTest);
    return button;
}
