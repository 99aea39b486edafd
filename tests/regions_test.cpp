#include "rewrite/regions.h"

#include <gtest/gtest.h>

#include <string_view>

namespace quillet {
namespace {

// The marker of the last line of `lines`, the lines before it scanned first.
Marker marker_after(std::string_view before, std::string_view line) {
  ScanResult carried;
  while (!before.empty()) {
    const std::size_t end = before.find('\n') + 1;
    carried = scan_line(before.substr(0, end), carried);
    before.remove_prefix(end);
  }
  return marker_of(line, scan_line(line, carried));
}

TEST(MarkerOf, Table) {
  struct Case {
    std::string_view line;
    Marker want;
    std::string_view before = "";
  };
  // clang-format off
  constexpr Case CASES[] = {
      {"// clang-format off\n", Marker::OFF},
      {"/* clang-format on */\n", Marker::ON},
      {"  // quillet off\r\n", Marker::OFF},
      {"\t/* quillet on */  \n", Marker::ON},
      {"/* *INDENT-OFF* */\n", Marker::OFF},
      {"// *INDENT-ON*\n", Marker::ON},
      {"/** *INDENT-OFF* */\n", Marker::OFF},
      // Near-spellings that mean the same.
      {"//clang-format off\n", Marker::OFF},
      {"//  Clang-Format   OFF  \n", Marker::OFF},
      {"/// clang-format off\n", Marker::OFF},
      {"//! quillet on\n", Marker::ON},
      {"/*! clang-format on */\n", Marker::ON},
      {"/** quillet off */\n", Marker::OFF},
      {"// clang-format off: a register map\n", Marker::OFF},
      {"// clang-format on :reason\n", Marker::ON},
      {"// *indent-off*\n", Marker::OFF},
      {"// quillet off", Marker::OFF},
      // After code, as clang-format reads its own.
      {"x;  // clang-format off\n", Marker::OFF},
      {"/* a */ // quillet off\n", Marker::OFF},
      {"};    /* clang-format on */\n", Marker::ON},
      // Other words, or not at the end of the line.
      {"// clang-format offset\n", Marker::NONE},
      {"// clang-format off now\n", Marker::NONE},
      {"// clang-formatoff\n", Marker::NONE},
      {"// clang format off\n", Marker::NONE},
      {"// *INDENT-OFF* please\n", Marker::NONE},
      {"// INDENT-OFF\n", Marker::NONE},
      {"/* clang-format off */ x;\n", Marker::NONE},
      // The words as text, not as a comment.
      {"\"// clang-format off\"\n", Marker::NONE},
      {"s = R\"(\n", Marker::NONE},
      {"// clang-format off\n", Marker::NONE, "s = R\"(\n"},
      {"   clang-format off */\n", Marker::NONE, "/* a\n"},
      {"// clang-format off\n", Marker::NONE, "/* a\n"},
      {"// clang-format off\n", Marker::NONE, "// a line continued \\\n"},
  };
  // clang-format on
  for (const Case& c : CASES) {
    SCOPED_TRACE(c.line);
    SCOPED_TRACE(c.before);
    EXPECT_EQ(marker_after(c.before, c.line), c.want);
  }
}

}  // namespace
}  // namespace quillet
