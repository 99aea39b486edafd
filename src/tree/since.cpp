// The files git reports changed since a revision, and the lines of each that were added or
// changed, read from git's plumbing.
#include "tree/since.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <string_view>
#include <system_error>
#include <thread>
#include <utility>

#include "base/paths.h"
#include "base/quote.h"
#include "platform/directory.h"
#include "tree/git.h"
#include "tree/walk.h"

namespace quillet {
namespace {

// A decimal number at the start of `text`, moved past.
std::optional<std::uint64_t> take_number(std::string_view& text) {
  std::uint64_t value = 0;
  std::size_t n = 0;
  for (; n < text.size() && text[n] >= '0' && text[n] <= '9' && n < 18; ++n)
    value = value * 10 + static_cast<std::uint64_t>(text[n] - '0');
  if (n == 0) return std::nullopt;
  text.remove_prefix(n);
  return value;
}

// A hunk header, "@@ -A[,B] +C[,D] @@": the lines removed (B) and added from C on (D).
struct Hunk {
  std::uint64_t removed = 1;
  std::uint64_t first = 0;
  std::uint64_t added = 1;
};

std::optional<Hunk> read_hunk(std::string_view line) {
  Hunk hunk;
  if (!line.starts_with("@@ -")) return std::nullopt;
  line.remove_prefix(4);
  if (!take_number(line)) return std::nullopt;
  if (line.starts_with(",")) {
    line.remove_prefix(1);
    const std::optional<std::uint64_t> removed = take_number(line);
    if (!removed) return std::nullopt;
    hunk.removed = *removed;
  }
  if (!line.starts_with(" +")) return std::nullopt;
  line.remove_prefix(2);
  const std::optional<std::uint64_t> first = take_number(line);
  if (!first) return std::nullopt;
  hunk.first = *first;
  if (line.starts_with(",")) {
    line.remove_prefix(1);
    const std::optional<std::uint64_t> added = take_number(line);
    if (!added) return std::nullopt;
    hunk.added = *added;
  }
  return hunk;
}

// Prints what git said was wrong, line by line.
ResultCode git_failed(std::string_view errors, std::FILE* messages) {
  bool said = false;
  for (std::size_t at = 0; at < errors.size();) {
    const std::size_t end = std::min(errors.find('\n', at), errors.size());
    if (end > at) {
      std::fprintf(messages, "? git: %s\n", printable(errors.substr(at, end - at)).c_str());
      said = true;
    }
    at = end + 1;
  }
  if (!said) std::fprintf(messages, "? git failed, and said nothing\n");
  return RC_BAD_ARGUMENTS;
}

// A git that is held (by a FIFO planted where it reads, say) was stopped: nothing was read.
ResultCode git_late(const char* revision, std::FILE* messages) {
  std::fprintf(messages, "? Error reading the changes since %s: git did not answer in time\n",
               printable(revision).c_str());
  return RC_IO_ERROR;
}

// The lines of `text`, each without its newline.
std::vector<std::string_view> lines_of(std::string_view text) {
  std::vector<std::string_view> lines;
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t end = std::min(text.find('\n', at), text.size());
    lines.push_back(text.substr(at, end - at));
    at = end + 1;
  }
  return lines;
}

// Whether `text` is an object name as git prints one in full.
bool is_object_name(std::string_view text) {
  return (text.size() == 40 || text.size() == 64) &&
         std::all_of(text.begin(), text.end(),
                     [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

// Whether this process's directory is `prefix` ("" or ending in "/") below `top`, where git's
// work tree begins. A work tree set elsewhere (core.worktree, or a .git file leading to another
// repository that sets it) would have git name files that are not below this directory.
bool is_here(std::string_view top, std::string_view prefix) {
  std::string here;
  if (current_directory(here) != 0) return false;
  std::string expected(top);
  if (!prefix.empty()) {
    if (!expected.ends_with('/')) expected += '/';
    expected.append(prefix.substr(0, prefix.size() - 1));
  }
  return here == expected;
}

// `name`, a path from the work tree's top, as a path from its directory `prefix`: the directories
// both start with are passed over, and each other one of the prefix's is a step up.
std::string from_here(std::string_view prefix, std::string_view name) {
  while (!prefix.empty()) {
    const std::string_view first = prefix.substr(0, prefix.find('/') + 1);
    if (!name.starts_with(first)) break;
    prefix.remove_prefix(first.size());
    name.remove_prefix(first.size());
  }
  std::string path;
  for (const char c : prefix) {
    if (c == '/') path += "../";
  }
  path += name;
  return path;
}

// Whether `name`, from the work tree's top, stays below it.
bool stays_below(std::string_view name) {
  for (std::size_t at = 0; at <= name.size();) {
    const std::size_t end = std::min(name.find('/', at), name.size());
    const std::string_view part = name.substr(at, end - at);
    if (part.empty() || part == "." || part == "..") return false;
    at = end + 1;
  }
  return true;
}

// Whether HEAD names a branch that has no commit yet, as before a repository's first commit.
bool is_unborn(const Git& program) {
  std::string branch;
  ChildResult git = run_git(program, {"symbolic-ref", "--quiet", "HEAD"}, nullptr, branch, nullptr);
  if (!git.finished || git.status != 0 || !branch.ends_with('\n')) return false;
  branch.pop_back();
  std::string ignored;
  git = run_git(program, {"show-ref", "--verify", "--quiet", branch.c_str()}, nullptr, ignored,
                nullptr);
  return git.finished && git.status == 1;
}

// The tree to compare with when `revision` is no revision that git verifies: "REV..." is the
// merge base of REV and HEAD, where HEAD left REV; HEAD before the first commit is the empty tree.
// Anything else is refused, a range (which would compare two commits, not the working tree)
// with a message of its own.
ResultCode other_base(const Git& program, const char* revision, std::string_view format,
                      std::string& base, std::FILE* messages) {
  const std::string_view text = revision;
  std::string output;
  std::string errors;
  if (text.size() > 3 && text.ends_with("...")) {
    const std::string left(text.substr(0, text.size() - 3));
    const ChildResult git =
        run_git(program, {"merge-base", "--end-of-options", left.c_str(), "HEAD"}, nullptr, output,
                &errors);
    if (!git.finished) return git_late(revision, messages);
    if (git.status == 1 && errors.empty()) {
      std::fprintf(messages, "? -since %s: no merge base with HEAD\n", printable(text).c_str());
      return RC_BAD_ARGUMENTS;
    }
    const std::vector<std::string_view> lines = lines_of(output);
    if (git.status != 0 || lines.empty() || !is_object_name(lines[0])) {
      return git_failed(errors, messages);
    }
    base = lines[0];
    return RC_OK;
  }
  if (text == "HEAD" && is_unborn(program)) {
    base = format == "sha256" ? "6ef19b41225c5369f1c104d45d8d85efa9b057b53b14b4b9b939dd74decc5321"
                              : "4b825dc642cb6eb9a060e54bf8d69288fbee4904";
    return RC_OK;
  }
  // Read as revisions, not as one: git says why it reads none.
  const ChildResult git =
      run_git(program, {"rev-parse", "--end-of-options", revision, "--"}, nullptr, output, &errors);
  if (!git.finished) return git_late(revision, messages);
  if (git.status != 0) return git_failed(errors, messages);
  std::fprintf(messages, "? -since takes a single revision, not a range: %s\n",
               printable(text).c_str());
  return RC_BAD_ARGUMENTS;
}

// Settings, for git's environment, that leave every filter driver named in `names` (the keys of
// git's configuration that start with "filter.", each ended by a NUL) without a program: an empty
// command is no filter, and git then reads each file as it is. A clean filter would run even where
// git only compares a file whose time stamp it cannot trust. A driver's name is the tree's choice,
// so the names are asked, and passed where no name can break the key; the user's own settings
// given so come first, and stay.
ResultCode without_filters(std::string_view names, std::vector<std::string>& environment,
                           std::FILE* messages) {
  std::vector<std::string_view> drivers;
  for (std::size_t at = 0; at < names.size();) {
    const std::size_t end = std::min(names.find('\0', at), names.size());
    const std::string_view name = names.substr(at, end - at);
    at = end + 1;
    const std::size_t last = name.rfind('.');
    if (name.starts_with("filter.") && last >= 7) drivers.push_back(name.substr(7, last - 7));
  }
  if (drivers.empty()) return RC_OK;
  std::sort(drivers.begin(), drivers.end());
  drivers.erase(std::unique(drivers.begin(), drivers.end()), drivers.end());
  std::uint64_t count = 0;
  if (const std::optional<std::string> given = environment_variable("GIT_CONFIG_COUNT");
      given && !given->empty()) {
    std::string_view digits = *given;
    const std::optional<std::uint64_t> number = take_number(digits);
    if (!number || !digits.empty()) {
      std::fprintf(messages, "? GIT_CONFIG_COUNT is no count: %s\n", printable(*given).c_str());
      return RC_BAD_ARGUMENTS;
    }
    count = *number;
  }
  constexpr std::array<std::pair<std::string_view, std::string_view>, 4> BLANK = {
      {{"clean", ""}, {"smudge", ""}, {"process", ""}, {"required", "false"}}};
  for (const std::string_view driver : drivers) {
    for (const auto& [key, value] : BLANK) {
      const std::string n = std::to_string(count++);
      environment.push_back("GIT_CONFIG_KEY_" + n + "=filter." + std::string(driver) + "." +
                            std::string(key));
      environment.push_back("GIT_CONFIG_VALUE_" + n + "=" + std::string(value));
    }
  }
  environment.push_back("GIT_CONFIG_COUNT=" + std::to_string(count));
  return RC_OK;
}

}  // namespace

bool read_changes(std::string_view diff, std::string_view prefix, std::vector<ChangedFile>& changed,
                  std::string& outside) {
  changed.clear();
  ChangedFile* file = nullptr;   // the file whose hunks come now, if any
  std::uint64_t body_lines = 0;  // lines of the current hunk still to pass over
  for (std::size_t at = 0; at < diff.size();) {
    const std::size_t end = std::min(diff.find('\n', at), diff.size());
    const std::string_view line = diff.substr(at, end - at);
    at = end + 1;
    // A hunk's own lines may look like anything, headers too: they are counted, not read.
    if (body_lines > 0) {
      if (!line.starts_with("\\")) --body_lines;  // "\ No newline at end of file" is no line
      continue;
    }
    if (line.starts_with("diff ")) {
      file = nullptr;
    } else if (line.starts_with("+++ ")) {
      std::string_view name = line.substr(4);
      // git ends a name that holds a blank with a tab, for patch's sake; a quoted name holds
      // its own tabs escaped.
      if (name.ends_with("\t")) name.remove_suffix(1);
      const std::optional<std::string> unquoted = unquote(name);
      file = nullptr;
      if (name != "/dev/null" && unquoted) {  // /dev/null: the file was deleted
        if (!stays_below(*unquoted)) {
          outside = *unquoted;
          changed.clear();
          return false;
        }
        changed.push_back({from_here(prefix, *unquoted), {}});
        file = &changed.back();
      }
    } else if (const std::optional<Hunk> hunk = read_hunk(line)) {
      body_lines = hunk->removed + hunk->added;
      if (file != nullptr && hunk->added > 0) {
        file->lines.add({hunk->first, hunk->first + hunk->added - 1});
      }
    }
  }
  std::erase_if(changed, [](const ChangedFile& one) {
    return one.lines.ranges.empty() || !is_source_name(split_path(one.path).name);
  });
  for (ChangedFile& one : changed)
    one.lines.settle();
  return true;
}

ResultCode changed_since(const Git& program, const char* revision,
                         const std::vector<const char*>& paths, std::vector<ChangedFile>& changed,
                         std::FILE* messages) {
  // Where this directory lies in git's work tree, with the revision, is asked at the same time
  // as the filter drivers that git's configuration defines: neither answer waits for the other.
  std::string place;
  std::string errors;
  std::string names;
  std::string name_errors;
  ChildResult git;
  ChildResult listed;
  {
    const auto list = [&] {
      listed = run_git(program, {"config", "-z", "--name-only", "--get-regexp", "^filter\\."},
                       nullptr, names, &name_errors);
    };
    std::optional<std::jthread> lister;
    // std::thread tells its failure only by throwing; without a thread the two are asked in turn.
    try {
      lister.emplace(list);
    } catch (const std::system_error&) {
      list();
    }
    git = run_git(program,
                  {"rev-parse", "--show-object-format", "--show-toplevel", "--show-prefix",
                   "--verify", "--quiet", "--end-of-options", revision},
                  nullptr, place, &errors);
  }
  if (!git.started) {
    std::fprintf(messages, "? -since needs git, which cannot be run\n");
    return RC_BAD_ARGUMENTS;
  }
  if (!git.finished || (listed.started && !listed.finished)) return git_late(revision, messages);
  const std::vector<std::string_view> lines = lines_of(place);
  if (lines.size() < 3) return git_failed(errors, messages);  // no work tree here
  const std::string_view top = lines[1];
  const std::string_view prefix = lines[2];
  if (!is_here(top, prefix)) {
    std::fprintf(messages, "? The current directory is outside git's work tree, %s\n",
                 printable(top).c_str());
    return RC_BAD_ARGUMENTS;
  }
  std::string base;
  if (git.status == 0 && lines.size() == 4 && is_object_name(lines[3])) {
    base = lines[3];
  } else if (const ResultCode rc = other_base(program, revision, lines[0], base, messages);
             rc != RC_OK) {
    return rc;
  }

  // Git is let start nothing the configuration names (filters, a transport to fetch what a
  // partial clone lacks), and no setting reshapes the diff: plumbing reads none of the user's
  // diff settings, and every choice it leaves open is made here.
  if (!listed.started || (listed.status != 0 && listed.status != 1)) {  // 1: there are none
    return git_failed(name_errors, messages);
  }
  std::vector<std::string> environment = {"GIT_ALLOW_PROTOCOL=", "GIT_DIFF_OPTS=--unified=0"};
  if (const ResultCode rc = without_filters(names, environment, messages); rc != RC_OK) return rc;
  std::vector<const char*> argv = {"--no-pager",
                                   "--literal-pathspecs",
                                   "-c",
                                   "core.quotePath=true",
                                   "diff-index",
                                   "-p",
                                   "-U0",
                                   "--inter-hunk-context=0",
                                   "--no-color",
                                   "--no-ext-diff",
                                   "--no-textconv",
                                   "--text",
                                   "--no-prefix",
                                   "--no-relative",
                                   "--find-renames",
                                   "--ignore-submodules=all",
                                   "--submodule=short",
                                   base.c_str(),
                                   "--"};
  argv.insert(argv.end(), paths.begin(), paths.end());
  std::string diff;
  errors.clear();
  git = run_git(program, argv, nullptr, diff, &errors, environment);
  if (!git.finished) return git_late(revision, messages);
  if (git.status != 0) return git_failed(errors, messages);
  if (std::string outside; !read_changes(diff, prefix, changed, outside)) {
    std::fprintf(messages,
                 "? Error reading the changes since %s: git named %s, outside the work tree\n",
                 printable(revision).c_str(), printable(outside).c_str());
    return RC_IO_ERROR;
  }
  return RC_OK;
}

}  // namespace quillet
