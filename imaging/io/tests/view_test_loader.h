// A small input/output component for the view tests: it reads JPEG and PNG
// through the codecs into the view's current bitmap, as the real component
// will, and is registered as the view's component maker.
#pragma once

#include <memory>
#include <string>

#include "imaging/core/ie_view.h"
#include "imaging/io/ie_io_params.h"
#include "imaging/io/ie_jpeg.h"
#include "imaging/io/ie_png.h"
#include "imaging/io/ie_vidurer_io.h"
#include "platform/stream.h"

namespace imaging_test {

constexpr int32_t kJPEGFormat = 3;
constexpr int32_t kPNGFormat = 8;

class TTestViewLoader : public TIEViewIO {
public:
    explicit TTestViewLoader(TVidurErView& view) : view_(view) {}

    void LoadFromStreamFormat(TStream& stream, int32_t fileFormat) override {
        TIEBitmap& bitmap = *view_.GetIEBitmap();
        TIEProgressRec progress;
        bool abort = false;
        progress.AbortFlag = &abort;
        TIOParamsVals params;
        params.NativePixelFormat = native_;
        if (fileFormat == kJPEGFormat) {
            IEReadJPEGStream(stream, nullptr, bitmap, native_, -1, false, false, false, false, false, false, progress,
                             params);
        } else if (fileFormat == kPNGFormat) {
            IEReadPNGStream(stream, bitmap, params, false, progress);
        } else {
            throw Exception("The test loader reads JPEG and PNG only");
        }
        if (abort) throw Exception("The picture could not be read");
        view_.Update();
        view_.ImageChange();
    }
    bool GetNativePixelFormat() override { return native_; }
    void SetNativePixelFormat(bool value) override { native_ = value; }
    void SetParamsSize(int32_t width, int32_t height) override {
        ParamsWidth = width;
        ParamsHeight = height;
    }
    void SetOnProgress(TIEProgressEvent) override {}
    void SetOnFinishWork(std::function<void()>) override {}

    void LoadFromFile(const std::string& fileName) {
        TFileStream file(fileName, TFileMode::OpenRead);
        const bool png = fileName.size() > 4 && fileName.substr(fileName.size() - 4) == ".png";
        LoadFromStreamFormat(file, png ? kPNGFormat : kJPEGFormat);
    }

    int32_t ParamsWidth = 0, ParamsHeight = 0;

private:
    TVidurErView& view_;
    bool native_ = false;
};

// Views make test loaders while one of these lives; afterwards they make the
// application's component again, so the tests after it see what they would
// alone.
class TTestViewLoaderScope {
public:
    TTestViewLoaderScope() {
        IESetViewIOMaker([](TVidurErView& view) { return std::make_unique<TTestViewLoader>(view); });
    }
    ~TTestViewLoaderScope() {
        IESetViewIOMaker([](TVidurErView& view) -> std::unique_ptr<TIEViewIO> {
            auto io = std::make_unique<TVidurErIO>();
            io->SetAttachedVidurEr(&view);
            return io;
        });
    }
    TTestViewLoaderScope(const TTestViewLoaderScope&) = delete;
    TTestViewLoaderScope& operator=(const TTestViewLoaderScope&) = delete;
};

inline TTestViewLoader& TestLoaderOf(TVidurErView& view) {
    return static_cast<TTestViewLoader&>(*view.GetVidurErIO());
}

}  // namespace imaging_test
