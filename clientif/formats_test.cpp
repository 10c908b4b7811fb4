// Object names, time conversion, error texts and the two cache files.

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <string>

#include "clientif/cachefiles.h"
#include "clientif/errortext.h"
#include "clientif/layout.h"
#include "clientif/testsupport.h"
#include "clientif/timeconv.h"
#include "common/gbk.h"

namespace velk {
namespace {

namespace fs = std::filesystem;
using velktest::TempFolder;

TEST(StationObjectName, PlaceholderDigitsFollowTheStationId) {
  struct Case {
    std::string_view base;
    std::int32_t id;
    std::string expected;
  };
  const Case cases[] = {
      {kCommHeadName, 0, "VELK_COMM_HEAD-00"},
      {kRptNameName, 42, "VELK_RPT_NAME-42"},
      {kRealtimeName, 7, "VELK_REALTIME-07"},
      {kRealtimeName, 105, "VELK_REALTIME-:5"},
      {kRealtimeMutexName, 99, "VELK_REALTIME_WRITE_MUTEX_99"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.id);
    EXPECT_EQ(StationObjectName(c.base, c.id), c.expected);
  }
  // A tens character of NUL or "/" cannot name an object.
  EXPECT_EQ(StationObjectName(kCommHeadName, (256 - 48) * 10), std::nullopt);
  EXPECT_EQ(StationObjectName(kCommHeadName, -1), std::nullopt);  // units '/' (48 - 1)
}

TEST(GbkText, CutsNeverSplitATwoByteCharacter) {
  const std::string zhong = common::Utf8ToGbk("中");  // two bytes
  struct Case {
    const char* label;
    std::string text;
    std::size_t limit;
    std::size_t length;
  };
  const Case cases[] = {
      {"fits", "abc", 5, 3},
      {"ascii cut", "abcdef", 4, 4},
      {"ends on a boundary", zhong + zhong, 4, 4},
      {"would split the second", zhong + zhong, 3, 2},
      {"would split the first", zhong, 1, 0},
      {"after one ascii byte", "a" + zhong + zhong, 4, 3},
      {"255 of 260", [&] {
         std::string s;
         for (int i = 0; i < 130; ++i) s += zhong;
         return s;
       }(), 255, 254},
      {"a lone lead byte at the end", "ab\xB0", 3, 3},
      {"0x80 and 0xFF are single bytes", "\x80\xFF" + zhong, 3, 2},
      {"zero limit", "abc", 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    EXPECT_EQ(GbkCutLength(c.text, c.limit), c.length);
  }
  char field[4];
  SetFieldText(field, sizeof field, "a" + zhong + zhong);
  EXPECT_EQ(FieldText(field, sizeof field), "a" + zhong);
  EXPECT_EQ(field[3], '\0');
}

SYSTEMTIME Date(int year, int month, int day, int hour = 0, int minute = 0, int second = 0) {
  SYSTEMTIME t{};
  t.wYear = static_cast<std::uint16_t>(year);
  t.wMonth = static_cast<std::uint16_t>(month);
  t.wDay = static_cast<std::uint16_t>(day);
  t.wHour = static_cast<std::uint16_t>(hour);
  t.wMinute = static_cast<std::uint16_t>(minute);
  t.wSecond = static_cast<std::uint16_t>(second);
  return t;
}

TEST(TimeConversion, SecondsSince1970) {
  struct Case {
    SYSTEMTIME time;
    std::int32_t seconds;
  };
  const Case cases[] = {
      {Date(1970, 1, 1), 0},
      {Date(1972, 3, 1), 68256000},
      {Date(2000, 3, 1), 951868800},
      {Date(2023, 12, 31, 23, 59, 59), 1704067199},
      {Date(0, 1, 2), 86400},       // year 0 counts as 1970
      {Date(1970, 0, 0, 1), 3600},  // month and day 0 add nothing
      {Date(2101, 1, 1), 0},
      {Date(1969, 12, 31), 0},
      {Date(2000, 13, 1), 0},  // past the month table
      {Date(2000, 1, 32), 0},
      // past 2038 the value wraps in 32 bits
      {Date(2040, 1, 1), static_cast<std::int32_t>(static_cast<std::uint32_t>(2208988800ULL))},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.time.wYear << "-" << c.time.wMonth << "-" << c.time.wDay);
    EXPECT_EQ(SecondsSince1970(c.time), c.seconds);
  }
}

TEST(TimeConversion, CalendarFromSecondsKeepsDayOfWeekAndMilliseconds) {
  SYSTEMTIME t{};
  t.wDayOfWeek = 6;
  t.wMilliseconds = 123;
  CalendarFromSeconds(68256000, t);
  EXPECT_EQ(+t.wYear, 1972);
  EXPECT_EQ(+t.wMonth, 3);
  EXPECT_EQ(+t.wDay, 1);
  EXPECT_EQ(+t.wHour, 0);
  EXPECT_EQ(+t.wDayOfWeek, 6);
  EXPECT_EQ(+t.wMilliseconds, 123);
  CalendarFromSeconds(1704067199, t);
  EXPECT_EQ(+t.wYear, 2023);
  EXPECT_EQ(+t.wMonth, 12);
  EXPECT_EQ(+t.wDay, 31);
  EXPECT_EQ(+t.wHour, 23);
  EXPECT_EQ(+t.wMinute, 59);
  EXPECT_EQ(+t.wSecond, 59);
  CalendarFromSeconds(63072000 + 86400 * 59, t);  // 1972-02-29 (1972-01-01 + 59 days)
  EXPECT_EQ(+t.wMonth, 2);
  EXPECT_EQ(+t.wDay, 29);
}

TEST(TimeConversion, RoundTripsEveryDayOfAFourYearCycle) {
  for (std::uint32_t day = 0; day < 1461; ++day) {
    SYSTEMTIME t{};
    const std::uint32_t seconds = 946684800u + day * 86400u + 3723u;  // from 2000-01-01, at 01:02:03
    CalendarFromSeconds(seconds, t);
    ASSERT_EQ(static_cast<std::uint32_t>(SecondsSince1970(t)), seconds) << day;
  }
}

class ErrorTextTest : public testing::Test {
 protected:
  // A language file whose VLOG_n is "Kn" and whose VLOG_0030 is a format.
  void loadLanguage() {
    std::string text = "[StringsTable]\r\n";
    for (int n = 1; n <= 55; ++n)
      if (n != 30) text += fmt::format("VLOG_{:04d}=K{}\r\n", n, n);
    text += "VLOG_0030=exit %s then %s 100%%\r\n";
    home_.write("Language/velklog2.lang", common::Utf8ToGbk(text));
    engine_.loadLanguageFileFrom(home_.path() / "Language" / "velklog2.lang");
  }
  TempFolder home_;
  lang::MultiLangEngine engine_{lang::LangVariant::Velklog2};
};

TEST_F(ErrorTextTest, CodesAndClientExitCodes) {
  loadLanguage();
  struct Case {
    std::int32_t code;
    std::string text;
  };
  const Case cases[] = {
      {0, "K17"},
      {-1, "K18"},
      {-9, "K26"},
      {-10, "K27"},
      {-12, "K29"},
      {-13, "K3113"},
      {-999, "K31999"},
      {-1000, "exit ERROR CODE:0 then %s 100%"},
      {-1001, "exit WIN SOCKT VERSION ERROR then %s 100%"},
      {-1002, "exit K3 then %s 100%"},
      {-1004, "exit K5 then %s 100%"},
      {-1005, "exit ERROR CODE:-5 then %s 100%"},
      {-1100, "exit K6 then %s 100%"},
      {-1110, "exit K16 then %s 100%"},
      {-1111, "exit ERROR CODE:-111 then %s 100%"},
      {-2000, "exit ERROR CODE:-1000 then %s 100%"},
      {-2001, "K312001"},
      {std::numeric_limits<std::int32_t>::min(), "K312147483648"},
      {5, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    EXPECT_EQ(InitErrorText(engine_, c.code), c.text);
  }
}

TEST_F(ErrorTextTest, WithoutALanguageFileEveryKeyGivesTheDefault) {
  engine_.loadLanguageFileFrom(home_.path() / "Language" / "velklog2.lang");
  EXPECT_EQ(InitErrorText(engine_, -3), "UndefineTranslateText");
  EXPECT_EQ(InitErrorText(engine_, -13), "UndefineTranslateText13");
  EXPECT_EQ(InitErrorText(engine_, -1002), "UndefineTranslateText");
}

// --- zadavud.reg.cah ---

void appendInt(std::string& out, std::uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<char>((value >> shift) & 0xFF));
}

struct DeviceType {
  std::int32_t id;
  std::string text1, text2, text3;
};

std::string RegistryBytes(const std::vector<DeviceType>& types, std::int32_t n1 = 1,
                          std::uint32_t version = kCacheMinVersion, std::int32_t n2Override = -1) {
  std::string out;
  appendInt(out, kCacheMagic);
  appendInt(out, version);
  out.append(16, '\0');
  appendInt(out, static_cast<std::uint32_t>(n1));
  appendInt(out, static_cast<std::uint32_t>(n2Override >= 0 ? n2Override : static_cast<std::int32_t>(types.size())));
  out.append(1024, '\0');
  for (int i = 0; i < n1; ++i) out += MakeRegistryString("first") + MakeRegistryString("second");
  for (int k = 0; k < 1024; ++k)
    appendInt(out, static_cast<std::uint32_t>(k < static_cast<int>(types.size()) ? types[static_cast<std::size_t>(k)].id
                                                                                 : 0));
  for (const DeviceType& type : types)
    out += MakeRegistryString(type.text1) + MakeRegistryString(type.text2) + MakeRegistryString(type.text3);
  return out;
}

TEST(DeviceTypeCache, LookupsByIdAndName) {
  DeviceTypeCache cache;
  ASSERT_TRUE(ParseDeviceTypeCache(
      RegistryBytes({{7, "Relay", "r2", "RelayLog"}, {9, "Meter", "m2", "MeterLog"}, {7, "Second", "", "x"}}), cache));
  EXPECT_EQ(cache.typeText(9, 0), "Meter");
  EXPECT_EQ(cache.typeText(9, 2), "MeterLog");
  EXPECT_EQ(cache.typeText(7, 0), "Relay");  // the first with the id
  EXPECT_EQ(cache.typeText(8, 0), "");
  EXPECT_EQ(cache.idOfName("METER"), 9);
  EXPECT_EQ(cache.idOfName("relay"), 7);
  EXPECT_EQ(cache.idOfName("Relay2"), 0);
  EXPECT_EQ(cache.firstList[0][1], "second");
}

TEST(DeviceTypeCache, NoDeviceTypesLoads) {
  DeviceTypeCache cache;
  ASSERT_TRUE(ParseDeviceTypeCache(RegistryBytes({}), cache));
  EXPECT_EQ(cache.typeText(0, 0), "");
  EXPECT_EQ(cache.idOfName(""), 0);
}

TEST(DeviceTypeCache, NegativeIdsNeverMatch) {
  DeviceTypeCache cache;
  ASSERT_TRUE(ParseDeviceTypeCache(RegistryBytes({{-1, "neg", "", "neglog"}}), cache));
  EXPECT_EQ(cache.typeText(-1, 0), "");
}

TEST(DeviceTypeCache, BadFilesFail) {
  DeviceTypeCache cache;
  const std::string good = RegistryBytes({{1, "a", "b", "c"}});
  EXPECT_FALSE(ParseDeviceTypeCache(RegistryBytes({{1, "a", "b", "c"}}, 1, 0x02FFFFFF), cache));
  std::string wrongMagic = good;
  wrongMagic[0] = 0;
  EXPECT_FALSE(ParseDeviceTypeCache(wrongMagic, cache));
  EXPECT_FALSE(ParseDeviceTypeCache(RegistryBytes({}, 257), cache));  // more first entries than slots
  EXPECT_FALSE(ParseDeviceTypeCache(RegistryBytes({}, 1, kCacheMinVersion, 1025), cache));
  EXPECT_FALSE(ParseDeviceTypeCache(RegistryBytes({}, -1), cache));
  // A file that ends inside the device types keeps what was read before.
  ASSERT_FALSE(ParseDeviceTypeCache(good.substr(0, good.size() - 1), cache));
  EXPECT_EQ(cache.firstCount, 1);
  EXPECT_EQ(cache.typeIds[0], 1);
}

TEST(DeviceTypeCache, LengthByteAbove127IsCut) {
  std::string bytes = RegistryBytes({{3, std::string(127, 'x'), "", ""}});
  const std::size_t text1 = bytes.size() - 3 * 128;
  bytes[text1] = static_cast<char>(200);
  DeviceTypeCache cache;
  ASSERT_TRUE(ParseDeviceTypeCache(bytes, cache));
  EXPECT_EQ(cache.typeText(3, 0), std::string(127, 'x'));
}

// --- dbconn.cfg ---

TEST(DbConn, ScrambledTextsComeBack) {
  const TDBConnInfo info{"_hist", "Provider=SQLOLEDB.1;Data Source=main", "Provider=SQLOLEDB.1;Data Source=spare"};
  EXPECT_EQ(ParseDbConn(MakeDbConnBytes(info)), info);
  EXPECT_EQ(ParseDbConn(MakeDbConnBytes(info, 0x03010203)), info);
}

TEST(DbConn, UnscramblingByTheHeadKey) {
  const std::uint8_t key = ScrambleKey(kCacheMagic, kCacheMinVersion);
  EXPECT_EQ(key, static_cast<std::uint8_t>(0xEE + 0xFF + 0xEE + 0xFF + 0x03));
  // "abc" and its zero byte, scrambled by the writer's rule (XOR k, then + 1).
  std::string stored;
  for (const char c : std::string("abc", 4))
    stored.push_back(static_cast<char>(static_cast<std::uint8_t>((static_cast<std::uint8_t>(c) ^ key) + 1)));
  const std::string plain = UnscrambleText(stored, key);
  EXPECT_EQ(plain, std::string("abc", 4));
  EXPECT_EQ(UnscrambleText(std::string(1, '\0'), 0), std::string(1, '\xFF'));  // 0 becomes 255
}

TEST(DbConn, BadFilesFail) {
  const TDBConnInfo info{"s", "m", "b"};
  std::string tooLong = MakeDbConnBytes(info);
  // the second length field: after the head, the first length and its 2 bytes
  const std::uint32_t length = 10241;
  std::memcpy(tooLong.data() + 24 + 4 + 2, &length, 4);
  EXPECT_EQ(ParseDbConn(tooLong), std::nullopt);
  EXPECT_EQ(ParseDbConn(MakeDbConnBytes(info, 0x02FFFFFF)), std::nullopt);
  const std::string good = MakeDbConnBytes(info);
  EXPECT_EQ(ParseDbConn(good.substr(0, good.size() - 1)), std::nullopt);  // short read
  std::string negative = good;
  const std::int32_t minus = -1;
  std::memcpy(negative.data() + 24, &minus, 4);
  EXPECT_EQ(ParseDbConn(negative), std::nullopt);
}

// Counting it as three empty texts would pass for valid settings.
TEST(DbConn, AFileThatCannotBeReadFails) {
  TempFolder home;
  fs::create_directory(home.path() / "dbconn.cfg");
  EXPECT_EQ(ReadDbConnFile(home.path() / "dbconn.cfg"), std::nullopt);
}

TEST(DbConn, MissingFileFails) {
  TempFolder home;
  EXPECT_EQ(ReadDbConnFile(home.path() / "dbconn.cfg"), std::nullopt);
}

// Both files are read only when they are plain files, and only as far as
// their readers look: a FIFO, a device or a folder under the name fails at
// once, and a file with a huge tail is read as the file it starts with.
TEST(CacheFiles, OnlyPlainFilesAndOnlyTheirStartAreRead) {
  const TDBConnInfo info{"_h", "main text", "standby text"};
  const struct {
    const char* label;
    std::function<void(const fs::path&)> make;
    bool loads;
  } cases[] = {
      {"fifo", [](const fs::path& file) { ::mkfifo(file.c_str(), 0600); }, false},
      {"device", [](const fs::path& file) { fs::create_symlink("/dev/zero", file); }, false},
      {"folder", [](const fs::path& file) { fs::create_directory(file); }, false},
      {"plain with a tail of 4 GiB",
       [](const fs::path& file) { fs::resize_file(file, fs::file_size(file) + (std::uintmax_t{4} << 30)); }, true},
  };
  for (const auto& c : cases) {
    TempFolder home;
    const fs::path dbconn = home.path() / "dbconn.cfg";
    const fs::path registry = home.path() / "zadavud.reg.cah";
    if (c.loads) {
      home.write("dbconn.cfg", MakeDbConnBytes(info));
      home.write("zadavud.reg.cah", RegistryBytes({{9, "Meter", "m2", "MeterLog"}}));
    }
    c.make(dbconn);
    c.make(registry);
    EXPECT_EQ(ReadDbConnFile(dbconn), c.loads ? std::optional(info) : std::nullopt) << c.label;
    DeviceTypeCache cache;
    EXPECT_EQ(LoadDeviceTypeCache(registry, cache), c.loads) << c.label;
    if (c.loads) {
      EXPECT_EQ(cache.typeText(9, 2), "MeterLog");
    }
  }
}

}  // namespace
}  // namespace velk
