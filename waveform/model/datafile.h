#pragma once
// Access to a record's data file (.dat) without loading it whole, and the rule
// that finds the data file beside a .cfg.

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace wave {

// The data file name of a .cfg: its path without the last 3 characters + "dat".
std::string DatPartnerPath(std::string_view cfgPath);

// That file when it exists, else a file of the same folder whose name matches it
// case-insensitively; empty when there is none. A folder is no data file.
std::optional<std::filesystem::path> FindDatPartner(std::string_view cfgPath);

class DataFileReader {
 public:
  virtual ~DataFileReader() = default;
  // The size in bytes; empty when the file cannot be opened.
  virtual std::optional<std::uint64_t> size() = 0;
  // Reads up to out.size() bytes from offset; returns the count read (fewer at
  // the end of the data, 0 past it or when the file cannot be read).
  virtual std::size_t read(std::uint64_t offset, std::span<char> out) = 0;
  // The file's path, for messages; empty for data that is no file.
  virtual std::filesystem::path path() const { return {}; }
};

// A file on disk, opened read-only at first use.
class FileDataReader final : public DataFileReader {
 public:
  explicit FileDataReader(std::filesystem::path path) : path_(std::move(path)) {}
  std::optional<std::uint64_t> size() override;
  std::size_t read(std::uint64_t offset, std::span<char> out) override;
  std::filesystem::path path() const override { return path_; }

 private:
  bool open();

  std::filesystem::path path_;
  std::ifstream stream_;
  std::optional<std::uint64_t> size_;
  bool tried_ = false;
};

// Bytes held by the caller (tests, fuzzing).
class MemoryDataReader final : public DataFileReader {
 public:
  explicit MemoryDataReader(std::string_view bytes) : bytes_(bytes) {}
  std::optional<std::uint64_t> size() override { return bytes_.size(); }
  std::size_t read(std::uint64_t offset, std::span<char> out) override;

 private:
  std::string_view bytes_;
};

}  // namespace wave
