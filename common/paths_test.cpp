#include "common/paths.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace common {
namespace {
namespace fs = std::filesystem;

// Sets or clears an environment variable for one test and restores it afterwards.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    value ? setenv(name, value, 1) : unsetenv(name);
  }
  ~ScopedEnv() { old_ ? setenv(name_, old_->c_str(), 1) : unsetenv(name_); }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  const char* name_;
  std::optional<std::string> old_;
};

class PathsTest : public testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "paths_test.XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { fs::remove_all(dir_); }
  fs::path dir_;
};

TEST(Paths, SettingsAndCacheFolderPrecedence) {
  struct Case {
    const char *own, *xdg, *home;
    const char* expected;
  };
  const Case cases[] = {{"/t/own", "/t/xdg", "/t/home", "/t/own"},
                        {"", "/t/xdg", "/t/home", "/t/xdg/quenlor"},
                        {nullptr, "/t/xdg", "/t/home", "/t/xdg/quenlor"},
                        {nullptr, "", "/t/home", "/t/home/.config/quenlor"},
                        {nullptr, "relative", "/t/home", "/t/home/.config/quenlor"},
                        {nullptr, nullptr, "/t/home", "/t/home/.config/quenlor"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expected);
    const ScopedEnv own("QUENLOR_SETTINGS_DIR", c.own), xdg("XDG_CONFIG_HOME", c.xdg), home("HOME", c.home);
    EXPECT_EQ(SettingsFolder(), fs::path(c.expected));
  }
  const ScopedEnv home("HOME", "/t/home");
  {
    const ScopedEnv cache("XDG_CACHE_HOME", "/t/cache");
    EXPECT_EQ(RecordCacheFolder(), fs::path("/t/cache/quenlor/CfgCache"));
  }
  const ScopedEnv cache("XDG_CACHE_HOME", nullptr);
  EXPECT_EQ(RecordCacheFolder(), fs::path("/t/home/.cache/quenlor/CfgCache"));
}

TEST(Paths, ProgramFolderHoldsTheRunningProgram) {
  EXPECT_TRUE(fs::is_regular_file(ProgramFolder() / ProgramName()));
  EXPECT_EQ(ProgramName(), "common_test");
}

TEST_F(PathsTest, WriteFileAtomicReplacesAndSetsTheMode) {
  const fs::path path = dir_ / "contp.dat";
  ASSERT_TRUE(WriteFileAtomic(path, "first"));
  ASSERT_TRUE(WriteFileAtomic(path, std::string("se\0cond", 7), fs::perms::owner_read | fs::perms::owner_write));
  EXPECT_EQ(ReadWholeFile(path), std::string("se\0cond", 7));
  EXPECT_EQ(fs::status(path).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
  ASSERT_TRUE(WriteFileAtomic(path, ""));  // keeps the mode it had
  EXPECT_EQ(fs::status(path).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(ReadWholeFile(path), "");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);  // no temporary left
}

TEST_F(PathsTest, WriteFileAtomicFailsAndKeepsTheOldFile) {
  EXPECT_FALSE(WriteFileAtomic(dir_ / "missing" / "x.ini", "x"));
  fs::create_directory(dir_ / "folder");
  EXPECT_FALSE(WriteFileAtomic(dir_ / "folder", "x"));  // rename over a folder fails
  EXPECT_TRUE(fs::is_directory(dir_ / "folder"));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);
}

TEST_F(PathsTest, WriteFileAtomicThroughALinkReplacesItsTarget) {
  ASSERT_TRUE(WriteFileAtomic(dir_ / "real.ini", "old"));
  fs::create_symlink("real.ini", dir_ / "link.ini");
  ASSERT_TRUE(WriteFileAtomic(dir_ / "link.ini", "new"));
  EXPECT_TRUE(fs::is_symlink(dir_ / "link.ini"));
  EXPECT_EQ(ReadWholeFile(dir_ / "real.ini"), "new");
}

TEST_F(PathsTest, ReadWholeFile) {
  EXPECT_FALSE(ReadWholeFile(dir_ / "none").has_value());
  EXPECT_FALSE(ReadWholeFile(dir_).has_value());
}

TEST_F(PathsTest, FindFileCaseInsensitive) {
  for (const char* name : {"REC.DAT", "Rec.Dat", "other.dat", "exact.dat", "EXACT.DAT"})
    ASSERT_TRUE(WriteFileAtomic(dir_ / name, "x"));
  struct Case {
    const char* wanted;
    const char* expected;  // nullptr: none
  };
  const Case cases[] = {{"rec.dat", "REC.DAT"},  // first in name order
                        {"exact.dat", "exact.dat"},
                        {"Exact.dat", "EXACT.DAT"},
                        {"OTHER.DAT", "other.dat"},
                        {"rec.cfg", nullptr}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.wanted);
    const std::optional<fs::path> found = FindFileCaseInsensitive(dir_ / c.wanted);
    ASSERT_EQ(found.has_value(), c.expected != nullptr);
    if (found) {
      EXPECT_EQ(*found, dir_ / c.expected);
    }
  }
  EXPECT_FALSE(FindFileCaseInsensitive(dir_ / "nofolder" / "rec.dat").has_value());
}

}  // namespace
}  // namespace common
