// Streams of text kept aside: their POSIX forms.
#include "platform/streams.h"

#include <stdio.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace quillet {

std::FILE* open_temporary_stream() { return std::tmpfile(); }

int empty_stream(std::FILE* stream) {
  std::rewind(stream);
  return ::ftruncate(::fileno(stream), 0) == 0 ? 0 : errno;
}

std::int64_t stream_offset(std::FILE* stream) { return ::ftello(stream); }

int stream_error(int error) { return error; }

int read_stream_at(std::FILE* stream, std::uint64_t offset, char* into, std::size_t size,
                   std::size_t& got) {
  for (;;) {
    const ssize_t n = ::pread(::fileno(stream), into, size, static_cast<off_t>(offset));
    if (n >= 0) {
      got = static_cast<std::size_t>(n);
      return 0;
    }
    if (errno != EINTR) return errno;
  }
}

MessageStream::~MessageStream() {
  if (stream_ != nullptr) std::fclose(stream_);
  std::free(buffer_);  // open_memstream's own allocation
}

std::FILE* MessageStream::restart() {
  if (stream_ == nullptr) stream_ = ::open_memstream(&buffer_, &size_);
  if (stream_ != nullptr) std::rewind(stream_);
  return stream_;
}

std::string_view MessageStream::text() {
  const long length = stream_ != nullptr ? std::ftell(stream_) : -1;
  if (length <= 0 || std::fflush(stream_) != 0) return {};
  return {buffer_, static_cast<std::size_t>(length)};
}

}  // namespace quillet
