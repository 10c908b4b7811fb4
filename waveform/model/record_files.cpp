#include "waveform/model/record_files.h"

#include <filesystem>
#include <system_error>
#include <utility>

#include "waveform/model/datafile.h"

namespace wave {

RecordFiles::RecordFiles(std::string cfgPath) : cfgPath_(std::move(cfgPath)) {}

RecordFiles::RecordFiles(RecordFiles&& other) noexcept : cfgPath_(std::exchange(other.cfgPath_, {})) {}

RecordFiles& RecordFiles::operator=(RecordFiles&& other) noexcept {
  if (this != &other) {
    remove();
    cfgPath_ = std::exchange(other.cfgPath_, {});
  }
  return *this;
}

RecordFiles::~RecordFiles() { remove(); }

void RecordFiles::remove() noexcept {
  if (cfgPath_.empty()) return;
  const std::string cfg = std::exchange(cfgPath_, {});
  try {
    std::error_code ec;
    std::filesystem::remove(FindDatPartner(cfg).value_or(std::filesystem::path(DatPartnerPath(cfg))), ec);
    std::filesystem::remove(cfg, ec);
  } catch (...) {
    // Out of memory while building a path: the files stay, nothing else is harmed.
  }
}

}  // namespace wave
