// The options a run is told, and the one table of every option that fills them, read by the
// command line and by settings files alike.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/lines.h"
#include "base/result.h"
#include "layout/layout.h"

namespace quillet {

inline constexpr std::int32_t MAX_JOBS = 256;

/// The path that stands for standard input ("-fi") or standard output ("-fo").
inline constexpr const char* STANDARD_STREAM = "-";

/// What a run does with each file: writes the result to the output named (or standard output),
/// rewrites the file itself, only tells whether a line would change, or prints the change.
enum class Mode : std::uint8_t { TO_FILE, IN_PLACE, CHECK, DIFF };

/// How "-check" tells what would change: by file (as "? PATH would change"), or line by line.
enum class Report : std::uint8_t {
  FILES,   // no "-report"
  LINES,   // "-report lines": PATH:LINE:COLUMN: what
  GITHUB,  // "-report github": GitHub's workflow command for a warning
};

/// The options as given, on the command line or in a settings file. Paths point into the argument
/// vector; nullptr means not given.
struct Options {
  LayoutOptions layout;
  Mode mode = Mode::IN_PLACE;
  const char* input_file = nullptr;
  const char* output_file = nullptr;  // with Mode::TO_FILE; "-" is standard output
  bool no_backup = false;             // in place, keep no ".bak"
  bool no_settings = false;           // "-noconf": read no settings file
  bool recursive = false;             // "-r": run on every file named or found under a directory
  std::vector<const char*> paths;     // "-r": the files and directories to run on, in order
  std::int32_t jobs = 0;              // "-r": worker threads; 0 means one per processor online
  std::vector<const char*> excludes;  // "-r": patterns of paths to leave alone, from here
  bool use_git = true;                // "-r": walk a git work tree for what git does not ignore
  LineRanges lines;                   // "-lines": only these lines may change; none: every one
  const char* since = nullptr;        // "-r -since": only files and lines changed since it
  const char* as_path = nullptr;      // "-as": the path the text read from standard input is
  Report report = Report::FILES;      // "-check -report": how a change is told
  bool answered = false;    // "-version" or "--help" was answered: there is nothing else to do
  std::uint64_t given = 0;  // a bit for each row of OPTIONS that was given
};

/// What an option takes after it.
enum class Value : std::uint8_t {
  NONE,
  NUMBER,    // an integer, read as atoi reads it; what is too small is the row's own rule
  TEXT,      // a path or a revision, taken as it is
  WORD,      // one of a few words
  REPEATED,  // one each time the option is given, every one kept
};

/// Stores an option's value (nullptr for Value::NONE) in `options`. Returns RC_OK, or
/// RC_BAD_ARGUMENTS with why the value is refused in `why` ("-pad takes tabs or spaces, not x").
using TakeOption = ResultCode (*)(Options& options, const char* value, std::string& why);
/// Copies an option's field from `from` into `into`.
using MergeOption = void (*)(const Options& from, Options& into);

/// One option: its spelling, what it takes and where it goes, whether a settings file may set it,
/// and what "--help" says of it.
struct OptionRow {
  std::string_view spelling;  // "-th"; "--th", and any case of the letters, are the same
  Value value;
  std::string_view value_name;  // how "--help" names the value: "N", "PATH"
  TakeOption take;              // nullptr: nothing is stored but the option's `given` bit
  bool in_settings;             // a settings file may set it
  MergeOption merge;            // a settings file's value, taken where the command line has none
                                // (nullptr: not merged, as "-exclude" holds where it is written)
  std::string_view help;        // one line
};

/// The value of a numeric option: `text` read as parse_number reads it, or `fallback` when it is
/// below the smallest allowed value (4) or does not fit.
[[nodiscard]] std::int32_t option_number(const char* text, std::int32_t fallback);

/// The value of "-tabs": 1 to MAX_TABS, or 1.
[[nodiscard]] std::int32_t tab_number(const char* text);

/// Converts the way atoi does (whitespace, sign, digits up to the first non-digit; none give 0),
/// but a value beyond the signed 32-bit range gives `fallback` instead of undefined behaviour.
[[nodiscard]] std::int32_t parse_number(const char* text, std::int32_t fallback);

/// Whether `arg` is the option `name` (in lower case), whatever the case of its ASCII letters:
/// "-FI" is "-fi", "-fix" is not.
[[nodiscard]] bool is_option(std::string_view arg, std::string_view name);

/// Whether `path` names a standard stream rather than a file.
[[nodiscard]] bool is_standard_stream(const char* path);

/// Prints why a run whose output would overwrite its input is refused; returns RC_SAME_FILE.
ResultCode refuse_same_file(std::FILE* out);

/// "-lines": adds the range, or refuses a value that is none.
[[nodiscard]] ResultCode take_line_range(Options& options, const char* value, std::string& why);

/// "-report": takes "lines" or "github", or refuses another word.
[[nodiscard]] ResultCode take_report(Options& options, const char* value, std::string& why);

/// "-align": takes fixed, column, group or keep, or refuses another word.
[[nodiscard]] ResultCode take_align(Options& options, const char* value, std::string& why);

/// "-pad": takes tabs or spaces, or refuses another word.
[[nodiscard]] ResultCode take_pad(Options& options, const char* value, std::string& why);

/// The value of "-span": 0 or more, or 1.
[[nodiscard]] std::int32_t span_number(const char* text);

/// The value of "-gap": 1 or more, or 0 (the layout's own).
[[nodiscard]] std::int32_t gap_number(const char* text);

/// The layout that "-align" names (fixed, column, group or keep, letters in any case), if any.
[[nodiscard]] std::optional<Align> align_named(std::string_view word);

/// Whether "-pad" pads with tabs (tabs) or not (spaces), when the word is one of them.
[[nodiscard]] std::optional<bool> pad_named(std::string_view word);

/// Prints why tabs cannot pad with `layout.tabs` 1 and returns RC_BAD_ARGUMENTS, or returns
/// RC_OK when they can or are not asked for.
[[nodiscard]] ResultCode check_tab_padding(const LayoutOptions& layout, std::FILE* out);

namespace row {

// Where each kind of value goes: a row names its field, and these store it.
template <std::int32_t LayoutOptions::*FIELD, std::int32_t FALLBACK>
ResultCode column(Options& options, const char* value, std::string&) {
  options.layout.*FIELD = option_number(value, FALLBACK);
  return RC_OK;
}
inline ResultCode tabs(Options& options, const char* value, std::string&) {
  options.layout.tabs = tab_number(value);
  return RC_OK;
}
inline ResultCode span(Options& options, const char* value, std::string&) {
  options.layout.span = span_number(value);
  return RC_OK;
}
inline ResultCode gap(Options& options, const char* value, std::string&) {
  options.layout.gap = gap_number(value);
  return RC_OK;
}
inline ResultCode jobs(Options& options, const char* value, std::string&) {
  options.jobs = std::clamp(parse_number(value, 0), 0, MAX_JOBS);
  return RC_OK;
}
template <bool LayoutOptions::*FIELD>
ResultCode layout_switch(Options& options, const char*, std::string&) {
  options.layout.*FIELD = true;
  return RC_OK;
}
template <bool Options::*FIELD, bool TO = true>
ResultCode switch_to(Options& options, const char*, std::string&) {
  options.*FIELD = TO;
  return RC_OK;
}
template <const char* Options::*FIELD>
ResultCode text(Options& options, const char* value, std::string&) {
  options.*FIELD = value;
  return RC_OK;
}
template <std::vector<const char*> Options::*FIELD>
ResultCode repeated(Options& options, const char* value, std::string&) {
  (options.*FIELD).push_back(value);
  return RC_OK;
}
// "-fi" names the file to read, and, with "-r", one more path to run on.
inline ResultCode input(Options& options, const char* value, std::string&) {
  options.input_file = value;
  options.paths.push_back(value);
  return RC_OK;
}
template <auto LayoutOptions::*FIELD>
void merge_layout(const Options& from, Options& into) {
  into.layout.*FIELD = from.layout.*FIELD;
}
template <auto Options::*FIELD>
void merge(const Options& from, Options& into) {
  into.*FIELD = from.*FIELD;
}

}  // namespace row

/// Every option, in the order in which each argument is tested against them. Its position is the
/// option's bit in Options::given.
// clang-format off
inline constexpr OptionRow OPTIONS[] = {
    {"-th", Value::NUMBER, "N", row::column<&LayoutOptions::th, DEFAULT_TH>, true, row::merge_layout<&LayoutOptions::th>, "leave comments whose marker starts left of column N (25)"},
    {"-cpos", Value::NUMBER, "N", row::column<&LayoutOptions::cpos, DEFAULT_CPOS>, true, row::merge_layout<&LayoutOptions::cpos>, "the column a moved comment's marker starts at (65)"},
    {"-csz", Value::NUMBER, "N", row::column<&LayoutOptions::csz, DEFAULT_CSZ>, true, row::merge_layout<&LayoutOptions::csz>, "the width of a block comment's text field (42)"},
    {"-cpp", Value::NONE, "", row::layout_switch<&LayoutOptions::cpp_style>, true, row::merge_layout<&LayoutOptions::cpp_style>, "write line comments (//) instead of block comments"},
    {"-fi", Value::TEXT, "PATH", row::input, false, nullptr, "the file to read; - is standard input"},
    {"-fo", Value::TEXT, "PATH", row::text<&Options::output_file>, false, nullptr, "the file to write; - is standard output; none: in place"},
    {"-help", Value::NONE, "", nullptr, false, nullptr, "the short help text (status 1); --help: this list"},
    {"-check", Value::NONE, "", nullptr, false, nullptr, "write nothing; status 11 when a line would change"},
    {"-tabs", Value::NUMBER, "N", row::tabs, true, row::merge_layout<&LayoutOptions::tabs>, "a tab advances to the next multiple of N columns (1)"},
    {"-utf8", Value::NONE, "", row::layout_switch<&LayoutOptions::utf8>, true, row::merge_layout<&LayoutOptions::utf8>, "count a UTF-8 character as one column"},
    {"-r", Value::NONE, "", row::switch_to<&Options::recursive>, false, nullptr, "run on the files named and the sources in directories"},
    {"-j", Value::NUMBER, "N", row::jobs, false, nullptr, "with -r, run N files at once (one per processor)"},
    {"-nobak", Value::NONE, "", row::switch_to<&Options::no_backup>, true, row::merge<&Options::no_backup>, "in place, keep no .bak"},
    {"-diff", Value::NONE, "", nullptr, false, nullptr, "write nothing; print the change as a unified diff"},
    {"-trail", Value::NONE, "", row::layout_switch<&LayoutOptions::trail>, true, row::merge_layout<&LayoutOptions::trail>, "move only comments that follow code"},
    {"-noconf", Value::NONE, "", row::switch_to<&Options::no_settings>, false, nullptr, "read no settings file (.quillet)"},
    {"-exclude", Value::REPEATED, "PATTERN", row::repeated<&Options::excludes>, true, nullptr, "leave alone the paths PATTERN matches; repeatable"},
    {"-nogit", Value::NONE, "", row::switch_to<&Options::use_git, false>, false, nullptr, "with -r, walk the files git ignores too"},
    {"-lines", Value::REPEATED, "A:B", take_line_range, false, nullptr, "only lines A to B may change; repeatable"},
    {"-since", Value::TEXT, "REV", row::text<&Options::since>, false, nullptr, "with -r, only the files and lines git changed since REV"},
    {"-version", Value::NONE, "", nullptr, false, nullptr, "print the version"},
    {"-as", Value::TEXT, "PATH", row::text<&Options::as_path>, false, nullptr, "with -fi -, the text read is the file PATH"},
    {"-report", Value::WORD, "lines|github", take_report, false, nullptr, "with -check, tell every line that would change"},
    {"-align", Value::WORD, "LAYOUT", take_align, true, row::merge_layout<&LayoutOptions::align>, "fixed, column, group or keep: how comments line up"},
    {"-span", Value::NUMBER, "N", row::span, true, row::merge_layout<&LayoutOptions::span>, "lines without a comment that a group may span (1)"},
    {"-gap", Value::NUMBER, "N", row::gap, true, row::merge_layout<&LayoutOptions::gap>, "the fewest blanks before a moved comment's marker"},
    {"-asis", Value::NONE, "", row::layout_switch<&LayoutOptions::asis>, true, row::merge_layout<&LayoutOptions::asis>, "keep each comment as written: only blanks move"},
    {"-pad", Value::WORD, "tabs|spaces", take_pad, true, row::merge_layout<&LayoutOptions::pad_tabs>, "pad before a marker with tabs (needs -tabs N) or spaces"},
};
// clang-format on
static_assert(std::size(OPTIONS) <= 64, "Options::given has a bit for each row");

/// The position in OPTIONS of the option spelled `spelling`; a spelling that names no option does
/// not compile.
consteval std::size_t option_row(std::string_view spelling) {
  for (std::size_t i = 0; i < std::size(OPTIONS); ++i) {
    if (OPTIONS[i].spelling == spelling) return i;
  }
  throw "no option is spelled so";
}

/// How an argument spells an option.
enum class Spelled : std::uint8_t { NOT, ONE_DASH, TWO_DASHES };

/// Whether `arg` spells the option `option`, with one dash or two, whatever the case of its
/// letters: "-th", "--TH".
[[nodiscard]] Spelled spells(std::string_view arg, const OptionRow& option);

/// The row that `word` spells, or nullptr.
[[nodiscard]] const OptionRow* find_option(std::string_view word);

/// Whether the option at `row` of OPTIONS was given.
[[nodiscard]] constexpr bool was_given(const Options& options, std::size_t row) {
  return ((options.given >> row) & 1U) != 0;
}

/// Marks the option at `row` of OPTIONS as given.
constexpr void mark_given(Options& options, std::size_t row) {
  options.given |= std::uint64_t{1} << row;
}

}  // namespace quillet
