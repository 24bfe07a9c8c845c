#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_meta_tags.h"
#include "imaging/core/tests/tool_support.h"

namespace {

using namespace imaging_test;
using Bytes = std::vector<uint8_t>;
namespace fs = std::filesystem;

std::string Q(const fs::path& p) { return "'" + p.string() + "'"; }

// tiffinfo's lines without the directory offsets, which an edit moves.
std::vector<std::string> TiffInfo(const fs::path& file) {
    std::vector<std::string> lines;
    std::istringstream text(RunCommand("tiffinfo " + Q(file) + " 2>&1"));
    for (std::string line; std::getline(text, line);)
        if (line.rfind("TIFF Directory at offset", 0) != 0) lines.push_back(line);
    return lines;
}

TEST(ToolsTiffTags, EditedPageShowsTheChangeWithEveryOtherTagIntact) {
    REQUIRE_TOOL("convert");
    REQUIRE_TOOL("tiffcp");
    REQUIRE_TOOL("tiffinfo");
    REQUIRE_TOOL("tiffcmp");
    const fs::path folder = FixtureFolder("tiff_tags");
    const fs::path source = folder / "source.tif";
    RunCommand("convert -size 40x30 gradient:red-blue -depth 8 -compress none " + Q(source));
    const fs::path le = folder / "le.tif", be = folder / "be.tif", pages = folder / "pages.tif";
    RunCommand("tiffcp -c lzw " + Q(source) + " " + Q(le));
    RunCommand("tiffcp -B -c none " + Q(source) + " " + Q(be));
    RunCommand("tiffcp " + Q(le) + " " + Q(be) + " " + Q(le) + " " + Q(pages));
    const struct {
        fs::path file;
        int32_t page;
    } cases[] = {{le, 0}, {be, 0}, {pages, 1}, {pages, 2}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file.filename().string() + " page " + std::to_string(c.page));
        TMemoryStream stream(ReadBytes(c.file));
        TIETagsHandler handler;
        ASSERT_TRUE(handler.LoadFromTIFF(stream, c.page));
        EXPECT_EQ(handler.GetInteger(256), 40u);
        EXPECT_EQ(handler.GetInteger(257), 30u);
        handler.SetASCII(270, "Edited by the tag handler");  // added
        handler.SetASCII(315, "An artist");                  // added
        handler.SetShort(274, 3);                            // changed
        ASSERT_TRUE(handler.SaveToTIFF(stream));
        const fs::path edited = folder / ("edited_" + std::to_string(c.page) + "_" + c.file.filename().string());
        WriteBytes(edited, stream.Memory(), static_cast<size_t>(stream.GetSize()));

        std::vector<std::string> before = TiffInfo(c.file), after = TiffInfo(edited);
        // The page's block of lines: from its header to the next one.
        const std::string header = "=== TIFF directory " + std::to_string(c.page) + " ===";
        auto pageStart = [&](std::vector<std::string>& lines) {
            const auto found = std::find(lines.begin(), lines.end(), header);
            return found == lines.end() ? size_t{0} : static_cast<size_t>(found - lines.begin());
        };
        const size_t at = pageStart(after);
        std::vector<std::string> expected = before;
        const size_t from = pageStart(expected);
        auto orientation = std::find(expected.begin() + static_cast<std::ptrdiff_t>(from), expected.end(),
                                     "  Orientation: row 0 top, col 0 lhs");
        ASSERT_NE(orientation, expected.end());
        *orientation = "  Orientation: row 0 bottom, col 0 rhs";
        auto it = std::find(after.begin() + static_cast<std::ptrdiff_t>(at), after.end(), "  Artist: An artist");
        ASSERT_NE(it, after.end());
        after.erase(it);
        it = std::find(after.begin() + static_cast<std::ptrdiff_t>(at), after.end(),
                       "  ImageDescription: Edited by the tag handler");
        ASSERT_NE(it, after.end());
        after.erase(it);
        EXPECT_EQ(after, expected);
        int status = -1;
        RunCommand("tiffcmp " + Q(c.file) + " " + Q(edited), &status);
        EXPECT_EQ(status, 0);

        TMemoryStream again(ReadBytes(edited));
        TIETagsHandler reread;
        ASSERT_TRUE(reread.LoadFromTIFF(again, c.page));
        EXPECT_EQ(reread.GetASCII(270), "Edited by the tag handler");
        EXPECT_EQ(reread.GetInteger(274), 3u);
        EXPECT_EQ(reread.TagCount(), handler.TagCount());
    }
}

TEST(TagsHandler, EntriesCopiesAndEdits) {
    TIETagsHandler handler;
    TMemoryStream headerOnly(Bytes{'I', 'I', 42, 0, 8, 0, 0, 0});
    EXPECT_FALSE(handler.LoadFromTIFF(headerOnly, 0));
    EXPECT_FALSE(handler.SaveToTIFF(headerOnly));
    handler.SetLong(0x0008, 1000123);
    handler.SetASCII(0x0006, "A longer text value");
    handler.SetShort(0x0001, 7);
    ASSERT_EQ(handler.TagCount(), 3);
    // Sorted by tag, little-endian, the long value behind the table.
    EXPECT_EQ(handler.Entries()[0], (TIETagsHandler::TEntry{1, ietSHORT, 1, 7}));
    EXPECT_EQ(handler.Entries()[1].Value, 2u + 3 * 12);
    EXPECT_EQ(handler.GetASCII(6), "A longer text value");

    // A copy reads the same entries; reading an empty stream keeps them.
    TIETagsHandler copy = handler;
    copy.ReadIFD();
    EXPECT_EQ(copy.Entries(), handler.Entries());
    const auto entries = copy.Entries();
    copy.Data().clear();
    copy.ReadIFD();
    EXPECT_EQ(copy.Entries(), entries);

    // Written big-endian at a position: offsets move with it.
    const Bytes ifd = handler.BuildIFD(100, false, 0);
    ASSERT_EQ(ifd.size(), 2u + 36 + 4 + 20);
    EXPECT_EQ(Bytes(ifd.begin(), ifd.begin() + 12), (Bytes{0, 3, 0, 1, 0, 3, 0, 0, 0, 1, 0, 7}));
    EXPECT_EQ(Bytes(ifd.begin() + 2 + 12 + 8, ifd.begin() + 2 + 24), (Bytes{0, 0, 0, 142}));
    // The maker note leaves out values of 1,024 bytes or more.
    const std::string big(1100, 'x');
    handler.SetASCII(0x0020, big);
    EXPECT_EQ(handler.TagCount(), 4);
    TIETagsHandler note;
    note.Data() = handler.MakerNoteBlock(0);
    note.ReadIFD();
    EXPECT_EQ(note.TagCount(), 3);
    EXPECT_TRUE(handler.RemoveTag(0x0020));
    EXPECT_FALSE(handler.RemoveTag(0x0020));
    EXPECT_EQ(handler.TagCount(), 3);
}

// A mark attribute record of the given type and font height.
std::array<uint8_t, 164> Attributes(int32_t type, int32_t fontHeight = 0) {
    std::array<uint8_t, 164> record{};
    std::memcpy(record.data(), &type, 4);
    for (size_t i = 4; i < 48; ++i) record[i] = static_cast<uint8_t>(i);
    std::memcpy(record.data() + 48, &fontHeight, 4);
    return record;
}

uint32_t U32(const Bytes& b, size_t at) {
    uint32_t v;
    std::memcpy(&v, &b[at], 4);
    return v;
}

TEST(ImagingAnnot, ADamagedTextScaleGivesTheLargestHeightInsteadOfOverflowing) {
    TIEImagingAnnot annot;
    auto text = std::make_unique<TIEImagingObject>();
    text->Attributes = Attributes(7, 1 << 30);
    text->Text = "A note";
    annot.Objects().push_back(std::move(text));
    Bytes saved = annot.SaveToBuffer();
    const std::string name = "OiAnText";
    const auto at = std::search(saved.begin(), saved.end(), name.begin(), name.end());
    ASSERT_NE(at, saved.end());
    // The creation scale, 8 bytes into the block's data: 1 in place of 750.
    const size_t scale = size_t(at - saved.begin()) + 12 + 8;
    ASSERT_LT(scale + 4, saved.size());
    saved[scale] = 1;
    saved[scale + 1] = saved[scale + 2] = saved[scale + 3] = 0;
    TIEImagingAnnot loaded;
    loaded.LoadFromBuffer(saved.data(), saved.size());
    ASSERT_EQ(loaded.Objects().size(), 1u);
    EXPECT_EQ(loaded.Objects()[0]->Attributes, Attributes(7, INT32_MAX));
}

TEST(ImagingAnnot, LineTextAndImageMarksRoundTrip) {
    TIEImagingAnnot empty;
    EXPECT_TRUE(empty.SaveToBuffer().empty());

    TIEImagingAnnot annot;
    auto line = std::make_unique<TIEImagingObject>();
    line->Attributes = Attributes(3);
    line->Points = {{10, 20}, {-30, 40}};
    annot.Objects().push_back(std::move(line));
    const Bytes saved = annot.SaveToBuffer();
    // Header, the two default blocks (8 + 12 + 2 bytes each), the mark.
    EXPECT_EQ(U32(saved, 0), 0u);
    EXPECT_EQ(U32(saved, 4), 1u);
    const size_t mark = 8 + 2 * 22;
    EXPECT_EQ(U32(saved, mark), 5u);
    EXPECT_EQ(U32(saved, mark + 4), 164u);
    const size_t points = mark + 8 + 164;
    EXPECT_EQ(U32(saved, points), 6u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&saved[points + 8]), 8), "OiAnoDat");
    EXPECT_EQ(U32(saved, points + 16), 24u);
    EXPECT_EQ(U32(saved, points + 20), 2u);
    EXPECT_EQ(static_cast<int32_t>(U32(saved, points + 36)), -30);

    auto text = std::make_unique<TIEImagingObject>();
    text->Attributes = Attributes(7, -24);
    text->Text = "A note";
    annot.Objects().push_back(std::move(text));
    auto image = std::make_unique<TIEImagingObject>();
    image->Attributes = Attributes(1);
    image->Image = std::make_unique<TIEBitmap>(5, 3, ie24RGB);
    for (int32_t y = 0; y < 3; ++y)
        for (int32_t x = 0; x < 15; ++x) image->Image->GetScanline(y)[x] = static_cast<uint8_t>(y * 40 + x);
    annot.Objects().push_back(std::move(image));
    annot.Objects().push_back(std::make_unique<TIEImagingObject>());  // type 0: not a mark

    Bytes all = annot.SaveToBuffer();
    // A named block this library does not know is skipped by its length.
    const Bytes unknown = {6, 0, 0, 0, 12, 0, 0, 0, 'O', 'i', 'Z', 'z', 'z', 0, 0, 0, 3, 0, 0, 0, 9, 9, 9};
    all.insert(all.end(), unknown.begin(), unknown.end());
    const fs::path folder = FixtureFolder("annotations");
    WriteBytes(folder / "marks.annot", all.data(), all.size());
    TIEImagingAnnot loaded;
    loaded.UserChanged = true;
    loaded.LoadFromBuffer(all.data(), all.size());
    EXPECT_FALSE(loaded.UserChanged);
    ASSERT_EQ(loaded.Objects().size(), 3u);
    EXPECT_EQ(loaded.Objects()[0]->Attributes, Attributes(3));
    EXPECT_EQ(loaded.Objects()[0]->Points, (std::vector<std::pair<int32_t, int32_t>>{{10, 20}, {-30, 40}}));
    // Saved and loaded on a 96 pixels-per-inch screen (creation scale 750).
    EXPECT_EQ(loaded.Objects()[1]->Text, "A note");
    EXPECT_EQ(loaded.Objects()[1]->Attributes, Attributes(7, -24));
    ASSERT_NE(loaded.Objects()[2]->Image, nullptr);
    TIEBitmap& back = *loaded.Objects()[2]->Image;
    ASSERT_EQ(back.GetWidth(), 5);
    ASSERT_EQ(back.GetHeight(), 3);
    EXPECT_EQ(std::memcmp(back.GetScanline(2), annot.Objects()[2]->Image->GetScanline(2), 15), 0);

    TIEImagingAnnot copy;
    copy.Assign(loaded);
    ASSERT_EQ(copy.Objects().size(), 3u);
    EXPECT_NE(copy.Objects()[2]->Image.get(), loaded.Objects()[2]->Image.get());

    // Lengths that run past the data end the reading: nothing is invented.
    for (size_t cut = 0; cut < all.size(); cut += 7) {
        TIEImagingAnnot partial;
        partial.LoadFromBuffer(all.data(), cut);
        EXPECT_LE(partial.Objects().size(), 3u);
    }
}

TEST(DICOMTags, AddTagKeepsTwoLetterRepresentations) {
    TIEDICOMTags tags;
    EXPECT_EQ(tags.AddTag(0x0028, 0x0010, "US", {0x30, 0x00}, 2), 0);
    EXPECT_EQ(tags.AddTag(0x0010, 0x0010, "PNX", {'A'}, 1), 1);
    EXPECT_EQ(tags.AddTag(0xFFFE, 0xE000, "!!", {}, -1), 2);
    EXPECT_EQ(tags.GetTag(0).VR, (std::array<char, 2>{'U', 'S'}));
    EXPECT_EQ(tags.GetTag(0).Data, (Bytes{0x30, 0x00, 0x00}));  // with the terminator
    EXPECT_EQ(tags.GetTag(1).VR, (std::array<char, 2>{0, 0}));
    EXPECT_EQ(tags.GetTag(2).DataLength, 0);
    EXPECT_TRUE(tags.GetTag(2).Data.empty());
    EXPECT_EQ(tags.IndexOf(0x0010, 0x0010), 1);
    TIEDICOMTags copy;
    copy.Assign(tags);
    EXPECT_EQ(copy.Count(), 3);
    EXPECT_EQ(copy.GetTag(0).Data, tags.GetTag(0).Data);
}

}  // namespace
