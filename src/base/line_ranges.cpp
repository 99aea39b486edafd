// Line ranges: the lines a run may change, as "-lines A:B" and git name them.
#include "base/line_ranges.h"

#include <algorithm>
#include <cstdint>

namespace quillet {
namespace {

// A number of 1 to 10 digits, no sign, no blank, within 32 bits unsigned.
std::optional<std::uint64_t> parse_count(std::string_view digits) {
  if (digits.empty() || digits.size() > 10) return std::nullopt;
  std::uint64_t value = 0;
  for (const char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<std::uint64_t>(c - '0');
  }
  if (value > UINT32_MAX) return std::nullopt;
  return value;
}

}  // namespace

void LineRanges::settle() {
  std::sort(ranges.begin(), ranges.end(),
            [](const LineRange& a, const LineRange& b) { return a.first < b.first; });
  std::vector<LineRange> joined;
  for (const LineRange& range : ranges) {
    if (!joined.empty() && range.first <= joined.back().last + 1) {
      joined.back().last = std::max(joined.back().last, range.last);
    } else {
      joined.push_back(range);
    }
  }
  ranges = std::move(joined);
}

bool LineRanges::contains(std::uint64_t line) const {
  const auto after = std::upper_bound(
      ranges.begin(), ranges.end(), line,
      [](std::uint64_t value, const LineRange& range) { return value < range.first; });
  return after != ranges.begin() && line <= std::prev(after)->last;
}

std::optional<LineRange> parse_line_range(std::string_view text) {
  const std::size_t colon = text.find(':');
  if (colon == std::string_view::npos) return std::nullopt;
  const std::optional<std::uint64_t> first = parse_count(text.substr(0, colon));
  const std::optional<std::uint64_t> last = parse_count(text.substr(colon + 1));
  if (!first || !last || *first < 1 || *last < *first) return std::nullopt;
  return LineRange{*first, *last};
}

}  // namespace quillet
