#pragma once
// Where COMn lives: the link "comN" in the ports folder when it exists (a user
// links com3 to /dev/ttyUSB0), else /dev/ttyS(n-1). The ports folder is
// $TAVRIX_PORTS_DIR, else $XDG_CONFIG_HOME/tavrix/ports, else ~/.config/tavrix/ports.

#include <filesystem>

namespace tavrix {

std::filesystem::path PortsFolder();
std::filesystem::path ComPortPath(int portNo);

}  // namespace tavrix
