#pragma once
// What the benchmarks share: this process's memory figures, a fresh folder for
// the records they write, and the W5 workload (bench/README.md names them).

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "tools/recordgen/record_writer.h"

namespace bench {

// A field of /proc/self/status in KiB ("VmHWM:", "VmRSS:"), 0 when absent.
inline std::uint64_t StatusKib(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind(field, 0) == 0) return std::stoull(line.substr(std::string(field).size()));
  return 0;
}

// Starts a new peak of the resident set (Linux: VmHWM := VmRSS).
inline void ResetPeakMemory() { std::ofstream("/proc/self/clear_refs") << "5"; }

inline double Mib(std::uint64_t kib) { return static_cast<double>(kib) / 1024; }

// A new folder below the system's temporary folder: prefix and a random tail.
inline std::filesystem::path NewTempFolder(const std::string& prefix) {
  std::random_device seed;
  const auto folder = std::filesystem::temp_directory_path() / (prefix + "_" + std::to_string(seed()));
  std::filesystem::create_directories(folder);
  return folder;
}

// W5: recordgen --analog 64 --digital 32 --rate 20000:1200000 (168 MB of BINARY).
inline recordgen::RecordSpec W5Spec() {
  recordgen::RecordSpec spec;
  spec.analog = 64;
  spec.digital = 32;
  spec.rates = {{20000, 1200000}};
  spec.seed = 42;
  return spec;
}

}  // namespace bench
