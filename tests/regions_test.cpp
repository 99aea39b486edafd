#include "rewrite/regions.h"

#include <gtest/gtest.h>

#include <string_view>

namespace quillet {
namespace {

// The switch of the last line of `lines`, the lines before it scanned first.
Switch switch_after(std::string_view before, std::string_view line) {
  ScanResult carried;
  while (!before.empty()) {
    const std::size_t end = before.find('\n') + 1;
    carried = scan_line(before.substr(0, end), carried);
    before.remove_prefix(end);
  }
  return switch_of(line, scan_line(line, carried));
}

TEST(SwitchOf, Table) {
  struct Case {
    std::string_view line;
    Switch want;
    std::string_view before = "";
  };
  // clang-format off
  constexpr Case CASES[] = {
      {"// clang-format off\n", Switch::OFF},
      {"/* clang-format on */\n", Switch::ON},
      {"  // quillet off\r\n", Switch::OFF},
      {"\t/* quillet on */  \n", Switch::ON},
      {"/* *INDENT-OFF* */\n", Switch::OFF},
      {"// *INDENT-ON*\n", Switch::ON},
      {"/** *INDENT-OFF* */\n", Switch::OFF},
      // Near-spellings that mean the same.
      {"//clang-format off\n", Switch::OFF},
      {"//  Clang-Format   OFF  \n", Switch::OFF},
      {"/// clang-format off\n", Switch::OFF},
      {"//! quillet on\n", Switch::ON},
      {"/*! clang-format on */\n", Switch::ON},
      {"/** quillet off */\n", Switch::OFF},
      {"// clang-format off: a register map\n", Switch::OFF},
      {"// clang-format on :reason\n", Switch::ON},
      {"// *indent-off*\n", Switch::OFF},
      {"// quillet off", Switch::OFF},
      // After code, as clang-format reads its own.
      {"x;  // clang-format off\n", Switch::OFF},
      {"/* a */ // quillet off\n", Switch::OFF},
      {"};    /* clang-format on */\n", Switch::ON},
      // Other words, or not at the end of the line.
      {"// clang-format offset\n", Switch::NONE},
      {"// clang-format off now\n", Switch::NONE},
      {"// clang-formatoff\n", Switch::NONE},
      {"// clang format off\n", Switch::NONE},
      {"// *INDENT-OFF* please\n", Switch::NONE},
      {"// INDENT-OFF\n", Switch::NONE},
      {"/* clang-format off */ x;\n", Switch::NONE},
      // The words as text, not as a comment.
      {"\"// clang-format off\"\n", Switch::NONE},
      {"s = R\"(\n", Switch::NONE},
      {"// clang-format off\n", Switch::NONE, "s = R\"(\n"},
      {"   clang-format off */\n", Switch::NONE, "/* a\n"},
      {"// clang-format off\n", Switch::NONE, "/* a\n"},
      {"// clang-format off\n", Switch::NONE, "// a line continued \\\n"},
  };
  // clang-format on
  for (const Case& c : CASES) {
    SCOPED_TRACE(c.line);
    SCOPED_TRACE(c.before);
    EXPECT_EQ(switch_after(c.before, c.line), c.want);
  }
}

}  // namespace
}  // namespace quillet
