// Embedding the glyphs of a 5,000-character text (Latin letters, accents and
// signs of DejaVu Sans, 350 distinct characters) as a movie's font: the
// outlines read through the platform's font layer, turned into shape
// records and written as a DefineFont2. Reported in glyphs per second and as
// a ratio to FreeType's own loading of the same outlines, timed in the same
// run with as many rounds.
#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>
#include <set>
#include <string>

#include <ft2build.h>
#include FT_FREETYPE_H

#include "movie/flash_movie.h"
#include "movie/fonts.h"

namespace {

const char* const kFontFile = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

std::u16string LongText() {
    std::u16string text;
    for (int i = 0; text.size() < 5000; ++i) text += static_cast<char16_t>(0x21 + (i * 11) % 350);
    return text;
}

size_t DistinctCount(const std::u16string& text) { return std::set<char16_t>(text.begin(), text.end()).size(); }

// FreeType alone: each distinct character's outline loaded unhinted at the
// same 1024-pixel em.
void LoadWithFreeType(FT_Face face, const std::u16string& text) {
    std::set<char16_t> distinct(text.begin(), text.end());
    for (char16_t c : distinct) {
        FT_Load_Char(face, c, FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP);
        benchmark::DoNotOptimize(face->glyph->outline.n_points);
    }
}

void EmbedText(const std::u16string& text) {
    TFlashMovie movie(0, 0, 400, 300, 12, true);
    movie.SetVersion(8);
    TFlashFont* font = movie.AddFontByName("DejaVu Sans", false, false, 20, false);
    font->SetHasLayout(true);
    font->AddWideChars(text);
    TMemoryStream out;
    TBitsEngine be(out);
    font->WriteTag(be);
    benchmark::DoNotOptimize(out.GetSize());
}

void BM_EmbedGlyphsOfLongText(benchmark::State& state) {
    if (!std::filesystem::exists(kFontFile)) {
        state.SkipWithError("DejaVu Sans is not installed (scripts/setup.sh installs it)");
        return;
    }
    const std::u16string text = LongText();
    const size_t glyphs = DistinctCount(text);
    EmbedText(text);  // warms the font look-up's caches
    const auto begin = std::chrono::steady_clock::now();
    for (auto _ : state) EmbedText(text);
    const double ours = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    state.counters["glyphs/s"] =
        benchmark::Counter(static_cast<double>(glyphs) * state.iterations(), benchmark::Counter::kIsRate);
    state.counters["distinct glyphs"] = static_cast<double>(glyphs);

    // The reference, as many rounds, after the timed loop.
    FT_Library library;
    FT_Face face;
    if (FT_Init_FreeType(&library) != 0 || FT_New_Face(library, kFontFile, 0, &face) != 0) return;
    FT_Set_Pixel_Sizes(face, 0, 1024);
    LoadWithFreeType(face, text);
    const auto start = std::chrono::steady_clock::now();
    for (int64_t i = 0; i < static_cast<int64_t>(state.iterations()); ++i) LoadWithFreeType(face, text);
    const double reference = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    FT_Done_Face(face);
    FT_Done_FreeType(library);
    state.counters["ratio to FreeType"] = reference > 0 ? ours / reference : 0;
}
BENCHMARK(BM_EmbedGlyphsOfLongText)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_FreeTypeLoadsTheSameOutlines(benchmark::State& state) {
    FT_Library library;
    FT_Face face;
    if (!std::filesystem::exists(kFontFile) || FT_Init_FreeType(&library) != 0 ||
        FT_New_Face(library, kFontFile, 0, &face) != 0) {
        state.SkipWithError("DejaVu Sans is not installed (scripts/setup.sh installs it)");
        return;
    }
    FT_Set_Pixel_Sizes(face, 0, 1024);
    const std::u16string text = LongText();
    LoadWithFreeType(face, text);
    for (auto _ : state) LoadWithFreeType(face, text);
    state.counters["glyphs/s"] =
        benchmark::Counter(static_cast<double>(DistinctCount(text)) * state.iterations(), benchmark::Counter::kIsRate);
    FT_Done_Face(face);
    FT_Done_FreeType(library);
}
BENCHMARK(BM_FreeTypeLoadsTheSameOutlines)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
