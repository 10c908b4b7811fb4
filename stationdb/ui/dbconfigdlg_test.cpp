#include "stationdb/ui/dbconfigdlg.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "common/lang/translateform.h"
#include "stationdb/queries/testsupport.h"
#include "stationdb/ui/dbdialogs.h"
#include "stationdb/ui/testsupport.h"

namespace stationdb {
namespace {

using uitest::EnsureApp;
using uitest::RecordingServices;

class DBConfigFormTest : public ::testing::Test {
 protected:
  DBConfigFormTest() { EnsureApp(); }

  // The dialog shown as the database menu shows it, without a modal loop; the
  // test connections answer as the script says and are recorded.
  std::unique_ptr<TDBConfigForm> shown() {
    auto dialog = std::make_unique<TDBConfigForm>(
        settings, services, nullptr,
        [this](const std::string& text) {
          tested.push_back(text);
          const bool answer = tested.size() <= answers.size() && answers[tested.size() - 1];
          return answer;
        },
        engine);
    dialog->show();
    return dialog;
  }

  static TDBConnectionSettings Stored() {
    TDBConnectionSettings s;
    s.ConfigServer = "cfghost";
    s.ConfigCatalog = "CFG";
    s.ConfigUser = "sa";
    s.ConfigPassword = "pw";
    s.HistoryServer = "histhost";
    s.HistoryCatalog = "HIS";
    return s;
  }

  TDBConnectionSettings settings;
  RecordingServices services;
  std::vector<std::string> tested;
  std::vector<bool> answers;
  lang::MultiLangEngine engine{lang::LangVariant::Quenlor};
};

TEST_F(DBConfigFormTest, FormHasTheNamedComponents) {
  TDBConfigForm dialog(settings, services, nullptr, [](const std::string&) { return false; }, engine);
  EXPECT_EQ(lang::formClass(dialog), "TDBConfigForm");
  EXPECT_EQ(dialog.windowTitle(), QStringLiteral("数据连接配置对话框"));
  EXPECT_EQ(dialog.size(), QSize(651, 254));
  struct Edit {
    const char* name;
    int typingLimit;
    bool enabled;
  };
  for (const Edit& e : {Edit{"DatasourceEdit", 40, true}, Edit{"DatabaseEdit", 40, true},
                        Edit{"UsernameEdit", 30, false}, Edit{"passwordEdit", 30, false}, Edit{"Edit1", 40, true},
                        Edit{"Edit4", 40, true}, Edit{"Edit3", 30, false}, Edit{"Edit2", 30, false}}) {
    auto* edit = dialog.findChild<QLineEdit*>(QString::fromLatin1(e.name));
    ASSERT_NE(edit, nullptr) << e.name;
    EXPECT_EQ(edit->isEnabled(), e.enabled) << e.name;
    for (int i = 0; i < 50; ++i) edit->insert(QStringLiteral("k"));  // keystroke by keystroke
    EXPECT_EQ(edit->text().size(), e.typingLimit) << e.name;
  }
  EXPECT_EQ(dialog.passwordEdit()->echoMode(), QLineEdit::Password);
  EXPECT_EQ(dialog.Edit2()->echoMode(), QLineEdit::Password);
  for (const char* name : {"WindowsUserChk", "CheckBox1"}) {
    auto* box = dialog.findChild<QCheckBox*>(QString::fromLatin1(name));
    ASSERT_NE(box, nullptr) << name;
    EXPECT_TRUE(box->isChecked());
    EXPECT_EQ(box->text(), QStringLiteral("使用WINDOWS 集成用户身份认证"));
  }
  EXPECT_EQ(dialog.OKBtn()->text(), QStringLiteral("确认"));
  EXPECT_TRUE(dialog.OKBtn()->isDefault());
  EXPECT_EQ(dialog.CancelBtn()->text(), QStringLiteral("取消"));
  EXPECT_EQ(dialog.findChild<QLabel*>(QStringLiteral("Label9"))->text(), QString());
}

TEST_F(DBConfigFormTest, ShowingFillsFieldsAndCatalogDefaultsStayAfterCancel) {
  settings.ConfigUser = "sa";
  settings.ConfigPassword = "pw";
  auto dialog = shown();
  EXPECT_EQ(dialog->DatabaseEdit()->text(), QStringLiteral("DAVUREVA_CONFIG"));
  EXPECT_EQ(dialog->Edit4()->text(), QStringLiteral("DAVUREVA_HISTORY"));
  EXPECT_FALSE(dialog->WindowsUserChk()->isChecked());
  EXPECT_TRUE(dialog->UsernameEdit()->isEnabled());
  EXPECT_EQ(dialog->passwordEdit()->text(), QStringLiteral("pw"));
  EXPECT_TRUE(dialog->CheckBox1()->isChecked());
  EXPECT_FALSE(dialog->Edit3()->isEnabled());
  dialog->CancelBtn()->click();
  EXPECT_EQ(dialog->result(), TDBConfigForm::kModalCancel);
  EXPECT_EQ(settings.ConfigCatalog, "DAVUREVA_CONFIG");
  EXPECT_EQ(settings.HistoryCatalog, "DAVUREVA_HISTORY");
  EXPECT_EQ(settings.ConfigUser, "sa");
}

TEST_F(DBConfigFormTest, CheckingWindowsLoginEmptiesAndDisablesTheLogin) {
  settings = Stored();
  auto dialog = shown();
  dialog->WindowsUserChk()->click();
  EXPECT_TRUE(dialog->WindowsUserChk()->isChecked());
  EXPECT_EQ(dialog->UsernameEdit()->text(), QString());
  EXPECT_EQ(dialog->passwordEdit()->text(), QString());
  EXPECT_FALSE(dialog->passwordEdit()->isEnabled());
  answers = {true, true};
  dialog->OKBtn()->click();
  ASSERT_EQ(tested.size(), 2u);
  EXPECT_EQ(tested[0].find("User ID"), std::string::npos);
  EXPECT_EQ(settings.ConfigUser, "");
  EXPECT_EQ(settings.ConfigPassword, "");
}

TEST_F(DBConfigFormTest, EmptyServersShowOnlyTheFirstMessage) {
  auto dialog = shown();
  dialog->OKBtn()->click();
  ASSERT_EQ(services.keys.size(), 1u);
  EXPECT_EQ(services.keys[0], std::vector<std::string>{"str0"});
  EXPECT_TRUE(tested.empty());
  EXPECT_EQ(dialog->result(), 0);
}

TEST_F(DBConfigFormTest, UnreachableHistoryStoresNothing) {
  settings = Stored();
  const TDBConnectionSettings before = settings;
  auto dialog = shown();
  answers = {true, false};
  dialog->OKBtn()->click();
  ASSERT_EQ(services.keys.size(), 1u);
  EXPECT_EQ(services.keys[0], std::vector<std::string>{"str11"});
  EXPECT_EQ(dialog->Label9()->text(), QStringLiteral("与数据库HIS建立连接失败！"));
  EXPECT_EQ(settings, before);
  EXPECT_TRUE(dialog->isVisible());
}

TEST_F(DBConfigFormTest, UnreachableConfigurationNamesItsCatalog) {
  settings = Stored();
  auto dialog = shown();
  dialog->OKBtn()->click();
  EXPECT_EQ(services.keys.at(0), std::vector<std::string>{"str6"});
  EXPECT_EQ(tested.size(), 1u);
  EXPECT_EQ(dialog->Label9()->text(), QStringLiteral("与数据库CFG建立连接失败！"));
}

// Each of the dialog's boxes is a plain one: its text and OK, no icon.
TEST_F(DBConfigFormTest, MessagesAreBoxesWithoutIcon) {
  struct Case {
    const char* key;
    bool stored;
    std::vector<bool> answers;
  };
  for (const Case& c : {Case{"str0", false, {}}, Case{"str6", true, {false}}, Case{"str11", true, {true, false}}}) {
    settings = c.stored ? Stored() : TDBConnectionSettings{};
    services.messages.clear();
    answers = c.answers;
    tested.clear();
    auto dialog = shown();
    dialog->OKBtn()->click();
    ASSERT_EQ(services.messages.size(), 1u) << c.key;
    EXPECT_EQ(services.messages[0].textKeys(), std::vector<std::string>{c.key});
    EXPECT_EQ(services.messages[0].icon, common::MessageIcon::None) << c.key;
  }
}

TEST_F(DBConfigFormTest, SuccessStoresTheTestedStrings) {
  settings = Stored();
  auto dialog = shown();
  answers = {true, true};
  dialog->OKBtn()->click();
  EXPECT_EQ(dialog->result(), TDBConfigForm::kModalOk);
  EXPECT_TRUE(services.keys.empty());
  EXPECT_EQ(dialog->Label9()->text(), QString());
  EXPECT_EQ(settings.ConfigConnectionString,
            "Provider=SQLOLEDB.1;Persist Security Info=False;User ID=sa;Password=pw;Initial Catalog=CFG;"
            "Data Source=cfghost");
  EXPECT_EQ(settings.HistoryConnectionString,
            "Provider=SQLOLEDB.1;Integrated Security=SSPI;Persist Security Info=False;Initial Catalog=HIS;"
            "Data Source=histhost;");
  EXPECT_EQ(settings.ConfigUser, "sa");
  EXPECT_EQ(settings.HistoryServer, "histhost");
}

// The limits are on typing: settings stored longer (contp.dat holds up to
// 255 characters) are shown, tested and stored again whole.
TEST_F(DBConfigFormTest, LongStoredSettingsAreShownTestedAndKeptWhole) {
  settings = Stored();
  settings.ConfigServer = std::string(45, 's');
  settings.ConfigCatalog = std::string(41, 'c');
  settings.ConfigUser = std::string(35, 'u');
  settings.ConfigPassword = std::string(35, 'p');
  settings.HistoryServer = std::string(255, 'h');
  // 100 Chinese characters: 200 bytes in contp.dat, 300 in UTF-8.
  settings.HistoryCatalog.clear();
  for (int i = 0; i < 100; ++i) settings.HistoryCatalog += "库";
  settings.HistoryUser = std::string(31, 'v');
  settings.HistoryPassword = std::string(31, 'q');
  const TDBConnectionSettings before = settings;
  auto dialog = shown();
  EXPECT_EQ(dialog->DatasourceEdit()->text().toStdString(), before.ConfigServer);
  EXPECT_EQ(dialog->DatabaseEdit()->text().toStdString(), before.ConfigCatalog);
  EXPECT_EQ(dialog->UsernameEdit()->text().toStdString(), before.ConfigUser);
  EXPECT_EQ(dialog->passwordEdit()->text().toStdString(), before.ConfigPassword);
  EXPECT_EQ(dialog->Edit1()->text().toStdString(), before.HistoryServer);
  EXPECT_EQ(dialog->Edit3()->text().toStdString(), before.HistoryUser);
  EXPECT_EQ(dialog->Edit2()->text().toStdString(), before.HistoryPassword);
  dialog->passwordEdit()->insert(QStringLiteral("x"));  // typing does not lengthen it
  EXPECT_EQ(dialog->passwordEdit()->text().toStdString(), before.ConfigPassword);

  answers = {true, true};
  dialog->OKBtn()->click();
  ASSERT_EQ(dialog->result(), TDBConfigForm::kModalOk);
  ASSERT_EQ(tested.size(), 2u);
  EXPECT_NE(tested[0].find("User ID=" + before.ConfigUser + ";Password=" + before.ConfigPassword + ";"
                           "Initial Catalog=" + before.ConfigCatalog + ";Data Source=" + before.ConfigServer),
            std::string::npos)
      << tested[0];
  EXPECT_NE(tested[1].find("Data Source=" + before.HistoryServer + ";"), std::string::npos) << tested[1];
  TDBConnectionSettings stored = settings;
  stored.ConfigConnectionString = stored.HistoryConnectionString = "";
  EXPECT_EQ(stored, before);
}

// contp.dat holds GBK: a character outside it would be stored as "?" and
// the next load would fail with a text that was never tested.
TEST_F(DBConfigFormTest, ACharacterGbkCannotHoldIsRefusedWithTheFieldsName) {
  struct Case {
    QLineEdit* (TDBConfigForm::*edit)() const;
    const char* name;
  };
  const Case cases[] = {
      {&TDBConfigForm::passwordEdit, "配置数据库 口令"},
      {&TDBConfigForm::DatabaseEdit, "配置数据库 数据库名称"},
      {&TDBConfigForm::Edit3, "历史数据库 登录用户名"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    settings = Stored();
    settings.HistoryUser = "hu";
    const TDBConnectionSettings before = settings;
    services.messages.clear();
    tested.clear();
    auto dialog = shown();
    (dialog.get()->*c.edit)()->setText(QStringLiteral("p\u00e4"));  // pä
    answers = {true, true};
    dialog->OKBtn()->click();
    ASSERT_EQ(services.messages.size(), 1u);
    EXPECT_EQ(common::ResolveText(services.messages[0], common::BuiltInText),
              std::string(c.name) + "中含有GBK字符集之外的字符，无法保存，请修改后重新输入！");
    EXPECT_TRUE(tested.empty()) << "no connection test";
    EXPECT_NE(dialog->result(), TDBConfigForm::kModalOk);
    EXPECT_EQ(settings, before);
  }
}

TEST_F(DBConfigFormTest, CloseBoxCancelsAndKeepsTheSettings) {
  settings = Stored();
  const TDBConnectionSettings before = settings;
  auto dialog = shown();
  dialog->DatasourceEdit()->setText(QStringLiteral("typed"));
  dialog->close();
  EXPECT_EQ(dialog->result(), TDBConfigForm::kModalCancel);
  EXPECT_TRUE(tested.empty());
  EXPECT_EQ(settings, before);
}

// The dialog the database menu gets, its tests made against the stand-in servers.
TEST_F(DBConfigFormTest, MenuDialogTestsTheRealConnections) {
  querytest::StandIn standIn;
  standIn.config12();
  standIn.history12();
  settings.ConfigServer = settings.HistoryServer = "pq";
  settings.ConfigCatalog = querytest::StandIn::kConfig12;
  settings.HistoryCatalog = querytest::StandIn::kHistory12;

  const std::unique_ptr<TDBConfigForm> dialog = MakeDBConfigForm(settings, services, nullptr, engine);
  dialog->show();
  dialog->Edit1()->setText(QStringLiteral("nowhere"));  // a server that does not answer
  dialog->OKBtn()->click();
  EXPECT_EQ(services.keys, std::vector<std::vector<std::string>>{{"str11"}});
  EXPECT_TRUE(dialog->isVisible());
  EXPECT_EQ(settings.HistoryServer, "pq");

  dialog->Edit1()->setText(QStringLiteral("pq"));
  dialog->OKBtn()->click();
  EXPECT_EQ(dialog->result(), TDBConfigForm::kModalOk);
  EXPECT_EQ(settings.HistoryConnectionString,
            "Provider=SQLOLEDB.1;Integrated Security=SSPI;Persist Security Info=False;Initial Catalog=QHISTORY;"
            "Data Source=pq;");
}

TEST(DBConfigConnection, BadStringIsNoAnswer) {
  EXPECT_FALSE(OpenAndCloseConnection(""));
  EXPECT_FALSE(OpenAndCloseConnection("Provider=NoSuchProvider;Data Source=x"));
}

}  // namespace
}  // namespace stationdb
