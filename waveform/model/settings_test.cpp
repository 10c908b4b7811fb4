#include "waveform/model/settings.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace wave {
namespace {

namespace fs = std::filesystem;

class IniSettingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "wave_settings_XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    ini_ = dir_ / "zavoviv.ini";
  }
  void TearDown() override { fs::remove_all(dir_); }

  void write(const std::string& text) { std::ofstream(ini_, std::ios::binary) << text; }
  std::string read() const {
    std::ifstream in(ini_, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }

  fs::path dir_;
  fs::path ini_;
};

TEST_F(IniSettingsTest, DefaultsOfANewObject) {
  const DisplaySettings s;
  EXPECT_EQ(s.ChannelColors, DisplaySettings::DefaultChannelColors);
  EXPECT_EQ(s.ChannelColors[4], 0x008000);
  EXPECT_EQ(s.ChannelColors[kGridColor], 0x808080);
  EXPECT_EQ(s.ChannelColors[kBackgroundColor], 0xE9FFBE);
  EXPECT_EQ(s.ChannelColors[kDigitalTraceColor], 0xFF0000);
  EXPECT_EQ(s.ChannelColors[kDigitalNameColor], 0x808000);
  EXPECT_EQ(s.ChannelColors[10], s.ChannelColors[0]);  // 11 to 20 repeat 1 to 10
  EXPECT_EQ(s.ShowPointsAndLines, 1);
  EXPECT_EQ(s.ShowGridX, 1);
  EXPECT_EQ(s.ShowGridY, 1);
  EXPECT_EQ(s.ChannelGroupCount, 0);
  EXPECT_EQ(s.DigitalSelection.Count, 0);
}

TEST_F(IniSettingsTest, MissingKeyAndNonNumberGiveTheDefault) {
  std::string text = "[COLOR]\n";
  for (int n = 1; n <= kColorCount; ++n) {
    if (n == 5) continue;
    if (n == 7)
      text += "Color_7=red\n";
    else if (n == 9)
      text += "color_9 = $FF\n";  // keys compare case-insensitively; hexadecimal is a number
    else
      text += "Color_" + std::to_string(n) + "=" + std::to_string(1000 + n) + "\n";
  }
  text += "[CfgFolder]\nPath=/data/records/变电站\n";
  write(text);

  DisplaySettings s;
  s.ChannelColors.fill(0);
  LoadIniSettings(s, ini_);
  EXPECT_EQ(s.ChannelColors[4], 0x008000);  // colour 5 missing
  EXPECT_EQ(s.ChannelColors[6], DisplaySettings::DefaultChannelColors[6]);
  EXPECT_EQ(s.ChannelColors[8], 0xFF);
  EXPECT_EQ(s.ChannelColors[0], 1001);
  EXPECT_EQ(s.ChannelColors[23], 1024);
  EXPECT_EQ(s.CfgFolderPath, "/data/records/变电站");
}

TEST_F(IniSettingsTest, MissingFileGivesDefaults) {
  DisplaySettings s;
  s.ChannelColors.fill(7);
  s.CfgFolderPath = "old";
  LoadIniSettings(s, dir_ / "absent.ini");
  EXPECT_EQ(s.ChannelColors, DisplaySettings::DefaultChannelColors);
  EXPECT_EQ(s.CfgFolderPath, "");
}

TEST_F(IniSettingsTest, SavingKeepsOtherLinesAndRoundTrips) {
  write("; kept comment\n[Other]\nKey=Value\n[COLOR]\nColor_1=5\nExtra=1\n");
  DisplaySettings s;
  s.ChannelColors[0] = 0x123456;
  s.ChannelColors[23] = 0x0000FF;
  s.CfgFolderPath = "/home/u/录波";
  ASSERT_TRUE(SaveChannelColors(s, ini_));
  ASSERT_TRUE(SaveCfgFolder(s, ini_));

  const std::string text = read();
  EXPECT_NE(text.find("; kept comment"), std::string::npos);
  EXPECT_NE(text.find("[Other]"), std::string::npos);
  EXPECT_NE(text.find("Key=Value"), std::string::npos);
  EXPECT_NE(text.find("Extra=1"), std::string::npos);
  EXPECT_NE(text.find("Color_1=" + std::to_string(0x123456)), std::string::npos);  // decimal
  EXPECT_EQ(text.find("Color_1=5\n"), std::string::npos);

  DisplaySettings back;
  LoadIniSettings(back, ini_);
  EXPECT_EQ(back.ChannelColors, s.ChannelColors);
  EXPECT_EQ(back.CfgFolderPath, s.CfgFolderPath);
}

TEST_F(IniSettingsTest, SavingCreatesTheSettingsFolder) {
  const fs::path nested = dir_ / "a" / "b" / "zavoviv.ini";
  DisplaySettings s;
  s.CfgFolderPath = "/x";
  EXPECT_TRUE(SaveCfgFolder(s, nested));
  DisplaySettings back;
  LoadIniSettings(back, nested);
  EXPECT_EQ(back.CfgFolderPath, "/x");
}

TEST_F(IniSettingsTest, UnwritableFileFailsQuietly) {
  const fs::path blocker = dir_ / "file";
  std::ofstream(blocker) << "x";
  const DisplaySettings s;
  EXPECT_FALSE(SaveChannelColors(s, blocker / "zavoviv.ini"));  // parent is a file
}

TEST_F(IniSettingsTest, IniPathFollowsTheSettingsFolder) {
  ASSERT_EQ(setenv("QUENLOR_SETTINGS_DIR", dir_.c_str(), 1), 0);
  EXPECT_EQ(ZavovivIniPath(), dir_ / "zavoviv.ini");
  unsetenv("QUENLOR_SETTINGS_DIR");
}

}  // namespace
}  // namespace wave
