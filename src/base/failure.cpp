// The messages of reads and writes that failed, each ending with the system's reason.
#include "base/failure.h"

#include <cerrno>
#include <system_error>

#include "base/quote.h"

namespace quillet {

std::string reason(int error) {
  // The generic category says what strerror says, and may be asked from any thread. Windows's C
  // library has words for C's own numbers only; of those past them, the platform room gives one.
  std::string words = std::error_code(error, std::generic_category()).message();
  if (error == ELOOP && words.starts_with("Unknown error"))
    words = "Too many levels of symbolic links";
  return words;
}

std::string io_failure(Doing doing, std::string_view name, std::string_view why) {
  std::string line;
  switch (doing) {
    case Doing::READING: line = "? Error reading "; break;
    case Doing::WRITING: line = "? Error writing "; break;
  }
  line += printable(name);
  line += ": ";
  line += why;
  line += '\n';
  return line;
}

ResultCode io_failed(std::FILE* messages, Doing doing, std::string_view name,
                     std::string_view why) {
  const std::string line = io_failure(doing, name, why);
  std::fwrite(line.data(), 1, line.size(), messages);
  return RC_IO_ERROR;
}

ResultCode io_failed(std::FILE* messages, Doing doing, std::string_view name, int error) {
  // A failure the system gave no number for is told as the one for a failed transfer.
  return io_failed(messages, doing, name, reason(error != 0 ? error : EIO));
}

}  // namespace quillet
