#pragma once

#include <string>
#include <vector>

namespace quillet {

/// How a child process ended.
struct ChildResult {
  bool started = false;   // it could be started at all
  bool finished = false;  // it ended by itself within the time given, not by a signal
  bool late = false;      // it was killed for taking longer than the time given
  int status = 0;         // its exit status, once finished
  int error = 0;          // unless started, the error of the pipe or the spawn; 0: none was tried
};

/// Runs `argv` (no shell; its first word is looked up in PATH unless it holds a "/") in the
/// directory open as `directory` (-1: this process's), with the "NAME=VALUE" words of
/// `environment` (nullptr: this process's), standard input on /dev/null and no signal blocked,
/// and reads all it writes on standard output into `output`, and on standard error into `errors`
/// (nullptr: it goes to /dev/null). It leads a process group of its own (see start_child), which
/// is killed when it is still running after `timeout_ms`.
[[nodiscard]] ChildResult run_child(const std::vector<const char*>& argv, int directory,
                                    const std::vector<const char*>* environment,
                                    std::string& output, std::string* errors, int timeout_ms);

/// This process's environment with each "NAME=value" of `changes` in place of the entry of that
/// name, as run_child takes an environment. Its words point into `changes` and the environment.
[[nodiscard]] std::vector<const char*> changed_environment(const std::vector<std::string>& changes);

}  // namespace quillet
