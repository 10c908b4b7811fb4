#pragma once
// What the main window needs of the record windows and of the display options
// dialog. The program plugs in its forms (FormRecordWindows); tests plug in
// stand-ins.

#include <QString>

#include <cstdint>
#include <memory>
#include <span>

#include "stationdb/records/records.h"
#include "waveform/analysis/open_record.h"
#include "waveform/model/cfgopen.h"
#include "recordmodel/record.h"
#include "waveform/model/settings.h"

class QWidget;

namespace wave {

// What a new record window takes over when it is created.
struct RecordWindowRequest {
  QString caption;
  const TcfgInfo& record;          // the main window's record; the window copies it
  DisplaySettings& settings;       // the program's display settings
  std::int32_t recordSourceMode;   // 0 files, 12 and 21 the databases
  RecordOpener& host;              // the main window: its record, settings and options dialog
  // The .cfg/.dat pair written from the database for this opening, or null:
  // a window that is made takes it over and deletes it when it closes; a
  // refusal leaves it to the caller.
  RecordFiles* recordFiles = nullptr;
  // The decoded channels of a power-quality record (source 12), read while the
  // window is created.
  std::span<const wave::TWaveformData> waveChannels = {};
  // The record's samples, read and analysed already (off the window thread),
  // with what reading found; the window takes them over. Null: the window
  // reads them itself.
  OpenedRecord* opened = nullptr;
};

class RecordWindowKit {
 public:
  virtual ~RecordWindowKit() = default;

  // Creates the long-lived display options dialog; called once at start, in
  // its place among the program's forms.
  virtual void createOptionsDialog(QWidget* mainWindow, RecordOpener& host) = 0;
  // Shows the display options dialog modally, listing record's channels.
  virtual OptionsDialogResult showOptionsDialog(QWidget* parent, const TcfgInfo& record) = 0;
  // A new record window, not yet shown; null when the record cannot be shown
  // (the window has told the user why). Called once the record's data are
  // complete.
  virtual std::unique_ptr<QWidget> createRecordWindow(const RecordWindowRequest& request) = 0;
  // Writes text into the clock panel (panel 2) of a window made by createRecordWindow.
  virtual void setClockText(QWidget& recordWindow, const QString& text) = 0;
};

}  // namespace wave
