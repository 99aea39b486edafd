// The line scanner: one pass over each line's bytes, one switch on the state.
#include "scanner/scanner.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>

// SSE2 is in every x86-64 processor: GCC and Clang say so with __SSE2__, MSVC with _M_X64.
#if defined(__SSE2__) || defined(_M_X64)
#define QUILLET_SSE2 1
#include <emmintrin.h>
#endif

namespace quillet {
namespace {

constexpr bool is_digit(unsigned char c) { return c >= '0' && c <= '9'; }
constexpr bool is_word(unsigned char c) {
  return is_digit(c) || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}
// The bytes a number or a name may hold (a number's digit separators aside).
constexpr bool is_token_byte(unsigned char c) { return is_word(c) || c == '.'; }

// A raw string's delimiter may not hold these (nor be longer than MAX_DELIMITER).
constexpr bool is_delimiter_byte(unsigned char c) {
  return c != ' ' && c != '(' && c != ')' && c != '\\' && !(c >= '\t' && c <= '\r');
}

constexpr std::int32_t to_index(std::int64_t i) {
  return static_cast<std::int32_t>(
      std::min<std::int64_t>(i, std::numeric_limits<std::int32_t>::max()));
}

unsigned char byte_at(std::string_view text, std::size_t i) {
  return static_cast<unsigned char>(text[i]);
}

enum class Quote : std::uint8_t { LITERAL, RAW_STRING, SEPARATOR };

// What the quote at `at` is, judged by the token right before it, which starts no earlier than
// `from`: after a number it is a digit separator (1'000), after R, u8R, uR, UR or LR a double
// quote opens a raw string; anything else opens a literal (a u8, u, U or L prefix changes
// nothing about where it ends). `in_number`: the token at `from` continues a number.
Quote classify_quote(std::string_view text, std::size_t from, std::size_t at, bool in_number) {
  std::size_t start = at;
  while (start > from && is_token_byte(byte_at(text, start - 1)))
    --start;
  // Split the bytes before the quote into tokens, keeping the last one.
  enum { NOTHING, NUMBER, NAME } last = NOTHING;
  std::size_t last_start = start;
  std::size_t k = start;
  if (start == from && in_number) {
    last = NUMBER;
    k = at;
  }
  while (k < at) {
    last_start = k;
    const unsigned char c = byte_at(text, k);
    if (is_digit(c) || (c == '.' && k + 1 < at && is_digit(byte_at(text, k + 1)))) {
      last = NUMBER;  // a number takes letters, digits and dots up to the quote
      k = at;
    } else if (is_word(c)) {
      last = NAME;
      while (k < at && is_word(byte_at(text, k)))
        ++k;
    } else {
      last = NOTHING;  // a lone dot
      ++k;
    }
  }
  if (text[at] == '\'') return last == NUMBER ? Quote::SEPARATOR : Quote::LITERAL;
  if (last != NAME) return Quote::LITERAL;
  const std::string_view prefix = text.substr(last_start, at - last_start);
  const bool raw =
      prefix == "R" || prefix == "u8R" || prefix == "uR" || prefix == "UR" || prefix == "LR";
  return raw ? Quote::RAW_STRING : Quote::LITERAL;
}

// Where the backslash is that continues `line` on the next one, or npos; see splice_at. Rarely
// needed, and kept out of line so that the callers of splice_at stay small enough to inline.
[[gnu::noinline]] std::size_t find_splice(std::string_view line) {
  std::size_t k = line.size() - 1;
  if (line[k] == '\n' && line[k - 1] == '\r') --k;
  while (k > 0 && is_space(byte_at(line, k - 1)) && !is_line_end(byte_at(line, k - 1)))
    --k;
  if (k > 0 && line[k - 1] == '\\') return k - 1;
  if (k >= 3 && line[k - 1] == '/' && line[k - 2] == '?' && line[k - 3] == '?') return k - 3;
  return std::string_view::npos;
}

// Whether the line ends in a backslash before its line end, with only blanks between: the next
// line then continues this one. Returns the backslash's index, or npos. The trigraph "??/" is a
// backslash to compilers that still read trigraphs, and is taken for one: a line comment ending
// in it then runs on, and is not rewritten.
inline std::size_t splice_at(std::string_view line) {
  // Nearly every line ends in another byte before its line end than these: no search then.
  if (line.size() < 2 || !is_line_end(byte_at(line, line.size() - 1))) {
    return std::string_view::npos;
  }
  const unsigned char before = byte_at(line, line.size() - 2);
  if (before != '\\' && before != '/' && !is_space(before)) return std::string_view::npos;
  return find_splice(line);
}

void close_literal(LexState& lex) { lex = LexState{}; }

// Whether the newline at `at` may end a line continued by a backslash (blanks may stand between).
bool may_splice(std::string_view bytes, std::size_t at) {
  if (at == 0) return false;
  const unsigned char before = byte_at(bytes, at - 1);
  return before == '\\' || (is_space(before) && before != '\n');
}

// Which of the sixteen bytes at `at` are `a`, `b` or `c`, as a bit mask, lowest byte first.
#if defined(QUILLET_SSE2)
unsigned match16(const char* at, char a, char b, char c) {
  const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
  const __m128i hits = _mm_or_si128(
      _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8(a)), _mm_cmpeq_epi8(v, _mm_set1_epi8(b))),
      _mm_cmpeq_epi8(v, _mm_set1_epi8(c)));
  return static_cast<unsigned>(_mm_movemask_epi8(hits));
}
#endif

// The whole lines at the start of `bytes` that come before the first byte that is `a`, `b` or
// `c`; with `check_splices`, also before the first line that a backslash may continue.
QuietRun quiet_prefix(std::string_view bytes, char a, char b, char c, bool check_splices) {
  const std::size_t n = bytes.size();
  std::size_t quiet = 0;
  // Up to the first stop, or to the end, the line after the quiet ones is clear too.
  const auto stop_at = [&](std::size_t stop) {
    return QuietRun{quiet, check_splices ? 0 : stop - quiet};
  };
  std::size_t i = 0;
#if defined(QUILLET_SSE2)
  // Thirty-two bytes at a time: most lines hold no stop at all.
  for (; i + 32 <= n; i += 32) {
    const char* at = bytes.data() + i;
    const std::uint32_t stops = match16(at, a, b, c) | match16(at + 16, a, b, c) << 16;
    std::uint32_t newlines = match16(at, '\n', '\n', '\n') | match16(at + 16, '\n', '\n', '\n')
                                                                 << 16;
    if (stops != 0) newlines &= (stops & (0U - stops)) - 1;  // only those before the first stop
    if (!check_splices) {
      if (newlines != 0) quiet = i + 32 - static_cast<std::size_t>(std::countl_zero(newlines));
    } else {
      for (; newlines != 0; newlines &= newlines - 1) {
        const std::size_t newline = i + static_cast<std::size_t>(std::countr_zero(newlines));
        if (may_splice(bytes, newline)) return {quiet, 0};
        quiet = newline + 1;
      }
    }
    if (stops != 0) return stop_at(i + static_cast<std::size_t>(std::countr_zero(stops)));
  }
#endif
  for (; i < n; ++i) {
    const char ch = bytes[i];
    if (ch == a || ch == b || ch == c) return stop_at(i);
    if (ch == '\n') {
      if (check_splices && may_splice(bytes, i)) return {quiet, 0};
      quiet = i + 1;
    }
  }
  return stop_at(n);
}

}  // namespace

std::size_t find_first(std::string_view bytes, std::size_t from, char a, char b, char c) {
  const std::size_t n = bytes.size();
  std::size_t i = from;
#if defined(QUILLET_SSE2)
  // The three bytes spread over sixteen once, for every step.
  const __m128i va = _mm_set1_epi8(a);
  const __m128i vb = _mm_set1_epi8(b);
  const __m128i vc = _mm_set1_epi8(c);
  const auto match = [&](const char* at) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
    const __m128i hits = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, va), _mm_cmpeq_epi8(v, vb)),
                                      _mm_cmpeq_epi8(v, vc));
    return static_cast<unsigned>(_mm_movemask_epi8(hits));
  };
  for (; i + 16 <= n; i += 16) {
    const unsigned hits = match(bytes.data() + i);
    if (hits != 0) return i + static_cast<std::size_t>(std::countr_zero(hits));
  }
  // The bytes left, in one more step that ends at the end: the bytes it looks at again held
  // nothing.
  if (i < n && n - from >= 16) {
    const unsigned hits = match(bytes.data() + n - 16);
    return hits != 0 ? n - 16 + static_cast<std::size_t>(std::countr_zero(hits)) : n;
  }
#endif
  for (; i < n; ++i) {
    if (bytes[i] == a || bytes[i] == b || bytes[i] == c) return i;
  }
  return n;
}

QuietRun skip_quiet_lines(std::string_view bytes, ScanState code) {
  if (code == ScanState::OK) {
    // A line of code ends in OK whatever it holds besides comments and literals; a backslash
    // that continues it changes nothing either.
    return quiet_prefix(bytes, '/', '"', '\'', false);
  }
  if (code == ScanState::C___CM) {
    return quiet_prefix(bytes, '/', '/', '/', true);
  }
  return {};
}

LineScan begin_line(const LexState& state) {
  LineScan scan;
  scan.lex = state;
  scan.failed = state.code > ScanState::IN_LIT;
  return scan;
}

namespace {

// Where the token before a quote starts, which tells what the quote is: no further back than
// `from`; `in_number` when the token at `from` continues a number (after a digit separator).
struct Token {
  std::size_t from = 0;
  bool in_number = false;
};

// Each function below moves the scan over bytes[i, ...) in one state and returns where it stops:
// at the end of the bytes, or right after the byte that changed the state.

// Ordinary code, skipped up to the next "/" or quote.
std::size_t scan_code(LineScan& scan, std::string_view bytes, std::size_t i, Token& token) {
  LexState& lex = scan.lex;
  i = find_first(bytes, i, '/', '"', '\'');
  if (i == bytes.size()) return i;
  if (bytes[i] == '/') {
    lex.code = ScanState::PRE_CM;
    return i + 1;
  }
  const Quote quote = classify_quote(bytes, token.from, i, token.in_number);
  if (quote == Quote::SEPARATOR) {
    token = {i + 1, true};
    return i + 1;
  }
  lex.code = ScanState::IN_LIT;
  lex.quote = bytes[i];
  lex.raw = quote == Quote::RAW_STRING ? RawPhase::DELIMITER : RawPhase::NONE;
  lex.delimiter_length = 0;
  return i + 1;
}

// The byte after a "/" in code: it opens a comment, or the "/" was code.
std::size_t scan_slash(LineScan& scan, std::string_view bytes, std::size_t i, std::int64_t base,
                       Token& token) {
  LexState& lex = scan.lex;
  if (bytes[i] == '/' || bytes[i] == '*') {
    lex.code = bytes[i] == '/' ? ScanState::CPP_CM : ScanState::C___CM;
    scan.comment_start = base + static_cast<std::int64_t>(i) + 1;
    return i + 1;
  }
  // The byte after the "/" is looked at again as code.
  lex.code = ScanState::OK;
  if (bytes[i] != '"' && bytes[i] != '\'') scan.code_after = true;
  token = {i, false};
  return i;
}

// The comment closes at the "/" at `slash`.
std::size_t close_comment(LineScan& scan, std::size_t slash, std::int64_t base, Token& token) {
  scan.lex.code = ScanState::OK;
  // A close that is a line's first byte ends a comment opened on an earlier line.
  scan.comment_end = std::max<std::int64_t>(base + static_cast<std::int64_t>(slash) - 1, 0);
  scan.code_from = base + static_cast<std::int64_t>(slash) + 1;
  scan.code_after = false;
  token = {slash + 1, false};
  return slash + 1;
}

// Inside a block comment, skipped up to the next "/" with a "*" of the comment right before it.
std::size_t scan_block_comment(LineScan& scan, std::string_view bytes, std::size_t i,
                               std::int64_t base, Token& token) {
  const std::size_t n = bytes.size();
  if (scan.lex.code == ScanState::PST_CM) {
    // A "*" ended the bytes before these.
    if (bytes[i] == '/') return close_comment(scan, i, base, token);
    if (bytes[i] != '*') scan.lex.code = ScanState::C___CM;
    return i + 1;
  }
  for (std::size_t slash = i;;) {
    const void* found = std::memchr(bytes.data() + slash + 1, '/', n - slash - 1);
    if (found == nullptr) break;
    slash = static_cast<std::size_t>(static_cast<const char*>(found) - bytes.data());
    if (bytes[slash - 1] == '*') return close_comment(scan, slash, base, token);
  }
  if (bytes[n - 1] == '*') scan.lex.code = ScanState::PST_CM;
  return n;
}

void end_literal(LexState& lex, Token& token, std::size_t after) {
  lex = LexState{};
  token = {after, false};
}

// Inside a character or string literal: it ends at its own quote; a backslash escapes the byte
// after it.
std::size_t scan_literal(LexState& lex, std::string_view bytes, std::size_t i, Token& token) {
  if (lex.escaped) {
    lex.escaped = false;
    return i + 1;
  }
  i = find_first(bytes, i, lex.quote, '\\', lex.quote);
  if (i == bytes.size()) return i;
  if (bytes[i] == '\\') {
    lex.escaped = true;
  } else {
    end_literal(lex, token, i + 1);
  }
  return i + 1;
}

// A raw string R"delim( ... )delim": its delimiter, then its body up to the closing ")delim\"".
std::size_t scan_raw_string(LexState& lex, std::string_view bytes, std::size_t i, Token& token) {
  const unsigned char c = byte_at(bytes, i);
  if (lex.raw == RawPhase::DELIMITER) {
    if (c == '(') {
      lex.raw = RawPhase::BODY;
      lex.matched = 0;
      return i + 1;
    }
    if (is_delimiter_byte(c) && lex.delimiter_length < MAX_DELIMITER) {
      lex.delimiter[lex.delimiter_length++] = static_cast<char>(c);
      return i + 1;
    }
    // Not a raw string after all: what was read is one stray token, and this byte starts over
    // as code.
    end_literal(lex, token, i);
    return i;
  }
  if (lex.matched == 0) {
    const void* paren = std::memchr(bytes.data() + i, ')', bytes.size() - i);
    if (paren == nullptr) return bytes.size();
    lex.matched = 1;
    return static_cast<std::size_t>(static_cast<const char*>(paren) - bytes.data()) + 1;
  }
  if (lex.matched <= lex.delimiter_length) {
    if (c != static_cast<unsigned char>(lex.delimiter[lex.matched - 1])) {
      lex.matched = 0;  // this byte may start the closing anew
      return i;
    }
    ++lex.matched;
    return i + 1;
  }
  if (c == '"') {
    end_literal(lex, token, i + 1);
    return i + 1;
  }
  lex.matched = 0;
  return i;
}

// Whether code stands after the last comment in the bytes just scanned, up to where a comment or
// a pending "/" begins.
void note_code_after(LineScan& scan, std::string_view bytes, std::int64_t base) {
  if (scan.code_after) return;
  const std::int64_t from = std::max(scan.code_from, base);
  std::int64_t stop = base + static_cast<std::int64_t>(bytes.size());
  const ScanState code = scan.lex.code;
  if (code == ScanState::PRE_CM) {
    stop -= 1;
  } else if (code == ScanState::CPP_CM || code == ScanState::C___CM || code == ScanState::PST_CM) {
    stop = std::max(from, scan.comment_start - 2);
  }
  for (std::int64_t k = from; k < stop; ++k) {
    if (!is_space(byte_at(bytes, static_cast<std::size_t>(k - base)))) {
      scan.code_after = true;
      return;
    }
  }
}

}  // namespace

// The machine, one state at a time; "code" marks what counts as code after the last comment:
//
// state  | "/"            | "*"          | quote           | "\"          | other
// OK     | PRE_CM         | OK           | IN_LIT or digit | OK           | OK
//        |                |              | separator       |              |
// PRE_CM | CPP_CM, start  | C___CM,start | as OK, no code  | OK, code     | OK, code
// C___CM | C___CM         | PST_CM       | C___CM          | C___CM       | C___CM
// PST_CM | OK, end, reset | PST_CM       | C___CM          | C___CM       | C___CM
// CPP_CM | CPP_CM         | CPP_CM       | CPP_CM          | CPP_CM       | CPP_CM
// IN_LIT | IN_LIT         | IN_LIT       | OK if it opened | escapes the  | IN_LIT
//        |                |              | the literal     | next byte    |
//
// A raw string ends only at ")delim\"". Stretches where nothing can happen are skipped in one go:
// ordinary code up to the next "/" or quote, a block comment up to its next "/".
void scan_bytes(LineScan& scan, std::string_view bytes) {
  if (scan.failed) return;
  const std::int64_t base = scan.length;
  Token token;
  for (std::size_t i = 0; i < bytes.size();) {
    switch (scan.lex.code) {
      case ScanState::OK: i = scan_code(scan, bytes, i, token); break;
      case ScanState::PRE_CM: i = scan_slash(scan, bytes, i, base, token); break;
      case ScanState::C___CM:
      case ScanState::PST_CM: i = scan_block_comment(scan, bytes, i, base, token); break;
      case ScanState::CPP_CM: i = bytes.size(); break;  // a line comment runs to its line's end
      case ScanState::IN_LIT:
        i = scan.lex.raw == RawPhase::NONE ? scan_literal(scan.lex, bytes, i, token)
                                           : scan_raw_string(scan.lex, bytes, i, token);
        break;
      case ScanState::NO_TRL:
      case ScanState::ERROR: scan.failed = true; return;
    }
  }
  note_code_after(scan, bytes, base);
  scan.length = base + static_cast<std::int64_t>(bytes.size());
}

ScanResult end_line(LineScan& scan, std::string_view last, const ScanResult& carried) {
  if (scan.failed) {
    if (scan.length == 0 && last.empty()) return {carried.state, 0, 0};
    return {LexState{ScanState::ERROR}, carried.comment_start, carried.comment_end};
  }
  const bool has_newline = !last.empty() && is_line_end(byte_at(last, last.size() - 1));
  const std::size_t splice = splice_at(last);
  bool spliced = false;
  if (splice == std::string_view::npos) {
    scan_bytes(scan, last);
  } else {
    scan_bytes(scan, last.substr(0, splice));
    // A raw string keeps its backslashes and newlines; everywhere else the backslash and the
    // newline vanish and the next line goes on where this one stops.
    spliced = !(scan.lex.code == ScanState::IN_LIT && scan.lex.raw == RawPhase::BODY);
    if (!spliced) scan_bytes(scan, last.substr(splice));
  }
  if (scan.failed) return {LexState{ScanState::ERROR}, carried.comment_start, carried.comment_end};
  LexState lex = scan.lex;
  if (spliced) return {lex, 0, 0};

  const std::int64_t length = scan.length;
  std::int64_t comment_end = scan.comment_end;
  bool code_after = scan.code_after;
  if (lex.code == ScanState::CPP_CM || lex.code == ScanState::C___CM) {
    // The text runs to the end of the line, its newline excluded.
    if (length > scan.comment_start) {
      comment_end = length - (has_newline ? 1 : 0);
      if (lex.code == ScanState::CPP_CM) code_after = false;
    }
    // A line comment ends with its line.
    if (lex.code == ScanState::CPP_CM) lex.code = ScanState::OK;
  } else if (lex.code == ScanState::IN_LIT && lex.raw != RawPhase::BODY && has_newline) {
    close_literal(lex);  // an unterminated literal ends with its line
  }
  if (lex.code == ScanState::OK && code_after) return {LexState{}, 0, 0};
  if (scan.comment_start > comment_end) {
    return {LexState{ScanState::ERROR}, carried.comment_start, carried.comment_end};
  }
  return {lex, to_index(scan.comment_start), to_index(comment_end)};
}

ScanResult scan_line(std::string_view line, const ScanResult& carried, std::size_t clear) {
  // The common case in one step: a line of code whose first comment or literal is a line comment
  // that runs to the newline.
  if (carried.state.code == ScanState::OK && !line.empty() &&
      is_line_end(byte_at(line, line.size() - 1))) {
    // The first stop is often where the clear bytes end.
    const std::size_t from = std::min(clear, line.size());
    const bool at_stop =
        from < line.size() && (line[from] == '/' || line[from] == '"' || line[from] == '\'');
    const std::size_t stop = at_stop ? from : find_first(line, from, '/', '"', '\'');
    if (stop + 1 < line.size() && line[stop] == '/' && line[stop + 1] == '/' &&
        splice_at(line) == std::string_view::npos) {
      return {LexState{}, to_index(static_cast<std::int64_t>(stop) + 2),
              to_index(static_cast<std::int64_t>(line.size()) - 1)};
    }
  }
  LineScan scan = begin_line(carried.state);
  return end_line(scan, line, carried);
}

}  // namespace quillet
