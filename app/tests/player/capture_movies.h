// Movies for the capture tests, made with the movie builder: a background
// (or none), a square that moves one step a frame, and in the last frame
// the capture's end command and a Stop, as the capture composition ends a
// project's movie.
#pragma once

#include <string>

#include "app/publish_image.h"
#include "movie/action_script.h"
#include "movie/flash_movie.h"
#include "movie/shapes.h"
#include "movie/sprites.h"

struct TCaptureMovie {
    int Width = 80;
    int Height = 60;
    float FrameRate = 10;
    int Frames = 20;
    bool Transparent = false;
    uint32_t Background = 0x996633;  // toolkit colour: red 0x33, green 0x66, blue 0x99
    bool EndCommand = true;          // the end command and a Stop in the last frame
};

inline void WriteCaptureMovie(const std::string& path, const TCaptureMovie& m) {
    TFlashMovie movie(0, 0, m.Width, m.Height, m.FrameRate, true);
    movie.SetVersion(8);
    if (!m.Transparent) {
        TFlashShape* background = movie.AddRectangle(0, 0, m.Width, m.Height);
        background->AddSolidFillColor(m.Background);
        movie.PlaceObject(background, 1);
    }
    TFlashShape* square = movie.AddRectangle(0, 0, 8, 8);
    square->AddSolidFillColor(0x0000FF);
    for (int i = 0; i < m.Frames; ++i) {
        TFlashPlaceObject* place = i == 0 ? movie.PlaceObject(square, 2) : movie.PlaceDepth(2);
        place->SetTranslate(i % (m.Width - 8), 2);
        if (i + 1 == m.Frames && m.EndCommand) {
            movie.GetFrameActions().FSCommand(kEndFrameCommand, "");
            movie.GetFrameActions().Stop();
        }
        movie.ShowFrame();
    }
    movie.MakeStream();
    movie.SaveToFile(path);
}
