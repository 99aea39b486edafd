// Streams of text kept aside: a temporary file's, read back from any offset, and one in memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string_view>

namespace quillet {

/// Opens a temporary file as a stream to write and read back; no name leads to it, and it is gone
/// once closed. nullptr when it cannot be made, errno saying why.
[[nodiscard]] std::FILE* open_temporary_stream();

/// Empties the temporary `stream` and puts it back at its start. Returns 0, or the error number.
[[nodiscard]] int empty_stream(std::FILE* stream);

/// Where `stream` writes next, as an offset from its start; -1 when it cannot tell, errno saying
/// why.
[[nodiscard]] std::int64_t stream_offset(std::FILE* stream);

/// `error`, the errno a stream call that failed left, as the system would name it: on Windows
/// the C library calls a write to a pipe whose reader is gone an invalid argument (EINVAL).
[[nodiscard]] int stream_error(int error);

/// Reads up to `size` bytes of the flushed `stream` from `offset` on, leaving where it writes
/// alone; `got` tells how many, 0 past the end. Returns 0, or the error number.
[[nodiscard]] int read_stream_at(std::FILE* stream, std::uint64_t offset, char* into,
                                 std::size_t size, std::size_t& got);

/// A stream of messages kept in memory, made once, and written from its start again for each
/// piece of text.
class MessageStream {
 public:
  MessageStream() = default;
  MessageStream(const MessageStream&) = delete;
  MessageStream& operator=(const MessageStream&) = delete;
  ~MessageStream();

  /// The stream, back at its start, made on the first call; nullptr when it cannot be made,
  /// errno saying why.
  [[nodiscard]] std::FILE* restart();
  /// What was written since restart; empty when nothing was, or when it could not be kept.
  [[nodiscard]] std::string_view text();

 private:
  std::FILE* stream_ = nullptr;
  char* buffer_ = nullptr;  // the stream's own, and so its `size_` bytes
  std::size_t size_ = 0;
};

}  // namespace quillet
