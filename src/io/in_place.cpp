// An in-place run's steps, each with its message: where the file is, the lock that keeps other
// runs out, the temporary file beside it, and the swap that replaces the file, keeping a backup.
#include "io/in_place.h"

#include <cerrno>
#include <utility>

#include "base/failure.h"
#include "base/paths.h"
#include "base/quote.h"
#include "io/directories.h"
#include "platform/directory.h"
#include "platform/in_place.h"

namespace quillet {
namespace {

std::string backup_name(const Place& place) { return place.name + ".bak"; }

}  // namespace

std::string temporary_path(std::string_view name) { return std::string(name) + ".tmp"; }

bool find_place(const char* path, OpenDirectory& directory, Place& place) {
  // A link that leads nowhere is looked for as named: its name is no file to rewrite either.
  const std::string target = follow_named(path).value_or(path);
  PathParts parts = split_path(target);
  if (parts.name.empty() || parts.name == "." || parts.name == "..") {
    // No name to put a temporary file beside: what it names is a directory, refused on reading.
    parts = {".", target};
  }
  if (open_directory(nullptr, parts.directory.c_str(), Link::FOLLOW, DirectoryUse::READ,
                     directory) != 0) {
    return false;
  }
  place.directory = &directory;
  place.name = std::move(parts.name);
  place.path = target;
  return true;
}

ResultCode create_temporary(const Place& place, File& made, std::FILE* messages) {
  // A stale file, or a link planted under the name, goes first: removing a link removes the link
  // itself, never its target. The temporary file is then made afresh, never through a link.
  const OpenDirectory& directory = *place.directory;
  const std::string name = temporary_path(place.name);
  (void)remove_in(directory, name.c_str());
  if (create_temporary_in(directory, name.c_str(), made) != 0) {
    std::fprintf(messages, "Cannot create file: %s\n",
                 printable(temporary_path(place.path)).c_str());
    return RC_CANNOT_CREATE;
  }
  return RC_OK;
}

ResultCode finish_temporary(const Place& place, const File& made, const FileAccess& input,
                            std::FILE* messages) {
  int error = give_access(made, input);
  if (error == 0) error = sync_file(made);
  if (error != 0) return io_failed(messages, Doing::WRITING, temporary_path(place.path), error);
  return RC_OK;
}

void remove_temporary(const Place& place) {
  forget_temporary(*place.directory, temporary_path(place.name).c_str(), true);
}

ResultCode replace_in_place(const Place& place, bool keep_backup, std::FILE* messages) {
  const OpenDirectory& directory = *place.directory;
  const std::string temporary = temporary_path(place.name);
  const std::string backup = backup_name(place);
  if (keep_backup) {
    if (remove_in(directory, backup.c_str()) == EACCES) {
      std::fprintf(messages, "? Cannot delete temp file (access)\n");
      forget_temporary(directory, temporary.c_str(), false);
      return RC_DELETE_DENIED;
    }
    // With the backup a second name of the input, the rename below replaces the input in one
    // step: its name never names nothing, not even for a moment.
    if (make_backup_in(directory, place.name.c_str(), backup.c_str()) != 0) {
      std::fprintf(messages, "? Error renaming %s\n", printable(place.path).c_str());
      forget_temporary(directory, temporary.c_str(), false);
      return RC_RENAME_FAILED;
    }
  }
  if (const int error = replace_with_temporary(directory, temporary.c_str(), place.name.c_str(),
                                               keep_backup ? backup.c_str() : nullptr);
      error != 0) {
    std::fprintf(messages, "? Error renaming %s\n", printable(temporary_path(place.path)).c_str());
    // Where another program keeps the file open (an editor, a scanner), Windows renames nothing
    // over it: the user is told what to close, and where the new text is meanwhile.
    if (error == EBUSY) {
      std::fprintf(messages, "? %s is held open by another program: its new text is in %s\n",
                   printable(place.path).c_str(), printable(temporary_path(place.path)).c_str());
    }
    forget_temporary(directory, temporary.c_str(), false);
    return RC_RENAME_FAILED;
  }
  return RC_OK;
}

}  // namespace quillet
