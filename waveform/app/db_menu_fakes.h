#pragma once
// Fakes of the database menu's database layer and dialogs, with a security
// tree of real nodes: "alice" (id 5) and the disabled "bob" (id 6), both with
// the password "pw".

#include <gtest/gtest.h>

#include <deque>
#include <memory>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "stationdb/tree/security.h"
#include "waveform/app/db_menu.h"

namespace wave::test {

inline constexpr std::int32_t kUserID = 5;
inline constexpr std::int32_t kOtherUserID = 6;

// The security tree of a mode: "alice" with password "pw" (id 5) and the
// disabled "bob" with password "pw" (id 6).
inline std::unique_ptr<stationdb::CSetObj> securityTree(std::int32_t mode) {
  const bool automation = mode == 21;
  const std::uint32_t rootType = automation ? 0x10040000 : 0x40000;
  const std::uint32_t rootID = automation ? 0x10040000 : 1024;
  const std::uint32_t usersType = automation ? 0x10041000 : 0x41000;
  const std::uint32_t usersID = automation ? 0x10041000 : 1040;
  const std::uint32_t userType = automation ? 0x10041100 : 0x41100;
  auto root = std::make_unique<stationdb::CSecurityGNode>(nullptr, "root", rootType, rootID);
  stationdb::CSetObj* users =
      root->AddChild(std::make_unique<stationdb::CUserGNode>(root.get(), "users", usersType, usersID));
  auto alice = std::make_unique<stationdb::CUserNode>(users, "alice", userType, kUserID);
  alice->Password = "pw";
  users->AddChild(std::move(alice));
  auto bob = std::make_unique<stationdb::CUserNode>(users, "bob", userType, kOtherUserID);
  bob->Password = "pw";
  bob->Disabled = 1;  // refused by the rules where they are checked (mode 12)
  users->AddChild(std::move(bob));
  return root;
}

struct Event {
  std::int32_t user;
  std::string text;
  bool operator==(const Event&) const = default;
};

class FakeDatabase : public DatabaseLayer {
 public:
  bool ReadDBLoginInfo(stationdb::TDBConnectionSettings& settings) override {
    calls.push_back("read contp");
    if (stored) settings.ConfigServer = "stored";
    return stored;
  }
  bool WriteDBLoginInfo(const stationdb::TDBConnectionSettings& settings) override {
    calls.push_back("write contp " + settings.ConfigServer);
    return true;
  }
  std::int32_t ConnectDatabases(stationdb::TDBConnectionSettings& settings) override {
    calls.push_back("connect " + settings.ConfigServer);
    return connectResult;
  }
  std::optional<DbConnTexts> GetDBConnInfo() override {
    calls.push_back("conn texts");
    return connTexts;
  }
  std::int32_t InitRedundantConnections(const DbConnTexts& texts) override {
    calls.push_back("init " + texts.suffix + " " + texts.main + " " + texts.standby);
    return initResult;
  }
  std::int32_t LoadConfigTrees(std::int32_t mode, stationdb::ConfigTrees& trees) override {
    calls.push_back("load " + std::to_string(mode));
    if (loadThrows) throw std::runtime_error("database gone");
    if (loadResult >= 0) trees.SecurityRoot = securityTree(mode);
    return loadResult;
  }
  stationdb::LoginClock LoginClock() override {
    return {[] { return std::optional<stationdb::TSystemTime>(stationdb::TSystemTime{2024, 5, 0, 5, 10, 0, 0, 0}); }};
  }
  std::int32_t WriteEventLog(std::int32_t userID, const std::string& description) override {
    if (eventsInCalls) calls.push_back("event " + description);
    events.push_back({userID, description});
    return 0;
  }
  std::span<const wave::TWaveformData> WaveChannels() const override { return waveChannels; }

  bool stored = true;
  std::int32_t connectResult = 0;
  std::optional<DbConnTexts> connTexts = DbConnTexts{"7", "main", "standby"};
  std::int32_t initResult = 1;
  std::int32_t loadResult = 0;
  bool loadThrows = false;
  bool eventsInCalls = false;  // events also go into calls, to show their order
  std::vector<std::string> calls;
  std::vector<Event> events;
  std::vector<wave::TWaveformData> waveChannels;
};

class FakeDialogs : public DatabaseDialogs {
 public:
  class FakeLogin : public LoginDialog {
   public:
    explicit FakeLogin(FakeDialogs& owner) : owner_(owner) {}
    std::optional<LoginDialog::Login> Show() override {
      ++owner_.loginsShown;
      if (owner_.logins.empty()) return std::nullopt;  // Cancel
      const std::optional<LoginDialog::Login> login = owner_.logins.front();
      owner_.logins.pop_front();
      return login;
    }

   private:
    FakeDialogs& owner_;
  };

  bool EditConnectionSettings(stationdb::TDBConnectionSettings& settings) override {
    ++settingsShown;
    if (settingsOk) settings.ConfigServer = "edited";
    return settingsOk;
  }
  std::unique_ptr<LoginDialog> CreateLoginDialog(const stationdb::ConfigTrees& trees, std::int32_t mode) override {
    loginDialogsMade.push_back(mode);
    EXPECT_NE(trees.SecurityRoot, nullptr) << "the dialog lists the users of the trees just loaded";
    return std::make_unique<FakeLogin>(*this);
  }
  std::optional<TcfgInfo> SelectRecord(const stationdb::ConfigTrees&, std::int32_t mode) override {
    selections.push_back(mode);
    return selection;
  }
  void ShowWaitWindow(const common::UserMessage& text) override {
    EXPECT_EQ(text.textKeys(), std::vector<std::string>{"str63"});
    ++waitWindowsOpen;
  }
  void CloseWaitWindow() override { --waitWindowsOpen; }

  bool settingsOk = true;
  int settingsShown = 0;
  std::deque<std::optional<LoginDialog::Login>> logins;  // one per showing; Cancel when none is left
  int loginsShown = 0;
  std::vector<std::int32_t> loginDialogsMade;
  std::optional<TcfgInfo> selection;
  std::vector<std::int32_t> selections;
  int waitWindowsOpen = 0;
};

}  // namespace wave::test
