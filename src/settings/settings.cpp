#include "settings/settings.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
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
      settings.error = is_option_word(word) ? printable(word) + " cannot be set here"
                                            : "unknown word " + printable(word);
      return settings;
    }
    if (number != nullptr) {
      const std::string_view value = next_word(text, at);
      if (value.empty() || is_option_word(value)) {
        settings.error = printable(word) + " needs a number";
        return settings;
      }
      const std::string copy(value);
      *number = fallback == 0 ? tab_number(copy.c_str()) : option_number(copy.c_str(), fallback);
    }
  }
  return settings;
}

std::shared_ptr<const Settings> find_settings(SettingsCache& cache, int directory,
                                              std::string_view path) {
  // The directories climbed through, which hold no settings file of their own, share what is
  // found above them.
  std::vector<FileId> climbed;
  std::shared_ptr<const Settings> found;
  Descriptor above;
  int at = directory;
  std::string name = name_of(directory, path);
  for (;;) {
    struct stat directory_stat {};
    if (::fstat(at, &directory_stat) != 0) break;
    const FileId id{directory_stat.st_dev, directory_stat.st_ino};
    if (const auto cached = cache.by_directory.find(id); cached != cache.by_directory.end()) {
      found = cached->second;
      break;
    }
    climbed.push_back(id);
    found = own_settings(at, directory_stat, name);
    if (found != nullptr) break;
    // Climbing by descriptor, a path of any length has a way up.
    Descriptor parent(::openat(at, "..", O_PATH | O_DIRECTORY | O_CLOEXEC));
    struct stat parent_stat {};
    if (parent.fd < 0 || ::fstat(parent.fd, &parent_stat) != 0 ||
        FileId{parent_stat.st_dev, parent_stat.st_ino} == id) {
      break;  // the root
    }
    above.reset(parent.fd);
    parent.fd = -1;
    at = above.fd;
    name = parent_of(name);
  }
  if (found == nullptr) found = std::make_shared<const Settings>();
  // The directories near the walk are the ones asked for again: the cache stays small.
  if (cache.by_directory.size() + climbed.size() > MAX_CACHED) cache.by_directory.clear();
  for (const FileId& id : climbed)
    cache.by_directory.emplace(id, found);
  return found;
}

std::shared_ptr<const Settings> find_settings_for(SettingsCache& cache, const char* path) {
  const std::string directory = is_standard_stream(path) ? "." : split_path(path).directory;
  const Descriptor fd(::open(directory.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
  // A file in no directory that can be opened cannot be opened either: the run says so.
  if (fd.fd < 0) return std::make_shared<const Settings>();
  return find_settings(cache, fd.fd, directory);
}

std::shared_ptr<const Settings> settings_below(int directory, std::string_view path,
                                               std::shared_ptr<const Settings> outer) {
  struct stat directory_stat {};
  if (::fstat(directory, &directory_stat) != 0) return outer;
  std::shared_ptr<const Settings> own = own_settings(directory, directory_stat, path);
  return own != nullptr ? own : outer;
}

ResultCode settle_options(const Settings* settings, std::uint32_t given, LayoutOptions& layout,
                          bool& no_backup, std::FILE* messages) {
  if (settings != nullptr) {
    if (!settings->error.empty()) {
      std::fprintf(messages, "? %s: %s\n", printable(settings->path).c_str(),
                   settings->error.c_str());
      return RC_BAD_SETTINGS;
    }
    if (settings->th && (given & GIVEN_TH) == 0) layout.th = *settings->th;
    if (settings->cpos && (given & GIVEN_CPOS) == 0) layout.cpos = *settings->cpos;
    if (settings->csz && (given & GIVEN_CSZ) == 0) layout.csz = *settings->csz;
    if (settings->tabs && (given & GIVEN_TABS) == 0) layout.tabs = *settings->tabs;
    layout.cpp_style = layout.cpp_style || settings->cpp_style;
    layout.utf8 = layout.utf8 || settings->utf8;
    layout.trail = layout.trail || settings->trail;
    no_backup = no_backup || settings->no_backup;
  }
  order_columns(layout);
  return RC_OK;
}

}  // namespace quillet
