#include "run/io.h"

#include <pthread.h>
#include <sched.h>
#include <unistd.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <cerrno>
#include <chrono>
#include <cstring>
#include <system_error>

namespace quillet {
namespace {

// How long a wait spins before it sleeps. The other side usually answers within a buffer's worth
// of work, some tens of microseconds, well before a sleeping thread would be woken up.
constexpr std::chrono::microseconds SPIN_TIME{300};

// Writes all of `bytes` to `fd`, counting them in `written`. Returns 0, or the errno of the
// failure.
int write_fully(int fd, const char* bytes, std::size_t size, std::uint64_t& written) {
  while (size > 0) {
    const ssize_t n = ::write(fd, bytes, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return n < 0 ? errno : EIO;  // a file that takes nothing would be written forever
    bytes += n;
    size -= static_cast<std::size_t>(n);
    written += static_cast<std::uint64_t>(n);
  }
  return 0;
}

bool write_all(Output& out, const char* bytes, std::size_t size) {
  if (out.discard) return true;
  out.error = write_fully(out.fd, bytes, size, out.written);
  return out.error == 0;
}

char* filling(Output& out) { return out.buffers[out.filling].data(); }

// Waits until `bytes` holds something handed over (`handed_over`) or nothing, and returns it.
const char* wait_until(const std::atomic<const char*>& bytes, bool handed_over) {
  const auto spin_until = std::chrono::steady_clock::now() + SPIN_TIME;
  for (;;) {
    const char* now = bytes.load(std::memory_order_acquire);
    if ((now != nullptr) == handed_over) return now;
    if (std::chrono::steady_clock::now() < spin_until) {
#if defined(__SSE2__)
      _mm_pause();
#endif
    } else {
      bytes.wait(now, std::memory_order_acquire);
    }
  }
}

// The background writer's thread: writes what is handed over, one buffer at a time, until it is
// asked to stop.
void write_handed_over(BackgroundWriter* writer, int fd) {
  for (;;) {
    const char* bytes = wait_until(writer->bytes, true);
    if (writer->stopping) return;
    std::uint64_t written = 0;
    const int error = write_fully(fd, bytes, writer->size, written);
    writer->written += written;
    if (writer->error == 0) writer->error = error;
    writer->bytes.store(nullptr, std::memory_order_release);
    writer->bytes.notify_one();
  }
}

// Hands `bytes` to the writer's thread, which is idle.
void hand_over(BackgroundWriter& writer, const char* bytes, std::size_t size) {
  writer.size = size;
  writer.bytes.store(bytes, std::memory_order_release);
  writer.bytes.notify_one();
}

// Waits until the background writer has written what it was handed, and counts it.
void wait_for_writer(Output& out) {
  BackgroundWriter& writer = *out.writer;
  wait_until(writer.bytes, false);
  out.written += writer.written;
  writer.written = 0;
  if (out.error == 0) out.error = writer.error;
}

// Two busy threads on one core take turns, and the scheduler, which sees the writer idle between
// buffers, often puts them together. While the writer lives, the run stays on the core it is on
// and the writer keeps off it (among the cores allowed, when there are two or more).
void keep_apart(BackgroundWriter& writer) {
  cpu_set_t allowed;
  const int run_core = ::sched_getcpu();
  if (run_core < 0 || ::pthread_getaffinity_np(::pthread_self(), sizeof allowed, &allowed) != 0 ||
      CPU_COUNT(&allowed) < 2 || !CPU_ISSET(static_cast<std::size_t>(run_core), &allowed)) {
    return;
  }
  cpu_set_t others = allowed;
  CPU_CLR(static_cast<std::size_t>(run_core), &others);
  cpu_set_t run;
  CPU_ZERO(&run);
  CPU_SET(static_cast<std::size_t>(run_core), &run);
  if (::pthread_setaffinity_np(writer.thread.native_handle(), sizeof others, &others) == 0 &&
      ::pthread_setaffinity_np(::pthread_self(), sizeof run, &run) == 0) {
    writer.run_cores = allowed;
    writer.pinned = true;
  }
}

// Empties the buffer being filled: hands it to the background writer and goes on with the other
// one, or writes it here when there is no writer.
bool empty_buffer(Output& out) {
  if (out.error != 0) return false;
  if (out.writer == nullptr || out.discard) return flush(out);
  BackgroundWriter& writer = *out.writer;
  wait_for_writer(out);
  if (out.error != 0) return false;
  if (!writer.thread.joinable()) {
    try {
      writer.thread = std::thread(write_handed_over, &writer, out.fd);
    } catch (const std::system_error&) {
      out.writer = nullptr;  // no thread to be had: write here
      return flush(out);
    }
    keep_apart(writer);
  }
  hand_over(writer, filling(out), out.used);
  out.filling = 1 - out.filling;
  out.used = 0;
  return true;
}

}  // namespace

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
  if (out.writer != nullptr) wait_for_writer(out);
  if (out.error != 0) return false;
  const bool ok = write_all(out, filling(out), out.used);
  out.used = 0;
  return ok;
}

void stop_background(Output& out) {
  if (out.writer == nullptr) return;
  wait_for_writer(out);
  out.writer = nullptr;
}

BackgroundWriter::~BackgroundWriter() {
  if (!thread.joinable()) return;
  wait_until(bytes, false);
  stopping = true;
  hand_over(*this, "", 0);
  thread.join();
  if (pinned) ::pthread_setaffinity_np(::pthread_self(), sizeof run_cores, &run_cores);
}

bool write_bytes(Output& out, std::string_view bytes) {
  if (out.error != 0) return false;
  if (bytes.size() > WRITE_BUFFER_SIZE - out.used) {
    // Too large to be worth a copy: straight to the file, after what came before.
    if (bytes.size() >= WRITE_BUFFER_SIZE) {
      return flush(out) && write_all(out, bytes.data(), bytes.size());
    }
    if (!empty_buffer(out)) return false;
  }
  std::memcpy(filling(out) + out.used, bytes.data(), bytes.size());
  out.used += bytes.size();
  return true;
}

char* reserve(Output& out, std::size_t size) {
  if (out.error != 0 || size > WRITE_BUFFER_SIZE) return nullptr;
  if (size > WRITE_BUFFER_SIZE - out.used && !empty_buffer(out)) return nullptr;
  char* room = filling(out) + out.used;
  out.used += size;
  return room;
}

bool write_fill(Output& out, char c, std::int64_t count) {
  while (count > 0) {
    if (out.error != 0) return false;
    if (out.used == WRITE_BUFFER_SIZE && !empty_buffer(out)) return false;
    const std::size_t room = WRITE_BUFFER_SIZE - out.used;
    const std::size_t n =
        count < static_cast<std::int64_t>(room) ? static_cast<std::size_t>(count) : room;
    std::memset(filling(out) + out.used, c, n);
    out.used += n;
    count -= static_cast<std::int64_t>(n);
  }
  return out.error == 0;
}

}  // namespace quillet
