#include "options/options.h"

#include <cstring>
#include <optional>
#include <string>

#include "base/quote.h"
#include "base/text.h"

namespace quillet {
namespace {

constexpr std::int32_t MIN_NUMBER = 4;

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

bool is_option(std::string_view arg, std::string_view name) {
  if (arg.size() != name.size()) return false;
  for (std::size_t i = 0; i < name.size(); ++i) {
    const char c = arg[i] >= 'A' && arg[i] <= 'Z' ? static_cast<char>(arg[i] - 'A' + 'a') : arg[i];
    if (c != name[i]) return false;
  }
  return true;
}

bool is_standard_stream(const char* path) {
  return path != nullptr && std::strcmp(path, STANDARD_STREAM) == 0;
}

ResultCode refuse_same_file(std::FILE* out) {
  std::fprintf(out, "? The output file cannot be the same as the input file\n");
  return RC_SAME_FILE;
}

ResultCode take_line_range(Options& options, const char* value, std::string& why) {
  if (const std::optional<LineRange> range = parse_line_range(value)) {
    options.lines.add(*range);
    return RC_OK;
  }
  why = "Not a line range (FIRST:LAST, from 1): " + printable(value);
  return RC_BAD_ARGUMENTS;
}

ResultCode take_report(Options& options, const char* value, std::string& why) {
  if (is_option(value, "lines")) {
    options.report = Report::LINES;
  } else if (is_option(value, "github")) {
    options.report = Report::GITHUB;
  } else {
    why = "-report takes lines or github, not " + printable(value);
    return RC_BAD_ARGUMENTS;
  }
  return RC_OK;
}

ResultCode take_align(Options& options, const char* value, std::string& why) {
  const std::optional<Align> align = align_named(value);
  if (!align) {
    why = "-align takes fixed, column, group or keep, not " + printable(value);
    return RC_BAD_ARGUMENTS;
  }
  options.layout.align = *align;
  return RC_OK;
}

ResultCode take_pad(Options& options, const char* value, std::string& why) {
  const std::optional<bool> tabs = pad_named(value);
  if (!tabs) {
    why = "-pad takes tabs or spaces, not " + printable(value);
    return RC_BAD_ARGUMENTS;
  }
  options.layout.pad_tabs = *tabs;
  return RC_OK;
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

Spelled spells(std::string_view arg, const OptionRow& option) {
  if (is_option(arg, option.spelling)) return Spelled::ONE_DASH;
  // As most other programs spell their options: "--check" is "-check".
  if (arg.starts_with('-') && is_option(arg.substr(1), option.spelling)) return Spelled::TWO_DASHES;
  return Spelled::NOT;
}

const OptionRow* find_option(std::string_view word) {
  for (const OptionRow& option : OPTIONS) {
    if (spells(word, option) != Spelled::NOT) return &option;
  }
  return nullptr;
}

}  // namespace quillet
