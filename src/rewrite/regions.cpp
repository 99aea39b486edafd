#include "rewrite/regions.h"

#include <array>

#include "base/text.h"

namespace quillet {
namespace {

constexpr bool is_blank(unsigned char c) { return c == ' ' || c == '\t'; }

constexpr unsigned char lower(unsigned char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c - 'A' + 'a') : c;
}

constexpr std::array<std::string_view, 6> WORDS = {"quillet",     "clang-format", "*indent-off*",
                                                   "*indent-on*", "off",          "on"};

std::string_view text_of(MarkerWord word) { return WORDS[static_cast<std::size_t>(word)]; }

void start_word(MarkerScan& scan, MarkerWord word) {
  scan.step = MarkerStep::WORD;
  scan.word = word;
  scan.matched = 1;
}

// The first byte of the words, after the marks and the whitespace.
void start_words(MarkerScan& scan, unsigned char c) {
  if (c == '*') {
    start_word(scan, MarkerWord::INDENT_OFF);
  } else if (lower(c) == 'q') {
    start_word(scan, MarkerWord::QUILLET);
  } else if (lower(c) == 'c') {
    start_word(scan, MarkerWord::CLANG_FORMAT);
  } else {
    scan.step = MarkerStep::FAIL;
  }
}

// The next byte of a word. "off" and "on" part after their "o", as do "*indent-off*" and
// "*indent-on*".
void match_word(MarkerScan& scan, unsigned char c) {
  const std::string_view word = text_of(scan.word);
  if (lower(c) != static_cast<unsigned char>(word[scan.matched])) {
    const bool parts = (scan.word == MarkerWord::OFF || scan.word == MarkerWord::INDENT_OFF) &&
                       word[scan.matched - 1] == 'o' && lower(c) == 'n';
    if (!parts) {
      scan.step = MarkerStep::FAIL;
      return;
    }
    scan.word = scan.word == MarkerWord::OFF ? MarkerWord::ON : MarkerWord::INDENT_ON;
  }
  if (++scan.matched < text_of(scan.word).size()) return;
  switch (scan.word) {
    case MarkerWord::QUILLET:
    case MarkerWord::CLANG_FORMAT: scan.step = MarkerStep::NAMED; break;
    case MarkerWord::INDENT_OFF:
    case MarkerWord::INDENT_ON:
      scan.marker = scan.word == MarkerWord::INDENT_OFF ? Marker::OFF : Marker::ON;
      scan.step = MarkerStep::TAIL;
      break;
    case MarkerWord::OFF:
    case MarkerWord::ON:
      scan.marker = scan.word == MarkerWord::OFF ? Marker::OFF : Marker::ON;
      scan.step = MarkerStep::AFTER;
      break;
  }
}

}  // namespace

// The reading, one byte at a time ("blank" is a space or a tab, "other space" the rest of the
// whitespace, line ends included, which only the end of a marker may hold; a word ends in its
// own step, see match_word):
//
// step   | blank  | other space | "/" "!" | "*"    | ":"    | other
// LEAD   | LEAD   | FAIL        | MARKS   | STAR   | FAIL   | a word, or FAIL
// MARKS  | SPACE  | FAIL        | MARKS   | STAR   | FAIL   | a word, or FAIL
// STAR   | SPACE  | "*INDENT" goes on with this byte                         |
// SPACE  | SPACE  | FAIL        | FAIL    | a word | FAIL   | a word, or FAIL
// WORD   | the word's next byte, or FAIL; a whole word: NAMED, AFTER or TAIL |
// NAMED  | GAP    | FAIL        | FAIL    | FAIL   | FAIL   | FAIL
// GAP    | GAP    | FAIL        | FAIL    | FAIL   | FAIL   | "off" or "on", or FAIL
// AFTER  | AFTER  | TAIL        | FAIL    | FAIL   | REASON | FAIL
// TAIL   | TAIL   | TAIL        | FAIL    | FAIL   | FAIL   | FAIL
// REASON | REASON | REASON      | REASON  | REASON | REASON | REASON
// FAIL   | FAIL   | FAIL        | FAIL    | FAIL   | FAIL   | FAIL
void scan_marker(MarkerScan& scan, std::string_view bytes) {
  for (const char byte : bytes) {
    const auto c = static_cast<unsigned char>(byte);
    switch (scan.step) {
      case MarkerStep::LEAD:
      case MarkerStep::MARKS:
        if (c == '/' || c == '!') {
          scan.step = MarkerStep::MARKS;
        } else if (c == '*') {
          scan.step = MarkerStep::STAR;
        } else if (is_blank(c)) {
          if (scan.step == MarkerStep::MARKS) scan.step = MarkerStep::SPACE;
        } else {
          start_words(scan, c);
        }
        break;
      case MarkerStep::STAR:
        if (is_blank(c)) {
          scan.step = MarkerStep::SPACE;
        } else {
          start_word(scan, MarkerWord::INDENT_OFF);
          match_word(scan, c);
        }
        break;
      case MarkerStep::SPACE:
        if (!is_blank(c)) start_words(scan, c);
        break;
      case MarkerStep::WORD: match_word(scan, c); break;
      case MarkerStep::NAMED: scan.step = is_blank(c) ? MarkerStep::GAP : MarkerStep::FAIL; break;
      case MarkerStep::GAP:
        if (lower(c) == 'o') {
          start_word(scan, MarkerWord::OFF);
        } else if (!is_blank(c)) {
          scan.step = MarkerStep::FAIL;
        }
        break;
      case MarkerStep::AFTER:
        if (c == ':') {
          scan.step = MarkerStep::REASON;
        } else if (!is_blank(c)) {
          scan.step = is_space(c) ? MarkerStep::TAIL : MarkerStep::FAIL;
        }
        break;
      case MarkerStep::TAIL:
        if (!is_space(c)) scan.step = MarkerStep::FAIL;
        break;
      case MarkerStep::REASON:
      case MarkerStep::FAIL: return;  // settled
    }
  }
}

void follow_marker(TrailingMarker& trailing, const LineScan& scan, std::string_view bytes,
                   std::int64_t base) {
  if (scan.comment_start == 0) return;
  std::string_view rest = bytes;
  if (scan.comment_start != trailing.comment_start) {
    // A comment opened in these bytes: it is the one to follow now. A line comment is still open
    // at their end; a block comment may be closed already.
    trailing = TrailingMarker{};
    trailing.comment_start = scan.comment_start;
    trailing.block = scan.lex.code != CPP_CM;
    rest.remove_prefix(static_cast<std::size_t>(scan.comment_start - base));
  }
  // Everything up to the line's end is read: what follows a line comment's text is its line end,
  // which is whitespace, and what follows a block comment's text starts with the "*" of "*/",
  // after which only whitespace follows on a line that ends in the comment.
  for (;;) {
    const std::size_t star = rest.find('*');
    scan_marker(trailing.text, rest.substr(0, star));
    if (star == std::string_view::npos) return;
    trailing.before_star = trailing.text;
    scan_marker(trailing.text, rest.substr(star, 1));
    rest.remove_prefix(star + 1);
  }
}

Marker trailing_marker(const TrailingMarker& trailing, const ScanResult& scanned) {
  if (scanned.state.code != OK || scanned.comment_start < 2 || trailing.comment_start == 0) {
    return Marker::NONE;
  }
  return end_marker(trailing.block ? trailing.before_star : trailing.text);
}

}  // namespace quillet
