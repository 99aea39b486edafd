#include "diff/diff.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <string>
#include <string_view>

#include "test_files.h"

namespace quillet {
namespace {

// The diff of `before` to `after` dated `time`.
std::string diff_of(std::string_view before, std::string_view after, Time time = {}) {
  const auto inputs = std::make_unique<DiffInputs>();
  inputs->before.file = memory_file(before);
  inputs->after.file = memory_file(after);
  std::FILE* out = std::tmpfile();
  EXPECT_TRUE(write_diff(*inputs, {"f.c", time}, false, out));
  return read_and_close(out);
}

// The diff of `before` to `after`, its two header lines left out.
std::string diff_body(std::string_view before, std::string_view after) {
  const std::string text = diff_of(before, after);
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

// The headers' dates and zones are written by Quillet itself (Windows's strftime has no %z):
// the local time, and how far it is from UTC, to the minute, at that moment.
TEST(WriteDiff, HeaderDatesAndZones) {
  struct Case {
    const char* zone;
    std::int64_t seconds;
    const char* want;
  };
  // clang-format off
  constexpr Case CASES[] = {
      {"UTC0", 1579077000, "2020-01-15 08:30:00.000000005 +0000"},
      {"Asia/Kolkata", 1579077000, "2020-01-15 14:00:00.000000005 +0530"},
      {"America/St_Johns", 1579077000, "2020-01-15 05:00:00.000000005 -0330"},
      {"America/New_York", -2840140800, "1879-12-31 19:03:58.000000005 -0456"},
      {"Pacific/Kiritimati", 1579077000, "2020-01-15 22:30:00.000000005 +1400"},
      {"Pacific/Kiritimati", -1262304000, "1929-12-31 13:20:00.000000005 -1040"},
      {"Europe/Amsterdam", -1262304000, "1930-01-01 00:19:32.000000005 +0019"},
  };
  // clang-format on
  const char* const before = std::getenv("TZ");
  const std::string saved = before != nullptr ? before : "";
  for (const Case& c : CASES) {
    SCOPED_TRACE(std::string(c.zone) + " " + std::to_string(c.seconds));
    ::setenv("TZ", c.zone, 1);
    ::tzset();
    const std::string text = diff_of("a\n", "b\n", {c.seconds, 5});
    EXPECT_EQ(text.substr(0, text.find('\n')), std::string("--- f.c\t") + c.want);
  }
  if (before != nullptr) {
    ::setenv("TZ", saved.c_str(), 1);
  } else {
    ::unsetenv("TZ");
  }
  ::tzset();
}

}  // namespace
}  // namespace quillet
