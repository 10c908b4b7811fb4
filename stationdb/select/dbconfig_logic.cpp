#include "stationdb/select/dbconfig_logic.h"

#include <array>
#include <utility>

#include "common/gbk.h"
#include "stationdb/core/rptdb.h"

namespace stationdb {
namespace {

struct KeyText {
  std::string_view key;
  std::string_view text;
};

constexpr std::array<KeyText, 15> kTexts{{
    {"str0", "配置数据库服务器名称不能为空！"},
    {"str1", "配置数据库名称不能为空！"},
    {"str2", "历史数据库服务器名称不能为空！"},
    {"str3", "历史数据库名称不能为空！"},
    {"str4", "正在测试连接数据库"},
    {"str5", "，请稍候......"},
    {"str6", "配置数据库连接出错，请检查后重新输入！"},
    {"str7", "与数据库"},
    {"str8", "建立连接失败！"},
    {"str9", "正在测试连接数据库"},
    {"str10", "，请稍候......"},
    {"str11", "历史数据库连接出错，请检查后重新输入"},
    {"str12", "与数据库"},
    {"str13", "建立连接失败！"},
    {"str14", "中含有GBK字符集之外的字符，无法保存，请修改后重新输入！"},
}};

common::TextPiece Piece(std::string key) {
  for (const KeyText& entry : kTexts)
    if (entry.key == key) return {std::move(key), std::string(entry.text)};
  return {std::move(key), std::string()};
}

// The dialog's boxes show their text and OK button without an icon.
common::UserMessage Plain(std::vector<common::TextPiece> pieces) {
  return {std::string(kDBConfigSection), std::move(pieces), common::TextPiece::literal(std::string(common::kDefaultCaption)),
          common::MessageIcon::None};
}

}  // namespace

common::UserMessage DBConfigMessage(std::string key) { return Plain({Piece(std::move(key))}); }

common::UserMessage DBConfigStatus(std::string prefixKey, std::string_view catalog, std::string suffixKey) {
  return Plain({Piece(std::move(prefixKey)), common::TextPiece::literal(std::string(catalog)),
                Piece(std::move(suffixKey))});
}

std::optional<std::string> FirstEmptyNameKey(const DBGroupFields& config, const DBGroupFields& history) {
  const std::array<std::pair<const std::string*, const char*>, 4> fields{{
      {&config.Server, "str0"}, {&config.Catalog, "str1"}, {&history.Server, "str2"}, {&history.Catalog, "str3"}}};
  for (const auto& [text, key] : fields)
    if (text->empty()) return std::string(key);
  return std::nullopt;
}

void NormaliseLogin(DBGroupFields& group) {
  if (!group.User.empty()) return;
  group.Password.clear();
  group.WindowsUser = true;
}

std::string ConfigTestString(const DBGroupFields& config) {
  // Windows log-in passes no user, which gives the integrated-security form.
  return config.WindowsUser ? BuildConnectionString(config.Server, config.Catalog, "", "")
                            : BuildConnectionString(config.Server, config.Catalog, config.User, config.Password);
}

std::string HistoryTestString(const DBGroupFields& history) { return ConfigTestString(history) + ";"; }

void ApplyDialogCatalogDefaults(TDBConnectionSettings& settings) {
  if (settings.ConfigCatalog.empty()) settings.ConfigCatalog = kDialogConfigCatalog;
  if (settings.HistoryCatalog.empty()) settings.HistoryCatalog = kDialogHistoryCatalog;
}

std::string CutSetting(std::string_view text) {
  // contp.dat stores each setting as at most 255 bytes of code page 936.
  const std::string gbk = common::Utf8ToGbk(text);
  if (gbk.size() <= kMaxSettingLength) return std::string(text);
  std::size_t end = 0;
  while (end < gbk.size()) {
    const auto lead = static_cast<unsigned char>(gbk[end]);
    const std::size_t step = lead >= 0x81 && lead <= 0xFE ? 2 : 1;
    if (end + step > kMaxSettingLength) break;
    end += step;
  }
  return common::GbkToUtf8(std::string_view(gbk).substr(0, end));
}

bool FitsGbk(std::string_view text) { return common::GbkToUtf8(common::Utf8ToGbk(text)) == text; }

std::optional<DBField> FirstFieldOutsideGbk(const DBGroupFields& group) {
  const std::array<std::pair<const std::string*, DBField>, 4> fields{{{&group.Server, DBField::Server},
                                                                      {&group.Catalog, DBField::Catalog},
                                                                      {&group.User, DBField::User},
                                                                      {&group.Password, DBField::Password}}};
  for (const auto& [text, field] : fields)
    if (!FitsGbk(*text)) return field;
  return std::nullopt;
}

common::UserMessage OutsideGbkMessage(std::string_view fieldName) {
  return Plain({common::TextPiece::literal(std::string(fieldName)), Piece("str14")});
}

TDBConnectionSettings SettingsFromFields(const DBGroupFields& config, const DBGroupFields& history,
                                         std::string_view configString, std::string_view historyString) {
  TDBConnectionSettings settings;
  settings.ConfigServer = CutSetting(config.Server);
  settings.ConfigCatalog = CutSetting(config.Catalog);
  settings.ConfigConnectionString = CutSetting(configString);
  settings.ConfigUser = CutSetting(config.User);
  settings.ConfigPassword = CutSetting(config.Password);
  settings.HistoryServer = CutSetting(history.Server);
  settings.HistoryCatalog = CutSetting(history.Catalog);
  settings.HistoryConnectionString = CutSetting(historyString);
  settings.HistoryUser = CutSetting(history.User);
  settings.HistoryPassword = CutSetting(history.Password);
  return settings;
}

}  // namespace stationdb
