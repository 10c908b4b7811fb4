#include "clientif/layout.h"

#include "common/ipc/ipcfunc.h"

namespace velk {

TVErirUri::TVErirUri(std::string_view name) : name_(name), mutexName_("VerirUri_" + name_) {}

bool TVErirUri::probe() const { return ipc::NamedObjectExists(ipc::ObjectKind::Mutex, mutexName_); }

std::optional<std::string> StationObjectName(std::string_view base, std::int32_t stationId) {
  if (base.size() < 2) return std::nullopt;
  std::string name(base);
  // Character codes past '9' (and past 255, cut to a byte) are kept as they come.
  name[name.size() - 2] = static_cast<char>(static_cast<std::uint8_t>((48 + stationId / 10) & 0xFF));
  name[name.size() - 1] = static_cast<char>(static_cast<std::uint8_t>((48 + stationId % 10) & 0xFF));
  for (const char c : std::string_view(name).substr(name.size() - 2))
    if (c == '\0' || c == '/' || c == '\\') return std::nullopt;
  return name;
}

}  // namespace velk
