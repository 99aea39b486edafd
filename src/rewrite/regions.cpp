// The regions a comment switches off and on: the switch's words read a byte at a time.
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

std::string_view text_of(SwitchWord word) { return WORDS[static_cast<std::size_t>(word)]; }

void start_word(SwitchScan& scan, SwitchWord word) {
  scan.step = SwitchStep::WORD;
  scan.word = word;
  scan.matched = 1;
}

// The first byte of the words, after the marks and the whitespace.
void start_words(SwitchScan& scan, unsigned char c) {
  if (c == '*') {
    start_word(scan, SwitchWord::INDENT_OFF);
  } else if (lower(c) == 'q') {
    start_word(scan, SwitchWord::QUILLET);
  } else if (lower(c) == 'c') {
    start_word(scan, SwitchWord::CLANG_FORMAT);
  } else {
    scan.step = SwitchStep::FAIL;
  }
}

// The next byte of a word. "off" and "on" part after their "o", as do "*indent-off*" and
// "*indent-on*".
void match_word(SwitchScan& scan, unsigned char c) {
  const std::string_view word = text_of(scan.word);
  if (lower(c) != static_cast<unsigned char>(word[scan.matched])) {
    const bool parts = (scan.word == SwitchWord::OFF || scan.word == SwitchWord::INDENT_OFF) &&
                       word[scan.matched - 1] == 'o' && lower(c) == 'n';
    if (!parts) {
      scan.step = SwitchStep::FAIL;
      return;
    }
    scan.word = scan.word == SwitchWord::OFF ? SwitchWord::ON : SwitchWord::INDENT_ON;
  }
  if (++scan.matched < text_of(scan.word).size()) return;
  switch (scan.word) {
    case SwitchWord::QUILLET:
    case SwitchWord::CLANG_FORMAT: scan.step = SwitchStep::NAMED; break;
    case SwitchWord::INDENT_OFF:
    case SwitchWord::INDENT_ON:
      scan.turn = scan.word == SwitchWord::INDENT_OFF ? Switch::OFF : Switch::ON;
      scan.step = SwitchStep::TAIL;
      break;
    case SwitchWord::OFF:
    case SwitchWord::ON:
      scan.turn = scan.word == SwitchWord::OFF ? Switch::OFF : Switch::ON;
      scan.step = SwitchStep::AFTER;
      break;
  }
}

}  // namespace

// The reading, one byte at a time ("blank" is a space or a tab, "other space" the rest of the
// whitespace, line ends included, which only the end of a switch may hold; a word ends in its
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
void scan_switch(SwitchScan& scan, std::string_view bytes) {
  for (const char byte : bytes) {
    const auto c = static_cast<unsigned char>(byte);
    switch (scan.step) {
      case SwitchStep::LEAD:
      case SwitchStep::MARKS:
        if (c == '/' || c == '!') {
          scan.step = SwitchStep::MARKS;
        } else if (c == '*') {
          scan.step = SwitchStep::STAR;
        } else if (is_blank(c)) {
          if (scan.step == SwitchStep::MARKS) scan.step = SwitchStep::SPACE;
        } else {
          start_words(scan, c);
        }
        break;
      case SwitchStep::STAR:
        if (is_blank(c)) {
          scan.step = SwitchStep::SPACE;
        } else {
          start_word(scan, SwitchWord::INDENT_OFF);
          match_word(scan, c);
        }
        break;
      case SwitchStep::SPACE:
        if (!is_blank(c)) start_words(scan, c);
        break;
      case SwitchStep::WORD: match_word(scan, c); break;
      case SwitchStep::NAMED: scan.step = is_blank(c) ? SwitchStep::GAP : SwitchStep::FAIL; break;
      case SwitchStep::GAP:
        if (lower(c) == 'o') {
          start_word(scan, SwitchWord::OFF);
        } else if (!is_blank(c)) {
          scan.step = SwitchStep::FAIL;
        }
        break;
      case SwitchStep::AFTER:
        if (c == ':') {
          scan.step = SwitchStep::REASON;
        } else if (!is_blank(c)) {
          scan.step = is_space(c) ? SwitchStep::TAIL : SwitchStep::FAIL;
        }
        break;
      case SwitchStep::TAIL:
        if (!is_space(c)) scan.step = SwitchStep::FAIL;
        break;
      case SwitchStep::REASON:
      case SwitchStep::FAIL: return;  // settled
    }
  }
}

void follow_switch(TrailingSwitch& trailing, const LineScan& scan, std::string_view bytes,
                   std::int64_t base) {
  if (scan.comment_start == 0) return;
  std::string_view rest = bytes;
  if (scan.comment_start != trailing.comment_start) {
    // A comment opened in these bytes: it is the one to follow now. A line comment is still open
    // at their end; a block comment may be closed already.
    trailing = TrailingSwitch{};
    trailing.comment_start = scan.comment_start;
    trailing.block = scan.lex.code != ScanState::CPP_CM;
    rest.remove_prefix(static_cast<std::size_t>(scan.comment_start - base));
  }
  // Everything up to the line's end is read: what follows a line comment's text is its line end,
  // which is whitespace, and what follows a block comment's text starts with the "*" of "*/",
  // after which only whitespace follows on a line that ends in the comment.
  for (;;) {
    const std::size_t star = rest.find('*');
    scan_switch(trailing.text, rest.substr(0, star));
    if (star == std::string_view::npos) return;
    trailing.before_star = trailing.text;
    scan_switch(trailing.text, rest.substr(star, 1));
    rest.remove_prefix(star + 1);
  }
}

Switch trailing_switch(const TrailingSwitch& trailing, const ScanResult& scanned) {
  if (scanned.state.code != ScanState::OK || scanned.comment_start < 2 ||
      trailing.comment_start == 0) {
    return Switch::NONE;
  }
  return end_switch(trailing.block ? trailing.before_star : trailing.text);
}

}  // namespace quillet
