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

/// The marker of `line`, whose scan gave `scanned`: one only when the line is a comment opened on
/// it and standing alone, nothing but blanks around it.
[[nodiscard]] inline Marker marker_of(std::string_view line, const ScanResult& scanned) {
  if (scanned.state.code != OK || scanned.comment_start < 2) return Marker::NONE;
  const auto marker = static_cast<std::size_t>(scanned.comment_start) - 2;
  for (std::size_t i = 0; i < marker; ++i) {
    if (!is_space(static_cast<unsigned char>(line[i]))) return Marker::NONE;
  }
  const auto end = static_cast<std::size_t>(scanned.comment_end);
  return marker_in(line.substr(marker + 2, end - (marker + 2)));
}

}  // namespace quillet
