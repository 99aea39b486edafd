#include "rewrite/rewrite.h"

#include <algorithm>
#include <cstdint>
#include <string>

#include "base/quote.h"
#include "rewrite/lines.h"
#include "rewrite/regions.h"

namespace quillet {
namespace {

using namespace std::string_view_literals;

// Writes the planned line.
void write_plan(Output& out, const Plan& plan) {
  const std::size_t size = rendered_size(plan);
  if (char* const room = reserve(out, size)) {
    render(plan, room);
    return;
  }
  // Columns far to the right make lines longer than the buffer, and than any line read.
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
  const auto marker = static_cast<std::size_t>(comment_start) - 2;
  const std::int64_t column = column_after(line.substr(0, marker), 0, layout.tabs, layout.utf8) + 1;
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
    std::fprintf(report.out, "%s:%llu:%lld: %s\n", printable_at_line_start(report.path).c_str(),
                 at_line, at_column, what);
  }
}

}  // namespace

ResultCode rewrite_lines(Input& in, Output* out, const LayoutOptions& layout,
                         const LineRanges* lines, const LineReport* report) {
  if (lines != nullptr && lines->ranges.empty()) lines = nullptr;  // no ranges: every line
  if (out != nullptr) report = nullptr;
  LineReader reader = begin_reading(in, out, lines != nullptr || report != nullptr);
  bool changed = false;
  ScanResult carried;
  bool fenced = false;  // inside a region that markers fence off
  for (Line line;;) {
    if (!next_line(reader, carried.state.code, line)) return RC_IO_ERROR;
    if (line.bytes.empty()) break;
    if (is_long(line)) {
      Marker marker = Marker::NONE;
      if (!copy_long_line(reader, carried, marker)) return RC_IO_ERROR;
      if (marker != Marker::NONE) fenced = marker == Marker::OFF;
      continue;
    }
    // Pass the line through, or rebuild it.
    const ScanResult scanned = scan_line(line.bytes, carried, line.clear);
    bool replaced = false;
    if (const Marker marker = marker_of(line.bytes, scanned); marker != Marker::NONE) {
      fenced = marker == Marker::OFF;  // a switch, not a nesting; the marker line stays
    } else if (!fenced && is_to_move(line.bytes, scanned, layout) &&
               (lines == nullptr || lines->contains(line_number(reader, line)))) {
      const Plan plan = plan_line(line.bytes, scanned.comment_start, scanned.comment_end, layout);
      if (keeps_meaning(plan, carried)) {
        if (out != nullptr) {
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
    if (!replaced) keep_line(reader, line);
    carried = scanned;
  }
  if (!finish_reading(reader)) return RC_IO_ERROR;
  return changed ? RC_WOULD_CHANGE : RC_OK;
}

}  // namespace quillet
