// Parses arbitrary bytes as a language file and reads every section back.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "common/lang/engine.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  lang::TSpecialMemIniFile file({});
  file.setText(std::string_view(reinterpret_cast<const char*>(data), size));
  std::vector<std::string> lines;
  for (const auto& section : file.Sections()) {
    file.ReadSectionValues(section.name, lines);
    for (const auto& operation : lang::interpretFormSection(lines)) {
      (void)lang::SplitString(operation.value, "||");
      (void)lang::mapPropertyKey(lang::LangVariant::Velklog2, operation.key);
    }
    for (const auto& line : lines) (void)file.ReadString(section.name, line.substr(0, line.find('=')), "");
  }
  return 0;
}
