// The lists an interrupted process cleans up by: the children's process groups and the temporary
// files, each kept under a lock of its own that a signal takes for good.
#pragma once

#include <sys/types.h>

#include <functional>

namespace quillet::posix {

/// Starts a child process through `spawn`, which starts it as the leader of a process group of
/// its own and returns 0 with its id in `pid`, or returns an error number. No other child starts
/// meanwhile, and the group is kept on the list a signal kills: none misses it. Returns what
/// `spawn` returns.
[[nodiscard]] int start_child(const std::function<int(pid_t&)>& spawn, pid_t& pid);

/// Waits for the child `pid` that start_child started to end, and reaps it, taking its group off
/// the list before its id can be given to another process. Returns its wait status.
[[nodiscard]] int wait_for_child(pid_t pid);

/// Creates the temporary file `name` in the directory open as `directory`, as
/// create_temporary_in does, and keeps it on the list a signal removes. Returns its descriptor,
/// or -1 with errno set.
[[nodiscard]] int create_listed_temporary(int directory, const char* name);

/// Renames the temporary file `name` over `target`, both in `directory`, and takes it off the
/// list. Returns 0, or the error number.
[[nodiscard]] int rename_listed_temporary(int directory, const char* name, const char* target);

/// Takes the temporary file `name` off the list, removing it first with `remove`.
void forget_listed_temporary(int directory, const char* name, bool remove);

}  // namespace quillet::posix
