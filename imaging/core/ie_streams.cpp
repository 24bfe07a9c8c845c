#include "imaging/core/ie_streams.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "imaging/core/ie_helpers.h"
#include "platform/codepage.h"
#include "platform/errors.h"

// ---------------------------------------------------------------- TNulStream

void TNulStream::Advance(int64_t position) {
    position_ = static_cast<int32_t>(position);
    if (position_ >= size_) size_ = position_;
}

int64_t TNulStream::Read(void*, int64_t count) {
    Advance(position_ + count);
    return count;
}

int64_t TNulStream::Write(const void*, int64_t count) {
    Advance(position_ + count);
    return count;
}

int64_t TNulStream::Seek(int64_t offset, TSeekOrigin origin) {
    switch (origin) {
        case TSeekOrigin::Begin: Advance(offset); break;
        case TSeekOrigin::Current: Advance(position_ + offset); break;
        case TSeekOrigin::End: position_ = static_cast<int32_t>(size_ - offset); break;
    }
    return position_;
}

// ---------------------------------------------------------------- TIEMemStream

int64_t TIEMemStream::Read(void* buffer, int64_t count) {
    int64_t n = std::clamp<int64_t>(size_ - position_, 0, std::max<int64_t>(count, 0));
    if (n > 0) std::memcpy(buffer, memory_ + position_, static_cast<size_t>(n));
    position_ += n;
    return n;
}

int64_t TIEMemStream::Seek(int64_t offset, TSeekOrigin origin) {
    switch (origin) {
        case TSeekOrigin::Begin: position_ = offset; break;
        case TSeekOrigin::Current: position_ += offset; break;
        case TSeekOrigin::End: position_ = size_ + offset; break;
    }
    return position_;
}

// ---------------------------------------------------------------- TIEBufferedReadStream

TIEBufferedReadStream::TIEBufferedReadStream(TStream& source, bool relative, int32_t bufferSize)
    : source_(source), buffer_(static_cast<size_t>(std::max(bufferSize, 1))) {
    position_ = source.GetPosition();
    base_ = relative ? position_ : 0;
    sourceSize_ = source.GetSize();
    Fill();
}

void TIEBufferedReadStream::Fill() {
    source_.SetPosition(position_);
    source_.Read(buffer_.data(), static_cast<int64_t>(buffer_.size()));
    bufferOffset_ = 0;
}

int64_t TIEBufferedReadStream::Read(void* buffer, int64_t count) {
    const int64_t n = std::max<int64_t>(0, std::min(count, sourceSize_ - position_));
    if (n > static_cast<int64_t>(buffer_.size())) {
        buffer_.assign(static_cast<size_t>(n), 0);
        Fill();
    }
    auto* out = static_cast<uint8_t*>(buffer);
    int64_t remaining = n;
    while (remaining > 0) {
        int64_t m = std::min<int64_t>(remaining, static_cast<int64_t>(buffer_.size()) - bufferOffset_);
        std::memcpy(out, buffer_.data() + bufferOffset_, static_cast<size_t>(m));
        out += m;
        bufferOffset_ += static_cast<int32_t>(m);
        position_ += m;
        remaining -= m;
        if (remaining > 0) Fill();
    }
    return n;
}

int64_t TIEBufferedReadStream::Write(const void*, int64_t) {
    throw Exception("TIEBufferedReadStream cannot write!");
}

int64_t TIEBufferedReadStream::Seek(int64_t offset, TSeekOrigin origin) {
    int64_t target = position_;
    switch (origin) {
        case TSeekOrigin::Begin: target = base_ + offset; break;
        case TSeekOrigin::Current: target = position_ + offset; break;
        case TSeekOrigin::End: target = sourceSize_ - offset; break;
    }
    if (target != position_) {
        position_ = target;
        Fill();
    }
    return position_ - base_;
}

// ---------------------------------------------------------------- TIEWideFileStream

int TIEWideFileStream::OpenHandle(const std::u16string& fileName, uint32_t mode) {
    const bool create = (mode & 0xFFFF) == fmCreate;
    int handle = create ? IEFileCreateW(fileName) : IEFileOpenW(fileName, mode);
    if (handle >= 0) return handle;
    const std::string reason = std::strerror(errno);
    std::error_code ignored;
    const std::string full = std::filesystem::absolute(WideToUtf8(fileName), ignored).string();
    const std::string message = (create ? "Cannot create file \"" : "Cannot open file \"") + full + "\". " + reason;
    if (create) throw EFCreateError(message);
    throw EFOpenError(message);
}

TIEWideFileStream::TIEWideFileStream(const std::u16string& fileName, uint32_t mode)
    : THandleStream(OpenHandle(fileName, mode)) {}

// ---------------------------------------------------------------- TIEByteArray

TIEByteArray::TIEByteArray() { Reallocate(BlockSize, 0); }

void TIEByteArray::Reallocate(int32_t capacity, int32_t keep) {
    auto data = std::make_unique<uint8_t[]>(static_cast<size_t>(capacity));
    if (keep > 0) std::memcpy(data.get(), data_.get(), static_cast<size_t>(keep));
    data_ = std::move(data);
    capacity_ = capacity;
}

void TIEByteArray::SetSize(int32_t length) {
    length = std::max(length, 0);
    if (length > capacity_ || length < capacity_ - BlockSize) Reallocate(length + BlockSize, std::min(length, length_));
    length_ = length;
}

void TIEByteArray::AddByte(uint8_t value) {
    SetSize(length_ + 1);
    data_[static_cast<size_t>(length_ - 1)] = value;
}

int32_t TIEByteArray::AppendFromStream(TStream& stream, int32_t count) {
    const int32_t old = length_;
    SetSize(length_ + count);
    auto got = static_cast<int32_t>(stream.Read(data_.get() + old, count));
    got = std::max(got, 0);
    if (got < count) length_ = old + got;
    return got;
}

// ---------------------------------------------------------------- strings and lines

void IEWriteStrToStream(TStream& stream, const std::string& text) {
    auto length = static_cast<int32_t>(text.size());
    uint8_t bytes[4];
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<uint8_t>(static_cast<uint32_t>(length) >> (8 * i));
    stream.WriteBuffer(bytes, 4);
    IEWriteStr(stream, text);
}

void IEReadStrFromStream(TStream& stream, std::string& text) {
    uint8_t bytes[4] = {};
    stream.Read(bytes, 4);
    uint32_t length = bytes[0] | bytes[1] << 8 | bytes[2] << 16 | static_cast<uint32_t>(bytes[3]) << 24;
    if (static_cast<int64_t>(length) > stream.Remaining())
        throw EReadError("String length " + std::to_string(length) + " exceeds the stream");
    text.assign(length, '\0');
    stream.Read(text.data(), length);
}

void IEWriteStr(TStream& stream, const std::string& text) {
    if (!text.empty()) stream.WriteBuffer(text.data(), static_cast<int64_t>(text.size()));
}

void IEWriteLineLF(TStream& stream, const std::string& text) { IEWriteStr(stream, text + "\n"); }
void IEWriteLineCRLF(TStream& stream, const std::string& text) { IEWriteStr(stream, text + "\r\n"); }

char16_t* IEWStrCopy(char16_t* destination, const char16_t* source) {
    char16_t* out = destination;
    while ((*out++ = *source++) != 0) {
    }
    return destination;
}

void IEStreamWriteChecked(TStream& stream, bool& failed, const void* data, int32_t length) {
    if (stream.Write(data, length) < length) failed = true;
}

// ---------------------------------------------------------------- TIEList

void TIEList::ClearItems() {
    count_ = 0;
    data_.clear();
    data_.shrink_to_fit();
    changed_ = false;
}

void TIEList::Clear() { ClearItems(); }

void TIEList::SetCount(int32_t count) {
    count = std::max(count, 0);
    data_.resize(static_cast<size_t>(count) * static_cast<size_t>(itemSize_));
    count_ = count;
    changed_ = true;
}

void TIEList::Delete(int32_t index) {
    if (index < 0 || index >= count_) return;
    auto at = data_.begin() + static_cast<ptrdiff_t>(index) * itemSize_;
    data_.erase(at, at + itemSize_);
    --count_;
    changed_ = true;
}

int32_t TIEList::AddItem(const void* item) {
    const int32_t index = count_;
    SetCount(count_ + 1);
    std::memcpy(GetItemPtr(index), item, static_cast<size_t>(itemSize_));
    changed_ = true;
    return index;
}

void TIEList::Assign(const TIEList* source) {
    if (!source || source == this) return;
    count_ = source->count_;
    itemSize_ = source->itemSize_;
    changed_ = source->changed_;
    data_ = source->data_;
}
