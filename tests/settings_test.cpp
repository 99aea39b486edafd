#include "settings/settings.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace quillet {
namespace {

TEST(ParseSettings, Table) {
  struct Case {
    const char* text;
    std::string error;
    std::optional<std::int32_t> th = std::nullopt;
    std::optional<std::int32_t> tabs = std::nullopt;
    bool cpp_style = false;
  };
  // clang-format off
  const Case cases[] = {
      {"-th 30 -CPP # a comment -fi\n\t-tabs 8#glued\n", "", 30, 8, true},
      {"# nothing but a comment", ""},
      {"-th 2 -tabs 99", "", DEFAULT_TH, 1},
      {"-th -5", "", DEFAULT_TH},
      {"-cpp -th", "-th needs a number", std::nullopt, std::nullopt, true},
      {"-th -cpp", "-th needs a number"},
      {"-fi a.c", "-fi cannot be set here"},
      {"-check", "-check cannot be set here"},
      {"cpp", "unknown word cpp"},
      {"-exclude build/ -cpp -EXCLUDE", "-EXCLUDE needs a pattern", std::nullopt, std::nullopt, true},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const Settings got = parse_settings("s", c.text);
    EXPECT_EQ(got.error, c.error);
    EXPECT_EQ(got.th, c.th);
    EXPECT_EQ(got.tabs, c.tabs);
    EXPECT_EQ(got.cpp_style, c.cpp_style);
  }
}

// What a pattern matches: a name at any depth, a path from the settings file's directory, a
// directory only.
TEST(ParseExclusion, Table) {
  struct Case {
    const char* pattern;
    const char* glob;
    bool anchored;
    bool directory_only;
  };
  // clang-format off
  constexpr Case CASES[] = {
      {"*.pb.h", "*.pb.h", false, false},
      {"third_party/", "third_party", false, true},
      {"/vendor", "vendor", true, false},
      {"src/gen/*.c", "src/gen/*.c", true, false},
      {"/src//", "src", true, true},
      {"/", "", true, false},
  };
  // clang-format on
  for (const Case& c : CASES) {
    SCOPED_TRACE(c.pattern);
    const Exclusion got = parse_exclusion(c.pattern);
    EXPECT_EQ(got.glob, c.glob);
    EXPECT_EQ(got.anchored, c.anchored);
    EXPECT_EQ(got.directory_only, c.directory_only);
  }
}

}  // namespace
}  // namespace quillet
