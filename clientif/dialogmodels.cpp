#include "clientif/dialogmodels.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "common/gbk.h"
#include "common/safeformat.h"

namespace velk {
namespace {

std::string decoded(const std::string& gbk) { return common::GbkToUtf8(gbk); }

std::string nodeCaption(const TNetNode& node) { return decoded(FieldText(node.nodeName, 128)); }

std::optional<CHEAD> stationHead(ClientLibrary& library, int slot) {
  CHEAD head{};
  if (slot < 0 || !library.read_CHEAD(&head, slot)) return std::nullopt;
  return head;
}

}  // namespace

std::string VlogText(const ClientLibrary& library, int number) { return lang::vlogText(library.engine(), number); }

// --- log-in ---

LoginOutcome CheckLogin(ClientLibrary& library, const std::string& name, const std::string& password,
                        std::int32_t requiredMask) {
  const std::int32_t index = library.check_operator_pass(name.c_str(), password.c_str());
  if (index < 0) return {false, 45, 0};
  const std::int32_t dtype = library.get_operator_DTYPE(index);
  if (requiredMask != 0 && (dtype & requiredMask) != requiredMask) return {false, 46, dtype};
  return {true, 0, dtype};
}

std::vector<std::string> SortedOperatorNames(ClientLibrary& library) {
  std::vector<std::string> names = library.operatorNames();
  std::sort(names.begin(), names.end());  // byte order: case-sensitive
  return names;
}

// --- the point choice ---

PointTree PointTree::Build(ClientLibrary& library, PointKinds kinds) {
  PointTree tree;
  tree.kinds_ = kinds;
  const StationTable table = library.stationTable();
  for (int slot = 0; slot < table.stationCount; ++slot) {
    Station station;
    station.caption = nodeCaption(table.main[static_cast<std::size_t>(slot)].node);
    station.stationId = table.stationId(slot);
    station.calcNode = kinds.calc;
    if (const auto head = stationHead(library, slot)) {
      for (int c = 0; c < ChannelCount(*head); ++c) {
        Channel channel{decoded(ChannelName(*head, c)), ChannelId(*head, c), {}};
        for (int m = 0; m < MeterCount(*head, c); ++m) {
          std::int32_t id = 0;
          const bool readable = library.GetDeviceID(slot, c, m, &id);
          channel.meters.push_back({readable ? decoded(library.GetMeterName(slot, c, m)) : VlogText(library, 50), id});
        }
        station.channels.push_back(std::move(channel));
      }
    }
    tree.stations_.push_back(std::move(station));
  }
  return tree;
}

bool PointTree::isCalcNode(const Node& node) const {
  if (node.station < 0 || node.station >= static_cast<int>(stations_.size())) return false;
  const Station& station = stations_[static_cast<std::size_t>(node.station)];
  return station.calcNode && node.channel == static_cast<int>(station.channels.size());
}

std::vector<PointTree::Row> PointTree::rows(ClientLibrary& library, const Node& node) const {
  std::vector<Row> rows;
  if (isCalcNode(node)) {
    for (const auto& item : library.calcItems(node.station))
      rows.push_back({decoded(item.name), VlogText(library, 32), item.id, 0});
    return rows;
  }
  if (node.meter < 0) return rows;
  auto para = std::make_unique<TMeterPara>();
  if (!library.read_meter_para(node.station, node.channel, node.meter, para.get())) return rows;
  const int analog = para->analogCount;
  const int status = para->statusCount;
  auto add = [&](int entry, int kind) {
    std::int32_t id = 0;
    std::memcpy(&id, reinterpret_cast<const std::uint8_t*>(para.get()) + offsetof(TMeterPara, pointIds) + 4 * entry, 4);
    rows.push_back(
        {decoded(FieldText(para->pointNames[entry], 128)), VlogText(library, kind == 1 ? 33 : 34), id, kind});
  };
  if (kinds_.analog)
    for (int i = 0; i < analog; ++i) add(i, 1);
  if (kinds_.status)
    for (int i = 0; i < status; ++i) add(analog + i, 2);
  return rows;
}

std::optional<std::pair<PointTree::Node, int>> PointTree::find(ClientLibrary& library,
                                                               const PointValues& preset) const {
  Node node;
  if (preset.kind == 0) {
    if (!library.FindScadaIndex(preset.stationId, &node.station) || node.station >= static_cast<int>(stations_.size()))
      return std::nullopt;
    node.channel = static_cast<int>(stations_[static_cast<std::size_t>(node.station)].channels.size());
    if (!isCalcNode(node)) return std::nullopt;
  } else if (preset.kind == 1 || preset.kind == 2) {
    if (!library.FindDeviceIndex(preset.stationId, preset.channelId, preset.meterId, &node.station, &node.channel,
                                 &node.meter))
      return std::nullopt;
  } else {
    return std::nullopt;
  }
  const std::vector<Row> list = rows(library, node);
  for (std::size_t r = 0; r < list.size(); ++r)
    if (list[r].kind == preset.kind && list[r].id == preset.pointId) return std::pair(node, static_cast<int>(r));
  return std::pair(node, -1);
}

PointTree::Choice PointTree::choose(ClientLibrary& library, const Node& node, int row) const {
  if (node.station < 0 || node.station >= static_cast<int>(stations_.size()) || node.channel < 0 || row < 0)
    return {51, std::nullopt};
  const std::vector<Row> list = rows(library, node);
  if (row >= static_cast<int>(list.size())) return {0, std::nullopt};  // stays open, says nothing
  const Station& station = stations_[static_cast<std::size_t>(node.station)];
  const Row& chosen = list[static_cast<std::size_t>(row)];
  PointValues values;
  values.stationId = station.stationId;
  values.pointId = chosen.id;
  values.kind = chosen.kind;
  if (!isCalcNode(node)) {
    const Channel& channel = station.channels[static_cast<std::size_t>(node.channel)];
    values.channelId = channel.id;
    values.meterId = channel.meters[static_cast<std::size_t>(node.meter)].id;
  }
  return {0, values};
}

// --- node states ---

namespace {

void addChannelItems(ClientLibrary& library, const TNetNode& node, NodeStatusTree::Top& top) {
  const auto head = stationHead(library, node.stationSlot);
  if (!head) return;
  const std::string format = VlogText(library, 49);
  for (int c = 0; c < ChannelCount(*head); ++c)
    top.items.push_back(
        {common::SafeFormat(format, {decoded(ChannelName(*head, c))}), kSelectorChannelState, ChannelId(*head, c)});
}

NodeStatusTree buildTree(ClientLibrary& library, bool pointChoice) {
  NodeStatusTree tree;
  const auto list = library.netList();
  if (!list) return tree;
  for (const TNetNode& node : *list) {
    NodeStatusTree::Top top{nodeCaption(node), node.nodeId, node.stationId, {}};
    if ((node.role & kRoleFrontEnd) != 0) {
      top.items.push_back({VlogText(library, 47), kSelectorNodeState, 0});
      top.items.push_back({VlogText(library, 48), pointChoice ? kSelectorSecondState : kSelectorNodeState, 0});
      addChannelItems(library, node, top);
    } else if (pointChoice && (node.role & kRoleClient) != 0) {
      top.items.push_back({VlogText(library, 48), kSelectorSecondState, 0});
    }
    tree.nodes.push_back(std::move(top));
  }
  return tree;
}

}  // namespace

NodeStatusTree NodeStatusTree::ForPointChoice(ClientLibrary& library) { return buildTree(library, true); }

NodeStatusTree NodeStatusTree::ForNodeChoice(ClientLibrary& library) { return buildTree(library, false); }

PointValues NodeStatusTree::pointChoice(int top, int item) const {
  const Top& node = nodes[static_cast<std::size_t>(top)];
  const Item& chosen = node.items[static_cast<std::size_t>(item)];
  PointValues values;
  values.kind = 3;
  values.stationId = node.nodeId;
  values.channelId = chosen.selector;
  if (chosen.selector == kSelectorNodeState) {
    values.meterId = node.stationId;
  } else if (chosen.selector == kSelectorSecondState) {
    values.meterId = 0x10ffff03;
  } else {
    values.meterId = chosen.channelId;
  }
  values.pointId = 0;
  return values;
}

NodeStatusTree::NodeChoice NodeStatusTree::nodeChoice(int top, int item) const {
  const Top& node = nodes[static_cast<std::size_t>(top)];
  const Item& chosen = node.items[static_cast<std::size_t>(item)];
  const std::int32_t third = chosen.selector == kSelectorChannelState ? chosen.channelId : item + 1;
  return {node.nodeId, chosen.selector, third};
}

std::optional<std::pair<int, int>> NodeStatusTree::find(const PointValues& preset) const {
  for (std::size_t t = 0; t < nodes.size(); ++t) {
    if (nodes[t].nodeId != preset.stationId) continue;
    const auto& items = nodes[t].items;
    for (std::size_t i = 0; i < items.size(); ++i) {
      const bool sameChannel = items[i].selector != kSelectorChannelState || items[i].channelId == preset.meterId;
      if (items[i].selector == preset.channelId && sameChannel)
        return std::pair(static_cast<int>(t), static_cast<int>(i));
    }
    return std::pair(static_cast<int>(t), -1);
  }
  return std::nullopt;
}

std::optional<std::pair<int, int>> NodeStatusTree::find(const NodeChoice& preset) const {
  for (std::size_t t = 0; t < nodes.size(); ++t) {
    if (nodes[t].nodeId != preset.nodeId) continue;
    for (std::size_t i = 0; i < nodes[t].items.size(); ++i) {
      const NodeChoice offered = nodeChoice(static_cast<int>(t), static_cast<int>(i));
      if (offered.selector == preset.selector && offered.third == preset.third)
        return std::pair(static_cast<int>(t), static_cast<int>(i));
    }
    return std::pair(static_cast<int>(t), -1);
  }
  return std::nullopt;
}

// --- controls ---

ControlChoice ControlChoice::Build(ClientLibrary& library) {
  ControlChoice choice;
  const StationTable table = library.stationTable();
  for (int slot = 0; slot < table.stationCount; ++slot)
    choice.stations.push_back({nodeCaption(table.main[static_cast<std::size_t>(slot)].node), table.stationId(slot)});
  return choice;
}

std::vector<ControlChoice::Control> ControlChoice::Controls(ClientLibrary& library, int slot) {
  std::vector<Control> controls;
  std::int32_t count = std::min(library.GetControlCount(slot), rptname::kMaxControls);
  if (count <= 0) return controls;
  std::vector<char> names(128 * static_cast<std::size_t>(count));
  std::int32_t total = 0;
  if (!library.readItemNames(ItemKind::Control, slot, 0, &count, &total, names.data())) return controls;
  for (int i = 0; i < count; ++i) {
    std::int32_t id = 0;
    library.GetCtrlID(slot, i, &id);
    controls.push_back({decoded(FieldText(names.data() + 128 * i, 128)), id});
  }
  return controls;
}

}  // namespace velk
