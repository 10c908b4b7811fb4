#pragma once
// The record window tests' fixture: an MDI area, a stand-in for the main
// window (its record and the options dialog), generated records on disk.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QImage>
#include <QMdiArea>
#include <QMdiSubWindow>

#include <algorithm>
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
  void createRecordWindow(const std::string&, RecordFiles) override {}

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

  RecordWindowSetup setupFor(const TcfgInfo& record, std::int32_t source = 0) {
    RecordWindowSetup s;
    s.caption = RecordWindowCaption(record.CfgPath);
    s.record = record;
    s.settings = &settings;
    s.recordSourceMode = source;
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

  // Pixels of colour in the rectangle [left, right) x [top, bottom) of image.
  static int countColour(const QImage& image, TColor colour, int left, int top, int right, int bottom) {
    int count = 0;
    for (int y = std::max(0, top); y < std::min(bottom, image.height()); ++y)
      for (int x = std::max(0, left); x < std::min(right, image.width()); ++x) count += at(image, x, y) == colour;
    return count;
  }

  // What a record window's wave view must show at the start zoom: its
  // background, each channel's trace in the row of its axis (rows[r] lists
  // the channels of row r, coloured by their number), the digital lanes below
  // the rows when there are any, and the cursor line across the rows in its
  // XOR colour.
  void expectWavePicture(TFaultWaveForm* w, const std::vector<std::vector<int>>& rows, bool digital) const {
    const QImage image = paintBoxImage(w);
    const TColor background = settings.ChannelColors[kBackgroundColor];
    constexpr int h = 120, top = 90, left = 75;  // row height, first zero line, left margin
    const int right = std::min(image.width(), left + 600);
    EXPECT_EQ(at(image, image.width() - 3, image.height() - 3), background);
    EXPECT_EQ(at(image, 3, 3), background);
    const int rowsBottom = static_cast<int>(rows.size()) * h + top - h / 2;
    for (std::size_t r = 0; r < rows.size(); ++r) {
      const int bandTop = static_cast<int>(r) * h + top - h / 2;
      for (int channel : rows[r]) {
        const TColor colour = settings.ChannelColors[static_cast<std::size_t>(channel % 20)];
        const int own = countColour(image, colour, left + 2, bandTop, right, bandTop + h);
        const int elsewhere = countColour(image, colour, left + 2, 0, right, bandTop) +
                              countColour(image, colour, left + 2, bandTop + h, right, rowsBottom);
        EXPECT_GT(own, 100) << "channel " << channel << " in row " << r;
        EXPECT_LT(elsewhere, own / 10) << "channel " << channel << " outside row " << r;
      }
    }
    const int lanes = countColour(image, settings.ChannelColors[kDigitalTraceColor], left + 2, rowsBottom, right,
                                  image.height());
    if (digital) EXPECT_GT(lanes, 100) << "digital lanes below the rows";
    else EXPECT_EQ(lanes, 0);
    // The cursor line: what lies under it (background, a grid line or a trace
    // beside it) takes its XOR colour, blue flipped; the background beside it does not.
    const int x = w->CursorX();
    ASSERT_GT(x, left);
    int flipped = 0;
    for (int y = top - h / 2; y < rowsBottom; ++y) {
      const TColor under = at(image, x, y) ^ 0xFF0000;
      flipped += under == background || under == settings.ChannelColors[kGridColor] || under == at(image, x - 1, y) ||
                 under == at(image, x + 1, y);
    }
    EXPECT_GT(flipped, (rowsBottom - (top - h / 2)) * 3 / 4) << "cursor column " << x;
    EXPECT_EQ(countColour(image, background ^ 0xFF0000, x + 2, top - h / 2, x + 3, rowsBottom), 0) << "beside it";
  }

  DisplaySettings settings;
  RecordingServices services;
  TestHost host;
  std::filesystem::path folder;
  QMdiArea area;
};

}  // namespace wave::uitest
