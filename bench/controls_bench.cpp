// The text base beside plain references in the same run:
// - a language file loaded and 250 of its keys looked up, as a form does,
//   beside iconv decoding the same bytes into a std::unordered_map;
// - UTF-8 and GBK text decoded, beside iconv alone on the same bytes.
#include <benchmark/benchmark.h>

#include <iconv.h>
#include <unordered_map>

#include "controls/ucinifiles.h"
#include "platform/codepage.h"

namespace {

const int kKeys = 300;

std::string Key(int i) { return "Open the project number " + std::to_string(i) + "..."; }

// A language file: UTF-16LE with its mark, one section of kKeys keys.
const std::string& LanguageFile() {
    static const std::string file = [] {
        std::u16string text = u"; language file\r\n[INTERFACE]\r\n";
        for (int i = 0; i < kKeys; ++i)
            text += UcSystem::Utf8ToWide(Key(i)) + u" = Открыть проект номер " + UcSystem::Utf8ToWide(std::to_string(i)) + u"\r\n";
        std::string bytes = "\xFF\xFE";
        for (char16_t c : text) {
            bytes += static_cast<char>(c & 0xFF);
            bytes += static_cast<char>(c >> 8);
        }
        return bytes;
    }();
    return file;
}

const std::string& MixedUtf8() {
    static const std::string text = [] {
        std::string t;
        while (t.size() < 200000) t += "Grüße, Привет, 中文文本 and plain ASCII text; ";
        return t;
    }();
    return text;
}

const std::string& GbkText() {
    static const std::string text = [] {
        std::u16string wide;
        while (wide.size() < 100000) wide += u"中文文本，标点符号。ASCII 123 ";
        return WideToMultiByte(wide, 936);
    }();
    return text;
}

std::u16string IconvToUtf16(const std::string& bytes, const char* from) {
    iconv_t converter = iconv_open("UTF-16LE", from);
    std::u16string out(bytes.size() + 1, u'\0');
    char* in = const_cast<char*>(bytes.data());
    size_t inLeft = bytes.size();
    char* target = reinterpret_cast<char*>(out.data());
    size_t room = out.size() * 2;
    iconv(converter, &in, &inLeft, &target, &room);
    iconv_close(converter);
    out.resize((out.size() * 2 - room) / 2);
    return out;
}

void BM_LanguageFileLookups(benchmark::State& state) {
    std::vector<WideString> keys;
    for (int i = 0; i < 250; ++i) keys.push_back(UcSystem::Utf8ToWide(Key(i)));
    const std::string& file = LanguageFile();
    for (auto _ : state) {
        TMemoryStream stream(std::vector<uint8_t>(file.begin(), file.end()));
        TUcStringList lines;
        lines.LoadFromStream(stream);
        TUcMemIniFile ini(u"");
        ini.SetStrings(lines);
        for (const auto& key : keys) benchmark::DoNotOptimize(ini.ReadString(u"INTERFACE", key, key));
    }
}
BENCHMARK(BM_LanguageFileLookups);

// Reference: iconv decodes the body, each line is split at '=' into a hash
// map of upper-cased keys, the same 250 look-ups.
void BM_LanguageFileLookupsReference(benchmark::State& state) {
    std::vector<std::u16string> keys;
    for (int i = 0; i < 250; ++i) {
        std::u16string key = UcSystem::Utf8ToWide(Key(i));
        for (auto& c : key) c = WideCharToUpper(c);
        keys.push_back(key);
    }
    const std::string& file = LanguageFile();
    for (auto _ : state) {
        std::u16string text = IconvToUtf16(file.substr(2), "UTF-16LE");
        std::unordered_map<std::u16string, std::u16string> values;
        size_t start = 0;
        while (start < text.size()) {
            size_t end = text.find(u"\r\n", start);
            if (end == std::u16string::npos) end = text.size();
            size_t equals = text.find(u'=', start);
            if (equals < end) {
                std::u16string key = text.substr(start, equals - start);
                while (!key.empty() && key.back() == u' ') key.pop_back();
                for (auto& c : key) c = WideCharToUpper(c);
                values[key] = text.substr(equals + 2, end - equals - 2);
            }
            start = end + 2;
        }
        for (const auto& key : keys) benchmark::DoNotOptimize(values.find(key));
    }
}
BENCHMARK(BM_LanguageFileLookupsReference);

void BM_Utf8ToWide(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(UcSystem::Utf8ToWide(MixedUtf8()));
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(MixedUtf8().size()));
}
BENCHMARK(BM_Utf8ToWide);

void BM_Utf8ToWideIconv(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(IconvToUtf16(MixedUtf8(), "UTF-8"));
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(MixedUtf8().size()));
}
BENCHMARK(BM_Utf8ToWideIconv);

void BM_Cp936ToWide(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(AnsiToWideByCodePage(GbkText(), 936));
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(GbkText().size()));
}
BENCHMARK(BM_Cp936ToWide);

void BM_Cp936ToWideIconv(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(IconvToUtf16(GbkText(), "CP936"));
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(GbkText().size()));
}
BENCHMARK(BM_Cp936ToWideIconv);

}  // namespace

BENCHMARK_MAIN();
