// Line ranges: the lines a run may change, as "-lines A:B" and git name them.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace quillet {

/// Lines first to last, counted from 1 as a diff counts them, both ends included.
struct LineRange {
  std::uint64_t first = 0;
  std::uint64_t last = 0;
};

/// The lines that may change: those in any of the ranges.
struct LineRanges {
  std::vector<LineRange> ranges;  // in order, none touching another once `settle` has run

  /// Takes `range` too.
  void add(LineRange range) { ranges.push_back(range); }
  /// Orders the ranges and joins those that touch or overlap.
  void settle();
  /// Whether line `line` lies in a range.
  [[nodiscard]] bool contains(std::uint64_t line) const;
};

/// Reads "A:B", two decimal numbers from 1 to 4294967295 with A <= B; nothing else is a range.
[[nodiscard]] std::optional<LineRange> parse_line_range(std::string_view text);

}  // namespace quillet
