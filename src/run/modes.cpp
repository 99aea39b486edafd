#include "run/modes.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <string>
#include <string_view>

#include "base/quote.h"
#include "io/buffer.h"
#include "io/in_place.h"
#include "platform/process.h"
#include "rewrite/rewrite.h"

namespace quillet {
namespace {

ResultCode no_such_file(const char* path, std::FILE* messages) {
  std::fprintf(messages, "No such file: %s\n", printable(path).c_str());
  return RC_NO_SUCH_FILE;
}

ResultCode cannot_read(const char* path, std::FILE* messages) {
  std::fprintf(messages, "? Error reading %s\n", printable(path).c_str());
  return RC_IO_ERROR;
}

ResultCode cannot_write(const std::string& path, std::FILE* messages) {
  std::fprintf(messages, "? Error writing %s\n", printable(path).c_str());
  return RC_IO_ERROR;
}

// A file that is there but could not be opened for want of descriptors or memory says so: it is
// no missing file.
ResultCode open_failed(const char* path, int error, std::FILE* messages) {
  if (error == EMFILE || error == ENFILE || error == ENOMEM) {
    std::fprintf(messages, "? Error reading %s: %s\n", printable(path).c_str(),
                 std::strerror(error));
    return RC_IO_ERROR;
  }
  return no_such_file(path, messages);
}

// How messages and diff headers name the target.
const char* shown(const Target& target) {
  return target.label != nullptr ? target.label : target.path;
}

FileId id_of(const struct stat& file_stat) { return {file_stat.st_dev, file_stat.st_ino}; }

// Opens a file of a walk where the walk found it, refusing a link, anything but a regular file
// (a pipe or a device could block the run for ever), and a file put there since.
ResultCode open_walked(Input& in, const Target& target, std::FILE* messages) {
  in.fd = ::openat(target.directory->handle.fd, target.name,
                   O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (in.fd < 0) {
    return errno == ELOOP ? cannot_read(shown(target), messages)
                          : open_failed(shown(target), errno, messages);
  }
  struct stat input_stat {};
  if (::fstat(in.fd, &input_stat) != 0 || !S_ISREG(input_stat.st_mode) ||
      id_of(input_stat) != target.id) {
    ::close(in.fd);
    in.fd = -1;
    return cannot_read(shown(target), messages);
  }
  return RC_OK;
}

// Opens the input. A directory cannot be read as text: it is refused here, before any output is
// created, emptied or removed.
[[nodiscard]] ResultCode open_input(Input& in, const Target& target, std::FILE* messages) {
  if (target.directory != nullptr) return open_walked(in, target, messages);
  in.fd =
      is_standard_stream(target.path) ? STDIN_FILENO : ::open(target.path, O_RDONLY | O_CLOEXEC);
  if (in.fd < 0) return open_failed(shown(target), errno, messages);
  struct stat input_stat {};
  if (::fstat(in.fd, &input_stat) == 0 && S_ISDIR(input_stat.st_mode)) {
    ::close(in.fd);
    in.fd = -1;
    return cannot_read(shown(target), messages);
  }
  return RC_OK;
}

// Whether the file that `other` describes is the input. Another path to the input (a link,
// "./a.c" for "a.c") would be emptied by opening it for writing; it is caught by identity.
bool is_input(const Input& in, const struct stat& other) {
  struct stat input_stat {};
  return ::fstat(in.fd, &input_stat) == 0 && id_of(input_stat) == id_of(other);
}

// Standard output appending to the input itself would feed the run its own output.
bool stdout_is_input(const Input& in) {
  struct stat output_stat {};
  return ::fstat(STDOUT_FILENO, &output_stat) == 0 && S_ISREG(output_stat.st_mode) &&
         is_input(in, output_stat);
}

// Whether "-fo" names the input by another path; then the run is refused, without a word when
// standard output is the input too, as the refusal would land in it.
bool output_names_input(const Input& in, const FileRun& run, std::FILE* messages) {
  struct stat path_stat {};
  if (run.output_file == nullptr || is_standard_stream(run.output_file) ||
      ::stat(run.output_file, &path_stat) != 0 || !is_input(in, path_stat)) {
    return false;
  }
  if (!stdout_is_input(in)) refuse_same_file(messages);
  return true;
}

// Copies every line of `in` to `out` (with none, only reads it) as it is.
ResultCode pass_through(Input& in, Output* out) {
  while (refill(in)) {
    const std::string_view bytes(in.data.data() + in.begin, in.end - in.begin);
    if (out != nullptr && !write_bytes(*out, bytes)) return RC_IO_ERROR;
    in.begin = in.end;
  }
  return in.error != 0 ? RC_IO_ERROR : RC_OK;
}

// Rewrites the lines of the input into `out`, or, without an output, looks for one that would
// change, as rewrite_lines does; or passes every one through, as the run asks.
ResultCode rewrite(Files& files, Output* out, const FileRun& run,
                   const LineReport* report = nullptr) {
  if (run.unchanged) return pass_through(files.in, out);
  return rewrite_lines(files.in, out, run.layout, run.lines, report);
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

void report_io_error(const Input& in, const char* input_path, const std::string& output_path,
                     std::FILE* messages) {
  if (in.error != 0) {
    cannot_read(input_path, messages);
  } else {
    cannot_write(output_path, messages);
  }
}

// Runs the loop into the open output. Everything written must have reached the file: a full
// disk often shows only when the buffer is flushed.
ResultCode run_into(Files& files, const FileRun& run, const char* input_path,
                    const std::string& output_path, std::FILE* messages) {
  ResultCode rc = rewrite(files, &files.out, run);
  if (rc == RC_OK && !flush(files.out)) rc = RC_IO_ERROR;
  if (rc == RC_IO_ERROR) report_io_error(files.in, input_path, output_path, messages);
  return rc;
}

// Closes the output file; closing may be where a full disk shows.
ResultCode close_output(Files& files, ResultCode rc, const std::string& output_path,
                        std::FILE* messages) {
  const bool closed = ::close(files.out.fd) == 0;
  files.out.fd = -1;
  return closed || rc != RC_OK ? rc : cannot_write(output_path, messages);
}

// Reads the open input through, writing nothing, up to the first line that would change; then,
// with `rewind`, puts it back at its start for a run that reads it again (a pipe cannot be).
// Returns RC_WOULD_CHANGE, RC_OK, or RC_IO_ERROR after its message.
ResultCode would_change(Files& files, const FileRun& run, const char* path, bool rewind,
                        std::FILE* messages, const LineReport* report = nullptr) {
  const int fd = files.in.fd;
  const ResultCode rc = rewrite(files, nullptr, run, report);
  if (rc == RC_IO_ERROR) cannot_read(path, messages);
  reset(files);
  files.in.fd = fd;
  if (rc == RC_WOULD_CHANGE && rewind && ::lseek(fd, 0, SEEK_SET) != 0) {
    return cannot_read(path, messages);
  }
  return rc;
}

// Opens the input of an in-place run in its place and holds it against other in-place runs.
// Fills `input_stat`. The file must be a regular one: a swap would put a plain file in the place
// of a device or a pipe.
ResultCode open_in_place(Input& in, const Target& target, const Place& place,
                         struct stat& input_stat, std::FILE* messages) {
  const bool walked = target.directory != nullptr;
  in.fd =
      ::openat(place.directory, place.name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (in.fd < 0) {
    return walked && errno == ELOOP ? cannot_read(shown(target), messages)
                                    : open_failed(shown(target), errno, messages);
  }
  const auto refuse = [&](ResultCode rc) {
    ::close(in.fd);
    in.fd = -1;
    return rc;
  };
  if (::fstat(in.fd, &input_stat) != 0 || S_ISDIR(input_stat.st_mode) ||
      (walked && (!S_ISREG(input_stat.st_mode) || id_of(input_stat) != target.id))) {
    return refuse(cannot_read(shown(target), messages));
  }
  if (!S_ISREG(input_stat.st_mode)) {
    std::fprintf(messages, "? Not a regular file: %s\n", printable(shown(target)).c_str());
    return refuse(RC_NO_SUCH_FILE);
  }
  if (!lock_input(in.fd, place)) return no_such_file(shown(target), messages);
  // The lock may have moved on to the file another run put in place.
  if (::fstat(in.fd, &input_stat) != 0 || !S_ISREG(input_stat.st_mode)) {
    return refuse(no_such_file(shown(target), messages));
  }
  return RC_OK;
}

}  // namespace

ResultCode rewrite_to_file(const FileRun& run, const Target& target, Files& files,
                           std::FILE* messages) {
  reset(files);
  if (const ResultCode rc = open_input(files.in, target, messages); rc != RC_OK) return rc;
  const Descriptor input(files.in.fd);
  if (is_standard_stream(run.output_file)) {
    if (stdout_is_input(files.in)) return refuse_same_file(messages);
    files.out.fd = STDOUT_FILENO;
    return run_into(files, run, shown(target), run.output_file, messages);
  }
  if (output_names_input(files.in, run, messages)) return RC_SAME_FILE;
  files.out.fd = ::open(run.output_file, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (files.out.fd < 0) {
    std::fprintf(messages, "Cannot create file: %s\n", printable(run.output_file).c_str());
    return RC_CANNOT_CREATE;
  }
  const ResultCode rc = run_into(files, run, shown(target), run.output_file, messages);
  return close_output(files, rc, run.output_file, messages);
}

ResultCode rewrite_in_place(const FileRun& run, const Target& target, Files& files,
                            std::FILE* messages) {
  reset(files);
  Descriptor own_directory;
  Place place;
  if (target.directory != nullptr) {
    place = {target.directory->handle.fd, target.name, target.path};
  } else if (target.place != nullptr) {
    place = *target.place;
  } else if (!find_place(target.path, own_directory, place)) {
    return no_such_file(shown(target), messages);
  }
  struct stat input_stat {};
  if (const ResultCode rc = open_in_place(files.in, target, place, input_stat, messages);
      rc != RC_OK) {
    return rc;
  }
  // From here to the end of the swap no other in-place run on this file can start its own.
  const Descriptor input(files.in.fd);
  if (run.only_if_changed) {
    // A file that would not change keeps its inode and its time, and gets no backup.
    const ResultCode rc = would_change(files, run, shown(target), true, messages);
    if (rc != RC_WOULD_CHANGE) return rc;
  }
  if (const ResultCode rc = create_temporary(place, files.out.fd, messages); rc != RC_OK) return rc;
  const std::string temporary = place.path + ".tmp";
  ResultCode rc = run_into(files, run, shown(target), temporary, messages);
  if (rc == RC_OK) rc = finish_temporary(place, files.out.fd, input_stat, messages);
  rc = close_output(files, rc, temporary, messages);
  if (rc != RC_OK) {
    remove_temporary(place);
    return rc;
  }
  rc = replace_in_place(place, !run.no_backup, messages);
  if (rc != RC_OK) return rc;
  // The renames are on disk once the directory is: a crash after a reported success cannot
  // bring the old content back. A walk syncs each directory once, when it is done with it.
  if (target.directory != nullptr) {
    target.directory->renamed = true;
  } else if (!sync_directory(place.directory)) {
    return cannot_write(split_path(place.path).directory, messages);
  }
  return RC_OK;
}

ResultCode diff_file(const FileRun& run, const Target& target, Files& files, DiffInputs& diff,
                     std::FILE* messages) {
  reset(files);
  if (const ResultCode rc = open_input(files.in, target, messages); rc != RC_OK) return rc;
  Descriptor input(files.in.fd != STDIN_FILENO ? files.in.fd : -1);
  if (output_names_input(files.in, run, messages)) return RC_SAME_FILE;
  // Both sides are dated by the input's time, so that a diff of the same file reads the same
  // every time; standard input by the time of the run.
  Time time = current_time();
  struct stat input_stat {};
  if (::fstat(files.in.fd, &input_stat) == 0 && S_ISREG(input_stat.st_mode)) {
    time = {input_stat.st_mtim.tv_sec, static_cast<std::int32_t>(input_stat.st_mtim.tv_nsec)};
  }
  const DiffLabel label{shown(target), time};
  // The input is read three times (the check, the run, the diff); standard input is kept in a
  // temporary file first, as it can be read once only.
  if (files.in.fd == STDIN_FILENO) {
    std::FILE* spool = std::tmpfile();
    input.reset(spool != nullptr ? ::dup(::fileno(spool)) : -1);
    if (spool != nullptr) std::fclose(spool);
    if (input.fd < 0 || !copy_all(STDIN_FILENO, input.fd, files.in) ||
        ::lseek(input.fd, 0, SEEK_SET) != 0) {
      return cannot_read(shown(target), messages);
    }
    reset(files);
    files.in.fd = input.fd;
  }
  ResultCode rc = would_change(files, run, shown(target), true, messages);
  if (rc != RC_WOULD_CHANGE) return rc;
  std::FILE* const made = std::tmpfile();
  const Descriptor rewritten(made != nullptr ? ::dup(::fileno(made)) : -1);
  if (made != nullptr) std::fclose(made);
  files.out.fd = rewritten.fd;
  rc = rewritten.fd >= 0 ? rewrite(files, &files.out, run) : RC_IO_ERROR;
  if (rc == RC_OK && !flush(files.out)) rc = RC_IO_ERROR;
  if (rc == RC_IO_ERROR) {
    if (files.in.error != 0) return cannot_read(shown(target), messages);
    std::fprintf(messages, "? Error writing a temporary file\n");
    return rc;
  }
  diff.before.fd = files.in.fd;
  diff.after.fd = files.out.fd;
  return ::lseek(diff.before.fd, 0, SEEK_SET) == 0 && ::lseek(diff.after.fd, 0, SEEK_SET) == 0 &&
                 write_diff(diff, label, run.colour, messages)
             ? RC_WOULD_CHANGE
             : cannot_read(shown(target), messages);
}

ResultCode check_file(const FileRun& run, const Target& target, Files& files, std::FILE* messages) {
  reset(files);
  if (const ResultCode rc = open_input(files.in, target, messages); rc != RC_OK) return rc;
  const Descriptor input(files.in.fd);
  if (output_names_input(files.in, run, messages)) return RC_SAME_FILE;
  // Told line by line, as the lines come, or once for the file.
  const LineReport report{messages, run.report, shown(target)};
  const ResultCode rc = would_change(files, run, shown(target), false, messages,
                                     run.report != Report::FILES ? &report : nullptr);
  if (rc == RC_WOULD_CHANGE && run.report == Report::FILES) {
    std::fprintf(messages, "? %s would change\n", printable(shown(target)).c_str());
  }
  return rc;
}

}  // namespace quillet
