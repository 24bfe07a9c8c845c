// One ICC colour profile (TIEICC): the raw bytes found in a file, their
// copyright and description texts, the open profile of the colour engine
// (lcms2) and a transform to another profile, cached for the last pixel
// formats asked for. When the engine cannot open a profile, IsValid is
// false and Transform answers false: callers fall back on fixed formulas.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/stream.h"

class TIEICC {
public:
    TIEICC() = default;
    ~TIEICC();
    TIEICC(const TIEICC&) = delete;
    TIEICC& operator=(const TIEICC&) = delete;

    void LoadFromBuffer(const uint8_t* data, int32_t length);
    void Assign(const TIEICC* source);
    // The engine's built-in sRGB profile; the raw bytes stay empty.
    void LoadSRGB();
    void Clear();
    bool IsValid() const { return profile_ != nullptr; }
    bool IsTransformReady() const { return transform_ != nullptr; }
    bool IsApplied() const { return applied_; }
    // Deletes the transform; the profile then counts as applied.
    void FreeTransform();
    void SaveToStream(TStream& stream, bool bytesOnly) const;
    // Formats: 0 RGB, 1 BGR, 2 inverted CMYK, 3 CMYK, 4 Lab, 5 gray,
    // 6 RGB48 little-endian, 7 RGB48 big-endian, 8 three channels. Only
    // 1 and 2 produce output bytes. intent and flags only key the cache.
    bool Transform(TIEICC& destination, int32_t inputFormat, int32_t outputFormat, int32_t intent, int32_t flags,
                   const void* source, void* output, int32_t count);

    const std::vector<uint8_t>& Raw() const { return raw_; }
    const std::string& Copyright() const { return copyright_; }
    const std::string& Description() const { return description_; }

private:
    void OpenProfile();
    void CloseProfile();
    void ReadTexts();

    std::vector<uint8_t> raw_;
    void* profile_ = nullptr;    // cmsHPROFILE
    void* transform_ = nullptr;  // cmsHTRANSFORM
    bool applied_ = false;
    int32_t inputFormat_ = 0, outputFormat_ = 0, intent_ = 0, flags_ = 0;
    std::string copyright_, description_;
};
