#include "run/run.h"

#include <cstdint>
#include <cstring>

namespace quillet {
namespace {

bool write_padded(Output& out, std::string_view text, std::int64_t width) {
  write_bytes(out, text);
  return write_fill(out, ' ', width - static_cast<std::int64_t>(text.size()));
}

// A line is rebuilt with the line end it was read with; a last line without one gets "\n".
std::string_view line_end_of(std::string_view line) {
  if (line.size() >= 2 && line.substr(line.size() - 2) == "\r\n") return "\r\n";
  return "\n";
}

// Copies a line of LINE_BUFFER_SIZE bytes or more, whose start is in the buffer, unchanged. It is
// scanned on the way so that the state carried to the next line is the one after the whole line.
ResultCode copy_long_line(Input& in, Output& out, ScanResult& carried) {
  LineScan scan;
  scan.state = carried.state;
  for (;;) {
    const std::string_view rest(in.data.data() + in.begin, in.end - in.begin);
    const std::size_t newline = rest.find('\n');
    const std::string_view piece =
        rest.substr(0, newline == std::string_view::npos ? rest.size() : newline + 1);
    scan_bytes(scan, piece);
    if (!write_bytes(out, piece)) return RC_IO_ERROR;
    in.begin += piece.size();
    if (newline != std::string_view::npos) break;
    if (!refill(in)) {
      if (in.error != 0) return RC_IO_ERROR;
      break;
    }
  }
  carried = end_line(scan, carried);
  return RC_OK;
}

}  // namespace

std::string_view trim_trailing(std::string_view text) {
  std::size_t n = text.size();
  while (n > 1 && is_space(static_cast<unsigned char>(text[n - 1])))
    --n;
  return text.substr(0, n);
}

bool write_rebuilt_line(Output& out, std::string_view line, std::int32_t comment_start,
                        std::int32_t comment_end, const Options& options) {
  const auto start = static_cast<std::size_t>(comment_start);
  const std::string_view text =
      trim_trailing(line.substr(start, static_cast<std::size_t>(comment_end) - start));
  const std::string_view code = trim_trailing(line.substr(0, start - 2));
  const std::int64_t length = static_cast<std::int64_t>(code.size());
  const std::int64_t cpos = options.cpos;
  write_padded(out, code, cpos - 1);
  if (options.cpp_style) {
    write_bytes(out, "//");
    write_bytes(out, text);
  } else {
    // The text field ends where it would with a code part shorter than cpos, as long as it can.
    std::int64_t width = 0;
    if (length < cpos) {
      width = options.csz;
    } else if (length <= cpos + options.csz - 1) {
      width = options.csz + cpos - length - 1;
    }
    write_bytes(out, "/*");
    write_padded(out, text, width);
    write_bytes(out, "*/");
  }
  return write_bytes(out, line_end_of(line));
}

ResultCode run_file(Input& in, Output& out, const Options& options) {
  ScanResult carried;
  std::size_t searched = 0;  // the first `searched` unused bytes hold no newline
  for (;;) {
    const std::string_view rest(in.data.data() + in.begin, in.end - in.begin);
    const std::size_t newline = rest.find('\n', searched);
    if (newline == std::string_view::npos && rest.size() < LINE_BUFFER_SIZE && !in.at_end) {
      searched = rest.size();
      if (!refill(in) && in.error != 0) return RC_IO_ERROR;
      continue;
    }
    const std::string_view line =
        rest.substr(0, newline == std::string_view::npos ? rest.size() : newline + 1);
    if (line.empty()) break;
    searched = 0;
    if (line.size() >= LINE_BUFFER_SIZE) {
      if (copy_long_line(in, out, carried) != RC_OK) return RC_IO_ERROR;
      continue;
    }
    carried = scan_line(line, carried);
    if (carried.state == OK && carried.comment_start > options.th) {
      write_rebuilt_line(out, line, carried.comment_start, carried.comment_end, options);
    } else {
      write_bytes(out, line);
    }
    if (out.error != 0) return RC_IO_ERROR;
    in.begin += line.size();
  }
  return RC_OK;
}

}  // namespace quillet
