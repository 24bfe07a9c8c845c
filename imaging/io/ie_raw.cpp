#include "imaging/io/ie_raw.h"

#include <libraw/libraw.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

namespace {

// LibRaw's view of a TStream from a base position on: offsets and the size
// are counted from the base, as if the file started there.
class TLibRawStream : public LibRaw_abstract_datastream {
public:
    explicit TLibRawStream(TStream& stream)
        : stream_(stream), base_(stream.GetPosition()), size_(std::max<int64_t>(stream.GetSize() - base_, 0)) {}

    int valid() override { return 1; }
    int read(void* buffer, size_t size, size_t count) override {
        if (size == 0 || count == 0) return 0;
        const int64_t wanted = static_cast<int64_t>(std::min<size_t>(count, static_cast<size_t>(INT64_MAX) / size) * size);
        const int64_t got = std::max<int64_t>(stream_.Read(buffer, wanted), 0);
        return static_cast<int>(got / static_cast<int64_t>(size));
    }
    int seek(INT64 offset, int whence) override {
        int64_t target = whence == SEEK_SET ? offset : whence == SEEK_CUR ? tell() + offset : size_ + offset;
        target = std::clamp<int64_t>(target, 0, size_);
        stream_.SetPosition(base_ + target);
        return 0;
    }
    INT64 tell() override { return stream_.GetPosition() - base_; }
    INT64 size() override { return size_; }
    int get_char() override {
        uint8_t c;
        return stream_.Read(&c, 1) == 1 ? c : -1;
    }
    char* gets(char* text, int size) override {
        if (size <= 0 || eof()) return nullptr;
        int n = 0;
        while (n < size - 1) {
            int c = get_char();
            if (c < 0) break;
            text[n++] = static_cast<char>(c);
            if (c == '\n') break;
        }
        text[n] = 0;
        return n > 0 ? text : nullptr;
    }
    // One value of a scanf format, from at most 24 characters up to a blank.
    int scanf_one(const char* format, void* value) override {
        char text[25] = {};
        int n = 0, c;
        while ((c = get_char()) >= 0 && (c == ' ' || c == '\t' || c == '\n' || c == '\r')) {
        }
        while (c >= 0 && n < 24 && !(c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == 0)) {
            text[n++] = static_cast<char>(c);
            c = get_char();
        }
        return n > 0 ? std::sscanf(text, format, value) : 0;
    }
    int eof() override { return tell() >= size_; }
    void* make_jas_stream() override { return nullptr; }

private:
    TStream& stream_;
    int64_t base_, size_;
};

}  // namespace

bool IEIsRAWStream(TStream& stream) {
    const int64_t position = stream.GetPosition();
    bool found = false;
    try {
        // The decoder's state is large: it goes on the heap.
        auto decoder = std::make_unique<LibRaw>(LIBRAW_OPTIONS_NONE);
        TLibRawStream view(stream);
        found = decoder->open_datastream(&view) == LIBRAW_SUCCESS;
    } catch (...) {
        // Identification that fails in any way recognises nothing.
        found = false;
    }
    stream.SetPosition(position);
    return found;
}
