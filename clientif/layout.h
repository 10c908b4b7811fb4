#pragma once
// The operator client's shared sections: names, sizes and the offsets of the
// fields this library reads or writes. They are an interprocess format shared
// with another program, so every size and offset below is binding.

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "clientif/velklog2.h"

namespace velk {

static_assert(std::endian::native == std::endian::little, "the sections are little-endian");
static_assert(std::numeric_limits<double>::is_iec559, "the sections hold IEEE 754 doubles");

// Kernel object names.
inline constexpr std::string_view kMainHandleName = "VELK_MAIN_HANDLE";
inline constexpr std::string_view kScadaServerName = "VELK_SCADA_SERVER";
inline constexpr std::string_view kScadaServerMutexName = "VELK_SCADA_SERVER_WRITE_MUTEX";
inline constexpr std::string_view kNetListName = "VELK_NET_LIST";
inline constexpr std::string_view kNetListMutexName = "VELK_NET_LIST_WRITE_MUTEX";
inline constexpr std::string_view kPasswordName = "VELK_PASSWORD";
inline constexpr std::string_view kCtrlPackName = "VELK_CTRLPACK";
inline constexpr std::string_view kCtrlPackMutexName = "VELK_CTRLPACK_WRITE_MUTEX";
inline constexpr std::string_view kSysEveName = "VELK_SYSEVE";
inline constexpr std::string_view kSysEveMutexName = "VELK_SYSEVE_WRITE_MUTEX";
inline constexpr std::string_view kNodeStatusName = "VELK_NODESTATUS";
inline constexpr std::string_view kNodeStatusMutexName = "VELK_NODESTATUS_WIRTE_MUTEX";  // spelled so
inline constexpr std::string_view kCommHeadName = "VELK_COMM_HEAD-00";
inline constexpr std::string_view kRptNameName = "VELK_RPT_NAME-00";
inline constexpr std::string_view kRealtimeName = "VELK_REALTIME-00";
inline constexpr std::string_view kRealtimeMutexName = "VELK_REALTIME_WRITE_MUTEX_00";
inline constexpr std::string_view kCrShareMutexBase = "VELK_CRSHARE_WRITE_MUTEX";
inline constexpr int kCrShareMutexCount = 128;
inline constexpr std::string_view kInitEventName = "XRT_VELKORA3_DESKTERM_INITIANLIZE_EVENT";  // spelled so
inline constexpr std::string_view kFinalizeEventName = "XRT_VELKORA3_DESKTERM_FINALIZE_EVENT";
inline constexpr std::string_view kInstanceName = "XRT_VELKORA3_DESKTERM_INSTANCE_HANDLE";

// The instance mutex of a program, named "VerirUri_" + the program's name.
// The operator client holds the one of kInstanceName while it runs; the
// library only asks whether it exists.
class TVErirUri {
 public:
  explicit TVErirUri(std::string_view name);
  const std::string& name() const { return name_; }
  const std::string& mutexName() const { return mutexName_; }
  // Whether the mutex exists now.
  bool probe() const;

 private:
  std::string name_;
  std::string mutexName_;
};

// The name of a per-station object: the two placeholder digits at the end of
// base become chr(48 + id div 10) and chr(48 + id mod 10) (id 105 gives ":5").
// Empty when the result cannot name an object (a NUL, "/" or "\").
std::optional<std::string> StationObjectName(std::string_view base, std::int32_t stationId);

inline constexpr int kMaxStations = 128;
inline constexpr int kMaxNodes = 128;
inline constexpr int kMaxChannels = 128;
inline constexpr int kMaxMeterPositions = 128;
inline constexpr int kMaxPoints = 1024;
inline constexpr int kMaxOperators = 100;
inline constexpr int kAttachSlots = 100;

// Node roles.
inline constexpr std::uint8_t kRoleServer = 0x01;
inline constexpr std::uint8_t kRoleFrontEnd = 0x02;
inline constexpr std::uint8_t kRoleClient = 0x04;
inline constexpr std::uint8_t kRoleStandbyServer = 0x10;
inline constexpr std::uint8_t kRoleStandbyFrontEnd = 0x20;

// Process kinds of the counters in VELK_SCADA_SERVER.
inline constexpr int kKindMainServer = 0;
inline constexpr int kKindStandbyServer = 1;
inline constexpr int kKindClient = 2;

namespace mainhandle {
inline constexpr std::size_t kSize = 2108;
inline constexpr std::size_t kAttachSlots = 4;
inline constexpr std::size_t kExchangeMessage = 936;
inline constexpr std::size_t kExchangeMessageSize = 128;
inline constexpr std::size_t kWriterFlags = 1064;
inline constexpr std::size_t kReaderCounts = 1576;
inline constexpr std::size_t kUpdateTime = 2088;
inline constexpr std::size_t kUpdateTimeSize = 16;
inline constexpr std::size_t kSetupCount = 2104;
}  // namespace mainhandle

namespace scadaserver {
inline constexpr std::size_t kSize = 1056;
constexpr std::size_t counter(int kind) { return 12 + 4 * static_cast<std::size_t>(kind); }
}  // namespace scadaserver

namespace netlist {
inline constexpr std::size_t kSize = 67592;
inline constexpr std::size_t kNodeCount = 0;
inline constexpr std::size_t kStationCount = 4;
inline constexpr std::size_t kNodes = 8;
}  // namespace netlist

namespace password {
inline constexpr std::size_t kSize = 15204;
inline constexpr std::size_t kCount = 0;
inline constexpr std::size_t kRecords = 4;
}  // namespace password

#pragma pack(push, 1)
// An operator of VELK_PASSWORD (152 bytes); the password is plain text.
struct TOperatorRec {
  std::int32_t reserved0;
  char name[128];
  char password[16];
  std::int32_t DTYPE;  // rights mask
};

// A queued control command (436 bytes); bytes 4..13 are its key.
struct TCtrlPacket {
  std::int32_t reserved0;
  std::int16_t station;
  std::int32_t firstCode;
  std::int32_t secondCode;
  std::uint8_t reserved1[10];
  std::int32_t seconds;
  std::int32_t reserved2;
  std::int32_t milliseconds;
  std::int32_t reserved3;
  std::int16_t value;
  std::int16_t reserved4;
  char text1[128];
  char computerName[128];
  char text2[128];
  std::int32_t sixth;
  std::int32_t seventh;
};

// The head of a meter record in VELK_COMM_HEAD-NN (179 bytes).
struct TMeterHead {
  std::int32_t meterId;
  std::int32_t field2;
  std::int16_t field3;
  std::uint8_t field4;
  char meterName[128];
  std::int16_t analogCount;
  std::int16_t statusCount;
  std::uint8_t reserved[32];
  std::int32_t field5;
};
#pragma pack(pop)

namespace ctrlpack {
inline constexpr std::size_t kSize = 43604;
inline constexpr std::size_t kCount = 0;
inline constexpr std::size_t kPackets = 4;
inline constexpr int kCapacity = 100;
inline constexpr std::size_t kKey = 4;
inline constexpr std::size_t kKeySize = 10;
}  // namespace ctrlpack

namespace syseve {
inline constexpr std::size_t kSize = 4705004;
inline constexpr std::size_t kWriteIndex = 0;
inline constexpr std::size_t kRing = 4;
inline constexpr int kRingSize = 5000;
}  // namespace syseve

namespace nodestatus {
inline constexpr std::size_t kSize = 69632;
inline constexpr std::size_t kRecordSize = 544;
inline constexpr std::size_t kNodeState = 24;
inline constexpr std::size_t kSecondState = 28;
inline constexpr std::size_t kChannelStates = 32;
}  // namespace nodestatus

namespace commhead {
inline constexpr std::size_t kTotalSize = 0;
inline constexpr std::size_t kChead = 4;
inline constexpr std::size_t kMeters = 4 + sizeof(CHEAD);
inline constexpr std::size_t kMeterHeadSize = 179;
inline constexpr std::size_t kPointSize = 155;  // 4 + 128 + 1 + 2 + 2 + 2 + 8 + 8
}  // namespace commhead

namespace rptname {
inline constexpr std::size_t kSize = 26220016;
inline constexpr std::size_t kControlCount = 0;
inline constexpr std::size_t kDayrptCount = 4;
inline constexpr std::size_t kEngrptCount = 8;
inline constexpr std::size_t kCalcCount = 12;
inline constexpr std::size_t kControls = 16;
inline constexpr std::size_t kDayrpts = 1540016;
inline constexpr std::size_t kEngrpts = 9240016;
inline constexpr std::size_t kCalcs = 10780016;
inline constexpr int kMaxControls = 10000;
inline constexpr int kMaxDayrpts = 50000;
inline constexpr int kMaxEngrpts = 10000;
inline constexpr int kMaxCalcs = 10000;
inline constexpr std::size_t kItemName = 26;
inline constexpr std::size_t kCalcName = 1416;
}  // namespace rptname

namespace realtime {
inline constexpr std::size_t kTotalSize = 0;
inline constexpr std::size_t kAnalogCounts = 65548;
inline constexpr std::size_t kStatusCounts = 98316;
inline constexpr std::size_t kAnalogOffsets = 131084;
inline constexpr std::size_t kStatusOffsets = 196620;
inline constexpr std::size_t kCalcOffset = 262156;
inline constexpr std::size_t kLockOffset = 262160;
inline constexpr std::size_t kTablesEnd = 262164;
inline constexpr int kMaxCalcValues = 10000;
constexpr std::size_t meterIndex(int channel, int meter) {
  return static_cast<std::size_t>(channel) * kMaxMeterPositions + static_cast<std::size_t>(meter);
}
}  // namespace realtime

// The record layouts, byte for byte.
static_assert(sizeof(TNetNode) == 528);
static_assert(offsetof(TNetNode, nodeName) == 4 && offsetof(TNetNode, computerName) == 132);
static_assert(offsetof(TNetNode, role) == 260 && offsetof(TNetNode, state) == 262);
static_assert(offsetof(TNetNode, stationId) == 264 && offsetof(TNetNode, stationSlot) == 268);
static_assert(offsetof(TNetNode, reserved2) == 272);
static_assert(netlist::kNodes + kMaxNodes * sizeof(TNetNode) == netlist::kSize);

static_assert(sizeof(CHEAD) == 18561);
static_assert(offsetof(CHEAD, channelIds) == 1 && offsetof(CHEAD, meterCounts) == 1025);
static_assert(offsetof(CHEAD, reserved1) == 1153 && offsetof(CHEAD, channelNames) == 1665);
static_assert(offsetof(CHEAD, reserved2) == 18049);

static_assert(sizeof(TMeterPara) == 158867);
static_assert(offsetof(TMeterPara, field2) == 4 && offsetof(TMeterPara, field3) == 8);
static_assert(offsetof(TMeterPara, field4) == 10 && offsetof(TMeterPara, meterName) == 11);
static_assert(offsetof(TMeterPara, analogCount) == 139 && offsetof(TMeterPara, statusCount) == 141);
static_assert(offsetof(TMeterPara, pointIds) == 143 && offsetof(TMeterPara, pointNames) == 4239);
static_assert(offsetof(TMeterPara, pointBytes) == 135311 && offsetof(TMeterPara, pointShorts1) == 136335);
static_assert(offsetof(TMeterPara, pointShorts2) == 138383 && offsetof(TMeterPara, pointShorts3) == 140431);
static_assert(offsetof(TMeterPara, pointValues1) == 142479 && offsetof(TMeterPara, pointValues2) == 150671);
static_assert(offsetof(TMeterPara, field5) == 158863);

static_assert(sizeof(TMeterHead) == commhead::kMeterHeadSize);
static_assert(offsetof(TMeterHead, meterName) == 11 && offsetof(TMeterHead, analogCount) == 139);
static_assert(offsetof(TMeterHead, statusCount) == 141 && offsetof(TMeterHead, field5) == 175);

static_assert(sizeof(TCtrlPacket) == 436);
static_assert(offsetof(TCtrlPacket, station) == 4 && offsetof(TCtrlPacket, firstCode) == 6);
static_assert(offsetof(TCtrlPacket, secondCode) == 10 && offsetof(TCtrlPacket, seconds) == 24);
static_assert(offsetof(TCtrlPacket, milliseconds) == 32 && offsetof(TCtrlPacket, value) == 40);
static_assert(offsetof(TCtrlPacket, text1) == 44 && offsetof(TCtrlPacket, computerName) == 172);
static_assert(offsetof(TCtrlPacket, text2) == 300 && offsetof(TCtrlPacket, sixth) == 428);
static_assert(offsetof(TCtrlPacket, seventh) == 432);
static_assert(ctrlpack::kPackets + ctrlpack::kCapacity * sizeof(TCtrlPacket) == ctrlpack::kSize);

static_assert(sizeof(TReportItem) == 154 && offsetof(TReportItem, name) == rptname::kItemName);
static_assert(sizeof(TCalcItem) == 1544 && offsetof(TCalcItem, name) == rptname::kCalcName);
static_assert(rptname::kDayrpts == rptname::kControls + rptname::kMaxControls * sizeof(TReportItem));
static_assert(rptname::kEngrpts == rptname::kDayrpts + rptname::kMaxDayrpts * sizeof(TReportItem));
static_assert(rptname::kCalcs == rptname::kEngrpts + rptname::kMaxEngrpts * sizeof(TReportItem));
static_assert(rptname::kSize == rptname::kCalcs + rptname::kMaxCalcs * sizeof(TCalcItem));

static_assert(sizeof(TSysEvent) == 941);
static_assert(syseve::kRing + syseve::kRingSize * sizeof(TSysEvent) == syseve::kSize);

static_assert(sizeof(SYSTEMTIME) == 16);
static_assert(sizeof(TOperatorRec) == 152);
static_assert(offsetof(TOperatorRec, name) == 4 && offsetof(TOperatorRec, password) == 132);
static_assert(offsetof(TOperatorRec, DTYPE) == 148);
static_assert(password::kRecords + kMaxOperators * sizeof(TOperatorRec) == password::kSize);
static_assert(kMaxNodes * nodestatus::kRecordSize == nodestatus::kSize - 0);
static_assert(realtime::kStatusCounts == realtime::kAnalogCounts + 2 * 128 * 128);
static_assert(realtime::kAnalogOffsets == realtime::kStatusCounts + 2 * 128 * 128);
static_assert(realtime::kStatusOffsets == realtime::kAnalogOffsets + 4 * 128 * 128);
static_assert(realtime::kCalcOffset == realtime::kStatusOffsets + 4 * 128 * 128);

// A read-only window on mapped bytes; every access is checked against its size.
struct ByteView {
  const std::uint8_t* data = nullptr;
  std::size_t size = 0;

  bool holds(std::size_t offset, std::size_t length) const {
    return data != nullptr && offset <= size && length <= size - offset;
  }
  // Copies length bytes from offset; false (nothing copied) when they are not all inside.
  bool copy(std::size_t offset, void* out, std::size_t length) const {
    if (!holds(offset, length)) return false;
    std::memcpy(out, data + offset, length);
    return true;
  }
  template <class T>
  std::optional<T> load(std::size_t offset) const {
    T value;
    if (!copy(offset, &value, sizeof(T))) return std::nullopt;
    return value;
  }
  // The text of a char[n] field: up to its first NUL, at most n bytes.
  std::optional<std::string> text(std::size_t offset, std::size_t n) const {
    if (!holds(offset, n)) return std::nullopt;
    const char* p = reinterpret_cast<const char*>(data + offset);
    return std::string(p, ::strnlen(p, n));
  }
};

// The text of a char[n] field held in memory of our own.
inline std::string FieldText(const char* field, std::size_t n) { return std::string(field, ::strnlen(field, n)); }

// The length of the longest start of a code page 936 text that takes at most
// limit bytes and does not end inside a two-byte character (a lead byte
// 0x81..0xFE and the byte after it).
inline std::size_t GbkCutLength(std::string_view gbk, std::size_t limit) {
  std::size_t length = 0;
  while (length < gbk.size()) {
    const auto byte = static_cast<std::uint8_t>(gbk[length]);
    const std::size_t step = byte >= 0x81 && byte <= 0xFE && length + 1 < gbk.size() ? 2 : 1;
    if (length + step > limit) break;
    length += step;
  }
  return length;
}

// Writes text into a char[n] field: at most n - 1 bytes, the rest zero; a
// longer text is cut between characters.
inline void SetFieldText(char* field, std::size_t n, std::string_view text) {
  std::memset(field, 0, n);
  std::memcpy(field, text.data(), GbkCutLength(text, n - 1));
}

}  // namespace velk
