#pragma once
// The program's record windows (TFaultWaveForm) and display options dialog
// (TOptionsDlg) behind the main window's RecordWindowKit. The record windows
// print through the program's print-preview window.

#include <QPointer>

#include <memory>

#include "waveform/app/record_windows.h"
#include "waveform/print/print_preview_form.h"
#include "waveform/ui/options_dlg.h"

namespace wave {

class FormRecordWindows : public RecordWindowKit {
 public:
  explicit FormRecordWindows(forms::FormServices& services);
  ~FormRecordWindows() override;

  void createOptionsDialog(QWidget* mainWindow, RecordOpener& host) override;
  OptionsDialogResult showOptionsDialog(QWidget* parent, const TcfgInfo& record) override;
  std::unique_ptr<QWidget> createRecordWindow(const RecordWindowRequest& request) override;
  void setClockText(QWidget& recordWindow, const QString& text) override;

  TOptionsDlg* optionsDialog() const { return optionsDialog_; }
  // The print-preview window that the record windows made from now on use.
  void setPrintPreview(TPrintPreviewFm* preview) { printPreview_ = preview; }

 private:
  forms::FormServices& services_;
  QPointer<TOptionsDlg> optionsDialog_;  // owned by the main window
  QPointer<TPrintPreviewFm> printPreview_;
};

}  // namespace wave
