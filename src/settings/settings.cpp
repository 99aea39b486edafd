// Settings files (".quillet"): read through the option table, found by climbing from a directory.
#include "settings/settings.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <string>
#include <utility>
#include <vector>

#include "base/paths.h"
#include "base/quote.h"
#include "base/text.h"
#include "platform/file.h"

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

// Reads the open settings `file` into `text`; false when it cannot be read or is too long.
bool read_all(const File& file, std::string& text) {
  std::array<char, 4096> chunk;
  for (;;) {
    std::size_t got = 0;
    if (read_some(file, chunk.data(), chunk.size(), got) != 0) return false;
    if (got == 0) return true;
    text.append(chunk.data(), got);
    if (text.size() > MAX_SETTINGS_SIZE) return false;
  }
}

std::shared_ptr<const Settings> refused(std::string path, std::string why) {
  Settings settings;
  settings.path = std::move(path);
  settings.error = std::move(why);
  return std::make_shared<const Settings>(std::move(settings));
}

// The settings file of the open `directory`, whose facts are `facts`, named `path`, or nullptr
// when it has none that may be taken.
std::shared_ptr<const Settings> own_settings(const OpenDirectory& directory, const FileFacts& facts,
                                             std::string_view path) {
  // Where every user may write, anyone may have put the file: it is not the project's.
  if (facts.others_may_write) return nullptr;
  std::string name = join_path(path, SETTINGS_NAME);
  // Opened without waiting: a pipe under the name must not hold the run.
  File file;
  if (const int error = open_in(directory, SETTINGS_NAME.data(), Link::FOLLOW, file); error != 0) {
    return error == ENOENT ? nullptr : refused(std::move(name), "cannot be read");
  }
  FileFacts file_facts;
  if (facts_of(file, file_facts) != 0 || file_facts.kind != FileKind::REGULAR) {
    return refused(std::move(name), "is not a regular file");
  }
  if (file_facts.others_may_write) return refused(std::move(name), "every user may write to it");
  std::string text;
  if (!read_all(file, text)) return refused(std::move(name), "cannot be read");
  return std::make_shared<const Settings>(parse_settings(std::move(name), text));
}

// How messages name the open `directory`: its absolute path where the system tells it, else
// `path`, as the caller named it.
std::string name_of(const OpenDirectory& directory, std::string_view path) {
  std::string absolute;
  return directory_path(directory, absolute) == 0 ? absolute : std::string(path);
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

// The name, in the open directory `parent`, of the directory `child`, found by its identity;
// empty when the parent cannot be listed.
std::string name_in(const OpenDirectory& parent, const FileId& child) {
  DirectoryListing listing(parent);
  for (DirectoryEntry entry; listing.next(entry);) {
    // Where the listing tells numbers, most entries are passed over without a look.
    if (entry.inode != 0 && entry.inode != child.inode) continue;
    std::string name(entry.name);
    FileFacts facts;
    if (facts_in(parent, name.c_str(), facts) == 0 && facts.id == child) return name;
  }
  return {};
}

// The path from the directory `levels` above the open `directory` down to it, found by climbing
// and listing each directory on the way.
std::string path_from_above(const OpenDirectory& directory, std::size_t levels) {
  std::vector<std::string> names;
  OpenDirectory above;
  const OpenDirectory* at = &directory;
  for (std::size_t level = 0; level < levels; ++level) {
    OpenDirectory parent;
    FileFacts facts;
    if (open_directory(at, "..", Link::FOLLOW, DirectoryUse::READ, parent) != 0 ||
        facts_of(at->file(), facts) != 0) {
      break;
    }
    names.push_back(name_in(parent, facts.id));
    above = std::move(parent);
    at = &above;
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
    if (matches_wildcards(exclusion.glob.c_str(), exclusion.anchored ? path.c_str() : name)) {
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

std::shared_ptr<const DirectorySettings> find_settings(SettingsCache& cache,
                                                       const OpenDirectory& directory,
                                                       std::string_view path) {
  FileFacts start_facts;
  if (facts_of(directory.file(), start_facts) != 0) {
    return std::make_shared<const DirectorySettings>();
  }
  const FileId start = start_facts.id;
  if (const auto cached = cache.by_directory.find(start); cached != cache.by_directory.end()) {
    return cached->second;
  }
  // Climbing by descriptor, a path of any length has a way up. The nearest settings file gives
  // the options; every one on the way excludes what it names.
  auto found = std::make_shared<DirectorySettings>();
  std::vector<std::pair<std::size_t, std::shared_ptr<const Settings>>> excluding;
  OpenDirectory above;
  const OpenDirectory* at = &directory;
  std::string name = name_of(directory, path);
  FileFacts at_facts = start_facts;
  for (std::size_t level = 0;; ++level) {
    if (std::shared_ptr<const Settings> own = own_settings(*at, at_facts, name)) {
      if (found->options == nullptr) found->options = own;
      if (!own->excludes.empty()) excluding.emplace_back(level, std::move(own));
    }
    OpenDirectory parent;
    FileFacts parent_facts;
    if (open_directory(at, "..", Link::FOLLOW, DirectoryUse::SEARCH, parent) != 0 ||
        facts_of(parent.file(), parent_facts) != 0 || parent_facts.id == at_facts.id) {
      break;  // the root
    }
    above = std::move(parent);
    at = &above;
    at_facts = parent_facts;
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
      settings.directory = current_directory_as_named();
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
  OpenDirectory opened;
  const auto open = [&] {
    return open_directory(nullptr, directory.c_str(), Link::FOLLOW, DirectoryUse::SEARCH, opened);
  };
  int error = open();
  while (error != 0 && directory != "." && directory != "/") {
    PathParts up = split_path(directory);
    missing.insert(missing.begin(), std::move(up.name));
    directory = std::move(up.directory);
    error = open();
  }
  std::shared_ptr<const DirectorySettings> settings =
      use_settings && error == 0 ? find_settings(cache, opened, directory)
                                 : std::make_shared<const DirectorySettings>();
  for (const std::string& name : missing)
    settings = settings_below(nullptr, name, name, *settings);
  if (command_line != nullptr) {
    settings = with_scope(*settings, command_line, plain_path(parts.directory));
  }
  FileSettings found;
  found.options =
      settings->options != nullptr ? settings->options : std::make_shared<const Settings>();
  found.excluded = is_excluded_directory(*settings) || is_excluded(*settings, parts.name, false);
  return found;
}

std::shared_ptr<const DirectorySettings> settings_below(const OpenDirectory* directory,
                                                        std::string_view path,
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
  FileFacts facts;
  if (directory != nullptr && facts_of(directory->file(), facts) == 0) {
    if (std::shared_ptr<const Settings> own = own_settings(*directory, facts, path)) {
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
