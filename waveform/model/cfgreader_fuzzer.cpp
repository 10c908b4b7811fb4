// Feeds bytes to the .cfg reader: the bytes before the first NUL are the .cfg
// text, the rest is its data file.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "waveform/model/cfgreader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::size_t split = input.find('\0');
  const std::string_view cfg = input.substr(0, split);
  const std::string_view dat = split == std::string_view::npos ? std::string_view() : input.substr(split + 1);
  wave::MemoryDataReader reader(dat);
  const auto outcome = wave::ParseCfgText(cfg, "/fuzz/rec.cfg", reader);
  if (outcome.record && outcome.record->A + outcome.record->D > wave::kMaxChannels) __builtin_trap();
  return 0;
}
