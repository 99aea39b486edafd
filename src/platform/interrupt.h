// What an interrupted process cleans up before it ends: its children and its temporary files.
#pragma once

namespace quillet {

/// From now on SIGINT, SIGTERM and SIGHUP (each unless it was ignored when the process started)
/// end the process only after the children run_child started are killed with whatever they
/// started, and the temporary files create_temporary_in made are removed; then it ends by the
/// signal, as it would have. Call before any other thread starts: the signals are waited for by a
/// thread of their own; when none can start, they end the process at once, as they would have.
void clean_up_on_signal();

}  // namespace quillet
