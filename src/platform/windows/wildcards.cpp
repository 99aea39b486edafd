// Shell wildcards over paths, as fnmatch(3) reads them with FNM_PATHNAME, for a system without it.
#include "platform/windows/wildcards.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace quillet::windows {
namespace {

constexpr std::size_t NONE = std::string_view::npos;

bool in_class(std::string_view name, unsigned char c, bool& known) {
  const bool upper = c >= 'A' && c <= 'Z';
  const bool lower = c >= 'a' && c <= 'z';
  const bool digit = c >= '0' && c <= '9';
  const bool graph = c > ' ' && c < 0x7F;
  const bool space = c == ' ' || (c >= '\t' && c <= '\r');
  struct Class {
    std::string_view name;
    bool holds;
  };
  const std::array<Class, 12> classes = {{
      {"alnum", upper || lower || digit},
      {"alpha", upper || lower},
      {"blank", c == ' ' || c == '\t'},
      {"cntrl", c < ' ' || c == 0x7F},
      {"digit", digit},
      {"graph", graph},
      {"lower", lower},
      {"print", graph || c == ' '},
      {"punct", graph && !upper && !lower && !digit},
      {"space", space},
      {"upper", upper},
      {"xdigit", digit || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')},
  }};
  for (const Class& each : classes) {
    if (each.name == name) {
      known = true;
      return each.holds;
    }
  }
  known = false;
  return false;
}

// Where the ":]" of a class "[:name:]" that starts at `pattern[at]` is; NONE when none starts
// there (a "[" with no name of letters and ":]" after it is a byte of the set).
std::size_t class_end(std::string_view pattern, std::size_t at) {
  if (at + 1 >= pattern.size() || pattern[at] != '[' || pattern[at + 1] != ':') return NONE;
  std::size_t i = at + 2;
  while (i < pattern.size() &&
         ((pattern[i] >= 'a' && pattern[i] <= 'z') || (pattern[i] >= 'A' && pattern[i] <= 'Z'))) {
    ++i;
  }
  return pattern.substr(i).starts_with(":]") ? i : NONE;
}

enum class Bracket : std::uint8_t { MATCH, NO_MATCH, LITERAL, INVALID };

// Reads the set that starts after the "[" at `pattern[at - 1]`, for the byte `c`; `end` is put
// after its "]". A set with no "]" is no set: its "[" stands for itself (LITERAL).
Bracket bracket(std::string_view pattern, std::size_t at, unsigned char c, std::size_t& end) {
  std::size_t i = at;
  const bool negated = i < pattern.size() && (pattern[i] == '!' || pattern[i] == '^');
  if (negated) ++i;
  bool matched = false;
  for (bool first = true;; first = false) {
    if (i >= pattern.size()) return Bracket::LITERAL;
    unsigned char low = static_cast<unsigned char>(pattern[i]);
    if (low == ']' && !first) break;
    if (const std::size_t close = class_end(pattern, i); close != NONE) {
      bool known = false;
      const bool in = in_class(pattern.substr(i + 2, close - i - 2), c, known);
      // A class of no known name spoils the set, unless the byte was matched before it.
      if (!known && !matched) return Bracket::INVALID;
      matched = matched || in;
      i = close + 2;
      continue;
    }
    if (low == '\\') {
      if (++i >= pattern.size()) return Bracket::LITERAL;
      low = static_cast<unsigned char>(pattern[i]);
    }
    ++i;
    unsigned char high = low;
    if (i + 1 < pattern.size() && pattern[i] == '-' && pattern[i + 1] != ']') {
      i += 1;
      if (class_end(pattern, i) != NONE) return Bracket::INVALID;  // a range cannot end in a class
      if (pattern[i] == '\\' && ++i >= pattern.size()) return Bracket::LITERAL;
      high = static_cast<unsigned char>(pattern[i]);
      ++i;
    }
    matched = matched || (c >= low && c <= high);
  }
  end = i + 1;
  // A "/" is matched only by a "/" of the pattern itself.
  return matched != negated && c != '/' ? Bracket::MATCH : Bracket::NO_MATCH;
}

}  // namespace

bool match_wildcards(std::string_view pattern, std::string_view path) {
  std::size_t p = 0;
  std::size_t s = 0;
  // The last "*" seen, and where in the path it was tried up to: a mismatch after it lets it
  // take one byte more, never a "/". One that came before a "/" cannot take it either, so only
  // the last is ever tried again.
  std::size_t star = NONE;
  std::size_t star_at = 0;
  while (s < path.size()) {
    const auto c = static_cast<unsigned char>(path[s]);
    std::size_t next = NONE;  // where the pattern goes on when this byte matches
    if (p < pattern.size()) {
      const char pc = pattern[p];
      if (pc == '*') {
        while (p < pattern.size() && pattern[p] == '*')
          ++p;
        star = p;
        star_at = s;
        continue;
      }
      if (pc == '?') {
        if (c != '/') next = p + 1;
      } else if (pc == '[') {
        std::size_t end = 0;
        switch (bracket(pattern, p + 1, c, end)) {
          case Bracket::MATCH: next = end; break;
          case Bracket::NO_MATCH: break;
          case Bracket::LITERAL:
            if (c == '[') next = p + 1;
            break;
          case Bracket::INVALID: return false;
        }
      } else if (pc == '\\') {
        if (p + 1 == pattern.size()) return false;  // escapes nothing: no pattern
        if (static_cast<unsigned char>(pattern[p + 1]) == c) next = p + 2;
      } else if (static_cast<unsigned char>(pc) == c) {
        next = p + 1;
      }
    }
    if (next != NONE) {
      p = next;
      ++s;
      continue;
    }
    if (star == NONE || path[star_at] == '/') return false;
    p = star;
    s = ++star_at;
  }
  while (p < pattern.size() && pattern[p] == '*')
    ++p;
  return p == pattern.size();
}

}  // namespace quillet::windows
