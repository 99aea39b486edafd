// What a blank is, and where a line ends: the text rules every room reads bytes by.
#pragma once

#include <cstddef>
#include <string_view>

namespace quillet {

/// The six whitespace characters of the "C" locale: space, \t, \n, \v, \f, \r.
constexpr bool is_space(unsigned char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// Lines end as a compiler ends them: at a newline, or at a carriage return that no newline
// follows. A CR LF is one line end of two bytes. These are the only places that say so.

/// Whether `c` may end a line: a newline, or a carriage return (that no newline follows).
constexpr bool is_line_end(unsigned char c) { return c == '\n' || c == '\r'; }

/// Whether the carriage return at `bytes[cr]` ends a line by itself: a byte that is no newline
/// follows it. (One that ends `bytes` may be half of a CR LF still to come.)
constexpr bool is_lone_cr(std::string_view bytes, std::size_t cr) {
  return cr + 1 < bytes.size() && bytes[cr + 1] != '\n';
}

/// The line end `line` ends in ("\n", "\r\n" or "\r"), or "\n" for a last line without one: a
/// rebuilt line keeps its own, and a last line gets one.
constexpr std::string_view line_end_of(std::string_view line) {
  if (line.size() >= 2 && line.substr(line.size() - 2) == "\r\n") return "\r\n";
  if (!line.empty() && line.back() == '\r') return "\r";
  return "\n";
}

/// The length of the line at the start of `bytes`, up to and with its line end; npos when its end
/// is not there yet (a carriage return that ends `bytes` may be half of a CR LF, unless `at_end`).
constexpr std::size_t line_length(std::string_view bytes, bool at_end) {
  const std::size_t newline = bytes.find('\n');
  const std::size_t limit = newline == std::string_view::npos ? bytes.size() : newline;
  for (std::size_t cr = bytes.find('\r'); cr < limit; cr = bytes.find('\r', cr + 1)) {
    if (is_lone_cr(bytes, cr)) return cr + 1;
    if (cr + 1 == bytes.size() && at_end) return cr + 1;
  }
  return newline == std::string_view::npos ? std::string_view::npos : newline + 1;
}

}  // namespace quillet
