#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "io/buffer.h"
#include "layout/layout.h"
#include "rewrite/regions.h"
#include "scanner/scanner.h"

namespace quillet {

/// LineReader::held when no lines are held.
inline constexpr std::size_t NOT_HELD = static_cast<std::size_t>(-1);

/// Reads an input line by line for the line loop. Lines that stay as they are go on to the output
/// in bulk, straight from the read buffer, when the loop moves past them; runs of lines that
/// cannot change are passed over in one step. Lines moved past may be held, for the loop to
/// rebuild some of them later: they stay in the buffer, from data[held] on.
struct LineReader {
  Input* in = nullptr;
  Output* copy = nullptr;     // where the lines that stay go; nullptr: nowhere (a check)
  std::size_t unwritten = 0;  // data[unwritten, in->begin) stays, and is not written out yet
  std::size_t held = NOT_HELD;  // data[held, in->begin) stays in the buffer; never before unwritten
  std::size_t searched = 0;   // the first `searched` unread bytes hold no newline
  std::size_t next_cr = 0;    // where the next carriage return is, when `cr_known`
  bool cr_known = false;
  // With `counting`, the newlines before data[counted] are `newlines`: the number of a line, as
  // a diff counts lines, is worked out when asked.
  bool counting = false;
  std::size_t counted = 0;
  std::uint64_t newlines = 0;
};

/// One line, with its line end (none for a last line without one).
struct Line {
  std::string_view bytes;  // empty at the end of the input
  std::size_t clear = 0;   // bytes[0, clear) hold no newline, "/" nor quote
  bool after_quiet = false;  // lines that cannot change were passed over right before it
};

/// Starts reading `in` (open at its start), the lines that stay going to `copy`; with `counting`
/// ready to tell line numbers.
[[nodiscard]] inline LineReader begin_reading(Input& in, Output* copy, bool counting) {
  LineReader reader;
  reader.in = &in;
  reader.copy = copy;
  reader.unwritten = in.begin;
  reader.counting = counting;
  reader.counted = in.begin;
  return reader;
}

/// Counts the newlines up to data[to], which no line asked about later comes before.
inline void count_to(LineReader& reader, std::size_t to) {
  const char* const data = reader.in->data.data();
  reader.newlines += static_cast<std::uint64_t>(std::count(data + reader.counted, data + to, '\n'));
  reader.counted = to;
}

/// The number of `line`, counted from 1 as a diff counts lines (a carriage return alone ends no
/// line for a diff). Needs `counting`.
[[nodiscard]] inline std::uint64_t line_number(LineReader& reader, const Line& line) {
  count_to(reader, static_cast<std::size_t>(line.bytes.data() - reader.in->data.data()));
  return reader.newlines + 1;
}

/// Writes out the lines moved past since the last write: they stay as they are. Returns false
/// when writing failed.
[[nodiscard]] inline bool write_unchanged(LineReader& reader) {
  const Input& in = *reader.in;
  const bool ok = reader.copy == nullptr ||
                  write_bytes(*reader.copy, std::string_view(in.data.data() + reader.unwritten,
                                                             in.begin - reader.unwritten));
  reader.unwritten = in.begin;
  return ok;
}

/// Moves the unread bytes, and the lines held, to the front of the buffer, after writing out what
/// stays before them, and reads more behind them. Returns false when reading or writing failed.
[[nodiscard]] bool read_more(LineReader& reader);

/// Puts the next line that may change, entered in the scanner state `code`, in `line`: the lines
/// before it cannot change and stay. Without `pass_quiet`, every line comes, one at a time. A line
/// of LINE_BUFFER_SIZE bytes or more comes as its start (see copy_long_line). Returns false when
/// reading or writing failed (the error is in the input or the output). Called for nearly every
/// line: kept here where the compiler sees it.
[[nodiscard]] inline bool next_line(LineReader& reader, ScanState code, Line& line,
                                    bool pass_quiet = true) {
  Input& in = *reader.in;
  bool after_quiet = false;
  for (;;) {
    std::string_view rest(in.data.data() + in.begin, in.end - in.begin);
    const QuietRun quiet = pass_quiet ? skip_quiet_lines(rest, code) : QuietRun{};
    in.begin += quiet.length;
    rest.remove_prefix(quiet.length);
    after_quiet = after_quiet || quiet.length > 0;
    reader.searched = std::max(quiet.length > 0 ? 0 : reader.searched, quiet.clear);
    const std::size_t newline = rest.find('\n', reader.searched);
    if (newline == std::string_view::npos && rest.size() < LINE_BUFFER_SIZE && !in.at_end) {
      // The line's end is not in the buffer yet.
      reader.searched = rest.size();
      if (!read_more(reader)) return false;
      continue;
    }
    std::string_view bytes =
        rest.substr(0, newline == std::string_view::npos ? rest.size() : newline + 1);
    if (!bytes.empty()) {
      // A carriage return that no newline follows ends a line too. Few files hold any: where the
      // next one is, is looked up once for many lines.
      if (!reader.cr_known || reader.next_cr < in.begin) {
        const void* cr = std::memchr(rest.data(), '\r', rest.size());
        reader.next_cr =
            cr == nullptr ? in.end
                          : static_cast<std::size_t>(static_cast<const char*>(cr) - in.data.data());
        reader.cr_known = true;
      }
      if (const std::size_t cr = reader.next_cr - in.begin;
          cr + 1 < bytes.size() && bytes[cr + 1] != '\n') {
        bytes = bytes.substr(0, cr + 1);
      }
    }
    reader.searched = 0;
    line = {bytes, quiet.clear, after_quiet};
    return true;
  }
}

/// Moves past `line`, which stays as it is.
inline void keep_line(LineReader& reader, const Line& line) {
  reader.in->begin += line.bytes.size();
}

/// Moves past `line`, which is replaced: what stays before it is written out now, so that the
/// line's replacement can follow. Returns false when writing failed.
[[nodiscard]] inline bool replace_line(LineReader& reader, const Line& line) {
  const bool ok = write_unchanged(reader);
  reader.in->begin += line.bytes.size();
  reader.unwritten = reader.in->begin;
  return ok;
}

/// Moves the output past the held line data[start, start + size), which is replaced: what stays
/// before it is written out now, so that the line's replacement can follow. Returns false when
/// writing failed.
[[nodiscard]] inline bool replace_held(LineReader& reader, std::size_t start, std::size_t size) {
  const bool ok =
      reader.copy == nullptr ||
      write_bytes(*reader.copy, std::string_view(reader.in->data.data() + reader.unwritten,
                                                 start - reader.unwritten));
  reader.unwritten = start + size;
  return ok;
}

/// Whether `line` is too long to be held whole, and is copied with copy_long_line.
inline bool is_long(const Line& line) { return line.bytes.size() >= LINE_BUFFER_SIZE; }

/// Copies the long line that starts the unread bytes, unchanged and piece by piece, scanning it on
/// the way so that `carried` becomes the state after the whole line and `marker` the marker that
/// the line is (see marker_of). No lines may be held. Returns false when reading or writing failed.
[[nodiscard]] bool copy_long_line(LineReader& reader, ScanResult& carried, Marker& marker);

/// Writes out what stays after the last line. Returns false when writing failed.
[[nodiscard]] inline bool finish_reading(LineReader& reader) { return write_unchanged(reader); }

}  // namespace quillet
