// Open directories: the files and directories reached by name in them, their listings, where
// links lead, the current directory, and wildcards over names.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "platform/file.h"

namespace quillet {

/// An open directory, in which files are opened, looked at, made and renamed by name: what a link
/// swapped in for it since, or a rename of it, cannot redirect. Closed with its owner.
class OpenDirectory {
 public:
  OpenDirectory() = default;
  /// Takes `file`, open on a directory.
  explicit OpenDirectory(File file) : file_(std::move(file)) {}

  /// A directory open elsewhere, on `handle`, that is never closed through this one.
  [[nodiscard]] static OpenDirectory borrowed(File::Handle handle);

  [[nodiscard]] bool is_open() const { return file_.is_open(); }
  /// The directory as an open file, to ask its facts.
  [[nodiscard]] const File& file() const { return file_; }
  /// Gives the handle up, open, to the caller, and holds none.
  [[nodiscard]] File::Handle release() { return file_.release(); }

 private:
  File file_;
};

/// What a directory is opened for: to read it (list its names), or to reach the files in it; one
/// that may be searched but not read is opened for that, where the system can.
enum class DirectoryUse : std::uint8_t { READ, SEARCH };

// Each call below returns 0, or the system's error number, leaving what it would have filled
// untouched.

/// Opens the directory `name` in `at` (nullptr: the current directory). With Link::REFUSE a
/// link is refused; anything but a directory always is (ENOTDIR).
[[nodiscard]] int open_directory(const OpenDirectory* at, const char* name, Link link,
                                 DirectoryUse use, OpenDirectory& directory);

/// Opens the file `name` of `directory` to read it, never waiting for a writer (a pipe opens at
/// once); with Link::REFUSE a link is refused (ELOOP).
[[nodiscard]] int open_in(const OpenDirectory& directory, const char* name, Link link, File& file);

/// The facts of what `name` names in `directory`, a link itself, not what it leads to.
[[nodiscard]] int facts_in(const OpenDirectory& directory, const char* name, FileFacts& facts);

/// Puts on the disk the renames done in `directory`. A file system that cannot sync a directory,
/// or a directory open only to be searched, is no failure.
[[nodiscard]] int sync_directory(const OpenDirectory& directory);

/// The absolute path of `directory` as the system knows it now, where it can tell.
[[nodiscard]] int directory_path(const OpenDirectory& directory, std::string& path);

/// The absolute path of what `path` names, every link on the way followed.
[[nodiscard]] int resolve_links(const char* path, std::string& resolved);

/// The absolute path of the current directory, every link on the way followed.
[[nodiscard]] int current_directory(std::string& path);

/// The current directory as the shell that started the process names it, through the links it
/// was reached by, where it can tell; else as current_directory names it; "" when neither can.
[[nodiscard]] std::string current_directory_as_named();

/// Whether `path` matches the shell wildcards of `pattern`, as fnmatch(3) reads them with
/// FNM_PATHNAME: a "*", "?" or "[...]" never matches a "/".
[[nodiscard]] bool matches_wildcards(const char* pattern, const char* path);

/// One name of a listing.
struct DirectoryEntry {
  std::string_view name;  // valid until the next entry is read
  FileKind kind = FileKind::UNKNOWN;
  std::uint64_t inode = 0;  // as FileId has it; 0 where the listing does not tell
};

/// The names of an open directory, read one by one, "." and ".." left out, in no order; closed
/// with its owner. The directory itself stays open, and is read from its start.
class DirectoryListing {
 public:
  explicit DirectoryListing(const OpenDirectory& directory);
  DirectoryListing(const DirectoryListing&) = delete;
  DirectoryListing& operator=(const DirectoryListing&) = delete;
  ~DirectoryListing();

  /// Puts the next name in `entry`. Returns false at the end, or when the directory cannot be read
  /// (see error).
  [[nodiscard]] bool next(DirectoryEntry& entry);
  /// 0, or why the directory could not be read.
  [[nodiscard]] int error() const { return error_; }

 private:
  void* listing_ = nullptr;  // the system's
  int error_ = 0;
};

}  // namespace quillet
