#include "tree/since.h"

#include <cstdint>
#include <optional>
#include <string_view>

#include "base/quote.h"
#include "io/descriptor.h"
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

}  // namespace

std::vector<ChangedFile> read_changes(std::string_view diff, std::string_view top) {
  std::vector<ChangedFile> changed;
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
        changed.push_back({std::string(top) + *unquoted, {}});
        file = &changed.back();
      }
    } else if (const std::optional<Hunk> hunk = read_hunk(line)) {
      body_lines = hunk->removed + hunk->added;
      if (file != nullptr && hunk->added > 0) {
        file->lines.add({hunk->first, hunk->first + hunk->added - 1});
      }
    }
  }
  std::vector<ChangedFile> kept;
  for (ChangedFile& one : changed) {
    if (one.lines.ranges.empty() || !is_source_name(split_path(one.path).name)) continue;
    one.lines.settle();
    kept.push_back(std::move(one));
  }
  return kept;
}

ResultCode changed_since(const Git& program, const char* revision,
                         const std::vector<const char*>& paths, std::vector<ChangedFile>& changed,
                         std::FILE* messages) {
  std::string top;
  std::string errors;
  ChildResult git = run_git(program, {"rev-parse", "--show-cdup"}, -1, top, &errors);
  if (!git.started) {
    std::fprintf(messages, "? -since needs git, which cannot be run\n");
    return RC_BAD_ARGUMENTS;
  }
  if (!git.finished) return git_late(revision, messages);
  if (git.status != 0) return git_failed(errors, messages);
  while (!top.empty() && (top.back() == '\n' || top.back() == '\r'))
    top.pop_back();
  // Every choice a user's configuration could make otherwise is made here; the revision comes
  // after --end-of-options, so that it cannot be taken for an option.
  std::vector<const char*> argv = {"-c",
                                   "core.quotePath=true",
                                   "--literal-pathspecs",
                                   "diff",
                                   "-U0",
                                   "--no-color",
                                   "--no-ext-diff",
                                   "--no-textconv",
                                   "--no-prefix",
                                   "--no-relative",
                                   "--find-renames",
                                   "--end-of-options",
                                   revision,
                                   "--"};
  argv.insert(argv.end(), paths.begin(), paths.end());
  std::string diff;
  errors.clear();
  git = run_git(program, argv, -1, diff, &errors);
  if (!git.finished) return git_late(revision, messages);
  if (git.status != 0) return git_failed(errors, messages);
  changed = read_changes(diff, top);
  return RC_OK;
}

}  // namespace quillet
