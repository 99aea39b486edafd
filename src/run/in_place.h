#pragma once

#include <limits.h>
#include <sys/stat.h>

#include <array>
#include <cstddef>
#include <cstdio>

#include "cli/options.h"

namespace quillet {

/// Room for any path the system accepts, with ".tmp" or ".bak" appended.
inline constexpr std::size_t PATH_BUFFER_SIZE = PATH_MAX + 8;

/// The names of an in-place run: the file rewritten, and beside it the temporary file the run
/// writes and the backup that keeps the previous content, in `directory`.
struct InPlaceNames {
  std::array<char, PATH_BUFFER_SIZE> target{};
  std::array<char, PATH_BUFFER_SIZE> temporary{};
  std::array<char, PATH_BUFFER_SIZE> backup{};
  std::array<char, PATH_BUFFER_SIZE> directory{};
};

/// Waits until no other in-place run holds the file open as `fd`, then holds it, until `fd` is
/// closed. When `path` names another file by then (that run replaced it), `fd` is reopened on
/// that one and the wait starts over. Where the file system has no locks, returns at once.
/// Returns false, with `fd` closed, when `path` names no file any more.
[[nodiscard]] bool lock_input(int& fd, const char* path);

/// Fills `names` for `input_file`. A symbolic link is followed, so that the file it points to is
/// rewritten and the link stays. Returns false, printing nothing, when the path cannot be
/// resolved or does not fit.
[[nodiscard]] bool build_in_place_names(const char* input_file, InPlaceNames& names);

/// Creates the temporary file afresh, never through a link, with the owner, group and permission
/// bits of `input` as far as this process may set them, into `fd`. Returns RC_OK, or
/// RC_CANNOT_CREATE or RC_IO_ERROR after printing its message, with no temporary left.
[[nodiscard]] ResultCode create_temporary(const InPlaceNames& names, const struct stat& input,
                                          int& fd, std::FILE* messages);

/// Swaps the finished temporary file in: with `keep_backup`, deletes the old backup and gives the
/// target the backup name as a second name (or, where hard links are refused, renames it so);
/// then renames the temporary file over the target. Returns RC_OK, or RC_DELETE_DENIED or
/// RC_RENAME_FAILED after printing its message.
[[nodiscard]] ResultCode replace_in_place(const InPlaceNames& names, bool keep_backup,
                                          std::FILE* messages);

/// Puts the renames done in `directory` on the disk. Returns RC_OK, or RC_IO_ERROR after printing
/// its message.
[[nodiscard]] ResultCode sync_directory(const char* directory, std::FILE* messages);

}  // namespace quillet
