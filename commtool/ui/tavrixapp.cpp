#include "commtool/ui/tavrixapp.h"

#include "commtool/ui/tavrixdlg.h"
#include "common/forms/qt_translations.h"

namespace tavrix {

CTavrixApp::CTavrixApp(int& argc, char** argv) : QApplication(argc, argv) {
  setApplicationName(QStringLiteral("Tavrix"));
  forms::InstallQtChineseTexts(*this);
}

int CTavrixApp::InitInstance() {
  CTavrixDlg dialog(DefaultUiHooks());
  dialog.exec();
  return 0;
}

}  // namespace tavrix
