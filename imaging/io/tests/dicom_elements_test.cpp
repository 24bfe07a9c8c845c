#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "imaging/core/tests/tool_support.h"
#include "imaging/io/ie_dicom_elements.h"

namespace {

using namespace imaging_test;
using Bytes = std::vector<uint8_t>;
namespace fs = std::filesystem;

std::string Q(const fs::path& p) { return "'" + p.string() + "'"; }

// One element of dcmdump's listing.
struct Dumped {
    uint16_t group, element;
    std::string vr, value;  // value: the text inside [] or the number
    long length;            // -1 for undefined
};

// The top-level elements dcmdump lists, without items and the pixel data.
std::vector<Dumped> DcmDump(const fs::path& file) {
    std::vector<Dumped> elements;
    std::istringstream lines(RunCommand("dcmdump -Un +L " + Q(file)));
    for (std::string line; std::getline(lines, line);) {
        if (line.size() < 14 || line[0] != '(') continue;
        Dumped d;
        d.group = static_cast<uint16_t>(std::stoul(line.substr(1, 4), nullptr, 16));
        d.element = static_cast<uint16_t>(std::stoul(line.substr(6, 4), nullptr, 16));
        if (d.group == 0x7FE0 || d.group == 0xFFFE) continue;
        d.vr = line.substr(12, 2);
        const size_t hash = line.rfind(" # ");
        const std::string rest = line.substr(15, hash - 15);
        if (rest.front() == '[') d.value = rest.substr(1, rest.find(']') - 1);
        else if (rest.front() != '(') d.value = rest.substr(0, rest.find(' '));
        const std::string count = line.substr(hash + 3);
        d.length = count.rfind("u/l", 0) == 0 ? -1 : std::stol(count);
        elements.push_back(d);
    }
    return elements;
}

TEST(ToolsDicomElements, TagsOfDcmtkFilesMatchDcmdump) {
    REQUIRE_TOOL("img2dcm");
    REQUIRE_TOOL("dcmdump");
    REQUIRE_TOOL("dcmdjpeg");
    REQUIRE_TOOL("dcmconv");
    REQUIRE_TOOL("convert");
    const fs::path folder = FixtureFolder("dicom_tags");
    const fs::path jpeg = folder / "source.jpg";
    RunCommand("convert -size 24x16 gradient:white-black " + Q(jpeg));
    const fs::path baseline = folder / "baseline.dcm", native = folder / "native.dcm",
                   implicit = folder / "implicit.dcm", big = folder / "big.dcm";
    RunCommand("img2dcm -k 'PatientName=Doe^John' -k PatientID=P-0042 -k 'StudyDescription=A study' " + Q(jpeg) +
               " " + Q(baseline));
    RunCommand("dcmdjpeg " + Q(baseline) + " " + Q(native));
    RunCommand("dcmconv +ti " + Q(native) + " " + Q(implicit));
    RunCommand("dcmconv +tb " + Q(native) + " " + Q(big));
    const struct {
        fs::path file;
        bool explicitVR;
        const char* syntax;
    } cases[] = {
        {baseline, true, "1.2.840.10008.1.2.4.50"},
        {native, true, "1.2.840.10008.1.2.1"},
        {implicit, false, "1.2.840.10008.1.2"},
        {big, true, "1.2.840.10008.1.2.2"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file.filename().string());
        const std::vector<Dumped> expected = DcmDump(c.file);
        ASSERT_GT(expected.size(), 20u);
        TMemoryStream stream(ReadBytes(c.file));
        TIEDICOMTags tags;
        TIEDICOMImageInfo info;
        ASSERT_TRUE(IEReadDICOMElements(stream, tags, info));
        EXPECT_EQ(info.TransferSyntax, c.syntax);
        EXPECT_EQ(info.Columns, 24);
        EXPECT_EQ(info.Rows, 16);
        EXPECT_EQ(info.BitsStored, 8);
        EXPECT_GT(info.PixelDataPosition, 0);
        ASSERT_EQ(tags.Count(), static_cast<int32_t>(expected.size()));
        for (int32_t i = 0; i < tags.Count(); ++i) {
            const TIEDICOMTags::TTag& tag = tags.GetTag(i);
            const Dumped& d = expected[static_cast<size_t>(i)];
            SCOPED_TRACE(d.vr + " " + std::to_string(d.group) + "," + std::to_string(d.element));
            EXPECT_EQ(tag.Group, d.group);
            EXPECT_EQ(tag.Element, d.element);
            if (c.explicitVR || d.group == 0x0002) {
                EXPECT_EQ(std::string(tag.VR.data(), 2), d.vr);
            }
            EXPECT_EQ(tag.DataLength, d.length);
            std::string text(tag.Data.begin(), tag.Data.begin() + tag.DataLength);
            while (!text.empty() && (text.back() == ' ' || text.back() == '\0')) text.pop_back();
            if (d.vr == "US") {
                const int big16 = c.file == big && d.group != 0x0002;
                const int value = big16 ? tag.Data[0] << 8 | tag.Data[1] : tag.Data[0] | tag.Data[1] << 8;
                EXPECT_EQ(std::to_string(value), d.value);
            } else if (d.vr == "UL") {
                uint32_t value;
                std::memcpy(&value, tag.Data.data(), 4);
                EXPECT_EQ(std::to_string(value), d.value);
            } else if (d.vr != "OB") {
                EXPECT_EQ(text, d.value);
            }
        }
        EXPECT_EQ(tags.GetTag(tags.IndexOf(0x0010, 0x0010)).Data[0], 'D');
    }
}

TEST(DicomElements, BareDataSetsAndDamage) {
    // A bare implicit little-endian data set: (0028,0010) US 16, a text
    // element, then a value that claims more bytes than there are.
    Bytes set = {0x28, 0x00, 0x10, 0x00, 2, 0, 0, 0, 16, 0,
                 0x10, 0x00, 0x10, 0x00, 4, 0, 0, 0, 'D', 'o', 'e', ' ',
                 0x10, 0x00, 0x20, 0x00, 0xF0, 0xFF, 0xFF, 0x0F, 'x'};
    TMemoryStream stream(set);
    TIEDICOMTags tags;
    TIEDICOMImageInfo info;
    EXPECT_FALSE(IEReadDICOMElements(stream, tags, info));
    ASSERT_EQ(tags.Count(), 2);
    EXPECT_EQ(info.Rows, 16);
    EXPECT_EQ(std::string(tags.GetTag(0).VR.data(), 2), "US");  // from the dictionary
    EXPECT_EQ(tags.GetTag(1).DataLength, 4);
    EXPECT_EQ(IEDICOMDictionaryVR(0x0009, 0x0010), "xs");
    EXPECT_EQ(IEDICOMDictionaryVR(0xFFFE, 0xE0DD), "!!");
    EXPECT_EQ(IEDICOMDictionaryVR(0x0018, 0x0000), "UL");

    // Explicit UT keeps its 32-bit length; a sequence of undefined length
    // has its items read as elements.
    Bytes ext = {0x08, 0x00, 0x16, 0x00, 'U', 'T', 0, 0, 3, 0, 0, 0, 'a', 'b', 'c',
                 0x08, 0x00, 0x15, 0x11, 'S', 'Q', 0, 0, 0xFF, 0xFF, 0xFF, 0xFF,
                 0xFE, 0xFF, 0x00, 0xE0, 0xFF, 0xFF, 0xFF, 0xFF,
                 0x08, 0x00, 0x50, 0x11, 'U', 'I', 2, 0, '1', 0,
                 0xFE, 0xFF, 0x0D, 0xE0, 0, 0, 0, 0,
                 0xFE, 0xFF, 0xDD, 0xE0, 0, 0, 0, 0};
    TMemoryStream extStream(ext);
    TIEDICOMTags extTags;
    TIEDICOMImageInfo extInfo;
    EXPECT_FALSE(IEReadDICOMElements(extStream, extTags, extInfo));
    ASSERT_EQ(extTags.Count(), 6);
    EXPECT_EQ(extTags.GetTag(0).DataLength, 3);
    EXPECT_EQ(extTags.GetTag(3).Element, 0x1150);
    EXPECT_EQ(extTags.GetTag(3).Data[0], '1');
}

}  // namespace
