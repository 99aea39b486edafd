// Shell wildcards over paths, as fnmatch(3) reads them with FNM_PATHNAME, for a system without it.
#pragma once

#include <string_view>

namespace quillet::windows {

/// Whether `path` matches the shell wildcards of `pattern` byte by byte, as fnmatch(3) in the "C"
/// locale matches them with FNM_PATHNAME: "*" any bytes, "?" any one byte, "[...]" one of a set
/// ("!" or "^" first for its complement; ranges; classes such as "[:digit:]"), none of them a "/";
/// "\" takes the byte after it as it is.
[[nodiscard]] bool match_wildcards(std::string_view pattern, std::string_view path);

}  // namespace quillet::windows
