#include "imaging/core/ie_bitmap.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "imaging/core/ie_helpers.h"
#include "platform/global_memory.h"
#include "platform/mathutil.h"

// ---------------------------------------------------------------- free functions

int32_t IEBitmapRowLen(int32_t width, int32_t bitsPerPixel, int32_t alignment) {
    // 64-bit arithmetic: a row that does not fit a 32-bit length gives 0,
    // which no allocation accepts, instead of a wrapped small length.
    int64_t bits = int64_t{width} * bitsPerPixel;
    int64_t length;
    if (alignment == 32) length = ((bits + 31) >> 5) * 4;
    else if (alignment >= 8) length = ((bits + alignment - 1) / alignment) * (alignment / 8);
    else length = (bits + 7) / 8;
    return length > INT32_MAX || length < 0 ? 0 : static_cast<int32_t>(length);
}

int32_t IEVclPixelFormatBits(TPixelFormat format) {
    switch (format) {
        case TPixelFormat::pf1bit: return 1;
        case TPixelFormat::pf4bit: return 4;
        case TPixelFormat::pf8bit: return 8;
        case TPixelFormat::pf15bit: return 15;
        case TPixelFormat::pf16bit: return 16;
        case TPixelFormat::pf24bit: return 24;
        case TPixelFormat::pf32bit: return 32;
        default: return 0;
    }
}

int32_t IEVclRowLen(int32_t width, TPixelFormat format) {
    return IEBitmapRowLen(width, IEVclPixelFormatBits(format), 32);
}

void* IEAutoAlloc(size_t size) {
    if (size > SIZE_MAX - 4) return nullptr;
    uint8_t* block = nullptr;
    if (size < kIEAutoAllocGlobalFrom) {
        block = static_cast<uint8_t*>(std::calloc(1, size + 4));
        if (block) {
            block[0] = 0;
            return block + 1;
        }
    }
    block = static_cast<uint8_t*>(GlobalAllocZero(size + 4));
    if (!block) return nullptr;
    block[0] = 1;
    return block + 1;
}

void IEAutoFree(void*& block) {
    if (!block) return;
    uint8_t* start = static_cast<uint8_t*>(block) - 1;
    if (start[0]) GlobalFreeBlock(start);
    else std::free(start);
    block = nullptr;
}

namespace {

void FreeBlock(void* block, uint8_t mode) {
    switch (mode) {
        case 0: std::free(block); break;
        case 1: GlobalFreeBlock(block); break;
        default: IEAutoFree(block); break;
    }
}

// The toolkit format a pixel format is held in at ieTBitmap; message is set
// for the formats the toolkit bitmap cannot hold.
TPixelFormat ToolkitFormat(TIEPixelFormat format, const char*& message) {
    message = nullptr;
    switch (format) {
        case ie1g: return TPixelFormat::pf1bit;
        case ie8p:
        case ie8g:
        case ie16g: return TPixelFormat::pf8bit;
        case ie24RGB: return TPixelFormat::pf24bit;
        case ie32RGB: return TPixelFormat::pf32bit;
        case ie32f: message = "ie32f pixel format not allowed when Location=ieTBitmap"; break;
        case ieCMYK: message = "ieCMYK pixel format not allowed when Location=ieTBitmap"; break;
        case ieRGB48: message = "ieRGB48 pixel format not allowed when Location=ieTBitmap"; break;
        case ieCIELab: message = "ieCIELab pixel format not allowed when Location=ieTBitmap"; break;
        default: break;
    }
    return TPixelFormat::pfDevice;
}

int64_t DefaultMemoryThreshold() {
    if (IEDefaultMemoryThreshold != -1) return IEDefaultMemoryThreshold;
    int64_t total = IEGetTotalPhysicalMemory();
    return total ? static_cast<int64_t>(Trunc(static_cast<double>(total) / 1.3)) : int64_t{33554432};
}

// floor(a / 256) for negative a too.
inline int FloorDiv256(int a) { return a >= 0 ? a / 256 : -((-a + 255) / 256); }

// The source's access mode read-only and the destination's write-only for a
// copy, both restored afterwards.
class CopyAccess {
public:
    CopyAccess(TIEBaseBitmap& source, TIEBaseBitmap& destination)
        : source_(source), destination_(destination), sourceMode_(source.AccessMode),
          destinationMode_(destination.AccessMode) {
        source.AccessMode = TIEFileBuffer::kRead;
        destination.AccessMode = TIEFileBuffer::kWrite;
    }
    ~CopyAccess() {
        source_.AccessMode = sourceMode_;
        destination_.AccessMode = destinationMode_;
    }

private:
    TIEBaseBitmap& source_;
    TIEBaseBitmap& destination_;
    uint8_t sourceMode_, destinationMode_;
};

}  // namespace

// ---------------------------------------------------------------- construction

TIEBitmap::TIEBitmap() : MemoryThreshold(DefaultMemoryThreshold()), fileBuffer_(std::make_unique<TIEFileBuffer>()) {}

TIEBitmap::TIEBitmap(int32_t width, int32_t height, TIEPixelFormat format) : TIEBitmap() {
    Allocate(width, height, format);
}

std::unique_ptr<TIEBitmap> TIEBitmap::CreateAlpha(int32_t width, int32_t height, TIELocation location) {
    auto alpha = std::make_unique<TIEBitmap>();
    alpha->isAlpha_ = true;
    alpha->location_ = location == ieTBitmap ? ieMemory : location;
    alpha->Allocate(width, height, ie8g);
    alpha->Fill(255.0);
    return alpha;
}

TIEBitmap::~TIEBitmap() { FreeImage(true); }

// ---------------------------------------------------------------- queries

int32_t TIEBitmap::GetBitCount() {
    if (location_ == ieTBitmap) SyncFromTBitmap();
    return bitCount_;
}

int32_t TIEBitmap::GetHeight() {
    if (location_ == ieTBitmap) SyncFromTBitmap();
    return height_;
}

int32_t TIEBitmap::GetWidth() {
    if (location_ == ieTBitmap) SyncFromTBitmap();
    return width_;
}

TIEPixelFormat TIEBitmap::GetPixelFormat() {
    if (location_ == ieTBitmap) SyncFromTBitmap();
    return pixelFormat_;
}

int32_t TIEBitmap::GetRowLen() {
    if (location_ == ieTBitmap) SyncFromTBitmap();
    return rowLen_;
}

int32_t TIEBitmap::GetChannelCount() {
    if (location_ == ieTBitmap) SyncFromTBitmap();
    return channelCount_;
}

void TIEBitmap::GetPaletteColor(int32_t index, TRGB& color) {
    if (index >= 0 && index < paletteLength_) color = palette_[static_cast<size_t>(index)];
}

void TIEBitmap::SetPaletteColor(int32_t index, TRGB color) {
    if (index < 0 || index >= paletteLength_) return;
    palette_[static_cast<size_t>(index)] = color;
    UpdateTBitmapPalette();
}

void TIEBitmap::RefreshFormatInfo() {
    int format = pixelFormat_ < kIEPixelFormatCount ? pixelFormat_ : 0;
    bitCount_ = IEBitsPerPixel[format];
    channelCount_ = IEChannelsPerPixel[format];
    rowLen_ = IEBitmapRowLen(width_, bitCount_, rowAlignment_);
}

// ---------------------------------------------------------------- storage

bool TIEBitmap::Allocate(int32_t width, int32_t height, TIEPixelFormat format) {
    if (!needsRealloc_ && width == width_ && height == height_ && format == pixelFormat_) return true;
    if (!vclBitmapBorrowed_) FreeImage(true);
    else alphaChannel_.reset();
    width_ = width;
    height_ = height;
    pixelFormat_ = format;
    bool result = AllocateStorage();
    if (!result) width_ = height_ = 0;
    needsRealloc_ = false;
    return result;
}

bool TIEBitmap::AllocateStorage() {
    allocationError_.clear();
    if (width_ < 1 || height_ < 1 || pixelFormat_ == ienull || pixelFormat_ >= kIEPixelFormatCount) return false;
    if (pixelFormat_ == ie8p) {
        palette_ = std::make_unique<TRGB[]>(256);
        paletteLength_ = 256;
    }
    RefreshFormatInfo();
    if (rowLen_ == 0) return false;
    int64_t size = int64_t{rowLen_} * height_;
    if (location_ == ieFile && size < MemoryThreshold) location_ = ieMemory;
    else if (location_ == ieMemory && size > MemoryThreshold) location_ = ieFile;

    if (location_ == ieFile && !fileBuffer_->AllocateFile("IMG", size)) {
        fileBuffer_->Close();
        location_ = ieMemory;
    }
    if (location_ == ieMemory) {
        if (static_cast<uint64_t>(size) > SIZE_MAX - 32) return false;
        auto bytes = static_cast<size_t>(size) + 32;
        void* block = nullptr;
        switch (AllocatorMode) {
            case 0: block = std::malloc(bytes); break;
            case 1: block = GlobalAllocZero(bytes); break;
            default: block = IEAutoAlloc(bytes); break;
        }
        if (!block) return false;
        memoryBlock_ = block;
        blockMode_ = AllocatorMode;
        memory_ = AlignUp(block, 32);
    }
    if (location_ == ieTBitmap && !SetUpTBitmap()) return false;
    fullOpacity_ = false;
    return true;
}

bool TIEBitmap::SetUpTBitmap() {
    if (!vclBitmapBorrowed_) {
        ownedVclBitmap_ = std::make_unique<TBitmap>();
        vclBitmap_ = ownedVclBitmap_.get();
    }
    try {
        vclBitmap_->SetSize(1, 1);
        vclBitmap_->SetPixelFormat(TPixelFormat::pfDevice);
        const char* message;
        TPixelFormat format = ToolkitFormat(pixelFormat_, message);
        if (message) throw Exception(message);
        vclBitmap_->SetPixelFormat(format);
        if (pixelFormat_ == ie16g) {
            pixelFormat_ = ie8g;
            RefreshFormatInfo();
        }
        vclBitmap_->SetSize(width_, height_);
    } catch (const std::exception& error) {
        allocationError_ = error.what();
        return false;
    }
    if (pixelFormat_ == ie8g) IESetGrayPalette(*vclBitmap_);
    BuildRowCache();
    return true;
}

void TIEBitmap::FreeImage(bool freeAlpha) {
    if (freeAlpha) alphaChannel_.reset();
    palette_.reset();
    UnmapAllRows();
    fileBuffer_->Close();
    if (!memoryBorrowed_ && memory_ && memoryBlock_) FreeBlock(memoryBlock_, blockMode_);
    if (!vclBitmapBorrowed_) ownedVclBitmap_.reset();
    FreeRowCache();
    memory_ = nullptr;
    memoryBlock_ = nullptr;
    vclBitmap_ = nullptr;
    paletteLength_ = width_ = height_ = rowLen_ = bitCount_ = channelCount_ = 0;
    fullOpacity_ = vclBitmapBorrowed_ = memoryBorrowed_ = false;
}

void TIEBitmap::EncapsulateTBitmap(TBitmap* bitmap, bool freeFirst) {
    if (freeFirst) FreeImage(true);
    if (!bitmap) return;
    width_ = bitmap->Width();
    height_ = bitmap->Height();
    switch (bitmap->PixelFormat()) {
        case TPixelFormat::pf1bit: pixelFormat_ = ie1g; break;
        case TPixelFormat::pf24bit: pixelFormat_ = ie24RGB; break;
        case TPixelFormat::pf32bit: pixelFormat_ = ie32RGB; break;
        default: break;  // settled by SyncFromTBitmap
    }
    RefreshFormatInfo();
    location_ = ieTBitmap;
    vclBitmapBorrowed_ = true;
    vclBitmap_ = bitmap;
    BuildRowCache();
}

void TIEBitmap::EncapsulateMemory(uint8_t* memory, int32_t width, int32_t height, TIEPixelFormat format,
                                  bool freeFirst) {
    if (freeFirst) FreeImage(true);
    if (!memory) return;
    width_ = width;
    height_ = height;
    pixelFormat_ = format;
    RefreshFormatInfo();
    location_ = ieMemory;
    memoryBorrowed_ = true;
    memory_ = memory;
    memoryBlock_ = memory;
    BuildRowCache();
}

void TIEBitmap::SyncFromTBitmap() {
    if (!vclBitmap_) return;
    // The library addresses 1, 8, 24 and 32-bit rows only: a toolkit bitmap of
    // another depth is widened to 24 bits (its picture kept) rather than read
    // with a row length it does not have.
    switch (vclBitmap_->PixelFormat()) {
        case TPixelFormat::pf1bit:
        case TPixelFormat::pf8bit:
        case TPixelFormat::pf24bit:
        case TPixelFormat::pf32bit: break;
        default: vclBitmap_->SetPixelFormat(TPixelFormat::pf24bit); break;
    }
    TIEPixelFormat format;
    switch (vclBitmap_->PixelFormat()) {
        case TPixelFormat::pf1bit: format = ie1g; break;
        case TPixelFormat::pf8bit: format = isAlpha_ || IEIsGrayPalette(*vclBitmap_) ? ie8g : ie8p; break;
        case TPixelFormat::pf32bit: format = ie32RGB; break;
        default: format = ie24RGB; break;
    }
    if (vclBitmap_->Width() != width_ || vclBitmap_->Height() != height_ || format != pixelFormat_) {
        width_ = vclBitmap_->Width();
        height_ = vclBitmap_->Height();
        pixelFormat_ = format;
        RefreshFormatInfo();
        if (alphaChannel_ && (alphaChannel_->width_ != width_ || alphaChannel_->height_ != height_))
            alphaChannel_->Allocate(width_, height_, ie8g);
        BuildRowCache();
    }
    if (height_ > 0 && (rowCache_.size() != static_cast<size_t>(height_) || vclBitmap_->ScanLine(0) != rowCache_[0]))
        BuildRowCache();
    if (pixelFormat_ == ie8p) {
        if (!palette_) {
            palette_ = std::make_unique<TRGB[]>(256);
            paletteLength_ = 256;
        }
        // The entries are copied here, not through IECopyTBitmapPalette,
        // whose format query would come back to this synchronisation.
        TPaletteEntry entries[256];
        int n = vclBitmap_->GetPaletteEntries(0, 256, entries);
        for (int i = 0; i < n; ++i) palette_[i] = IECreateRGB(entries[i].peRed, entries[i].peGreen, entries[i].peBlue);
    }
}

void TIEBitmap::BuildRowCache() {
    FreeRowCache();
    if (!vclBitmap_) return;
    rowCache_.resize(static_cast<size_t>(vclBitmap_->Height()));
    for (int32_t r = 0; r < vclBitmap_->Height(); ++r) rowCache_[static_cast<size_t>(r)] = vclBitmap_->ScanLine(r);
}

void TIEBitmap::UpdateTBitmapPalette() {
    if (location_ != ieTBitmap || paletteLength_ < 1 || !vclBitmap_ || !palette_) return;
    std::vector<TPaletteEntry> entries(static_cast<size_t>(paletteLength_));
    for (int32_t i = 0; i < paletteLength_; ++i) {
        const TRGB& c = palette_[static_cast<size_t>(i)];
        entries[static_cast<size_t>(i)] = {c.r, c.g, c.b, 0};
    }
    vclBitmap_->SetPaletteEntries(0, paletteLength_, entries.data());
}

// ---------------------------------------------------------------- rows

void TIEBitmap::ReleaseCurrentRow() {
    if (!currentRow_) return;
    fileBuffer_->Unmap(currentRow_);
    currentRow_ = nullptr;
}

uint8_t* TIEBitmap::GetScanline(int32_t row) {
    switch (location_) {
        case ieMemory: return memory_ + static_cast<size_t>(rowLen_) * static_cast<size_t>(height_ - row - 1);
        case ieTBitmap: return rowCache_[static_cast<size_t>(row)];
        default:
            ReleaseCurrentRow();
            currentRow_ = fileBuffer_->Map(AccessMode, int64_t{rowLen_} * row, rowLen_);
            return currentRow_;
    }
}

uint8_t* TIEBitmap::MapRow(int32_t row) {
    if (location_ != ieFile) return GetScanline(row);
    ReleaseCurrentRow();
    uint8_t* data = fileBuffer_->Map(AccessMode, int64_t{rowLen_} * row, rowLen_);
    mappedRows_.push_back(data);
    mappedRowIndexes_.push_back(row);
    return data;
}

void TIEBitmap::UnmapRow(int32_t row) {
    if (location_ != ieFile) return;
    auto found = std::find(mappedRowIndexes_.begin(), mappedRowIndexes_.end(), row);
    if (found == mappedRowIndexes_.end()) return;
    auto index = found - mappedRowIndexes_.begin();
    fileBuffer_->Unmap(mappedRows_[static_cast<size_t>(index)]);
    mappedRows_.erase(mappedRows_.begin() + index);
    mappedRowIndexes_.erase(found);
}

void TIEBitmap::UnmapAllRows() {
    ReleaseCurrentRow();
    while (!mappedRows_.empty()) {
        fileBuffer_->Unmap(mappedRows_.back());
        mappedRows_.pop_back();
    }
    mappedRowIndexes_.clear();
}

// ---------------------------------------------------------------- alpha

TIEBitmap* TIEBitmap::GetAlphaChannel() {
    if (isAlpha_) return nullptr;
    if (!alphaChannel_) alphaChannel_ = CreateAlpha(width_, height_, location_);
    return alphaChannel_.get();
}

void TIEBitmap::SetAlphaChannel(std::unique_ptr<TIEBitmap> alpha) {
    if (alpha) alpha->isAlpha_ = true;
    alphaChannel_ = std::move(alpha);
}

void TIEBitmap::RemoveAlphaChannel(bool merge, TColor background) {
    if (isAlpha_ || !alphaChannel_) return;
    if (merge && pixelFormat_ == ie24RGB) {
        TRGB bg = IEColorToRGB(background);
        for (int32_t y = 0; y < height_; ++y) {
            const uint8_t* alpha = alphaChannel_->GetScanline(y);
            uint8_t* p = GetScanline(y);
            for (int32_t x = 0; x < width_; ++x, p += 3) {
                int a = alpha[x];
                p[0] = static_cast<uint8_t>(bg.b + FloorDiv256((p[0] - bg.b) * a));
                p[1] = static_cast<uint8_t>(bg.g + FloorDiv256((p[1] - bg.g) * a));
                p[2] = static_cast<uint8_t>(bg.r + FloorDiv256((p[2] - bg.r) * a));
            }
        }
        if (location_ == ieFile) ReleaseCurrentRow();
    }
    alphaChannel_.reset();
}

// ---------------------------------------------------------------- storage changes and copies

void TIEBitmap::MoveContentTo(TIEBitmap& destination) {
    if (&destination == this) return;
    destination.FreeImage(true);
    destination.width_ = width_;
    destination.height_ = height_;
    destination.bitCount_ = bitCount_;
    destination.channelCount_ = channelCount_;
    destination.currentRow_ = currentRow_;
    destination.rowLen_ = rowLen_;
    destination.pixelFormat_ = pixelFormat_;
    destination.palette_ = std::move(palette_);
    destination.paletteLength_ = paletteLength_;
    destination.alphaChannel_ = std::move(alphaChannel_);
    destination.isAlpha_ = isAlpha_;
    destination.memory_ = memory_;
    destination.memoryBlock_ = memoryBlock_;
    destination.blockMode_ = blockMode_;
    destination.vclBitmap_ = vclBitmap_;
    destination.ownedVclBitmap_ = std::move(ownedVclBitmap_);
    destination.location_ = location_;
    destination.fullOpacity_ = fullOpacity_;
    destination.vclBitmapBorrowed_ = vclBitmapBorrowed_;
    destination.memoryBorrowed_ = memoryBorrowed_;
    destination.rowCache_ = std::move(rowCache_);
    destination.fileBuffer_ = std::move(fileBuffer_);
    destination.mappedRows_ = std::move(mappedRows_);
    destination.mappedRowIndexes_ = std::move(mappedRowIndexes_);
    destination.BilevelMethod = BilevelMethod;
    destination.rowAlignment_ = rowAlignment_;
    destination.AllocatorMode = AllocatorMode;

    fileBuffer_ = std::make_unique<TIEFileBuffer>();
    mappedRows_.clear();
    mappedRowIndexes_.clear();
    rowCache_.clear();
    currentRow_ = nullptr;
    memory_ = nullptr;
    memoryBlock_ = nullptr;
    vclBitmap_ = nullptr;
    width_ = height_ = bitCount_ = channelCount_ = rowLen_ = paletteLength_ = 0;
    pixelFormat_ = ienull;
    fullOpacity_ = vclBitmapBorrowed_ = memoryBorrowed_ = false;
    needsRealloc_ = true;
}

void TIEBitmap::CopyRowsFrom(TIEBitmap& source) {
    CopyAccess access(source, *this);
    int32_t sourceRowLen = source.GetRowLen();
    // A 16-bit gray image held in an 8-bit toolkit bitmap keeps the high byte
    // of each sample, not the first bytes of its row.
    if (source.pixelFormat_ == ie16g && pixelFormat_ == ie8g) {
        for (int32_t r = 0; r < height_; ++r) {
            const uint8_t* from = source.GetScanline(r);
            uint8_t* to = GetScanline(r);
            for (int32_t x = 0; x < width_; ++x) to[x] = from[2 * x + 1];
        }
    } else if (location_ == ieFile && source.location_ == ieFile && sourceRowLen == rowLen_) {
        UnmapAllRows();
        source.UnmapAllRows();
        source.fileBuffer_->CopyTo(*fileBuffer_, 0, int64_t{rowLen_} * height_);
    } else {
        size_t bytes = static_cast<size_t>(std::min(rowLen_, sourceRowLen));
        for (int32_t r = 0; r < std::min(height_, source.height_); ++r) {
            const uint8_t* from = source.GetScanline(r);
            std::memcpy(GetScanline(r), from, bytes);
        }
    }
    UnmapAllRows();
    source.UnmapAllRows();
}

void TIEBitmap::CopyPaletteFrom(TIEBitmap& source) {
    for (int32_t i = 0; i < std::min(paletteLength_, source.paletteLength_); ++i) palette_[i] = source.palette_[i];
    UpdateTBitmapPalette();
}

void TIEBitmap::CopyImageFrom(TIEBitmap& old) {
    if (IsEmpty()) return;
    CopyRowsFrom(old);
    CopyPaletteFrom(old);
}

void TIEBitmap::SetLocation(TIELocation location) {
    if (location == location_) return;
    needsRealloc_ = true;
    if (location_ == ieTBitmap) SyncFromTBitmap();
    TIEBitmap old;
    MoveContentTo(old);
    location_ = location;
    Allocate(old.width_, old.height_, old.pixelFormat_);
    CopyImageFrom(old);
    isAlpha_ = old.isAlpha_;
    alphaChannel_ = std::move(old.alphaChannel_);
}

TBitmap* TIEBitmap::GetTBitmap() {
    SetLocation(ieTBitmap);
    return vclBitmap_;
}

void TIEBitmap::SetWidth(int32_t width) { ResizeKeeping(width, height_); }

void TIEBitmap::SetHeight(int32_t height) { ResizeKeeping(width_, height); }

void TIEBitmap::ResizeKeeping(int32_t width, int32_t height) {
    if (width == width_ && height == height_) return;
    if (alphaChannel_) alphaChannel_->ResizeKeeping(width, height);
    if (location_ == ieTBitmap) {
        if (!vclBitmap_) {
            ownedVclBitmap_ = std::make_unique<TBitmap>();
            vclBitmap_ = ownedVclBitmap_.get();
        }
        vclBitmap_->SetSize(width, height);  // the toolkit bitmap keeps its pixels
        width_ = vclBitmap_->Width();
        height_ = vclBitmap_->Height();
        RefreshFormatInfo();
        BuildRowCache();
        return;
    }
    bool otherSide = width != width_ ? height_ > 0 : width_ > 0;
    if (pixelFormat_ == ienull || !otherSide) {
        width_ = width;
        height_ = height;
        return;
    }
    TIEBitmap old;
    MoveContentTo(old);
    Allocate(width, height, old.pixelFormat_);
    CopyImageFrom(old);
    alphaChannel_ = std::move(old.alphaChannel_);
    fullOpacity_ = false;
}

void TIEBitmap::SetRowAlignment(int32_t bits) {
    if (bits == rowAlignment_) return;
    needsRealloc_ = true;
    if (location_ != ieMemory) return;
    TIEBitmap old;
    MoveContentTo(old);
    rowAlignment_ = bits;
    Allocate(old.width_, old.height_, old.pixelFormat_);
    CopyImageFrom(old);
    alphaChannel_ = std::move(old.alphaChannel_);
}

void TIEBitmap::TakeSettingsOf(TIEBitmap& source) {
    // At ieTBitmap: the toolkit bitmap takes the source's size and a format
    // it can hold. Formats it cannot hold leave this bitmap empty, as a move
    // to ieTBitmap does, rather than copying rows of another width into it.
    const char* message;
    TPixelFormat format = ToolkitFormat(source.pixelFormat_, message);
    if (message) {
        FreeImage(true);
        allocationError_ = message;
        return;
    }
    if (!vclBitmap_) {
        ownedVclBitmap_ = std::make_unique<TBitmap>();
        vclBitmap_ = ownedVclBitmap_.get();
    }
    FreeRowCache();
    width_ = source.width_;
    height_ = source.height_;
    pixelFormat_ = source.pixelFormat_ == ie16g ? ie8g : source.pixelFormat_;
    vclBitmap_->SetSize(1, 1);
    vclBitmap_->SetPixelFormat(format);
    vclBitmap_->SetSize(width_, height_);
    if (pixelFormat_ == ie8g) IESetGrayPalette(*vclBitmap_);
    if (pixelFormat_ == ie8p) {
        if (!palette_) palette_ = std::make_unique<TRGB[]>(256);
        paletteLength_ = 256;
    } else {
        palette_.reset();
        paletteLength_ = 0;
    }
    RefreshFormatInfo();
    BuildRowCache();
}

void TIEBitmap::Assign(TIEBaseBitmap& base) {
    needsRealloc_ = true;
    auto* source = dynamic_cast<TIEBitmap*>(&base);
    if (!source || source == this) return;
    if (location_ == ieTBitmap) {
        if (source->IsEmpty()) return;
        rowAlignment_ = source->rowAlignment_;
        TakeSettingsOf(*source);
        if (IsEmpty()) return;
        fullOpacity_ = source->fullOpacity_;
    } else {
        FreeImage(true);
        width_ = source->width_;
        height_ = source->height_;
        pixelFormat_ = source->pixelFormat_;
        rowAlignment_ = source->rowAlignment_;
        if (!AllocateStorage()) {
            width_ = height_ = 0;
            return;
        }
        fullOpacity_ = source->fullOpacity_;
    }
    CopyRowsFrom(*source);
    if (!isAlpha_) {
        if (source->alphaChannel_) GetAlphaChannel()->Assign(*source->alphaChannel_);
        else RemoveAlphaChannel(false, clWhite);
    }
    CopyPaletteFrom(*source);
    BilevelMethod = source->BilevelMethod;
}

void TIEBitmap::AssignImage(TIEBitmap& source) {
    if (source.IsEmpty() || &source == this) return;
    needsRealloc_ = true;
    if (location_ == ieTBitmap) {
        TakeSettingsOf(source);
        if (IsEmpty()) return;
    } else {
        FreeImage(false);
        width_ = source.width_;
        height_ = source.height_;
        pixelFormat_ = source.pixelFormat_;
        if (!AllocateStorage()) {
            width_ = height_ = 0;
            return;
        }
    }
    fullOpacity_ = false;
    CopyRowsFrom(source);
    CopyPaletteFrom(source);
    // The alpha channel stays, but at the image's new size: one of the old
    // size would be read past its rows.
    if (alphaChannel_ && (alphaChannel_->width_ != width_ || alphaChannel_->height_ != height_))
        alphaChannel_->ResizeKeeping(width_, height_);
}

// ---------------------------------------------------------------- filling

void TIEBitmap::Fill(double value) {
    if (IsEmpty()) return;
    auto v = static_cast<int32_t>(Trunc(value));
    TRGB c = IEColorToRGB(v);
    bool white = c == TRGB{255, 255, 255};
    // One pixel's bytes; every pixel of a row gets them. The row is made
    // once, from the first row as it is (the unused fourth byte of ie32RGB
    // stays), and written to every row.
    uint8_t pixel[6] = {};
    size_t size = static_cast<size_t>(bitCount_ / 8);
    switch (pixelFormat_) {
        case ie1g:
        case ie8p:
        case ie8g: {
            uint8_t byte = pixelFormat_ == ie1g ? (v ? 255 : 0) : static_cast<uint8_t>(v);
            for (int32_t y = 0; y < height_; ++y) std::memset(GetScanline(y), byte, static_cast<size_t>(rowLen_));
            if (location_ == ieFile) ReleaseCurrentRow();
            fullOpacity_ = pixelFormat_ == ie1g ? v != 0 : v == 255;
            return;
        }
        case ie16g: {
            auto word = static_cast<uint16_t>(v);
            std::memcpy(pixel, &word, 2);
            fullOpacity_ = word == 65535;
            break;
        }
        case ie24RGB:
        case ie32RGB:
            std::memcpy(pixel, &c, 3);
            size = 3;
            fullOpacity_ = white;
            break;
        case ie32f: {
            auto f = static_cast<float>(value);
            std::memcpy(pixel, &f, 4);
            fullOpacity_ = value == 1.0;
            break;
        }
        case ieCMYK: {
            uint32_t cmyk = IERGBToCMYK(IERGBToDWord(c));
            std::memcpy(pixel, &cmyk, 4);
            fullOpacity_ = white;
            break;
        }
        case ieRGB48: {
            uint16_t words[3] = {static_cast<uint16_t>(c.r * 257), static_cast<uint16_t>(c.g * 257),
                                 static_cast<uint16_t>(c.b * 257)};
            std::memcpy(pixel, words, 6);
            fullOpacity_ = white;
            break;
        }
        case ieCIELab:
            IERGB2CIELab(c, pixel);
            fullOpacity_ = white;
            break;
        default: return;
    }
    size_t step = static_cast<size_t>(bitCount_ / 8);
    const uint8_t* first = GetScanline(0);
    std::vector<uint8_t> row(first, first + rowLen_);
    for (int32_t x = 0; x < width_; ++x) std::memcpy(row.data() + step * static_cast<size_t>(x), pixel, size);
    for (int32_t y = 0; y < height_; ++y) std::memcpy(GetScanline(y), row.data(), row.size());
    if (location_ == ieFile) ReleaseCurrentRow();
}
