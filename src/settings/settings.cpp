#include "settings/settings.h"

#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "base/quote.h"
#include "base/text.h"

namespace quillet {
namespace {

// A settings file holds a few words; one much longer is not one.
constexpr std::size_t MAX_SETTINGS_SIZE = 65536;
// Directories whose settings are remembered at most, so that memory does not grow with the tree.
constexpr std::size_t MAX_CACHED = 64;

// The next word of `text` from `at`, skipping blanks and comments; empty at the end.
std::string_view next_word(std::string_view text, std::size_t& at) {
  for (;;) {
    while (at < text.size() && is_space(static_cast<unsigned char>(text[at])))
      ++at;
    if (at < text.size() && text[at] == '#') {
      while (at < text.size() && text[at] != '\n')
        ++at;
      continue;
    }
    const std::size_t start = at;
    while (at < text.size() && !is_space(static_cast<unsigned char>(text[at])) && text[at] != '#')
      ++at;
    return text.substr(start, at - start);
  }
}

// Whether `word` looks like an option rather than a value ("-5" is a value).
bool is_option_word(std::string_view word) {
  return word.size() >= 2 && word[0] == '-' && !(word[1] >= '0' && word[1] <= '9');
}

constexpr std::size_t EXCLUDE = option_row("-exclude");

// A bit for each row of the options whose value may come from a settings file.
std::uint64_t merged_rows() {
  std::uint64_t rows = 0;
  for (std::size_t row = 0; row < std::size(OPTIONS); ++row) {
    if (OPTIONS[row].merge != nullptr) rows |= std::uint64_t{1} << row;
  }
  return rows;
}

// Each file's run walks these rows alone.
const std::uint64_t MERGED_ROWS = merged_rows();

// The options a settings file takes, as a message lists them: "-th, -cpos, ...".
std::string settings_options() {
  std::string list;
  for (const OptionRow& option : OPTIONS) {
    if (!option.in_settings) continue;
    if (!list.empty()) list += ", ";
    list += option.spelling;
  }
  return list;
}

// What the value of `option` is, as a message names it: "a number", "a pattern".
std::string value_noun(const OptionRow& option) {
  if (option.value == Value::NUMBER) return "a number";
  std::string noun = "a ";
  for (const char c : option.value_name)
    noun += c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  return noun;
}

// Reads the settings file open as `fd` into `text`; false when it cannot be read or is too long.
bool read_all(int fd, std::string& text) {
  std::array<char, 4096> chunk;
  for (;;) {
    const ssize_t n = ::read(fd, chunk.data(), chunk.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return n == 0;
    text.append(chunk.data(), static_cast<std::size_t>(n));
    if (text.size() > MAX_SETTINGS_SIZE) return false;
  }
}

std::shared_ptr<const Settings> refused(std::string path, std::string why) {
  Settings settings;
  settings.path = std::move(path);
  settings.error = std::move(why);
  return std::make_shared<const Settings>(std::move(settings));
}

// The settings file of the directory open as `directory`, named `path`, or nullptr when it has
// none that may be taken.
std::shared_ptr<const Settings> own_settings(int directory, const struct stat& directory_stat,
                                             std::string_view path) {
  // Where every user may write, anyone may have put the file: it is not the project's.
  if ((directory_stat.st_mode & S_IWOTH) != 0) return nullptr;
  std::string file = join_path(path, SETTINGS_NAME);
  // Opened without waiting: a pipe under the name must not hold the run.
  const Descriptor fd(::openat(directory, SETTINGS_NAME.data(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (fd.fd < 0) return errno == ENOENT ? nullptr : refused(std::move(file), "cannot be read");
  struct stat file_stat {};
  if (::fstat(fd.fd, &file_stat) != 0 || !S_ISREG(file_stat.st_mode)) {
    return refused(std::move(file), "is not a regular file");
  }
  if ((file_stat.st_mode & S_IWOTH) != 0) {
    return refused(std::move(file), "every user may write to it");
  }
  std::string text;
  if (!read_all(fd.fd, text)) return refused(std::move(file), "cannot be read");
  return std::make_shared<const Settings>(parse_settings(std::move(file), text));
}

// How messages name the directory open as `directory`: its absolute path where the system tells
// it, else `path`, as the caller named it.
std::string name_of(int directory, std::string_view path) {
  std::array<char, 2 * std::size_t{PATH_MAX}> link;
  const std::string proc = "/proc/self/fd/" + std::to_string(directory);
  const ssize_t n = ::readlink(proc.c_str(), link.data(), link.size());
  if (n > 0 && static_cast<std::size_t>(n) < link.size() && link[0] == '/') {
    return std::string(link.data(), static_cast<std::size_t>(n));
  }
  return std::string(path);
}

// The name of the directory above the one named `path`.
std::string parent_of(const std::string& path) {
  if (path.empty() || path[0] != '/') return join_path(path, "..");
  const std::size_t slash = path.rfind('/');
  return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

Settings parse_settings(std::string path, std::string_view text) {
  Settings settings;
  settings.path = std::move(path);
  // Some editors start a UTF-8 file with a byte-order mark; it is no word.
  constexpr std::string_view BYTE_ORDER_MARK = "\xEF\xBB\xBF";
  std::size_t at = text.starts_with(BYTE_ORDER_MARK) ? BYTE_ORDER_MARK.size() : 0;
  for (std::string_view word = next_word(text, at); !word.empty(); word = next_word(text, at)) {
    const OptionRow* const option = find_option(word);
    if (option == nullptr || !option->in_settings) {
      settings.error = is_option_word(word)
                           ? printable(word) +
                                 " is not an option a settings file takes (it takes " +
                                 settings_options() + ")"
                           : "unknown word " + printable(word);
      return settings;
    }
    std::string value;
    if (option->value != Value::NONE) {
      // A number is never an option's name; a pattern may look like one; a word from a list is
      // refused by its option, which names the words it takes.
      const std::string_view given = next_word(text, at);
      if ((given.empty() && option->value != Value::WORD) ||
          (option->value == Value::NUMBER && is_option_word(given))) {
        settings.error = printable(word) + " needs " + value_noun(*option);
        return settings;
      }
      value = given;
    }
    const auto row = static_cast<std::size_t>(option - OPTIONS);
    mark_given(settings.options, row);
    if (row == EXCLUDE) {
      // Its leading "/" anchors it at this file's directory: it is read here, while its word is.
      settings.excludes.push_back(parse_exclusion(value, PatternFrom::SETTINGS_FILE));
    } else if (option->take != nullptr &&
               option->take(settings.options, value.c_str(), settings.error) != RC_OK) {
      return settings;
    }
  }
  return settings;
}

namespace {

// The name, in the directory open as `parent`, of the directory `child`, found by its identity;
// empty when the parent cannot be listed.
std::string name_in(int parent, const FileId& child) {
  const int copy = ::dup(parent);  // the listing closes its own descriptor
  DIR* const listing = copy >= 0 ? ::fdopendir(copy) : nullptr;
  if (listing == nullptr) {
    if (copy >= 0) ::close(copy);
    return {};
  }
  std::string name;
  while (const dirent* entry = ::readdir(listing)) {
    struct stat entry_stat {};
    if (entry->d_ino == child.inode &&
        ::fstatat(parent, entry->d_name, &entry_stat, AT_SYMLINK_NOFOLLOW) == 0 &&
        FileId{entry_stat.st_dev, entry_stat.st_ino} == child) {
      name = entry->d_name;
      break;
    }
  }
  ::closedir(listing);
  return name;
}

// The path from the directory `levels` above the one open as `directory` down to it, found by
// climbing and listing each directory on the way.
std::string path_from_above(int directory, std::size_t levels) {
  std::vector<std::string> names;
  Descriptor above;
  int at = directory;
  for (std::size_t level = 0; level < levels; ++level) {
    struct stat at_stat {};
    Descriptor parent(::openat(at, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (parent.fd < 0 || ::fstat(at, &at_stat) != 0) break;
    names.push_back(name_in(parent.fd, FileId{at_stat.st_dev, at_stat.st_ino}));
    above.reset(parent.fd);
    parent.fd = -1;
    at = above.fd;
  }
  std::string path;
  for (auto name = names.rbegin(); name != names.rend(); ++name)
    path = path.empty() ? *name : join_path(path, *name);
  return path;
}

// Whether one of `exclusions`, the absolute ones or the others as `absolute` says, matches `path`.
bool matches(const std::vector<Exclusion>& exclusions, bool absolute, const std::string& path,
             bool directory) {
  const std::size_t slash = path.rfind('/');
  const char* const name = path.c_str() + (slash == std::string::npos ? 0 : slash + 1);
  for (const Exclusion& exclusion : exclusions) {
    if (exclusion.absolute != absolute || (exclusion.directory_only && !directory)) continue;
    if (::fnmatch(exclusion.glob.c_str(), exclusion.anchored ? path.c_str() : name, FNM_PATHNAME) ==
        0) {
      return true;
    }
  }
  return false;
}

// Whether one of `exclusions` (the absolute ones, or the others) matches a directory on the way
// down `path`, or `path` itself.
bool matches_on_the_way(const std::vector<Exclusion>& exclusions, bool absolute,
                        const std::string& path) {
  for (std::size_t slash = path.find('/');; slash = path.find('/', slash + 1)) {
    if (slash != 0 && !path.empty() && matches(exclusions, absolute, path.substr(0, slash), true)) {
      return true;
    }
    if (slash == std::string::npos) return false;
  }
}

// `path` made absolute from `directory` (an absolute one) as the name reads, without asking the
// file system, so that it costs nothing per file: "." is passed over, and ".." takes the name
// before it away.
std::string absolute_path(std::string_view directory, std::string_view path) {
  std::string absolute(path.starts_with('/') || directory == "/" ? "" : directory);
  while (!path.empty()) {
    const std::size_t slash = path.find('/');
    const std::string_view name = path.substr(0, slash);
    path.remove_prefix(slash == std::string_view::npos ? path.size() : slash + 1);
    if (name == "..") {
      absolute.resize(std::min(absolute.rfind('/'), absolute.size()));
    } else if (!name.empty() && name != ".") {
      absolute += '/';
      absolute += name;
    }
  }
  return absolute.empty() ? "/" : absolute;
}

}  // namespace

Exclusion parse_exclusion(std::string_view pattern, PatternFrom from) {
  Exclusion exclusion;
  while (pattern.size() > 1 && pattern.back() == '/') {
    pattern.remove_suffix(1);
    exclusion.directory_only = true;
  }
  exclusion.anchored = pattern.find('/') != std::string_view::npos;
  // A path an editor or a script passes is absolute: on the command line it stays one.
  exclusion.absolute = from == PatternFrom::COMMAND_LINE && pattern.starts_with('/');
  // "./gen" names what "/gen" names in a settings file: the path from where the pattern holds.
  while (exclusion.anchored && !exclusion.absolute && pattern.starts_with("./"))
    pattern.remove_prefix(2);
  if (exclusion.anchored && !exclusion.absolute && pattern.starts_with('/')) pattern.remove_prefix(1);
  exclusion.glob = pattern;
  return exclusion;
}

std::shared_ptr<const DirectorySettings> find_settings(SettingsCache& cache, int directory,
                                                       std::string_view path) {
  struct stat start_stat {};
  if (::fstat(directory, &start_stat) != 0) return std::make_shared<const DirectorySettings>();
  const FileId start{start_stat.st_dev, start_stat.st_ino};
  if (const auto cached = cache.by_directory.find(start); cached != cache.by_directory.end()) {
    return cached->second;
  }
  // Climbing by descriptor, a path of any length has a way up. The nearest settings file gives
  // the options; every one on the way excludes what it names.
  auto found = std::make_shared<DirectorySettings>();
  std::vector<std::pair<std::size_t, std::shared_ptr<const Settings>>> excluding;
  Descriptor above;
  int at = directory;
  std::string name = name_of(directory, path);
  struct stat at_stat = start_stat;
  for (std::size_t level = 0;; ++level) {
    if (std::shared_ptr<const Settings> own = own_settings(at, at_stat, name)) {
      if (found->options == nullptr) found->options = own;
      if (!own->excludes.empty()) excluding.emplace_back(level, std::move(own));
    }
    Descriptor parent(::openat(at, "..", O_PATH | O_DIRECTORY | O_CLOEXEC));
    struct stat parent_stat {};
    if (parent.fd < 0 || ::fstat(parent.fd, &parent_stat) != 0 ||
        (parent_stat.st_dev == at_stat.st_dev && parent_stat.st_ino == at_stat.st_ino)) {
      break;  // the root
    }
    above.reset(parent.fd);
    parent.fd = -1;
    at = above.fd;
    at_stat = parent_stat;
    name = parent_of(name);
  }
  if (found->options == nullptr) found->options = std::make_shared<const Settings>();
  if (!excluding.empty()) {
    // The names on the way down from the highest, each file's path a tail of them.
    const std::string all = path_from_above(directory, excluding.back().first);
    for (const auto& [level, file] : excluding) {
      std::size_t from = all.size();
      for (std::size_t up = 0; up < level && from != std::string::npos; ++up)
        from = from == 0 ? std::string::npos : all.rfind('/', from - 1);
      const std::string below =
          level == 0 ? "" : all.substr(from == std::string::npos ? 0 : from + 1);
      found->scopes.push_back({file, below, {}});
    }
  }
  // The directories near the walk are the ones asked for again: the cache stays small.
  if (cache.by_directory.size() >= MAX_CACHED) cache.by_directory.clear();
  cache.by_directory.emplace(start, found);
  return found;
}

std::shared_ptr<const Settings> command_line_exclusions(
    const std::vector<const char*>& patterns) {
  if (patterns.empty()) return nullptr;
  Settings settings;
  for (const char* pattern : patterns) {
    settings.excludes.push_back(parse_exclusion(pattern, PatternFrom::COMMAND_LINE));
    if (settings.excludes.back().absolute && settings.directory.empty()) {
      // As the shell names it, through the links it was reached by, where it can tell.
      char* const here = ::get_current_dir_name();
      if (here != nullptr) settings.directory = here;
      std::free(here);
    }
  }
  return std::make_shared<const Settings>(std::move(settings));
}

FileSettings settings_for_file(SettingsCache& cache, std::string_view path, bool use_settings,
                               const std::shared_ptr<const Settings>& command_line) {
  const PathParts parts = split_path(path);
  // The directories on the way that do not exist, from the nearest that does down.
  std::vector<std::string> missing;
  std::string directory = parts.directory;
  Descriptor fd(::open(directory.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
  while (fd.fd < 0 && directory != "." && directory != "/") {
    PathParts up = split_path(directory);
    missing.insert(missing.begin(), std::move(up.name));
    directory = std::move(up.directory);
    fd.reset(::open(directory.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
  }
  std::shared_ptr<const DirectorySettings> settings =
      use_settings && fd.fd >= 0 ? find_settings(cache, fd.fd, directory)
                                 : std::make_shared<const DirectorySettings>();
  for (const std::string& name : missing)
    settings = settings_below(-1, name, name, *settings);
  if (command_line != nullptr) {
    settings = with_scope(*settings, command_line, plain_path(parts.directory));
  }
  FileSettings found;
  found.options =
      settings->options != nullptr ? settings->options : std::make_shared<const Settings>();
  found.excluded = is_excluded_directory(*settings) || is_excluded(*settings, parts.name, false);
  return found;
}

std::shared_ptr<const DirectorySettings> settings_below(int directory, std::string_view path,
                                                        std::string_view name,
                                                        const DirectorySettings& outer) {
  auto found = std::make_shared<DirectorySettings>();
  found->options = outer.options;
  found->scopes.reserve(outer.scopes.size() + 1);
  for (const DirectorySettings::Scope& scope : outer.scopes) {
    found->scopes.push_back(
        {scope.file, scope.below.empty() ? std::string(name) : join_path(scope.below, name),
         scope.absolute.empty() ? std::string() : join_path(scope.absolute, name)});
  }
  struct stat directory_stat {};
  if (directory >= 0 && ::fstat(directory, &directory_stat) == 0) {
    if (std::shared_ptr<const Settings> own = own_settings(directory, directory_stat, path)) {
      found->options = own;
      if (!own->excludes.empty()) found->scopes.push_back({std::move(own), "", {}});
    }
  }
  return found;
}

std::shared_ptr<const DirectorySettings> with_scope(const DirectorySettings& settings,
                                                    std::shared_ptr<const Settings> file,
                                                    std::string below) {
  auto found = std::make_shared<DirectorySettings>(settings);
  if (found->options == nullptr) found->options = std::make_shared<const Settings>();
  // Made absolute once here, and then name by name on the way down, never per file.
  std::string absolute;
  if (std::any_of(file->excludes.begin(), file->excludes.end(),
                  [](const Exclusion& exclusion) { return exclusion.absolute; }) &&
      (below.starts_with('/') || !file->directory.empty())) {
    absolute = absolute_path(file->directory, below);
  }
  found->scopes.push_back({std::move(file), std::move(below), std::move(absolute)});
  return found;
}

bool is_excluded_directory(const DirectorySettings& settings) {
  for (const DirectorySettings::Scope& scope : settings.scopes) {
    // Each directory from the settings file's down to this one.
    if (matches_on_the_way(scope.file->excludes, false, scope.below) ||
        (!scope.absolute.empty() &&
         matches_on_the_way(scope.file->excludes, true, scope.absolute))) {
      return true;
    }
  }
  return false;
}

bool is_excluded(const DirectorySettings& settings, std::string_view name, bool directory) {
  for (const DirectorySettings::Scope& scope : settings.scopes) {
    const std::string path = scope.below.empty() ? std::string(name) : join_path(scope.below, name);
    if (matches(scope.file->excludes, false, path, directory) ||
        (!scope.absolute.empty() &&
         matches(scope.file->excludes, true, join_path(scope.absolute, name), directory))) {
      return true;
    }
  }
  return false;
}

ResultCode settle_options(const Options& command_line, const Settings* file, Options& settled,
                          std::FILE* messages) {
  if (file != nullptr && !file->error.empty()) {
    if (messages != nullptr) {
      std::fprintf(messages, "? %s: %s\n", printable(file->path).c_str(), file->error.c_str());
    }
    return RC_BAD_SETTINGS;
  }
  // The options the file gives and the command line does not, a bit for each row.
  const std::uint64_t from_file = file != nullptr ? file->options.given & ~command_line.given : 0;
  for (std::uint64_t rows = MERGED_ROWS; rows != 0; rows &= rows - 1) {
    const auto row = static_cast<std::size_t>(std::countr_zero(rows));
    OPTIONS[row].merge(((from_file >> row) & 1U) != 0 ? file->options : command_line, settled);
  }
  order_columns(settled.layout);
  return check_tab_padding(settled.layout, messages);
}

}  // namespace quillet
