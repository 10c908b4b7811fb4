#pragma once
// A stand-in for the operator client deskterm: it creates the named sections,
// mutexes and events that libvelklog2 reads, fills them from a scenario and
// signals its start. Tests use it in-process; the program standin_deskterm
// runs it as a process of its own (and is what the library starts as
// "deskterm" in tests).
//
// Texts of the scenario are UTF-8; they are written into the sections in
// code page 936, as the real client does.

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "clientif/layout.h"
#include "common/ipc/ipcfunc.h"

namespace standin {

struct AnalogPoint {
  std::int32_t id = 0;
  std::string name;
  double value = 0.0;
};

struct StatusPoint {
  std::int32_t id = 0;
  std::string name;
  std::uint8_t value = 0;
};

struct Meter {
  std::int32_t id = 0;
  std::string name;
  std::int32_t field2 = 0;
  std::int16_t field3 = 0;
  std::uint8_t field4 = 0;
  std::int32_t field5 = 0;
  std::vector<AnalogPoint> analog;
  std::vector<StatusPoint> status;
};

struct Channel {
  std::int32_t id = 0;
  std::string name;
  std::int32_t state = 0;  // channel state in the front end's VELK_NODESTATUS record
  std::vector<Meter> meters;
};

struct Item {
  std::int32_t id = 0;
  std::string name;
};

struct CalcItem {
  std::int32_t id = 0;
  std::string name;
  double value = 0.0;
};

struct Control {
  std::int32_t id = 0;
  std::string name;
  std::uint8_t lock = 0;
};

struct Station {
  std::int32_t id = 0;
  std::vector<Channel> channels;
  std::vector<Control> controls;
  std::vector<Item> dayrpts;
  std::vector<Item> engrpts;
  std::vector<CalcItem> calcs;
};

struct Node {
  std::int32_t id = 0;
  std::string name;
  std::string computer;
  std::uint8_t role = 0;
  std::uint16_t state = 0;
  std::int32_t stationId = 0;
  std::int32_t nodeState = 0;    // VELK_NODESTATUS offset 24
  std::int32_t secondState = 0;  // offset 28
};

struct Operator {
  std::string name;
  std::string password;
  std::int32_t dtype = 0;
};

struct Scenario {
  std::vector<Node> nodes;
  std::int32_t stationCount = -1;  // -1: the number of stations below
  std::vector<Station> stations;
  std::vector<Operator> operators;
  std::string exchangeMessage;
  std::int32_t setupCount = 0;
  std::array<std::uint8_t, 16> updateTime{};
  std::int32_t eventWriteIndex = 0;  // events 0..index-1 are filled with their number
};

// A small system: a main and a standby server, stations 20 and 10 (main
// front ends listed in that order, with a standby front end for 10), and an
// operator client on computer.
Scenario SampleScenario(const std::string& computer);

// The byte of event record i's content (every byte of record i holds it).
inline std::uint8_t EventByte(int i) { return static_cast<std::uint8_t>(i % 251 + 1); }

struct Options {
  bool netList = true;         // create VELK_NET_LIST
  bool password = true;        // create VELK_PASSWORD
  bool instance = true;        // hold the instance mutex (the client "runs")
  std::size_t spareBytes = 0;  // room left in each COMM_HEAD and REALTIME section for growth
};

class StandinClient {
 public:
  explicit StandinClient(const Scenario& scenario, Options options = {});
  ~StandinClient();
  StandinClient(const StandinClient&) = delete;
  StandinClient& operator=(const StandinClient&) = delete;

  // The events the library waits on.
  void signalStarted();
  void setFinalizing(bool on);
  void setExchangeMessage(std::string_view utf8);

  // Raw access to a section this stand-in created (null when it did not).
  ipc::TSharedMem* section(std::string_view name);
  std::uint8_t* bytes(std::string_view name) { return section(name)->View(); }
  // The per-station sections of a station id.
  ipc::TSharedMem* stationSection(std::string_view base, std::int32_t stationId);

  void setWriterFlag(int slot, std::int32_t value);
  std::int32_t readerCount(int slot);
  std::int32_t attachSlot(int i);
  std::int32_t clientCounter();

  // The control queue.
  std::int32_t queuedPackets();
  velk::TCtrlPacket packet(int i);
  void clearPackets();

  // Writes the net list again (after the scenario's nodes changed) and adds
  // one to the setup count.
  void publishNetList(const Scenario& scenario);
  // Creates and fills the sections of a station (a new one or again).
  void publishStation(const Station& station);
  void removeStation(std::int32_t stationId);
  void setAnalogValue(std::int32_t stationId, int channel, int meter, int point, double value);

 private:
  void publishGlobals(const Scenario& scenario);
  void writeNetList(const Scenario& scenario);
  void publishOperators(const Scenario& scenario);
  void publishEvents(const Scenario& scenario);
  void publishNodeStatus(const Scenario& scenario);
  ipc::TSharedMem& create(const std::string& name, std::size_t size);

  Options options_;
  std::map<std::string, std::unique_ptr<ipc::TSharedMem>, std::less<>> sections_;
  std::vector<std::unique_ptr<ipc::TMutex>> mutexes_;
  std::unique_ptr<ipc::TMutex> instance_;
  std::unique_ptr<ipc::TEvent> started_;
  std::unique_ptr<ipc::TEvent> finalizing_;
  std::map<std::int32_t, Station> stations_;  // by station id, as published
};

}  // namespace standin
