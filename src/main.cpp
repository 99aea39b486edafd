#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "cli/options.h"
#include "io/interrupt.h"
#include "platform/process.h"
#include "rewrite/run_one.h"
#include "settings/settings.h"
#include "tree/tree.h"

namespace {

quillet::ResultCode run(int argc, char** argv) {
  quillet::Options options;
  const quillet::ResultCode rc = quillet::parse_command_line(argc, argv, options, stdout, stderr);
  if ((rc != quillet::RC_OK && rc != quillet::RC_IN_PLACE) || options.version_shown) return rc;
  // Where standard output takes the text, a message there would be taken for it: an editor
  // would save it as the file.
  std::FILE* const messages = quillet::messages_for(options, stdout, stderr);
  // An interrupted run leaves no temporary file behind, and no git of a tree run running.
  if (options.mode == quillet::Mode::IN_PLACE || options.recursive) quillet::clean_up_on_signal();
  const bool colour = options.mode == quillet::Mode::DIFF && quillet::wants_colour();
  if (options.recursive) return quillet::run_tree(options, colour, stdout);

  quillet::FileRun file{.mode = options.mode,
                        .layout = options.layout,
                        .no_backup = options.no_backup,
                        .colour = colour,
                        .output_file = options.output_file,
                        .lines = &options.lines,
                        .report = options.report};
  // Standard input named with -as is taken as that file: its settings, its exclusions. A file
  // named alone is run whatever excludes it.
  const char* const path = options.as_path != nullptr ? options.as_path : options.input_file;
  quillet::SettingsCache cache;
  const quillet::FileSettings settings = quillet::settings_for_file(
      cache, path, !options.no_settings,
      options.as_path != nullptr ? quillet::command_line_exclusions(options.excludes) : nullptr);
  if (const quillet::ResultCode settled =
          quillet::settle_options(options.no_settings ? nullptr : settings.options.get(),
                                  options.given, file.layout, file.no_backup, messages);
      settled != quillet::RC_OK) {
    return settled;
  }
  // An excluded buffer goes back as it came: no line may change, and none is lost.
  static const quillet::LineRanges no_line{{{0, 0}}};
  if (options.as_path != nullptr && settings.excluded) file.lines = &no_line;
  const auto buffers = std::make_unique_for_overwrite<quillet::Buffers>();
  return quillet::run_one_file(
      file, quillet::Target{.path = options.input_file, .label = options.as_path}, *buffers,
      messages);
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
  if ((std::fflush(stdout) != 0 || std::ferror(stdout) != 0) &&
      (rc == quillet::RC_OK || rc == quillet::RC_WOULD_CHANGE)) {
    std::fprintf(stderr, "? Error writing standard output\n");
    return quillet::RC_IO_ERROR;
  }
  return rc;
}
