#include "tools/recordgen/record_writer.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <numbers>
#include <sstream>
#include <stdexcept>

#include "common/datetime.h"
#include "common/gbk.h"

namespace recordgen {
namespace {

constexpr std::int32_t kMaxRaw = 32767;
// The record starts at 15/03/2024 10:20:30.000000.
constexpr common::DateTimeParts kStart{2024, 3, 15, 10, 20, 30, 0};

std::uint64_t mix(std::uint64_t x) {
  x += 0x9E3779B97F4A7C15ull;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
  return x ^ (x >> 31);
}

// Uniform in [-1, 1), the same for the same seed, channel and sample.
double noiseAt(std::uint64_t seed, std::int32_t channel, std::int64_t k) {
  const std::uint64_t h = mix(seed ^ mix((static_cast<std::uint64_t>(channel) << 40) ^ static_cast<std::uint64_t>(k)));
  return static_cast<double>(h >> 11) / static_cast<double>(1ull << 52) - 1.0;
}

double secondsAt(const RecordSpec& spec, std::int64_t k) {
  double t = 0;
  std::int64_t done = 0;
  for (const Rate& rate : spec.rates) {
    const std::int64_t here = std::min<std::int64_t>(k, rate.endsamp) - done;
    if (here <= 0) break;
    t += static_cast<double>(here) / rate.samp;
    done += here;
  }
  if (k > done && !spec.rates.empty()) t += static_cast<double>(k - done) / spec.rates.back().samp;
  return t;
}

bool isCurrent(std::int32_t channel) { return channel % 6 >= 3; }

std::string_view lineEnd(const RecordSpec& spec) { return spec.crlf ? "\r\n" : "\n"; }

std::string encoded(const RecordSpec& spec, const std::string& utf8) {
  return spec.chineseNames ? common::Utf8ToGbk(utf8) : utf8;
}

// "dd/mm/yyyy,hh:mm:ss.ffffff" (1999) or "mm/dd/yy,hh:mm:ss.ffffff" (1991) of
// the start plus some microseconds (less than a day).
std::string dateLine(const RecordSpec& spec, std::int64_t micros) {
  const std::int64_t total = ((kStart.hour * 60 + kStart.minute) * 60 + kStart.second) * 1000000ll + micros;
  const auto hour = static_cast<int>(total / 3600000000ll % 24);
  const auto minute = static_cast<int>(total / 60000000ll % 60);
  const auto second = static_cast<int>(total / 1000000ll % 60);
  const auto fraction = static_cast<int>(total % 1000000ll);
  const std::string time = fmt::format("{:02}:{:02}:{:02}.{:06}", hour, minute, second, fraction);
  if (spec.revision == 1991)
    return fmt::format("{:02}/{:02}/{:02},{}", kStart.month, kStart.day, kStart.year % 100, time);
  return fmt::format("{:02}/{:02}/{:04},{}", kStart.day, kStart.month, kStart.year, time);
}

std::int64_t triggerMicros(const RecordSpec& spec) {
  return std::llround(secondsAt(spec, std::min(FaultSample(spec), SampleCount(spec) - 1)) * 1e6);
}

void appendLe(std::string& out, std::uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

void appendRow(const RecordSpec& spec, std::int64_t k, std::string& out) {
  const std::uint32_t number = static_cast<std::uint32_t>(k + 1);
  const std::uint32_t stamp = TimeStamp(spec, k);
  if (spec.format == DatFormat::Binary) {
    appendLe(out, number, 4);
    appendLe(out, stamp, 4);
    for (std::int32_t c = 0; c < spec.analog; ++c)
      appendLe(out, static_cast<std::uint16_t>(AnalogRaw(spec, c, k)), 2);
    for (std::int32_t w = 0; w * 16 < spec.digital; ++w) {
      std::uint32_t word = 0;
      for (std::int32_t b = 0; b < 16 && 16 * w + b < spec.digital; ++b)
        if (DigitalState(spec, 16 * w + b, k)) word |= 1u << b;
      appendLe(out, word, 2);
    }
    return;
  }
  fmt::format_to(std::back_inserter(out), "{},{}", number, stamp);
  for (std::int32_t c = 0; c < spec.analog; ++c) fmt::format_to(std::back_inserter(out), ",{}", AnalogRaw(spec, c, k));
  for (std::int32_t j = 0; j < spec.digital; ++j) out += DigitalState(spec, j, k) ? ",1" : ",0";
  out += lineEnd(spec);
}

}  // namespace

std::int64_t SampleCount(const RecordSpec& spec) { return spec.rates.empty() ? 0 : spec.rates.back().endsamp; }

std::int64_t FaultSample(const RecordSpec& spec) {
  if (spec.faultStart < 0) return SampleCount(spec);
  return static_cast<std::int64_t>(spec.faultStart * static_cast<double>(SampleCount(spec)));
}

std::uint32_t TimeStamp(const RecordSpec& spec, std::int64_t k) {
  return static_cast<std::uint32_t>(std::llround(secondsAt(spec, k) * 1e6));
}

std::int16_t AnalogRaw(const RecordSpec& spec, std::int32_t channel, std::int64_t k) {
  const double wt = 2 * std::numbers::pi * spec.lf * secondsAt(spec, k) - 2 * std::numbers::pi / 3 * (channel % 3);
  const bool faulted = channel % 3 == 0 && k >= FaultSample(spec);
  double value = std::sin(wt);
  if (faulted) {
    value += spec.harmonic3 * std::sin(3 * wt) + spec.harmonic5 * std::sin(5 * wt);
    value *= isCurrent(channel) ? spec.faultGain : 1 / spec.faultGain;
  }
  value = value * spec.amplitude + spec.offset + spec.noise * noiseAt(spec.seed, channel, k);
  return static_cast<std::int16_t>(std::clamp<long>(std::lround(value), -kMaxRaw, kMaxRaw));
}

bool DigitalState(const RecordSpec& spec, std::int32_t channel, std::int64_t k) {
  const std::int64_t perCycle = std::max<std::int64_t>(1, spec.rates.empty() ? 1 : spec.rates.front().samp / spec.lf);
  if (channel % 4 == 3) return (k / (perCycle * (channel + 1))) % 2 == 1;  // toggles all the time
  const std::int64_t fault = FaultSample(spec);
  return fault < SampleCount(spec) && k >= fault + channel * (perCycle / 2);
}

std::string AnalogName(const RecordSpec& spec, std::int32_t channel) {
  const std::int32_t group = channel / 6;
  const char phase = static_cast<char>('A' + channel % 3);
  const std::string number = group > 0 ? std::to_string(group + 1) : std::string();
  if (spec.chineseNames) return fmt::format("{}相{}{}", phase, isCurrent(channel) ? "电流" : "电压", number);
  return fmt::format("{}{}{}", isCurrent(channel) ? 'I' : 'U', static_cast<char>(phase - 'A' + 'a'), number);
}

std::string DigitalName(const RecordSpec& spec, std::int32_t channel) {
  return spec.chineseNames ? fmt::format("开关量{}", channel + 1) : fmt::format("DI{}", channel + 1);
}

std::string StationName(const RecordSpec& spec) { return spec.chineseNames ? "测试变电站" : spec.station; }

std::string CfgText(const RecordSpec& spec) {
  const std::string_view nl = lineEnd(spec);
  const bool rev1991 = spec.revision == 1991;
  std::string out;
  const auto line = [&](const std::string& text) {
    out += text;
    out += nl;
  };
  line(encoded(spec, StationName(spec)) + "," + encoded(spec, spec.device) + (rev1991 ? "" : ",1999"));
  line(fmt::format("{},{}A,{}D", spec.analog + spec.digital, spec.analog, spec.digital));
  for (std::int32_t c = 0; c < spec.analog; ++c) {
    const char* unit = isCurrent(c) ? "A" : "kV";
    std::string text = fmt::format("{},{},{},,{},{},{},0,{},{}", c + 1, encoded(spec, AnalogName(spec, c)),
                                   static_cast<char>('A' + c % 3), unit, spec.a, spec.b, -kMaxRaw, kMaxRaw);
    if (!rev1991) text += fmt::format(",{},{},{}", spec.primary, spec.secondary, spec.ps);
    line(text);
  }
  for (std::int32_t j = 0; j < spec.digital; ++j)
    line(rev1991 ? fmt::format("{},{},0", j + 1, encoded(spec, DigitalName(spec, j)))
                 : fmt::format("{},{},,,0", j + 1, encoded(spec, DigitalName(spec, j))));
  line(std::to_string(spec.lf));
  line(std::to_string(spec.rates.size()));
  for (const Rate& rate : spec.rates) line(fmt::format("{},{}", rate.samp, rate.endsamp));
  line(dateLine(spec, 0));
  line(dateLine(spec, triggerMicros(spec)));
  line(spec.format == DatFormat::Ascii ? "ASCII" : "BINARY");
  if (!rev1991) line("1");
  return out;
}

void WriteDat(const RecordSpec& spec, std::ostream& out) {
  std::string buffer;
  buffer.reserve(1 << 20);
  const std::int64_t count = SampleCount(spec);
  for (std::int64_t k = 0; k < count; ++k) {
    appendRow(spec, k, buffer);
    if (buffer.size() >= (1u << 20) - 8192) {
      out.write(buffer.data(), static_cast<std::streamsize>(buffer.size()));
      buffer.clear();
    }
  }
  out.write(buffer.data(), static_cast<std::streamsize>(buffer.size()));
}

std::string DatBytes(const RecordSpec& spec) {
  std::ostringstream out;
  WriteDat(spec, out);
  return std::move(out).str();
}

WrittenRecord WriteRecord(const RecordSpec& spec, const std::filesystem::path& folder, const std::string& name) {
  WrittenRecord written{folder / (name + ".cfg"), folder / (name + ".dat")};
  const auto write = [](const std::filesystem::path& path, const auto& body) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    if (!file) throw std::runtime_error("cannot create " + path.string());
    body(file);
    file.flush();
    if (!file) throw std::runtime_error("cannot write " + path.string());
  };
  write(written.cfg, [&](std::ostream& out) { out << CfgText(spec); });
  write(written.dat, [&](std::ostream& out) { WriteDat(spec, out); });
  return written;
}

wave::TcfgInfo MakeCfgInfo(const RecordSpec& spec, const std::string& cfgPath) {
  const bool rev1991 = spec.revision == 1991;
  wave::TcfgInfo info;
  info.CfgPath = cfgPath;
  info.station_name = StationName(spec);
  info.rec_dev_id = spec.device;
  info.A = static_cast<std::uint16_t>(spec.analog);
  info.D = static_cast<std::uint16_t>(spec.digital);
  info.TT = static_cast<std::uint16_t>(spec.analog + spec.digital);
  for (std::int32_t c = 0; c < spec.analog; ++c) {
    wave::TAInfo channel;
    channel.ch_id = AnalogName(spec, c);
    channel.uu = isCurrent(c) ? "A" : "kV";
    channel.a = spec.a;
    channel.b = spec.b;
    channel.min = -kMaxRaw;
    channel.max = kMaxRaw;
    channel.primary = rev1991 ? 1.0 : spec.primary;
    channel.secondary = rev1991 ? 1.0 : spec.secondary;
    channel.PS = rev1991 ? 'S' : spec.ps;
    info.AInfo.push_back(channel);
  }
  for (std::int32_t j = 0; j < spec.digital; ++j) info.DInfo.push_back({DigitalName(spec, j), 0});
  info.lf = spec.lf;
  info.nrates = static_cast<std::int32_t>(spec.rates.size());
  if (!spec.rates.empty()) {
    info.samp1 = spec.rates.front().samp;
    info.endsamp1 = spec.rates.front().endsamp;
    info.samp2 = spec.rates.back().samp;
    info.endsamp2 = spec.rates.back().endsamp;
  }
  const common::TDateTime start = common::EncodeDateTime(kStart).value_or(0);
  info.StartTime = start;
  // Milliseconds only, cut as the reader cuts them.
  info.TriggerTime = start + static_cast<double>(triggerMicros(spec) / 1000) / 86400000.0;
  info.ft = spec.format == DatFormat::Ascii ? "ASCII" : "BINARY";
  return info;
}

}  // namespace recordgen
