#pragma once
// A print target for tests: it records the jobs, the pages and what was drawn
// on them, and can fail or give up on request.

#include <stdexcept>
#include <string>
#include <vector>

#include "waveform/canvas/recording_canvas.h"
#include "waveform/print/print_target.h"

namespace wave::printtest {

class FakePrintTarget final : public PrintTarget {
 public:
  struct Job {
    std::string title;
    TPrinterOrientation orientation = TPrinterOrientation::Portrait;
    std::vector<std::vector<CanvasOp>> pages;
    bool ended = false;
    bool aborted = false;
  };

  bool available() const override { return available_; }
  void applyOptions(TPrinterOrientation orientation) override { orientation_ = orientation; }
  Rect pageRect() const override { return page_; }
  void beginDocument(std::string_view title) override {
    if (failBegin_) throw std::runtime_error("device not ready");
    jobs.push_back({std::string(title), orientation_, {}, false, false});
    canvas_.clear();
  }
  Canvas& canvas() override {
    if (failDrawOnPage_ == static_cast<int>(jobs.back().pages.size()) + 1) throw std::runtime_error("paper jam");
    return canvas_;
  }
  void newPage() override { flushPage(); }
  bool aborted() const override { return deviceAborted_; }
  void endDocument() override {
    flushPage();
    jobs.back().ended = true;
  }
  void abortDocument() override {
    flushPage();
    jobs.back().aborted = true;
  }

  std::vector<Job> jobs;
  bool available_ = true;
  bool failBegin_ = false;
  int failDrawOnPage_ = 0;  // 1-based page of the job whose drawing fails
  bool deviceAborted_ = false;
  Rect page_{0, 0, 4200, 5940};

 private:
  void flushPage() {
    jobs.back().pages.push_back(canvas_.ops());
    canvas_.clear();
  }

  TPrinterOrientation orientation_ = TPrinterOrientation::Portrait;
  RecordingCanvas canvas_;
};

}  // namespace wave::printtest
