// Unified diffs of a file and its rewritten text, whose lines pair one to one.
#include "diff/diff.h"

#include <algorithm>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <initializer_list>
#include <string_view>
#include <vector>

#include "base/quote.h"
#include "platform/process.h"

namespace quillet {
namespace {

constexpr std::uint64_t CONTEXT = 3;

// Colours as git gives them: removed lines red, added green, hunk headers cyan, file headers bold.
constexpr const char* RED = "\033[31m";
constexpr const char* GREEN = "\033[32m";
constexpr const char* CYAN = "\033[36m";
constexpr const char* BOLD = "\033[1m";
constexpr const char* RESET = "\033[m";

// Lines are read in pieces, so that a line of any length passes through the fixed buffer. The
// bytes of the current line now in the buffer, up to and with its newline; empty at the end of
// the file or after a read error.
std::string_view line_piece(Input& in) {
  if (in.begin == in.end) {
    in.begin = in.end = 0;
    if (!refill(in)) return {};
  }
  const std::string_view rest(in.data.data() + in.begin, in.end - in.begin);
  const std::size_t newline = rest.find('\n');
  return newline == std::string_view::npos ? rest : rest.substr(0, newline + 1);
}

// Reads one line from each side. Returns false at the end of both; `same` tells whether the two
// lines are byte for byte the same.
bool compare_lines(Input& before, Input& after, bool& same) {
  same = true;
  bool before_open = true;  // the side's line has not ended yet
  bool after_open = true;
  bool any = false;
  for (;;) {
    const std::string_view a = before_open ? line_piece(before) : std::string_view{};
    const std::string_view b = after_open ? line_piece(after) : std::string_view{};
    before_open = before_open && !a.empty();
    after_open = after_open && !b.empty();
    if (!before_open && !after_open) return any;
    any = true;
    // Pieces are compared as far as both go; a side whose line has ended has nothing left.
    std::size_t n = a.size() < b.size() ? a.size() : b.size();
    if (!before_open || !after_open) {
      same = false;
      n = a.size() + b.size();  // all of the one open side
    } else if (std::memcmp(a.data(), b.data(), n) != 0) {
      same = false;
    }
    const std::size_t a_used = before_open ? std::min(n, a.size()) : 0;
    const std::size_t b_used = after_open ? std::min(n, b.size()) : 0;
    before.begin += a_used;
    after.begin += b_used;
    if (before_open && a_used == a.size() && a.back() == '\n') before_open = false;
    if (after_open && b_used == b.size() && b.back() == '\n') after_open = false;
  }
}

// Moves past one line, writing it on `out` after `mark` unless `out` is null. Tells whether the
// line lacked its newline.
bool pass_line(Input& in, char mark, const char* colour, std::FILE* out) {
  if (out != nullptr) {
    if (colour != nullptr) std::fputs(colour, out);
    std::fputc(mark, out);
  }
  bool newline = false;
  for (;;) {
    const std::string_view piece = line_piece(in);
    if (piece.empty()) break;
    newline = piece.back() == '\n';
    // With colour, the reset comes before the newline, as git puts it.
    const std::size_t text = newline && colour != nullptr ? piece.size() - 1 : piece.size();
    if (out != nullptr) std::fwrite(piece.data(), 1, text, out);
    in.begin += piece.size();
    if (newline) break;
  }
  if (out != nullptr) {
    if (colour != nullptr) std::fputs(RESET, out);
    if (!newline) std::fputs("\n\\ No newline at end of file", out);
    if (!newline || colour != nullptr) std::fputc('\n', out);
  }
  return !newline;
}

// Days from 1970-01-01 to the date `year`-`month`-`day` of the Gregorian calendar.
constexpr std::int64_t days_from_civil(std::int64_t year, std::int64_t month, std::int64_t day) {
  year -= month <= 2 ? 1 : 0;
  const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
  const std::int64_t of_era = year - era * 400;
  const std::int64_t of_year = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  return era * 146'097 + of_era * 365 + of_era / 4 - of_era / 100 + of_year - 719'468;
}

void write_header(const char* sign, const char* path, const Time& time, bool colour,
                  std::FILE* out) {
  // The date and the zone are written here, not by strftime: Windows's C library writes no
  // offset for %z. The offset is how far the local clock is ahead of UTC at that moment.
  const std::tm local = local_time(time);
  const std::int64_t local_seconds =
      days_from_civil(local.tm_year + std::int64_t{1900}, local.tm_mon + 1, local.tm_mday) *
          86'400 +
      std::int64_t{local.tm_hour} * 3'600 + std::int64_t{local.tm_min} * 60 + local.tm_sec;
  const std::int64_t offset = local_seconds - time.seconds;
  const std::int64_t minutes = (offset < 0 ? -offset : offset) / 60;
  // A name is quoted where it could end the header early or be read back otherwise.
  std::fprintf(out, "%s%s %s\t%d-%02d-%02d %02d:%02d:%02d.%09ld %c%02d%02d%s\n", colour ? BOLD : "",
               sign, diff_name(path).c_str(), local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
               local.tm_hour, local.tm_min, local.tm_sec, static_cast<long>(time.nanoseconds),
               offset < 0 ? '-' : '+', static_cast<int>(minutes / 60),
               static_cast<int>(minutes % 60), colour ? RESET : "");
}

// A run of changed lines, [first, last], counted from 1.
struct Run {
  std::uint64_t first;
  std::uint64_t last;
};

}  // namespace

bool write_diff(DiffInputs& inputs, const DiffLabel& label, bool colour, std::FILE* out) {
  Input& before = inputs.before;
  Input& after = inputs.after;
  // The buffers come from the diff before this one: whatever it left in them is not this file's.
  for (Input* in : {&before, &after}) {
    in->begin = in->end = 0;
    in->at_end = false;
    in->error = 0;
  }
  // First the runs of changed lines, then the text: the hunk headers count lines ahead.
  std::vector<Run> runs;
  std::uint64_t lines = 0;
  for (bool same = true; compare_lines(before, after, same);) {
    ++lines;
    if (same) continue;
    if (!runs.empty() && runs.back().last + 1 == lines) {
      runs.back().last = lines;
    } else {
      runs.push_back({lines, lines});
    }
  }
  if (before.error != 0 || after.error != 0) return false;
  if (runs.empty()) return true;
  if (!rewind(before) || !rewind(after)) return false;

  write_header("---", label.path, label.time, colour, out);
  write_header("+++", label.path, label.time, colour, out);
  std::uint64_t line = 1;  // the next line of both sides
  const auto skip_to = [&](std::uint64_t target) {
    for (; line < target; ++line) {
      pass_line(before, ' ', nullptr, nullptr);
      pass_line(after, ' ', nullptr, nullptr);
    }
  };
  for (std::size_t r = 0; r < runs.size();) {
    // A hunk takes the runs whose gaps its context would bridge.
    std::size_t end = r + 1;
    while (end < runs.size() && runs[end].first - runs[end - 1].last - 1 <= 2 * CONTEXT)
      ++end;
    const std::uint64_t first = runs[r].first > CONTEXT ? runs[r].first - CONTEXT : 1;
    const std::uint64_t last =
        runs[end - 1].last + CONTEXT < lines ? runs[end - 1].last + CONTEXT : lines;
    const std::uint64_t count = last - first + 1;
    skip_to(first);
    if (colour) std::fputs(CYAN, out);
    if (count == 1) {
      std::fprintf(out, "@@ -%" PRIu64 " +%" PRIu64 " @@", first, first);
    } else {
      std::fprintf(out, "@@ -%" PRIu64 ",%" PRIu64 " +%" PRIu64 ",%" PRIu64 " @@", first, count,
                   first, count);
    }
    std::fputs(colour ? RESET : "", out);
    std::fputc('\n', out);
    for (; r < end; ++r) {
      for (; line < runs[r].first; ++line) {
        pass_line(before, ' ', nullptr, out);
        pass_line(after, ' ', nullptr, nullptr);
      }
      // Every removed line of a run, then every added one, as diff writes them.
      for (std::uint64_t l = runs[r].first; l <= runs[r].last; ++l)
        pass_line(before, '-', colour ? RED : nullptr, out);
      for (std::uint64_t l = runs[r].first; l <= runs[r].last; ++l)
        pass_line(after, '+', colour ? GREEN : nullptr, out);
      line = runs[r].last + 1;
    }
    for (; line <= last; ++line) {
      pass_line(before, ' ', nullptr, out);
      pass_line(after, ' ', nullptr, nullptr);
    }
  }
  return before.error == 0 && after.error == 0;
}

}  // namespace quillet
