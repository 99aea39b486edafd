#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/text.h"
#include "scanner/scanner.h"

namespace quillet {

// Columns are counted from 1, as editors show them: th and cpos are columns, and a comment's
// marker stands at a column. A width is the number of columns a text takes, counted from 0: a
// code part of width w, starting the line, ends right before column w + 1.

inline constexpr std::int32_t DEFAULT_TH = 25;
inline constexpr std::int32_t DEFAULT_CPOS = 65;
inline constexpr std::int32_t DEFAULT_CSZ = 42;
inline constexpr std::int32_t MAX_TABS = 16;

/// A line of this many bytes or more, its line end counted, is copied unchanged: it is too long
/// to be rebuilt.
inline constexpr std::size_t LINE_BUFFER_SIZE = 4096;

/// Where rebuilt comments go: each line to cpos on its own (FIXED); the lines of a group to one
/// column, cpos or past the group's widest code part (COLUMN), or past it with no fixed column
/// (GROUP); or a group as it is when its comments share a column already, else as GROUP (KEEP).
enum class Align : std::uint8_t { FIXED, COLUMN, GROUP, KEEP };

/// How a line is laid out: what a settings file may set besides -nobak.
struct LayoutOptions {
  std::int32_t th = DEFAULT_TH;      // a comment whose marker starts left of this column stays
  std::int32_t cpos = DEFAULT_CPOS;  // column at which a rewritten comment's marker starts
  std::int32_t csz = DEFAULT_CSZ;    // width of a rewritten block comment's text field
  bool cpp_style = false;            // rewrite as "//" comments instead of "/* */"
  std::int32_t tabs = 1;             // a tab advances to the next multiple of this many columns
  bool utf8 = false;                 // pad by UTF-8 characters rather than bytes
  bool trail = false;                // move only comments that follow code on their line
  Align align = Align::FIXED;
  std::int32_t span = 1;  // lines without a comment to move that may stand inside a group
  std::int32_t gap = 0;   // fewest blanks before a rebuilt marker; 0: the layout's own
  bool asis = false;      // keep the comment as written, marker to end: only blanks move
  bool pad_tabs = false;  // the blanks before the marker are tabs up to the last tab stop
};

/// The fewest blanks between a code part and a rebuilt marker: as given, or none in FIXED (the
/// code part is padded to cpos - 1 or not at all) and one in the layouts of groups.
[[nodiscard]] constexpr std::int64_t gap_of(const LayoutOptions& layout) {
  if (layout.gap > 0) return layout.gap;
  return layout.align == Align::FIXED ? 0 : 1;
}

/// Swaps th and cpos when th is the larger: a threshold right of the preferred column means the
/// two were given the other way round.
void order_columns(LayoutOptions& layout);

/// Drops the trailing whitespace of `text`, looking no further left than its second byte: a text
/// of whitespace only keeps its first byte.
[[nodiscard]] std::string_view trim_trailing(std::string_view text);

/// column_after where a tab or a byte past ASCII may take other than one column.
[[nodiscard]] std::int64_t column_after_counted(std::string_view text, std::int64_t from,
                                                std::int32_t tabs, bool utf8);

/// The width after `text` when it starts after width `from`: a tab advances to the next multiple
/// of `tabs`; with `utf8` the continuation bytes of a UTF-8 character take none.
[[nodiscard]] inline std::int64_t column_after(std::string_view text, std::int64_t from,
                                               std::int32_t tabs, bool utf8) {
  if (tabs == 1 && !utf8) return from + static_cast<std::int64_t>(text.size());
  return column_after_counted(text, from, tabs, utf8);
}

/// The column at which the marker of the comment whose text starts at `comment_start` (2 or
/// more) stands.
[[nodiscard]] inline std::int64_t marker_at(std::string_view line, std::int32_t comment_start,
                                            const LayoutOptions& layout) {
  const std::string_view before = line.substr(0, static_cast<std::size_t>(comment_start) - 2);
  return column_after(before, 0, layout.tabs, layout.utf8) + 1;
}

/// Whether the comment whose text starts at `comment_start` is alone on its line (only blanks
/// before it) with its marker at column `layout.th` or further right.
[[nodiscard]] bool is_alone_past_threshold(std::string_view line, std::int32_t comment_start,
                                           const LayoutOptions& layout);

/// Whether the comment whose text starts at `comment_start` is to be moved: its marker stands at
/// column `layout.th` or further right, and, with `layout.trail`, code stands before it.
[[nodiscard]] bool is_past_threshold(std::string_view line, std::int32_t comment_start,
                                     const LayoutOptions& layout);

/// Whether the line whose scan gave `scanned` ends in a trailing comment that is to be moved.
[[nodiscard]] inline bool is_to_move(std::string_view line, const ScanResult& scanned,
                                     const LayoutOptions& layout) {
  return scanned.state.code == OK && is_past_threshold(line, scanned.comment_start, layout);
}

/// A rebuilt line: the code part, padding (tabs, then spaces), the marker, the text, padding,
/// "*/" in block style, and the line end; or, `asis`, the code part, padding and the line as it
/// was from its marker on. Its views point into the line it was planned from.
struct Plan {
  std::string_view code;
  std::string_view text;          // trimmed; `asis`: the marker and the text, as written
  std::string_view line_end;      // `asis`: all that follows the text, as written
  std::size_t size = 0;           // of the whole line in bytes, once placed
  std::int64_t tabs = 0;          // tabs after the code part, then the spaces of `code_padding`
  std::int64_t code_padding = 0;  // none when not above 0
  std::int64_t text_padding = 0;
  bool cpp_style = false;
  bool asis = false;
  char own_mark = '/';  // the second byte of the comment's own marker: "/" of "//", "*" of "/*"
  // A doc comment restyled: the text's first byte, the "/" of "///" or the "*" of "/**", is
  // written as the other one.
  bool doc = false;
};

/// The byte that makes a comment of the planned style a doc comment: "/" after "//", "*" after
/// "/*".
[[nodiscard]] inline char doc_mark(const Plan& plan) { return plan.cpp_style ? '/' : '*'; }

/// Whether the planned comment was written in the other style.
[[nodiscard]] inline bool is_restyled(const Plan& plan) { return plan.own_mark != doc_mark(plan); }

/// The parts of `line`, which ends in the trailing comment line[comment_start, comment_end), as
/// `layout` rebuilds it, not yet placed: see place.
[[nodiscard]] Plan plan_parts(std::string_view line, std::int32_t comment_start,
                              std::int32_t comment_end, const LayoutOptions& layout);

/// Puts the planned marker at `column`, padding the code part up to it (with tabs first, when
/// `layout.pad_tabs`) or not at all when it reaches it, and in block style the text to a field
/// of `field` columns.
void place(Plan& plan, const LayoutOptions& layout, std::int64_t column, std::int64_t field);

/// Plans `line`, which ends in the trailing comment line[comment_start, comment_end), as a line
/// of its own: the marker at cpos, or past the code part and the gap when it reaches that far,
/// and the text field shortened by as much, while any is left.
[[nodiscard]] Plan plan_line(std::string_view line, std::int32_t comment_start,
                             std::int32_t comment_end, const LayoutOptions& layout);

/// keeps_meaning for a line that the quick look does not settle: scans it again.
[[nodiscard]] bool keeps_meaning_rescanned(const Plan& plan, const ScanResult& incoming);

/// Whether the planned line, scanned entering in `incoming` as the line it replaces was, holds the
/// same code and the same comment text and ends in plain code. It does not when the text holds
/// "*/" and becomes a block comment, ends in a backslash as a line comment, or when the code part
/// ends in "/" and glues to the marker; nor when a line comment holding "/*" would become a block
/// comment, or a restyled comment would read as documentation where it did not, or the other way
/// round. Such a line is better left as it is. Most lines are settled at a look, where the line
/// loop sees it: padded, with no "*", "/" nor backslash in the text, nothing in it can close the
/// comment early or carry the line over.
[[nodiscard]] inline bool keeps_meaning(const Plan& plan, const ScanResult& incoming) {
  // As written, after a blank, the comment reads as it did.
  if ((plan.code_padding > 0 || plan.tabs > 0) &&
      (plan.asis || find_first(plan.text, 0, '*', '/', '\\') == plan.text.size())) {
    return true;
  }
  return keeps_meaning_rescanned(plan, incoming);
}

/// Where the parts of a plan lie in its line, to keep while the line may move in memory. No
/// defaults: the line loop keeps an array of them for every run, and fills only what it needs.
struct PlanParts {
  std::uint16_t code;       // the code part's size
  std::uint16_t text;       // where the text starts
  std::uint16_t text_size;  // `asis`: what follows the text is the line end
  bool cpp_style;
  bool asis;
  bool doc;
  char own_mark;
};

/// The parts of `plan`, planned from `line` (shorter than LINE_BUFFER_SIZE), as offsets.
[[nodiscard]] inline PlanParts parts_of(const Plan& plan, std::string_view line) {
  const auto at = [&](std::string_view part) {
    return static_cast<std::uint16_t>(part.data() - line.data());
  };
  return {static_cast<std::uint16_t>(plan.code.size()),
          at(plan.text),
          static_cast<std::uint16_t>(plan.text.size()),
          plan.cpp_style,
          plan.asis,
          plan.doc,
          plan.own_mark};
}

/// The plan of `line` whose parts are `parts`, not yet placed, as plan_parts gave it.
[[nodiscard]] inline Plan plan_of(const PlanParts& parts, std::string_view line) {
  Plan plan;
  plan.code = line.substr(0, parts.code);
  plan.text = line.substr(parts.text, parts.text_size);
  plan.line_end = parts.asis ? line.substr(parts.text + parts.text_size) : line_end_of(line);
  plan.cpp_style = parts.cpp_style;
  plan.asis = parts.asis;
  plan.doc = parts.doc;
  plan.own_mark = parts.own_mark;
  return plan;
}

/// The size of the planned line in bytes.
[[nodiscard]] inline std::size_t rendered_size(const Plan& plan) { return plan.size; }

/// The column at which the planned line's marker stands.
[[nodiscard]] std::int64_t marker_column(const Plan& plan, const LayoutOptions& layout);

/// Writes the planned line into `out`, which has room for rendered_size(plan) bytes.
void render(const Plan& plan, char* out);

/// Whether the planned line is `line`, byte for byte.
[[nodiscard]] bool renders_as(const Plan& plan, std::string_view line);

/// The whole decision for one line (its line end included) that the scanner enters in
/// `incoming`: the line rebuilt, or the line as it is. For tests and tools: it allocates.
[[nodiscard]] std::string rebuild_line(std::string_view line, const ScanResult& incoming,
                                       const LayoutOptions& layout);

}  // namespace quillet
