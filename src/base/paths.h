// Paths as text: split into a directory and a name, joined, and named from the current directory.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace quillet {

/// The bytes that separate the parts of a path: "/", and on Windows "\" too.
#if defined(_WIN32)
inline constexpr std::string_view PATH_SEPARATORS = "/\\";
#else
inline constexpr std::string_view PATH_SEPARATORS = "/";
#endif

/// Whether `c` separates the parts of a path.
constexpr bool is_path_separator(char c) {
  return PATH_SEPARATORS.find(c) != std::string_view::npos;
}

/// The length of the root that `path` starts with, which names a place without the current
/// directory's help: "/" (1); on Windows a drive ("C:", 2, which still takes the drive's current
/// directory; "C:/", 3) or a share ("//host/share/"). 0 for a relative path.
[[nodiscard]] std::size_t root_length(std::string_view path);

/// Whether `path` names a place without the current directory's help.
[[nodiscard]] bool is_absolute(std::string_view path);

/// The directory part of a path ("." when it has none) and its last part.
struct PathParts {
  std::string directory;
  std::string name;
};

/// `path` split at its last separator; a root stays whole ("/" of "/a.c", "C:/" of "C:/a.c").
[[nodiscard]] PathParts split_path(std::string_view path);

/// `path` as it names a place from the current directory: without "./" before it nor a separator
/// after it, and "" for the current directory itself.
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
