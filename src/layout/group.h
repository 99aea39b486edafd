#pragma once

// The layout of a group: the lines, one after another, whose trailing comments are lined up
// together (which lines make one is the line loop's business). Only facts come in, columns go
// out: no line is read here.

#include <cstdint>
#include <span>

#include "layout/layout.h"

namespace quillet {

/// What the layout of a group knows of one of its lines. No defaults: the line loop keeps an
/// array of them for every run, and fills only what its groups need.
struct GroupLine {
  std::int64_t width;   // the code part's width, as it is rebuilt
  std::int64_t column;  // the column at which the comment's marker stands now
  bool alone;  // with -trail, a comment alone on its line, right below the line before: it moves
               // only as the continuation of that line's comment
  bool kept;   // its rebuild would not keep its meaning: it keeps its bytes, and the group's
               // column does not make room for it
  std::int64_t to;  // set by lay_out_group: where its marker goes; 0: it keeps its bytes
};

/// Whether a comment alone on its line at `column` continues the comment of the line right above
/// it, which stands at `above` and goes to `above_to` (0: it stays): it stands at either column.
[[nodiscard]] constexpr bool continues(std::int64_t column, std::int64_t above,
                                       std::int64_t above_to) {
  return above_to != 0 && (column == above || column == above_to);
}

/// Sets `to` for each line of a group, in order, as `layout.align` says: one column for them
/// all, past the widest code part (that of a kept line aside) and the gap, and no further left
/// than cpos (COLUMN) or the threshold (GROUP, KEEP, so that the comments stay ones to move); or,
/// in KEEP, none when the comments that would move stand at one column already, each with the
/// gap before it.
void lay_out_group(std::span<GroupLine> lines, const LayoutOptions& layout);

}  // namespace quillet
