#include "common/inifile.h"

#include "common/paths.h"
#include "common/strings.h"

#include <fmt/format.h>

#include <system_error>

namespace common {
namespace fs = std::filesystem;
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// The name of a "[name]" line, or false when the line is no section header.
bool sectionName(std::string_view line, std::string_view& name) {
  const std::string_view text = TrimView(line);
  if (text.empty() || text.front() != '[') return false;
  const std::size_t close = text.find(']');
  if (close == std::string_view::npos) return false;
  name = TrimView(text.substr(1, close - 1));
  return true;
}

// Line breaks inside a value would cut the file apart.
std::string oneLine(std::string_view value) {
  std::string out(value);
  for (char& c : out)
    if (c == '\r' || c == '\n') c = ' ';
  return out;
}

}  // namespace

IniFile::IniFile(fs::path path) : path_(std::move(path)) {
  const std::optional<std::string> text = ReadWholeFile(path_);
  if (!text) {
    std::error_code ec;
    unreadable_ = fs::exists(path_, ec) || ec;  // present (or unknown) but not readable
    return;
  }
  std::string_view body = *text;
  byteOrderMark_ = body.starts_with(kByteOrderMark);
  if (byteOrderMark_) body.remove_prefix(kByteOrderMark.size());
  const std::size_t firstBreak = body.find_first_of("\r\n");
  if (firstBreak != std::string_view::npos) {
    const bool crlf = body[firstBreak] == '\r' && body.substr(firstBreak + 1).starts_with('\n');
    lineEnd_ = crlf ? "\r\n" : std::string(1, body[firstBreak]);
  }
  for (std::string_view line : SplitLines(body)) lines_.emplace_back(line);
}

bool IniFile::findSection(std::string_view section, std::size_t& first, std::size_t& last) const {
  std::string_view name;
  std::size_t i = 0;
  while (i < lines_.size() && !(sectionName(lines_[i], name) && SameText(name, TrimView(section)))) ++i;
  if (i == lines_.size()) return false;
  first = ++i;
  while (i < lines_.size() && !sectionName(lines_[i], name)) ++i;
  last = i;
  return true;
}

bool IniFile::findKey(std::size_t first, std::size_t last, std::string_view key, KeyLine& found) const {
  for (std::size_t i = first; i < last; ++i) {
    const std::string_view line = lines_[i];
    const std::size_t eq = line.find('=');
    if (eq == std::string_view::npos) continue;
    const std::string_view name = TrimView(line.substr(0, eq));
    if (!name.empty() && SameText(name, TrimView(key))) {
      found = {i, std::string(name)};
      return true;
    }
  }
  return false;
}

std::string IniFile::readString(std::string_view section, std::string_view key, std::string_view fallback) const {
  std::size_t first = 0, last = 0;
  KeyLine found{};
  if (!findSection(section, first, last) || !findKey(first, last, key, found)) return std::string(fallback);
  const std::string_view line = lines_[found.index];
  return Trim(line.substr(line.find('=') + 1));
}

std::int32_t IniFile::readInteger(std::string_view section, std::string_view key, std::int32_t fallback) const {
  return StrToIntDef(readString(section, key, ""), fallback);
}

void IniFile::writeString(std::string_view section, std::string_view key, std::string_view value) {
  const std::string keyText = oneLine(TrimView(key));
  const std::string valueText = oneLine(value);
  std::size_t first = 0, last = 0;
  if (!findSection(section, first, last)) {
    if (!lines_.empty() && !TrimView(lines_.back()).empty()) lines_.emplace_back();
    lines_.push_back(fmt::format("[{}]", oneLine(TrimView(section))));
    lines_.push_back(fmt::format("{}={}", keyText, valueText));
    return;
  }
  KeyLine found{};
  if (findKey(first, last, key, found)) {
    lines_[found.index] = fmt::format("{}={}", found.key, valueText);
    return;
  }
  // After the section's last non-blank line, so that blank lines before the next section stay there.
  std::size_t insertAt = last;
  while (insertAt > first && TrimView(lines_[insertAt - 1]).empty()) --insertAt;
  lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(insertAt), fmt::format("{}={}", keyText, valueText));
}

void IniFile::writeInteger(std::string_view section, std::string_view key, std::int32_t value) {
  writeString(section, key, fmt::format("{}", value));
}

bool IniFile::save() const {
  if (unreadable_) return false;
  std::string text(byteOrderMark_ ? kByteOrderMark : std::string_view());
  for (const std::string& line : lines_) {
    text += line;
    text += lineEnd_;
  }
  std::error_code ec;
  if (path_.has_parent_path()) fs::create_directories(path_.parent_path(), ec);
  return WriteFileAtomic(path_, text);
}

}  // namespace common
