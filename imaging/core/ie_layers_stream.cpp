#include "imaging/core/ie_layers_stream.h"

#include <cstring>

#include "imaging/core/ie_compose.h"
#include "imaging/core/ie_view.h"
#include "imaging/core/ie_streams.h"
#include "imaging/core/ie_zlib.h"

namespace {

constexpr char kMagic[] = "RIDIREVARAVIZ";

// A length read from the stream that must fit in what is left of it.
int64_t CheckedLength(TStream& stream, int64_t length, const char* what) {
    if (length < 0 || length > stream.Remaining())
        throw EReadError(std::string("Invalid layers stream: the ") + what + " does not fit in the stream");
    return length;
}

// The fields of one layer record that the stream's version carries.
void ReadLayerRecord(TStream& s, int32_t version, TIELayer& layer) {
    layer.Visible = IEReadBool(s);
    layer.ShowBox = IEReadBool(s);
    layer.Transparency = IEReadI32(s);
    layer.PosX = IEReadI32(s);
    layer.PosY = IEReadI32(s);
    layer.Cropped = IEReadBool(s);
    layer.Locked = IEReadBool(s);
    layer.Magnify = IEReadBool(s);
    layer.MagnifyRate = IEReadF64(s);
    layer.MagnifyShape = IEReadU8(s);
    if (version >= 3) layer.MagnifySource = IEReadU8(s);
    layer.Operation = IEReadU8(s);
    layer.Width = IEReadI32(s);
    layer.Height = IEReadI32(s);
    // Zero stands for the image's own size; a negative size is damage.
    if (layer.Width < 0 || layer.Height < 0) throw EReadError("Invalid layers stream: a layer's display size is negative");
    if (version >= 3) {
        layer.ResampleFilter = static_cast<TResampleFilter>(IEReadU8(s));
        layer.UseResampleFilter = IEReadBool(s);
        const int64_t nameLength = CheckedLength(s, IEReadI32(s), "layer name");
        layer.Name.assign(static_cast<size_t>(nameLength), '\0');
        s.ReadBuffer(layer.Name.data(), nameLength);
        const int64_t userLength = CheckedLength(s, IEReadI32(s), "layer's user data");
        std::vector<uint8_t> user(static_cast<size_t>(userLength));
        if (userLength > 0) s.ReadBuffer(user.data(), userLength);
        layer.SetUserData(std::move(user));
        layer.IsMask = IEReadBool(s);
    }
    if (version >= 4) layer.Selectable = IEReadBool(s);
    if (version >= 6) layer.ShadeOutside = IEReadBool(s);
}

}  // namespace

bool IETryLayersStream(TStream& stream) {
    const int64_t position = stream.GetPosition();
    uint8_t header[25];
    const bool whole = stream.Read(header, 25) == 25;
    stream.SetPosition(position);
    if (!whole || std::memcmp(header, kMagic, 13) != 0) return false;
    int32_t version;
    std::memcpy(&version, header + 13, 4);
    return version > 0;
}

bool TVidurErView::LayersLoadFromStream(TStream& stream) {
    uint8_t magic[13];
    stream.ReadBuffer(magic, 13);
    const int32_t version = IEReadI32(stream);
    const int32_t format = IEReadI32(stream);
    const int32_t count = IEReadI32(stream);
    if (std::memcmp(magic, kMagic, 13) != 0) return false;
    // Loads what can be read; whatever happens, the view is laid out again
    // and the input/output component records the size of layer 0.
    auto finish = [this] {
        if (io_) io_->SetParamsSize(layers_[0]->GetBitmap()->GetWidth(), layers_[0]->GetBitmap()->GetHeight());
        Update();
    };
    if (version <= 0) {
        finish();
        return false;
    }
    try {
        // Each record takes at least 51 bytes: a count beyond that is damage.
        if (count < 0 || int64_t{count} * 51 > stream.Remaining())
            throw EReadError("Invalid layers stream: the layer count does not fit in the stream");
        while (GetLayersCount() > 1) LayersRemove(GetLayersCount() - 1);
        for (int32_t i = 0; i < count; ++i) {
            if (i > 0) LayersAdd();
            TIELayer& layer = *GetCurrentLayer();
            ReadLayerRecord(stream, version, layer);
            layer.ClientRect = {};
            const uint32_t low = static_cast<uint32_t>(IEReadI32(stream));
            const uint32_t high = static_cast<uint32_t>(IEReadI32(stream));
            const int64_t imagePosition = static_cast<int64_t>(uint64_t{high} << 32 | low);
            const int64_t next = stream.GetPosition();
            if (imagePosition < 0 || imagePosition >= stream.GetSize())
                throw EReadError("Invalid layers stream: a layer's image lies outside the stream");
            stream.SetPosition(imagePosition);
            SetLayersCurrent(i);
            if (format == -1) {
                const int64_t length = CheckedLength(stream, IEReadI32(stream), "layer's compressed image");
                std::vector<uint8_t> packed(static_cast<size_t>(length));
                stream.ReadBuffer(packed.data(), length);
                TMemoryStream source(std::move(packed));
                TZDecompressionStream inflater(source);
                TMemoryStream raw;
                std::vector<uint8_t> chunk(65536);
                for (;;) {
                    const int64_t got = inflater.Read(chunk.data(), static_cast<int64_t>(chunk.size()));
                    raw.WriteBuffer(chunk.data(), got);
                    if (got == 0) break;
                }
                if (!inflater.Ended()) throw EReadError("Invalid layers stream: a layer's compressed image ends early");
                raw.SetPosition(0);
                if (!IELoadRawBitmap(*GetIEBitmap(), raw))
                    throw EReadError("Invalid layers stream: a layer's image is not a readable raw bitmap");
            } else {
                TIEViewIO& io = *GetVidurErIO();
                const bool native = io.GetNativePixelFormat();
                if (layer.IsMask) io.SetNativePixelFormat(true);
                try {
                    io.LoadFromStreamFormat(stream, format);
                } catch (...) {
                    io.SetNativePixelFormat(native);
                    throw;
                }
                io.SetNativePixelFormat(native);
            }
            stream.SetPosition(next);
        }
    } catch (...) {
        finish();
        throw;
    }
    finish();
    return true;
}

bool TVidurErView::LayersLoadFromFile(const std::string& fileName) {
    TFileStream file(fileName, TFileMode::OpenRead);
    return LayersLoadFromStream(file);
}
