#include "run/entry.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "run/in_place.h"
#include "run/io.h"
#include "run/run.h"

namespace quillet {
namespace {

// The two files of one run, with their buffers.
struct Files {
  Input in;
  Output out;
};

ResultCode no_such_file(const char* path, std::FILE* messages) {
  std::fprintf(messages, "No such file: %s\n", path);
  return RC_NO_SUCH_FILE;
}

[[nodiscard]] bool open_input(Input& in, const char* path) {
  in.fd = is_standard_stream(path) ? STDIN_FILENO : ::open(path, O_RDONLY | O_CLOEXEC);
  return in.fd >= 0;
}

// A device or a pipe cannot be replaced by a file: the swap would put a plain file in its place.
// (A directory fails as the run reads it, before any swap.)
bool can_replace(const struct stat& input_stat) {
  return S_ISREG(input_stat.st_mode) || S_ISDIR(input_stat.st_mode);
}

// Whether the file that `other` describes is the input. Another path to the input (a link,
// "./a.c" for "a.c") would be emptied by opening it for writing; it is caught by identity.
bool is_input(const Input& in, const struct stat& other) {
  struct stat input_stat {};
  return ::fstat(in.fd, &input_stat) == 0 && input_stat.st_dev == other.st_dev &&
         input_stat.st_ino == other.st_ino;
}

// Whether "-fo" names the input by another path; then the run is refused.
bool output_names_input(const Input& in, const Options& options, std::FILE* messages) {
  struct stat path_stat {};
  if (options.output_file == nullptr || is_standard_stream(options.output_file) ||
      ::stat(options.output_file, &path_stat) != 0 || !is_input(in, path_stat)) {
    return false;
  }
  ::close(in.fd);
  refuse_same_file(messages);
  return true;
}

// Standard output appending to the input itself would feed the run its own output.
bool stdout_is_input(const Input& in) {
  struct stat output_stat {};
  return ::fstat(STDOUT_FILENO, &output_stat) == 0 && S_ISREG(output_stat.st_mode) &&
         is_input(in, output_stat);
}

void report_io_error(const Input& in, const Options& options, const char* output_path,
                     std::FILE* messages) {
  if (in.error != 0) {
    std::fprintf(messages, "? Error reading %s\n", options.input_file);
  } else {
    std::fprintf(messages, "? Error writing %s\n", output_path);
  }
}

// Runs the loop and closes both files. Everything written must have reached the file: a full disk
// often shows only when the buffer is flushed or the file closed. With `durable`, the content is
// also on disk before the file is renamed over the input. Once the file's text has gone to
// standard output, nothing else may: a failure is then told by the status alone.
ResultCode run_and_close(Files& files, const Options& options, const char* output_path,
                         bool durable, std::FILE* messages) {
  ResultCode rc = run_file(files.in, files.out, options);
  ::close(files.in.fd);
  if (rc == RC_OK && !flush(files.out)) rc = RC_IO_ERROR;
  if (rc == RC_OK && durable && ::fsync(files.out.fd) != 0) rc = RC_IO_ERROR;
  if (files.out.fd != STDOUT_FILENO && ::close(files.out.fd) != 0 && rc == RC_OK) {
    rc = RC_IO_ERROR;
  }
  const bool silent = files.out.fd == STDOUT_FILENO && files.out.written > 0;
  if (rc == RC_IO_ERROR && !silent) report_io_error(files.in, options, output_path, messages);
  return rc;
}

}  // namespace

ResultCode rewrite_to_file(const Options& options, std::FILE* messages) {
  Files files;
  if (!open_input(files.in, options.input_file)) {
    return no_such_file(options.input_file, messages);
  }
  if (is_standard_stream(options.output_file)) {
    if (stdout_is_input(files.in)) {
      // Its message would land in the input too.
      ::close(files.in.fd);
      return RC_SAME_FILE;
    }
    files.out.fd = STDOUT_FILENO;
    return run_and_close(files, options, options.output_file, false, messages);
  }
  if (output_names_input(files.in, options, messages)) return RC_SAME_FILE;
  files.out.fd = ::open(options.output_file, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (files.out.fd < 0) {
    std::fprintf(messages, "Cannot create file: %s\n", options.output_file);
    ::close(files.in.fd);
    return RC_CANNOT_CREATE;
  }
  return run_and_close(files, options, options.output_file, false, messages);
}

ResultCode rewrite_in_place(const Options& options, std::FILE* messages) {
  struct stat input_stat {};
  // Looked at before opening, as opening a pipe would wait for a writer.
  if (::stat(options.input_file, &input_stat) == 0 && !can_replace(input_stat)) {
    std::fprintf(messages, "? Not a regular file: %s\n", options.input_file);
    return RC_NO_SUCH_FILE;
  }
  Files files;
  if (!open_input(files.in, options.input_file)) {
    return no_such_file(options.input_file, messages);
  }
  InPlaceNames names;
  if (::fstat(files.in.fd, &input_stat) != 0 || !can_replace(input_stat) ||
      !build_in_place_names(options.input_file, names)) {
    ::close(files.in.fd);
    return no_such_file(options.input_file, messages);
  }
  files.out.fd = create_temporary(names, input_stat.st_mode, messages);
  if (files.out.fd < 0) {
    ::close(files.in.fd);
    return RC_CANNOT_CREATE;
  }
  const ResultCode rc = run_and_close(files, options, names.temporary.data(), true, messages);
  if (rc != RC_OK) {
    ::unlink(names.temporary.data());
    return rc;
  }
  return replace_in_place(names, messages);
}

ResultCode check_file(const Options& options, std::FILE* messages) {
  Files files;
  if (!open_input(files.in, options.input_file)) {
    return no_such_file(options.input_file, messages);
  }
  if (output_names_input(files.in, options, messages)) return RC_SAME_FILE;
  files.out.discard = true;
  const ResultCode rc = run_file(files.in, files.out, options);
  ::close(files.in.fd);
  if (rc == RC_WOULD_CHANGE) std::fprintf(messages, "? %s would change\n", options.input_file);
  // Nothing is written, so only reading can fail.
  if (rc == RC_IO_ERROR) report_io_error(files.in, options, options.input_file, messages);
  return rc;
}

}  // namespace quillet
