#include "platform/jpeg.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

// jpeglib.h needs size_t and FILE declared before it.
#include <jpeglib.h>
#include <jerror.h>

// libjpeg reports fatal errors through a callback that must not return. The
// callback longjmps back into the one function that called libjpeg; those
// functions own nothing but plain data between their setjmp and the libjpeg
// calls (every C++ object they fill lives in the caller's frame and is
// reached through a pointer), so the jump skips no destructor. The libjpeg
// structures live in a context in the caller's frame too, so that their
// contents stay valid across the jump.

namespace {

struct ErrorManager {
    jpeg_error_mgr pub;
    jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
    int warnings;
    bool* abort;               // the caller's abort flag, set on every failure
    bool allowShortTransfer;   // "too few scanlines" returns to libjpeg
};

void ErrorExit(j_common_ptr cinfo) {
    auto* errors = reinterpret_cast<ErrorManager*>(cinfo->err);
    if (errors->allowShortTransfer && cinfo->err->msg_code == JERR_TOO_LITTLE_DATA) return;
    if (errors->abort) *errors->abort = true;
    (*cinfo->err->format_message)(cinfo, errors->message);
    std::longjmp(errors->jump, 1);
}

void EmitMessage(j_common_ptr cinfo, int level) {
    if (level < 0) ++reinterpret_cast<ErrorManager*>(cinfo->err)->warnings;
}

void OutputMessage(j_common_ptr) {}

void InstallErrors(ErrorManager& errors) {
    jpeg_std_error(&errors.pub);
    errors.pub.error_exit = ErrorExit;
    errors.pub.emit_message = EmitMessage;
    errors.pub.output_message = OutputMessage;
    errors.message[0] = 0;
    errors.warnings = 0;
    errors.abort = nullptr;
    errors.allowShortTransfer = false;
}

// Hands the decoder the memory for the pixels; nullptr when it cannot.
using AllocateFn = uint8_t* (*)(void* owner, size_t bytes);

struct DecodeContext {
    jpeg_decompress_struct cinfo;
    ErrorManager errors;
    const uint8_t* data;
    size_t size;
    AllocateFn allocate;
    void* owner;
    int width, height, components;
    bool progressive;
    bool cmyk;
    bool created;
};

bool DecodeCore(DecodeContext* c) {
    c->created = false;
    c->cinfo.err = &c->errors.pub;
    InstallErrors(c->errors);
    if (setjmp(c->errors.jump)) {
        if (c->created) jpeg_destroy_decompress(&c->cinfo);
        return false;
    }
    jpeg_create_decompress(&c->cinfo);
    c->created = true;
    jpeg_mem_src(&c->cinfo, const_cast<unsigned char*>(c->data), static_cast<unsigned long>(c->size));
    jpeg_read_header(&c->cinfo, TRUE);
    c->progressive = jpeg_has_multiple_scans(&c->cinfo) != 0;
    c->cmyk = c->cinfo.jpeg_color_space == JCS_CMYK || c->cinfo.jpeg_color_space == JCS_YCCK;
    if (c->cmyk)
        c->cinfo.out_color_space = JCS_CMYK;
    else if (c->cinfo.num_components == 1)
        c->cinfo.out_color_space = JCS_GRAYSCALE;
    else
        c->cinfo.out_color_space = JCS_RGB;
    if (static_cast<int64_t>(c->cinfo.image_width) * c->cinfo.image_height > TJPEGImage::kMaxPixels) {
        std::snprintf(c->errors.message, sizeof c->errors.message, "JPEG picture of %u x %u pixels is too large",
                      c->cinfo.image_width, c->cinfo.image_height);
        jpeg_destroy_decompress(&c->cinfo);
        return false;
    }
    jpeg_start_decompress(&c->cinfo);
    c->width = static_cast<int>(c->cinfo.output_width);
    c->height = static_cast<int>(c->cinfo.output_height);
    c->components = c->cinfo.output_components;
    size_t rowBytes = static_cast<size_t>(c->width) * static_cast<size_t>(c->components);
    uint8_t* pixels = c->allocate(c->owner, rowBytes * static_cast<size_t>(c->height));
    if (pixels == nullptr) {
        std::snprintf(c->errors.message, sizeof c->errors.message, "Not enough memory for a %d x %d JPEG picture",
                      c->width, c->height);
        jpeg_destroy_decompress(&c->cinfo);
        return false;
    }
    while (c->cinfo.output_scanline < c->cinfo.output_height) {
        JSAMPROW row = pixels + rowBytes * c->cinfo.output_scanline;
        jpeg_read_scanlines(&c->cinfo, &row, 1);
    }
    jpeg_finish_decompress(&c->cinfo);
    jpeg_destroy_decompress(&c->cinfo);
    return true;
}

struct EncodeContext {
    jpeg_compress_struct cinfo;
    ErrorManager errors;
    const uint8_t* pixels;
    int width, height, components, quality;
    bool progressive;
    unsigned char* output;  // malloc'ed by libjpeg; the caller frees it
    unsigned long outputSize;
    bool created;
};

bool EncodeCore(EncodeContext* c) {
    c->created = false;
    c->output = nullptr;
    c->outputSize = 0;
    c->cinfo.err = &c->errors.pub;
    InstallErrors(c->errors);
    if (setjmp(c->errors.jump)) {
        if (c->created) jpeg_destroy_compress(&c->cinfo);
        return false;
    }
    jpeg_create_compress(&c->cinfo);
    c->created = true;
    jpeg_mem_dest(&c->cinfo, &c->output, &c->outputSize);
    c->cinfo.image_width = static_cast<JDIMENSION>(c->width);
    c->cinfo.image_height = static_cast<JDIMENSION>(c->height);
    c->cinfo.input_components = c->components;
    c->cinfo.in_color_space = c->components == 1 ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&c->cinfo);
    jpeg_set_quality(&c->cinfo, c->quality, TRUE);
    if (c->progressive) jpeg_simple_progression(&c->cinfo);
    jpeg_start_compress(&c->cinfo, TRUE);
    size_t rowBytes = static_cast<size_t>(c->width) * static_cast<size_t>(c->components);
    while (c->cinfo.next_scanline < c->cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(c->pixels + rowBytes * c->cinfo.next_scanline);
        jpeg_write_scanlines(&c->cinfo, &row, 1);
    }
    jpeg_finish_compress(&c->cinfo);
    jpeg_destroy_compress(&c->cinfo);
    return true;
}

uint8_t* AllocatePixels(void* owner, size_t bytes) {
    try {
        auto* pixels = static_cast<std::vector<uint8_t>*>(owner);
        pixels->assign(bytes, 0);
        return pixels->data();
    } catch (...) {
        return nullptr;
    }
}

}  // namespace

void TJPEGImage::LoadFromBytes(const uint8_t* data, size_t size) {
    if (size == 0) throw EJPEGError("JPEG data is empty");
    auto context = std::make_unique<DecodeContext>();
    std::vector<uint8_t> pixels;
    context->data = data;
    context->size = size;
    context->allocate = AllocatePixels;
    context->owner = &pixels;
    if (!DecodeCore(context.get())) throw EJPEGError(std::string("JPEG error: ") + context->errors.message);
    int components = context->components;
    if (context->cmyk) {
        // Adobe writes CMYK inverted (255 = no ink), which libjpeg hands on
        // as it is: each channel times K gives the RGB value.
        size_t count = static_cast<size_t>(context->width) * static_cast<size_t>(context->height);
        std::vector<uint8_t> rgb(count * 3);
        for (size_t i = 0; i < count; ++i) {
            const uint8_t* p = &pixels[i * 4];
            for (int k = 0; k < 3; ++k) rgb[i * 3 + k] = static_cast<uint8_t>((p[k] * p[3] + 127) / 255);
        }
        pixels = std::move(rgb);
        components = 3;
    }
    width_ = context->width;
    height_ = context->height;
    components_ = components;
    progressive_ = context->progressive;
    warnings_ = context->errors.warnings;
    pixels_ = std::move(pixels);
}

void TJPEGImage::LoadFromStream(TStream& stream) {
    int64_t remaining = stream.Remaining();
    std::vector<uint8_t> bytes(static_cast<size_t>(remaining > 0 ? remaining : 0));
    stream.ReadBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
    LoadFromBytes(bytes.data(), bytes.size());
}

void TJPEGImage::LoadFromFile(const std::string& fileName) {
    std::vector<uint8_t> bytes = ReadFileBytes(fileName);
    LoadFromBytes(bytes.data(), bytes.size());
}

void TJPEGImage::SetPixels(int width, int height, int components, std::vector<uint8_t> pixels) {
    if (width <= 0 || height <= 0 || width > 65500 || height > 65500)
        throw EJPEGError(FormatStr("A JPEG picture cannot be %d x %d pixels", width, height));
    if (components != 1 && components != 3)
        throw EJPEGError(FormatStr("A JPEG picture has 1 or 3 components, not %d", components));
    if (pixels.size() != static_cast<size_t>(width) * static_cast<size_t>(height) * static_cast<size_t>(components))
        throw EJPEGError("The pixels do not match the picture size");
    width_ = width;
    height_ = height;
    components_ = components;
    progressive_ = false;
    warnings_ = 0;
    pixels_ = std::move(pixels);
}

std::vector<uint8_t> TJPEGImage::SaveToBytes() const {
    if (pixels_.empty()) throw EJPEGError("There is no picture to encode as JPEG");
    auto context = std::make_unique<EncodeContext>();
    context->pixels = pixels_.data();
    context->width = width_;
    context->height = height_;
    context->components = components_;
    context->quality = CompressionQuality < 1 ? 1 : CompressionQuality > 100 ? 100 : CompressionQuality;
    context->progressive = ProgressiveEncoding;
    bool ok = EncodeCore(context.get());
    std::vector<uint8_t> bytes;
    if (ok && context->output) {
        try {
            bytes.assign(context->output, context->output + context->outputSize);
        } catch (...) {
            std::free(context->output);
            throw;
        }
    }
    std::free(context->output);
    if (!ok) throw EJPEGError(std::string("JPEG error: ") + context->errors.message);
    return bytes;
}

void TJPEGImage::SaveToStream(TStream& stream) const {
    std::vector<uint8_t> bytes = SaveToBytes();
    stream.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
}

// ------------------------------------------------ stream decoder and encoder

namespace {

constexpr size_t kStreamBufferSize = 65536;

J_COLOR_SPACE ToLibrary(TJpegColorSpace space) {
    switch (space) {
        case TJpegColorSpace::Gray: return JCS_GRAYSCALE;
        case TJpegColorSpace::RGB: return JCS_RGB;
        case TJpegColorSpace::YCbCr: return JCS_YCbCr;
        case TJpegColorSpace::CMYK: return JCS_CMYK;
        case TJpegColorSpace::YCCK: return JCS_YCCK;
        case TJpegColorSpace::BGR: return JCS_EXT_BGR;
        default: return JCS_UNKNOWN;
    }
}

TJpegColorSpace FromLibrary(J_COLOR_SPACE space) {
    switch (space) {
        case JCS_GRAYSCALE: return TJpegColorSpace::Gray;
        case JCS_RGB: return TJpegColorSpace::RGB;
        case JCS_YCbCr: return TJpegColorSpace::YCbCr;
        case JCS_CMYK: return TJpegColorSpace::CMYK;
        case JCS_YCCK: return TJpegColorSpace::YCCK;
        default: return TJpegColorSpace::Unknown;
    }
}

void SetDctMethod(J_DCT_METHOD& target, int method) {
    if (method == 0) target = JDCT_ISLOW;
    else if (method == 1) target = JDCT_IFAST;
    else if (method == 2) target = JDCT_FLOAT;
}

struct StreamSource {
    jpeg_source_mgr pub;
    TStream* stream;
    bool* abort;
    bool startOfFile;
    JOCTET buffer[kStreamBufferSize];
};

void SourceInit(j_decompress_ptr cinfo) {
    reinterpret_cast<StreamSource*>(cinfo->src)->startOfFile = true;
}

// A stream that ends is completed with an end-of-image marker, so libjpeg
// finishes the picture (flat where data is missing) and counts a warning.
boolean SourceFill(j_decompress_ptr cinfo) {
    auto* source = reinterpret_cast<StreamSource*>(cinfo->src);
    int64_t count = 0;
    try {
        count = source->stream->Read(source->buffer, static_cast<int64_t>(kStreamBufferSize));
    } catch (...) {
        count = 0;  // an exception must not cross libjpeg's frames
    }
    if (count <= 0) {
        if (source->startOfFile && source->abort) *source->abort = true;
        if (!source->startOfFile) WARNMS(cinfo, JWRN_JPEG_EOF);
        source->buffer[0] = 0xFF;
        source->buffer[1] = JPEG_EOI;
        count = 2;
    }
    source->pub.next_input_byte = source->buffer;
    source->pub.bytes_in_buffer = static_cast<size_t>(count);
    source->startOfFile = false;
    return TRUE;
}

void SourceSkip(j_decompress_ptr cinfo, long count) {
    if (count < 1) return;
    auto* source = cinfo->src;
    while (static_cast<size_t>(count) > source->bytes_in_buffer) {
        count -= static_cast<long>(source->bytes_in_buffer);
        SourceFill(cinfo);
    }
    source->next_input_byte += count;
    source->bytes_in_buffer -= static_cast<size_t>(count);
}

void SourceTerm(j_decompress_ptr) {}

struct StreamDestination {
    jpeg_destination_mgr pub;
    TStream* stream;
    bool* abort;
    JOCTET buffer[kStreamBufferSize];
};

void WriteOut(StreamDestination* destination, size_t count) {
    int64_t written = 0;
    try {
        written = destination->stream->Write(destination->buffer, static_cast<int64_t>(count));
    } catch (...) {
        written = 0;
    }
    if (written < static_cast<int64_t>(count) && destination->abort) *destination->abort = true;
}

void DestinationInit(j_compress_ptr cinfo) {
    auto* destination = reinterpret_cast<StreamDestination*>(cinfo->dest);
    destination->pub.next_output_byte = destination->buffer;
    destination->pub.free_in_buffer = kStreamBufferSize;
}

boolean DestinationEmpty(j_compress_ptr cinfo) {
    auto* destination = reinterpret_cast<StreamDestination*>(cinfo->dest);
    WriteOut(destination, kStreamBufferSize);
    DestinationInit(cinfo);
    return TRUE;
}

void DestinationTerm(j_compress_ptr cinfo) {
    auto* destination = reinterpret_cast<StreamDestination*>(cinfo->dest);
    size_t filled = kStreamBufferSize - destination->pub.free_in_buffer;
    if (filled > 0) WriteOut(destination, filled);
}

}  // namespace

// Every member that calls libjpeg sets its own jump point first and holds
// nothing with a destructor between it and the call.
struct TJpegDecoder::Impl {
    jpeg_decompress_struct cinfo;
    ErrorManager errors;
    StreamSource source;
};

TJpegDecoder::TJpegDecoder(bool* abortFlag) : impl_(std::make_unique<Impl>()) {
    Impl* m = impl_.get();
    std::memset(&m->cinfo, 0, sizeof m->cinfo);
    InstallErrors(m->errors);
    m->errors.abort = abortFlag;
    m->errors.allowShortTransfer = true;
    m->cinfo.err = &m->errors.pub;
    // Creation fails only without memory; libjpeg then jumps here.
    if (setjmp(m->errors.jump)) throw EJPEGError("Not enough memory for the JPEG decoder");
    jpeg_create_decompress(&m->cinfo);
    m->source.pub.init_source = SourceInit;
    m->source.pub.fill_input_buffer = SourceFill;
    m->source.pub.skip_input_data = SourceSkip;
    m->source.pub.resync_to_restart = jpeg_resync_to_restart;
    m->source.pub.term_source = SourceTerm;
    m->source.abort = abortFlag;
    m->cinfo.src = &m->source.pub;
}

TJpegDecoder::~TJpegDecoder() {
    impl_->cinfo.src = nullptr;  // ours, not libjpeg's pool
    jpeg_destroy_decompress(&impl_->cinfo);
}

static void AttachSource(StreamSource& source, TStream& stream) {
    source.stream = &stream;
    source.pub.bytes_in_buffer = 0;
    source.pub.next_input_byte = nullptr;
}

bool TJpegDecoder::ReadTables(TStream& stream) {
    Impl* m = impl_.get();
    AttachSource(m->source, stream);
    if (setjmp(m->errors.jump)) return false;
    jpeg_read_header(&m->cinfo, FALSE);
    return true;
}

bool TJpegDecoder::ReadHeader(TStream& stream, bool keepMarkers) {
    Impl* m = impl_.get();
    AttachSource(m->source, stream);
    if (setjmp(m->errors.jump)) return false;
    if (keepMarkers) {
        jpeg_save_markers(&m->cinfo, JPEG_COM, 0xFFFF);
        for (int i = 0; i < 16; ++i) jpeg_save_markers(&m->cinfo, JPEG_APP0 + i, 0xFFFF);
    }
    jpeg_read_header(&m->cinfo, TRUE);
    return true;
}

TJpegHeader TJpegDecoder::Header() const {
    const jpeg_decompress_struct& c = impl_->cinfo;
    TJpegHeader h;
    h.width = static_cast<int>(c.image_width);
    h.height = static_cast<int>(c.image_height);
    h.components = c.num_components;
    h.colorSpace = FromLibrary(c.jpeg_color_space);
    h.progressive = c.progressive_mode != 0;
    h.sawJFIF = c.saw_JFIF_marker != 0;
    h.densityUnit = c.density_unit;
    h.xDensity = c.X_density;
    h.yDensity = c.Y_density;
    return h;
}

void TJpegDecoder::SetOutput(TJpegColorSpace space, int dctMethod, int scaleDenominator) {
    jpeg_decompress_struct& c = impl_->cinfo;
    J_COLOR_SPACE target = ToLibrary(space);
    if (target != JCS_UNKNOWN) c.out_color_space = target;
    SetDctMethod(c.dct_method, dctMethod);
    c.scale_num = 1;
    c.scale_denom = static_cast<unsigned>(scaleDenominator);
}

bool TJpegDecoder::Start() {
    Impl* m = impl_.get();
    if (setjmp(m->errors.jump)) return false;
    jpeg_start_decompress(&m->cinfo);
    return true;
}

int TJpegDecoder::OutputWidth() const { return static_cast<int>(impl_->cinfo.output_width); }
int TJpegDecoder::OutputHeight() const { return static_cast<int>(impl_->cinfo.output_height); }
int TJpegDecoder::OutputComponents() const { return impl_->cinfo.output_components; }
int TJpegDecoder::OutputScanline() const { return static_cast<int>(impl_->cinfo.output_scanline); }

int TJpegDecoder::ReadScanline(uint8_t* row) {
    Impl* m = impl_.get();
    if (setjmp(m->errors.jump)) return -1;
    JSAMPROW rows[1] = {row};
    return static_cast<int>(jpeg_read_scanlines(&m->cinfo, rows, 1));
}

void TJpegDecoder::Finish() {
    Impl* m = impl_.get();
    m->errors.abort = nullptr;
    if (setjmp(m->errors.jump)) return;
    jpeg_finish_decompress(&m->cinfo);
}

std::vector<TJpegMarker> TJpegDecoder::SavedMarkers() const {
    std::vector<TJpegMarker> markers;
    for (jpeg_saved_marker_ptr p = impl_->cinfo.marker_list; p; p = p->next) {
        TJpegMarker marker;
        marker.type = static_cast<uint8_t>(p->marker & 0xFF);
        marker.data.assign(p->data, p->data + p->data_length);
        markers.push_back(std::move(marker));
    }
    return markers;
}

int TJpegDecoder::MessageCode() const { return impl_->errors.pub.msg_code; }
int TJpegDecoder::Warnings() const { return impl_->errors.warnings; }

struct TJpegEncoder::Impl {
    jpeg_compress_struct cinfo;
    ErrorManager errors;
    StreamDestination destination;
};

TJpegEncoder::TJpegEncoder(bool* abortFlag) : impl_(std::make_unique<Impl>()) {
    Impl* m = impl_.get();
    std::memset(&m->cinfo, 0, sizeof m->cinfo);
    InstallErrors(m->errors);
    m->errors.abort = abortFlag;
    m->cinfo.err = &m->errors.pub;
    if (setjmp(m->errors.jump)) throw EJPEGError("Not enough memory for the JPEG encoder");
    jpeg_create_compress(&m->cinfo);
    m->destination.pub.init_destination = DestinationInit;
    m->destination.pub.empty_output_buffer = DestinationEmpty;
    m->destination.pub.term_destination = DestinationTerm;
    m->destination.abort = abortFlag;
    m->cinfo.dest = &m->destination.pub;
}

TJpegEncoder::~TJpegEncoder() {
    impl_->cinfo.dest = nullptr;
    jpeg_destroy_compress(&impl_->cinfo);
}

bool TJpegEncoder::Start(TStream& stream, const TJpegEncodeSettings& s) {
    Impl* m = impl_.get();
    m->destination.stream = &stream;
    if (setjmp(m->errors.jump)) return false;
    jpeg_compress_struct& c = m->cinfo;
    c.image_width = static_cast<JDIMENSION>(s.width);
    c.image_height = static_cast<JDIMENSION>(s.height);
    c.input_components = s.inputComponents;
    c.in_color_space = s.inputComponents == 4 ? JCS_CMYK : JCS_EXT_BGR;
    jpeg_set_defaults(&c);
    J_COLOR_SPACE file = ToLibrary(s.fileSpace);
    jpeg_set_colorspace(&c, file == JCS_UNKNOWN || file == JCS_EXT_BGR ? JCS_RGB : file);
    c.density_unit = 1;
    c.X_density = static_cast<UINT16>(s.xDensity);
    c.Y_density = static_cast<UINT16>(s.yDensity);
    SetDctMethod(c.dct_method, s.dctMethod);
    c.optimize_coding = s.optimizeCoding ? TRUE : FALSE;
    c.smoothing_factor = s.smoothing;
    jpeg_set_quality(&c, s.quality, TRUE);
    if (s.fileSpace == TJpegColorSpace::CMYK) c.write_JFIF_header = TRUE;
    if (s.progressive) jpeg_simple_progression(&c);
    jpeg_start_compress(&c, TRUE);
    return true;
}

bool TJpegEncoder::WriteMarker(uint8_t type, const uint8_t* data, unsigned length) {
    Impl* m = impl_.get();
    if (setjmp(m->errors.jump)) return false;
    jpeg_write_marker(&m->cinfo, type, data, length);
    return true;
}

bool TJpegEncoder::WriteScanline(const uint8_t* row) {
    Impl* m = impl_.get();
    if (setjmp(m->errors.jump)) return false;
    JSAMPROW rows[1] = {const_cast<JSAMPROW>(row)};
    jpeg_write_scanlines(&m->cinfo, rows, 1);
    return true;
}

bool TJpegEncoder::Finish() {
    Impl* m = impl_.get();
    if (setjmp(m->errors.jump)) return false;
    jpeg_finish_compress(&m->cinfo);
    return true;
}

int TJpegEncoder::MessageCode() const { return impl_->errors.pub.msg_code; }
