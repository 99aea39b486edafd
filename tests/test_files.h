// What the tests share: a file in memory to run on, and what a file or a stream holds, read back.
#pragma once

#include <array>
#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>

#include "platform/file.h"

namespace quillet {

/// A file that no name leads to, holding `content`, open at its start; one that is not open when
/// it could not be made or written.
inline File memory_file(std::string_view content) {
  File file;
  if (open_anonymous_temporary(file) != 0) return {};
  for (std::size_t put = 0; !content.empty(); content.remove_prefix(put)) {
    if (write_some(file, content.data(), content.size(), put) != 0) return {};
  }
  if (seek_to_start(file) != 0) return {};
  return file;
}

/// All that `file` holds, read from its start.
inline std::string read_back(const File& file) {
  std::string text;
  if (seek_to_start(file) != 0) return text;
  std::array<char, 4096> chunk;
  for (std::size_t got = 0; read_some(file, chunk.data(), chunk.size(), got) == 0 && got > 0;)
    text.append(chunk.data(), got);
  return text;
}

/// All that the temporary `stream` holds, read from its start; the stream is closed.
inline std::string read_and_close(std::FILE* stream) {
  std::string text;
  std::rewind(stream);
  for (int c; (c = std::fgetc(stream)) != EOF;)
    text += static_cast<char>(c);
  std::fclose(stream);
  return text;
}

}  // namespace quillet
