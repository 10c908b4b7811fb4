// Feeds outside text to every parser of the library and checks what must always hold.
#include "common/datetime.h"
#include "common/gbk.h"
#include "common/inifile.h"
#include "common/paths.h"
#include "common/safeformat.h"
#include "common/strings.h"

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

// A scratch file, removed when the fuzzer ends.
struct ScratchFile {
  ScratchFile() {
    // Memory-backed when it can be: every save syncs the file.
    const std::filesystem::path folder =
        std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : std::filesystem::temp_directory_path();
    path = folder / ("common_fuzzer." + std::to_string(getpid()) + ".ini");
  }
  ~ScratchFile() {
    std::error_code ec;
    std::filesystem::remove(path, ec);
  }
  std::filesystem::path path;
};

const std::filesystem::path& iniPath() {
  static const ScratchFile scratch;
  return scratch.path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  const std::string utf8 = common::GbkToUtf8(text);
  check(common::IsValidUtf8(utf8));
  check(common::IsValidUtf8(common::DecodeUtf8OrGbk(text)));
  check(common::GbkToUtf8(common::Utf8ToGbk(utf8)).size() <= utf8.size() * 2 + 3);

  std::int32_t i = 0;
  double d = 0;
  if (common::TryStrToInt(text, i)) check(common::StrToIntDef(text, i + 1) == i);
  if (common::TryStrToFloat(text, d)) check(d == d);

  for (const auto order : {common::DateOrder::DayMonthYear, common::DateOrder::MonthDayYear}) {
    if (const auto value = common::ParseDateTime(text, order, 2025)) {
      const std::string formatted = common::FormatDateTime("yyyy/mm/dd hh:nn:ss.zzz", *value);
      check(formatted.size() == 23);
    }
  }
  (void)common::FormatDateTime(text, 45000.123);
  (void)common::SafeFormat(text, {"a", "b"});
  (void)common::SplitLines(text);

  if (common::WriteFileAtomic(iniPath(), text)) {
    common::IniFile ini(iniPath());
    (void)ini.readString("COLOR", "Color_1", "");
    ini.writeString("COLOR", "Color_1", "1");
    ini.writeString("New", "Path", "x");
    check(ini.readString("color", "color_1", "") == "1");
  }
  return 0;
}
