#include "io/in_place.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdlib>

#include "base/quote.h"
#include "io/interrupt.h"

namespace quillet {
namespace {

std::string temporary_name(const Place& place) { return place.name + ".tmp"; }
std::string backup_name(const Place& place) { return place.name + ".bak"; }

}  // namespace

bool find_place(const char* path, Descriptor& directory, Place& place) {
  struct stat link_stat {};
  std::string target = path;
  if (::lstat(path, &link_stat) == 0 && S_ISLNK(link_stat.st_mode)) {
    std::array<char, PATH_MAX> resolved;
    if (::realpath(path, resolved.data()) == nullptr) return false;
    target = resolved.data();
  }
  PathParts parts = split_path(target);
  if (parts.name.empty() || parts.name == "." || parts.name == "..") {
    // No name to put a temporary file beside: what it names is a directory, refused on reading.
    parts = {".", target};
  }
  directory.reset(::open(parts.directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (directory.fd < 0) return false;
  place.directory = directory.fd;
  place.name = std::move(parts.name);
  place.path = std::move(target);
  return true;
}

bool lock_input(int& fd, const Place& place) {
  for (;;) {
    if (::flock(fd, LOCK_EX) != 0) {
      if (errno == EINTR) continue;
      return true;  // no locks here: go on as without them
    }
    struct stat locked {};
    struct stat named {};
    if (::fstat(fd, &locked) == 0 &&
        ::fstatat(place.directory, place.name.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
        locked.st_dev == named.st_dev && locked.st_ino == named.st_ino) {
      return true;
    }
    // The run before this one has put its result in place: that is the file to rewrite now.
    // (Should a pipe or a link stand there now, it must neither wait for a writer nor be followed.)
    ::close(fd);
    fd = ::openat(place.directory, place.name.c_str(),
                  O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW);
    if (fd < 0) return false;
  }
}

ResultCode create_temporary(const Place& place, int& fd, std::FILE* messages) {
  // A stale file, or a link planted under the name, goes first: unlink removes a link itself,
  // never its target. O_EXCL and O_NOFOLLOW then refuse anything that appears meanwhile.
  const std::string name = temporary_name(place);
  ::unlinkat(place.directory, name.c_str(), 0);
  fd = create_temporary_file(place.directory, name.c_str());
  if (fd < 0) {
    std::fprintf(messages, "Cannot create file: %s\n", printable(place.path + ".tmp").c_str());
    return RC_CANNOT_CREATE;
  }
  return RC_OK;
}

ResultCode finish_temporary(const Place& place, int fd, const struct stat& input,
                            std::FILE* messages) {
  // Only now, with every byte written, does the file take the input's owner, group and bits: a
  // file cut short by a kill stays private, and no write after this clears a set-id bit. Set-id
  // bits are kept only under the owner and group they were given for.
  if (::fchown(fd, input.st_uid, input.st_gid) != 0) {
    (void)::fchown(fd, static_cast<uid_t>(-1), input.st_gid);  // the group alone, if allowed
  }
  struct stat made {};
  auto mode = static_cast<mode_t>(input.st_mode & 07777U);
  if (::fstat(fd, &made) != 0 || made.st_uid != input.st_uid || made.st_gid != input.st_gid) {
    mode &= static_cast<mode_t>(~(S_ISUID | S_ISGID));
  }
  const bool moded =
      ::fchmod(fd, mode) == 0 || (::fstat(fd, &made) == 0 && (made.st_mode & 07777U) == mode);
  if (!moded || ::fsync(fd) != 0) {
    std::fprintf(messages, "? Error writing %s\n", printable(place.path + ".tmp").c_str());
    return RC_IO_ERROR;
  }
  return RC_OK;
}

void remove_temporary(const Place& place) {
  forget_temporary_file(place.directory, temporary_name(place).c_str(), true);
}

ResultCode replace_in_place(const Place& place, bool keep_backup, std::FILE* messages) {
  const std::string temporary = temporary_name(place);
  if (keep_backup) {
    const std::string backup = backup_name(place);
    if (::unlinkat(place.directory, backup.c_str(), 0) != 0 && errno == EACCES) {
      std::fprintf(messages, "? Cannot delete temp file (access)\n");
      forget_temporary_file(place.directory, temporary.c_str(), false);
      return RC_DELETE_DENIED;
    }
    // With the backup a second name of the input, the rename below replaces the input in one
    // step: its name never names nothing, not even for a moment.
    if (::linkat(place.directory, place.name.c_str(), place.directory, backup.c_str(), 0) != 0 &&
        ::renameat(place.directory, place.name.c_str(), place.directory, backup.c_str()) != 0) {
      std::fprintf(messages, "? Error renaming %s\n", printable(place.path).c_str());
      forget_temporary_file(place.directory, temporary.c_str(), false);
      return RC_RENAME_FAILED;
    }
  }
  if (rename_temporary_file(place.directory, temporary.c_str(), place.name.c_str()) != 0) {
    std::fprintf(messages, "? Error renaming %s\n", printable(place.path + ".tmp").c_str());
    forget_temporary_file(place.directory, temporary.c_str(), false);
    return RC_RENAME_FAILED;
  }
  return RC_OK;
}

}  // namespace quillet
