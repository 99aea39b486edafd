// What the process runs with: its POSIX forms.
#include "platform/process.h"

#include <sys/resource.h>
#include <unistd.h>

#include <ctime>

namespace quillet {

std::vector<std::string> program_arguments(int argc, char** argv) {
  // The words are the bytes the process was given, as its names are spelled.
  return std::vector<std::string>(argv, argv + argc);
}

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

std::tm local_time(const Time& time) {
  std::tm local{};
  const auto seconds = static_cast<std::time_t>(time.seconds);
  ::localtime_r(&seconds, &local);
  return local;
}

Time current_time() {
  std::timespec now{};
  std::timespec_get(&now, TIME_UTC);
  return {static_cast<std::int64_t>(now.tv_sec), static_cast<std::int32_t>(now.tv_nsec)};
}

}  // namespace quillet
