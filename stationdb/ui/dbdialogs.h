#pragma once
// What the database menu needs of the two database dialogs.
//
//   // Power-quality settings: OK tests both databases and replaces settings.
//   auto form = MakeDBConfigForm(settings, formServices, mainWindow);
//   if (formServices.execDialog(*form) == TDBConfigForm::kModalOk) ...write contp.dat, connect...
//
//   // After a successful log-in: choose one stored record.
//   SelectWaveContext context{rpt, dbState, trees};
//   context.waitWindow = [](const QString& text) { ...a shown TAppStartDlg with text... };
//   if (auto info = SelectWaveRecord(context, formServices, mainWindow)) ...open info->CfgPath...

#include <functional>
#include <memory>
#include <optional>

#include <QString>

#include "common/lang/engine.h"
#include "stationdb/convert/waveconvert.h"
#include "stationdb/core/dbconfig.h"
#include "stationdb/core/rptdb.h"
#include "stationdb/queries/configtrees.h"
#include "stationdb/records/records.h"
#include "recordmodel/record.h"
#include "common/forms/form_services.h"

class QWidget;

namespace stationdb {

class TDBConfigForm;
class TSelectWaveDlg;

// The settings dialog over settings (UTF-8 texts), its connection tests made
// through the database layer. Shown modally it ends with kModalOk after the
// ten settings were replaced, else kModalCancel; showing it puts the catalog
// defaults into empty catalog settings, which stay even after Cancel.
// Messages go through services.
std::unique_ptr<TDBConfigForm> MakeDBConfigForm(TDBConnectionSettings& settings, forms::FormServices& services,
                                                QWidget* parent = nullptr,
                                                const lang::MultiLangEngine& engine = lang::LangEngine());

// A wait window already shown with the text; the dialog destroys it when the
// query is done. An empty factory shows none.
using WaitWindowFactory = std::function<std::unique_ptr<QWidget>(const QString& text)>;

// What the record selection dialog works with; all of it outlives the dialog.
struct SelectWaveContext {
  RptDB& rpt;                 // its HistoryDataSet runs the record query
  DbState& state;             // RecordSourceMode (12 or 21; any other shows nothing), ZavoVivords, WaveChannels
  const ConfigTrees& trees;   // StationRoot: the tree shown and where meters are looked up
  ConvertSettings convert = DefaultConvertSettings();  // folder of the written pairs, davureva.ini, clock
  WaitWindowFactory waitWindow;                        // shown while a mode-21 query runs
};

// The dialog itself, not yet shown.
std::unique_ptr<TSelectWaveDlg> MakeSelectWaveDlg(const SelectWaveContext& context, forms::FormServices& services,
                                                  QWidget* parent = nullptr,
                                                  const lang::MultiLangEngine& engine = lang::LangEngine());

// Shows the dialog modally through services.execDialog and hands back its
// CfgInfo when a record was chosen and converted (CfgPath not empty): in mode
// 21 the path of the written .cfg (its .dat beside it; both belong to the
// window that opens them), in mode 12 the record's name with WaveChannels
// filled. Nothing when the dialog was closed without a record or the
// conversion was refused.
std::optional<wave::TcfgInfo> SelectWaveRecord(const SelectWaveContext& context, forms::FormServices& services,
                                               QWidget* parent = nullptr,
                                               const lang::MultiLangEngine& engine = lang::LangEngine());

}  // namespace stationdb
