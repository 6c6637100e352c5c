// The option state after the options that name codecs, streams, maps, metadata, times and
// bitstream filters.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <regex>
#include <thread>

#include "engine/ffmpeg_exception.h"
#include "engine/run/log_levels.h"
#include "engine_test_support.h"
#include "media/ff_functions.h"
#include "support/test_support.h"

namespace ok::test {
namespace {

using OptionState = EngineTest;

TEST_F(OptionState, CodecNamesAndStreamCopy) {
  TEngineTestAccess& e = *engine;
  e.ApplyOption("vcodec", "copy");
  e.ApplyOption("vcodec", "mpeg4");
  EXPECT_TRUE(e.VideoStreamCopy) << "a later name does not clear stream copy";
  EXPECT_EQ(e.VideoCodecName, "mpeg4");
  e.ApplyOption("acodec", "mp2");
  e.ApplyOption("acodec", "copy");
  EXPECT_TRUE(e.AudioStreamCopy);
  EXPECT_TRUE(e.AudioCodecName.empty()) << "copy frees the name given before";
  e.ApplyOption("scodec", "mov_text");
  e.ApplyOption("scodec", "");
  EXPECT_EQ(e.SubtitleCodecName, "mov_text");
  EXPECT_FALSE(e.SubtitleStreamCopy);
  // Names are case-sensitive: this one is a generic option nobody knows.
  e.ApplyOption("VCODEC", "h263");
  EXPECT_EQ(e.VideoCodecName, "mpeg4");
}

TEST_F(OptionState, TagsAreLittleEndianFourCharacterCodes) {
  engine->ApplyOption("atag", "mp4a");
  EXPECT_EQ(engine->AudioCodecTag, uint32_t('m' | 'p' << 8 | '4' << 16 | 'a' << 24));
  engine->ApplyOption("vtag", "XVID");
  EXPECT_EQ(engine->VideoCodecTag, MKTAG('X', 'V', 'I', 'D'));
  engine->ApplyOption("vtag", "");
  EXPECT_EQ(engine->VideoCodecTag, MKTAG('X', 'V', 'I', 'D'));
  engine->ApplyOption("vtag", "\xff\x01\x02\x80");
  EXPECT_EQ(engine->VideoCodecTag, 0x800201FFu) << "bytes are unsigned";
}

TEST_F(OptionState, PassIsOneOrTwo) {
  engine->ApplyOption("pass", "2");
  EXPECT_EQ(engine->DoPass, 2);
  EXPECT_THROW(engine->ApplyOption("pass", "0"), FFmpegException);
  EXPECT_EQ(engine->DoPass, 2);
}

TEST_F(OptionState, MatricesTakeSixtyFourCoefficients) {
  TEngineTestAccess& e = *engine;
  e.ApplyOption("intra_matrix", Numbers(64, 8));
  ASSERT_NE(e.IntraMatrix, nullptr);
  EXPECT_EQ((*e.IntraMatrix)[0], 8);
  EXPECT_EQ((*e.IntraMatrix)[63], 71);
  EXPECT_EQ(e.InterMatrix, nullptr);
  // Extra text after the 64th is not read; spaces before a number are skipped.
  e.ApplyOption("inter_matrix", Numbers(63) + ", 99,100,garbage");
  EXPECT_EQ((*e.InterMatrix)[62], 63);
  EXPECT_EQ((*e.InterMatrix)[63], 99);
  // A short table fails at its last coefficient and leaves what it read, the rest zeroed.
  EXPECT_THROW(e.ApplyOption("intra_matrix", Numbers(10, 100)), FFmpegException);
  EXPECT_EQ((*e.IntraMatrix)[9], 109);
  EXPECT_EQ((*e.IntraMatrix)[10], 0);
  EXPECT_EQ((*e.IntraMatrix)[63], 0);
}

TEST_F(OptionState, StreamMapsWithAndWithoutSyncStream) {
  TEngineTestAccess& e = *engine;
  e.ApplyOption("map", "1.2");
  e.ApplyOption("map", "0.1:0.0");
  e.ApplyOption("map", "0x10:010,3;4");
  e.ApplyOption("map", "3");
  ASSERT_EQ(e.NbStreamMaps, 4);
  auto is = [](const TStreamMap& m, int f, int s, int sf, int ss) {
    return m.FileIndex == f && m.StreamIndex == s && m.SyncFileIndex == sf && m.SyncStreamIndex == ss;
  };
  EXPECT_TRUE(is(e.StreamMaps[0], 1, 2, 1, 2));
  EXPECT_TRUE(is(e.StreamMaps[1], 0, 1, 0, 0));
  EXPECT_TRUE(is(e.StreamMaps[2], 16, 8, 3, 4)) << "hexadecimal, octal, any separator";
  EXPECT_TRUE(is(e.StreamMaps[3], 3, 0, 3, 0));

  e.ApplyOption("map_meta_data", "1:0");
  e.ApplyOption("map_meta_data", "2");
  ASSERT_EQ(e.NbMetaDataMaps, 2);
  EXPECT_EQ(e.MetaDataMaps[0].OutFile, 1);
  EXPECT_EQ(e.MetaDataMaps[0].InFile, 0);
  EXPECT_EQ(e.MetaDataMaps[1].OutFile, 2);
}

TEST_F(OptionState, MetadataPairsInOrder) {
  engine->ApplyOption("metadata", "title=A=B");
  engine->AddMetadata("author", "");
  engine->ApplyOption("metadata", "=x");
  ASSERT_EQ(engine->MetadataCount(), 3);
  EXPECT_EQ(engine->Metadata[0].Key, "title");
  EXPECT_EQ(engine->Metadata[0].Value, "A=B");
  EXPECT_EQ(engine->Metadata[1].Key, "author");
  EXPECT_EQ(engine->Metadata[2].Key, "");
  EXPECT_EQ(engine->Metadata[2].Value, "x");
}

TEST_F(OptionState, TimesThroughTheLibraryDurationAndDateParser) {
  TEngineTestAccess& e = *engine;
  e.ApplyOption("t", "1:02:03.5");
  EXPECT_EQ(e.RecordingTime, 3723500000LL);
  EXPECT_EQ(e.RecordingTimeMs, 3723500);
  EXPECT_THROW(e.ApplyOption("t", "0"), FFmpegException);
  EXPECT_EQ(e.RecordingTime, 3723500000LL) << "a refused duration changes nothing";
  e.ApplyOption("ss", "90");
  EXPECT_EQ(e.StartTime, 90000000);
  e.ApplyOption("ss", "0");
  EXPECT_EQ(e.StartTime, 0) << "the option stores what it reads";
  e.ApplyOption("itsoffset", "-0.25");
  EXPECT_EQ(e.TsOffset, -250000);
  e.ApplyOption("timestamp", "2010-01-01T00:00:00Z");
  EXPECT_EQ(e.RecTimestamp, 1262304000);
  e.ApplyOption("timestamp", "2010-01-01T00:00:00.5Z");
  EXPECT_EQ(e.RecTimestamp, 1262304000) << "half a second rounds to the even second";
  e.ApplyOption("timestamp", "2010-01-01T00:00:01.5Z");
  EXPECT_EQ(e.RecTimestamp, 1262304002);
  int64_t before = std::time(nullptr);
  e.ApplyOption("timestamp", "now");
  EXPECT_GE(e.RecTimestamp, before);
  EXPECT_LE(e.RecTimestamp, before + 2);
}

TEST_F(OptionState, TimestampScaleGoesToTheNextInputFile) {
  TEngineTestAccess& e = *engine;
  e.ApplyOption("itsscale", "1:0.5");
  EXPECT_EQ(e.InputFilesTsScale[0][1], 0.5);
  e.NbInputFiles = 3;
  e.ApplyOption("itsscale", "0x13,2.5e1xyz");
  EXPECT_EQ(e.InputFilesTsScale[3][19], 25.0);
  EXPECT_THROW(e.ApplyOption("itsscale", "-1:2"), FFmpegException);
  e.NbInputFiles = MaxFiles;
  EXPECT_THROW(e.ApplyOption("itsscale", "0:2"), FFmpegException) << "no row past the last file";
}

TEST_F(OptionState, BitstreamFiltersJoinTheChainOfTheirKind) {
  TEngineTestAccess& e = *engine;
  e.ApplyOption("vbsf", "h264_mp4toannexb");
  e.ApplyOption("vbsf", "dump_extra=freq=keyframe");
  e.ApplyOption("absf", "aac_adtstoasc");
  e.ApplyOption("sbsf", "null");
  e.ApplyOption("absf", "=aac_adtstoasc");
  e.ApplyOption("absf", "");
  ASSERT_EQ(e.VideoBitstreamFilters.size(), 2u);
  EXPECT_STREQ(e.VideoBitstreamFilters[0]->filter->name, "h264_mp4toannexb");
  EXPECT_STREQ(e.VideoBitstreamFilters[1]->filter->name, "dump_extra");
  ASSERT_EQ(e.AudioBitstreamFilters.size(), 1u);
  EXPECT_STREQ(e.AudioBitstreamFilters[0]->filter->name, "aac_adtstoasc");
  ASSERT_EQ(e.SubtitleBitstreamFilters.size(), 1u);
}

}  // namespace
}  // namespace ok::test
