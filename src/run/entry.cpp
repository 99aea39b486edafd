#include "run/entry.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "run/io.h"
#include "run/run.h"

namespace quillet {
namespace {

// Another path to the input (a link, "./a.c" for "a.c") would be emptied by opening it for
// writing; it is caught by identity, not by name.
bool names_same_file(int input_fd, const char* output_path) {
  struct stat input_stat {};
  struct stat output_stat {};
  if (::fstat(input_fd, &input_stat) != 0 || ::stat(output_path, &output_stat) != 0) return false;
  return input_stat.st_dev == output_stat.st_dev && input_stat.st_ino == output_stat.st_ino;
}

}  // namespace

ResultCode rewrite_to_file(const Options& options, std::FILE* messages) {
  Input in;
  in.fd = ::open(options.input_file, O_RDONLY | O_CLOEXEC);
  if (in.fd < 0) {
    std::fprintf(messages, "No such file: %s\n", options.input_file);
    return RC_NO_SUCH_FILE;
  }
  if (names_same_file(in.fd, options.output_file)) {
    std::fprintf(messages, "? The output file cannot be the same as the input file\n");
    ::close(in.fd);
    return RC_SAME_FILE;
  }
  Output out;
  out.fd = ::open(options.output_file, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (out.fd < 0) {
    std::fprintf(messages, "Cannot create file: %s\n", options.output_file);
    ::close(in.fd);
    return RC_CANNOT_CREATE;
  }
  ResultCode rc = run_file(in, out, options);
  ::close(in.fd);
  if (rc == RC_OK && !flush(out)) rc = RC_IO_ERROR;
  if (::close(out.fd) != 0 && rc == RC_OK) {
    out.error = errno;
    rc = RC_IO_ERROR;
  }
  if (rc == RC_IO_ERROR) {
    if (in.error != 0) {
      std::fprintf(messages, "? Error reading %s\n", options.input_file);
    } else {
      std::fprintf(messages, "? Error writing %s\n", options.output_file);
    }
  }
  return rc;
}

}  // namespace quillet
