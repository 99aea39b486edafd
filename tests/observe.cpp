// Opens and reads PATH over and over until the file STOP exists, and counts the reads that found
// no file, or a text that is neither BEFORE nor AFTER (a part of one). Prints the counts; exits
// with 1 when any read was such.
// Usage: observe PATH BEFORE AFTER STOP
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <string>

namespace {

// The whole content of `path`; false when it cannot be opened.
bool read_file(const char* path, std::string& text) {
  const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  text.clear();
  char chunk[65536];
  for (ssize_t n; (n = ::read(fd, chunk, sizeof chunk)) > 0;)
    text.append(chunk, static_cast<std::size_t>(n));
  ::close(fd);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: observe PATH BEFORE AFTER STOP\n");
    return 2;
  }
  std::string before;
  std::string after;
  if (!read_file(argv[2], before) || !read_file(argv[3], after)) return 2;
  long reads = 0;
  long missing = 0;
  long partial = 0;
  std::string text;
  while (::access(argv[4], F_OK) != 0) {
    ++reads;
    if (!read_file(argv[1], text)) {
      ++missing;
    } else if (text != before && text != after) {
      ++partial;
    }
  }
  std::printf("%ld reads, %ld found no file, %ld found a part of one\n", reads, missing, partial);
  return missing == 0 && partial == 0 ? 0 : 1;
}
