#pragma once
// What the five dialogs show and decide, without Qt: the log-in check, the
// point tree with its lists and results, the node-state trees and the control
// choice. Captions are UTF-8 (section texts decoded from code page 936); the
// forms only put them on screen and hand the user's choices back.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "clientif/clientlib.h"

namespace velk {

// The language text VLOG_n (UTF-8).
std::string VlogText(const ClientLibrary& library, int number);

// --- log-in ---

struct LoginOutcome {
  bool accepted = false;
  int messageKey = 0;  // 45 unknown name or wrong password, 46 missing rights; 0 when accepted
  std::int32_t dtype = 0;
};

// name and password in code page 936, as the operator table holds them.
LoginOutcome CheckLogin(ClientLibrary& library, const std::string& name, const std::string& password,
                        std::int32_t requiredMask);
// The operator names for TPasswordDlg2, as the table holds them (code page
// 936), sorted by a case-sensitive comparison.
std::vector<std::string> SortedOperatorNames(ClientLibrary& library);

// --- the point choice (TChRealPara_form) ---

struct PointKinds {
  bool calc = true;
  bool analog = true;
  bool status = true;
};

// The values a point choice takes in and gives back.
struct PointValues {
  std::int32_t stationId = 0;
  std::int32_t channelId = 0;
  std::int32_t meterId = 0;
  std::int32_t pointId = 0;
  std::int32_t kind = 0;
};

class PointTree {
 public:
  struct Meter {
    std::string caption;
    std::int32_t id = 0;
  };
  struct Channel {
    std::string caption;
    std::int32_t id = 0;
    std::vector<Meter> meters;
  };
  struct Station {
    std::string caption;
    std::int32_t stationId = 0;
    std::vector<Channel> channels;
    bool calcNode = false;  // one more node after the channels: the calculated items
  };
  // A tree node: station, channel and meter positions, -1 below the chosen
  // level. The calculated-items node is channel position channels.size().
  struct Node {
    int station = -1;
    int channel = -1;
    int meter = -1;
    bool operator==(const Node&) const = default;
  };
  struct Row {
    std::string name;
    std::string kindText;
    std::int32_t id = 0;
    std::int32_t kind = 0;  // 0 calculated, 1 analog, 2 status
  };

  static PointTree Build(ClientLibrary& library, PointKinds kinds);

  const std::vector<Station>& stations() const { return stations_; }
  bool isCalcNode(const Node& node) const;
  // The list rows of a tree node: the calculated items, or a meter's points.
  std::vector<Row> rows(ClientLibrary& library, const Node& node) const;
  // The node and row that preset values select (kind 0, 1 or 2).
  std::optional<std::pair<Node, int>> find(ClientLibrary& library, const PointValues& preset) const;

  struct Choice {
    int messageKey = 0;                 // 51: no point chosen
    std::optional<PointValues> values;  // empty: nothing chosen (the form stays open)
  };
  // OK on the realtime page with this node and row (-1 none).
  Choice choose(ClientLibrary& library, const Node& node, int row) const;

 private:
  PointKinds kinds_;
  std::vector<Station> stations_;
};

// --- node states (the node-state page of TChRealPara_form, TChooseNodeStatusDlg) ---

struct NodeStatusTree {
  struct Item {
    std::string caption;
    std::int32_t selector = 0;
    std::int32_t channelId = 0;  // for the channel-state items
  };
  struct Top {
    std::string caption;
    std::int32_t nodeId = 0;
    std::int32_t stationId = 0;
    std::vector<Item> items;
  };
  std::vector<Top> nodes;

  // TChRealPara_form: front ends get node state, second state and one item
  // per channel; operator clients the second state.
  static NodeStatusTree ForPointChoice(ClientLibrary& library);
  // TChooseNodeStatusDlg: front ends get VLOG_0047 and VLOG_0048 (both node
  // state) and one item per channel.
  static NodeStatusTree ForNodeChoice(ClientLibrary& library);

  // The point choice's result for item (top, item) (kind 3).
  PointValues pointChoice(int top, int item) const;
  // The node-state dialog's (node id, selector, third value).
  struct NodeChoice {
    std::int32_t nodeId = 0;
    std::int32_t selector = 0;
    std::int32_t third = 0;
  };
  NodeChoice nodeChoice(int top, int item) const;
  // The item that preset kind-3 values of a point choice select.
  std::optional<std::pair<int, int>> find(const PointValues& preset) const;
  // The item that the node-state dialog's preset values select: (top, -1)
  // when the node is there but no item of it matches.
  std::optional<std::pair<int, int>> find(const NodeChoice& preset) const;
};

// --- the control choice (TChCtrl_form) ---

struct ControlChoice {
  struct Station {
    std::string caption;
    std::int32_t stationId = 0;
  };
  std::vector<Station> stations;

  static ControlChoice Build(ClientLibrary& library);
  struct Control {
    std::string name;
    std::int32_t id = 0;
  };
  static std::vector<Control> Controls(ClientLibrary& library, int slot);
};

}  // namespace velk
