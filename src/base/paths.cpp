// Paths as text: split into a directory and a name, joined, and named from the current directory.
#include "base/paths.h"

#include <algorithm>

namespace quillet {

PathParts split_path(std::string_view path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string_view::npos) return {".", std::string(path)};
  return {std::string(path.substr(0, slash == 0 ? 1 : slash)), std::string(path.substr(slash + 1))};
}

std::string plain_path(std::string_view path) {
  while (path.starts_with("./"))
    path.remove_prefix(2);
  while (path.size() > 1 && path.back() == '/')
    path.remove_suffix(1);
  return path == "." ? std::string() : std::string(path);
}

std::string join_path(std::string_view directory, std::string_view name) {
  std::string path(directory);
  if (path.empty() || path.back() != '/') path += '/';
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
