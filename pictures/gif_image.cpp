#include "pictures/gif_image.h"

#include "pictures/gif_draw.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "pictures/gif_lzw.h"
#include "pictures/gif_stream.h"

using namespace gifstream;

namespace {

void ReadExact(TStream& stream, void* buffer, int64_t count) {
    if (ReadSome(stream, buffer, count) != count) throw GIFException("Premature end of data");
}

int BitsFor(int count) {
    if (count <= 0) return 0;
    int bits = 1;
    while ((1 << bits) < count) ++bits;
    return bits;
}

// Text of comment and plain-text extensions: every line as sub-blocks of at
// most 255 bytes, one terminator after the last line.
void SaveTextBlocks(TStream& stream, const std::vector<std::string>& lines) {
    for (const std::string& line : lines) {
        for (size_t at = 0; at < line.size(); at += 255) {
            size_t length = std::min<size_t>(255, line.size() - at);
            WriteByte(stream, static_cast<int>(length));
            stream.WriteBuffer(line.data() + at, static_cast<int64_t>(length));
        }
    }
    WriteByte(stream, 0);
}

// One line per sub-block, up to a 0 length or the end of the stream.
std::vector<std::string> LoadTextBlocks(TStream& stream) {
    std::vector<std::string> lines;
    int length = 0;
    while (ReadByte(stream, length) && length > 0) {
        std::string line(static_cast<size_t>(length), '\0');
        ReadExact(stream, line.data(), length);
        lines.push_back(std::move(line));
    }
    return lines;
}

}  // namespace

// ---------------------------------------------------------------- items

void TGIFItem::Warning(int severity, const std::string& message) const {
    if (image_ != nullptr) image_->Warning(severity, message);
}

void TGIFItem::SaveToFile(const std::string& fileName) {
    TMemoryStream stream;
    SaveToStream(stream);
    WriteFileBytes(fileName, stream.Memory(), stream.Bytes().size());
}

void TGIFItem::LoadFromFile(const std::string& fileName) {
    TFileStream stream(fileName, TFileMode::OpenRead);
    LoadFromStream(stream);
}

// ---------------------------------------------------------------- colour maps

void TGIFColorMap::Reserve(int count) {
    int capacity = count <= 16 ? 16 : std::min((count + 31) / 32 * 32, 256);
    if (capacity > capacity_) {
        capacity_ = capacity;
        colors_.reserve(static_cast<size_t>(capacity));
    }
}

int TGIFColorMap::Add(const TGIFColor& color) {
    if (Count() >= 256) throw GIFException("Color table overflow");
    Reserve(Count() + 1);
    colors_.push_back(color);
    sorted_ = false;
    return Count() - 1;
}

int TGIFColorMap::AddUnique(const TGIFColor& color) {
    int index = IndexOf(color);
    return index >= 0 ? index : Add(color);
}

int TGIFColorMap::IndexOf(const TGIFColor& color) const {
    if (sorted_) {
        for (int i = 0; i < Count(); ++i)
            if (colors_[i] == color) return i;
    } else {
        for (int i = Count() - 1; i >= 0; --i)
            if (colors_[i] == color) return i;
    }
    return -1;
}

void TGIFColorMap::Delete(int index) {
    if (index < 0 || index >= Count()) throw GIFException("Invalid color index");
    colors_.erase(colors_.begin() + index);
    sorted_ = false;
}

void TGIFColorMap::Clear() {
    colors_.clear();
    sorted_ = false;
}

void TGIFColorMap::Import(const std::vector<TGIFColor>& colors) {
    size_t count = std::min<size_t>(colors.size(), 256);
    Reserve(static_cast<int>(count));
    colors_.assign(colors.begin(), colors.begin() + static_cast<std::ptrdiff_t>(count));
}

void TGIFColorMap::Assign(const TGIFColorMap& source) {
    Import(source.colors_);
    sorted_ = source.sorted_;
}

uint32_t TGIFColorMap::GetEntryColor(int index) const {
    if (index < 0 || index >= Count()) {
        if (image_ != nullptr) image_->Warning(1, "Invalid color index");
        index = 0;
        if (Count() == 0) throw GIFException("Color table is empty");
    }
    return ColorToToolkit(colors_[static_cast<size_t>(index)]);
}

int TGIFColorMap::BitsPerPixel() const { return BitsFor(Count()); }

bool TGIFColorMap::SortByUse() {
    if (Count() <= 1) return false;
    sorted_ = true;

    // The frames whose pixels index this table.
    std::vector<TGIFSubImage*> frames;
    if (frame_ != nullptr) {
        frames.push_back(frame_);
    } else if (image_ != nullptr) {
        for (const auto& frame : image_->Frames())
            if (&frame->ActiveColorMap() == this) frames.push_back(frame.get());
    }
    struct Use {
        int64_t count;
        int index;
    };
    std::vector<Use> histogram(colors_.size());
    for (int i = 0; i < Count(); ++i) histogram[i] = {0, i};
    for (TGIFSubImage* frame : frames)
        for (uint8_t pixel : frame->IndexData())
            if (pixel < Count()) ++histogram[pixel].count;

    // Descending by count, with the classic quicksort (ties in no set order).
    auto sort = [&histogram](int low, int high, auto& self) -> void {
        int i = low;
        do {
            i = low;
            int j = high;
            int64_t pivot = histogram[static_cast<size_t>((low + high) / 2)].count;
            do {
                while (histogram[i].count > pivot) ++i;
                while (histogram[j].count < pivot) --j;
                if (i <= j) {
                    std::swap(histogram[i], histogram[j]);
                    ++i;
                    --j;
                }
            } while (i <= j);
            if (low < j) self(low, j, self);
            low = i;
        } while (i < high);
    };
    sort(0, Count() - 1, sort);

    bool same = true;
    for (int i = 0; i < Count(); ++i) same = same && histogram[i].index == i;
    if (same) return true;

    std::vector<uint8_t> newPosition(colors_.size());
    std::vector<TGIFColor> reordered(colors_.size());
    int used = 0;
    for (int i = 0; i < Count(); ++i) {
        newPosition[histogram[i].index] = static_cast<uint8_t>(i);
        reordered[i] = colors_[histogram[i].index];
        if (histogram[i].count > 0) ++used;
    }
    for (TGIFSubImage* frame : frames) {
        for (uint8_t& pixel : frame->IndexData())
            if (pixel < Count()) pixel = newPosition[pixel];
        TGIFGraphicControlExtension* control = frame->GraphicControl();
        if (frame->HasTransparency && control != nullptr && control->TransparentIndex() < Count())
            control->SetTransparentIndex(newPosition[control->TransparentIndex()]);
    }
    colors_ = std::move(reordered);
    colors_.resize(static_cast<size_t>(used));
    return true;
}

void TGIFColorMap::SaveToStream(TStream& stream) const {
    if (colors_.empty()) return;
    std::vector<uint8_t> bytes(static_cast<size_t>(3) << BitsPerPixel(), 0);
    for (size_t i = 0; i < colors_.size(); ++i) {
        bytes[i * 3] = colors_[i].Red;
        bytes[i * 3 + 1] = colors_[i].Green;
        bytes[i * 3 + 2] = colors_[i].Blue;
    }
    stream.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
}

void TGIFColorMap::LoadFromStream(TStream& stream, int count) {
    std::vector<uint8_t> bytes(static_cast<size_t>(count) * 3);
    ReadExact(stream, bytes.data(), static_cast<int64_t>(bytes.size()));
    std::vector<TGIFColor> colors(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) colors[i] = {bytes[i * 3], bytes[i * 3 + 1], bytes[i * 3 + 2]};
    Import(colors);
    sorted_ = false;
}

// ---------------------------------------------------------------- extensions

TGIFExtension::TGIFExtension(TGIFSubImage* frame) : TGIFItem(frame ? frame->Image() : nullptr), frame_(frame) {}

void TGIFExtension::SaveToStream(TStream& stream) {
    WriteByte(stream, 0x21);
    WriteByte(stream, ExtensionType());
    SaveBody(stream);
}

void TGIFExtension::LoadFromStream(TStream& stream) {
    uint8_t head[2];
    ReadExact(stream, head, 2);
    if (head[0] != 0x21) throw GIFException("Invalid extension introducer");
    if (head[1] != ExtensionType()) throw GIFException("Internal error: Extension Instance does not match Extension Label");
    LoadBody(stream);
}

TGIFGraphicControlExtension::TGIFGraphicControlExtension(TGIFSubImage* frame) : TGIFExtension(frame) {
    if (frame_ != nullptr && frame_->graphicControl_ == nullptr) frame_->graphicControl_ = this;
}

TGIFGraphicControlExtension::~TGIFGraphicControlExtension() {
    if (frame_ != nullptr && frame_->graphicControl_ == this) {
        if (TransparentFlag()) frame_->HasTransparency = false;
        frame_->graphicControl_ = nullptr;
    }
}

void TGIFGraphicControlExtension::SetTransparentFlag(bool value) {
    packed_ = static_cast<uint8_t>(value ? packed_ | 1 : packed_ & ~1);
    if (frame_ != nullptr) frame_->HasTransparency = value;
}

void TGIFGraphicControlExtension::SetUserInputFlag(bool value) {
    packed_ = static_cast<uint8_t>(value ? packed_ | 2 : packed_ & ~2);
}

void TGIFGraphicControlExtension::SetTransparentIndex(int value) {
    if (frame_ != nullptr) {
        int count = frame_->ActiveColorMap().Count();
        if (count > 0 && value >= count) {
            Warning(1, "Invalid color index");
            value = 0;
        }
    }
    transparentIndex_ = static_cast<uint8_t>(value);
}

// The block size and terminator are always written as 4 and 0: a stored
// odd value would break the block structure of the file written.
void TGIFGraphicControlExtension::SaveBody(TStream& stream) {
    uint8_t body[6] = {4, packed_, static_cast<uint8_t>(delay_), static_cast<uint8_t>(delay_ >> 8), transparentIndex_, 0};
    stream.WriteBuffer(body, 6);
}

void TGIFGraphicControlExtension::LoadBody(TStream& stream) {
    uint8_t body[6] = {};
    if (ReadSome(stream, body, 6) != 6) Warning(1, "Premature end of data");
    packed_ = body[1];
    delay_ = Word(body + 2);
    transparentIndex_ = body[4];
    if (TransparentFlag() && frame_ != nullptr) frame_->HasTransparency = true;
}

void TGIFTextExtension::SaveBody(TStream& stream) {
    WriteByte(stream, 12);
    stream.WriteBuffer(Grid.data(), 12);
    SaveTextBlocks(stream, Text);
}

void TGIFTextExtension::LoadBody(TStream& stream) {
    uint8_t body[13];
    ReadExact(stream, body, 13);
    std::copy(body + 1, body + 13, Grid.begin());
    Text = LoadTextBlocks(stream);
}

void TGIFCommentExtension::SaveBody(TStream& stream) { SaveTextBlocks(stream, Text); }

void TGIFCommentExtension::LoadBody(TStream& stream) { Text = LoadTextBlocks(stream); }

void TGIFApplicationExtension::SaveBody(TStream& stream) {
    WriteByte(stream, 11);
    stream.WriteBuffer(Identifier.data(), 11);
    SaveData(stream);
}

void TGIFApplicationExtension::LoadBody(TStream& stream) {
    int length = 0;
    if (!ReadByte(stream, length)) throw GIFException("Premature end of data");
    if (length < 10) throw GIFException("Unsupported Application Extension block size");
    Identifier.fill(0);
    if (length == 10) {
        ReadExact(stream, Identifier.data(), 10);
    } else {
        ReadExact(stream, Identifier.data(), 11);
        Skip(stream, length - 11);
    }
    LoadData(stream);
}

void TGIFApplicationExtension::SaveData(TStream& stream) { WriteByte(stream, 0); }

// Only identifier blocks of 10 or 11 bytes have a class that knows the data.
void TGIFApplicationExtension::LoadData(TStream&) { throw GIFException("Unsupported Application Extension"); }

void TGIFUnknownAppExtension::SaveData(TStream& stream) {
    for (const auto& block : Blocks) {
        if (block.empty()) continue;
        for (size_t at = 0; at < block.size(); at += 255) {
            size_t length = std::min<size_t>(255, block.size() - at);
            WriteByte(stream, static_cast<int>(length));
            stream.WriteBuffer(block.data() + at, static_cast<int64_t>(length));
        }
    }
    WriteByte(stream, 0);
}

void TGIFUnknownAppExtension::LoadData(TStream& stream) {
    Blocks.clear();
    int length = 0;
    while (ReadByte(stream, length) && length > 0) {
        std::vector<uint8_t> block(static_cast<size_t>(length));
        ReadExact(stream, block.data(), length);
        Blocks.push_back(std::move(block));
    }
}

TGIFAppExtNSLoop::TGIFAppExtNSLoop(TGIFSubImage* frame) : TGIFApplicationExtension(frame) {
    std::memcpy(Identifier.data(), "NETSCAPE2.0", 11);
}

void TGIFAppExtNSLoop::SaveData(TStream& stream) {
    uint8_t loop[4] = {3, 1, static_cast<uint8_t>(LoopCount), static_cast<uint8_t>(LoopCount >> 8)};
    stream.WriteBuffer(loop, 4);
    if (BufferSizeHint != 0) {
        uint8_t hint[6] = {5, 2};
        for (int i = 0; i < 4; ++i) hint[2 + i] = static_cast<uint8_t>(BufferSizeHint >> (8 * i));
        stream.WriteBuffer(hint, 6);
    }
    WriteByte(stream, 0);
}

void TGIFAppExtNSLoop::LoadData(TStream& stream) {
    int length = 0;
    while (ReadByte(stream, length) && length > 0) {
        int kind = 0;
        if (!ReadByte(stream, kind)) break;
        if ((kind & 7) == 1) {
            if (length < 3) throw GIFException("Invalid GIF data");
            uint8_t bytes[2];
            ReadExact(stream, bytes, 2);
            LoopCount = Word(bytes);
            Skip(stream, length - 3);
        } else if ((kind & 7) == 2) {
            if (length < 5) throw GIFException("Invalid GIF data");
            uint8_t bytes[4];
            ReadExact(stream, bytes, 4);
            BufferSizeHint = bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) | (static_cast<uint32_t>(bytes[3]) << 24);
            Skip(stream, length - 5);
        } else {
            Skip(stream, length - 1);
        }
    }
}

namespace {

// The extension class for the bytes at the stream's position (0x21 and the
// label), or null for a label without one; the position is left where it
// was.
std::unique_ptr<TGIFExtension> CreateExtensionFor(TStream& stream, TGIFSubImage* frame) {
    int64_t start = stream.GetPosition();
    uint8_t head[2];
    ReadExact(stream, head, 2);
    std::unique_ptr<TGIFExtension> extension;
    switch (head[1]) {
    case 0x01: extension = std::make_unique<TGIFTextExtension>(frame); break;
    case 0xF9: extension = std::make_unique<TGIFGraphicControlExtension>(frame); break;
    case 0xFE: extension = std::make_unique<TGIFCommentExtension>(frame); break;
    case 0xFF: {
        int length = 0;
        if (!ReadByte(stream, length)) throw GIFException("Premature end of data");
        char identifier[11] = {};
        if (length == 11) {
            ReadExact(stream, identifier, 11);
            if (std::memcmp(identifier, "NETSCAPE2.0", 11) == 0 || std::memcmp(identifier, "ANIMEXTS1.0", 11) == 0)
                extension = std::make_unique<TGIFAppExtNSLoop>(frame);
            else
                extension = std::make_unique<TGIFUnknownAppExtension>(frame);
        } else if (length == 10) {
            extension = std::make_unique<TGIFUnknownAppExtension>(frame);
        } else {
            extension = std::make_unique<TGIFApplicationExtension>(frame);
        }
        break;
    }
    default: break;  // a label nobody registered: the caller skips it
    }
    stream.SetPosition(start);
    return extension;
}

}  // namespace

// ---------------------------------------------------------------- frames

TGIFSubImage::TGIFSubImage(TGIFImage* image) : TGIFItem(image), localTable_(image, this) {}

TGIFSubImage::~TGIFSubImage() {
    // Extensions look at the frame while they go.
    while (!extensions_.empty()) extensions_.pop_back();
}

TGIFVersion TGIFSubImage::GetVersion() const {
    return localTable_.Optimized() || !extensions_.empty() ? gv89a : gv87a;
}

const TGIFColorMap& TGIFSubImage::ActiveColorMap() const {
    if (localTable_.Count() > 0) return localTable_;
    if (image_ != nullptr && image_->GlobalColorMap().Count() > 0) return image_->GlobalColorMap();
    return localTable_;
}

int TGIFSubImage::AddExtension(std::unique_ptr<TGIFExtension> extension) {
    extensions_.push_back(std::move(extension));
    return static_cast<int>(extensions_.size()) - 1;
}

void TGIFSubImage::DeleteExtension(const TGIFExtension* extension) {
    auto at = std::find_if(extensions_.begin(), extensions_.end(),
                           [extension](const auto& item) { return item.get() == extension; });
    if (at != extensions_.end()) extensions_.erase(at);
}

void TGIFSubImage::AllocatePixels() {
    int64_t pixels = int64_t{width_} * height_;
    if (image_ != nullptr) {
        int64_t others = image_->AllocatedPixels();
        for (const auto& frame : image_->Frames())
            if (frame.get() == this) others -= static_cast<int64_t>(indexData_.size());
        if (pixels > image_->MaxFramePixels || others + pixels > image_->MaxImagePixels)
            throw GIFException(FormatStr("Image too large: a frame of %d x %d pixels", width_, height_));
    }
    indexData_.assign(static_cast<size_t>(pixels), 0);
}

void TGIFSubImage::SetWidth(int value) {
    if (value != width_) {
        width_ = static_cast<uint16_t>(value);
        AllocatePixels();
    }
    if (image_ == nullptr) return;
    int right = std::min(left_ + width_, 65535);
    if (right > image_->Width()) {
        bool warn = image_->Width() != 0;
        image_->Header().ScreenWidth = static_cast<uint16_t>(right);
        if (warn) {
            Warning(1, "Image width too small for contained frames");
            Warning(1, "Image exceeds Logical Screen size");
        }
    }
}

void TGIFSubImage::SetHeight(int value) {
    if (value != height_) {
        height_ = static_cast<uint16_t>(value);
        AllocatePixels();
    }
    if (image_ == nullptr) return;
    int bottom = std::min(top_ + height_, 65535);
    if (bottom > image_->Height()) {
        bool warn = image_->Height() != 0;
        image_->Header().ScreenHeight = static_cast<uint16_t>(bottom);
        if (warn) {
            Warning(1, "Image height too small for contained frames");
            Warning(1, "Image exceeds Logical Screen size");
        }
    }
}

int TGIFSubImage::GetBoundsPart(int part) const {
    switch (part) {
    case 1: return left_;
    case 2: return top_;
    case 3: return width_;
    case 4: return height_;
    default: return 0;
    }
}

uint8_t* TGIFSubImage::ScanLine(int row) {
    if (row < 0 || row >= height_) throw GIFException("Invalid pixel coordinates");
    if (width_ == 0) throw GIFException("Image is empty");
    if (indexData_.size() != static_cast<size_t>(width_) * height_) AllocatePixels();
    return indexData_.data() + static_cast<size_t>(row) * width_;
}

int TGIFSubImage::GetPixelIndex(int x, int y) {
    if (x < 0 || x >= width_) throw GIFException("Invalid pixel coordinates");
    return ScanLine(y)[x];
}

void TGIFSubImage::Clear() {
    DropRendered();
    while (!extensions_.empty()) extensions_.pop_back();
    localTable_.Clear();
    indexData_.clear();
    left_ = top_ = width_ = height_ = 0;
    packed_ = 0;
    HasTransparency = false;
}

void TGIFSubImage::Assign(const TGIFSubImage& source) {
    Clear();
    left_ = source.left_;
    top_ = source.top_;
    width_ = source.width_;
    height_ = source.height_;
    packed_ = source.packed_;
    HasTransparency = source.HasTransparency;
    localTable_.Assign(source.localTable_);
    AllocatePixels();
    indexData_ = source.indexData_;
    // Extensions are copied by writing and reading them back with this
    // frame as their owner.
    TMemoryStream copy;
    for (const auto& extension : source.extensions_) extension->SaveToStream(copy);
    WriteByte(copy, 0x2C);
    copy.SetPosition(0);
    LoadExtensions(copy);
    HasTransparency = source.HasTransparency;
}

void TGIFSubImage::Assign(const TBitmap& bitmap) {
    Clear();
    if (bitmap.Empty()) return;
    SetWidth(bitmap.Width());
    SetHeight(bitmap.Height());

    TBitmap reduced;
    const TBitmap* source = &bitmap;
    TPixelFormat format = bitmap.PixelFormat();
    bool indexed = format == TPixelFormat::pf1bit || format == TPixelFormat::pf4bit || format == TPixelFormat::pf8bit;
    if (!indexed && image_ != nullptr) {
        reduced = ReduceBitmapColors(bitmap, image_->ReductionMethod, image_->DitherMethod, nullptr,
                                     image_->ReductionColorBits);
        source = &reduced;
    } else if (!indexed) {
        reduced = ConvertTo24Bit(bitmap);
        source = &reduced;
    }
    if (image_ != nullptr) image_->Progress(psStarting, 0, "Converting...");
    try {
        if (!source->Empty()) {
            int width = source->Width(), height = source->Height();
            format = source->PixelFormat();
            if (format == TPixelFormat::pf24bit) {
                // Neighbouring pixels mostly repeat a few colours: a small
                // cache of recent (colour, index) pairs saves most searches.
                struct Cached {
                    TGIFColor color;
                    int index = -1;
                };
                std::array<Cached, 8> cache{};
                int next = 0;
                for (int y = 0; y < height; ++y) {
                    const uint8_t* in = source->ScanLine(y);
                    uint8_t* out = ScanLine(y);
                    for (int x = 0; x < width; ++x, in += 3) {
                        TGIFColor color{in[2], in[1], in[0]};
                        int index = -1;
                        for (int k = 0; k < 8 && index < 0; ++k) {
                            const Cached& entry = cache[(next - 1 - k + 16) % 8];
                            if (entry.index >= 0 && entry.color == color) index = entry.index;
                        }
                        if (index < 0) {
                            index = localTable_.AddUnique(color);
                            cache[next] = {color, index};
                            next = (next + 1) % 8;
                        }
                        out[x] = static_cast<uint8_t>(index);
                    }
                    if (image_ != nullptr && y % 32 == 0) image_->Progress(psRunning, y * 100 / height, "Converting...");
                }
            } else {
                // 1, 4 and 8 bits: one byte per pixel, most significant bits
                // first.
                localTable_.Import(BitmapPalette(*source));
                int bits = format == TPixelFormat::pf1bit ? 1 : format == TPixelFormat::pf4bit ? 4 : 8;
                for (int y = 0; y < height; ++y) {
                    const uint8_t* in = source->ScanLine(y);
                    uint8_t* out = ScanLine(y);
                    for (int x = 0; x < width; ++x) {
                        int bit = x * bits;
                        out[x] = static_cast<uint8_t>((in[bit / 8] >> (8 - bits - bit % 8)) & ((1 << bits) - 1));
                    }
                    if (image_ != nullptr && y % 32 == 0) image_->Progress(psRunning, y * 100 / height, "Converting...");
                }
            }
        }
    } catch (...) {
        if (image_ != nullptr) image_->Progress(psEnding, 0, "Converting...");
        throw;
    }
    if (image_ != nullptr) image_->Progress(psEnding, 100, "Converting...");
}

void TGIFSubImage::AddMask(const std::vector<uint8_t>& mask) {
    localTable_.SortByUse();
    if (localTable_.Count() < 1 || localTable_.Count() > 255) {
        Warning(1, "Color table overflow");
        return;
    }
    int index = localTable_.Add({0, 0, 0});
    bool masked = false;
    size_t count = std::min(mask.size(), indexData_.size());
    for (size_t i = 0; i < count; ++i) {
        if (mask[i] != 0) {
            indexData_[i] = static_cast<uint8_t>(index);
            masked = true;
        }
    }
    if (!masked) {
        localTable_.Delete(index);
        return;
    }
    auto control = std::make_unique<TGIFGraphicControlExtension>(this);
    control->SetTransparentFlag(true);
    control->SetTransparentIndex(index);
    AddExtension(std::move(control));
}

int TGIFSubImage::TransparentIndex() const {
    return HasTransparency && graphicControl_ != nullptr ? graphicControl_->TransparentIndex() : -1;
}

TBitmap TGIFSubImage::ToBitmap() const {
    TBitmap bitmap = MakeBitmap(width_, height_, TPixelFormat::pf24bit);
    if (Empty()) return bitmap;
    const TGIFColorMap& table = ActiveColorMap();
    for (int y = 0; y < height_; ++y) {
        const uint8_t* in = indexData_.data() + static_cast<size_t>(y) * width_;
        for (int x = 0; x < width_; ++x)
            if (in[x] < table.Count()) SetBitmapPixel(bitmap, x, y, table[in[x]]);
    }
    return bitmap;
}

void TGIFSubImage::LoadExtensions(TStream& stream) {
    int byte = 0;
    if (!ReadByte(stream, byte)) return;
    while (byte != 0x2C && byte != 0x3B) {
        if (byte != 0x21) {
            Warning(1, "Invalid extension introducer");
            break;
        }
        StepBack(stream);
        std::unique_ptr<TGIFExtension> extension = CreateExtensionFor(stream, this);
        if (extension) {
            extension->LoadFromStream(stream);
            AddExtension(std::move(extension));
        } else {
            // Extensions share one framing, so one of a kind unknown here
            // is passed over whole: label, then its sub-blocks.
            Warning(1, "Unknown extension type");
            Skip(stream, 2);
            int length = 0;
            while (ReadByte(stream, length) && length > 0) Skip(stream, length);
        }
        if (!ReadByte(stream, byte)) return;
    }
    StepBack(stream);
}

void TGIFSubImage::LoadFromStream(TStream& stream) {
    Clear();
    LoadExtensions(stream);
    int byte = 0;
    if (!ReadByte(stream, byte)) return;
    StepBack(stream);
    if (byte == 0x3B || byte == 0) return;

    uint8_t descriptor[10];
    ReadExact(stream, descriptor, 10);
    left_ = Word(descriptor + 1);
    top_ = Word(descriptor + 3);
    width_ = Word(descriptor + 5);
    height_ = Word(descriptor + 7);
    packed_ = descriptor[9];
    if (packed_ & 0x80) localTable_.LoadFromStream(stream, 2 << (packed_ & 7));
    if (width_ == 0 || height_ == 0) {
        // No pixels to paint: the frame stays (its delay and disposal still
        // count), empty, and its data is passed over.
        width_ = height_ = 0;
        Warning(1, "Image has no pixels");
        int minimumCodeSize = 0, length = 0;
        if (ReadByte(stream, minimumCodeSize))
            while (ReadByte(stream, length) && length > 0) Skip(stream, length);
        return;
    }
    DecodePixels(stream);
}

void TGIFSubImage::DecodePixels(TStream& stream) {
    AllocatePixels();
    int fill = std::max(TransparentIndex(), 0);
    std::fill(indexData_.begin(), indexData_.end(), static_cast<uint8_t>(fill));
    int minimumCodeSize = 0;
    if (!ReadByte(stream, minimumCodeSize)) return;
    // Codes are at most 12 bits, so the first ones, one bit wider than the
    // minimum, allow a minimum of up to 11 (used by some encoders for
    // pictures of few colours too).
    if (minimumCodeSize > 11) {
        Warning(1, "Invalid LZW minimum code size");
        int length = 0;
        while (ReadByte(stream, length) && length > 0) Skip(stream, length);
        return;
    }
    TLZWDecoder decoder(stream, minimumCodeSize, [this](const std::string& message) { Warning(1, message); });

    auto fillRow = [&](int row) {
        uint8_t* out = indexData_.data() + static_cast<size_t>(row) * width_;
        for (int x = 0; x < width_; ++x) {
            int value = decoder.NextValue();
            if (value < 0) return false;
            out[x] = static_cast<uint8_t>(value);
        }
        return true;
    };
    bool complete = true;
    if (Interlaced()) {
        static constexpr int kStart[4] = {0, 4, 2, 1};
        static constexpr int kStep[4] = {8, 8, 4, 2};
        for (int pass = 0; pass < 4 && complete; ++pass)
            for (int row = kStart[pass]; row < height_ && complete; row += kStep[pass]) complete = fillRow(row);
    } else {
        for (int row = 0; row < height_ && complete; ++row) complete = fillRow(row);
    }
    // Normally the end code; then whatever data is left in the frame's
    // sub-blocks is passed over, so the next block is read from its start.
    decoder.NextValue();
    decoder.SkipRest();
}

void TGIFSubImage::EncodePixels(TStream& stream) {
    int bits, limit;
    if (localTable_.Count() > 0) {
        bits = localTable_.BitsPerPixel();
        limit = localTable_.Count();
    } else {
        bits = image_ != nullptr ? image_->BitsPerPixel() : 0;
        limit = 1 << bits;
    }
    std::unique_ptr<TGIFEncoder> encoder = CreateGIFEncoder(image_ != nullptr ? image_->CompressionMethod : cmLZW);
    encoder->Compress(stream, bits, limit, indexData_.data(), Interlaced(), height_, width_);
}

void TGIFSubImage::SaveToStream(TStream& stream) {
    for (const auto& extension : extensions_) extension->SaveToStream(stream);
    if (Empty()) return;
    if (localTable_.Count() > 0) {
        packed_ = static_cast<uint8_t>(0x80 | (localTable_.Optimized() ? 0x20 : 0) | ((localTable_.BitsPerPixel() - 1) & 7));
    } else {
        packed_ &= 0x58;
    }
    uint8_t descriptor[10] = {0x2C,
                              static_cast<uint8_t>(left_), static_cast<uint8_t>(left_ >> 8),
                              static_cast<uint8_t>(top_), static_cast<uint8_t>(top_ >> 8),
                              static_cast<uint8_t>(width_), static_cast<uint8_t>(width_ >> 8),
                              static_cast<uint8_t>(height_), static_cast<uint8_t>(height_ >> 8),
                              packed_};
    stream.WriteBuffer(descriptor, 10);
    localTable_.SaveToStream(stream);
    EncodePixels(stream);
}

// ---------------------------------------------------------------- image

TGIFImage::TGIFImage() : header_(this) {}

TGIFImage::~TGIFImage() { StopDraw(); }

void TGIFImage::Warning(int severity, const std::string& message) {
    if (OnGIFWarning) OnGIFWarning(*this, severity, message);
}

void TGIFImage::Progress(TGIFProgressStage stage, int percent, const std::string& message) {
    if (OnProgress) OnProgress(*this, stage, percent, message);
}

int64_t TGIFImage::AllocatedPixels() const {
    int64_t total = 0;
    for (const auto& frame : frames_) total += static_cast<int64_t>(frame->IndexData().size());
    return total;
}

int TGIFImage::AddImage(const TBitmap& bitmap) {
    auto frame = std::make_unique<TGIFSubImage>(this);
    frame->Assign(bitmap);
    StopDraw();
    DropRendered();
    frames_.push_back(std::move(frame));
    return Count() - 1;
}

int TGIFImage::AddImage(std::unique_ptr<TGIFSubImage> frame) {
    StopDraw();
    DropRendered();
    frames_.push_back(std::move(frame));
    return Count() - 1;
}

void TGIFImage::DeleteFrame(int index) {
    StopDraw();
    DropRendered();
    frames_.erase(frames_.begin() + index);
}

void TGIFImage::Clear() {
    StopDraw();
    DropRendered();
    globalPalette_.clear();
    frames_.clear();
    header_.GlobalTable.Clear();
    header_.ScreenWidth = header_.ScreenHeight = 0;
    header_.Packed = 0;
}

void TGIFImage::SetWidth(int value) {
    for (const auto& frame : frames_)
        if (frame->Left() + frame->Width() > value) throw GIFException("Image width too small for contained frames");
    header_.ScreenWidth = static_cast<uint16_t>(value);
}

void TGIFImage::SetHeight(int value) {
    for (const auto& frame : frames_)
        if (frame->Top() + frame->Height() > value) throw GIFException("Image height too small for contained frames");
    header_.ScreenHeight = static_cast<uint16_t>(value);
}

TGIFVersion TGIFImage::Version() const {
    TGIFVersion version = gvUnknown;
    for (const auto& frame : frames_) {
        version = std::max(version, frame->GetVersion());
        if (version == gv89a) break;
    }
    return version;
}

int TGIFImage::BitsPerPixel() const {
    int bits = header_.GlobalTable.BitsPerPixel();
    for (const auto& frame : frames_) bits = std::max(bits, frame->LocalTable().BitsPerPixel());
    return bits;
}

void TGIFImage::LoadHeader(TStream& stream) {
    int64_t start = stream.GetPosition();
    auto isGif = [](const uint8_t* signature) {
        return std::toupper(signature[0]) == 'G' && std::toupper(signature[1]) == 'I' && std::toupper(signature[2]) == 'F';
    };
    uint8_t signature[6];
    ReadExact(stream, signature, 6);
    if (!isGif(signature)) {
        // Some producers put four bytes of their own before the signature.
        stream.SetPosition(std::min(start + 4, stream.GetSize()));
        ReadExact(stream, signature, 6);
        if (!isGif(signature)) throw GIFException("Invalid GIF signature");
    }
    uint8_t screen[7];
    ReadExact(stream, screen, 7);
    header_.ScreenWidth = Word(screen);
    header_.ScreenHeight = Word(screen + 2);
    header_.Packed = screen[4];
    header_.BackgroundColorIndex = screen[5];
    header_.AspectRatio = screen[6];
    if (header_.Packed & 0x80)
        header_.GlobalTable.LoadFromStream(stream, 2 << (header_.Packed & 7));
    else
        header_.GlobalTable.Clear();
}

void TGIFImage::SaveHeader(TStream& stream) {
    TGIFVersion version = Version();
    if (version == gvUnknown) throw GIFException("Unsupported GIF version");
    stream.WriteBuffer(version == gv87a ? "GIF87a" : "GIF89a", 6);
    const TGIFColorMap& global = header_.GlobalTable;
    uint8_t packed = static_cast<uint8_t>((ColorResolution() & 7) << 4);
    if (global.Count() > 0) {
        packed |= 0x80;
        if (global.Optimized()) packed |= 0x08;
        packed |= static_cast<uint8_t>((global.BitsPerPixel() - 1) & 7);
    } else {
        packed |= static_cast<uint8_t>((BitsPerPixel() - 1) & 7);
    }
    header_.Packed = packed;
    uint8_t screen[7] = {static_cast<uint8_t>(header_.ScreenWidth), static_cast<uint8_t>(header_.ScreenWidth >> 8),
                         static_cast<uint8_t>(header_.ScreenHeight), static_cast<uint8_t>(header_.ScreenHeight >> 8),
                         packed, header_.BackgroundColorIndex, header_.AspectRatio};
    stream.WriteBuffer(screen, 7);
    global.SaveToStream(stream);
}

void TGIFImage::LoadFrames(TStream& stream) {
    auto skipZeros = [&stream](int& byte) {
        while (ReadByte(stream, byte))
            if (byte != 0) return true;
        return false;
    };
    int byte = 0;
    if (!skipZeros(byte)) return;
    while (byte != 0x3B) {
        StepBack(stream);
        if (byte != 0x21 && byte != 0x2C) {
            Warning(1, "Unknown GIF block type");
            break;
        }
        auto frame = std::make_unique<TGIFSubImage>(this);
        frame->LoadFromStream(stream);
        frames_.push_back(std::move(frame));
        Progress(psRunning, static_cast<int>(stream.GetPosition() * 100 / std::max<int64_t>(stream.GetSize(), 1)),
                 "Loading...");
        if (!skipZeros(byte)) return;
    }
    StepBack(stream);
}

void TGIFImage::LoadFromStream(TStream& source) {
    Progress(psStarting, 0, "Loading...");
    Clear();
    int64_t start = source.GetPosition();
    try {
        TBoundedStream stream(source, start, source.GetSize() - start);
        LoadHeader(stream);
        LoadFrames(stream);
        int byte = 0;
        if (ReadByte(stream, byte) && byte != 0x3B) Warning(1, "Invalid Image trailer");
        // Frames that reach past a logical screen are clipped by it when
        // shown, as every viewer does; only a screen that gives no size
        // takes that of its frames.
        if (header_.ScreenWidth == 0 || header_.ScreenHeight == 0)
            for (const auto& frame : frames_) {
                header_.ScreenWidth = static_cast<uint16_t>(std::max<int>(header_.ScreenWidth, std::min(frame->Left() + frame->Width(), 65535)));
                header_.ScreenHeight = static_cast<uint16_t>(std::max<int>(header_.ScreenHeight, std::min(frame->Top() + frame->Height(), 65535)));
            }
    } catch (...) {
        source.SetPosition(start);
        Progress(psEnding, 0, "Loading...");
        throw;
    }
    Progress(psEnding, 100, "Loading...");
}

void TGIFImage::SaveToStream(TStream& stream) {
    Progress(psStarting, 0, "Saving...");
    try {
        SaveHeader(stream);
        for (int i = 0; i < Count(); ++i) {
            frames_[static_cast<size_t>(i)]->SaveToStream(stream);
            Progress(psRunning, (i + 1) * 100 / Count(), "Saving...");
        }
        WriteByte(stream, 0x3B);
    } catch (...) {
        Progress(psEnding, 0, "Saving...");
        throw;
    }
    Progress(psEnding, 100, "Saving...");
}

void TGIFImage::LoadFromFile(const std::string& fileName) {
    TFileStream stream(fileName, TFileMode::OpenRead);
    LoadFromStream(stream);
}

void TGIFImage::SaveToFile(const std::string& fileName) {
    TMemoryStream stream;
    SaveToStream(stream);
    WriteFileBytes(fileName, stream.Memory(), stream.Bytes().size());
}
