#include "run/run.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

namespace quillet {
namespace {

using namespace std::string_view_literals;

// A rebuilt line with every run of padding shortened to one space scans like the line itself:
// a run of blanks does what one blank does, in every state. It fits in this buffer.
constexpr std::size_t CHECK_BUFFER_SIZE = 2 * LINE_BUFFER_SIZE + 16;

// A line is rebuilt with the line end it was read with; a last line without one gets "\n".
std::string_view line_end_of(std::string_view line) {
  if (line.size() >= 2 && line.substr(line.size() - 2) == "\r\n") return "\r\n";
  if (!line.empty() && line.back() == '\r') return "\r";
  return "\n";
}

// The length of the line at the start of `bytes`, up to and with its line end: a newline, or a
// carriage return that no newline follows. npos when its end is not there yet (a carriage return
// that ends `bytes` may be half of a CR LF, unless `at_end`).
std::size_t line_length(std::string_view bytes, bool at_end) {
  const std::size_t newline = bytes.find('\n');
  const std::size_t limit = newline == std::string_view::npos ? bytes.size() : newline;
  for (std::size_t cr = bytes.find('\r'); cr < limit; cr = bytes.find('\r', cr + 1)) {
    if (cr + 1 < bytes.size() && bytes[cr + 1] != '\n') return cr + 1;
    if (cr + 1 == bytes.size() && at_end) return cr + 1;
  }
  return newline == std::string_view::npos ? std::string_view::npos : newline + 1;
}

// The parts of a rebuilt line: the code part, padding, the marker, the text, padding, "*/" in
// block style, and the line end.
struct Layout {
  std::string_view code;
  std::string_view text;
  std::string_view line_end;
  std::int64_t code_padding = 0;
  std::int64_t text_padding = 0;
};

Layout lay_out(std::string_view line, std::int32_t comment_start, std::int32_t comment_end,
               const Options& options) {
  Layout layout;
  layout.line_end = line_end_of(line);
  const auto start = static_cast<std::size_t>(comment_start);
  // The carriage return of a CR LF belongs to the line end, not to the comment: trimming would
  // keep it when it is all the text, and the rebuilt line would end in two of them.
  std::size_t end = static_cast<std::size_t>(comment_end);
  if (layout.line_end.size() == 2) end = std::min(end, line.size() - 2);
  layout.text = trim_trailing(line.substr(start, end - start));
  layout.code = trim_trailing(line.substr(0, start - 2));
  const std::int64_t length = column_after(layout.code, 0, options.tabs, options.utf8);
  const std::int64_t cpos = options.cpos;
  layout.code_padding = cpos - 1 - length;
  if (!options.cpp_style) {
    // The text field ends where it would after a code part shorter than cpos, as long as the
    // code part leaves room for it; past that the text is not padded at all.
    std::int64_t width = 0;
    if (length < cpos) {
      width = options.csz;
    } else if (length <= cpos + options.csz - 1) {
      width = options.csz + cpos - length - 1;
    }
    const std::int64_t text_from = std::max(cpos - 1, length) + 2;
    layout.text_padding =
        width - (column_after(layout.text, text_from, options.tabs, options.utf8) - text_from);
  }
  return layout;
}

// Whether the rebuilt line, scanned from the state the original line started in, holds the same
// code and the same comment text and ends in plain code. It does not when the text holds "*/"
// and becomes a block comment, ends in a backslash as a line comment, or when the code part ends
// in "/" and glues to the marker; such a line is better left as it is.
bool keeps_meaning(const Layout& layout, const ScanResult& incoming, const Options& options) {
  std::array<char, CHECK_BUFFER_SIZE> buffer;
  std::size_t used = 0;
  const auto append = [&](std::string_view part) {
    std::memcpy(buffer.data() + used, part.data(), part.size());
    used += part.size();
  };
  // After the code part and at least one blank, the scan stands where it stood at the original
  // marker (blanks do what one blank does), and that is plain code, since the marker opened a
  // comment there. Only from the marker on is there anything to scan then.
  const bool padded = layout.code_padding > 0;
  // From the marker on, only a "*" or "/" of the text can close the comment early, and only a
  // backslash can carry the line over; text without them leaves the line as it should be.
  if (padded && find_first(layout.text, 0, '*', '/', '\\') == layout.text.size()) return true;
  if (!padded) append(layout.code);
  append(options.cpp_style ? "//"sv : "/*"sv);
  const std::size_t text_start = used;
  append(layout.text);
  if (!options.cpp_style && layout.text_padding > 0) append(" ");
  const std::size_t text_end = options.cpp_style ? used + layout.line_end.size() - 1 : used;
  if (!options.cpp_style) append("*/");
  append(layout.line_end);
  const ScanResult rescan =
      scan_line(std::string_view(buffer.data(), used), padded ? ScanResult{} : incoming);
  return rescan.state == LexState{} &&
         rescan.comment_start == static_cast<std::int32_t>(text_start) &&
         rescan.comment_end == static_cast<std::int32_t>(text_end);
}

// Writes the rebuilt line; returns whether it differs from `line`, the line it replaces.
bool write_layout(Output& out, const Layout& layout, std::string_view line,
                  const Options& options) {
  const std::size_t code_padding =
      layout.code_padding > 0 ? static_cast<std::size_t>(layout.code_padding) : 0;
  const std::size_t text_padding =
      layout.text_padding > 0 ? static_cast<std::size_t>(layout.text_padding) : 0;
  const std::string_view marker = options.cpp_style ? "//"sv : "/*"sv;
  const std::string_view close = options.cpp_style ? ""sv : "*/"sv;
  const std::size_t size = layout.code.size() + code_padding + marker.size() + layout.text.size() +
                           text_padding + close.size() + layout.line_end.size();
  if (char* const start = reserve(out, size)) {
    // The usual case, in one piece: blanks first, then the parts over them.
    std::memset(start, ' ', size);
    char* p = start;
    std::memcpy(p, layout.code.data(), layout.code.size());
    p += layout.code.size() + code_padding;
    *p++ = '/';
    *p++ = options.cpp_style ? '/' : '*';
    std::memcpy(p, layout.text.data(), layout.text.size());
    p += layout.text.size() + text_padding;
    if (!options.cpp_style) {
      *p++ = '*';
      *p++ = '/';
    }
    if (layout.line_end.size() == 2) *p++ = '\r';
    *p = layout.line_end.back();
    return std::string_view(start, size) != line;
  }
  // Columns far to the right make lines longer than the buffer, and than any line read.
  write_bytes(out, layout.code);
  write_fill(out, ' ', layout.code_padding);
  write_bytes(out, marker);
  write_bytes(out, layout.text);
  write_fill(out, ' ', layout.text_padding);
  write_bytes(out, close);
  write_bytes(out, layout.line_end);
  return true;
}

// Copies a line of LINE_BUFFER_SIZE bytes or more, whose start is in the buffer, unchanged. It is
// scanned on the way, so that the state carried to the next line is the one after the whole line.
// A piece that does not hold the end of the line is cut where a token ends, so that a quote is
// never judged without the name or number right before it.
ResultCode copy_long_line(Input& in, Output& out, ScanResult& carried) {
  LineScan scan = begin_line(carried.state);
  for (;;) {
    const std::string_view rest(in.data.data() + in.begin, in.end - in.begin);
    const std::size_t length = line_length(rest, in.at_end);
    if (length != std::string_view::npos || in.at_end) {
      const std::string_view last = rest.substr(0, std::min(length, rest.size()));
      carried = end_line(scan, last, carried);
      in.begin += last.size();
      return write_bytes(out, last) ? RC_OK : RC_IO_ERROR;
    }
    std::size_t cut = rest.size();
    while (cut > 0 && !is_piece_end(static_cast<unsigned char>(rest[cut - 1])))
      --cut;
    // One endless token: cut it anyway, but not after a carriage return that may end a line.
    if (cut == 0) cut = rest.back() == '\r' ? rest.size() - 1 : rest.size();
    const std::string_view piece = rest.substr(0, cut);
    scan_bytes(scan, piece);
    if (!write_bytes(out, piece)) return RC_IO_ERROR;
    in.begin += piece.size();
    if (!refill(in) && in.error != 0) return RC_IO_ERROR;
  }
}

}  // namespace

std::int64_t column_after(std::string_view text, std::int64_t from, std::int32_t tabs, bool utf8) {
  if (tabs == 1 && !utf8) return from + static_cast<std::int64_t>(text.size());
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

bool is_past_threshold(std::string_view line, std::int32_t comment_start, const Options& options) {
  if (comment_start < 2) return false;
  const auto marker = static_cast<std::size_t>(comment_start) - 2;
  // The marker takes the column after what stands before it, counting from 1.
  if (column_after(line.substr(0, marker), 0, options.tabs, false) + 1 < options.th) return false;
  if (!options.trail) return true;
  // A comment alone on its line stays where it is.
  for (std::size_t i = 0; i < marker; ++i) {
    if (!is_space(static_cast<unsigned char>(line[i]))) return true;
  }
  return false;
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

bool write_rebuilt_line(Output& out, std::string_view line, const ScanResult& incoming,
                        std::int32_t comment_start, std::int32_t comment_end,
                        const Options& options) {
  const Layout layout = lay_out(line, comment_start, comment_end, options);
  if (!keeps_meaning(layout, incoming, options)) {
    write_bytes(out, line);
    return false;
  }
  return write_layout(out, layout, line, options);
}

ResultCode run_file(Input& in, Output& out, const Options& options) {
  ScanResult carried;
  // Unchanged lines are not copied one by one: data[unwritten, in.begin) is written in one go
  // when a rebuilt line comes, or before the buffer moves.
  std::size_t unwritten = in.begin;
  const auto write_unchanged = [&]() {
    const bool ok =
        write_bytes(out, std::string_view(in.data.data() + unwritten, in.begin - unwritten));
    unwritten = in.begin;
    return ok;
  };
  std::size_t searched = 0;  // the first `searched` unused bytes hold no newline
  // A carriage return that no newline follows ends a line, as it does for a compiler. Few files
  // hold any carriage return: where the next one is, is looked up once for many lines.
  std::size_t next_cr = 0;
  bool cr_known = false;
  for (;;) {
    std::string_view rest(in.data.data() + in.begin, in.end - in.begin);
    const QuietRun quiet = skip_quiet_lines(rest, carried.state.code);
    in.begin += quiet.length;
    rest.remove_prefix(quiet.length);
    searched = std::max(quiet.length > 0 ? 0 : searched, quiet.clear);
    const std::size_t newline = rest.find('\n', searched);
    if (newline == std::string_view::npos && rest.size() < LINE_BUFFER_SIZE && !in.at_end) {
      searched = rest.size();
      if (!write_unchanged()) return RC_IO_ERROR;
      if (!refill(in) && in.error != 0) return RC_IO_ERROR;
      unwritten = in.begin;
      cr_known = false;
      continue;
    }
    std::string_view line =
        rest.substr(0, newline == std::string_view::npos ? rest.size() : newline + 1);
    if (line.empty()) break;
    if (!cr_known || next_cr < in.begin) {
      const void* cr = std::memchr(rest.data(), '\r', rest.size());
      next_cr = cr == nullptr
                    ? in.end
                    : static_cast<std::size_t>(static_cast<const char*>(cr) - in.data.data());
      cr_known = true;
    }
    if (const std::size_t cr = next_cr - in.begin; cr + 1 < line.size() && line[cr + 1] != '\n') {
      line = line.substr(0, cr + 1);
    }
    searched = 0;
    if (line.size() >= LINE_BUFFER_SIZE) {
      if (!write_unchanged()) return RC_IO_ERROR;
      if (copy_long_line(in, out, carried) != RC_OK) return RC_IO_ERROR;
      unwritten = in.begin;
      cr_known = false;
      continue;
    }
    const ScanResult scanned = scan_line(line, carried, quiet.clear);
    if (scanned.state.code == OK && is_past_threshold(line, scanned.comment_start, options)) {
      if (!write_unchanged()) return RC_IO_ERROR;
      const bool changed = write_rebuilt_line(out, line, carried, scanned.comment_start,
                                              scanned.comment_end, options);
      if (changed && options.check) return RC_WOULD_CHANGE;
      unwritten = in.begin + line.size();
    }
    carried = scanned;
    in.begin += line.size();
  }
  return write_unchanged() ? RC_OK : RC_IO_ERROR;
}

}  // namespace quillet
