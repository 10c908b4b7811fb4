#pragma once
// Opening a record stored as a .cfg/.dat pair: read and check the .cfg, then
// let the main window show the options dialog and create the record window.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "common/message.h"
#include "recordmodel/record.h"
#include "waveform/model/settings.h"

namespace wave {

inline constexpr int kMaxRecordWindows = 4;

struct OptionsDialogResult {
  bool accepted = false;  // the dialog's ChannelsChosen
  bool modalOk = false;   // it was closed with OK
};

// What the main window offers to the opening.
class RecordOpener {
 public:
  virtual ~RecordOpener() = default;

  virtual int openWindowCount() const = 0;
  // TempFilesFlag: the pair was written from the database and belongs to the
  // opening; it is deleted when the opening is abandoned.
  virtual bool tempFilesFlag() const = 0;
  virtual DisplaySettings& displaySettings() = 0;
  // Makes record the main window's record: the one the options dialog lists
  // and the new record window copies. Called only for a record that passed
  // every check.
  virtual void setRecord(const TcfgInfo& record) = 0;
  // Shows the display options dialog modally.
  virtual OptionsDialogResult showOptionsDialog() = 0;
  virtual void createRecordWindow(const std::string& caption) = 0;
  // Removes a file; a missing file is no error.
  virtual void deleteFile(const std::filesystem::path& path);
};

struct CfgOpenOutcome {
  std::vector<common::UserMessage> messages;  // to show in this order
  std::optional<std::string> error;           // then this one in the general error box
  bool opened = false;                        // a record window was created
};

// ReadCfgFile: opens the record whose .cfg is at path.
CfgOpenOutcome ReadCfgFile(const std::string& path, RecordOpener& opener);

}  // namespace wave
