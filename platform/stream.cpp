#include "platform/stream.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/paths.h"

int64_t TStream::GetSize() {
    int64_t position = Seek(0, TSeekOrigin::Current);
    int64_t size = Seek(0, TSeekOrigin::End);
    Seek(position, TSeekOrigin::Begin);
    return size;
}

void TStream::SetSize(int64_t) { throw EStreamError("Stream size cannot be changed"); }

void TStream::ReadBuffer(void* buffer, int64_t count) {
    if (count <= 0) return;
    if (Read(buffer, count) != count) throw EReadError("Stream read error");
}

void TStream::WriteBuffer(const void* buffer, int64_t count) {
    if (count <= 0) return;
    if (Write(buffer, count) != count) throw EWriteError("Stream write error");
}

int64_t TStream::CopyFrom(TStream& source, int64_t count) {
    if (count == 0) {
        source.SetPosition(0);
        count = source.GetSize();
    }
    int64_t total = count;
    uint8_t chunk[65536];
    while (count > 0) {
        int64_t n = std::min<int64_t>(count, sizeof chunk);
        source.ReadBuffer(chunk, n);
        WriteBuffer(chunk, n);
        count -= n;
    }
    return total;
}

// ---------------------------------------------------------------- memory

int64_t TMemoryStream::Read(void* buffer, int64_t count) {
    int64_t available = GetSize() - position_;
    if (count <= 0 || available <= 0) return 0;
    int64_t n = std::min(count, available);
    std::memcpy(buffer, data_.data() + position_, static_cast<size_t>(n));
    position_ += n;
    return n;
}

int64_t TMemoryStream::Write(const void* buffer, int64_t count) {
    if (count <= 0) return 0;
    const uint8_t* bytes = static_cast<const uint8_t*>(buffer);
    const int64_t size = GetSize();
    // A gap left by seeking past the end reads as zeros.
    if (position_ > size) data_.resize(static_cast<size_t>(position_));
    // Over what is there, then appended: appending never zero-fills first.
    int64_t over = std::min(count, static_cast<int64_t>(data_.size()) - position_);
    if (over > 0) std::memcpy(data_.data() + position_, bytes, static_cast<size_t>(over));
    else over = 0;
    data_.insert(data_.end(), bytes + over, bytes + count);
    position_ += count;
    return count;
}

namespace {
// Where a seek lands in a stream that may grow past its end.
int64_t SeekTarget(int64_t offset, TSeekOrigin origin, int64_t position, int64_t size) {
    int64_t base = origin == TSeekOrigin::Begin ? 0 : origin == TSeekOrigin::Current ? position : size;
    int64_t target = base + offset;
    if (target < 0) throw EStreamError("Invalid stream position");
    return target;
}
}  // namespace

int64_t TMemoryStream::Seek(int64_t offset, TSeekOrigin origin) {
    position_ = SeekTarget(offset, origin, position_, GetSize());
    return position_;
}

void TMemoryStream::SetSize(int64_t size) {
    if (size < 0) throw EStreamError("Invalid stream size");
    data_.resize(static_cast<size_t>(size));
    if (position_ > size) position_ = size;
}

const uint8_t* TMemoryStream::ContiguousBytes(int64_t count) {
    if (count < 0 || position_ + count > GetSize()) return nullptr;
    return data_.data() + position_;
}

std::vector<uint8_t> TMemoryStream::TakeBytes() {
    std::vector<uint8_t> result = std::move(data_);
    data_.clear();
    position_ = 0;
    return result;
}

void TMemoryStream::Clear() {
    data_.clear();
    data_.shrink_to_fit();
    position_ = 0;
}

void TMemoryStream::LoadFromFile(const std::string& fileName) {
    data_ = ReadFileBytes(fileName);
    position_ = 0;
}

void TMemoryStream::SaveToFile(const std::string& fileName) {
    WriteFileBytes(fileName, data_.data(), data_.size());
}

void TMemoryStream::LoadFromStream(TStream& source) {
    source.SetPosition(0);
    int64_t size = source.GetSize();
    data_.resize(static_cast<size_t>(size));
    source.ReadBuffer(data_.data(), size);
    position_ = 0;
}

void TMemoryStream::SaveToStream(TStream& target) { target.WriteBuffer(data_.data(), GetSize()); }

// ---------------------------------------------------------------- tail

TMemoryTailStream::TMemoryTailStream(TMemoryStream& inner) : inner_(inner), start_(inner.GetSize()) {
    inner_.SetPosition(start_);
}

int64_t TMemoryTailStream::Read(void* buffer, int64_t count) {
    inner_.SetPosition(start_ + position_);
    int64_t n = inner_.Read(buffer, count);
    position_ += n;
    return n;
}

int64_t TMemoryTailStream::Write(const void* buffer, int64_t count) {
    inner_.SetPosition(start_ + position_);
    int64_t n = inner_.Write(buffer, count);
    position_ += n;
    return n;
}

int64_t TMemoryTailStream::Seek(int64_t offset, TSeekOrigin origin) {
    position_ = SeekTarget(offset, origin, position_, GetSize());
    return position_;
}

void TMemoryTailStream::SetSize(int64_t size) {
    if (size < 0) throw EStreamError("Invalid stream size");
    inner_.SetSize(start_ + size);
    if (position_ > size) position_ = size;
}

const uint8_t* TMemoryTailStream::ContiguousBytes(int64_t count) {
    inner_.SetPosition(start_ + position_);
    return inner_.ContiguousBytes(count);
}

// ---------------------------------------------------------------- file

TFileStream::TFileStream(const std::string& fileName, TFileMode mode) : fileName_(fileName) {
    const char* how = mode == TFileMode::OpenRead ? "rb" : mode == TFileMode::OpenReadWrite ? "r+b" : "w+b";
    file_ = std::fopen(NativePath(fileName).c_str(), how);
    if (!file_) {
        std::string reason = std::strerror(errno);
        if (mode == TFileMode::Create)
            throw EFCreateError(FormatStr("Cannot create file \"%s\". %s", fileName.c_str(), reason.c_str()));
        throw EFOpenError(FormatStr("Cannot open file \"%s\". %s", fileName.c_str(), reason.c_str()));
    }
}

TFileStream::~TFileStream() {
    if (file_) std::fclose(file_);
}

void TFileStream::Close() {
    if (!file_) return;
    int flushed = std::fflush(file_);
    int closed = std::fclose(file_);
    file_ = nullptr;
    if (flushed != 0 || closed != 0)
        throw EWriteError(FormatStr("Cannot write file \"%s\". %s", fileName_.c_str(), std::strerror(errno)));
}

int64_t TFileStream::Read(void* buffer, int64_t count) {
    if (!file_ || count <= 0) return 0;
    return static_cast<int64_t>(std::fread(buffer, 1, static_cast<size_t>(count), file_));
}

int64_t TFileStream::Write(const void* buffer, int64_t count) {
    if (!file_ || count <= 0) return 0;
    return static_cast<int64_t>(std::fwrite(buffer, 1, static_cast<size_t>(count), file_));
}

int64_t TFileStream::Seek(int64_t offset, TSeekOrigin origin) {
    if (!file_) return 0;
    int whence = origin == TSeekOrigin::Begin ? SEEK_SET : origin == TSeekOrigin::Current ? SEEK_CUR : SEEK_END;
    if (!(origin == TSeekOrigin::Current && offset == 0) && fseeko(file_, offset, whence) != 0)
        throw EStreamError(FormatStr("Cannot seek in file \"%s\"", fileName_.c_str()));
    return ftello(file_);
}

int64_t TFileStream::GetSize() {
    if (!file_) return 0;
    int64_t position = ftello(file_);
    fseeko(file_, 0, SEEK_END);
    int64_t size = ftello(file_);
    fseeko(file_, position, SEEK_SET);
    return size;
}

// ---------------------------------------------------------------- bounded

TBoundedStream::TBoundedStream(TStream& inner, int64_t start, int64_t length)
    : inner_(inner), start_(start), length_(std::max<int64_t>(0, length)) {
    inner_.SetPosition(start_);
}

const uint8_t* TBoundedStream::ContiguousBytes(int64_t count) {
    if (count < 0 || count > length_ - position_) return nullptr;
    if (inner_.GetPosition() != start_ + position_) inner_.SetPosition(start_ + position_);
    return inner_.ContiguousBytes(count);
}

int64_t TBoundedStream::Read(void* buffer, int64_t count) {
    if (count <= 0) return 0;
    if (count > length_ - position_)
        throw EReadError(FormatStr("Read of %lld bytes at offset %lld runs past the end of a %lld-byte record",
                                   static_cast<long long>(count), static_cast<long long>(position_),
                                   static_cast<long long>(length_)));
    if (inner_.GetPosition() != start_ + position_) inner_.SetPosition(start_ + position_);
    int64_t n = inner_.Read(buffer, count);
    position_ += n;
    if (n != count) throw EReadError("Record ends before its recorded length");
    return n;
}

int64_t TBoundedStream::Write(const void*, int64_t) { throw EWriteError("A record view is read-only"); }

int64_t TBoundedStream::Seek(int64_t offset, TSeekOrigin origin) {
    int64_t base = origin == TSeekOrigin::Begin ? 0 : origin == TSeekOrigin::Current ? position_ : length_;
    int64_t target = base + offset;
    if (target < 0 || target > length_) throw EReadError("Seek outside a record");
    position_ = target;
    return position_;
}

// ---------------------------------------------------------------- whole files

std::vector<uint8_t> ReadFileBytes(const std::string& fileName) {
    TFileStream file(fileName, TFileMode::OpenRead);
    int64_t size = file.GetSize();
    std::vector<uint8_t> bytes(static_cast<size_t>(size));
    file.ReadBuffer(bytes.data(), size);
    return bytes;
}

void WriteFileReplacing(const std::string& fileName, const std::function<void(TStream&)>& write) {
    std::string temporary = TemporaryNameBeside(fileName);
    try {
        TFileStream file(temporary, TFileMode::Create);
        write(file);
        file.Close();
        ReplaceFile(temporary, fileName);
    } catch (const EStreamError& e) {
        DeleteFileIfExists(temporary);
        // The user chose the target; the temporary beside it means nothing
        // to them, and a bare "Stream write error" names no file at all.
        std::string message = e.what();
        size_t at = message.find(temporary);
        if (at != std::string::npos) message.replace(at, temporary.size(), fileName);
        else message = FormatStr("Cannot write file \"%s\". %s", fileName.c_str(), message.c_str());
        if (dynamic_cast<const EFCreateError*>(&e) != nullptr) throw EFCreateError(message);
        if (dynamic_cast<const EWriteError*>(&e) != nullptr) throw EWriteError(message);
        throw EStreamError(message);
    } catch (...) {
        DeleteFileIfExists(temporary);
        throw;
    }
}

void WriteFileBytes(const std::string& fileName, const void* bytes, size_t count) {
    WriteFileReplacing(fileName, [&](TStream& file) { file.WriteBuffer(bytes, static_cast<int64_t>(count)); });
}
