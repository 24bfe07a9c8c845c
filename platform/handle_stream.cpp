#include "platform/handle_stream.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

THandleStream::~THandleStream() {
    if (handle_ >= 0) close(handle_);
}

int64_t THandleStream::Read(void* buffer, int64_t count) {
    int64_t done = 0;
    auto* bytes = static_cast<uint8_t*>(buffer);
    while (done < count) {
        ssize_t n = read(handle_, bytes + done, static_cast<size_t>(count - done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += n;
    }
    return done;
}

int64_t THandleStream::Write(const void* buffer, int64_t count) {
    int64_t done = 0;
    auto* bytes = static_cast<const uint8_t*>(buffer);
    while (done < count) {
        ssize_t n = write(handle_, bytes + done, static_cast<size_t>(count - done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += n;
    }
    return done;
}

int64_t THandleStream::Seek(int64_t offset, TSeekOrigin origin) {
    int whence = origin == TSeekOrigin::Begin ? SEEK_SET : origin == TSeekOrigin::Current ? SEEK_CUR : SEEK_END;
    off_t result = lseek(handle_, static_cast<off_t>(offset), whence);
    if (result < 0) throw EStreamError("Invalid stream position");
    return result;
}

int64_t THandleStream::GetSize() {
    struct stat info {};
    if (fstat(handle_, &info) != 0) throw EStreamError("Stream size cannot be read");
    return info.st_size;
}

void THandleStream::SetSize(int64_t size) {
    if (size < 0) throw EStreamError("Invalid stream size");
    int64_t old = GetSize();
    // posix_fallocate reserves the blocks, so a full disk is reported here and
    // not later as a failed write of pixels; file systems without it fall
    // back on a sparse extension.
    if (size > old) {
        int rc = posix_fallocate(handle_, old, size - old);
        if (rc == 0) return;
        if (rc != EOPNOTSUPP && rc != EINVAL) throw EStreamError("Stream size cannot be changed");
    }
    if (ftruncate(handle_, static_cast<off_t>(size)) != 0) throw EStreamError("Stream size cannot be changed");
}

int CreateExclusiveFile(const std::string& name, bool deleteOnClose) {
    int handle = open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (handle >= 0 && deleteOnClose) unlink(name.c_str());
    return handle;
}

std::string SystemTempPath() {
    const char* folder = std::getenv("TMPDIR");
    std::string path = folder && *folder ? folder : "/tmp";
    if (path.back() != '/') path += '/';
    return path;
}
