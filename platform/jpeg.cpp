#include "platform/jpeg.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

// jpeglib.h needs size_t and FILE declared before it.
#include <jpeglib.h>

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
};

[[noreturn]] void ErrorExit(j_common_ptr cinfo) {
    auto* errors = reinterpret_cast<ErrorManager*>(cinfo->err);
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
