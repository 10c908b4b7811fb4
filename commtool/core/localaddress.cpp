#include "commtool/core/localaddress.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <unistd.h>

#include <array>

#include "commtool/core/texts.h"

namespace tavrix {

std::string LocalHostAddress() {
  std::array<char, 256> name{};
  if (::gethostname(name.data(), name.size() - 1) != 0) return {};
  addrinfo hints{};
  hints.ai_family = AF_INET;
  addrinfo* found = nullptr;
  if (::getaddrinfo(name.data(), nullptr, &hints, &found) != 0 || !found) return {};
  std::array<char, INET_ADDRSTRLEN> text{};
  const auto* address = reinterpret_cast<const sockaddr_in*>(found->ai_addr);
  const bool ok = ::inet_ntop(AF_INET, &address->sin_addr, text.data(), text.size()) != nullptr;
  ::freeaddrinfo(found);
  return ok && text[0] ? std::string(text.data()) : std::string(texts::kNoAddress);
}

}  // namespace tavrix
