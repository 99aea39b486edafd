// The walk over the paths named: directories entered through open ones, names in byte order,
// what settings exclude and git ignores left out.
#include "tree/walk.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <optional>

#include "base/failure.h"
#include "platform/directory.h"
#include "tree/git.h"

namespace quillet {
namespace {

// Where a file named on the command line is: a link is followed, as a single run follows it.
std::optional<PathParts> locate(const char* path) {
  const std::optional<std::string> target = follow_named(path);
  if (!target) return std::nullopt;
  return split_path(*target);
}

// The identity by which a file named on the command line is known in the walk.
std::optional<Walk::Name> name_of(const char* path) {
  const std::optional<PathParts> parts = locate(path);
  FileFacts directory;
  if (!parts || facts_of_path(parts->directory.c_str(), Link::FOLLOW, directory) != 0) {
    return std::nullopt;
  }
  return Walk::Name{directory.id, parts->name};
}

// Reads the names in the open `directory`, in byte order. Returns 0, or why it cannot be read.
int read_entries(const Directory& directory, std::vector<Walk::Entry>& entries) {
  DirectoryListing listing(directory.open);
  for (DirectoryEntry entry; listing.next(entry);)
    entries.push_back({std::string(entry.name), entry.kind});
  std::sort(entries.begin(), entries.end(),
            [](const Walk::Entry& a, const Walk::Entry& b) { return a.name < b.name; });
  return listing.error();
}

bool unreadable(Found& found, std::string path, std::string why = {}) {
  found = Found{};
  found.path = std::move(path);
  found.unreadable = true;
  found.why = std::move(why);
  return true;
}

// What git answered about the paths it ignores.
struct GitAnswer {
  std::string why;    // when the walk cannot go on: git did not answer in time, or cannot start
  bool read = false;  // git read a repository here, and answered
  std::shared_ptr<const Ignored> ignored;  // what it listed; null for nothing
};

// Asks git what it ignores below the directory open as `directory`, or with `name`, below its
// entry `name` alone, within the `time_left_ms` of the walk, which it takes from.
GitAnswer ask(const Git& program, const OpenDirectory& directory, const char* name,
              std::int64_t& time_left_ms) {
  GitAnswer answer;
  if (time_left_ms <= 0) {
    answer.why = "git did not answer in time";
    return answer;
  }
  std::vector<const char*> args;
  if (name != nullptr) args.push_back("--literal-pathspecs");
  args.insert(args.end(),
              {"ls-files", "-z", "--others", "--ignored", "--exclude-standard", "--directory"});
  if (name != nullptr) args.insert(args.end(), {"--", name});
  std::string output;
  // A FIFO planted as a .gitignore would hold git for ever: it has a time to answer in.
  Git limited = program;
  limited.timeout_ms = static_cast<int>(time_left_ms);  // no more than it was given
  const auto started = std::chrono::steady_clock::now();
  const ChildResult git = run_git_in(limited, args, directory, output, nullptr);
  time_left_ms -= std::chrono::duration_cast<std::chrono::milliseconds>(
                      std::chrono::steady_clock::now() - started)
                      .count();
  if (git.late) {
    answer.why = "git did not answer in time";
  } else if (git.error != 0) {
    // Walked without its rules, the tree would have what git ignores rewritten.
    answer.why = reason(git.error);
  } else if (git.started && !git.finished) {
    answer.why = "git was ended by a signal";
  }
  answer.read = git.finished && git.status == 0;
  if (!answer.read) return answer;
  auto ignored = std::make_shared<Ignored>();
  for (std::size_t at = 0; at < output.size();) {
    const std::size_t end = std::min(output.find('\0', at), output.size());
    if (end > at) ignored->emplace(output, at, end - at);
    at = end + 1;
  }
  if (!ignored->empty()) answer.ignored = std::move(ignored);
  return answer;
}

bool holds_git(const std::vector<Walk::Entry>& entries) {
  return std::binary_search(
      entries.begin(), entries.end(), Walk::Entry{".git", FileKind::UNKNOWN},
      [](const Walk::Entry& a, const Walk::Entry& b) { return a.name < b.name; });
}

// Asks git what it ignores below `directory`, into `frame`, which holds what the repository
// around it ignores (nothing yet for a directory `named`). Outside a work tree, or where git is
// not installed, there is nothing to leave out. Returns why the directory cannot be walked, or
// nothing.
std::string ask_git(Walk& walk, const Directory& directory, bool named, Walk::Frame& frame) {
  const Git& program = walk.rules.git;
  if (program.program.empty()) return {};
  GitAnswer answer = ask(program, directory.open, nullptr, walk.git_time_left_ms);
  if (!answer.why.empty()) return answer.why;
  if (answer.read) {
    frame.ignored = std::move(answer.ignored);
    frame.below_git_root.clear();
    return {};
  }
  // A repository git cannot read (its .git names one that is gone, or another user owns it)
  // keeps the rules around it, as git asked from there keeps them. Those of a directory named
  // are asked of its parent.
  if (!named || !holds_git(frame.entries)) return {};
  OpenDirectory parent;
  std::string resolved;
  int error = open_directory(&directory.open, "..", Link::FOLLOW, DirectoryUse::READ, parent);
  if (error == 0) error = resolve_links(directory.path.c_str(), resolved);
  if (error != 0) return reason(error);
  const std::string name = split_path(resolved).name;
  if (name.empty()) return {};  // the root has no parent
  answer = ask(program, parent, name.c_str(), walk.git_time_left_ms);
  if (answer.read) {
    frame.ignored = std::move(answer.ignored);
    frame.below_git_root = name;
  }
  return answer.why;
}

// Whether git ignores the entry `name` (a directory with `directory`) of the innermost frame.
bool is_ignored(const Walk::Frame& frame, std::string_view name, bool directory) {
  if (frame.ignored == nullptr) return false;
  std::string path =
      frame.below_git_root.empty() ? std::string(name) : join_path(frame.below_git_root, name);
  if (directory) path += '/';
  return frame.ignored->count(path) != 0;
}

// Enters `directory`, whose settings are `settings`: a directory named, or one met in a walk
// where git ignores `ignored` from `below_git_root` up. Returns true when `found` tells what
// could not be read.
bool enter(Walk& walk, std::shared_ptr<Directory> directory,
           std::shared_ptr<const DirectorySettings> settings, bool named,
           std::shared_ptr<const Ignored> ignored, std::string below_git_root, Found& found) {
  if (walk.overlap && !walk.walked.insert(directory->id).second) return false;
  Walk::Frame frame;
  if (const int error = read_entries(*directory, frame.entries); error != 0) {
    return unreadable(found, directory->path, reason(error));
  }
  frame.ignored = std::move(ignored);
  frame.below_git_root = std::move(below_git_root);
  // A directory named, or one that is a work tree of its own (a nested repository or a
  // submodule), is asked about.
  if (walk.rules.use_git && (named || holds_git(frame.entries))) {
    if (std::string why = ask_git(walk, *directory, named, frame); !why.empty()) {
      return unreadable(found, directory->path, std::move(why));
    }
  }
  frame.settings = std::move(settings);
  frame.directory = std::move(directory);
  walk.stack.push_back(std::move(frame));
  return false;
}

// The settings of `directory`, named on the command line as `path`.
std::shared_ptr<const DirectorySettings> named_settings(Walk& walk, const Directory& directory,
                                                        const std::string& path) {
  std::shared_ptr<const DirectorySettings> settings =
      walk.rules.use_settings ? find_settings(walk.settings, directory.open, path)
                              : std::make_shared<const DirectorySettings>();
  if (walk.rules.command_line != nullptr) {
    settings = with_scope(*settings, walk.rules.command_line, plain_path(path));
  }
  return settings;
}

// Opens the directory `path` names into `directory`, one name at a time and never through a link.
// Returns 0, or the error number.
int open_without_links(const std::string& path, DirectoryLog* log,
                       std::shared_ptr<Directory>& directory) {
  const char* const top = path.starts_with("/") ? "/" : ".";
  std::shared_ptr<Directory> at;
  int error = open_shared_directory(nullptr, top, top, Link::FOLLOW, nullptr, log, at);
  for (std::size_t from = 0; error == 0 && from < path.size();) {
    const std::size_t end = std::min(path.find('/', from), path.size());
    const std::string name = path.substr(from, end - from);
    from = end + 1;
    if (name.empty() || name == ".") continue;
    std::shared_ptr<Directory> inner;
    error = open_shared_directory(at.get(), name.c_str(), path.substr(0, end), Link::REFUSE,
                                  nullptr, log, inner);
    at = std::move(inner);
  }
  if (error != 0) return error;
  at->path = path;
  directory = std::move(at);
  return 0;
}

// A path named: a directory is entered, anything else is run on where it is found, unless it is
// excluded.
bool take_named(Walk& walk, const char* path, Found& found) {
  FileFacts facts;
  if (!walk.rules.follow_named_links && facts_of_path(path, Link::REFUSE, facts) == 0 &&
      facts.kind == FileKind::LINK) {
    return false;
  }
  if (facts_of_path(path, Link::FOLLOW, facts) == 0 && facts.kind == FileKind::DIRECTORY) {
    std::shared_ptr<Directory> directory;
    if (const int error =
            open_shared_directory(nullptr, path, path, Link::FOLLOW, nullptr, walk.log, directory);
        error != 0) {
      return unreadable(found, path, reason(error));
    }
    std::shared_ptr<const DirectorySettings> settings = named_settings(walk, *directory, path);
    if (is_excluded_directory(*settings)) return false;
    return enter(walk, std::move(directory), std::move(settings), true, nullptr, {}, found);
  }
  found = Found{};
  found.path = path;
  const std::optional<PathParts> parts =
      walk.rules.follow_named_links ? locate(path) : std::optional(split_path(path));
  std::shared_ptr<Directory> directory;
  int error = ENOENT;  // where no place was found for the path
  if (parts && walk.rules.follow_named_links) {
    error = open_shared_directory(nullptr, parts->directory.c_str(), parts->directory, Link::FOLLOW,
                                  nullptr, walk.log, directory);
  } else if (parts) {
    error = open_without_links(parts->directory, walk.log, directory);
  }
  if (error == 0) error = facts_in(directory->open, parts->name.c_str(), facts);
  // One that cannot be found so is run on by its path all the same, to say why; but a path git
  // named is never opened by a path that might lead through a link.
  if (error != 0) return walk.rules.follow_named_links || unreadable(found, path, reason(error));
  if (!walk.listed.insert({directory->id, parts->name}).second) return false;
  const std::shared_ptr<const DirectorySettings> settings =
      named_settings(walk, *directory, split_path(path).directory);
  if (is_excluded_directory(*settings) || is_excluded(*settings, parts->name, false)) return false;
  found.name = parts->name;
  found.id = facts.id;
  if (walk.rules.use_settings) found.settings = settings->options;
  found.directory = std::move(directory);
  return true;
}

// The next entry of the innermost directory: a file to run on, a directory to enter, or
// nothing. Returns true when `found` holds something to report.
bool take_entry(Walk& walk, Found& found) {
  Walk::Frame& top = walk.stack.back();
  const Walk::Entry& entry = top.entries[top.next++];
  const std::string& name = entry.name;
  switch (entry.kind) {
    case FileKind::REGULAR:
      if (!is_source_name(name)) return false;
      break;
    case FileKind::DIRECTORY:
      if (name[0] == '.') return false;
      break;
    case FileKind::UNKNOWN: break;
    case FileKind::LINK:                 // a link is never followed
    case FileKind::OTHER: return false;  // and no other kind holds source
  }
  const std::shared_ptr<Directory> directory = top.directory;
  std::string path = join_path(directory->path, name);
  FileFacts facts;
  if (const int error = facts_in(directory->open, name.c_str(), facts); error != 0) {
    // Gone since the directory was read: there is nothing left to run on.
    return error != ENOENT && unreadable(found, std::move(path), reason(error));
  }
  const bool is_directory = facts.kind == FileKind::DIRECTORY;
  if (!(facts.kind == FileKind::REGULAR && is_source_name(name)) &&
      !(is_directory && name[0] != '.')) {
    return false;
  }
  if (is_excluded(*top.settings, name, is_directory) || is_ignored(top, name, is_directory)) {
    return false;
  }
  if (!is_directory) {
    const Walk::Name key{directory->id, name};
    if (walk.named.count(key) != 0 && !walk.listed.insert(key).second) return false;
    found = Found{std::move(path),
                  directory,
                  name,
                  facts.id,
                  walk.rules.use_settings ? top.settings->options : nullptr,
                  false,
                  {}};
    return true;
  }
  // Opened relative to its parent, never through a link, and only if it is still the directory
  // looked at: a name swapped for a link meanwhile cannot lead the walk out of the tree.
  std::shared_ptr<Directory> inner;
  if (const int error = open_shared_directory(directory.get(), name.c_str(), path, Link::REFUSE,
                                              &facts.id, walk.log, inner);
      error != 0) {
    return error != ENOENT && unreadable(found, std::move(path), reason(error));
  }
  std::shared_ptr<const DirectorySettings> settings =
      settings_below(&inner->open, inner->path, name, *top.settings);
  std::string below = top.ignored == nullptr       ? std::string()
                      : top.below_git_root.empty() ? name
                                                   : join_path(top.below_git_root, name);
  return enter(walk, std::move(inner), std::move(settings), false, top.ignored, std::move(below),
               found);
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

Walk begin_walk(const std::vector<const char*>& paths, WalkRules rules, DirectoryLog* log) {
  Walk walk;
  walk.paths = paths;
  walk.rules = std::move(rules);
  walk.git_time_left_ms = walk.rules.git.timeout_ms;
  walk.log = log;
  int directories = 0;
  for (const char* path : paths) {
    FileFacts facts;
    if (facts_of_path(path, Link::FOLLOW, facts) == 0 && facts.kind == FileKind::DIRECTORY) {
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
