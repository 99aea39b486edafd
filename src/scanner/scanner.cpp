#include "scanner/scanner.h"

#include <limits>

namespace quillet {
namespace {

constexpr bool is_quote(char c) { return c == '"' || c == '\''; }

// Indexes go out as 32-bit numbers; a line beyond that is only ever copied, never rebuilt.
constexpr std::int32_t to_index(std::int64_t i) {
  return i > std::numeric_limits<std::int32_t>::max() ? std::numeric_limits<std::int32_t>::max()
                                                      : static_cast<std::int32_t>(i);
}

}  // namespace

// "significant" stands for the count of code characters since the last comment: only whether it
// is zero matters. A literal counts when it closes; a lone "/" when the next character shows it
// opens no comment.
//
// state  | "/"              | "*"              | quote   | whitespace | other
// OK     | PRE_CM           | OK, code         | IN_LIT  | OK         | OK, code
// PRE_CM | CPP_CM, start    | C___CM, start    | IN_LIT  | OK, code   | OK, code
// C___CM | C___CM           | PST_CM           | C___CM  | C___CM     | C___CM
// PST_CM | OK, end, no code | PST_CM           | C___CM  | C___CM     | C___CM
// CPP_CM | no code          | no code          | no code | no code    | no code
// IN_LIT | IN_LIT           | IN_LIT           | OK,code | IN_LIT     | IN_LIT
void scan_bytes(LineScan& scan, std::string_view bytes) {
  if (scan.failed) return;
  ScanState state = scan.state;
  bool significant = scan.significant;
  std::int64_t comment_start = scan.comment_start;
  std::int64_t comment_end = scan.comment_end;
  const std::int64_t base = scan.length;
  for (std::size_t k = 0; k < bytes.size(); ++k) {
    const char c = bytes[k];
    const std::int64_t i = base + static_cast<std::int64_t>(k);
    switch (state) {
      case OK:
        if (c == '/') {
          state = PRE_CM;
        } else if (is_quote(c)) {
          state = IN_LIT;
        } else if (!is_space(static_cast<unsigned char>(c))) {
          significant = true;
        }
        break;
      case PRE_CM:
        if (c == '/') {
          state = CPP_CM;
          comment_start = i + 1;
        } else if (c == '*') {
          state = C___CM;
          comment_start = i + 1;
        } else if (is_quote(c)) {
          state = IN_LIT;
        } else {
          state = OK;  // the pending "/" was code; `c` itself is not looked at again
          significant = true;
        }
        break;
      case C___CM:
        if (c == '*') state = PST_CM;
        break;
      case PST_CM:
        if (c == '/') {
          state = OK;
          comment_end = i - 1;
          significant = false;
        } else if (c != '*') {
          state = C___CM;
        }
        break;
      case CPP_CM: significant = false; break;
      case IN_LIT:
        if (is_quote(c)) {
          state = OK;
          significant = true;
        }
        break;
      case NO_TRL:
      case ERROR: scan.failed = true; return;
    }
  }
  scan.state = state;
  scan.significant = significant;
  scan.comment_start = comment_start;
  scan.comment_end = comment_end;
  scan.length = base + static_cast<std::int64_t>(bytes.size());
  if (!bytes.empty()) scan.ends_in_newline = bytes.back() == '\n';
}

ScanResult end_line(const LineScan& scan, ScanResult carried) {
  if (scan.failed) return {ERROR, carried.comment_start, carried.comment_end};
  ScanState state = scan.state;
  std::int64_t comment_end = scan.comment_end;
  if (state == CPP_CM || state == C___CM) {
    // The text runs to the end of the line, its newline excluded. A last line without one keeps
    // its last character.
    if (scan.length > scan.comment_start)
      comment_end = scan.length - (scan.ends_in_newline ? 1 : 0);
    if (state == CPP_CM) state = OK;  // a line comment ends with its line
  }
  if (state == OK && scan.significant) return {OK, 0, 0};
  if (scan.comment_start > comment_end) {
    return {ERROR, carried.comment_start, carried.comment_end};
  }
  return {state, to_index(scan.comment_start), to_index(comment_end)};
}

ScanResult scan_line(std::string_view line, ScanResult carried) {
  LineScan scan;
  scan.state = carried.state;
  scan_bytes(scan, line);
  return end_line(scan, carried);
}

}  // namespace quillet
