#include "waveform/app/cfg_listing.h"

#include <gtest/gtest.h>

#include "waveform/app/test_support.h"

namespace wave {
namespace {

TEST(ListCfgFiles, TakesRegularCfgFilesInAnyCaseSortedByName) {
  const auto folder = test::NewFolder("listing");
  for (const char* name : {"b.CFG", "a.cfg", "A2.Cfg", "c.dat", "cfg", "d.cfgx", "e.cfg.bak"})
    test::WriteFile(folder / name, "x");
  std::filesystem::create_directory(folder / "folder.cfg");
  std::filesystem::create_symlink(folder / "a.cfg", folder / "link.cfg");
  std::filesystem::create_symlink(folder / "missing", folder / "dangling.cfg");

  EXPECT_EQ(ListCfgFiles(folder), (std::vector<std::string>{"a.cfg", "A2.Cfg", "b.CFG", "link.cfg"}));
}

TEST(ListCfgFiles, MissingOrEmptyFolderGivesNoNames) {
  EXPECT_TRUE(ListCfgFiles(test::NewFolder("empty")).empty());
  EXPECT_TRUE(ListCfgFiles(test::ScratchFolder() / "no such folder").empty());
}

}  // namespace
}  // namespace wave
