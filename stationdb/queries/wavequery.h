#pragma once
// The query of stored waveform records: the history database's procedure
// RC_W_1 gives the records of one station, channel and meter within a time
// range, one row per record part with its waveform bytes; the rows replace
// DbState::ZavoVivords. Main thread only.

#include <cstdint>

#include "common/datetime.h"
#include "stationdb/core/rptdb.h"
#include "stationdb/records/records.h"

namespace stationdb {

// The identifier value that is not filtered on.
inline constexpr std::int32_t kAnyID = -1;

// Runs RC_W_1 on HistoryDataSet under HistoryDataSetMutex with "@stationid",
// "@channelid", "@meterid" (Null when negative), "@begintm" and "@endtm"
// (Null when exactly 0.0), and copies the rows into state.ZavoVivords by the
// column positions of state.RecordSourceMode (modes other than 12 and 21
// give zeroed elements). The array is emptied first.
//
// The number of rows; 0 when the procedure gave no row set; -1 when the mutex
// was not obtained or a database error occurred. A database error is
// reported through the RptDB message sink as "Strings_RptDB" str5 (built-in
// "数据库操作错误：") followed by the error's message; the array then keeps
// its length and the rows copied whole before the error, the others zeroed.
std::int32_t QueryZavoVivords(RptDB& rpt, DbState& state, std::int32_t station, std::int32_t channel,
                              std::int32_t meter, common::TDateTime begin, common::TDateTime end);

}  // namespace stationdb
