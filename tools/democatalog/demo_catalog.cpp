#include "tools/democatalog/demo_catalog.h"

#include <fmt/format.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <numbers>
#include <stdexcept>
#include <string_view>
#include <system_error>
#include <vector>

#include "clientif/cachefiles.h"
#include "common/gbk.h"
#include "stationdb/core/dbconfig.h"
#include "stationdb/db/value.h"
#include "stationdb/db/sqliteprovider.h"
#include "stationdb/records/records.h"
#include "stationdb/tree/nodetypes.h"
#include "stationdb/tree/security.h"
#include "tools/recordgen/record_writer.h"

namespace demo {
namespace {

namespace fs = std::filesystem;
using db::DataType;
using db::Direction;
using db::SqliteCatalog;

constexpr std::string_view kAutomationServer = "main";
constexpr std::string_view kSuffix = "1";
constexpr std::string_view kPowerQualityServer = "pq";
constexpr std::string_view kPowerQualityConfig = "QORVA_CONFIG";
constexpr std::string_view kPowerQualityHistory = "QORVA_HISTORY";
constexpr std::uint32_t kPowerQualityAppID = 3050;
// davureva.ini: the record kinds whose codes name the power-quality channels
// (a row's kind word 1 to 3 names its phase).
constexpr std::string_view kWaveKinds =
    "[WAVEFORM]\r\nSAGSWELL=A相电压=1;B相电压=2;C相电压=3;\r\nTRANSIENT=暂态电流=4;\r\nSETPOING=越限电压=5;\r\n";

std::string hexLiteral(const std::vector<std::uint8_t>& bytes) {
  std::string out = "X'";
  for (const std::uint8_t b : bytes) out += fmt::format("{:02X}", b);
  return out + "'";
}

// A text literal of exactly these bytes (GBK included).
std::string sqlText(std::string_view text) {
  return "CAST(" + hexLiteral(std::vector<std::uint8_t>(text.begin(), text.end())) + " AS TEXT)";
}

std::string gbk(std::string_view utf8) { return common::Utf8ToGbk(utf8); }

// Little-endian fields of a stored blob.
class Blob {
 public:
  Blob& u8(std::uint8_t v) { return word(v, 1); }
  Blob& u16(std::uint16_t v) { return word(v, 2); }
  Blob& u32(std::uint32_t v) { return word(v, 4); }
  Blob& i32(std::int32_t v) { return word(static_cast<std::uint32_t>(v), 4); }
  Blob& f64(double v) { return word(std::bit_cast<std::uint64_t>(v), 8); }
  Blob& text(std::string_view t) {
    bytes_.insert(bytes_.end(), t.begin(), t.end());
    return *this;
  }
  Blob& str(std::string_view t) { return u32(static_cast<std::uint32_t>(t.size())).text(t); }
  Blob& time(const stationdb::TSystemTime& t) {
    return u16(t.wYear).u16(t.wMonth).u16(t.wDayOfWeek).u16(t.wDay).u16(t.wHour).u16(t.wMinute).u16(t.wSecond).u16(
        t.wMilliseconds);
  }
  const std::vector<std::uint8_t>& bytes() const { return bytes_; }
  std::vector<std::uint8_t> complemented() const {
    std::vector<std::uint8_t> out = bytes_;
    for (auto& b : out) b = static_cast<std::uint8_t>(~b);
    return out;
  }

 private:
  Blob& word(std::uint64_t v, int size) {
    for (int i = 0; i < size; ++i) bytes_.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    return *this;
  }
  std::vector<std::uint8_t> bytes_;
};

struct Node {
  std::uint32_t type;
  std::uint32_t id;
  std::uint32_t parentType;
  std::uint32_t parentID;
  std::string name;  // as stored (GBK)
  std::vector<std::uint8_t> data;
};

struct DemoUser {
  std::uint32_t id;
  const char* name;
  const char* password;
  const char* remark;
  std::vector<stationdb::TLoginRule> rules;
};

stationdb::TSystemTime timeOfDay(int hour, int minute, int second) {
  stationdb::TSystemTime t{};
  t.wHour = static_cast<std::uint16_t>(hour);
  t.wMinute = static_cast<std::uint16_t>(minute);
  t.wSecond = static_cast<std::uint16_t>(second);
  return t;
}

stationdb::TSystemTime date(int year, int month, int day) {
  stationdb::TSystemTime t{};
  t.wYear = static_cast<std::uint16_t>(year);
  t.wMonth = static_cast<std::uint16_t>(month);
  t.wDay = static_cast<std::uint16_t>(day);
  return t;
}

// admin at any time; operator by a daily rule that covers the whole day;
// guest only in a period that has ended.
std::vector<DemoUser> demoUsers() {
  return {
      {1, kAdminUser, kAdminPassword, "系统管理员", {}},
      {2, kOperatorUser, kOperatorPassword, "运行值班员",
       {{stationdb::kRuleDailyHours, timeOfDay(0, 0, 0), timeOfDay(23, 59, 59)}}},
      {3, kExpiredUser, kExpiredPassword, "临时用户",
       {{stationdb::kRulePeriod, date(2020, 1, 1), date(2020, 12, 31)}}},
  };
}

// Remark and password; the power-quality database also stores the disabled
// flag, a word and the log-in rules, all complemented.
std::vector<std::uint8_t> userBlob(const DemoUser& user, bool powerQuality) {
  Blob b;
  b.str(gbk(user.remark)).str(user.password);
  if (!powerQuality) return b.bytes();
  b.u8(0).u32(0).i32(static_cast<std::int32_t>(user.rules.size()));
  for (const auto& rule : user.rules) b.u32(rule.Kind).time(rule.StartTime).time(rule.EndTime);
  return b.complemented();
}

// A right with the users who hold it.
std::vector<std::uint8_t> rightBlob(std::string_view remark, const std::vector<std::uint32_t>& users,
                                    bool powerQuality) {
  Blob b;
  b.str(gbk(remark)).i32(static_cast<std::int32_t>(users.size()));
  for (const std::uint32_t id : users) b.u32(id);
  return powerQuality ? b.complemented() : b.bytes();
}

void createTreeTable(SqliteCatalog& catalog, bool powerQuality) {
  if (powerQuality)
    catalog.exec(
        "CREATE TABLE S_QORVA_5(NodeType INTEGER, NodeID INTEGER, ParentNodeID INTEGER, NodeName TEXT,"
        " V4 INTEGER, V5 INTEGER, V6 INTEGER, DataLength INTEGER, NodeData BLOB, ParentNodeType INTEGER)");
  else
    catalog.exec(
        "CREATE TABLE PC_TB_05(NodeType INTEGER, NodeID INTEGER, ParentNodeID INTEGER, NodeName TEXT,"
        " V4 INTEGER, V5 INTEGER, V6 INTEGER, Note TEXT, DataLength INTEGER, NodeData BLOB,"
        " ParentNodeType INTEGER)");
}

void insertNodes(SqliteCatalog& catalog, bool powerQuality, const std::vector<Node>& nodes) {
  for (const Node& n : nodes) {
    const std::string head = fmt::format("{}, {}, {}, {}, 0, 0, 0", n.type, n.id, n.parentID, sqlText(n.name));
    if (powerQuality)
      catalog.exec(fmt::format("INSERT INTO S_QORVA_5 VALUES({}, {}, {}, {})", head, n.data.size(),
                               hexLiteral(n.data), n.parentType));
    else
      catalog.exec(fmt::format("INSERT INTO PC_TB_05 VALUES({}, '', {}, {}, {})", head, n.data.size(),
                               hexLiteral(n.data), n.parentType));
  }
}

// SP_24: the server's time, the computer's local time here.
void defineServerTime(SqliteCatalog& catalog) {
  catalog.defineProcedure("SP_24",
                          {{"@RETURN_VALUE", DataType::Integer, Direction::ReturnValue},
                           {"@DT", DataType::DateTime, Direction::Output}},
                          "SELECT 0 AS \"@RETURN_VALUE\","
                          " strftime('%Y-%m-%d %H:%M:%f', 'now', 'localtime') AS \"@DT\"");
}

// PD_SP_16: the event log of the automation system.
void defineEventLog(SqliteCatalog& catalog) {
  catalog.exec(
      "CREATE TABLE EventLog(Type INTEGER, Byte INTEGER, CanCancel INTEGER, UserID INTEGER,"
      " Description TEXT, Memo TEXT, DataLength INTEGER, Data BLOB, Logged DATETIME)");
  catalog.defineProcedure(
      "PD_SP_16",
      {{"@RETURN_VALUE", DataType::Integer, Direction::ReturnValue},
       {"@Type", DataType::Integer, Direction::Input},
       {"@Byte", DataType::Integer, Direction::Input},
       {"@CanCancel", DataType::Boolean, Direction::Input},
       {"@UserID", DataType::Integer, Direction::Input},
       {"@Description", DataType::Text, Direction::Input},
       {"@Memo", DataType::Text, Direction::Input},
       {"@datalength", DataType::Integer, Direction::Input},
       {"@Data", DataType::Binary, Direction::Input}},
      "INSERT INTO EventLog VALUES(@Type, @Byte, @CanCancel, @UserID, @Description, @Memo, @datalength, @Data,"
      " datetime('now', 'localtime'));"
      "SELECT 0 AS \"@RETURN_VALUE\"");
}

// RC_W_1: the stored waveform records of a station, channel or meter in a time range.
void defineWaveQuery(SqliteCatalog& catalog, bool powerQuality) {
  if (powerQuality)
    catalog.exec(
        "CREATE TABLE Waves(SerialNo INTEGER, StationID INTEGER, ChannelID INTEGER, MeterID INTEGER,"
        " TriggerTime DATETIME, Millisecond INTEGER, Unused INTEGER, Kind INTEGER, Wave BLOB)");
  else
    catalog.exec(
        "CREATE TABLE Waves(SerialNo INTEGER, TriggerTime DATETIME, Millisecond INTEGER, StationID INTEGER,"
        " ChannelID INTEGER, MeterID INTEGER, AuxValue INTEGER, Kind INTEGER, Unused TEXT, Wave BLOB)");
  catalog.defineProcedure(
      "RC_W_1",
      {{"@stationid", DataType::Integer, Direction::Input},
       {"@channelid", DataType::Integer, Direction::Input},
       {"@meterid", DataType::Integer, Direction::Input},
       {"@begintm", DataType::DateTime, Direction::Input},
       {"@endtm", DataType::DateTime, Direction::Input}},
      "SELECT * FROM Waves WHERE (@stationid IS NULL OR StationID = @stationid)"
      " AND (@channelid IS NULL OR ChannelID = @channelid) AND (@meterid IS NULL OR MeterID = @meterid)"
      " AND (@begintm IS NULL OR TriggerTime >= @begintm) AND (@endtm IS NULL OR TriggerTime <= @endtm)"
      " ORDER BY rowid");
}

// --- the automation system (record source 21) ------------------------------------

struct AutomationRecord {
  int serial;
  const char* time;  // "yyyy-mm-dd hh:nn:ss"
  int millisecond;
  std::uint32_t station, channel, meter;
  recordgen::RecordSpec spec;
};

recordgen::RecordSpec automationSpec(const char* station, int analog, int digital, double faultStart) {
  recordgen::RecordSpec spec;
  spec.station = station;
  spec.device = "recorder";
  spec.analog = analog;
  spec.digital = digital;
  spec.rates = {{1600, 480}};  // 32 samples a cycle, 15 cycles
  spec.faultStart = faultStart;
  spec.chineseNames = true;
  return spec;
}

void writeAutomation(const fs::path& servers) {
  const fs::path server = servers / kAutomationServer;
  {
    SqliteCatalog config(db::SqliteCatalogFile(server, fmt::format("velkora_config_{}", kSuffix)));
    createTreeTable(config, false);
    using namespace stationdb;
    std::vector<Node> nodes = {
        {kUsersType21, kUsersType21, kSecurityRootType21, kSecurityRootType21, gbk("用户"), {}},
        {kAuthoritiesType21, kAuthoritiesType21, kSecurityRootType21, kSecurityRootType21, gbk("权限"), {}},
        {kAuthorityType21, 1, kAuthoritiesType21, kAuthoritiesType21, gbk("浏览录波"),
         rightBlob("查看历史录波", {1, 2}, false)},
        // The record query takes a channel's parent for its station.
        {kStationType21, 1, kSystemMeasurePointType21, kSystemMeasurePointType21, gbk("一号变电站"), {}},
        {kChannelType21, 101, kStationType21, 1, gbk("1号主变"), {}},
        {kMeterType21, 1001, kChannelType21, 101, gbk("主变故障录波"), {}},
        {kChannelType21, 102, kStationType21, 1, gbk("110kV进线"), {}},
        {kMeterType21, 1002, kChannelType21, 102, gbk("进线故障录波"), {}},
        {kStationType21, 2, kSystemMeasurePointType21, kSystemMeasurePointType21, gbk("二号变电站"), {}},
        {kChannelType21, 201, kStationType21, 2, gbk("10kV母线"), {}},
        {kMeterType21, 2001, kChannelType21, 201, gbk("母线录波"), {}},
    };
    for (const DemoUser& user : demoUsers())
      nodes.push_back({kUserType21, user.id, kUsersType21, kUsersType21, user.name, userBlob(user, false)});
    insertNodes(config, false, nodes);
    defineServerTime(config);
  }
  SqliteCatalog history(db::SqliteCatalogFile(server, fmt::format("velkora_DATA_{}", kSuffix)));
  defineEventLog(history);
  defineServerTime(history);
  defineWaveQuery(history, false);
  const AutomationRecord records[] = {
      {1, "2026-12-01 10:20:30", 400, 1, 101, 1001, automationSpec("一号变电站", 6, 4, 0.4)},
      {2, "2026-12-03 08:15:02", 120, 1, 101, 1001, automationSpec("一号变电站", 6, 4, 0.6)},
      {3, "2026-12-02 22:41:10", 5, 1, 102, 1002, automationSpec("一号变电站", 3, 2, 0.3)},
      {4, "2026-12-05 14:00:00", 0, 2, 201, 2001, automationSpec("二号变电站", 4, 0, -1)},
  };
  for (const AutomationRecord& r : records) {
    // One row with the whole record: its kind word 0 keeps the stored files as they are.
    const std::string cfg = recordgen::CfgText(r.spec);
    const std::string dat = recordgen::DatBytes(r.spec);
    Blob blob;
    blob.u32(static_cast<std::uint32_t>(cfg.size())).text(cfg).u32(0).text(dat);
    history.exec(fmt::format("INSERT INTO Waves VALUES({}, '{}.000', {}, {}, {}, {}, 0, 0, '', {})", r.serial,
                             r.time, r.millisecond, r.station, r.channel, r.meter,
                             hexLiteral(blob.bytes())));
  }
}

// --- the power-quality database (record source 12) ------------------------------

// One channel of a power-quality record: "32x1" gives 32 samples a cycle.
std::vector<std::uint8_t> powerQualityChannel(std::uint16_t number, double amplitude, double phase, double sag) {
  constexpr int kPerCycle = 32;
  constexpr int kCycles = 20;
  Blob b;
  b.u32(0).u32(0).u16(number).str(fmt::format("{}x{}", kPerCycle, number)).u32(0).f64(0).f64(0).f64(0.01);
  b.u32(kPerCycle * kCycles);
  for (int k = 0; k < kPerCycle * kCycles; ++k) {
    const double depth = (k >= 6 * kPerCycle && k < 14 * kPerCycle) ? sag : 1.0;
    b.i32(static_cast<std::int32_t>(
        std::lround(amplitude * depth * std::sin(2 * std::numbers::pi * k / kPerCycle + phase))));
  }
  return b.bytes();
}

void writePowerQuality(const fs::path& servers) {
  const fs::path server = servers / kPowerQualityServer;
  {
    SqliteCatalog config(db::SqliteCatalogFile(server, kPowerQualityConfig));
    createTreeTable(config, true);
    using namespace stationdb;
    std::vector<Node> nodes = {
        {kUsersType12, kUsersID12, kSecurityRootType12, kSecurityRootID12, gbk("用户"), {}},
        {kAuthoritiesType12, 1043, kSecurityRootType12, kSecurityRootID12, gbk("权限"), {}},
        {kAuthorityType12, 1, kAuthoritiesType12, 1043, gbk("浏览录波"),
         rightBlob("查看电能质量录波", {1, 2}, true)},
        {kStationRootType12, 1, kStationRootType12, kStationRootID12, gbk("一号变电站"), {}},
        {kChannelType12, 7, kStationRootType12, 1, gbk("10kV I段母线"), {}},
        {kMeterType12, 70, kChannelType12, 7, gbk("I段电能质量监测"), {}},
        {kStationRootType12, 2, kStationRootType12, kStationRootID12, gbk("二号变电站"), {}},
        {kChannelType12, 8, kStationRootType12, 2, gbk("35kV母线"), {}},
        {kMeterType12, 80, kChannelType12, 8, gbk("35kV电能质量监测"), {}},
    };
    for (const DemoUser& user : demoUsers())
      nodes.push_back({kUserType12, user.id, kUsersType12, kUsersID12, user.name, userBlob(user, true)});
    insertNodes(config, true, nodes);
    defineServerTime(config);
  }
  SqliteCatalog history(db::SqliteCatalogFile(server, kPowerQualityHistory));
  defineServerTime(history);
  defineWaveQuery(history, true);
  // The record query asks for the channels of the station tree's root.
  struct Row {
    int serial;
    std::uint32_t channel, meter;
    const char* time;
    int millisecond;
    double sag;
  };
  const Row rows[] = {{1, 7, 70, "2026-12-01 10:20:30", 400, 0.55},
                      {2, 7, 70, "2026-12-04 16:02:11", 250, 0.8},
                      {3, 8, 80, "2026-12-02 09:30:00", 0, 0.7}};
  for (const Row& r : rows) {
    // Rows of the same ids and time are the channels of one record.
    for (std::uint16_t phase = 0; phase < 3; ++phase)
      history.exec(fmt::format("INSERT INTO Waves VALUES({}, {}, {}, {}, '{}.000', {}, 0, {}, {})", r.serial,
                               stationdb::kStationRootID12, r.channel, r.meter, r.time, r.millisecond, phase + 1,
                               hexLiteral(powerQualityChannel(static_cast<std::uint16_t>(phase + 1), 8000,
                                                              -2 * std::numbers::pi * phase / 3, r.sag))));
  }
}

void writeFile(const fs::path& file, std::string_view bytes) {
  fs::create_directories(file.parent_path());
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out.flush()) throw std::runtime_error("cannot write " + file.string());
}

}  // namespace

std::string DemoFolders::providerMapping() const { return "SQLOLEDB.1=sqlite:" + servers.string(); }

DemoFolders DemoFoldersIn(const fs::path& folder) {
  return {folder / "servers", folder / "velklog2", folder / "settings"};
}

DemoFolders WriteDemoCatalogs(const fs::path& folder, const fs::path& kindsFolder) {
  const DemoFolders folders = DemoFoldersIn(folder);
  std::error_code ec;
  fs::remove_all(folders.servers, ec);
  writeAutomation(folders.servers);
  writePowerQuality(folders.servers);

  // The automation system's connection texts, read through the client library.
  velk::TDBConnInfo texts;
  texts.suffix = kSuffix;
  texts.main = fmt::format("Provider=SQLOLEDB.1;Data Source={}", kAutomationServer);
  writeFile(folders.velklog2Home / velk::kDbConnFile, velk::MakeDbConnBytes(texts));

  // The power-quality database's settings, as the database settings dialog stores them.
  stationdb::TDBConnectionSettings settings;
  settings.ConfigServer = settings.HistoryServer = kPowerQualityServer;
  settings.ConfigCatalog = kPowerQualityConfig;
  settings.HistoryCatalog = kPowerQualityHistory;
  fs::create_directories(folders.settings);
  if (!stationdb::WriteDBLoginInfo(folders.settings / "contp.dat", kPowerQualityAppID, settings))
    throw std::runtime_error("cannot write " + (folders.settings / "contp.dat").string());

  const fs::path kinds = kindsFolder / "davureva.ini";
  if (!fs::exists(kinds)) writeFile(kinds, gbk(kWaveKinds));
  return folders;
}

}  // namespace demo
