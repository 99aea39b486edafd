#include "tree/walk.h"

#include <gtest/gtest.h>

#include "base/paths.h"

namespace quillet {
namespace {

TEST(IsSourceName, Table) {
  struct Case {
    const char* name;
    bool want;
  };
  // clang-format off
  constexpr Case CASES[] = {
      {"a.c", true}, {"a.h", true}, {"a.cc", true}, {"a.cpp", true}, {"a.cxx", true},
      {"a.c++", true}, {"a.hh", true}, {"a.hpp", true}, {"a.hxx", true}, {"a.h++", true},
      {"a.inl", true}, {"a.ipp", true}, {"a.tcc", true}, {"a.C", true}, {"a.H", true},
      {".hidden.c", true}, {"a.b.c", true},
      {"a.CPP", false}, {"a.c.bak", false}, {"a.c.tmp", false}, {"a.cpp~", false}, {"c", false},
      {".c", false}, {"a.", false}, {"vector", false}, {"a.s", false},
  };
  // clang-format on
  for (const Case& c : CASES)
    EXPECT_EQ(is_source_name(c.name), c.want) << c.name;
}

// GitHub places an annotation by the path from the repository's top, with no "./" and no "..".
TEST(PathFromTop, Table) {
  struct Case {
    const char* prefix;
    const char* path;
    const char* want;
  };
  // clang-format off
  constexpr Case CASES[] = {
      {"", "./src/a.c", "src/a.c"},
      {"", "src//a.c", "src/a.c"},
      {"src/sub/", "b.c", "src/sub/b.c"},
      {"src/sub/", "../a.c", "src/a.c"},
      {"src/sub/", "./../../t.c", "t.c"},
      {"", "../out.c", "../out.c"},                // above the top: as it is
      {"src/", "/repo/src/a.c", "src/a.c"},        // absolute, below the top
      {"src/", "/repository/a.c", "/repository/a.c"},  // absolute, elsewhere
  };
  // clang-format on
  for (const Case& c : CASES) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(path_from_top("/repo", c.prefix, c.path), c.want);
  }
}

}  // namespace
}  // namespace quillet
