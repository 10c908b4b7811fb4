#pragma once
// The record window tests' fixture: an MDI area, a stand-in for the main
// window (its record and the options dialog), generated records on disk.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QImage>
#include <QMdiArea>
#include <QMdiSubWindow>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "tools/recordgen/record_writer.h"
#include "waveform/canvas/qpainter_canvas.h"
#include "waveform/ui/fault_wave_form.h"
#include "waveform/ui/options_dlg.h"
#include "waveform/ui/ui_test_support.h"

namespace wave::uitest {

// A short record of three analogue and two digital channels.
inline recordgen::RecordSpec smallSpec() {
  recordgen::RecordSpec spec;
  spec.station = "Station A";
  spec.device = "rec 7";
  spec.analog = 3;
  spec.digital = 2;
  spec.rates = {{1000, 200}};  // N 20, ten cycles
  return spec;
}

// The main window's part: its record, and the options dialog.
class TestHost : public RecordOpener {
 public:
  TestHost(DisplaySettings& settings, RecordingServices& services) : settings_(settings), dialog_(settings, services) {}
  int openWindowCount() const override { return 0; }
  bool tempFilesFlag() const override { return false; }
  DisplaySettings& displaySettings() override { return settings_; }
  void setRecord(const TcfgInfo& record) override {
    record_ = record;
    dialog_.setRecord(record);
  }
  OptionsDialogResult showOptionsDialog() override {
    dialog_.show();
    QCoreApplication::processEvents();
    if (onDialog) onDialog(dialog_);
    return {dialog_.ChannelsChosen() == 1, dialog_.result() == QDialog::Accepted};
  }
  void createRecordWindow(const std::string&) override {}

  TcfgInfo record_;
  std::function<void(TOptionsDlg&)> onDialog;

 private:
  DisplaySettings& settings_;
  TOptionsDlg dialog_;
};

// The application exists before any widget of the fixture.
struct WithApp {
  WithApp() { EnsureApp(); }
};

class FaultWaveFormTest : public ::testing::Test, private WithApp {
 protected:
  FaultWaveFormTest() : host(settings, services) {
    folder = uitest::FreshFolder("records");
    area.resize(1200, 800);
    area.show();
  }

  // A generated record on disk, as the .cfg reader would give it.
  TcfgInfo written(const recordgen::RecordSpec& spec, const std::string& name) {
    const auto files = recordgen::WriteRecord(spec, folder, name);
    return recordgen::MakeCfgInfo(spec, files.cfg.string());
  }

  void chooseChannels(std::vector<std::vector<int>> rows, std::vector<int> digital = {}) {
    settings.ChannelGroups = {};
    settings.ChannelGroupCount = 0;
    for (std::size_t g = 0; g < rows.size(); ++g) {
      auto& row = settings.ChannelGroups[g];
      row.Count = static_cast<int>(rows[g].size());
      for (std::size_t j = 0; j < rows[g].size(); ++j) row.Channel[j] = row.ColorIndex[j] = rows[g][j];
      settings.ChannelGroupCount += row.Count > 0;
    }
    settings.DigitalSelection = {};
    settings.DigitalSelection.Count = static_cast<int>(digital.size());
    for (std::size_t q = 0; q < digital.size(); ++q) settings.DigitalSelection.Index[q] = digital[q];
  }

  RecordWindowSetup setupFor(const TcfgInfo& record, std::int32_t source = 0, bool ownsFiles = false) {
    RecordWindowSetup s;
    s.caption = RecordWindowCaption(record.CfgPath);
    s.record = record;
    s.settings = &settings;
    s.recordSourceMode = source;
    s.ownsRecordFiles = ownsFiles;
    s.host = &host;
    s.services = &services;
    return s;
  }

  // Opens a window in the MDI area, shown and active.
  TFaultWaveForm* open(const RecordWindowSetup& setup) {
    auto window = TFaultWaveForm::Create(setup);
    if (!window) return nullptr;
    TFaultWaveForm* raw = window.release();
    QMdiSubWindow* sub = area.addSubWindow(raw);
    sub->show();
    area.setActiveSubWindow(sub);
    settle();
    return raw;
  }

  static void settle() {
    for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
  }

  static QImage paintBoxImage(TFaultWaveForm* w) { return w->paintBox()->grab().toImage(); }

  static TColor at(const QImage& image, int x, int y) { return FromQColor(image.pixelColor(x, y)); }

  template <class T>
  static T* child(TFaultWaveForm* w, const char* name) {
    return w->findChild<T*>(QString::fromLatin1(name));
  }

  DisplaySettings settings;
  RecordingServices services;
  TestHost host;
  std::filesystem::path folder;
  QMdiArea area;
};

}  // namespace wave::uitest
