// Byte streams: the stand-in for the toolkit's stream classes.
//
// TStream is the abstract stream with plain Read/Write (which may move fewer
// bytes) and ReadBuffer/WriteBuffer (which raise when they cannot move them
// all). TMemoryStream keeps its bytes in memory, TFileStream works on a file,
// and TBoundedStream is a read-only window over part of another stream whose
// reads past the window's end raise EReadError: every reader of untrusted
// bytes goes through one, so a length field can never make it read into the
// next record or allocate more than is there.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "platform/errors.h"

enum class TSeekOrigin { Begin, Current, End };

class TStream {
public:
    virtual ~TStream() = default;

    // Reads up to count bytes; returns how many were read.
    virtual int64_t Read(void* buffer, int64_t count) = 0;
    // Writes up to count bytes; returns how many were written.
    virtual int64_t Write(const void* buffer, int64_t count) = 0;
    virtual int64_t Seek(int64_t offset, TSeekOrigin origin) = 0;

    virtual int64_t GetSize();
    virtual void SetSize(int64_t size);
    // The next count bytes where they already lie in memory, without moving
    // the position; null when the stream cannot show them in one piece.
    virtual const uint8_t* ContiguousBytes(int64_t count) { return nullptr; }
    int64_t GetPosition() { return Seek(0, TSeekOrigin::Current); }
    void SetPosition(int64_t position) { Seek(position, TSeekOrigin::Begin); }
    // Bytes between the position and the end.
    int64_t Remaining() { return GetSize() - GetPosition(); }

    // Raise EReadError / EWriteError unless all count bytes move.
    void ReadBuffer(void* buffer, int64_t count);
    void WriteBuffer(const void* buffer, int64_t count);

    // Copies count bytes from source's current position; count 0 copies the
    // whole source from its start. Returns the number copied.
    int64_t CopyFrom(TStream& source, int64_t count);
};

class TMemoryStream : public TStream {
public:
    TMemoryStream() = default;
    explicit TMemoryStream(std::vector<uint8_t> bytes) : data_(std::move(bytes)) {}

    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    int64_t GetSize() override { return static_cast<int64_t>(data_.size()); }
    void SetSize(int64_t size) override;
    const uint8_t* ContiguousBytes(int64_t count) override;

    uint8_t* Memory() { return data_.data(); }
    const uint8_t* Memory() const { return data_.data(); }
    const std::vector<uint8_t>& Bytes() const { return data_; }
    std::vector<uint8_t> TakeBytes();
    void Clear();
    void Reserve(int64_t capacity) { data_.reserve(static_cast<size_t>(capacity)); }

    void LoadFromFile(const std::string& fileName);
    void SaveToFile(const std::string& fileName);
    void LoadFromStream(TStream& source);
    void SaveToStream(TStream& target);

private:
    std::vector<uint8_t> data_;
    int64_t position_ = 0;
};

// A stream over the end of a memory stream (borrowed): it starts empty where
// the inner stream ends, and its positions and size count from there, so a
// writer can fill a record in place behind bytes already written, as it
// would a fresh stream of its own, without a copy afterwards.
class TMemoryTailStream : public TStream {
public:
    explicit TMemoryTailStream(TMemoryStream& inner);

    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    int64_t GetSize() override { return inner_.GetSize() - start_; }
    void SetSize(int64_t size) override;
    const uint8_t* ContiguousBytes(int64_t count) override;
    TMemoryStream& Inner() { return inner_; }

private:
    TMemoryStream& inner_;
    int64_t start_;
    int64_t position_ = 0;
};

enum class TFileMode { OpenRead, OpenReadWrite, Create };

class TFileStream : public TStream {
public:
    TFileStream(const std::string& fileName, TFileMode mode);
    ~TFileStream() override;
    TFileStream(const TFileStream&) = delete;
    TFileStream& operator=(const TFileStream&) = delete;

    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    int64_t GetSize() override;
    // Flushes and closes; raises EWriteError when buffered bytes cannot be written.
    void Close();
    const std::string& FileName() const { return fileName_; }

private:
    std::FILE* file_ = nullptr;
    std::string fileName_;
};

// Read-only window [start, start + length) over another stream (borrowed).
// Positions are relative to the window.
class TBoundedStream : public TStream {
public:
    TBoundedStream(TStream& inner, int64_t start, int64_t length);

    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    int64_t GetSize() override { return length_; }
    const uint8_t* ContiguousBytes(int64_t count) override;

private:
    TStream& inner_;
    int64_t start_;
    int64_t length_;
    int64_t position_ = 0;
};

// Whole-file helpers.
std::vector<uint8_t> ReadFileBytes(const std::string& fileName);
// Writes through a temporary file beside the target and renames it over the
// target, so an error never leaves a partial file or loses the old one.
// Stream errors name the target, not the temporary.
void WriteFileBytes(const std::string& fileName, const void* bytes, size_t count);
// The same with the bytes written by write into the temporary file's stream.
void WriteFileReplacing(const std::string& fileName, const std::function<void(TStream&)>& write);
