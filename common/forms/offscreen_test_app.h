#pragma once
// For the offscreen form tests: a temporary folder for the test program, and
// the folder variables that the program and Qt read pointed into it, so that
// no test reads or writes the user's own settings, caches or home.

#include <stdlib.h>

#include <QApplication>

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <system_error>

namespace forms::qttest {

// A fresh folder below the system's temporary folder, named prefix and a
// unique tail; removed with its contents when the object goes.
class TempFolder {
 public:
  explicit TempFolder(const std::string& prefix) {
    std::string pattern = (std::filesystem::temp_directory_path() / (prefix + "_XXXXXX")).string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp");
    path_ = pattern;
  }
  ~TempFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// Points the settings folder, the XDG folders and the home folder each at a
// folder of its own below root.
inline void PointFoldersAt(const std::filesystem::path& root) {
  for (const char* variable : {"QUENLOR_SETTINGS_DIR", "XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_DATA_HOME",
                               "XDG_RUNTIME_DIR", "HOME"}) {
    const std::filesystem::path folder = root / variable;
    std::filesystem::create_directories(folder);
    std::filesystem::permissions(folder, std::filesystem::perms::owner_all);
    setenv(variable, folder.c_str(), 1);
  }
}

// Gives the offscreen platform one screen of width x height pixels at 96 dpi,
// for the layout tests: call before the application is made.
inline void UseOffscreenScreen(const std::filesystem::path& root, int width, int height) {
  const std::filesystem::path config = root / "offscreen_screen.json";
  std::filesystem::create_directories(root);
  std::ofstream(config) << "{\"screens\": [{\"name\": \"layout\", \"x\": 0, \"y\": 0, \"width\": " << width
                        << ", \"height\": " << height << ", \"logicalDpi\": 96, \"logicalBaseDpi\": 96, \"dpr\": 1}]}";
  setenv("QT_QPA_PLATFORM", ("offscreen:configfile=" + config.string()).c_str(), 1);
}

// Creates the application once, named programName, after pointing the folders
// below root. It lives as long as the test program.
inline void EnsureOffscreenApp(const std::filesystem::path& root, const char* programName) {
  if (QApplication::instance() != nullptr) return;
  PointFoldersAt(root);
  static int argc = 1;
  static std::string name = programName;
  static char* argv[] = {name.data(), nullptr};
  new QApplication(argc, argv);
}

}  // namespace forms::qttest
