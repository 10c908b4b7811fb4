#include "waveform/analysis/record_data.h"

#include "waveform/analysis/draw_summary.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <new>
#include <string>
#include <vector>

#if __has_include(<sanitizer/asan_interface.h>)
#include <sanitizer/asan_interface.h>
#endif
#ifndef ASAN_POISON_MEMORY_REGION
#define ASAN_POISON_MEMORY_REGION(addr, size) ((void)(addr), (void)(size))
#define ASAN_UNPOISON_MEMORY_REGION(addr, size) ((void)(addr), (void)(size))
#endif

namespace wave {
namespace {

// Every buffer starts on a cache line and is followed by a guard zone that the
// address sanitizer watches, so an overrun into the next buffer is caught.
constexpr std::size_t kAlign = 64;
constexpr std::size_t kGuard = 64;
constexpr std::size_t kLargePage = std::size_t{2} << 20;

std::size_t roundUp(std::size_t bytes) { return (bytes + kAlign - 1) / kAlign * kAlign; }

}  // namespace

std::uint64_t RecordByteLimitFor(std::uint64_t physicalBytes) {
  return std::max(std::uint64_t{2} << 30, physicalBytes / 2);
}

std::uint64_t DefaultRecordByteLimit() {
  static const std::uint64_t limit = [] {
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGE_SIZE);
    const std::uint64_t physical =
        pages > 0 && pageSize > 0 ? static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(pageSize) : 0;
    return RecordByteLimitFor(physical);
  }();
  return limit;
}

common::UserMessage FaultWaveMessage(int key, std::string_view defaultText) {
  return common::UserMessage::warning(std::string(kFaultWaveSection), "str" + std::to_string(key),
                                      std::string(defaultText), "str" + std::to_string(key + 1));
}

std::optional<common::UserMessage> CheckRecord(const TcfgInfo& record, const RecordLimits& limits) {
  if (record.TT > kMaxChannels || record.A + record.D != record.TT || record.AInfo.size() < record.A)
    return FaultWaveMessage(kMsgBadChannelCount, "录波的通道数有误(最多500个通道)，无法打开波形窗口！");
  const bool twoRates = record.nrates == 2;
  if (record.lf <= 0 || record.samp1 / record.lf < 1 || (twoRates && record.samp2 / record.lf < 1))
    return FaultWaveMessage(kMsgNoSamplesPerCycle, "采样率有误：每周波没有采样点，无法打开波形窗口！");
  if (record.endsamp1 < 1 || (twoRates && record.endsamp2 < record.endsamp1))
    return FaultWaveMessage(kMsgBadEndSamples, "采样点数有误，无法打开波形窗口！");
  if (RecordBufferBytes(record, MakeRecordLayout(record)) > limits.maxBytes)
    return FaultWaveMessage(kMsgRecordTooLarge, "录波数据过大，无法打开波形窗口！");
  return std::nullopt;
}

RecordLayout MakeRecordLayout(const TcfgInfo& record) {
  RecordLayout layout;
  layout.twoRates = record.nrates == 2;
  layout.N1 = record.samp1 / record.lf;
  layout.N2 = layout.twoRates ? record.samp2 / record.lf : layout.N1;
  layout.f1 = 31 / layout.N1 + 1;
  layout.f2 = 31 / layout.N2 + 1;
  layout.rate1Samples = record.endsamp1;
  layout.sampleCount = layout.twoRates ? record.endsamp2 : record.endsamp1;
  layout.analogPoints = std::int64_t{record.endsamp1} * layout.f1 +
                        (layout.sampleCount - layout.rate1Samples) * layout.f2;
  const std::int32_t cycles = record.endsamp1 / layout.N1;
  layout.CycleCount = cycles;
  layout.oneCycle = cycles == 1;
  layout.harmonicRoom = std::max(0, record.endsamp1 / 2 - 1);
  layout.rmsCycle = layout.twoRates ? layout.N2 : layout.N1;
  return layout;
}

std::uint64_t RecordBufferBytes(const TcfgInfo& record, const RecordLayout& layout) {
  const auto a = static_cast<std::uint64_t>(record.A);
  const auto d = static_cast<std::uint64_t>(record.D);
  const auto samples = static_cast<std::uint64_t>(layout.sampleCount);
  const std::uint64_t extra = layout.oneCycle ? static_cast<std::uint64_t>(layout.harmonicRoom) : a * samples;
  // Analogue points, RMS values or harmonics as doubles; a byte per digital sample.
  return sizeof(double) * (a * static_cast<std::uint64_t>(layout.analogPoints) + extra) +
         sizeof(std::uint8_t) * d * samples;
}

// One anonymous mapping holds every buffer: the kernel hands it out zero-filled
// and page by page, and it goes back to the system as a whole.
struct RecordData::Block {
  void* base = MAP_FAILED;
  std::size_t bytes = 0;
  std::vector<std::span<double>> samples;
  std::vector<std::span<std::uint8_t>> digital;
  std::vector<std::span<double>> rms;
  std::span<double> harmonics;

  Block() = default;
  Block(const Block&) = delete;
  Block& operator=(const Block&) = delete;
  ~Block() {
    if (base == MAP_FAILED) return;
    ASAN_UNPOISON_MEMORY_REGION(base, bytes);
    munmap(base, bytes);
  }

  // Lays the buffers of the given sizes (in bytes) out, the first
  // `largePaged` of them on large pages; false when the memory cannot be had.
  bool allocate(const std::vector<std::size_t>& sizes, std::size_t largePaged) {
    bytes = kGuard;
    std::size_t largePagedBytes = bytes;
    for (std::size_t i = 0; i < sizes.size(); ++i) {
      bytes += roundUp(sizes[i]) + kGuard;
      if (i < largePaged) largePagedBytes = bytes;
    }
    base = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (base == MAP_FAILED) return false;
    // Large pages where the system has them: a fault per 2 MiB instead of per 4 KiB.
    if (largePagedBytes >= kLargePage) madvise(base, largePagedBytes, MADV_HUGEPAGE);
    auto* bytePtr = static_cast<unsigned char*>(base);
    std::size_t offset = kGuard;
    ASAN_POISON_MEMORY_REGION(bytePtr, kGuard);
    all.reserve(sizes.size());
    for (std::size_t used : sizes) {
      all.push_back(bytePtr + offset);
      const std::size_t next = offset + roundUp(used) + kGuard;
      ASAN_POISON_MEMORY_REGION(bytePtr + offset + used, next - offset - used);
      offset = next;
    }
    return true;
  }

  std::vector<unsigned char*> all;  // the start of each buffer
};

RecordData::RecordData(const TcfgInfo& record, const RecordLayout& layout)
    : record_(record), layout_(layout), block_(std::make_unique<Block>()), samplesWritten_(layout.sampleCount) {}

RecordData::~RecordData() = default;

RecordData::Created RecordData::Create(const TcfgInfo& record, const RecordLimits& limits) {
  if (auto refusal = CheckRecord(record, limits)) return {nullptr, std::move(refusal)};
  const RecordLayout layout = MakeRecordLayout(record);
  const auto outOfMemory = [] {
    return FaultWaveMessage(kMsgOutOfMemory, "内存不足，无法打开波形窗口！");
  };
  try {
    std::shared_ptr<RecordData> data(new RecordData(record, layout));
    const std::size_t a = record.A;
    const std::size_t d = record.D;
    const auto samples = static_cast<std::size_t>(layout.sampleCount);
    const auto points = static_cast<std::size_t>(layout.analogPoints);
    const std::size_t harmonics = layout.oneCycle ? static_cast<std::size_t>(layout.harmonicRoom) : 0;
    const std::size_t rmsCount = layout.oneCycle ? 0 : a;
    // Analogue points, the RMS curves or the harmonic values, then the digital
    // lanes. The lanes stay on small pages: a lane is often smaller than a
    // large page, and a lane the reader never reaches then costs nothing.
    std::vector<std::size_t> sizes(a, points * sizeof(double));
    sizes.insert(sizes.end(), rmsCount, samples * sizeof(double));
    if (layout.oneCycle) sizes.push_back(harmonics * sizeof(double));
    const std::size_t doubleBuffers = sizes.size();
    sizes.insert(sizes.end(), d, samples * sizeof(std::uint8_t));
    Block& block = *data->block_;
    if (!block.allocate(sizes, doubleBuffers)) return {nullptr, outOfMemory()};
    const auto doubles = [&](std::size_t i, std::size_t count) {
      return std::span(reinterpret_cast<double*>(block.all[i]), count);
    };
    for (std::size_t i = 0; i < a; ++i) block.samples.push_back(doubles(i, points));
    for (std::size_t i = 0; i < rmsCount; ++i) block.rms.push_back(doubles(a + i, samples));
    if (layout.oneCycle) block.harmonics = doubles(a, harmonics);
    for (std::size_t j = 0; j < d; ++j) block.digital.emplace_back(block.all[doubleBuffers + j], samples);
    return {std::move(data), std::nullopt};
  } catch (const std::bad_alloc&) {
    return {nullptr, outOfMemory()};
  }
}

std::span<double> RecordData::samples(std::size_t slot) { return block_->samples.at(slot); }
std::span<const double> RecordData::samples(std::size_t slot) const { return block_->samples.at(slot); }

std::span<std::uint8_t> RecordData::digital(std::size_t d) { return block_->digital.at(d); }
std::span<const std::uint8_t> RecordData::digital(std::size_t d) const { return block_->digital.at(d); }

std::span<double> RecordData::rms(std::size_t channel) {
  return channel < block_->rms.size() ? block_->rms[channel] : std::span<double>();
}
std::span<const double> RecordData::rms(std::size_t channel) const {
  return channel < block_->rms.size() ? block_->rms[channel] : std::span<double>();
}

std::span<double> RecordData::harmonics() { return block_->harmonics; }
std::span<const double> RecordData::harmonics() const { return block_->harmonics; }

void RecordData::clearSamples() {
  // Zeros written over pages never touched would cost every page of the buffers.
  const auto analogPoints = static_cast<std::size_t>(analogPointsWritten());
  const auto digitalSamples = static_cast<std::size_t>(samplesWritten_);
  for (const std::span<double> buffer : block_->samples)
    std::fill_n(buffer.begin(), std::min(buffer.size(), analogPoints), 0.0);
  for (const std::span<std::uint8_t> lane : block_->digital)
    std::fill_n(lane.begin(), std::min(lane.size(), digitalSamples), std::uint8_t{0});
  samplesWritten_ = 0;
  NoNegativeSamples = 1;
  drawSummary_.reset();
}

void RecordData::setSamplesWritten(std::int64_t samples) {
  samplesWritten_ = std::clamp<std::int64_t>(samples, 0, layout_.sampleCount);
}

std::int64_t RecordData::analogPointsWritten() const {
  return samplesWritten_ >= layout_.sampleCount ? layout_.analogPoints : layout_.pointOf(samplesWritten_);
}

std::int64_t RecordData::rmsValuesWritten() const {
  if (samplesWritten_ == 0) return 0;
  return std::min(layout_.sampleCount, samplesWritten_ + layout_.rmsCycle - 1);
}

void RecordData::setDrawSummary(std::unique_ptr<const DrawSummary> summary) { drawSummary_ = std::move(summary); }

}  // namespace wave
