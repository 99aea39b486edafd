#pragma once

// Which lines make a group, for the layouts that line up several lines (COLUMN, GROUP, KEEP).
//
// A group starts at a line whose trailing comment would move (a member: past the threshold, not
// in a region, shorter than LINE_BUFFER_SIZE, after code with -trail). It goes on over members,
// over comments alone on their line right below one of its lines (with -trail; they move only as
// continuations, see layout/group.h), and over up to `span` lines in a row that are neither. A
// blank line, a region's marker, a line too long to hold and the end of the input end it; after
// MAX_GROUP_LINES lines it is cut, and a member after that starts the next one.
//
// How the line loop holds a group: the line reader passes lines that stay to the output in bulk,
// straight from its read buffer. From a group's first line on, the reader holds its lines
// (LineReader::held): a read that needs room moves them to the front of the buffer with the
// unread bytes, and writes out only what comes before them. For each member and continuation the
// loop keeps a few facts (where it lies in the buffer, its comment's indexes, its code part's
// width, its marker's column, its number) in a fixed array of MAX_GROUP_LINES; span lines are only
// counted. So one pass reads each byte once, nothing is copied or allocated per line, and a
// file's run stays one thread.
//
// The buffer holds MAX_GROUP_BYTES of a group and the line being read. A group whose lines come
// to more is let go: its lines keep their bytes to its end. That is told from the lines alone,
// never from how reads fall, and a second run agrees: a group laid out once either fits again, or
// is let go and keeps what the first run wrote.
//
// When a group ends, lay_out_group decides every column from the facts at once, and the lines are
// written in order: what stays before each rebuilt line, in bulk, then the line. A check (no
// output) asks the same lines in order whether they would change, and stops at the first that
// would; with -report it tells each, with its number and the column it would move to.
//
// A group is the unit of alignment: under -lines and -since, a group with a line in the ranges
// (from its first member to its last line that moves) is laid out whole, and the others stay as
// they are. FIXED lays out each line on its own and holds nothing: only the lines asked for
// change there.

#include <cstddef>
#include <cstdint>

#include "io/buffer.h"
#include "layout/layout.h"

namespace quillet {

/// The most lines a group spans: a member after them starts a new group.
inline constexpr std::size_t MAX_GROUP_LINES = 1024;
/// The most bytes a group may hold in the read buffer; a group that comes to more is let go.
inline constexpr std::size_t MAX_GROUP_BYTES = READ_BUFFER_SIZE / 2;
static_assert(MAX_GROUP_BYTES + LINE_BUFFER_SIZE <= READ_BUFFER_SIZE,
              "a group held leaves room in the read buffer for the line being read");

/// What a line is to the group around it.
enum class LineKind : std::uint8_t {
  MEMBER,  // its trailing comment would move
  ALONE,   // with -trail, a comment alone on its line past the threshold, outside a region
  OTHER,   // any other line: it may stand inside a group
  BLANK,   // whitespace only
  BREAK,   // a region's marker, or a line too long to hold
};

/// What a line is to the group held.
enum class Role : std::uint8_t {
  NONE,     // in no group
  HELD,     // a member, or a comment alone right below a line held: its facts are kept
  SPANNED,  // a line inside the group whose bytes stay
};

/// The group being held.
struct Grouping {
  std::size_t lines = 0;    // the group's lines so far, from its first member; 0: none held
  std::size_t pending = 0;  // of them, the lines since the last one held
  std::size_t bytes = 0;    // from the start of its first line to the end of its last
  bool let_go = false;      // too many bytes: its lines keep theirs, to its end
};

/// What a line does.
struct GroupStep {
  bool ends_before = false;  // the group held ends right before this line (unless let go, it is
                             // laid out now)
  Role role = Role::NONE;    // then what the line is to the group held after it
};

/// Moves `group` over the next line, a line of `size` bytes of kind `kind`, with up to `span`
/// lines in a row inside a group that are neither members nor continuations.
[[nodiscard]] GroupStep group_step(Grouping& group, LineKind kind, std::size_t size,
                                   std::int32_t span);

}  // namespace quillet
