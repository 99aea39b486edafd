#pragma once

#include <cstdio>

#include "base/lines.h"
#include "base/result.h"
#include "io/buffer.h"
#include "layout/layout.h"
#include "options/options.h"

namespace quillet {

/// Where and how a look without an output tells each line that would change, rather than
/// stopping at the first.
struct LineReport {
  std::FILE* out = nullptr;
  Report style = Report::LINES;
  const char* path = nullptr;  // how the lines' file is named
};

/// Copies every line of `in` to `out`, rebuilding those that end in a trailing comment to move,
/// unless markers fence them off or, with `lines`, they lie outside its ranges. Returns RC_OK, or
/// RC_IO_ERROR with the error in `in.error` or `out->error`. Without an output (`out` nullptr) it
/// only looks: RC_WOULD_CHANGE as soon as a line would change, or, with `report`, after telling
/// every such line. Prints nothing else.
[[nodiscard]] ResultCode rewrite_lines(Input& in, Output* out, const LayoutOptions& layout,
                                       const LineRanges* lines = nullptr,
                                       const LineReport* report = nullptr);

}  // namespace quillet
