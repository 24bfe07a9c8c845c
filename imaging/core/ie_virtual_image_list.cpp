#include "imaging/core/ie_virtual_image_list.h"

#include <algorithm>
#include <cstring>

namespace {

int64_t BlockSize(int32_t width, int32_t height, int32_t bitsPerPixel, bool hasAlpha) {
    int64_t size = int64_t{height} * IEBitmapRowLen(width, bitsPerPixel, 32);
    if (hasAlpha) size += int64_t{height} * IEBitmapRowLen(width, 8, 32) + 1;
    return size;
}

}  // namespace

TIEVirtualImageList::TIEVirtualImageList(const std::string& prefix) : prefix_(prefix) { ResetFile(); }

TIEVirtualImageList::~TIEVirtualImageList() { Clear(); }

void TIEVirtualImageList::ResetFile(bool keepFreeBlocks) {
    if (!keepFreeBlocks) freeBlocks_.clear();
    if (fileBuffer_.IsAllocated()) {
        UnmapAllItems();
        fileBuffer_.ResizeFile(fileSize_);
    } else {
        Clear();
        fileBuffer_.AllocateFile(prefix_, fileSize_);
    }
}

void TIEVirtualImageList::MapItem(TIEVirtualItem* item, uint8_t access) {
    if (item->Data && access != item->MappedAccess) UnmapItem(item);
    if (!item->Data) {
        while (static_cast<int32_t>(mapped_.size()) > MaxMapped) UnmapOldest();
        item->Data = fileBuffer_.Map(access, item->Position, item->Size);
        if (item->Data) mapped_.push_back(item);
        item->MappedAccess = access;
    } else {
        auto it = std::find(mapped_.begin(), mapped_.end(), item);
        if (it != mapped_.end()) std::rotate(it, it + 1, mapped_.end());
    }
}

void TIEVirtualImageList::UnmapItem(TIEVirtualItem* item) {
    if (!item->Data) return;
    fileBuffer_.Unmap(item->Data);
    mapped_.erase(std::remove(mapped_.begin(), mapped_.end(), item), mapped_.end());
    item->Data = nullptr;
}

void TIEVirtualImageList::UnmapOldest() {
    if (!mapped_.empty()) UnmapItem(mapped_.front());
}

void TIEVirtualImageList::UnmapAllItems() {
    while (!mapped_.empty()) UnmapOldest();
}

void TIEVirtualImageList::AllocateItem(TIEVirtualItem* item, int32_t width, int32_t height, int32_t bitsPerPixel,
                                       TIEPixelFormat format, bool hasAlpha) {
    const int64_t size = BlockSize(width, height, bitsPerPixel, hasAlpha);
    auto fit = std::find_if(freeBlocks_.begin(), freeBlocks_.end(), [&](const FreeBlock& b) { return b.Size >= size; });
    if (fit != freeBlocks_.end()) {
        item->Position = fit->Position;
        freeBlocks_.erase(fit);
    } else {
        if (size > growthStep_) {
            growthStep_ = static_cast<int32_t>(std::min<int64_t>(size + lastBlockSize_, INT32_MAX));
            lastBlockSize_ = static_cast<int32_t>(std::min<int64_t>(size, INT32_MAX));
        }
        item->Position = appendPosition_;
        if (appendPosition_ + size > fileSize_) {
            fileSize_ += growthStep_;
            // Growing keeps the free blocks: they still lie inside the file.
            ResetFile(true);
        }
        appendPosition_ += size;
    }
    item->Size = size;
    item->Width = width;
    item->Height = height;
    item->BitsPerPixel = bitsPerPixel;
    item->PixelFormat = format;
    item->HasAlpha = hasAlpha;
    item->OrigWidth = width;
    item->OrigHeight = height;
    item->Data = nullptr;
    item->Shared = false;
    item->MappedAccess = 2;
    MapItem(item, 2);
}

TIEVirtualItem* TIEVirtualImageList::AddItem(int32_t width, int32_t height, int32_t bitsPerPixel, TIEPixelFormat format,
                                             bool hasAlpha) {
    items_.push_back(std::make_unique<TIEVirtualItem>());
    TIEVirtualItem* item = items_.back().get();
    AllocateItem(item, width, height, bitsPerPixel, format, hasAlpha);
    return item;
}

void TIEVirtualImageList::WriteImage(TIEVirtualItem* item, TIEBaseBitmap& bitmap) {
    if (!item->Data) return;
    auto* ie = dynamic_cast<TIEBitmap*>(&bitmap);
    const int32_t rowLen = IEBitmapRowLen(item->Width, item->BitsPerPixel, 32);
    const auto copy = static_cast<size_t>(std::min(rowLen, bitmap.GetRowLen()));
    uint8_t* out = item->Data;
    for (int32_t y = item->Height - 1; y >= 0; --y, out += rowLen) std::memcpy(out, bitmap.GetScanline(y), copy);
    if (ie) ie->UnmapAllRows();
    if (item->HasAlpha && ie) {
        TIEBitmap* alpha = ie->GetAlphaChannel();
        *out++ = alpha->FullOpacity() ? 1 : 0;
        const int32_t alphaLen = IEBitmapRowLen(item->Width, 8, 32);
        const auto alphaCopy = static_cast<size_t>(std::min(alphaLen, alpha->GetRowLen()));
        for (int32_t y = item->Height - 1; y >= 0; --y, out += alphaLen) std::memcpy(out, alpha->GetScanline(y), alphaCopy);
        alpha->UnmapAllRows();
    }
}

TIEVirtualItem* TIEVirtualImageList::AddImage(TIEBaseBitmap& bitmap) {
    auto* ie = dynamic_cast<TIEBitmap*>(&bitmap);
    const bool hasAlpha = ie && ie->GetHasAlphaChannel();
    TIEVirtualItem* item =
        AddItem(bitmap.GetWidth(), bitmap.GetHeight(), bitmap.GetBitCount(), bitmap.GetPixelFormat(), hasAlpha);
    WriteImage(item, bitmap);
    return item;
}

void TIEVirtualImageList::CopyToIEBitmap(TIEVirtualItem* item, TIEBitmap& bitmap) {
    MapItem(item, 1);
    if (!item->Data) return;
    if (bitmap.GetPixelFormat() != item->PixelFormat || bitmap.GetWidth() != item->Width ||
        bitmap.GetHeight() != item->Height)
        bitmap.Allocate(item->Width, item->Height, item->PixelFormat);
    const int32_t rowLen = IEBitmapRowLen(item->Width, item->BitsPerPixel, 32);
    const auto copy = static_cast<size_t>(std::min(rowLen, bitmap.GetRowLen()));
    const uint8_t* in = item->Data;
    for (int32_t y = item->Height - 1; y >= 0; --y, in += rowLen) std::memcpy(bitmap.GetScanline(y), in, copy);
    bitmap.UnmapAllRows();
    if (!item->HasAlpha || *in != 0) {
        bitmap.RemoveAlphaChannel(false, clWhite);
        return;
    }
    ++in;
    TIEBitmap* alpha = bitmap.GetAlphaChannel();
    alpha->SetFullOpacity(false);
    const int32_t alphaLen = IEBitmapRowLen(item->Width, 8, 32);
    const auto alphaCopy = static_cast<size_t>(std::min(alphaLen, alpha->GetRowLen()));
    for (int32_t y = item->Height - 1; y >= 0; --y, in += alphaLen) std::memcpy(alpha->GetScanline(y), in, alphaCopy);
    alpha->UnmapAllRows();
}

void TIEVirtualImageList::UpdateFromIEBitmap(TIEVirtualItem* item, TIEBitmap& bitmap) {
    MapItem(item, 3);
    if (!item->Data) return;
    if (bitmap.GetWidth() != item->Width || bitmap.GetHeight() != item->Height ||
        bitmap.GetBitCount() != item->BitsPerPixel || bitmap.GetHasAlphaChannel() != item->HasAlpha) {
        UnmapItem(item);
        // The old block goes back to the free list rather than being lost.
        freeBlocks_.push_back(FreeBlock{item->Position, item->Size});
        AllocateItem(item, bitmap.GetWidth(), bitmap.GetHeight(), bitmap.GetBitCount(), bitmap.GetPixelFormat(),
                     bitmap.GetHasAlphaChannel());
    }
    item->PixelFormat = bitmap.GetPixelFormat();
    WriteImage(item, bitmap);
}

void TIEVirtualImageList::RemoveItem(size_t index) {
    TIEVirtualItem* item = items_[index].get();
    shared_.erase(std::remove_if(shared_.begin(), shared_.end(), [&](const SharedBitmap& s) { return s.Item == item; }),
                  shared_.end());
    UnmapItem(item);
    items_.erase(items_.begin() + static_cast<ptrdiff_t>(index));
}

void TIEVirtualImageList::Delete(TIEVirtualItem* item) {
    auto it = std::find_if(items_.begin(), items_.end(), [&](const auto& p) { return p.get() == item; });
    if (it == items_.end()) return;
    freeBlocks_.push_back(FreeBlock{item->Position, item->Size});
    RemoveItem(static_cast<size_t>(it - items_.begin()));
    if (items_.empty()) {
        fileSize_ = growthStep_;
        appendPosition_ = 0;
        ResetFile();
    }
}

TIEVirtualImageList::SharedBitmap* TIEVirtualImageList::FindShared(TIEVirtualItem* item) {
    for (SharedBitmap& s : shared_)
        if (s.Item == item) return &s;
    return nullptr;
}

TIEBitmap* TIEVirtualImageList::GetImageBitmap(TIEVirtualItem* item) {
    MapItem(item, 1);
    if (!item->Data) return nullptr;
    SharedBitmap* shared = FindShared(item);
    if (!shared) {
        shared_.push_back(SharedBitmap{item, std::make_unique<TIEBitmap>(), 1});
        shared = &shared_.back();
        CopyToIEBitmap(item, *shared->Bitmap);
    } else {
        ++shared->RefCount;
    }
    item->Shared = true;
    return shared->Bitmap.get();
}

void TIEVirtualImageList::ReleaseBitmap(TIEBitmap* bitmap, bool writeBack) {
    if (!bitmap) return;
    if (bitmap->GetLocation() == ieTBitmap) bitmap->SyncFromTBitmap();
    auto it = std::find_if(shared_.begin(), shared_.end(), [&](const SharedBitmap& s) { return s.Bitmap.get() == bitmap; });
    if (it == shared_.end()) return;
    --it->RefCount;
    if (writeBack) UpdateFromIEBitmap(it->Item, *bitmap);
    if (it->RefCount <= 0) {
        it->Item->Shared = false;
        shared_.erase(it);
    }
}

void TIEVirtualImageList::ReleaseBitmapByItem(TIEVirtualItem* item, bool writeBack) {
    if (SharedBitmap* shared = FindShared(item)) ReleaseBitmap(shared->Bitmap.get(), writeBack);
}

int32_t TIEVirtualImageList::GetItemWidth(TIEVirtualItem* item) {
    SharedBitmap* shared = FindShared(item);
    return shared ? shared->Bitmap->GetWidth() : item->Width;
}

int32_t TIEVirtualImageList::GetItemHeight(TIEVirtualItem* item) {
    SharedBitmap* shared = FindShared(item);
    return shared ? shared->Bitmap->GetHeight() : item->Height;
}

TIEPixelFormat TIEVirtualImageList::GetItemPixelFormat(TIEVirtualItem* item) {
    SharedBitmap* shared = FindShared(item);
    return shared ? shared->Bitmap->GetPixelFormat() : item->PixelFormat;
}

uint8_t* TIEVirtualImageList::GetItemBits(TIEVirtualItem* item) {
    if (SharedBitmap* shared = FindShared(item)) return shared->Bitmap->GetScanline(shared->Bitmap->GetHeight() - 1);
    MapItem(item, 1);
    return item->Data;
}

uint8_t* TIEVirtualImageList::GetItemAlphaBits(TIEVirtualItem* item) {
    if (!item->HasAlpha) return nullptr;
    MapItem(item, 1);
    if (!item->Data) return nullptr;
    uint8_t* full = item->Data + int64_t{item->Height} * IEBitmapRowLen(item->Width, item->BitsPerPixel, 32);
    return *full != 0 ? nullptr : full + 1;
}

void TIEVirtualImageList::Clear() {
    while (!items_.empty()) RemoveItem(items_.size() - 1);
    mapped_.clear();
    freeBlocks_.clear();
    shared_.clear();
    fileBuffer_.Close();
    appendPosition_ = 0;
}
