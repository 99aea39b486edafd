// The messages of reads and writes that failed, each ending with the system's reason.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "base/result.h"

namespace quillet {

/// What a run was doing with a file when the system refused.
enum class Doing : std::uint8_t { READING, WRITING };

/// The system's words for the error number `error` ("No space left on device").
[[nodiscard]] std::string reason(int error);

/// The line "? Error reading NAME: WHY" (or writing), with its newline, NAME as messages show
/// names.
[[nodiscard]] std::string io_failure(Doing doing, std::string_view name, std::string_view why);

/// Prints "? Error reading NAME: REASON" (or writing) on `messages`, REASON the words for `error`
/// (0: the system gave none, told as a failed transfer). Returns RC_IO_ERROR.
ResultCode io_failed(std::FILE* messages, Doing doing, std::string_view name, int error);

/// Prints "? Error reading NAME: WHY" (or writing) on `messages`, for a failure the system has no
/// number for. Returns RC_IO_ERROR.
ResultCode io_failed(std::FILE* messages, Doing doing, std::string_view name, std::string_view why);

}  // namespace quillet
