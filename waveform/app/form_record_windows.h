#pragma once
// The program's record windows (TFaultWaveForm) and display options dialog
// (TOptionsDlg) behind the main window's RecordWindowKit.

#include <QPointer>

#include <memory>

#include "waveform/app/record_windows.h"
#include "waveform/ui/options_dlg.h"

namespace wave {

class FormRecordWindows : public RecordWindowKit {
 public:
  explicit FormRecordWindows(FormServices& services);
  ~FormRecordWindows() override;

  void createOptionsDialog(QWidget* mainWindow, RecordOpener& host) override;
  OptionsDialogResult showOptionsDialog(QWidget* parent, const TcfgInfo& record) override;
  std::unique_ptr<QWidget> createRecordWindow(const RecordWindowRequest& request) override;
  void setClockText(QWidget& recordWindow, const QString& text) override;

  TOptionsDlg* optionsDialog() const { return optionsDialog_; }

 private:
  FormServices& services_;
  QPointer<TOptionsDlg> optionsDialog_;  // owned by the main window
};

}  // namespace wave
