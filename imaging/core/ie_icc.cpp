#include "imaging/core/ie_icc.h"

#include <lcms2.h>

#include <cstring>

namespace {

// The colour type each format is widened to: 16 bits a channel, four
// channels a pixel, as the work buffers of Transform hold them.
cmsUInt32Number EngineFormat(int32_t format) {
    switch (format) {
        case 0: case 1: case 6: case 7: return TYPE_RGBA_16;
        case 2: case 3: return TYPE_CMYK_16;
        case 4: return TYPE_Lab_16 | EXTRA_SH(1);
        case 5: return COLORSPACE_SH(PT_GRAY) | CHANNELS_SH(1) | BYTES_SH(2) | EXTRA_SH(3);
        case 8: return COLORSPACE_SH(PT_MCH3) | CHANNELS_SH(3) | BYTES_SH(2) | EXTRA_SH(1);
        default: return 0;
    }
}

uint32_t ReadBE32(const uint8_t* p) {
    return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}

// A NUL-terminated text of fewer than 1000 characters inside the raw bytes.
std::string TextAt(const std::vector<uint8_t>& raw, int64_t offset) {
    if (offset < 0 || offset >= static_cast<int64_t>(raw.size())) return {};
    std::string text;
    for (int64_t i = offset; i < static_cast<int64_t>(raw.size()) && raw[i] != 0; ++i) {
        text.push_back(static_cast<char>(raw[i]));
        if (text.size() >= 1000) return {};
    }
    return text;
}

}  // namespace

TIEICC::~TIEICC() { Clear(); }

void TIEICC::LoadFromBuffer(const uint8_t* data, int32_t length) {
    Clear();
    if (data && length > 0) raw_.assign(data, data + length);
    OpenProfile();
}

void TIEICC::Assign(const TIEICC* source) {
    if (source == this) return;
    Clear();
    if (source) raw_ = source->raw_;
    OpenProfile();
}

void TIEICC::LoadSRGB() {
    Clear();
    profile_ = cmsCreate_sRGBProfile();
}

void TIEICC::OpenProfile() {
    if (!raw_.empty()) profile_ = cmsOpenProfileFromMem(raw_.data(), static_cast<cmsUInt32Number>(raw_.size()));
    ReadTexts();
}

void TIEICC::FreeTransform() {
    if (transform_) {
        cmsDeleteTransform(static_cast<cmsHTRANSFORM>(transform_));
        applied_ = true;
    }
    transform_ = nullptr;
}

void TIEICC::CloseProfile() {
    FreeTransform();
    if (profile_) cmsCloseProfile(static_cast<cmsHPROFILE>(profile_));
    profile_ = nullptr;
    inputFormat_ = outputFormat_ = intent_ = flags_ = 0;
}

void TIEICC::Clear() {
    CloseProfile();
    raw_.clear();
    applied_ = false;
    copyright_.clear();
    description_.clear();
}

void TIEICC::SaveToStream(TStream& stream, bool bytesOnly) const {
    if (!bytesOnly) {
        auto length = static_cast<uint32_t>(raw_.size());
        uint8_t le[4] = {static_cast<uint8_t>(length), static_cast<uint8_t>(length >> 8),
                         static_cast<uint8_t>(length >> 16), static_cast<uint8_t>(length >> 24)};
        stream.WriteBuffer(le, 4);
    }
    if (!raw_.empty()) stream.WriteBuffer(raw_.data(), static_cast<int64_t>(raw_.size()));
}

void TIEICC::ReadTexts() {
    copyright_.clear();
    description_.clear();
    const auto size = static_cast<int64_t>(raw_.size());
    if (size <= 132) return;
    auto count = static_cast<int32_t>(ReadBE32(&raw_[128]));
    if (count < 0 || count > 1000) return;
    for (int32_t i = 0; i < count; ++i) {
        int64_t entry = 132 + int64_t{i} * 12;
        if (entry + 12 > size) return;
        auto offset = static_cast<int32_t>(ReadBE32(&raw_[entry + 4]));
        auto length = static_cast<int32_t>(ReadBE32(&raw_[entry + 8]));
        if (offset < 0 || length < 0 || offset > size || length > size) return;
        if (length >= 1000) continue;
        if (std::memcmp(&raw_[entry], "cprt", 4) == 0) copyright_ = TextAt(raw_, int64_t{offset} + 8);
        if (std::memcmp(&raw_[entry], "desc", 4) == 0) description_ = TextAt(raw_, int64_t{offset} + 12);
    }
}

bool TIEICC::Transform(TIEICC& destination, int32_t inputFormat, int32_t outputFormat, int32_t intent,
                       int32_t flags, const void* source, void* output, int32_t count) {
    if (!(transform_ && inputFormat == inputFormat_ && outputFormat == outputFormat_ && intent == intent_ &&
          flags == flags_)) {
        FreeTransform();
        cmsUInt32Number in = EngineFormat(inputFormat), out = EngineFormat(outputFormat);
        if (profile_ && destination.profile_ && in && out)
            transform_ = cmsCreateTransform(static_cast<cmsHPROFILE>(profile_), in,
                                            static_cast<cmsHPROFILE>(destination.profile_), out,
                                            INTENT_PERCEPTUAL, cmsFLAGS_HIGHRESPRECALC | cmsFLAGS_BLACKPOINTCOMPENSATION);
        inputFormat_ = inputFormat, outputFormat_ = outputFormat, intent_ = intent, flags_ = flags;
    }
    if (!transform_ || count <= 0) return transform_ != nullptr;
    std::vector<uint16_t> wide(static_cast<size_t>(count) * 4, 0), result(static_cast<size_t>(count) * 4, 0);
    auto* in = static_cast<const uint8_t*>(source);
    for (int32_t i = 0; i < count; ++i) {
        uint16_t* w = &wide[static_cast<size_t>(i) * 4];
        switch (inputFormat) {
            case 1:
                for (int k = 0; k < 3; ++k) w[k] = static_cast<uint16_t>(in[i * 3 + 2 - k] * 257);
                break;
            case 2:
                for (int k = 0; k < 4; ++k) w[k] = static_cast<uint16_t>((255 - in[i * 4 + k]) * 257);
                break;
            case 3:
                for (int k = 0; k < 4; ++k) w[k] = static_cast<uint16_t>(in[i * 4 + k] * 257);
                break;
            case 5: w[0] = static_cast<uint16_t>(in[i] * 257); break;
            case 6:
                for (int k = 0; k < 3; ++k) w[k] = static_cast<uint16_t>(in[i * 6 + 2 * k] | in[i * 6 + 2 * k + 1] << 8);
                break;
            case 7:
                for (int k = 0; k < 3; ++k) w[k] = static_cast<uint16_t>(in[i * 6 + 2 * k] << 8 | in[i * 6 + 2 * k + 1]);
                break;
            default:
                for (int k = 0; k < 3; ++k) w[k] = static_cast<uint16_t>(in[i * 3 + k] * 257);
                break;
        }
    }
    cmsDoTransform(static_cast<cmsHTRANSFORM>(transform_), wide.data(), result.data(),
                   static_cast<cmsUInt32Number>(count));
    auto* out = static_cast<uint8_t*>(output);
    for (int32_t i = 0; i < count; ++i) {
        const uint16_t* r = &result[static_cast<size_t>(i) * 4];
        if (outputFormat == 1) {
            for (int k = 0; k < 3; ++k) out[i * 3 + k] = static_cast<uint8_t>(r[2 - k] >> 8);
        } else if (outputFormat == 2) {
            for (int k = 0; k < 4; ++k) out[i * 4 + k] = static_cast<uint8_t>((r[k] >> 8) ^ 0xFF);
        }
    }
    return true;
}
