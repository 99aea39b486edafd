#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "cli/options.h"
#include "io/descriptor.h"

namespace quillet {

/// The name of a settings file.
inline constexpr std::string_view SETTINGS_NAME = ".quillet";

/// What a settings file sets: the numbers it names, and the switches it turns on.
struct Settings {
  std::string path;   // the file; empty when there is none
  std::string error;  // what is wrong with it, when something is
  std::optional<std::int32_t> th;
  std::optional<std::int32_t> cpos;
  std::optional<std::int32_t> csz;
  std::optional<std::int32_t> tabs;
  bool cpp_style = false;
  bool utf8 = false;
  bool trail = false;
  bool no_backup = false;
};

/// Reads `text`, the content of the settings file `path`: layout options written as on the
/// command line, separated by blanks and newlines, "#" starting a comment to the end of its line.
/// Anything else leaves its description in `error`.
[[nodiscard]] Settings parse_settings(std::string path, std::string_view text);

/// The settings found lately, by the identity of the directory they hold in.
struct SettingsCache {
  std::map<FileId, std::shared_ptr<const Settings>> by_directory;
};

/// The settings for the files of the directory open as `directory` (named `path`): those of the
/// first settings file in it or in a directory above it, up to the root. A settings file is not
/// taken from a directory that every user may write to, as any user could have put it there.
[[nodiscard]] std::shared_ptr<const Settings> find_settings(SettingsCache& cache, int directory,
                                                            std::string_view path);

/// The settings for the file named `path` on the command line (standard input for "-": those of
/// the current directory).
[[nodiscard]] std::shared_ptr<const Settings> find_settings_for(SettingsCache& cache,
                                                                const char* path);

/// The settings for the files of the directory open as `directory` (named `path`), met by a walk
/// in a directory whose settings are `outer`: those of its own settings file, if it has one that
/// may be taken, else `outer`.
[[nodiscard]] std::shared_ptr<const Settings> settings_below(int directory, std::string_view path,
                                                             std::shared_ptr<const Settings> outer);

/// The options one file runs with: `settings` (nullptr: none) put under the command line's
/// `layout` and `no_backup` where the command line (`given`, Given bits) did not set the same,
/// then th and cpos ordered. Returns RC_OK, or RC_BAD_SETTINGS after printing what is wrong on
/// `messages`.
[[nodiscard]] ResultCode settle_options(const Settings* settings, std::uint32_t given,
                                        LayoutOptions& layout, bool& no_backup,
                                        std::FILE* messages);

}  // namespace quillet
