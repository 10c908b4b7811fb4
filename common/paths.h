#pragma once
// Where the programs keep their files.

#include <filesystem>
#include <optional>
#include <string_view>

namespace common {

// The folder of the running program (/proc/self/exe).
std::filesystem::path ProgramFolder();
// The running program's file name without folder.
std::string ProgramName();

// The program-wide settings files (zavoviv.ini, contp.dat):
// $QUENLOR_SETTINGS_DIR, else $XDG_CONFIG_HOME/quenlor, else ~/.config/quenlor.
// Not created here.
std::filesystem::path SettingsFolder();

// Record files written from the database: $XDG_CACHE_HOME/quenlor/CfgCache,
// else ~/.cache/quenlor/CfgCache. Not created here.
std::filesystem::path RecordCacheFolder();

// Writes a file piece by piece into a temporary file in the same folder and
// renames it over path only when commit succeeds; until then (and after any
// failure) the old file stays as it was and the temporary file goes when the
// writer does. With a mode, the file gets those permissions, else those of
// the file it replaces.
class AtomicFileWriter {
 public:
  explicit AtomicFileWriter(const std::filesystem::path& path,
                            std::optional<std::filesystem::perms> mode = std::nullopt);
  ~AtomicFileWriter();
  AtomicFileWriter(const AtomicFileWriter&) = delete;
  AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

  // False once anything failed (the temporary file could not be made, a write failed).
  bool ok() const { return fd_ >= 0; }
  bool write(std::string_view bytes);
  // Makes the file durable and puts it in place; false on any failure.
  bool commit();

 private:
  void discard();

  std::filesystem::path target_;
  std::filesystem::path temp_;
  std::optional<std::filesystem::perms> perms_;
  int fd_ = -1;
};

// Writes bytes to a temporary file in the same folder, then renames it over
// path. With a mode, the file gets those permissions. False on any failure;
// the old file is then left as it was.
bool WriteFileAtomic(const std::filesystem::path& path, std::string_view bytes,
                     std::optional<std::filesystem::perms> mode = std::nullopt);

// Reads a whole file; empty when it cannot be read.
std::optional<std::string> ReadWholeFile(const std::filesystem::path& path);

// The file itself when it exists, else a file of the same folder whose name
// matches case-insensitively (the first in name order), else empty.
std::optional<std::filesystem::path> FindFileCaseInsensitive(const std::filesystem::path& path);

}  // namespace common
