// The two files of a run with their buffers: the input read in large blocks, the output written
// through a buffer; each owns its file, and keeps its name and its error.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "platform/file.h"

namespace quillet {

/// Size of the read buffer; a line shorter than this is always seen whole.
inline constexpr std::size_t READ_BUFFER_SIZE = std::size_t{1} << 18;
/// Size of the write buffer.
inline constexpr std::size_t WRITE_BUFFER_SIZE = std::size_t{1} << 18;

/// A file being read in large blocks. `data[begin, end)` holds what is read and not yet used.
struct Input {
  std::size_t begin = 0;
  std::size_t end = 0;
  bool at_end = false;  // the last read found the end of the file
  int error = 0;        // errno of a failed read, 0 if none
  // Where the line loop's scans find the buffer matters to them: it stays where it was, and the
  // file's owner and its name come after it.
  std::array<char, READ_BUFFER_SIZE> data;
  File file;         // the file read; closed when the input is reset or gone
  std::string path;  // how messages name it
};

/// A file being written through a buffer.
struct Output {
  std::uint64_t written = 0;  // bytes that have reached the file
  std::size_t used = 0;
  int error = 0;  // errno of a failed write, 0 if none; once set nothing more is written
  std::array<char, WRITE_BUFFER_SIZE> data;
  File file;         // the file written; closed by close_file, or when reset or gone
  std::string path;  // how messages name it
};

/// The two files of one run, with their buffers: made once, used for run after run.
struct Files {
  Input in;
  Output out;
};

/// Makes `files` ready for the next run: the files they own closed, nothing read or buffered.
void reset(Files& files);

/// Moves the unused bytes to the front and reads more behind them. Returns false when nothing
/// more can come: the end of the file, or a read error (recorded in `in.error`).
[[nodiscard]] bool refill(Input& in);

/// Puts the input back at its start, to be read again, its buffer emptied. Returns false, the
/// error recorded, when the file cannot be (a pipe).
[[nodiscard]] bool rewind(Input& in);

/// Writes out what the buffer holds. Returns false once a write has failed.
[[nodiscard]] bool flush(Output& out);

/// Closes the file the output owns: closing may be where a full disk shows. Returns false, the
/// error recorded, when it failed, or a write before it did.
[[nodiscard]] bool close_file(Output& out);

/// Appends `bytes` to the output when the buffer cannot take them as they are: writes out what
/// it holds first, and bytes too many for it go straight to the file.
bool write_bytes_through(Output& out, std::string_view bytes);

/// Appends `bytes` to the output. Returns false once a write has failed. (Called for nearly
/// every line: the usual case, where the bytes fit, is kept here where the compiler sees it.)
inline bool write_bytes(Output& out, std::string_view bytes) {
  if (out.error != 0 || bytes.size() > out.data.size() - out.used) {
    return write_bytes_through(out, bytes);
  }
  std::memcpy(out.data.data() + out.used, bytes.data(), bytes.size());
  out.used += bytes.size();
  return true;
}

/// Makes room for `size` bytes at the end of the buffer, writing out what it holds if need be, and
/// counts them as written. Returns where they go, or nullptr when they do not fit in the buffer or
/// a write has failed.
[[nodiscard]] inline char* reserve(Output& out, std::size_t size) {
  if (out.error != 0 || size > out.data.size()) return nullptr;
  if (size > out.data.size() - out.used && !flush(out)) return nullptr;
  char* room = out.data.data() + out.used;
  out.used += size;
  return room;
}

/// Appends `count` copies of `c`.
bool write_fill(Output& out, char c, std::int64_t count);

}  // namespace quillet
