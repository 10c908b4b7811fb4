#include <gtest/gtest.h>

#include "waveform/analysis/loader.h"
#include "waveform/analysis/test_support.h"

namespace wave {
namespace {

using testing::AllZero;
using testing::Keys;
using testing::MakeRecord;

std::vector<common::UserMessage> readAscii(RecordData& data, const std::string& text,
                                           std::size_t block = kAsciiBlockBytes) {
  MemoryDataReader reader(text);
  std::vector<common::UserMessage> messages;
  ReadAsciiDat(data, reader, messages, block);
  return messages;
}

std::vector<double> values(std::span<const double> buffer) { return {buffer.begin(), buffer.end()}; }

TEST(AsciiDat, SplitsFieldsAsTheFilesAreWritten) {
  struct Case {
    std::string line;
    std::vector<std::string> fields;
  };
  const Case cases[] = {
      {"1,2,3", {"1", "2", "3"}},
      {"1, 2 ,  3", {"1", "2", "3"}},
      {"  1,2  ", {"1", "2"}},
      {"1 2\t3", {"1", "2", "3"}},
      {"1,,3", {"1", "", "3"}},
      {"1 , ,2", {"1", "", "2"}},
      {",1", {"", "1"}},
      {"1,2,", {"1", "2", ""}},
      {"1,2, ", {"1", "2"}},
      {"\"12\",\"a b\"", {"12", "a b"}},
      {"\"a\"\"b\",3", {"a\"b", "3"}},
      {"\"ab\"cd", {"ab", "cd"}},
      {"\"open, to the end", {"open, to the end"}},
      {"12\"3,4", {"12\"3", "4"}},
      {std::string("1,2\0,3", 6), {"1", "2"}},
      {"", {}},
      {" \t ", {}},
  };
  for (const auto& c : cases) EXPECT_EQ(SplitDatLine(c.line), c.fields) << '[' << c.line << ']';
}

TEST(AsciiDat, ReadsEveryLineEnding) {
  struct Case {
    const char* name;
    std::string text;
  };
  const Case cases[] = {
      {"CR LF", "1,0,5,1\r\n2,1,-6,0\r\n3,2,7,1\r\n"},
      {"LF", "1,0,5,1\n2,1,-6,0\n3,2,7,1\n"},
      {"CR", "1,0,5,1\r2,1,-6,0\r3,2,7,1\r"},
      {"no final line end", "1,0,5,1\r\n2,1,-6,0\n3,2,7,1"},
      {"lines after the record", "1,0,5,1\r\n2,1,-6,0\r\n3,2,7,1\r\n4,3,9,9\r\n\r\n"},
  };
  for (const auto& c : cases) {
    for (const std::size_t block : {kAsciiBlockBytes, std::size_t{2}, std::size_t{3}, std::size_t{5}}) {
      const auto data = testing::Allocate(MakeRecord(1, 1, 3200, 3));
      ASSERT_TRUE(data);
      EXPECT_TRUE(readAscii(*data, c.text, block).empty()) << c.name << " block " << block;
      EXPECT_EQ(values(data->samples(0)), (std::vector<double>{5, -6, 7})) << c.name << " block " << block;
      EXPECT_EQ(testing::DigitalValues(*data, 0), (std::vector<double>{1, 0, 1})) << c.name << " block " << block;
    }
  }
}

TEST(AsciiDat, EmptyLinesCountAsLines) {
  const auto data = testing::Allocate(MakeRecord(1, 0, 3200, 3));
  ASSERT_TRUE(data);
  // The second line is empty, so it has too few fields: reading stops there.
  const auto messages = readAscii(*data, "1,0,5\r\n\r\n3,2,7\r\n");
  EXPECT_EQ(Keys(messages), std::vector<std::string>{"str21"});
  EXPECT_EQ(values(data->samples(0)), (std::vector<double>{5, 0, 0}));
}

TEST(AsciiDat, TooFewLinesLoadNothing) {
  const auto data = testing::Allocate(MakeRecord(1, 0, 1000, 4));
  ASSERT_TRUE(data);
  const auto messages = readAscii(*data, "1,0,-5\r\n2,1,x\r\n3,2,7\r\n");
  ASSERT_EQ(Keys(messages), std::vector<std::string>{"str19"});
  EXPECT_EQ(messages[0].caption.key, "str20");
  EXPECT_TRUE(AllZero(data->samples(0)));
  EXPECT_EQ(data->NoNegativeSamples, 1);
  EXPECT_EQ(Keys(readAscii(*data, "")), std::vector<std::string>{"str19"});
}

TEST(AsciiDat, AnUnreadableFileIsReported) {
  const auto data = testing::Allocate(MakeRecord(1, 0, 1000, 4));
  ASSERT_TRUE(data);
  FileDataReader missing("/nonexistent/folder/record.dat");
  std::vector<common::UserMessage> messages;
  ReadAsciiDat(*data, missing, messages);
  EXPECT_EQ(Keys(messages), std::vector<std::string>{"str19"});
}

TEST(AsciiDat, AReadErrorLoadsNothing) {
  const auto data = testing::Allocate(MakeRecord(1, 0, 3200, 200));
  ASSERT_TRUE(data);
  std::string text;
  for (int k = 0; k < 200; ++k) text += std::to_string(k + 1) + ",0,-7\r\n";
  testing::FailingReader reader(text, text.size() / 2);
  std::vector<common::UserMessage> messages;
  ReadAsciiDat(*data, reader, messages, 256);
  EXPECT_EQ(Keys(messages), std::vector<std::string>{"str19"});
  EXPECT_TRUE(AllZero(data->samples(0)));
  EXPECT_EQ(data->NoNegativeSamples, 1);
}

TEST(AsciiDat, ALineWithTooFewFieldsEndsTheReading) {
  const auto data = testing::Allocate(MakeRecord(2, 1, 3200, 4));
  ASSERT_TRUE(data);
  const auto messages = readAscii(*data, "1,0,1,2,1\n2,1,3,4,0\n3,2,5,6\n4,3,7,8,1\n");
  ASSERT_EQ(Keys(messages), std::vector<std::string>{"str21"});
  EXPECT_EQ(messages[0].caption.key, "str22");
  EXPECT_EQ(values(data->samples(0)), (std::vector<double>{1, 3, 0, 0}));
  EXPECT_EQ(values(data->samples(1)), (std::vector<double>{2, 4, 0, 0}));
  EXPECT_EQ(testing::DigitalValues(*data, 0), (std::vector<double>{1, 0, 0, 0}));
}

TEST(AsciiDat, TooFewLinesWinOverTooFewFields) {
  const auto data = testing::Allocate(MakeRecord(2, 0, 3200, 4));
  ASSERT_TRUE(data);
  EXPECT_EQ(Keys(readAscii(*data, "1,0,1,2\n2,1,3\n3,2,5,6\n")), std::vector<std::string>{"str19"});
  EXPECT_TRUE(AllZero(data->samples(0)));
}

TEST(AsciiDat, IllegalValues) {
  const auto data = testing::Allocate(MakeRecord(1, 1, 3200, 6));
  ASSERT_TRUE(data);
  const auto messages = readAscii(*data,
                                  "1,0,x,1\n"
                                  "2,0,2,2\n"      // digital 2: not stored, no message
                                  "3,0,3,-1\n"     // digital -1 likewise
                                  "4,0,\"4\",y\n"  // quoted number; digital not a number
                                  "5,0,1.5,1\n"
                                  "6,0,$10,\"0\"\n");
  EXPECT_EQ(Keys(messages), (std::vector<std::string>{"str23", "str25", "str23"}));
  EXPECT_EQ(messages[1].caption.key, "str26");
  EXPECT_EQ(values(data->samples(0)), (std::vector<double>{0, 2, 3, 4, 0, 16}));
  EXPECT_EQ(testing::DigitalValues(*data, 0), (std::vector<double>{1, 0, 0, 0, 1, 0}));
}

TEST(AsciiDat, AtMostFiveIllegalValueMessages) {
  const auto data = testing::Allocate(MakeRecord(2, 2, 3200, 3));
  ASSERT_TRUE(data);
  const auto messages = readAscii(*data, "1,0,a,2,b,1\n2,0,c,d,e,f\n3,0,3,4,1,0\n");
  EXPECT_EQ(Keys(messages), (std::vector<std::string>{"str23", "str25", "str23", "str23", "str25"}));
  EXPECT_EQ(values(data->samples(1)), (std::vector<double>{2, 0, 4}));
}

TEST(AsciiDat, ReadsBothRatesOfATwoRateRecord) {
  const auto data = testing::Allocate(MakeRecord(1, 1, 1200, 3, 600, 5));  // f1 2, f2 3
  ASSERT_TRUE(data);
  EXPECT_TRUE(readAscii(*data, "1,0,1,0\n2,0,2,1\n3,0,3,0\n4,0,4,1\n5,0,5,1\n").empty());
  EXPECT_EQ(values(data->samples(0)), (std::vector<double>{1, 0, 2, 0, 3, 0, 4, 0, 0, 5, 0, 0}));
  EXPECT_EQ(testing::DigitalValues(*data, 0), (std::vector<double>{0, 1, 0, 1, 1}));
}

TEST(AsciiDat, ATwoRateFileEndingInTheSecondRateKeepsWhatItHolds) {
  const auto data = testing::Allocate(MakeRecord(1, 0, 1200, 3, 600, 5));
  ASSERT_TRUE(data);
  const auto messages = readAscii(*data, "1,0,1\n2,0,2\n3,0,3\n4,0,4\n");
  EXPECT_EQ(Keys(messages), std::vector<std::string>{"str19"});
  EXPECT_EQ(values(data->samples(0)), (std::vector<double>{1, 0, 2, 0, 3, 0, 4, 0, 0, 0, 0, 0}));
}

TEST(AsciiDat, NegativeSamplesCountOnlyInWholeCycles) {
  for (const int endsamp1 : {19, 20}) {  // N1 = 20
    const auto data = testing::Allocate(MakeRecord(1, 0, 1000, endsamp1));
    ASSERT_TRUE(data);
    std::string text;
    for (int k = 0; k < endsamp1; ++k) text += std::to_string(k + 1) + ",0," + (k == 2 ? "-4" : "4") + "\n";
    EXPECT_TRUE(readAscii(*data, text).empty());
    EXPECT_EQ(data->NoNegativeSamples, endsamp1 < 20 ? 1 : 0) << endsamp1;
  }
}

TEST(AsciiDat, ALongFileReadsAsIfLineByLine) {
  // Enough lines to be parsed in several ranges at once: what follows the
  // short line must leave no trace, whichever range it fell into.
  const int count = 6000;
  const auto data = testing::Allocate(MakeRecord(1, 1, 3200, count));
  ASSERT_TRUE(data);
  std::string text;
  for (int k = 0; k < count; ++k) {
    std::string analog = std::to_string(k + 1);
    if (k == 100) analog = "bad";
    if (k == 4000) analog = "worse";
    if (k == 3000) analog = "-5";
    text += std::to_string(k + 1) + ",0," + analog + (k == 2500 ? "\n" : ",1\n");
  }
  const auto messages = readAscii(*data, text, 4096);
  EXPECT_EQ(Keys(messages), (std::vector<std::string>{"str23", "str21"}));
  const auto analog = data->samples(0);
  const auto digital = data->digital(0);
  EXPECT_EQ(analog[99], 100);
  EXPECT_EQ(analog[100], 0);
  EXPECT_EQ(analog[2499], 2500);
  EXPECT_EQ(digital[2499], 1);
  for (int k = 2500; k < count; ++k) {
    ASSERT_EQ(analog[static_cast<std::size_t>(k)], 0) << k;
    ASSERT_EQ(digital[static_cast<std::size_t>(k)], 0) << k;
  }
  EXPECT_EQ(data->NoNegativeSamples, 1);
}

TEST(AsciiDat, AnOverlongLineIsCutAndTheNextLineStillRead) {
  const auto data = testing::Allocate(MakeRecord(1, 0, 3200, 2));
  ASSERT_TRUE(data);
  const std::string text = "1,0,7" + std::string(kAsciiLongestLine + 10, ' ') + "9\r\n2,0,8\r\n";
  EXPECT_TRUE(readAscii(*data, text, 4096).empty());
  EXPECT_EQ(values(data->samples(0)), (std::vector<double>{7, 8}));
}

}  // namespace
}  // namespace wave
