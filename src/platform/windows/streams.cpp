// Streams of text kept aside: their Windows forms, on temporary files of the room's own, every
// byte passed as it is.
#include "platform/streams.h"

#include <fcntl.h>
#include <io.h>

#include <cerrno>
#include <cstdlib>

#include "platform/file.h"
#include "platform/windows/native.h"

namespace quillet {
namespace {

HANDLE handle_of_stream(std::FILE* stream) {
  // The C library keeps a descriptor's HANDLE as an integer.
  return reinterpret_cast<HANDLE>(  // NOLINT(performance-no-int-to-ptr)
      ::_get_osfhandle(::_fileno(stream)));
}

}  // namespace

std::FILE* open_temporary_stream() {
  // Not the C library's tmpfile(), which gave two threads, or two processes, the same file.
  File file;
  if (const int error = open_anonymous_temporary(file); error != 0) {
    errno = error;  // as the callers read why
    return nullptr;
  }
  const int fd = ::_open_osfhandle(file.handle(), _O_RDWR | _O_BINARY);
  if (fd < 0) return nullptr;
  (void)file.release();  // the descriptor has it now
  std::FILE* const stream = ::_fdopen(fd, "w+b");
  if (stream == nullptr) {
    const int error = errno;
    ::_close(fd);
    errno = error;
  }
  return stream;
}

int empty_stream(std::FILE* stream) {
  std::rewind(stream);
  const HANDLE handle = handle_of_stream(stream);
  return ::SetFilePointerEx(handle, LARGE_INTEGER{}, nullptr, FILE_BEGIN) && ::SetEndOfFile(handle)
             ? 0
             : windows::last_error();
}

std::int64_t stream_offset(std::FILE* stream) { return ::_ftelli64(stream); }

int stream_error(int error) {
  // The C library keeps the system's own error of its last failed call in _doserrno; it has no
  // number of its own for a pipe that no one reads any more (wine says it is not connected).
  const auto system = static_cast<DWORD>(_doserrno);
  if (error == EINVAL && windows::error_number(system) == EPIPE) return EPIPE;
  return error;
}

int read_stream_at(std::FILE* stream, std::uint64_t offset, char* into, std::size_t size,
                   std::size_t& got) {
  return read_at(File::borrowed(windows::handle_of(handle_of_stream(stream))), offset, into, size,
                 got);
}

// Windows's C library keeps no stream in memory: the messages go to a temporary file, which the
// system keeps in memory as long as it can, and are read back from it.
MessageStream::~MessageStream() {
  if (stream_ != nullptr) std::fclose(stream_);
  std::free(buffer_);
}

std::FILE* MessageStream::restart() {
  if (stream_ == nullptr) stream_ = open_temporary_stream();
  if (stream_ != nullptr) std::rewind(stream_);
  return stream_;
}

std::string_view MessageStream::text() {
  const std::int64_t length = stream_ != nullptr ? ::_ftelli64(stream_) : -1;
  if (length <= 0 || std::fflush(stream_) != 0) return {};
  const auto wanted = static_cast<std::size_t>(length);
  if (wanted > size_) {
    char* const grown = static_cast<char*>(std::realloc(buffer_, wanted));
    if (grown == nullptr) return {};
    buffer_ = grown;
    size_ = wanted;
  }
  for (std::size_t done = 0; done < wanted;) {
    std::size_t got = 0;
    if (read_stream_at(stream_, done, buffer_ + done, wanted - done, got) != 0 || got == 0) {
      return {};
    }
    done += got;
  }
  return {buffer_, wanted};
}

}  // namespace quillet
