#pragma once
// The record files of one folder.

#include <filesystem>
#include <string>
#include <vector>

namespace wave {

// The names (without folder, as the file system stores them) of the regular
// files in folder whose extension is ".cfg" in any case, sorted by name
// without regard to ASCII case. Folders named *.cfg are left out. An
// unreadable folder gives no names.
std::vector<std::string> ListCfgFiles(const std::filesystem::path& folder);

}  // namespace wave
