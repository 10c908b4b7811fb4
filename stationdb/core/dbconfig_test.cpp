#include "stationdb/core/dbconfig.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <functional>
#include <string>

#include "common/gbk.h"
#include "common/paths.h"
#include "stationdb/db/testsupport.h"

namespace stationdb {
namespace {

namespace fs = std::filesystem;

// A stream string as the format stores it.
std::string str(std::string_view text) {
  std::string out{static_cast<char>(text.size()), 0, 0, 0};
  return out + std::string(text);
}
std::string u32(std::uint32_t v) {
  return {static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF), static_cast<char>((v >> 16) & 0xFF),
          static_cast<char>(v >> 24)};
}
std::string entry(std::uint32_t id, std::string_view user, std::string_view password) {
  return u32(id) + str(user) + str(password);
}

// The file for a payload, built by hand from the layout.
std::string fileFor(const std::string& payload) {
  std::string file = u32(0x80088008u) + u32(~static_cast<std::uint32_t>(payload.size()));
  for (const char c : payload) file += static_cast<char>(static_cast<unsigned char>(c) + 1);
  for (const char c : payload) file += static_cast<char>(static_cast<unsigned char>(c) - 1);
  return file;
}

TDBConnectionSettings sampleSettings() {
  TDBConnectionSettings s;
  s.ConfigServer = "S";
  s.ConfigCatalog = "C";
  s.ConfigUser = "u";
  s.ConfigPassword = "p";
  s.HistoryServer = "H";
  s.HistoryCatalog = "D";
  s.HistoryUser = "hu";
  s.HistoryPassword = "hp";
  return s;
}

const std::string kSamplePayload = str("S") + str("C") + str("") + u32(1) + entry(3050, "u", "p") +  //
                                   str("H") + str("D") + str("") + u32(1) + entry(3050, "hu", "hp");

class DbConfigTest : public ::testing::Test {
 protected:
  void put(const std::string& bytes) {
    fs::create_directories(file_.parent_path());
    ASSERT_TRUE(common::WriteFileAtomic(file_, bytes));
  }
  std::string bytes() const { return common::ReadWholeFile(file_).value_or("<missing>"); }

  dbtest::TempFolder folder_;
  fs::path file_ = folder_.path() / "settings" / "contp.dat";
};

TEST_F(DbConfigTest, WritesTheLayoutByteForByte) {
  ASSERT_TRUE(WriteDBLoginInfo(file_, kQuenlorAppId, sampleSettings()));
  const std::string written = bytes();
  EXPECT_EQ(written, fileFor(kSamplePayload));
  // The header and the first byte of each copy, spelled out.
  EXPECT_EQ(written.substr(0, 8), std::string("\x08\x80\x08\x80\xBD\xFF\xFF\xFF", 8));  // n = 66
  EXPECT_EQ(written.substr(8, 5), std::string("\x02\x01\x01\x01T", 5));
  EXPECT_EQ(written.substr(8 + 66, 5), std::string("\x00\xFF\xFF\xFFR", 5));

  struct stat info {};
  ASSERT_EQ(::stat(file_.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST_F(DbConfigTest, ReadsWhatWasWritten) {
  put(fileFor(kSamplePayload));
  TDBConnectionSettings read;
  ASSERT_TRUE(ReadDBLoginInfo(file_, kQuenlorAppId, read));
  EXPECT_EQ(read, sampleSettings());

  TDBConnectionSettings chinese = sampleSettings();
  chinese.ConfigServer = "主服务器";
  chinese.HistoryPassword = "口令";
  ASSERT_TRUE(WriteDBLoginInfo(file_, kQuenlorAppId, chinese));
  EXPECT_NE(UnscrambleContp(bytes()).value_or("").find(common::Utf8ToGbk("主服务器")), std::string::npos)
      << "code page 936 in the file";
  TDBConnectionSettings back;
  ASSERT_TRUE(ReadDBLoginInfo(file_, kQuenlorAppId, back));
  EXPECT_EQ(back, chinese);
}

TEST_F(DbConfigTest, OtherApplicationsKeepTheirEntriesInOrder) {
  put(fileFor(str("old") + str("c") + str("x") + u32(3) + entry(1001, "a", "1") + entry(3050, "me", "old") +
              entry(2002, "b", "2") +  //
              str("h") + str("d") + str("") + u32(1) + entry(2002, "hb", "h2")));
  ASSERT_TRUE(WriteDBLoginInfo(file_, kQuenlorAppId, sampleSettings()));
  const auto payload = UnscrambleContp(bytes());
  ASSERT_TRUE(payload);
  const auto content = ParseContpPayload(*payload);
  ASSERT_TRUE(content);
  EXPECT_EQ(content->Config.Server, "S");  // the settings replace the old texts
  EXPECT_EQ(content->Config.ConnectionString, "");
  EXPECT_EQ(content->Config.Entries, (std::vector<ContpEntry>{{1001, "a", "1"}, {3050, "u", "p"}, {2002, "b", "2"}}));
  EXPECT_EQ(content->History.Entries, (std::vector<ContpEntry>{{2002, "hb", "h2"}, {3050, "hu", "hp"}}));
}

TEST_F(DbConfigTest, AMissingEntryTakesOnlyTheConfigurationTexts) {
  put(fileFor(str("srv") + str("cat") + str("conn") + u32(1) + entry(1001, "a", "1") +  //
              str("h") + str("d") + str("") + u32(0)));
  TDBConnectionSettings read;
  read.HistoryServer = "untouched";
  TDBLogin login{"keep", "keep"};
  EXPECT_FALSE(ReadDBLoginInfo(file_, kQuenlorAppId, read, login));
  EXPECT_EQ(read.ConfigServer, "srv");
  EXPECT_EQ(read.ConfigConnectionString, "conn");
  EXPECT_EQ(read.HistoryServer, "untouched");
  EXPECT_EQ(login.User, "keep");
}

TEST_F(DbConfigTest, InvalidFilesAreRejected) {
  const std::string good = fileFor(kSamplePayload);
  struct Case {
    const char* name;
    std::function<std::string()> make;
    bool valid;
  };
  const Case cases[] = {
      {"as written", [&] { return good; }, true},
      {"a later difference between the copies is not seen",
       [&] {
         std::string f = good;
         f[8 + 66 + 10] = 'x';
         return f;
       },
       true},
      {"copies differ in their first byte",
       [&] {
         std::string f = good;
         f[8 + 66] = 0x01;
         return f;
       },
       false},
      {"empty configuration server",
       [&] {
         return fileFor(str("") + str("C") + str("") + u32(1) + entry(3050, "u", "p") + kSamplePayload.substr(32));
       },
       false},
      {"configuration server of 255 bytes",
       [&] {
         return fileFor(str(std::string(255, 's')) + str("C") + str("") + u32(1) + entry(3050, "u", "p") +
                        kSamplePayload.substr(32));
       },
       false},
      {"wrong magic",
       [&] {
         std::string f = good;
         f[0] = 0x09;
         return f;
       },
       false},
      {"shorter than its length", [&] { return good.substr(0, good.size() - 1); }, false},
      {"only a header", [&] { return good.substr(0, 8); }, false},
      {"empty file", [] { return std::string(); }, false},
  };
  for (const auto& c : cases) {
    put(c.make());
    TDBConnectionSettings read;
    EXPECT_EQ(ReadDBLoginInfo(file_, kQuenlorAppId, read), c.valid) << c.name;
    if (!c.valid) {
      EXPECT_EQ(read, TDBConnectionSettings()) << c.name << ": nothing filled";
    }
  }
  TDBConnectionSettings read;
  fs::remove(file_);
  EXPECT_FALSE(ReadDBLoginInfo(file_, kQuenlorAppId, read));
}

// A valid file whose parts do not read to their end is read as far as it
// goes: the texts and entries before the first piece that does not read.
TEST_F(DbConfigTest, ReadsWhatCanBeRead) {
  const std::string history = str("H") + str("D") + str("") + u32(1) + entry(3050, "hu", "hp");
  struct Case {
    const char* name;
    std::string payload;
    bool found;
    TDBConnectionSettings read;
  };
  TDBConnectionSettings configOnly;
  configOnly.ConfigServer = "S";
  configOnly.ConfigCatalog = "C";
  configOnly.ConfigUser = "u";
  configOnly.ConfigPassword = "p";
  TDBConnectionSettings historyServerOnly = configOnly;
  historyServerOnly.HistoryServer = "H";
  TDBConnectionSettings historyTexts = historyServerOnly;
  historyTexts.HistoryCatalog = "D";
  TDBConnectionSettings textsOnly;
  textsOnly.ConfigServer = "S";
  textsOnly.ConfigCatalog = "C";
  const Case cases[] = {
      {"history part cut in its catalog", kSamplePayload.substr(0, 40), true, historyServerOnly},
      {"no history part", kSamplePayload.substr(0, 32), true, configOnly},
      {"a count beyond the entries", str("S") + str("C") + str("") + u32(0x10000000) + entry(3050, "u", "p"), true,
       configOnly},
      {"history entry of 3050 cut short",
       str("S") + str("C") + str("") + u32(1) + entry(3050, "u", "p") + str("H") + str("D") + str("") + u32(2) +
           entry(2002, "b", "2") + u32(3050) + str("hu") + u32(300) + "hp",
       true, historyTexts},
      {"the entry of 3050 behind one that does not read",
       str("S") + str("C") + str("") + u32(2) + u32(1001) + u32(256) + "x" + entry(3050, "u", "p") + history, false,
       textsOnly},
      {"a configuration text longer than 255 bytes", str("S") + u32(256) + std::string(256, 'c'), false,
       [] {
         TDBConnectionSettings s;
         s.ConfigServer = "S";
         return s;
       }()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    put(fileFor(c.payload));
    TDBConnectionSettings read;
    EXPECT_EQ(ReadDBLoginInfo(file_, kQuenlorAppId, read), c.found);
    EXPECT_EQ(read, c.read);
  }
}

// Writing changes the settings' texts and the entries of 3050 only: other
// programs' entries keep their bytes and order, and whatever does not read
// (a part another program wrote differently, bytes after the parts) stays,
// unchanged, behind the parts.
TEST_F(DbConfigTest, WritingKeepsEveryOtherProgramsBytes) {
  const std::string newConfigTexts = str("S") + str("C") + str("");
  const std::string newHistoryTexts = str("H") + str("D") + str("");
  const std::string own = entry(3050, "u", "p");
  const std::string ownHistory = entry(3050, "hu", "hp");
  const std::string brokenEntry = u32(4004) + u32(999) + "zz";  // a user text longer than the file
  struct Case {
    const char* name;
    std::string old;
    std::string written;
  };
  const Case cases[] = {
      {"whole parts and bytes after them",
       str("old") + str("c") + str("x") + u32(2) + entry(1001, "a", "1") + entry(3050, "me", "old") + str("h") +
           str("d") + str("") + u32(1) + entry(2002, "hb", "h2") + "TAIL",
       newConfigTexts + u32(2) + entry(1001, "a", "1") + own + newHistoryTexts + u32(2) + entry(2002, "hb", "h2") +
           ownHistory + "TAIL"},
      {"no history part",
       str("old") + str("c") + str("") + u32(1) + entry(1001, "a", "1"),
       newConfigTexts + u32(2) + entry(1001, "a", "1") + own + newHistoryTexts + u32(1) + ownHistory},
      {"history catalog longer than 255 bytes",
       str("old") + str("c") + str("") + u32(1) + entry(1001, "a", "1") + str("h") + u32(300) + "xyz",
       newConfigTexts + u32(2) + entry(1001, "a", "1") + own + newHistoryTexts + u32(1) + ownHistory + u32(300) +
           "xyz"},
      {"history entry that does not read",
       str("old") + str("c") + str("") + u32(1) + own + str("h") + str("d") + str("") + u32(3) +
           entry(2002, "b", "2") + brokenEntry,
       newConfigTexts + u32(1) + own + newHistoryTexts + u32(2) + entry(2002, "b", "2") + ownHistory + brokenEntry},
      {"configuration entry that does not read",
       str("old") + str("c") + str("") + u32(3) + entry(3050, "me", "old") + entry(1001, "a", "1") + brokenEntry +
           str("h") + str("d") + str("") + u32(1) + entry(1001, "ha", "h1"),
       newConfigTexts + u32(2) + own + entry(1001, "a", "1") + newHistoryTexts + u32(1) + ownHistory + brokenEntry +
           str("h") + str("d") + str("") + u32(1) + entry(1001, "ha", "h1")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    put(fileFor(c.old));
    ASSERT_TRUE(WriteDBLoginInfo(file_, kQuenlorAppId, sampleSettings()));
    EXPECT_EQ(UnscrambleContp(bytes()), c.written);
    TDBConnectionSettings read;
    EXPECT_TRUE(ReadDBLoginInfo(file_, kQuenlorAppId, read));
    EXPECT_EQ(read, sampleSettings());
    fs::path backup = file_;
    backup += ".bak";
    EXPECT_FALSE(fs::exists(backup)) << "a valid file is not put aside";
  }
}

TEST_F(DbConfigTest, AnInvalidFileIsReplacedAndKeptAside) {
  const std::string broken = "\x08\x80\x08\x80garbage";
  put(broken);
  ASSERT_TRUE(WriteDBLoginInfo(file_, kQuenlorAppId, sampleSettings()));
  EXPECT_EQ(bytes(), fileFor(kSamplePayload));
  fs::path backup = file_;
  backup += ".bak";
  EXPECT_EQ(common::ReadWholeFile(backup), broken);
  int files = 0;
  for ([[maybe_unused]] const auto& e : fs::directory_iterator(file_.parent_path())) ++files;
  EXPECT_EQ(files, 2);  // no temporary file left behind
}

TEST_F(DbConfigTest, LongTextsAreCutBetweenCharacters) {
  TDBConnectionSettings s = sampleSettings();
  std::string longName;
  for (int i = 0; i < 200; ++i) longName += "服";  // 400 bytes in code page 936
  s.ConfigServer = longName;
  ASSERT_TRUE(WriteDBLoginInfo(file_, kQuenlorAppId, s));
  TDBConnectionSettings read;
  ASSERT_TRUE(ReadDBLoginInfo(file_, kQuenlorAppId, read));
  EXPECT_EQ(common::Utf8ToGbk(read.ConfigServer).size(), 254u);
  EXPECT_EQ(read.ConfigServer, longName.substr(0, 127 * 3));
}

TEST_F(DbConfigTest, TheFileLivesInTheSettingsFolder) {
  dbtest::ScopedEnv settings("QUENLOR_SETTINGS_DIR", folder_.path().string());
  EXPECT_EQ(ContpFilePath(), folder_.path() / "contp.dat");
}

}  // namespace
}  // namespace stationdb
