#include "rewrite/rewrite.h"

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
  write_fill(out, ' ', plan.code_padding);
  write_bytes(out, plan.cpp_style ? "//"sv : "/*"sv);
  write_bytes(out, plan.text);
  write_fill(out, ' ', plan.text_padding);
  write_bytes(out, plan.cpp_style ? ""sv : "*/"sv);
  write_bytes(out, plan.line_end);
}

}  // namespace

ResultCode rewrite_lines(Input& in, Output* out, const LayoutOptions& layout,
                         const LineRanges* lines) {
  if (lines != nullptr && lines->ranges.empty()) lines = nullptr;  // no ranges: every line
  LineReader reader = begin_reading(in, out, lines != nullptr);
  ScanResult carried;
  bool fenced = false;  // inside a region that markers fence off
  for (Line line;;) {
    if (!next_line(reader, carried.state.code, line)) return RC_IO_ERROR;
    if (line.bytes.empty()) break;
    if (is_long(line)) {
      if (!copy_long_line(reader, carried)) return RC_IO_ERROR;
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
        if (out == nullptr) {
          if (!renders_as(plan, line.bytes)) return RC_WOULD_CHANGE;
        } else {
          if (!replace_line(reader, line)) return RC_IO_ERROR;
          write_plan(*out, plan);
          replaced = true;
        }
      }
    }
    if (!replaced) keep_line(reader, line);
    carried = scanned;
  }
  return finish_reading(reader) ? RC_OK : RC_IO_ERROR;
}

}  // namespace quillet
