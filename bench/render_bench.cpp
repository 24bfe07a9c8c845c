// Drawing a 4000 x 3000 image with an alpha channel scaled into a 1920 x 1080
// target, as the image view paints a zoomed-out picture, in frames per
// second: RenderToTIEBitmap with kept tables (nearest pixel, alpha blended)
// beside cairo painting the same pixels, as a premultiplied surface, scaled
// with its nearest filter over an opaque 1920 x 1080 surface. Beside them,
// the image view's whole repaint of the same picture in a 1920 x 1080 window
// of the headless toolkit (composing its back buffer and copying it to the
// window). The ratio lines at the end are our times over cairo's.
#include <benchmark/benchmark.h>
#include <cairo.h>

#include <cstdlib>
#include <cstring>

#include "bench/ratio_reporter.h"
#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_resample.h"
#include "imaging/core/ie_view.h"
#include "platform/ui/application.h"

namespace {

constexpr int32_t kSourceWidth = 4000, kSourceHeight = 3000, kTargetWidth = 1920, kTargetHeight = 1080;

uint8_t Channel(int32_t x, int32_t y, int c) { return static_cast<uint8_t>((x * (3 + c) + y * (5 + 2 * c) + ((x * y) >> 7)) & 255); }
uint8_t AlphaAt(int32_t x, int32_t y) { return static_cast<uint8_t>((x / 16 + y / 12) & 255); }

struct TFixture {
    TIEBitmap Source;
    cairo_surface_t* CairoSource = nullptr;
    TFixture() {
        Source.MemoryThreshold = INT64_MAX;
        Source.Allocate(kSourceWidth, kSourceHeight, ie24RGB);
        TIEBitmap* alpha = Source.GetAlphaChannel();
        CairoSource = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, kSourceWidth, kSourceHeight);
        unsigned char* data = cairo_image_surface_get_data(CairoSource);
        const int stride = cairo_image_surface_get_stride(CairoSource);
        for (int32_t y = 0; y < kSourceHeight; ++y) {
            uint8_t* row = Source.GetScanline(y);
            uint8_t* alphaRow = alpha->GetScanline(y);
            auto* out = reinterpret_cast<uint32_t*>(data + static_cast<ptrdiff_t>(y) * stride);
            for (int32_t x = 0; x < kSourceWidth; ++x) {
                const uint8_t a = AlphaAt(x, y);
                alphaRow[x] = a;
                uint32_t pixel = uint32_t{a} << 24;
                for (int c = 0; c < 3; ++c) {
                    row[3 * x + c] = Channel(x, y, c);
                    pixel |= uint32_t((Channel(x, y, c) * a + 127) / 255) << (8 * c);
                }
                out[x] = pixel;
            }
        }
        alpha->SetFullOpacity(false);
        cairo_surface_mark_dirty(CairoSource);
    }
    ~TFixture() { cairo_surface_destroy(CairoSource); }
};

TFixture& Fixture() {
    static TFixture fixture;
    return fixture;
}

void BM_RenderScaledWithAlpha(benchmark::State& state) {
    TFixture& fixture = Fixture();
    TIEBitmap target(kTargetWidth, kTargetHeight, ie24RGB);
    target.Fill(0x808080);
    TIERenderTables tables;
    for (auto _ : state) {
        fixture.Source.RenderToTIEBitmap(target, &tables, nullptr, 0, 0, kTargetWidth, kTargetHeight, 0, 0,
                                         kSourceWidth, kSourceHeight, true, false, 255, rfNone, false, 0);
        benchmark::DoNotOptimize(target.GetScanline(0)[0]);
    }
    state.counters["fps"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_RenderScaledWithAlpha)->Unit(benchmark::kMillisecond)->MinTime(2);

void BM_CairoScaledPaint(benchmark::State& state) {
    TFixture& fixture = Fixture();
    cairo_surface_t* target = cairo_image_surface_create(CAIRO_FORMAT_RGB24, kTargetWidth, kTargetHeight);
    cairo_t* cr = cairo_create(target);
    cairo_set_source_rgb(cr, 0.5, 0.5, 0.5);
    cairo_paint(cr);
    cairo_scale(cr, double(kTargetWidth) / kSourceWidth, double(kTargetHeight) / kSourceHeight);
    cairo_set_source_surface(cr, fixture.CairoSource, 0, 0);
    cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_NEAREST);
    for (auto _ : state) {
        cairo_paint(cr);
        cairo_surface_flush(target);
        benchmark::DoNotOptimize(cairo_image_surface_get_data(target)[0]);
    }
    state.counters["fps"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    cairo_destroy(cr);
    cairo_surface_destroy(target);
}
BENCHMARK(BM_CairoScaledPaint)->Unit(benchmark::kMillisecond)->MinTime(2);

// A view fitted to a 1920 x 1080 window shows the picture scaled down;
// each frame marks the whole back buffer dirty and lets the loop paint.
void BM_ViewRepaint(benchmark::State& state) {
    TFixture& fixture = Fixture();
    TCustomControl form(nullptr);
    form.SetBounds(0, 0, kTargetWidth, kTargetHeight);
    form.Handle();
    TVidurErView view(&form);
    view.SetBorderStyle(bsNone);
    view.SetScrollBars(ssNone);
    view.SetBounds(0, 0, kTargetWidth, kTargetHeight);
    view.GetIEBitmap()->Assign(fixture.Source);
    view.AutoFit = true;
    view.SetParent(&form);
    view.Update();
    Application().ProcessMessages();
    for (auto _ : state) {
        view.InvalidateViewRect({0, 0, kTargetWidth, kTargetHeight});
        Application().ProcessMessages();
        benchmark::DoNotOptimize(view.GetBackBuffer()->GetScanline(0)[0]);
    }
    state.counters["fps"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ViewRepaint)->Unit(benchmark::kMillisecond)->MinTime(2);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    setenv("TW_UI_PLATFORM", "headless", 0);
    Fixture();  // made before any timing
    TRatioReporter reporter(std::vector<std::pair<std::string, std::string>>{
        {"BM_RenderScaledWithAlpha/min_time:2.000", "BM_CairoScaledPaint/min_time:2.000"},
        {"BM_ViewRepaint/min_time:2.000", "BM_CairoScaledPaint/min_time:2.000"}});
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
