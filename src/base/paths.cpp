// Paths as text: split into a directory and a name, joined, and named from the current directory.
#include "base/paths.h"

#include <algorithm>

namespace quillet {
namespace {

constexpr bool is_letter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

}  // namespace

std::size_t root_length(std::string_view path) {
  if (PATH_SEPARATORS.size() > 1) {  // Windows: drives and shares
    if (path.size() >= 2 && is_letter(path[0]) && path[1] == ':') {
      return path.size() > 2 && is_path_separator(path[2]) ? 3 : 2;
    }
    if (path.size() > 2 && is_path_separator(path[0]) && is_path_separator(path[1])) {
      // "//host/share/": the host and the share are the root.
      std::size_t end = path.find_first_of(PATH_SEPARATORS, 2);
      if (end != std::string_view::npos) end = path.find_first_of(PATH_SEPARATORS, end + 1);
      return end == std::string_view::npos ? path.size() : end + 1;
    }
  }
  return !path.empty() && is_path_separator(path[0]) ? 1 : 0;
}

bool is_absolute(std::string_view path) {
  const std::size_t root = root_length(path);
  return root > 0 && is_path_separator(path[root - 1]);
}

PathParts split_path(std::string_view path) {
  const std::size_t root = root_length(path);
  const std::size_t slash = path.find_last_of(PATH_SEPARATORS);
  if (slash == std::string_view::npos || slash < root) {
    // No separator past the root: the directory is the root itself ("C:" of "C:a.c"), or ".".
    return {root > 0 ? std::string(path.substr(0, root)) : std::string("."),
            std::string(path.substr(root))};
  }
  return {std::string(path.substr(0, slash)), std::string(path.substr(slash + 1))};
}

std::string plain_path(std::string_view path) {
  while (path.size() >= 2 && path[0] == '.' && is_path_separator(path[1]))
    path.remove_prefix(2);
  while (path.size() > 1 && is_path_separator(path.back()))
    path.remove_suffix(1);
  return path == "." ? std::string() : std::string(path);
}

std::string join_path(std::string_view directory, std::string_view name) {
  std::string path(directory);
  if (path.empty() || !is_path_separator(path.back())) path += '/';
  return path += name;
}

std::string path_from_top(std::string_view top, std::string_view prefix, std::string_view path) {
  std::string within;
  if (path.starts_with('/')) {
    if (top.empty() || !path.starts_with(top) || path.substr(top.size(), 1) != "/") {
      return std::string(path);
    }
    within = path.substr(top.size() + 1);
  } else {
    within = std::string(prefix) + '/' + std::string(path);
  }
  std::string named;
  for (std::size_t at = 0; at <= within.size();) {
    const std::size_t end = std::min(within.find('/', at), within.size());
    const std::string_view part = std::string_view(within).substr(at, end - at);
    at = end + 1;
    if (part.empty() || part == ".") continue;
    if (part != "..") {
      if (!named.empty()) named += '/';
      named += part;
      continue;
    }
    if (named.empty()) return std::string(path);  // above the top
    const std::size_t slash = named.rfind('/');
    named.erase(slash == std::string::npos ? 0 : slash);
  }
  return named;
}

}  // namespace quillet
