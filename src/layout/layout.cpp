#include "layout/layout.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <utility>

#include "base/text.h"

namespace quillet {
namespace {

using namespace std::string_view_literals;

// A rebuilt line with every run of padding shortened to one space scans like the line itself:
// a run of blanks does what one blank does, in every state. It fits in this buffer.
constexpr std::size_t CHECK_BUFFER_SIZE = 2 * LINE_BUFFER_SIZE + 16;

std::size_t padding(std::int64_t columns) {
  return columns > 0 ? static_cast<std::size_t>(columns) : 0;
}

// How documentation tools read a comment, by the bytes right after its marker: "///" and "/**"
// (the marker's second byte again) and "//!" and "/*!" are documentation, of the member before
// it when a "<" follows. A fourth "/" or "*" ("////", "/***") is documentation to some tools and
// a plain comment, a ruler, to others.
enum class Reading : std::uint8_t { PLAIN, DOC, UNSURE };

Reading reading_of(bool line_comment, std::string_view text) {
  const char mark = line_comment ? '/' : '*';
  if (text.empty() || (text[0] != mark && text[0] != '!')) return Reading::PLAIN;
  if (text[0] == '!' || text.size() == 1 || text[1] != mark) return Reading::DOC;
  return Reading::UNSURE;
}

std::string_view marker_of(const Plan& plan) { return plan.cpp_style ? "//"sv : "/*"sv; }
std::string_view close_of(const Plan& plan) { return plan.cpp_style ? ""sv : "*/"sv; }

}  // namespace

void order_columns(LayoutOptions& layout) {
  if (layout.th > layout.cpos) std::swap(layout.th, layout.cpos);
}

std::int64_t column_after_counted(std::string_view text, std::int64_t from, std::int32_t tabs,
                                  bool utf8) {
  std::int64_t column = from;
  for (const char c : text) {
    if (c == '\t') {
      column = (column / tabs + 1) * tabs;
    } else if (!utf8 || (static_cast<unsigned char>(c) & 0xC0U) != 0x80U) {
      ++column;
    }
  }
  return column;
}

bool is_past_threshold(std::string_view line, std::int32_t comment_start,
                       const LayoutOptions& layout) {
  if (comment_start < 2) return false;
  const auto marker = static_cast<std::size_t>(comment_start) - 2;
  // The marker stands at the column right after the width of what comes before it, counted as
  // the padding counts it.
  if (column_after(line.substr(0, marker), 0, layout.tabs, layout.utf8) + 1 < layout.th) {
    return false;
  }
  if (!layout.trail) return true;
  // A comment alone on its line stays where it is.
  for (std::size_t i = 0; i < marker; ++i) {
    if (!is_space(static_cast<unsigned char>(line[i]))) return true;
  }
  return false;
}

bool is_alone_past_threshold(std::string_view line, std::int32_t comment_start,
                             const LayoutOptions& layout) {
  if (comment_start < 2 || marker_at(line, comment_start, layout) < layout.th) return false;
  const std::string_view before = line.substr(0, static_cast<std::size_t>(comment_start) - 2);
  return std::all_of(before.begin(), before.end(),
                     [](char c) { return is_space(static_cast<unsigned char>(c)); });
}

std::string_view trim_trailing(std::string_view text) {
  std::size_t n = text.size();
  // The padding before a comment comes in long runs of spaces: step over eight at a time.
  constexpr std::uint64_t EIGHT_SPACES = 0x2020202020202020;
  for (std::uint64_t eight = 0; n > 8; n -= 8) {
    std::memcpy(&eight, text.data() + n - 8, sizeof eight);
    if (eight != EIGHT_SPACES) {
      // The spaces that end these eight bytes are zero bytes of `other` at their end in memory.
      const std::uint64_t other = eight ^ EIGHT_SPACES;
      const int zero_bits = std::endian::native == std::endian::little ? std::countl_zero(other)
                                                                       : std::countr_zero(other);
      n -= static_cast<std::size_t>(zero_bits / 8);
      break;
    }
  }
  while (n > 1 && is_space(static_cast<unsigned char>(text[n - 1])))
    --n;
  return text.substr(0, n);
}

namespace {

// The parts of plan_parts, into `plan`, and what place does: plan_line, which runs for nearly
// every rebuilt line, has them inline.
void fill_parts(Plan& plan, std::string_view line, std::int32_t comment_start,
                std::int32_t comment_end, const LayoutOptions& layout) {
  const auto start = static_cast<std::size_t>(comment_start);
  const auto end = static_cast<std::size_t>(comment_end);
  plan.own_mark = line[start - 1];
  plan.code = trim_trailing(line.substr(0, start - 2));
  if (layout.asis) {
    // As written, in its own style: nothing from the marker on changes.
    plan.asis = true;
    plan.cpp_style = plan.own_mark == '/';
    plan.text = line.substr(start - 2, end - start + 2);
    plan.line_end = line.substr(end);
    return;
  }
  plan.cpp_style = layout.cpp_style;
  plan.line_end = line_end_of(line);
  // The carriage return of a CR LF belongs to the line end, not to the comment: trimming would
  // keep it when it is all the text, and the rebuilt line would end in two of them.
  const std::size_t text_end = plan.line_end.size() == 2 ? std::min(end, line.size() - 2) : end;
  plan.text = trim_trailing(line.substr(start, text_end - start));
  // "///" becomes "/**" and back: doc comments stay doc comments. Few texts start with the mark:
  // that is asked first.
  plan.doc = !plan.text.empty() && plan.text[0] == plan.own_mark && is_restyled(plan);
}

void fill_place(Plan& plan, const LayoutOptions& layout, std::int64_t width, std::int64_t column,
                std::int64_t field) {
  const std::int64_t before = column - 1;  // the width that the marker follows
  plan.tabs = 0;
  plan.code_padding = before - width;
  // Tabs as far as the tab stops go, then spaces; a code part that reaches a stop takes a tab
  // to it.
  if (layout.pad_tabs) {
    const std::int64_t stops = before / layout.tabs - width / layout.tabs;
    if (stops > 0) {
      plan.tabs = stops;
      plan.code_padding = before % layout.tabs;
    }
  }
  plan.size = plan.code.size() + static_cast<std::size_t>(plan.tabs) + padding(plan.code_padding) +
              plan.text.size() + plan.line_end.size();
  if (plan.asis) return;
  plan.size += 2;
  if (plan.cpp_style) return;
  const std::int64_t text_from = column + 1;
  plan.text_padding =
      field - (column_after(plan.text, text_from, layout.tabs, layout.utf8) - text_from);
  plan.size += padding(plan.text_padding) + 2;
}

}  // namespace

Plan plan_parts(std::string_view line, std::int32_t comment_start, std::int32_t comment_end,
                const LayoutOptions& layout) {
  Plan plan;
  fill_parts(plan, line, comment_start, comment_end, layout);
  return plan;
}

void place(Plan& plan, const LayoutOptions& layout, std::int64_t column, std::int64_t field) {
  fill_place(plan, layout, column_after(plan.code, 0, layout.tabs, layout.utf8), column, field);
}

Plan plan_line(std::string_view line, std::int32_t comment_start, std::int32_t comment_end,
               const LayoutOptions& layout) {
  Plan plan;
  fill_parts(plan, line, comment_start, comment_end, layout);
  const std::int64_t width = column_after(plan.code, 0, layout.tabs, layout.utf8);
  const std::int64_t cpos = layout.cpos;
  const std::int64_t column = std::max(cpos, width + gap_of(layout) + 1);
  // The text field ends where it would after a code part narrower than cpos, as long as the
  // code part leaves room for it; past that the text is not padded at all.
  fill_place(plan, layout, width, column, std::max<std::int64_t>(layout.csz - (column - cpos), 0));
  return plan;
}

std::int64_t marker_column(const Plan& plan, const LayoutOptions& layout) {
  const std::int64_t width = column_after(plan.code, 0, layout.tabs, layout.utf8);
  if (plan.tabs > 0) return (width / layout.tabs + plan.tabs) * layout.tabs + plan.code_padding + 1;
  return width + std::max<std::int64_t>(plan.code_padding, 0) + 1;
}

bool keeps_meaning_rescanned(const Plan& plan, const ScanResult& incoming) {
  std::array<char, CHECK_BUFFER_SIZE> buffer;
  std::size_t used = 0;
  const auto append = [&](std::string_view part) {
    std::memcpy(buffer.data() + used, part.data(), part.size());
    used += part.size();
  };
  // After the code part and at least one blank, the scan stands where it stood at the original
  // marker (blanks do what one blank does), and that is plain code, since the marker opened a
  // comment there. Only from the marker on is there anything to scan then.
  const bool padded = plan.code_padding > 0 || plan.tabs > 0;
  if (plan.asis) {
    // From the marker on the line is as it was: only glued to the code part may it read otherwise.
    if (padded) return true;
    append(plan.code);
    append(plan.text);
    append(plan.line_end);
    const ScanResult rescan = scan_line(std::string_view(buffer.data(), used), incoming);
    return rescan.state == LexState{} &&
           rescan.comment_start == static_cast<std::int32_t>(plan.code.size() + 2) &&
           rescan.comment_end == static_cast<std::int32_t>(plan.code.size() + plan.text.size());
  }
  // As a block comment, a line comment's "/*" would be a comment within a comment, which
  // compilers warn of. Fewer texts hold a "*" than a "/": the stars are looked for.
  const bool restyled = is_restyled(plan);
  if (restyled && !plan.cpp_style) {
    for (std::size_t star = plan.text.find('*'); star != std::string_view::npos;
         star = plan.text.find('*', star + 1)) {
      if (star > 0 && plan.text[star - 1] == '/') return false;
    }
  }
  if (!padded) append(plan.code);
  append(marker_of(plan));
  const std::size_t text_start = used;
  append(plan.text);
  if (plan.doc) buffer[text_start] = doc_mark(plan);
  if (restyled) {
    const Reading before = reading_of(!plan.cpp_style, plan.text);
    const Reading after =
        reading_of(plan.cpp_style, std::string_view(buffer.data() + text_start, plan.text.size()));
    if (before == Reading::UNSURE || before != after) return false;
  }
  if (!plan.cpp_style && plan.text_padding > 0) append(" ");
  const std::size_t text_end = plan.cpp_style ? used + plan.line_end.size() - 1 : used;
  append(close_of(plan));
  append(plan.line_end);
  const ScanResult rescan =
      scan_line(std::string_view(buffer.data(), used), padded ? ScanResult{} : incoming);
  return rescan.state == LexState{} &&
         rescan.comment_start == static_cast<std::int32_t>(text_start) &&
         rescan.comment_end == static_cast<std::int32_t>(text_end);
}

void render(const Plan& plan, char* out) {
  // Blanks first, then the parts over them.
  std::memset(out, ' ', rendered_size(plan));
  char* p = out;
  std::memcpy(p, plan.code.data(), plan.code.size());
  p += plan.code.size();
  if (plan.tabs > 0) {
    std::memset(p, '\t', static_cast<std::size_t>(plan.tabs));
    p += plan.tabs;
  }
  p += padding(plan.code_padding);
  if (plan.asis) {
    std::memcpy(p, plan.text.data(), plan.text.size());
    std::memcpy(p + plan.text.size(), plan.line_end.data(), plan.line_end.size());
    return;
  }
  *p++ = '/';
  *p++ = plan.cpp_style ? '/' : '*';
  std::memcpy(p, plan.text.data(), plan.text.size());
  if (plan.doc) *p = doc_mark(plan);
  p += plan.text.size() + padding(plan.text_padding);
  if (!plan.cpp_style) {
    *p++ = '*';
    *p++ = '/';
  }
  if (plan.line_end.size() == 2) *p++ = '\r';
  *p = plan.line_end.back();
}

bool renders_as(const Plan& plan, std::string_view line) {
  if (line.size() != rendered_size(plan)) return false;
  const auto all = [](std::string_view bytes, char blank) {
    return std::all_of(bytes.begin(), bytes.end(), [blank](char c) { return c == blank; });
  };
  const auto blanks = [&](std::string_view bytes) { return all(bytes, ' '); };
  std::size_t at = 0;
  // Takes the next `size` bytes of the line.
  const auto next = [&](std::size_t size) {
    const std::string_view part = line.substr(at, size);
    at += size;
    return part;
  };
  // The text, its first byte perhaps a doc comment's mark.
  const auto text = [&](std::string_view part) {
    if (!plan.doc) return part == plan.text;
    return part[0] == doc_mark(plan) && part.substr(1) == plan.text.substr(1);
  };
  if (next(plan.code.size()) != plan.code || !all(next(padding(plan.tabs)), '\t') ||
      !blanks(next(padding(plan.code_padding)))) {
    return false;
  }
  if (plan.asis) {
    return next(plan.text.size()) == plan.text && next(plan.line_end.size()) == plan.line_end;
  }
  return next(2) == marker_of(plan) && text(next(plan.text.size())) &&
         blanks(next(padding(plan.text_padding))) &&
         next(close_of(plan).size()) == close_of(plan) &&
         next(plan.line_end.size()) == plan.line_end;
}

std::string rebuild_line(std::string_view line, const ScanResult& incoming,
                         const LayoutOptions& layout) {
  if (line.size() >= LINE_BUFFER_SIZE) return std::string(line);
  const ScanResult scanned = scan_line(line, incoming);
  if (!is_to_move(line, scanned, layout)) return std::string(line);
  const Plan plan = plan_line(line, scanned.comment_start, scanned.comment_end, layout);
  if (!keeps_meaning(plan, incoming)) return std::string(line);
  std::string rebuilt(rendered_size(plan), ' ');
  render(plan, rebuilt.data());
  return rebuilt;
}

}  // namespace quillet
