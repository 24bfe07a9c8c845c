// The format registry is the whole process's: a test that adds formats or
// starts from the built-in list keeps one of these, which puts the registry
// back as the started unit has it, so the tests after it see what they
// would alone.
#pragma once

#include <memory>
#include <vector>

#include "imaging/io/ie_file_formats.h"
#include "imaging/io/ie_vidurer_io.h"

class TFileFormatsScope {
public:
    TFileFormatsScope() {
        IEInitIOUnit();
        for (const auto& format : IEFileFormats) saved_.push_back(std::make_unique<TIEFileFormatInfo>(*format));
    }
    ~TFileFormatsScope() { IEFileFormats = std::move(saved_); }
    TFileFormatsScope(const TFileFormatsScope&) = delete;
    TFileFormatsScope& operator=(const TFileFormatsScope&) = delete;

private:
    std::vector<std::unique_ptr<TIEFileFormatInfo>> saved_;
};
