// Open directories, their listings, where links lead, the current directory, and wildcards over
// names: their POSIX forms.
#include "platform/directory.h"

#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <string>

#include "platform/posix/native.h"
#include "platform/posix/system.h"

namespace quillet {

OpenDirectory OpenDirectory::borrowed(File::Handle handle) {
  return OpenDirectory(File::borrowed(handle));
}

int open_directory(const OpenDirectory* at, const char* name, Link link, DirectoryUse use,
                   OpenDirectory& directory) {
  const int from = at != nullptr ? posix::descriptor(*at) : AT_FDCWD;
  const int flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | (link == Link::FOLLOW ? 0 : O_NOFOLLOW);
  int fd = posix::open_at(from, name, flags);
  if (fd < 0 && errno == EACCES && use == DirectoryUse::SEARCH) {
    // Where the system opens a directory to be searched only, one that may be searched but not
    // read still leads to the files in it.
#if defined(O_PATH)
    fd = posix::open_at(from, name, flags | O_PATH);
#elif defined(O_SEARCH)
    fd = posix::open_at(from, name, (flags & ~O_RDONLY) | O_SEARCH);
#endif
  }
  if (fd < 0) return errno;
  directory = OpenDirectory(File(fd));
  return 0;
}

int open_in(const OpenDirectory& directory, const char* name, Link link, File& file) {
  const int flags = O_RDONLY | O_NONBLOCK | O_CLOEXEC | (link == Link::FOLLOW ? 0 : O_NOFOLLOW);
  const int fd = posix::open_at(posix::descriptor(directory), name, flags);
  if (fd < 0) return errno;
  file = File(fd);
  return 0;
}

int facts_in(const OpenDirectory& directory, const char* name, FileFacts& facts) {
  struct stat status {};
  if (::fstatat(posix::descriptor(directory), name, &status, AT_SYMLINK_NOFOLLOW) != 0) {
    return errno;
  }
  facts = posix::facts_from(status);
  return 0;
}

int sync_directory(const OpenDirectory& directory) {
  // EINVAL: a file system that cannot sync a directory; EBADF: one opened only to be searched.
  if (posix::fsync(posix::descriptor(directory)) == 0 || errno == EINVAL || errno == EBADF) {
    return 0;
  }
  return errno;
}

int directory_path(const OpenDirectory& directory, std::string& path) {
  std::array<char, 2 * std::size_t{PATH_MAX}> name;
#if defined(F_GETPATH)
  if (::fcntl(posix::descriptor(directory), F_GETPATH, name.data()) != 0) return errno;
  path = name.data();
  return 0;
#else
  const std::string proc = "/proc/self/fd/" + std::to_string(posix::descriptor(directory));
  const ssize_t n = ::readlink(proc.c_str(), name.data(), name.size());
  if (n < 0) return errno;
  // Cut short, or no path at all (a directory removed since is named "... (deleted)").
  if (n == 0 || static_cast<std::size_t>(n) >= name.size() || name[0] != '/') return ENOENT;
  path.assign(name.data(), static_cast<std::size_t>(n));
  return 0;
#endif
}

int resolve_links(const char* path, std::string& resolved) {
  std::array<char, PATH_MAX> name;
  if (::realpath(path, name.data()) == nullptr) return errno;
  resolved = name.data();
  return 0;
}

int current_directory(std::string& path) {
  std::string name(256, '\0');
  while (::getcwd(name.data(), name.size()) == nullptr) {
    if (errno != ERANGE) return errno;
    name.resize(name.size() * 2);
  }
  name.resize(name.find('\0'));
  path = std::move(name);
  return 0;
}

std::string current_directory_as_named() {
  // The shell's PWD, when it still names this directory.
  const char* const shell = std::getenv("PWD");
  struct stat named {};
  struct stat here {};
  if (shell != nullptr && ::stat(shell, &named) == 0 && ::stat(".", &here) == 0 &&
      named.st_dev == here.st_dev && named.st_ino == here.st_ino) {
    return shell;
  }
  std::string path;
  return current_directory(path) == 0 ? path : std::string();
}

bool matches_wildcards(const char* pattern, const char* path) {
  return ::fnmatch(pattern, path, FNM_PATHNAME) == 0;
}

DirectoryListing::DirectoryListing(const OpenDirectory& directory) {
  // The listing closes its own descriptor: it reads through a copy, which it takes once it opens.
  File copy(::fcntl(posix::descriptor(directory), F_DUPFD_CLOEXEC, 0));
  DIR* const listing = copy.is_open() ? ::fdopendir(posix::descriptor(copy)) : nullptr;
  if (listing == nullptr) {
    error_ = errno;
    return;
  }
  (void)copy.release();
  listing_ = listing;
}

DirectoryListing::~DirectoryListing() {
  if (listing_ != nullptr) ::closedir(static_cast<DIR*>(listing_));
}

bool DirectoryListing::next(DirectoryEntry& entry) {
  if (listing_ == nullptr) return false;
  for (;;) {
    errno = 0;
    const dirent* const found = ::readdir(static_cast<DIR*>(listing_));
    if (found == nullptr) {
      error_ = errno;
      return false;
    }
    const std::string_view name = found->d_name;
    if (name == "." || name == "..") continue;
    entry.name = name;
    entry.inode = static_cast<std::uint64_t>(found->d_ino);
#if defined(DT_UNKNOWN)  // the kind, where the listing tells it
    switch (found->d_type) {
      case DT_REG: entry.kind = FileKind::REGULAR; break;
      case DT_DIR: entry.kind = FileKind::DIRECTORY; break;
      case DT_LNK: entry.kind = FileKind::LINK; break;
      case DT_UNKNOWN: entry.kind = FileKind::UNKNOWN; break;
      default: entry.kind = FileKind::OTHER; break;
    }
#else
    entry.kind = FileKind::UNKNOWN;
#endif
    return true;
  }
}

}  // namespace quillet
