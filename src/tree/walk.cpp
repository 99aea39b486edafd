#include "tree/walk.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <set>
#include <string_view>
#include <utility>

namespace quillet {
namespace {

using FileId = std::pair<dev_t, ino_t>;

struct Walk {
  std::vector<TreeEntry> entries;
  std::set<FileId> seen;
};

void take(Walk& walk, std::string path, FileId id) {
  if (walk.seen.insert(id).second) walk.entries.push_back({std::move(path), false});
}

std::string child_path(const std::string& directory, const char* name) {
  std::string path = directory;
  if (path.empty() || path.back() != '/') path += '/';
  path += name;
  return path;
}

void walk_directory(Walk& walk, const std::string& directory, dev_t device) {
  DIR* const dir = ::opendir(directory.c_str());
  if (dir == nullptr) {
    walk.entries.push_back({directory, true});
    return;
  }
  // The type and inode come with the name on most file systems, which spares a stat per file.
  struct Child {
    std::string name;
    unsigned char type;
    ino_t inode;
  };
  std::vector<Child> children;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string_view name = entry->d_name;
    if (name == "." || name == "..") continue;
    children.push_back({entry->d_name, entry->d_type, entry->d_ino});
  }
  ::closedir(dir);
  std::sort(children.begin(), children.end(),
            [](const Child& a, const Child& b) { return a.name < b.name; });
  for (Child& child : children) {
    const bool dot = child.name[0] == '.';
    if (child.type == DT_REG && is_source_name(child.name)) {
      take(walk, child_path(directory, child.name.c_str()), {device, child.inode});
    } else if (child.type == DT_UNKNOWN || (child.type == DT_DIR && !dot)) {
      const std::string path = child_path(directory, child.name.c_str());
      struct stat child_stat {};
      if (::lstat(path.c_str(), &child_stat) != 0) continue;
      if (S_ISDIR(child_stat.st_mode) && !dot) {
        walk_directory(walk, path, child_stat.st_dev);
      } else if (S_ISREG(child_stat.st_mode) && is_source_name(child.name)) {
        take(walk, path, {child_stat.st_dev, child_stat.st_ino});
      }
    }
  }
}

}  // namespace

bool is_source_name(const std::string& name) {
  constexpr std::array<std::string_view, 15> EXTENSIONS = {".c",   ".h",   ".cc",  ".cpp", ".cxx",
                                                           ".c++", ".hh",  ".hpp", ".hxx", ".h++",
                                                           ".inl", ".ipp", ".tcc", ".C",   ".H"};
  const std::size_t dot = name.rfind('.');
  if (dot == std::string::npos || dot == 0) return false;
  const std::string_view extension = std::string_view(name).substr(dot);
  return std::find(EXTENSIONS.begin(), EXTENSIONS.end(), extension) != EXTENSIONS.end();
}

std::vector<TreeEntry> list_files(const std::vector<const char*>& paths) {
  Walk walk;
  for (const char* path : paths) {
    struct stat path_stat {};
    // A path named is followed if it is a link, as a single run follows it.
    if (::stat(path, &path_stat) != 0) {
      walk.entries.push_back({path, false});  // its run says what is wrong with it
    } else if (S_ISDIR(path_stat.st_mode)) {
      walk_directory(walk, path, path_stat.st_dev);
    } else {
      take(walk, path, {path_stat.st_dev, path_stat.st_ino});
    }
  }
  return walk.entries;
}

}  // namespace quillet
