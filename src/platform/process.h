// What the process runs with: its words, processors, the number of files it may hold open, its
// time zone.
#pragma once

#include <cstddef>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "platform/file.h"

namespace quillet {

/// The words the process was started with, in UTF-8, as `main` was given them in `argc` and
/// `argv`: on Windows read again from the command line the process was given, as `argv` has them
/// only in the system's code page (where a name's "é" or "€" may have no byte).
[[nodiscard]] std::vector<std::string> program_arguments(int argc, char** argv);

/// The processors online now; at least 1.
[[nodiscard]] std::size_t processors_online();

/// How many files the process may hold open at once; nullopt when there is no limit, or it
/// cannot be told.
[[nodiscard]] std::optional<std::size_t> open_file_limit();

/// `time` in the local time zone, from any thread.
[[nodiscard]] std::tm local_time(const Time& time);

/// The time now.
[[nodiscard]] Time current_time();

}  // namespace quillet
