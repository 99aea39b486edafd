// The files git reports changed since a revision, and the lines of each that were added or
// changed, read from git's plumbing.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "base/line_ranges.h"
#include "base/result.h"
#include "tree/git.h"

namespace quillet {

/// A file that git reports changed, with the lines of it that were added or changed.
struct ChangedFile {
  std::string path;  // from the current directory, as a walk names it
  LineRanges lines;
};

/// Reads the output of `git diff-index -p -U0 --no-prefix`: the files it shows with lines added or
/// changed, which git names from the work tree's top, named from its directory `prefix` ("" or
/// "src/lib/") here. Returns false, with nothing in `changed`, at a name with an empty, "." or
/// ".." part, which leads out of the work tree; that name is put in `outside`.
[[nodiscard]] bool read_changes(std::string_view diff, std::string_view prefix,
                                std::vector<ChangedFile>& changed, std::string& outside);

/// The C and C++ files (by name, as a walk takes them) that git reports changed between
/// `revision` and the working tree within `paths` (pathspecs taken literally), with their lines
/// added or changed: a deleted file and a hunk that only deletes lines select nothing, a renamed
/// file comes under its new name, an untracked file is no change. "REV..." is the merge base of
/// REV and HEAD; HEAD before the first commit, the empty tree. Git starts no program that a
/// configuration names. Returns RC_OK; RC_BAD_ARGUMENTS after saying why on `messages` (no git,
/// no work tree here, a range, git's reason); RC_IO_ERROR when git did not answer in time or
/// named a file outside the work tree.
[[nodiscard]] ResultCode changed_since(const Git& git, const char* revision,
                                       const std::vector<const char*>& paths,
                                       std::vector<ChangedFile>& changed, std::FILE* messages);

}  // namespace quillet
