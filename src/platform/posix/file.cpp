// Open files that close themselves, what the program asks of a file, and the standard streams:
// their POSIX forms.
#include "platform/file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/posix/native.h"
#include "platform/posix/system.h"

namespace quillet {

namespace posix {

FileFacts facts_from(const struct stat& status) {
  FileFacts facts;
  if (S_ISREG(status.st_mode)) {
    facts.kind = FileKind::REGULAR;
  } else if (S_ISDIR(status.st_mode)) {
    facts.kind = FileKind::DIRECTORY;
  } else if (S_ISLNK(status.st_mode)) {
    facts.kind = FileKind::LINK;
  }
  facts.id = {static_cast<std::uint64_t>(status.st_dev), static_cast<std::uint64_t>(status.st_ino)};
  facts.size = status.st_size > 0 ? static_cast<std::uint64_t>(status.st_size) : 0;
#ifdef __APPLE__
  const timespec& modified = status.st_mtimespec;
#else
  const timespec& modified = status.st_mtim;
#endif
  facts.modified = {static_cast<std::int64_t>(modified.tv_sec),
                    static_cast<std::int32_t>(modified.tv_nsec)};
  facts.others_may_write = (status.st_mode & S_IWOTH) != 0;
  facts.access = {static_cast<std::uint32_t>(status.st_uid),
                  static_cast<std::uint32_t>(status.st_gid),
                  static_cast<std::uint32_t>(status.st_mode & 07777U)};
  return facts;
}

}  // namespace posix

namespace {

// `fd` taken by `file`, or the error that kept it from opening.
int opened(int fd, File& file) {
  if (fd < 0) return errno;
  file = File(fd);
  return 0;
}

}  // namespace

int File::close() {
  if (handle_ == NONE) return 0;
  const int fd = posix::descriptor(*this);
  handle_ = NONE;
  // Not tried again after EINTR: the descriptor is gone by then, and may be another file's.
  return !owned_ || ::close(fd) == 0 ? 0 : errno;
}

int open_for_reading(const char* path, File& file) {
  return opened(posix::open(path, O_RDONLY | O_CLOEXEC), file);
}

int create_for_writing(const char* path, File& file) {
  return opened(posix::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666), file);
}

int open_anonymous_temporary(File& file) {
  std::FILE* const stream = std::tmpfile();
  if (stream == nullptr) return errno != 0 ? errno : EIO;
  const int fd = ::fcntl(::fileno(stream), F_DUPFD_CLOEXEC, 0);
  const int error = errno;
  std::fclose(stream);  // the copy keeps the file
  if (fd < 0) return error;
  file = File(fd);
  return 0;
}

int facts_of(const File& file, FileFacts& facts) {
  struct stat status {};
  if (::fstat(posix::descriptor(file), &status) != 0) return errno;
  facts = posix::facts_from(status);
  return 0;
}

int facts_of_path(const char* path, Link link, FileFacts& facts) {
  struct stat status {};
  if ((link == Link::FOLLOW ? ::stat(path, &status) : ::lstat(path, &status)) != 0) return errno;
  facts = posix::facts_from(status);
  return 0;
}

int read_some(const File& file, char* into, std::size_t size, std::size_t& got) {
  for (;;) {
    const ssize_t n = posix::read(posix::descriptor(file), into, size);
    if (n >= 0) {
      got = static_cast<std::size_t>(n);
      return 0;
    }
    if (errno != EINTR) return errno;
  }
}

int read_at(const File& file, std::uint64_t offset, char* into, std::size_t size,
            std::size_t& got) {
  for (;;) {
    const ssize_t n = ::pread(posix::descriptor(file), into, size, static_cast<off_t>(offset));
    if (n >= 0) {
      got = static_cast<std::size_t>(n);
      return 0;
    }
    if (errno != EINTR) return errno;
  }
}

int write_some(const File& file, const char* bytes, std::size_t size, std::size_t& put) {
  for (;;) {
    const ssize_t n = posix::write(posix::descriptor(file), bytes, size);
    if (n > 0) {
      put = static_cast<std::size_t>(n);
      return 0;
    }
    if (n == 0) return EIO;
    if (errno != EINTR) return errno;
  }
}

int seek_to_start(const File& file) {
  return ::lseek(posix::descriptor(file), 0, SEEK_SET) == 0 ? 0 : errno;
}

int sync_file(const File& file) { return posix::fsync(posix::descriptor(file)) == 0 ? 0 : errno; }

bool is_standard_handle(File::Handle handle) { return handle >= 0 && handle <= STDERR_FILENO; }

File standard_input() { return File::borrowed(STDIN_FILENO); }
File standard_output() { return File::borrowed(STDOUT_FILENO); }

bool is_terminal(const File& file) { return ::isatty(posix::descriptor(file)) == 1; }

void fill_missing_standard_streams() {
  for (const int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    // The lowest free number is taken: this one, as the ones below it are open by now.
    const int stand_in = ::open("/dev/null", fd == STDIN_FILENO ? O_WRONLY : O_RDONLY);
    if (stand_in >= 0 && stand_in != fd) ::close(stand_in);
  }
}

}  // namespace quillet
