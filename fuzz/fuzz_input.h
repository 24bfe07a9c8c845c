// What the fuzz targets share: the input as bytes, and a reporter that keeps
// the libraries' recovered-from messages off the fuzzer's output.
//
// A target catches the libraries' own exceptions (class Exception), which
// are their way to refuse bad input. Anything else that escapes (a standard
// library exception, a crash, a sanitizer report, a leak) is a finding.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <unistd.h>
#include <string>
#include <vector>

#include "platform/diagnostics.h"
#include "platform/stream.h"

inline std::vector<uint8_t> InputBytes(const uint8_t* data, size_t size) {
    return std::vector<uint8_t>(data, data + size);
}

// Messages still go through their formatting, which is worth fuzzing too.
class TQuietMessages {
public:
    TQuietMessages()
        : reporter_([](const std::string& caption, const std::string& text) {
              volatile size_t sink = caption.size() + text.size();
              (void)sink;
          }) {}

private:
    TScopedMessageReporter reporter_;
};

// The input written to a file of this process with the given extension, for
// readers that only take file names. The file stays for the next input.
inline std::string InputFile(const uint8_t* data, size_t size, const std::string& extension) {
    std::string name = (std::filesystem::temp_directory_path() /
                        ("tw-fuzz-" + std::to_string(::getpid()) + extension)).string();
    WriteFileBytes(name, data, size);
    return name;
}
