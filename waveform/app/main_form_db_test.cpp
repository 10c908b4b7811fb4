// The main window's database entries: the menu items, the record windows that
// decide whether the link may be closed, the exit event, and one whole log-in
// against the stand-in databases through the client library.
#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QCoreApplication>
#include <QPushButton>
#include <QMdiSubWindow>
#include <QTimer>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "common/forms/wait_window.h"
#include "common/gbk.h"
#include "common/test_job_runner.h"
#include "stationdb/queries/testsupport.h"
#include "stationdb/tree/testblob.h"
#include "stationdb/ui/getpass.h"
#include "waveform/app/db_menu_dialogs.h"
#include "waveform/app/db_menu_fakes.h"
#include "waveform/app/main_form.h"
#include "waveform/app/station_access.h"
#include "waveform/app/test_support.h"
#include "common/forms/form_services.h"

namespace wave {
namespace {

namespace fs = std::filesystem;
using Login = LoginDialog::Login;

class MainFormDatabaseTest : public test::WithApplication, public ::testing::Test {
 protected:
  TMainForm& form() {
    if (!form_) {
      form_ = std::make_unique<TMainForm>(ui, kit, settings, test::NewFolder("settings") / "zavoviv.ini");
      form_->WaveTimer()->stop();
      kit.mainWindow = form_.get();
    }
    return *form_;
  }

  void trigger(const char* item) {
    QAction* action = form().findChild<QAction*>(QString::fromLatin1(item));
    ASSERT_NE(action, nullptr) << item;
    action->trigger();
  }

  std::vector<std::string> messageKeys() const {
    std::vector<std::string> keys;
    for (const auto& shown : ui.messages)
      for (const auto& key : shown.message.textKeys()) keys.push_back(key);
    return keys;
  }

  static void flushDeletes() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

  test::FakeUi ui;
  test::FakeKit kit;
  DisplaySettings settings;
  test::FakeDatabase database;
  test::FakeDialogs dialogs;
  std::unique_ptr<TMainForm> form_;
};

TEST_F(MainFormDatabaseTest, ClosingTheLinkDependsOnTheRecordWindowsOpen) {
  form().attachDatabase(database, dialogs);
  dialogs.logins = {Login{"alice", "pw"}};
  TcfgInfo chosen;
  chosen.CfgPath = "pq record";
  dialogs.selection = chosen;

  trigger("database_20");
  ASSERT_EQ(form().CurrentUserID, test::kUserID);
  ASSERT_EQ(kit.log, std::vector<std::string>{"create pq record new=1"});

  // A window shows a database record: neither closing the link nor logging off.
  trigger("database_close");
  trigger("user_logoff");
  EXPECT_EQ(messageKeys(), (std::vector<std::string>{"str53", "str58"}));
  EXPECT_EQ(form().CurrentUserID, test::kUserID);

  // Only a record window from files left.
  form().Window_CloseAll_ItemClick();
  flushDeletes();
  form().RecordSourceMode = 0;  // as the folder entry leaves it
  ASSERT_NE(form().CreateMDIChild(QStringLiteral("from a folder")), nullptr);
  ui.messages.clear();
  ui.answers = {MessageAnswer::Yes};

  trigger("database_close");

  EXPECT_EQ(messageKeys(), (std::vector<std::string>{"str54", "str55", "str56"}));
  EXPECT_EQ(ui.messages[0].buttons, MessageButtons::YesNo);
  EXPECT_EQ(form().CurrentUserID, 0);
  EXPECT_EQ(form().DBConnectionClosed, 1);
  EXPECT_EQ(form().openWindowCount(), 1) << "the file window stays";
}

// A power-quality record is shown from the channels the database layer
// decoded and has no files; an automation record's window is handed the pair
// written for it.
TEST_F(MainFormDatabaseTest, RecordWindowsTakeOverWhatTheDatabaseGaveThem) {
  form().attachDatabase(database, dialogs);
  database.waveChannels.resize(3);
  form().TempFilesFlag = 1;
  form().RecordSourceMode = 12;
  form().createRecordWindow("pq record", RecordFiles());
  EXPECT_EQ(kit.lastWaveChannels, 3u);
  EXPECT_FALSE(kit.lastOwnsRecordFiles);

  const fs::path pair = test::NewFolder("handed") / "rec.cfg";
  test::WriteFile(pair, "cfg");
  form().RecordSourceMode = 21;
  form().createRecordWindow("automation record", RecordFiles(pair.string()));
  EXPECT_TRUE(kit.lastOwnsRecordFiles);
  EXPECT_TRUE(fs::exists(pair)) << "the open window holds it";
}

// The .cfg/.dat pair that the automation databases wrote for an opening is
// deleted whichever way the opening ends; only an open record window keeps it.
TEST_F(MainFormDatabaseTest, TheOpeningsFilesGoWhicheverWayItEnds) {
  enum class Way { ReaderRefuses, OptionsCancelled, WindowRefuses, ErrorOnTheWay, Cancelled, WindowOpen };
  const struct {
    const char* name;
    Way way;
  } cases[] = {
      {"the reader refuses the .cfg", Way::ReaderRefuses},
      {"the options dialog is cancelled", Way::OptionsCancelled},
      {"the record window refuses the record", Way::WindowRefuses},
      {"an error on the way to the window", Way::ErrorOnTheWay},
      {"the wait window's cancel", Way::Cancelled},
      {"the window opens, then closes", Way::WindowOpen},
  };
  form().attachDatabase(database, dialogs);
  dialogs.logins = {Login{"alice", "pw"}};
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path cfg = test::NewFolder("pair" + std::to_string(n++)) / "20200102101112123.cfg";
    const fs::path dat = fs::path(cfg).replace_extension(".dat");
    test::WriteFile(cfg, std::string("Station,Dev01,1999\r\n1,1A,0D\r\n1,Ua,A,,kV,1,0,0,-32768,32767,1,1,S\r\n") +
                             (c.way == Way::ReaderRefuses ? "55" : "50") +
                             "\r\n1\r\n1600,2\r\n01/02/2020,10:11:12.000\r\n01/02/2020,10:11:12.000\r\nASCII\r\n");
    test::WriteFile(dat, "1,0,5\r\n2,625,-6\r\n");
    TcfgInfo chosen;
    chosen.CfgPath = cfg.string();
    dialogs.selection = chosen;
    kit.optionsAnswer = c.way == Way::OptionsCancelled ? OptionsDialogResult{false, false} : OptionsDialogResult{true, true};
    kit.refuseRecords = c.way == Way::WindowRefuses;
    kit.throwOnCreate = c.way == Way::ErrorOnTheWay;
    common::testing::HeldJobRunner runner;
    ui.runner = c.way == Way::Cancelled ? &runner : nullptr;

    trigger("database_velkora");
    if (c.way == Way::Cancelled) {
      forms::TWaitForm* wait = nullptr;
      for (forms::TWaitForm* shown : form().findChildren<forms::TWaitForm*>())
        if (shown->isVisible()) wait = shown;
      ASSERT_NE(wait, nullptr);
      wait->cancelButton()->click();
      runner.runAll();  // the opening ends once its worker has stopped
    }
    if (c.way == Way::WindowOpen) {
      ASSERT_EQ(form().openWindowCount(), 1);
      EXPECT_TRUE(fs::exists(cfg));
      EXPECT_TRUE(fs::exists(dat));
      form().Window_CloseAll_ItemClick();
      flushDeletes();
    }
    EXPECT_EQ(form().openWindowCount(), 0);
    EXPECT_FALSE(fs::exists(cfg));
    EXPECT_FALSE(fs::exists(dat));
    EXPECT_EQ(ui.errors.size(), c.way == Way::ErrorOnTheWay ? 1u : 0u);
    ui.errors.clear();
  }
  ui.runner = nullptr;
}

TEST_F(MainFormDatabaseTest, TheExitEventGoesToTheDatabaseEventLog) {
  form().attachDatabase(database, dialogs);
  dialogs.logins = {Login{"alice", "pw"}};
  trigger("database_velkora");
  ASSERT_EQ(form().RecordSourceMode, 21);
  form().show();

  form().close();

  EXPECT_EQ(database.events, (std::vector<test::Event>{{test::kUserID, "用户成功登录进入QUENLOR"},
                                                       {test::kUserID, "用户退出运行QUENLOR"}}));
}

TEST_F(MainFormDatabaseTest, TheExitEventIsWrittenAlsoAfterARecordFromAFolder) {
  form().attachDatabase(database, dialogs);
  dialogs.logins = {Login{"alice", "pw"}};
  trigger("database_velkora");
  form().RecordSourceMode = 0;  // a record opened from a folder since; the user stays logged in
  form().show();

  form().close();

  ASSERT_EQ(database.events.size(), 2u);
  EXPECT_EQ(database.events[1], (test::Event{test::kUserID, "用户退出运行QUENLOR"}));
}

TEST_F(MainFormDatabaseTest, WithoutADatabaseTheEntriesDoNothing) {
  trigger("database_20");
  trigger("database_velkora");
  trigger("database_close");
  trigger("user_logoff");
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_EQ(form().RecordSourceMode, 0);
}

// Plays the user in the program's own dialogs: logs in as name/password and
// closes the record selection without a record.
class PlayingFormServices : public forms::FormServices {
 public:
  void showMessage(QWidget*, const common::UserMessage& message, const std::vector<std::string>&) override {
    messages.push_back(message);
  }
  void showError(QWidget*, const QString& text) override { errors.push_back(text.toStdString()); }
  int execDialog(QDialog& dialog) override {
    if (auto* login = dynamic_cast<stationdb::TPasswordDlg*>(&dialog)) {
      for (int i = 0; i < login->UserNameComboBox()->count(); ++i)
        listedNames.push_back(login->UserNameComboBox()->itemText(i).toStdString());
      login->UserNameComboBox()->setCurrentText(QString::fromStdString(name));
      login->password()->setText(QString::fromStdString(password));
      login->OKBtnClick();
      return login->result();
    }
    ++selectionsShown;
    return QDialog::Rejected;
  }

  std::string name;
  std::string password;
  std::vector<std::string> listedNames;
  int selectionsShown = 0;
  std::vector<common::UserMessage> messages;
  std::vector<std::string> errors;
};

// dbconn.cfg as the installation writes it: each text with its zero byte,
// XOR the key of the head, plus 1.
std::string dbConnFile(const std::vector<std::string>& texts) {
  const std::uint32_t magic = 0xFFEEFFEEu;
  const std::uint32_t version = 0x03000000u;
  std::string bytes;
  auto u32 = [&bytes](std::uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
  };
  u32(magic);
  u32(version);
  bytes.append(16, '\0');
  unsigned key = 0;
  for (int i = 0; i < 8; ++i) key += static_cast<unsigned char>(bytes[static_cast<std::size_t>(i)]);
  key &= 0xFF;
  for (const std::string& text : texts) {
    const std::string stored = text + '\0';
    u32(static_cast<std::uint32_t>(stored.size()));
    for (const char c : stored)
      bytes.push_back(static_cast<char>(((static_cast<unsigned char>(c) ^ key) + 1) & 0xFF));
  }
  return bytes;
}

TEST_F(MainFormDatabaseTest, LogInToTheStandInAutomationDatabasesThroughTheClientLibrary) {
  const char* home = std::getenv("VELKLOG2_HOME");
  if (home == nullptr) GTEST_SKIP() << "VELKLOG2_HOME names the client library's folder for this test";

  stationdb::querytest::StandIn standIn;
  stationdb::querytest::CreateTreeTable(standIn.config21(), 21);
  stationdb::querytest::InsertNodes(
      standIn.config21(), 21,
      {{0x10041000, 0x10041000, 0x10040000, 0x10040000, "users", {}},
       {0x10041100, 7, 0x10041000, 0x10041000, "alice", stationdb::testing::Bytes().str("").str("pw").bytes()}});
  stationdb::querytest::DefineEventLog(standIn.history21());

  // A main connection text longer than 255 bytes comes through whole.
  const std::string mainText = "Provider=SQLOLEDB.1;Data Source=main;Application Name=" + std::string(300, 'q');
  fs::create_directories(home);
  std::ofstream(fs::path(home) / "dbconn.cfg", std::ios::binary)
      << dbConnFile({std::string(stationdb::querytest::StandIn::kSuffix), mainText, ""});

  StationAccess station(test::NewFolder("contp") / "contp.dat");
  std::vector<common::UserMessage> reported;
  station.rpt().setMessageSink([&reported](const common::UserMessage& m) { reported.push_back(m); });
  PlayingFormServices services;
  services.name = "alice";
  services.password = "pw";
  QtDatabaseDialogs databaseDialogs(&form(), services, station);
  form().attachDatabase(station, databaseDialogs);

  trigger("database_velkora");

  EXPECT_TRUE(ui.errors.empty()) << (ui.errors.empty() ? "" : ui.errors[0].toStdString());
  EXPECT_TRUE(reported.empty());
  EXPECT_EQ(services.listedNames, std::vector<std::string>{"alice"});
  EXPECT_EQ(services.selectionsShown, 1);
  EXPECT_EQ(form().RecordSourceMode, 21);
  EXPECT_EQ(form().CurrentUserID, 7);
  EXPECT_EQ(station.rpt().ConnectionState(), stationdb::kMainAnswered);

  ui.answers = {MessageAnswer::Yes};
  trigger("user_logoff");
  EXPECT_EQ(form().CurrentUserID, 0);

  const auto rows = standIn.select("main", "velkora_DATA_7", "SELECT Type, UserID, Description FROM EventLog");
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0][0].asInt32(), 0x3050);
  EXPECT_EQ(rows[0][1].asInt32(), 7);
  EXPECT_EQ(rows[0][2].asText(), common::Utf8ToGbk("用户成功登录进入QUENLOR"));
  EXPECT_EQ(rows[1][1].asInt32(), 7) << "the user who logged off";
  EXPECT_EQ(rows[1][2].asText(), common::Utf8ToGbk("当前用户被注销"));
}

}  // namespace
}  // namespace wave
