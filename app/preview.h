// The preview window and the player control as windows host it: the
// window shows "preview.swf" in a player that fills its client area, the
// movie stretched to fit (exact fit), and sizes itself to the movie.
// Headless: the window is its state (place, client size, shown, minimised)
// and the player's pictures.
#pragma once

#include "app/flash_player.h"
#include "controls/ucsystem.h"

class TFormPreview {
public:
    // FormCreate: the caption, exact fit, and no movie.
    TFormPreview();

    WideString Caption() const { return FCaption; }
    int Left = 0;
    int Top = 0;
    int ClientWidth() const { return FClientWidth; }
    int ClientHeight() const { return FClientHeight; }
    // The panel, and the player in it, fill the client area.
    void SetClientSize(int width, int height);
    bool Visible = false;
    bool Minimized = false;

    // Rebuilds the player's window at the panel's size.
    void PanelFlashPlayerResize();
    TMyShockwaveFlash& ShockwaveFlashExPlayer() { return FPlayer; }

    // The preview action's showing of a composed movie: the client area
    // takes the movie's size; a hidden window is placed beside the main
    // window (its right edge less 240, its top less 80) and shown, a
    // minimised one restored; then the player loads the file again (a blank
    // movie first, so that the same path is loaded anew).
    void ShowMovie(const WideString& path, int width, int height, int mainLeft, int mainTop, int mainWidth);

private:
    TMyShockwaveFlash FPlayer;
    WideString FCaption = u"Preview Flash movie";
    // The design size of the window.
    int FClientWidth = 317;
    int FClientHeight = 255;
};
