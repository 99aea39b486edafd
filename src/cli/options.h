#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string_view>
#include <vector>

#include "base/lines.h"
#include "base/result.h"
#include "layout/layout.h"

namespace quillet {

/// Which of the options that take a number the command line gave (Options::given).
enum Given : std::uint32_t {
  GIVEN_TH = 1,
  GIVEN_CPOS = 2,
  GIVEN_CSZ = 4,
  GIVEN_TABS = 8,
  GIVEN_ALIGN = 16,
  GIVEN_SPAN = 32,
  GIVEN_GAP = 64,
  GIVEN_PAD = 128,
};

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

/// The parsed command line. Paths point into the argument vector; nullptr means not given.
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
  bool version_shown = false;         // "-version" was answered: there is nothing else to do
  std::uint32_t given = 0;  // Given bits: numbers the command line set, which settings leave be
};

/// Whether `path` names a standard stream rather than a file.
[[nodiscard]] bool is_standard_stream(const char* path);

/// Fills `options` (which holds the defaults) from argv[1..argc-1], its mode among them. Returns
/// RC_OK, RC_IN_PLACE (the mode is Mode::IN_PLACE), or a code that ends the run (RC_HELP,
/// RC_NO_INPUT, RC_SAME_FILE, RC_BAD_ARGUMENTS) after printing its text: the help and the version
/// on `out`, a refusal on `out` too, or on `errors` when the command line asks for the text on
/// standard output (see messages_for). Standard input without "-fo" is written to standard
/// output. With "-r", `options.paths` holds what to run on. th and cpos are ordered when both are
/// given; otherwise once a settings file is merged.
[[nodiscard]] ResultCode parse_command_line(int argc, const char* const* argv, Options& options,
                                            std::FILE* out, std::FILE* errors);

/// Where the messages of a run with `options` go: `errors` when standard output takes the text
/// (nothing else may land in it), else `out`.
[[nodiscard]] std::FILE* messages_for(const Options& options, std::FILE* out, std::FILE* errors);

/// Prints why a run whose output would overwrite its input is refused; returns RC_SAME_FILE.
ResultCode refuse_same_file(std::FILE* out);

/// Whether `arg` is the option `name` (in lower case), whatever the case of its ASCII letters:
/// "-FI" is "-fi", "-fix" is not.
[[nodiscard]] bool is_option(std::string_view arg, std::string_view name);

/// Prints the help text on `out`.
void print_help(std::FILE* out);

/// Prints "quillet X.Y.Z", the version built, on `out`.
void print_version(std::FILE* out);

/// The value of a numeric option: `text` read as parse_number reads it, or `fallback` when it is
/// below the smallest allowed value (4) or does not fit.
[[nodiscard]] std::int32_t option_number(const char* text, std::int32_t fallback);

/// The value of "-tabs": 1 to MAX_TABS, or 1.
[[nodiscard]] std::int32_t tab_number(const char* text);

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

/// Converts the way atoi does (whitespace, sign, digits up to the first non-digit; none give 0),
/// but a value beyond the signed 32-bit range gives `fallback` instead of undefined behaviour.
[[nodiscard]] std::int32_t parse_number(const char* text, std::int32_t fallback);

}  // namespace quillet
