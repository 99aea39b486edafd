// Preloaded into quillet by the shell tests to make one kind of call fail, so that every failure
// path can be reached, even by root. QUILLET_FAIL="CALL SUFFIX ERRNO" makes CALL (open, unlink,
// rename of its source, link to its new name, and their forms relative to a directory, which
// count as the plain ones; posix_spawn of its program) fail with ERRNO when its path ends in
// SUFFIX; flock, fchown, fchmod and pipe2 fail whatever the suffix, fsync on a path of "file" or
// "directory". Several such faults may be given, separated by ";". QUILLET_FAIL="read N ERRNO"
// lets N reads succeed and fails the rest. QUILLET_PAUSE="write N SECONDS" lets N writes go at
// once and holds every later one for SECONDS first, so that a test can look at a run caught half
// way.
#include <dlfcn.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

bool should_fail_one(std::string_view text, std::string_view call, const char* path) {
  const std::size_t first = text.find(' ');
  const std::size_t second = text.find(' ', first + 1);
  if (first == std::string_view::npos || second == std::string_view::npos) return false;
  if (text.substr(0, first) != call) return false;
  const std::string_view suffix = text.substr(first + 1, second - first - 1);
  if (path != nullptr) {
    const std::string_view name = path;
    if (name.size() < suffix.size() || name.substr(name.size() - suffix.size()) != suffix) {
      return false;
    }
  }
  errno = std::atoi(std::string(text.substr(second + 1)).c_str());
  return true;
}

bool should_fail(std::string_view call, const char* path) {
  const char* setting = std::getenv("QUILLET_FAIL");
  if (setting == nullptr) return false;
  std::string_view faults = setting;
  for (;;) {
    const std::size_t end = faults.find(';');
    if (should_fail_one(faults.substr(0, end), call, path)) return true;
    if (end == std::string_view::npos) return false;
    faults.remove_prefix(end + 1);
  }
}

// The path a call relative to the directory open as `directory` names, for matching suffixes.
std::string full_path(int directory, const char* name) {
  constexpr int CURRENT_DIRECTORY = -100;  // AT_FDCWD: <fcntl.h> would clash with flock below
  if (directory == CURRENT_DIRECTORY || (name != nullptr && name[0] == '/')) return name;
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

extern "C" int unlink(const char* path) {
  if (should_fail("unlink", path)) return -1;
  return next_definition<int(const char*)>("unlink")(path);
}

extern "C" int rename(const char* from, const char* to) {
  if (should_fail("rename", from)) return -1;
  return next_definition<int(const char*, const char*)>("rename")(from, to);
}

extern "C" ssize_t read(int fd, void* buffer, std::size_t size) {
  static int calls = 0;
  const char* setting = std::getenv("QUILLET_FAIL");
  int allowed = 0;
  int error = 0;
  if (setting != nullptr && std::sscanf(setting, "read %d %d", &allowed, &error) == 2 &&
      ++calls > allowed) {
    errno = error;
    return -1;
  }
  return next_definition<ssize_t(int, void*, std::size_t)>("read")(fd, buffer, size);
}

extern "C" ssize_t write(int fd, const void* buffer, std::size_t size) {
  static int calls = 0;
  const char* setting = std::getenv("QUILLET_PAUSE");
  int allowed = 0;
  unsigned seconds = 0;
  if (setting != nullptr && std::sscanf(setting, "write %d %u", &allowed, &seconds) == 2 &&
      ++calls > allowed) {
    ::sleep(seconds);
  }
  return next_definition<ssize_t(int, const void*, std::size_t)>("write")(fd, buffer, size);
}

// Both names, as the headers may send a call to either. The mode is read whatever the flags: a
// value that was not passed is read harmlessly and not used.
extern "C" int open(const char* path, int flags, ...) {
  va_list args;
  va_start(args, flags);
  const auto mode = static_cast<mode_t>(va_arg(args, unsigned));
  va_end(args);
  if (should_fail("open", path)) return -1;
  return next_definition<int(const char*, int, ...)>("open")(path, flags, mode);
}

extern "C" int open64(const char* path, int flags, ...) {
  va_list args;
  va_start(args, flags);
  const auto mode = static_cast<mode_t>(va_arg(args, unsigned));
  va_end(args);
  return open(path, flags, mode);
}

extern "C" int link(const char* from, const char* to) {
  if (should_fail("link", to)) return -1;
  return next_definition<int(const char*, const char*)>("link")(from, to);
}

extern "C" int fsync(int fd) {
  struct stat fd_stat {};
  const bool directory = ::fstat(fd, &fd_stat) == 0 && S_ISDIR(fd_stat.st_mode);
  if (should_fail("fsync", directory ? "directory" : "file")) return -1;
  return next_definition<int(int)>("fsync")(fd);
}

extern "C" int posix_spawn(pid_t* pid, const char* path, const posix_spawn_file_actions_t* actions,
                           const posix_spawnattr_t* attributes, char* const* argv,
                           char* const* environment) {
  if (should_fail("posix_spawn", path)) return errno;  // it returns the error, errno untouched
  return next_definition<int(pid_t*, const char*, const posix_spawn_file_actions_t*,
                             const posix_spawnattr_t*, char* const*, char* const*)>("posix_spawn")(
      pid, path, actions, attributes, argv, environment);
}

extern "C" int pipe2(int* ends, int flags) {
  if (should_fail("pipe2", nullptr)) return -1;
  return next_definition<int(int*, int)>("pipe2")(ends, flags);
}

extern "C" int flock(int fd, int operation) {
  if (should_fail("flock", nullptr)) return -1;
  return next_definition<int(int, int)>("flock")(fd, operation);
}

extern "C" int fchown(int fd, uid_t owner, gid_t group) {
  if (should_fail("fchown", nullptr)) return -1;
  return next_definition<int(int, uid_t, gid_t)>("fchown")(fd, owner, group);
}

extern "C" int fchmod(int fd, mode_t mode) {
  if (should_fail("fchmod", nullptr)) return -1;
  return next_definition<int(int, mode_t)>("fchmod")(fd, mode);
}

extern "C" int openat(int directory, const char* path, int flags, ...) {
  va_list args;
  va_start(args, flags);
  const auto mode = static_cast<mode_t>(va_arg(args, unsigned));
  va_end(args);
  if (should_fail("open", full_path(directory, path).c_str())) return -1;
  return next_definition<int(int, const char*, int, ...)>("openat")(directory, path, flags, mode);
}

extern "C" int openat64(int directory, const char* path, int flags, ...) {
  va_list args;
  va_start(args, flags);
  const auto mode = static_cast<mode_t>(va_arg(args, unsigned));
  va_end(args);
  return openat(directory, path, flags, mode);
}

extern "C" int unlinkat(int directory, const char* path, int flags) {
  if (should_fail("unlink", full_path(directory, path).c_str())) return -1;
  return next_definition<int(int, const char*, int)>("unlinkat")(directory, path, flags);
}

extern "C" int renameat(int from_directory, const char* from, int to_directory, const char* to) {
  if (should_fail("rename", full_path(from_directory, from).c_str())) return -1;
  return next_definition<int(int, const char*, int, const char*)>("renameat")(from_directory, from,
                                                                              to_directory, to);
}

extern "C" int linkat(int from_directory, const char* from, int to_directory, const char* to,
                      int flags) {
  if (should_fail("link", full_path(to_directory, to).c_str())) return -1;
  return next_definition<int(int, const char*, int, const char*, int)>("linkat")(
      from_directory, from, to_directory, to, flags);
}
