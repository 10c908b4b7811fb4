#include "commtool/core/descriptors.h"

#include <dirent.h>
#include <sys/resource.h>

#include <cerrno>
#include <climits>

namespace tavrix {

long DescriptorLimit() {
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur > INT_MAX)
    return -1;
  return static_cast<long>(limit.rlim_cur);
}

int FreeDescriptors() {
  const long limit = DescriptorLimit();
  if (limit < 0) return INT_MAX;
  DIR* open = ::opendir("/proc/self/fd");
  if (!open) return errno == EMFILE || errno == ENFILE ? 0 : INT_MAX;
  long count = -1;  // the directory's own descriptor
  while (const dirent* entry = ::readdir(open))
    if (entry->d_name[0] != '.') ++count;
  ::closedir(open);
  return count >= limit ? 0 : static_cast<int>(limit - count);
}

bool RoomForConnection() { return FreeDescriptors() >= kDescriptorReserve + kDescriptorsPerConnection; }

}  // namespace tavrix
