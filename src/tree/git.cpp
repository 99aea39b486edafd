// How a run asks git: the program found once, and the settings that keep a tree's own
// configuration from starting a program.
#include "tree/git.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

#include "options/options.h"

namespace quillet {

Git find_git() {
  Git git;
  // A test need not wait ten seconds for a git it holds on purpose.
  if (const std::optional<std::string> limit = environment_variable("QUILLET_GIT_TIMEOUT_MS")) {
    if (const std::int32_t ms = parse_number(limit->c_str(), 0); ms > 0) git.timeout_ms = ms;
  }
  git.program = find_program("git");
  return git;
}

namespace {

ChildResult start_git(const Git& git, const std::vector<const char*>& args,
                      const OpenDirectory* directory, const std::vector<const char*>* environment,
                      std::string& output, std::string* errors) {
  if (git.program.empty()) return {};
  // A repository's configuration could name a program for git to start while it only reads;
  // a setting given here comes before any of it.
  std::vector<const char*> argv = {git.program.c_str(), "-c", "core.fsmonitor=false"};
  argv.insert(argv.end(), args.begin(), args.end());
  return run_child(argv, directory, environment, output, errors, git.timeout_ms);
}

}  // namespace

ChildResult run_git(const Git& git, const std::vector<const char*>& args,
                    const OpenDirectory* directory, std::string& output, std::string* errors,
                    const std::vector<std::string>& changes) {
  if (changes.empty()) return start_git(git, args, directory, nullptr, output, errors);
  const std::vector<const char*> environment = changed_environment(changes);
  return start_git(git, args, directory, &environment, output, errors);
}

ChildResult run_git_in(const Git& git, const std::vector<const char*>& args,
                       const OpenDirectory& directory, std::string& output, std::string* errors) {
  // What a git hook leaves set names the repository that ran it (what git's own
  // `rev-parse --local-env-vars` lists, but the -c settings of the user's command): asked with
  // them, a nested repository would answer for that one.
  // clang-format off
  constexpr std::array<std::string_view, 14> LEFT_OUT = {
      "GIT_ALTERNATE_OBJECT_DIRECTORIES", "GIT_CONFIG", "GIT_OBJECT_DIRECTORY", "GIT_DIR",
      "GIT_WORK_TREE", "GIT_IMPLICIT_WORK_TREE", "GIT_GRAFT_FILE", "GIT_INDEX_FILE",
      "GIT_NO_REPLACE_OBJECTS", "GIT_REPLACE_REF_BASE", "GIT_PREFIX", "GIT_INTERNAL_SUPER_PREFIX",
      "GIT_SHALLOW_FILE", "GIT_COMMON_DIR"};
  // clang-format on
  // A partial clone fetches an object it lacks (a .gitignore outside a sparse checkout, say)
  // through whatever its configuration names: a remote's upload-pack, an ssh command, a remote
  // helper. An allowed list of no protocol refuses them all, whatever the configuration allows.
  const std::vector<std::string> allow_none = {"GIT_ALLOW_PROTOCOL="};
  const std::vector<const char*> environment = changed_environment(allow_none, LEFT_OUT);
  return start_git(git, args, &directory, &environment, output, errors);
}

ReportNames report_names(const Options& options, const Git* git) {
  ReportNames names;
  if (options.report != Report::GITHUB) return names;
  std::string output;
  const ChildResult asked =
      run_git(git != nullptr ? *git : find_git(), {"rev-parse", "--show-toplevel", "--show-prefix"},
              nullptr, output, nullptr);
  const std::size_t end = output.find('\n');
  if (!asked.finished || asked.status != 0 || end == std::string::npos) return names;
  names.top = output.substr(0, end);
  names.prefix = output.substr(end + 1);
  if (names.prefix.ends_with('\n')) names.prefix.pop_back();
  return names;
}

}  // namespace quillet
