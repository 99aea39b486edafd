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

}  // namespace
}  // namespace quillet
