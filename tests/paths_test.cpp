// Paths as text, as every system spells them, and as Windows spells them too: "\" and drives.
#include "base/paths.h"

#include <gtest/gtest.h>

namespace quillet {
namespace {

struct SplitCase {
  const char* path;
  const char* directory;
  const char* name;
  bool absolute;
};

// clang-format off
constexpr SplitCase CASES[] = {
    {"a.c", ".", "a.c", false}, {"/a.c", "/", "a.c", true}, {"/", "/", "", true},
    {"d/e/a.c", "d/e", "a.c", false}, {"d/", "d", "", false}, {"/d/a.c", "/d", "a.c", true},
#if defined(_WIN32)
    {"d\\e\\a.c", "d\\e", "a.c", false}, {"d/e\\a.c", "d/e", "a.c", false},
    {"C:\\a.c", "C:\\", "a.c", true}, {"c:/src/a.c", "c:/src", "a.c", true},
    {"C:a.c", "C:", "a.c", false}, {"\\\\host\\share\\a.c", "\\\\host\\share\\", "a.c", true},
    {"\\a.c", "\\", "a.c", true},
#endif
};
// clang-format on

TEST(SplitPath, Table) {
  for (const SplitCase& c : CASES) {
    SCOPED_TRACE(c.path);
    const PathParts parts = split_path(c.path);
    EXPECT_EQ(parts.directory, c.directory);
    EXPECT_EQ(parts.name, c.name);
    EXPECT_EQ(is_absolute(c.path), c.absolute);
  }
  EXPECT_EQ(plain_path("././d//"), "d");
#if defined(_WIN32)
  EXPECT_EQ(plain_path(".\\d\\"), "d");
  EXPECT_EQ(join_path("C:\\", "a.c"), "C:\\a.c");
#endif
}

}  // namespace
}  // namespace quillet
