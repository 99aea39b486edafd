#include "layout/group.h"

#include <algorithm>

namespace quillet {
namespace {

// Whether the comments that would move stand at one column, each after the gap: the lines that
// are not kept, and those alone on theirs that continue one of them where it stands.
bool share_a_column(std::span<const GroupLine> lines, std::int64_t gap) {
  std::int64_t column = 0;
  bool above_moves = false;
  for (const GroupLine& line : lines) {
    const bool moves =
        !line.kept && (!line.alone || (above_moves && line.column == (&line - 1)->column));
    above_moves = moves;
    if (!moves) continue;
    if (column == 0) column = line.column;
    if (line.column != column || line.column - 1 - line.width < gap) return false;
  }
  return true;
}

}  // namespace

void lay_out_group(std::span<GroupLine> lines, const LayoutOptions& layout) {
  const std::int64_t gap = gap_of(layout);
  std::int64_t widest = -1;
  for (const GroupLine& line : lines) {
    if (!line.kept) widest = std::max(widest, line.width);
  }
  const bool stays = widest < 0 || (layout.align == Align::KEEP && share_a_column(lines, gap));
  std::int64_t column = widest + gap + 1;
  switch (layout.align) {
    case Align::FIXED:  // each line is laid out on its own, never as a group
    case Align::COLUMN: column = std::max<std::int64_t>(column, layout.cpos); break;
    case Align::GROUP:
    case Align::KEEP: column = std::max<std::int64_t>(column, layout.th); break;
  }
  for (std::size_t i = 0; i < lines.size(); ++i) {
    GroupLine& line = lines[i];
    if (stays || line.kept) {
      line.to = 0;
    } else if (!line.alone) {
      line.to = column;
    } else {
      line.to = i > 0 && continues(line.column, lines[i - 1].column, lines[i - 1].to) ? column : 0;
    }
  }
}

}  // namespace quillet
