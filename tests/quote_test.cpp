#include "base/quote.h"

#include <gtest/gtest.h>

#include <string_view>

namespace quillet {
namespace {

// Every row checked against GNU diff 3.8's headers and against what GNU patch reads back.
TEST(Quote, Table) {
  struct Case {
    std::string_view name;
    std::string_view printable;
    std::string_view diff_name;
  };
  // clang-format off
  constexpr Case CASES[] = {
      {"src/a.c", "src/a.c", "src/a.c"},
      {"a b.c", "a b.c", "\"a b.c\""},
      {"a\tb.c", "\"a\\tb.c\"", "\"a\\tb.c\""},
      {"x\n--- t", "\"x\\n--- t\"", "\"x\\n--- t\""},
      {"q\"\\.c", "q\"\\.c", "\"q\\\"\\\\.c\""},
      {"\x1b[2J\x7f", "\"\\033[2J\\177\"", "\"\\033[2J\\177\""},
      {"\xc3\xa9.c", "\xc3\xa9.c", "\"\\303\\251.c\""},
      {"", "", ""},
      // GitHub's runner takes "##[" anywhere in a line for one of its commands.
      {"a##[add-mask]b.c", "\"a##\\133add-mask]b.c\"", "a##[add-mask]b.c"},
  };
  // clang-format on
  for (const Case& c : CASES) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(printable(c.name), c.printable);
    EXPECT_EQ(diff_name(c.name), c.diff_name);
  }
}

// A name that starts a line starts no command of a CI runner, which skips whitespace first.
TEST(Quote, LineStart) {
  struct Case {
    std::string_view name, want;
  };
  // clang-format off
  constexpr Case CASES[] = {
      {"src/a.c", "src/a.c"}, {"::error::x.c", "./::error::x.c"}, {" ::x.c", "./ ::x.c"},
      {"\xc2\xa0::x.c", "./\xc2\xa0::x.c"}, {"::\n.c", "\"::\\n.c\""}, {"/::x.c", "/::x.c"},
  };
  // clang-format on
  for (const Case& c : CASES) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(printable_at_line_start(c.name), c.want);
  }
}

}  // namespace
}  // namespace quillet
