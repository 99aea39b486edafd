#include "scanner/scanner.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace quillet {
namespace {

using namespace std::string_view_literals;

struct ScanCase {
  const char* name;
  std::string_view line;
  ScanState in = ScanState::OK;
  ScanState want = ScanState::OK;
  std::int32_t want_start = 0;
  std::int32_t want_end = 0;
  bool fails = false;  // the indexes handed in come back untouched
};

// clang-format off
constexpr ScanCase CASES[] = {
    {.name = "line comment", .line = "int x; // count\n", .want_start = 9, .want_end = 15},
    {.name = "block comment", .line = "int x; /* count */\n", .want_start = 9, .want_end = 16},
    {.name = "code after comment", .line = "/* c */ x = 1;\n"},
    {.name = "division is code", .line = "a = b / c; // q\n", .want_start = 13, .want_end = 15},
    {.name = "comment opens", .line = "x = 1; /* a\n", .want = ScanState::C___CM, .want_start = 9, .want_end = 11},
    {.name = "comment closes", .line = "b */ y; // z\n", .in = ScanState::C___CM, .want_start = 10, .want_end = 12},
    {.name = "closes, then blank", .line = "b */  \n", .in = ScanState::C___CM, .want_end = 2},
    {.name = "empty block", .line = "/**/\n", .want_start = 2, .want_end = 2},
    {.name = "star text", .line = "/***/\n", .want_start = 2, .want_end = 3},
    {.name = "slash star slash", .line = "/*/ x */\n", .want_start = 2, .want_end = 6},
    {.name = "stars before close", .line = "x; /* a **/\n", .want_start = 5, .want_end = 9},
    {.name = "last comment counts", .line = "/* a */ x; /* b */\n", .want_start = 13, .want_end = 16},
    {.name = "slash before quote", .line = "x/'a'; // c\n", .want_start = 9, .want_end = 11},
    {.name = "comment inside block", .line = "a // b\n", .in = ScanState::C___CM, .want = ScanState::C___CM, .want_end = 6},
    {.name = "empty line", .line = ""},
    {.name = "blank line", .line = "  \n"},
    {.name = "marker without text", .line = "x = 1; //"},
    {.name = "marker alone, no newline", .line = "//", .want = ScanState::ERROR, .fails = true},
    {.name = "last line keeps last char", .line = "x; // ab", .want_start = 5, .want_end = 8},
    {.name = "open star at end", .line = "/* a *", .want = ScanState::ERROR, .fails = true},
    {.name = "star at end, no newline", .line = "a *", .in = ScanState::C___CM, .want = ScanState::PST_CM},
    {.name = "pending slash at end", .line = "x /", .want = ScanState::PRE_CM},
    {.name = "slash from last line is code", .line = "  \n", .in = ScanState::PRE_CM},
    {.name = "slash from last line opens", .line = "/ c\n", .in = ScanState::PRE_CM, .want_start = 1, .want_end = 3},
    {.name = "star from last line closes", .line = "/x\n", .in = ScanState::PST_CM},
    {.name = "close by first char", .line = "/\n", .in = ScanState::PST_CM},
    {.name = "close by first char, cr lf", .line = "/ x; // c\r\n", .in = ScanState::PST_CM, .want_start = 7, .want_end = 10},
    {.name = "error is sticky", .line = "x; // y\n", .in = ScanState::ERROR, .want = ScanState::ERROR, .fails = true},
    {.name = "unknown state", .line = "x\n", .in = ScanState::NO_TRL, .want = ScanState::ERROR, .fails = true},
    {.name = "error, empty line", .line = "", .in = ScanState::ERROR, .want = ScanState::ERROR},
    {.name = "cr lf", .line = "x;   // c\r\n", .want_start = 7, .want_end = 10},
    {.name = "lone cr ends the line", .line = "x; // c\r", .want_start = 5, .want_end = 7},
    {.name = "lone cr ends a literal", .line = "s = \"a //\r", .want = ScanState::OK},
    {.name = "nul is code", .line = "x\0; // c\n"sv, .want_start = 6, .want_end = 8},
    {.name = "nul in comment", .line = "x; // \0c\n"sv, .want_start = 5, .want_end = 8},
    {.name = "high bytes are code", .line = "\xc3\xa9 /* \xff */ \xa0\n"},
};

// The literal rules of C and C++: what looks like a comment inside a literal is not one.
constexpr ScanCase LITERAL_CASES[] = {
    {.name = "double quote in char", .line = "c == '\"'; // q\n", .want_start = 12, .want_end = 14},
    {.name = "escaped double quote", .line = "s = \"\\\"\"; // q\n", .want_start = 12, .want_end = 14},
    {.name = "escaped single quote", .line = "c = '\\''; // q\n", .want_start = 12, .want_end = 14},
    {.name = "escaped backslash", .line = "s = \"\\\\\"; // q\n", .want_start = 12, .want_end = 14},
    {.name = "other quote inside", .line = "s = \"a'b\"; // q\n", .want_start = 13, .want_end = 15},
    {.name = "url in string", .line = "u = \"http://x\";  /* q */\n", .want_start = 19, .want_end = 22},
    {.name = "comment opener in string", .line = "s = \"/*\"; // q\n", .want_start = 12, .want_end = 14},
    {.name = "unterminated ends with line", .line = "#error don't // q\n"},
    {.name = "unterminated, next line plain", .line = "x; // q\n", .want_start = 5, .want_end = 7},
    {.name = "digit separators", .line = "n = 1'000'000; // q\n", .want_start = 17, .want_end = 19},
    {.name = "hex separator", .line = "n = 0xFF'FF; // q\n", .want_start = 15, .want_end = 17},
    {.name = "binary separator", .line = "n = 0b1010'1010; // q\n", .want_start = 19, .want_end = 21},
    {.name = "fraction separator", .line = "d = .5'0 + 1e1'0; // q\n", .want_start = 20, .want_end = 22},
    {.name = "name then char", .line = "f(x,'/'); // q\n", .want_start = 12, .want_end = 14},
    {.name = "u8 char prefix", .line = "c = u8'/'; // q\n", .want_start = 13, .want_end = 15},
    {.name = "wide char prefix", .line = "c = L'\"'; // q\n", .want_start = 12, .want_end = 14},
    {.name = "number then name", .line = "c = a1'/'; // q\n", .want_start = 13, .want_end = 15},
    {.name = "raw string", .line = "s = R\"(a // b)\"; // q\n", .want_start = 19, .want_end = 21},
    {.name = "raw string, quotes inside", .line = "s = R\"x(\")\" )x\"; // q\n", .want_start = 19, .want_end = 21},
    {.name = "raw string, prefixes", .line = "s = u8R\"(//)\" LR\"(\")\"; // q\n", .want_start = 25, .want_end = 27},
    {.name = "raw string opens", .line = "s = R\"--(a\n", .want = ScanState::IN_LIT},
    {.name = "not a raw prefix", .line = "s = xR\"(\" // q\n", .want_start = 12, .want_end = 14},
    {.name = "bad delimiter", .line = "s = R\"a b\" // q\n"},
    {.name = "line comment spliced", .line = "x; // q \\\n", .want = ScanState::CPP_CM},
    {.name = "splice after blanks", .line = "x; // q \\ \t\r\n", .want = ScanState::CPP_CM},
    {.name = "splice before a lone cr", .line = "x; // q \\\r", .want = ScanState::CPP_CM},
    {.name = "trigraph splice", .line = "x; // q ?\?/ \n", .want = ScanState::CPP_CM},
    {.name = "trigraph splice, cr lf", .line = "x; /* q ?\?/\r\n", .want = ScanState::C___CM},
    {.name = "spliced line comment goes on", .line = "y; // still\n", .in = ScanState::CPP_CM, .want_end = 11},
    {.name = "string spliced", .line = "s = \"a\\\n", .want = ScanState::IN_LIT},
    {.name = "code spliced", .line = "x; /* q */ \\\n"},
    {.name = "backslash mid-line", .line = "x; // a \\ b\n", .want_start = 5, .want_end = 11},
};
// clang-format on

void check(const ScanCase& c) {
  SCOPED_TRACE(c.name);
  const ScanResult got = scan_line(c.line, {LexState{c.in}, -7, -9});
  EXPECT_EQ(label_of(got.state.code), label_of(c.want));
  EXPECT_EQ(got.comment_start, c.fails ? -7 : c.want_start);
  EXPECT_EQ(got.comment_end, c.fails ? -9 : c.want_end);
}

TEST(ScanLine, Table) {
  for (const ScanCase& c : CASES)
    check(c);
}

TEST(ScanLine, LiteralRules) {
  for (const ScanCase& c : LITERAL_CASES)
    check(c);
}

// Scans `lines` in a row; returns the result of the last.
ScanResult scan_lines(std::initializer_list<std::string_view> lines) {
  ScanResult carried;
  for (const std::string_view line : lines)
    carried = scan_line(line, carried);
  return carried;
}

TEST(ScanLine, StateAcrossLines) {
  struct Case {
    const char* name;
    std::initializer_list<std::string_view> lines;
    ScanState want;
    std::int32_t want_start;
  };
  // clang-format off
  const Case cases[] = {
      {"raw string spans lines", {"s = R\"(\n", "// not a comment \" )\"\n", "x; // q\n"}, ScanState::OK, 5},
      {"raw string keeps backslash", {"s = R\"(a\\\n", ")\"; // q\n"}, ScanState::OK, 6},
      {"raw delimiter must match", {"s = R\"ab(\n", ")a\" )b\" // no\n", ")ab\"; // q\n"}, ScanState::OK, 8},
      {"spliced string goes on", {"s = \"a\\\n", "b // c\"; // q\n"}, ScanState::OK, 11},
      {"spliced escape waits", {"s = \"a\\\\\n", "\" // c\"; // q\n"}, ScanState::OK, 11},
      {"unterminated char ends", {"#error don't\n", "x; // q\n"}, ScanState::OK, 5},
      {"char with double quote", {"c = '\"';\n", "u = \"http://x\"; // q\n"}, ScanState::OK, 18},
      {"spliced comment ends", {"// a \\\n", "b\n", "x; // q\n"}, ScanState::OK, 5},
      {"slash spliced to slash", {"x /\\\n", "/ q\n"}, ScanState::OK, 1},
      {"star spliced to slash closes", {"/* a *\\\n", "/\n", "x; // q\n"}, ScanState::OK, 5},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const ScanResult got = scan_lines(c.lines);
    EXPECT_EQ(label_of(got.state.code), label_of(c.want));
    EXPECT_EQ(got.comment_start, c.want_start);
  }
}

// A line fed in pieces cut where tokens end gives what the whole line gives.
TEST(ScanBytes, PiecesMatchWholeLine) {
  const std::string lines[] = {
      "a = 1; /* x */ b = '/'; // tail *\n",
      "s = R\"ab(x)a\" )ab\"; n = 1'000; c = u8'\"'; /* q */\n",
      "s = \"a\\\"b\"; x = y / z; // q \\\n",
  };
  for (const std::string& line : lines) {
    const ScanResult whole = scan_line(line, {});
    for (std::size_t cut = 0; cut <= line.size(); ++cut) {
      if (cut > 0 && !is_piece_end(static_cast<unsigned char>(line[cut - 1]))) continue;
      SCOPED_TRACE(line.substr(0, cut));
      LineScan scan = begin_line({});
      scan_bytes(scan, std::string_view(line).substr(0, cut));
      const ScanResult pieces = end_line(scan, std::string_view(line).substr(cut), {});
      EXPECT_EQ(pieces.state, whole.state);
      EXPECT_EQ(pieces.comment_start, whole.comment_start);
      EXPECT_EQ(pieces.comment_end, whole.comment_end);
    }
  }
}

// Whole lines that cannot change and leave the state as it was are skipped; the first line that
// the scanner has to read stops the skip, in the thirty-two-byte loop as in the byte loop after
// it. In code, the bytes of that line before its first stop are known to be clear.
TEST(SkipQuietLines, Table) {
  struct Case {
    const char* name;
    std::string text;
    ScanState state;
    std::size_t length;
    std::size_t clear;
  };
  std::string lines;
  for (int i = 0; i < 40; ++i)
    lines += "int x;\n";
  const Case cases[] = {
      {"code, then a slash", "a\nb\n/x\n", ScanState::OK, 4, 0},
      {"code, then a quote", "a\n\"s\"\n", ScanState::OK, 2, 0},
      {"code, then an apostrophe", "a;\nc='x';\n", ScanState::OK, 3, 2},
      {"no newline yet", "abc", ScanState::OK, 0, 3},
      {"many lines, then a slash", lines + "a / b;\n", ScanState::OK, lines.size(), 2},
      {"many lines, slash far in", lines + std::string(50, ' ') + "/", ScanState::OK, lines.size(),
       50},
      {"many lines, no stop", lines + std::string(50, ' '), ScanState::OK, lines.size(), 50},
      {"slash in the first step", "int a; // note\n" + lines, ScanState::OK, 0, 7},
      {"backslash in code", "#define A \\\n  1\n\"", ScanState::OK, 16, 0},
      {"inside a comment", " * x\n * y\n */\n", ScanState::C___CM, 10, 0},
      {"comment, continued", " * x \\\n y\n", ScanState::C___CM, 0, 0},
      {"comment, blank at the end", " * x \n * y\n", ScanState::C___CM, 0, 0},
      {"comment, many lines", lines + " */", ScanState::C___CM, lines.size(), 0},
      {"comment, backslash far in", lines + "x\\\n", ScanState::C___CM, lines.size(), 0},
      {"comment, backslash early in many", "a\n b \\\n" + lines, ScanState::C___CM, 2, 0},
      {"code, quote early in many", "a\n b '\n" + lines, ScanState::OK, 2, 3},
      {"inside a literal", "abc\n", ScanState::IN_LIT, 0, 0},
      {"inside a line comment", "abc\n", ScanState::CPP_CM, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const QuietRun run = skip_quiet_lines(c.text, c.state);
    EXPECT_EQ(run.length, c.length);
    EXPECT_EQ(run.clear, c.clear);
  }
}

// Every position of the byte sought, before, across and after sixteen-byte steps, from every
// starting point.
TEST(FindFirst, EveryPosition) {
  for (std::size_t size = 0; size <= 40; ++size) {
    for (std::size_t at = 0; at <= size; ++at) {
      std::string text(size, 'x');
      if (at < size) text[at] = '"';
      for (std::size_t from = 0; from <= size; ++from) {
        const std::size_t want = from <= at ? at : size;
        ASSERT_EQ(find_first(text, from, '/', '"', '\''), want) << size << " " << at << " " << from;
      }
    }
  }
}

TEST(IsSpace, SixCharacters) {
  int count = 0;
  for (int c = 0; c < 256; ++c)
    count += is_space(static_cast<unsigned char>(c)) ? 1 : 0;
  EXPECT_EQ(count, 6);
  EXPECT_FALSE(is_space('\0'));
  EXPECT_FALSE(is_space(0xA0));
}

}  // namespace
}  // namespace quillet
