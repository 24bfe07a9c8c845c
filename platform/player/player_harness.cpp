#include "platform/player/player_harness.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <utility>

extern char** environ;

namespace fs = std::filesystem;

#ifndef TW_PLAYER_SCRIPT
#error "TW_PLAYER_SCRIPT must name player.mjs"
#endif
#ifndef TW_PLAYER_NODE
#define TW_PLAYER_NODE ""
#endif

namespace {

// The child answers within its own watchdog or not at all; ours waits this
// much longer so that the child's message, not ours, is seen.
constexpr int kWatchdogMarginMs = 30'000;
// Start-up includes launching Chromium and compiling the player's wasm, which
// is slow on a loaded machine under sanitizers.
constexpr int kStartTimeoutMs = 120'000;
constexpr int kQuitTimeoutMs = 15'000;

// ---------------------------------------------------------------------------
// Just enough JSON for the child's answers.

struct TJsonMember;

struct TJson {
    enum class TKind { Null, Bool, Number, String, Array, Object };
    TKind kind = TKind::Null;
    bool boolean = false;
    double number = 0;
    std::string string;
    std::vector<TJson> items;
    // A vector may name a type not yet complete; a pair may not.
    std::vector<TJsonMember> members;

    const TJson* Find(const std::string& key) const;
};

struct TJsonMember {
    std::string name;
    TJson value;
};

const TJson* TJson::Find(const std::string& key) const {
    if (kind != TKind::Object) return nullptr;
    for (const auto& [name, value] : members)
        if (name == key) return &value;
    return nullptr;
}

class TJsonReader {
public:
    explicit TJsonReader(const std::string& text) : FText(text) {}

    TJson ReadDocument() {
        TJson value = ReadValue(0);
        SkipSpace();
        if (FPos != FText.size()) Fail("text after the value");
        return value;
    }

private:
    [[noreturn]] void Fail(const char* what) const {
        throw EPlayerError("malformed answer from the player process (" + std::string(what) + " at " +
                           std::to_string(FPos) + "): " + FText.substr(0, 200));
    }

    void SkipSpace() {
        while (FPos < FText.size() && (FText[FPos] == ' ' || FText[FPos] == '\t' || FText[FPos] == '\r' || FText[FPos] == '\n'))
            ++FPos;
    }

    bool Take(const char* word) {
        size_t len = std::strlen(word);
        if (FText.compare(FPos, len, word) != 0) return false;
        FPos += len;
        return true;
    }

    TJson ReadValue(int depth) {
        if (depth > 64) Fail("nesting too deep");
        SkipSpace();
        if (FPos >= FText.size()) Fail("end of text");
        TJson value;
        char c = FText[FPos];
        if (c == '{') {
            value.kind = TJson::TKind::Object;
            ++FPos;
            SkipSpace();
            if (FPos < FText.size() && FText[FPos] == '}') { ++FPos; return value; }
            for (;;) {
                SkipSpace();
                if (FPos >= FText.size() || FText[FPos] != '"') Fail("expected a name");
                std::string name = ReadString();
                SkipSpace();
                if (FPos >= FText.size() || FText[FPos] != ':') Fail("expected ':'");
                ++FPos;
                value.members.push_back({std::move(name), ReadValue(depth + 1)});
                SkipSpace();
                if (FPos < FText.size() && FText[FPos] == ',') { ++FPos; continue; }
                if (FPos < FText.size() && FText[FPos] == '}') { ++FPos; return value; }
                Fail("expected ',' or '}'");
            }
        }
        if (c == '[') {
            value.kind = TJson::TKind::Array;
            ++FPos;
            SkipSpace();
            if (FPos < FText.size() && FText[FPos] == ']') { ++FPos; return value; }
            for (;;) {
                value.items.push_back(ReadValue(depth + 1));
                SkipSpace();
                if (FPos < FText.size() && FText[FPos] == ',') { ++FPos; continue; }
                if (FPos < FText.size() && FText[FPos] == ']') { ++FPos; return value; }
                Fail("expected ',' or ']'");
            }
        }
        if (c == '"') {
            value.kind = TJson::TKind::String;
            value.string = ReadString();
            return value;
        }
        if (Take("null")) return value;
        if (Take("true")) { value.kind = TJson::TKind::Bool; value.boolean = true; return value; }
        if (Take("false")) { value.kind = TJson::TKind::Bool; return value; }
        size_t start = FPos;
        while (FPos < FText.size() && std::strchr("+-.0123456789eE", FText[FPos]) != nullptr) ++FPos;
        if (start == FPos) Fail("unexpected character");
        std::string digits = FText.substr(start, FPos - start);
        char* end = nullptr;
        value.kind = TJson::TKind::Number;
        value.number = std::strtod(digits.c_str(), &end);
        if (end != digits.c_str() + digits.size()) Fail("bad number");
        return value;
    }

    unsigned ReadHex4() {
        if (FPos + 4 > FText.size()) Fail("short \\u escape");
        unsigned code = 0;
        for (int i = 0; i < 4; ++i) {
            char h = FText[FPos++];
            code <<= 4;
            if (h >= '0' && h <= '9') code |= unsigned(h - '0');
            else if (h >= 'a' && h <= 'f') code |= unsigned(h - 'a' + 10);
            else if (h >= 'A' && h <= 'F') code |= unsigned(h - 'A' + 10);
            else Fail("bad \\u escape");
        }
        return code;
    }

    static void AppendUtf8(std::string& out, unsigned code) {
        if (code < 0x80) {
            out += char(code);
        } else if (code < 0x800) {
            out += char(0xC0 | (code >> 6));
            out += char(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            out += char(0xE0 | (code >> 12));
            out += char(0x80 | ((code >> 6) & 0x3F));
            out += char(0x80 | (code & 0x3F));
        } else {
            out += char(0xF0 | (code >> 18));
            out += char(0x80 | ((code >> 12) & 0x3F));
            out += char(0x80 | ((code >> 6) & 0x3F));
            out += char(0x80 | (code & 0x3F));
        }
    }

    std::string ReadString() {
        ++FPos;  // the opening quote
        std::string out;
        for (;;) {
            if (FPos >= FText.size()) Fail("unterminated string");
            char c = FText[FPos++];
            if (c == '"') return out;
            if (c != '\\') { out += c; continue; }
            if (FPos >= FText.size()) Fail("unterminated escape");
            char e = FText[FPos++];
            switch (e) {
            case '"': out += '"'; break;
            case '\\': out += '\\'; break;
            case '/': out += '/'; break;
            case 'b': out += '\b'; break;
            case 'f': out += '\f'; break;
            case 'n': out += '\n'; break;
            case 'r': out += '\r'; break;
            case 't': out += '\t'; break;
            case 'u': {
                unsigned code = ReadHex4();
                // JSON spells characters past the BMP as a surrogate pair; a
                // lone surrogate (JavaScript strings allow them) becomes U+FFFD.
                if (code >= 0xD800 && code <= 0xDBFF && FText.compare(FPos, 2, "\\u") == 0) {
                    size_t save = FPos;
                    FPos += 2;
                    unsigned low = ReadHex4();
                    if (low >= 0xDC00 && low <= 0xDFFF) code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
                    else { FPos = save; code = 0xFFFD; }
                } else if (code >= 0xD800 && code <= 0xDFFF) {
                    code = 0xFFFD;
                }
                AppendUtf8(out, code);
                break;
            }
            default: Fail("bad escape");
            }
        }
    }

    const std::string& FText;
    size_t FPos = 0;
};

std::string JsonQuote(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04x", c);
                out += buf;
            } else {
                out += char(c);
            }
        }
    }
    return out + "\"";
}

double NumberOf(const TJson& object, const char* key) {
    const TJson* v = object.Find(key);
    if (v == nullptr || v->kind != TJson::TKind::Number)
        throw EPlayerError(std::string("the player's answer lacks the number ") + key);
    return v->number;
}

int IntOf(const TJson& object, const char* key) {
    double n = NumberOf(object, key);
    if (!(n >= -2147483648.0 && n <= 2147483647.0) || n != std::floor(n))
        throw EPlayerError(std::string("the player's answer has a bad ") + key);
    return int(n);
}

std::vector<std::string> LinesOf(const TJson& object, const char* key) {
    const TJson* v = object.Find(key);
    if (v == nullptr || v->kind != TJson::TKind::Array)
        throw EPlayerError(std::string("the player's answer lacks the list ") + key);
    std::vector<std::string> lines;
    for (const TJson& item : v->items) {
        if (item.kind != TJson::TKind::String) throw EPlayerError(std::string("non-text entry in ") + key);
        lines.push_back(item.string);
    }
    return lines;
}

bool IsExecutable(const std::string& path) {
    return !path.empty() && ::access(path.c_str(), X_OK) == 0 && fs::is_regular_file(path);
}

std::string FindNode() {
    if (const char* env = std::getenv("TW_NODE"); env != nullptr && IsExecutable(env)) return env;
    if (IsExecutable(TW_PLAYER_NODE)) return TW_PLAYER_NODE;
    const char* path = std::getenv("PATH");
    std::string dirs = path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin";
    size_t start = 0;
    while (start <= dirs.size()) {
        size_t end = dirs.find(':', start);
        if (end == std::string::npos) end = dirs.size();
        std::string dir = dirs.substr(start, end - start);
        if (!dir.empty() && IsExecutable(dir + "/node")) return dir + "/node";
        start = end + 1;
    }
    return {};
}

std::string ChromiumPath() {
    const char* env = std::getenv("TW_CHROMIUM");
    return env != nullptr && *env != '\0' ? env : "/usr/bin/chromium";
}

std::string SystemError(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

}  // namespace

struct TPlayerHarness::TReply {
    TJson value;
};

TPlayerPixel Pixel(const TPlayerFrame& frame, int x, int y) {
    if (x < 0 || y < 0 || x >= frame.width || y >= frame.height)
        throw EPlayerError("pixel (" + std::to_string(x) + ", " + std::to_string(y) + ") is outside the " +
                           std::to_string(frame.width) + "x" + std::to_string(frame.height) + " frame");
    size_t at = (size_t(y) * size_t(frame.width) + size_t(x)) * 4;
    if (at + 4 > frame.rgba.size()) throw EPlayerError("frame holds fewer pixels than its size says");
    return {frame.rgba[at], frame.rgba[at + 1], frame.rgba[at + 2], frame.rgba[at + 3]};
}

bool TPlayerHarness::Available(std::string* why) {
    auto no = [why](std::string reason) {
        if (why != nullptr) *why = std::move(reason);
        return false;
    };
    fs::path script = TW_PLAYER_SCRIPT;
    fs::path dir = script.parent_path();
    if (!fs::is_regular_file(script)) return no("the player script " + script.string() + " is missing");
    if (FindNode().empty()) return no("node is not on PATH: install nodejs");
    if (!fs::is_regular_file(dir / "node_modules/playwright-core/package.json") ||
        !fs::is_regular_file(dir / "node_modules/@ruffle-rs/ruffle/package.json"))
        return no("the player's npm packages are not installed: run " + (dir / "setup.sh").string());
    if (!IsExecutable(ChromiumPath())) return no(ChromiumPath() + " is missing: run " + (dir / "setup.sh").string());
    return true;
}

TPlayerHarness& TPlayerHarness::Shared() {
    static TPlayerHarness harness;
    return harness;
}

TPlayerHarness::TPlayerHarness() {
    std::string why;
    if (!Available(&why)) throw EPlayerError("the player cannot run here: " + why);
    std::string node = FindNode();

    std::string pattern = (fs::temp_directory_path() / "tw-player-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw EPlayerError(SystemError("cannot make a temporary folder"));
    FTempDir = pattern;

    int toChild[2] = {-1, -1};
    int fromChild[2] = {-1, -1};
    int logFd = -1;
    auto cleanup = [&] {
        for (int fd : {toChild[0], toChild[1], fromChild[0], fromChild[1], logFd})
            if (fd >= 0) ::close(fd);
    };
    // A socket, not a pipe, toward the child: send() with MSG_NOSIGNAL reports
    // a dead child as an error instead of killing the test with SIGPIPE.
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, toChild) != 0 || ::pipe2(fromChild, O_CLOEXEC) != 0) {
        std::string message = SystemError("cannot make pipes for the player process");
        cleanup();
        fs::remove_all(FTempDir);
        throw EPlayerError(message);
    }
    std::string logPath = FTempDir + "/player.log";
    logFd = ::open(logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, toChild[1], 0);
    posix_spawn_file_actions_adddup2(&actions, fromChild[1], 1);
    if (logFd >= 0) posix_spawn_file_actions_adddup2(&actions, logFd, 2);
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
    // Whatever else the test process holds open is none of the browser's business.
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
#endif
    std::string script = TW_PLAYER_SCRIPT;
    std::string scratch = "--scratch-dir=" + FTempDir;
    char* argv[] = {node.data(), script.data(), scratch.data(), nullptr};
    int rc = ::posix_spawn(&FPid, node.c_str(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(toChild[1]);
    ::close(fromChild[1]);
    if (logFd >= 0) ::close(logFd);
    toChild[1] = fromChild[1] = logFd = -1;
    if (rc != 0) {
        FPid = -1;
        cleanup();
        fs::remove_all(FTempDir);
        throw EPlayerError("cannot start " + node + ": " + std::strerror(rc));
    }
    FToChild = toChild[0];
    FFromChild = fromChild[0];

    try {
        for (;;) {
            std::string line = ReadLine(kStartTimeoutMs);
            TJson event = TJsonReader(line).ReadDocument();
            const TJson* kind = event.Find("event");
            if (kind == nullptr || kind->kind != TJson::TKind::String) continue;
            if (kind->string == "ready") break;
            if (kind->string == "fatal") {
                const TJson* error = event.Find("error");
                throw EPlayerError("the player did not start: " +
                                   (error != nullptr ? error->string : std::string("no reason given")) + LogTail());
            }
        }
    } catch (...) {
        Kill();
        fs::remove_all(FTempDir);
        throw;
    }
}

TPlayerHarness::~TPlayerHarness() {
    if (FPid > 0 && FToChild >= 0) {
        try {
            std::string quit = "{\"id\":" + std::to_string(FNextId++) + ",\"cmd\":\"quit\"}\n";
            if (::send(FToChild, quit.data(), quit.size(), MSG_NOSIGNAL) == ssize_t(quit.size())) {
                // The child closes its end when it exits; wait for that, not for the answer.
                auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kQuitTimeoutMs);
                while (std::chrono::steady_clock::now() < deadline) {
                    int status = 0;
                    if (::waitpid(FPid, &status, WNOHANG) == FPid) { FPid = -1; break; }
                    ::usleep(20'000);
                }
            }
        } catch (...) {
        }
    }
    Kill();
    std::error_code ignored;
    fs::remove_all(FTempDir, ignored);
}

void TPlayerHarness::Kill() {
    if (FToChild >= 0) ::close(FToChild);
    if (FFromChild >= 0) ::close(FFromChild);
    FToChild = FFromChild = -1;
    if (FPid <= 0) return;
    // Closing its stdin asks the child to shut the browser; give it a moment
    // before the hard way, which leaves the browser to notice its pipe closing.
    for (int i = 0; i < 100; ++i) {
        int status = 0;
        if (::waitpid(FPid, &status, WNOHANG) == FPid) { FPid = -1; return; }
        ::usleep(20'000);
    }
    ::kill(FPid, SIGKILL);
    int status = 0;
    while (::waitpid(FPid, &status, 0) < 0 && errno == EINTR) {
    }
    FPid = -1;
}

std::string TPlayerHarness::LogTail() const {
    std::ifstream log(FTempDir + "/player.log", std::ios::binary);
    std::string raw((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
    // Playwright colours its log even into a file; drop the escape sequences.
    std::string text;
    for (size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] == '\x1b' && i + 1 < raw.size() && raw[i + 1] == '[') {
            i += 2;
            while (i < raw.size() && !(raw[i] >= '@' && raw[i] <= '~')) ++i;
            continue;
        }
        text += raw[i];
    }
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    if (text.empty()) return {};
    if (text.size() > 2000) text = "..." + text.substr(text.size() - 2000);
    return "\nplayer process log:\n" + text;
}

std::string TPlayerHarness::ReadLine(int timeoutMs) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        size_t end = FPending.find('\n');
        if (end != std::string::npos) {
            std::string line = FPending.substr(0, end);
            FPending.erase(0, end + 1);
            return line;
        }
        if (FFromChild < 0) throw EPlayerError("the player process is gone");
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0) {
            std::string tail = LogTail();
            Kill();
            throw EPlayerError("the player process did not answer within " + std::to_string(timeoutMs / 1000) + " s" + tail);
        }
        pollfd p = {FFromChild, POLLIN, 0};
        int ready = ::poll(&p, 1, int(left));
        if (ready < 0) {
            if (errno == EINTR) continue;
            throw EPlayerError(SystemError("waiting for the player process"));
        }
        if (ready == 0) continue;
        char buf[65536];
        ssize_t got = ::read(FFromChild, buf, sizeof buf);
        if (got < 0) {
            if (errno == EINTR || errno == EAGAIN) continue;
            throw EPlayerError(SystemError("reading from the player process"));
        }
        if (got == 0) {
            Kill();
            throw EPlayerError("the player process exited" + LogTail());
        }
        FPending.append(buf, size_t(got));
    }
}

TPlayerHarness::TReply TPlayerHarness::Request(const std::string& body) {
    if (FPid <= 0 || FToChild < 0) throw EPlayerError("the player process is not running" + LogTail());
    long id = FNextId++;
    std::string line = "{\"id\":" + std::to_string(id) + ",\"timeoutMs\":" + std::to_string(FWatchdogMs) + "," + body + "}\n";
    size_t sent = 0;
    while (sent < line.size()) {
        ssize_t n = ::send(FToChild, line.data() + sent, line.size() - sent, MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR) continue;
            std::string message = SystemError("writing to the player process") + LogTail();
            Kill();
            throw EPlayerError(message);
        }
        sent += size_t(n);
    }
    for (;;) {
        TReply reply{TJsonReader(ReadLine(FWatchdogMs + kWatchdogMarginMs)).ReadDocument()};
        const TJson* replyId = reply.value.Find("id");
        // Lines without our id are events; the child answers one request at a time.
        if (replyId == nullptr || replyId->kind != TJson::TKind::Number || replyId->number != double(id)) continue;
        if (const TJson* error = reply.value.Find("error"); error != nullptr && error->kind == TJson::TKind::String)
            throw EPlayerError(error->string);
        return reply;
    }
}

void TPlayerHarness::SetWatchdog(int milliseconds) {
    if (milliseconds <= 0 || milliseconds > 3'600'000) throw EPlayerError("the watchdog takes 1 ms to 1 hour");
    FWatchdogMs = milliseconds;
}

namespace {

TPlayerMovieInfo MovieInfoOf(const TJson& reply) {
    TPlayerMovieInfo info;
    info.width = NumberOf(reply, "width");
    info.height = NumberOf(reply, "height");
    info.frameRate = NumberOf(reply, "frameRate");
    info.numFrames = IntOf(reply, "numFrames");
    info.swfVersion = IntOf(reply, "swfVersion");
    if (const TJson* color = reply.Find("backgroundColor"); color != nullptr && color->kind == TJson::TKind::String)
        info.backgroundColor = color->string;
    if (const TJson* as3 = reply.Find("isActionScript3"); as3 != nullptr && as3->kind == TJson::TKind::Bool)
        info.isActionScript3 = as3->boolean;
    info.playerWidth = IntOf(reply, "playerWidth");
    info.playerHeight = IntOf(reply, "playerHeight");
    return info;
}

// A frame of the child's answer with its pixels read from the file it names.
TPlayerFrame FrameOf(const TJson& item) {
    TPlayerFrame frame;
    frame.number = IntOf(item, "frame");
    frame.width = IntOf(item, "width");
    frame.height = IntOf(item, "height");
    frame.trace = LinesOf(item, "trace");
    const TJson* file = item.Find("file");
    if (file == nullptr || file->kind != TJson::TKind::String) throw EPlayerError("the player's answer lacks a frame file");
    std::ifstream in(file->string, std::ios::binary | std::ios::ate);
    if (!in) throw EPlayerError("cannot read the frame file " + file->string);
    frame.rgba.resize(size_t(in.tellg()));
    in.seekg(0);
    in.read(reinterpret_cast<char*>(frame.rgba.data()), std::streamsize(frame.rgba.size()));
    if (!in) throw EPlayerError("cannot read the frame file " + file->string);
    if (frame.width <= 0 || frame.height <= 0 || frame.rgba.size() != size_t(frame.width) * size_t(frame.height) * 4)
        throw EPlayerError("frame " + std::to_string(frame.number) + " has " + std::to_string(frame.rgba.size()) +
                           " bytes, not " + std::to_string(frame.width) + "x" + std::to_string(frame.height) + "x4");
    return frame;
}

}  // namespace

TPlayerMovieInfo TPlayerHarness::Load(const std::string& swfPath, int width, int height) {
    TPlayerLoadOptions options;
    options.width = width;
    options.height = height;
    return Load(swfPath, options);
}

TPlayerMovieInfo TPlayerHarness::Load(const std::string& swfPath, const TPlayerLoadOptions& options) {
    FTrace.clear();
    ++FLoads;
    std::string absolute = fs::absolute(swfPath).string();
    std::string body = "\"cmd\":\"load\",\"swf\":" + JsonQuote(absolute);
    if (options.width > 0) body += ",\"width\":" + std::to_string(options.width);
    if (options.height > 0) body += ",\"height\":" + std::to_string(options.height);
    if (!options.flashVars.empty()) {
        body += ",\"flashvars\":{";
        for (size_t i = 0; i < options.flashVars.size(); ++i)
            body += (i ? "," : "") + JsonQuote(options.flashVars[i].first) + ":" + JsonQuote(options.flashVars[i].second);
        body += "}";
    }
    if (options.network) body += ",\"network\":true";
    return MovieInfoOf(Request(body).value);
}

std::vector<TPlayerFrame> TPlayerHarness::Step(int count) {
    if (count < 0) throw EPlayerError("cannot step a negative number of frames");
    std::string prefix = FTempDir + "/frame-";
    TJson reply = Request("\"cmd\":\"frames\",\"count\":" + std::to_string(count) + ",\"out\":" + JsonQuote(prefix)).value;
    const TJson* list = reply.Find("frames");
    if (list == nullptr || list->kind != TJson::TKind::Array) throw EPlayerError("the player's answer lacks the frames");

    std::vector<TPlayerFrame> frames;
    std::vector<std::string> files;
    for (const TJson& item : list->items) {
        const TJson* file = item.Find("file");
        if (file != nullptr && file->kind == TJson::TKind::String) files.push_back(file->string);
    }
    // The files are ours to remove whatever happens while reading them.
    struct TRemover {
        const std::vector<std::string>& files;
        ~TRemover() {
            std::error_code ignored;
            for (const auto& f : files) fs::remove(f, ignored);
        }
    } remover{files};

    for (const TJson& item : list->items) frames.push_back(FrameOf(item));
    FTrace = LinesOf(reply, "trace");
    return frames;
}

TPlayedMovie TPlayerHarness::Play(const std::string& swfPath, int frames, int width, int height) {
    TPlayedMovie played;
    played.info = Load(swfPath, width, height);
    played.frames = Step(frames);
    played.trace = FTrace;
    return played;
}

std::vector<std::string> TPlayerHarness::Click(double x, double y) {
    if (!std::isfinite(x) || !std::isfinite(y)) throw EPlayerError("a click needs a finite point");
    char body[128];
    std::snprintf(body, sizeof body, "\"cmd\":\"click\",\"x\":%.17g,\"y\":%.17g", x, y);
    std::vector<std::string> lines = LinesOf(Request(body).value, "trace");
    FTrace.insert(FTrace.end(), lines.begin(), lines.end());
    return lines;
}

TPlayerEvents TPlayerHarness::TakeEvents() {
    TJson reply = Request("\"cmd\":\"events\"").value;
    if (const TJson* origin = reply.Find("origin"); origin != nullptr && origin->kind == TJson::TKind::String)
        FOrigin = origin->string;
    TPlayerEvents events;
    events.hits = LinesOf(reply, "hits");
    if (const TJson* list = reply.Find("fscommands"); list != nullptr && list->kind == TJson::TKind::Array) {
        for (const TJson& item : list->items) {
            TPlayerFSCommand command;
            if (const TJson* c = item.Find("command"); c != nullptr && c->kind == TJson::TKind::String) command.command = c->string;
            if (const TJson* a = item.Find("args"); a != nullptr && a->kind == TJson::TKind::String) command.args = a->string;
            events.fsCommands.push_back(std::move(command));
        }
    }
    return events;
}

std::vector<std::string> TPlayerHarness::TakeLog() {
    return LinesOf(Request("\"cmd\":\"log\"").value, "lines");
}

std::string TPlayerHarness::HitUrl(const std::string& path) {
    if (FOrigin.empty()) {
        // Asked once, before the caller has set anything off.
        TJson reply = Request("\"cmd\":\"events\"").value;
        if (const TJson* origin = reply.Find("origin"); origin != nullptr && origin->kind == TJson::TKind::String)
            FOrigin = origin->string;
        if (FOrigin.empty()) throw EPlayerError("the player process did not name its server");
    }
    return FOrigin + "/hit/" + path;
}

TPlayerFrame TPlayerHarness::ShowPage(const std::string& html,
                                      const std::vector<std::pair<std::string, std::string>>& files, int width,
                                      int height, int waitMs, int* players) {
    std::string out = FTempDir + "/page.rgba";
    std::string body = "\"cmd\":\"page\",\"html\":" + JsonQuote(html) + ",\"files\":{";
    for (size_t i = 0; i < files.size(); ++i)
        body += (i ? "," : "") + JsonQuote(files[i].first) + ":" + JsonQuote(fs::absolute(files[i].second).string());
    body += "},\"width\":" + std::to_string(width) + ",\"height\":" + std::to_string(height) +
            ",\"waitMs\":" + std::to_string(waitMs) + ",\"out\":" + JsonQuote(out);
    TJson reply = Request(body).value;
    TPlayerFrame frame;
    frame.width = IntOf(reply, "width");
    frame.height = IntOf(reply, "height");
    if (players != nullptr) *players = IntOf(reply, "players");
    std::ifstream in(out, std::ios::binary | std::ios::ate);
    if (!in) throw EPlayerError("cannot read the page's screenshot " + out);
    frame.rgba.resize(size_t(in.tellg()));
    in.seekg(0);
    in.read(reinterpret_cast<char*>(frame.rgba.data()), std::streamsize(frame.rgba.size()));
    in.close();
    std::error_code ignored;
    fs::remove(out, ignored);
    if (frame.width <= 0 || frame.height <= 0 || frame.rgba.size() != size_t(frame.width) * size_t(frame.height) * 4)
        throw EPlayerError("the page's screenshot has the wrong size");
    return frame;
}

TPlayerMovieInfo TPlayerHarness::Open(const std::string& swfPath, const TPlayerOpenOptions& options) {
    FTrace.clear();
    ++FLoads;
    std::string absolute = fs::absolute(swfPath).string();
    std::string body = "\"cmd\":\"open\",\"swf\":" + JsonQuote(absolute);
    if (options.width > 0) body += ",\"width\":" + std::to_string(options.width);
    if (options.height > 0) body += ",\"height\":" + std::to_string(options.height);
    if (!options.scale.empty()) body += ",\"scale\":" + JsonQuote(options.scale);
    if (options.fsCommands) body += ",\"fscommand\":true";
    return MovieInfoOf(Request(body).value);
}

TPlayerFrame TPlayerHarness::Advance(double periodMs) {
    if (!(periodMs >= 0 && periodMs <= 60'000)) throw EPlayerError("a step of the player takes 0 to 60000 ms");
    std::string body = "\"cmd\":\"advance\",\"out\":" + JsonQuote(FTempDir + "/advance-");
    if (periodMs > 0) {
        char period[64];
        std::snprintf(period, sizeof period, "%.17g", periodMs);
        body += ",\"periodMs\":";
        body += period;
    }
    TJson reply = Request(body).value;
    const TJson* file = reply.Find("file");
    struct TRemover {
        std::string path;
        ~TRemover() {
            std::error_code ignored;
            if (!path.empty()) fs::remove(path, ignored);
        }
    } remover{file != nullptr && file->kind == TJson::TKind::String ? file->string : std::string()};
    TPlayerFrame frame = FrameOf(reply);
    if (const TJson* calls = reply.Find("fscommand"); calls != nullptr && calls->kind == TJson::TKind::Array) {
        for (const TJson& call : calls->items) {
            if (call.kind != TJson::TKind::Array || call.items.size() != 2 || call.items[0].kind != TJson::TKind::String ||
                call.items[1].kind != TJson::TKind::String)
                throw EPlayerError("the player's answer has a malformed FSCommand entry");
            frame.fsCommands.push_back({call.items[0].string, call.items[1].string});
        }
    }
    FTrace.insert(FTrace.end(), frame.trace.begin(), frame.trace.end());
    return frame;
}
