#pragma once

#include <sys/types.h>

#include <cstddef>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quillet {

/// Whether a file of this name is taken when a directory is walked: C and C++ sources and headers.
[[nodiscard]] bool is_source_name(std::string_view name);

/// Where a walk over the paths named stands. What it holds grows with the depth of the tree and
/// the size of one directory, not with the number of files.
struct Walk {
  using FileId = std::pair<dev_t, ino_t>;
  struct Directory {
    std::string path;
    std::vector<std::string> names;  // in byte order
    std::size_t next = 0;
  };
  std::vector<const char*> paths;  // as named
  std::size_t next_path = 0;
  std::vector<Directory> stack;  // the directories being walked, outermost first
  // A file can be reached twice only through a second name or a path named: only the files that
  // have one are remembered, and the directories walked when two named ones may overlap.
  std::set<FileId> named;
  std::set<FileId> listed;
  std::set<FileId> walked;  // only when more than one directory is named: else none comes twice
  bool overlap = false;     // more than one directory is named
};

/// Starts a walk over `paths`.
[[nodiscard]] Walk begin_walk(const std::vector<const char*>& paths);

/// Puts the next file of the walk in `path`, in order: each path named that is no directory as
/// it is; each directory named walked to every depth, names in byte order, no link followed and
/// no directory whose name starts with "." entered, only regular files with source names taken.
/// A file reached twice, by any path, comes once, by device and inode. `unreadable` tells a
/// directory that could not be read, given in place of its files. Returns false at the end.
[[nodiscard]] bool next_file(Walk& walk, std::string& path, bool& unreadable);

}  // namespace quillet
