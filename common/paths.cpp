#include "common/paths.h"

#include "common/strings.h"

#include <fmt/format.h>

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

namespace common {
namespace fs = std::filesystem;
namespace {

class UniqueFd {
 public:
  explicit UniqueFd(int fd) : fd_(fd) {}
  ~UniqueFd() { reset(); }
  UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  UniqueFd& operator=(UniqueFd&&) = delete;
  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  int release() { return std::exchange(fd_, -1); }
  // Closes now; false when close reports an error (a delayed write failure).
  bool reset() {
    if (fd_ < 0) return true;
    const int rc = ::close(fd_);
    fd_ = -1;
    return rc == 0;
  }

 private:
  int fd_;
};

std::string environment(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? std::string(value) : std::string();
}

fs::path homeFolder() {
  const std::string home = environment("HOME");
  if (!home.empty()) return home;
  std::vector<char> buffer(16384);
  passwd entry{};
  passwd* result = nullptr;
  if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &result) == 0 && result != nullptr &&
      result->pw_dir != nullptr)
    return result->pw_dir;
  return "/";
}

// An XDG base folder: the variable when it holds an absolute path, else the fallback under home.
fs::path xdgFolder(const char* variable, const char* homeRelative) {
  const fs::path value = environment(variable);
  if (!value.empty() && value.is_absolute()) return value;
  return homeFolder() / homeRelative;
}

bool writeAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

// Makes a rename durable; a failure here changes nothing the caller could act on.
void syncFolder(const fs::path& folder) {
  const UniqueFd fd(::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (fd.valid()) ::fsync(fd.get());
}

// Creates a new file beside target with a name nobody else uses.
UniqueFd createTemporary(const fs::path& target, mode_t mode, fs::path& tempPath) {
  static std::atomic<unsigned> counter{0};
  for (int attempt = 0; attempt < 100; ++attempt) {
    tempPath = target;
    tempPath += fmt::format(".{}.{}.tmp", getpid(), counter++);
    UniqueFd fd(::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode));
    if (fd.valid() || errno != EEXIST) return fd;
  }
  return UniqueFd(-1);
}

}  // namespace

fs::path ProgramFolder() {
  std::error_code ec;
  const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  return ec ? fs::current_path(ec) : exe.parent_path();
}

std::string ProgramName() {
  std::error_code ec;
  return fs::read_symlink("/proc/self/exe", ec).filename().string();
}

fs::path SettingsFolder() {
  const std::string own = environment("QUENLOR_SETTINGS_DIR");
  if (!own.empty()) return own;
  return xdgFolder("XDG_CONFIG_HOME", ".config") / "quenlor";
}

fs::path RecordCacheFolder() { return xdgFolder("XDG_CACHE_HOME", ".cache") / "quenlor" / "CfgCache"; }

AtomicFileWriter::AtomicFileWriter(const fs::path& path, std::optional<fs::perms> mode) {
  std::error_code ec;
  // Through a link, the file it points at is replaced, not the link.
  target_ = fs::is_symlink(path, ec) ? fs::weakly_canonical(path, ec) : path;
  if (ec) target_ = path;
  // Without a mode the new file keeps the permissions of the old one.
  perms_ = mode;
  if (!perms_) {
    const fs::file_status status = fs::status(target_, ec);
    if (!ec && fs::is_regular_file(status)) perms_ = status.permissions();
  }
  const auto createMode = static_cast<mode_t>(perms_ ? (*perms_ & fs::perms::mask) : fs::perms(0666));
  fd_ = createTemporary(target_, createMode, temp_).release();
}

AtomicFileWriter::~AtomicFileWriter() { discard(); }

void AtomicFileWriter::discard() {
  if (fd_ < 0) return;
  ::close(fd_);
  fd_ = -1;
  ::unlink(temp_.c_str());
}

bool AtomicFileWriter::write(std::string_view bytes) {
  if (fd_ < 0) return false;
  if (writeAll(fd_, bytes)) return true;
  discard();
  return false;
}

bool AtomicFileWriter::commit() {
  if (fd_ < 0) return false;
  bool done = !perms_ || ::fchmod(fd_, static_cast<mode_t>(*perms_ & fs::perms::mask)) == 0;
  if (done) done = ::fsync(fd_) == 0;
  done = ::close(std::exchange(fd_, -1)) == 0 && done;
  if (done) done = ::rename(temp_.c_str(), target_.c_str()) == 0;
  if (!done) {
    ::unlink(temp_.c_str());
    return false;
  }
  syncFolder(target_.parent_path());
  return true;
}

bool WriteFileAtomic(const fs::path& path, std::string_view bytes, std::optional<fs::perms> mode) {
  AtomicFileWriter writer(path, mode);
  return writer.write(bytes) && writer.commit();
}

std::optional<std::string> ReadWholeFile(const fs::path& path) {
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd.valid()) return std::nullopt;
  std::string bytes;
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      return std::nullopt;  // a folder too (EISDIR)
    }
    if (n == 0) return bytes;
    bytes.append(buffer, static_cast<std::size_t>(n));
  }
}

std::optional<fs::path> FindFileCaseInsensitive(const fs::path& path) {
  std::error_code ec;
  if (fs::exists(path, ec)) return path;
  const fs::path folder = path.parent_path();
  const std::string wanted = path.filename().string();
  if (wanted.empty()) return std::nullopt;
  std::vector<std::string> matches;
  fs::directory_iterator it(folder.empty() ? fs::path(".") : folder, ec);
  for (const fs::directory_iterator end; !ec && it != end; it.increment(ec)) {
    std::string name = it->path().filename().string();
    if (SameText(name, wanted)) matches.push_back(std::move(name));
  }
  if (matches.empty()) return std::nullopt;
  return folder / *std::min_element(matches.begin(), matches.end());
}

}  // namespace common
