// The system calls of the POSIX room that the tests make fail: built plain into the program, and
// with the faults that QUILLET_FAIL chooses into the test build's (see faults.h).
#include "platform/posix/system.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/posix/faults.h"

namespace quillet::posix {

int open(const char* path, int flags, mode_t mode) {
  if (fails("open", AT_FDCWD, path)) return -1;
  return ::open(path, flags, mode);
}

int open_at(int directory, const char* name, int flags, mode_t mode) {
  if (fails("open", directory, name)) return -1;
  return ::openat(directory, name, flags, mode);
}

ssize_t read(int fd, void* into, std::size_t size) {
  if (read_fails()) return -1;
  return ::read(fd, into, size);
}

ssize_t write(int fd, const void* bytes, std::size_t size) {
  pause_write();
  return ::write(fd, bytes, size);
}

int unlink_at(int directory, const char* name) {
  if (fails("unlink", directory, name)) return -1;
  return ::unlinkat(directory, name, 0);
}

int rename_at(int directory, const char* from, const char* to) {
  if (fails("rename", directory, from)) return -1;
  return ::renameat(directory, from, directory, to);
}

int link_at(int directory, const char* from, const char* to) {
  if (fails("link", directory, to)) return -1;
  return ::linkat(directory, from, directory, to, 0);
}

int fsync(int fd) {
  if (sync_fails(fd)) return -1;
  return ::fsync(fd);
}

int flock(int fd, int operation) {
  if (fails("flock", AT_FDCWD, nullptr)) return -1;
  return ::flock(fd, operation);
}

int fchown(int fd, uid_t owner, gid_t group) {
  if (fails("fchown", AT_FDCWD, nullptr)) return -1;
  return ::fchown(fd, owner, group);
}

int fchmod(int fd, mode_t mode) {
  if (fails("fchmod", AT_FDCWD, nullptr)) return -1;
  return ::fchmod(fd, mode);
}

int pipe(std::array<int, 2>& ends) {
  if (fails("pipe", AT_FDCWD, nullptr)) return -1;
  return ::pipe(ends.data());
}

int spawn(pid_t& pid, const char* program, bool search, const posix_spawn_file_actions_t* actions,
          const posix_spawnattr_t* attributes, char* const* argv, char* const* environment) {
  if (fails("posix_spawn", AT_FDCWD, program)) return errno;
  return search ? ::posix_spawnp(&pid, program, actions, attributes, argv, environment)
                : ::posix_spawn(&pid, program, actions, attributes, argv, environment);
}

pid_t fork(const char* program) {
  if (fails("posix_spawn", AT_FDCWD, program)) return -1;
  return ::fork();
}

}  // namespace quillet::posix
