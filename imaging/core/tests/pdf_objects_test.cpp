// The PDF object classes' text and the document routines' layout.
#include <gtest/gtest.h>

#include <clocale>

#include "imaging/core/ie_pdf_objects.h"

namespace {

template <typename T>
std::string TextOf(T&& object) {
    TMemoryStream stream;
    object.Write(stream);
    return std::string(stream.Bytes().begin(), stream.Bytes().end());
}

}  // namespace

TEST(PDFObjects, TextForms) {
    EXPECT_EQ(TextOf(TIEPDFNameObject("Image B")), "/Image#20B");
    EXPECT_EQ(TextOf(TIEPDFNameObject("DeviceRGB")), "/DeviceRGB");
    EXPECT_EQ(TextOf(TIEPDFNameObject("A#B\xE9")), "/A#23B#E9");
    EXPECT_EQ(TextOf(TIEPDFStringObject("a(b)c\\d")), "(a\\(b\\)c\\\\d)");
    EXPECT_EQ(TextOf(TIEPDFStringObject("x\ry\t\n\b\f")), "(x\\ry\\t\\n\\b\\f)");
    EXPECT_EQ(TextOf(TIEPDFBooleanObject(true)), "true");
    EXPECT_EQ(TextOf(TIEPDFRefObject(5, 0)), "5 0 R");
    EXPECT_EQ(TextOf(TIEPDFArrayObject()), "[]");
    {
        // A comma as the user's decimal separator changes nothing.
        const char* old = std::setlocale(LC_NUMERIC, nullptr);
        const std::string saved = old ? old : "C";
        std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
        EXPECT_EQ(TextOf(TIEPDFNumericObject(612)), "612");
        EXPECT_EQ(TextOf(TIEPDFNumericObject(0.5)), "0.5");
        std::setlocale(LC_NUMERIC, saved.c_str());
    }
    TIEPDFArrayObject refs;
    refs.Add(new TIEPDFRefObject(3, 0));
    refs.Add(new TIEPDFRefObject(4, 0));
    EXPECT_EQ(TextOf(refs), "[3 0 R 4 0 R ]");
    TIEPDFDictionaryObject page;
    page.AddObject("Type", new TIEPDFNameObject("Page"));
    EXPECT_EQ(TextOf(page), "<< /Type /Page\n>>");

    TIEPDFStreamObject stream("0123456789", 10);
    stream.Dictionary.SetObject("Length", new TIEPDFNumericObject(99));
    EXPECT_EQ(TextOf(stream), "<< /Length 10\n>>\nstream\n0123456789\nendstream");
}

TEST(PDFObjects, DocumentLayout) {
    TIEPDFObjectList objects;
    std::vector<TIEPDFDictionaryObject*> pages;
    TIEPDFDictionaryObject* catalog = IEPDFCreateCatalog(objects);
    EXPECT_EQ(catalog->Number, 1);
    auto* content = IEPDFAdd(objects, std::make_unique<TIEPDFStreamObject>("q Q", 3));
    auto box = std::make_unique<TIEPDFArrayObject>();
    for (double v : {0.0, 0.0, 612.0, 792.0}) box->Add(new TIEPDFNumericObject(v));
    TIEPDFDictionaryObject* page = IEPDFCreatePage(objects, pages, nullptr, content->Number, std::move(box));
    TIEPDFDictionaryObject* root = IEPDFCreatePages(objects, pages);
    ASSERT_EQ(objects.size(), 4u);
    EXPECT_EQ(root->Number, 4);

    TMemoryStream out;
    out.WriteBuffer("0123456789abcde", 15);  // the first object starts at 15
    IEPDFWriteObjects(out, objects);
    const int64_t xref = out.GetPosition();
    IEPDFWriteXRef(out, objects, *page);
    const std::string text(out.Bytes().begin(), out.Bytes().end());
    EXPECT_EQ(text.substr(15, 8), "1 0 obj\n");
    EXPECT_EQ(catalog->Offset, 15);
    const std::string table = text.substr(static_cast<size_t>(xref));
    ASSERT_EQ(table.rfind("xref\n0 5\n0000000000 65535 f \n0000000015 00000 n \n", 0), 0u) << table;
    // Five 20-byte entries, each pointing at its object's line.
    const size_t entries = table.find("0000000000 65535 f ");
    for (int i = 0; i < 4; ++i) {
        const std::string entry = table.substr(entries + 20 * size_t(i + 1), 20);
        const size_t offset = std::stoul(entry.substr(0, 10));
        EXPECT_EQ(entry.substr(10), " 00000 n \n");
        EXPECT_EQ(text.substr(offset, std::to_string(i + 1).size() + 6), std::to_string(i + 1) + " 0 obj");
    }
    EXPECT_NE(table.find("trailer\n<< /Size 5\n/Root 1 0 R\n/Info 3 0 R\n>>\nstartxref\n" + std::to_string(xref) +
                         "\n%%EOF\n"),
              std::string::npos);
    EXPECT_NE(text.find("<< /Type /Catalog\n/Pages 4 0 R\n>>"), std::string::npos);
    EXPECT_NE(text.find("/Kids [3 0 R ]\n/Count 1\n"), std::string::npos);
    EXPECT_NE(text.find("/Contents 2 0 R\n/Parent 4 0 R\n"), std::string::npos);
}
