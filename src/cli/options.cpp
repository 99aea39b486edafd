#include "cli/options.h"

#include <algorithm>
#include <cstring>
#include <string_view>
#include <utility>

#include "base/quote.h"
#include "scanner/scanner.h"

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

// "-r": every path named is run on in place, or checked; there is no single output to name.
ResultCode tree_mode(Options& options, const char* output_file, std::vector<const char*> paths,
                     std::FILE* out) {
  options.recursive = true;
  if (output_file != nullptr) {
    std::fprintf(out, "? -fo cannot be used with -r\n");
    return RC_BAD_ARGUMENTS;
  }
  for (const char* path : paths) {
    if (is_standard_stream(path)) {
      std::fprintf(out, "? Standard input cannot be used with -r\n");
      return RC_BAD_ARGUMENTS;
    }
  }
  if (paths.empty()) {
    std::fprintf(out, "? No input file!\n");
    return RC_NO_INPUT;
  }
  options.paths = std::move(paths);
  return options.check || options.diff ? RC_OK : RC_IN_PLACE;
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

void order_columns(Options& options) {
  if (options.th > options.cpos) std::swap(options.th, options.cpos);
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

ResultCode parse_command_line(int argc, const char* const* argv, Options& options, std::FILE* out) {
  if (argc <= 1) {
    print_help(out);
    return RC_HELP;
  }
  Options parsed = options;  // stored only once every argument is read
  const char* input_file = nullptr;
  const char* output_file = nullptr;
  std::vector<const char*> paths;

  // Each pass tests one argument against every option in turn. An option that takes a value moves
  // on to it, and the tests after it in the same pass look at that value, so "-th -cpp" sets both
  // th (to its default) and the line-comment style. An argument that no test matches, and that is
  // no option's value, names a file to run on with "-r"; without it, it is ignored.
  int i = 1;
  bool missing = false;
  bool matched = false;
  const auto take_value = [&]() -> const char* {
    if (i + 1 >= argc) {
      missing = true;
      return nullptr;
    }
    return argv[++i];
  };
  const auto is = [&](std::string_view name) {
    const bool match = is_option(argv[i], name);
    matched = matched || match;
    return match;
  };
  // Takes the value of a numeric option into `field`; false when there is none.
  const auto number = [&](std::int32_t& field, std::int32_t fallback, Given given) {
    const char* value = take_value();
    if (value == nullptr) return false;
    field = option_number(value, fallback);
    parsed.given |= given;
    return true;
  };
  for (; i < argc; ++i) {
    matched = false;
    if (is("-th") && !number(parsed.th, DEFAULT_TH, GIVEN_TH)) break;
    if (is("-cpos") && !number(parsed.cpos, DEFAULT_CPOS, GIVEN_CPOS)) break;
    if (is("-csz") && !number(parsed.csz, DEFAULT_CSZ, GIVEN_CSZ)) break;
    if (is("-cpp")) parsed.cpp_style = true;
    if (is("-fi")) {
      input_file = take_value();
      if (input_file == nullptr) break;
      paths.push_back(input_file);
    }
    if (is("-fo")) {
      output_file = take_value();
      if (output_file == nullptr) break;
    }
    if (is("-help")) {
      print_help(out);
      return RC_HELP;
    }
    if (is("-check")) parsed.check = true;
    if (is("-tabs")) {
      const char* value = take_value();
      if (value == nullptr) break;
      parsed.tabs = tab_number(value);
      parsed.given |= GIVEN_TABS;
    }
    if (is("-utf8")) parsed.utf8 = true;
    if (is("-r")) parsed.recursive = true;
    if (is("-j")) {
      const char* value = take_value();
      if (value == nullptr) break;
      parsed.jobs = std::clamp(parse_number(value, 0), 0, MAX_JOBS);
    }
    if (is("-nobak")) parsed.no_backup = true;
    if (is("-diff")) parsed.diff = true;
    if (is("-trail")) parsed.trail = true;
    if (is("-noconf")) parsed.no_settings = true;
    if (!matched) paths.push_back(argv[i]);
  }
  if (missing) {
    std::fprintf(out, "? Missing value for %s\n", printable(argv[i]).c_str());
    return RC_BAD_ARGUMENTS;
  }

  // With both given, their order is final. With one, the other may still come from a settings
  // file: the two are ordered once it is merged (see order_columns).
  if ((parsed.given & GIVEN_TH) != 0 && (parsed.given & GIVEN_CPOS) != 0) order_columns(parsed);
  options = parsed;
  if (options.recursive) return tree_mode(options, output_file, std::move(paths), out);
  if (input_file == nullptr) {
    std::fprintf(out, "? No input file!\n");
    return RC_NO_INPUT;
  }
  options.input_file = input_file;
  // Standard input has no file to replace: the result goes to standard output.
  if (output_file == nullptr && is_standard_stream(input_file)) output_file = STANDARD_STREAM;
  if (output_file == nullptr) return RC_IN_PLACE;
  options.output_file = output_file;
  if (std::strcmp(input_file, output_file) == 0 && !is_standard_stream(input_file)) {
    return refuse_same_file(out);
  }
  return RC_OK;
}

}  // namespace quillet
