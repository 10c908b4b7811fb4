#include "waveform/model/settings.h"

#include <fmt/format.h>

#include <system_error>

#include "common/inifile.h"
#include "common/paths.h"

namespace wave {
namespace {

constexpr const char* kColorSection = "COLOR";
constexpr const char* kFolderSection = "CfgFolder";
constexpr const char* kFolderKey = "Path";

std::string colorKey(int position) { return fmt::format("Color_{}", position + 1); }

bool saveIni(const common::IniFile& ini) {
  std::error_code ec;
  const auto folder = ini.path().parent_path();
  if (!folder.empty()) std::filesystem::create_directories(folder, ec);
  return ini.save();
}

}  // namespace

std::filesystem::path ZavovivIniPath() { return common::SettingsFolder() / "zavoviv.ini"; }

void LoadIniSettings(DisplaySettings& settings, const std::filesystem::path& iniPath) {
  const common::IniFile ini(iniPath);
  for (int i = 0; i < kColorCount; ++i)
    settings.ChannelColors[i] =
        ini.readInteger(kColorSection, colorKey(i), DisplaySettings::DefaultChannelColors[i]);
  settings.CfgFolderPath = ini.readString(kFolderSection, kFolderKey, "");
}

bool SaveChannelColors(const DisplaySettings& settings, const std::filesystem::path& iniPath) {
  common::IniFile ini(iniPath);
  for (int i = 0; i < kColorCount; ++i)
    ini.writeInteger(kColorSection, colorKey(i), settings.ChannelColors[i]);
  return saveIni(ini);
}

bool SaveCfgFolder(const DisplaySettings& settings, const std::filesystem::path& iniPath) {
  common::IniFile ini(iniPath);
  ini.writeString(kFolderSection, kFolderKey, settings.CfgFolderPath);
  return saveIni(ini);
}

}  // namespace wave
