#include "waveform/model/cfgopen.h"

#include <system_error>

#include "common/paths.h"
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
  Opening(const std::string& path, RecordOpener& opener) : path_(path), opener_(opener) {}

  CfgOpenOutcome run() {
    if (!read()) deletePair();
    return std::move(outcome_);
  }

 private:
  // Reads and checks the record, then opens it; false when it was abandoned
  // before the options dialog.
  bool read() {
    dat_ = FindDatPartner(path_);
    if (!dat_) {
      outcome_.messages.push_back(DataFileMissingMessage(path_));
      return false;
    }
    const auto text = common::ReadWholeFile(path_);
    if (!text) {
      outcome_.error = CannotOpenFileText(path_);
      return false;
    }
    FileDataReader reader(*dat_);
    CfgReadOutcome parsed = ParseCfgText(*text, path_, reader);
    outcome_.messages = std::move(parsed.messages);
    outcome_.error = std::move(parsed.error);
    if (!parsed.record) return false;
    if (opener_.openWindowCount() >= kMaxRecordWindows) {
      outcome_.messages.push_back(CfgMessage(26));
      return false;
    }
    open(*parsed.record);
    return true;
  }

  void open(const TcfgInfo& record) {
    opener_.setRecord(record);
    DisplaySettings& settings = opener_.displaySettings();
    settings.NewRecordOpened = 1;
    const OptionsDialogResult result = opener_.showOptionsDialog();
    if (result.accepted) {
      opener_.createRecordWindow(captionOf(record.CfgPath));
      outcome_.opened = true;
    } else {
      settings.NewRecordOpened = 0;
    }
    if (!result.modalOk) deletePair();
  }

  void deletePair() {
    if (!opener_.tempFilesFlag()) return;
    opener_.deleteFile(path_);
    opener_.deleteFile(dat_ ? *dat_ : std::filesystem::path(DatPartnerPath(path_)));
  }

  const std::string& path_;
  RecordOpener& opener_;
  std::optional<std::filesystem::path> dat_;
  CfgOpenOutcome outcome_;
};

}  // namespace

void RecordOpener::deleteFile(const std::filesystem::path& path) {
  std::error_code ec;
  std::filesystem::remove(path, ec);
}

CfgOpenOutcome ReadCfgFile(const std::string& path, RecordOpener& opener) {
  return Opening(path, opener).run();
}

}  // namespace wave
