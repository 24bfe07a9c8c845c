// The image library's zlib streams, judged by python3's zlib.
#include <gtest/gtest.h>

#include <zlib.h>

#include <string>
#include <vector>

#include "imaging/core/ie_zlib.h"
#include "imaging/core/tests/tool_support.h"

using namespace imaging_test;

namespace {

std::vector<uint8_t> Sample(size_t size) {
    std::vector<uint8_t> data(size);
    uint32_t state = 5;
    for (size_t i = 0; i < size; ++i) data[i] = static_cast<uint8_t>(i % 251 < 200 ? i % 7 : (state = state * 1103515245 + 12345) >> 16);
    return data;
}

std::string Expect(const std::function<void()>& action) {
    try {
        action();
    } catch (const EZLibError& error) {
        return error.what();
    }
    return "no error";
}

}  // namespace

TEST(ToolsZlibStreams, PythonInflatesWhatWeDeflateAndWeStopRightAfterItsData) {
    REQUIRE_TOOL("python3");
    const auto folder = FixtureFolder("zlib_streams");
    const std::vector<uint8_t> data = Sample(300000);
    for (int32_t level : {0, 1, 2, 3}) {
        SCOPED_TRACE(level);
        TMemoryStream packed;
        packed.WriteBuffer("HEAD", 4);  // the stream starts where the destination stands
        int progress = 0;
        {
            TZCompressionStream deflater(packed, level);
            deflater.OnProgress = [&](TCompressionStream&) { ++progress; };
            deflater.WriteBuffer(data.data(), 100000);
            EXPECT_EQ(deflater.Seek(0, TSeekOrigin::Current), 100000);
            packed.SetPosition(0);  // somebody else moves the destination: the stream goes back
            deflater.WriteBuffer(data.data() + 100000, 200000);
            EXPECT_EQ(Expect([&] {
                          char byte;
                          deflater.Read(&byte, 1);
                      }),
                      "Invalid ZStream operation!");
        }  // only the destructor completes the data
        if (level == 0) {
            EXPECT_GE(progress, 4);  // stored data fills the 64 KiB buffer again and again
        }
        WriteBytes(folder / ("level" + std::to_string(level) + ".z"), packed.Memory() + 4,
                   static_cast<size_t>(packed.GetSize() - 4));
    }
    // Writing nothing still makes a whole zlib stream.
    TMemoryStream empty;
    { TZCompressionStream deflater(empty, 2); }
    WriteBytes(folder / "empty.z", empty.Memory(), static_cast<size_t>(empty.GetSize()));

    // One python run (the machine may be slow to start one) judges our
    // streams and writes its own, followed by other bytes.
    const auto pyFile = folder / "python.z";
    int status = 0;
    const std::string judged = RunCommand(
        "cd " + folder.string() + " && python3 -c \"import zlib\n"
        "for n in ['level0','level1','level2','level3','empty']:\n"
        "  d=zlib.decompress(open(n+'.z','rb').read()); print(len(d), zlib.crc32(d))\n"
        "d=bytes((i%7) for i in range(250000))\n"
        "open('python.z','wb').write(b'AB'+zlib.compress(d,9)+b'TRAILER')\"",
        &status);
    ASSERT_EQ(status, 0);
    const std::string line = std::to_string(data.size()) + " " +
                             std::to_string(crc32(0, data.data(), static_cast<uInt>(data.size()))) + "\n";
    EXPECT_EQ(judged, line + line + line + line + "0 0\n");

    const std::vector<uint8_t> bytes = ReadBytes(pyFile);
    TFileStream fromFile(pyFile.string(), TFileMode::OpenRead);
    TMemoryStream fromMemory(bytes);
    for (TStream* source : {static_cast<TStream*>(&fromFile), static_cast<TStream*>(&fromMemory)}) {
        source->SetPosition(2);
        TZDecompressionStream inflater(*source);
        std::vector<uint8_t> out(300000);
        ASSERT_EQ(inflater.Read(out.data(), static_cast<int64_t>(out.size())), 250000);
        for (int i = 0; i < 250000; i += 997) ASSERT_EQ(out[static_cast<size_t>(i)], i % 7);
        EXPECT_EQ(source->GetPosition(), static_cast<int64_t>(bytes.size()) - 7);
        char trailer[8] = {};
        EXPECT_EQ(source->Read(trailer, 7), 7);
        EXPECT_STREQ(trailer, "TRAILER");
        EXPECT_EQ(inflater.Read(out.data(), 10), 0);  // further reads give nothing
    }
}

TEST(ZlibStreams, SeeksReadForwardRestartFromTheSourcesStartAndRefuseToGoBack) {
    const std::vector<uint8_t> data = Sample(50000);
    TMemoryStream packed;
    {
        TZCompressionStream deflater(packed, 3);
        deflater.WriteBuffer(data.data(), static_cast<int64_t>(data.size()));
    }
    packed.SetPosition(0);
    TZDecompressionStream inflater(packed);
    EXPECT_EQ(inflater.Seek(1000, TSeekOrigin::Current), 1000);
    uint8_t byte = 0;
    inflater.ReadBuffer(&byte, 1);
    EXPECT_EQ(byte, data[1000]);
    EXPECT_EQ(inflater.Seek(20000, TSeekOrigin::Begin), 20000);
    EXPECT_EQ(Expect([&] { inflater.Seek(100, TSeekOrigin::Begin); }), "Invalid ZStream operation!");
    EXPECT_EQ(Expect([&] { inflater.Seek(-1, TSeekOrigin::Current); }), "Invalid ZStream operation!");
    EXPECT_EQ(Expect([&] { inflater.Seek(-5, TSeekOrigin::End); }), "Invalid ZStream operation!");
    EXPECT_EQ(Expect([&] { inflater.Write(&byte, 1); }), "Invalid ZStream operation!");
    EXPECT_EQ(inflater.Seek(0, TSeekOrigin::End), 50000);
    // Back to the start of the source, wherever the stream began.
    EXPECT_EQ(inflater.Seek(0, TSeekOrigin::Begin), 0);
    inflater.ReadBuffer(&byte, 1);
    EXPECT_EQ(byte, data[0]);

    // Damage is reported with zlib's own text.
    std::vector<uint8_t> broken = packed.Bytes();
    broken[0] = 0x00;
    TMemoryStream bad(broken);
    TZDecompressionStream badInflater(bad);
    EXPECT_EQ(Expect([&] { badInflater.Read(&byte, 1); }), "data error");
}

TEST(ZlibStreams, WholeBufferInflationGrowsByTheRoundedInputAndEndsExact) {
    const std::vector<uint8_t> data = Sample(70000);
    const std::vector<uint8_t> packed = ZCompress(data.data(), data.size(), 9);
    for (int64_t hint : {int64_t{0}, int64_t{10}, int64_t{70000}, int64_t{100000}}) {
        SCOPED_TRACE(hint);
        const std::vector<uint8_t> out = IEZDecompress(packed.data(), static_cast<int64_t>(packed.size()), hint);
        EXPECT_EQ(out, data);
        EXPECT_EQ(out.capacity(), data.size());
    }
    EXPECT_EQ(Expect([&] { IEZDecompress(packed.data(), static_cast<int64_t>(packed.size()) - 10); }), "buffer error");
}
