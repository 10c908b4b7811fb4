// The BINARY .dat reader. The file is read in blocks of whole sample records
// and each block is spread over threads by record ranges; within a range the
// records are taken in small tiles so that every channel's buffer is written
// in order while the tile stays in cache.

#include <algorithm>
#include <atomic>
#include <cstring>
#include <system_error>
#include <thread>
#include <vector>

#include "waveform/analysis/loader.h"
#include "waveform/analysis/parallel.h"

namespace wave {
namespace {

constexpr std::size_t kBlockBytes = std::size_t{8} << 20;
constexpr std::size_t kTileRecords = 256;
constexpr std::size_t kMinRecordsPerThread = 4096;
constexpr double kBitValue[2] = {0.0, 1.0};

std::uint16_t loadLe16(const unsigned char* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

std::uint32_t digitalWords(std::uint32_t digitalCount) {
  return digitalCount > 0 ? (digitalCount - 1) / 16 + 1 : 0;
}

// Places whole sample records of the file into the buffers.
class RecordPlacer {
 public:
  explicit RecordPlacer(RecordData& data)
      : layout_(data.layout()),
        analogCount_(data.analogCount()),
        digitalCount_(data.digitalCount()),
        recordSize_(BinaryRecordSize(static_cast<std::uint32_t>(analogCount_),
                                     static_cast<std::uint32_t>(digitalCount_))) {
    for (std::size_t slot = 0; slot < data.channelCount(); ++slot) buffers_.push_back(data.samples(slot).data());
    for (std::size_t i = 0; i < analogCount_; ++i) scales_.emplace_back(data.record().AInfo[i]);
  }

  std::uint64_t recordSize() const { return recordSize_; }

  // Records [begin, end) of a block whose first record is firstRecord; true
  // when a negative analogue sample was among them.
  bool placeRange(const unsigned char* block, std::uint64_t firstRecord, std::size_t begin, std::size_t end) const {
    bool negative = false;
    for (std::size_t tile = begin; tile < end; tile += kTileRecords) {
      const std::size_t tileEnd = std::min(end, tile + kTileRecords);
      for (std::size_t i = 0; i < analogCount_; ++i)
        negative |= placeAnalog(block, firstRecord, tile, tileEnd, i);
      for (std::size_t w = 0; w < digitalWords(static_cast<std::uint32_t>(digitalCount_)); ++w)
        placeDigital(block, firstRecord, tile, tileEnd, w);
    }
    return negative;
  }

  // The values of one record of which only the first `available` bytes are
  // in the file; true when one of them was a negative analogue sample.
  bool placePartial(const unsigned char* bytes, std::uint64_t available, std::uint64_t record) const {
    bool negative = false;
    for (std::size_t i = 0; i < analogCount_; ++i)
      if (analogOffset(i) + 2 <= available) negative |= placeAnalog(bytes, record, 0, 1, i);
    for (std::size_t w = 0; w < digitalWords(static_cast<std::uint32_t>(digitalCount_)); ++w)
      if (wordOffset(w) + 2 <= available) placeDigital(bytes, record, 0, 1, w);
    return negative;
  }

  std::size_t analogOffset(std::size_t channel) const { return 8 + 2 * channel; }
  std::size_t wordOffset(std::size_t word) const { return 8 + 2 * (analogCount_ + word); }
  std::size_t bitsOfWord(std::size_t word) const { return std::min<std::size_t>(16, digitalCount_ - 16 * word); }

 private:
  bool placeAnalog(const unsigned char* block, std::uint64_t firstRecord, std::size_t begin, std::size_t end,
                   std::size_t channel) const {
    const AnalogScale& scale = scales_[channel];
    return scale.secondaryValues()
               ? placeAnalogWith(block, firstRecord, begin, end, channel,
                                 [scale](std::int32_t raw) { return scale.fromSecondary(raw); })
               : placeAnalogWith(block, firstRecord, begin, end, channel,
                                 [scale](std::int32_t raw) { return scale.scaled(raw); });
  }

  template <typename Convert>
  bool placeAnalogWith(const unsigned char* block, std::uint64_t firstRecord, std::size_t begin, std::size_t end,
                       std::size_t channel, Convert convert) const {
    double* out = buffers_[channel];
    const unsigned char* p = block + begin * recordSize_ + analogOffset(channel);
    std::int32_t lowest = 0;
    for (std::size_t r = begin; r < end; ++r, p += recordSize_) {
      const auto raw = static_cast<std::int16_t>(loadLe16(p));
      lowest = std::min<std::int32_t>(lowest, raw);
      out[layout_.pointOf(static_cast<std::int64_t>(firstRecord + r))] = convert(raw);
    }
    return lowest < 0;
  }

  void placeDigital(const unsigned char* block, std::uint64_t firstRecord, std::size_t begin, std::size_t end,
                    std::size_t word) const {
    std::uint16_t words[kTileRecords];
    const std::size_t count = end - begin;
    const unsigned char* p = block + begin * recordSize_ + wordOffset(word);
    for (std::size_t r = 0; r < count; ++r, p += recordSize_) words[r] = loadLe16(p);
    for (std::size_t b = 0; b < bitsOfWord(word); ++b) {
      double* out = buffers_[analogCount_ + 16 * word + b] + firstRecord + begin;
      for (std::size_t r = 0; r < count; ++r) out[r] = kBitValue[(words[r] >> b) & 1u];
    }
  }

  const RecordLayout& layout_;
  std::vector<AnalogScale> scales_;
  std::size_t analogCount_;
  std::size_t digitalCount_;
  std::uint64_t recordSize_;
  std::vector<double*> buffers_;
};

// The messages for the values that lie beyond the end of the file, in the
// order the values are taken: analogue channel by channel, then digital words.
void addIllegalMessages(const RecordPlacer& placer, std::size_t analogCount, std::size_t digitalCount,
                        std::uint64_t missingRecords, std::uint64_t partialBytes,
                        std::vector<common::UserMessage>& messages) {
  int shown = 0;
  const auto add = [&](int key, std::uint64_t count) {
    for (; count > 0 && shown < kMaxIllegalMessages; --count, ++shown)
      messages.push_back(FaultWaveMessage(key, "dat文件有非法数据！"));
  };
  const auto unreadable = [&](std::size_t offset) {
    return missingRecords - (partialBytes > 0 && offset + 2 <= partialBytes ? 1 : 0);
  };
  for (std::size_t i = 0; i < analogCount && shown < kMaxIllegalMessages; ++i)
    add(kMsgBinaryBadAnalog, unreadable(placer.analogOffset(i)));
  for (std::size_t w = 0; w < digitalWords(static_cast<std::uint32_t>(digitalCount)); ++w)
    for (std::size_t b = 0; b < placer.bitsOfWord(w) && shown < kMaxIllegalMessages; ++b)
      add(kMsgBinaryBadDigital, unreadable(placer.wordOffset(w)));
}

}  // namespace

std::uint64_t BinaryRecordSize(std::uint32_t analogCount, std::uint32_t digitalCount) {
  return 8 + 2 * std::uint64_t{analogCount} + 2 * std::uint64_t{digitalWords(digitalCount)};
}

void ReadBinaryDat(RecordData& data, DataFileReader& dat, std::vector<common::UserMessage>& messages) {
  bool written = false;
  const auto readFailed = [&] {
    if (written) data.clearSamples();
    messages.push_back(FaultWaveMessage(kMsgBinaryReadFailed, "读dat文件数据失败！"));
  };
  const auto fileSize = dat.size();
  if (!fileSize) return readFailed();
  const RecordLayout& layout = data.layout();
  const RecordPlacer placer(data);
  const std::uint64_t recordSize = placer.recordSize();
  if (*fileSize < static_cast<std::uint64_t>(layout.rate1Samples) * recordSize) return readFailed();

  const auto toRead = static_cast<std::uint64_t>(layout.sampleCount);
  const std::uint64_t wholeRecords = std::min(toRead, *fileSize / recordSize);
  const std::uint64_t perBlock = std::max<std::uint64_t>(1, kBlockBytes / recordSize);
  const auto blockSize = static_cast<std::size_t>(std::min(wholeRecords, perBlock) * recordSize);
  // Two blocks: the next one is read while the threads place the current one.
  std::vector<unsigned char> blocks[2] = {std::vector<unsigned char>(blockSize),
                                          std::vector<unsigned char>(wholeRecords > perBlock ? blockSize : 0)};
  const auto readBlock = [&](std::uint64_t first, std::vector<unsigned char>& block) {
    const std::size_t bytes = static_cast<std::size_t>(std::min(perBlock, wholeRecords - first) * recordSize);
    return dat.read(first * recordSize, std::span(reinterpret_cast<char*>(block.data()), bytes)) == bytes;
  };
  std::atomic<bool> negative{false};
  if (wholeRecords > 0 && !readBlock(0, blocks[0])) return readFailed();
  for (std::uint64_t first = 0, index = 0; first < wholeRecords; first += perBlock, index ^= 1) {
    const std::uint64_t next = first + perBlock;
    bool nextRead = true;
    std::jthread reader;
    if (next < wholeRecords) {
      try {
        reader = std::jthread([&] { nextRead = readBlock(next, blocks[index ^ 1]); });
      } catch (const std::system_error&) {
        nextRead = readBlock(next, blocks[index ^ 1]);  // no thread to be had: read it now
      }
    }
    const auto count = static_cast<std::size_t>(std::min(perBlock, wholeRecords - first));
    const unsigned char* block = blocks[index].data();
    written = true;
    ParallelFor(count, kMinRecordsPerThread, [&](std::size_t begin, std::size_t end) {
      if (placer.placeRange(block, first, begin, end)) negative.store(true, std::memory_order_relaxed);
    });
    if (reader.joinable()) reader.join();
    if (!nextRead) return readFailed();
  }

  if (wholeRecords < toRead) {
    // The file ends inside the samples to read (possible with two rates):
    // what lies beyond its end is illegal data and stays 0.
    const std::uint64_t partialBytes = std::min(*fileSize - wholeRecords * recordSize, recordSize);
    if (partialBytes > 0) {
      std::vector<unsigned char> partial(static_cast<std::size_t>(partialBytes));
      if (dat.read(wholeRecords * recordSize, std::span(reinterpret_cast<char*>(partial.data()), partial.size())) !=
          partial.size())
        return readFailed();
      if (placer.placePartial(partial.data(), partialBytes, wholeRecords)) negative = true;
    }
    addIllegalMessages(placer, data.analogCount(), data.digitalCount(), toRead - wholeRecords, partialBytes,
                       messages);
  }
  if (negative && layout.CycleCount > 0.5) data.NoNegativeSamples = 0;
}

}  // namespace wave
