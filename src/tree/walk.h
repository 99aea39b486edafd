#pragma once

#include <string>
#include <vector>

namespace quillet {

/// One file of a tree run, in the order in which it is reported.
struct TreeEntry {
  std::string path;
  bool unreadable_directory = false;  // a directory met in the walk that could not be read
};

/// Whether a file of this name is taken when a directory is walked: C and C++ sources and headers.
[[nodiscard]] bool is_source_name(const std::string& name);

/// Lists what a tree run works through, in order: each path of `paths` that names a directory is
/// walked to every depth (names in byte order; no link followed, no directory whose name starts
/// with "." entered; only regular files with source names taken); any other path is taken as it
/// is. A file reached twice, by any path, is listed once, by device and inode.
[[nodiscard]] std::vector<TreeEntry> list_files(const std::vector<const char*>& paths);

}  // namespace quillet
