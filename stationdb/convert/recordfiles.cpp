#include "stationdb/convert/recordfiles.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>
#include <vector>

#include <fmt/format.h>

#include "common/paths.h"
#include "common/strings.h"

namespace stationdb {
namespace fs = std::filesystem;
namespace {

constexpr std::string_view kLineEnd = "\r\n";
// How many "_<n>" suffixes are tried before writing gives up.
constexpr int kMaxNameSuffix = 999;

std::uint32_t readU32(std::span<const std::uint8_t> bytes, std::size_t offset) {
  return static_cast<std::uint32_t>(bytes[offset]) | static_cast<std::uint32_t>(bytes[offset + 1]) << 8 |
         static_cast<std::uint32_t>(bytes[offset + 2]) << 16 | static_cast<std::uint32_t>(bytes[offset + 3]) << 24;
}

std::string_view asText(std::span<const std::uint8_t> bytes) {
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

void appendLine(std::string& out, std::string_view line) {
  out += line;
  out += kLineEnd;
}

// One part ready for the merge: its configuration lines and its data bytes.
struct MergePart {
  std::vector<std::string_view> lines;
  std::string_view data;
};

// Part number (from 1, as the channels count) for the error texts.
MergePart mergePart(const TWaveformRecord& record, std::size_t number) {
  const auto blob = SplitVelkoraBlob(record.WaveData);
  if (!blob)
    throw common::ConvertError(
        fmt::format("The data of channel {} of the record is shorter than its stated lengths", number));
  return MergePart{common::SplitLines(blob->cfgText), blob->data};
}

std::string mergedCfg(const std::vector<MergePart>& parts) {
  const std::vector<std::string_view>& first = parts.front().lines;
  std::string out;
  appendLine(out, first[0]);
  appendLine(out, fmt::format("{},{}A,0D", parts.size(), parts.size()));
  for (std::size_t i = 0; i < parts.size(); ++i) {
    const std::string_view line = parts[i].lines[2];
    appendLine(out, fmt::format("A{}{}", i + 1, line.size() > 2 ? line.substr(2) : std::string_view()));
  }
  for (std::size_t i = 3; i < kMergeCfgLines; ++i) appendLine(out, first[i]);
  return out;
}

std::string mergedDat(const std::vector<MergePart>& parts, std::size_t rows) {
  std::string out;
  out.reserve(rows * (8 + 2 * parts.size()));
  for (std::size_t r = 0; r < rows; ++r) {
    out += parts.front().data.substr(r * kPartRowBytes, kPartRowBytes);
    for (std::size_t j = 1; j < parts.size(); ++j) out += parts[j].data.substr(r * kPartRowBytes + 8, 2);
  }
  return out;
}

enum class Reservation { Created, Taken, Failed };

// Creates path empty, only when no file of that name exists.
Reservation reserve(const fs::path& path) {
  int fd = -1;
  do {
    fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return errno == EEXIST ? Reservation::Taken : Reservation::Failed;
  ::close(fd);
  return Reservation::Created;
}

void removeQuietly(const fs::path& path) {
  std::error_code ec;
  fs::remove(path, ec);
}

}  // namespace

std::optional<VelkoraBlob> SplitVelkoraBlob(std::span<const std::uint8_t> blob) {
  if (blob.size() < 4) return std::nullopt;
  const std::uint64_t length = readU32(blob, 0);
  if (blob.size() < 8 + length) return std::nullopt;
  const auto textLength = static_cast<std::size_t>(length);
  return VelkoraBlob{asText(blob.subspan(4, textLength)), asText(blob.subspan(8 + textLength))};
}

std::optional<RecordFiles> SingleRecordFiles(const TWaveformRecord& part) {
  const auto blob = SplitVelkoraBlob(part.WaveData);
  if (!blob) return std::nullopt;
  return RecordFiles{std::string(blob->cfgText), std::string(blob->data)};
}

std::optional<RecordFiles> MergedRecordFiles(std::span<const TWaveformRecord* const> parts) {
  if (parts.empty()) return std::nullopt;
  std::vector<MergePart> merged;
  merged.reserve(parts.size());
  for (const TWaveformRecord* record : parts) merged.push_back(mergePart(*record, merged.size() + 1));
  if (merged.front().lines.size() != kMergeCfgLines) return std::nullopt;
  const std::size_t rows = merged.front().data.size() / kPartRowBytes;
  for (std::size_t j = 1; j < merged.size(); ++j) {
    if (merged[j].lines.size() < 3)
      throw common::ConvertError(fmt::format("The configuration of channel {} of the record has {} lines, 3 are needed",
                                             j + 1, merged[j].lines.size()));
    const std::size_t partRows = merged[j].data.size() / kPartRowBytes;
    if (partRows < rows)
      throw common::ConvertError(
          fmt::format("Channel {} of the record holds {} samples, channel 1 holds {}", j + 1, partRows, rows));
  }
  return RecordFiles{mergedCfg(merged), mergedDat(merged, rows)};
}

bool IsMergedRecord(std::span<const TWaveformRecord* const> parts) {
  return !parts.empty() && parts.front()->AuxWord != 0;
}

std::optional<RecordFiles> BuildRecordFiles(std::span<const TWaveformRecord* const> parts) {
  if (parts.empty()) return std::nullopt;
  if (!IsMergedRecord(parts)) return SingleRecordFiles(*parts.front());
  return MergedRecordFiles(parts);
}

std::optional<fs::path> WriteRecordFiles(const fs::path& folder, std::string_view baseName, const RecordFiles& files) {
  std::error_code ec;
  fs::create_directories(folder, ec);
  if (ec) return std::nullopt;
  for (int suffix = 0; suffix <= kMaxNameSuffix; ++suffix) {
    const std::string name = suffix == 0 ? std::string(baseName) : fmt::format("{}_{}", baseName, suffix);
    const fs::path cfg = folder / (name + ".cfg");
    const fs::path dat = folder / (name + ".dat");
    const Reservation cfgName = reserve(cfg);
    if (cfgName == Reservation::Failed) return std::nullopt;
    if (cfgName == Reservation::Taken) continue;
    const Reservation datName = reserve(dat);
    if (datName != Reservation::Created) {
      removeQuietly(cfg);
      if (datName == Reservation::Failed) return std::nullopt;
      continue;
    }
    if (common::WriteFileAtomic(cfg, files.cfg) && common::WriteFileAtomic(dat, files.dat)) return cfg;
    removeQuietly(cfg);
    removeQuietly(dat);
    return std::nullopt;
  }
  return std::nullopt;
}

}  // namespace stationdb
