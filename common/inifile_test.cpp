#include "common/inifile.h"

#include "common/paths.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

namespace common {
namespace {
namespace fs = std::filesystem;

class IniFileTest : public testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "inifile_test.XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { fs::remove_all(dir_); }

  fs::path file(std::string_view text) {
    const fs::path path = dir_ / "zavoviv.ini";
    EXPECT_TRUE(WriteFileAtomic(path, text));
    return path;
  }
  std::string contents() { return ReadWholeFile(dir_ / "zavoviv.ini").value_or("<none>"); }

  fs::path dir_;
};

TEST_F(IniFileTest, ReadsWithProfileRules) {
  const IniFile ini(file("; comment\r\n"
                         "top=outside\r\n"
                         "[COLOR]\r\n"
                         "Color_1=255\r\n"
                         "  color_2 =  $FF  \r\n"
                         "COLOR_1=1\r\n"
                         "Color_3=abc\r\n"
                         "Color_4=\r\n"
                         "Color_6=-2147483648\r\n"
                         "noequals\r\n"
                         "[ cfgfolder ]\r\n"
                         "Path= /home/u/rec=1 \r\n"
                         "[Color]\r\n"
                         "Color_5=7\r\n"));
  struct Case {
    const char *section, *key, *expected;
  };
  const Case strings[] = {{"COLOR", "Color_1", "255"},       {"color", "COLOR_2", "$FF"},
                          {"CfgFolder", "path", "/home/u/rec=1"}, {"COLOR", "Color_4", ""},
                          {"COLOR", "Color_5", "<fallback>"},  // only the first section counts
                          {"", "top", "<fallback>"},           {"COLOR", "noequals", "<fallback>"},
                          {"Missing", "Path", "<fallback>"}};
  for (const Case& c : strings) {
    SCOPED_TRACE(testing::Message() << c.section << "/" << c.key);
    EXPECT_EQ(ini.readString(c.section, c.key, "<fallback>"), c.expected);
  }
  EXPECT_EQ(ini.readInteger("COLOR", "Color_1", -1), 255);
  EXPECT_EQ(ini.readInteger("COLOR", "Color_2", -1), 255);
  EXPECT_EQ(ini.readInteger("COLOR", "Color_3", 0x008000), 0x008000);
  EXPECT_EQ(ini.readInteger("COLOR", "Color_4", 0x008000), 0x008000);
  EXPECT_EQ(ini.readInteger("COLOR", "Color_5", 0x008000), 0x008000);
  EXPECT_EQ(ini.readInteger("COLOR", "Color_6", 0), INT32_MIN);
}

TEST_F(IniFileTest, MissingFileGivesFallbacksAndCanBeCreated) {
  const fs::path path = dir_ / "new" / "zavoviv.ini";
  IniFile ini(path);
  EXPECT_EQ(ini.readString("CfgFolder", "Path", "none"), "none");
  EXPECT_EQ(ini.readInteger("COLOR", "Color_1", 42), 42);
  ini.writeInteger("COLOR", "Color_1", 255);
  ini.writeString("CfgFolder", "Path", "/data/中文");
  ASSERT_TRUE(ini.save());
  EXPECT_EQ(ReadWholeFile(path), "[COLOR]\nColor_1=255\n\n[CfgFolder]\nPath=/data/中文\n");
  EXPECT_EQ(IniFile(path).readString("cfgfolder", "PATH", ""), "/data/中文");
}

TEST_F(IniFileTest, WritingKeepsOtherLinesAndTheLineEnding) {
  IniFile ini(file("; colours\r\n[Color]\r\ncolor_1=1\r\nOther=x\r\n\r\n[CfgFolder]\r\n; last folder\r\nPath=/a\r\n"));
  ini.writeInteger("COLOR", "Color_1", 16711680);   // changed in place, key spelling kept
  ini.writeInteger("COLOR", "Color_2", -5);         // added at the end of the section
  ini.writeString("cfgfolder", "Path", " /b ");
  ini.writeString("New", "Key", "a\nb");            // a new section; no line break gets in
  ASSERT_TRUE(ini.save());
  EXPECT_EQ(contents(),
            "; colours\r\n[Color]\r\ncolor_1=16711680\r\nOther=x\r\nColor_2=-5\r\n\r\n"
            "[CfgFolder]\r\n; last folder\r\nPath= /b \r\n\r\n[New]\r\nKey=a b\r\n");
  const IniFile reread(dir_ / "zavoviv.ini");
  EXPECT_EQ(reread.readString("CfgFolder", "Path", ""), "/b");
  EXPECT_EQ(reread.readInteger("Color", "COLOR_2", 0), -5);
}

TEST_F(IniFileTest, KeepsLoneCrEndingsAndAByteOrderMark) {
  struct Case {
    const char *before, *after;
  };
  const Case cases[] = {{"[A]\rk=1\r[B]\rk=2", "[A]\rk=1\rj=3\r[B]\rk=2\r"},
                        {"\xEF\xBB\xBF[a]\nk=1\n[b]\nk=2\n", "\xEF\xBB\xBF[a]\nk=1\nj=3\n[b]\nk=2\n"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.before);
    IniFile ini(file(c.before));
    EXPECT_EQ(ini.readInteger("a", "K", 0) + ini.readInteger("b", "K", 0), 3);
    ini.writeInteger("A", "j", 3);
    ASSERT_TRUE(ini.save());
    EXPECT_EQ(contents(), c.after);
  }
}

TEST_F(IniFileTest, SaveFailsWhereItCannotWrite) {
  IniFile blocked("/proc/version/zavoviv.ini");
  blocked.writeInteger("COLOR", "Color_1", 1);
  EXPECT_FALSE(blocked.save());

  const fs::path path = file("[COLOR]\nColor_1=1\n");
  fs::create_directory(dir_ / "ro");
  fs::permissions(dir_ / "ro", fs::perms::owner_read | fs::perms::owner_exec);
  IniFile readOnlyFolder(dir_ / "ro" / "zavoviv.ini");
  readOnlyFolder.writeInteger("COLOR", "Color_1", 2);
  if (geteuid() != 0) {
    EXPECT_FALSE(readOnlyFolder.save());  // root writes anyway
  }
  fs::permissions(dir_ / "ro", fs::perms::owner_all);
}

TEST_F(IniFileTest, AnUnreadableFileIsNeverOverwritten) {
  IniFile folderInTheWay(dir_);  // exists, cannot be read as a file
  folderInTheWay.writeInteger("COLOR", "Color_1", 1);
  EXPECT_FALSE(folderInTheWay.save());
  EXPECT_TRUE(fs::is_directory(dir_));
}

}  // namespace
}  // namespace common
