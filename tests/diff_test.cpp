#include "diff/diff.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include "test_files.h"

namespace quillet {
namespace {

// The diff of `before` to `after`, its two header lines left out.
std::string diff_body(std::string_view before, std::string_view after) {
  const auto inputs = std::make_unique<DiffInputs>();
  inputs->before.file = memory_file(before);
  inputs->after.file = memory_file(after);
  std::FILE* out = std::tmpfile();
  EXPECT_TRUE(write_diff(*inputs, {"f.c", {}}, false, out));
  const std::string text = read_and_close(out);
  const std::size_t body = text.find("@@");
  return body == std::string::npos ? text : text.substr(body);
}

// Lines "1\n" to "n\n", the ones in `changed` (from 1) ending in "x".
std::string numbered(int n, std::initializer_list<int> changed = {}) {
  std::string text;
  for (int i = 1; i <= n; ++i) {
    text += std::to_string(i);
    for (const int c : changed)
      text += c == i ? "x" : "";
    text += '\n';
  }
  return text;
}

TEST(WriteDiff, Hunks) {
  struct Case {
    const char* name;
    std::string before, after, want;
  };
  const std::string long_line(3 * READ_BUFFER_SIZE, 'a');
  const Case cases[] = {
      {"nothing changed", numbered(5), numbered(5), ""},
      {"one line of one", "a\n", "b\n", "@@ -1 +1 @@\n-a\n+b\n"},
      {"context cut at the ends", numbered(3), numbered(3, {2}),
       "@@ -1,3 +1,3 @@\n 1\n-2\n+2x\n 3\n"},
      {"gap of six joins", numbered(8), numbered(8, {1, 8}),
       "@@ -1,8 +1,8 @@\n-1\n+1x\n 2\n 3\n 4\n 5\n 6\n 7\n-8\n+8x\n"},
      {"gap of seven splits", numbered(9), numbered(9, {1, 9}),
       "@@ -1,4 +1,4 @@\n-1\n+1x\n 2\n 3\n 4\n@@ -6,4 +6,4 @@\n 6\n 7\n 8\n-9\n+9x\n"},
      {"a run: removed, then added", numbered(2), numbered(2, {1, 2}),
       "@@ -1,2 +1,2 @@\n-1\n-2\n+1x\n+2x\n"},
      {"no newline at the end", "a\nb", "a\nc\n",
       "@@ -1,2 +1,2 @@\n a\n-b\n\\ No newline at end of file\n+c\n"},
      {"a context line longer than the buffer", long_line + "\nb\n", long_line + "\nc\n",
       "@@ -1,2 +1,2 @@\n " + long_line + "\n-b\n+c\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(diff_body(c.before, c.after), c.want);
  }
}

}  // namespace
}  // namespace quillet
