#include "tree/walk.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <string_view>

namespace quillet {
namespace {

Walk::FileId id_of(const struct stat& file_stat) { return {file_stat.st_dev, file_stat.st_ino}; }

// Whether `file` is listed now: not when it was already. It is remembered if it can come again.
bool list_once(Walk& walk, const struct stat& file_stat) {
  const Walk::FileId id = id_of(file_stat);
  if (walk.listed.count(id) != 0) return false;
  if (file_stat.st_nlink > 1 || walk.named.count(id) != 0) walk.listed.insert(id);
  return true;
}

// Opens `directory` for the walk, unless it was walked already. Returns false, with `unreadable`
// set, when it cannot be read.
bool enter(Walk& walk, const std::string& directory, const struct stat& directory_stat,
           bool& unreadable) {
  if (walk.overlap && !walk.walked.insert(id_of(directory_stat)).second) return true;
  DIR* const dir = ::opendir(directory.c_str());
  if (dir == nullptr) {
    unreadable = true;
    return false;
  }
  Walk::Directory frame;
  frame.path = directory;
  if (frame.path.empty() || frame.path.back() != '/') frame.path += '/';
  while (const dirent* entry = ::readdir(dir)) {
    const std::string_view name = entry->d_name;
    if (name != "." && name != "..") frame.names.emplace_back(name);
  }
  ::closedir(dir);
  std::sort(frame.names.begin(), frame.names.end());
  walk.stack.push_back(std::move(frame));
  return true;
}

}  // namespace

bool is_source_name(std::string_view name) {
  constexpr std::array<std::string_view, 15> EXTENSIONS = {".c",   ".h",   ".cc",  ".cpp", ".cxx",
                                                           ".c++", ".hh",  ".hpp", ".hxx", ".h++",
                                                           ".inl", ".ipp", ".tcc", ".C",   ".H"};
  const std::size_t dot = name.rfind('.');
  if (dot == std::string_view::npos || dot == 0) return false;
  return std::find(EXTENSIONS.begin(), EXTENSIONS.end(), name.substr(dot)) != EXTENSIONS.end();
}

Walk begin_walk(const std::vector<const char*>& paths) {
  Walk walk;
  walk.paths = paths;
  int directories = 0;
  for (const char* path : paths) {
    struct stat path_stat {};
    if (::stat(path, &path_stat) != 0) continue;
    if (S_ISDIR(path_stat.st_mode)) {
      ++directories;
    } else {
      walk.named.insert(id_of(path_stat));
    }
  }
  walk.overlap = directories > 1;
  return walk;
}

bool next_file(Walk& walk, std::string& path, bool& unreadable) {
  unreadable = false;
  for (;;) {
    if (walk.stack.empty()) {
      if (walk.next_path == walk.paths.size()) return false;
      const char* named = walk.paths[walk.next_path++];
      struct stat named_stat {};
      // A path named is followed if it is a link, as a single run follows it; one that names
      // nothing is run on all the same, to say so.
      if (::stat(named, &named_stat) != 0 ||
          (!S_ISDIR(named_stat.st_mode) && list_once(walk, named_stat))) {
        path = named;
        return true;
      }
      if (S_ISDIR(named_stat.st_mode) && !enter(walk, named, named_stat, unreadable)) {
        path = named;
        return true;
      }
      continue;
    }
    Walk::Directory& top = walk.stack.back();
    if (top.next == top.names.size()) {
      walk.stack.pop_back();
      continue;
    }
    const std::string& name = top.names[top.next++];
    path.assign(top.path).append(name);
    struct stat child_stat {};
    if (::lstat(path.c_str(), &child_stat) != 0) continue;
    if (S_ISREG(child_stat.st_mode) && is_source_name(name) && list_once(walk, child_stat)) {
      return true;
    }
    if (S_ISDIR(child_stat.st_mode) && name[0] != '.' &&
        !enter(walk, path, child_stat, unreadable)) {
      return true;
    }
  }
}

}  // namespace quillet
