#include "stationdb/db/connectionstring.h"

#include <fmt/format.h>

#include "common/strings.h"
#include "stationdb/db/error.h"

namespace db {
namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

void skipBlanks(std::string_view text, std::size_t& i) {
  while (i < text.size() && isBlank(text[i])) ++i;
}

// Reads a keyword up to its "=" (a doubled "=" belongs to the keyword).
std::string readKeyword(std::string_view text, std::size_t& i) {
  std::string keyword;
  while (i < text.size()) {
    const char c = text[i];
    if (c == '=') {
      if (i + 1 < text.size() && text[i + 1] == '=') {
        keyword += '=';
        i += 2;
        continue;
      }
      ++i;
      return common::Trim(keyword);
    }
    if (c == ';') break;
    keyword += c;
    ++i;
  }
  throw Error(
      fmt::format("The connection string is not in keyword=value form: "
                  "'{}' has no value",
                  common::Trim(keyword)));
}

std::string readQuoted(std::string_view text, std::size_t& i) {
  const char quote = text[i++];
  std::string value;
  while (i < text.size()) {
    if (text[i] == quote) {
      if (i + 1 < text.size() && text[i + 1] == quote) {
        value += quote;
        i += 2;
        continue;
      }
      ++i;
      skipBlanks(text, i);
      if (i < text.size() && text[i] != ';')
        throw Error(
            "The connection string is not in keyword=value form: "
            "text after a quoted value");
      return value;
    }
    value += text[i++];
  }
  throw Error(
      "The connection string is not in keyword=value form: "
      "unterminated quoted value");
}

std::string readValue(std::string_view text, std::size_t& i) {
  skipBlanks(text, i);
  if (i < text.size() && (text[i] == '"' || text[i] == '\'')) return readQuoted(text, i);
  const std::size_t start = i;
  while (i < text.size() && text[i] != ';') ++i;
  return common::Trim(text.substr(start, i - start));
}

}  // namespace

ConnectionString ConnectionString::parse(std::string_view text) {
  ConnectionString result;
  std::size_t i = 0;
  while (i < text.size()) {
    skipBlanks(text, i);
    if (i < text.size() && text[i] == ';') {
      ++i;
      continue;
    }
    if (i >= text.size()) break;
    Pair pair;
    pair.keyword = readKeyword(text, i);
    pair.value = readValue(text, i);
    if (i < text.size() && text[i] == ';') ++i;
    result.pairs_.push_back(std::move(pair));
  }
  return result;
}

std::optional<std::string> ConnectionString::get(std::string_view keyword) const {
  const bool firstCounts = common::SameText(keyword, "Provider");
  std::optional<std::string> found;
  for (const auto& pair : pairs_) {
    if (!common::SameText(pair.keyword, keyword)) continue;
    found = pair.value;
    if (firstCounts) break;
  }
  return found;
}

std::optional<std::string> ConnectionString::getAny(std::span<const std::string_view> keywords) const {
  for (const auto keyword : keywords)
    if (auto value = get(keyword)) return value;
  return std::nullopt;
}

std::string QuoteConnectionValue(std::string_view value) {
  const auto trimmedAway = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
  // Outer blanks would be trimmed, a leading quote would open a quoted value
  // and a leading "=" would read as part of the keyword.
  const bool needsQuotes = value.find(';') != std::string_view::npos ||
                           (!value.empty() && (trimmedAway(value.front()) || trimmedAway(value.back()) ||
                                               value.front() == '"' || value.front() == '\'' || value.front() == '='));
  if (!needsQuotes) return std::string(value);
  const bool hasDouble = value.find('"') != std::string_view::npos;
  const bool hasSingle = value.find('\'') != std::string_view::npos;
  if (!hasDouble) return fmt::format("\"{}\"", value);
  if (!hasSingle) return fmt::format("'{}'", value);
  std::string doubled;
  for (const char c : value) {
    doubled += c;
    if (c == '"') doubled += '"';
  }
  return fmt::format("\"{}\"", doubled);
}

}  // namespace db
