#include "waveform/app/form_record_windows.h"

#include <QDialog>

#include "waveform/ui/fault_wave_form.h"
#include "common/forms/form_services.h"
#include "waveform/ui/options_dlg.h"

namespace wave {

FormRecordWindows::FormRecordWindows(forms::FormServices& services) : services_(services) {}

FormRecordWindows::~FormRecordWindows() = default;

void FormRecordWindows::createOptionsDialog(QWidget* mainWindow, RecordOpener& host) {
  optionsDialog_ = new TOptionsDlg(host.displaySettings(), services_, mainWindow);
}

OptionsDialogResult FormRecordWindows::showOptionsDialog(QWidget*, const TcfgInfo& record) {
  if (!optionsDialog_) return {};
  optionsDialog_->setRecord(record);
  const int result = services_.execDialog(*optionsDialog_);
  return {optionsDialog_->ChannelsChosen() == 1, result == QDialog::Accepted};
}

std::unique_ptr<QWidget> FormRecordWindows::createRecordWindow(const RecordWindowRequest& request) {
  RecordWindowSetup setup;
  setup.caption = request.caption;
  setup.record = request.record;
  setup.settings = &request.settings;
  setup.recordSourceMode = request.recordSourceMode;
  setup.host = &request.host;
  setup.recordFiles = request.recordFiles;
  setup.waveChannels = request.waveChannels;
  setup.services = &services_;
  setup.printPreview = printPreview_;
  if (request.opened) return TFaultWaveForm::Create(setup, std::move(*request.opened));
  return TFaultWaveForm::Create(setup);
}

void FormRecordWindows::setClockText(QWidget& recordWindow, const QString& text) {
  if (auto* window = qobject_cast<TFaultWaveForm*>(&recordWindow)) window->setClockText(text);
}

}  // namespace wave
