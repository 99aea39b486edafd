#include "tree/walk.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <optional>

namespace quillet {
namespace {

FileId id_of(const struct stat& file_stat) { return {file_stat.st_dev, file_stat.st_ino}; }

// Where a file named on the command line is: a link is followed, as a single run follows it.
std::optional<PathParts> locate(const char* path) {
  struct stat link_stat {};
  if (::lstat(path, &link_stat) != 0) return std::nullopt;
  if (!S_ISLNK(link_stat.st_mode)) return split_path(path);
  std::array<char, PATH_MAX> resolved;
  if (::realpath(path, resolved.data()) == nullptr) return std::nullopt;
  return split_path(resolved.data());
}

// The identity by which a file named on the command line is known in the walk.
std::optional<Walk::Name> name_of(const char* path) {
  const std::optional<PathParts> parts = locate(path);
  struct stat directory_stat {};
  if (!parts || ::stat(parts->directory.c_str(), &directory_stat) != 0) return std::nullopt;
  return Walk::Name{id_of(directory_stat), parts->name};
}

// Reads the names in the open `directory`, in byte order. False when it cannot be read.
bool read_entries(const Directory& directory, std::vector<Walk::Entry>& entries) {
  const int copy = ::dup(directory.handle.fd);  // the listing closes its own descriptor
  DIR* const listing = copy >= 0 ? ::fdopendir(copy) : nullptr;
  if (listing == nullptr) {
    if (copy >= 0) ::close(copy);
    return false;
  }
  errno = 0;
  while (const dirent* entry = ::readdir(listing)) {
    const std::string_view name = entry->d_name;
    if (name != "." && name != "..") entries.push_back({std::string(name), entry->d_type});
  }
  const bool read = errno == 0;
  ::closedir(listing);
  std::sort(entries.begin(), entries.end(),
            [](const Walk::Entry& a, const Walk::Entry& b) { return a.name < b.name; });
  return read;
}

bool unreadable(Found& found, std::string path) {
  found = Found{};
  found.path = std::move(path);
  found.unreadable = true;
  return true;
}

// Enters the directory `directory`, found with the settings `outer` (or, named, with none yet).
// Returns false when it was walked already; `found` tells what could not be read.
bool enter(Walk& walk, std::shared_ptr<Directory> directory, std::shared_ptr<const Settings> outer,
           Found& found) {
  if (walk.overlap && !walk.walked.insert(directory->id).second) return false;
  Walk::Frame frame;
  if (!read_entries(*directory, frame.entries)) return unreadable(found, directory->path);
  if (walk.use_settings) {
    frame.settings = outer != nullptr
                         ? settings_below(directory->handle.fd, directory->path, std::move(outer))
                         : find_settings(walk.settings, directory->handle.fd, directory->path);
  }
  frame.directory = std::move(directory);
  walk.stack.push_back(std::move(frame));
  return false;
}

// A path named: a directory is entered, anything else is run on where it is found.
bool take_named(Walk& walk, const char* path, Found& found) {
  struct stat path_stat {};
  if (::stat(path, &path_stat) == 0 && S_ISDIR(path_stat.st_mode)) {
    std::shared_ptr<Directory> directory =
        open_directory(AT_FDCWD, path, path, true, nullptr, walk.log);
    if (directory == nullptr) return unreadable(found, path);
    return enter(walk, std::move(directory), nullptr, found);
  }
  found = Found{};
  found.path = path;
  const std::optional<PathParts> parts = locate(path);
  std::shared_ptr<Directory> directory =
      parts ? open_directory(AT_FDCWD, parts->directory.c_str(), parts->directory, true, nullptr,
                             walk.log)
            : nullptr;
  struct stat file_stat {};
  // One that cannot be found so is run on by its path all the same, to say why.
  if (directory == nullptr ||
      ::fstatat(directory->handle.fd, parts->name.c_str(), &file_stat, AT_SYMLINK_NOFOLLOW) != 0) {
    return true;
  }
  if (!walk.listed.insert({directory->id, parts->name}).second) return false;
  found.name = parts->name;
  found.id = id_of(file_stat);
  if (walk.use_settings) {
    found.settings = find_settings(walk.settings, directory->handle.fd, directory->path);
  }
  found.directory = std::move(directory);
  return true;
}

// The next entry of the innermost directory: a file to run on, a directory to enter, or
// nothing. Returns true when `found` holds something to report.
bool take_entry(Walk& walk, Found& found) {
  Walk::Frame& top = walk.stack.back();
  const Walk::Entry& entry = top.entries[top.next++];
  const std::string& name = entry.name;
  switch (entry.type) {
    case DT_REG:
      if (!is_source_name(name)) return false;
      break;
    case DT_DIR:
      if (name[0] == '.') return false;
      break;
    case DT_UNKNOWN: break;
    default: return false;  // a link is never followed, and no other kind holds source
  }
  const std::shared_ptr<Directory> directory = top.directory;
  std::string path = join_path(directory->path, name);
  struct stat entry_stat {};
  if (::fstatat(directory->handle.fd, name.c_str(), &entry_stat, AT_SYMLINK_NOFOLLOW) != 0) {
    // Gone since the directory was read: there is nothing left to run on.
    return errno != ENOENT && unreadable(found, std::move(path));
  }
  if (S_ISREG(entry_stat.st_mode) && is_source_name(name)) {
    const Walk::Name key{directory->id, name};
    if (walk.named.count(key) != 0 && !walk.listed.insert(key).second) return false;
    found = Found{std::move(path), directory, name, id_of(entry_stat), top.settings, false};
    return true;
  }
  if (!S_ISDIR(entry_stat.st_mode) || name[0] == '.') return false;
  // Opened relative to its parent, never through a link, and only if it is still the directory
  // looked at: a name swapped for a link meanwhile cannot lead the walk out of the tree.
  const FileId expected = id_of(entry_stat);
  std::shared_ptr<Directory> inner =
      open_directory(directory->handle.fd, name.c_str(), path, false, &expected, walk.log);
  if (inner == nullptr) return errno != ENOENT && unreadable(found, std::move(path));
  return enter(walk, std::move(inner), top.settings, found);
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

Walk begin_walk(const std::vector<const char*>& paths, bool use_settings, DirectoryLog* log) {
  Walk walk;
  walk.paths = paths;
  walk.use_settings = use_settings;
  walk.log = log;
  int directories = 0;
  for (const char* path : paths) {
    struct stat path_stat {};
    if (::stat(path, &path_stat) == 0 && S_ISDIR(path_stat.st_mode)) {
      ++directories;
    } else if (const std::optional<Walk::Name> name = name_of(path)) {
      walk.named.insert(*name);
    }
  }
  walk.overlap = directories > 1;
  return walk;
}

bool next_file(Walk& walk, Found& found) {
  for (;;) {
    if (walk.stack.empty()) {
      if (walk.next_path == walk.paths.size()) return false;
      if (take_named(walk, walk.paths[walk.next_path++], found)) return true;
      continue;
    }
    const Walk::Frame& top = walk.stack.back();
    if (top.next == top.entries.size()) {
      walk.stack.pop_back();
      continue;
    }
    if (take_entry(walk, found)) return true;
  }
}

}  // namespace quillet
