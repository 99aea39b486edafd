#include "run/entry.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "run/in_place.h"
#include "run/io.h"
#include "run/run.h"

namespace quillet {
namespace {

// The run's two files. Their buffers are large, so they live in static storage rather than on the
// stack; there is one run per process.
Input input_file;
Output output_file;

ResultCode no_such_file(const char* path, std::FILE* messages) {
  std::fprintf(messages, "No such file: %s\n", path);
  return RC_NO_SUCH_FILE;
}

[[nodiscard]] bool open_input(const char* path) {
  input_file.fd = is_standard_stream(path) ? STDIN_FILENO : ::open(path, O_RDONLY | O_CLOEXEC);
  return input_file.fd >= 0;
}

// A device or a pipe cannot be replaced by a file: the swap would put a plain file in its place.
// (A directory fails as the run reads it, before any swap.)
bool can_replace(const struct stat& input_stat) {
  return S_ISREG(input_stat.st_mode) || S_ISDIR(input_stat.st_mode);
}

// Whether the file that `other` describes is the input. Another path to the input (a link,
// "./a.c" for "a.c") would be emptied by opening it for writing; it is caught by identity.
bool is_input(const struct stat& other) {
  struct stat input_stat {};
  return ::fstat(input_file.fd, &input_stat) == 0 && input_stat.st_dev == other.st_dev &&
         input_stat.st_ino == other.st_ino;
}

// Whether "-fo" names the input by another path; then the run is refused.
bool output_names_input(const Options& options, std::FILE* messages) {
  struct stat path_stat {};
  if (options.output_file == nullptr || is_standard_stream(options.output_file) ||
      ::stat(options.output_file, &path_stat) != 0 || !is_input(path_stat)) {
    return false;
  }
  ::close(input_file.fd);
  refuse_same_file(messages);
  return true;
}

// Standard output appending to the input itself would feed the run its own output.
bool stdout_is_input() {
  struct stat output_stat {};
  return ::fstat(STDOUT_FILENO, &output_stat) == 0 && S_ISREG(output_stat.st_mode) &&
         is_input(output_stat);
}

void report_io_error(const Options& options, const char* output_path, std::FILE* messages) {
  if (input_file.error != 0) {
    std::fprintf(messages, "? Error reading %s\n", options.input_file);
  } else {
    std::fprintf(messages, "? Error writing %s\n", output_path);
  }
}

// Runs the loop and closes both files. Everything written must have reached the file: a full disk
// often shows only when the buffer is flushed or the file closed. With `durable`, the content is
// also on disk before the file is renamed over the input. Once the file's text has gone to
// standard output, nothing else may: a failure is then told by the status alone.
ResultCode run_and_close(const Options& options, const char* output_path, bool durable,
                         std::FILE* messages) {
  ResultCode rc = run_file(input_file, output_file, options);
  ::close(input_file.fd);
  if (rc == RC_OK && !flush(output_file)) rc = RC_IO_ERROR;
  if (rc == RC_OK && durable && ::fsync(output_file.fd) != 0) rc = RC_IO_ERROR;
  if (output_file.fd != STDOUT_FILENO && ::close(output_file.fd) != 0 && rc == RC_OK) {
    rc = RC_IO_ERROR;
  }
  const bool silent = output_file.fd == STDOUT_FILENO && output_file.written > 0;
  if (rc == RC_IO_ERROR && !silent) report_io_error(options, output_path, messages);
  return rc;
}

}  // namespace

ResultCode rewrite_to_file(const Options& options, std::FILE* messages) {
  if (!open_input(options.input_file)) return no_such_file(options.input_file, messages);
  if (is_standard_stream(options.output_file)) {
    if (stdout_is_input()) {
      // Its message would land in the input too.
      ::close(input_file.fd);
      return RC_SAME_FILE;
    }
    output_file.fd = STDOUT_FILENO;
    return run_and_close(options, options.output_file, false, messages);
  }
  if (output_names_input(options, messages)) return RC_SAME_FILE;
  output_file.fd = ::open(options.output_file, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (output_file.fd < 0) {
    std::fprintf(messages, "Cannot create file: %s\n", options.output_file);
    ::close(input_file.fd);
    return RC_CANNOT_CREATE;
  }
  return run_and_close(options, options.output_file, false, messages);
}

ResultCode rewrite_in_place(const Options& options, std::FILE* messages) {
  struct stat input_stat {};
  // Looked at before opening, as opening a pipe would wait for a writer.
  if (::stat(options.input_file, &input_stat) == 0 && !can_replace(input_stat)) {
    std::fprintf(messages, "? Not a regular file: %s\n", options.input_file);
    return RC_NO_SUCH_FILE;
  }
  if (!open_input(options.input_file)) return no_such_file(options.input_file, messages);
  static InPlaceNames names;
  if (::fstat(input_file.fd, &input_stat) != 0 || !can_replace(input_stat) ||
      !build_in_place_names(options.input_file, names)) {
    ::close(input_file.fd);
    return no_such_file(options.input_file, messages);
  }
  output_file.fd = create_temporary(names, input_stat.st_mode, messages);
  if (output_file.fd < 0) {
    ::close(input_file.fd);
    return RC_CANNOT_CREATE;
  }
  const ResultCode rc = run_and_close(options, names.temporary.data(), true, messages);
  if (rc != RC_OK) {
    ::unlink(names.temporary.data());
    return rc;
  }
  return replace_in_place(names, messages);
}

ResultCode check_file(const Options& options, std::FILE* messages) {
  if (!open_input(options.input_file)) return no_such_file(options.input_file, messages);
  if (output_names_input(options, messages)) return RC_SAME_FILE;
  output_file.discard = true;
  const ResultCode rc = run_file(input_file, output_file, options);
  ::close(input_file.fd);
  if (rc == RC_WOULD_CHANGE) std::fprintf(messages, "? %s would change\n", options.input_file);
  if (rc == RC_IO_ERROR)
    report_io_error(options, options.input_file, messages);  // nothing is written
  return rc;
}

}  // namespace quillet
