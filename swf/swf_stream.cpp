#include "swf/swf_stream.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <string_view>

#include "platform/mathutil.h"
#include "platform/paths.h"
#include "platform/zstream.h"

TBasedSWFStream::TBasedSWFStream() = default;

// Bounds that a caller sets are put in order here; the header writes what is
// stored.
static TRect OrderedBounds(const TRect& w) {
    return TRect{std::min(w.Left, w.Right), std::min(w.Top, w.Bottom), std::max(w.Left, w.Right),
                 std::max(w.Top, w.Bottom)};
}

TBasedSWFStream::TBasedSWFStream(int32_t xMin, int32_t yMin, int32_t xMax, int32_t yMax, float frameRate,
                                 bool usePixels) {
    SetSystemCoord(usePixels);
    Bounds = OrderedBounds(TRect{xMin * UnitFactor, yMin * UnitFactor, xMax * UnitFactor, yMax * UnitFactor});
    SetFrameRate(frameRate);
}

TBasedSWFStream::~TBasedSWFStream() = default;

TMemoryStream& TBasedSWFStream::GetBodyStream() {
    if (!body_) {
        ownedBody_ = std::make_unique<TMemoryStream>();
        body_ = ownedBody_.get();
    }
    return *body_;
}

void TBasedSWFStream::SetBodyStream(TMemoryStream& body) {
    if (ownedBody_.get() != &body) ownedBody_.reset();
    body_ = &body;
}

void TBasedSWFStream::SetBodyStream(std::unique_ptr<TMemoryStream> body) {
    ownedBody_ = std::move(body);
    body_ = ownedBody_.get();
}

void TBasedSWFStream::SetSystemCoord(bool usePixels) {
    UsePixels = usePixels;
    UnitFactor = usePixels ? 20 : 1;
}

TRect TBasedSWFStream::GetBounds() const {
    return TRect{Bounds.Left / UnitFactor, Bounds.Top / UnitFactor, Bounds.Right / UnitFactor,
                 Bounds.Bottom / UnitFactor};
}

void TBasedSWFStream::SetBounds(const TRect& r) {
    Bounds = OrderedBounds(TRect{r.Left * UnitFactor, r.Top * UnitFactor, r.Right * UnitFactor, r.Bottom * UnitFactor});
    HeaderChanged();
}

void TBasedSWFStream::SetFrameRate(float x) {
    FrameRate = SingleToFixed8(x);
    HeaderChanged();
}

void TBasedSWFStream::SetVersion(uint8_t v) {
    Version = (Compressed && v < 6) ? 6 : v;
    HeaderChanged();
}

void TBasedSWFStream::ReadHeaderAttrs(const TXMLReadWriteSettings& settings, const TXmlNode& root,
                                      bool defaultCompressed, bool versionAsRead) {
    TRect bounds = ReadRectAttrs(settings, root);
    // The header's fields are 8.8 fixed point and a byte: values they
    // cannot hold are refused rather than wrapped.
    double fps = root.AttrFloat("FPS");
    if (!(fps >= 0 && fps * 256.0 < 65535.5))
        throw EConvertError(FormatStr("FPS=\"%s\" is out of range (0 to 255.99)", root.AttrStr("FPS").c_str()));
    int64_t version = root.AttrInt("Version");
    if (version < 0 || version > 255)
        throw EConvertError(FormatStr("Version=\"%s\" is out of range (0 to 255)", root.AttrStr("Version").c_str()));
    Bounds = bounds;
    SetFrameRate(static_cast<float>(fps));
    SetVersion(static_cast<uint8_t>(version));
    SetCompressed(root.AttrBoolDef("Compressed", defaultCompressed));
    if (versionAsRead && Version != version) {
        Version = static_cast<uint8_t>(version);
        HeaderChanged();
    }
}

void TBasedSWFStream::SetCompressed(bool flag) {
    Compressed = flag;
    if (flag && Version < 6) Version = 6;
    HeaderChanged();
}

int32_t TBasedSWFStream::GetHeaderSize() const {
    TRect swf = RectToSWFRect(Bounds, false);
    int n = GetSignedBitsCount(MaxAbs4(swf.Left, swf.Top, swf.Right, swf.Bottom), 1);
    return 12 + (5 + 4 * n + 7) / 8;
}

int32_t TBasedSWFStream::ReadHeader(TStream& stream, THeaderPart part) {
    int64_t start = stream.GetPosition();
    try {
        TBitsEngine be(stream);
        if (part != THeaderPart::Frame) {
            be.ReadBytes(Signature, 3);
            Version = be.ReadByte();
            FileLength = be.ReadDWord();
        }
        if (part != THeaderPart::Leading) {
            Bounds = be.ReadRect();
            FrameRate = be.ReadWord();
            FrameCount = be.ReadWord();
        }
    } catch (const EReadError&) {
        throw EReadError("Invalid SWF file: the file ends inside its header");
    }
    return static_cast<int32_t>(stream.GetPosition() - start);
}

void TBasedSWFStream::WriteHeader(TStream& stream, THeaderPart part) {
    if (part != THeaderPart::Frame) {
        uint8_t lead[8] = {static_cast<uint8_t>(Signature[0]), static_cast<uint8_t>(Signature[1]),
                           static_cast<uint8_t>(Signature[2]), Version,
                           static_cast<uint8_t>(FileLength), static_cast<uint8_t>(FileLength >> 8),
                           static_cast<uint8_t>(FileLength >> 16), static_cast<uint8_t>(FileLength >> 24)};
        stream.WriteBuffer(lead, 8);
    }
    if (part != THeaderPart::Leading) {
        // As stored: a frame whose minimum exceeds its maximum is written so,
        // as a file that had one is read.
        TBitsEngine be(stream);
        be.WriteRect(TRect{Bounds.Left, Bounds.Right, Bounds.Top, Bounds.Bottom});
        be.WriteWord(FrameRate);
        be.WriteWord(FrameCount);
    }
}

size_t TBasedSWFStream::BodyHash() {
    TMemoryStream& body = GetBodyStream();
    return std::hash<std::string_view>()(
        std::string_view(reinterpret_cast<const char*>(body.Memory()), static_cast<size_t>(body.GetSize())));
}

void TBasedSWFStream::KeepDeclaredLength() {
    declaredLength_ = FileLength;
    lengthAsRead_ = GetBodyStream().GetSize() + GetHeaderSize();
    bodyHashAsRead_ = BodyHash();
}

void TBasedSWFStream::SaveToStream(TStream& stream) {
    TMemoryStream& body = GetBodyStream();
    int64_t length = body.GetSize() + GetHeaderSize();
    if (length > UINT32_MAX) throw EWriteError("The movie is larger than an SWF file can hold (4 GB)");
    FileLength = static_cast<uint32_t>(length);
    if (length == lengthAsRead_ && declaredLength_ != FileLength && BodyHash() == bodyHashAsRead_)
        FileLength = declaredLength_;
    if (!Compressed) {
        Signature[0] = 'F';
        WriteHeader(stream, THeaderPart::Whole);
        stream.WriteBuffer(body.Memory(), body.GetSize());
        return;
    }
    // The version stays as set: SetVersion and SetCompressed raise it for a
    // movie that is built, while a movie that was read keeps its own (a
    // player runs the scripts of a compressed SWF 5 file as SWF 5).
    Signature[0] = 'C';
    WriteHeader(stream, THeaderPart::Leading);
    TCompressionStream deflater(stream);
    int64_t bodySize = body.GetSize();
    deflater.OnProgress = [this, bodySize](TCompressionStream& z) {
        // Progress is measured against the body less a typical header: guard
        // bodies so small that the divisor would vanish or turn negative.
        double whole = std::max<double>(1.0, static_cast<double>(bodySize) - 22.0);
        ReportProgress(static_cast<int32_t>(RoundHalfEven(z.BytesIn() / whole * 100.0)), kProgressCompressing);
    };
    WriteHeader(deflater, THeaderPart::Frame);
    deflater.WriteBuffer(body.Memory(), body.GetSize());
    deflater.Finish();
}

void TBasedSWFStream::SaveToFile(const std::string& fileName) {
    WriteFileReplacing(fileName, [this](TStream& file) { SaveToStream(file); });
}
