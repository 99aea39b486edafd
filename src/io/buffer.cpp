// The two files of a run with their buffers: the input read in large blocks, the output written
// through a buffer; each owns its file, and keeps its name and its error.
#include "io/buffer.h"

#include <cerrno>
#include <cstring>

namespace quillet {
namespace {

bool write_all(Output& out, const char* bytes, std::size_t size) {
  while (size > 0) {
    std::size_t put = 0;
    const int error = write_some(out.file, bytes, size, put);
    if (error != 0) {
      out.error = error;
      return false;
    }
    bytes += put;
    size -= put;
    out.written += put;
  }
  return true;
}

}  // namespace

void reset(Files& files) {
  // Field by field: the buffers themselves need no clearing.
  files.in.file = File();
  files.in.path.clear();
  files.in.begin = 0;
  files.in.end = 0;
  files.in.at_end = false;
  files.in.error = 0;
  files.out.file = File();
  files.out.path.clear();
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
  if (in.end == in.data.size()) return true;  // the buffer was full already; the caller makes room
  std::size_t got = 0;
  const int error = read_some(in.file, in.data.data() + in.end, in.data.size() - in.end, got);
  if (error != 0) {
    in.error = error;
    return false;
  }
  if (got == 0) {
    in.at_end = true;
    return false;
  }
  in.end += got;
  return true;
}

bool rewind(Input& in) {
  if (const int error = seek_to_start(in.file); error != 0) {
    in.error = error;
    return false;
  }
  in.begin = in.end = 0;
  in.at_end = false;
  in.error = 0;
  return true;
}

bool flush(Output& out) {
  if (out.error != 0) return false;
  const bool ok = write_all(out, out.data.data(), out.used);
  out.used = 0;
  return ok;
}

bool close_file(Output& out) {
  if (const int error = out.file.close(); error != 0 && out.error == 0) out.error = error;
  return out.error == 0;
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
