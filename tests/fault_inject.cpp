// Preloaded into quillet by tree_test.sh to fail the opens that the run of one file still makes by
// itself, outside the platform room, whose own calls fail in the tests' build (quillet_faults).
// QUILLET_FAIL="open SUFFIX ERRNO" makes open and openat fail with ERRNO when the path they open
// ends in SUFFIX, as the platform room's faults read it. Goes once that run opens through the room.
#include <dlfcn.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstddef>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

bool should_fail(const char* path) {
  const char* setting = std::getenv("QUILLET_FAIL");
  if (setting == nullptr) return false;
  const std::string_view text = setting;
  const std::size_t first = text.find(' ');
  const std::size_t second = text.find(' ', first + 1);
  if (first == std::string_view::npos || second == std::string_view::npos) return false;
  if (text.substr(0, first) != "open") return false;
  if (!std::string_view(path).ends_with(text.substr(first + 1, second - first - 1))) return false;
  errno = std::atoi(std::string(text.substr(second + 1)).c_str());
  return true;
}

// The path a call relative to the directory open as `directory` names, for matching suffixes.
std::string full_path(int directory, const char* name) {
  constexpr int CURRENT_DIRECTORY = -100;  // AT_FDCWD: <fcntl.h> would clash with open below
  if (directory == CURRENT_DIRECTORY || name[0] == '/') return name;
  char link[4096];
  const std::string proc = "/proc/self/fd/" + std::to_string(directory);
  const ssize_t n = ::readlink(proc.c_str(), link, sizeof link);
  return (n > 0 ? std::string(link, static_cast<std::size_t>(n)) : std::string()) + "/" + name;
}

template <typename Function>
Function* next_definition(const char* name) {
  return reinterpret_cast<Function*>(::dlsym(RTLD_NEXT, name));
}

}  // namespace

// Both names of each, as the headers may send a call to either. The mode is read whatever the
// flags: a value that was not passed is read harmlessly and not used.
extern "C" int open(const char* path, int flags, ...) {
  va_list args;
  va_start(args, flags);
  const auto mode = static_cast<mode_t>(va_arg(args, unsigned));
  va_end(args);
  if (should_fail(path)) return -1;
  return next_definition<int(const char*, int, ...)>("open")(path, flags, mode);
}

extern "C" int open64(const char* path, int flags, ...) {
  va_list args;
  va_start(args, flags);
  const auto mode = static_cast<mode_t>(va_arg(args, unsigned));
  va_end(args);
  return open(path, flags, mode);
}

extern "C" int openat(int directory, const char* path, int flags, ...) {
  va_list args;
  va_start(args, flags);
  const auto mode = static_cast<mode_t>(va_arg(args, unsigned));
  va_end(args);
  if (should_fail(full_path(directory, path).c_str())) return -1;
  return next_definition<int(int, const char*, int, ...)>("openat")(directory, path, flags, mode);
}

extern "C" int openat64(int directory, const char* path, int flags, ...) {
  va_list args;
  va_start(args, flags);
  const auto mode = static_cast<mode_t>(va_arg(args, unsigned));
  va_end(args);
  return openat(directory, path, flags, mode);
}
