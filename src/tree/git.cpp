// How a run asks git: the program found once, and the settings that keep a tree's own
// configuration from starting a program.
#include "tree/git.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string_view>

namespace quillet {

Git find_git() {
  Git git;
  const char* const path = std::getenv("PATH");
  if (path == nullptr) return git;
  const std::string_view entries = path;
  for (std::size_t at = 0; at <= entries.size();) {
    const std::size_t end = std::min(entries.find(':', at), entries.size());
    const std::string_view entry = entries.substr(at, end - at);
    at = end + 1;
    if (!entry.starts_with("/")) continue;
    std::string candidate(entry);
    if (!candidate.ends_with("/")) candidate += '/';
    candidate += "git";
    struct stat candidate_stat {};
    if (::stat(candidate.c_str(), &candidate_stat) == 0 && S_ISREG(candidate_stat.st_mode) &&
        ::access(candidate.c_str(), X_OK) == 0) {
      git.program = std::move(candidate);
      return git;
    }
  }
  return git;
}

ChildResult run_git(const Git& git, const std::vector<const char*>& args, int directory,
                    std::string& output, std::string* errors,
                    const std::vector<std::string>& environment) {
  if (git.program.empty()) return {};
  // A repository's configuration could name a program for git to start while it only reads;
  // a setting given here comes before any of it.
  std::vector<const char*> argv = {git.program.c_str(), "-c", "core.fsmonitor=false"};
  argv.insert(argv.end(), args.begin(), args.end());
  return run_child(argv, directory, output, errors, git.timeout_ms, environment);
}

}  // namespace quillet
