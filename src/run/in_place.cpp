#include "run/in_place.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace quillet {
namespace {

bool join(std::array<char, PATH_BUFFER_SIZE>& name, std::string_view path,
          std::string_view suffix) {
  if (path.size() + suffix.size() >= name.size()) return false;
  std::memcpy(name.data(), path.data(), path.size());
  std::memcpy(name.data() + path.size(), suffix.data(), suffix.size());
  name[path.size() + suffix.size()] = '\0';
  return true;
}

}  // namespace

bool build_in_place_names(const char* input_file, InPlaceNames& names) {
  struct stat link_stat {};
  std::string_view target = input_file;
  if (::lstat(input_file, &link_stat) == 0 && S_ISLNK(link_stat.st_mode)) {
    if (::realpath(input_file, names.target.data()) == nullptr) return false;
    target = names.target.data();
  } else if (!join(names.target, target, "")) {
    return false;
  }
  const std::size_t slash = target.rfind('/');
  const std::string_view directory =
      slash == std::string_view::npos ? "." : target.substr(0, slash == 0 ? 1 : slash);
  return join(names.temporary, target, ".tmp") && join(names.backup, target, ".bak") &&
         join(names.directory, directory, "");
}

bool lock_input(int& fd, const char* path) {
  for (;;) {
    if (::flock(fd, LOCK_EX) != 0) {
      if (errno == EINTR) continue;
      return true;  // no locks here: go on as without them
    }
    struct stat locked {};
    struct stat named {};
    if (::fstat(fd, &locked) == 0 && ::stat(path, &named) == 0 && locked.st_dev == named.st_dev &&
        locked.st_ino == named.st_ino) {
      return true;
    }
    // The run before this one has put its result in place: that is the file to rewrite now.
    // (Should a pipe stand there now, opening it must not wait for a writer.)
    ::close(fd);
    fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return false;
  }
}

ResultCode create_temporary(const InPlaceNames& names, const struct stat& input, int& fd,
                            std::FILE* messages) {
  // A stale file, or a link planted under the name, goes first: unlink removes a link itself,
  // never its target. O_EXCL and O_NOFOLLOW then refuse anything that appears meanwhile.
  ::unlink(names.temporary.data());
  fd = ::open(names.temporary.data(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
              S_IRUSR | S_IWUSR);
  if (fd < 0) {
    std::fprintf(messages, "Cannot create file: %s\n", names.temporary.data());
    return RC_CANNOT_CREATE;
  }
  // The rewritten file takes the place of the input: it keeps its owner and group where this
  // process may give them, and its permission bits, whatever the umask. Set-id bits are kept
  // only under the owner and group they were given for. The descriptor stays writable even when
  // the bits make the file read-only.
  if (::fchown(fd, input.st_uid, input.st_gid) != 0) {
    (void)::fchown(fd, static_cast<uid_t>(-1), input.st_gid);  // the group alone, if allowed
  }
  struct stat made {};
  auto mode = static_cast<mode_t>(input.st_mode & 07777U);
  if (::fstat(fd, &made) != 0 || made.st_uid != input.st_uid || made.st_gid != input.st_gid) {
    mode &= static_cast<mode_t>(~(S_ISUID | S_ISGID));
  }
  if (::fchmod(fd, mode) != 0 && (::fstat(fd, &made) != 0 || (made.st_mode & 07777U) != mode)) {
    std::fprintf(messages, "? Error writing %s\n", names.temporary.data());
    ::close(fd);
    ::unlink(names.temporary.data());
    return RC_IO_ERROR;
  }
  return RC_OK;
}

ResultCode replace_in_place(const InPlaceNames& names, bool keep_backup, std::FILE* messages) {
  if (keep_backup) {
    if (::unlink(names.backup.data()) != 0 && errno == EACCES) {
      std::fprintf(messages, "? Cannot delete temp file (access)\n");
      return RC_DELETE_DENIED;
    }
    // With the backup a second name of the input, the rename below replaces the input in one
    // step: its name never names nothing, not even for a moment.
    if (::link(names.target.data(), names.backup.data()) != 0 &&
        ::rename(names.target.data(), names.backup.data()) != 0) {
      std::fprintf(messages, "? Error renaming %s\n", names.target.data());
      return RC_RENAME_FAILED;
    }
  }
  if (::rename(names.temporary.data(), names.target.data()) != 0) {
    std::fprintf(messages, "? Error renaming %s\n", names.temporary.data());
    return RC_RENAME_FAILED;
  }
  return RC_OK;
}

ResultCode sync_directory(const char* directory, std::FILE* messages) {
  // A file system that cannot sync a directory says so with EINVAL.
  const int fd = ::open(directory, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return RC_OK;
  const bool synced = ::fsync(fd) == 0 || errno == EINVAL;
  ::close(fd);
  if (synced) return RC_OK;
  std::fprintf(messages, "? Error writing %s\n", directory);
  return RC_IO_ERROR;
}
}  // namespace quillet
