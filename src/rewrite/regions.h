// The regions a comment switches off and on: a comment's text read for its switch.
#pragma once

#include <cstdint>
#include <string_view>

#include "scanner/scanner.h"

namespace quillet {

/// What a comment says about formatting the lines from it on.
enum class Switch : std::uint8_t { NONE, OFF, ON };

/// Where the reading of a comment's text for a switch stands.
enum class SwitchStep : std::uint8_t {
  LEAD,    // blanks before the words; a doc comment's marks may follow
  MARKS,   // "/" and "!" of a doc comment's turn
  STAR,    // a "*" first: a doc comment's mark when a blank follows, else the start of "*INDENT"
  SPACE,   // blanks after the marks
  WORD,    // inside a word
  NAMED,   // "quillet" or "clang-format": a blank must follow
  GAP,     // blanks between the name and "off" or "on"
  AFTER,   // blanks after "off" or "on"
  TAIL,    // whitespace at the end, a line end too
  REASON,  // after the ":" that starts a reason: anything
  FAIL,    // no turn, whatever follows
};

/// A word of a turn, in lower case.
enum class SwitchWord : std::uint8_t { QUILLET, CLANG_FORMAT, INDENT_OFF, INDENT_ON, OFF, ON };

/// A comment's text read for a switch a piece at a time, in a few bytes of state: a line too long
/// to hold comes in pieces.
struct SwitchScan {
  SwitchStep step = SwitchStep::LEAD;
  SwitchWord word = SwitchWord::QUILLET;
  std::uint8_t matched = 0;      // WORD: the bytes of `word` read so far
  Switch turn = Switch::NONE;    // the switch read, once its word is whole
};

/// Moves `scan` over `bytes`, the next piece of the text.
void scan_switch(SwitchScan& scan, std::string_view bytes);

/// The switch that the text read by `scan` spells; whitespace after it changes nothing.
constexpr Switch end_switch(const SwitchScan& scan) {
  const bool whole = scan.step == SwitchStep::AFTER || scan.step == SwitchStep::TAIL ||
                     scan.step == SwitchStep::REASON;
  return whole ? scan.turn : Switch::NONE;
}

/// The switch that the text of a comment (its markers left out) spells: "quillet off" or
/// "clang-format off" (either with a ":" and a reason after it), "*INDENT-OFF*", and their "on";
/// letters in any case, any blanks around and between the words (and any whitespace at the end),
/// and the marks that doc comments add ("///", "//!", "/**", "/*!").
[[nodiscard]] inline Switch switch_in(std::string_view text) {
  SwitchScan scan;
  scan_switch(scan, text);
  return end_switch(scan);
}

/// The last comment of a line too long to hold, read for a switch as the line's pieces go by.
struct TrailingSwitch {
  std::int64_t comment_start = 0;  // where the comment followed starts; 0: none yet
  bool block = false;
  SwitchScan text;
  SwitchScan before_star;  // `text` before its last "*": a block comment's text ends there
};

/// Follows the last comment opened in `scan`, which has just read `bytes`, from index `base` of
/// the line.
void follow_switch(TrailingSwitch& trailing, const LineScan& scan, std::string_view bytes,
                   std::int64_t base);

/// The switch of the line whose scan, all pieces read, gave `scanned`: as switch_of tells it for
/// a line held whole.
[[nodiscard]] Switch trailing_switch(const TrailingSwitch& trailing, const ScanResult& scanned);

/// Whether a comment text whose first byte after at most one blank is `c` may be a turn.
constexpr bool may_start_switch(unsigned char c) {
  return c == 'q' || c == 'Q' || c == 'c' || c == 'C' || c == '*' || c == '/' || c == '!' ||
         c == ' ' || c == '\t';
}

/// Whether a comment text whose first bytes after at most one blank are `c`, which passed
/// may_start_switch, and `next` may be a turn.
constexpr bool may_go_on_switch(unsigned char c, unsigned char next) {
  const auto letter = static_cast<unsigned char>(next | 0x20U);  // lower case, if a letter
  switch (c) {
    case 'c':
    case 'C': return letter == 'l';
    case 'q':
    case 'Q': return letter == 'u';
    case '*': return letter == 'i' || next == ' ' || next == '\t';
    default: return may_start_switch(next);  // after a doc comment's mark or a blank
  }
}

/// The switch of `line`, whose scan gave `scanned`: one only when the line ends in a comment
/// opened on it, alone or after code (clang-format reads its own switches after code too).
[[nodiscard]] inline Switch switch_of(std::string_view line, const ScanResult& scanned) {
  if (scanned.state.code != ScanState::OK || scanned.comment_start < 2) return Switch::NONE;
  // Asked of nearly every commented line: most are told from a switch by the first bytes of
  // their text.
  const auto start = static_cast<std::size_t>(scanned.comment_start);
  const auto end = static_cast<std::size_t>(scanned.comment_end);
  if (end - start < 2) return Switch::NONE;
  const auto first = static_cast<unsigned char>(line[start]);
  const std::size_t at = first == ' ' || first == '\t' ? start + 1 : start;
  const auto c = static_cast<unsigned char>(line[at]);
  if (!may_start_switch(c)) return Switch::NONE;
  if (at + 1 < end && !may_go_on_switch(c, static_cast<unsigned char>(line[at + 1]))) {
    return Switch::NONE;
  }
  return switch_in(std::string_view(line.data() + start, end - start));
}

}  // namespace quillet
