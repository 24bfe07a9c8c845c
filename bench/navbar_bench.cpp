// One paint of a vertical scroll bar 17 x 400 (arrows, thumb and both
// tracks) into its off-screen bitmap, as the bar repaints while its thumb is
// dragged, for each painter's look (the themed look takes its classic
// drawing here: the headless plugin has no style). Reported in paints per
// second and as a ratio to Qt's Fusion style painting a scroll bar of the
// same size into an image (QStyle::drawComplexControl), timed in the same
// run with as many rounds.
#include <benchmark/benchmark.h>

#include <QtGui/QImage>
#include <QtGui/QPainter>
#include <QtWidgets/QApplication>
#include <QtWidgets/QStyle>
#include <QtWidgets/QStyleFactory>
#include <QtWidgets/QStyleOptionSlider>

#include <chrono>
#include <cstdlib>

#include "navbar/lf_scrollbar.h"
#include "platform/ui/application.h"

namespace {

constexpr int kWidth = 17, kHeight = 400;

void QtPaint(QStyle* style, QImage& image, int position) {
    QStyleOptionSlider option;
    option.rect = QRect(0, 0, kWidth, kHeight);
    option.orientation = Qt::Vertical;
    option.minimum = 0;
    option.maximum = 100;
    option.pageStep = 10;
    option.sliderPosition = option.sliderValue = position;
    option.state = QStyle::State_Enabled;
    option.palette = QApplication::palette();
    option.subControls = QStyle::SC_All;
    QPainter painter(&image);
    style->drawComplexControl(QStyle::CC_ScrollBar, &option, &painter);
}

void BM_PaintScrollBar(benchmark::State& state) {
    Application();
    TlfScrollBar bar(nullptr);
    bar.SetKind(sbVertical);
    bar.SetBounds(0, 0, kWidth, kHeight);
    bar.SetPageSize(10);
    if (state.range(0) == 4) bar.LookAndFeel().SetNativeStyle(true);
    else bar.LookAndFeel().SetKind(static_cast<TlfLookAndFeelKind>(state.range(0)));
    static const char* const names[] = {"flat", "standard", "ultra-flat", "office2003", "themed"};
    state.SetLabel(names[state.range(0)]);
    bar.PaintToBitmap();  // the patterns and images made before the loop
    int position = 0;
    const auto begin = std::chrono::steady_clock::now();
    for (auto _ : state) {
        bar.SetPosition(position = (position + 7) % 90);
        bar.PaintToBitmap();
        benchmark::DoNotOptimize(bar.Bitmap().Width());
    }
    const double ours = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    state.counters["paints/s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);

    QStyle* style = QStyleFactory::create("Fusion");
    QImage image(kWidth, kHeight, QImage::Format_ARGB32_Premultiplied);
    QtPaint(style, image, 0);
    const auto start = std::chrono::steady_clock::now();
    for (int64_t i = 0; i < static_cast<int64_t>(state.iterations()); ++i) QtPaint(style, image, static_cast<int>(i * 7 % 90));
    const double reference = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    delete style;
    state.counters["ratio to Qt style"] = reference > 0 ? ours / reference : 0;
}
BENCHMARK(BM_PaintScrollBar)->DenseRange(0, 4)->Unit(benchmark::kMicrosecond)->MinTime(1.0);

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("TW_UI_PLATFORM", "headless", 0);
    int qtArgc = 1;
    QApplication qt(qtArgc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
