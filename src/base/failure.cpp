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

ResultCode io_failed(std::FILE* messages, Doing doing, std::string_view name, int error) {
  // A failure the system gave no number for is told as the one for a failed transfer.
  const std::string why = reason(error != 0 ? error : EIO);
  switch (doing) {
    case Doing::READING:
      std::fprintf(messages, "? Error reading %s: %s\n", printable(name).c_str(), why.c_str());
      break;
    case Doing::WRITING:
      std::fprintf(messages, "? Error writing %s: %s\n", printable(name).c_str(), why.c_str());
      break;
  }
  return RC_IO_ERROR;
}

}  // namespace quillet
