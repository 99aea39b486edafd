#include "rewrite/rewrite.h"

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

std::string run_text(std::string_view input, const LayoutOptions& layout = {}) {
  static Input in;
  static Output out;
  in = Input{};
  out = Output{};
  in.fd = memory_file(input);
  out.fd = memory_file("");
  EXPECT_EQ(rewrite_lines(in, &out, layout), RC_OK);
  EXPECT_TRUE(flush(out));
  std::string text = read_back(out.fd);
  ::close(in.fd);
  ::close(out.fd);
  return text;
}

std::string spaces(std::size_t n) { return std::string(n, ' '); }

// What the loop adds to the layout of one line: line ends, and state carried from line to line.
TEST(RewriteLines, Table) {
  struct Case {
    const char* name;
    std::string input;
    std::string want;
    LayoutOptions layout = {};
  };
  const LayoutOptions cpp{.cpp_style = true};
  const LayoutOptions trail{.trail = true};
  const Case cases[] = {
      {"empty input", "", ""},
      {"cr lf kept", "x;" + spaces(30) + "// a\r\ny;\r\n", "x;" + spaces(62) + "// a\r\ny;\r\n",
       cpp},
      // A carriage return that no newline follows ends a line, and stays its line end.
      {"lone cr ends a comment", "x;" + spaces(30) + "// a\ry;\n",
       "x;" + spaces(62) + "/* a" + spaces(40) + "*/\ry;\n"},
      {"lone cr, then a block comment", "x; // a\ry; /* b\nz;" + spaces(30) + "// c */\n",
       "x; // a\ry; /* b\nz;" + spaces(30) + "// c */\n"},
      {"lone cr lines", "x;" + spaces(30) + "// a\ry;" + spaces(30) + "/* b */\r",
       "x;" + spaces(62) + "// a\ry;" + spaces(62) + "// b\r", cpp},
      {"block spanning lines", "x;" + spaces(30) + "/* a\n b */\n",
       "x;" + spaces(30) + "/* a\n b */\n"},
      {"trail: alone stays", spaces(30) + "// a\n\t" + spaces(30) + "/* b */\n",
       spaces(30) + "// a\n\t" + spaces(30) + "/* b */\n", trail},
      {"string after a quote char", "c = '\"';\nu = \"http://x\";" + spaces(20) + "// q\n",
       "c = '\"';\nu = \"http://x\";" + spaces(49) + "// q\n", cpp},
      {"raw string over lines",
       "s = R\"(\n  x;" + spaces(30) + "// in\n)\";" + spaces(30) + "// q\n",
       "s = R\"(\n  x;" + spaces(30) + "// in\n)\";" + spaces(61) + "// q\n", cpp},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(run_text(c.input, c.layout), c.want);
  }
}

// A line of LINE_BUFFER_SIZE bytes or more is copied unchanged, however it is read, and the
// state after it is the state after the whole line: a "/*" far into it still opens a comment.
TEST(RewriteLines, LongLines) {
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

// A marker line too long to hold is still read as a marker, wherever the line is long: before
// the comment, in its blanks, or in its reason.
TEST(RewriteLines, LongMarkerLines) {
  struct Case {
    const char* name;
    std::string line;
    bool fences;
  };
  const std::string moves = "x;" + spaces(30) + "// a\n";
  const std::string moved = "x;" + spaces(62) + "/* a" + spaces(40) + "*/\n";
  for (const std::size_t size : {LINE_BUFFER_SIZE, READ_BUFFER_SIZE + 3, 3 * READ_BUFFER_SIZE}) {
    SCOPED_TRACE(size);
    const std::string reason(size, 'r');
    std::string code;
    while (code.size() < size)
      code += "1, ";
    const Case cases[] = {
        {"reason", "// clang-format off: " + reason + "\n", true},
        {"block, reason", "/* Quillet off: " + reason + " */\n", true},
        {"code before", "int t[] = {" + code + "  // clang-format off\n", true},
        {"blanks", "/*" + spaces(size) + "*INDENT-OFF*" + spaces(size) + "*/\r\n", true},
        {"a star in the text", "/* clang-format off * " + reason + " */\n", false},
        {"no colon", "// clang-format off " + reason + "\n", false},
    };
    for (const Case& c : cases) {
      SCOPED_TRACE(c.name);
      const std::string input =
          c.line + moves + "// quillet on\n" + moves;  // NOLINT(performance-*)
      EXPECT_TRUE(run_text(input) ==
                  c.line + (c.fences ? moves : moved) + "// quillet on\n" + moved);
    }
    const std::string on = "/* clang-format on: " + reason + " */\n";
    EXPECT_TRUE(run_text("// quillet off\n" + moves + on + moves) ==
                "// quillet off\n" + moves + on + moved);
  }
}

// A block of lines repeated over several read buffers comes out as the block's own output
// repeated, wherever the buffer ends fall: inside lines, right after a newline, at the file's end.
TEST(RewriteLines, ManyBuffers) {
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

// Without an output the loop only looks, and stops at the first line that would change: the rest
// of a long input is never read.
TEST(RewriteLines, CheckStopsAtTheFirstChange) {
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
  const std::string rest(3 * READ_BUFFER_SIZE, '\n');
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Input in;
    in.fd = memory_file(c.input + rest);
    EXPECT_EQ(rewrite_lines(in, nullptr, LayoutOptions{}), c.want);
    EXPECT_EQ(in.at_end, c.want == RC_OK);
    ::close(in.fd);
  }
}

// Line numbers hold wherever the read buffer ends fall, after a line too long to hold, and
// across carriage returns alone (which end no line as a diff counts them).
TEST(RewriteLines, RangesFarIn) {
  const std::string moves = "x;" + spaces(30) + "// a\n";
  const std::string moved = "x;" + spaces(62) + "/* a" + spaces(40) + "*/\n";
  const std::string filler(READ_BUFFER_SIZE + 100, '\n');  // lines 1 to READ_BUFFER_SIZE + 100
  const std::string long_line = std::string(LINE_BUFFER_SIZE + 10, 'y') + "\n";
  const std::string input = filler + moves + long_line + "p;\rq;\n" + moves + moves;
  const std::uint64_t first = READ_BUFFER_SIZE + 101;  // the first `moves`
  for (const std::uint64_t asked : {first, first + 3}) {
    SCOPED_TRACE(asked);
    LineRanges lines;
    lines.add({asked, asked});
    static Input in;
    static Output out;
    in = Input{};
    out = Output{};
    in.fd = memory_file(input);
    out.fd = memory_file("");
    EXPECT_EQ(rewrite_lines(in, &out, LayoutOptions{}, &lines), RC_OK);
    EXPECT_TRUE(flush(out));
    const std::string want = asked == first
                                 ? filler + moved + long_line + "p;\rq;\n" + moves + moves
                                 : filler + moves + long_line + "p;\rq;\n" + moved + moves;
    EXPECT_TRUE(read_back(out.fd) == want);
    ::close(in.fd);
    ::close(out.fd);
  }
}

TEST(RewriteLines, HugeColumns) {
  const LayoutOptions layout{.cpos = 3'000'000, .cpp_style = true};
  const std::string got = run_text("x;" + spaces(40) + "// a\n", layout);
  EXPECT_EQ(got, "x;" + spaces(3'000'000 - 3) + "// a\n");
  EXPECT_TRUE(run_text("x;" + spaces(40) + "/**< a */\n", layout) ==
              "x;" + spaces(3'000'000 - 3) + "///< a\n");
}

}  // namespace
}  // namespace quillet
