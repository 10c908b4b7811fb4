#pragma once
// The program's dialogs of the database menu: TDBConfigForm, TPasswordDlg,
// TSelectWaveDlg and the wait window TAppStartDlg, all shown through the form
// services, so that tests can play the user in them.

#include <QPointer>

#include <memory>

#include "waveform/app/app_start_dlg.h"
#include "waveform/app/db_menu.h"
#include "waveform/app/station_access.h"
#include "common/forms/form_services.h"

class QWidget;

namespace wave {

class QtDatabaseDialogs : public DatabaseDialogs {
 public:
  // mainWindow parents the dialogs; station gives the record selection its
  // connections and state.
  QtDatabaseDialogs(QWidget* mainWindow, forms::FormServices& services, StationAccess& station,
                    const lang::MultiLangEngine& engine = lang::LangEngine());
  ~QtDatabaseDialogs() override;

  bool EditConnectionSettings(stationdb::TDBConnectionSettings& settings) override;
  std::unique_ptr<LoginDialog> CreateLoginDialog(const stationdb::ConfigTrees& trees,
                                                 std::int32_t recordSourceMode) override;
  std::optional<TcfgInfo> SelectRecord(const stationdb::ConfigTrees& trees, std::int32_t recordSourceMode) override;
  void ShowWaitWindow(const common::UserMessage& text) override;
  void CloseWaitWindow() override;

 private:
  QWidget* mainWindow_;
  forms::FormServices& services_;
  StationAccess& station_;
  const lang::MultiLangEngine& engine_;
  std::unique_ptr<TAppStartDlg> waitWindow_;
};

}  // namespace wave
