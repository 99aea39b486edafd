#include "rewrite/groups.h"

namespace quillet {

GroupStep group_step(Grouping& group, LineKind kind, std::size_t size, std::int32_t span) {
  GroupStep step;
  if (group.lines > 0) {
    const bool room = group.lines < MAX_GROUP_LINES;
    const bool held = kind == LineKind::MEMBER || (kind == LineKind::ALONE && group.pending == 0);
    const bool spanned = (kind == LineKind::OTHER || kind == LineKind::ALONE) &&
                         group.pending < static_cast<std::size_t>(span > 0 ? span : 0);
    if (room && (held || spanned)) {
      step.role = held ? Role::HELD : Role::SPANNED;
      ++group.lines;
      group.pending = held ? 0 : group.pending + 1;
      group.bytes += size;
      group.let_go = group.let_go || group.bytes > MAX_GROUP_BYTES;
      return step;
    }
    step.ends_before = true;
    group = Grouping{};
  }
  if (kind == LineKind::MEMBER) {
    step.role = Role::HELD;
    group.lines = 1;
    group.bytes = size;
  }
  return step;
}

}  // namespace quillet
