// recordopen FILE.cfg: reads the record's .cfg as the main window does, then
// its samples, RMS curves or spectrum, peaks and drawing summary as a record
// window does when it opens, and prints what it found. No window: the whole
// process's time and memory (/usr/bin/time -v) are those of the opening.

#include <algorithm>
#include <cstdio>
#include <string>

#include "waveform/analysis/draw_summary.h"
#include "waveform/analysis/open_record.h"
#include "waveform/model/cfgopen.h"

namespace {

// Accepts the record as the options dialog's OK would, and keeps it.
class KeepingOpener final : public wave::RecordOpener {
 public:
  int openWindowCount() const override { return 0; }
  bool tempFilesFlag() const override { return false; }
  wave::DisplaySettings& displaySettings() override { return settings_; }
  void setRecord(const wave::TcfgInfo& record) override { record_ = record; }
  wave::OptionsDialogResult showOptionsDialog() override { return {true, true}; }
  void createRecordWindow(const std::string&, wave::RecordFiles) override { created_ = true; }

  const wave::TcfgInfo& record() const { return record_; }
  bool created() const { return created_; }

 private:
  wave::DisplaySettings settings_;
  wave::TcfgInfo record_;
  bool created_ = false;
};

void printMessages(const std::vector<common::UserMessage>& messages) {
  for (const auto& message : messages)
    for (const auto& piece : message.text) std::printf("message %s: %s\n", piece.key.c_str(), piece.defaultText.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: recordopen FILE.cfg\n");
    return 2;
  }
  KeepingOpener opener;
  const wave::CfgOpenOutcome cfg = wave::ReadCfgFile(argv[1], opener);
  printMessages(cfg.messages);
  if (cfg.error) std::printf("error: %s\n", cfg.error->c_str());
  if (!opener.created()) return 1;

  const wave::OpenedRecord opened = wave::OpenRecordData(opener.record(), 0, {});
  printMessages(opened.messages);
  if (!opened.data) return 1;
  const wave::RecordData& data = *opened.data;
  std::printf("channels %zu analogue, %zu digital; %lld samples, %lld written; NoNegativeSamples %d\n",
              data.analogCount(), data.digitalCount(), static_cast<long long>(data.layout().sampleCount),
              static_cast<long long>(data.samplesWritten()), data.NoNegativeSamples);
  double largest = 0, largestRms = 0;
  for (double peak : opened.analogPeaks) largest = std::max(largest, peak);
  for (double peak : opened.rmsPeaks) largestRms = std::max(largestRms, peak);
  std::printf("largest peak %.6g, largest RMS peak %.6g, summary %s\n", largest, largestRms,
              data.drawSummary() ? "built" : "none");
  return 0;
}
