#include "rewrite/rewrite.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <utility>

#include "rewrite/groups.h"
#include "test_files.h"

namespace quillet {
namespace {

using namespace std::string_literals;

std::string run_text(std::string_view input, const LayoutOptions& layout = {},
                     const LineRanges* lines = nullptr) {
  static Input in;
  static Output out;
  in = Input{};
  out = Output{};
  in.file = memory_file(input);
  out.file = memory_file("");
  EXPECT_TRUE(in.file.is_open() && out.file.is_open());
  EXPECT_EQ(rewrite_lines(in, &out, layout, lines), RC_OK);
  EXPECT_TRUE(flush(out));
  return read_back(out.file);
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
  const LayoutOptions trail_cpp{.cpp_style = true, .trail = true};
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
      // A comment alone on its line continues the one above where it stood, or where it goes.
      {"trail: a continuation moves", "x;" + spaces(30) + "// a\n" + spaces(32) + "// b\n",
       "x;" + spaces(62) + "// a\n" + spaces(64) + "// b\n", trail_cpp},
      {"trail: continues where it goes", "x;" + spaces(30) + "// a\n" + spaces(64) + "// b\n",
       "x;" + spaces(62) + "/* a" + spaces(40) + "*/\n" + spaces(64) + "/* b" + spaces(40) + "*/\n",
       trail},
      {"trail: a line between", "x;" + spaces(30) + "// a\ny;\n" + spaces(32) + "// b\n",
       "x;" + spaces(62) + "// a\ny;\n" + spaces(32) + "// b\n", trail_cpp},
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

// `code`, blanks, and `comment` with its marker at `column`, and a newline.
std::string at(const std::string& code, std::size_t column, std::string_view comment) {
  return code + spaces(column - 1 - code.size()) + std::string(comment) + "\n";
}

// Which lines make a group and where each goes: text in, text out, and a second run changes
// nothing.
TEST(RewriteLines, Groups) {
  struct Case {
    const char* name;
    std::string input;
    std::string want;
    LayoutOptions layout;
  };
  constexpr LayoutOptions GROUP{.cpp_style = true, .align = Align::GROUP};
  constexpr LayoutOptions TRAIL{.cpp_style = true, .trail = true, .align = Align::GROUP};
  constexpr LayoutOptions TABS{.cpp_style = true, .tabs = 8, .align = Align::GROUP};
  const std::string c12(12, 'c'), c30(30, 'c'), c40(40, 'c'), c50(50, 'c');
  const std::string a = at(c30, 40, "// a"), b = at(c40, 50, "// b");
  std::string cut, cut_out;  // a group cut after MAX_GROUP_LINES lines
  for (std::size_t i = 0; i < MAX_GROUP_LINES; ++i) {
    cut += a;
    cut_out += at(c30, 32, "// a");
  }
  std::string big;  // more than MAX_GROUP_BYTES: let go
  while (big.size() <= MAX_GROUP_BYTES)
    big += at(c30, 40, "// " + std::string(150, 't'));
  const std::string huge = "// " + std::string(LINE_BUFFER_SIZE - 53, 'h');
  const Case cases[] = {
      {"past the widest code part", a + b + at(c12, 45, "// c"),
       at(c30, 42, "// a") + at(c40, 42, "// b") + at(c12, 42, "// c"), GROUP},
      {"column: cpos",
       a + b,
       at(c30, 65, "// a") + at(c40, 65, "// b"),
       {.cpp_style = true, .align = Align::COLUMN}},
      {"gap 4",
       a + b,
       at(c30, 45, "// a") + at(c40, 45, "// b"),
       {.cpp_style = true, .align = Align::GROUP, .gap = 4}},
      {"never left of the threshold", at("x;", 40, "// a"), at("x;", 25, "// a"), GROUP},
      {"a span line does not widen", a + c50 + "\n" + b,
       at(c30, 42, "// a") + c50 + "\n" + at(c40, 42, "// b"), GROUP},
      {"span 0",
       a + c50 + "\n" + b,
       at(c30, 32, "// a") + c50 + "\n" + at(c40, 42, "// b"),
       {.cpp_style = true, .align = Align::GROUP, .span = 0}},
      {"two lines end a group", a + "x;\ny;\n" + b,
       at(c30, 32, "// a") + "x;\ny;\n" + at(c40, 42, "// b"), GROUP},
      {"span 2",
       a + "x;\ny;\n" + b,
       at(c30, 42, "// a") + "x;\ny;\n" + at(c40, 42, "// b"),
       {.cpp_style = true, .align = Align::GROUP, .span = 2}},
      {"a blank line ends a group", a + " \t\r\n" + b,
       at(c30, 32, "// a") + " \t\r\n" + at(c40, 42, "// b"), GROUP},
      {"regions end groups and stay", a + "// quillet off\n" + b + "// quillet on\n" + b,
       at(c30, 32, "// a") + "// quillet off\n" + b + "// quillet on\n" + at(c40, 42, "// b"),
       GROUP},
      {"a continuation moves with its group", a + at("", 40, "// a2") + b,
       at(c30, 42, "// a") + at(" ", 42, "// a2") + at(c40, 42, "// b"), TRAIL},
      {"continues where the line above goes", a + at("", 42, "// a2") + b,
       at(c30, 42, "// a") + at(" ", 42, "// a2") + at(c40, 42, "// b"), TRAIL},
      {"-trail: alone elsewhere stays", a + at("", 44, "// x") + b,
       at(c30, 42, "// a") + at("", 44, "// x") + at(c40, 42, "// b"), TRAIL},
      {"alone is a member without -trail", a + at("", 44, "// x"),
       at(c30, 32, "// a") + at(" ", 32, "// x"), GROUP},
      {"keep: one column stays as it is",
       at(c30, 45, "// a") + at(c40, 45, "/* b */"),
       at(c30, 45, "// a") + at(c40, 45, "/* b */"),
       {.align = Align::KEEP}},
      {"keep: otherwise a group",
       a + b,
       at(c30, 42, "// a") + at(c40, 42, "// b"),
       {.cpp_style = true, .align = Align::KEEP}},
      {"asis, cr lf",
       at(c30, 40, "/* a */ ").substr(0, 47) + "\r\n" + b,
       at(c30, 42, "/* a */ ").substr(0, 49) + "\r\n" + at(c40, 42, "// b"),
       {.align = Align::GROUP, .asis = true}},
      {"tabs", "\tint a;\t\t// a\n\tx;\t\t\t// b\n",
       "\tint a;" + spaces(10) + "// a\n\tx;" + spaces(14) + "// b\n", TABS},
      {"pad tabs",
       "\tint a;\t\t// a\n\tx;\t\t\t// b\n",
       "\tint a;\t\t// a\n\tx;\t\t// b\n",
       {.cpp_style = true, .tabs = 8, .align = Align::GROUP, .pad_tabs = true}},
      {"utf8",
       "s=\"\xc3\xa9\";" + spaces(20) + "// a\n" + a,
       "s=\"\xc3\xa9\";" + spaces(25) + "// a\n" + at(c30, 32, "// a"),
       {.cpp_style = true, .utf8 = true, .align = Align::GROUP}},
      {"a kept line widens nothing",
       a + at(c50, 60, "// x */ y"),
       at(c30, 32, "/* a" + spaces(40) + "*/") + at(c50, 60, "// x */ y"),
       {.align = Align::GROUP}},
      {"a long line ends a group", a + std::string(LINE_BUFFER_SIZE, 'y') + "\n" + b,
       at(c30, 32, "// a") + std::string(LINE_BUFFER_SIZE, 'y') + "\n" + at(c40, 42, "// b"),
       GROUP},
      {"a line that would grow too long stays", at(c30, 40, huge) + at(c50, 60, "// b"),
       at(c30, 40, huge) + at(c50, 52, "// b"), GROUP},
      {"cut after its most lines", cut + b, cut_out + at(c40, 42, "// b"), GROUP},
      {"too many bytes: let go", big + "\n" + a, big + "\n" + at(c30, 32, "// a"), GROUP},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string once = run_text(c.input, c.layout);
    EXPECT_TRUE(once == c.want) << once;
    EXPECT_TRUE(run_text(once, c.layout) == once) << "a second run";
  }
}

// A group is laid out whole when one of its lines is asked for, and not at all otherwise.
TEST(RewriteLines, GroupsInRanges) {
  const std::string a = at(std::string(30, 'c'), 40, "// a");
  const std::string moved = at(std::string(30, 'c'), 32, "// a");
  // Lines 1 to 3, then 4 and 5.
  const std::string input = a + "x;\n" + a + "\n" + a;          // NOLINT(performance-*)
  const std::string first = moved + "x;\n" + moved + "\n" + a;  // NOLINT(performance-*)
  const std::string second = a + "x;\n" + a + "\n" + moved;     // NOLINT(performance-*)
  const LayoutOptions group{.cpp_style = true, .align = Align::GROUP};
  for (const auto& [range, want] :
       {std::pair{LineRange{2, 2}, first}, std::pair{LineRange{4, 4}, input},
        std::pair{LineRange{5, 9}, second}}) {
    LineRanges lines;
    lines.add(range);
    EXPECT_EQ(run_text(input, group, &lines), want) << range.first;
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
// repeated, wherever the buffer ends fall: inside lines, right after a newline, at the file's end;
// a group held too, with its span lines.
TEST(RewriteLines, ManyBuffers) {
  const std::string block = "int a;" + spaces(30) + "// one\n" + "s = \"//\"; x = '\\'';\n" +
                            "/* open\n closed */ y;" + spaces(20) + "/* two */\n\n";
  for (const LayoutOptions& layout :
       {LayoutOptions{}, LayoutOptions{.align = Align::GROUP, .span = 2, .asis = true},
        LayoutOptions{.align = Align::COLUMN, .span = 2}}) {
    const std::string block_out = run_text(block, layout);
    ASSERT_NE(block_out, block);
    const std::size_t repeats = 3 * READ_BUFFER_SIZE / block.size() + 1;
    const std::size_t total = repeats * block.size();
    const std::size_t to_boundary =
        (READ_BUFFER_SIZE - total % READ_BUFFER_SIZE) % READ_BUFFER_SIZE;
    for (const std::size_t blank_lines :
         {std::size_t{0}, std::size_t{1}, std::size_t{7}, to_boundary, to_boundary + 1,
          to_boundary + READ_BUFFER_SIZE - 1}) {
      SCOPED_TRACE(blank_lines);
      std::string input(blank_lines, '\n');
      std::string want(blank_lines, '\n');
      for (std::size_t i = 0; i < repeats; ++i) {
        input += block;
        want += block_out;
      }
      EXPECT_TRUE(run_text(input, layout) == want);
    }
  }
}

// Without an output the loop only looks, and stops at the first line that would change: the rest
// of a long input is never read.
TEST(RewriteLines, CheckStopsAtTheFirstChange) {
  struct Case {
    const char* name;
    std::string input;
    ResultCode want;
    LayoutOptions layout = {};
  };
  const std::string c30(30, 'c'), c40(40, 'c');
  const Case cases[] = {
      {"nothing to move", "int x;\n/* a */\n" + spaces(10) + "// b\n", RC_OK},
      {"already aligned", "int x;" + spaces(58) + "/* a" + spaces(40) + "*/\n", RC_OK},
      {"one to move", "int x;\nint y;" + spaces(30) + "// a\n", RC_WOULD_CHANGE},
      {"left as it was", "x;" + spaces(30) + "// a */ b\n", RC_OK},
      {"keep: a group at one column",
       at(c30, 45, "// a") + at(c40, 45, "// b"),
       RC_OK,
       {.align = Align::KEEP}},
      {"keep: a group to move",
       at(c30, 45, "// a") + at(c40, 46, "// b"),
       RC_WOULD_CHANGE,
       {.align = Align::KEEP}},
  };
  const std::string rest(3 * READ_BUFFER_SIZE, '\n');
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Input in;
    in.file = memory_file(c.input + rest);
    EXPECT_EQ(rewrite_lines(in, nullptr, c.layout), c.want);
    EXPECT_EQ(in.at_end, c.want == RC_OK);
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
    in.file = memory_file(input);
    out.file = memory_file("");
    EXPECT_EQ(rewrite_lines(in, &out, LayoutOptions{}, &lines), RC_OK);
    EXPECT_TRUE(flush(out));
    const std::string want = asked == first
                                 ? filler + moved + long_line + "p;\rq;\n" + moves + moves
                                 : filler + moves + long_line + "p;\rq;\n" + moved + moves;
    EXPECT_TRUE(read_back(out.file) == want);
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
