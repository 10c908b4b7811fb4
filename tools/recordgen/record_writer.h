#pragma once
// Synthetic IEEE C37.111 records for tests, benchmarks and samples: three-phase
// sines with an optional fault (higher current, lower voltage, 3rd and 5th
// harmonics) on phase A, seeded noise, digital channels that change state, one
// or two sampling rates, ASCII or BINARY data, revision 1991 or 1999. Every
// sample is a pure function of the record's description, so tests can check
// any point without reading the files back.

#include <cstdint>
#include <filesystem>
#include <iosfwd>
#include <string>
#include <vector>

#include "recordmodel/record.h"

namespace recordgen {

enum class DatFormat { Ascii, Binary };

struct Rate {
  std::int32_t samp = 1000;    // samples per second
  std::int32_t endsamp = 200;  // number of the last sample taken at this rate
};

struct RecordSpec {
  std::string station = "Test station";
  std::string device = "recordgen";
  std::int32_t revision = 1999;  // 1991 or 1999
  DatFormat format = DatFormat::Binary;
  std::int32_t analog = 3;
  std::int32_t digital = 2;
  std::int32_t lf = 50;
  std::vector<Rate> rates = {Rate{}};  // one or two
  double amplitude = 8000;     // raw peak of the fundamental before the fault
  double faultStart = 0.4;     // fraction of the record at which the fault starts; negative: none
  double faultGain = 3;        // current gain during the fault (voltage drops by the same factor)
  double harmonic3 = 0.10;     // 3rd harmonic during the fault, relative to the fundamental
  double harmonic5 = 0.05;     // 5th harmonic during the fault
  double noise = 20;           // raw peak of the uniform noise
  double offset = 0;           // raw value added to every analogue sample
  std::uint64_t seed = 1;
  bool chineseNames = false;   // Chinese channel and station names (written in GBK)
  bool crlf = true;            // line ends of the files: CR LF, else LF
  double a = 0.01;             // channel factors of every analogue channel
  double b = 0;
  double primary = 110;
  double secondary = 0.1;
  char ps = 'S';
};

// Samples per channel: the last rate's endsamp.
std::int64_t SampleCount(const RecordSpec& spec);
// The first sample of the fault, or SampleCount when there is none.
std::int64_t FaultSample(const RecordSpec& spec);
// Time of sample k in microseconds from the first sample.
std::uint32_t TimeStamp(const RecordSpec& spec, std::int64_t k);

// The raw value of analogue channel c at sample k.
std::int16_t AnalogRaw(const RecordSpec& spec, std::int32_t channel, std::int64_t k);
// The state of digital channel j at sample k.
bool DigitalState(const RecordSpec& spec, std::int32_t channel, std::int64_t k);

// Channel and station names in UTF-8.
std::string AnalogName(const RecordSpec& spec, std::int32_t channel);
std::string DigitalName(const RecordSpec& spec, std::int32_t channel);
std::string StationName(const RecordSpec& spec);

// The .cfg text as written (GBK where the names are Chinese).
std::string CfgText(const RecordSpec& spec);
// The .dat bytes, streamed.
void WriteDat(const RecordSpec& spec, std::ostream& out);
// The .dat bytes in memory (small records).
std::string DatBytes(const RecordSpec& spec);

struct WrittenRecord {
  std::filesystem::path cfg;
  std::filesystem::path dat;
};
// Writes folder/name.cfg and folder/name.dat; throws std::runtime_error when a
// file cannot be written.
WrittenRecord WriteRecord(const RecordSpec& spec, const std::filesystem::path& folder, const std::string& name);

// The record as the configuration reader gives it (CfgPath set to cfgPath).
wave::TcfgInfo MakeCfgInfo(const RecordSpec& spec, const std::string& cfgPath);

}  // namespace recordgen
