// The walk over the paths named: directories entered through open ones, names in byte order,
// what settings exclude and git ignores left out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

#include "io/directories.h"
#include "platform/file.h"
#include "settings/settings.h"
#include "tree/git.h"

namespace quillet {

/// Whether a file of this name is taken when a directory is walked: C and C++ sources and headers.
[[nodiscard]] bool is_source_name(std::string_view name);

/// One file of a walk.
struct Found {
  std::string path;                          // as messages name it
  std::shared_ptr<Directory> directory;      // where it is; nullptr: it is opened by `path`
  std::string name;                          // its name in `directory`
  FileId id{};                               // the file the walk saw there
  std::shared_ptr<const Settings> settings;  // those of its directory; nullptr without settings
  bool unreadable = false;  // `path` could not be read (a directory, most often): nothing else
  std::string why;          // with `unreadable`, why, when there is more to say than that
};

/// The paths git ignores below one directory of its work tree, relative to it, with a "/" after
/// a directory's.
using Ignored = std::unordered_set<std::string>;

/// What a walk is told, besides the paths.
struct WalkRules {
  bool use_settings = true;                      // each file takes its directory's settings
  std::shared_ptr<const Settings> command_line;  // the command line's exclusions, if any
  bool use_git = true;                           // leave out what git ignores
  Git git;                                       // the git asked, with use_git
  // Follow a link that a path named is, or holds on its way, as a single run does. Paths that
  // git names are not the user's choice: a link among them leads nowhere.
  bool follow_named_links = true;
};

/// Where a walk over the paths named stands. What it holds grows with the depth of the tree and
/// the size of one directory, not with the number of files.
struct Walk {
  struct Entry {
    std::string name;
    FileKind kind;  // as the listing tells it; UNKNOWN where the file system does not
  };
  struct Frame {
    std::shared_ptr<Directory> directory;
    std::shared_ptr<const DirectorySettings> settings;
    std::shared_ptr<const Ignored> ignored;  // what git ignores from `git_root` on; may be null
    std::string below_git_root;              // the path from that directory to this one
    std::vector<Entry> entries;              // in byte order of their names
    std::size_t next = 0;
  };
  // A file named on the command line, as its directory and its name there.
  using Name = std::pair<FileId, std::string>;

  std::vector<const char*> paths;  // as named
  std::size_t next_path = 0;
  std::vector<Frame> stack;  // the directories being walked, outermost first
  // A file can be reached twice only through a path named: those files are remembered, and the
  // directories walked when two named ones may overlap.
  std::set<Name> named;
  std::set<Name> listed;
  std::set<FileId> walked;  // only when more than one directory is named: else none comes twice
  bool overlap = false;     // more than one directory is named
  WalkRules rules;
  // How long git may still take over all the walk's questions: a tree of repositories that
  // each hold git waits that long once, not once for each.
  std::int64_t git_time_left_ms = 0;
  SettingsCache settings;
  DirectoryLog* log = nullptr;  // shared by every directory the walk opens
};

/// Starts a walk over `paths`.
[[nodiscard]] Walk begin_walk(const std::vector<const char*>& paths, WalkRules rules,
                              DirectoryLog* log);

/// Puts the next file of the walk in `found`, in order: each path named that is no directory
/// (a link followed to the file it names); each directory named walked to every depth through
/// open directories, names in byte order, no link followed and no directory whose name starts
/// with "." entered, only regular files with source names taken. A file reached twice comes once.
/// Excluded paths are left out, walked or named, and so are the paths git ignores in a walk.
/// What could not be read comes as `unreadable`. Returns false at the end.
[[nodiscard]] bool next_file(Walk& walk, Found& found);

}  // namespace quillet
