// The BINARY .dat reader. The file is cut into chunks of whole sample records;
// worker threads take the chunks one after the other, read each into a buffer
// of their own and place its records into all channels' buffers (the points of
// two chunks never meet). Within a chunk the records are taken in tiles small
// enough to stay in the first-level cache while every channel's points are
// written in order.

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>
#include <vector>

#include "waveform/analysis/loader.h"
#include "waveform/analysis/parallel.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace wave {
namespace {

constexpr std::size_t kChunkBytes = std::size_t{256} << 10;
constexpr std::size_t kTileRecords = 32;  // a multiple of 8, so that tiles start on whole cache lines

std::uint16_t loadLe16(const unsigned char* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

std::uint32_t digitalWords(std::uint32_t digitalCount) {
  return digitalCount > 0 ? (digitalCount - 1) / 16 + 1 : 0;
}

bool aligned16(const double* p) { return (reinterpret_cast<std::uintptr_t>(p) & 15u) == 0; }

// The points are written with stores that bypass the caches: the buffers are
// far larger than any cache and are read again only later.
void copyPoints(const double* from, double* to, std::size_t count) {
  std::size_t r = 0;
#if defined(__SSE2__)
  if (count > 0 && !aligned16(to)) {
    to[0] = from[0];
    r = 1;
  }
  for (; r + 2 <= count; r += 2) _mm_stream_pd(to + r, _mm_loadu_pd(from + r));
#endif
  for (; r < count; ++r) to[r] = from[r];
}

// out[r] = 1 where bit `bit` of words[r] is set, else 0.
void spreadBit(const std::uint16_t* words, std::size_t count, unsigned bit, std::uint8_t* out) {
  for (std::size_t r = 0; r < count; ++r) out[r] = static_cast<std::uint8_t>((words[r] >> bit) & 1u);
}

// Makes the stores that bypassed the caches visible before the work is handed back.
void finishStores() {
#if defined(__SSE2__)
  _mm_sfence();
#endif
}

// Places whole sample records of the file into the buffers.
class RecordPlacer {
 public:
  explicit RecordPlacer(RecordData& data)
      : layout_(data.layout()),
        analogCount_(data.analogCount()),
        digitalCount_(data.digitalCount()),
        wordCount_(digitalWords(static_cast<std::uint32_t>(digitalCount_))),
        recordSize_(BinaryRecordSize(static_cast<std::uint32_t>(analogCount_),
                                     static_cast<std::uint32_t>(digitalCount_))) {
    for (std::size_t i = 0; i < analogCount_; ++i) buffers_.push_back(data.samples(i).data());
    for (std::size_t j = 0; j < digitalCount_; ++j) lanes_.push_back(data.digital(j).data());
    for (std::size_t i = 0; i < analogCount_; ++i) scales_.emplace_back(data.record().AInfo[i]);
  }

  std::uint64_t recordSize() const { return recordSize_; }

  // The `count` records in `bytes`, the first of which is record `first`;
  // true when a negative analogue sample was among them.
  bool placeRecords(const unsigned char* bytes, std::uint64_t first, std::size_t count) const {
    bool negative = false;
    for (std::size_t begin = 0; begin < count; begin += kTileRecords) {
      const std::size_t tile = std::min(kTileRecords, count - begin);
      const unsigned char* records = bytes + begin * recordSize_;
      for (std::size_t i = 0; i < analogCount_; ++i) negative |= placeAnalog(records, first + begin, tile, i);
      for (std::size_t w = 0; w < wordCount_; ++w) placeDigital(records, first + begin, tile, w);
    }
    return negative;
  }

  // The values of one record of which only the first `available` bytes are
  // in the file; true when one of them was a negative analogue sample.
  bool placePartial(const unsigned char* bytes, std::uint64_t available, std::uint64_t record) const {
    bool negative = false;
    for (std::size_t i = 0; i < analogCount_; ++i)
      if (analogOffset(i) + 2 <= available) negative |= placeAnalog(bytes, record, 1, i);
    for (std::size_t w = 0; w < wordCount_; ++w)
      if (wordOffset(w) + 2 <= available) placeDigital(bytes, record, 1, w);
    return negative;
  }

  std::size_t analogOffset(std::size_t channel) const { return 8 + 2 * channel; }
  std::size_t wordOffset(std::size_t word) const { return 8 + 2 * (analogCount_ + word); }
  std::size_t bitsOfWord(std::size_t word) const { return std::min<std::size_t>(16, digitalCount_ - 16 * word); }

 private:
  // Records [first, first + count) of one analogue channel, split where the
  // second rate begins.
  bool placeAnalog(const unsigned char* records, std::uint64_t first, std::size_t count, std::size_t channel) const {
    bool negative = false;
    const auto rate1 = static_cast<std::uint64_t>(layout_.rate1Samples);
    for (std::size_t done = 0; done < count;) {
      const std::uint64_t k = first + done;
      const bool firstRate = k < rate1;
      const std::size_t run = firstRate ? static_cast<std::size_t>(std::min<std::uint64_t>(count - done, rate1 - k))
                                        : count - done;
      double* out = buffers_[channel] + layout_.pointOf(static_cast<std::int64_t>(k));
      const unsigned char* in = records + done * recordSize_ + analogOffset(channel);
      negative |= placeRun(in, run, out, firstRate ? layout_.f1 : layout_.f2, scales_[channel]);
      done += run;
    }
    return negative;
  }

  bool placeRun(const unsigned char* in, std::size_t count, double* out, std::int32_t step,
                const AnalogScale& scale) const {
    return scale.secondaryValues()
               ? placeRunWith(in, count, out, step, [&scale](std::int32_t raw) { return scale.fromSecondary(raw); })
               : placeRunWith(in, count, out, step, [&scale](std::int32_t raw) { return scale.scaled(raw); });
  }

  template <typename Convert>
  bool placeRunWith(const unsigned char* in, std::size_t count, double* out, std::int32_t step,
                    Convert convert) const {
    std::int32_t lowest = 0;
    if (step == 1) {
      double values[kTileRecords];
      for (std::size_t r = 0; r < count; ++r, in += recordSize_) {
        const auto raw = static_cast<std::int16_t>(loadLe16(in));
        lowest = std::min<std::int32_t>(lowest, raw);
        values[r] = convert(raw);
      }
      copyPoints(values, out, count);
    } else {
      for (std::size_t r = 0; r < count; ++r, in += recordSize_, out += step) {
        const auto raw = static_cast<std::int16_t>(loadLe16(in));
        lowest = std::min<std::int32_t>(lowest, raw);
        *out = convert(raw);
      }
    }
    return lowest < 0;
  }

  void placeDigital(const unsigned char* records, std::uint64_t first, std::size_t count, std::size_t word) const {
    std::uint16_t words[kTileRecords];
    const unsigned char* in = records + wordOffset(word);
    unsigned anySet = 0;
    for (std::size_t r = 0; r < count; ++r, in += recordSize_) anySet |= words[r] = loadLe16(in);
    // The buffers start at 0: a lane that stays 0 is not written, and its
    // pages cost nothing (most lanes of a record never change).
    for (std::size_t b = 0; b < bitsOfWord(word); ++b)
      if ((anySet >> b) & 1u)
        spreadBit(words, count, static_cast<unsigned>(b), lanes_[16 * word + b] + first);
  }

  const RecordLayout& layout_;
  std::vector<AnalogScale> scales_;
  std::size_t analogCount_;
  std::size_t digitalCount_;
  std::size_t wordCount_;
  std::uint64_t recordSize_;
  std::vector<double*> buffers_;       // analogue
  std::vector<std::uint8_t*> lanes_;  // digital
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

// Reads and places the whole records [0, records) of the file, chunk by chunk
// on several threads. False when the file could not be read.
bool placeWholeRecords(const RecordPlacer& placer, DataFileReader& dat, std::uint64_t records, bool& negative) {
  const std::uint64_t recordSize = placer.recordSize();
  // A multiple of the tile, so that every chunk starts on whole cache lines of
  // the analogue buffers (a digital lane's bytes are written one by one, so
  // two threads may write neighbouring samples of it safely).
  const std::uint64_t perChunk =
      std::max<std::uint64_t>(kTileRecords, kChunkBytes / recordSize / kTileRecords * kTileRecords);
  const std::uint64_t chunks = (records + perChunk - 1) / perChunk;
  const auto workers = static_cast<std::size_t>(std::min<std::uint64_t>(chunks, WorkerCount()));
  std::vector<std::vector<unsigned char>> buffers(
      workers, std::vector<unsigned char>(static_cast<std::size_t>(std::min(perChunk, records) * recordSize)));

  std::atomic<std::uint64_t> nextChunk{0};
  std::atomic<bool> failed{false};
  std::atomic<bool> anyNegative{false};
  std::mutex readGuard;  // a data file reader serves one read at a time
  const auto work = [&](std::vector<unsigned char>& buffer) {
    bool sawNegative = false;
    while (!failed.load(std::memory_order_relaxed)) {
      const std::uint64_t chunk = nextChunk++;
      if (chunk >= chunks) break;
      const std::uint64_t first = chunk * perChunk;
      const auto count = static_cast<std::size_t>(std::min(perChunk, records - first));
      const std::span bytes(reinterpret_cast<char*>(buffer.data()), static_cast<std::size_t>(count * recordSize));
      std::size_t got = 0;
      {
        const std::lock_guard lock(readGuard);
        got = dat.read(first * recordSize, bytes);
      }
      if (got != bytes.size()) {
        failed = true;
        break;
      }
      sawNegative |= placer.placeRecords(buffer.data(), first, count);
    }
    finishStores();
    if (sawNegative) anyNegative = true;
  };
  ParallelFor(workers, 1, [&](std::size_t begin, std::size_t end) {
    for (std::size_t w = begin; w < end; ++w) work(buffers[w]);
  });
  negative = anyNegative;
  return !failed;
}

}  // namespace

std::uint64_t BinaryRecordSize(std::uint32_t analogCount, std::uint32_t digitalCount) {
  return 8 + 2 * std::uint64_t{analogCount} + 2 * std::uint64_t{digitalWords(digitalCount)};
}

void ReadBinaryDat(RecordData& data, DataFileReader& dat, std::vector<common::UserMessage>& messages) {
  data.setSamplesWritten(0);
  const auto readFailed = [&] {
    data.clearSamples();
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
  bool negative = false;
  data.setSamplesWritten(static_cast<std::int64_t>(wholeRecords));
  if (wholeRecords > 0 && !placeWholeRecords(placer, dat, wholeRecords, negative)) return readFailed();

  if (wholeRecords < toRead) {
    // The file ends inside the samples to read (possible with two rates):
    // what lies beyond its end is illegal data and stays 0.
    const std::uint64_t partialBytes = std::min(*fileSize - wholeRecords * recordSize, recordSize);
    if (partialBytes > 0) {
      data.setSamplesWritten(static_cast<std::int64_t>(wholeRecords) + 1);
      std::vector<unsigned char> partial(static_cast<std::size_t>(partialBytes));
      if (dat.read(wholeRecords * recordSize, std::span(reinterpret_cast<char*>(partial.data()), partial.size())) !=
          partial.size())
        return readFailed();
      negative |= placer.placePartial(partial.data(), partialBytes, wholeRecords);
    }
    addIllegalMessages(placer, data.analogCount(), data.digitalCount(), toRead - wholeRecords, partialBytes,
                       messages);
  }
  if (negative && layout.CycleCount > 0.5) data.NoNegativeSamples = 0;
}

}  // namespace wave
