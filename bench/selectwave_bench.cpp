// The record selection dialog (TSelectWaveDlg) on big stations, offscreen:
//
//   OpenDialog/<nodes>   making and showing the dialog with a station tree of
//                        about that many nodes (stations of 100 channels of 9
//                        meters each), up to its first paint;
//   ListRecords/<rows>   rebuilding the record list from that many query rows
//                        (every one a record of its own, spread over the
//                        meters of a 100 000-node tree), up to its paint.
//
//   selectwave_bench --benchmark_repetitions=3 --benchmark_report_aggregates_only=true
// See bench/README.md.

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <QApplication>
#include <QTreeWidget>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "common/forms/form_services.h"
#include "stationdb/core/rptdb.h"
#include "stationdb/queries/configtrees.h"
#include "stationdb/records/records.h"
#include "stationdb/tree/nodetypes.h"
#include "stationdb/ui/dbdialogs.h"
#include "stationdb/ui/selectwave_dlg.h"

namespace {

using namespace stationdb;

constexpr int kChannelsPerStation = 100;
constexpr int kMetersPerChannel = 9;
constexpr int kNodesPerStation = 1 + kChannelsPerStation * (1 + kMetersPerChannel);

class BenchServices : public forms::FormServices {
 public:
  void showMessage(QWidget*, const common::UserMessage&, const std::vector<std::string>&) override {}
  void showError(QWidget*, const QString&) override {}
  int execDialog(QDialog&) override { return QDialog::Rejected; }
};

// An automation-system station tree of about nodes nodes; meter ids are 1, 2, ...
ConfigTrees StationTree(int nodes) {
  ConfigTrees trees;
  trees.StationRoot =
      std::make_unique<CSetObj>(nullptr, "root", kSystemMeasurePointType21, kSystemMeasurePointType21);
  std::uint32_t channelID = 1;
  std::uint32_t meterID = 1;
  for (int s = 0; s < std::max(1, nodes / kNodesPerStation); ++s) {
    CSetObj* station = trees.StationRoot->AddChild(std::make_unique<CSetObj>(
        trees.StationRoot.get(), "station " + std::to_string(s), kStationType21, static_cast<std::uint32_t>(s)));
    for (int c = 0; c < kChannelsPerStation; ++c, ++channelID) {
      CSetObj* channel = station->AddChild(
          std::make_unique<CSetObj>(station, "channel " + std::to_string(channelID), kChannelType21, channelID));
      for (int m = 0; m < kMetersPerChannel; ++m, ++meterID)
        channel->AddChild(
            std::make_unique<CSetObj>(channel, "meter " + std::to_string(meterID), kMeterType21, meterID));
    }
  }
  return trees;
}

int MeterCount(int nodes) { return std::max(1, nodes / kNodesPerStation) * kChannelsPerStation * kMetersPerChannel; }

void OpenDialog(benchmark::State& state) {
  const int nodes = static_cast<int>(state.range(0));
  const ConfigTrees trees = StationTree(nodes);
  RptDB rpt;
  DbState db;
  db.RecordSourceMode = kSourceAutomation;
  BenchServices services;
  int items = 0;
  for (auto _ : state) {
    auto dialog = MakeSelectWaveDlg(SelectWaveContext{rpt, db, trees}, services);
    dialog->show();
    QApplication::processEvents();
    items = dialog->Select_Meter_TreeView()->topLevelItem(0)->childCount();
    state.PauseTiming();
    dialog.reset();
    state.ResumeTiming();
  }
  state.counters["nodes"] = static_cast<double>(trees.StationRoot->ChildCount() * kNodesPerStation + 1);
  state.counters["stations"] = items;
}

void ListRecords(benchmark::State& state) {
  const int rows = static_cast<int>(state.range(0));
  constexpr int kTreeNodes = 100000;
  const ConfigTrees trees = StationTree(kTreeNodes);
  const int meters = MeterCount(kTreeNodes);
  RptDB rpt;
  DbState db;
  db.RecordSourceMode = kSourceAutomation;
  const common::TDateTime day = *common::EncodeDateTime({2030, 1, 2});
  for (int i = 0; i < rows; ++i) {
    TWaveformRecord r;
    r.SerialNo = i;
    r.StationID = 1;
    r.MeterID = static_cast<std::uint32_t>(i % meters + 1);
    r.ChannelID = (r.MeterID - 1) / kMetersPerChannel + 1;
    r.TriggerTime = day + i / 86400.0;
    r.Millisecond = i % 1000;
    db.ZavoVivords.push_back(std::move(r));
  }
  BenchServices services;
  auto dialog = MakeSelectWaveDlg(SelectWaveContext{rpt, db, trees}, services);
  dialog->show();
  QApplication::processEvents();
  int listed = 0;
  for (auto _ : state) {
    dialog->Update_Wave_ListView_Ex(kMeterType21);
    QApplication::processEvents();
    listed = dialog->Select_Wave_ListView()->topLevelItemCount();
  }
  state.counters["listed"] = listed;
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  int qtArgc = 1;
  char arg0[] = "selectwave_bench";
  char* qtArgv[] = {arg0, nullptr};
  QApplication app(qtArgc, qtArgv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RegisterBenchmark("OpenDialog", OpenDialog)
      ->Arg(10000)
      ->Arg(100000)
      ->Unit(benchmark::kMillisecond)
      ->Iterations(2);
  benchmark::RegisterBenchmark("ListRecords", ListRecords)
      ->Arg(10000)
      ->Arg(40000)
      ->Arg(80000)
      ->Unit(benchmark::kMillisecond)
      ->Iterations(2);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
