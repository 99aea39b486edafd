#include "cli/options.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iterator>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/quote.h"
#include "platform/file.h"

namespace quillet {
namespace {

// The text is a contract with users and scripts: every byte of it stays as it is.
constexpr std::string_view HELP_TEXT =
    "Quillet is a trailing comment formatter for C/C++ source files\n"
    "It has no effect on C style blocks of comments and on comments\n"
    "starting in a position before the sensitivity threshold.\n"
    "\n"
    "Usage (arguments in any order):\n"
    "\n"
    "    Quillet -fi <input_file> [-fo <output_file>] [options]\n"
    "\n"
    "where the options may be:\n"
    "\n"
    "    -cpp    use C++ comments style (default is C style)\n"
    "    -th     sensitivity threshold for trailing comments (default is 25)\n"
    "    -cpos   trailing comment preferred position (default is 65)\n"
    "    -csz    trailing comment preferred size (default is 42)\n"
    "    -help   this help text (other arguments are ignored)\n"
    "\n"
    "Notes:\n"
    "\n"
    " 1. please make sure that 3 < th < cpos; eventually, Quillet will\n"
    "    swap th and cpos values in an attept to order them correctly.\n"
    " 2. the minimum value for th, cpos and csz is 4; a smaller value\n"
    "    will be quietly replaced with its corresponding default.\n";

constexpr std::size_t TH = option_row("-th");
constexpr std::size_t CPOS = option_row("-cpos");
constexpr std::size_t TABS = option_row("-tabs");
constexpr std::size_t HELP = option_row("-help");
constexpr std::size_t CHECK = option_row("-check");
constexpr std::size_t DIFF = option_row("-diff");
constexpr std::size_t VERSION = option_row("-version");

// "-r": every path named is run on in place, checked or diffed; there is no single output.
ResultCode tree_mode(std::vector<const char*> paths, const char* output_file, Options& options,
                     std::FILE* out, bool explain) {
  if (output_file != nullptr) {
    std::fprintf(out, "? -fo cannot be used with -r\n");
    return RC_BAD_ARGUMENTS;
  }
  if (!options.lines.ranges.empty()) {
    std::fprintf(out, "? -lines cannot be used with -r (-since takes the lines changed)\n");
    return RC_BAD_ARGUMENTS;
  }
  // With -since, the changes below the current directory, when no path narrows them.
  if (paths.empty() && options.since != nullptr) paths.push_back(".");
  for (const char* path : paths) {
    if (is_standard_stream(path)) {
      std::fprintf(out, "? Standard input cannot be used with -r\n");
      return RC_BAD_ARGUMENTS;
    }
  }
  if (paths.empty()) {
    std::fprintf(out, "? No input file!\n");
    if (explain)
      std::fprintf(out, "? Name the files and directories to run on: quillet -r PATH...\n");
    return RC_NO_INPUT;
  }
  options.paths = std::move(paths);
  return options.mode == Mode::IN_PLACE ? RC_IN_PLACE : RC_OK;
}

// Reads every argument into `got`, printing the help text and the version on `out` (then
// `answered`) and a refusal on `messages`, and puts the words that no option takes in `words`.
// Without `messages` it prints nothing and reads on past a refusal, the help and the version,
// only to learn what the whole command line asks for.
ResultCode read_arguments(int argc, const char* const* argv, Options& got, std::FILE* out,
                          std::FILE* messages, bool& answered, std::vector<const char*>& words) {
  // Each pass tests one argument against every option in turn. An option that takes a value
  // moves on to it, and the tests after it in the same pass look at that value, so "-th -cpp"
  // sets both th (to its default) and the line-comment style. An argument that no test matches,
  // and that is no option's value, names a file to run on with "-r"; without it, it is ignored.
  const bool quiet = messages == nullptr;
  for (int i = 1; i < argc; ++i) {
    bool matched = false;
    for (std::size_t row = 0; row < std::size(OPTIONS); ++row) {
      const OptionRow& option = OPTIONS[row];
      if (spells(argv[i], option) == Spelled::NOT) continue;
      matched = true;
      if (row == HELP && !quiet) {
        // "--help" is asked for by those who know other programs: they get every option.
        if (spells(argv[i], option) == Spelled::TWO_DASHES) {
          print_usage(out);
          answered = true;
          return RC_OK;
        }
        print_help(out);
        return RC_HELP;
      }
      if (row == VERSION && !quiet) {
        print_version(out);
        answered = true;
        return RC_OK;
      }
      const char* value = nullptr;
      if (option.value != Value::NONE) {
        if (i + 1 >= argc) {
          if (!quiet) {
            std::fprintf(messages, "? Missing value for %s\n", printable(argv[i]).c_str());
          }
          return RC_BAD_ARGUMENTS;
        }
        value = argv[++i];
      }
      mark_given(got, row);
      if (option.take == nullptr) continue;
      if (std::string why; option.take(got, value, why) != RC_OK && !quiet) {
        std::fprintf(messages, "? %s\n", why.c_str());
        return RC_BAD_ARGUMENTS;
      }
    }
    if (!matched) {
      got.paths.push_back(argv[i]);
      words.push_back(argv[i]);
    }
  }
  return RC_OK;
}

// Whether `word`, which no option takes, is an option misspelt: it starts with "-" (a file named
// so is written "./-x"), and no file has that name. "-" alone is standard input.
bool is_unknown_option(const char* word) {
  if (word[0] != '-' || word[1] == '\0') return false;
  FileFacts facts;
  const int error = facts_of_path(word, Link::REFUSE, facts);
  return error == ENOENT || error == ENOTDIR;
}

// Whether the command line read into `got` asks for the text on standard output: "-fo -", or
// standard input without "-fo", to be rewritten rather than checked or diffed.
bool text_to_standard_output(const Options& got) {
  if (got.recursive || was_given(got, CHECK) || was_given(got, DIFF)) return false;
  return is_standard_stream(got.output_file != nullptr ? got.output_file : got.input_file);
}

}  // namespace

std::FILE* messages_for(const Options& options, std::FILE* out, std::FILE* errors) {
  return options.mode == Mode::TO_FILE && is_standard_stream(options.output_file) ? errors : out;
}

void print_help(std::FILE* out) { std::fwrite(HELP_TEXT.data(), 1, HELP_TEXT.size(), out); }

void print_usage(std::FILE* out) {
  std::fprintf(out,
               "Usage: quillet -fi PATH [-fo PATH] [options]\n"
               "       quillet -r [options] PATH...\n"
               "\n"
               "Options (letters in any case, one dash or two):\n");
  for (const OptionRow& option : OPTIONS) {
    std::string left(option.spelling);
    if (!option.value_name.empty()) left.append(" ").append(option.value_name);
    std::fprintf(out, "  %-22s%.*s\n", left.c_str(), static_cast<int>(option.help.size()),
                 option.help.data());
  }
  std::fprintf(out, "\nEvery option, exit status and message: man quillet\n");
}

void print_version(std::FILE* out) { std::fprintf(out, "quillet %s\n", QUILLET_VERSION); }

namespace {

// parse_command_line, which, with `explain`, says how to name a file after "? No input file!"
// where the command line seems to have meant one: a word without -fi, or -r without a path.
ResultCode parse(int argc, const char* const* argv, Options& options, std::FILE* out,
                 std::FILE* errors, bool explain) {
  if (argc <= 1) {
    print_help(out);
    return RC_HELP;
  }
  // A refusal may come before the argument that asks for the text on standard output: the whole
  // command line is read once first, to know where its refusals may go.
  Options asked = options;
  bool answered = false;
  std::vector<const char*> words;
  (void)read_arguments(argc, argv, asked, nullptr, nullptr, answered, words);
  std::FILE* const messages = text_to_standard_output(asked) ? errors : out;
  Options got = options;  // stored only once every argument is read
  words.clear();
  if (const ResultCode rc = read_arguments(argc, argv, got, out, messages, answered, words);
      rc != RC_OK) {
    return rc;
  }
  if (answered) {
    options.answered = true;
    return RC_OK;
  }
  // In a tree the words that name no option are paths: a typo must not turn a check into a
  // rewrite of the paths that follow it. Run on one file, they are ignored.
  const auto unknown =
      got.recursive ? std::find_if(words.begin(), words.end(), is_unknown_option) : words.end();
  if (unknown != words.end()) {
    std::fprintf(messages, "? Unknown option: %s\n", printable(*unknown).c_str());
    return RC_BAD_ARGUMENTS;
  }

  // The paths as given; what the run takes of them is decided below.
  const char* const input_file = got.input_file;
  const char* output_file = got.output_file;
  std::vector<const char*> paths = std::move(got.paths);
  got.input_file = nullptr;
  got.output_file = nullptr;
  got.paths.clear();
  // With both given, their order is final. With one, the other may still come from a settings
  // file: the two are ordered once it is merged.
  if (was_given(got, TH) && was_given(got, CPOS)) order_columns(got.layout);
  // Standard input has no file to replace: the result goes to standard output.
  const bool to_file = output_file != nullptr || is_standard_stream(input_file);
  if (was_given(got, DIFF)) {
    got.mode = Mode::DIFF;
  } else if (was_given(got, CHECK)) {
    got.mode = Mode::CHECK;
  } else {
    got.mode = to_file && !got.recursive ? Mode::TO_FILE : Mode::IN_PLACE;
  }
  got.lines.settle();
  if (got.report != Report::FILES && got.mode != Mode::CHECK) {
    std::fprintf(messages, "? -report needs -check\n");
    return RC_BAD_ARGUMENTS;
  }
  // Without -tabs here, a settings file may still give it: then each file's settings are asked.
  if (was_given(got, TABS) || got.no_settings) {
    if (const ResultCode rc = check_tab_padding(got.layout, messages); rc != RC_OK) return rc;
  }
  if (got.as_path != nullptr && (got.recursive || !is_standard_stream(input_file))) {
    std::fprintf(messages, "? -as names what standard input is: it needs -fi -, without -r\n");
    return RC_BAD_ARGUMENTS;
  }
  options = got;
  if (options.recursive) {
    return tree_mode(std::move(paths), output_file, options, messages, explain);
  }
  if (options.since != nullptr) {
    std::fprintf(messages, "? -since needs -r\n");
    return RC_BAD_ARGUMENTS;
  }
  if (input_file == nullptr) {
    std::fprintf(messages, "? No input file!\n");
    if (explain && !words.empty()) {
      std::fprintf(messages, "? Name the file to read with -fi: quillet -fi FILE\n");
    }
    return RC_NO_INPUT;
  }
  options.input_file = input_file;
  if (output_file == nullptr && is_standard_stream(input_file)) output_file = STANDARD_STREAM;
  if (output_file == nullptr) return RC_IN_PLACE;
  options.output_file = output_file;
  if (std::strcmp(input_file, output_file) == 0 && !is_standard_stream(input_file)) {
    return refuse_same_file(messages);
  }
  return RC_OK;
}

}  // namespace

ResultCode parse_command_line(int argc, const char* const* argv, Options& options, std::FILE* out,
                              std::FILE* errors) {
  return parse(argc, argv, options, out, errors, false);
}

ResultCode read_command_line(int argc, const char* const* argv, Options& options, std::FILE* out,
                             std::FILE* errors) {
  return parse(argc, argv, options, out, errors, true);
}

}  // namespace quillet
