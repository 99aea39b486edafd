// The faults of the test build: which system calls of the POSIX room fail, or wait, and how.
// Built into the test build's program only; the program's own has none of it.
#include "platform/posix/faults.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace quillet::posix {
namespace {

// Whether the fault `fault` ("CALL SUFFIX ERRNO") is one for `call` on `path` (nullptr: a call
// that names no path, which "-" and every other suffix match).
bool is_fault_for(std::string_view fault, std::string_view call, const char* path) {
  const std::size_t first = fault.find(' ');
  const std::size_t second = fault.find(' ', first + 1);
  if (first == std::string_view::npos || second == std::string_view::npos) return false;
  if (fault.substr(0, first) != call) return false;
  const std::string_view suffix = fault.substr(first + 1, second - first - 1);
  if (path != nullptr && !std::string_view(path).ends_with(suffix)) return false;
  errno = std::atoi(std::string(fault.substr(second + 1)).c_str());
  return true;
}

bool fails_on(std::string_view call, const char* path) {
  const char* const setting = std::getenv("QUILLET_FAIL");
  if (setting == nullptr) return false;
  std::string_view faults = setting;
  for (;;) {
    const std::size_t end = faults.find(';');
    if (is_fault_for(faults.substr(0, end), call, path)) return true;
    if (end == std::string_view::npos) return false;
    faults.remove_prefix(end + 1);
  }
}

// The path that `name` in the directory `directory` names, for its suffix to be matched.
std::string full_path(int directory, const char* name) {
  if (directory == AT_FDCWD || name[0] == '/') return name;
  std::array<char, 4096> link;
  const std::string proc = "/proc/self/fd/" + std::to_string(directory);
  const ssize_t n = ::readlink(proc.c_str(), link.data(), link.size());
  return (n > 0 ? std::string(link.data(), static_cast<std::size_t>(n)) : std::string()) + "/" +
         name;
}

}  // namespace

bool fails(std::string_view call, int directory, const char* name) {
  if (std::getenv("QUILLET_FAIL") == nullptr) return false;
  const std::string path = name != nullptr ? full_path(directory, name) : std::string();
  return fails_on(call, name != nullptr ? path.c_str() : nullptr);
}

bool sync_fails(int fd) {
  struct stat status {};
  const bool directory = ::fstat(fd, &status) == 0 && S_ISDIR(status.st_mode);
  return fails_on("fsync", directory ? "directory" : "file");
}

bool read_fails() {
  static std::atomic<int> calls = 0;
  int allowed = 0;
  int error = 0;
  const char* const setting = std::getenv("QUILLET_FAIL");
  if (setting == nullptr || std::sscanf(setting, "read %d %d", &allowed, &error) != 2 ||
      ++calls <= allowed) {
    return false;
  }
  errno = error;
  return true;
}

void pause_write() {
  static std::atomic<int> calls = 0;
  int allowed = 0;
  int seconds = 0;
  const char* const setting = std::getenv("QUILLET_PAUSE");
  if (setting != nullptr && std::sscanf(setting, "write %d %d", &allowed, &seconds) == 2 &&
      ++calls > allowed && seconds > 0) {
    ::sleep(static_cast<unsigned>(seconds));
  }
}

}  // namespace quillet::posix
