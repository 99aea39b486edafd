#include "rewrite/lines.h"

#include <algorithm>
#include <cstring>

#include "base/text.h"

namespace quillet {
bool read_more(LineReader& reader) {
  Input& in = *reader.in;
  // What stays goes out before the buffer moves, up to the lines held, which move with it.
  const bool holds = reader.held != NOT_HELD;
  const std::size_t kept = holds ? reader.held : in.begin;
  const bool written = reader.copy == nullptr ||
                       write_bytes(*reader.copy, std::string_view(in.data.data() + reader.unwritten,
                                                                  kept - reader.unwritten));
  if (!written) return false;
  if (reader.counting) count_to(reader, in.begin);  // and counted, as the buffer moves
  const std::size_t passed = in.begin - kept;
  in.begin = kept;
  if (!refill(in) && in.error != 0) return false;
  const std::size_t moved = kept - in.begin;  // none when nothing more could come
  in.begin += passed;
  if (holds) reader.held -= moved;
  reader.unwritten = kept - moved;
  reader.counted = in.begin;
  reader.cr_known = false;
  return true;
}

bool copy_long_line(LineReader& reader, ScanResult& carried, Marker& marker) {
  if (!write_unchanged(reader)) return false;
  Input& in = *reader.in;
  if (reader.counting) count_to(reader, in.begin);
  const auto write = [&](std::string_view piece) {
    return reader.copy == nullptr || write_bytes(*reader.copy, piece);
  };
  // A piece that does not hold the end of the line is cut where a token ends, so that a quote is
  // never judged without the name or number right before it.
  LineScan scan = begin_line(carried.state);
  TrailingMarker trailing;
  for (;;) {
    const std::string_view rest(in.data.data() + in.begin, in.end - in.begin);
    const std::size_t length = line_length(rest, in.at_end);
    const std::int64_t base = scan.length;
    if (length != std::string_view::npos || in.at_end) {
      const std::string_view last = rest.substr(0, std::min(length, rest.size()));
      carried = end_line(scan, last, carried);
      follow_marker(trailing, scan, last, base);
      marker = trailing_marker(trailing, carried);
      in.begin += last.size();
      reader.unwritten = in.begin;
      reader.counted = in.begin;
      if (!last.empty() && last.back() == '\n') ++reader.newlines;
      reader.cr_known = false;
      return write(last);
    }
    std::size_t cut = rest.size();
    while (cut > 0 && !is_piece_end(static_cast<unsigned char>(rest[cut - 1])))
      --cut;
    // One endless token: cut it anyway, but not after a carriage return that may end a line.
    if (cut == 0) cut = rest.back() == '\r' ? rest.size() - 1 : rest.size();
    const std::string_view piece = rest.substr(0, cut);
    scan_bytes(scan, piece);
    follow_marker(trailing, scan, piece, base);
    if (!write(piece)) return false;
    in.begin += piece.size();
    if (!refill(in) && in.error != 0) return false;
  }
}

}  // namespace quillet
