// Conversions of the text base: UTF-7 and UTF-8 by their rules and against
// iconv and python3's codecs, code pages byte for byte against iconv, and
// the locale tables.
#include <gtest/gtest.h>

#include <sstream>

#include "controls/langs.h"
#include "controls/ucsystem.h"
#include "controls/tests/text_tools.h"
#include "platform/codepage.h"

namespace {

std::string ToUtf16Le(const WideString& text) {
    std::string bytes;
    for (WideChar c : text) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>(c >> 8);
    }
    return bytes;
}

WideString FromUtf16Le(const std::string& bytes) {
    WideString text;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2)
        text += static_cast<WideChar>(static_cast<unsigned char>(bytes[i]) | (static_cast<unsigned char>(bytes[i + 1]) << 8));
    return text;
}

// Latin, Cyrillic, CJK, the line separator and a character beyond the BMP.
const WideString kMaster = u"Grüße, Ça va? Привет, мир! 中文文本 a\u2028b 😀 end";

std::string Hex(const std::string& bytes) {
    std::string out;
    for (unsigned char b : bytes) out += FormatStr("%02x", b);
    return out;
}

std::string Unhex(const std::string& digits) {
    std::string out;
    for (size_t i = 0; i + 1 < digits.size(); i += 2) out += static_cast<char>(std::stoi(digits.substr(i, 2), nullptr, 16));
    return out;
}

// python3's UTF-7 codec over a batch, one start of the interpreter: each
// request line "D <hex>" decodes UTF-7 bytes to UTF-16LE, "E <hex>" encodes
// UTF-16LE to UTF-7; each answer line is the hex of the result.
const char* const kPythonUtf7 =
    "python3 -c \"import sys\n"
    "for line in sys.stdin:\n"
    "    kind, data = line.split()\n"
    "    data = bytes.fromhex(data)\n"
    "    out = data.decode('utf-7').encode('utf-16-le') if kind == 'D' else data.decode('utf-16-le').encode('utf-7')\n"
    "    print(out.hex())\n\"";

}  // namespace

TEST(Utf7, EncodesAndDecodesByTheRules) {
    struct Case {
        WideString text;
        std::string utf7;
    };
    const Case encoded[] = {
        {u"A+B", "A+-B"},      // '+' alone stands as "+-"
        {u"£1", "+AKM-1"},     // a base64 digit after the shift needs the '-'
        {u"£.", "+AKM."},      // a full stop ends the shift by itself
        {u"a£", "a+AKM"},      // no '-' at the end of the text
        {u"a-b!~", "a-b!+AH4"},
        {u"", ""},
    };
    for (const auto& c : encoded) {
        EXPECT_EQ(WideToUtf7(c.text), c.utf7);
        EXPECT_EQ(Utf7ToWide(c.utf7), c.text) << c.utf7;
    }
    EXPECT_EQ(Utf7ToWide("+AKM-x"), u"£x");
    EXPECT_EQ(Utf7ToWide("+AKM.x"), u"£.x");
    EXPECT_EQ(Utf7ToWide("+-"), u"+");
    for (const char* corrupt : {"+", "+AKN-", "a\xE9", "x+-+"})
        EXPECT_THROW(Utf7ToWide(corrupt), EUcGeneralError) << corrupt;
    try {
        Utf7ToWide("+AKN-");
    } catch (const EUcGeneralError& e) {
        EXPECT_STREQ(e.what(), "Invalid UTF7");
    }
}

TEST(Utf7, AgreesWithIconvAndPython) {
    TW_REQUIRE_TOOL("iconv");
    TW_REQUIRE_TOOL("python3");
    const WideString texts[] = {kMaster, u"A+B", u"£1", u"£.", u"a£", u"~\\ tilde and backslash", u"+", u"-+-",
                                u"x£-", u"\"quoted\" & <tags> [a]{b}", u"tab\there\r\nnext line"};
    std::string requests;
    for (const auto& text : texts) {
        std::string ours = WideToUtf7(text);
        EXPECT_EQ(FromUtf16Le(TW_RUN("iconv -f UTF-7 -t UTF-16LE", ours)), text) << ours;
        EXPECT_EQ(Utf7ToWide(TW_RUN("iconv -f UTF-16LE -t UTF-7", ToUtf16Le(text))), text);
        requests += "D " + Hex(ours) + "\nE " + Hex(ToUtf16Le(text)) + "\n";
    }
    std::istringstream answers(TW_RUN(kPythonUtf7, requests));
    for (const auto& text : texts) {
        std::string decoded, encoded;
        answers >> decoded >> encoded;
        EXPECT_EQ(FromUtf16Le(Unhex(decoded)), text) << "python3 decoding " << WideToUtf7(text);
        EXPECT_EQ(Utf7ToWide(Unhex(encoded)), text) << "python3's encoding " << Unhex(encoded);
    }
    // What we refuse, iconv refuses too.
    for (const char* corrupt : {"+", "+AKN-", "a\xE9"}) {
        bool ok = true;
        text_tools::Run("iconv -f UTF-7 -t UTF-16LE", corrupt, ok);
        EXPECT_FALSE(ok) << corrupt;
    }
}

TEST(Utf8, DecodesByTheRulesAndReplacesWhatIsMalformed) {
    EXPECT_EQ(UcSystem::Utf8ToWide(UcSystem::WideToUtf8(kMaster)), kMaster);
    // A pair is one four-byte sequence, as every UTF-8 reader expects.
    EXPECT_EQ(UcSystem::WideToUtf8(u"😀"), "\xF0\x9F\x98\x80");
    // Pairs written as two three-byte sequences by older writers still read.
    EXPECT_EQ(UcSystem::Utf8ToWide("\xED\xA0\xBD\xED\xB8\x80"), u"😀");
    EXPECT_EQ(UcSystem::WideToUtf8(WideString(1, 0xD800)), "\xED\xA0\x80");  // a lone surrogate
    EXPECT_EQ(UcSystem::Utf8ToWide(""), u"");
    // An overlong slash is no slash, and one bad byte costs one character.
    EXPECT_EQ(UcSystem::Utf8ToWide("..\xC0\xAF..\xC0\xAF" "etc"), u"..\uFFFD\uFFFD..\uFFFD\uFFFDetc");
    EXPECT_EQ(UcSystem::Utf8ToWide("ab\xE4\xB8"), u"ab\uFFFD");
}

// Malformed input decodes as python3's decoder with replacement decodes it
// (one U+FFFD per maximal malformed part, as Unicode recommends).
TEST(Utf8, MalformedInputAgreesWithPython3) {
    TW_REQUIRE_TOOL("python3");
    const std::vector<std::string> inputs = {
        "ab\xE4\xB8",       "ab\xC3",         "\xC3\x28",          "\xF0\x9F\x98",   "\xF4\x90\x80\x80",
        "\xC0\xAF",         "\xC1\xBF",      "\xE0\x80\xAF",     "\xE0\x9F\xBF",   "\xF0\x80\x80\xAF",
        "\xF0\x8F\xBF\xBF", "\x80",           "a\xBF\x80" "b",        "\xF5\x80\x80\x80", "\xFE\xFF",
        "\xE2\x82",         "\xE2\x82\xAC", "\xF4\x8F\xBF\xBF", "x\xE2\x28\xA1y", "\xC2\xC2\xA9"};
    std::string requests;
    for (const std::string& input : inputs) requests += Hex(input) + "\n";
    std::istringstream answers(TW_RUN("python3 -c \"import sys\n"
                                      "for line in sys.stdin:\n"
                                      "    data = bytes.fromhex(line.strip())\n"
                                      "    print(data.decode('utf-8', 'replace').encode('utf-16-le').hex())\n\"",
                                      requests));
    for (const std::string& input : inputs) {
        std::string expected;
        answers >> expected;
        EXPECT_EQ(UcSystem::Utf8ToWide(input), FromUtf16Le(Unhex(expected))) << Hex(input);
    }
}

// Every defined byte of the single-byte pages, and every CJK ideograph of
// GBK, against iconv in both directions.
TEST(CodePages, EqualIconvByteForByte) {
    TW_REQUIRE_TOOL("iconv");
    struct Page {
        unsigned codePage;
        const char* name;
        std::string undefined;
    };
    const Page pages[] = {{1251, "CP1251", "\x98"}, {1252, "CP1252", "\x81\x8D\x8F\x90\x9D"}};
    for (const auto& page : pages) {
        std::string bytes;
        for (int b = 1; b < 256; ++b)
            if (page.undefined.find(static_cast<char>(b)) == std::string::npos) bytes += static_cast<char>(b);
        WideString wide = FromUtf16Le(TW_RUN(std::string("iconv -f ") + page.name + " -t UTF-16LE", bytes));
        ASSERT_EQ(wide.size(), bytes.size()) << page.name;
        EXPECT_EQ(AnsiToWideByCodePage(bytes, page.codePage), wide) << page.name;
        EXPECT_EQ(WideToAnsiByCodePage(wide, page.codePage), bytes) << page.name;
    }

    WideString ideographs = u"中文，标点。ASCII too: 123 ";
    for (char16_t c = 0x4E00; c <= 0x9FA5; ++c) ideographs += c;
    std::string gbk = TW_RUN("iconv -f UTF-16LE -t CP936", ToUtf16Le(ideographs));
    EXPECT_EQ(WideToAnsiByCodePage(ideographs, 936), gbk);
    EXPECT_EQ(AnsiToWideByCodePage(gbk, 936), ideographs);

    std::string utf8 = TW_RUN("iconv -f UTF-16LE -t UTF-8", ToUtf16Le(kMaster));
    EXPECT_EQ(WideToAnsiByCodePage(kMaster, CP_UTF8), utf8);
    EXPECT_EQ(AnsiToWideByCodePage(utf8, CP_UTF8), kMaster);
}

TEST(CodePages, MissingCharactersAndBadBytes) {
    bool usedDefault = false;
    EXPECT_EQ(WideToMultiByte(u"aЖ中", 1252, &usedDefault), "a??");
    EXPECT_TRUE(usedDefault);
    EXPECT_EQ(WideToMultiByte(u"aЖ", 1251, &usedDefault), "a\xC6");
    EXPECT_FALSE(usedDefault);
    EXPECT_EQ(WideToAnsiByCodePage(u"a😀", 936), "a??");  // one '?' a code unit
    EXPECT_EQ(AnsiToWideByCodePage("a\x81", 936), u"a\uFFFD");  // a lead byte cut off
    EXPECT_FALSE(IsWideCharMappable(u'Ж'));
    EXPECT_TRUE(IsWideCharMappable(u'€'));
    EXPECT_THROW(MultiByteToWide("x", 12345), EConvertError);
}

TEST(Locales, CodePagesAndCharsets) {
    struct Case {
        TLanguage locale;
        unsigned codePage;
        int charset;
    };
    const Case cases[] = {
        {2052, 936, GB2312_CHARSET}, {1033, 1252, 0},   {1049, 1251, 204}, {1041, 932, 128},
        {1042, 949, 129},            {1028, 950, 136},  {1029, 1250, 238}, {1032, 1253, 161},
        {1055, 1254, 162},           {1037, 1255, 177}, {1025, 1256, 178}, {1061, 1257, 186},
        {1066, 1258, 163},           {1054, 874, 222},  {3098, 1251, 204}, {2074, 1250, 238},
        {0x0400, 1252, 0},           {0x7F7F, 1252, 0},  // the user's default; an unknown one falls back
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CodePageOfLocale(c.locale), c.codePage) << c.locale;
        EXPECT_EQ(CharsetOfLocale(c.locale), c.charset) << c.locale;
    }
    EXPECT_EQ(StringToWideStringCP(std::string("\xCF\xF0\0ignored", 10), 1251), u"Пр");
    EXPECT_EQ(WideStringToStringCP(WideString(u"Пр\0x", 4), 1251), "\xCF\xF0");
    EXPECT_EQ(StringToWideStringCP("+AKM-", CP_UTF7), u"£");
    EXPECT_EQ(KeyCharToWide(0xC0), u'À');
    EXPECT_EQ(KeyCharToWide(0x416), u'Ж');
}

TEST(WideText, CaseTrimAndSwap) {
    EXPECT_EQ(WideCharUpper(u'ж'), u'Ж');
    EXPECT_EQ(WideCharUpper(u'é'), u'É');
    EXPECT_EQ(WideTrim(u"\t\r\n x y \x01"), u"x y");
    WideString swapped = u"\u4100\u4200";
    swapped += u'\0';
    swapped += u"\u4300";
    WideSwapByteOrder(swapped);
    EXPECT_EQ(swapped.substr(0, 2), u"AB");
    EXPECT_EQ(swapped[3], u'\u4300');  // after the zero unit nothing is swapped
    EXPECT_LT(LocaleCompareText(u"apple", u"Banana"), 0);
    EXPECT_EQ(LocaleCompareText(u"APPLE", u"apple"), 0);
    EXPECT_LT(LocaleCompareStr(u"apple", u"APPLE"), 0);
    EXPECT_EQ(LoadWideResourceString("\xEF\xBB\xBFПривет"), u"Привет");
    EXPECT_EQ(LoadWideResourceString("caf\xE9"), u"café");
}
