#include "waveform/app/startup.h"

#include <QApplication>
#include <QDialog>
#include <QLocale>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "common/lang/engine.h"
#include "common/lang/translateform.h"
#include "stationdb/ui/dbconfigdlg.h"
#include "stationdb/ui/dbdialogs.h"
#include "waveform/app/db_menu_dialogs.h"
#include "waveform/app/form_record_windows.h"
#include "waveform/app/main_form.h"
#include "waveform/app/record_windows.h"
#include "waveform/app/single_instance.h"
#include "waveform/app/ui_services.h"
#include "waveform/print/page_set_form.h"
#include "waveform/print/print_preview_form.h"
#include "waveform/print/print_services.h"
#include "common/forms/form_services.h"
#include "common/forms/qt_translations.h"
#include "common/forms/wait_window.h"

namespace wave {
namespace {

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
  forms::InstallQtChineseTexts(application);

  SingleInstance instance(DefaultInstanceFolder());
  if (instance.start() == SingleInstance::Role::Secondary) return 0;

  QtUiServices ui;
  forms::QtFormServices formServices;
  QtPrintFormServices printServices;
  FormRecordWindows recordWindows(formServices);
  DisplaySettings settings;
  StationAccess station(stationdb::ContpFilePath(), nullptr, lang::makeLangLookup(lang::LangEngine()));
  TMainForm mainForm(ui, recordWindows, settings);
  QtDatabaseDialogs databaseDialogs(&mainForm, formServices, station);
  mainForm.attachDatabase(station, databaseDialogs);
  station.rpt().setMessageSink(
      [&ui, &mainForm](const common::UserMessage& message) { ui.showMessage(&mainForm, message, MessageButtons::Ok); });
  TPrintPreviewFm printPreview(settings, printServices, nullptr, &mainForm);
  TPrintPageSetForm pageSet(settings, printServices, &mainForm);
  printPreview.setPageSetForm(&pageSet);
  recordWindows.setPrintPreview(&printPreview);
  recordWindows.createOptionsDialog(&mainForm, mainForm);
  const auto dbConfig = stationdb::MakeDBConfigForm(mainForm.databaseMenu()->settings(), formServices, &mainForm);

  QObject::connect(&instance, &SingleInstance::activateRequested, &mainForm, &TMainForm::WMActivateInstance);
  mainForm.show();
  const int code = application.exec();
  // A job still running (an opening or export cancelled just before the end)
  // is stopped; one that does not stop in time must not keep the program alive.
  if (!forms::BackgroundRunner().stopAll(forms::kWorkerStopBound)) {
    std::fflush(nullptr);
    std::_Exit(code);
  }
  return code;
}

}  // namespace wave
