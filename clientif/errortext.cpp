#include "clientif/errortext.h"

#include <fmt/format.h>

#include "common/safeformat.h"

namespace velk {

std::string ClientExitText(const lang::MultiLangEngine& engine, std::int32_t exitCode) {
  if (exitCode == -1) return "WIN SOCKT VERSION ERROR";
  if (exitCode >= -4 && exitCode <= -2) return lang::vlogText(engine, 3 + (-2 - exitCode));
  if (exitCode >= -110 && exitCode <= -100) return lang::vlogText(engine, 6 + (-100 - exitCode));
  return fmt::format("ERROR CODE:{}", exitCode);
}

std::string InitErrorText(const lang::MultiLangEngine& engine, std::int32_t code) {
  if (code > 0) return std::string();
  if (code >= -12) return lang::vlogText(engine, 17 - code);
  if (code <= -1000 && code >= -2000) {
    // The language text is a format; only its first placeholder is filled.
    return common::SafeFormat(lang::vlogText(engine, 30), {ClientExitText(engine, code + 1000)});
  }
  return lang::vlogText(engine, 31) + fmt::format("{}", -static_cast<std::int64_t>(code));
}

}  // namespace velk
