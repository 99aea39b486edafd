// The steps of an in-place swap: the lock on the file, the temporary file beside it, the backup,
// and the replacement of the file by the temporary one in one step.
#pragma once

#include <cerrno>

#include "platform/directory.h"
#include "platform/file.h"

namespace quillet {

// Each call below returns 0, or the system's error number.

/// Waits until no other process holds a lock on `file`, then holds one until `file` is closed.
/// A file system without locks says so (ENOLCK, EOPNOTSUPP...) at once.
[[nodiscard]] int lock_file(const File& file);

/// Keeps the other in-place runs off one file while it lives (see open_locked). Let go of by the
/// thread that took it.
class FileLock {
 public:
  FileLock() = default;
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;
  ~FileLock() { release(); }

  [[nodiscard]] bool is_held() const { return lock_ != File::NONE; }
  /// Lets the lock go, if it holds one.
  void release();
  /// Lets go of what it holds, and holds the system's lock `lock` instead.
  void hold(File::Handle lock) {
    release();
    lock_ = lock;
  }

 private:
  File::Handle lock_ = File::NONE;  // the system's: a descriptor, or a mutex
};

/// What open_locked returns for a file that is not the one it was to find first: the number of a
/// stale file (Windows's C library has none, so it takes Linux's).
#ifdef ESTALE
inline constexpr int NOT_FIRST = ESTALE;
#else
inline constexpr int NOT_FIRST = 116;
#endif

/// Opens the file `name` of `directory` to read it, as open_in does with Link::REFUSE, once no
/// other in-place run holds it, and keeps them off it in `lock` until `lock` goes, whether `file`
/// is closed before then or not (on Windows, where no file open elsewhere can be renamed over,
/// it must be). Should the name lead to another file by then (a run before this one put its
/// result in place), that one is opened. Where the file system has no locks, `lock` holds none.
/// With `first`, the file the name leads to before any wait must be that one, else NOT_FIRST.
[[nodiscard]] int open_locked(const OpenDirectory& directory, const char* name, File& file,
                              FileLock& lock, const FileId* first = nullptr);

/// Creates the temporary file `name` in `directory` afresh, to write it: readable and writable by
/// its owner alone, never through a link, never over a file there. Until it is renamed or
/// forgotten, an interrupted process removes it (see clean_up_on_signal).
[[nodiscard]] int create_temporary_in(const OpenDirectory& directory, const char* name, File& file);

/// Renames the temporary file `name` over `target`, both in `directory`, in one step: `target`
/// names the old file or the new one at every moment. The file is no temporary one from then on.
/// `backup` (nullptr: none) names the old file too (see make_backup_in), and keeps what it was.
[[nodiscard]] int replace_with_temporary(const OpenDirectory& directory, const char* name,
                                         const char* target, const char* backup);

/// The temporary file `name` of `directory` is no temporary one any more; with `remove` it is
/// removed first.
void forget_temporary(const OpenDirectory& directory, const char* name, bool remove);

/// Gives the file `made` the owner and group of `access` as far as this process may, then its
/// permission bits, a set-user or set-group bit only under the owner and group it was given for.
[[nodiscard]] int give_access(const File& made, const FileAccess& access);

/// Removes the name `name` from `directory` (not what a link there leads to).
[[nodiscard]] int remove_in(const OpenDirectory& directory, const char* name);

/// Makes `backup` a name of the file `name` in `directory`: a second name where the file system
/// allows hard links, so that `name` keeps naming it, else by renaming it so.
[[nodiscard]] int make_backup_in(const OpenDirectory& directory, const char* name,
                                 const char* backup);

}  // namespace quillet
