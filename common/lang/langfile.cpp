#include "common/lang/langfile.h"

#include "common/gbk.h"
#include "common/paths.h"
#include "common/strings.h"

namespace lang {

TSpecialMemIniFile::TSpecialMemIniFile(std::filesystem::path fileName)
    : TSpecialCustomIniFile(std::move(fileName)) {
  LoadValues();
}

void TSpecialMemIniFile::LoadValues() {
  sections_.clear();
  if (FileName().empty()) return;
  if (const auto bytes = common::ReadWholeFile(FileName())) setText(*bytes);
}

void TSpecialMemIniFile::setText(std::string_view gbkBytes) {
  const std::string text = common::GbkToUtf8(gbkBytes);
  SetStrings(common::SplitLines(text));
}

void TSpecialMemIniFile::SetStrings(const std::vector<std::string_view>& lines) {
  sections_.clear();
  Section* current = nullptr;
  for (const std::string_view line : lines) {
    if (line.empty() || line.front() == ';') continue;
    if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
      sections_.push_back({std::string(line.substr(1, line.size() - 2)), {}});
      current = &sections_.back();
    } else if (current != nullptr) {
      current->lines.emplace_back(line);
    }
  }
}

const TSpecialMemIniFile::Section* TSpecialMemIniFile::findSection(std::string_view name) const {
  for (const Section& section : sections_)
    if (common::SameText(section.name, name)) return &section;
  return nullptr;
}

std::string TSpecialMemIniFile::ReadString(std::string_view section, std::string_view ident,
                                           std::string_view fallback) const {
  const Section* found = findSection(section);
  if (found == nullptr) return std::string(fallback);
  for (const std::string& line : found->lines) {
    const std::size_t equals = line.find('=');
    if (equals != std::string::npos && common::SameText(std::string_view(line).substr(0, equals), ident))
      return line.substr(equals + 1);
  }
  return std::string(fallback);
}

void TSpecialMemIniFile::ReadSectionValues(std::string_view section, std::vector<std::string>& strings) const {
  strings.clear();
  if (const Section* found = findSection(section)) strings = found->lines;
}

std::vector<std::string> SplitString(std::string_view text, std::string_view separator) {
  std::vector<std::string> items;
  if (!separator.empty()) {
    for (std::size_t at = text.find(separator); at != std::string_view::npos; at = text.find(separator)) {
      items.emplace_back(text.substr(0, at));
      text.remove_prefix(at + separator.size());
    }
  }
  items.emplace_back(text);
  return items;
}

std::vector<std::string> SplitAtSeparator(std::string_view text, std::string_view separator) {
  const std::size_t at = separator.empty() ? std::string_view::npos : text.find(separator);
  if (at == std::string_view::npos) return {std::string(text)};
  return {std::string(text.substr(at + separator.size())), std::string(text.substr(0, at))};
}

}  // namespace lang
