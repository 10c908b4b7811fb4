// Paths, time conversion, the client's configuration state, the device-type
// cache and the connection settings.

#include <cstring>

#include "clientif/clientlib.h"
#include "clientif/timeconv.h"

namespace velk {

// --- paths, time, configuration state ---

std::string ClientLibrary::get_working_path() const { return config_.hostFolder; }

std::string ClientLibrary::GetGraphPath() {
  return attached() ? config_.hostFolder + "CfgCache/Graph/" : std::string();
}

std::string ClientLibrary::GetDeviceLIBPath() {
  return attached() ? config_.hostFolder + "CfgCache/DeviceLibrary/" : std::string();
}

std::int32_t ClientLibrary::rchtime(const SYSTEMTIME& time) { return attached() ? SecondsSince1970(time) : 0; }

std::int32_t ClientLibrary::chtime(std::uint32_t seconds, SYSTEMTIME* time) {
  if (!attached() || time == nullptr) return 0;
  CalendarFromSeconds(seconds, *time);
  return 1;
}

bool ClientLibrary::read_velklog_deskterm_exchangemsg(char* buffer, std::int32_t size) {
  if (buffer == nullptr || size <= 0) return false;
  const std::shared_lock lock(stateLock_);
  if (!usable(mainHandle_.get())) return false;
  const std::string message = exchangeMessage();
  std::memset(buffer, 0, static_cast<std::size_t>(size));
  std::memcpy(buffer, message.data(), GbkCutLength(message, static_cast<std::size_t>(size) - 1));
  return true;
}

bool ClientLibrary::get_stationcfgshare_updatetime(std::uint8_t* buffer16) {
  if (buffer16 == nullptr) return false;
  const std::shared_lock lock(stateLock_);
  return viewOf(mainHandle_.get()).copy(mainhandle::kUpdateTime, buffer16, mainhandle::kUpdateTimeSize);
}

bool ClientLibrary::get_stationcfgshare_setupcount(std::int32_t* count) {
  if (count == nullptr) return false;
  const std::shared_lock lock(stateLock_);
  return viewOf(mainHandle_.get()).copy(mainhandle::kSetupCount, count, 4);
}

// --- device-type cache and connection settings ---

std::string ClientLibrary::get_regist_meter_str(std::int32_t id) {
  const auto lock = openAttached();
  if (!lock) return std::string();
  return deviceTypes_->typeText(id, 0);
}

std::string ClientLibrary::get_regist_mlog_str(std::int32_t id) {
  const auto lock = openAttached();
  if (!lock) return std::string();
  return deviceTypes_->typeText(id, 2);
}

std::int32_t ClientLibrary::get_meter_unit(const char* name) {
  if (name == nullptr) return 0;
  const auto lock = openAttached();
  if (!lock) return 0;
  return deviceTypes_->idOfName(name);
}

bool ClientLibrary::GetDBConnInfo(char* suffix, char* mainConnection, char* standbyConnection) {
  if (suffix == nullptr || mainConnection == nullptr || standbyConnection == nullptr) return false;
  const auto info = ReadDbConnFile(std::filesystem::path(config_.hostFolder) / kDbConnFile);
  if (!info) return false;
  std::memcpy(suffix, info->suffix.c_str(), info->suffix.size() + 1);
  std::memcpy(mainConnection, info->main.c_str(), info->main.size() + 1);
  std::memcpy(standbyConnection, info->standby.c_str(), info->standby.size() + 1);
  return true;
}

}  // namespace velk
