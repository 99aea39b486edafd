// Unified diffs of a file and its rewritten text, whose lines pair one to one.
#pragma once

#include <cstdio>

#include "io/buffer.h"
#include "platform/file.h"

namespace quillet {

/// The two files a diff reads, with their buffers: made once, used for diff after diff.
struct DiffInputs {
  Input before;
  Input after;
};

/// What the headers of a diff name: the path, and a time.
struct DiffLabel {
  const char* path;
  Time time;
};

/// Writes on `out`, in the unified form with three lines of context, the change from the text of
/// `inputs.before` to that of `inputs.after` (both open at their starts), whose lines pair one to
/// one, under headers that name `label.path` on both sides, so that `patch -p0` applies it. With
/// `colour`, removed and added lines are coloured as git colours them. Writes nothing when the
/// texts are the same. Returns false when a read failed (its errno in that input's `error`).
[[nodiscard]] bool write_diff(DiffInputs& inputs, const DiffLabel& label, bool colour,
                              std::FILE* out);

}  // namespace quillet
