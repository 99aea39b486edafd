#include "scanner/scanner.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace quillet {
namespace {

struct ScanCase {
  const char* name;
  std::string_view line;
  ScanState in = OK;
  ScanState want = OK;
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
    {.name = "comment opens", .line = "x = 1; /* a\n", .want = C___CM, .want_start = 9, .want_end = 11},
    {.name = "comment closes", .line = "b */ y; // z\n", .in = C___CM, .want_start = 10, .want_end = 12},
    {.name = "closes, then blank", .line = "b */  \n", .in = C___CM, .want_end = 2},
    {.name = "empty block", .line = "/**/\n", .want_start = 2, .want_end = 2},
    {.name = "star text", .line = "/***/\n", .want_start = 2, .want_end = 3},
    {.name = "stars before close", .line = "x; /* a **/\n", .want_start = 5, .want_end = 9},
    {.name = "last comment counts", .line = "/* a */ x; /* b */\n", .want_start = 13, .want_end = 16},
    {.name = "quote escape unknown", .line = "c = '\\'';\n", .want = IN_LIT},
    {.name = "either quote closes", .line = "s = \"a'; // x\n", .want_start = 11, .want_end = 13},
    {.name = "literal spans lines", .line = "b\"; // x\n", .in = IN_LIT, .want_start = 6, .want_end = 8},
    {.name = "slash before quote", .line = "x/'a'; // c\n", .want_start = 9, .want_end = 11},
    {.name = "comment inside block", .line = "a // b\n", .in = C___CM, .want = C___CM, .want_end = 6},
    {.name = "empty line", .line = ""},
    {.name = "blank line", .line = "  \n"},
    {.name = "marker without text", .line = "x = 1; //"},
    {.name = "marker alone, no newline", .line = "//", .want = ERROR, .fails = true},
    {.name = "last line keeps last char", .line = "x; // ab", .want_start = 5, .want_end = 8},
    {.name = "open star at end", .line = "/* a *", .want = ERROR, .fails = true},
    {.name = "star at end, no newline", .line = "a *", .in = C___CM, .want = PST_CM},
    {.name = "pending slash at end", .line = "x /", .want = PRE_CM},
    {.name = "close by first char", .line = "/\n", .in = PST_CM, .want = ERROR, .fails = true},
    {.name = "close then code", .line = "/x\n", .in = PST_CM},
    {.name = "error is sticky", .line = "x; // y\n", .in = ERROR, .want = ERROR, .fails = true},
    {.name = "unknown state", .line = "x\n", .in = NO_TRL, .want = ERROR, .fails = true},
    {.name = "error, empty line", .line = "", .in = ERROR, .want = ERROR},
    {.name = "cr lf", .line = "x;   // c\r\n", .want_start = 7, .want_end = 10},
    {.name = "nul is code", .line = std::string_view("x\0; // c\n", 9), .want_start = 6, .want_end = 8},
    {.name = "nul in comment", .line = std::string_view("x; // \0c\n", 9), .want_start = 5, .want_end = 8},
    {.name = "high bytes are code", .line = "\xc3\xa9 /* \xff */ \xa0\n"},
};
// clang-format on

TEST(ScanLine, Table) {
  for (const ScanCase& c : CASES) {
    SCOPED_TRACE(c.name);
    const ScanResult got = scan_line(c.line, {c.in, -7, -9});
    EXPECT_EQ(STATE_LABELS[got.state], STATE_LABELS[c.want]);
    EXPECT_EQ(got.comment_start, c.fails ? -7 : c.want_start);
    EXPECT_EQ(got.comment_end, c.fails ? -9 : c.want_end);
  }
}

// A line fed in pieces ends in the state the whole line gives.
TEST(ScanBytes, PiecesMatchWholeLine) {
  const std::string line = "a = 1; /* x */ b = '/'; // tail *\n";
  const ScanResult whole = scan_line(line, {});
  for (std::size_t cut = 0; cut <= line.size(); ++cut) {
    SCOPED_TRACE(cut);
    LineScan scan;
    scan_bytes(scan, std::string_view(line).substr(0, cut));
    scan_bytes(scan, std::string_view(line).substr(cut));
    const ScanResult pieces = end_line(scan, {});
    EXPECT_EQ(pieces.state, whole.state);
    EXPECT_EQ(pieces.comment_start, whole.comment_start);
    EXPECT_EQ(pieces.comment_end, whole.comment_end);
  }
}

TEST(StateLabels, SixCharactersEach) {
  EXPECT_EQ(STATE_LABELS[OK], "OK    ");
  EXPECT_EQ(STATE_LABELS[C___CM], "C___CM");
  EXPECT_EQ(STATE_LABELS[ERROR], "?ERROR");
  EXPECT_EQ(STATE_LABELS[12], "--13--");
  for (const std::string_view label : STATE_LABELS)
    EXPECT_EQ(label.size(), 6U);
}

TEST(IsSpace, SixCharacters) {
  int count = 0;
  for (int c = 0; c < 256; ++c)
    count += is_space(static_cast<unsigned char>(c)) ? 1 : 0;
  EXPECT_EQ(count, 6);
  EXPECT_TRUE(is_space(' '));
  EXPECT_TRUE(is_space('\v'));
  EXPECT_FALSE(is_space('\0'));
  EXPECT_FALSE(is_space(0xA0));
}

}  // namespace
}  // namespace quillet
