#include "waveform/model/cfgopen.h"

#include "common/strings.h"
#include "waveform/model/cfgreader.h"
#include "waveform/model/datafile.h"

namespace wave {
namespace {

std::string captionOf(const std::string& cfgPath) {
  const std::size_t slash = cfgPath.rfind('/');
  return common::Trim(slash == std::string::npos ? std::string_view(cfgPath)
                                                 : std::string_view(cfgPath).substr(slash + 1));
}

class Opening {
 public:
  Opening(const std::string& path, RecordOpener& opener)
      : path_(path), opener_(opener), files_(opener.tempFilesFlag() ? RecordFiles(path) : RecordFiles()) {}

  // A pair written from the database that no record window took over is
  // deleted when the opening ends, whichever way it ends.
  CfgOpenOutcome run() {
    if (const std::optional<TcfgInfo> record = read()) open(*record);
    return std::move(outcome_);
  }

 private:
  // The record when it passed every check and may be opened.
  std::optional<TcfgInfo> read() {
    const std::optional<std::filesystem::path> dat = FindDatPartner(path_);
    if (!dat) {
      outcome_.messages.push_back(DataFileMissingMessage(path_));
      return std::nullopt;
    }
    CfgFileLines lines;
    if (!lines.open(path_)) {
      outcome_.error = CannotOpenFileText(path_);
      return std::nullopt;
    }
    FileDataReader reader(*dat);
    CfgReadOutcome parsed = ParseCfgLines(lines, path_, reader);
    outcome_.messages = std::move(parsed.messages);
    outcome_.error = std::move(parsed.error);
    if (!parsed.record) return std::nullopt;
    if (opener_.openWindowCount() >= kMaxRecordWindows) {
      outcome_.messages.push_back(CfgMessage(26));
      return std::nullopt;
    }
    return std::move(parsed.record);
  }

  void open(const TcfgInfo& record) {
    opener_.setRecord(record);
    DisplaySettings& settings = opener_.displaySettings();
    settings.NewRecordOpened = 1;
    const OptionsDialogResult result = opener_.showOptionsDialog();
    if (result.accepted) {
      // A dialog that was not closed with OK abandons the pair even so.
      opener_.createRecordWindow(captionOf(record.CfgPath), result.modalOk ? std::move(files_) : RecordFiles());
      outcome_.opened = true;
    } else {
      settings.NewRecordOpened = 0;
    }
  }

  const std::string& path_;
  RecordOpener& opener_;
  RecordFiles files_;
  CfgOpenOutcome outcome_;
};

}  // namespace

CfgOpenOutcome ReadCfgFile(const std::string& path, RecordOpener& opener) {
  return Opening(path, opener).run();
}

}  // namespace wave
