// Settings files (".quillet"): read through the option table, found for a directory or a file,
// their exclusions, and their options merged under the command line's.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "options/options.h"
#include "platform/directory.h"
#include "platform/file.h"

namespace quillet {

/// The name of a settings file.
inline constexpr std::string_view SETTINGS_NAME = ".quillet";

/// A path to leave alone, as "-exclude" gives it: shell wildcards, as fnmatch(3) reads them with
/// FNM_PATHNAME (a "*" does not cross a "/").
struct Exclusion {
  std::string glob;             // what is matched, without a trailing "/" (or a leading one,
                                // unless it is `absolute`)
  bool anchored = false;        // held a "/": matches the path from the settings file's directory
  bool absolute = false;        // an absolute path: matches the absolute path of what is asked
  bool directory_only = false;  // ended in "/": matches directories only
};

/// Where a pattern was given, which says what a leading "/" means.
enum class PatternFrom : std::uint8_t {
  SETTINGS_FILE,  // it anchors the pattern at the settings file's directory
  COMMAND_LINE,   // the pattern is an absolute path
};

/// Reads one "-exclude" pattern.
[[nodiscard]] Exclusion parse_exclusion(std::string_view pattern, PatternFrom from);

/// What a settings file sets: the options it names, read as the command line reads them, and what
/// it excludes.
struct Settings {
  std::string path;   // the file; empty when there is none
  std::string error;  // what is wrong with it, when something is
  Options options;    // each option it names marked in `options.given`
  std::vector<Exclusion> excludes;
  std::string directory;  // the command line's, with an absolute pattern: the current directory
                          // (absolute; "" when it cannot be told)
};

/// Reads `text`, the content of the settings file `path`: layout options written as on the
/// command line, separated by blanks and newlines, "#" starting a comment to the end of its line.
/// Anything else leaves its description in `error`.
[[nodiscard]] Settings parse_settings(std::string path, std::string_view text);

/// The command line's "-exclude" patterns, as a settings file of the current directory that
/// holds only them; nullptr when there are none.
[[nodiscard]] std::shared_ptr<const Settings> command_line_exclusions(
    const std::vector<const char*>& patterns);

/// What holds in one directory: the options of the nearest settings file, and the exclusions of
/// every settings file from there up, each with the path from its directory down to this one.
struct DirectorySettings {
  struct Scope {
    std::shared_ptr<const Settings> file;  // whose exclusions hold here
    std::string below;                     // the path from its directory to this one; "" itself
    std::string absolute;  // this one's absolute path, as named, where `file` has absolute
                           // patterns; else ""
  };
  std::shared_ptr<const Settings> options;  // never nullptr once found: empty when none
  std::vector<Scope> scopes;
};

/// The settings found lately, by the identity of the directory they hold in.
struct SettingsCache {
  std::map<FileId, std::shared_ptr<const DirectorySettings>> by_directory;
};

/// The settings for the files of the open `directory` (named `path`): the options of the first
/// settings file in it or in a directory above it, up to the root, and the exclusions of all of
/// them. A settings file is not taken from a directory that every user may write to, as any user
/// could have put it there.
[[nodiscard]] std::shared_ptr<const DirectorySettings> find_settings(SettingsCache& cache,
                                                                     const OpenDirectory& directory,
                                                                     std::string_view path);

/// What holds for one file named on the command line: the options it takes, and whether it is
/// excluded.
struct FileSettings {
  std::shared_ptr<const Settings> options;  // never nullptr: empty when none
  bool excluded = false;
};

/// The settings for a file at `path` named on the command line, which need not exist: looked up
/// from its directory, or from the nearest one above it that exists (nothing, without
/// `use_settings`). The exclusions of `command_line` (nullptr: none) hold too, for the path as
/// named from the current directory.
[[nodiscard]] FileSettings settings_for_file(SettingsCache& cache, std::string_view path,
                                             bool use_settings,
                                             const std::shared_ptr<const Settings>& command_line);

/// The settings for the files of the open `directory` (named `path` in messages), met by a walk
/// as `name` in a directory whose settings are `outer`: its own settings file's options, if it
/// has one that may be taken, else `outer`'s, and the exclusions of both. A directory that does
/// not exist (`directory` nullptr) has only `outer`'s.
[[nodiscard]] std::shared_ptr<const DirectorySettings> settings_below(
    const OpenDirectory* directory, std::string_view path, std::string_view name,
    const DirectorySettings& outer);

/// `settings` with the exclusions of `file` too, whose directory is `below` above this one (for
/// the command line's, the path from the current directory, or an absolute one).
[[nodiscard]] std::shared_ptr<const DirectorySettings> with_scope(
    const DirectorySettings& settings, std::shared_ptr<const Settings> file, std::string below);

/// Whether the directory whose settings are `settings` is excluded, or lies in an excluded one
/// below a settings file's directory (asked of a directory named, not walked).
[[nodiscard]] bool is_excluded_directory(const DirectorySettings& settings);

/// Whether the file, or directory (`directory`), `name` in the directory whose settings are
/// `settings` is excluded.
[[nodiscard]] bool is_excluded(const DirectorySettings& settings, std::string_view name,
                               bool directory);

/// The options one file runs with, put in `settled`: each option that a settings file may set
/// from `file` (nullptr: none) where it sets it and `command_line` does not, else from
/// `command_line`; then th and cpos ordered. Nothing else in `settled` is touched. Returns RC_OK,
/// or RC_BAD_SETTINGS after printing what is wrong with `file` on `messages` (nothing, when it is
/// nullptr: it was told before), or RC_BAD_ARGUMENTS when tabs are to pad and there are no tab
/// stops.
[[nodiscard]] ResultCode settle_options(const Options& command_line, const Settings* file,
                                        Options& settled, std::FILE* messages);

}  // namespace quillet
