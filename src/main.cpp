// The program: the command line read, then one file run, or a tree.
#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

#include "base/failure.h"
#include "cli/options.h"
#include "platform/process.h"
#include "platform/streams.h"
#include "run/run.h"
#include "run/streams.h"
#include "tree/git.h"
#include "tree/tree.h"

namespace {

quillet::ResultCode run(int argc, char** argv) {
  quillet::Options options;
  const quillet::ResultCode rc = quillet::read_command_line(argc, argv, options, stdout, stderr);
  if ((rc != quillet::RC_OK && rc != quillet::RC_IN_PLACE) || options.answered) return rc;
  if (options.recursive) return quillet::run_tree(options, stdout);
  // Where standard output takes the text, a message there would be taken for it: an editor
  // would save it as the file.
  return quillet::run_file(options, quillet::report_names(options),
                           quillet::messages_for(options, stdout, stderr));
}

}  // namespace

int main(int argc, char** argv) {
  quillet::hold_standard_streams();
  // In UTF-8 on every system: Windows gives `argv` in its code page, where a name may not fit.
  std::vector<std::string> words = quillet::program_arguments(argc, argv);
  std::vector<char*> word_starts;
  for (std::string& word : words)
    word_starts.push_back(word.data());
  word_starts.push_back(nullptr);
  const quillet::ResultCode rc = run(argc, word_starts.data());
  // A diff or a report that did not reach standard output is no success: say so where it can
  // still be read.
  // A write that failed before the last flush left no reason that lasts: it is told as a failed
  // transfer.
  errno = 0;
  const bool flushed = std::fflush(stdout) == 0;
  const int error = flushed ? 0 : quillet::stream_error(errno);
  if ((!flushed || std::ferror(stdout) != 0) &&
      (rc == quillet::RC_OK || rc == quillet::RC_WOULD_CHANGE)) {
    return quillet::io_failed(stderr, quillet::Doing::WRITING, "standard output", error);
  }
  return rc;
}
