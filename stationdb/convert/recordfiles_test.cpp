#include "stationdb/convert/recordfiles.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "common/paths.h"
#include "common/strings.h"
#include "stationdb/convert/testsupport.h"

namespace stationdb {
namespace {

namespace fs = std::filesystem;
using fixtures::Bytes;
using fixtures::PartRows;
using fixtures::Row;
using fixtures::VelkoraBlob;

// A one-channel configuration text of `lines` lines whose third line is channelLine.
std::string PartCfg(const std::string& channelLine, int lines = 10, const std::string& station = "S1") {
  const std::vector<std::string> all = {station + ",R1,1999", "1,1A,0D", channelLine, "50", "1", "1600,3",
                                        "02/01/2020,12:00:00.000", "02/01/2020,12:00:00.005", "BINARY", "1",
                                        "extra"};
  std::string text;
  for (int i = 0; i < lines; ++i) text += all[static_cast<std::size_t>(i)] + "\r\n";
  return text;
}

std::vector<const TWaveformRecord*> Pointers(const std::vector<TWaveformRecord>& rows) {
  std::vector<const TWaveformRecord*> out;
  for (const auto& r : rows) out.push_back(&r);
  return out;
}

TEST(SplitVelkoraBlob, TakesTextAndDataByTheLengthWord) {
  const auto blob = VelkoraBlob("abc", "DATA", 12345);
  const auto parts = SplitVelkoraBlob(blob);
  ASSERT_TRUE(parts);
  EXPECT_EQ(parts->cfgText, "abc");
  EXPECT_EQ(parts->data, "DATA");
}

TEST(SplitVelkoraBlob, RefusesBlobsShorterThanTheirLengths) {
  struct Case {
    const char* name;
    std::vector<std::uint8_t> blob;
    bool ok;
  };
  const std::vector<Case> cases = {
      {"empty", {}, false},
      {"three bytes", {1, 0, 0}, false},
      {"text cut", Bytes().u32(5).text("abc").get(), false},
      {"unused word cut", Bytes().u32(3).text("abc").u16(0).get(), false},
      {"huge length", Bytes().u32(0xFFFFFFFF).text("abcdefgh").get(), false},
      {"no data", Bytes().u32(3).text("abc").u32(0).get(), true},
      {"no text", Bytes().u32(0).u32(0).get(), true},
  };
  for (const auto& c : cases) EXPECT_EQ(SplitVelkoraBlob(c.blob).has_value(), c.ok) << c.name;
}

TEST(SingleRecordFiles, WritesTheBlobsBytesUnchanged) {
  // GBK station name, mixed line ends and no final line end: nothing is touched.
  const std::string cfg = "\xB1\xE4\xB5\xE7\xD5\xBE,R1,1999\n1,1A,0D\r2\r\n";
  const std::string dat = std::string("\x00\x01\xFF\r\n", 5);
  const auto files = SingleRecordFiles(Row(VelkoraBlob(cfg, dat)));
  ASSERT_TRUE(files);
  EXPECT_EQ(files->cfg, cfg);
  EXPECT_EQ(files->dat, dat);
}

TEST(BuildRecordFiles, AuxWordZeroTakesPartZeroAlone) {
  const std::vector<TWaveformRecord> rows = {Row(VelkoraBlob("first", "D0"), 0),
                                             Row(VelkoraBlob("second", "D1"), 1)};
  const auto files = BuildRecordFiles(Pointers(rows));
  ASSERT_TRUE(files);
  EXPECT_EQ(files->cfg, "first");
  EXPECT_EQ(files->dat, "D0");
}

TEST(MergedRecordFiles, BuildsOneConfigurationOfAllChannels) {
  const std::vector<TWaveformRecord> rows = {
      Row(VelkoraBlob(PartCfg("A1,Ua,A,,V,0.1,0,0,-32768,32767,1,1,S"), PartRows({1, 2, 3})), 1),
      Row(VelkoraBlob(PartCfg("A1,Ub,B,,V,0.2,0,0,-32768,32767,1,1,S"), PartRows({4, 5, 6})), 1),
      Row(VelkoraBlob(PartCfg("x"), PartRows({7, 8, 9})), 1),
  };
  const auto files = BuildRecordFiles(Pointers(rows));
  ASSERT_TRUE(files);
  EXPECT_EQ(files->cfg,
            "S1,R1,1999\r\n"
            "3,3A,0D\r\n"
            "A1,Ua,A,,V,0.1,0,0,-32768,32767,1,1,S\r\n"
            "A2,Ub,B,,V,0.2,0,0,-32768,32767,1,1,S\r\n"
            "A3\r\n"
            "50\r\n1\r\n1600,3\r\n02/01/2020,12:00:00.000\r\n02/01/2020,12:00:00.005\r\nBINARY\r\n1\r\n");
  EXPECT_EQ(common::SplitLines(files->cfg).size(), 12u);
}

TEST(MergedRecordFiles, ChannelLineKeepsEverythingFromItsThirdCharacter) {
  struct Case {
    std::string line;
    std::string expected;
  };
  const std::vector<Case> cases = {{"1,Ib,B", "A2Ib,B"}, {"ab", "A2"}, {"a", "A2"}, {"", "A2"}, {"abc", "A2c"}};
  for (const auto& c : cases) {
    const std::vector<TWaveformRecord> rows = {Row(VelkoraBlob(PartCfg("A1,Ua"), PartRows({1})), 1),
                                               Row(VelkoraBlob(PartCfg(c.line), PartRows({2})), 1)};
    const auto files = MergedRecordFiles(Pointers(rows));
    ASSERT_TRUE(files) << c.line;
    EXPECT_EQ(common::SplitLines(files->cfg)[3], c.expected) << c.line;
  }
}

TEST(MergedRecordFiles, RowsTakeSampleNumberAndTimeOfPartZero) {
  // 25 bytes in part 0: two whole rows, the rest is dropped.
  const std::string d0 = PartRows({100, -2}, 1000) + "\x55\x55\x55\x55\x55";
  const std::vector<TWaveformRecord> rows = {Row(VelkoraBlob(PartCfg("A1"), d0), 1),
                                             Row(VelkoraBlob(PartCfg("A1"), PartRows({300, -4}, 7)), 1),
                                             Row(VelkoraBlob(PartCfg("A1"), PartRows({500, -6, 9}, 9)), 1)};
  const auto files = MergedRecordFiles(Pointers(rows));
  ASSERT_TRUE(files);
  const std::string expected = Bytes()
                                   .u32(1).u32(0).i16(100).i16(300).i16(500)
                                   .u32(2).u32(1000).i16(-2).i16(-4).i16(-6)
                                   .string();
  EXPECT_EQ(files->dat, expected);
  EXPECT_EQ(files->dat.size(), 2u * 14u);
}

// A first text without exactly 10 lines is no record to merge (refused: no
// files); a damaged part is an error that names its channel.
TEST(MergedRecordFiles, RefusesOrRaisesForPartsItCannotMerge) {
  const auto good = [] { return Row(VelkoraBlob(PartCfg("A1"), PartRows({1, 2})), 1); };
  struct Case {
    const char* name;
    TWaveformRecord changed;
    std::size_t position;
    const char* error;  // nullptr: refused without an error
  };
  const std::vector<Case> cases = {
      {"part 0 with 9 lines", Row(VelkoraBlob(PartCfg("A1", 9), PartRows({1, 2})), 1), 0, nullptr},
      {"part 0 with 11 lines", Row(VelkoraBlob(PartCfg("A1", 11), PartRows({1, 2})), 1), 0, nullptr},
      {"part 1 with 2 lines", Row(VelkoraBlob(PartCfg("A1", 2), PartRows({1, 2})), 1), 1,
       "The configuration of channel 2 of the record has 2 lines, 3 are needed"},
      {"part 1 with fewer rows", Row(VelkoraBlob(PartCfg("A1"), PartRows({1}) + "123456789"), 1), 1,
       "Channel 2 of the record holds 1 samples, channel 1 holds 2"},
      {"part 2 shorter than its length", Row(Bytes().u32(400).text("short").get(), 1), 2,
       "The data of channel 3 of the record is shorter than its stated lengths"},
      {"part 0 shorter than its length", Row(Bytes().u32(4).text("abcd").get(), 1), 0,
       "The data of channel 1 of the record is shorter than its stated lengths"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<TWaveformRecord> rows = {good(), good(), good()};
    rows[c.position] = c.changed;
    if (c.error == nullptr) {
      EXPECT_FALSE(MergedRecordFiles(Pointers(rows)));
      continue;
    }
    try {
      MergedRecordFiles(Pointers(rows));
      ADD_FAILURE() << "no error";
    } catch (const common::ConvertError& error) {
      EXPECT_STREQ(error.what(), c.error);
    }
  }
}

TEST(MergedRecordFiles, FurtherPartWithMoreRowsIsCutToPartZero) {
  const std::vector<TWaveformRecord> rows = {Row(VelkoraBlob(PartCfg("A1"), PartRows({1})), 1),
                                             Row(VelkoraBlob(PartCfg("A1"), PartRows({2, 3, 4})), 1)};
  const auto files = MergedRecordFiles(Pointers(rows));
  ASSERT_TRUE(files);
  EXPECT_EQ(files->dat, Bytes().u32(1).u32(0).i16(1).i16(2).string());
}

TEST(WriteRecordFiles, WritesBothFilesIntoTheCreatedFolder) {
  fixtures::TempDir dir;
  const fs::path folder = dir.path() / "cache" / "CfgCache";
  const auto cfg = WriteRecordFiles(folder, "20200102120000005", {"CFG", std::string("D\0T", 3)});
  ASSERT_TRUE(cfg);
  EXPECT_EQ(*cfg, folder / "20200102120000005.cfg");
  EXPECT_EQ(common::ReadWholeFile(*cfg), "CFG");
  EXPECT_EQ(common::ReadWholeFile(folder / "20200102120000005.dat"), std::string("D\0T", 3));
}

TEST(WriteRecordFiles, NeverReusesTheNameOfAnEarlierPair) {
  fixtures::TempDir dir;
  const auto first = WriteRecordFiles(dir.path(), "n", {"one", "1"});
  // A lone .dat of an earlier pair holds its name as well.
  std::ofstream(dir.path() / "n_1.dat") << "left";
  const auto second = WriteRecordFiles(dir.path(), "n", {"two", "2"});
  ASSERT_TRUE(first && second);
  EXPECT_EQ(first->filename(), "n.cfg");
  EXPECT_EQ(second->filename(), "n_2.cfg");
  EXPECT_EQ(common::ReadWholeFile(*first), "one");
  EXPECT_EQ(common::ReadWholeFile(dir.path() / "n_2.dat"), "2");
  EXPECT_EQ(common::ReadWholeFile(dir.path() / "n_1.dat"), "left");
  EXPECT_FALSE(fs::exists(dir.path() / "n_1.cfg"));
}

TEST(WriteRecordFiles, FailsWithoutLeavingFilesWhenTheFolderCannotBeMade) {
  fixtures::TempDir dir;
  std::ofstream(dir.path() / "plain") << "a file, not a folder";
  EXPECT_FALSE(WriteRecordFiles(dir.path() / "plain" / "CfgCache", "n", {"c", "d"}));
  EXPECT_FALSE(WriteRecordFiles(dir.path() / "plain", "n", {"c", "d"}));
}

}  // namespace
}  // namespace stationdb
