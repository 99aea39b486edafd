// The command line: the arguments read through the option table into an Options record, the help
// text, and where the command line's refusals go.
#pragma once

#include <cstdio>

#include "base/result.h"
#include "options/options.h"

namespace quillet {

/// Fills `options` (which holds the defaults) from argv[1..argc-1], its mode among them. Returns
/// RC_OK (with `options.answered` after "-version" and "--help"), RC_IN_PLACE (the mode is
/// Mode::IN_PLACE), or a code that ends the run (RC_HELP,
/// RC_NO_INPUT, RC_SAME_FILE, RC_BAD_ARGUMENTS) after printing its text: the help and the version
/// on `out`, a refusal on `out` too, or on `errors` when the command line asks for the text on
/// standard output (see messages_for). Standard input without "-fo" is written to standard
/// output. With "-r", `options.paths` holds what to run on. th and cpos are ordered when both are
/// given; otherwise once a settings file is merged.
[[nodiscard]] ResultCode parse_command_line(int argc, const char* const* argv, Options& options,
                                            std::FILE* out, std::FILE* errors);

/// The command line as the program reads it: parse_command_line, and after "? No input file!",
/// where a word was given without "-fi" or "-r" without a path, a line that says how to name one.
[[nodiscard]] ResultCode read_command_line(int argc, const char* const* argv, Options& options,
                                           std::FILE* out, std::FILE* errors);

/// Where the messages of a run with `options` go: `errors` when standard output takes the text
/// (nothing else may land in it), else `out`.
[[nodiscard]] std::FILE* messages_for(const Options& options, std::FILE* out, std::FILE* errors);

/// Prints the help text on `out`.
void print_help(std::FILE* out);

/// Prints the usage that "--help" asks for on `out`: a line for every option, from the table.
void print_usage(std::FILE* out);

/// Prints "quillet X.Y.Z", the version built, on `out`.
void print_version(std::FILE* out);

}  // namespace quillet
