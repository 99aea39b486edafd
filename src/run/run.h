#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "cli/options.h"
#include "run/io.h"
#include "scanner/scanner.h"

namespace quillet {

/// A line of this many bytes or more, its newline counted, is copied unchanged: it is too long
/// to be rebuilt.
inline constexpr std::size_t LINE_BUFFER_SIZE = 4096;

/// Drops the trailing whitespace of `text`, looking no further left than its second byte: a text
/// of whitespace only keeps its first byte.
[[nodiscard]] std::string_view trim_trailing(std::string_view text);

/// The column, counted from 0, after `text` when it starts at column `from`: a tab advances to the
/// next multiple of `tabs`; with `utf8` the continuation bytes of a UTF-8 character take none.
[[nodiscard]] std::int64_t column_after(std::string_view text, std::int64_t from, std::int32_t tabs,
                                        bool utf8);

/// Whether the comment whose text starts at `comment_start` is to be moved: its marker begins at
/// column `options.th` or further right, and, with `options.trail`, code stands before it.
[[nodiscard]] bool is_past_threshold(std::string_view line, std::int32_t comment_start,
                                     const Options& options);

/// Writes `line`, which the scanner entered in `incoming` and found ending in the trailing comment
/// line[comment_start, comment_end), rebuilt in the layout that `options` ask for; or unchanged,
/// when the rebuilt line would not scan as the same code and comment. Returns whether what it
/// wrote differs from `line`.
bool write_rebuilt_line(Output& out, std::string_view line, const ScanResult& incoming,
                        std::int32_t comment_start, std::int32_t comment_end,
                        const Options& options);

/// Copies every line of `in` to `out`, rebuilding those that end in a trailing comment whose
/// marker starts at column `options.th` or further right. Returns RC_OK, or RC_IO_ERROR with the
/// error in `in.error` or `out.error`; with `options.check`, RC_WOULD_CHANGE as soon as a line
/// changes. Prints nothing.
[[nodiscard]] ResultCode run_file(Input& in, Output& out, const Options& options);

}  // namespace quillet
