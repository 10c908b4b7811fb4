#pragma once
// Node type codes of the configuration tree, per record source mode (12: the
// power-quality database, 21: the automation system's databases).

#include <cstdint>
#include <optional>

namespace stationdb {

// Mode 12.
inline constexpr std::uint32_t kStationRootType12 = 0x20000;  // also the class of a station
inline constexpr std::uint32_t kStationRootID12 = 512;
inline constexpr std::uint32_t kChannelType12 = 0x21100;
inline constexpr std::uint32_t kMeterType12 = 0x21110;
inline constexpr std::uint32_t kSecurityRootType12 = 0x40000;
inline constexpr std::uint32_t kSecurityRootID12 = 1024;
inline constexpr std::uint32_t kUsersType12 = 0x41000;
inline constexpr std::uint32_t kUsersID12 = 1040;
inline constexpr std::uint32_t kUserType12 = 0x41100;
inline constexpr std::uint32_t kUserGroupsType12 = 0x42000;
inline constexpr std::uint32_t kUserGroupType12 = 0x42100;
inline constexpr std::uint32_t kAuthoritiesType12 = 0x43000;
inline constexpr std::uint32_t kAuthorityType12 = 0x43100;
inline constexpr std::uint32_t kStrategiesType12 = 0x44000;
inline constexpr std::uint32_t kStrategyType12 = 0x44100;

// Mode 21.
inline constexpr std::uint32_t kSystemMeasurePointType21 = 0x10100000;  // station tree root, also its id
inline constexpr std::uint32_t kStationType21 = 0x10120000;
inline constexpr std::uint32_t kCommuType21 = 0x10121000;
inline constexpr std::uint32_t kChannelType21 = 0x10121100;
inline constexpr std::uint32_t kMeterType21 = 0x10121110;
inline constexpr std::uint32_t kSecurityRootType21 = 0x10040000;  // also its id
inline constexpr std::uint32_t kUsersType21 = 0x10041000;         // also its id
inline constexpr std::uint32_t kUserType21 = 0x10041100;
inline constexpr std::uint32_t kUserGroupsType21 = 0x10042000;
inline constexpr std::uint32_t kUserGroupType21 = 0x10042100;
inline constexpr std::uint32_t kAuthoritiesType21 = 0x10043000;
inline constexpr std::uint32_t kAuthorityType21 = 0x10043100;
inline constexpr std::uint32_t kStrategiesType21 = 0x10044000;
inline constexpr std::uint32_t kStrategyType21 = 0x10044100;

// What the log-in uses in one mode: the users container (found with
// FindNode(usersType, usersID)), the type of its users, and whether the
// login rules are checked.
struct LoginCodes {
  std::uint32_t usersType;
  std::uint32_t usersID;
  std::uint32_t userType;
  bool checkRules;
};

// Mode 12 and 21; nullopt for any other mode.
std::optional<LoginCodes> loginCodes(std::int32_t recordSourceMode);

}  // namespace stationdb
