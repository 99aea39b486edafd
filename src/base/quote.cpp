// Names as messages, diff headers and git show them: quoted where they could mislead.
#include "base/quote.h"

#include <algorithm>
#include <array>
#include <utility>

namespace quillet {
namespace {

constexpr bool is_control(unsigned char c) { return c < 0x20 || c == 0x7F; }

// The bytes C writes with a letter after a backslash, and their letters.
constexpr std::array<std::pair<char, char>, 9> ESCAPES = {{{'\a', 'a'},
                                                           {'\b', 'b'},
                                                           {'\t', 't'},
                                                           {'\n', 'n'},
                                                           {'\v', 'v'},
                                                           {'\f', 'f'},
                                                           {'\r', 'r'},
                                                           {'"', '"'},
                                                           {'\\', '\\'}}};

// GitHub's runner reads "##[" anywhere in a line as the start of one of its commands.
constexpr std::string_view RUNNER_COMMAND = "##[";

// Between double quotes, with the escapes of C: named ones where C has them, three octal digits
// for other control bytes, for the "[" of "##[" and, with `octal_high`, for bytes past ASCII.
std::string quoted(std::string_view name, bool octal_high) {
  std::string out = "\"";
  for (std::size_t i = 0; i < name.size(); ++i) {
    const char byte = name[i];
    const auto c = static_cast<unsigned char>(byte);
    const auto* named = std::find_if(ESCAPES.begin(), ESCAPES.end(),
                                     [&](const auto& escape) { return escape.first == byte; });
    const bool command = byte == '[' && i >= 2 && name.substr(i - 2, 2) == "##";
    if (named != ESCAPES.end()) {
      out += '\\';
      out += named->second;
    } else if (is_control(c) || command || (octal_high && c >= 0x80)) {
      out += '\\';
      out += static_cast<char>('0' + (c >> 6));
      out += static_cast<char>('0' + ((c >> 3) & 7));
      out += static_cast<char>('0' + (c & 7));
    } else {
      out += byte;
    }
  }
  return out += '"';
}

}  // namespace

std::string printable(std::string_view name) {
  for (const char c : name) {
    if (is_control(static_cast<unsigned char>(c))) return quoted(name, false);
  }
  if (name.find(RUNNER_COMMAND) != std::string_view::npos) return quoted(name, false);
  return std::string(name);
}

std::string printable_at_line_start(std::string_view name) {
  std::string shown = printable(name);
  const auto first = shown.empty() ? 0 : static_cast<unsigned char>(shown.front());
  if (first == ':' || first == ' ' || first >= 0x80) shown.insert(0, "./");
  return shown;
}

std::string diff_name(std::string_view name) {
  for (const char byte : name) {
    const auto c = static_cast<unsigned char>(byte);
    if (c == ' ' || c == '"' || c == '\\' || is_control(c) || c >= 0x80) return quoted(name, true);
  }
  return std::string(name);
}

std::optional<std::string> unquote(std::string_view name) {
  if (name.empty() || name.front() != '"') return std::string(name);
  std::string out;
  for (std::size_t i = 1; i < name.size(); ++i) {
    const char c = name[i];
    if (c == '"') {
      if (i + 1 != name.size()) return std::nullopt;
      return out;
    }
    if (c != '\\') {
      out += c;
      continue;
    }
    if (++i == name.size()) return std::nullopt;
    const auto* named = std::find_if(ESCAPES.begin(), ESCAPES.end(),
                                     [&](const auto& escape) { return escape.second == name[i]; });
    if (named != ESCAPES.end()) {
      out += named->first;
      continue;
    }
    // Three octal digits.
    if (i + 2 >= name.size()) return std::nullopt;
    unsigned value = 0;
    for (std::size_t k = i; k < i + 3; ++k) {
      if (name[k] < '0' || name[k] > '7') return std::nullopt;
      value = value * 8 + static_cast<unsigned>(name[k] - '0');
    }
    if (value > 0xFF) return std::nullopt;
    out += static_cast<char>(value);
    i += 2;
  }
  return std::nullopt;  // no closing quote
}

}  // namespace quillet
