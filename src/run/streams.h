// The process's standard streams as a run needs them: each one there, and whether a diff on
// standard output is coloured.
#pragma once

namespace quillet {

/// Puts a stand-in on each standard stream that the process was started without, so that no file
/// the run opens takes its number: reading the stand-in for standard input and writing the ones
/// for standard output and error fail, as they would have.
void hold_standard_streams();

/// Whether a diff on standard output is coloured: it is a terminal and NO_COLOR is not set.
[[nodiscard]] bool wants_colour();

}  // namespace quillet
