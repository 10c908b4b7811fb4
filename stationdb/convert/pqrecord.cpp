#include "stationdb/convert/pqrecord.h"

#include <array>
#include <bit>
#include <type_traits>

#include "common/gbk.h"
#include "common/inifile.h"
#include "common/strings.h"
#include "stationdb/core/memorystream.h"
#include "stationdb/core/normalfunction.h"

namespace stationdb {
namespace {

// The next little-endian word of the stream; false (the stream's position
// then undefined) when fewer bytes remain.
template <class Word>
bool readWord(MemoryStream& stream, Word& value) {
  std::array<std::uint8_t, sizeof(Word)> bytes{};
  if (stream.read(bytes) != bytes.size()) return false;
  std::uint64_t bits = 0;
  for (std::size_t i = 0; i < bytes.size(); ++i) bits |= std::uint64_t{bytes[i]} << (8 * i);
  if constexpr (std::is_same_v<Word, double>) {
    value = std::bit_cast<double>(bits);
  } else {
    value = static_cast<Word>(bits);
  }
  return true;
}

bool readSamples(MemoryStream& stream, std::vector<std::int32_t>& samples) {
  std::uint32_t count = 0;
  if (!readWord(stream, count)) return false;
  // The count is checked against the blob before anything is allocated.
  if (count > stream.remaining() / sizeof(std::int32_t)) return false;
  samples.resize(count);
  for (std::int32_t& sample : samples) readWord(stream, sample);
  return true;
}

}  // namespace

bool DecodeWaveformChannel(std::span<const std::uint8_t> blob, wave::TWaveformData& channel) {
  MemoryStream stream(std::vector<std::uint8_t>(blob.begin(), blob.end()));
  if (!readWord(stream, channel.Param2) || !readWord(stream, channel.Param3) ||
      !readWord(stream, channel.ChannelNo))
    return false;
  ReadStreamString(&stream, channel.ChannelName);
  return readWord(stream, channel.Param1) && readWord(stream, channel.Param4) && readWord(stream, channel.Offset) &&
         readWord(stream, channel.Factor) && readSamples(stream, channel.Samples);
}

bool DecodeWaveformData(std::span<const TWaveformRecord* const> parts, std::vector<wave::TWaveformData>& channels) {
  channels.assign(parts.size(), wave::TWaveformData{});
  for (std::size_t i = 0; i < parts.size(); ++i)
    if (!DecodeWaveformChannel(parts[i]->WaveData, channels[i])) return false;
  return true;
}

std::vector<TEventHandle> ParseWaveKindList(std::string_view value) {
  std::vector<TEventHandle> items;
  for (const std::string& item : SplitToStringList(value, ";")) {
    const std::string code = ValuePart(item, "=");
    items.push_back({KeyPart(item, "="), code.empty() ? 0 : common::StrToInt(code)});
  }
  return items;
}

TWaveformHandle ReadConfigFile(const std::filesystem::path& iniPath) {
  const common::IniFile ini(iniPath);
  const auto list = [&ini](std::string_view key) {
    return ParseWaveKindList(common::GbkToUtf8(ini.readString(kWaveKindsSection, key, "")));
  };
  TWaveformHandle kinds;
  kinds.SagSwell = list(kSagSwellKey);
  kinds.Transient = list(kTransientKey);
  kinds.SetPoint = list(kSetPointKey);
  return kinds;
}

void GetChannelName(const TWaveformHandle& kinds, std::uint16_t code, std::int32_t& found, std::string& name) {
  const TEventHandle* kind = FindWaveKind(kinds, code);
  name = kind != nullptr ? kind->Name : std::string();
  if (kind != nullptr) found = 1;
}

}  // namespace stationdb
