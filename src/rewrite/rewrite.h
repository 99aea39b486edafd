#pragma once

#include "base/lines.h"
#include "base/result.h"
#include "io/buffer.h"
#include "layout/layout.h"

namespace quillet {

/// Copies every line of `in` to `out`, rebuilding those that end in a trailing comment to move,
/// unless markers fence them off or, with `lines`, they lie outside its ranges. Returns RC_OK, or
/// RC_IO_ERROR with the error in `in.error` or `out->error`. Without an output (`out` nullptr) it
/// only looks: RC_WOULD_CHANGE as soon as a line would change. Prints nothing.
[[nodiscard]] ResultCode rewrite_lines(Input& in, Output* out, const LayoutOptions& layout,
                                       const LineRanges* lines = nullptr);

}  // namespace quillet
