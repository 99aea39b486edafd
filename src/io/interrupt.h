#pragma once

namespace quillet {

/// From now on SIGINT, SIGTERM and SIGHUP (each unless it was ignored when the process started)
/// end the process only after the temporary files made through create_temporary_file are
/// removed; then it ends by the signal, as it would have. Call before any other thread starts:
/// the signals are waited for by a thread of their own; when none can start, they end the process
/// at once, as they would have.
void remove_temporaries_on_signal();

/// Creates the temporary file `name` in `directory` afresh, readable and writable by its owner
/// only, never through a link, and keeps it on the list a signal removes. Returns its descriptor,
/// or -1 with errno set.
[[nodiscard]] int create_temporary_file(int directory, const char* name);

/// Renames the temporary file `name` over `target`, both in `directory`, and takes it off the list.
/// Returns what renameat returns.
[[nodiscard]] int rename_temporary_file(int directory, const char* name, const char* target);

/// Takes the temporary file `name` off the list, removing it first with `remove`.
void forget_temporary_file(int directory, const char* name, bool remove);

}  // namespace quillet
