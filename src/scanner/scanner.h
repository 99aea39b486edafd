// The line scanner: a line's comments and literals found, its state carried to the next.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "base/text.h"

namespace quillet {

/// The scanner's state code, carried from one line to the next. The numbers name the states in
/// STATE_LABELS.
enum class ScanState : std::uint8_t {
  OK = 0,      // ordinary code
  PRE_CM = 1,  // a "/" that may open a comment
  C___CM = 2,  // NOLINT(bugprone-reserved-identifier): named after its label; a block comment
  CPP_CM = 3,  // inside a line comment
  PST_CM = 4,  // a "*" inside a block comment that may close it
  IN_LIT = 5,  // inside a character, string or raw string literal
  NO_TRL = 6,  // named, never produced
  ERROR = 7,   // the scan failed; every later non-empty line fails too
};

/// Six-character labels of the state codes 0 to 12.
inline constexpr std::array<std::string_view, 13> STATE_LABELS = {
    "OK    ", "PRE_CM", "C___CM", "CPP_CM", "PST_CM", "IN_LIT", "NO_TRL",
    "?ERROR", "--09--", "--10--", "--11--", "--12--", "--13--"};
static_assert(std::all_of(STATE_LABELS.begin(), STATE_LABELS.end(),
                          [](std::string_view label) { return label.size() == 6; }),
              "a state label is six characters");

/// The six-character label of `code`.
constexpr std::string_view label_of(ScanState code) {
  return STATE_LABELS[static_cast<std::size_t>(code)];
}

/// Where a raw string literal R"delim( ... )delim" stands.
enum class RawPhase : std::uint8_t {
  NONE,       // not a raw string
  DELIMITER,  // between the opening quote and "("
  BODY,       // inside; `matched` bytes of ")delim\"" seen
};

/// The longest delimiter a raw string may have.
inline constexpr std::size_t MAX_DELIMITER = 16;

/// The lexical state between two lines (or two pieces of one line): the state code and, inside a
/// literal, what closes it. Outside a literal the other fields stay at their defaults.
struct LexState {
  ScanState code = ScanState::OK;
  char quote = '\0';     // IN_LIT: the quote that opened the literal
  bool escaped = false;  // IN_LIT: a backslash waits for the character it escapes
  RawPhase raw = RawPhase::NONE;
  std::uint8_t delimiter_length = 0;
  std::uint8_t matched = 0;
  std::array<char, MAX_DELIMITER> delimiter{};

  friend bool operator==(const LexState&, const LexState&) = default;
};

/// What one scanned line yields. With `state.code` OK, a non-zero `comment_start` reports a
/// trailing comment whose text is line[comment_start, comment_end); its marker takes the two
/// bytes before.
struct ScanResult {
  LexState state;
  std::int32_t comment_start = 0;
  std::int32_t comment_end = 0;
};

/// Scans one line (normally ending in its line end; NUL is a byte like any other) entering in
/// `carried.state`. Returns the state to carry into the next line with the comment's indexes;
/// when the scan fails the result is ERROR with the indexes of `carried` left as they were.
/// `clear` may tell that line[0, clear) holds no "/" nor quote, so that an OK line is not read
/// twice.
[[nodiscard]] ScanResult scan_line(std::string_view line, const ScanResult& carried,
                                   std::size_t clear = 0);

/// The index of the first byte of bytes[from, size) that is `a`, `b` or `c` (give one byte more
/// than once to look for fewer), or the size when there is none.
[[nodiscard]] std::size_t find_first(std::string_view bytes, std::size_t from, char a, char b,
                                     char c);

/// What skip_quiet_lines found at the start of some bytes.
struct QuietRun {
  std::size_t length = 0;  // whole lines that hold nothing the scanner acts on
  std::size_t clear = 0;   // then, bytes of the next line without a newline, "/" or quote (OK)
};

/// Finds the longest run of whole lines at the start of `bytes` that, entered in `code`, hold
/// nothing the scanner acts on: ordinary code without "/" or quotes (OK), or the inside of a
/// block comment without "/" and not continued by a backslash (C___CM). Each such line scans to
/// the state it entered in, with no trailing comment. Other states give an empty run; `clear` is
/// found in OK only.
[[nodiscard]] QuietRun skip_quiet_lines(std::string_view bytes, ScanState code);

/// A line part way through its scan, for a line too long to be held at once: start it with the
/// carried state, feed it with `scan_bytes` piece by piece, close it with `end_line`.
struct LineScan {
  LexState lex;
  bool failed = false;      // the state code was not one the scanner knows
  bool code_after = false;  // code stands between code_from and the end of what is scanned
  std::int64_t length = 0;  // bytes scanned so far
  std::int64_t comment_start = 0;
  std::int64_t comment_end = 0;
  std::int64_t code_from = 0;  // where the last comment closed
};

/// Starts a line entering in `state`.
[[nodiscard]] LineScan begin_line(const LexState& state);

/// Moves `scan` over `bytes`, the next piece of the line. A piece should end where a token may
/// end (see `is_piece_end`); a cut inside a name or a number may misread a quote right after it.
void scan_bytes(LineScan& scan, std::string_view bytes);

/// Whether a piece of a long line may end after the byte `c`.
constexpr bool is_piece_end(unsigned char c) {
  const bool word = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                    c == '_' || c == '.';
  // A quote may be a digit separator, which the next quote needs to know about; "?" and "/" may
  // be part of a trigraph that continues the line, which the line's end needs to see whole.
  return !word && c != '\\' && c != '\'' && c != '?' && c != '/' && !is_space(c);
}

/// Closes the line whose last piece was `last` (with its newline, if it has one); returns what
/// scan_line would have returned for the whole line.
[[nodiscard]] ScanResult end_line(LineScan& scan, std::string_view last, const ScanResult& carried);

}  // namespace quillet
