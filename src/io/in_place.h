// An in-place run's steps, each with its message: where the file is, the lock that keeps other
// runs out, the temporary file beside it, and the swap that replaces the file, keeping a backup.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

#include "base/result.h"
#include "platform/directory.h"
#include "platform/file.h"

namespace quillet {

/// Where an in-place run works: the open directory that holds the file, the file's name in it
/// (beside which the temporary file and the backup are made), and how messages name the file.
struct Place {
  const OpenDirectory* directory = nullptr;  // held open by the caller
  std::string name;
  std::string path;
};

/// The name of the temporary file made beside the file `name` (or path) names.
[[nodiscard]] std::string temporary_path(std::string_view name);

/// Finds the place of the file `path` names. A symbolic link is followed, so that the file it
/// points to is rewritten and the link stays. Opens the file's directory into `directory`, which
/// `place` then points to. Returns false, printing nothing, when its directory cannot be opened.
[[nodiscard]] bool find_place(const char* path, OpenDirectory& directory, Place& place);

/// Creates the temporary file afresh, private to this process's user, never through a link, into
/// `made`. Returns RC_OK, or RC_CANNOT_CREATE after printing its message.
[[nodiscard]] ResultCode create_temporary(const Place& place, File& made, std::FILE* messages);

/// Once all of it is written: gives the temporary file `made` the owner, group and permission
/// bits of `input`, as far as this process may, and puts it on the disk. Returns RC_OK, or
/// RC_IO_ERROR after printing its message; the caller removes the file then.
[[nodiscard]] ResultCode finish_temporary(const Place& place, const File& made,
                                          const FileAccess& input, std::FILE* messages);

/// Takes the temporary file away after a failure before the swap.
void remove_temporary(const Place& place);

/// Swaps the finished temporary file in: with `keep_backup`, deletes the old backup and gives the
/// file the backup name as a second name (or, where hard links are refused, renames it so);
/// then renames the temporary file over the file. Returns RC_OK, or RC_DELETE_DENIED or
/// RC_RENAME_FAILED after printing its message, the temporary file left as it is.
[[nodiscard]] ResultCode replace_in_place(const Place& place, bool keep_backup,
                                          std::FILE* messages);

}  // namespace quillet
