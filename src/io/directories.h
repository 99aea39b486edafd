// The open directories that a walk and the runs on its files share; where a path named leads.
#pragma once

#include <atomic>
#include <cstddef>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "base/paths.h"
#include "platform/directory.h"
#include "platform/file.h"

namespace quillet {

/// What a run's open directories share: how many are open, and which could not be synced when
/// they were closed.
struct DirectoryLog {
  std::atomic<std::size_t> open{0};
  std::mutex mutex;
  std::vector<std::string> unsynced;  // their paths, as messages name them
};

/// An open directory, shared by the walk and the runs on the files it holds, and closed with its
/// last user. When a file was renamed in it (`renamed`), it is synced before it is closed, once
/// for all of them; a failure goes to `log`.
struct Directory {
  OpenDirectory open;
  std::string path;  // as messages name it
  FileId id;
  std::atomic<bool> renamed{false};
  DirectoryLog* log = nullptr;

  Directory() = default;
  Directory(const Directory&) = delete;
  Directory& operator=(const Directory&) = delete;
  ~Directory();
};

/// Opens the directory `name` in the directory `at` (nullptr: the current one) into `directory`,
/// to read it, or to search it where it may not be read; it is named `path` in messages. With
/// Link::FOLLOW a link is followed (a path the user named); with Link::REFUSE a link or anything
/// but a directory is refused, and so is a directory other than `expected` when that is given
/// (ESTALE). Returns 0, or the error number, `directory` left as it was.
[[nodiscard]] int open_shared_directory(const Directory* at, const char* name, std::string path,
                                        Link link, const FileId* expected, DirectoryLog* log,
                                        std::shared_ptr<Directory>& directory);

/// The path of the file that `path` names, as a single run takes it: `path` itself, or, when it
/// is a symbolic link, the absolute path of the file it leads to, so that the file is run on and
/// the link stays. nullopt when `path` names nothing, or a link that leads nowhere.
[[nodiscard]] std::optional<std::string> follow_named(const char* path);

}  // namespace quillet
