#include "cli/options.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <initializer_list>
#include <string>
#include <vector>

#include "test_files.h"

namespace quillet {
namespace {

struct Parsed {
  ResultCode rc;
  Options options;
  std::string printed;
};

Parsed parse(std::initializer_list<const char*> args) {
  std::vector<const char*> argv = {"quillet"};
  argv.insert(argv.end(), args.begin(), args.end());
  std::FILE* out = std::tmpfile();
  Parsed parsed{RC_OK, Options{}, ""};
  parsed.rc =
      parse_command_line(static_cast<int>(argv.size()), argv.data(), parsed.options, out, out);
  parsed.printed = read_and_close(out);
  return parsed;
}

std::string help_text() {
  std::FILE* out = std::tmpfile();
  print_help(out);
  return read_and_close(out);
}

struct ArgsCase {
  const char* name;
  std::initializer_list<const char*> args;
  ResultCode rc;
  std::int32_t th = DEFAULT_TH;
  std::int32_t cpos = DEFAULT_CPOS;
  std::int32_t csz = DEFAULT_CSZ;
  bool cpp_style = false;
  const char* input = nullptr;
  const char* output = nullptr;
  const char* printed = "";
  bool check = false;
  std::int32_t tabs = 1;
  bool utf8 = false;
};

constexpr const char* SAME = "? The output file cannot be the same as the input file\n";

// clang-format off
const ArgsCase CASES[] = {
    {.name = "in place", .args = {"-fi", "a.c"}, .rc = RC_IN_PLACE, .input = "a.c"},
    {.name = "two files", .args = {"-fi", "a.c", "-fo", "b.c"}, .rc = RC_OK, .input = "a.c", .output = "b.c"},
    {.name = "small th", .args = {"-fi", "a.c", "-th", "2"}, .rc = RC_IN_PLACE, .input = "a.c"},
    {.name = "four is allowed", .args = {"-fi", "a.c", "-th", "4", "-csz", "4"}, .rc = RC_IN_PLACE, .th = 4, .csz = 4, .input = "a.c"},
    {.name = "swap", .args = {"-fi", "a.c", "-th", "70", "-cpos", "30"}, .rc = RC_IN_PLACE, .th = 30, .cpos = 70, .input = "a.c"},
    {.name = "equal stay", .args = {"-fi", "a.c", "-th", "50", "-cpos", "50"}, .rc = RC_IN_PLACE, .th = 50, .cpos = 50, .input = "a.c"},
    {.name = "value is an option too", .args = {"-th", "-cpp", "-fi", "a.c"}, .rc = RC_IN_PLACE, .cpp_style = true, .input = "a.c"},
    {.name = "earlier option not retested", .args = {"-cpos", "-th", "10", "-fi", "a.c"}, .rc = RC_IN_PLACE, .input = "a.c"},
    {.name = "later option tested on value", .args = {"-th", "-cpos", "30", "-fi", "a.c"}, .rc = RC_IN_PLACE, .cpos = 30, .input = "a.c"},
    {.name = "input named -help", .args = {"-fi", "-help"}, .rc = RC_HELP},
    {.name = "same path", .args = {"-fi", "a.c", "-fo", "a.c"}, .rc = RC_SAME_FILE, .input = "a.c", .output = "a.c", .printed = SAME},
    {.name = "other spelling passes", .args = {"-fi", "a.c", "-fo", "./a.c"}, .rc = RC_OK, .input = "a.c", .output = "./a.c"},
    {.name = "no input", .args = {"-fo", "b.c"}, .rc = RC_NO_INPUT, .printed = "? No input file!\n"},
    {.name = "nothing useful", .args = {"x"}, .rc = RC_NO_INPUT, .printed = "? No input file!\n"},
    {.name = "any case", .args = {"-FI", "a.c", "-FO", "b.c", "-CPP", "-Cpos", "70"}, .rc = RC_OK, .cpos = 70, .cpp_style = true, .input = "a.c", .output = "b.c"},
    {.name = "whole argument only", .args = {"-fix", "a.c", "-cppx", "-fi", "b.c"}, .rc = RC_IN_PLACE, .input = "b.c"},
    {.name = "last value kept", .args = {"-fi", "a.c", "-fi", "b.c", "-csz", "9", "-csz", "10"}, .rc = RC_IN_PLACE, .csz = 10, .input = "b.c"},
    {.name = "empty output path", .args = {"-fi", "a.c", "-fo", ""}, .rc = RC_OK, .input = "a.c", .output = ""},
    {.name = "atoi rules", .args = {"-fi", "a", "-th", " \t+12abc", "-cpos", "-80", "-csz", "0x50"}, .rc = RC_IN_PLACE, .th = 12, .input = "a"},
    {.name = "largest number", .args = {"-fi", "a", "-csz", "2147483647"}, .rc = RC_IN_PLACE, .csz = 2147483647, .input = "a"},
    {.name = "too large a number", .args = {"-fi", "a", "-csz", "2147483648", "-cpos", "99999999999999999999"}, .rc = RC_IN_PLACE, .input = "a"},
    {.name = "value missing", .args = {"-fi", "a.c", "-th"}, .rc = RC_BAD_ARGUMENTS, .printed = "? Missing value for -th\n"},
    {.name = "value missing, as typed", .args = {"-th", "5", "-FO"}, .rc = RC_BAD_ARGUMENTS, .printed = "? Missing value for -FO\n"},
    {.name = "value that is the option", .args = {"-th", "-fi"}, .rc = RC_BAD_ARGUMENTS, .printed = "? Missing value for -fi\n"},
    {.name = "help first", .args = {"-help", "-th"}, .rc = RC_HELP},
    {.name = "standard streams", .args = {"-fi", "-", "-fo", "-"}, .rc = RC_OK, .input = "-", .output = "-"},
    {.name = "standard input alone", .args = {"-fi", "-"}, .rc = RC_OK, .input = "-", .output = "-"},
    {.name = "to standard output", .args = {"-fi", "a.c", "-fo", "-"}, .rc = RC_OK, .input = "a.c", .output = "-"},
    {.name = "new options", .args = {"-fi", "a", "-CHECK", "-Tabs", "8", "-utf8"}, .rc = RC_IN_PLACE, .input = "a", .check = true, .tabs = 8, .utf8 = true},
    {.name = "tabs range", .args = {"-fi", "a", "-tabs", "16"}, .rc = RC_IN_PLACE, .input = "a", .tabs = 16},
    {.name = "tabs too large", .args = {"-fi", "a", "-tabs", "17"}, .rc = RC_IN_PLACE, .input = "a"},
    {.name = "tabs zero", .args = {"-fi", "a", "-tabs", "0"}, .rc = RC_IN_PLACE, .input = "a"},
    {.name = "tabs overflow", .args = {"-fi", "a", "-tabs", "4294967304"}, .rc = RC_IN_PLACE, .input = "a"},
    {.name = "tabs after the seven", .args = {"-tabs", "-cpp", "-fi", "a"}, .rc = RC_IN_PLACE, .input = "a"},
    {.name = "seven before tabs", .args = {"-th", "-tabs", "4", "-fi", "a"}, .rc = RC_IN_PLACE, .input = "a", .tabs = 4},
    {.name = "tabs value missing", .args = {"-fi", "a", "-TABS"}, .rc = RC_BAD_ARGUMENTS, .printed = "? Missing value for -TABS\n"},
};
// clang-format on

TEST(ParseCommandLine, Table) {
  for (const ArgsCase& c : CASES) {
    SCOPED_TRACE(c.name);
    const Parsed got = parse(c.args);
    EXPECT_EQ(got.rc, c.rc);
    if (c.rc == RC_HELP) {
      EXPECT_EQ(got.printed, help_text());
      continue;
    }
    EXPECT_EQ(got.printed, c.printed);
    if (c.rc == RC_BAD_ARGUMENTS) continue;
    EXPECT_EQ(got.options.layout.th, c.th);
    EXPECT_EQ(got.options.layout.cpos, c.cpos);
    EXPECT_EQ(got.options.layout.csz, c.csz);
    EXPECT_EQ(got.options.layout.cpp_style, c.cpp_style);
    EXPECT_STREQ(got.options.input_file, c.input);
    EXPECT_STREQ(got.options.output_file, c.output);
    if (c.rc == RC_OK || c.rc == RC_IN_PLACE) {
      const Mode mode = c.check               ? Mode::CHECK
                        : c.output != nullptr ? Mode::TO_FILE
                                              : Mode::IN_PLACE;
      EXPECT_EQ(got.options.mode, mode);
    }
    EXPECT_EQ(got.options.layout.tabs, c.tabs);
    EXPECT_EQ(got.options.layout.utf8, c.utf8);
  }
}

// The layouts and their options; a word that names none, and tabs that cannot pad, are refused.
TEST(ParseCommandLine, Layouts) {
  struct Case {
    const char* name;
    std::initializer_list<const char*> args;
    ResultCode rc;
    LayoutOptions want = {};
    const char* printed = "";
  };
  constexpr const char* NO_STOPS = "? -pad tabs needs -tabs N, N from 2 to 16\n";
  // clang-format off
  const Case cases[] = {
      {"all of them", {"-fi", "a", "-ALIGN", "Keep", "-span", "3", "-gap", "2", "-asis", "-pad", "TABS", "-tabs", "4"}, RC_IN_PLACE,
       {.tabs = 4, .align = Align::KEEP, .span = 3, .gap = 2, .asis = true, .pad_tabs = true}},
      {"last word kept", {"-fi", "a", "-align", "group", "-align", "column", "-pad", "tabs", "-pad", "spaces"}, RC_IN_PLACE, {.align = Align::COLUMN}},
      {"span 0, small gap", {"-fi", "a", "-span", "0", "-gap", "0"}, RC_IN_PLACE, {.span = 0}},
      {"negative span", {"-fi", "a", "-span", "-2", "-gap", "-1"}, RC_IN_PLACE},
      {"unknown layout", {"-fi", "a", "-align", "left"}, RC_BAD_ARGUMENTS, {}, "? -align takes fixed, column, group or keep, not left\n"},
      {"unknown padding", {"-fi", "a", "-pad", "tab"}, RC_BAD_ARGUMENTS, {}, "? -pad takes tabs or spaces, not tab\n"},
      {"tabs pad with -tabs 1", {"-fi", "a", "-pad", "tabs", "-tabs", "1"}, RC_BAD_ARGUMENTS, {}, NO_STOPS},
      {"tabs pad, no settings", {"-fi", "a", "-pad", "tabs", "-noconf"}, RC_BAD_ARGUMENTS, {}, NO_STOPS},
      {"a settings file may give -tabs", {"-fi", "a", "-pad", "tabs"}, RC_IN_PLACE, {.pad_tabs = true}},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Parsed got = parse(c.args);
    EXPECT_EQ(got.rc, c.rc);
    EXPECT_EQ(got.printed, c.printed);
    if (c.rc == RC_BAD_ARGUMENTS) continue;
    const LayoutOptions& layout = got.options.layout;
    EXPECT_EQ(layout.tabs, c.want.tabs);
    EXPECT_EQ(layout.align, c.want.align);
    EXPECT_EQ(layout.span, c.want.span);
    EXPECT_EQ(layout.gap, c.want.gap);
    EXPECT_EQ(layout.asis, c.want.asis);
    EXPECT_EQ(layout.pad_tabs, c.want.pad_tabs);
  }
}

// With "-r", what no option takes names a file or directory, "-fi" one more, in order.
TEST(ParseCommandLine, TreeMode) {
  struct Case {
    const char* name;
    std::initializer_list<const char*> args;
    ResultCode rc;
    std::vector<std::string> paths;
    std::int32_t jobs = 0;
    const char* printed = "";
  };
  // clang-format off
  const Case cases[] = {
      {"paths in order", {"-r", "a", "-fi", "b", "-th", "30", "c"}, RC_IN_PLACE, {"a", "b", "c"}},
      {"a value is no path", {"-th", "-R", "x", "-j", "3"}, RC_IN_PLACE, {"x"}, 3},
      {"check", {"d", "-check", "-r", "-j", "x"}, RC_OK, {"d"}},
      {"output refused", {"-r", "-fo", "o", "d"}, RC_BAD_ARGUMENTS, {}, 0, "? -fo cannot be used with -r\n"},
      {"standard input refused", {"-r", "d", "-"}, RC_BAD_ARGUMENTS, {}, 0, "? Standard input cannot be used with -r\n"},
      {"nothing named", {"-r", "-nobak"}, RC_NO_INPUT, {}, 0, "? No input file!\n"},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Parsed got = parse(c.args);
    EXPECT_EQ(got.rc, c.rc);
    EXPECT_EQ(got.printed, c.printed);
    EXPECT_EQ(std::vector<std::string>(got.options.paths.begin(), got.options.paths.end()),
              c.paths);
    EXPECT_EQ(got.options.jobs, c.jobs);
  }
}

// Every option is taken with two dashes too, and keeps its place in the order of the tests.
TEST(ParseCommandLine, TwoDashes) {
  struct Case {
    const char* name;
    std::initializer_list<const char*> args;
    ResultCode rc;
    Mode mode;
    const char* input = nullptr;
    bool cpp_style = false;
  };
  // clang-format off
  const Case cases[] = {
      {"check", {"-fi", "a.c", "--check"}, RC_IN_PLACE, Mode::CHECK, "a.c"},
      {"any case", {"--FI", "a.c", "--Diff"}, RC_IN_PLACE, Mode::DIFF, "a.c"},
      {"a value tested on", {"--th", "--cpp", "-fi", "a.c"}, RC_IN_PLACE, Mode::IN_PLACE, "a.c", true},
      {"three dashes are none", {"-fi", "a.c", "---check", "--fix"}, RC_IN_PLACE, Mode::IN_PLACE, "a.c"},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Parsed got = parse(c.args);
    EXPECT_EQ(got.rc, c.rc);
    EXPECT_EQ(got.options.mode, c.mode);
    EXPECT_STREQ(got.options.input_file, c.input);
    EXPECT_EQ(got.options.layout.cpp_style, c.cpp_style);
  }
}

}  // namespace
}  // namespace quillet
