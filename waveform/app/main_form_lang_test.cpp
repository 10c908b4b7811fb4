// The main window and the chooser as the language file addresses them: form
// sections by the forms' class names, components by their names, and
// messages by unit section and key. A program of its own, because the
// language file is read once per run.

#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>
#include <QPushButton>

#include "common/lang/engine.h"
#include "waveform/app/main_form.h"
#include "waveform/app/open_dlg.h"
#include "waveform/app/test_support.h"

namespace wave {
namespace {

TEST(MainFormLanguage, FormsAndMessagesComeFromTheLanguageFile) {
  test::Application();
  const auto file = test::NewFolder("Language") / "quenlor.lang";
  test::WriteFile(file,
                  "[TMainForm]\r\n"
                  "self.Caption=Waveforms\r\n"
                  "File_MItem.Caption=File\r\n"
                  "menu_file_cfg.Caption=Records in a folder\r\n"
                  "[TOpenDlg]\r\n"
                  "BitBtnOK.Caption=Open\r\n"
                  "[Strings_Main_Form]\r\n"
                  "str45=Pick a folder\r\n");
  lang::LangEngine().loadLanguageFileFrom(file);

  test::FakeUi ui;
  test::FakeKit kit;
  DisplaySettings settings;
  TMainForm form(ui, kit, settings, test::NewFolder("settings") / "zavoviv.ini");
  form.show();
  EXPECT_EQ(form.windowTitle(), QStringLiteral("Waveforms"));
  EXPECT_EQ(form.findChild<QMenu*>(QStringLiteral("File_MItem"))->title(), QStringLiteral("File"));
  EXPECT_EQ(form.findChild<QAction*>(QStringLiteral("menu_file_cfg"))->text(), QStringLiteral("Records in a folder"));

  form.menu_file_cfgClick();
  ASSERT_EQ(ui.browses.size(), 1u);
  EXPECT_EQ(ui.browses[0].title, QStringLiteral("Pick a folder"));

  TOpenDlg dialog(ui, &form);
  dialog.show();
  EXPECT_EQ(dialog.BitBtnOK()->text(), QStringLiteral("Open"));
  EXPECT_EQ(dialog.windowTitle(), QStringLiteral("选择波形文件"));  // not in the file: as built
}

}  // namespace
}  // namespace wave
