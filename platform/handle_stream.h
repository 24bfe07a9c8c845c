// Streams on operating-system file handles, with 64-bit sizes and positions:
// the stand-in for the toolkit's handle stream and for temporary files that
// the system deletes when their handle closes.
//
// A temporary file is created exclusively (an existing file of the name is
// never opened) and, when delete-on-close is asked for, its name is removed
// at once: the open handle keeps the data, and the system reclaims it when
// the handle closes, also when the process dies abnormally. Share modes and
// file attributes of the original interface are left out.
#pragma once

#include <cstdint>
#include <string>

#include "platform/stream.h"

class THandleStream : public TStream {
public:
    // Takes ownership of the file descriptor.
    explicit THandleStream(int handle) : handle_(handle) {}
    ~THandleStream() override;
    THandleStream(const THandleStream&) = delete;
    THandleStream& operator=(const THandleStream&) = delete;

    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    int64_t GetSize() override;
    // Grows (zero bytes) or cuts the file; raises EStreamError when the
    // system refuses, for example on a full disk.
    void SetSize(int64_t size) override;

    int Handle() const { return handle_; }

private:
    int handle_;
};

// Creates the file read-write and exclusively and returns its descriptor,
// or -1 with errno set (EEXIST when the name is taken). With deleteOnClose
// the name is gone when this returns.
int CreateExclusiveFile(const std::string& name, bool deleteOnClose);

// The system's temporary folder with a trailing '/': $TMPDIR, else /tmp/.
std::string SystemTempPath();
