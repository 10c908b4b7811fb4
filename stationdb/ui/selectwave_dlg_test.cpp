// The record selection dialog against the SQLite stand-in of the history
// database: the query a tree click runs, the list it gives, and what choosing
// or cancelling hands back.
#include "stationdb/ui/selectwave_dlg.h"

#include <fmt/format.h>
#include <gtest/gtest.h>

#include <QDateTimeEdit>
#include <QHeaderView>
#include <QLabel>
#include <QPointer>
#include <QRadioButton>
#include <QTest>
#include <QTreeWidget>

#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "common/gbk.h"
#include "common/lang/translateform.h"
#include "stationdb/convert/testsupport.h"
#include "stationdb/queries/testsupport.h"
#include "stationdb/tree/nodetypes.h"
#include "stationdb/ui/testsupport.h"

namespace stationdb {
namespace {

namespace fs = std::filesystem;
using querytest::HexLiteral;
using querytest::StandIn;
using uitest::EnsureApp;
using uitest::RecordingServices;

common::TDateTime At(int year, int month, int day, int hour, int minute, int second, int ms = 0) {
  return *common::EncodeDateTime({year, month, day, hour, minute, second, ms});
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A one-channel record of the automation system with 10 configuration lines.
std::string CfgText(std::string_view channelLine) {
  return fmt::format(
      "站,R1,1999\r\n1,1A,0D\r\n{}\r\n50\r\n1\r\n1600,2\r\n01/01/2026,10:00:00.000000\r\n"
      "01/01/2026,10:00:00.000000\r\nBINARY\r\n1\r\n",
      channelLine);
}

struct StoredRow {
  int serial;
  std::uint32_t channel;
  std::uint32_t meter;
  std::string time;  // "yyyy-mm-dd hh:nn:ss.zzz"
  int ms;
  int kind;
  std::vector<std::uint8_t> wave;
};

class SelectWaveTest : public ::testing::Test {
 protected:
  SelectWaveTest() {
    EnsureApp();
    convert.cacheFolder = dir.path() / "CfgCache";
    convert.kindsFile = dir.path() / "davureva.ini";
    convert.now = [this] { return clock; };
  }

  // Automation system: station 3 with channel 7 (meter 70) and channel 8 (meter 80).
  void setUp21() {
    state.RecordSourceMode = kSourceAutomation;
    standIn.config21();
    querytest::DefineWaveQuery(standIn.history21(), kSourceAutomation);
    ASSERT_EQ(StandIn::connect21(db.rpt, "main", "none"), kMainAnswered);
    trees.StationRoot = std::make_unique<CSetObj>(nullptr, common::Utf8ToGbk("厂站"), kSystemMeasurePointType21,
                                                  kSystemMeasurePointType21);
    CSetObj* station = trees.StationRoot->AddChild(
        std::make_unique<CSetObj>(trees.StationRoot.get(), common::Utf8ToGbk("一号站"), kStationType21, 3));
    for (const std::uint32_t channel : {7u, 8u}) {
      CSetObj* c = station->AddChild(
          std::make_unique<CSetObj>(station, fmt::format("ch{}", channel), kChannelType21, channel));
      c->AddChild(std::make_unique<CSetObj>(c, common::Utf8ToGbk(fmt::format("测点{}", channel * 10)),
                                            kMeterType21, channel * 10));
    }
  }

  // Power-quality database: station root 512, channel 7 with meter 9.
  void setUp12() {
    state.RecordSourceMode = kSourcePowerQuality;
    standIn.config12();
    querytest::DefineWaveQuery(standIn.history12(), kSourcePowerQuality);
    standIn.connect12(db.rpt);
    trees.StationRoot = std::make_unique<CSetObj>(nullptr, "root", kStationRootType12, kStationRootID12);
    CSetObj* channel = trees.StationRoot->AddChild(
        std::make_unique<CSetObj>(trees.StationRoot.get(), "ch7", kChannelType12, 7));
    channel->AddChild(std::make_unique<CSetObj>(channel, common::Utf8ToGbk("测点9"), kMeterType12, 9));
    writeKinds("SAGSWELL=电压暂降=1;\r\n");
  }

  void writeKinds(const std::string& body) {
    std::ofstream(convert.kindsFile, std::ios::binary) << common::Utf8ToGbk("[WAVEFORM]\r\n" + body);
  }

  void addRow(const StoredRow& r, std::uint32_t station = 3) {
    if (state.RecordSourceMode == kSourceAutomation)
      standIn.history21().exec(fmt::format("INSERT INTO Waves VALUES({}, '{}', {}, {}, {}, {}, 0, {}, 'x', {})",
                                           r.serial, r.time, r.ms, station, r.channel, r.meter, r.kind,
                                           HexLiteral(r.wave)));
    else
      standIn.history12().exec(fmt::format("INSERT INTO Waves VALUES({}, {}, {}, {}, '{}', {}, 0, {}, {})", r.serial,
                                           station, r.channel, r.meter, r.time, r.ms, r.kind, HexLiteral(r.wave)));
  }

  std::vector<std::vector<db::Value>> calls() {
    return state.RecordSourceMode == kSourceAutomation
               ? standIn.select("main", "velkora_DATA_7", "SELECT * FROM Calls")
               : standIn.select("pq", StandIn::kHistory12, "SELECT * FROM Calls");
  }

  SelectWaveContext context() {
    SelectWaveContext c{db.rpt, state, trees};
    c.convert = convert;
    c.waitWindow = [this](const QString& text) {
      waitTexts.push_back(text);
      auto window = std::make_unique<QWidget>();
      waitWindow = window.get();
      return window;
    };
    return c;
  }

  std::unique_ptr<TSelectWaveDlg> shown() {
    auto dialog = MakeSelectWaveDlg(context(), services, nullptr, engine);
    dialog->show();
    return dialog;
  }

  static QTreeWidgetItem* node(QTreeWidget* tree, const char* utf8Caption) {
    const auto found = tree->findItems(QString::fromUtf8(utf8Caption), Qt::MatchExactly | Qt::MatchRecursive);
    return found.isEmpty() ? nullptr : found.front();
  }

  // A mouse click on the tree node, as the user picks it.
  static void clickNode(TSelectWaveDlg& dialog, const char* utf8Caption) {
    QTreeWidget* tree = dialog.Select_Meter_TreeView();
    QTreeWidgetItem* item = node(tree, utf8Caption);
    ASSERT_NE(item, nullptr) << utf8Caption;
    tree->expandAll();
    tree->scrollToItem(item);
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(item).center());
    ASSERT_EQ(tree->currentItem(), item) << utf8Caption;
  }

  static void doubleClickRow(TSelectWaveDlg& dialog, int row) {
    QTreeWidget* list = dialog.Select_Wave_ListView();
    QTreeWidgetItem* item = list->topLevelItem(row);
    ASSERT_NE(item, nullptr);
    const QPoint at = list->visualItemRect(item).center();
    // A double click is a click followed by the second press within the interval.
    QTest::mousePress(list->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseRelease(list->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
  }

  static std::vector<std::string> captions(const TSelectWaveDlg& dialog) {
    std::vector<std::string> out;
    const QTreeWidget* list = dialog.Select_Wave_ListView();
    for (int i = 0; i < list->topLevelItemCount(); ++i)
      out.push_back((list->topLevelItem(i)->text(0) + QStringLiteral("|") + list->topLevelItem(i)->text(1) +
                     QStringLiteral("|") + list->topLevelItem(i)->text(2))
                        .toStdString());
    return out;
  }

  std::vector<fs::path> cacheFiles() const {
    std::vector<fs::path> files;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(convert.cacheFolder, ec)) files.push_back(entry.path());
    return files;
  }

  fixtures::TempDir dir;
  StandIn standIn;
  querytest::ReportingRptDB db;
  DbState state;
  ConfigTrees trees;
  ConvertSettings convert;
  common::TDateTime clock = At(2026, 12, 10, 14, 5, 30, 250);
  RecordingServices services;
  lang::MultiLangEngine engine{lang::LangVariant::Quenlor};
  std::vector<QString> waitTexts;
  QPointer<QWidget> waitWindow;
};

TEST_F(SelectWaveTest, OpensWithItsControlsAndAllTimes) {
  setUp21();
  auto dialog = shown();
  EXPECT_EQ(lang::formClass(*dialog), "TSelectWaveDlg");
  EXPECT_EQ(dialog->windowTitle(), QStringLiteral("选择波形文件"));
  EXPECT_EQ(dialog->size(), QSize(606, 408));
  for (const char* name : {"Select_Meter_TreeView", "Select_Wave_ListView", "All_RadioBtn", "Define_RadioBtn",
                           "Start_dpk", "End_dpk", "Meter_Panel", "Label1"})
    EXPECT_NE(dialog->findChild<QWidget*>(QString::fromLatin1(name)), nullptr) << name;
  EXPECT_EQ(dialog->All_RadioBtn()->text(), QStringLiteral("全部"));
  EXPECT_EQ(dialog->Define_RadioBtn()->text(), QStringLiteral("自定义"));
  EXPECT_TRUE(dialog->All_RadioBtn()->isChecked());
  EXPECT_FALSE(dialog->Define_RadioBtn()->isChecked());
  EXPECT_FALSE(dialog->Start_dpk()->isEnabled());
  EXPECT_FALSE(dialog->End_dpk()->isEnabled());
  EXPECT_TRUE(dialog->Label1()->isHidden());
  EXPECT_EQ(dialog->Meter_Panel()->text(), QStringLiteral("波形文件"));
  // The range starts on 1 January of this year at the current time of day.
  EXPECT_EQ(ToTDateTime(dialog->Start_dpk()->dateTime()), At(2026, 1, 1, 14, 5, 30, 250));
  EXPECT_EQ(ToTDateTime(dialog->End_dpk()->dateTime()), clock);

  const QTreeWidget* tree = dialog->Select_Meter_TreeView();
  ASSERT_EQ(tree->topLevelItemCount(), 1);
  EXPECT_EQ(tree->topLevelItem(0)->text(0), QStringLiteral("厂站"));
  EXPECT_EQ(tree->indentation(), 19);
  const QTreeWidget* list = dialog->Select_Wave_ListView();
  ASSERT_EQ(list->columnCount(), 3);
  EXPECT_EQ(list->headerItem()->text(0), QStringLiteral("触发时间"));
  EXPECT_EQ(list->headerItem()->text(1), QStringLiteral("监测节点"));
  EXPECT_EQ(list->headerItem()->text(2), QStringLiteral("序号"));
  EXPECT_EQ(list->columnWidth(0), 180);
  EXPECT_EQ(list->columnWidth(1), 100);
  EXPECT_TRUE(list->isColumnHidden(2));
  EXPECT_FALSE(list->header()->sectionsClickable());

  dialog->Define_RadioBtn()->click();
  EXPECT_TRUE(dialog->Start_dpk()->isEnabled());
  EXPECT_TRUE(dialog->End_dpk()->isEnabled());
  dialog->All_RadioBtn()->click();
  EXPECT_FALSE(dialog->End_dpk()->isEnabled());
}

TEST_F(SelectWaveTest, QueryFindsTheRecordsOfTheNodeInTheChosenRange) {
  setUp21();
  addRow({1, 7, 70, "2025-12-31 23:59:59.000", 0, 0, {}});
  addRow({2, 7, 70, "2026-01-15 10:00:00.000", 5, 0, {}});
  addRow({3, 7, 99, "2026-02-01 00:00:00.000", 0, 0, {}});  // meter not in the tree
  addRow({4, 8, 80, "2026-02-01 00:00:00.000", 12, 0, {}});
  addRow({5, 7, 70, "2026-06-01 08:30:00.000", 999, 0, {}});

  struct Case {
    const char* name;
    const char* node;
    bool range;
    common::TDateTime begin, end;
    std::vector<std::string> listed;
  };
  const std::vector<Case> cases = {
      {"all times, channel 7", "ch7", false, 0, 0,
       {"2025-12-31 23:59:59.000|测点70|1", "2026-01-15 10:00:00.005|测点70|2", "2026-06-01 08:30:00.999|测点70|5"}},
      {"range, channel 7", "ch7", true, At(2026, 1, 1, 0, 0, 0), At(2026, 3, 1, 0, 0, 0),
       {"2026-01-15 10:00:00.005|测点70|2"}},
      // The pickers' time of day counts: 10:00:01 on the 15th leaves that record out.
      {"range with time of day", "ch7", true, At(2026, 1, 15, 10, 0, 1), At(2026, 12, 31, 0, 0, 0),
       {"2026-06-01 08:30:00.999|测点70|5"}},
      {"all times, meter 80", "测点80", false, 0, 0, {"2026-02-01 00:00:00.012|测点80|4"}},
  };
  auto dialog = shown();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    (c.range ? dialog->Define_RadioBtn() : dialog->All_RadioBtn())->click();
    if (c.range) {
      dialog->Start_dpk()->setDateTime(FromTDateTime(c.begin));
      dialog->End_dpk()->setDateTime(FromTDateTime(c.end));
    }
    clickNode(*dialog, c.node);
    EXPECT_EQ(captions(*dialog), c.listed);
  }
  const auto sent = calls();
  ASSERT_EQ(sent.size(), cases.size());
  EXPECT_EQ(sent[0][0].asInt64(), 3);         // the channel's parent
  EXPECT_EQ(sent[0][2].asInt64(), 7);
  EXPECT_EQ(sent[0][5].asText(), "null");     // no meter
  EXPECT_EQ(sent[0][7].asText(), "null");     // all times: no limits
  EXPECT_EQ(sent[0][9].asText(), "null");
  EXPECT_EQ(sent[2][6].asText(), "2026-01-15 10:00:01.000");
  EXPECT_EQ(sent[3][0].asInt64(), 3);  // the station of the meter's channel
  EXPECT_EQ(sent[3][2].asInt64(), 8);
  EXPECT_EQ(sent[3][4].asInt64(), 80);
  EXPECT_EQ(sent[3][7].asText(), "null");  // all times again, whatever the pickers still show
  EXPECT_TRUE(db.messages.empty());
}

TEST_F(SelectWaveTest, RowsOfOneRecordShowAsOneItem) {
  setUp21();
  for (int serial : {1, 2, 3}) addRow({serial, 7, 70, "2026-01-15 10:00:00.000", 5, 1, {std::uint8_t(serial)}});
  auto dialog = shown();
  clickNode(*dialog, "ch7");
  EXPECT_EQ(captions(*dialog), std::vector<std::string>{"2026-01-15 10:00:00.005|测点70|1"});
}

TEST_F(SelectWaveTest, StationNodeRunsNoQueryAndListsThePreviousRowsAgain) {
  setUp21();
  addRow({1, 7, 70, "2026-01-15 10:00:00.000", 5, 0, {}});
  auto dialog = shown();
  clickNode(*dialog, "ch7");
  ASSERT_EQ(waitTexts.size(), 1u);
  EXPECT_EQ(waitTexts[0], QStringLiteral("正在加载该节点下的波形文件......"));
  EXPECT_TRUE(waitWindow.isNull());  // gone once the query is done
  clickNode(*dialog, "一号站");
  EXPECT_EQ(calls().size(), 1u);
  EXPECT_EQ(captions(*dialog).size(), 1u);
}

TEST_F(SelectWaveTest, ChoosingARecordWritesItsFilesAndHandsBackThePath) {
  setUp21();
  const std::string dat = fixtures::PartRows({10, -20});
  addRow({1, 7, 70, "2026-01-15 10:00:00.000", 5, 0, fixtures::VelkoraBlob(CfgText("1,Ua,A,,kV,1,0"), dat)});
  // Two channels of one record, merged into one pair.
  addRow({2, 8, 80, "2026-02-01 00:00:00.000", 0, 1, fixtures::VelkoraBlob(CfgText("1,Ia,A,,A,1,0"), dat)});
  addRow({3, 8, 80, "2026-02-01 00:00:00.000", 0, 1, fixtures::VelkoraBlob(CfgText("1,Ib,A,,A,1,0"), dat)});

  struct Case {
    const char* node;
    std::string cfg;
    std::size_t datBytes;
  };
  const std::vector<Case> cases = {
      {"ch7", CfgText("1,Ua,A,,kV,1,0"), dat.size()},
      {"ch8",
       "站,R1,1999\r\n2,2A,0D\r\nA1Ia,A,,A,1,0\r\nA2Ib,A,,A,1,0\r\n50\r\n1\r\n1600,2\r\n"
       "01/01/2026,10:00:00.000000\r\n01/01/2026,10:00:00.000000\r\nBINARY\r\n1\r\n",
       2 * 12},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.node);
    services.script = [&](QDialog& d) {
      auto& dialog = static_cast<TSelectWaveDlg&>(d);
      clickNode(dialog, c.node);
      doubleClickRow(dialog, 0);
    };
    const std::optional<wave::TcfgInfo> info = SelectWaveRecord(context(), services, nullptr, engine);
    ASSERT_TRUE(info);
    const fs::path cfg = info->CfgPath;
    EXPECT_EQ(cfg.parent_path(), convert.cacheFolder);
    EXPECT_EQ(cfg.extension(), ".cfg");
    EXPECT_EQ(ReadFile(cfg), c.cfg);  // the stored bytes, unchanged
    EXPECT_EQ(ReadFile(fs::path(cfg).replace_extension(".dat")).size(), c.datBytes);
  }
  EXPECT_EQ(cacheFiles().size(), 4u);
  EXPECT_TRUE(services.keys.empty());
  EXPECT_TRUE(services.errors.empty());
}

TEST_F(SelectWaveTest, ClosingWithoutAChoiceHandsBackNothing) {
  setUp21();
  addRow({1, 7, 70, "2026-01-15 10:00:00.000", 5, 0, fixtures::VelkoraBlob(CfgText("1,Ua"), "x")});
  services.script = [&](QDialog& d) {
    auto& dialog = static_cast<TSelectWaveDlg&>(d);
    clickNode(dialog, "ch7");
    // A double click beside the items chooses nothing.
    dialog.Select_Wave_ListView()->clearSelection();
    dialog.Select_Wave_ListViewDblClick();
    EXPECT_TRUE(dialog.isVisible());
    dialog.reject();  // the close box
    EXPECT_EQ(dialog.result(), TSelectWaveDlg::kModalCancel);
  };
  EXPECT_FALSE(SelectWaveRecord(context(), services, nullptr, engine));
  EXPECT_TRUE(cacheFiles().empty());
}

TEST_F(SelectWaveTest, RecordThatCannotBeConvertedIsReportedAndHandsBackNothing) {
  setUp21();
  addRow({1, 7, 70, "2026-01-15 10:00:00.000", 5, 0, {9, 0, 0, 0, 'a'}});  // shorter than its own length
  TSelectWaveDlg* seen = nullptr;
  services.script = [&](QDialog& d) {
    seen = static_cast<TSelectWaveDlg*>(&d);
    clickNode(*seen, "ch7");
    doubleClickRow(*seen, 0);
    EXPECT_FALSE(seen->isVisible());  // the message does not keep the dialog open
  };
  EXPECT_FALSE(SelectWaveRecord(context(), services, nullptr, engine));
  EXPECT_NE(seen, nullptr);
  EXPECT_EQ(services.keys, std::vector<std::vector<std::string>>{{"str16"}});
  EXPECT_TRUE(cacheFiles().empty());
}

// What a record that cannot be written does to the dialog: a record of one
// part, or one of several whose first text is no 10-line text, is refused
// with str16 and the dialog closes; a damaged record of several parts, or
// its files that cannot be created, goes to the general error box and the
// dialog stays open for another choice.
TEST_F(SelectWaveTest, RecordsThatCannotBeWrittenAreRefusedOrReported) {
  setUp21();
  const std::string dat = fixtures::PartRows({10, -20});
  const auto part = [&](std::string_view cfg, std::string_view data) { return fixtures::VelkoraBlob(cfg, data); };
  const std::vector<std::uint8_t> good = part(CfgText("1,Ia"), dat);
  const std::vector<std::uint8_t> nineLines = part("a\r\nb\r\nc\r\nd\r\ne\r\nf\r\ng\r\nh\r\ni\r\n", dat);
  struct Case {
    const char* name;
    int kind;
    std::vector<std::uint8_t> first;
    std::vector<std::uint8_t> second;
    bool cacheMissing;
    bool closes;  // with str16; otherwise the general error box and the dialog stays open
  };
  const std::vector<Case> cases = {
      {"one part shorter than its length", 0, {9, 0, 0, 0, 'a'}, good, false, true},
      {"one part, no cache folder", 0, good, good, true, true},
      {"first text of 9 lines", 1, nineLines, good, false, true},
      {"second part shorter than its length", 1, good, {9, 0, 0, 0, 'a'}, false, false},
      {"second part of 2 lines", 1, good, part("a\r\nb\r\n", dat), false, false},
      {"second part with fewer rows", 1, good, part(CfgText("1,Ib"), fixtures::PartRows({1})), false, false},
      {"two parts, no cache folder", 1, good, good, true, false},
  };
  const fs::path cache = convert.cacheFolder;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    standIn.history21().exec("DELETE FROM Waves");
    addRow({1, 8, 80, "2026-02-01 00:00:00.000", 0, c.kind, c.first});
    addRow({2, 8, 80, "2026-02-01 00:00:00.000", 0, c.kind, c.second});
    std::ofstream(dir.path() / "plain") << "a file, no folder";
    convert.cacheFolder = c.cacheMissing ? dir.path() / "plain" / "CfgCache" : cache;
    services.keys.clear();
    services.errors.clear();

    auto dialog = shown();
    clickNode(*dialog, "ch8");
    doubleClickRow(*dialog, 0);

    EXPECT_EQ(dialog->isVisible(), !c.closes);
    EXPECT_EQ(services.keys, c.closes ? std::vector<std::vector<std::string>>{{"str16"}}
                                      : std::vector<std::vector<std::string>>{});
    EXPECT_EQ(services.errors.size(), c.closes ? 0u : 1u);
    EXPECT_EQ(dialog->CfgInfo.CfgPath, "");
    EXPECT_TRUE(cacheFiles().empty());
  }
}

TEST_F(SelectWaveTest, PowerQualityRecordIsFilledInMemory) {
  setUp12();
  fixtures::PqChannel channel;
  addRow({1, 7, 9, "2026-01-15 10:00:00.000", 5, 1, fixtures::PqBlob(channel)}, 512);
  services.script = [&](QDialog& d) {
    auto& dialog = static_cast<TSelectWaveDlg&>(d);
    clickNode(dialog, "ch7");
    doubleClickRow(dialog, 0);
  };
  const std::optional<wave::TcfgInfo> info = SelectWaveRecord(context(), services, nullptr, engine);
  ASSERT_TRUE(info);
  EXPECT_EQ(info->CfgPath, "20260115100000005_512_7_9");
  EXPECT_EQ(info->station_name, "测点9");
  ASSERT_EQ(info->AInfo.size(), 1u);
  EXPECT_EQ(info->AInfo[0].ch_id, "电压暂降");
  EXPECT_EQ(state.WaveChannels.size(), 1u);
  EXPECT_TRUE(waitTexts.empty());  // no wait window in this mode
  const auto sent = calls();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0][0].asInt64(), 512);
  EXPECT_EQ(sent[0][2].asInt64(), 7);
  EXPECT_EQ(sent[0][5].asText(), "null");
  EXPECT_TRUE(cacheFiles().empty());
}

TEST_F(SelectWaveTest, ConversionErrorKeepsTheDialogOpen) {
  setUp12();
  std::vector<std::uint8_t> cut = fixtures::PqBlob({});
  cut.resize(cut.size() - 1);  // the last sample is missing
  struct Case {
    const char* name;
    const char* kinds;
    std::vector<std::uint8_t> blob;
  };
  const std::vector<Case> cases = {
      {"a code that is not a number", "SAGSWELL=电压暂降=abc;\r\n", fixtures::PqBlob({})},
      {"a blob shorter than its fields", "SAGSWELL=电压暂降=1;\r\n", cut},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    standIn.history12().exec("DELETE FROM Waves");
    services.errors.clear();
    writeKinds(c.kinds);
    addRow({1, 7, 9, "2026-01-15 10:00:00.000", 5, 1, c.blob}, 512);
    auto dialog = shown();
    clickNode(*dialog, "ch7");
    doubleClickRow(*dialog, 0);
    EXPECT_EQ(services.errors.size(), 1u);
    EXPECT_TRUE(services.keys.empty());
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(dialog->CfgInfo.CfgPath, "");
    EXPECT_TRUE(state.WaveChannels.empty());
  }
}

TEST_F(SelectWaveTest, OtherModesShowNothing) {
  setUp21();
  addRow({1, 7, 70, "2026-01-15 10:00:00.000", 5, 0, {}});
  state.RecordSourceMode = kSourceFolder;
  auto dialog = shown();
  EXPECT_EQ(dialog->Select_Meter_TreeView()->topLevelItemCount(), 0);
  EXPECT_EQ(dialog->Select_Wave_ListView()->topLevelItemCount(), 0);
  EXPECT_EQ(dialog->Select_Wave_ListView()->columnCount(), 0);
  state.RecordSourceMode = kSourceAutomation;
  EXPECT_TRUE(calls().empty());
}

}  // namespace
}  // namespace stationdb
