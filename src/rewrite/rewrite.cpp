#include "rewrite/rewrite.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "base/quote.h"
#include "base/text.h"
#include "layout/group.h"
#include "rewrite/groups.h"
#include "rewrite/lines.h"
#include "rewrite/regions.h"

namespace quillet {
namespace {

using namespace std::string_view_literals;

// Writes the planned line, longer than the output buffer, piece by piece.
void write_plan_through(Output& out, const Plan& plan) {
  write_bytes(out, plan.code);
  write_fill(out, '\t', plan.tabs);
  write_fill(out, ' ', plan.code_padding);
  if (plan.asis) {
    write_bytes(out, plan.text);
    write_bytes(out, plan.line_end);
    return;
  }
  write_bytes(out, plan.cpp_style ? "//"sv : "/*"sv);
  if (plan.doc) write_fill(out, doc_mark(plan), 1);
  write_bytes(out, plan.text.substr(plan.doc ? 1 : 0));
  write_fill(out, ' ', plan.text_padding);
  write_bytes(out, plan.cpp_style ? ""sv : "*/"sv);
  write_bytes(out, plan.line_end);
}

// Writes the planned line.
inline void write_plan(Output& out, const Plan& plan) {
  if (char* const room = reserve(out, rendered_size(plan))) {
    render(plan, room);
    return;
  }
  // Columns far to the right make lines longer than the buffer, and than any line read.
  write_plan_through(out, plan);
}

// GitHub reads "%", and in a property "," and ":" too, as its own: they are written escaped.
std::string for_github(std::string_view text, bool property) {
  std::string out;
  for (const char c : text) {
    if (c == '%') {
      out += "%25";
    } else if (c == '\r') {
      out += "%0D";
    } else if (c == '\n') {
      out += "%0A";
    } else if (property && c == ':') {
      out += "%3A";
    } else if (property && c == ',') {
      out += "%2C";
    } else {
      out += c;
    }
  }
  return out;
}

// Tells that line `number`, `line`, whose trailing comment starts at `comment_start`, would
// change into `plan`: where the comment's marker stands, and where it would go (columns counted
// as the layout counts them).
void report_line(const LineReport& report, std::uint64_t number, std::string_view line,
                 std::int32_t comment_start, const Plan& plan, const LayoutOptions& layout) {
  const std::int64_t column = marker_at(line, comment_start, layout);
  const std::int64_t to = marker_column(plan, layout);
  char what[64];
  if (to != column) {
    std::snprintf(what, sizeof what, "trailing comment would move to column %lld",
                  static_cast<long long>(to));
  } else {
    std::snprintf(what, sizeof what, "trailing comment would be rewritten in place");
  }
  const auto at_line = static_cast<unsigned long long>(number);
  const auto at_column = static_cast<long long>(column);
  if (report.style == Report::GITHUB) {
    std::fprintf(report.out, "::warning file=%s,line=%llu,col=%lld::%s\n",
                 for_github(report.path, true).c_str(), at_line, at_column,
                 for_github(what, false).c_str());
  } else {
    std::fprintf(report.out, "%s:%llu:%lld: warning: %s\n",
                 printable_at_line_start(report.path).c_str(), at_line, at_column, what);
  }
}

// What the line loop shares, whatever the layout.
struct Loop {
  LineReader reader;
  Output* out;
  const LayoutOptions& layout;
  const LineRanges* lines;   // nullptr: every line may change
  const LineReport* report;  // without an output, tell every line that would change
  bool changed = false;      // without an output, a line would change
};

// Makes `line` the planned one: writes it, or without an output asks whether it would change.
// Returns RC_OK, RC_WOULD_CHANGE to end a check at once, or RC_IO_ERROR.
ResultCode rebuild(Loop& loop, std::string_view line, std::size_t at, std::uint64_t number,
                   std::int32_t comment_start, const Plan& plan) {
  if (loop.out != nullptr) {
    if (!replace_held(loop.reader, at, line.size())) return RC_IO_ERROR;
    write_plan(*loop.out, plan);
  } else if (!renders_as(plan, line)) {
    if (loop.report == nullptr) return RC_WOULD_CHANGE;  // a check needs no more than one
    loop.changed = true;
    report_line(*loop.report, number, line, comment_start, plan, loop.layout);
  }
  return RC_OK;
}

// The loop of FIXED, where each line is laid out on its own. With `TRAIL`, a comment alone on
// its line right below one that moves continues it when it stands where that one stood or goes:
// it moves too.
template <bool TRAIL>
ResultCode rewrite_each(Input& in, Output* out, const LayoutOptions& layout,
                        const LineRanges* lines, const LineReport* report) {
  LineReader reader = begin_reading(in, out, lines != nullptr || report != nullptr);
  bool changed = false;
  ScanResult carried;
  bool fenced = false;  // inside a region that markers fence off
  // TRAIL: the comment of the line above, when it moves: where it stands, and where it goes.
  std::int64_t above = 0;
  std::int64_t above_to = 0;
  for (Line line;;) {
    if (!next_line(reader, carried.state.code, line)) return RC_IO_ERROR;
    if (line.bytes.empty()) break;
    if (is_long(line)) {
      Marker marker = Marker::NONE;
      if (!copy_long_line(reader, carried, marker)) return RC_IO_ERROR;
      if (marker != Marker::NONE) fenced = marker == Marker::OFF;
      above_to = 0;
      continue;
    }
    // Pass the line through, or rebuild it.
    const ScanResult scanned = scan_line(line.bytes, carried, line.clear);
    bool replaced = false;
    std::int64_t to = 0;
    if (const Marker marker = marker_of(line.bytes, scanned); marker != Marker::NONE) {
      fenced = marker == Marker::OFF;  // a switch, not a nesting; the marker line stays
    } else if (!fenced &&
               (is_to_move(line.bytes, scanned, layout) ||
                (TRAIL && above_to != 0 && !line.after_quiet && scanned.state.code == OK &&
                 is_alone_past_threshold(line.bytes, scanned.comment_start, layout) &&
                 continues(marker_at(line.bytes, scanned.comment_start, layout), above,
                           above_to)))) {
      // With TRAIL a line outside the ranges is planned too: whether it moves tells the line
      // below whether to follow.
      const bool asked = lines == nullptr || lines->contains(line_number(reader, line));
      if (asked || TRAIL) {
        const Plan plan = plan_line(line.bytes, scanned.comment_start, scanned.comment_end, layout);
        if (keeps_meaning(plan, carried)) {
          if constexpr (TRAIL) {
            above = marker_at(line.bytes, scanned.comment_start, layout);
            to = marker_column(plan, layout);
          }
          if (!asked) {
          } else if (out != nullptr) {
            if (!replace_line(reader, line)) return RC_IO_ERROR;
            write_plan(*out, plan);
            replaced = true;
          } else if (!renders_as(plan, line.bytes)) {
            if (report == nullptr) return RC_WOULD_CHANGE;  // a check needs no more than one
            changed = true;
            report_line(*report, line_number(reader, line), line.bytes, scanned.comment_start, plan,
                        layout);
          }
        }
      }
    }
    if (!replaced) keep_line(reader, line);
    above_to = to;
    carried = scanned;
  }
  if (!finish_reading(reader)) return RC_IO_ERROR;
  return changed ? RC_WOULD_CHANGE : RC_OK;
}

// The facts of the lines held, while their group is: for the layout, and where each lies.
struct Held {
  struct At {
    std::uint32_t offset;  // from the group's first byte, LineReader::held
    std::uint32_t size;
    std::int32_t comment_start;
    std::uint64_t number;  // counted with ranges or a report only
    PlanParts parts;
  };
  std::size_t count = 0;
  // Not initialised: a run fills only what its groups need.
  std::array<GroupLine, MAX_GROUP_LINES> lines;
  std::array<At, MAX_GROUP_LINES> at;
};

// Whether a line numbered from `first` to `last` lies in `lines`, which are in order.
bool any_in(const LineRanges& lines, std::uint64_t first, std::uint64_t last) {
  for (const LineRange& range : lines.ranges) {
    if (range.last >= first) return range.first <= last;
  }
  return false;
}

// Keeps the facts of `line`, whose scan entering in `carried` gave `scanned`, of kind `kind`.
void hold(Loop& loop, Held& held, const Line& line, const ScanResult& scanned,
          const ScanResult& carried, LineKind kind) {
  LineReader& reader = loop.reader;
  const LayoutOptions& layout = loop.layout;
  const auto at = static_cast<std::size_t>(line.bytes.data() - reader.in->data.data());
  if (held.count == 0) reader.held = at;
  Plan plan = plan_parts(line.bytes, scanned.comment_start, scanned.comment_end, layout);
  held.at[held.count] = {static_cast<std::uint32_t>(at - reader.held),
                         static_cast<std::uint32_t>(line.bytes.size()), scanned.comment_start,
                         reader.counting ? line_number(reader, line) : 0,
                         parts_of(plan, line.bytes)};
  GroupLine& facts = held.lines[held.count++];
  facts.width = column_after(plan.code, 0, layout.tabs, layout.utf8);
  facts.column = marker_at(line.bytes, scanned.comment_start, layout);
  facts.alone = kind == LineKind::ALONE;
  // Whether the line keeps its meaning does not depend on its column, as long as at least one
  // blank stands before its marker; and the gap is at least one here. As written, it does.
  facts.kept = false;
  if (!layout.asis) {
    place(plan, layout, facts.width + gap_of(layout) + 1, layout.csz);
    facts.kept = !keeps_meaning(plan, carried);
  }
}

// Lays out the group held and writes it, or looks at it; lets the lines held go. Returns as
// rebuild does.
ResultCode lay_out_held(Loop& loop, Held& held) {
  LineReader& reader = loop.reader;
  const std::size_t origin = reader.held;
  const std::size_t count = held.count;
  reader.held = NOT_HELD;
  held.count = 0;
  if (count == 0) return RC_OK;
  if (loop.lines != nullptr && !any_in(*loop.lines, held.at[0].number, held.at[count - 1].number)) {
    return RC_OK;
  }
  const std::span<GroupLine> lines(held.lines.data(), count);
  lay_out_group(lines, loop.layout);
  for (std::size_t i = 0; i < count; ++i) {
    if (lines[i].to == 0) continue;
    const Held::At& at = held.at[i];
    const std::string_view line(reader.in->data.data() + origin + at.offset, at.size);
    Plan plan = plan_of(at.parts, line);
    place(plan, loop.layout, lines[i].to, loop.layout.csz);
    // A line grown to LINE_BUFFER_SIZE would not be read as one to move again: it stays, and
    // the next run finds the group as this one did.
    if (rendered_size(plan) >= LINE_BUFFER_SIZE || !keeps_meaning(plan, ScanResult{})) continue;
    const ResultCode rc =
        rebuild(loop, line, origin + at.offset, at.number, at.comment_start, plan);
    if (rc != RC_OK) return rc;
  }
  return RC_OK;
}

// What `line`, whose scan gave `scanned` and which is no marker, is to a group held.
LineKind kind_of(const Line& line, const ScanResult& scanned, bool fenced,
                 const LayoutOptions& layout) {
  if (std::all_of(line.bytes.begin(), line.bytes.end(),
                  [](char c) { return is_space(static_cast<unsigned char>(c)); })) {
    return LineKind::BLANK;
  }
  const bool alone = layout.trail && !fenced && scanned.state.code == OK &&
                     is_alone_past_threshold(line.bytes, scanned.comment_start, layout);
  return alone ? LineKind::ALONE : LineKind::OTHER;
}

// The loop of the layouts that line up the lines of a group: each group is held until it ends,
// then laid out (see rewrite/groups.h).
ResultCode rewrite_groups(Input& in, Output* out, const LayoutOptions& layout,
                          const LineRanges* lines, const LineReport* report) {
  Loop loop{begin_reading(in, out, lines != nullptr || report != nullptr), out, layout, lines,
            report};
  LineReader& reader = loop.reader;
  Held held;
  Grouping group;
  ScanResult carried;
  bool fenced = false;  // inside a region that markers fence off
  // Takes a line of kind `kind` into the groups; it may end the one held.
  const auto step = [&](LineKind kind, std::size_t size) {
    const bool let_go = group.let_go;
    const GroupStep taken = group_step(group, kind, size, layout.span);
    if (taken.ends_before && !let_go) return std::pair(lay_out_held(loop, held), taken.role);
    if (group.let_go) {
      reader.held = NOT_HELD;
      held.count = 0;
    }
    return std::pair(RC_OK, taken.role);
  };
  for (Line line;;) {
    // Lines that cannot change are passed over in bulk only when no group is held.
    if (!next_line(reader, carried.state.code, line, group.lines == 0)) return RC_IO_ERROR;
    if (line.bytes.empty()) break;
    if (is_long(line)) {
      if (const ResultCode rc = step(LineKind::BREAK, line.bytes.size()).first; rc != RC_OK) {
        return rc;
      }
      Marker marker = Marker::NONE;
      if (!copy_long_line(reader, carried, marker)) return RC_IO_ERROR;
      if (marker != Marker::NONE) fenced = marker == Marker::OFF;
      continue;
    }
    const ScanResult scanned = scan_line(line.bytes, carried, line.clear);
    LineKind kind = LineKind::OTHER;
    if (const Marker marker = marker_of(line.bytes, scanned); marker != Marker::NONE) {
      fenced = marker == Marker::OFF;
      kind = LineKind::BREAK;
    } else if (!fenced && is_to_move(line.bytes, scanned, layout)) {
      kind = LineKind::MEMBER;
    } else if (group.lines > 0) {
      kind = kind_of(line, scanned, fenced, layout);
    }
    const auto [rc, role] = step(kind, line.bytes.size());
    if (rc != RC_OK) return rc;
    if (role == Role::HELD && !group.let_go) hold(loop, held, line, scanned, carried, kind);
    keep_line(reader, line);
    carried = scanned;
  }
  if (group.lines > 0 && !group.let_go) {
    if (const ResultCode rc = lay_out_held(loop, held); rc != RC_OK) return rc;
  }
  if (!finish_reading(reader)) return RC_IO_ERROR;
  return loop.changed ? RC_WOULD_CHANGE : RC_OK;
}

}  // namespace

ResultCode rewrite_lines(Input& in, Output* out, const LayoutOptions& layout,
                         const LineRanges* lines, const LineReport* report) {
  if (lines != nullptr && lines->ranges.empty()) lines = nullptr;  // no ranges: every line
  if (out != nullptr) report = nullptr;
  if (layout.align != Align::FIXED) return rewrite_groups(in, out, layout, lines, report);
  if (layout.trail) return rewrite_each<true>(in, out, layout, lines, report);
  return rewrite_each<false>(in, out, layout, lines, report);
}

}  // namespace quillet
