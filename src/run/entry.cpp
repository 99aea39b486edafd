#include "run/entry.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>

#include "run/in_place.h"
#include "run/io.h"
#include "run/run.h"

namespace quillet {
namespace {

ResultCode no_such_file(const char* path, std::FILE* messages) {
  std::fprintf(messages, "No such file: %s\n", path);
  return RC_NO_SUCH_FILE;
}

ResultCode cannot_read(const char* path, std::FILE* messages) {
  std::fprintf(messages, "? Error reading %s\n", path);
  return RC_IO_ERROR;
}

// Opens the input. A directory cannot be read as text: it is refused here, before any output is
// created, emptied or removed.
[[nodiscard]] ResultCode open_input(Input& in, const char* path, std::FILE* messages) {
  in.fd = is_standard_stream(path) ? STDIN_FILENO : ::open(path, O_RDONLY | O_CLOEXEC);
  if (in.fd < 0) return no_such_file(path, messages);
  struct stat input_stat {};
  if (::fstat(in.fd, &input_stat) == 0 && S_ISDIR(input_stat.st_mode)) {
    ::close(in.fd);
    return cannot_read(path, messages);
  }
  return RC_OK;
}

// A device or a pipe cannot be replaced by a file: the swap would put a plain file in its place.
bool can_replace(const struct stat& input_stat) { return S_ISREG(input_stat.st_mode); }

// Whether the file that `other` describes is the input. Another path to the input (a link,
// "./a.c" for "a.c") would be emptied by opening it for writing; it is caught by identity.
bool is_input(const Input& in, const struct stat& other) {
  struct stat input_stat {};
  return ::fstat(in.fd, &input_stat) == 0 && input_stat.st_dev == other.st_dev &&
         input_stat.st_ino == other.st_ino;
}

// Standard output appending to the input itself would feed the run its own output.
bool stdout_is_input(const Input& in) {
  struct stat output_stat {};
  return ::fstat(STDOUT_FILENO, &output_stat) == 0 && S_ISREG(output_stat.st_mode) &&
         is_input(in, output_stat);
}

// Whether "-fo" names the input by another path; then the run is refused, without a word when
// standard output is the input too, as the refusal would land in it.
bool output_names_input(const Input& in, const Options& options, std::FILE* messages) {
  struct stat path_stat {};
  if (options.output_file == nullptr || is_standard_stream(options.output_file) ||
      ::stat(options.output_file, &path_stat) != 0 || !is_input(in, path_stat)) {
    return false;
  }
  if (!stdout_is_input(in)) refuse_same_file(messages);
  ::close(in.fd);
  return true;
}

void report_io_error(const Input& in, const Options& options, const char* output_path,
                     std::FILE* messages) {
  if (in.error != 0) {
    cannot_read(options.input_file, messages);
  } else {
    std::fprintf(messages, "? Error writing %s\n", output_path);
  }
}

// Runs the loop and closes the output; the input stays open (in place, it holds the lock).
// Everything written must have reached the file: a full disk often shows only when the buffer is
// flushed or the file closed. With `durable`, the content is also on disk before the file is
// renamed over the input. Once the file's text has gone to standard output, nothing else may: a
// failure is then told by the status alone.
ResultCode run_to_output(Files& files, const Options& options, const char* output_path,
                         bool durable, std::FILE* messages) {
  ResultCode rc = run_file(files.in, files.out, options);
  if (rc == RC_OK && !flush(files.out)) rc = RC_IO_ERROR;
  if (rc == RC_OK && durable && ::fsync(files.out.fd) != 0) rc = RC_IO_ERROR;
  if (files.out.fd != STDOUT_FILENO && ::close(files.out.fd) != 0 && rc == RC_OK) {
    rc = RC_IO_ERROR;
  }
  const bool silent = files.out.fd == STDOUT_FILENO && files.out.written > 0;
  if (rc == RC_IO_ERROR && !silent) report_io_error(files.in, options, output_path, messages);
  return rc;
}

// Reads the open input through, writing nothing, up to the first line that would change; then,
// with `rewind`, puts it back at its start for a run that reads it again (a pipe cannot be).
// Returns RC_WOULD_CHANGE, RC_OK, or RC_IO_ERROR after its message.
ResultCode would_change(Files& files, const Options& options, bool rewind, std::FILE* messages) {
  const int fd = files.in.fd;
  files.out.discard = true;
  Options check = options;
  check.check = true;
  const ResultCode rc = run_file(files.in, files.out, check);
  if (rc == RC_IO_ERROR) report_io_error(files.in, options, options.input_file, messages);
  reset(files);
  files.in.fd = fd;
  if (rc == RC_WOULD_CHANGE && rewind && ::lseek(fd, 0, SEEK_SET) != 0) {
    return cannot_read(options.input_file, messages);
  }
  return rc;
}

// Copies all of `from` into `to`, through the input's buffer.
bool copy_all(int from, int to, Input& buffer) {
  for (;;) {
    const ssize_t n = ::read(from, buffer.data.data(), buffer.data.size());
    if (n == 0) return true;
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    for (ssize_t done = 0; done < n;) {
      const ssize_t w = ::write(to, buffer.data.data() + done, static_cast<std::size_t>(n - done));
      if (w <= 0) return false;
      done += w;
    }
  }
}

}  // namespace

void hold_standard_streams() {
  for (const int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    // The lowest free number is taken: this one, as the ones below it are open by now.
    const int stand_in = ::open("/dev/null", fd == STDIN_FILENO ? O_WRONLY : O_RDONLY);
    if (stand_in >= 0 && stand_in != fd) ::close(stand_in);
  }
}

ResultCode rewrite_to_file(const Options& options, Files& files, std::FILE* messages) {
  reset(files);
  if (const ResultCode rc = open_input(files.in, options.input_file, messages); rc != RC_OK) {
    return rc;
  }
  if (is_standard_stream(options.output_file)) {
    if (stdout_is_input(files.in)) {
      // Its message would land in the input too.
      ::close(files.in.fd);
      return RC_SAME_FILE;
    }
    files.out.fd = STDOUT_FILENO;
    const ResultCode rc = run_to_output(files, options, options.output_file, false, messages);
    ::close(files.in.fd);
    return rc;
  }
  if (output_names_input(files.in, options, messages)) return RC_SAME_FILE;
  files.out.fd = ::open(options.output_file, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (files.out.fd < 0) {
    std::fprintf(messages, "Cannot create file: %s\n", options.output_file);
    ::close(files.in.fd);
    return RC_CANNOT_CREATE;
  }
  const ResultCode rc = run_to_output(files, options, options.output_file, false, messages);
  ::close(files.in.fd);
  return rc;
}

ResultCode rewrite_in_place(const Options& options, Files& files, std::FILE* messages,
                            std::string* unsynced) {
  reset(files);
  struct stat input_stat {};
  // Looked at before opening, as opening a pipe would wait for a writer.
  if (::stat(options.input_file, &input_stat) == 0 && !can_replace(input_stat) &&
      !S_ISDIR(input_stat.st_mode)) {
    std::fprintf(messages, "? Not a regular file: %s\n", options.input_file);
    return RC_NO_SUCH_FILE;
  }
  if (const ResultCode rc = open_input(files.in, options.input_file, messages); rc != RC_OK) {
    return rc;
  }
  InPlaceNames names;
  if (!lock_input(files.in.fd, options.input_file) || ::fstat(files.in.fd, &input_stat) != 0 ||
      !can_replace(input_stat) || !build_in_place_names(options.input_file, names)) {
    if (files.in.fd >= 0) ::close(files.in.fd);
    return no_such_file(options.input_file, messages);
  }
  // From here to the end of the swap no other in-place run on this file can start its own.
  ResultCode rc = options.only_if_changed ? would_change(files, options, true, messages) : RC_OK;
  if (rc != RC_WOULD_CHANGE && options.only_if_changed) {
    // A file that would not change keeps its inode and its time, and gets no backup.
    ::close(files.in.fd);
    return rc;
  }
  rc = create_temporary(names, input_stat, files.out.fd, messages);
  if (rc == RC_OK) {
    rc = run_to_output(files, options, names.temporary.data(), true, messages);
    if (rc == RC_OK) {
      rc = replace_in_place(names, !options.no_backup, messages);
      // The renames are on disk once the directory is: a crash after a reported success cannot
      // bring the old content back. A caller that reports later may sync it later.
      if (rc == RC_OK && unsynced != nullptr) {
        *unsynced = names.directory.data();
      } else if (rc == RC_OK) {
        rc = sync_directory(names.directory.data(), messages);
      }
    } else {
      ::unlink(names.temporary.data());
    }
  }
  ::close(files.in.fd);
  return rc;
}

bool wants_colour() { return ::isatty(STDOUT_FILENO) == 1 && std::getenv("NO_COLOR") == nullptr; }

ResultCode diff_file(const Options& options, Files& files, DiffInputs& diff, std::FILE* messages) {
  reset(files);
  if (const ResultCode rc = open_input(files.in, options.input_file, messages); rc != RC_OK) {
    return rc;
  }
  if (output_names_input(files.in, options, messages)) return RC_SAME_FILE;
  // Both sides are dated by the input's time, so that a diff of the same file reads the same
  // every time; standard input by the time of the run.
  std::timespec time{};
  std::timespec_get(&time, TIME_UTC);
  struct stat input_stat {};
  if (::fstat(files.in.fd, &input_stat) == 0 && S_ISREG(input_stat.st_mode)) {
    time = input_stat.st_mtim;
  }
  const DiffLabel label{options.input_file, time};
  // The input is read three times (the check, the run, the diff); standard input is kept in a
  // temporary file first, as it can be read once only.
  std::FILE* spool = nullptr;
  if (files.in.fd == STDIN_FILENO) {
    spool = std::tmpfile();
    if (spool == nullptr || !copy_all(STDIN_FILENO, ::fileno(spool), files.in) ||
        ::lseek(::fileno(spool), 0, SEEK_SET) != 0) {
      if (spool != nullptr) std::fclose(spool);
      return cannot_read(options.input_file, messages);
    }
    reset(files);
    files.in.fd = ::fileno(spool);
  }
  ResultCode rc = would_change(files, options, true, messages);
  std::FILE* rewritten = rc == RC_WOULD_CHANGE ? std::tmpfile() : nullptr;
  if (rc == RC_WOULD_CHANGE) {
    Options run = options;
    run.check = false;
    files.out.fd = rewritten != nullptr ? ::fileno(rewritten) : -1;
    rc = rewritten != nullptr ? run_file(files.in, files.out, run) : RC_IO_ERROR;
    if (rc == RC_OK && !flush(files.out)) rc = RC_IO_ERROR;
    if (rc == RC_IO_ERROR) {
      if (files.in.error != 0) {
        cannot_read(options.input_file, messages);
      } else {
        std::fprintf(messages, "? Error writing a temporary file\n");
      }
    }
  }
  if (rc == RC_OK && rewritten != nullptr) {
    diff.before.fd = files.in.fd;
    diff.after.fd = files.out.fd;
    rc = ::lseek(diff.before.fd, 0, SEEK_SET) == 0 && ::lseek(diff.after.fd, 0, SEEK_SET) == 0 &&
                 write_diff(diff, label, options.colour, messages)
             ? RC_WOULD_CHANGE
             : cannot_read(options.input_file, messages);
  }
  if (rewritten != nullptr) std::fclose(rewritten);
  if (spool != nullptr) {
    std::fclose(spool);
  } else {
    ::close(files.in.fd);
  }
  return rc;
}

ResultCode check_file(const Options& options, Files& files, std::FILE* messages) {
  reset(files);
  if (const ResultCode rc = open_input(files.in, options.input_file, messages); rc != RC_OK) {
    return rc;
  }
  if (output_names_input(files.in, options, messages)) return RC_SAME_FILE;
  const ResultCode rc = would_change(files, options, false, messages);
  ::close(files.in.fd);
  if (rc == RC_WOULD_CHANGE) std::fprintf(messages, "? %s would change\n", options.input_file);
  return rc;
}

}  // namespace quillet
