// The four things a run does with one file: writes the result elsewhere, rewrites the file in
// place, checks it, or prints its change as a diff (see run_one_file).
#pragma once

#include <cstdio>

#include "base/result.h"
#include "diff/diff.h"
#include "io/buffer.h"
#include "run/run.h"

namespace quillet {

/// Mode::TO_FILE: writes the result to `run.output_file` ("-": standard output).
[[nodiscard]] ResultCode rewrite_to_file(const FileRun& run, const Target& target, Files& files,
                                         std::FILE* messages);

/// Mode::IN_PLACE: rewrites the target through a temporary file swapped in, keeping a backup.
[[nodiscard]] ResultCode rewrite_in_place(const FileRun& run, const Target& target, Files& files,
                                          std::FILE* messages);

/// Mode::CHECK: writes nothing; tells whether, or where, a line would change.
[[nodiscard]] ResultCode check_file(const FileRun& run, const Target& target, Files& files,
                                    std::FILE* messages);

/// Mode::DIFF: writes no file; prints the change as a unified diff, through `diff`.
[[nodiscard]] ResultCode diff_file(const FileRun& run, const Target& target, Files& files,
                                   DiffInputs& diff, std::FILE* messages);

}  // namespace quillet
