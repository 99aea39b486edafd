// The wildcard matcher of systems without fnmatch(3), row by row as fnmatch reads the pattern
// with FNM_PATHNAME, and, where fnmatch is there to ask, as it says.
#include "platform/windows/wildcards.h"

#include <gtest/gtest.h>

#if __has_include(<fnmatch.h>)
#include <fnmatch.h>
#endif

namespace quillet {
namespace {

struct WildcardCase {
  const char* pattern;
  const char* path;
  bool want;
};

// clang-format off
constexpr WildcardCase CASES[] = {
    {"*.c", "a.c", true}, {"*.c", "d/a.c", false}, {"d/*", "d/a.c", true}, {"*", "", true},
    {"d?a.c", "d/a.c", false}, {"[a-c].c", "b.c", true}, {"[!a-c].c", "d.c", true},
    {"[^a-c].c", "b.c", false}, {"*/b", "a/b", true}, {"*", "/", false}, {"a*b*c", "aXbYbZc", true},
    {"a*b", "a/b", false}, {"**/x", "a/x", true}, {"a\\*", "a*", true}, {"a\\*", "ab", false},
    {"a\\", "a\\", false}, {"[/]", "/", false}, {"[a/]", "a", true}, {"[!a]", "/", false},
    {"[", "[", true}, {"[a", "[a", true}, {"[]", "[]", true}, {"[]a]", "]", true},
    {"[!]]", "a", true}, {"[a-]", "-", true}, {"[\\]]", "]", true}, {"[a\\-z]", "b", false},
    {"[z-a]", "m", false}, {"[[:digit:]]", "5", true}, {"[[:digit:]]x", "ax", false},
    {"[[:alpha:][:digit:]]", "q", true}, {"[[:foo:]]", "f", false}, {"[-[:foo:]]", "-", true},
    {"[[:digit:]", "[", false}, {"[^[[:]", "]", true}, {"*[a[:]", "[", true},
    {"src/*.h", "src/lib/a.h", false}, {".*", ".git", true}, {"*", ".hidden", true},
    {"\xC3\xA9*", "\xC3\xA9t\xC3\xA9.c", true}, {"?.c", "\xC3\xA9.c", false},
};
// clang-format on

TEST(MatchWildcards, Table) {
  for (const WildcardCase& c : CASES) {
    SCOPED_TRACE(std::string(c.pattern) + " against " + c.path);
    EXPECT_EQ(windows::match_wildcards(c.pattern, c.path), c.want);
#if __has_include(<fnmatch.h>)
    EXPECT_EQ(::fnmatch(c.pattern, c.path, FNM_PATHNAME) == 0, c.want) << "the row is wrong";
#endif
  }
}

}  // namespace
}  // namespace quillet
