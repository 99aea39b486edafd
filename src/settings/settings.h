#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "cli/options.h"

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

/// The settings that hold for files in the directories met lately, each looked up once.
struct SettingsCache {
  std::map<std::string, std::shared_ptr<const Settings>> by_directory;  // by its real path
  // The directory of the last file, as named, and its settings: a walk meets files of one
  // directory one after another, and need not resolve its path each time.
  std::string last_directory;
  std::shared_ptr<const Settings> last;
};

/// The settings for the file `path` (standard input for "-"): those of the first settings file in
/// its directory or above, up to the root.
[[nodiscard]] std::shared_ptr<const Settings> find_settings(SettingsCache& cache, const char* path);

/// Puts `settings` into `options` where the command line did not set the same; th and cpos are
/// ordered after (order_columns). Returns RC_OK, or RC_BAD_SETTINGS after printing what is wrong
/// on `messages`.
[[nodiscard]] ResultCode apply_settings(const Settings& settings, Options& options,
                                        std::FILE* messages);

}  // namespace quillet
