// The shared small streams, byte buffer, strings and item lists.
#include <gtest/gtest.h>

#include <numeric>

#include "imaging/core/ie_streams.h"
#include "platform/codepage.h"
#include "platform/errors.h"

TEST(StreamsTest, NulStreamCountsAndSeeksFromEndBackwards) {
    TNulStream s;
    EXPECT_EQ(s.Write(nullptr, 10), 10);
    s.Seek(4, TSeekOrigin::Begin);
    s.Write(nullptr, 2);
    EXPECT_EQ(s.GetPosition(), 6);
    EXPECT_EQ(s.GetSize(), 10);
    EXPECT_EQ(s.Seek(3, TSeekOrigin::End), 7);
    EXPECT_EQ(s.GetSize(), 10);
}

TEST(StreamsTest, BufferedReadStreamIsRelativeAndReadOnly) {
    std::vector<uint8_t> bytes(300);
    std::iota(bytes.begin(), bytes.end(), 0);
    TMemoryStream source(bytes);
    source.SetPosition(100);
    TIEBufferedReadStream view(source, true, 16);
    EXPECT_EQ(view.Seek(0, TSeekOrigin::Begin), 0);
    uint8_t got[250] = {};
    ASSERT_EQ(view.Read(got, 1), 1);
    EXPECT_EQ(got[0], 100);
    // Spans several buffer fills, then grows the buffer for one big read.
    ASSERT_EQ(view.Read(got, 40), 40);
    EXPECT_EQ(got[39], 140);
    EXPECT_EQ(view.Read(got, 250), 159);  // only what remains
    EXPECT_EQ(got[158], 299 & 255);
    EXPECT_EQ(view.Read(got, 5), 0);
    EXPECT_THROW(view.Write(got, 0), Exception);
    try {
        view.Write(got, 1);
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "TIEBufferedReadStream cannot write!");
    }
}

TEST(StreamsTest, ByteArrayGrowsAndShrinksByBlocks) {
    TIEByteArray a;
    EXPECT_EQ(a.Capacity(), 8192);
    for (int i = 0; i < 8193; ++i) a.AddByte(static_cast<uint8_t>(i));
    EXPECT_EQ(a.Capacity(), 16385);
    EXPECT_EQ(a.Data()[8192], 0);
    EXPECT_EQ(a.Data()[8191], 255);
    a.SetSize(0);
    EXPECT_EQ(a.Capacity(), 8192);

    TMemoryStream source(std::vector<uint8_t>{1, 2, 3});
    EXPECT_EQ(a.AppendFromStream(source, 10), 3);
    EXPECT_EQ(a.Size(), 3);
    EXPECT_EQ(a.Data()[2], 3);
}

TEST(StreamsTest, StringsRoundTripAndRejectImpossibleLengths) {
    TMemoryStream s;
    IEWriteStrToStream(s, "abc");
    IEWriteLineCRLF(s, "x");
    EXPECT_EQ(s.Bytes(), (std::vector<uint8_t>{3, 0, 0, 0, 'a', 'b', 'c', 'x', '\r', '\n'}));
    s.SetPosition(0);
    std::string text;
    IEReadStrFromStream(s, text);
    EXPECT_EQ(text, "abc");

    TMemoryStream bad(std::vector<uint8_t>{0xFF, 0xFF, 0xFF, 0x7F, 'a'});
    EXPECT_THROW(IEReadStrFromStream(bad, text), EReadError);

    bool failed = false;
    TIEMemStream readOnly("xy", 2);
    IEStreamWriteChecked(readOnly, failed, "z", 1);
    EXPECT_TRUE(failed);
}

TEST(StreamsTest, ListsAddDeleteAndAssign) {
    TIEIntegerList list;
    EXPECT_EQ(list.Add(5), 0);
    list.Add(6);
    list.Add(7);
    list.Delete(-1);
    list.Delete(3);
    EXPECT_EQ(list.Count(), 3);
    list.Delete(1);
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(list[1], 7);
    list.RangeMax = 9;

    TIEIntegerList copy;
    copy.Assign(&list);
    EXPECT_EQ(copy.Count(), 2);
    EXPECT_EQ(copy[0], 5);
    EXPECT_EQ(copy.RangeMax, 9);
    copy.Clear();
    EXPECT_EQ(copy.Count(), 0);
    EXPECT_EQ(copy.ItemSize(), 4);

    struct Point {
        int32_t x, y;
    };
    TIERecordList records(sizeof(Point));
    Point p{3, 4};
    records.AddRecord(&p);
    EXPECT_EQ(reinterpret_cast<Point*>(records.GetRecord(0))->y, 4);
}

TEST(StreamsTest, WideFileStreamNamesTheMissingFile) {
    try {
        TIEWideFileStream s(Utf8ToWide("missing-\xC3\xA9.bin"), 0);
        FAIL() << "opened a missing file";
    } catch (const EFOpenError& e) {
        std::string message = e.what();
        EXPECT_EQ(message.rfind("Cannot open file \"/", 0), 0u) << message;
        EXPECT_NE(message.find("missing-\xC3\xA9.bin\""), std::string::npos) << message;
    }
}
