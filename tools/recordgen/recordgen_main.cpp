// recordgen: writes a synthetic IEEE C37.111 record (NAME.cfg and NAME.dat).

#include <charconv>
#include <cstdio>
#include <exception>
#include <string>
#include <string_view>
#include <vector>

#include "tools/recordgen/record_writer.h"

namespace {

constexpr std::string_view kUsage = R"(usage: recordgen [options] FOLDER NAME
Writes FOLDER/NAME.cfg and FOLDER/NAME.dat.
  --ascii | --binary     data file type (default binary)
  --rev 1991|1999        revision (default 1999)
  --analog N             analogue channels (default 3)
  --digital N            digital channels (default 2)
  --lf HZ                line frequency (default 50)
  --rate SAMP:END        a sampling rate and its last sample; give it twice for two rates
                         (default 1000:200)
  --amplitude RAW        raw peak of the fundamental (default 8000)
  --fault FRACTION       where the fault starts, as a fraction of the record (default 0.4)
  --no-fault             no fault
  --gain G               current gain of the fault (default 3)
  --h3 F, --h5 F         3rd and 5th harmonic during the fault (default 0.1, 0.05)
  --noise RAW            peak of the noise (default 20)
  --offset RAW           added to every analogue sample (a large one gives no negative samples)
  --seed N               noise seed (default 1)
  --chinese              Chinese station and channel names, written in GBK
  --lf-endings           lines end in LF instead of CR LF
  --station TEXT, --device TEXT
)";

bool parseNumber(std::string_view text, double& value) {
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return ec == std::errc() && end == text.data() + text.size();
}

template <typename Int>
bool parseInteger(std::string_view text, Int& value) {
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return ec == std::errc() && end == text.data() + text.size();
}

bool parseRate(std::string_view text, recordgen::Rate& rate) {
  const auto colon = text.find(':');
  return colon != std::string_view::npos && parseInteger(text.substr(0, colon), rate.samp) &&
         parseInteger(text.substr(colon + 1), rate.endsamp) && rate.samp > 0 && rate.endsamp > 0;
}

struct Arguments {
  recordgen::RecordSpec spec;
  std::vector<std::string> positional;
};

// Empty error text when the arguments are fine.
std::string parseArguments(int argc, char** argv, Arguments& args) {
  std::vector<recordgen::Rate> rates;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    const auto value = [&]() -> std::string_view { return i + 1 < argc ? std::string_view(argv[++i]) : ""; };
    auto& spec = args.spec;
    bool ok = true;
    if (arg == "--ascii") spec.format = recordgen::DatFormat::Ascii;
    else if (arg == "--binary") spec.format = recordgen::DatFormat::Binary;
    else if (arg == "--rev") ok = parseInteger(value(), spec.revision) && (spec.revision == 1991 || spec.revision == 1999);
    else if (arg == "--analog") ok = parseInteger(value(), spec.analog) && spec.analog >= 0;
    else if (arg == "--digital") ok = parseInteger(value(), spec.digital) && spec.digital >= 0;
    else if (arg == "--lf") ok = parseInteger(value(), spec.lf) && spec.lf > 0;
    else if (arg == "--rate") {
      rates.emplace_back();
      ok = parseRate(value(), rates.back());
    }
    else if (arg == "--amplitude") ok = parseNumber(value(), spec.amplitude);
    else if (arg == "--fault") ok = parseNumber(value(), spec.faultStart);
    else if (arg == "--no-fault") spec.faultStart = -1;
    else if (arg == "--gain") ok = parseNumber(value(), spec.faultGain) && spec.faultGain > 0;
    else if (arg == "--h3") ok = parseNumber(value(), spec.harmonic3);
    else if (arg == "--h5") ok = parseNumber(value(), spec.harmonic5);
    else if (arg == "--noise") ok = parseNumber(value(), spec.noise);
    else if (arg == "--offset") ok = parseNumber(value(), spec.offset);
    else if (arg == "--seed") ok = parseInteger(value(), spec.seed);
    else if (arg == "--chinese") spec.chineseNames = true;
    else if (arg == "--lf-endings") spec.crlf = false;
    else if (arg == "--station") spec.station = value();
    else if (arg == "--device") spec.device = value();
    else if (arg.starts_with("--")) return "unknown option " + std::string(arg);
    else args.positional.emplace_back(arg);
    if (!ok) return "bad value for " + std::string(arg);
  }
  if (rates.size() > 2) return "at most two rates";
  if (rates.size() == 2 && rates[1].endsamp < rates[0].endsamp) return "the second rate must end after the first";
  if (!rates.empty()) args.spec.rates = rates;
  if (args.spec.analog + args.spec.digital < 1) return "a record needs at least one channel";
  if (args.positional.size() != 2) return "expected FOLDER and NAME";
  return {};
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && (std::string_view(argv[1]) == "--help" || std::string_view(argv[1]) == "-h")) {
    std::fputs(kUsage.data(), stdout);
    return 0;
  }
  Arguments args;
  if (const std::string error = parseArguments(argc, argv, args); !error.empty()) {
    std::fprintf(stderr, "recordgen: %s\n%s", error.c_str(), kUsage.data());
    return 2;
  }
  try {
    const auto written = recordgen::WriteRecord(args.spec, args.positional[0], args.positional[1]);
    std::printf("%s\n%s\n", written.cfg.c_str(), written.dat.c_str());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "recordgen: %s\n", e.what());
    return 1;
  }
  return 0;
}
