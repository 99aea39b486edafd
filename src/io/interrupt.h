#pragma once

#include <sys/types.h>

#include <functional>

namespace quillet {

/// From now on SIGINT, SIGTERM and SIGHUP (each unless it was ignored when the process started)
/// end the process only after the children started through start_child are killed and the
/// temporary files made through create_temporary_file are removed; then it ends by the signal,
/// as it would have. Call before any other thread starts: the signals are waited for by a thread
/// of their own; when none can start, they end the process at once, as they would have.
void clean_up_on_signal();

/// Starts a child process through `spawn`, which starts it as the leader of a process group of
/// its own and returns 0 with its id in `pid`, or returns an error number. The group is kept on
/// the list a signal kills; no signal is taken meanwhile, so none misses it. Returns what `spawn`
/// returns.
[[nodiscard]] int start_child(const std::function<int(pid_t&)>& spawn, pid_t& pid);

/// Waits for the child `pid` that start_child started to end, and reaps it, taking its group off
/// the list before its id can be given to another process. Returns its wait status.
[[nodiscard]] int wait_for_child(pid_t pid);

/// Creates the temporary file `name` in `directory` afresh, readable and writable by its owner
/// only, never through a link, and keeps it on the list a signal removes. Returns its descriptor,
/// or -1 with errno set.
[[nodiscard]] int create_temporary_file(int directory, const char* name);

/// Renames the temporary file `name` over `target`, both in `directory`, and takes it off the list.
/// Returns what renameat returns.
[[nodiscard]] int rename_temporary_file(int directory, const char* name, const char* target);

/// Takes the temporary file `name` off the list, removing it first with `remove`.
void forget_temporary_file(int directory, const char* name, bool remove);

}  // namespace quillet
