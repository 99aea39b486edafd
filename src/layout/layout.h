#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

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

/// How a line is laid out: what a settings file may set besides -nobak.
struct LayoutOptions {
  std::int32_t th = DEFAULT_TH;      // a comment whose marker starts left of this column stays
  std::int32_t cpos = DEFAULT_CPOS;  // column at which a rewritten comment's marker starts
  std::int32_t csz = DEFAULT_CSZ;    // width of a rewritten block comment's text field
  bool cpp_style = false;            // rewrite as "//" comments instead of "/* */"
  std::int32_t tabs = 1;             // a tab advances to the next multiple of this many columns
  bool utf8 = false;                 // pad by UTF-8 characters rather than bytes
  bool trail = false;                // move only comments that follow code on their line
};

/// Swaps th and cpos when th is the larger: a threshold right of the preferred column means the
/// two were given the other way round.
void order_columns(LayoutOptions& layout);

/// Drops the trailing whitespace of `text`, looking no further left than its second byte: a text
/// of whitespace only keeps its first byte.
[[nodiscard]] std::string_view trim_trailing(std::string_view text);

/// The width after `text` when it starts after width `from`: a tab advances to the next multiple
/// of `tabs`; with `utf8` the continuation bytes of a UTF-8 character take none.
[[nodiscard]] std::int64_t column_after(std::string_view text, std::int64_t from, std::int32_t tabs,
                                        bool utf8);

/// Whether the comment whose text starts at `comment_start` is to be moved: its marker stands at
/// column `layout.th` or further right, and, with `layout.trail`, code stands before it.
[[nodiscard]] bool is_past_threshold(std::string_view line, std::int32_t comment_start,
                                     const LayoutOptions& layout);

/// Whether the line whose scan gave `scanned` ends in a trailing comment that is to be moved.
[[nodiscard]] inline bool is_to_move(std::string_view line, const ScanResult& scanned,
                                     const LayoutOptions& layout) {
  return scanned.state.code == OK && is_past_threshold(line, scanned.comment_start, layout);
}

/// A rebuilt line: the code part, padding, the marker, the text, padding, "*/" in block style,
/// and the line end. Its views point into the line it was planned from.
struct Plan {
  std::string_view code;
  std::string_view text;
  std::string_view line_end;
  std::int64_t code_padding = 0;  // none when not above 0
  std::int64_t text_padding = 0;
  bool cpp_style = false;
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

/// Plans `line`, which ends in the trailing comment line[comment_start, comment_end), in the
/// layout that `layout` asks for.
[[nodiscard]] Plan plan_line(std::string_view line, std::int32_t comment_start,
                             std::int32_t comment_end, const LayoutOptions& layout);

/// Whether the planned line, scanned entering in `incoming` as the line it replaces was, holds the
/// same code and the same comment text and ends in plain code. It does not when the text holds
/// "*/" and becomes a block comment, ends in a backslash as a line comment, or when the code part
/// ends in "/" and glues to the marker; nor when a line comment holding "/*" would become a block
/// comment, or a restyled comment would read as documentation where it did not, or the other way
/// round. Such a line is better left as it is.
[[nodiscard]] bool keeps_meaning(const Plan& plan, const ScanResult& incoming);

/// The size of the planned line in bytes.
[[nodiscard]] inline std::size_t rendered_size(const Plan& plan) {
  const auto padding = [](std::int64_t columns) {
    return columns > 0 ? static_cast<std::size_t>(columns) : 0;
  };
  return plan.code.size() + padding(plan.code_padding) + 2 + plan.text.size() +
         padding(plan.text_padding) + (plan.cpp_style ? 0 : 2) + plan.line_end.size();
}

/// Writes the planned line into `out`, which has room for rendered_size(plan) bytes.
void render(const Plan& plan, char* out);

/// Whether the planned line is `line`, byte for byte.
[[nodiscard]] bool renders_as(const Plan& plan, std::string_view line);

/// The whole decision for one line (its line end included) that the scanner enters in
/// `incoming`: the line rebuilt, or the line as it is. For tests and tools: it allocates.
[[nodiscard]] std::string rebuild_line(std::string_view line, const ScanResult& incoming,
                                       const LayoutOptions& layout);

}  // namespace quillet
