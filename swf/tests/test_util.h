// Small helpers shared by the SWF tests.
#pragma once

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/stream.h"
#include "swf/bits_engine.h"
#include "swf/tag.h"

using Bytes = std::vector<uint8_t>;

// A maker of a tag of class T, filled in by fill: the cases of a vector
// table build their objects with it.
using TTagMaker = std::function<std::unique_ptr<TSWFObject>()>;
template <class T>
TTagMaker MakeTagWith(std::function<void(T&)> fill = [](T&) {}) {
    return [fill] {
        auto tag = std::make_unique<T>();
        fill(*tag);
        return tag;
    };
}

// "CA 0A 01" -> bytes.
inline Bytes HexBytes(const std::string& text) {
    Bytes out;
    int high = -1;
    for (char c : text) {
        int v = (c >= '0' && c <= '9') ? c - '0' : (c >= 'A' && c <= 'F') ? c - 'A' + 10
              : (c >= 'a' && c <= 'f') ? c - 'a' + 10 : -1;
        if (v < 0) continue;
        if (high < 0) high = v;
        else { out.push_back(static_cast<uint8_t>(high << 4 | v)); high = -1; }
    }
    return out;
}

inline std::string ToHex(const Bytes& bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (i) out += ' ';
        out += digits[bytes[i] >> 4];
        out += digits[bytes[i] & 15];
    }
    return out;
}

// The whole record as WriteTag writes it.
inline Bytes WriteTagBytes(TSWFObject& tag) {
    TMemoryStream out;
    TBitsEngine be(out);
    tag.WriteTag(be);
    return out.Bytes();
}

// The body alone.
inline Bytes WriteBodyBytes(TSWFObject& tag) {
    TMemoryStream out;
    TBitsEngine be(out);
    tag.WriteBody(be);
    be.FlushLastByte(true);
    return out.Bytes();
}

// Reads a body into tag through a bounded view, as the file reader does.
inline void ReadBodyBytes(TSWFObject& tag, const Bytes& body) {
    TMemoryStream in(body);
    TBoundedStream view(in, 0, static_cast<int64_t>(body.size()));
    TBitsEngine be(view);
    tag.BodySize = static_cast<int32_t>(body.size());
    tag.ReadBody(be);
}

inline std::string SharedDir() { return TW_SHARED_DIR; }

// The SWF files of the shared corpus, sorted; empty when it is not there.
inline std::vector<std::string> CorpusFiles() {
    namespace fs = std::filesystem;
    std::vector<std::string> files;
    fs::path root = fs::path(SharedDir()) / "corpus" / "swf-gnash";
    std::error_code error;
    if (!fs::is_directory(root, error)) return files;
    for (auto& entry : fs::recursive_directory_iterator(root))
        if (entry.is_regular_file() && entry.path().extension() == ".swf") files.push_back(entry.path().string());
    std::sort(files.begin(), files.end());
    return files;
}

struct TagRecord {
    uint16_t code;
    Bytes body;
};

// Splits a run of tag records (a movie body, or a sprite's control tags)
// into codes and bodies, whatever header form each record used.
inline std::vector<TagRecord> SplitRecords(const uint8_t* data, size_t size) {
    std::vector<TagRecord> records;
    size_t at = 0;
    while (at + 2 <= size) {
        uint16_t header = static_cast<uint16_t>(data[at] | data[at + 1] << 8);
        at += 2;
        size_t length = header & 0x3F;
        if (length == 0x3F) {
            if (at + 4 > size) break;
            length = data[at] | data[at + 1] << 8 | data[at + 2] << 16 | size_t(data[at + 3]) << 24;
            at += 4;
        }
        length = std::min(length, size - at);
        records.push_back({static_cast<uint16_t>(header >> 6), Bytes(data + at, data + at + length)});
        at += length;
    }
    return records;
}
