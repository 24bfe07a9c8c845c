// TIEVirtualImageList: many images in one temporary file. Each item is a
// block holding its rows bottom-up and, when present, its alpha channel; a
// few blocks stay mapped (least recently used released first), freed blocks
// are reused first fit, and an item can be handed out as a shared TIEBitmap.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_file_buffer.h"

struct TIEVirtualItem {
    int64_t Position = 0;
    int64_t Size = 0;
    uint8_t* Data = nullptr;
    bool Shared = false;
    int32_t OrigWidth = 0;
    int32_t OrigHeight = 0;
    bool HasAlpha = false;
    uint8_t MappedAccess = 2;
    int32_t Width = 0;
    int32_t Height = 0;
    int32_t BitsPerPixel = 0;
    TIEPixelFormat PixelFormat = ienull;
};

class TIEVirtualImageList {
public:
    explicit TIEVirtualImageList(const std::string& prefix);
    ~TIEVirtualImageList();
    TIEVirtualImageList(const TIEVirtualImageList&) = delete;
    TIEVirtualImageList& operator=(const TIEVirtualImageList&) = delete;

    TIEVirtualItem* AddImage(TIEBaseBitmap& bitmap);
    TIEVirtualItem* AddItem(int32_t width, int32_t height, int32_t bitsPerPixel, TIEPixelFormat format, bool hasAlpha);
    void Delete(TIEVirtualItem* item);
    void CopyToIEBitmap(TIEVirtualItem* item, TIEBitmap& bitmap);
    void UpdateFromIEBitmap(TIEVirtualItem* item, TIEBitmap& bitmap);
    TIEBitmap* GetImageBitmap(TIEVirtualItem* item);
    void ReleaseBitmap(TIEBitmap* bitmap, bool writeBack);
    void ReleaseBitmapByItem(TIEVirtualItem* item, bool writeBack);
    int32_t GetItemWidth(TIEVirtualItem* item);
    int32_t GetItemHeight(TIEVirtualItem* item);
    TIEPixelFormat GetItemPixelFormat(TIEVirtualItem* item);
    uint8_t* GetItemBits(TIEVirtualItem* item);
    uint8_t* GetItemAlphaBits(TIEVirtualItem* item);
    int32_t GetItemOrigWidth(TIEVirtualItem* item) { return item->OrigWidth; }
    void SetItemOrigWidth(TIEVirtualItem* item, int32_t value) { item->OrigWidth = value; }
    int32_t GetItemOrigHeight(TIEVirtualItem* item) { return item->OrigHeight; }
    void SetItemOrigHeight(TIEVirtualItem* item, int32_t value) { item->OrigHeight = value; }
    void Clear();

    int64_t FileSize() const { return fileSize_; }
    int32_t GrowthStep() const { return growthStep_; }
    int32_t MappedCount() const { return static_cast<int32_t>(mapped_.size()); }
    int32_t MaxMapped = 10;
    size_t FreeBlockCount() const { return freeBlocks_.size(); }
    const TIEFileBuffer& FileBuffer() const { return fileBuffer_; }

private:
    struct FreeBlock {
        int64_t Position;
        int64_t Size;
    };
    struct SharedBitmap {
        TIEVirtualItem* Item;
        std::unique_ptr<TIEBitmap> Bitmap;
        int32_t RefCount;
    };
    void ResetFile(bool keepFreeBlocks = false);
    void MapItem(TIEVirtualItem* item, uint8_t access);
    void UnmapItem(TIEVirtualItem* item);
    void UnmapOldest();
    void UnmapAllItems();
    void AllocateItem(TIEVirtualItem* item, int32_t width, int32_t height, int32_t bitsPerPixel, TIEPixelFormat format,
                      bool hasAlpha);
    void RemoveItem(size_t index);
    SharedBitmap* FindShared(TIEVirtualItem* item);
    void WriteImage(TIEVirtualItem* item, TIEBaseBitmap& bitmap);

    TIEFileBuffer fileBuffer_;
    int64_t fileSize_ = 262144;
    std::vector<std::unique_ptr<TIEVirtualItem>> items_;
    std::vector<TIEVirtualItem*> mapped_;  // least recently used first
    std::vector<FreeBlock> freeBlocks_;
    int64_t appendPosition_ = 0;
    int32_t growthStep_ = 262144;
    std::vector<SharedBitmap> shared_;
    int32_t lastBlockSize_ = 0;
    std::string prefix_;
};
