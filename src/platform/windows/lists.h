// The lists an interrupted process cleans up by: the children's jobs and the temporary files,
// each kept under a lock of its own that the console's handler takes for good.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace quillet::windows {

/// Starts a child process through `start`, which starts it suspended in the job `job` (that kills
/// what is in it once its last handle goes) and returns 0, or an error number. No other child
/// starts meanwhile, so that no other one inherits its handles, and the job is on the list that
/// an interruption kills before the child runs. Returns what `start` returns.
[[nodiscard]] int start_child(const std::function<int()>& start, HANDLE job);

/// Takes the job of a child that start_child started, and that has ended or been killed, off the
/// list.
void forget_child(HANDLE job);

/// Runs `make`, which creates the temporary file `name` in the directory open as `directory`
/// and returns 0, or an error number; keeps a file it made on the list that an interruption
/// removes. Returns what `make` returns.
[[nodiscard]] int create_listed_temporary(HANDLE directory, const std::string& name,
                                          const std::function<int()>& make);

/// Runs `rename`, which renames the temporary file `name` of `directory` and returns 0, or an
/// error number; once it did, takes the file off the list. Returns what `rename` returns.
[[nodiscard]] int rename_listed_temporary(HANDLE directory, const std::string& name,
                                          const std::function<int()>& rename);

/// Takes the temporary file `name` of `directory` off the list, removing it first with `remove`.
void forget_listed_temporary(HANDLE directory, const std::string& name, bool remove);

/// Removes the file `name` of the directory open as `directory`, itself, not what a link there
/// leads to; a read-only one too, as elsewhere the directory's permissions alone decide. Returns
/// 0, or the error number.
[[nodiscard]] int remove_file(HANDLE directory, const std::string& name);

}  // namespace quillet::windows
