#pragma once
// An ini file with profile semantics: sections and
// keys compare case-insensitively, the first match wins, values are trimmed,
// and writing keeps every other line as it was. The file is UTF-8 text.

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace common {

class IniFile {
 public:
  // Reads the file; a missing or unreadable file gives an empty one.
  explicit IniFile(std::filesystem::path path);

  const std::filesystem::path& path() const { return path_; }

  std::string readString(std::string_view section, std::string_view key, std::string_view fallback) const;
  // StrToIntDef of the value: fallback when missing or not a number.
  std::int32_t readInteger(std::string_view section, std::string_view key, std::int32_t fallback) const;

  // Changes the first matching key in place, or adds it at the end of the
  // section, or adds the section at the end of the file.
  void writeString(std::string_view section, std::string_view key, std::string_view value);
  void writeInteger(std::string_view section, std::string_view key, std::int32_t value);

  // Writes the whole text atomically (temporary file, then rename), creating the
  // folder when it is missing; false when it fails. A file that existed but could
  // not be read is never overwritten (false).
  bool save() const;

 private:
  struct KeyLine {
    std::size_t index;
    std::string key;  // as spelled in the file
  };
  // The line range [first, last) of the first matching section's body, or false.
  bool findSection(std::string_view section, std::size_t& first, std::size_t& last) const;
  bool findKey(std::size_t first, std::size_t last, std::string_view key, KeyLine& found) const;

  std::filesystem::path path_;
  std::vector<std::string> lines_;
  std::string lineEnd_ = "\n";  // the file's own line ending is kept
  bool byteOrderMark_ = false;  // a UTF-8 mark at the start is skipped and kept
  bool unreadable_ = false;
};

}  // namespace common
