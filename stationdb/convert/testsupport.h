#pragma once
// Builders of stored waveform blobs and a temporary folder, for the tests.

#include <stdlib.h>

#include <bit>
#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "stationdb/records/records.h"

namespace stationdb::fixtures {

class TempDir {
 public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "station_convert_XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp");
    path_ = pattern;
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// Little-endian bytes, appended field by field.
class Bytes {
 public:
  Bytes& u16(std::uint16_t v) { return word(v, 2); }
  Bytes& u32(std::uint32_t v) { return word(v, 4); }
  Bytes& i32(std::int32_t v) { return word(static_cast<std::uint32_t>(v), 4); }
  Bytes& i16(std::int16_t v) { return word(static_cast<std::uint16_t>(v), 2); }
  Bytes& f64(double v) { return word(std::bit_cast<std::uint64_t>(v), 8); }
  Bytes& text(std::string_view t) {
    bytes_.insert(bytes_.end(), t.begin(), t.end());
    return *this;
  }
  // A stream string: u32 length, then the bytes.
  Bytes& str(std::string_view t) { return u32(static_cast<std::uint32_t>(t.size())).text(t); }
  const std::vector<std::uint8_t>& get() const { return bytes_; }
  std::string string() const { return {bytes_.begin(), bytes_.end()}; }

 private:
  Bytes& word(std::uint64_t v, int size) {
    for (int i = 0; i < size; ++i) bytes_.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    return *this;
  }
  std::vector<std::uint8_t> bytes_;
};

// The automation system's blob: u32 L, the .cfg text, an unused u32, the .dat bytes.
inline std::vector<std::uint8_t> VelkoraBlob(std::string_view cfgText, std::string_view dat,
                                             std::uint32_t unused = 0) {
  return Bytes().u32(static_cast<std::uint32_t>(cfgText.size())).text(cfgText).u32(unused).text(dat).get();
}

// BINARY rows of one channel: sample number k + 1, time stamp k * step, the sample.
inline std::string PartRows(const std::vector<std::int16_t>& samples, std::uint32_t step = 625) {
  Bytes out;
  for (std::size_t k = 0; k < samples.size(); ++k)
    out.u32(static_cast<std::uint32_t>(k + 1)).u32(static_cast<std::uint32_t>(k) * step).i16(samples[k]);
  return out.string();
}

// One power-quality channel as its blob holds it.
struct PqChannel {
  std::uint32_t param1 = 11, param2 = 22, param3 = 33;
  std::uint16_t channelNo = 1;
  std::string name = "128x1";
  double param4 = 0.25, offset = 0.5, factor = 0.01;
  std::vector<std::int32_t> samples = {0, 100, -100, 50};
};

inline std::vector<std::uint8_t> PqBlob(const PqChannel& c) {
  Bytes b;
  b.u32(c.param2).u32(c.param3).u16(c.channelNo).str(c.name).u32(c.param1).f64(c.param4).f64(c.offset);
  b.f64(c.factor).u32(static_cast<std::uint32_t>(c.samples.size()));
  for (std::int32_t s : c.samples) b.i32(s);
  return b.get();
}

// A row of the waveform query; rows with the same ids and time are one record.
inline TWaveformRecord Row(std::vector<std::uint8_t> blob, std::uint16_t auxWord = 0, std::int32_t serial = 1) {
  TWaveformRecord r;
  r.SerialNo = serial;
  r.StationID = 1;
  r.ChannelID = 7;
  r.MeterID = 9;
  r.TriggerTime = 43832.5;  // 2020-01-02 12:00:00
  r.Millisecond = 5;
  r.AuxWord = auxWord;
  r.WaveData = std::move(blob);
  return r;
}

}  // namespace stationdb::fixtures
