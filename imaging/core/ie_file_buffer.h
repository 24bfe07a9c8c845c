// Temporary-file storage: TIEFileBuffer owns one temporary file and hands out
// memory copies of byte ranges ("mappings") that are read from the file when
// taken for reading and written back when released after writing. Images too
// large for memory keep their rows here, one mapping per row in use.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/handle_stream.h"

class EInOutError : public Exception {
public:
    EInOutError(const std::string& message, int errorCode) : Exception(message), ErrorCode(errorCode) {}
    int ErrorCode;  // the system's error number
};

// A file that is created exclusively and deleted by the system when its
// handle closes, also when the process ends abnormally: its name is removed
// from the folder as soon as it is open.
class TIETemporaryFileStream : public THandleStream {
public:
    // Raises EInOutError "Unable to create " + name.
    explicit TIETemporaryFileStream(const std::string& fileName);
};


class TIEFileBuffer {
public:
    // Access bits of a mapping.
    static constexpr uint8_t kRead = 1;
    static constexpr uint8_t kWrite = 2;

    TIEFileBuffer() = default;
    ~TIEFileBuffer();
    TIEFileBuffer(const TIEFileBuffer&) = delete;
    TIEFileBuffer& operator=(const TIEFileBuffer&) = delete;

    // Creates a file named prefix-XXXXXXXX.tmp in the temporary folder and
    // gives it size bytes; false when either fails.
    bool AllocateFile(const std::string& prefix, int64_t size);
    bool IsAllocated() const { return stream_ != nullptr; }
    void ResizeFile(int64_t size);
    uint8_t* Map(uint8_t access, int64_t position, int64_t size);
    // Releases a mapping, writing it back when it was taken with kWrite.
    // Raises Exception for a pointer that is not a current mapping.
    void Unmap(const uint8_t* data);
    void UnmapAll();
    void Close();
    // Copies size bytes at position of this file into the same place of
    // destination's file, in 1 MB blocks.
    void CopyTo(TIEFileBuffer& destination, int64_t position, int64_t size);
    int32_t IndexOfMapping(const uint8_t* data) const;

    const std::string& FileName() const { return fileName_; }
    int MappingCount() const { return static_cast<int>(mappings_.size()); }
    // The block size of CopyTo.
    static constexpr int64_t kCopyBlock = 1048576;

private:
    struct Mapping {
        int64_t position;
        int64_t size;
        std::unique_ptr<uint8_t[]> data;
        uint8_t access;
    };

    std::unique_ptr<TIETemporaryFileStream> stream_;
    std::string fileName_;
    std::vector<Mapping> mappings_;
};

// A name folder + prefix + "-" + eight upper-case hexadecimal digits + ".tmp"
// of no existing file.
std::string IEGetTempFileName(const std::string& prefix, const std::string& folder);
// The folder temporary files go to: IETempFolder, else the system's.
std::string IETempFolderPath();
int64_t IEGetTotalPhysicalMemory();
