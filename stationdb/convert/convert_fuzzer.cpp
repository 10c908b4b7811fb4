// Feeds outside bytes to the decoders of stored waveform blobs and checks what
// must always hold for what they accept.
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "common/strings.h"
#include "stationdb/convert/pqrecord.h"
#include "stationdb/convert/recordfiles.h"

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

void fuzzPowerQuality(std::span<const std::uint8_t> bytes) {
  wave::TWaveformData channel;
  if (!stationdb::DecodeWaveformChannel(bytes, channel)) return;
  check(channel.ChannelName.size() <= wave::kMaxChannelNameLength);
  check(46 + channel.ChannelName.size() + 4 * channel.Samples.size() <= bytes.size());
}

// The first byte gives the number of parts (1 to 4); the rest is cut into that many blobs.
void fuzzMerge(std::span<const std::uint8_t> bytes) {
  if (bytes.empty()) return;
  const std::size_t count = bytes[0] % 4 + 1;
  const std::span<const std::uint8_t> rest = bytes.subspan(1);
  std::vector<stationdb::TWaveformRecord> rows(count);
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t begin = rest.size() * i / count, end = rest.size() * (i + 1) / count;
    rows[i].WaveData.assign(rest.begin() + static_cast<std::ptrdiff_t>(begin),
                            rest.begin() + static_cast<std::ptrdiff_t>(end));
    rows[i].AuxWord = 1;
  }
  std::vector<const stationdb::TWaveformRecord*> parts;
  for (const auto& row : rows) parts.push_back(&row);
  std::optional<stationdb::RecordFiles> files;
  try {
    files = stationdb::MergedRecordFiles(parts);
  } catch (const common::ConvertError&) {
    return;  // a damaged record, reported as such
  }
  if (!files) return;
  check(common::SplitLines(files->cfg).size() == count + 9);
  check(files->dat.size() % (8 + 2 * count) == 0);
  check(stationdb::SingleRecordFiles(rows[0]).has_value());
}

void fuzzKinds(std::string_view text) {
  try {
    for (const auto& item : stationdb::ParseWaveKindList(text)) check(item.Name.size() <= text.size());
  } catch (const common::ConvertError&) {
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> bytes(data, size);
  fuzzPowerQuality(bytes);
  fuzzMerge(bytes);
  fuzzKinds({reinterpret_cast<const char*>(data), size});
  return 0;
}
