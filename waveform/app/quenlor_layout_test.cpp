// Every form of the program on a 1366 x 768 screen: no text cut short, no
// control outside its window. Forms with a fixed size are checked at that size.

#include <gtest/gtest.h>

#include <QApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QScreen>
#include <QTimer>
#include <QToolBar>

#include <filesystem>
#include <functional>

#include "common/forms/layout_check.h"
#include "common/forms/offscreen_test_app.h"
#include "stationdb/ui/dbconfigdlg.h"
#include "stationdb/ui/getpass.h"
#include "tools/recordgen/record_writer.h"
#include "waveform/app/app_start_dlg.h"
#include "waveform/app/main_form.h"
#include "waveform/app/open_dlg.h"
#include "waveform/app/test_support.h"
#include "waveform/print/page_set_form.h"
#include "waveform/print/print_preview_form.h"
#include "waveform/print/print_services.h"
#include "waveform/ui/fault_wave_form.h"
#include "waveform/ui/options_dlg.h"

namespace wave {
namespace {

constexpr int kScreenWidth = 1366;
constexpr int kScreenHeight = 768;

// Shows nothing: no test waits on a box.
class SilentServices : public PrintFormServices {
 public:
  void showMessage(QWidget*, const common::UserMessage&, const std::vector<std::string>& = {}) override {}
  void showError(QWidget*, const QString&) override {}
  int execDialog(QDialog&) override { return QDialog::Rejected; }
  bool setupPrinter(QWidget*, QPrinter&) override { return false; }
  std::optional<QString> pdfFileName(QWidget*) override { return std::nullopt; }
};

// The main window's part for a record window and the options dialog.
class Host : public RecordOpener {
 public:
  explicit Host(DisplaySettings& settings) : settings_(settings) {}
  int openWindowCount() const override { return 0; }
  bool tempFilesFlag() const override { return false; }
  DisplaySettings& displaySettings() override { return settings_; }
  void setRecord(const TcfgInfo&) override {}
  OptionsDialogResult showOptionsDialog() override { return {}; }
  void createRecordWindow(const std::string&, RecordFiles) override {}

 private:
  DisplaySettings& settings_;
};

class QuenlorLayoutTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    static forms::qttest::TempFolder root("quenlor_layout");
    forms::qttest::UseOffscreenScreen(root.path(), kScreenWidth, kScreenHeight);
    test::Application();
  }

  static void expectWhole(QWidget& window) {
    window.show();
    const QStringList faults = forms::LayoutFaultsOfEveryPage(window);
    EXPECT_TRUE(faults.isEmpty()) << window.objectName().toStdString() << ":\n"
                                  << faults.join(QLatin1Char('\n')).toStdString();
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_TRUE(screen.contains(window.frameGeometry()))
        << window.objectName().toStdString() << " is larger than the screen";
  }

  // A record of twelve analogue and sixteen digital channels, as the samples have.
  TcfgInfo record(const std::string& name) {
    recordgen::RecordSpec spec;
    spec.analog = 12;
    spec.digital = 16;
    const auto files = recordgen::WriteRecord(spec, test::NewFolder(name), name);
    return recordgen::MakeCfgInfo(spec, files.cfg.string());
  }

  SilentServices services;
  DisplaySettings settings;
};

TEST_F(QuenlorLayoutTest, MainWindow) {
  test::FakeUi ui;
  test::FakeKit kit;
  TMainForm form(ui, kit, settings, test::NewFolder("main") / "zavoviv.ini");
  form.WaveTimer()->stop();
  expectWhole(form);
  EXPECT_GE(form.width(), kScreenWidth / 2);  // never the window system's smallest default
}

TEST_F(QuenlorLayoutTest, RecordChooserShowsWholeNames) {
  test::FakeUi ui;
  TOpenDlg dialog(ui);
  for (const char* name : {"one_cycle_harmonics.cfg", "4.CFG", "ascii_two_rate.cfg", "bay_fault_5k.cfg"})
    dialog.AddFileName(QString::fromLatin1(name), name);
  expectWhole(dialog);
  EXPECT_EQ(dialog.size(), QSize(222, 253));
}

TEST_F(QuenlorLayoutTest, WaitWindow) {
  TAppStartDlg dialog;
  expectWhole(dialog);
}

TEST_F(QuenlorLayoutTest, OptionsDialogOnBothPages) {
  QWidget mainWindow;
  mainWindow.setGeometry(QGuiApplication::primaryScreen()->availableGeometry());
  mainWindow.show();
  TOptionsDlg dialog(settings, services, &mainWindow, test::NewFolder("options") / "zavoviv.ini");
  dialog.setRecord(record("options"));
  expectWhole(dialog);
  EXPECT_NE(dialog.minimumSize(), dialog.maximumSize()) << "resizable";
  EXPECT_LE((dialog.frameGeometry().center() - mainWindow.frameGeometry().center()).manhattanLength(), 4)
      << "centred on the main window";
}

TEST_F(QuenlorLayoutTest, RecordWindowAtItsSize) {
  Host host(settings);
  settings.ChannelGroups[0].Count = 1;
  settings.ChannelGroupCount = 1;
  RecordWindowSetup setup;
  setup.record = record("window");
  setup.caption = RecordWindowCaption(setup.record.CfgPath);
  setup.settings = &settings;
  setup.host = &host;
  setup.services = &services;
  QMdiArea area;
  area.resize(kScreenWidth, kScreenHeight - 60);
  area.show();
  auto window = TFaultWaveForm::Create(setup);
  ASSERT_NE(window, nullptr);
  TFaultWaveForm* form = window.get();
  QMdiSubWindow* sub = area.addSubWindow(window.release());
  sub->show();
  QCoreApplication::processEvents();
  form->setClockText(QStringLiteral("2026/12/10 10:49:33"));
  EXPECT_EQ(sub->size(), QSize(942, 557));
  // Every tool button in sight, none behind the tool bar's "»".
  auto* tools = form->findChild<QToolBar*>(QStringLiteral("ToolBar1"));
  ASSERT_NE(tools, nullptr);
  for (QAction* action : tools->actions())
    EXPECT_TRUE(tools->widgetForAction(action)->isVisible()) << action->objectName().toStdString();
  const QStringList faults = forms::LayoutFaultsOfEveryPage(*form);
  EXPECT_TRUE(faults.isEmpty()) << faults.join(QLatin1Char('\n')).toStdString();
}

TEST_F(QuenlorLayoutTest, PrintForms) {
  TPrintPageSetForm pageSet(settings, services);
  expectWhole(pageSet);
  settings.PrinterWarningPending = 0;
  TPrintPreviewFm preview(settings, services, &pageSet);
  expectWhole(preview);
}

TEST_F(QuenlorLayoutTest, DatabaseDialogs) {
  stationdb::TDBConnectionSettings connection;
  stationdb::TDBConfigForm config(connection, services, nullptr, [](const std::string&) { return false; });
  expectWhole(config);
  stationdb::UserListSource users{[] { return 0; }, [](std::vector<stationdb::TUserInfo>&) { return false; }};
  stationdb::TPasswordDlg password(users, services);
  expectWhole(password);
}

}  // namespace
}  // namespace wave
