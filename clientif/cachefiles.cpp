#include "clientif/cachefiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "common/paths.h"
#include "common/strings.h"

namespace velk {
namespace {

constexpr std::size_t kRegistryStringSize = 128;

// The most either file can hold that its reader looks at: bytes after these
// are never read.
constexpr std::size_t kMaxDeviceTypeFileBytes = kCacheHeadSize + 8 + 4 * 256 + 2 * kRegistryStringSize * kMaxFirstEntries +
                                                4 * kMaxDeviceTypes + 3 * kRegistryStringSize * kMaxDeviceTypes;
constexpr std::size_t kMaxDbConnFileBytes = kCacheHeadSize + 3 * (4 + kMaxConnText);

// The first bytes (at most limit) of a plain file. Anything else under the
// name (a FIFO, a device, a folder) fails at once instead of blocking or
// reading without end.
std::optional<std::string> ReadFileStart(const std::filesystem::path& file, std::size_t limit) {
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return std::nullopt;
  struct stat st {};
  std::optional<std::string> bytes;
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
    bytes.emplace();
    char buffer[65536];
    while (bytes && bytes->size() < limit) {
      const ssize_t n = ::read(fd, buffer, std::min(sizeof buffer, limit - bytes->size()));
      if (n == 0) break;
      if (n > 0) {
        bytes->append(buffer, static_cast<std::size_t>(n));
      } else if (errno != EINTR) {
        bytes.reset();
      }
    }
  }
  ::close(fd);
  return bytes;
}

// Reads the file's bytes in order; every read must get all it asks for.
class Reader {
 public:
  explicit Reader(std::string_view bytes) : bytes_(bytes) {}

  bool read(void* out, std::size_t length) {
    if (length > bytes_.size() - position_) return false;
    std::memcpy(out, bytes_.data() + position_, length);
    position_ += length;
    return true;
  }
  template <class T>
  bool read(T& value) {
    return read(&value, sizeof(T));
  }
  bool skip(std::size_t length) {
    if (length > bytes_.size() - position_) return false;
    position_ += length;
    return true;
  }
  std::string_view take(std::size_t length) {
    const std::string_view piece = bytes_.substr(position_, length);
    position_ += piece.size();
    return piece;
  }

 private:
  std::string_view bytes_;
  std::size_t position_ = 0;
};

struct Head {
  std::uint32_t magic = 0;
  std::uint32_t version = 0;
};

std::optional<Head> readHead(Reader& reader) {
  Head head;
  if (!reader.read(head.magic) || !reader.read(head.version) || !reader.skip(16)) return std::nullopt;
  if (head.magic != kCacheMagic || head.version < kCacheMinVersion) return std::nullopt;
  return head;
}

// A length-prefixed string; a length above 127 is taken as 127.
bool readRegistryString(Reader& reader, std::string& text) {
  char raw[kRegistryStringSize];
  if (!reader.read(raw, sizeof raw)) return false;
  std::size_t length = static_cast<std::uint8_t>(raw[0]);
  if (length > kRegistryStringSize - 1) length = kRegistryStringSize - 1;
  text = std::string(raw + 1, ::strnlen(raw + 1, length));
  return true;
}

}  // namespace

std::string DeviceTypeCache::typeText(std::int32_t id, int which) const {
  if (id < 0) return std::string();
  for (int k = 0; k < typeCount; ++k)
    if (typeIds[static_cast<std::size_t>(k)] == id) return typeTexts[static_cast<std::size_t>(k)][which];
  return std::string();
}

std::int32_t DeviceTypeCache::idOfName(std::string_view name) const {
  for (int k = 0; k < typeCount; ++k)
    if (common::SameText(typeTexts[static_cast<std::size_t>(k)][0], name)) return typeIds[static_cast<std::size_t>(k)];
  return 0;
}

bool ParseDeviceTypeCache(std::string_view bytes, DeviceTypeCache& cache) {
  cache.clear();
  Reader reader(bytes);
  if (!readHead(reader)) return false;
  std::int32_t n1 = 0;
  std::int32_t n2 = 0;
  if (!reader.read(n1) || !reader.read(n2)) return false;
  if (n1 < 0 || n1 > kMaxFirstEntries || n2 < 0 || n2 > kMaxDeviceTypes) return false;
  cache.firstCount = n1;
  cache.typeCount = n2;
  if (!reader.read(cache.firstIds.data(), sizeof cache.firstIds)) return false;
  for (int i = 0; i < n1; ++i) {
    auto& entry = cache.firstList[static_cast<std::size_t>(i)];
    if (!readRegistryString(reader, entry[0]) || !readRegistryString(reader, entry[1])) return false;
  }
  if (!reader.read(cache.typeIds.data(), sizeof cache.typeIds)) return false;
  for (int k = 0; k < n2; ++k) {
    for (std::string& text : cache.typeTexts[static_cast<std::size_t>(k)])
      if (!readRegistryString(reader, text)) return false;
  }
  return true;
}

bool LoadDeviceTypeCache(const std::filesystem::path& file, DeviceTypeCache& cache) {
  cache.clear();
  const auto bytes = ReadFileStart(file, kMaxDeviceTypeFileBytes);
  return bytes && ParseDeviceTypeCache(*bytes, cache);
}

std::uint8_t ScrambleKey(std::uint32_t magic, std::uint32_t version) {
  unsigned sum = 0;
  for (int shift = 0; shift < 32; shift += 8) sum += ((magic >> shift) & 0xFF) + ((version >> shift) & 0xFF);
  return static_cast<std::uint8_t>(sum & 0xFF);
}

std::string UnscrambleText(std::string_view stored, std::uint8_t key) {
  std::string out(stored);
  for (char& c : out) c = static_cast<char>(static_cast<std::uint8_t>(static_cast<std::uint8_t>(c) - 1) ^ key);
  return out;
}

std::string ScrambleText(std::string_view plain, std::uint8_t key) {
  std::string out(plain);
  for (char& c : out) c = static_cast<char>(static_cast<std::uint8_t>((static_cast<std::uint8_t>(c) ^ key) + 1));
  return out;
}

std::optional<TDBConnInfo> ParseDbConn(std::string_view bytes) {
  Reader reader(bytes);
  const auto head = readHead(reader);
  if (!head) return std::nullopt;
  const std::uint8_t key = ScrambleKey(head->magic, head->version);
  TDBConnInfo info;
  for (std::string* text : {&info.suffix, &info.main, &info.standby}) {
    std::int32_t length = 0;
    if (!reader.read(length) || length < 0 || static_cast<std::size_t>(length) > kMaxConnText) return std::nullopt;
    const std::string_view stored = reader.take(static_cast<std::size_t>(length));
    if (stored.size() != static_cast<std::size_t>(length)) return std::nullopt;
    const std::string plain = UnscrambleText(stored, key);
    *text = plain.substr(0, plain.find('\0'));
  }
  return info;
}

std::optional<TDBConnInfo> ReadDbConnFile(const std::filesystem::path& file) {
  // A file that exists but cannot be read fails as well: three empty texts
  // would pass for valid settings.
  const auto bytes = ReadFileStart(file, kMaxDbConnFileBytes);
  if (!bytes) return std::nullopt;
  return ParseDbConn(*bytes);
}

namespace {

void appendInt(std::string& out, std::uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<char>((value >> shift) & 0xFF));
}

}  // namespace

std::string MakeDbConnBytes(const TDBConnInfo& info, std::uint32_t version) {
  std::string out;
  appendInt(out, kCacheMagic);
  appendInt(out, version);
  out.append(16, '\0');
  const std::uint8_t key = ScrambleKey(kCacheMagic, version);
  for (const std::string* text : {&info.suffix, &info.main, &info.standby}) {
    std::string plain = *text;
    plain.push_back('\0');
    appendInt(out, static_cast<std::uint32_t>(plain.size()));
    out += ScrambleText(plain, key);
  }
  return out;
}

std::string MakeRegistryString(std::string_view text) {
  std::string out(kRegistryStringSize, '\0');
  const std::size_t length = text.size() < kRegistryStringSize - 1 ? text.size() : kRegistryStringSize - 1;
  out[0] = static_cast<char>(length);
  out.replace(1, length, text.substr(0, length));
  return out;
}

}  // namespace velk
