// libFuzzer target: arbitrary bytes through the scanner and through the whole run.
//
// The first three bytes pick the options, the layout among them; the rest is the file. Checked
// on every input:
// - the scanner gives the same result for a line fed whole or in pieces cut where tokens end;
// - the run writes every input line exactly once, each unchanged or rebuilt from its code part
//   and its trailing comment with only blanks added (a doc comment's mark, "///" or "/**",
//   taking the new style's form), or with -asis from its code part, blanks and the rest of the
//   line as it was; and the output scans line by line into the same states as the input;
// - in the layouts of groups, a rebuilt comment stands past its code part and the gap, no further
//   left than the threshold (cpos, in COLUMN);
// - a check says a line would change exactly when the output differs;
// - a second run over the output changes nothing.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "layout/layout.h"
#include "rewrite/rewrite.h"
#include "scanner/scanner.h"
#include "test_files.h"

namespace {

using quillet::Input;
using quillet::LayoutOptions;
using quillet::Output;

void require(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
  }
}

// Lines end in a newline, or in a carriage return that no newline follows.
std::vector<std::string_view> split_lines(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    std::size_t end = text.find_first_of("\r\n");
    if (end != std::string_view::npos && text[end] == '\r' && end + 1 < text.size() &&
        text[end + 1] == '\n') {
      ++end;
    }
    const std::size_t size = end == std::string_view::npos ? text.size() : end + 1;
    lines.push_back(text.substr(0, size));
    text.remove_prefix(size);
  }
  return lines;
}

bool is_blank(std::string_view text, bool tabs = false) {
  for (const char c : text) {
    if (c != ' ' && (!tabs || c != '\t')) return false;
  }
  return true;
}

// Whether `after` is `before` rebuilt around the trailing comment line[start, end): its code part
// and its comment text, with only blanks added between them and spaces after the text; with
// -asis, its code part, blanks and the line as it was from the marker on.
bool is_rebuilt(std::string_view before, std::string_view after, std::int32_t start,
                std::int32_t end, const LayoutOptions& options) {
  const bool cpp_style = options.cpp_style;
  const auto from = static_cast<std::size_t>(start);
  const std::string_view code = quillet::trim_trailing(before.substr(0, from - 2));
  if (options.asis) {
    const std::string_view tail = before.substr(from - 2);
    return after.size() >= code.size() + tail.size() && after.substr(0, code.size()) == code &&
           after.substr(after.size() - tail.size()) == tail &&
           is_blank(after.substr(code.size(), after.size() - code.size() - tail.size()),
                    options.pad_tabs);
  }
  std::size_t to = static_cast<std::size_t>(end);
  if (before.size() >= 2 && before.substr(before.size() - 2) == "\r\n") {
    to = std::min(to, before.size() - 2);
  }
  std::string_view text = quillet::trim_trailing(before.substr(from, to - from));
  if (after.substr(0, code.size()) != code) return false;
  after.remove_prefix(code.size());
  const std::size_t marker = after.find(cpp_style ? "//" : "/*");
  if (marker == std::string_view::npos || !is_blank(after.substr(0, marker), options.pad_tabs)) {
    return false;
  }
  after.remove_prefix(marker + 2);
  // A doc comment in the other style keeps its mark: "///" becomes "/**", and back.
  const char own_mark = before[from - 1];  // the "/" of "//", the "*" of "/*"
  const char new_mark = cpp_style ? '/' : '*';
  if (own_mark != new_mark && !text.empty() && text[0] == own_mark) {
    if (after.empty() || after[0] != new_mark) return false;
    after.remove_prefix(1);
    text.remove_prefix(1);
  }
  if (after.substr(0, text.size()) != text) return false;
  after.remove_prefix(text.size());
  const std::size_t close = cpp_style ? 0 : after.find("*/");
  if (close == std::string_view::npos || !is_blank(after.substr(0, close))) return false;
  after.remove_prefix(cpp_style ? 0 : close + 2);
  return after == "\n" || after == "\r\n" || after == "\r";
}

// Whether a check of `text` says that a line would change.
bool would_change(std::string_view text, const LayoutOptions& options) {
  static Input in;
  in = Input{};
  in.file = quillet::memory_file(text);
  require(in.file.is_open(), "memory file");
  const quillet::ResultCode rc = quillet::rewrite_lines(in, nullptr, options);
  require(rc == quillet::RC_OK || rc == quillet::RC_WOULD_CHANGE, "check");
  return rc == quillet::RC_WOULD_CHANGE;
}

std::string run(std::string_view text, const LayoutOptions& options) {
  static Input in;
  static Output out;
  in = Input{};
  out = Output{};
  in.file = quillet::memory_file(text);
  out.file = quillet::memory_file("");
  require(in.file.is_open() && out.file.is_open(), "memory file");
  require(quillet::rewrite_lines(in, &out, options) == quillet::RC_OK, "rewrite_lines");
  require(quillet::flush(out), "flush");
  return quillet::read_back(out.file);
}

void check_pieces(std::string_view line, const quillet::ScanResult& carried) {
  const quillet::ScanResult whole = quillet::scan_line(line, carried);
  quillet::LineScan scan = quillet::begin_line(carried.state);
  std::size_t from = 0;
  for (std::size_t cut = 1; cut < line.size(); cut += 1 + cut % 5) {
    if (!quillet::is_piece_end(static_cast<unsigned char>(line[cut - 1]))) continue;
    quillet::scan_bytes(scan, line.substr(from, cut - from));
    from = cut;
  }
  const quillet::ScanResult pieces = quillet::end_line(scan, line.substr(from), carried);
  require(pieces.state == whole.state, "pieces: state");
  if (whole.state.code != quillet::ERROR) {
    require(pieces.comment_start == whole.comment_start, "pieces: comment start");
    require(pieces.comment_end == whole.comment_end, "pieces: comment end");
  }
}

}  // namespace

// The name is libFuzzer's.
extern "C" int LLVMFuzzerTestOneInput(  // NOLINT(readability-identifier-naming)
    const std::uint8_t* data, std::size_t size) {
  if (size < 3) return 0;
  LayoutOptions options;
  options.cpp_style = (data[0] & 1) != 0;
  options.th = 4 + (data[0] >> 1 & 7) * 3;
  options.cpos = options.th + 1 + (data[0] >> 4) * 5;
  options.csz = 4 + (data[0] >> 4);
  options.tabs = 1 + (data[1] & 15);
  options.utf8 = (data[1] & 16) != 0;
  options.trail = (data[1] & 32) != 0;
  options.align = static_cast<quillet::Align>(data[2] & 3);
  options.asis = (data[2] & 4) != 0;
  options.pad_tabs = (data[2] & 8) != 0;
  options.span = (1 + (data[2] >> 4 & 3)) % 4;  // 0 in the byte is the default, 1
  options.gap = data[2] >> 6;
  const std::string_view text(reinterpret_cast<const char*>(data + 3), size - 3);

  const std::string once = run(text, options);
  const std::vector<std::string_view> before = split_lines(text);
  const std::vector<std::string_view> after = split_lines(once);
  require(before.size() == after.size(), "every line written once");
  quillet::ScanResult carried;
  quillet::ScanResult carried_after;
  for (std::size_t i = 0; i < before.size(); ++i) {
    check_pieces(before[i], carried);
    carried = quillet::scan_line(before[i], carried);
    carried_after = quillet::scan_line(after[i], carried_after);
    require(carried.state == carried_after.state, "the output scans like the input");
    if (before[i] == after[i]) continue;
    // With -trail, a comment alone on its line may move too, as a continuation.
    LayoutOptions any_comment = options;
    any_comment.trail = false;
    require(carried.state.code == quillet::OK &&
                quillet::is_past_threshold(before[i], carried.comment_start, any_comment),
            "only lines with a trailing comment change");
    require(is_rebuilt(before[i], after[i], carried.comment_start, carried.comment_end, options),
            "a changed line is its code and its comment, moved");
    if (options.align != quillet::Align::FIXED) {
      const std::int64_t column =
          quillet::marker_at(after[i], carried_after.comment_start, options);
      const std::string_view code =
          after[i].substr(0, static_cast<std::size_t>(carried_after.comment_start) - 2);
      const std::int64_t width =
          quillet::column_after(quillet::trim_trailing(code), 0, options.tabs, options.utf8);
      require(column - 1 - width >= quillet::gap_of(options), "never glued");
      require(column >= (options.align == quillet::Align::COLUMN ? options.cpos : options.th),
              "no further left than the threshold, or cpos");
    }
  }
  require(would_change(text, options) == (once != text), "a check says what the run does");
  require(run(once, options) == once, "a second run changes nothing");
  return 0;
}
