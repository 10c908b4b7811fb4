#pragma once

#include <string>

namespace tavrix {

// The first IPv4 address of this computer's host name as dotted text; empty
// when the name cannot be resolved.
std::string LocalHostAddress();

}  // namespace tavrix
