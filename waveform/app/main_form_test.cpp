#include "waveform/app/main_form.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QStyle>
#include <QTimer>

#include <algorithm>
#include <stdexcept>

#include "common/datetime.h"
#include "common/ipc/silentabort.h"
#include "common/paths.h"
#include "waveform/app/open_dlg.h"
#include "waveform/app/single_instance.h"
#include "waveform/app/test_support.h"

namespace wave {
namespace {

namespace fs = std::filesystem;

constexpr const char* kRecordCfg =
    "Station,Dev01,1999\r\n"
    "2,2A,0D\r\n"
    "1,Ua,A,,kV,0.01,0,0,-32768,32767,110,0.1,S\r\n"
    "2,Ia,A,,A,0.001,0,0,-32768,32767,600,1,S\r\n"
    "50\r\n"
    "1\r\n"
    "1600,64\r\n"
    "01/02/2020,10:11:12.123456\r\n"
    "01/02/2020,10:11:12.223999\r\n"
    "ASCII\r\n"
    "1.0\r\n";

// A folder holding one record, rec.cfg with rec.dat.
fs::path recordFolder() {
  const fs::path folder = test::NewFolder("record");
  test::WriteFile(folder / "rec.cfg", kRecordCfg);
  test::WriteFile(folder / "rec.dat", "1,0,5,7\r\n2,625,6,8\r\n");
  return folder;
}

std::string qPath(const fs::path& path) { return path.string(); }

// Plays the user of TOpenDlg: picks the named file and presses OK.
std::function<int(QDialog&)> choose(const QString& name) {
  return [name](QDialog& dialog) {
    auto& open = dynamic_cast<TOpenDlg&>(dialog);
    const auto items = open.ListView1()->findItems(name, Qt::MatchExactly);
    if (!items.isEmpty()) open.ListView1()->setCurrentItem(items.front());
    open.BitBtnOKClick();
    return open.result();
  };
}

class MainFormTest : public test::WithApplication, public ::testing::Test {
 protected:

  // The form, created on first use so that a test can prepare zavoviv.ini.
  TMainForm& form() {
    if (!form_) {
      settings = DisplaySettings{};
      form_ = std::make_unique<TMainForm>(ui, kit, settings, iniPath);
      form_->WaveTimer()->stop();  // the tests fire the clock themselves
      kit.mainWindow = form_.get();
    }
    return *form_;
  }

  void openWindows(int count) {
    for (int i = 0; i < count; ++i) ASSERT_NE(form().CreateMDIChild(QStringLiteral("w%1").arg(i)), nullptr);
  }

  // Runs the deferred deletion of closed windows.
  static void flushDeletes() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

  std::vector<std::string> messageKeys() const {
    std::vector<std::string> keys;
    for (const auto& shown : ui.messages)
      for (const auto& key : shown.message.textKeys()) keys.push_back(key);
    return keys;
  }

  fs::path iniPath = test::NewFolder("settings") / "zavoviv.ini";
  test::FakeUi ui;
  test::FakeKit kit;
  DisplaySettings settings;
  std::unique_ptr<TMainForm> form_;
};

// The menus as the language file addresses them: one line per entry, in order,
// indented by level; "-" is a separator.
QStringList menuLines(const QList<QAction*>& actions, const QString& indent = {}) {
  QStringList lines;
  for (const QAction* action : actions) {
    if (action->isSeparator()) {
      lines.append(indent + QStringLiteral("-"));
    } else if (const QMenu* menu = action->menu()) {
      lines.append(indent + menu->objectName() + QStringLiteral(" ") + menu->title());
      lines.append(menuLines(menu->actions(), indent + QStringLiteral("  ")));
    } else {
      lines.append(indent + action->objectName() + QStringLiteral(" ") + action->text());
    }
  }
  return lines;
}

TEST_F(MainFormTest, MenusCarryTheirComponentNamesAndCaptions) {
  const char* const expected[] = {
      "File_MItem 文件(&F)",
      "  Select_File 选择波形文件(&F)",
      "    menu_file_cfg 独立的Quenlor文件",
      "  SelectDatabase 选择数据库(&D)",
      "    database_velkora VELKORA3.0数据库",
      "    database_20 DAVEZAZI2.0数据库",
      "  -",
      "  Exit_Item 退出(&X)",
      "F1 编辑(&E)",
      "  database_close 关闭当前数据库链接(&C)",
      "  -",
      "  user_logoff 注销当前用户(&U)",
      "Window_MItem 窗口(&W)",
      "  Window_HTile_Item 水平平铺(&T)",
      "  Window_VTile_Item 垂直平铺(&V)",
      "  Window_Cascade_Item 层叠(&C)",
      "  -",
      "  Window_CloseAll_Item 关闭所有子窗体",
      "Help_MItem 帮助(&H)",
      "  Help_About_Item 关于....(&A)",
  };
  QStringList lines;
  for (const char* line : expected) lines.append(QString::fromUtf8(line));
  EXPECT_EQ(menuLines(form().menuBar()->actions()), lines);
  EXPECT_EQ(form().menuBar()->objectName(), QStringLiteral("FW_MainMenu"));
  EXPECT_EQ(form().windowTitle(), QStringLiteral("瞬时波形分析程序"));
  EXPECT_EQ(form().WaveTimer()->interval(), 1000);
}

TEST_F(MainFormTest, FormCreateResetsTheSessionAndReadsTheSettings) {
  test::WriteFile(iniPath, "[COLOR]\nColor_5=255\n[CfgFolder]\nPath=/records/here\n");
  EXPECT_EQ(form().displaySettings().ChannelColors[4], 255);
  EXPECT_EQ(form().displaySettings().ChannelColors[5], DisplaySettings::DefaultChannelColors[5]);
  EXPECT_EQ(form().displaySettings().CfgFolderPath, "/records/here");
  EXPECT_EQ(form().displaySettings().PrinterWarningPending, 1);
  EXPECT_EQ(form().displaySettings().OptionsAccepted, 0);
  EXPECT_EQ(form().RecordSourceMode, 0);
  EXPECT_EQ(form().CurrentUserID, 0);
}

TEST_F(MainFormTest, FifthWindowThroughCreateMDIChildIsRefused) {
  openWindows(4);
  EXPECT_EQ(form().CreateMDIChild(QStringLiteral("fifth")), nullptr);

  ASSERT_EQ(ui.messages.size(), 1u);
  const common::UserMessage& message = ui.messages[0].message;
  EXPECT_EQ(message.section, "Strings_Main_Form");
  EXPECT_EQ(message.textKeys(), std::vector<std::string>{"str3"});
  EXPECT_EQ(message.text[0].defaultText, "打开波形窗口过多，最多打开4个波形窗口！");
  EXPECT_EQ(message.caption.key, "str4");
  EXPECT_EQ(message.icon, common::MessageIcon::Warning);
  EXPECT_EQ(form().RecordWindows().size(), 4);
  EXPECT_EQ(kit.log.size(), 4u);
}

TEST_F(MainFormTest, AClosedWindowMakesRoomForANewOne) {
  openWindows(4);
  form().RecordWindows().front()->parentWidget()->close();
  EXPECT_EQ(form().openWindowCount(), 3);  // before the closed window is deleted
  EXPECT_NE(form().CreateMDIChild(QStringLiteral("again")), nullptr);
  flushDeletes();
  EXPECT_EQ(form().openWindowCount(), 4);
  EXPECT_TRUE(ui.messages.empty());
}

TEST_F(MainFormTest, RefusedRecordOpensNoWindow) {
  kit.refuseRecords = true;
  EXPECT_EQ(form().CreateMDIChild(QStringLiteral("bad")), nullptr);
  EXPECT_EQ(form().openWindowCount(), 0);
}

TEST_F(MainFormTest, OpensTheChosenRecordFromTheFolder) {
  const fs::path folder = recordFolder();
  ui.folderAnswer = qPath(folder);
  ui.onExec = choose(QStringLiteral("rec.cfg"));
  form().TempFilesFlag = 1;  // left from a database opening; the folder entry clears it

  form().menu_file_cfgClick();

  EXPECT_TRUE(ui.messages.empty());
  EXPECT_TRUE(ui.errors.empty());
  EXPECT_EQ(kit.optionsShown, 1);
  EXPECT_EQ(kit.optionsRecord, (folder / "rec.cfg").string());
  EXPECT_EQ(kit.log, std::vector<std::string>{"create rec.cfg new=1"});
  ASSERT_EQ(form().RecordWindows().size(), 1);
  EXPECT_EQ(form().RecordWindows().front()->windowTitle(), QStringLiteral("rec.cfg"));
  EXPECT_EQ(form().CfgInfo.CfgPath, (folder / "rec.cfg").string());
  EXPECT_EQ(form().CfgInfo.A, 2);
  EXPECT_EQ(form().displaySettings().CfgFolderPath, folder.string());
  EXPECT_EQ(form().TempFilesFlag, 0);
}

TEST_F(MainFormTest, FifthWindowThroughTheFolderIsRefusedBeforeTheOptionsDialog) {
  openWindows(4);
  const fs::path folder = recordFolder();
  ui.folderAnswer = qPath(folder);
  ui.onExec = choose(QStringLiteral("rec.cfg"));

  form().menu_file_cfgClick();

  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].message.textKeys(), std::vector<std::string>{"str26"});
  EXPECT_EQ(ui.messages[0].message.caption.key, "str27");
  EXPECT_EQ(kit.optionsShown, 0);
  EXPECT_EQ(form().openWindowCount(), 4);
  EXPECT_TRUE(fs::exists(folder / "rec.cfg"));  // files from a folder are never deleted
  EXPECT_TRUE(fs::exists(folder / "rec.dat"));
}

TEST_F(MainFormTest, CancelledOptionsDialogOpensNothing) {
  ui.folderAnswer = qPath(recordFolder());
  ui.onExec = choose(QStringLiteral("rec.cfg"));
  kit.optionsAnswer = {false, false};

  form().menu_file_cfgClick();

  EXPECT_EQ(kit.optionsShown, 1);
  EXPECT_TRUE(kit.log.empty());
  EXPECT_EQ(form().displaySettings().NewRecordOpened, 0);
}

TEST_F(MainFormTest, CancelledChoiceOpensNothing) {
  ui.folderAnswer = qPath(recordFolder());
  ui.onExec = [](QDialog& dialog) {
    auto& open = dynamic_cast<TOpenDlg&>(dialog);
    open.ListView1()->setCurrentRow(0);
    open.ListView1Click();
    open.reject();
    return open.result();
  };
  form().menu_file_cfgClick();
  EXPECT_EQ(kit.optionsShown, 0);
  EXPECT_TRUE(ui.messages.empty());
}

TEST_F(MainFormTest, TheChooserListsTheFolderSortedByName) {
  const fs::path folder = test::NewFolder("several");
  for (const char* name : {"b.cfg", "A.CFG", "c.txt"}) test::WriteFile(folder / name, "");
  QStringList listed;
  ui.onExec = [&listed](QDialog& dialog) {
    const QListWidget* list = dynamic_cast<TOpenDlg&>(dialog).ListView1();
    for (int i = 0; i < list->count(); ++i) listed.append(list->item(i)->text());
    return int(QDialog::Rejected);
  };
  EXPECT_EQ(form().SelectCfgInFolder(folder.string()), "");
  EXPECT_EQ(listed, (QStringList{QStringLiteral("A.CFG"), QStringLiteral("b.cfg")}));
}

TEST_F(MainFormTest, FolderWithoutRecordsIsReported) {
  ui.folderAnswer = qPath(test::NewFolder("no records"));
  bool dialogShown = false;
  ui.onExec = [&dialogShown](QDialog&) {
    dialogShown = true;
    return int(QDialog::Rejected);
  };
  form().menu_file_cfgClick();

  EXPECT_FALSE(dialogShown);
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].message.textKeys(), std::vector<std::string>{"str43"});
  EXPECT_EQ(ui.messages[0].message.caption.key, "str44");
  EXPECT_EQ(ui.messages[0].message.icon, common::MessageIcon::Information);
}

// Names as a record folder copied from a Windows machine holds them: GBK bytes,
// which are no UTF-8. The two differ only in their second character.
TEST_F(MainFormTest, GbkNamedRecordsAreShownAndOpenedByTheirOwnNames) {
  struct Case {
    const char* bytes;
    const char* shown;
  };
  const Case cases[] = {{"\xB5\xE7\xC0\xC2.cfg", "电缆.cfg"}, {"\xB5\xE7\xC1\xF7.cfg", "电流.cfg"}};
  const fs::path folder = test::NewFolder("gbk names");
  for (const Case& c : cases) {
    test::WriteFile(folder / c.bytes, kRecordCfg);
    test::WriteFile(folder / (std::string(c.bytes).substr(0, 5) + "dat"), "1,0,5,7\r\n2,625,6,8\r\n");
  }
  ui.folderAnswer = qPath(folder);
  for (int row = 0; row < 2; ++row) {
    const Case& c = cases[row];
    kit.log.clear();
    QString listed;
    ui.onExec = [row, &listed](QDialog& dialog) {
      auto& open = dynamic_cast<TOpenDlg&>(dialog);
      open.ListView1()->setCurrentRow(row);
      listed = open.ListView1()->currentItem()->text();
      open.BitBtnOKClick();
      return open.result();
    };
    form().menu_file_cfgClick();
    EXPECT_EQ(listed, QString::fromUtf8(c.shown)) << c.shown;
    EXPECT_EQ(form().CfgInfo.CfgPath, (folder / c.bytes).string()) << c.shown;
    EXPECT_EQ(kit.log, std::vector<std::string>{std::string("create ") + c.shown + " new=1"}) << c.shown;
  }
  EXPECT_TRUE(ui.messages.empty());
}

// A folder whose name is GBK bytes (录波, copied from a Windows disk), as the
// folder browser gives it: its records are listed and open, and the message
// of a missing data file shows the folder's name as text.
TEST_F(MainFormTest, RecordsOfAGbkNamedFolderOpen) {
  const fs::path folder = test::NewFolder("gbk folder") / "\xC2\xBC\xB2\xA8";
  fs::create_directory(folder);
  test::WriteFile(folder / "rec.cfg", kRecordCfg);
  test::WriteFile(folder / "rec.dat", "1,0,5,7\r\n2,625,6,8\r\n");
  test::WriteFile(folder / "lonely.cfg", kRecordCfg);
  ui.folderAnswer = folder.string();
  ui.onExec = choose(QStringLiteral("rec.cfg"));
  form().menu_file_cfgClick();
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_EQ(form().CfgInfo.CfgPath, (folder / "rec.cfg").string());
  EXPECT_EQ(form().displaySettings().CfgFolderPath, folder.string());
  EXPECT_EQ(kit.log, std::vector<std::string>{"create rec.cfg new=1"});

  ui.onExec = choose(QStringLiteral("lonely.cfg"));
  form().menu_file_cfgClick();
  ASSERT_EQ(ui.messages.size(), 1u);
  const std::string shown = common::ResolveText(ui.messages[0].message, common::BuiltInText);
  EXPECT_NE(shown.find("/录波/lonely.dat"), std::string::npos) << shown;
}

// "电流.cfg" twice: once in UTF-8, once in GBK (as copied from a Windows
// machine). Both are listed alike, and each row opens its own file.
TEST_F(MainFormTest, NamesThatShowAlikeOpenTheFileOfTheirRow) {
  const std::string names[] = {"\xE7\x94\xB5\xE6\xB5\x81.cfg", "\xB5\xE7\xC1\xF7.cfg"};
  const fs::path folder = test::NewFolder("alike names");
  for (const std::string& name : names) {
    test::WriteFile(folder / name, kRecordCfg);
    test::WriteFile(folder / (name.substr(0, name.size() - 3) + "dat"), "1,0,5,7\r\n2,625,6,8\r\n");
  }
  ui.folderAnswer = qPath(folder);
  std::vector<std::string> opened;
  for (int row = 0; row < 2; ++row) {
    QString listed;
    ui.onExec = [row, &listed](QDialog& dialog) {
      auto& open = dynamic_cast<TOpenDlg&>(dialog);
      EXPECT_EQ(open.ListView1()->count(), 2);
      open.ListView1()->setCurrentRow(row);
      listed = open.ListView1()->currentItem()->text();
      open.BitBtnOKClick();
      return open.result();
    };
    form().CfgInfo.CfgPath.clear();
    form().menu_file_cfgClick();
    EXPECT_EQ(listed, QStringLiteral("电流.cfg")) << row;
    opened.push_back(form().CfgInfo.CfgPath);
  }
  std::sort(opened.begin(), opened.end());
  std::vector<std::string> expected = {(folder / names[0]).string(), (folder / names[1]).string()};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(opened, expected);
}

TEST_F(MainFormTest, BadRecordShowsTheReadersMessage) {
  const fs::path folder = test::NewFolder("bad record");
  test::WriteFile(folder / "lonely.cfg", kRecordCfg);  // no .dat beside it
  ui.folderAnswer = qPath(folder);
  ui.onExec = choose(QStringLiteral("lonely.cfg"));
  form().menu_file_cfgClick();
  EXPECT_EQ(messageKeys().front(), "str5");
  EXPECT_EQ(kit.optionsShown, 0);
}

TEST_F(MainFormTest, FolderBrowserStartsAtTheFolderOfThePreviousRun) {
  test::WriteFile(iniPath, "[CfgFolder]\nPath=/records/of/yesterday\n");
  form().menu_file_cfgClick();  // cancelled: nothing else happens
  ASSERT_EQ(ui.browses.size(), 1u);
  EXPECT_EQ(ui.browses[0].startFolder, "/records/of/yesterday");
  EXPECT_EQ(ui.browses[0].title, QStringLiteral("请选择录波文件所在文件夹"));
  EXPECT_TRUE(ui.messages.empty());

  // The next folder chosen is where the next run starts.
  const fs::path chosen = test::NewFolder("today");
  ui.folderAnswer = qPath(chosen);
  form().menu_file_cfgClick();
  form_.reset();
  form().menu_file_cfgClick();
  ASSERT_EQ(ui.browses.size(), 3u);
  EXPECT_EQ(ui.browses[2].startFolder, qPath(chosen));
}

TEST_F(MainFormTest, ClockGoesOnlyIntoWindowZeroWhileOneIsOpen) {
  ui.clock = *common::EncodeDateTime({2019, 5, 5, 7, 8, 9, 600});
  form().WaveTimerTimer();
  EXPECT_EQ(kit.clockCalls, 0);

  openWindows(2);
  auto* first = static_cast<test::FakeRecordWindow*>(form().RecordWindows().back());
  auto* second = static_cast<test::FakeRecordWindow*>(form().RecordWindows().front());
  ASSERT_EQ(second->windowTitle(), QStringLiteral("w1"));  // the newest is window 0
  form().WaveTimerTimer();
  EXPECT_EQ(second->clockTexts, QStringList{QStringLiteral("2019/05/05 07:08:09")});
  EXPECT_TRUE(first->clockTexts.isEmpty());

  form().MdiArea()->setActiveSubWindow(qobject_cast<QMdiSubWindow*>(first->parentWidget()));
  ASSERT_EQ(form().RecordWindows().front(), first);
  form().WaveTimerTimer();
  EXPECT_EQ(first->clockTexts.size(), 1);
  EXPECT_EQ(second->clockTexts.size(), 1);

  form().Window_CloseAll_ItemClick();
  const int calls = kit.clockCalls;
  form().WaveTimerTimer();
  flushDeletes();
  form().WaveTimerTimer();
  EXPECT_EQ(kit.clockCalls, calls);
}

TEST_F(MainFormTest, CancellingTheExitQuestionKeepsEverythingOpen) {
  form().show();
  openWindows(2);
  ui.answers = {MessageAnswer::Cancel};

  EXPECT_FALSE(form().close());

  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].message.textKeys(), std::vector<std::string>{"str0"});
  EXPECT_EQ(ui.messages[0].message.text[0].defaultText, "要退出瞬时波形分析程序吗？");
  EXPECT_EQ(ui.messages[0].message.caption.key, "str1");
  EXPECT_EQ(ui.messages[0].buttons, MessageButtons::OkCancel);
  EXPECT_TRUE(form().isVisible());
  EXPECT_EQ(form().openWindowCount(), 2);
}

TEST_F(MainFormTest, ConfirmingTheExitClosesTheRecordWindowsFirst) {
  form().show();
  openWindows(2);
  kit.log.clear();

  form().Exit_ItemClick();

  EXPECT_FALSE(form().isVisible());
  EXPECT_EQ(form().openWindowCount(), 0);
  EXPECT_EQ(kit.log, (std::vector<std::string>{"closed w1 main open", "closed w0 main open"}));
}

TEST_F(MainFormTest, ExitEventOnlyForAUserOfTheAutomationDatabases) {
  struct Case {
    std::int32_t mode;
    std::int32_t user;
    bool written;
  };
  for (const Case c : {Case{21, 7, true}, Case{21, 0, false}, Case{12, 7, false}, Case{0, 7, false}}) {
    form_.reset();
    std::vector<std::string> events;
    form().setExitEventWriter([&events](std::int32_t user, const std::string& text) {
      events.push_back(std::to_string(user) + " " + text);
    });
    form().RecordSourceMode = c.mode;
    form().CurrentUserID = c.user;
    form().show();
    form().close();
    EXPECT_EQ(events, c.written ? std::vector<std::string>{"7 用户退出运行QUENLOR"} : std::vector<std::string>{})
        << c.mode << " " << c.user;
  }
}

TEST_F(MainFormTest, AboutBoxShowsTheBuildVersion) {
  form().Help_About_ItemClick();
  ASSERT_EQ(ui.messages.size(), 1u);
  const common::UserMessage& about = ui.messages[0].message;
  EXPECT_EQ(about.textKeys(), (std::vector<std::string>{"str40", "str41", "str42"}));
  EXPECT_EQ(about.caption.defaultText, "About...");
  EXPECT_EQ(about.icon, common::MessageIcon::Information);
  const std::string text = common::ResolveText(about, common::BuiltInText);
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2) << text;
  EXPECT_TRUE(text.starts_with("瞬时波形分析程序 \n")) << text;
  EXPECT_TRUE(text.ends_with(std::string("\n版本: (") + QUENLOR_TEST_VERSION + ")")) << text;
  EXPECT_EQ(TMainForm::GetFileVersionText(), std::string("(") + QUENLOR_TEST_VERSION + ")");
  EXPECT_EQ(form().ExePath, (common::ProgramFolder() / common::ProgramName()).string());
}

// Geometry of the open, not minimised record windows, in index order.
QList<QRect> windowRects(const TMainForm& form) {
  QList<QRect> rects;
  for (QWidget* window : form.RecordWindows())
    if (!window->parentWidget()->isMinimized()) rects.append(window->parentWidget()->geometry());
  return rects;
}

// Restored from maximised, the main window is smaller than the free area and
// centred in it, so its title bar and frame stay on the screen.
TEST_F(MainFormTest, RestoredMainWindowKeepsItsFrameOnTheScreen) {
  form().show();
  EXPECT_TRUE(form().isMaximized());
  const QRect freeArea = form().screen()->availableGeometry();
  form().showNormal();
  QCoreApplication::processEvents();
  const QRect restored = form().geometry();
  const int titleBar = form().style()->pixelMetric(QStyle::PM_TitleBarHeight);
  EXPECT_TRUE(freeArea.contains(restored.adjusted(-titleBar, -titleBar, titleBar, titleBar)))
      << restored.x() << "," << restored.y() << " " << restored.width() << "x" << restored.height();
  EXPECT_LE((restored.center() - freeArea.center()).manhattanLength(), 2);
  EXPECT_TRUE(freeArea.contains(form().frameGeometry()));
}

TEST_F(MainFormTest, TilingSplitsTheAreaInOneDirection) {
  form().resize(800, 600);
  form().show();
  openWindows(3);
  const QRect area = form().MdiArea()->viewport()->rect();

  form().Window_HTile_ItemClick();
  QList<QRect> rects = windowRects(form());
  ASSERT_EQ(rects.size(), 3);
  for (const QRect& r : rects) EXPECT_EQ(r.width(), area.width());
  EXPECT_EQ(rects[0].top(), area.top());
  EXPECT_EQ(rects[2].bottom(), area.bottom());

  form().Window_VTile_ItemClick();
  rects = windowRects(form());
  for (const QRect& r : rects) EXPECT_EQ(r.height(), area.height());
  EXPECT_EQ(rects[0].left(), area.left());
  EXPECT_EQ(rects[1].left(), rects[0].right() + 1);
  EXPECT_EQ(rects[2].right(), area.right());
}

TEST_F(MainFormTest, TilingLeavesMinimisedWindowsAlone) {
  form().resize(800, 600);
  form().show();
  openWindows(3);
  QMdiSubWindow* minimised = qobject_cast<QMdiSubWindow*>(form().RecordWindows().back()->parentWidget());
  minimised->showMinimized();
  const QRect icon = minimised->geometry();

  form().Window_HTile_ItemClick();

  EXPECT_EQ(minimised->geometry(), icon);
  const QList<QRect> rects = windowRects(form());
  ASSERT_EQ(rects.size(), 2);
  EXPECT_LT(rects[1].bottom(), icon.top());
  EXPECT_FALSE(rects[0].intersects(rects[1]));
}

TEST_F(MainFormTest, CloseAllClosesEveryRecordWindow) {
  openWindows(3);
  kit.log.clear();
  form().Window_CloseAll_ItemClick();
  EXPECT_EQ(form().openWindowCount(), 0);
  EXPECT_EQ(kit.log.size(), 3u);
}

TEST_F(MainFormTest, SecondStartBringsTheRunningWindowBack) {
  const QString folder = QString::fromStdString(test::NewFolder("instance").string());
  SingleInstance running(folder);
  ASSERT_EQ(running.start(), SingleInstance::Role::Primary);
  QObject::connect(&running, &SingleInstance::activateRequested, &form(), &TMainForm::WMActivateInstance);
  form().showMinimized();
  ASSERT_TRUE(form().isMinimized());

  SingleInstance second(folder);
  EXPECT_EQ(second.start(), SingleInstance::Role::Secondary);
  EXPECT_TRUE(test::ProcessEventsUntil([this] { return !form().isMinimized(); }));
  EXPECT_TRUE(form().isVisible());
}

TEST_F(MainFormTest, HandlerErrorsGoToTheErrorBox) {
  const fs::path folder = test::NewFolder("unreadable");
  test::WriteFile(folder / "x.cfg", std::string(kRecordCfg).replace(std::string(kRecordCfg).find("1600"), 4, "x"));
  test::WriteFile(folder / "x.dat", "");
  ui.folderAnswer = qPath(folder);
  ui.onExec = choose(QStringLiteral("x.cfg"));
  form().findChild<QAction*>(QStringLiteral("menu_file_cfg"))->trigger();
  EXPECT_EQ(ui.errors.size(), 1u);
  EXPECT_EQ(kit.optionsShown, 0);
}

// What an event handler lets escape: the general error box shows it, except
// the silent abort, which ends the handler without a word.
TEST(Guarded, ShowsEscapedErrorsButNotTheSilentAbort) {
  struct Case {
    const char* name;
    std::function<void()> handler;
    std::vector<QString> shown;
  };
  const Case cases[] = {
      {"returns", [] {}, {}},
      {"error", [] { throw std::runtime_error("disk full"); }, {QStringLiteral("disk full")}},
      {"silent abort", [] { throw common::SilentAbort(); }, {}},
      {"not an exception", [] { throw 7; }, {QStringLiteral("Unknown error")}},
  };
  for (const Case& c : cases) {
    test::FakeUi ui;
    Guarded(ui, nullptr, c.handler);
    EXPECT_EQ(ui.errors, c.shown) << c.name;
  }
}

// The exit question itself fails: the error box tells, the program stays.
TEST(MainFormClose, AnErrorWhileClosingKeepsTheWindowOpen) {
  class FailingUi : public test::FakeUi {
   public:
    MessageAnswer showMessage(QWidget*, const common::UserMessage&, MessageButtons) override {
      throw std::runtime_error("no message box");
    }
  };
  test::Application();
  FailingUi ui;
  test::FakeKit kit;
  DisplaySettings settings;
  TMainForm form(ui, kit, settings, test::NewFolder("settings") / "zavoviv.ini");
  form.show();
  bool closed = true;
  EXPECT_NO_THROW(closed = form.close());
  EXPECT_FALSE(closed);
  EXPECT_TRUE(form.isVisible());
  EXPECT_EQ(ui.errors, std::vector<QString>{QStringLiteral("no message box")});
}

}  // namespace
}  // namespace wave
