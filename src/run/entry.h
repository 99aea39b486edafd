#pragma once

#include <cstdio>

#include "cli/options.h"
#include "diff/diff.h"
#include "io/descriptor.h"
#include "run/io.h"

namespace quillet {

/// The file a run reads. Named by a path, it is opened as named ("-" is standard input). Found by
/// a walk, it is `name` in the open `directory`: opened there without following a link or
/// waiting on a pipe, and run on only if it is a regular file and still the file `id` the walk saw.
struct Target {
  const char* path = nullptr;  // how messages and diff headers name it
  Directory* directory = nullptr;
  const char* name = nullptr;
  FileId id{};
};

/// Puts a stand-in on each standard stream that the process was started without, so that no file
/// the run opens takes its number: reading the stand-in for standard input and writing the ones
/// for standard output and error fail, as they would have.
void hold_standard_streams();

/// Rewrites `options.input_file` into `options.output_file`; "-" stands for standard input and
/// standard output. Returns the exit status after printing its message, if any, on `messages`
/// (none once output has gone to standard output).
[[nodiscard]] ResultCode rewrite_to_file(const Options& options, Files& files, std::FILE* messages);

/// Rewrites the target itself, through a temporary file, keeping the previous content in a backup.
/// On any failure before the swap the file is left untouched. Returns the exit status after
/// printing its message, if any, on `messages`. The directory is synced at once, or, for a file
/// of a walk, marked for syncing when it is closed.
[[nodiscard]] ResultCode rewrite_in_place(const Options& options, const Target& target,
                                          Files& files, std::FILE* messages);

/// Whether a diff on standard output is coloured: it is a terminal and NO_COLOR is not set.
[[nodiscard]] bool wants_colour();

/// Writes no file: prints on `messages` the change that rewriting the target would make, as a
/// unified diff that `patch -p0` applies. Returns RC_WOULD_CHANGE when there is one, RC_OK when
/// nothing would change, or the status of a failure after printing its message.
[[nodiscard]] ResultCode diff_file(const Options& options, const Target& target, Files& files,
                                   DiffInputs& diff, std::FILE* messages);

/// Writes nothing: tells whether rewriting the target would change a line. Returns RC_WOULD_CHANGE
/// (after printing which file), RC_OK when nothing would change, or the status of a failure after
/// printing its message on `messages`.
[[nodiscard]] ResultCode check_file(const Options& options, const Target& target, Files& files,
                                    std::FILE* messages);

}  // namespace quillet
