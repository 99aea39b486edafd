#pragma once

#include <cstdio>

#include "base/result.h"
#include "options/options.h"

namespace quillet {

/// Runs on every file that `options.paths` name or hold (see next_file), as `options.mode` says:
/// checks, diffs (in colour on a terminal), or rewrites in place, leaving alone a file that would
/// not change. Each file takes the settings of its own directory unless `options.no_settings`.
/// The files are spread over `options.jobs` threads (0: one per processor online); each file's
/// report is printed whole on `out`, in the order of the walk, whatever the threads. Returns the
/// status of the first file that failed, else RC_WOULD_CHANGE when a file would change (check
/// and diff), else RC_OK.
[[nodiscard]] ResultCode run_tree(const Options& options, std::FILE* out);

}  // namespace quillet
