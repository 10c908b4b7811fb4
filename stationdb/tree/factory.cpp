#include "stationdb/tree/factory.h"

#include "stationdb/tree/nodetypes.h"
#include "stationdb/tree/scada.h"
#include "stationdb/tree/security.h"

namespace stationdb {
namespace {

template <typename Node>
std::unique_ptr<CSetObj> make(CSetObj* parent, std::string_view name, std::uint32_t type, std::uint32_t id) {
  return std::make_unique<Node>(parent, name, type, id);
}

}  // namespace

std::unique_ptr<CSetObj> newNodeOfType(CSetObj* parent, std::string_view name, std::uint32_t nodeType,
                                       std::uint32_t nodeID, const common::LangLookup& lookup) {
  switch (nodeType) {
    case kStationRootType12:
    case kStationType21:
      return make<CStationGNode>(parent, name, nodeType, nodeID);
    case kSystemMeasurePointType21:
      return std::make_unique<CSystemMeaurePointGNode>(parent, lookup);
    case kCommuType21:
      return make<CCommuGNode>(parent, name, nodeType, nodeID);
    case kChannelType12:
    case kChannelType21:
      return make<CChannelGNode>(parent, name, nodeType, nodeID);
    case kMeterType12:
    case kMeterType21:
      return make<CMeterGNode>(parent, name, nodeType, nodeID);
    case kSecurityRootType12:
    case kSecurityRootType21:
      return make<CSecurityGNode>(parent, name, nodeType, nodeID);
    case kUsersType12:
    case kUsersType21:
      return make<CUserGNode>(parent, name, nodeType, nodeID);
    case kUserType12:
    case kUserType21:
      return make<CUserNode>(parent, name, nodeType, nodeID);
    case kUserGroupsType12:
    case kUserGroupsType21:
      return make<CUserGroupGNode>(parent, name, nodeType, nodeID);
    case kUserGroupType12:
    case kUserGroupType21:
      return make<CUserGroupNode>(parent, name, nodeType, nodeID);
    case kAuthoritiesType12:
    case kAuthoritiesType21:
      return make<CAuthorityGNode>(parent, name, nodeType, nodeID);
    case kAuthorityType12:
    case kAuthorityType21:
      return make<CAuthorityNode>(parent, name, nodeType, nodeID);
    case kStrategiesType12:
    case kStrategiesType21:
      return make<CStrategyGNode>(parent, name, nodeType, nodeID);
    case kStrategyType12:
    case kStrategyType21:
      return make<CStrategyNode>(parent, name, nodeType, nodeID);
    default:
      return nullptr;
  }
}

}  // namespace stationdb
