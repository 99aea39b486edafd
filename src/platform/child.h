// Child processes and what they are given: their words, their directory, their environment.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/directory.h"

namespace quillet {

/// How a child process ended.
struct ChildResult {
  bool started = false;   // it could be started at all
  bool finished = false;  // it ended by itself within the time given, not by a signal
  bool late = false;      // it was killed for taking longer than the time given
  int status = 0;         // its exit status, once finished
  int error = 0;          // unless started, the error of the pipe or the start; 0: none was tried
};

/// Runs `argv` (no shell; its first word is looked up in PATH unless it holds a "/") in
/// `directory` (nullptr: this process's), with the "NAME=VALUE" words of `environment` (nullptr:
/// this process's), standard input empty and no signal blocked, and reads all it writes on
/// standard output into `output`, and on standard error into `errors` (nullptr: thrown away). It
/// leads a process group of its own, which is killed with it when it is still running after
/// `timeout_ms`, or when the process is interrupted (see clean_up_on_signal).
[[nodiscard]] ChildResult run_child(const std::vector<const char*>& argv,
                                    const OpenDirectory* directory,
                                    const std::vector<const char*>* environment,
                                    std::string& output, std::string* errors, int timeout_ms);

/// This process's environment without the variables named in `left_out`, and with each
/// "NAME=value" of `changes` in place of the entry of that name, as run_child takes an
/// environment. Its words point into `changes` and the environment.
[[nodiscard]] std::vector<const char*> changed_environment(
    const std::vector<std::string>& changes, std::span<const std::string_view> left_out = {});

/// The value of the environment variable `name`; nullopt when it is not set.
[[nodiscard]] std::optional<std::string> environment_variable(const char* name);

/// The absolute path of the program `name` in the first entry of PATH that is an absolute path
/// and holds it as an executable file: an empty or relative entry would find a program of
/// whatever directory the process is in. "" when there is none.
[[nodiscard]] std::string find_program(std::string_view name);

}  // namespace quillet
