#include "waveform/app/folder_browser.h"

#include <gtest/gtest.h>

#include <QTreeView>

#include <filesystem>

#include "waveform/app/cfg_listing.h"
#include "waveform/app/test_support.h"

namespace wave {
namespace {

namespace fs = std::filesystem;

// 录波 in GBK: no UTF-8, so a file dialog that decodes names as UTF-8 hides it.
constexpr const char* kGbkName = "\xC2\xBC\xB2\xA8";

// A folder holding a GBK-named folder with a record in it, a UTF-8 named one,
// a hidden one and a file.
fs::path recordFolders() {
  const fs::path top = test::NewFolder("gbk folders");
  fs::create_directory(top / kGbkName);
  test::WriteFile(top / kGbkName / "rec.cfg", "");
  fs::create_directory(top / "utf8录波");
  fs::create_directory(top / ".hidden");
  test::WriteFile(top / "notes.txt", "");
  return top;
}

TEST(FolderModel, ListsGbkNamedFoldersDecodedAndOpensThemByTheirBytes) {
  test::Application();
  const fs::path top = recordFolders();
  FolderModel model;
  const QModelIndex folder = model.indexOf(top.string());
  ASSERT_EQ(model.pathOf(folder), top.string());
  ASSERT_EQ(model.rowCount(folder), 2);
  QStringList shown;
  for (int row = 0; row < 2; ++row) shown.append(model.index(row, 0, folder).data().toString());
  EXPECT_EQ(shown, (QStringList{QStringLiteral("utf8录波"), QStringLiteral("录波")}));

  const QModelIndex gbk = model.index(1, 0, folder);
  EXPECT_EQ(model.pathOf(gbk), (top / kGbkName).string());
  EXPECT_EQ(model.parent(gbk), folder);
  EXPECT_EQ(ListCfgFiles(model.pathOf(gbk)), std::vector<std::string>{"rec.cfg"});
  EXPECT_EQ(model.indexOf((top / kGbkName).string()), gbk);
  EXPECT_FALSE(model.hasChildren(gbk) && model.rowCount(gbk) > 0);
  EXPECT_EQ(model.indexOf((top / "gone" / "deeper").string()), folder) << "the deepest folder that exists";
}

TEST(FolderBrowser, StartsAtTheFolderGivenAndGivesTheChosenFoldersBytes) {
  test::Application();
  const fs::path top = recordFolders();
  TFolderBrowser browser(QStringLiteral("请选择录波文件所在文件夹"), (top / kGbkName).string());
  EXPECT_EQ(browser.chosenFolder(), (top / kGbkName).string());
  EXPECT_TRUE(browser.tree()->isExpanded(browser.model()->indexOf(top.string())));
  browser.tree()->setCurrentIndex(browser.model()->indexOf(top.string()));
  EXPECT_EQ(browser.chosenFolder(), top.string());
}

}  // namespace
}  // namespace wave
