// The database menu's flow with a fake database layer, fake dialogs and a
// fake main window; the users and the login rules are real tree nodes.
#include "waveform/app/db_menu.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/ipc/ipcfunc.h"
#include "stationdb/db/testsupport.h"
#include "waveform/app/db_menu_fakes.h"
#include "waveform/app/station_access.h"

namespace wave {
namespace {

using test::FakeDatabase;
using test::FakeDialogs;
using test::kOtherUserID;
using test::kUserID;
using Event = test::Event;
using Login = LoginDialog::Login;

struct Shown {
  std::string section;
  std::vector<std::string> keys;
  common::MessageIcon icon;
  MessageButtons buttons;
};

class FakeWindow : public DatabaseMenuWindow {
 public:
  MessageAnswer ask(const common::UserMessage& message, MessageButtons buttons) override {
    shown.push_back({message.section, message.textKeys(), message.icon, buttons});
    texts.push_back(common::ResolveText(message, common::BuiltInText));
    captions.push_back(message.caption.key);
    if (answers.empty()) return MessageAnswer::Ok;
    const MessageAnswer answer = answers.front();
    answers.pop_front();
    return answer;
  }
  bool anyDatabaseRecordWindow() const override { return databaseWindowOpen; }
  void openCfgFile(const std::string& path) override { opened.push_back(path); }
  int openWindowCount() const override { return windowCount; }
  bool tempFilesFlag() const override { return false; }
  DisplaySettings& displaySettings() override { return settings; }
  void setRecord(const TcfgInfo&) override {}
  OptionsDialogResult showOptionsDialog() override {
    optionsShownWith = settings.NewRecordOpened;
    return {optionsAccepted, optionsAccepted};
  }
  void createRecordWindow(const std::string& caption, RecordFiles) override { created.push_back(caption); }

  std::vector<std::string> keys() const {
    std::vector<std::string> all;
    for (const Shown& s : shown) all.insert(all.end(), s.keys.begin(), s.keys.end());
    return all;
  }

  std::vector<Shown> shown;
  std::vector<std::string> texts;
  std::vector<std::string> captions;
  std::deque<MessageAnswer> answers;
  bool databaseWindowOpen = false;
  int windowCount = 0;
  bool optionsAccepted = true;
  int optionsShownWith = -1;
  DisplaySettings settings;
  std::vector<std::string> opened;
  std::vector<std::string> created;
};

class DatabaseMenuTest : public ::testing::Test {
 protected:
  TcfgInfo record(const std::string& path) {
    TcfgInfo info;
    info.CfgPath = path;
    return info;
  }
  // A successful log-in and record choice in mode 12 or 21.
  void logInTo(std::int32_t mode) {
    dialogs.logins = {Login{"alice", "pw"}};
    if (mode == 12)
      menu.database_20Click();
    else
      menu.database_velkoraClick();
    ASSERT_EQ(CurrentUserID, kUserID);
    ASSERT_EQ(RecordSourceMode, mode);
    database.calls.clear();
    database.events.clear();
    window.shown.clear();
  }

  std::uint8_t TempFilesFlag = 0;
  TcfgInfo CfgInfo;
  std::int32_t RecordSourceMode = 0;
  std::int32_t CurrentUserID = 0;
  std::uint8_t DBConnectionClosed = 0;
  FakeDatabase database;
  FakeDialogs dialogs;
  FakeWindow window;
  DatabaseMenu menu{MainWindowFields{TempFilesFlag, CfgInfo, RecordSourceMode, CurrentUserID, DBConnectionClosed},
                    window, database, dialogs};
};

TEST_F(DatabaseMenuTest, EachDatabaseEntryIsRefusedWhileTheOtherKindIsInUse) {
  struct Case {
    std::int32_t mode;
    void (DatabaseMenu::*entry)();
    const char* key;
    const char* text;
  };
  for (const Case c : {Case{21, &DatabaseMenu::database_20Click, "str72", "请先退出Velkora的登陆!"},
                       Case{12, &DatabaseMenu::database_velkoraClick, "str71", "请先退出Qorva的登陆!"}}) {
    RecordSourceMode = c.mode;
    CurrentUserID = 9;
    TempFilesFlag = 0;
    window.shown.clear();
    window.texts.clear();
    (menu.*c.entry)();
    EXPECT_EQ(window.keys(), std::vector<std::string>{c.key});
    EXPECT_EQ(window.texts, std::vector<std::string>{c.text});
    EXPECT_EQ(window.shown[0].icon, common::MessageIcon::Information);
    EXPECT_EQ(window.shown[0].section, "Strings_Main_Form");
    EXPECT_EQ(RecordSourceMode, c.mode);
    EXPECT_EQ(CurrentUserID, 9);
    EXPECT_EQ(TempFilesFlag, 0);
    EXPECT_TRUE(database.calls.empty());
  }
}

TEST_F(DatabaseMenuTest, PowerQualityLogInOpensTheChosenRecordFromMemory) {
  dialogs.logins = {Login{"alice", "pw"}};
  dialogs.selection = record("  station A 2024-05-05 ");

  menu.database_20Click();

  EXPECT_EQ(database.calls, (std::vector<std::string>{"read contp", "connect stored", "load 12"}));
  EXPECT_EQ(dialogs.settingsShown, 0);
  EXPECT_EQ(dialogs.waitWindowsOpen, 0);
  EXPECT_EQ(CurrentUserID, kUserID);
  EXPECT_EQ(RecordSourceMode, 12);
  EXPECT_EQ(TempFilesFlag, 1);
  EXPECT_TRUE(window.shown.empty());
  EXPECT_TRUE(database.events.empty()) << "no event log in the power-quality database";
  EXPECT_EQ(CfgInfo.CfgPath, "  station A 2024-05-05 ");
  EXPECT_EQ(window.optionsShownWith, 1);
  EXPECT_EQ(window.created, std::vector<std::string>{"station A 2024-05-05"});
  EXPECT_TRUE(window.opened.empty());
}

TEST_F(DatabaseMenuTest, PowerQualityRecordNotShownWhenTheOptionsAreCancelledOrFourWindowsAreOpen) {
  dialogs.selection = record("rec");
  logInTo(12);
  window.created.clear();

  window.optionsAccepted = false;
  menu.database_20Click();
  EXPECT_TRUE(window.created.empty());
  EXPECT_EQ(window.settings.NewRecordOpened, 0);

  window.windowCount = 4;
  window.optionsShownWith = -1;
  menu.database_20Click();
  EXPECT_EQ(window.keys(), std::vector<std::string>{"str69"});
  EXPECT_EQ(window.shown[0].icon, common::MessageIcon::Warning);
  EXPECT_EQ(window.captions[0], "str70");
  EXPECT_EQ(window.optionsShownWith, -1) << "no options dialog";
  EXPECT_TRUE(window.created.empty());
}

TEST_F(DatabaseMenuTest, AutomationLogInWritesTheEventAndOpensTheWrittenPair) {
  dialogs.logins = {Login{"alice", "pw"}};
  dialogs.selection = record("/cache/rec.cfg");

  menu.database_velkoraClick();

  EXPECT_EQ(database.calls, (std::vector<std::string>{"conn texts", "init 7 main standby", "load 21"}));
  EXPECT_EQ(CurrentUserID, kUserID);
  EXPECT_EQ(RecordSourceMode, 21);
  EXPECT_EQ(TempFilesFlag, 1);
  EXPECT_EQ(database.events, (std::vector<Event>{{kUserID, "用户成功登录进入QUENLOR"}}));
  EXPECT_EQ(window.opened, std::vector<std::string>{"/cache/rec.cfg"});
  EXPECT_TRUE(window.created.empty()) << "the pair is opened through the record reader";
}

TEST_F(DatabaseMenuTest, AutomationLogInChecksOnlyThatTheUserExists) {
  // bob is disabled, which only the power-quality log-in checks.
  dialogs.logins = {Login{"bob", "pw"}};
  menu.database_velkoraClick();
  EXPECT_EQ(CurrentUserID, kOtherUserID);
  EXPECT_TRUE(window.shown.empty());
}

TEST_F(DatabaseMenuTest, FailedAttemptsEndTheLogInAfterTheThird) {
  const Login wrong{"alice", "PW"};
  const Login unknown{"carol", "pw"};
  const Login refused{"bob", "pw"};  // disabled: refused by the rules
  const Login right{"alice", "pw"};
  struct Case {
    const char* name;
    std::vector<Login> logins;
    std::vector<std::string> keys;
    std::int32_t user;  // CurrentUserID afterwards
    int loads;
  };
  const Case cases[] = {
      {"three wrong passwords", {wrong, wrong, wrong}, {"str65", "str65", "str65", "str66"}, -1, 3},
      {"a wrong name counts too", {unknown, wrong, unknown}, {"str65", "str65", "str65", "str66"}, -1, 3},
      {"three refusals by the rules", {refused, refused, refused}, {"str1", "str1", "str1", "str67"}, 0, 3},
      {"refusals and wrong passwords share the count", {refused, wrong, refused}, {"str1", "str65", "str1", "str67"},
       0, 3},
      {"a refusal, then the right password", {refused, right}, {"str1"}, kUserID, 2},
      {"two wrong, then the right password", {wrong, wrong, right}, {"str65", "str65"}, kUserID, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RecordSourceMode = 0;
    CurrentUserID = 0;
    database.calls.clear();
    window.shown.clear();
    dialogs.logins.assign(c.logins.begin(), c.logins.end());
    dialogs.selections.clear();

    menu.database_20Click();

    EXPECT_EQ(window.keys(), c.keys);
    for (const Shown& s : window.shown) {
      EXPECT_EQ(s.icon, common::MessageIcon::Error);
    }
    if (c.keys.front() == "str1") {
      EXPECT_EQ(window.shown.front().section, "Strings_SecurityClass");
    }
    EXPECT_EQ(CurrentUserID, c.user);
    EXPECT_EQ(std::count(database.calls.begin(), database.calls.end(), "load 12"), c.loads)
        << "every attempt reloads the trees";
    const bool accepted = c.user > 0;
    EXPECT_EQ(dialogs.selections.size(), accepted ? 1u : 0u);
    // Nobody logged in: both database entries are free again.
    EXPECT_EQ(RecordSourceMode, accepted ? 12 : 0);
    EXPECT_EQ(dialogs.loginDialogsMade.size(), 1u) << "the dialog is kept between attempts";
  }
}

TEST_F(DatabaseMenuTest, CancellingTheLogInReturnsToFilesAndDropsTheDialog) {
  dialogs.logins = {std::nullopt};
  menu.database_velkoraClick();

  EXPECT_EQ(RecordSourceMode, 0);
  EXPECT_EQ(CurrentUserID, 0);
  EXPECT_EQ(menu.trees().SecurityRoot, nullptr);
  EXPECT_FALSE(menu.hasLoginDialog());
  EXPECT_TRUE(database.events.empty());
  EXPECT_TRUE(dialogs.selections.empty());

  // Both entries are free; the next log-in makes a new dialog.
  dialogs.logins = {Login{"alice", "pw"}};
  menu.database_20Click();
  EXPECT_TRUE(window.shown.empty());
  EXPECT_EQ(CurrentUserID, kUserID);
  EXPECT_EQ(dialogs.loginDialogsMade, (std::vector<std::int32_t>{21, 12}));
}

TEST_F(DatabaseMenuTest, ALoggedInUserIsNotAskedAgainForTheSameDatabaseKind) {
  logInTo(21);
  dialogs.selection = record("/cache/second.cfg");

  menu.database_velkoraClick();

  EXPECT_EQ(database.calls, (std::vector<std::string>{"conn texts", "init 7 main standby"}));
  EXPECT_EQ(dialogs.loginsShown, 1);
  EXPECT_TRUE(database.events.empty()) << "no second log-in event";
  EXPECT_EQ(window.opened.back(), "/cache/second.cfg");
}

TEST_F(DatabaseMenuTest, AUserOfOneDatabaseKindMustLogInToTheOther) {
  logInTo(12);
  RecordSourceMode = 0;  // a record opened from a folder in between
  dialogs.logins = {Login{"alice", "pw"}};

  menu.database_velkoraClick();

  EXPECT_EQ(database.calls, (std::vector<std::string>{"conn texts", "init 7 main standby", "load 21"}));
  EXPECT_EQ(dialogs.loginDialogsMade, (std::vector<std::int32_t>{12, 21})) << "a dialog listing this kind's users";
  EXPECT_EQ(database.events, (std::vector<Event>{{kUserID, "用户成功登录进入QUENLOR"}}));
}

TEST_F(DatabaseMenuTest, AUserOfTheOtherKindIsForgottenAlsoWhenTheConnectionFails) {
  logInTo(21);
  RecordSourceMode = 0;
  database.connectResult = -1;

  menu.database_20Click();

  EXPECT_EQ(CurrentUserID, 0);
  EXPECT_EQ(RecordSourceMode, 0) << "both entries free again";
  EXPECT_EQ(database.events, (std::vector<Event>{{kUserID, "当前用户被注销"}})) << "the user left";
  window.answers = {MessageAnswer::Yes};
  menu.user_logoffClick();
  EXPECT_EQ(window.keys(), std::vector<std::string>{"str57"});
  EXPECT_EQ(database.events.size(), 1u) << "nobody left to log off";
}

// An automation user who opened a folder record and then takes the
// power-quality entry leaves the automation databases: the log-off event is
// written there, before the power-quality connection replaces them, however
// the power-quality opening goes on.
TEST_F(DatabaseMenuTest, AnAutomationUserDroppedByThePowerQualityEntryIsLoggedOff) {
  struct Case {
    const char* name;
    bool stored;
    bool settingsOk;
    std::int32_t connectResult;
    std::vector<std::string> calls;
  };
  const std::vector<Case> cases = {
      {"connected and logged in anew", true, true, 0,
       {"event 当前用户被注销", "read contp", "connect stored", "load 12"}},
      {"connection fails", true, true, -1, {"event 当前用户被注销", "read contp", "connect stored"}},
      {"settings cancelled", false, false, 0, {"event 当前用户被注销", "read contp"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CurrentUserID = 0;
    RecordSourceMode = 0;
    database.stored = true;
    database.connectResult = 0;
    dialogs.settingsOk = true;
    logInTo(21);
    RecordSourceMode = 0;  // a record opened from a folder
    database.eventsInCalls = true;
    database.stored = c.stored;
    dialogs.settingsOk = c.settingsOk;
    database.connectResult = c.connectResult;
    dialogs.logins = {Login{"alice", "pw"}};

    menu.database_20Click();

    EXPECT_EQ(database.calls, c.calls);
    EXPECT_EQ(database.events, (std::vector<Event>{{kUserID, "当前用户被注销"}}));
    EXPECT_EQ(menu.LoginMode(), c.calls.size() == 4 ? 12 : 0);
    database.eventsInCalls = false;
    if (RecordSourceMode == 12) {
      window.answers = {MessageAnswer::Yes};
      menu.user_logoffClick();  // the power-quality user leaves without an event
      EXPECT_EQ(database.events.size(), 1u);
      RecordSourceMode = 0;
    }
  }
}

TEST_F(DatabaseMenuTest, AnEarlierRecordIsNotOpenedWhenNoneWasChosenNow) {
  CfgInfo = record("/home/user/records/own.cfg");  // the user's own files
  struct Case {
    const char* name;
    std::deque<std::optional<Login>> logins;
    std::int32_t loadResult;
  };
  for (const Case& c : {Case{"log-in cancelled", {std::nullopt}, 0}, Case{"trees not read", {}, -1},
                        Case{"three failures", {Login{"x", ""}, Login{"x", ""}, Login{"x", ""}}, 0},
                        Case{"selection closed without a record", {Login{"alice", "pw"}}, 0}}) {
    SCOPED_TRACE(c.name);
    CurrentUserID = 0;
    RecordSourceMode = 0;
    dialogs.logins = c.logins;
    database.loadResult = c.loadResult;
    menu.database_velkoraClick();
    EXPECT_TRUE(window.opened.empty());
  }
  EXPECT_EQ(CfgInfo.CfgPath, "") << "an empty choice is taken over in mode 21";
}

TEST_F(DatabaseMenuTest, TreesThatCannotBeReadStopTheLogIn) {
  database.loadResult = -2;
  menu.database_20Click();
  EXPECT_EQ(window.keys(), std::vector<std::string>{"str64"});
  EXPECT_EQ(window.shown[0].icon, common::MessageIcon::Error);
  EXPECT_EQ(dialogs.waitWindowsOpen, 0);
  EXPECT_EQ(dialogs.loginsShown, 0);
  EXPECT_EQ(RecordSourceMode, 0);
}

TEST_F(DatabaseMenuTest, ADatabaseErrorWhileReadingTheTreesClosesTheWaitWindow) {
  database.loadThrows = true;
  EXPECT_THROW(menu.database_velkoraClick(), std::runtime_error);
  EXPECT_EQ(dialogs.waitWindowsOpen, 0);
  EXPECT_EQ(RecordSourceMode, 0);
}

TEST_F(DatabaseMenuTest, ConnectionFailuresStopWithoutAMessage) {
  struct Case {
    const char* name;
    void (DatabaseMenu::*entry)();
    void (*fail)(FakeDatabase&);
  };
  const Case cases[] = {
      {"no connection texts", &DatabaseMenu::database_velkoraClick, [](FakeDatabase& d) { d.connTexts.reset(); }},
      {"no server pair answers", &DatabaseMenu::database_velkoraClick, [](FakeDatabase& d) { d.initResult = -1; }},
      {"power-quality set-up fails", &DatabaseMenu::database_20Click, [](FakeDatabase& d) { d.connectResult = -1; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeDatabase failing;
    c.fail(failing);
    DatabaseMenu failingMenu{
        MainWindowFields{TempFilesFlag, CfgInfo, RecordSourceMode, CurrentUserID, DBConnectionClosed}, window,
        failing, dialogs};
    (failingMenu.*c.entry)();
    EXPECT_TRUE(window.shown.empty());
    EXPECT_EQ(RecordSourceMode, 0);
    EXPECT_EQ(std::count(failing.calls.begin(), failing.calls.end(), "load 12") +
                  std::count(failing.calls.begin(), failing.calls.end(), "load 21"),
              0);
  }
}

TEST_F(DatabaseMenuTest, SettingsDialogWhenNothingIsStoredOrTheLinkWasClosed) {
  struct Case {
    const char* name;
    bool stored;
    std::uint8_t closed;
    bool ok;
    std::vector<std::string> calls;
  };
  const Case cases[] = {
      {"stored settings", true, 0, true, {"read contp", "connect stored", "load 12"}},
      {"nothing stored", false, 0, true, {"read contp", "write contp edited", "connect edited", "load 12"}},
      {"link closed", true, 1, true, {"read contp", "write contp edited", "connect edited", "load 12"}},
      {"nothing stored, cancelled", false, 0, false, {"read contp"}},
      {"link closed, cancelled", true, 1, false, {"read contp"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeDatabase db;
    db.stored = c.stored;
    FakeDialogs dlg;
    dlg.settingsOk = c.ok;
    dlg.logins = {Login{"alice", "pw"}};
    RecordSourceMode = 0;
    CurrentUserID = 0;
    DBConnectionClosed = c.closed;
    DatabaseMenu fresh{MainWindowFields{TempFilesFlag, CfgInfo, RecordSourceMode, CurrentUserID, DBConnectionClosed},
                       window, db, dlg};
    fresh.database_20Click();
    EXPECT_EQ(db.calls, c.calls);
    EXPECT_EQ(dlg.settingsShown, c.stored && !c.closed ? 0 : 1);
    EXPECT_EQ(DBConnectionClosed, c.ok ? 0 : c.closed);
    EXPECT_EQ(RecordSourceMode, c.ok ? 12 : 0);
  }
}

TEST_F(DatabaseMenuTest, ClosingTheLinkAsksFirstAndThenForgetsTheSession) {
  logInTo(12);
  window.databaseWindowOpen = false;  // only record windows from files
  window.answers = {MessageAnswer::Yes};

  menu.database_closeClick();

  EXPECT_EQ(window.keys(), (std::vector<std::string>{"str54", "str55", "str56"}));
  EXPECT_EQ(window.shown[0].buttons, MessageButtons::YesNo);
  EXPECT_EQ(window.texts[0],
            "程序将关闭当前数据库链接并删除链接信息。\r\n\r\n"
            "当前链接删除之后，您需要通过主菜单中“文件\\选择数据库\\”建立新的数据库链接。\r\n\r\n是否继续？");
  EXPECT_EQ(CurrentUserID, 0);
  EXPECT_EQ(DBConnectionClosed, 1);
  EXPECT_EQ(RecordSourceMode, 0);
  EXPECT_EQ(menu.trees().SecurityRoot, nullptr);
  EXPECT_FALSE(menu.hasLoginDialog());

  // The next power-quality opening asks for the settings again.
  dialogs.logins = {Login{"alice", "pw"}};
  menu.database_20Click();
  EXPECT_EQ(dialogs.settingsShown, 1);
  EXPECT_EQ(dialogs.loginDialogsMade.size(), 2u);
}

TEST_F(DatabaseMenuTest, ClosingTheLinkIsRefusedOrDeclined) {
  struct Case {
    const char* name;
    std::int32_t user;
    bool databaseWindow;
    MessageAnswer answer;
    std::vector<std::string> keys;
    MessageButtons buttons;
  };
  const Case cases[] = {
      {"nobody logged in", 0, false, MessageAnswer::Yes, {"str52"}, MessageButtons::Ok},
      {"a failed log-in left a negative id", -1, false, MessageAnswer::Yes, {"str52"}, MessageButtons::Ok},
      {"a window shows a database record", kUserID, true, MessageAnswer::Yes, {"str53"}, MessageButtons::OkCancel},
      {"the user says no", kUserID, false, MessageAnswer::No, {"str54", "str55", "str56"}, MessageButtons::YesNo},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CurrentUserID = c.user;
    RecordSourceMode = 12;
    DBConnectionClosed = 0;
    window.databaseWindowOpen = c.databaseWindow;
    window.answers = {c.answer};
    window.shown.clear();
    menu.database_closeClick();
    EXPECT_EQ(window.keys(), c.keys);
    EXPECT_EQ(window.shown.front().buttons, c.buttons);
    EXPECT_EQ(window.shown.front().icon, common::MessageIcon::Information);
    EXPECT_EQ(CurrentUserID, c.user);
    EXPECT_EQ(RecordSourceMode, 12);
    EXPECT_EQ(DBConnectionClosed, 0);
  }
}

TEST_F(DatabaseMenuTest, LoggingOffWritesTheEventWithTheUserWhoLeft) {
  for (const std::int32_t mode : {21, 12}) {
    SCOPED_TRACE(mode);
    CurrentUserID = 0;
    RecordSourceMode = 0;
    logInTo(mode);
    window.answers = {MessageAnswer::Yes};

    menu.user_logoffClick();

    EXPECT_EQ(window.keys(), (std::vector<std::string>{"str59", "str60", "str61"}));
    EXPECT_EQ(CurrentUserID, 0);
    EXPECT_EQ(RecordSourceMode, mode) << "the connection stays";
    EXPECT_NE(menu.trees().SecurityRoot, nullptr) << "the trees stay";
    const std::vector<Event> expected =
        mode == 21 ? std::vector<Event>{{kUserID, "当前用户被注销"}} : std::vector<Event>{};
    EXPECT_EQ(database.events, expected);

    // The next opening of the same kind asks for a log-in again.
    dialogs.logins = {Login{"alice", "pw"}};
    const int shownBefore = dialogs.loginsShown;
    mode == 12 ? menu.database_20Click() : menu.database_velkoraClick();
    EXPECT_EQ(dialogs.loginsShown, shownBefore + 1);
    RecordSourceMode = 0;
  }
}

// A record opened from a folder sets the mode to 0; the automation user who is
// still logged in leaves with an event all the same.
TEST_F(DatabaseMenuTest, LoggingOffAfterAFolderRecordStillWritesTheEvent) {
  logInTo(21);
  RecordSourceMode = 0;
  window.answers = {MessageAnswer::Yes};
  menu.user_logoffClick();
  EXPECT_EQ(CurrentUserID, 0);
  EXPECT_EQ(database.events, (std::vector<Event>{{kUserID, "当前用户被注销"}}));
}

TEST_F(DatabaseMenuTest, LoggingOffIsRefusedOrDeclined) {
  struct Case {
    const char* name;
    std::int32_t user;
    bool databaseWindow;
    MessageAnswer answer;
    std::vector<std::string> keys;
  };
  const Case cases[] = {
      {"nobody logged in", 0, false, MessageAnswer::Yes, {"str57"}},
      {"a failed log-in left a negative id", -1, false, MessageAnswer::Yes, {"str57"}},
      {"a window shows a database record", kUserID, true, MessageAnswer::Yes, {"str58"}},
      {"the user says no", kUserID, false, MessageAnswer::No, {"str59", "str60", "str61"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CurrentUserID = c.user;
    RecordSourceMode = 21;
    window.databaseWindowOpen = c.databaseWindow;
    window.answers = {c.answer};
    window.shown.clear();
    menu.user_logoffClick();
    EXPECT_EQ(window.keys(), c.keys);
    EXPECT_EQ(CurrentUserID, c.user);
    EXPECT_TRUE(database.events.empty());
  }
}

TEST_F(DatabaseMenuTest, LoginConstantsOfEachKind) {
  const auto pq = LoginConstantsOf(12);
  ASSERT_TRUE(pq);
  EXPECT_EQ(pq->usersContainerType, 0x41000);
  EXPECT_EQ(pq->usersContainerID, 1040);
  EXPECT_EQ(pq->userType, 0x41100u);
  EXPECT_TRUE(pq->checkRules);
  const auto automation = LoginConstantsOf(21);
  ASSERT_TRUE(automation);
  EXPECT_EQ(automation->usersContainerType, 0x10041000);
  EXPECT_EQ(automation->usersContainerID, 0x10041000);
  EXPECT_EQ(automation->userType, 0x10041100u);
  EXPECT_FALSE(automation->checkRules);
  EXPECT_FALSE(LoginConstantsOf(0));
}

// The client library copies texts up to its own limit of 10240 bytes; the
// buffers must take them whole.
std::uint8_t longestTexts(char* suffix, char* main, char* standby) {
  const std::string longest(kDbConnTextBuffer - 1, 'm');
  std::memcpy(suffix, "7", 2);
  std::memcpy(main, longest.c_str(), longest.size() + 1);
  std::memcpy(standby, longest.c_str(), longest.size() + 1);
  return 1;
}

std::uint8_t noTexts(char* suffix, char*, char*) {
  suffix[0] = 'x';  // whatever it leaves behind is not used
  return 0;
}

std::uint8_t standInTexts(char* suffix, char* main, char* standby) {
  std::strcpy(suffix, "T");
  std::strcpy(main, "Provider=SQLOLEDB.1;Data Source=main");
  standby[0] = '\0';
  return 1;
}

// What the program's database layer does when its query mutexes cannot be
// had at all (names that the system refuses): each entry says so.
TEST_F(DatabaseMenuTest, EachEntryNamesAQueryMutexThatCannotBeHad) {
  const dbtest::TempFolder folder;
  const dbtest::ScopedEnv unusable(ipc::kPrefixVariable, std::string(300, 'x'));
  StationAccess station(folder.path() / "contp.dat", standInTexts);
  // As the program wires it: the layer's messages go to the main window's boxes.
  station.rpt().setMessageSink([this](const common::UserMessage& m) { window.ask(m, MessageButtons::Ok); });
  DatabaseMenu realMenu{MainWindowFields{TempFilesFlag, CfgInfo, RecordSourceMode, CurrentUserID, DBConnectionClosed},
                        window, station, dialogs};
  for (void (DatabaseMenu::*entry)() : {&DatabaseMenu::database_20Click, &DatabaseMenu::database_velkoraClick}) {
    window.shown.clear();
    window.texts.clear();
    (realMenu.*entry)();
    ASSERT_EQ(window.shown.size(), 1u);
    EXPECT_EQ(window.shown[0].section, "Strings_RptDB");
    EXPECT_EQ(window.shown[0].icon, common::MessageIcon::Error);
    EXPECT_NE(window.texts[0].find("QUENLORADODATASETCOMMUTEX_CONFIG"), std::string::npos) << window.texts[0];
    EXPECT_EQ(RecordSourceMode, 0) << "both entries stay free";
    EXPECT_EQ(dialogs.loginsShown, 0);
  }
}

TEST(ReadDBConnTexts, TakesTheLibrarysLongestTextsWhole) {
  const std::optional<DbConnTexts> texts = ReadDBConnTexts(longestTexts);
  ASSERT_TRUE(texts);
  EXPECT_EQ(texts->suffix, "7");
  EXPECT_EQ(texts->main, std::string(10240, 'm'));
  EXPECT_EQ(texts->standby.size(), 10240u);
  EXPECT_FALSE(ReadDBConnTexts(noTexts));
}

}  // namespace
}  // namespace wave
