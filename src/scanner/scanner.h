#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace quillet {

/// The scanner's lexical state, carried from one line to the next. The numbers name the states
/// in STATE_LABELS.
enum ScanState : std::uint8_t {
  OK = 0,      // ordinary code
  PRE_CM = 1,  // a "/" that may open a comment
  C___CM = 2,  // NOLINT(bugprone-reserved-identifier): named after its label; a block comment
  CPP_CM = 3,  // inside a line comment
  PST_CM = 4,  // a "*" inside a block comment that may close it
  IN_LIT = 5,  // inside a character or string literal
  NO_TRL = 6,  // named, never produced
  ERROR = 7,   // the scan failed; every later non-empty line fails too
};

/// Six-character labels of the state codes 0 to 12.
inline constexpr std::array<std::string_view, 13> STATE_LABELS = {
    "OK    ", "PRE_CM", "C___CM", "CPP_CM", "PST_CM", "IN_LIT", "NO_TRL",
    "?ERROR", "--09--", "--10--", "--11--", "--12--", "--13--"};

/// What one scanned line yields. With `state` OK, a non-zero `comment_start` reports a trailing
/// comment whose text is line[comment_start, comment_end); its marker takes the two bytes before.
struct ScanResult {
  ScanState state = OK;
  std::int32_t comment_start = 0;
  std::int32_t comment_end = 0;
};

/// The six whitespace characters of the "C" locale: space, \t, \n, \v, \f, \r.
constexpr bool is_space(unsigned char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

/// Scans one line (normally ending in its newline; NUL is a byte like any other) entering in
/// `carried.state`. Returns the state to carry into the next line with the comment's indexes;
/// when the scan fails the result is ERROR with the indexes of `carried` left as they were.
[[nodiscard]] ScanResult scan_line(std::string_view line, ScanResult carried);

/// A line part way through its scan, for a line too long to be held at once: start it with the
/// carried state, feed it with `scan_bytes` piece by piece, close it with `end_line`.
struct LineScan {
  ScanState state = OK;
  bool failed = false;       // the state was not one the scanner knows
  bool significant = false;  // code seen since the last comment closed
  bool ends_in_newline = false;
  std::int64_t length = 0;  // bytes scanned so far
  std::int64_t comment_start = 0;
  std::int64_t comment_end = 0;
};

/// Moves `scan` over `bytes`, the next piece of the line.
void scan_bytes(LineScan& scan, std::string_view bytes);

/// Applies the end-of-line rules; returns what scan_line would have returned for the whole line.
[[nodiscard]] ScanResult end_line(const LineScan& scan, ScanResult carried);

}  // namespace quillet
