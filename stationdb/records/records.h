#pragma once
// The plain records that carry database rows between the database code and the
// record window, the names of the database objects, and the process-wide
// database state: one application-owned DbState.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/datetime.h"
#include "recordmodel/record.h"

namespace stationdb {

// Values of the record source mode (RecordSourceMode). Compared for equality,
// except that the main window takes any value above 10 as a database mode.
inline constexpr std::int32_t kSourceFolder = 0;         // record files opened from a folder
inline constexpr std::int32_t kSourcePowerQuality = 12;  // the power-quality database
inline constexpr std::int32_t kSourceAutomation = 21;    // the automation system's databases

constexpr bool IsDatabaseMode(std::int32_t mode) { return mode > 10; }

// Database objects used by the database code.
inline constexpr std::string_view kConfigTreeTable = "PC_TB_05";      // configuration tree of mode 21
inline constexpr std::string_view kEventLogProc = "PD_SP_16";         // event log stored procedure
inline constexpr std::string_view kServerTimeProc = "SP_24";          // server time stored procedure
inline constexpr std::string_view kWaveformRecordProc = "RC_W_1";     // waveform record stored procedure

// One row of the waveform record query.
struct TWaveformRecord {
  std::int32_t SerialNo = 0;
  std::uint32_t StationID = 0;
  std::uint32_t ChannelID = 0;
  std::uint32_t MeterID = 0;
  common::TDateTime TriggerTime = 0;
  std::int32_t Millisecond = 0;
  std::int32_t AuxValue = 0;  // mode 21 only; 0 in mode 12
  std::uint16_t AuxWord = 0;
  std::vector<std::uint8_t> WaveData;  // the stored waveform bytes
};

// Whether two rows describe the same record (the record list shows it once).
bool SameWaveformRecord(const TWaveformRecord& a, const TWaveformRecord& b);

// One item of a record-kind list: "name=code".
struct TEventHandle {
  std::string Name;
  std::int32_t Code = 0;
};

// The record-kind lists of the keys "SAGSWELL", "TRANSIENT" and "SETPOING".
struct TWaveformHandle {
  std::vector<TEventHandle> SagSwell;
  std::vector<TEventHandle> Transient;
  std::vector<TEventHandle> SetPoint;
};

// The first item whose Code is not negative and equals code, searching SagSwell,
// then Transient, then SetPoint; nullptr when none matches.
const TEventHandle* FindWaveKind(const TWaveformHandle& kinds, std::int32_t code);

// One user as the log-in dialog lists it.
struct TUserInfo {
  std::uint32_t UserID = 0;
  std::string UserName;
  std::string Password;
  std::string Remark;
  std::uint8_t Disabled = 0;
};

// The process-wide database state. The application owns one and
// passes it to the forms and database code that use it.
struct DbState {
  std::int32_t RecordSourceMode = kSourceFolder;
  std::vector<TWaveformRecord> ZavoVivords;  // rows of the last waveform query
  std::vector<wave::TWaveformData> WaveChannels;  // channels of the last decoded power-quality record
  TWaveformHandle WaveKinds;                 // record-kind lists
};

}  // namespace stationdb
