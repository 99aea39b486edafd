// Paths as text: split into a directory and a name, joined, and named from the current directory.
#include "base/paths.h"

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

}  // namespace quillet
