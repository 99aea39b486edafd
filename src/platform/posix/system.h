// The system calls of the POSIX room that the tests make fail: built plain into the program, and
// with the faults that QUILLET_FAIL chooses into the test build's (see faults.h).
#pragma once

#include <spawn.h>
#include <sys/types.h>

#include <array>
#include <cstddef>

namespace quillet::posix {

// Each is the call of the same name, with its result and errno, unless a fault is chosen for it.
// Calls relative to a directory take the same one for both names.

[[nodiscard]] int open(const char* path, int flags, mode_t mode = 0);
[[nodiscard]] int open_at(int directory, const char* name, int flags, mode_t mode = 0);
[[nodiscard]] ssize_t read(int fd, void* into, std::size_t size);
[[nodiscard]] ssize_t write(int fd, const void* bytes, std::size_t size);
[[nodiscard]] int unlink_at(int directory, const char* name);
[[nodiscard]] int rename_at(int directory, const char* from, const char* to);
[[nodiscard]] int link_at(int directory, const char* from, const char* to);
[[nodiscard]] int fsync(int fd);
[[nodiscard]] int flock(int fd, int operation);
[[nodiscard]] int fchown(int fd, uid_t owner, gid_t group);
[[nodiscard]] int fchmod(int fd, mode_t mode);
[[nodiscard]] int pipe(std::array<int, 2>& ends);
/// posix_spawnp with `search`, posix_spawn without: returns the error, errno untouched.
[[nodiscard]] int spawn(pid_t& pid, const char* program, bool search,
                        const posix_spawn_file_actions_t* actions,
                        const posix_spawnattr_t* attributes, char* const* argv,
                        char* const* environment);
/// fork, failing as spawn does for `program` when a fault is chosen for posix_spawn.
[[nodiscard]] pid_t fork(const char* program);

}  // namespace quillet::posix
