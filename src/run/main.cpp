#include <cstdio>

#include "cli/options.h"
#include "run/entry.h"

int main(int argc, char** argv) {
  quillet::hold_standard_streams();
  quillet::Options options;
  const quillet::ResultCode rc = quillet::parse_command_line(argc, argv, options, stdout);
  if (rc != quillet::RC_OK && rc != quillet::RC_IN_PLACE) return rc;
  if (options.check) return quillet::check_file(options, stdout);
  if (rc == quillet::RC_IN_PLACE) return quillet::rewrite_in_place(options, stdout);
  return quillet::rewrite_to_file(options, stdout);
}
