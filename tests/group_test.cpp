#include "layout/group.h"

#include <gtest/gtest.h>

#include <vector>

namespace quillet {
namespace {

// A line of a group: code part width, marker column now, and what it is.
struct Fact {
  std::int64_t width;
  std::int64_t column;
  bool alone = false;
  bool kept = false;
};

struct GroupCase {
  const char* name;
  std::vector<Fact> lines;
  std::vector<std::int64_t> want;  // each line's new marker column; 0: it keeps its bytes
  LayoutOptions layout;
};

constexpr LayoutOptions GROUP{.align = Align::GROUP};
constexpr LayoutOptions COLUMN{.align = Align::COLUMN};
constexpr LayoutOptions KEEP{.align = Align::KEEP};
constexpr Fact alone_at(std::int64_t column) { return {1, column, true}; }

// clang-format off
const GroupCase CASES[] = {
    {"group: past the widest", {{30, 50}, {40, 45}, {12, 70}}, {42, 42, 42}, GROUP},
    {"group: gap 3", {{30, 50}, {40, 45}}, {44, 44}, LayoutOptions{.align = Align::GROUP, .gap = 3}},
    {"group: never left of the threshold", {{5, 30}, {8, 26}}, {25, 25}, GROUP},
    {"column: cpos when there is room", {{30, 50}, {40, 45}}, {65, 65}, COLUMN},
    {"column: past long code", {{70, 72}, {30, 40}}, {72, 72}, COLUMN},
    {"column: code ending at cpos - 1 not glued", {{64, 66}}, {66}, COLUMN},
    {"keep: one column, room before it", {{30, 50}, {40, 50}}, {0, 0}, KEEP},
    {"keep: one column, glued", {{30, 50}, {49, 50}}, {51, 51}, KEEP},
    {"keep: gap 2 asked", {{30, 50}, {48, 50}}, {51, 51}, LayoutOptions{.align = Align::KEEP, .gap = 2}},
    {"keep: two columns", {{30, 50}, {40, 52}}, {42, 42}, KEEP},
    {"kept line widens nothing", {{30, 50}, {80, 90, false, true}}, {32, 0}, GROUP},
    {"every line kept", {{30, 50, false, true}}, {0}, GROUP},
    {"keep: a kept line's column does not count", {{30, 50}, {40, 60, false, true}}, {0, 0}, KEEP},
    {"continues at the column above", {{30, 50}, alone_at(50)}, {32, 32}, GROUP},
    {"continues where the one above goes", {{30, 50}, alone_at(32)}, {32, 32}, GROUP},
    {"alone elsewhere stays", {{30, 50}, alone_at(45)}, {32, 0}, GROUP},
    {"continuation of a continuation", {{30, 50}, alone_at(50), alone_at(50)}, {32, 32, 32}, GROUP},
    {"below one that stays", {{30, 50}, alone_at(45), alone_at(45)}, {32, 0, 0}, GROUP},
    {"continuation of a kept line stays", {{30, 50, false, true}, alone_at(50)}, {0, 0}, GROUP},
    {"alone's code part counts", {{2, 30}, {9, 40, true}}, {11, 0}, LayoutOptions{.th = 4, .align = Align::GROUP}},
    {"keep: a continuation shares the column", {{30, 50}, alone_at(50)}, {0, 0}, KEEP},
    {"keep: one alone elsewhere is not the group's", {{30, 50}, alone_at(45)}, {0, 0}, KEEP},
    {"keep: a continuation elsewhere", {{30, 50}, {40, 52}, alone_at(52)}, {42, 42, 42}, KEEP},
};
// clang-format on

TEST(LayOutGroup, Table) {
  for (const GroupCase& c : CASES) {
    SCOPED_TRACE(c.name);
    std::vector<GroupLine> lines;
    lines.reserve(c.lines.size());
    for (const Fact& fact : c.lines)
      lines.push_back({.width = fact.width,
                       .column = fact.column,
                       .alone = fact.alone,
                       .kept = fact.kept,
                       .to = 0});
    lay_out_group(lines, c.layout);
    std::vector<std::int64_t> got;
    got.reserve(lines.size());
    for (const GroupLine& line : lines)
      got.push_back(line.to);
    EXPECT_EQ(got, c.want);
  }
}

}  // namespace
}  // namespace quillet
