#include "app/preview.h"

TFormPreview::TFormPreview() {
    FPlayer.ScaleMode = smExactFit;
    FPlayer.Width = FClientWidth;
    FPlayer.Height = FClientHeight;
    FPlayer.SetMovie(u" ");
}

void TFormPreview::SetClientSize(int width, int height) {
    if (width == FClientWidth && height == FClientHeight) return;
    FClientWidth = width;
    FClientHeight = height;
    PanelFlashPlayerResize();
}

void TFormPreview::PanelFlashPlayerResize() {
    FPlayer.Width = FClientWidth;
    FPlayer.Height = FClientHeight;
    FPlayer.CreateWnd();
}

void TFormPreview::ShowMovie(const WideString& path, int width, int height, int mainLeft, int mainTop,
                             int mainWidth) {
    // Unloaded first, so that the resize does not load the old movie again.
    FPlayer.SetMovie(u" ");
    SetClientSize(width, height);
    if (!Visible) {
        Left = mainLeft + mainWidth - 240;
        Top = mainTop - 80;
        Visible = true;
    } else if (Minimized) {
        Minimized = false;
    }
    FPlayer.ScaleMode = smExactFit;
    FPlayer.SetMovie(path);
}
