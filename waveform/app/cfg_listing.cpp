#include "waveform/app/cfg_listing.h"

#include <algorithm>
#include <system_error>

#include "common/strings.h"

namespace wave {

std::vector<std::string> ListCfgFiles(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  std::error_code ec;
  std::filesystem::directory_iterator it(folder, ec);
  for (; !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
    const std::filesystem::path& path = it->path();
    std::error_code typeError;
    if (!it->is_regular_file(typeError)) continue;
    if (!common::SameText(path.extension().string(), ".cfg")) continue;
    names.push_back(path.filename().string());
  }
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    const int byText = common::CompareText(a, b);
    return byText != 0 ? byText < 0 : a < b;
  });
  return names;
}

}  // namespace wave
