#include "imaging/core/ie_file_buffer.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <sys/stat.h>

#include "imaging/core/ie_types.h"
#include "platform/global_memory.h"
#include "platform/random.h"

namespace {

// How many taken names a new temporary file tolerates before giving up.
constexpr int kCreateAttempts = 100;

int OpenTemporary(const std::string& fileName) {
    int handle = CreateExclusiveFile(fileName, true);
    if (handle < 0) throw EInOutError("Unable to create " + fileName, errno);
    return handle;
}

}  // namespace

TIETemporaryFileStream::TIETemporaryFileStream(const std::string& fileName) : THandleStream(OpenTemporary(fileName)) {}

std::string IEGetTempFileName(const std::string& prefix, const std::string& folder) {
    while (true) {
        char digits[9];
        std::snprintf(digits, sizeof digits, "%08X", DefaultRandom().Next(2147483647u));
        std::string name = folder + prefix + "-" + digits + ".tmp";
        struct stat info {};
        if (lstat(name.c_str(), &info) != 0) return name;
    }
}

std::string IETempFolderPath() { return IETempFolder.empty() ? SystemTempPath() : IETempFolder; }

int64_t IEGetTotalPhysicalMemory() { return TotalPhysicalMemory(); }

TIEFileBuffer::~TIEFileBuffer() { Close(); }

bool TIEFileBuffer::AllocateFile(const std::string& prefix, int64_t size) {
    std::string folder = IETempFolderPath();
    try {
        // The file is created exclusively, so a name taken between the check
        // and the creation costs another name, never someone else's file.
        for (int attempt = 0; !stream_; ++attempt) {
            fileName_ = IEGetTempFileName(prefix, folder);
            try {
                stream_ = std::make_unique<TIETemporaryFileStream>(fileName_);
            } catch (const EInOutError& error) {
                if (error.ErrorCode != EEXIST || attempt + 1 >= kCreateAttempts) throw;
            }
        }
        stream_->SetSize(size);
    } catch (const std::exception&) {
        return false;
    }
    return true;
}

void TIEFileBuffer::ResizeFile(int64_t size) {
    if (stream_) stream_->SetSize(size);
}

uint8_t* TIEFileBuffer::Map(uint8_t access, int64_t position, int64_t size) {
    Mapping mapping{position, size, std::make_unique<uint8_t[]>(static_cast<size_t>(size)), access};
    if (stream_ && (access & kRead)) {
        stream_->SetPosition(position);
        stream_->ReadBuffer(mapping.data.get(), size);
    }
    uint8_t* data = mapping.data.get();
    mappings_.push_back(std::move(mapping));
    return data;
}

int32_t TIEFileBuffer::IndexOfMapping(const uint8_t* data) const {
    for (size_t i = 0; i < mappings_.size(); ++i)
        if (mappings_[i].data.get() == data) return static_cast<int32_t>(i);
    return -1;
}

void TIEFileBuffer::Unmap(const uint8_t* data) {
    int32_t index = IndexOfMapping(data);
    if (index < 0) throw Exception("List index out of bounds (-1)");
    Mapping& mapping = mappings_[static_cast<size_t>(index)];
    if ((mapping.access & kWrite) && stream_) {
        stream_->SetPosition(mapping.position);
        stream_->WriteBuffer(mapping.data.get(), mapping.size);
    }
    mappings_.erase(mappings_.begin() + index);
}

void TIEFileBuffer::UnmapAll() {
    if (!stream_) return;
    // Last taken, first released: of two overlapping ranges the first taken
    // is written last.
    while (!mappings_.empty()) Unmap(mappings_.back().data.get());
}

void TIEFileBuffer::Close() {
    if (!stream_) return;
    UnmapAll();
    stream_.reset();  // closing the handle deletes the file
}

void TIEFileBuffer::CopyTo(TIEFileBuffer& destination, int64_t position, int64_t size) {
    if (!stream_ || !destination.stream_) return;
    UnmapAll();
    destination.UnmapAll();
    stream_->SetPosition(position);
    destination.stream_->SetPosition(position);
    std::vector<uint8_t> block(static_cast<size_t>(std::min(kCopyBlock, std::max<int64_t>(size, 0))));
    for (int64_t done = 0; done < size;) {
        int64_t n = std::min(size - done, kCopyBlock);
        stream_->ReadBuffer(block.data(), n);
        destination.stream_->WriteBuffer(block.data(), n);
        done += n;
    }
}
