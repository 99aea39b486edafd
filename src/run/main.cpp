#include <cstdio>
#include <memory>

#include "cli/options.h"
#include "diff/diff.h"
#include "io/interrupt.h"
#include "run/entry.h"
#include "run/io.h"
#include "settings/settings.h"
#include "tree/tree.h"

namespace {

quillet::ResultCode run(int argc, char** argv) {
  quillet::Options options;
  const quillet::ResultCode rc = quillet::parse_command_line(argc, argv, options, stdout);
  if (rc != quillet::RC_OK && rc != quillet::RC_IN_PLACE) return rc;
  options.colour = options.diff && quillet::wants_colour();
  // An interrupted in-place run leaves no temporary file behind.
  if (rc == quillet::RC_IN_PLACE) quillet::remove_temporaries_on_signal();
  if (options.recursive) return quillet::run_tree(options, stdout);
  if (!options.no_settings) {
    quillet::SettingsCache settings;
    const quillet::ResultCode found = quillet::apply_settings(
        *quillet::find_settings_for(settings, options.input_file), options, stdout);
    if (found != quillet::RC_OK) return found;
  }
  quillet::order_columns(options);
  const auto files = std::make_unique_for_overwrite<quillet::Files>();
  if (options.diff) {
    const auto diff = std::make_unique_for_overwrite<quillet::DiffInputs>();
    return quillet::diff_file(options, quillet::Target{.path = options.input_file}, *files, *diff,
                              stdout);
  }
  const quillet::Target target{.path = options.input_file};
  if (options.check) return quillet::check_file(options, target, *files, stdout);
  if (rc == quillet::RC_IN_PLACE) return quillet::rewrite_in_place(options, target, *files, stdout);
  return quillet::rewrite_to_file(options, *files, stdout);
}

}  // namespace

int main(int argc, char** argv) {
  quillet::hold_standard_streams();
  const quillet::ResultCode rc = run(argc, argv);
  // A diff or a report that did not reach standard output is no success: say so where it can
  // still be read.
  if ((std::fflush(stdout) != 0 || std::ferror(stdout) != 0) &&
      (rc == quillet::RC_OK || rc == quillet::RC_WOULD_CHANGE)) {
    std::fprintf(stderr, "? Error writing standard output\n");
    return quillet::RC_IO_ERROR;
  }
  return rc;
}
