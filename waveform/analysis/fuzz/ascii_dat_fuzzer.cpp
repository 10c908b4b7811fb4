// Any bytes as an ASCII data file of a small record (read in small blocks so
// that lines and line ends fall across them), then the analysis.

#include <cstdint>
#include <string_view>
#include <vector>

#include "waveform/analysis/fuzz/fuzz_record.h"
#include "waveform/analysis/interpolate.h"
#include "waveform/analysis/loader.h"
#include "waveform/analysis/rms_harmonics.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  if (size < wave::fuzz::kHeaderBytes) return 0;
  const wave::TcfgInfo record = wave::fuzz::RecordFromHeader(bytes);
  auto data = wave::RecordData::Create(record).data;
  if (!data) return 0;
  wave::MemoryDataReader dat(std::string_view(reinterpret_cast<const char*>(bytes) + wave::fuzz::kHeaderBytes,
                                              size - wave::fuzz::kHeaderBytes));
  std::vector<common::UserMessage> messages;
  wave::ReadAsciiDat(*data, dat, messages, 1 + bytes[7] % 64);
  if (messages.size() > 5 + 2) __builtin_trap();
  if (data->layout().N1 < 32 && data->NoNegativeSamples == 0) wave::InterpolateRecord(*data);
  wave::AnalyseRecord(*data);
  return 0;
}
