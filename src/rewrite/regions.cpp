#include "rewrite/regions.h"

namespace quillet {
namespace {

constexpr bool is_blank(char c) { return c == ' ' || c == '\t'; }

std::string_view trim(std::string_view text) {
  while (!text.empty() && is_space(static_cast<unsigned char>(text.front())))
    text.remove_prefix(1);
  while (!text.empty() && is_space(static_cast<unsigned char>(text.back())))
    text.remove_suffix(1);
  return text;
}

// Whether `text` starts with `word` (in lower case), whatever the case of its letters.
bool starts_with_word(std::string_view text, std::string_view word) {
  if (text.size() < word.size()) return false;
  for (std::size_t i = 0; i < word.size(); ++i) {
    const char c =
        text[i] >= 'A' && text[i] <= 'Z' ? static_cast<char>(text[i] - 'A' + 'a') : text[i];
    if (c != word[i]) return false;
  }
  return true;
}

// After "off" or "on": nothing, or a ":" and a reason.
bool ends_switch(std::string_view rest) {
  while (!rest.empty() && is_blank(rest.front()))
    rest.remove_prefix(1);
  return rest.empty() || rest.front() == ':';
}

}  // namespace

Marker marker_in(std::string_view text) {
  text = trim(text);
  // The marks of doc comments: "///" and "//!" leave "/" or "!", "/**" and "/*!" leave "*" or
  // "!" before a blank.
  while (!text.empty() && (text.front() == '/' || text.front() == '!'))
    text.remove_prefix(1);
  if (text.size() >= 2 && text.front() == '*' && is_blank(text[1])) text.remove_prefix(1);
  text = trim(text);
  if (text.empty()) return Marker::NONE;
  std::string_view name;
  switch (text.front()) {
    case '*':
      if (text.size() == 12 && starts_with_word(text, "*indent-off*")) return Marker::OFF;
      if (text.size() == 11 && starts_with_word(text, "*indent-on*")) return Marker::ON;
      return Marker::NONE;
    case 'q':
    case 'Q': name = "quillet"; break;
    case 'c':
    case 'C': name = "clang-format"; break;
    default: return Marker::NONE;
  }
  if (!starts_with_word(text, name) || text.size() == name.size() || !is_blank(text[name.size()])) {
    return Marker::NONE;
  }
  std::string_view rest = text.substr(name.size());
  while (!rest.empty() && is_blank(rest.front()))
    rest.remove_prefix(1);
  if (starts_with_word(rest, "off") && ends_switch(rest.substr(3))) return Marker::OFF;
  if (starts_with_word(rest, "on") && ends_switch(rest.substr(2))) return Marker::ON;
  return Marker::NONE;
}

}  // namespace quillet
