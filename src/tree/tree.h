#pragma once

#include <cstdio>

#include "cli/options.h"

namespace quillet {

/// Runs on every file that `options.paths` name or hold (see list_files): checks each with
/// `options.check`, else rewrites each in place, leaving alone a file that would not change. The
/// files are spread over `options.jobs` threads (0: one per processor online); each file's
/// messages are printed whole on `out`, in the order of the list, whatever the threads. Returns
/// the status of the first file that failed, else RC_WOULD_CHANGE when a check found a file
/// that would change, else RC_OK.
[[nodiscard]] ResultCode run_tree(const Options& options, std::FILE* out);

}  // namespace quillet
