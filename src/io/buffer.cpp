#include "io/buffer.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace quillet {
namespace {

bool write_all(Output& out, const char* bytes, std::size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(out.fd, bytes, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      out.error = n < 0 ? errno : EIO;  // a file that takes nothing would be written forever
      return false;
    }
    bytes += n;
    size -= static_cast<std::size_t>(n);
    out.written += static_cast<std::uint64_t>(n);
  }
  return true;
}

}  // namespace

void reset(Files& files) {
  // Field by field: the buffers themselves need no clearing.
  files.in.fd = -1;
  files.in.begin = 0;
  files.in.end = 0;
  files.in.at_end = false;
  files.in.error = 0;
  files.out.fd = -1;
  files.out.written = 0;
  files.out.used = 0;
  files.out.error = 0;
}

bool refill(Input& in) {
  if (in.at_end || in.error != 0) return false;
  if (in.begin > 0) {
    std::memmove(in.data.data(), in.data.data() + in.begin, in.end - in.begin);
    in.end -= in.begin;
    in.begin = 0;
  }
  while (in.end < in.data.size()) {
    const ssize_t n = ::read(in.fd, in.data.data() + in.end, in.data.size() - in.end);
    if (n > 0) {
      in.end += static_cast<std::size_t>(n);
      return true;
    }
    if (n == 0) {
      in.at_end = true;
      return false;
    }
    if (errno != EINTR) {
      in.error = errno;
      return false;
    }
  }
  return true;  // the buffer was full already; the caller makes room first
}

bool flush(Output& out) {
  if (out.error != 0) return false;
  const bool ok = write_all(out, out.data.data(), out.used);
  out.used = 0;
  return ok;
}

bool write_bytes_through(Output& out, std::string_view bytes) {
  if (out.error != 0) return false;
  if (bytes.size() > out.data.size() - out.used) {
    if (!flush(out)) return false;
    // Too large to be worth a copy: straight to the file.
    if (bytes.size() >= out.data.size()) return write_all(out, bytes.data(), bytes.size());
  }
  std::memcpy(out.data.data() + out.used, bytes.data(), bytes.size());
  out.used += bytes.size();
  return true;
}

bool write_fill(Output& out, char c, std::int64_t count) {
  while (count > 0) {
    if (out.error != 0) return false;
    if (out.used == out.data.size() && !flush(out)) return false;
    const std::size_t room = out.data.size() - out.used;
    const std::size_t n =
        count < static_cast<std::int64_t>(room) ? static_cast<std::size_t>(count) : room;
    std::memset(out.data.data() + out.used, c, n);
    out.used += n;
    count -= static_cast<std::int64_t>(n);
  }
  return out.error == 0;
}

}  // namespace quillet
