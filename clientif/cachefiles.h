#pragma once
// The two small files beside the host program that the operator client's
// installation writes: the device-type registry CfgCache/zadavud.reg.cah and
// the database connection settings dbconn.cfg. Both start with the same
// 24-byte head (magic 0xFFEEFFEE, version at least 0x03000000).

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velk {

inline constexpr std::uint32_t kCacheMagic = 0xFFEEFFEEu;
inline constexpr std::uint32_t kCacheMinVersion = 0x03000000u;
inline constexpr std::size_t kCacheHeadSize = 24;
inline constexpr int kMaxFirstEntries = 256;
inline constexpr int kMaxDeviceTypes = 1024;
inline constexpr std::size_t kMaxConnText = 10240;

inline constexpr std::string_view kDeviceTypeFile = "CfgCache/zadavud.reg.cah";
inline constexpr std::string_view kDbConnFile = "dbconn.cfg";

// The device-type registry in memory.
struct DeviceTypeCache {
  std::int32_t firstCount = 0;  // n1
  std::int32_t typeCount = 0;   // n2
  std::array<std::int32_t, 256> firstIds{};
  std::array<std::array<std::string, 2>, kMaxFirstEntries> firstList{};
  std::array<std::int32_t, kMaxDeviceTypes> typeIds{};                  // entry 0 is device type 1
  std::array<std::array<std::string, 3>, kMaxDeviceTypes> typeTexts{};  // strings 1, 2 and 3

  void clear() { *this = DeviceTypeCache(); }
  // String 1 or 3 (which = 0 or 2) of the first device type with that id; empty when none.
  std::string typeText(std::int32_t id, int which) const;
  // The id of the first device type whose string 1 equals name, ignoring ASCII case; 0 when none.
  std::int32_t idOfName(std::string_view name) const;
};

// Fills cache from the bytes of a registry file (cleared first). False on a
// wrong head, counts out of range or a file that ends early; what was read
// before stays in the cache.
bool ParseDeviceTypeCache(std::string_view bytes, DeviceTypeCache& cache);
bool LoadDeviceTypeCache(const std::filesystem::path& file, DeviceTypeCache& cache);

// The connection texts of dbconn.cfg.
struct TDBConnInfo {
  std::string suffix;   // database-name suffix
  std::string main;     // main connection text
  std::string standby;  // standby connection text
  bool operator==(const TDBConnInfo&) const = default;
};

std::optional<TDBConnInfo> ParseDbConn(std::string_view bytes);
// Empty when the file is missing, cannot be read or is not valid.
std::optional<TDBConnInfo> ReadDbConnFile(const std::filesystem::path& file);

// The scrambling of the stored texts: k is the sum of the eight head bytes
// (magic and version as stored) modulo 256. Unscramble: every byte minus 1
// (0 becomes 255), then XOR k; scramble is the inverse.
std::uint8_t ScrambleKey(std::uint32_t magic, std::uint32_t version);
std::string UnscrambleText(std::string_view stored, std::uint8_t key);
std::string ScrambleText(std::string_view plain, std::uint8_t key);

// The bytes of a dbconn.cfg holding these texts (each stored with its
// terminating zero byte), as the installation writes it.
std::string MakeDbConnBytes(const TDBConnInfo& info, std::uint32_t version = kCacheMinVersion);

// A 128-byte length-prefixed string as the registry stores it.
std::string MakeRegistryString(std::string_view text);

}  // namespace velk
