// How a run asks git: the program found once, and the settings that keep a tree's own
// configuration from starting a program.
#pragma once

#include <string>
#include <vector>

#include "options/options.h"
#include "platform/child.h"
#include "platform/directory.h"
#include "run/run.h"

namespace quillet {

/// The git that a run asks, found once before anything is walked.
struct Git {
  std::string program;      // an absolute path; empty when git is not installed
  int timeout_ms = 10'000;  // how long git may take to answer: one question, or a whole walk
};

/// Finds git in the entries of PATH that are absolute paths: an empty or relative entry would find
/// a program of the tree being walked. QUILLET_GIT_TIMEOUT_MS, a number above 0, sets the time.
[[nodiscard]] Git find_git();

/// Runs `git` with `args` (the words after "git") in `directory` (nullptr: this process's), as
/// run_child runs a program, with settings before the words that keep the repository's own
/// configuration from starting any program, and with each "NAME=value" of `changes` in its
/// environment (see changed_environment). Not started when `git` was not found.
[[nodiscard]] ChildResult run_git(const Git& git, const std::vector<const char*>& args,
                                  const OpenDirectory* directory, std::string& output,
                                  std::string* errors,
                                  const std::vector<std::string>& changes = {});

/// How `options`' GitHub reports name files: from the top of the git work tree that holds the
/// current directory, asked of `git` (nullptr: found here). Nothing is asked but with
/// -report github; outside a work tree, or without git, files are named from here.
[[nodiscard]] ReportNames report_names(const Options& options, const Git* git = nullptr);

/// Runs git as run_git does, to ask about `directory` alone: without the variables by which a git
/// hook names its own repository, and fetching nothing, so that a partial clone starts no
/// transport that its configuration names.
[[nodiscard]] ChildResult run_git_in(const Git& git, const std::vector<const char*>& args,
                                     const OpenDirectory& directory, std::string& output,
                                     std::string* errors);

}  // namespace quillet
