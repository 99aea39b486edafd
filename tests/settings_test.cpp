#include "settings/settings.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/paths.h"
#include "test_files.h"

namespace quillet {
namespace {

TEST(ParseSettings, Table) {
  const std::string NOT_HERE =
      "is not an option a settings file takes (it takes -th, -cpos, -csz, -cpp, -tabs, -utf8, "
      "-nobak, -trail, -exclude, -align, -span, -gap, -asis, -pad)";
  struct Case {
    const char* text;
    std::string error;
    std::optional<std::int32_t> th = std::nullopt;
    std::optional<std::int32_t> tabs = std::nullopt;
    bool cpp_style = false;
  };
  // clang-format off
  const Case cases[] = {
      {"-th 30 -CPP # a comment -fi\n\t-tabs 8#glued\n", "", 30, 8, true},
      {"# nothing but a comment", ""},
      {"-th 2 -tabs 99", "", DEFAULT_TH, 1},
      {"-th -5", "", DEFAULT_TH},
      {"-cpp -th", "-th needs a number", std::nullopt, std::nullopt, true},
      {"-th -cpp", "-th needs a number"},
      {"-fi a.c", "-fi " + NOT_HERE},
      {"-check", "-check " + NOT_HERE},
      {"-cpos=49", "-cpos=49 " + NOT_HERE},
      {"cpp", "unknown word cpp"},
      {"--cpp --th 40", "", 40, std::nullopt, true},
      {"-exclude build/ -cpp -EXCLUDE", "-EXCLUDE needs a pattern", std::nullopt, std::nullopt, true},
      {"-align wide", "-align takes fixed, column, group or keep, not wide"},
      {"-cpp -pad", "-pad takes tabs or spaces, not ", std::nullopt, std::nullopt, true},
      {"-span", "-span needs a number"},
  };
  // clang-format on
  // A number the file sets, or none.
  const auto number = [](const Settings& got, std::size_t row,
                         std::int32_t value) -> std::optional<std::int32_t> {
    if (!was_given(got.options, row)) return std::nullopt;
    return value;
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const Settings got = parse_settings("s", c.text);
    EXPECT_EQ(got.error, c.error);
    EXPECT_EQ(number(got, option_row("-th"), got.options.layout.th), c.th);
    EXPECT_EQ(number(got, option_row("-tabs"), got.options.layout.tabs), c.tabs);
    EXPECT_EQ(got.options.layout.cpp_style, c.cpp_style);
  }
}

// What a pattern matches: a name at any depth, a path from the settings file's directory, a
// directory only.
TEST(ParseExclusion, Table) {
  struct Case {
    const char* pattern;
    const char* glob;
    bool anchored;
    bool directory_only;
    PatternFrom from = PatternFrom::SETTINGS_FILE;
    bool absolute = false;
  };
  constexpr PatternFrom LINE = PatternFrom::COMMAND_LINE;
  // clang-format off
  constexpr Case CASES[] = {
      {"*.pb.h", "*.pb.h", false, false},
      {"third_party/", "third_party", false, true},
      {"/vendor", "vendor", true, false},
      {"src/gen/*.c", "src/gen/*.c", true, false},
      {"/src//", "src", true, true},
      {"/", "", true, false},
      {"/abs/gen/", "/abs/gen", true, true, LINE, true},
      {"src/gen", "src/gen", true, false, LINE, false},
      {"./gen", "gen", true, false, LINE, false},
      {"././gen/", "gen", true, true},
  };
  // clang-format on
  for (const Case& c : CASES) {
    SCOPED_TRACE(c.pattern);
    const Exclusion got = parse_exclusion(c.pattern, c.from);
    EXPECT_EQ(got.glob, c.glob);
    EXPECT_EQ(got.anchored, c.anchored);
    EXPECT_EQ(got.directory_only, c.directory_only);
    EXPECT_EQ(got.absolute, c.absolute);
  }
}

// A settings file that excludes `patterns`.
std::shared_ptr<const Settings> excluding(const std::vector<const char*>& patterns) {
  std::string text;
  for (const char* pattern : patterns)
    text = text + "-exclude " + pattern + "\n";
  return std::make_shared<const Settings>(parse_settings("s", text));
}

// The command line's patterns that start with "/" are absolute paths: they match a path named
// absolute, or named from the current directory ("@" here), as the name reads.
TEST(IsExcluded, AbsolutePatterns) {
  struct Case {
    const char* name;
    const char* pattern;
    const char* named;  // the directory asked about, as the command line names it
    const char* entry;
    bool want;
    bool want_directory;
  };
  // clang-format off
  constexpr Case CASES[] = {
      {"named absolute", "/abs/proj/gen", "/abs/proj", "gen", true, false},
      {"with wildcards", "/abs/*/g?n", "/abs/proj", "gen", true, false},
      {"elsewhere", "/abs/proj/gen", "/other/proj", "gen", false, false},
      {"in an excluded directory", "/abs/proj", "/abs/proj/src", "a.c", false, true},
      {"named from here", "@/proj/gen", "proj", "gen", true, false},
      {"named here", "@/gen", "", "gen", true, false},
      {"named by a way round", "@/proj/gen", "proj/src/..//./", "gen", true, false},
      {"from above the root", "/gen", "../../../../../../../../../../../../../..", "gen", true, false},
      {"a relative pattern is no absolute path", "abs/proj/gen", "/abs/proj", "gen", false, false},
  };
  // clang-format on
  char* const here = ::get_current_dir_name();
  ASSERT_NE(here, nullptr);
  for (const Case& c : CASES) {
    SCOPED_TRACE(c.name);
    std::string pattern = c.pattern;
    if (pattern.starts_with("@")) pattern.replace(0, 1, here);
    const auto settings = with_scope(
        DirectorySettings{}, command_line_exclusions({pattern.c_str()}), plain_path(c.named));
    EXPECT_EQ(is_excluded(*settings, c.entry, true), c.want);
    EXPECT_EQ(is_excluded_directory(*settings), c.want_directory);
  }
  std::free(here);
}

// Which names a directory's settings leave out, by the path from each settings file down to it.
TEST(IsExcluded, Table) {
  struct Case {
    const char* name;
    std::vector<const char*> patterns;
    std::string below;  // from the settings file's directory to the directory asked about
    const char* entry;
    bool directory;
    bool want;
    bool want_directory;  // is the directory itself, or one above it, excluded
  };
  // clang-format off
  const Case cases[] = {
      {"a name at the top", {"third_party"}, "", "third_party", true, true, false},
      {"a name at any depth", {"*.pb.h"}, "src/deep", "x.pb.h", false, true, false},
      {"a star does not cross a slash", {"src/*.c"}, "src/deep", "x.c", false, false, false},
      {"a path from the settings file", {"src/gen/*.c"}, "src/gen", "g.c", false, true, false},
      {"anchored, elsewhere", {"/vendor"}, "src", "vendor", true, false, false},
      {"anchored, here", {"/vendor"}, "", "vendor", true, true, false},
      {"directories only: a file", {"build/"}, "", "build", false, false, false},
      {"directories only: a directory", {"build/"}, "a", "build", true, true, false},
      {"below an excluded directory", {"third_party"}, "src/third_party/x", "y.c", false, false, true},
      {"below an anchored one", {"/src/gen"}, "src/gen/deeper", "y.c", false, false, true},
      {"nothing excluded", {"*.pb.h"}, "src", "y.c", false, false, false},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DirectorySettings settings;
    settings.scopes.push_back({excluding(c.patterns), c.below, {}});
    EXPECT_EQ(is_excluded(settings, c.entry, c.directory), c.want);
    EXPECT_EQ(is_excluded_directory(settings), c.want_directory);
  }
}

// The command line over a settings file, option by option; th and cpos ordered after.
TEST(SettleOptions, Table) {
  constexpr std::uint64_t TH = std::uint64_t{1} << option_row("-th");
  constexpr std::uint64_t CPOS = std::uint64_t{1} << option_row("-cpos");
  const Settings file = parse_settings("s", "-cpos 81 -th 30 -cpp -nobak");
  struct Case {
    const char* name;
    const Settings* settings;
    std::uint64_t given;
    LayoutOptions layout;
    std::int32_t th;
    std::int32_t cpos;
  };
  const Case cases[] = {
      {"the file's numbers", &file, 0, {}, 30, 81},
      {"th from the line, cpos from the file", &file, TH, {.th = 70}, 70, 81},
      {"th alone past the default cpos", nullptr, TH, {.th = 70}, 65, 70},
      {"th past the file's cpos", &file, TH, {.th = 90}, 81, 90},
      {"both from the line", &file, TH | CPOS, {.th = 10, .cpos = 20}, 10, 20},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Options command_line;
    command_line.layout = c.layout;
    command_line.given = c.given;
    Options settled;
    EXPECT_EQ(settle_options(command_line, c.settings, settled, stdout), RC_OK);
    EXPECT_EQ(settled.layout.th, c.th);
    EXPECT_EQ(settled.layout.cpos, c.cpos);
    EXPECT_EQ(settled.layout.cpp_style, c.settings != nullptr);
    EXPECT_EQ(settled.no_backup, c.settings != nullptr);
  }
  // The layouts: the file's, under the command line's.
  const Settings layouts =
      parse_settings("s", "-align group -span 0 -gap 3 -pad tabs -tabs 8 -asis");
  const auto bit = [](std::size_t row) { return std::uint64_t{1} << row; };
  for (const std::uint64_t given :
       {std::uint64_t{0}, bit(option_row("-align")) | bit(option_row("-span")) |
                              bit(option_row("-gap")) | bit(option_row("-pad"))}) {
    Options command_line;
    command_line.layout = {.align = Align::KEEP, .span = 2, .gap = 1};
    command_line.given = given;
    Options settled;
    EXPECT_EQ(settle_options(command_line, &layouts, settled, stdout), RC_OK);
    EXPECT_EQ(settled.layout.align, given == 0 ? Align::GROUP : Align::KEEP);
    EXPECT_EQ(settled.layout.span, given == 0 ? 0 : 2);
    EXPECT_EQ(settled.layout.gap, given == 0 ? 3 : 1);
    EXPECT_EQ(settled.layout.pad_tabs, given == 0);
    EXPECT_TRUE(settled.layout.asis);
  }
  // Tabs that pad need tab stops, whichever side asks for them.
  const Settings padding = parse_settings("s", "-pad tabs");
  for (const std::uint64_t given : {std::uint64_t{0}, bit(option_row("-tabs"))}) {
    Options command_line;
    command_line.layout = {.tabs = given == 0 ? 8 : 1};
    command_line.given = given;
    Options settled;
    std::FILE* said = std::tmpfile();
    EXPECT_EQ(settle_options(command_line, &padding, settled, said),
              given == 0 ? RC_OK : RC_BAD_ARGUMENTS);
    EXPECT_EQ(std::ftell(said) > 0, given != 0);  // the text is ParseCommandLine's
    std::fclose(said);
  }
  Settings broken;
  broken.path = "p/.quillet";
  broken.error = "unknown word x";
  Options settled;
  std::FILE* out = std::tmpfile();
  EXPECT_EQ(settle_options(Options{}, &broken, settled, out), RC_BAD_SETTINGS);
  EXPECT_EQ(read_and_close(out), "? p/.quillet: unknown word x\n");
}

// Settings files on a disk made here: the nearest gives the options, every one on the way up
// excludes what it names from its own directory, one where every user writes is not taken, and
// a path that does not exist yet takes those of the nearest directory above it that does.
TEST(SettingsForFile, OnDisk) {
  char base[] = "/tmp/quillet-settings-XXXXXX";
  ASSERT_NE(::mkdtemp(base), nullptr);
  const std::string top = base;
  const auto write = [](const std::string& path, const char* text) {
    std::ofstream(path) << text;
  };
  ASSERT_EQ(::mkdir((top + "/p").c_str(), 0755), 0);
  ASSERT_EQ(::mkdir((top + "/p/src").c_str(), 0755), 0);
  ASSERT_EQ(::mkdir((top + "/p/src/gen").c_str(), 0755), 0);
  ASSERT_EQ(::mkdir((top + "/p/shared").c_str(), 0777), 0);
  ASSERT_EQ(::chmod((top + "/p/shared").c_str(), 01777), 0);
  write(top + "/p/.quillet", "-cpos 81 -exclude src/gen/*.c -exclude /vendor\n");
  write(top + "/p/src/.quillet", "-cpos 40 -exclude *.pb.h\n");
  write(top + "/p/shared/.quillet", "-cpos 20000000 -exclude *\n");
  struct Case {
    std::string path;
    std::int32_t cpos;  // from the nearest settings file
    bool excluded;
  };
  const Case cases[] = {
      {top + "/p/a.c", 81, false},
      {top + "/p/src/a.c", 40, false},
      {top + "/p/src/gen/g.c", 40, true},
      {top + "/p/src/gen/g.h", 40, false},
      {top + "/p/src/x.pb.h", 40, true},
      {top + "/p/vendor/not/yet/there.c", 81, true},
      {top + "/p/src/not/yet/there.pb.h", 40, true},
      {top + "/p/shared/a.c", 81, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    SettingsCache cache;
    const FileSettings got = settings_for_file(cache, c.path, true, nullptr);
    ASSERT_NE(got.options, nullptr);
    EXPECT_EQ(
        was_given(got.options->options, option_row("-cpos")) ? got.options->options.layout.cpos : 0,
        c.cpos);
    EXPECT_EQ(got.excluded, c.excluded);
  }
  const std::string remove = "rm -rf " + top;
  EXPECT_EQ(std::system(remove.c_str()), 0);
}

}  // namespace
}  // namespace quillet
