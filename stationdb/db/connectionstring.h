#pragma once
// Connection strings in the ADO (OLE DB) grammar: "keyword=value" pairs
// separated by ";". Keywords are case-insensitive and trimmed; "==" inside a
// keyword stands for "=". A value is trimmed unless it is quoted with " or '
// (the other quote may stand inside; the same quote doubled stands for one).
// When a keyword occurs more than once the last one counts, except Provider,
// where the first one counts.

#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace db {

class ConnectionString {
 public:
  struct Pair {
    std::string keyword;
    std::string value;
  };

  ConnectionString() = default;
  // Raises db::Error for a pair without "=" or an unterminated quote.
  static ConnectionString parse(std::string_view text);

  // The value that counts for keyword (case-insensitive), empty when absent.
  std::optional<std::string> get(std::string_view keyword) const;
  // The first of several synonyms that is present ("Data Source", "Server", ...).
  std::optional<std::string> getAny(std::span<const std::string_view> keywords) const;
  std::optional<std::string> getAny(std::initializer_list<std::string_view> keywords) const {
    return getAny(std::span<const std::string_view>(keywords.begin(), keywords.size()));
  }
  std::string provider() const { return get("Provider").value_or(std::string()); }

  // Every pair as written, in order (duplicates included).
  const std::vector<Pair>& pairs() const { return pairs_; }

 private:
  std::vector<Pair> pairs_;
};

// A value written so that it reads back unchanged: as it is when that is
// safe, else in double quotes (single quotes when it holds a double quote;
// with both, double quotes with the double quotes doubled).
std::string QuoteConnectionValue(std::string_view value);

}  // namespace db
