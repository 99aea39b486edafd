#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "base/lines.h"
#include "base/result.h"
#include "tree/git.h"

namespace quillet {

/// A file that git reports changed, with the lines of it that were added or changed.
struct ChangedFile {
  std::string path;  // from the current directory
  LineRanges lines;
};

/// Reads the output of `git diff-index -p -U0 --no-prefix`: the files it shows with lines added or
/// changed, named from the work tree's top, which is `top` from here ("" or "../..").
[[nodiscard]] std::vector<ChangedFile> read_changes(std::string_view diff, std::string_view top);

/// The C and C++ files (by name, as a walk takes them) that git reports changed between
/// `revision` and the working tree, within `paths` (pathspecs taken literally), with their lines
/// added or changed, asked of git itself: a deleted file and a hunk that only deletes lines
/// select nothing, a renamed file comes under its new name, an untracked file is no change.
/// Git starts no program that a configuration names. Returns RC_OK; RC_BAD_ARGUMENTS after printing
/// git's reason (no git, no work tree, an unknown revision) on `messages`; or RC_IO_ERROR when git
/// did not answer in time.
[[nodiscard]] ResultCode changed_since(const Git& git, const char* revision,
                                       const std::vector<const char*>& paths,
                                       std::vector<ChangedFile>& changed, std::FILE* messages);

}  // namespace quillet
