#include "layout/layout.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace quillet {
namespace {

using namespace std::string_literals;

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

// One line in, the line out: the whole decision for a line, without a file.
TEST(RebuildLine, Table) {
  struct Case {
    const char* name;
    std::string line;
    std::string want;
    LayoutOptions layout = {};
  };
  const LayoutOptions cpp{.cpp_style = true};
  const LayoutOptions narrow{.th = 4, .cpos = 10, .csz = 5};
  const LayoutOptions tabs8{.tabs = 8};
  const LayoutOptions tabs8_cpp{.cpp_style = true, .tabs = 8};
  const LayoutOptions utf8{.utf8 = true};
  const LayoutOptions trail{.trail = true};
  const LayoutOptions trail_cpp{.cpp_style = true, .trail = true};
  const LayoutOptions gap1{.gap = 1};
  const LayoutOptions gap2_cpp{.cpp_style = true, .gap = 2};
  const LayoutOptions asis{.asis = true};
  const LayoutOptions pad_tabs{.cpp_style = true, .tabs = 8, .pad_tabs = true};
  const LayoutOptions pad_tabs63{.cpos = 63, .cpp_style = true, .tabs = 8, .pad_tabs = true};
  const LayoutOptions pad_tabs_asis{.tabs = 8, .asis = true, .pad_tabs = true};
  const std::string count = "    int count;" + spaces(18) + "// number of items";
  const std::string code70(70, 'x');
  const Case cases[] = {
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
      {"lone cr ends the line", "x;" + spaces(30) + "// a\r",
       "x;" + spaces(62) + "/* a" + spaces(40) + "*/\r"},
      {"nul kept", "x\0;"s + spaces(30) + "// \0a\n"s, "x\0;"s + spaces(61) + "// \0a\n"s, cpp},
      {"moved left", "x;" + spaces(90) + "// a\n", "x;" + spaces(62) + "// a\n", cpp},
      {"small numbers", "ab;  // c\n", "ab;" + spaces(6) + "/* c   */\n", narrow},
      {"code after comment", "x;" + spaces(30) + "/* a */ y;\n",
       "x;" + spaces(30) + "/* a */ y;\n"},
      {"block left open", "x;" + spaces(30) + "/* a\n", "x;" + spaces(30) + "/* a\n"},
      // With -trail, a comment alone on its line stays where it is.
      {"trail: alone stays", spaces(30) + "// a\n", spaces(30) + "// a\n", trail},
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
      // The threshold counts columns as the padding does: the marker stands at column 23 here.
      {"utf8: threshold", "s=\"\xc3\xa9\xc3\xa9\";" + spaces(15) + "// a\n",
       "s=\"\xc3\xa9\xc3\xa9\";" + spaces(15) + "// a\n", utf8},
      {"bytes: threshold", "s=\"\xc3\xa9\xc3\xa9\";" + spaces(15) + "// a\n",
       "s=\"\xc3\xa9\xc3\xa9\";" + spaces(55) + "/* a" + spaces(40) + "*/\n"},
      // A rebuilt line that would read differently is left as it was.
      {"star slash in a line comment", "x;" + spaces(30) + "// a */ b\n",
       "x;" + spaces(30) + "// a */ b\n"},
      {"slash star in a line comment", "x;" + spaces(30) + "// a /* b\n",
       "x;" + spaces(30) + "// a /* b\n"},
      {"slash star stays a line comment", "x;" + spaces(30) + "// a /* b\n",
       "x;" + spaces(62) + "// a /* b\n", cpp},
      {"backslash ends a line comment", "x;" + spaces(30) + "/* a \\ */\n",
       "x;" + spaces(30) + "/* a \\ */\n", cpp},
      {"code glued to the marker", std::string(69, 'x') + "/ /* c */\n",
       std::string(69, 'x') + "/ /* c */\n"},
      // Documentation stays documentation, and a plain comment plain, in the other style.
      {"member doc to block", "x;" + spaces(30) + "///< the count\n",
       "x;" + spaces(62) + "/**< the count" + spaces(30) + "*/\n"},
      {"member doc to line", "x;" + spaces(30) + "/**< the rest */\n",
       "x;" + spaces(62) + "///< the rest\n", cpp},
      {"bang member doc to block", "x;" + spaces(30) + "//!< the count\n",
       "x;" + spaces(62) + "/*!< the count" + spaces(30) + "*/\n"},
      {"bang member doc to line", "x;" + spaces(30) + "/*!< the rest */\n",
       "x;" + spaces(62) + "//!< the rest\n", cpp},
      {"doc to block, no room", std::string(120, 'y') + " ///\n",
       std::string(120, 'y') + "/***/\n"},
      {"plain line comment, star first", "x;" + spaces(30) + "//* a\n",
       "x;" + spaces(30) + "//* a\n"},
      {"plain block comment, slash first", "x;" + spaces(30) + "/*/ a */\n",
       "x;" + spaces(30) + "/*/ a */\n", cpp},
      {"four slashes: doc to some tools", "x;" + spaces(30) + "//// a\n",
       "x;" + spaces(30) + "//// a\n"},
      {"three stars: doc to some tools", "x;" + spaces(30) + "/*** a */\n",
       "x;" + spaces(30) + "/*** a */\n", cpp},
      {"doc kept in its own style", "x;" + spaces(30) + "/**< a */\n",
       "x;" + spaces(62) + "/**< a" + spaces(38) + "*/\n"},
      // -gap: never glued; the text field still ends where it would.
      {"gap: code up to cpos", std::string(64, 'x') + " // t\n",
       std::string(64, 'x') + " /* t" + spaces(39) + "*/\n", gap1},
      {"no gap: glued", std::string(64, 'x') + " // t\n",
       std::string(64, 'x') + "/* t" + spaces(40) + "*/\n"},
      {"gap 2: long code", code70 + " // t\n", code70 + "  // t\n", gap2_cpp},
      {"gap: short code keeps cpos", "x;" + spaces(30) + "// a\n", "x;" + spaces(62) + "// a\n",
       gap2_cpp},
      // -asis: only the blanks before the marker change.
      {"asis: line comment in block style", "x;" + spaces(30) + "//  note  \n",
       "x;" + spaces(62) + "//  note  \n", asis},
      {"asis: doc block, cr lf", "x;" + spaces(3) + "\t" + spaces(30) + "/**< a */ \r\n",
       "x;" + spaces(62) + "/**< a */ \r\n", asis},
      {"asis: no final newline", "x;" + spaces(30) + "// ab", "x;" + spaces(62) + "// ab", asis},
      {"asis: star slash stays", "x;" + spaces(30) + "// a */ b\n",
       "x;" + spaces(62) + "// a */ b\n", asis},
      {"asis: glued would read otherwise", std::string(69, 'x') + "/ // c\n",
       std::string(69, 'x') + "/ // c\n", asis},
      {"asis: glued", code70 + "   /* c */\n", code70 + "/* c */\n", asis},
      // -pad tabs: tabs up to the last tab stop before the marker, then spaces.
      {"pad tabs", "x;" + spaces(30) + "// a\n", "x;" + std::string(8, '\t') + "// a\n", pad_tabs},
      {"pad tabs, then spaces", "x;" + spaces(30) + "// a\n",
       "x;" + std::string(7, '\t') + spaces(6) + "// a\n", pad_tabs63},
      {"pad tabs: code within a stop", std::string(62, 'y') + " // a\n",
       std::string(62, 'y') + "\t// a\n", pad_tabs},
      {"pad tabs: code past a stop", "\tabcdef;" + spaces(30) + "/* a */\n",
       "\tabcdef;" + std::string(7, '\t') + "/* a */\n", pad_tabs_asis},
      {"pad tabs: glued", code70 + " // a\n", code70 + "// a\n", pad_tabs},
      {"too long to rebuild", std::string(LINE_BUFFER_SIZE - 6, 'x') + " // t\n",
       std::string(LINE_BUFFER_SIZE - 6, 'x') + " // t\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(rebuild_line(c.line, ScanResult{}, c.layout), c.want);
    EXPECT_EQ(rebuild_line(c.want, ScanResult{}, c.layout), c.want) << "a second run";
  }
}

// What a line is checked against without writing it: the same bytes as rendering gives.
TEST(RendersAs, SameAsRendered) {
  for (const LayoutOptions& layout :
       {LayoutOptions{}, LayoutOptions{.cpp_style = true}, LayoutOptions{.cpos = 7},
        LayoutOptions{.cpos = 37}, LayoutOptions{.cpos = 37, .cpp_style = true},
        LayoutOptions{.tabs = 4, .pad_tabs = true}, LayoutOptions{.asis = true},
        LayoutOptions{.cpos = 37, .tabs = 4, .asis = true, .pad_tabs = true}}) {
    for (const std::string& line :
         {"int x;" + spaces(30) + "// a\r\n", "int x;" + spaces(30) + "///<\r\n"}) {
      const Plan plan = plan_line(line, 38, 40, layout);
      std::string rendered(rendered_size(plan), '?');
      render(plan, rendered.data());
      EXPECT_TRUE(renders_as(plan, rendered)) << rendered;
      EXPECT_EQ(renders_as(plan, line), rendered == line) << rendered;
      rendered.back() = 'x';
      EXPECT_FALSE(renders_as(plan, rendered));
    }
  }
}

}  // namespace
}  // namespace quillet
