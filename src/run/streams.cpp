#include "run/streams.h"

#include "platform/child.h"
#include "platform/file.h"

namespace quillet {

void hold_standard_streams() { fill_missing_standard_streams(); }

bool wants_colour() {
  return is_terminal(standard_output()) && !environment_variable("NO_COLOR").has_value();
}

}  // namespace quillet
