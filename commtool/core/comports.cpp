#include "commtool/core/comports.h"

#include <cstdlib>
#include <string>
#include <system_error>

namespace tavrix {
namespace {

std::filesystem::path fromEnv(const char* name) {
  const char* value = std::getenv(name);
  return value && *value ? std::filesystem::path(value) : std::filesystem::path();
}

}  // namespace

std::filesystem::path PortsFolder() {
  if (auto dir = fromEnv("TAVRIX_PORTS_DIR"); !dir.empty()) return dir;
  if (auto config = fromEnv("XDG_CONFIG_HOME"); !config.empty()) return config / "tavrix" / "ports";
  return fromEnv("HOME") / ".config" / "tavrix" / "ports";
}

std::filesystem::path ComPortPath(int portNo) {
  const auto link = PortsFolder() / ("com" + std::to_string(portNo));
  std::error_code error;
  if (std::filesystem::is_symlink(link, error) || std::filesystem::exists(link, error)) return link;
  return "/dev/ttyS" + std::to_string(portNo - 1);
}

}  // namespace tavrix
