// What the process runs with: its POSIX forms.
#include "platform/process.h"

#include <sys/resource.h>
#include <unistd.h>

namespace quillet {

std::size_t processors_online() {
  const long online = ::sysconf(_SC_NPROCESSORS_ONLN);
  return online < 1 ? 1 : static_cast<std::size_t>(online);
}

std::optional<std::size_t> open_file_limit() {
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) {
    return std::nullopt;
  }
  return static_cast<std::size_t>(limit.rlim_cur);
}

std::tm local_time(const std::timespec& time) {
  std::tm local{};
  ::localtime_r(&time.tv_sec, &local);
  return local;
}

}  // namespace quillet
