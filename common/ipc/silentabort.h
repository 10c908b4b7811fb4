#pragma once
// The silent abort: an exception that ends the current operation without any
// message to the user. Whoever catches it stops what it was doing and shows
// nothing; a handler that does not expect it lets it pass.

#include <exception>

namespace common {

class SilentAbort : public std::exception {
 public:
  const char* what() const noexcept override { return "operation aborted"; }
};

}  // namespace common
