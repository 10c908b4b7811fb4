#include "stationdb/ui/dbdialogs.h"

#include "stationdb/ui/dbconfigdlg.h"
#include "stationdb/ui/selectwave_dlg.h"

namespace stationdb {

std::unique_ptr<TDBConfigForm> MakeDBConfigForm(TDBConnectionSettings& settings, forms::FormServices& services,
                                                QWidget* parent, const lang::MultiLangEngine& engine) {
  return std::make_unique<TDBConfigForm>(settings, services, parent, OpenAndCloseConnection, engine);
}

std::unique_ptr<TSelectWaveDlg> MakeSelectWaveDlg(const SelectWaveContext& context, forms::FormServices& services,
                                                  QWidget* parent, const lang::MultiLangEngine& engine) {
  return std::make_unique<TSelectWaveDlg>(context, services, parent, engine);
}

std::optional<wave::TcfgInfo> SelectWaveRecord(const SelectWaveContext& context, forms::FormServices& services,
                                               QWidget* parent, const lang::MultiLangEngine& engine) {
  const std::unique_ptr<TSelectWaveDlg> dialog = MakeSelectWaveDlg(context, services, parent, engine);
  services.execDialog(*dialog);
  if (dialog->CfgInfo.CfgPath.empty()) return std::nullopt;
  return dialog->CfgInfo;
}

}  // namespace stationdb
