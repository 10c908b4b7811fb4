#pragma once
// The node class of each type code. Both modes' codes are accepted whatever
// the current mode.

#include <cstdint>
#include <memory>
#include <string_view>

#include "common/message.h"
#include "stationdb/tree/setobj.h"

namespace stationdb {

// A new node of the class that belongs to nodeType, not yet added to parent;
// nullptr for a code without a class. The mode-21 station root
// (CSystemMeaurePointGNode) ignores name and nodeID and names itself through
// lookup.
std::unique_ptr<CSetObj> newNodeOfType(CSetObj* parent, std::string_view name, std::uint32_t nodeType,
                                       std::uint32_t nodeID,
                                       const common::LangLookup& lookup = common::BuiltInText);

}  // namespace stationdb
