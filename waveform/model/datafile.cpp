#include "waveform/model/datafile.h"

#include <algorithm>
#include <cstring>

#include "common/paths.h"

namespace wave {

std::string DatPartnerPath(std::string_view cfgPath) {
  const std::size_t keep = cfgPath.size() >= 3 ? cfgPath.size() - 3 : 0;
  return std::string(cfgPath.substr(0, keep)) + "dat";
}

std::optional<std::filesystem::path> FindDatPartner(std::string_view cfgPath) {
  auto found = common::FindFileCaseInsensitive(std::filesystem::path(DatPartnerPath(cfgPath)));
  std::error_code ec;
  if (found && std::filesystem::is_directory(*found, ec)) return std::nullopt;
  return found;
}

bool FileDataReader::open() {
  if (!tried_) {
    tried_ = true;
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path_, ec)) return false;
    stream_.open(path_, std::ios::binary);
    if (stream_) {
      stream_.seekg(0, std::ios::end);
      const auto end = stream_.tellg();
      if (end >= 0) size_ = static_cast<std::uint64_t>(end);
    }
  }
  return size_.has_value();
}

std::optional<std::uint64_t> FileDataReader::size() {
  open();
  return size_;
}

std::size_t FileDataReader::read(std::uint64_t offset, std::span<char> out) {
  if (!open() || offset >= *size_ || out.empty()) return 0;
  stream_.clear();
  stream_.seekg(static_cast<std::streamoff>(offset));
  const auto wanted = std::min<std::uint64_t>(out.size(), *size_ - offset);
  stream_.read(out.data(), static_cast<std::streamsize>(wanted));
  return static_cast<std::size_t>(std::max<std::streamsize>(stream_.gcount(), 0));
}

std::size_t MemoryDataReader::read(std::uint64_t offset, std::span<char> out) {
  if (offset >= bytes_.size()) return 0;
  const auto count = std::min<std::size_t>(out.size(), bytes_.size() - offset);
  if (count == 0) return 0;
  std::memcpy(out.data(), bytes_.data() + offset, count);
  return count;
}

}  // namespace wave
