// The steps of an in-place swap: their POSIX forms.
#include "platform/in_place.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/posix/lists.h"
#include "platform/posix/native.h"
#include "platform/posix/system.h"

namespace quillet {

int lock_file(const File& file) {
  for (;;) {
    if (posix::flock(posix::descriptor(file), LOCK_EX) == 0) return 0;
    if (errno != EINTR) return errno;
  }
}

void FileLock::release() {
  if (lock_ == File::NONE) return;
  (void)File(lock_).close();  // the lock goes with the last descriptor of its open file
  lock_ = File::NONE;
}

int open_locked(const OpenDirectory& directory, const char* name, File& file, FileLock& lock,
                const FileId* first) {
  for (;;) {
    File opened;
    if (const int error = open_in(directory, name, Link::REFUSE, opened); error != 0) return error;
    if (first != nullptr) {
      FileFacts found;
      if (const int error = facts_of(opened, found); error != 0) return error;
      if (found.id != *first) return NOT_FIRST;
      first = nullptr;  // from here on, the file a run before this one put in place is taken
    }
    // The lock is taken through a copy of the descriptor, which keeps it once the file is closed.
    File copy(::fcntl(posix::descriptor(opened), F_DUPFD_CLOEXEC, 0));
    if (!copy.is_open()) return errno;
    if (lock_file(copy) != 0) {  // no locks here: on as without them
      file = std::move(opened);
      lock.release();
      return 0;
    }
    FileFacts locked;
    FileFacts named;
    if (facts_of(opened, locked) == 0 && facts_in(directory, name, named) == 0 &&
        locked.id == named.id) {
      file = std::move(opened);
      lock.hold(copy.release());
      return 0;
    }
    // The run before this one has put its result in place: that is the file to open now.
  }
}

int create_temporary_in(const OpenDirectory& directory, const char* name, File& file) {
  const int fd = posix::create_listed_temporary(posix::descriptor(directory), name);
  if (fd < 0) return errno;
  file = File(fd);
  return 0;
}

int replace_with_temporary(const OpenDirectory& directory, const char* name, const char* target,
                           const char*) {
  // The backup is untouched by the rename: nothing to say of it here.
  return posix::rename_listed_temporary(posix::descriptor(directory), name, target);
}

void forget_temporary(const OpenDirectory& directory, const char* name, bool remove) {
  posix::forget_listed_temporary(posix::descriptor(directory), name, remove);
}

int give_access(const File& made, const FileAccess& access) {
  // Only now, with every byte written, does the file take the owner, group and bits: a file cut
  // short by a kill stays private, and no write after this clears a set-id bit. Set-id bits are
  // kept only under the owner and group they were given for.
  const int fd = posix::descriptor(made);
  const auto owner = static_cast<uid_t>(access.owner);
  const auto group = static_cast<gid_t>(access.group);
  if (posix::fchown(fd, owner, group) != 0) {
    (void)posix::fchown(fd, static_cast<uid_t>(-1), group);  // the group alone, if allowed
  }
  struct stat status {};
  auto mode = static_cast<mode_t>(access.bits);
  if (::fstat(fd, &status) != 0 || status.st_uid != owner || status.st_gid != group) {
    mode &= static_cast<mode_t>(~(S_ISUID | S_ISGID));
  }
  if (posix::fchmod(fd, mode) == 0) return 0;
  const int error = errno;
  // Refused, but with the bits it has already: nothing is missing.
  return ::fstat(fd, &status) == 0 && (status.st_mode & 07777U) == mode ? 0 : error;
}

int remove_in(const OpenDirectory& directory, const char* name) {
  return posix::unlink_at(posix::descriptor(directory), name) == 0 ? 0 : errno;
}

int make_backup_in(const OpenDirectory& directory, const char* name, const char* backup) {
  // With the backup a second name of the file, a rename over the file replaces it in one step:
  // its name never names nothing, not even for a moment.
  const int fd = posix::descriptor(directory);
  if (posix::link_at(fd, name, backup) == 0 || posix::rename_at(fd, name, backup) == 0) return 0;
  return errno;
}

}  // namespace quillet
