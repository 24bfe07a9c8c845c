#include "app/flash_player.h"

#include <algorithm>
#include <cstdio>

namespace {

// The player's watchdog for one request, put back afterwards: the player is
// the whole process's.
class TWatchdogScope {
public:
    TWatchdogScope(TPlayerHarness& player, int ms) : player_(player), old_(player.Watchdog()) {
        player.SetWatchdog(std::clamp(ms, 1, 3'600'000));
    }
    ~TWatchdogScope() { player_.SetWatchdog(old_); }
    TWatchdogScope(const TWatchdogScope&) = delete;
    TWatchdogScope& operator=(const TWatchdogScope&) = delete;

private:
    TPlayerHarness& player_;
    int old_;
};

bool TimedOut(const std::string& message) {
    return message.find("took longer than") != std::string::npos ||
           message.find("did not answer within") != std::string::npos;
}

std::string Seconds(int ms) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", ms / 1000.0);
    return text;
}

const char* ScaleName(int mode) {
    switch (mode) {
    case smNoBorder: return "noBorder";
    case smExactFit: return "exactFit";
    case smNoScale: return "noScale";
    default: return "showAll";
    }
}

}  // namespace

TPlayerHarness& TShockwaveFlash::Player() {
    try {
        return TPlayerHarness::Shared();
    } catch (const EPlayerError& e) {
        throw EFlashPlayerError(std::string("The Flash player could not be started: ") + e.what());
    }
}

void TShockwaveFlash::Unload() {
    FLoad = -1;
    FInfo = {};
    FPicture = {};
    FAdvanced = 0;
}

void TShockwaveFlash::SetMovie(const WideString& path) {
    Unload();
    FMovie = path;
    if (path.empty() || path == u" ") return;
    std::string file = UcSystem::WideToUtf8(path);
    TPlayerHarness& player = Player();
    TPlayerOpenOptions options;
    options.width = Width;
    options.height = Height;
    options.scale = ScaleName(ScaleMode);
    options.fsCommands = ReportFSCommands;
    try {
        TWatchdogScope watchdog(player, LoadTimeoutMs);
        FInfo = player.Open(file, options);
    } catch (const EPlayerError& e) {
        FInfo = {};
        if (TimedOut(e.what()))
            throw EFlashPlayerError("The Flash player did not load \"" + file + "\" within " + Seconds(LoadTimeoutMs) +
                                    " s");
        throw EFlashPlayerError("The Flash player could not load \"" + file + "\": " + e.what());
    }
    FLoad = player.Loads();
    FPlaying = true;
    // A loaded movie shows its first frame, as a player shows it on loading;
    // playing goes on from there.
    Advance();
}

int TShockwaveFlash::ReadyState() const {
    if (FLoad < 0) return 0;
    // Another control loaded a movie into the shared player since.
    try {
        return TPlayerHarness::Shared().Loads() == FLoad ? 4 : 0;
    } catch (const EPlayerError&) {
        return 0;
    }
}

void TShockwaveFlash::Advance(double periodMs) {
    if (ReadyState() != 4) {
        if (FLoad >= 0) throw EFlashPlayerError("The Flash player's movie was replaced by another player's");
        throw EFlashPlayerError("The Flash player has no movie loaded");
    }
    if (!FPlaying) return;
    TPlayerHarness& player = Player();
    TPlayerFrame frame;
    try {
        TWatchdogScope watchdog(player, StepTimeoutMs);
        frame = player.Advance(periodMs);
    } catch (const EPlayerError& e) {
        std::string file = UcSystem::WideToUtf8(FMovie);
        Unload();
        if (TimedOut(e.what()))
            throw EFlashPlayerError("The Flash player did not run a frame of \"" + file + "\" within " +
                                    Seconds(StepTimeoutMs) + " s");
        throw EFlashPlayerError("The Flash player failed while playing \"" + file + "\": " + e.what());
    }
    ++FAdvanced;
    FPicture = std::move(frame);
    if (OnTrace)
        for (const std::string& line : FPicture.trace) OnTrace(line);
    if (OnFSCommand)
        for (const TPlayerFSCommand& call : FPicture.fsCommands) OnFSCommand(call.command, call.args);
}

void TMyShockwaveFlash::CreateWnd() {
    WideString movie = Movie();
    if (movie.empty() || movie == u" ") return;
    SetMovie(movie);
}

void PaintFlashToCanvas(const TShockwaveFlash* control, TBitmap& canvas) {
    if (control == nullptr) return;
    const TPlayerFrame& picture = control->Picture();
    if (picture.rgba.empty() || canvas.Empty()) return;
    TPixelFormat format = canvas.PixelFormat();
    if (format != TPixelFormat::pf24bit && format != TPixelFormat::pf32bit) {
        canvas.SetPixelFormat(TPixelFormat::pf24bit);
        format = TPixelFormat::pf24bit;
    }
    int step = format == TPixelFormat::pf24bit ? 3 : 4;
    int width = std::min(canvas.Width(), picture.width);
    int height = std::min(canvas.Height(), picture.height);
    for (int y = 0; y < height; ++y) {
        const uint8_t* in = picture.rgba.data() + size_t(y) * size_t(picture.width) * 4;
        uint8_t* out = canvas.ScanLine(y);
        for (int x = 0; x < width; ++x, in += 4, out += step) {
            // Over white: c + (255 - c) x (1 - alpha), rounded.
            unsigned a = in[3], rest = 255 - a;
            auto over = [&](uint8_t c) { return static_cast<uint8_t>((c * a + 255 * rest + 127) / 255); };
            out[0] = over(in[2]);
            out[1] = over(in[1]);
            out[2] = over(in[0]);
            if (step == 4) out[3] = 255;
        }
    }
}
