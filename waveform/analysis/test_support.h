#pragma once
// Small records built in the tests.

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "waveform/analysis/record_data.h"
#include "waveform/model/datafile.h"
#include "recordmodel/record.h"

namespace wave::testing {

// A record whose analogue channels store the raw values unchanged (a = 1, b = 0, 'P').
inline TcfgInfo MakeRecord(int analog, int digital, int samp1, int endsamp1, int samp2 = 0, int endsamp2 = 0) {
  TcfgInfo record;
  record.CfgPath = "/nonexistent/record.cfg";
  record.A = static_cast<std::uint16_t>(analog);
  record.D = static_cast<std::uint16_t>(digital);
  record.TT = static_cast<std::uint16_t>(analog + digital);
  for (int i = 0; i < analog; ++i) {
    TAInfo channel;
    channel.ch_id = "A" + std::to_string(i + 1);
    channel.a = 1;
    channel.b = 0;
    channel.PS = 'P';
    record.AInfo.push_back(channel);
  }
  for (int j = 0; j < digital; ++j) record.DInfo.push_back({"D" + std::to_string(j + 1), 0});
  record.lf = 50;
  record.nrates = samp2 > 0 ? 2 : 1;
  record.samp1 = samp1;
  record.endsamp1 = endsamp1;
  record.samp2 = samp2 > 0 ? samp2 : samp1;
  record.endsamp2 = samp2 > 0 ? endsamp2 : endsamp1;
  record.ft = "BINARY";
  return record;
}

inline std::shared_ptr<RecordData> Allocate(const TcfgInfo& record) {
  auto created = RecordData::Create(record);
  EXPECT_TRUE(created.data) << (created.refusal ? created.refusal->text.front().key : "");
  return created.data;
}

inline std::vector<std::string> Keys(const std::vector<common::UserMessage>& messages) {
  std::vector<std::string> keys;
  for (const auto& message : messages) {
    for (const auto& key : message.textKeys()) keys.push_back(key);
  }
  return keys;
}

// A data file whose reads fail from a given offset on (a disk error).
class FailingReader final : public DataFileReader {
 public:
  FailingReader(std::string_view bytes, std::uint64_t failAt) : bytes_(bytes), failAt_(failAt) {}
  std::optional<std::uint64_t> size() override { return bytes_.size(); }
  std::size_t read(std::uint64_t offset, std::span<char> out) override {
    if (offset >= failAt_) return 0;
    MemoryDataReader inner(bytes_.substr(0, static_cast<std::size_t>(failAt_)));
    return inner.read(offset, out);
  }

 private:
  std::string_view bytes_;
  std::uint64_t failAt_;
};

inline bool AllZero(std::span<const double> values) {
  for (double v : values)
    if (v != 0) return false;
  return true;
}

inline bool AllZero(std::span<const std::uint8_t> lane) {
  for (std::uint8_t v : lane)
    if (v != 0) return false;
  return true;
}

// The samples of digital channel d as the values shown.
inline std::vector<double> DigitalValues(const RecordData& data, std::size_t d) {
  std::vector<double> out(data.digital(d).size());
  for (std::size_t k = 0; k < out.size(); ++k) out[k] = data.digitalValue(d, k);
  return out;
}

}  // namespace wave::testing
