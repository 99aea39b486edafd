#pragma once

#include <string>
#include <vector>

namespace quillet {

/// How a child process ended.
struct ChildResult {
  bool started = false;   // it could be started at all (the program was found)
  bool finished = false;  // it ended by itself within the time given, not by a signal
  int status = 0;         // its exit status, once finished
};

/// Runs `argv` (its first word looked up in PATH; no shell) in the directory open as `directory`
/// (-1: this process's), with standard input on /dev/null and no signal blocked, and reads all it
/// writes on standard output into `output`, and on standard error into `errors` (nullptr: it goes
/// to /dev/null). A child still running after `timeout_ms` is killed. It gets this process's
/// environment, with each "NAME=value" of `environment` in place of the entry of that name.
[[nodiscard]] ChildResult run_child(const std::vector<const char*>& argv, int directory,
                                    std::string& output, std::string* errors, int timeout_ms,
                                    const std::vector<std::string>& environment = {});

}  // namespace quillet
