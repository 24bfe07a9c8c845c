#include "swf/sound_tags.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "platform/errors.h"
#include "platform/xml.h"
#include "swf/names.h"
#include "swf/xml_form.h"
#include "test_util.h"
#include "platform/testing/test_support.h"

namespace {

using Factory = std::function<std::unique_ptr<TSWFObject>()>;

template <class T>
Factory Make(std::function<void(T&)> fill = [](T&) {}) {
    return [fill] {
        auto tag = std::make_unique<T>();
        fill(*tag);
        return tag;
    };
}

struct Case {
    const char* name;
    int version;
    Factory build;
    Factory fresh;  // an empty tag with the context a reader would hand in
    Bytes body;
};

std::vector<Case> Cases() {
    auto mp3Block = Make<TSWFSoundStreamBlock>([](auto& t) { t.SetStreamSoundFormat(2); });
    return {
        // Format 2 (MP3), rate 3, 16-bit, stereo: 0x2F; seek samples follow the sample count.
        {"DefineSoundMP3", 4,
         Make<TSWFDefineSound>([](auto& t) {
             t.SoundId = 1;
             t.SoundFormat = 2;
             t.SoundRate = 3;
             t.SoundSize = true;
             t.SoundType = true;
             t.SampleCount = 1152;
             t.SeekSamples = -2;
             t.SetData(HexBytes("AA BB"));
         }),
         Make<TSWFDefineSound>(), HexBytes("01 00 2F 80 04 00 00 FE FF AA BB")},
        {"DefineSoundADPCM", 1,
         Make<TSWFDefineSound>([](auto& t) {
             t.SoundId = 2;
             t.SoundFormat = 1;
             t.SoundRate = 1;
             t.SampleCount = 3;
             t.SetData(HexBytes("01 02 03"));
         }),
         Make<TSWFDefineSound>(), HexBytes("02 00 14 03 00 00 00 01 02 03")},
        {"DefineSoundFormat6", 6, Make<TSWFDefineSound>([](auto& t) { t.SoundFormat = 6; }), Make<TSWFDefineSound>(),
         HexBytes("00 00 60 00 00 00 00")},
        {"StartSoundEverything", 1,
         Make<TSWFStartSound>([](auto& t) {
             t.SoundId = 7;
             t.SyncStop = true;
             t.SetInPoint(0x100);
             t.SetOutPoint(0x20000);
             t.SetLoopCount(3);
             t.HasEnvelope = true;
             t.SoundEnvelopes.push_back({44100, 0x8000, 0});
             t.SoundEnvelopes.push_back({88200, 0, 0x8000});
         }),
         Make<TSWFStartSound>(),
         HexBytes("07 00 2F 00 01 00 00 00 00 02 00 03 00 02 44 AC 00 00 00 80 00 00 88 58 01 00 00 00 00 80")},
        {"StartSoundPlain", 1, Make<TSWFStartSound>([](auto& t) { t.SoundId = 9; t.SyncNoMultiple = true; }),
         Make<TSWFStartSound>(), HexBytes("09 00 10")},
        {"StartSound2", 9,
         Make<TSWFStartSound2>([](auto& t) {
             t.SoundClassName = "Ping";
             t.SetLoopCount(2);
         }),
         Make<TSWFStartSound2>(), HexBytes("50 69 6E 67 00 04 02 00")},
        // Playback 44 kHz 16-bit stereo (0x0F); stream ADPCM 22 kHz 16-bit mono (0x1A).
        {"SoundStreamHeadADPCM", 1,
         Make<TSWFSoundStreamHead>([](auto& t) {
             t.PlaybackSoundRate = 3;
             t.PlaybackSoundSize = true;
             t.PlaybackSoundType = true;
             t.StreamSoundCompression = 1;
             t.StreamSoundRate = 2;
             t.StreamSoundSize = true;
             t.StreamSoundSampleCount = 1837;
         }),
         Make<TSWFSoundStreamHead>(), HexBytes("0F 1A 2D 07")},
        // As ffmpeg writes it: MP3 at 22 kHz, 1837 samples a frame, no latency.
        {"SoundStreamHead2MP3", 4,
         Make<TSWFSoundStreamHead2>([](auto& t) {
             t.PlaybackSoundRate = 2;
             t.PlaybackSoundSize = true;
             t.StreamSoundCompression = 2;
             t.StreamSoundRate = 2;
             t.StreamSoundSize = true;
             t.StreamSoundSampleCount = 1837;
         }),
         Make<TSWFSoundStreamHead2>(), HexBytes("0A 2A 2D 07 00 00")},
        {"SoundStreamHead2Nellymoser", 6, Make<TSWFSoundStreamHead2>([](auto& t) { t.StreamSoundCompression = 6; }),
         Make<TSWFSoundStreamHead2>(), HexBytes("00 60 00 00")},
        {"SoundStreamHead2PCM", 3, Make<TSWFSoundStreamHead2>(), Make<TSWFSoundStreamHead2>(), HexBytes("00 00 00 00")},
        {"SoundStreamBlockMP3", 1,
         Make<TSWFSoundStreamBlock>([](auto& t) {
             t.SetStreamSoundFormat(2);
             t.SampleCount = 1152;
             t.SeekSamples = -1;
             t.SetData(HexBytes("FF F3 40"));
         }),
         mp3Block, HexBytes("80 04 FF FF FF F3 40")},
        {"SoundStreamBlockADPCM", 1,
         Make<TSWFSoundStreamBlock>([](auto& t) {
             t.SetStreamSoundFormat(1);
             t.SetData(HexBytes("80 04 FF FF"));
         }),
         Make<TSWFSoundStreamBlock>([](auto& t) { t.SetStreamSoundFormat(1); }), HexBytes("80 04 FF FF")},
    };
}

TEST(SoundTags, BodiesBothWaysCopiesAndVersions) {
    for (const Case& c : Cases()) {
        SCOPED_TRACE(c.name);
        auto tag = c.build();
        EXPECT_EQ(ToHex(WriteBodyBytes(*tag)), ToHex(c.body));
        EXPECT_EQ(tag->RequiredVersion(), c.version);

        auto read = c.fresh();
        ReadBodyBytes(*read, c.body);
        EXPECT_EQ(ToHex(WriteBodyBytes(*read)), ToHex(c.body));

        auto copy = c.fresh();
        copy->CopyFieldsFrom(*read);
        EXPECT_EQ(ToHex(WriteBodyBytes(*copy)), ToHex(c.body));
    }
}

TEST(SoundTags, XmlRoundTripInlineAndInFiles) {
    std::string folder = TestScratchFolder("sound_tags_test");
    std::filesystem::remove_all(folder);
    for (bool external : {false, true}) {
        TXMLReadWriteSettings settings;
        settings.Options = external ? kXmlExternalSounds : 0;
        settings.BaseFolder = folder;
        settings.CommonDataFolder = folder + "/data";
        for (const Case& c : Cases()) {
            SCOPED_TRACE(std::string(c.name) + (external ? " in a file" : " inline"));
            auto tag = c.build();
            TXmlDocument doc;
            tag->SaveToXml(doc.Root().AddChild("T"), settings);
            TXmlDocument reread;
            reread.LoadFromString(doc.SaveToString());
            // No context: an MP3 block says so itself in the document.
            auto loaded = CreateTagByCode(tag->TagCode);
            loaded->LoadFromXml(reread.DocumentElement(), settings);
            EXPECT_EQ(ToHex(WriteBodyBytes(*loaded)), ToHex(c.body)) << doc.SaveToString();
        }
    }
    std::filesystem::remove_all(folder);
}

TEST(SoundTags, BlockIsFramedLongAndReadByTheHeadsCompression) {
    TSWFSoundStreamBlock block;
    block.SetData(HexBytes("01 02"));
    EXPECT_EQ(ToHex(WriteTagBytes(block)), "FF 04 02 00 00 00 01 02");

    TSWFSoundStreamBlock mp3;
    mp3.SetStreamSoundFormat(2);
    ReadBodyBytes(mp3, HexBytes("40 00 02 00 AA"));
    EXPECT_EQ(mp3.SampleCount, 64);
    EXPECT_EQ(mp3.SeekSamples, 2);
    EXPECT_EQ(mp3.DataSize(), 1);

    TSWFSoundStreamBlock tooShort;
    tooShort.SetStreamSoundFormat(2);
    EXPECT_THROW(ReadBodyBytes(tooShort, HexBytes("40 00")), EReadError);
}

TEST(SoundTags, HeadWithoutLatencyGetsOneWhenWritten) {
    TSWFSoundStreamHead2 head;
    ReadBodyBytes(head, HexBytes("0A 2A 2D 07"));
    EXPECT_EQ(head.StreamSoundCompression, 2);
    EXPECT_EQ(head.LatencySeek, 0);
    EXPECT_EQ(ToHex(WriteBodyBytes(head)), "0A 2A 2D 07 00 00");
}

TEST(SoundTags, SoundInfoFlagsFollowTheValues) {
    TSWFStartSound noPoints;
    noPoints.HasEnvelope = true;
    EXPECT_EQ(ToHex(WriteBodyBytes(noPoints)), "00 00 00");
    EXPECT_FALSE(noPoints.HasEnvelope);

    // Loops flagged with a count of 0, an in point of 0: both flags drop.
    TSWFStartSound read;
    ReadBodyBytes(read, HexBytes("01 00 05 00 00 00 00 00 00"));
    EXPECT_FALSE(read.HasLoops);
    EXPECT_FALSE(read.HasInPoint);
    EXPECT_EQ(ToHex(WriteBodyBytes(read)), "01 00 00");

    // The copy is deep.
    TSWFStartSound source;
    source.HasEnvelope = true;
    source.SoundEnvelopes.push_back({1, 2, 3});
    TSWFStartSound copy;
    copy.CopyFieldsFrom(source);
    source.SoundEnvelopes[0].Pos44 = 99;
    EXPECT_EQ(copy.SoundEnvelopes.at(0).Pos44, 1u);
}

TEST(SoundTags, DamagedBodiesRaise) {
    struct {
        const char* name;
        Factory fresh;
        Bytes body;
    } cases[] = {
        {"envelope count past the body", Make<TSWFStartSound>(), HexBytes("01 00 08 FF 00 00 00 00 00 00 00 00")},
        {"in point cut short", Make<TSWFStartSound>(), HexBytes("01 00 01 00 00")},
        {"sound header cut short", Make<TSWFDefineSound>(), HexBytes("01 00 2F 80")},
        {"stream head cut short", Make<TSWFSoundStreamHead>(), HexBytes("0A 2A 2D")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto tag = c.fresh();
        EXPECT_THROW(ReadBodyBytes(*tag, c.body), EReadError);
    }
}

TEST(SoundTags, XmlMissingPartsAndFiles) {
    TXMLReadWriteSettings settings;
    TXmlDocument doc;
    doc.LoadFromString(R"(<SoundStreamHead><Stream SoundCompression="1" SoundRate="1" SoundSize="1" SoundType="0" SampleCount="5"/></SoundStreamHead>)");
    TSWFSoundStreamHead head;
    EXPECT_THROW(head.LoadFromXml(doc.DocumentElement(), settings), EConvertError);

    doc.LoadFromString(R"(<DefineSound ID="1" SoundFormat="2" SoundRate="1" SoundSize="True" SoundType="False" SampleCount="1"/>)");
    TSWFDefineSound noSeek;
    EXPECT_THROW(noSeek.LoadFromXml(doc.DocumentElement(), settings), EConvertError);

    // A missing data file gives an empty sound.
    doc.LoadFromString(R"(<DefineSound ID="1" SoundFormat="1" SoundRate="1" SoundSize="1" SoundType="0" SampleCount="1" File="/nonexistent/sound1.dat"/>)");
    TSWFDefineSound missing;
    missing.LoadFromXml(doc.DocumentElement(), settings);
    EXPECT_EQ(missing.DataSize(), 0);
    EXPECT_EQ(missing.SoundSize, true);
}

}  // namespace
