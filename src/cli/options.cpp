#include "cli/options.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <string_view>
#include <utility>

#include "base/quote.h"
#include "base/text.h"

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

constexpr std::int32_t MIN_NUMBER = 4;

// Every option, in the order in which each argument is tested against them.
// clang-format off
enum class Name : std::uint8_t {
  TH, CPOS, CSZ, CPP, FI, FO, HELP, CHECK, TABS, UTF8, R, J, NOBAK, DIFF, TRAIL, NOCONF, EXCLUDE, NOGIT, LINES, SINCE, VERSION, AS, REPORT,
  ALIGN, SPAN, GAP, ASIS, PAD
};
// clang-format on
struct Spelling {
  Name name;
  std::string_view text;
  bool takes_value;
};
// clang-format off
constexpr Spelling OPTIONS[] = {
    {Name::TH, "-th", true},
    {Name::CPOS, "-cpos", true},
    {Name::CSZ, "-csz", true},
    {Name::CPP, "-cpp", false},
    {Name::FI, "-fi", true},
    {Name::FO, "-fo", true},
    {Name::HELP, "-help", false},
    {Name::HELP, "--help", false},
    {Name::CHECK, "-check", false},
    {Name::TABS, "-tabs", true},
    {Name::UTF8, "-utf8", false},
    {Name::R, "-r", false},
    {Name::J, "-j", true},
    {Name::NOBAK, "-nobak", false},
    {Name::DIFF, "-diff", false},
    {Name::TRAIL, "-trail", false},
    {Name::NOCONF, "-noconf", false},
    {Name::EXCLUDE, "-exclude", true},
    {Name::NOGIT, "-nogit", false},
    {Name::LINES, "-lines", true},
    {Name::SINCE, "-since", true},
    {Name::VERSION, "-version", false},
    {Name::VERSION, "--version", false},
    {Name::AS, "-as", true},
    {Name::REPORT, "-report", true},
    {Name::ALIGN, "-align", true},
    {Name::SPAN, "-span", true},
    {Name::GAP, "-gap", true},
    {Name::ASIS, "-asis", false},
    {Name::PAD, "-pad", true},
};
// clang-format on

// What the command line says, before the mode is decided.
struct Parsed {
  Options options;
  const char* input_file = nullptr;
  const char* output_file = nullptr;
  std::vector<const char*> paths;
  bool check = false;
  bool diff = false;
  bool version = false;  // "-version" was answered
};

// Takes the option `name`, with its value where it has one. Returns RC_OK, or RC_BAD_ARGUMENTS
// after printing why the value is refused on `out` (nothing, when it is nullptr).
ResultCode take(Name name, const char* value, Parsed& parsed, std::FILE* out) {
  Options& options = parsed.options;
  LayoutOptions& layout = options.layout;
  switch (name) {
    case Name::TH:
      layout.th = option_number(value, DEFAULT_TH);
      options.given |= GIVEN_TH;
      break;
    case Name::CPOS:
      layout.cpos = option_number(value, DEFAULT_CPOS);
      options.given |= GIVEN_CPOS;
      break;
    case Name::CSZ:
      layout.csz = option_number(value, DEFAULT_CSZ);
      options.given |= GIVEN_CSZ;
      break;
    case Name::CPP: layout.cpp_style = true; break;
    case Name::FI:
      parsed.input_file = value;
      parsed.paths.push_back(value);
      break;
    case Name::FO: parsed.output_file = value; break;
    case Name::HELP: break;  // stops the walk before it is taken
    case Name::CHECK: parsed.check = true; break;
    case Name::TABS:
      layout.tabs = tab_number(value);
      options.given |= GIVEN_TABS;
      break;
    case Name::UTF8: layout.utf8 = true; break;
    case Name::R: options.recursive = true; break;
    case Name::J: options.jobs = std::clamp(parse_number(value, 0), 0, MAX_JOBS); break;
    case Name::NOBAK: options.no_backup = true; break;
    case Name::DIFF: parsed.diff = true; break;
    case Name::TRAIL: layout.trail = true; break;
    case Name::NOCONF: options.no_settings = true; break;
    case Name::EXCLUDE: options.excludes.push_back(value); break;
    case Name::NOGIT: options.use_git = false; break;
    case Name::LINES:
      if (const std::optional<LineRange> range = parse_line_range(value)) {
        options.lines.add(*range);
      } else {
        if (out != nullptr) {
          std::fprintf(out, "? Not a line range (FIRST:LAST, from 1): %s\n",
                       printable(value).c_str());
        }
        return RC_BAD_ARGUMENTS;
      }
      break;
    case Name::SINCE: options.since = value; break;
    case Name::VERSION: break;  // stops the walk before it is taken
    case Name::AS: options.as_path = value; break;
    case Name::REPORT:
      if (is_option(value, "lines")) {
        options.report = Report::LINES;
      } else if (is_option(value, "github")) {
        options.report = Report::GITHUB;
      } else {
        if (out != nullptr) {
          std::fprintf(out, "? -report takes lines or github, not %s\n", printable(value).c_str());
        }
        return RC_BAD_ARGUMENTS;
      }
      break;
    case Name::ALIGN:
      if (const std::optional<Align> align = align_named(value)) {
        layout.align = *align;
        options.given |= GIVEN_ALIGN;
      } else {
        if (out != nullptr) {
          std::fprintf(out, "? -align takes fixed, column, group or keep, not %s\n",
                       printable(value).c_str());
        }
        return RC_BAD_ARGUMENTS;
      }
      break;
    case Name::SPAN:
      layout.span = span_number(value);
      options.given |= GIVEN_SPAN;
      break;
    case Name::GAP:
      layout.gap = gap_number(value);
      options.given |= GIVEN_GAP;
      break;
    case Name::ASIS: layout.asis = true; break;
    case Name::PAD:
      if (const std::optional<bool> tabs = pad_named(value)) {
        layout.pad_tabs = *tabs;
        options.given |= GIVEN_PAD;
      } else {
        if (out != nullptr) {
          std::fprintf(out, "? -pad takes tabs or spaces, not %s\n", printable(value).c_str());
        }
        return RC_BAD_ARGUMENTS;
      }
      break;
  }
  return RC_OK;
}

// "-r": every path named is run on in place, checked or diffed; there is no single output.
ResultCode tree_mode(Parsed& parsed, Options& options, std::FILE* out) {
  if (parsed.output_file != nullptr) {
    std::fprintf(out, "? -fo cannot be used with -r\n");
    return RC_BAD_ARGUMENTS;
  }
  if (!options.lines.ranges.empty()) {
    std::fprintf(out, "? -lines cannot be used with -r (-since takes the lines changed)\n");
    return RC_BAD_ARGUMENTS;
  }
  // With -since, the changes below the current directory, when no path narrows them.
  if (parsed.paths.empty() && options.since != nullptr) parsed.paths.push_back(".");
  for (const char* path : parsed.paths) {
    if (is_standard_stream(path)) {
      std::fprintf(out, "? Standard input cannot be used with -r\n");
      return RC_BAD_ARGUMENTS;
    }
  }
  if (parsed.paths.empty()) {
    std::fprintf(out, "? No input file!\n");
    return RC_NO_INPUT;
  }
  options.paths = std::move(parsed.paths);
  return options.mode == Mode::IN_PLACE ? RC_IN_PLACE : RC_OK;
}

// Reads every argument into `parsed`, printing the help text and the version on `out` and a
// refusal on `messages`. Without `messages` it prints nothing and reads on past a refusal, the
// help and the version, only to learn what the whole command line asks for.
ResultCode read_arguments(int argc, const char* const* argv, Parsed& parsed, std::FILE* out,
                          std::FILE* messages) {
  // Each pass tests one argument against every option in turn. An option that takes a value
  // moves on to it, and the tests after it in the same pass look at that value, so "-th -cpp"
  // sets both th (to its default) and the line-comment style. An argument that no test matches,
  // and that is no option's value, names a file to run on with "-r"; without it, it is ignored.
  const bool quiet = messages == nullptr;
  for (int i = 1; i < argc; ++i) {
    bool matched = false;
    for (const Spelling& option : OPTIONS) {
      if (!is_option(argv[i], option.text)) continue;
      matched = true;
      if (option.name == Name::HELP && !quiet) {
        print_help(out);
        return RC_HELP;
      }
      if (option.name == Name::VERSION && !quiet) {
        print_version(out);
        parsed.version = true;
        return RC_OK;
      }
      const char* value = nullptr;
      if (option.takes_value) {
        if (i + 1 >= argc) {
          if (!quiet) {
            std::fprintf(messages, "? Missing value for %s\n", printable(argv[i]).c_str());
          }
          return RC_BAD_ARGUMENTS;
        }
        value = argv[++i];
      }
      if (const ResultCode rc = take(option.name, value, parsed, messages); rc != RC_OK && !quiet) {
        return rc;
      }
    }
    if (!matched) parsed.paths.push_back(argv[i]);
  }
  return RC_OK;
}

// Whether the command line read into `parsed` asks for the text on standard output: "-fo -", or
// standard input without "-fo", to be rewritten rather than checked or diffed.
bool text_to_standard_output(const Parsed& parsed) {
  if (parsed.options.recursive || parsed.check || parsed.diff) return false;
  return is_standard_stream(parsed.output_file != nullptr ? parsed.output_file : parsed.input_file);
}

}  // namespace

// A value below the minimum, or one that does not fit, quietly becomes the option's default.
std::int32_t option_number(const char* text, std::int32_t fallback) {
  const std::int32_t value = parse_number(text, fallback);
  return value < MIN_NUMBER ? fallback : value;
}

std::int32_t tab_number(const char* text) {
  const std::int32_t tabs = parse_number(text, 1);
  return tabs < 1 || tabs > MAX_TABS ? 1 : tabs;
}

std::int32_t span_number(const char* text) {
  const std::int32_t span = parse_number(text, 1);
  return span < 0 ? 1 : span;
}

std::int32_t gap_number(const char* text) {
  const std::int32_t gap = parse_number(text, 0);
  return gap < 1 ? 0 : gap;
}

std::optional<Align> align_named(std::string_view word) {
  if (is_option(word, "fixed")) return Align::FIXED;
  if (is_option(word, "column")) return Align::COLUMN;
  if (is_option(word, "group")) return Align::GROUP;
  if (is_option(word, "keep")) return Align::KEEP;
  return std::nullopt;
}

std::optional<bool> pad_named(std::string_view word) {
  if (is_option(word, "tabs")) return true;
  if (is_option(word, "spaces")) return false;
  return std::nullopt;
}

ResultCode check_tab_padding(const LayoutOptions& layout, std::FILE* out) {
  if (!layout.pad_tabs || layout.tabs > 1) return RC_OK;
  std::fprintf(out, "? -pad tabs needs -tabs N, N from 2 to 16\n");
  return RC_BAD_ARGUMENTS;
}

bool is_option(std::string_view arg, std::string_view name) {
  if (arg.size() != name.size()) return false;
  for (std::size_t i = 0; i < name.size(); ++i) {
    const char c = arg[i] >= 'A' && arg[i] <= 'Z' ? static_cast<char>(arg[i] - 'A' + 'a') : arg[i];
    if (c != name[i]) return false;
  }
  return true;
}

ResultCode refuse_same_file(std::FILE* out) {
  std::fprintf(out, "? The output file cannot be the same as the input file\n");
  return RC_SAME_FILE;
}

std::FILE* messages_for(const Options& options, std::FILE* out, std::FILE* errors) {
  return options.mode == Mode::TO_FILE && is_standard_stream(options.output_file) ? errors : out;
}

bool is_standard_stream(const char* path) {
  return path != nullptr && std::strcmp(path, STANDARD_STREAM) == 0;
}

std::int32_t parse_number(const char* text, std::int32_t fallback) {
  const char* p = text;
  while (is_space(static_cast<unsigned char>(*p)))
    ++p;
  const bool negative = *p == '-';
  if (*p == '-' || *p == '+') ++p;
  std::int64_t value = 0;
  constexpr std::int64_t LIMIT = std::int64_t{INT32_MAX} + 1;  // the magnitude of INT32_MIN
  for (; *p >= '0' && *p <= '9'; ++p) {
    value = value * 10 + (*p - '0');
    if (value > LIMIT) return fallback;
  }
  if (negative) return static_cast<std::int32_t>(-value);
  return value > INT32_MAX ? fallback : static_cast<std::int32_t>(value);
}

void print_help(std::FILE* out) { std::fwrite(HELP_TEXT.data(), 1, HELP_TEXT.size(), out); }

void print_version(std::FILE* out) { std::fprintf(out, "quillet %s\n", QUILLET_VERSION); }

ResultCode parse_command_line(int argc, const char* const* argv, Options& options, std::FILE* out,
                              std::FILE* errors) {
  if (argc <= 1) {
    print_help(out);
    return RC_HELP;
  }
  // A refusal may come before the argument that asks for the text on standard output: the whole
  // command line is read once first, to know where its refusals may go.
  Parsed asked;
  asked.options = options;
  (void)read_arguments(argc, argv, asked, nullptr, nullptr);
  std::FILE* const messages = text_to_standard_output(asked) ? errors : out;
  Parsed parsed;
  parsed.options = options;  // stored only once every argument is read
  if (const ResultCode rc = read_arguments(argc, argv, parsed, out, messages); rc != RC_OK) {
    return rc;
  }
  if (parsed.version) {
    options.version_shown = true;
    return RC_OK;
  }

  Options& got = parsed.options;
  // With both given, their order is final. With one, the other may still come from a settings
  // file: the two are ordered once it is merged.
  if ((got.given & GIVEN_TH) != 0 && (got.given & GIVEN_CPOS) != 0) order_columns(got.layout);
  // Standard input has no file to replace: the result goes to standard output.
  const bool to_file = parsed.output_file != nullptr || is_standard_stream(parsed.input_file);
  if (parsed.diff) {
    got.mode = Mode::DIFF;
  } else if (parsed.check) {
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
  if ((got.given & GIVEN_TABS) != 0 || got.no_settings) {
    if (const ResultCode rc = check_tab_padding(got.layout, messages); rc != RC_OK) return rc;
  }
  if (got.as_path != nullptr && (got.recursive || !is_standard_stream(parsed.input_file))) {
    std::fprintf(messages, "? -as names what standard input is: it needs -fi -, without -r\n");
    return RC_BAD_ARGUMENTS;
  }
  options = got;
  if (options.recursive) return tree_mode(parsed, options, messages);
  if (options.since != nullptr) {
    std::fprintf(messages, "? -since needs -r\n");
    return RC_BAD_ARGUMENTS;
  }
  if (parsed.input_file == nullptr) {
    std::fprintf(messages, "? No input file!\n");
    return RC_NO_INPUT;
  }
  options.input_file = parsed.input_file;
  const char* output_file = parsed.output_file;
  if (output_file == nullptr && is_standard_stream(parsed.input_file))
    output_file = STANDARD_STREAM;
  if (output_file == nullptr) return RC_IN_PLACE;
  options.output_file = output_file;
  if (std::strcmp(parsed.input_file, output_file) == 0 && !is_standard_stream(parsed.input_file)) {
    return refuse_same_file(messages);
  }
  return RC_OK;
}

}  // namespace quillet
