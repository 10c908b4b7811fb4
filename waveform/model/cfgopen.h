#pragma once
// Opening a record stored as a .cfg/.dat pair: read and check the .cfg, then
// let the main window show the options dialog and create the record window.

#include <optional>
#include <string>
#include <vector>

#include "common/message.h"
#include "recordmodel/record.h"
#include "waveform/model/record_files.h"
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
  // opening, which deletes it on every way out unless its record window takes
  // it over.
  virtual bool tempFilesFlag() const = 0;
  virtual DisplaySettings& displaySettings() = 0;
  // Makes record the main window's record: the one the options dialog lists
  // and the new record window copies. Called only for a record that passed
  // every check.
  virtual void setRecord(const TcfgInfo& record) = 0;
  // Shows the display options dialog modally.
  virtual OptionsDialogResult showOptionsDialog() = 0;
  // Opens the main window's record in a new record window. files: the pair
  // written from the database for it (empty for a record of a folder), which
  // the window owns from then on; on a refusal or a failure on the way the
  // files are deleted.
  virtual void createRecordWindow(const std::string& caption, RecordFiles files) = 0;
};

struct CfgOpenOutcome {
  std::vector<common::UserMessage> messages;  // to show in this order
  std::optional<std::string> error;           // then this one in the general error box
  bool opened = false;                        // a record window was created
};

// ReadCfgFile: opens the record whose .cfg is at path.
CfgOpenOutcome ReadCfgFile(const std::string& path, RecordOpener& opener);

}  // namespace wave
