#include "waveform/analysis/loader.h"

#include <algorithm>

#include "common/strings.h"
#include "waveform/analysis/interpolate.h"
#include "waveform/analysis/rms_harmonics.h"

namespace wave {

void CopyWaveChannels(RecordData& data, std::span<const wave::TWaveformData> channels) {
  const RecordLayout& layout = data.layout();
  const std::size_t count = std::min(data.analogCount(), channels.size());
  std::size_t longest = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const wave::TWaveformData& channel = channels[i];
    const std::span<double> out = data.samples(i);
    const std::size_t samples = std::min<std::size_t>(channel.Samples.size(), static_cast<std::size_t>(layout.rate1Samples));
    const long double offset = channel.Offset;
    longest = std::max(longest, samples);
    for (std::size_t k = 0; k < samples; ++k)
      out[k * static_cast<std::size_t>(layout.f1)] =
          static_cast<double>((channel.Samples[k] + offset) * channel.Factor);
  }
  data.setSamplesWritten(static_cast<std::int64_t>(longest));
}

namespace {

bool fromFile(std::int32_t source) {
  return source == stationdb::kSourceFolder || source == stationdb::kSourceAutomation;
}

// Counts the bytes read for the progress shown, and reads nothing more once
// the job is cancelled (the reader then stops as at the end of the data).
class ProgressDataReader final : public DataFileReader {
 public:
  ProgressDataReader(DataFileReader& file, common::JobProgress& progress) : file_(file), progress_(progress) {}
  std::optional<std::uint64_t> size() override { return file_.size(); }
  std::size_t read(std::uint64_t offset, std::span<char> out) override {
    if (progress_.cancelled()) return 0;
    const std::size_t got = file_.read(offset, out);
    progress_.advance(got);
    return got;
  }
  std::filesystem::path path() const override { return file_.path(); }

 private:
  DataFileReader& file_;
  common::JobProgress& progress_;
};

void readDataFile(RecordData& data, DataFileReader& dat, std::vector<common::UserMessage>& messages) {
  if (common::SameText(data.record().ft, "ASCII"))
    ReadAsciiDat(data, dat, messages);
  else
    ReadBinaryDat(data, dat, messages);
}

}  // namespace

bool NeedsInterpolation(const RecordData& data, std::int32_t source) {
  return fromFile(source) && data.layout().N1 < 32 && data.NoNegativeSamples == 0;
}

std::uint64_t AnalysisSteps(const RecordData& data, std::int32_t source) {
  // The interpolation and the drawing summary each take one step per sample of each analogue channel.
  const std::uint64_t channelSamples =
      data.analogCount() * static_cast<std::uint64_t>(std::max<std::int64_t>(data.layout().sampleCount, 0));
  return (NeedsInterpolation(data, source) ? channelSamples : 0) + AnalyseSteps(data) + channelSamples;
}

std::vector<common::UserMessage> LoadChannelData(RecordData& data, std::int32_t source,
                                                 std::span<const wave::TWaveformData> waveChannels,
                                                 common::JobProgress* progress) {
  std::vector<common::UserMessage> messages;
  if (source != stationdb::kSourcePowerQuality && !fromFile(source)) data.setSamplesWritten(0);
  if (source == stationdb::kSourcePowerQuality) CopyWaveChannels(data, waveChannels);
  if (fromFile(source)) {
    const std::string& cfgPath = data.record().CfgPath;
    FileDataReader file(FindDatPartner(cfgPath).value_or(std::filesystem::path(DatPartnerPath(cfgPath))));
    if (progress) {
      progress->begin(common::JobProgress::Stage::Reading, file.size().value_or(0));
      ProgressDataReader counted(file, *progress);
      readDataFile(data, counted, messages);
    } else {
      readDataFile(data, file, messages);
    }
  }
  if (progress) {
    if (progress->cancelled()) return {};
    progress->begin(common::JobProgress::Stage::Analysing, AnalysisSteps(data, source));
  }
  const bool sineFit = NeedsInterpolation(data, source);
  if (sineFit) InterpolateRecord(data, progress);
  // Every point of a record with negative samples is drawn and read, also
  // where the sine fit does not run (a second rate below 32 samples a cycle
  // after a first rate above it) and after the last sample.
  if (data.NoNegativeSamples == 0) FillRecordBetweenSamples(data, sineFit, progress);
  return messages;
}

}  // namespace wave
