#include "settings/settings.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <utility>

#include "scanner/scanner.h"

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

// Reads the file at `path` into `text`; false when it cannot be read or is too long.
bool read_file(const std::string& path, std::string& text) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  std::array<char, 4096> chunk;
  bool ok = true;
  for (;;) {
    const ssize_t n = ::read(fd, chunk.data(), chunk.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = n == 0;
      break;
    }
    text.append(chunk.data(), static_cast<std::size_t>(n));
    if (text.size() > MAX_SETTINGS_SIZE) {
      ok = false;
      break;
    }
  }
  ::close(fd);
  return ok;
}

// The directory that holds `path`, as named.
std::string_view directory_of(const char* path) {
  if (is_standard_stream(path)) return ".";
  const std::string_view text = path;
  const std::size_t slash = text.rfind('/');
  return slash == std::string_view::npos ? "." : text.substr(0, slash == 0 ? 1 : slash);
}

std::shared_ptr<const Settings> settings_in(SettingsCache& cache, const std::string& directory) {
  if (const auto found = cache.by_directory.find(directory); found != cache.by_directory.end()) {
    return found->second;
  }
  std::shared_ptr<const Settings> settings;
  const std::string file = directory + (directory == "/" ? "" : "/") + std::string(SETTINGS_NAME);
  if (::access(file.c_str(), F_OK) == 0) {
    std::string text;
    if (read_file(file, text)) {
      settings = std::make_shared<const Settings>(parse_settings(file, text));
    } else {
      Settings unreadable;
      unreadable.path = file;
      unreadable.error = "cannot be read";
      settings = std::make_shared<const Settings>(std::move(unreadable));
    }
  } else if (directory == "/") {
    settings = std::make_shared<const Settings>();
  } else {
    const std::size_t slash = directory.rfind('/');
    settings = settings_in(cache, directory.substr(0, slash == 0 ? 1 : slash));
  }
  // The directories near the walk are the ones asked for again: the cache stays small.
  if (cache.by_directory.size() >= MAX_CACHED) cache.by_directory.clear();
  cache.by_directory.emplace(directory, settings);
  return settings;
}

}  // namespace

Settings parse_settings(std::string path, std::string_view text) {
  Settings settings;
  settings.path = std::move(path);
  std::size_t at = 0;
  for (std::string_view word = next_word(text, at); !word.empty(); word = next_word(text, at)) {
    std::optional<std::int32_t>* number = nullptr;
    std::int32_t fallback = 0;
    if (is_option(word, "-th")) {
      number = &settings.th;
      fallback = DEFAULT_TH;
    } else if (is_option(word, "-cpos")) {
      number = &settings.cpos;
      fallback = DEFAULT_CPOS;
    } else if (is_option(word, "-csz")) {
      number = &settings.csz;
      fallback = DEFAULT_CSZ;
    } else if (is_option(word, "-tabs")) {
      number = &settings.tabs;
    } else if (is_option(word, "-cpp")) {
      settings.cpp_style = true;
    } else if (is_option(word, "-utf8")) {
      settings.utf8 = true;
    } else if (is_option(word, "-trail")) {
      settings.trail = true;
    } else if (is_option(word, "-nobak")) {
      settings.no_backup = true;
    } else {
      settings.error = is_option_word(word) ? std::string(word) + " cannot be set here"
                                            : "unknown word " + std::string(word);
      return settings;
    }
    if (number != nullptr) {
      const std::string_view value = next_word(text, at);
      if (value.empty() || is_option_word(value)) {
        settings.error = std::string(word) + " needs a number";
        return settings;
      }
      const std::string copy(value);
      *number = fallback == 0 ? tab_number(copy.c_str()) : option_number(copy.c_str(), fallback);
    }
  }
  return settings;
}

std::shared_ptr<const Settings> find_settings(SettingsCache& cache, const char* path) {
  const std::string_view directory = directory_of(path);
  if (cache.last != nullptr && directory == cache.last_directory) return cache.last;
  cache.last_directory = directory;
  std::array<char, PATH_MAX> resolved;
  cache.last = ::realpath(cache.last_directory.c_str(), resolved.data()) == nullptr
                   ? std::make_shared<const Settings>()
                   : settings_in(cache, resolved.data());
  return cache.last;
}

ResultCode apply_settings(const Settings& settings, Options& options, std::FILE* messages) {
  if (!settings.error.empty()) {
    std::fprintf(messages, "? %s: %s\n", settings.path.c_str(), settings.error.c_str());
    return RC_BAD_SETTINGS;
  }
  if (settings.th && (options.given & GIVEN_TH) == 0) options.th = *settings.th;
  if (settings.cpos && (options.given & GIVEN_CPOS) == 0) options.cpos = *settings.cpos;
  if (settings.csz && (options.given & GIVEN_CSZ) == 0) options.csz = *settings.csz;
  if (settings.tabs && (options.given & GIVEN_TABS) == 0) options.tabs = *settings.tabs;
  options.cpp_style = options.cpp_style || settings.cpp_style;
  options.utf8 = options.utf8 || settings.utf8;
  options.trail = options.trail || settings.trail;
  options.no_backup = options.no_backup || settings.no_backup;
  return RC_OK;
}

}  // namespace quillet
