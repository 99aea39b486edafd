#pragma once

#include <sched.h>

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <thread>

namespace quillet {

/// Size of the read buffer; a line shorter than this is always seen whole.
inline constexpr std::size_t READ_BUFFER_SIZE = std::size_t{1} << 18;
/// Size of the write buffer.
inline constexpr std::size_t WRITE_BUFFER_SIZE = std::size_t{1} << 18;

/// A file being read in large blocks. `data[begin, end)` holds what is read and not yet used.
struct Input {
  int fd = -1;
  std::size_t begin = 0;
  std::size_t end = 0;
  bool at_end = false;  // the last read found the end of the file
  int error = 0;        // errno of a failed read, 0 if none
  std::array<char, READ_BUFFER_SIZE> data;
};

/// A thread that writes full buffers to a file while the run fills the next one, and what passes
/// between the two. The run stays one pass over fixed buffers; the copying into the file, which
/// costs about as much as the scanning, happens on another core meanwhile.
struct BackgroundWriter {
  std::atomic<const char*> bytes{nullptr};  // handed over and not yet written; nullptr when idle
  std::size_t size = 0;                     // of `bytes`: set before them, by the run
  bool stopping = false;                    // set before `bytes`, by the run
  int error = 0;              // errno of a failed write, 0 if none: set before `bytes` is cleared
  std::uint64_t written = 0;  // bytes written that the run has not counted yet: the same
  cpu_set_t run_cores{};      // the run's own cores, given back when the writer stops
  bool pinned = false;        // the run was kept to one core while the writer lives
  std::thread thread;         // started with the first full buffer

  BackgroundWriter() = default;
  BackgroundWriter(const BackgroundWriter&) = delete;
  BackgroundWriter& operator=(const BackgroundWriter&) = delete;
  ~BackgroundWriter();  // waits for the thread to finish what it has
};

/// A file being written through two buffers: one is filled while the other may be on its way to
/// the file.
struct Output {
  int fd = -1;
  bool discard = false;       // nothing goes to the file: the run only compares
  std::uint64_t written = 0;  // bytes that have reached the file
  std::size_t used = 0;       // bytes used in the buffer being filled
  int error = 0;  // errno of a failed write, 0 if none; once set nothing more is written
  BackgroundWriter* writer = nullptr;  // when set, full buffers are written on its thread
  std::size_t filling = 0;             // which buffer is being filled
  std::array<std::array<char, WRITE_BUFFER_SIZE>, 2> buffers;
};

/// Moves the unused bytes to the front and reads more behind them. Returns false when nothing
/// more can come: the end of the file, or a read error (recorded in `in.error`).
[[nodiscard]] bool refill(Input& in);

/// Appends `bytes` to the output. Returns false once a write has failed.
bool write_bytes(Output& out, std::string_view bytes);

/// Makes room for `size` bytes at the end of the buffer, writing out what it holds if need be, and
/// counts them as written. Returns where they go, or nullptr when they do not fit in the buffer or
/// a write has failed.
[[nodiscard]] char* reserve(Output& out, std::size_t size);

/// Appends `count` copies of `c`.
bool write_fill(Output& out, char c, std::int64_t count);

/// Writes out what the buffer holds, and waits until everything handed to a background writer
/// is written. Returns false once a write has failed.
[[nodiscard]] bool flush(Output& out);

/// Waits until the background writer, if any, is idle, and counts what it did; after this, the
/// file may be closed. The output is then written directly again.
void stop_background(Output& out);

}  // namespace quillet
