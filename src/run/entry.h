#pragma once

#include <cstdio>
#include <string>

#include "cli/options.h"
#include "diff/diff.h"
#include "run/io.h"

namespace quillet {

/// Puts a stand-in on each standard stream that the process was started without, so that no file
/// the run opens takes its number: reading the stand-in for standard input and writing the ones
/// for standard output and error fail, as they would have.
void hold_standard_streams();

/// Rewrites `options.input_file` into `options.output_file`; "-" stands for standard input and
/// standard output. Returns the exit status after printing its message, if any, on `messages`
/// (none once output has gone to standard output).
[[nodiscard]] ResultCode rewrite_to_file(const Options& options, Files& files, std::FILE* messages);

/// Rewrites `options.input_file` itself, through a temporary file, keeping the previous content in
/// a backup. On any failure before the swap the input is left untouched. Returns the exit status
/// after printing its message, if any, on `messages`. With `unsynced`, the directory whose renames
/// are not yet on disk is left there for the caller to sync, instead of being synced.
[[nodiscard]] ResultCode rewrite_in_place(const Options& options, Files& files, std::FILE* messages,
                                          std::string* unsynced = nullptr);

/// Whether a diff on standard output is coloured: it is a terminal and NO_COLOR is not set.
[[nodiscard]] bool wants_colour();

/// Writes no file: prints on `messages` the change that rewriting `options.input_file` would make,
/// as a unified diff that `patch -p0` applies. Returns RC_WOULD_CHANGE when there is one, RC_OK
/// when nothing would change, or the status of a failure after printing its message.
[[nodiscard]] ResultCode diff_file(const Options& options, Files& files, DiffInputs& diff,
                                   std::FILE* messages);

/// Writes nothing: tells whether rewriting `options.input_file` would change a line. Returns
/// RC_WOULD_CHANGE (after printing which file), RC_OK when nothing would change, or the status of
/// a failure after printing its message on `messages`.
[[nodiscard]] ResultCode check_file(const Options& options, Files& files, std::FILE* messages);

}  // namespace quillet
