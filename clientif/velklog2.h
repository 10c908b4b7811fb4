#ifndef CLIENTIF_VELKLOG2_H
#define CLIENTIF_VELKLOG2_H
/*
 * libvelklog2: read access to what the running operator client (deskterm)
 * publishes in its named shared-memory sections.
 *
 * Conventions of every function below:
 * - No function raises or aborts; each returns its failure value instead.
 * - Booleans are uint8_t (0 false, 1 true); where an int32_t carries a yes/no
 *   answer, -1 means yes and 0 no.
 * - Texts in and out are code page 936 (GBK) bytes, NUL-terminated.
 * - A returned `const char*` points into a result buffer of the library (one
 *   per calling thread, 256 bytes with the NUL) that the next text-returning
 *   call of the same thread overwrites; on failure it points to an empty text.
 * - Buffers belong to the caller and must hold what the function writes:
 *   the record type named in the comment, 128 bytes per name, 4 per id.
 * - "slot" is a station's 0-based position in ascending order of station id;
 *   "channel" and "meter" are positions, "...id" are ids.
 * - Most functions refuse (failure value) until init_mlog_calls has returned 1
 *   and after close_mlog_calls.
 */

#include <stdint.h>

#if defined(VELKLOG2_BUILDING)
#define VELK_API __attribute__((visibility("default")))
#else
#define VELK_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

#pragma pack(push, 1)

/* A node of the automation system's network (528 bytes). */
typedef struct TNetNode {
  int32_t nodeId;
  char nodeName[128];
  char computerName[128];
  uint8_t role; /* 0x01 server (+0x10 standby), 0x02 front end (+0x20 standby), 0x04 operator client */
  uint8_t reserved1;
  uint16_t state; /* bits 4..7: node state */
  int32_t stationId;
  int32_t stationSlot; /* -1 for nodes that are not front ends */
  uint8_t reserved2[256];
} TNetNode;

/* A station's channel table (18561 bytes). */
typedef struct CHEAD {
  uint8_t channelCount;
  int32_t channelIds[256];
  uint8_t meterCounts[128];
  uint8_t reserved1[512];
  char channelNames[128][128];
  uint8_t reserved2[512];
} CHEAD;

/* One meter with its points: analog points 0..analogCount-1, then the status
 * points; entries past analogCount + statusCount are 0 (158867 bytes). */
typedef struct TMeterPara {
  int32_t meterId;
  int32_t field2;
  int16_t field3;
  uint8_t field4;
  char meterName[128];
  int16_t analogCount;
  int16_t statusCount;
  int32_t pointIds[1024];
  char pointNames[1024][128];
  uint8_t pointBytes[1024];
  int16_t pointShorts1[1024];
  int16_t pointShorts2[1024];
  int16_t pointShorts3[1024];
  double pointValues1[1024];
  double pointValues2[1024];
  int32_t field5;
} TMeterPara;

/* An item of a station's report tables: control point, day-report or
 * energy-report item (154 bytes). */
typedef struct TReportItem {
  int32_t id;
  uint8_t reserved[22];
  char name[128];
} TReportItem;

/* A calculated item (1544 bytes). */
typedef struct TCalcItem {
  int32_t id;
  uint8_t reserved[1412];
  char name[128];
} TCalcItem;

/* A system event as the operator client stores it; opaque (941 bytes). */
typedef struct TSysEvent {
  uint8_t bytes[941];
} TSysEvent;

typedef struct SYSTEMTIME {
  uint16_t wYear;
  uint16_t wMonth;
  uint16_t wDayOfWeek;
  uint16_t wDay;
  uint16_t wHour;
  uint16_t wMinute;
  uint16_t wSecond;
  uint16_t wMilliseconds;
} SYSTEMTIME;

#pragma pack(pop)

#if !defined(__cplusplus) && defined(__STDC_VERSION__) && __STDC_VERSION__ >= 201112L
_Static_assert(sizeof(TNetNode) == 528, "TNetNode is 528 bytes");
_Static_assert(sizeof(CHEAD) == 18561, "CHEAD is 18561 bytes");
_Static_assert(sizeof(TMeterPara) == 158867, "TMeterPara is 158867 bytes");
_Static_assert(sizeof(TReportItem) == 154, "TReportItem is 154 bytes");
_Static_assert(sizeof(TCalcItem) == 1544, "TCalcItem is 1544 bytes");
_Static_assert(sizeof(TSysEvent) == 941, "TSysEvent is 941 bytes");
_Static_assert(sizeof(SYSTEMTIME) == 16, "SYSTEMTIME is 16 bytes");
#endif

/* Attach and detach */
VELK_API int32_t init_mlog_calls(void);
VELK_API void close_mlog_calls(void);
VELK_API uint8_t IsCLientRunning(void);
VELK_API uint8_t IsClientregisted(void);
VELK_API const char* GetInitErrorMsg(int32_t code);

/* Device-type cache and connection settings. The name buffers take 128
 * bytes; GetDBConnInfo's take up to 10241 bytes each (works without attach). */
VELK_API void get_regist_meter_str(int32_t id, char* buffer);
VELK_API void get_regist_mlog_str(int32_t id, char* buffer);
VELK_API int32_t get_meter_unit(const char* name);
VELK_API uint8_t GetDBConnInfo(char* suffix, char* mainConnection, char* standbyConnection);

/* Station model and look-ups */
VELK_API uint8_t read_CHEAD(CHEAD* buffer, int32_t slot);
VELK_API uint8_t read_meter_para(int32_t slot, int32_t channel, int32_t meter, TMeterPara* buffer);
VELK_API uint8_t calc_sta_meter(int32_t slot, int32_t n, int32_t* channel, int32_t* meter);
VELK_API uint8_t calc_station_sta_meter(int32_t n, int32_t* slot, int32_t* channel, int32_t* meter);
VELK_API int32_t calc_meter_num(int32_t slot, int32_t channel, int32_t meter);
VELK_API uint8_t get_scada_number(int32_t* count);
VELK_API uint8_t get_main_server_node(TNetNode* buffer);
VELK_API uint8_t get_node_list(int32_t* count, TNetNode* buffer); /* buffer: 128 records */
VELK_API int32_t GetNetNodeCount(void);
VELK_API uint8_t GetNetNodeInfo(int32_t n, TNetNode* buffer);
VELK_API int32_t refresh_stationcfgshare(void);
VELK_API uint8_t FindScadaIndex(int32_t stationId, int32_t* slot);
VELK_API uint8_t FindChannelIndex(int32_t stationId, int32_t channelId, int32_t* slot, int32_t* channel);
VELK_API uint8_t FindDeviceIndex(int32_t stationId, int32_t channelId, int32_t meterId, int32_t* slot, int32_t* channel,
                                 int32_t* meter);
VELK_API uint8_t FindMeasIndex(int32_t stationId, int32_t channelId, int32_t meterId, int32_t pointId, int32_t* slot,
                               int32_t* channel, int32_t* meter, int32_t* point);
VELK_API uint8_t FindCtrlIndex(int32_t stationId, int32_t controlId, int32_t* slot, int32_t* control);
VELK_API uint8_t GetScadaID(int32_t slot, int32_t* stationId);
VELK_API uint8_t GetChannelID(int32_t slot, int32_t channel, int32_t* channelId);
VELK_API uint8_t GetDeviceID(int32_t slot, int32_t channel, int32_t meter, int32_t* meterId);
VELK_API uint8_t GetMeasID(int32_t slot, int32_t channel, int32_t meter, int32_t point, int32_t* pointId);
VELK_API uint8_t GetCtrlID(int32_t slot, int32_t control, int32_t* controlId);

/* Realtime values, events and controls */
VELK_API double read_realtime_data(int32_t kind, int32_t a, int32_t b, int32_t c, int32_t d);
VELK_API double read_realtime_data_byid(int32_t a, int32_t b, int32_t c);
VELK_API uint8_t Read_realtime_values(int32_t a, int32_t b, int32_t c, int32_t d, int32_t e);
VELK_API uint8_t Read_calc_items(int32_t slot, int32_t* count, TCalcItem* buffer);
VELK_API uint8_t read_syseve_share_num(int32_t* writeIndex);
VELK_API uint8_t read_syseve_share_data(int32_t* writeIndex, int32_t* readIndex, int32_t* count, int32_t capacity,
                                        TSysEvent* buffer);
VELK_API uint8_t add_ctrl_do(int32_t firstCode, int32_t secondCode, const char* text1, int16_t value, int32_t station,
                             int32_t sixth, int32_t seventh, const char* text2);
VELK_API uint8_t GetCtrlLockState(int32_t slot, int32_t control);
VELK_API int32_t Read_front_status(const char* nodeName);
VELK_API int32_t Read_node_status(const char* nodeName);
VELK_API int32_t Read_Scada_status(int32_t slot);

/* Item names and ids: (slot, first, in/out count, out total, buffer) */
VELK_API uint8_t read_ctrl_do_names(int32_t slot, int32_t first, int32_t* count, int32_t* total, char* names);
VELK_API uint8_t read_calcs_names(int32_t slot, int32_t first, int32_t* count, int32_t* total, char* names);
VELK_API uint8_t read_dayrpt_names(int32_t slot, int32_t first, int32_t* count, int32_t* total, char* names);
VELK_API uint8_t read_engrpt_names(int32_t slot, int32_t first, int32_t* count, int32_t* total, char* names);
VELK_API uint8_t read_dayrpt_ids(int32_t slot, int32_t first, int32_t* count, int32_t* total, int32_t* ids);
VELK_API uint8_t read_engrpt_ids(int32_t slot, int32_t first, int32_t* count, int32_t* total, int32_t* ids);

/* Names, counts and checks */
VELK_API const char* GetScadaName(int32_t slot, int32_t standby);
VELK_API const char* GetNodeName(int32_t node);
VELK_API const char* GetChannelName(int32_t slot, int32_t channel);
VELK_API const char* GetMeterName(int32_t slot, int32_t channel, int32_t meter);
VELK_API const char* GetparaName(int32_t slot, int32_t channel, int32_t meter, int32_t point, int32_t kind);
VELK_API int32_t GetScadaCount(void);
VELK_API int32_t GetChannelCount(int32_t slot);
VELK_API int32_t GetMeterCount(int32_t slot, int32_t channel);
VELK_API int32_t GetParaCount(int32_t slot, int32_t channel, int32_t meter, int32_t kind);
VELK_API int32_t IsParaValid(int32_t kind, int32_t slot, int32_t channel, int32_t meter, int32_t point);
VELK_API int32_t IsParaCodeValid(int32_t a, int32_t b);
VELK_API const char* GetControlName(int32_t slot, int32_t control);
VELK_API int32_t GetControlCount(int32_t slot);
VELK_API const char* GetMeasTypeName(int32_t kind);
VELK_API const char* GetControlTypeName(int32_t kind);
VELK_API int32_t GetDayrptCount(int32_t slot);
VELK_API int32_t GetEngrptCount(int32_t slot);
VELK_API uint8_t GetDayrptInfo(int32_t slot, int32_t index, TReportItem* buffer);
VELK_API uint8_t GetEngrptInfo(int32_t slot, int32_t index, TReportItem* buffer);

/* Operators */
VELK_API int32_t GetOperatorCount(void);
VELK_API const char* GetOperatorName(int32_t index);
VELK_API int32_t get_operator_DTYPE(int32_t index);
VELK_API int32_t check_operator_pass(const char* name, const char* password);

/* Paths, time and configuration state. get_working_path writes at most 260
 * bytes with the NUL. */
VELK_API void get_working_path(char* buffer);
VELK_API const char* GetGraphPath(void);
VELK_API const char* GetDeviceLIBPath(void);
VELK_API int32_t rchtime(SYSTEMTIME time);
VELK_API int32_t chtime(uint32_t seconds, SYSTEMTIME* time);
VELK_API uint8_t read_velklog_deskterm_exchangemsg(char* buffer, int32_t size);
VELK_API uint8_t get_stationcfgshare_updatetime(uint8_t* buffer16);
VELK_API uint8_t get_stationcfgshare_setupcount(int32_t* count);

/* Dialogs. parent is a native window id, 0 for none. They need a GUI thread
 * (a QApplication is made when the host has none). */
VELK_API int32_t CheckUserPassword(uintptr_t parent, char* name, int32_t* rights);
VELK_API int32_t CheckUserPassword2(uintptr_t parent, char* name, int32_t* rights, const char* caption);
VELK_API int32_t ChooseParaTreeDlg(uintptr_t parent, int32_t* stationId, int32_t* channelId, int32_t* meterId,
                                   int32_t* pointId, int32_t* kind);
VELK_API int32_t ChooseMeasParaTreeDlg(uintptr_t parent, int32_t* stationId, int32_t* channelId, int32_t* meterId,
                                       int32_t* pointId, int32_t* kind);
VELK_API int32_t ChooseStatusParaTreeDlg(uintptr_t parent, int32_t* stationId, int32_t* channelId, int32_t* meterId,
                                         int32_t* pointId, int32_t* kind);
VELK_API int32_t ChooseCtrlDlg(uintptr_t parent, int32_t* stationId, int32_t* controlId);
VELK_API int32_t ChooseNodeStatusTreeDlg(uintptr_t parent, int32_t* nodeId, int32_t* selector, int32_t* third);

#ifdef __cplusplus
}
#endif

#endif /* CLIENTIF_VELKLOG2_H */
