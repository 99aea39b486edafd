#pragma once

#include <cstdint>
#include <string_view>

#include "scanner/scanner.h"

namespace quillet {

/// What a comment says about formatting the lines from it on.
enum class Marker : std::uint8_t { NONE, OFF, ON };

/// The marker that the text of a comment (its markers left out) spells: "quillet off" or
/// "clang-format off" (either with a ":" and a reason after it), "*INDENT-OFF*", and their "on";
/// letters in any case, any blanks around and between the words, and the marks that doc
/// comments add ("///", "//!", "/**", "/*!").
[[nodiscard]] Marker marker_in(std::string_view text);

/// Whether a comment text whose first byte after at most one blank is `c` may be a marker.
constexpr bool may_start_marker(unsigned char c) {
  return c == 'q' || c == 'Q' || c == 'c' || c == 'C' || c == '*' || c == '/' || c == '!' ||
         c == ' ' || c == '\t';
}

/// The marker of `line`, whose scan gave `scanned`: one only when the line ends in a comment
/// opened on it, alone or after code (clang-format reads its own markers after code too).
[[nodiscard]] inline Marker marker_of(std::string_view line, const ScanResult& scanned) {
  if (scanned.state.code != OK || scanned.comment_start < 2) return Marker::NONE;
  // Asked of nearly every commented line: most are told from a marker by the first bytes of
  // their text.
  const auto start = static_cast<std::size_t>(scanned.comment_start);
  const auto end = static_cast<std::size_t>(scanned.comment_end);
  if (start == end) return Marker::NONE;
  const auto first = static_cast<unsigned char>(line[start]);
  const bool blank = first == ' ' || first == '\t';
  if (!may_start_marker(blank && start + 1 < end ? static_cast<unsigned char>(line[start + 1])
                                                 : first)) {
    return Marker::NONE;
  }
  return marker_in(line.substr(start, end - start));
}

}  // namespace quillet
