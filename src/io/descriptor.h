#pragma once

#include <sys/types.h>

#include <atomic>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace quillet {

/// A file descriptor that closes itself.
struct Descriptor {
  int fd = -1;

  Descriptor() = default;
  explicit Descriptor(int from) : fd(from) {}
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  ~Descriptor();
  /// Closes what it holds and takes `from`.
  void reset(int from = -1);
};

/// A file's identity: device and inode.
struct FileId {
  dev_t device = 0;
  ino_t inode = 0;
  friend bool operator==(const FileId&, const FileId&) = default;
  friend bool operator<(const FileId& a, const FileId& b) {
    return a.device != b.device ? a.device < b.device : a.inode < b.inode;
  }
};

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
  Descriptor handle;
  std::string path;  // as messages name it
  FileId id;
  std::atomic<bool> renamed{false};
  DirectoryLog* log = nullptr;

  Directory() = default;
  Directory(const Directory&) = delete;
  Directory& operator=(const Directory&) = delete;
  ~Directory();
};

/// Opens the directory `name` in the directory `at` (AT_FDCWD: the current one), named `path` in
/// messages. With `follow`, a symbolic link is followed (a path the user named); without, a link
/// or anything but a directory is refused, and so is a directory other than `expected` when that
/// is given. Returns nullptr, with errno set, when it cannot be opened.
[[nodiscard]] std::shared_ptr<Directory> open_directory(int at, const char* name, std::string path,
                                                        bool follow, const FileId* expected,
                                                        DirectoryLog* log);

/// Puts on the disk the renames done in the directory open as `fd`. Returns false when that
/// failed; a file system that cannot sync a directory is no failure.
[[nodiscard]] bool sync_directory(int fd);

/// The directory part of `path` ("." when it has none) and its last part.
struct PathParts {
  std::string directory;
  std::string name;
};
[[nodiscard]] PathParts split_path(std::string_view path);

/// `path` as it names a place from the current directory: without "./" before it nor "/" after
/// it, and "" for the current directory itself.
[[nodiscard]] std::string plain_path(std::string_view path);

/// `directory` and `name` joined by a slash, as messages name a file of a walk.
[[nodiscard]] std::string join_path(std::string_view directory, std::string_view name);

}  // namespace quillet
