// Paths as text: split into a directory and a name, joined, and named from the current directory.
#pragma once

#include <string>
#include <string_view>

namespace quillet {

/// The directory part of a path ("." when it has none) and its last part.
struct PathParts {
  std::string directory;
  std::string name;
};

/// `path` split at its last "/".
[[nodiscard]] PathParts split_path(std::string_view path);

/// `path` as it names a place from the current directory: without "./" before it nor "/" after
/// it, and "" for the current directory itself.
[[nodiscard]] std::string plain_path(std::string_view path);

/// `directory` and `name` joined by a slash, as messages name a file of a walk.
[[nodiscard]] std::string join_path(std::string_view directory, std::string_view name);

/// `path`, named from the current directory or absolute, named instead from `top`, the absolute
/// top of the repository that holds the current directory, which is `prefix` below it ("", or
/// "src/"): "." and ".." are resolved as the path reads, with no "./" left. A path that leads out
/// of `top` comes back as it is.
[[nodiscard]] std::string path_from_top(std::string_view top, std::string_view prefix,
                                        std::string_view path);

}  // namespace quillet
