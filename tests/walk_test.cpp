#include "tree/walk.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace quillet
