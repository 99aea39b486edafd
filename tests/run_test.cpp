#include "run/run.h"

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <string>
#include <string_view>

namespace quillet {
namespace {

using namespace std::string_literals;

// An anonymous in-memory file holding `content`, positioned at its start.
int memory_file(std::string_view content) {
  const int fd = ::memfd_create("quillet-test", 0);
  EXPECT_GE(fd, 0);
  EXPECT_EQ(::write(fd, content.data(), content.size()), static_cast<ssize_t>(content.size()));
  ::lseek(fd, 0, SEEK_SET);
  return fd;
}

std::string read_back(int fd) {
  std::string text;
  ::lseek(fd, 0, SEEK_SET);
  char chunk[4096];
  for (ssize_t n; (n = ::read(fd, chunk, sizeof chunk)) > 0;)
    text.append(chunk, static_cast<std::size_t>(n));
  return text;
}

std::string run_text(std::string_view input, const Options& options = {}) {
  static Input in;
  static Output out;
  in = Input{};
  out = Output{};
  in.fd = memory_file(input);
  out.fd = memory_file("");
  EXPECT_EQ(run_file(in, out, options), RC_OK);
  EXPECT_TRUE(flush(out));
  std::string text = read_back(out.fd);
  ::close(in.fd);
  ::close(out.fd);
  return text;
}

std::string spaces(std::size_t n) { return std::string(n, ' '); }

TEST(TrimTrailing, Table) {
  struct Case {
    std::string_view text, want;
  };
  // clang-format off
  constexpr Case CASES[] = {
      {"", ""}, {" ", " "}, {"x", "x"}, {"  ", " "}, {" \t\r\n", " "}, {"a b  ", "a b"},
      {"ab\v\f", "ab"}, {std::string_view("a\0 ", 3), std::string_view("a\0", 2)}, {"\xa0 ", "\xa0"},
      {"x                    ", "x"}, {"ab c\t           ", "ab c"}, {"abcdefgh        ", "abcdefgh"},
      {"a \t              \r ", "a"}, {"                  ", " "}, {"a\x80       \n", "a\x80"},
      {"abcdefghij   ", "abcdefghij"}, {"abcdefghi \t  ", "abcdefghi"}, {"abcdefghi\t       ", "abcdefghi"},
  };
  // clang-format on
  for (const Case& c : CASES)
    EXPECT_EQ(trim_trailing(c.text), c.want) << c.text;
}

struct LayoutCase {
  const char* name;
  std::string input;
  std::string want;
  Options options = {};
};

TEST(RunFile, Layout) {
  Options cpp;
  cpp.cpp_style = true;
  Options narrow;
  narrow.th = 4;
  narrow.cpos = 10;
  narrow.csz = 5;
  Options tabs8;
  tabs8.tabs = 8;
  Options tabs8_cpp = tabs8;
  tabs8_cpp.cpp_style = true;
  Options utf8;
  utf8.utf8 = true;
  Options trail;
  trail.trail = true;
  Options trail_cpp = trail;
  trail_cpp.cpp_style = true;
  const std::string count = "    int count;" + spaces(18) + "// number of items";
  const std::string code70(70, 'x');
  const LayoutCase cases[] = {
      {"block style", count + "\n",
       "    int count;" + spaces(50) + "/* number of items" + spaces(26) + "*/\n"},
      {"line style", count + "\n", "    int count;" + spaces(50) + "// number of items\n", cpp},
      {"marker at column 24 stays", spaces(23) + "// x\n", spaces(23) + "// x\n"},
      {"marker at column 25 moves", spaces(24) + "// x\n", " " + spaces(63) + "// x\n", cpp},
      {"long code part", code70 + " // t\n", code70 + "/* t" + spaces(34) + "*/\n"},
      {"code part past the field", std::string(120, 'y') + " /* t */\n",
       std::string(120, 'y') + "/* t*/\n"},
      {"text of spaces", "x;" + spaces(30) + "//  \n", "x;" + spaces(62) + "// \n", cpp},
      {"block to line", "x;" + spaces(30) + "/* a */\n", "x;" + spaces(62) + "// a\n", cpp},
      {"no final newline", "x;" + spaces(30) + "// ab", "x;" + spaces(62) + "// ab\n", cpp},
      {"cr lf, empty text", "x;" + spaces(30) + "//\r\n", "x;" + spaces(62) + "//\r\n", cpp},
      {"cr lf kept", "x;" + spaces(30) + "// a\r\ny;\r\n", "x;" + spaces(62) + "// a\r\ny;\r\n",
       cpp},
      // A carriage return that no newline follows ends a line, and stays its line end.
      {"lone cr ends a comment", "x;" + spaces(30) + "// a\ry;\n",
       "x;" + spaces(62) + "/* a" + spaces(40) + "*/\ry;\n"},
      {"lone cr, then a block comment", "x; // a\ry; /* b\nz;" + spaces(30) + "// c */\n",
       "x; // a\ry; /* b\nz;" + spaces(30) + "// c */\n"},
      {"lone cr lines", "x;" + spaces(30) + "// a\ry;" + spaces(30) + "/* b */\r",
       "x;" + spaces(62) + "// a\ry;" + spaces(62) + "// b\r", cpp},
      {"nul kept", "x\0;"s + spaces(30) + "// \0a\n"s, "x\0;"s + spaces(61) + "// \0a\n"s, cpp},
      {"moved left", "x;" + spaces(90) + "// a\n", "x;" + spaces(62) + "// a\n", cpp},
      {"small numbers", "ab;  // c\n", "ab;" + spaces(6) + "/* c   */\n", narrow},
      {"code after comment", "x;" + spaces(30) + "/* a */ y;\n",
       "x;" + spaces(30) + "/* a */ y;\n"},
      {"block spanning lines", "x;" + spaces(30) + "/* a\n b */\n",
       "x;" + spaces(30) + "/* a\n b */\n"},
      {"empty input", "", ""},
      // With -trail, a comment alone on its line stays where it is.
      {"trail: alone stays", spaces(30) + "// a\n\t" + spaces(30) + "/* b */\n",
       spaces(30) + "// a\n\t" + spaces(30) + "/* b */\n", trail},
      {"trail: after code moves", "x;" + spaces(30) + "// a\n", "x;" + spaces(62) + "// a\n",
       trail_cpp},
      {"trail: after a comment moves", "/* a */" + spaces(30) + "/* b */\n",
       "/* a */" + spaces(57) + "/* b" + spaces(40) + "*/\n", trail},
      // With tab stops, a tab takes the columns to the next stop.
      {"tabs: threshold", "\t\tx;\t// a\n", "\t\tx;\t// a\n"},
      {"tabs: past the threshold", "\t\tx;\t// a\n",
       "\t\tx;" + spaces(46) + "/* a" + spaces(40) + "*/\n", tabs8},
      {"tabs: line style", "\tx;\t\t\t// a\n", "\tx;" + spaces(54) + "// a\n", tabs8_cpp},
      {"tabs: below the threshold", "\tx;\t// a\n", "\tx;\t// a\n", tabs8},
      {"tabs: in the text", "x;\t\t\t\t// a\tb\n",
       "x;" + spaces(62) + "/* a\tb" + spaces(35) + "*/\n", tabs8},
      {"tabs: long code", std::string(8, '\t') + "x; // a\n",
       std::string(8, '\t') + "x;/* a" + spaces(38) + "*/\n", tabs8},
      {"tabs one: every byte a column", "\tx;" + spaces(30) + "// a\n",
       "\tx;" + spaces(61) + "// a\n", cpp},
      // UTF-8 characters take one column each.
      {"utf8: code and text",
       "s = \"\xc3\xa9t\xc3\xa9\";" + spaces(20) + "// \xe6\x97\xa5\xe6\x9c\xac\n",
       "s = \"\xc3\xa9t\xc3\xa9\";" + spaces(54) + "/* \xe6\x97\xa5\xe6\x9c\xac" + spaces(39) +
           "*/\n",
       utf8},
      {"bytes: code and text",
       "s = \"\xc3\xa9t\xc3\xa9\";" + spaces(20) + "// \xe6\x97\xa5\xe6\x9c\xac\n",
       "s = \"\xc3\xa9t\xc3\xa9\";" + spaces(52) + "/* \xe6\x97\xa5\xe6\x9c\xac" + spaces(35) +
           "*/\n"},
      // A rebuilt line that would read differently is left as it was.
      {"star slash in a line comment", "x;" + spaces(30) + "// a */ b\n",
       "x;" + spaces(30) + "// a */ b\n"},
      {"backslash ends a line comment", "x;" + spaces(30) + "/* a \\ */\n",
       "x;" + spaces(30) + "/* a \\ */\n", cpp},
      {"code glued to the marker", std::string(69, 'x') + "/ /* c */\n",
       std::string(69, 'x') + "/ /* c */\n"},
      {"string after a quote char", "c = '\"';\nu = \"http://x\";" + spaces(20) + "// q\n",
       "c = '\"';\nu = \"http://x\";" + spaces(49) + "// q\n", cpp},
      {"raw string over lines",
       "s = R\"(\n  x;" + spaces(30) + "// in\n)\";" + spaces(30) + "// q\n",
       "s = R\"(\n  x;" + spaces(30) + "// in\n)\";" + spaces(61) + "// q\n", cpp},
  };
  for (const LayoutCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(run_text(c.input, c.options), c.want);
  }
}

// A line of LINE_BUFFER_SIZE bytes or more is copied unchanged, however it is read, and the
// state after it is the state after the whole line: a "/*" far into it still opens a comment.
TEST(RunFile, LongLines) {
  const std::string tail = "x;" + spaces(30) + "// t\n";
  const std::string rebuilt_tail = "x;" + spaces(62) + "/* t" + spaces(40) + "*/\n";
  for (const std::size_t size : {LINE_BUFFER_SIZE - 1, LINE_BUFFER_SIZE, READ_BUFFER_SIZE - 1,
                                 READ_BUFFER_SIZE + 3, 3 * READ_BUFFER_SIZE}) {
    SCOPED_TRACE(size);
    const std::string commented = std::string(size - 35, 'a') + spaces(30) + "// t\n";
    const std::string got = run_text(commented + tail);
    if (size < LINE_BUFFER_SIZE) {
      EXPECT_EQ(got, std::string(size - 35, 'a') + "/* t*/\n" + rebuilt_tail);
    } else {
      EXPECT_EQ(got, commented + rebuilt_tail);
    }
    const std::string opening = std::string(size - 14, 'a') + " /* open    \n";
    const std::string input = opening + tail + "*/" + tail;  // NOLINT(performance-*)
    const std::string want = opening + tail + "*/x;" + spaces(60) + "/* t" + spaces(40) + "*/\n";
    EXPECT_EQ(run_text(input), want);
  }
}

// A block of lines repeated over several read buffers comes out as the block's own output
// repeated, wherever the buffer ends fall: inside lines, right after a newline, at the file's end.
TEST(RunFile, ManyBuffers) {
  const std::string block = "int a;" + spaces(30) + "// one\n" + "s = \"//\"; x = '\\'';\n" +
                            "/* open\n closed */ y;" + spaces(20) + "/* two */\n\n";
  const std::string block_out = run_text(block);
  ASSERT_NE(block_out, block);
  const std::size_t repeats = 3 * READ_BUFFER_SIZE / block.size() + 1;
  const std::size_t total = repeats * block.size();
  const std::size_t to_boundary = (READ_BUFFER_SIZE - total % READ_BUFFER_SIZE) % READ_BUFFER_SIZE;
  for (const std::size_t blank_lines : {std::size_t{0}, std::size_t{1}, std::size_t{7}, to_boundary,
                                        to_boundary + 1, to_boundary + READ_BUFFER_SIZE - 1}) {
    SCOPED_TRACE(blank_lines);
    std::string input(blank_lines, '\n');
    std::string want(blank_lines, '\n');
    for (std::size_t i = 0; i < repeats; ++i) {
      input += block;
      want += block_out;
    }
    EXPECT_EQ(run_text(input), want);
  }
}

TEST(RunFile, CheckStopsAtTheFirstChange) {
  struct Case {
    const char* name;
    std::string input;
    ResultCode want;
  };
  const Case cases[] = {
      {"nothing to move", "int x;\n/* a */\n" + spaces(10) + "// b\n", RC_OK},
      {"already aligned", "int x;" + spaces(58) + "/* a" + spaces(40) + "*/\n", RC_OK},
      {"one to move", "int x;\nint y;" + spaces(30) + "// a\n", RC_WOULD_CHANGE},
      {"left as it was", "x;" + spaces(30) + "// a */ b\n", RC_OK},
  };
  Options options;
  options.check = true;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Input in;
    Output out;
    in.fd = memory_file(c.input);
    out.fd = -1;
    out.discard = true;
    EXPECT_EQ(run_file(in, out, options), c.want);
    EXPECT_EQ(out.written, 0U);
    ::close(in.fd);
  }
}

TEST(RunFile, HugeColumns) {
  Options options;
  options.cpp_style = true;
  options.cpos = 3'000'000;
  const std::string got = run_text("x;" + spaces(40) + "// a\n", options);
  EXPECT_EQ(got, "x;" + spaces(3'000'000 - 3) + "// a\n");
}

}  // namespace
}  // namespace quillet
