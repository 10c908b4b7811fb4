#pragma once
// Services around the log-in: an entry in the automation system's event log
// (history database), the database server's clock (configuration database),
// and the users of the loaded security tree.
//
// The two stored procedures run under their RptDB mutexes; a database error
// is reported through the RptDB message sink as "Strings_RptDB" str3 (event
// log) or str4 (server time), built-in "数据库操作错误：", followed by the
// error's message. Main thread only.

#include <cstdint>
#include <functional>
#include <span>
#include <string_view>

#include "stationdb/core/memorystream.h"
#include "stationdb/core/normalfunction.h"
#include "stationdb/core/rptdb.h"
#include "stationdb/queries/configtrees.h"
#include "stationdb/records/records.h"
#include "stationdb/tree/security.h"

namespace stationdb {

// What the program itself writes: program exit, log-off and log-in.
inline constexpr std::int32_t kProgramEventType = 0x3050;

// Runs PD_SP_16 on HistoryStoredProc with "@RETURN_VALUE", "@Type", "@Byte",
// "@CanCancel" (1 or 0), "@UserID", "@Description" and "@Memo" (texts of
// size 256, GBK bytes as the database stores them), "@datalength" (the
// stream's size, 0 without one) and "@Data" (the stream's whole content,
// Null without one). The procedure's return value; -1 on a mutex time-out
// or a database error.
std::int32_t WriteEventLog(RptDB& rpt, std::int32_t type, std::int32_t byte, bool canCancel, std::int32_t userID,
                           std::string_view description, std::string_view memo, const MemoryStream* data);

// Runs SP_24 ("@RETURN_VALUE", "@DT" output) on ConfigStoredProc, bound
// first to the configuration connection, or to its standby when
// ConnectionState is 2. 0 when time holds the server's clock; any other
// value (the procedure's own, or -1 for a mutex time-out or a database
// error) leaves time at localTime().
std::int32_t GetServerTime(RptDB& rpt, TSystemTime& time,
                           const std::function<TSystemTime()>& localTime = localSystemTime);

// A date-time as a SYSTEMTIME (Sunday is day 0 of the week), to the millisecond.
TSystemTime DateTimeToSystemTime(common::TDateTime value);

// The login rules' clock with the server's time from GetServerTime.
LoginClock ServerLoginClock(RptDB& rpt);

// The users container of the mode's security tree (FindNode below
// SecurityRoot); nullptr when there is none.
const CSetObj* FindUsersContainer(const ConfigTrees& trees, std::int32_t recordSourceMode);

// The number of users (CUserNode children of the container); 0 without a
// security tree, an empty one or one without a users container.
std::int32_t GetUserCount(const ConfigTrees& trees, std::int32_t recordSourceMode);

// Copies the users, in child order, into the first elements of users. False
// (nothing copied) when there are more users than elements, without a
// security tree or without a users container; true otherwise, also for no
// users. Elements past the last user are left as they were.
bool GetUserList(const ConfigTrees& trees, std::int32_t recordSourceMode, std::span<TUserInfo> users);

}  // namespace stationdb
