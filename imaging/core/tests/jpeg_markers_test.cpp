#include <gtest/gtest.h>

#include <lcms2.h>

#include <cstring>
#include <string>
#include <vector>

#include "imaging/core/ie_icc.h"
#include "imaging/core/ie_jpeg_markers.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

TEST(IPTCInfoList, EncodesAndDecodesTheRecordForms) {
    const Bytes abc = {0x61, 0x62, 0x63};
    TIEIPTCInfoList list;
    list.AddBufferItem(2, 120, 3, abc.data());
    list.AddBufferItem(2, 0, 2, abc.data());   // the version record comes from the prefix
    list.AddBufferItem(2, 25, 0, abc.data());  // empty records are not written

    Bytes plain = list.SaveToBuffer(false);
    EXPECT_EQ(plain, (Bytes{0x1C, 2, 0, 0, 2, 0, 2, 0x1C, 2, 0x78, 0, 3, 0x61, 0x62, 0x63, 0}));
    TIEIPTCInfoList back;
    ASSERT_TRUE(back.LoadFromBuffer(plain.data(), static_cast<int32_t>(plain.size())));
    ASSERT_EQ(back.GetCount(), 2);
    EXPECT_EQ(back.GetDataSet(0), 0);
    EXPECT_EQ(back.GetData(0), (Bytes{0, 2}));
    EXPECT_EQ(back.GetDataSet(1), 120);
    EXPECT_EQ(back.GetData(1), abc);
    EXPECT_FALSE(back.UserChanged());

    Bytes photoshop = list.SaveToBuffer(true);
    ASSERT_EQ(photoshop.size(), 34u);
    EXPECT_EQ(Bytes(photoshop.begin(), photoshop.begin() + 18), Text(std::string("Photoshop 3.0\0008BIM", 18)));
    EXPECT_EQ(Bytes(photoshop.begin() + 22, photoshop.begin() + 26), (Bytes{0, 0, 0, 8}));
    ASSERT_TRUE(back.LoadFromBuffer(photoshop.data(), static_cast<int32_t>(photoshop.size())));
    ASSERT_EQ(back.GetCount(), 1);
    EXPECT_EQ(back.GetData(0), abc);

    // 40000 bytes take the extended length form.
    Bytes big(40000, 0x5A);
    TIEIPTCInfoList large;
    large.AddBufferItem(2, 202, 40000, big.data());
    Bytes encoded = large.SaveToBuffer(false);
    EXPECT_EQ(Bytes(encoded.begin() + 7, encoded.begin() + 16), (Bytes{0x1C, 2, 202, 0x80, 4, 0, 0, 0x9C, 0x40}));
    ASSERT_TRUE(back.LoadFromBuffer(encoded.data(), static_cast<int32_t>(encoded.size())));
    EXPECT_EQ(back.GetData(1), big);

    Bytes noRecords = Text("no records here");
    EXPECT_FALSE(back.LoadFromBuffer(noRecords.data(), static_cast<int32_t>(noRecords.size())));
    EXPECT_EQ(back.GetCount(), 0);
}

TEST(IPTCInfoList, StopsAtRecordsThatRunPastTheEnd) {
    // A record declaring 0x7FFF bytes and an extended one declaring 2^31.
    const Bytes cases[] = {{0x1C, 2, 5, 0x7F, 0xFF, 1, 2}, {0x1C, 2, 5, 0x80, 4, 0x80, 0, 0, 0, 1}};
    for (const Bytes& data : cases) {
        TIEIPTCInfoList list;
        EXPECT_FALSE(list.LoadFromBuffer(data.data(), static_cast<int32_t>(data.size())));
        EXPECT_EQ(list.GetCount(), 0);
    }
}

TEST(MarkerList, SortsForWriting) {
    auto icc = [](uint8_t sequence) {
        Bytes b = Text(std::string("ICC_PROFILE\0", 12));
        b.push_back(sequence);
        b.push_back(2);
        b.push_back(0xAA);
        return b;
    };
    const Bytes xmp = Text(std::string("http://ns.adobe.com/xap/1.0/\0<x/>", 33));
    const Bytes exif = Text(std::string("Exif\0\0MM", 8));
    TIEMarkerList list;
    list.AddMarker(0xE1, xmp.data(), static_cast<int32_t>(xmp.size()));
    list.AddMarker(0xE0, exif.data(), 1);
    list.AddMarker(0xE2, icc(2).data(), 15);
    list.AddMarker(0xE1, exif.data(), static_cast<int32_t>(exif.size()));
    list.AddMarker(0xE2, icc(1).data(), 15);
    list.AddMarker(0xFE, exif.data(), 2);
    list.SortMarkers();
    ASSERT_EQ(list.GetCount(), 6);
    const uint8_t types[] = {0xE0, 0xE1, 0xE1, 0xE2, 0xE2, 0xFE};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(list.GetMarkerType(i), types[i]) << i;
    EXPECT_EQ(list.GetMarkerBytes(1), exif);
    EXPECT_EQ(list.GetMarkerBytes(2), xmp);
    EXPECT_EQ(list.GetMarkerData(3)[12], 1);
    EXPECT_EQ(list.GetMarkerData(4)[12], 2);

    Bytes huge(65536, 1);
    list.AddMarker(0xE5, huge.data(), 65536);
    EXPECT_EQ(list.GetMarkerLength(list.IndexOf(0xE5)), 0);
}

TEST(ICCProfile, OpensReadsTextsAndCachesTransforms) {
    cmsHPROFILE srgb = cmsCreate_sRGBProfile();
    cmsUInt32Number size = 0;
    cmsSaveProfileToMem(srgb, nullptr, &size);
    Bytes raw(size);
    cmsSaveProfileToMem(srgb, raw.data(), &size);
    cmsCloseProfile(srgb);

    TIEICC profile, output;
    profile.LoadFromBuffer(raw.data(), static_cast<int32_t>(raw.size()));
    output.LoadSRGB();
    ASSERT_TRUE(profile.IsValid());
    ASSERT_TRUE(output.IsValid());
    EXPECT_TRUE(output.Raw().empty());

    // sRGB to sRGB keeps colours (within the engine's rounding).
    const uint8_t bgr[6] = {10, 128, 250, 0, 0, 0};
    uint8_t out[6] = {};
    ASSERT_TRUE(profile.Transform(output, 1, 1, 0, 0, bgr, out, 2));
    for (int i = 0; i < 6; ++i) EXPECT_NEAR(out[i], bgr[i], 1) << i;
    EXPECT_FALSE(profile.IsApplied());
    // Output format 0 produces nothing; the new formats replace the
    // transform, which marks the profile as applied.
    uint8_t untouched[3] = {7, 7, 7};
    ASSERT_TRUE(profile.Transform(output, 1, 0, 0, 0, bgr, untouched, 1));
    EXPECT_EQ(untouched[0], 7);
    EXPECT_TRUE(profile.IsApplied());
    profile.FreeTransform();
    EXPECT_FALSE(profile.IsTransformReady());
    profile.Clear();
    EXPECT_FALSE(profile.IsApplied());
    EXPECT_FALSE(profile.IsValid());

    // Texts from a crafted tag table; a count of 5000 gives none.
    Bytes crafted(200, 0);
    crafted[131] = 1;
    std::memcpy(&crafted[132], "cprt", 4);
    crafted[139] = 150;  // offset
    crafted[143] = 20;   // size
    std::memcpy(&crafted[158], "Mine", 5);
    profile.LoadFromBuffer(crafted.data(), static_cast<int32_t>(crafted.size()));
    EXPECT_EQ(profile.Copyright(), "Mine");
    crafted[130] = 0x13, crafted[131] = 0x88;
    profile.LoadFromBuffer(crafted.data(), static_cast<int32_t>(crafted.size()));
    EXPECT_EQ(profile.Copyright(), "");
}

}  // namespace
