#include "app/publish.h"

#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>

#include "app/app_utils.h"
#include "app/composer.h"

extern char** environ;

namespace {

// Any host that serves these paths will do.
const char16_t* const kPlayerCabinet = u"https://download.tamblewick.org/pub/shockwave/cabs/flash/swflash.cab#version=8,0,0,0";
const char16_t* const kPlayerDownloadPage = u"https://www.tamblewick.org/go/getflashplayer";

WideString FileNameOnly(const WideString& path) {
    size_t cut = path.find_last_of(u"/\\");
    return cut == WideString::npos ? path : path.substr(cut + 1);
}

// A file name as a relative address: its UTF-8 bytes, every one outside the
// unreserved characters percent-encoded, so that a space, '#', '?', '%' or a
// quote stays part of the name instead of ending the path or the attribute.
WideString UrlEncodedName(const WideString& name) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string encoded;
    for (unsigned char c : UcSystem::WideToUtf8(name)) {
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
            c == '_' || c == '~') {
            encoded += char(c);
        } else {
            encoded += '%';
            encoded += kHex[c >> 4];
            encoded += kHex[c & 15];
        }
    }
    return UcSystem::Utf8ToWide(encoded);
}

}  // namespace

void TPublishOptions::SetFrameRate(int rate) { frameRate_ = std::clamp(rate, 1, 100); }
void TPublishOptions::SetLoopCount(int count) { loopCount_ = std::clamp(count, 0, 100); }

TPublishSaveDialog PublishSaveDialog(TPublishKind kind) {
    switch (kind) {
    case pkGIF: return {u"GIF image(*.gif)|*.gif", u"gif"};
    case pkAVI: return {u"AVI video(*.avi)|*.avi", u"avi"};
    default: return {u"Flash movie(*.swf)|*.swf", u"swf"};
    }
}

WideString MakeEmbedHtml(const WideString& fileName, bool transparent, int width, int height) {
    const WideString f = XmlEscape(UrlEncodedName(fileName)), w = UcSystem::Utf8ToWide(std::to_string(width)),
                     h = UcSystem::Utf8ToWide(std::to_string(height));
    std::vector<WideString> lines;
    lines.push_back(u"<object classid=\"clsid:D27CDB6E-AE6D-11cf-96B8-444553540000\" codebase=\"" +
                    WideString(kPlayerCabinet) + u"\" width=\"" + w + u"\" height=\"" + h + u"\">");
    lines.push_back(u"  <param name=\"movie\" value=\"" + f + u"\" />");
    lines.push_back(u"  <param name=\"quality\" value=\"high\" />");
    if (transparent) lines.push_back(u"  <param name=\"wmode\" value=\"transparent\">");
    lines.push_back(u"     <embed src=\"" + f + u"\"");
    lines.push_back(u"      quality=\"high\"");
    lines.push_back(u"      type=\"application/x-shockwave-flash\"");
    if (transparent) lines.push_back(u"      WMODE=\"transparent\"");
    lines.push_back(u"      width=\"" + w + u"\"");
    lines.push_back(u"      height=\"" + h + u"\"");
    lines.push_back(u"      pluginspage=\"" + WideString(kPlayerDownloadPage) + u"\" />");
    lines.push_back(u"</object>");
    WideString html;
    for (size_t i = 0; i < lines.size(); ++i) html += (i ? u"\r\n" : u"") + lines[i];
    return html;
}

WideString PublishSwf(const ProjectRecord& project, const WideString& path, std::vector<WideString>* warnings) {
    TComposeOptions compose;
    if (warnings != nullptr) compose.OnWarning = [warnings](const WideString& w) { warnings->push_back(w); };
    ComposeMovie(project, path, compose);
    return MakeEmbedHtml(FileNameOnly(path), project.BgKind == bkTransparent, project.Width, project.Height);
}

TCaptureJob PrepareCapture(const ProjectRecord& project, const TPublishOptions& options, const WideString& outputPath) {
    // Played once: the movie stops at its end frame instead of looping. A
    // capture only takes pictures: the close address, which the end frame
    // would open, stays shut.
    ProjectRecord once = project;
    once.LoopLimited = true;
    once.LoopCount = 1;
    once.CloseUrlOn = false;
    TCaptureJob job;
    job.Kind = options.Kind;
    job.MoviePath = GetProgramDataFolder() + u"preview.swf";
    job.OutputPath = outputPath;
    TComposeOptions compose;
    compose.EndFrameCommand = kEndFrameCommand;
    compose.OnWarning = [&job](const WideString& w) { job.Warnings.push_back(w); };
    ComposeMovie(once, job.MoviePath, compose);
    job.Width = project.Width;
    job.Height = project.Height;
    job.FramesPerSecond = options.FrameRate();
    job.GifLoopCount = options.GifLoopCount();
    job.StageCount = static_cast<int>(project.Stages.size());
    job.Transparent = project.BgKind == bkTransparent;
    job.TransparentColor = 0xFFFFFF;
    return job;
}

void OpenFolder(const WideString& folder) {
    std::string path = UcSystem::WideToUtf8(folder);
    char program[] = "xdg-open";
    char* argv[] = {program, path.data(), nullptr};
    pid_t child;
    if (int error = posix_spawnp(&child, program, nullptr, nullptr, argv, environ); error != 0)
        throw EOSError("Cannot open the folder \"" + path + "\": xdg-open cannot be started", error);
    // The file manager runs on by itself; only xdg-open's own process is reaped.
    waitpid(child, nullptr, 0);
}
