#include "stationdb/select/dbconfig_logic.h"

#include <gtest/gtest.h>

namespace stationdb {
namespace {

DBGroupFields Filled() { return {"srv", "cat", "", "", true}; }

TEST(DBConfigLogic, FirstEmptyNameFieldInOrder) {
  struct Case {
    DBGroupFields config;
    DBGroupFields history;
    std::optional<std::string> key;
  };
  const DBGroupFields none{};
  const std::vector<Case> cases{
      {none, none, "str0"},
      {{"s", "", "", "", true}, none, "str1"},
      {Filled(), none, "str2"},
      {Filled(), {"s", "", "", "", true}, "str3"},
      {Filled(), Filled(), std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(FirstEmptyNameKey(c.config, c.history), c.key);
}

TEST(DBConfigLogic, TestStringsDifferInTheirEnd) {
  DBGroupFields group{"host", "DB", "sa", "pw", false};
  EXPECT_EQ(ConfigTestString(group),
            "Provider=SQLOLEDB.1;Persist Security Info=False;User ID=sa;Password=pw;Initial Catalog=DB;Data Source=host");
  EXPECT_EQ(HistoryTestString(group),
            "Provider=SQLOLEDB.1;Persist Security Info=False;User ID=sa;Password=pw;Initial Catalog=DB;Data Source=host;");
  group.WindowsUser = true;  // a user left in the fields is not used
  EXPECT_EQ(ConfigTestString(group),
            "Provider=SQLOLEDB.1;Integrated Security=SSPI;Persist Security Info=False;Initial Catalog=DB;Data Source=host");
}

TEST(DBConfigLogic, ValueWithSemicolonCannotAddKeywords) {
  const DBGroupFields group{"host", "DB", "sa", "x;Data Source=evil", false};
  EXPECT_EQ(ConfigTestString(group).find("Password=x;"), std::string::npos);
}

TEST(DBConfigLogic, EmptyUserMeansWindowsLogin) {
  DBGroupFields group{"s", "c", "", "secret", false};
  NormaliseLogin(group);
  EXPECT_TRUE(group.WindowsUser);
  EXPECT_EQ(group.Password, "");
  DBGroupFields named{"s", "c", "u", "p", false};
  NormaliseLogin(named);
  EXPECT_FALSE(named.WindowsUser);
  EXPECT_EQ(named.Password, "p");
}

TEST(DBConfigLogic, CatalogDefaultsFillOnlyEmptySettings) {
  TDBConnectionSettings settings;
  settings.HistoryCatalog = "H";
  ApplyDialogCatalogDefaults(settings);
  EXPECT_EQ(settings.ConfigCatalog, "DAVUREVA_CONFIG");
  EXPECT_EQ(settings.HistoryCatalog, "H");
  settings.HistoryCatalog.clear();
  ApplyDialogCatalogDefaults(settings);
  EXPECT_EQ(settings.HistoryCatalog, "DAVUREVA_HISTORY");
}

TEST(DBConfigLogic, CutCountsTheGbkBytesContpDatHolds) {
  const auto repeat = [](std::string_view piece, int n) {
    std::string text;
    for (int i = 0; i < n; ++i) text += piece;
    return text;
  };
  struct Case {
    const char* name;
    std::string text;
    std::string kept;
  };
  const Case cases[] = {
      {"short", "abc", "abc"},
      {"300 letters", std::string(300, 'a'), std::string(255, 'a')},
      // 200 GBK bytes (600 bytes of UTF-8) fit whole.
      {"100 Chinese characters", repeat("库", 100), repeat("库", 100)},
      {"128 Chinese characters", repeat("库", 128), repeat("库", 127)},
      {"a letter and 127 characters", "a" + repeat("库", 127), "a" + repeat("库", 127)},
      {"a letter and 128 characters", "a" + repeat("库", 128), "a" + repeat("库", 127)},
  };
  for (const Case& c : cases) EXPECT_EQ(CutSetting(c.text), c.kept) << c.name;
}

TEST(DBConfigLogic, FindsTheFirstFieldGbkCannotHold) {
  struct Case {
    DBGroupFields group;
    std::optional<DBField> field;
  };
  const Case cases[] = {
      {{"服务器", "库", "用户", "口令;{}", false}, std::nullopt},
      {{"s", "c", "u", "p\xc3\xa4", false}, DBField::Password},      // pä
      {{"s", "c", "\xc2\xb0", "p", false}, std::nullopt},          // ° is in GBK
      {{"s", "\xf0\x9f\x98\x80", "u\xc3\xa4", "", false}, DBField::Catalog},
      {{"\xea\xb0\x80", "c", "", "", true}, DBField::Server},     // a Hangul syllable
  };
  for (const Case& c : cases) EXPECT_EQ(FirstFieldOutsideGbk(c.group), c.field) << c.group.Password;
  const common::UserMessage refusal = OutsideGbkMessage("配置数据库 口令");
  EXPECT_EQ(common::ResolveText(refusal, common::BuiltInText),
            "配置数据库 口令中含有GBK字符集之外的字符，无法保存，请修改后重新输入！");
  EXPECT_EQ(refusal.textKeys(), std::vector<std::string>{"str14"});
  EXPECT_EQ(refusal.icon, common::MessageIcon::None);
}

TEST(DBConfigLogic, SettingsTakeFieldsAndStrings) {
  const DBGroupFields config{"cs", "cc", "cu", "cp", false};
  const DBGroupFields history{"hs", "hc", "", "", true};
  const TDBConnectionSettings s = SettingsFromFields(config, history, "A", std::string(300, 'b'));
  EXPECT_EQ(s.ConfigServer, "cs");
  EXPECT_EQ(s.ConfigCatalog, "cc");
  EXPECT_EQ(s.ConfigConnectionString, "A");
  EXPECT_EQ(s.ConfigUser, "cu");
  EXPECT_EQ(s.ConfigPassword, "cp");
  EXPECT_EQ(s.HistoryServer, "hs");
  EXPECT_EQ(s.HistoryCatalog, "hc");
  EXPECT_EQ(s.HistoryConnectionString.size(), 255u);
  EXPECT_EQ(s.HistoryUser, "");
}

TEST(DBConfigLogic, StatusNamesTheCatalog) {
  const common::UserMessage status = DBConfigStatus("str7", "DB", "str8");
  ASSERT_EQ(status.text.size(), 3u);
  EXPECT_EQ(status.text[0].defaultText, "与数据库");
  EXPECT_EQ(status.text[1].defaultText, "DB");
  EXPECT_EQ(status.text[2].defaultText, "建立连接失败！");
  EXPECT_EQ(status.section, "Strings_DBConfigDlg");
}

}  // namespace
}  // namespace stationdb
