#include "waveform/app/db_menu_dialogs.h"

#include <QCoreApplication>
#include <QLabel>

#include "stationdb/queries/eventlog.h"
#include "stationdb/ui/dbconfigdlg.h"
#include "stationdb/ui/dbdialogs.h"
#include "stationdb/ui/getpass.h"

namespace wave {
namespace {

class PasswordLogin : public LoginDialog {
 public:
  PasswordLogin(std::unique_ptr<stationdb::TPasswordDlg> dialog, forms::FormServices& services)
      : dialog_(std::move(dialog)), services_(services) {}

  std::optional<Login> Show() override {
    if (services_.execDialog(*dialog_) != stationdb::TPasswordDlg::kModalOk) return std::nullopt;
    Login login{dialog_->LoginName, dialog_->LoginPassword};
    dialog_->LoginPassword.clear();  // no longer needed once it was handed over
    return login;
  }

 private:
  std::unique_ptr<stationdb::TPasswordDlg> dialog_;
  forms::FormServices& services_;
};

// A TAppStartDlg already shown with text, for the record query.
std::unique_ptr<TAppStartDlg> shownWaitWindow(QWidget* parent, const QString& text) {
  auto window = std::make_unique<TAppStartDlg>(parent);
  window->Label1()->setText(text);
  window->show();
  window->repaint();
  // The load that follows blocks the event loop: let the window appear first
  // (but take no clicks meant for the windows behind it).
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  return window;
}

}  // namespace

QtDatabaseDialogs::QtDatabaseDialogs(QWidget* mainWindow, forms::FormServices& services, StationAccess& station,
                                     const lang::MultiLangEngine& engine)
    : mainWindow_(mainWindow), services_(services), station_(station), engine_(engine) {}

QtDatabaseDialogs::~QtDatabaseDialogs() = default;

bool QtDatabaseDialogs::EditConnectionSettings(stationdb::TDBConnectionSettings& settings) {
  const auto form = stationdb::MakeDBConfigForm(settings, services_, mainWindow_, engine_);
  return services_.execDialog(*form) == stationdb::TDBConfigForm::kModalOk;
}

std::unique_ptr<LoginDialog> QtDatabaseDialogs::CreateLoginDialog(const stationdb::ConfigTrees& trees,
                                                                  std::int32_t recordSourceMode) {
  // The list of names is read once, while the dialog is made.
  const stationdb::UserListSource users{
      [&trees, recordSourceMode] { return stationdb::GetUserCount(trees, recordSourceMode); },
      [&trees, recordSourceMode](std::vector<stationdb::TUserInfo>& list) {
        return stationdb::GetUserList(trees, recordSourceMode, list);
      }};
  return std::make_unique<PasswordLogin>(
      std::make_unique<stationdb::TPasswordDlg>(users, services_, mainWindow_, engine_), services_);
}

std::optional<TcfgInfo> QtDatabaseDialogs::SelectRecord(const stationdb::ConfigTrees& trees,
                                                        std::int32_t recordSourceMode) {
  station_.state().RecordSourceMode = recordSourceMode;
  stationdb::SelectWaveContext context{station_.rpt(), station_.state(), trees};
  context.waitWindow = [this](const QString& text) -> std::unique_ptr<QWidget> {
    return shownWaitWindow(mainWindow_, text);
  };
  return stationdb::SelectWaveRecord(context, services_, mainWindow_, engine_);
}

void QtDatabaseDialogs::ShowWaitWindow(const common::UserMessage& text) {
  waitWindow_ = shownWaitWindow(mainWindow_, forms::Utf8(common::ResolveText(text, lang::makeLangLookup(engine_))));
}

void QtDatabaseDialogs::CloseWaitWindow() { waitWindow_.reset(); }

}  // namespace wave
