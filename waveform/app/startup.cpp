#include "waveform/app/startup.h"

#include <QApplication>
#include <QDialog>
#include <QLocale>

#include <clocale>
#include <memory>

#include "common/lang/translateform.h"
#include "waveform/app/form_record_windows.h"
#include "waveform/app/main_form.h"
#include "waveform/app/record_windows.h"
#include "waveform/app/single_instance.h"
#include "waveform/app/ui_services.h"
#include "waveform/ui/form_services.h"

namespace wave {
namespace {

// A long-lived form whose content comes with a later part of the program.
std::unique_ptr<QDialog> shellForm(QWidget* mainWindow, const char* formClass, const char* caption) {
  auto form = std::make_unique<QDialog>(mainWindow);
  lang::setFormClass(*form, formClass);
  form->setWindowTitle(ToQString(caption));
  return form;
}

void useDecimalPoint() {
  // Qt takes the user's locale for the C library; numbers are read and
  // written with "." throughout. The program's own locale is Chinese, whose
  // decimal separator is "." as well.
  std::setlocale(LC_NUMERIC, "C");
  QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));
}

}  // namespace

int RunQuenlor(int argc, char** argv) {
  QApplication application(argc, argv);
  useDecimalPoint();

  SingleInstance instance(DefaultInstanceFolder());
  if (instance.start() == SingleInstance::Role::Secondary) return 0;

  QtUiServices ui;
  QtFormServices formServices;
  FormRecordWindows recordWindows(formServices);
  DisplaySettings settings;
  TMainForm mainForm(ui, recordWindows, settings);
  const auto printPreview = shellForm(&mainForm, "TPrintPreviewFm", "波形打印预览");
  const auto pageSet = shellForm(&mainForm, "TPrintPageSetForm", "页面设置");
  recordWindows.createOptionsDialog(&mainForm, mainForm);
  const auto dbConfig = shellForm(&mainForm, "TDBConfigForm", "数据连接配置对话框");

  QObject::connect(&instance, &SingleInstance::activateRequested, &mainForm, &TMainForm::WMActivateInstance);
  mainForm.show();
  return application.exec();
}

}  // namespace wave
