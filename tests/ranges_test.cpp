#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/line_ranges.h"
#include "tree/since.h"

namespace quillet {
namespace {

TEST(ParseLineRange, Table) {
  struct Case {
    std::string_view text;
    std::optional<std::uint64_t> first;  // nullopt: refused
    std::uint64_t last = 0;
  };
  // clang-format off
  constexpr Case CASES[] = {
      {"1:1", 1, 1}, {"3:10", 3, 10}, {"7:4294967295", 7, 4294967295},
      {"0:3", std::nullopt}, {"5:2", std::nullopt}, {"x", std::nullopt}, {"7", std::nullopt},
      {"1:4294967296", std::nullopt}, {"-1:2", std::nullopt}, {"+1:2", std::nullopt},
      {" 1:2", std::nullopt}, {"1:2:", std::nullopt}, {":", std::nullopt}, {"", std::nullopt},
      {"00000000001:2", std::nullopt},
  };
  // clang-format on
  for (const Case& c : CASES) {
    SCOPED_TRACE(c.text);
    const std::optional<LineRange> got = parse_line_range(c.text);
    ASSERT_EQ(got.has_value(), c.first.has_value());
    if (got) {
      EXPECT_EQ(got->first, *c.first);
      EXPECT_EQ(got->last, c.last);
    }
  }
}

// The ranges count as their union, ends included.
TEST(LineRanges, Union) {
  LineRanges ranges;
  for (const LineRange range :
       {LineRange{10, 12}, LineRange{2, 3}, LineRange{4, 4}, LineRange{11, 20}, LineRange{30, 30}})
    ranges.add(range);
  ranges.settle();
  ASSERT_EQ(ranges.ranges.size(), 3U);
  for (std::uint64_t line = 0; line <= 31; ++line) {
    const bool want = (line >= 2 && line <= 4) || (line >= 10 && line <= 20) || line == 30;
    EXPECT_EQ(ranges.contains(line), want) << line;
  }
}

// What git diff-index -p -U0 --no-prefix says, read back: each file's added or changed lines.
TEST(ReadChanges, Table) {
  struct Case {
    const char* name;
    std::string diff;
    std::vector<std::string> files;
    std::vector<std::vector<LineRange>> lines;
  };
  const Case cases[] = {
      {"changed and added",
       "diff --git a.c a.c\n--- a.c\n+++ a.c\n@@ -3 +3 @@\n-x\n+y\n"
       "@@ -9,0 +10,2 @@\n+p\n+q\n",
       {"a.c"},
       {{{3, 3}, {10, 11}}}},
      {"a hunk that only deletes",
       "diff --git a.c a.c\n--- a.c\n+++ a.c\n@@ -4,2 +3,0 @@\n-x\n-y\n",
       {},
       {}},
      {"deleted",
       "diff --git g.c g.c\ndeleted file mode 100644\n--- g.c\n+++ /dev/null\n"
       "@@ -1,2 +0,0 @@\n-x\n-y\n",
       {},
       {}},
      {"renamed, a blank, a quote",
       "diff --git o.c \"n \\\"e\\303\\251.c\"\nrename from o.c\n"
       "--- o.c\n+++ \"n \\\"e\\303\\251.c\"\t\n@@ -5 +5 @@\n-x\n+y\n",
       {"n \"e\xc3\xa9.c"},
       {{{5, 5}}}},
      {"an unquoted blank",
       "diff --git b c.c b c.c\n--- b c.c\t\n+++ b c.c\t\n@@ -2 +2 @@\n-x\n+y\n",
       {"b c.c"},
       {{{2, 2}}}},
      {"body lines that look like headers",
       "diff --git a.c a.c\n--- a.c\n+++ a.c\n@@ -1,2 +1,2 @@\n--- x\n-@@ -1 +9 @@\n+++ q.c\n"
       "+diff --git\n\\ No newline at end of file\n@@ -7 +7 @@\n-x\n+y\n",
       {"a.c"},
       {{{1, 2}, {7, 7}}}},
      {"not a source name",
       "diff --git n.txt n.txt\n--- n.txt\n+++ n.txt\n@@ -1 +1 @@\n-x\n+y\n",
       {},
       {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<ChangedFile> got;
    std::string outside;
    EXPECT_TRUE(read_changes(c.diff, "", got, outside));
    ASSERT_EQ(got.size(), c.files.size());
    for (std::size_t i = 0; i < got.size(); ++i) {
      EXPECT_EQ(got[i].path, c.files[i]);
      ASSERT_EQ(got[i].lines.ranges.size(), c.lines[i].size());
      for (std::size_t k = 0; k < c.lines[i].size(); ++k) {
        EXPECT_EQ(got[i].lines.ranges[k].first, c.lines[i][k].first);
        EXPECT_EQ(got[i].lines.ranges[k].last, c.lines[i][k].last);
      }
    }
  }
}

// A name from the work tree's top, named from the current directory; one that leads out of the
// work tree (or is empty) stops the reading.
TEST(ReadChanges, Names) {
  struct Case {
    std::string_view prefix;  // the current directory, from the work tree's top
    std::string_view name;    // as git gives it
    std::string_view path;    // "": the name leads out of the work tree
    std::string_view outside;
  };
  // clang-format off
  constexpr Case CASES[] = {
      {"src/lib/", "src/lib/a.c", "a.c", ""}, {"src/lib/", "src/b.c", "../b.c", ""},
      {"src/lib/", "x.c", "../../x.c", ""}, {"src/lib/", "src/libx/c.c", "../libx/c.c", ""},
      {"", "../v.c", "", "../v.c"}, {"", "\"/etc/v.c\"", "", "/etc/v.c"},
      {"", "a//v.c", "", "a//v.c"}, {"", "a/./v.c", "", "a/./v.c"}, {"", "a/..", "", "a/.."}, {"", "", "", ""},
  };
  // clang-format on
  for (const Case& c : CASES) {
    SCOPED_TRACE(c.name);
    std::vector<ChangedFile> got;
    std::string outside;
    EXPECT_EQ(read_changes("+++ " + std::string(c.name) + "\n@@ -1 +1 @@\n-x\n+y\n", c.prefix, got,
                           outside),
              !c.path.empty());
    EXPECT_EQ(got.empty() ? "" : got[0].path, c.path);
    EXPECT_EQ(outside, c.outside);
  }
}

}  // namespace
}  // namespace quillet
