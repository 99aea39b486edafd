#include "io/descriptor.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace quillet {

Descriptor::~Descriptor() { reset(); }

void Descriptor::reset(int from) {
  if (fd >= 0) ::close(fd);
  fd = from;
}

Directory::~Directory() {
  if (log == nullptr) return;
  if (renamed.load() && !sync_directory(handle.fd)) {
    const std::lock_guard lock(log->mutex);
    log->unsynced.push_back(path);
  }
  --log->open;
}

std::shared_ptr<Directory> open_directory(int at, const char* name, std::string path, bool follow,
                                          const FileId* expected, DirectoryLog* log) {
  const int flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | (follow ? 0 : O_NOFOLLOW);
  Descriptor fd(::openat(at, name, flags));
  // A directory that may be searched but not read can still hold files to run on.
  if (fd.fd < 0 && errno == EACCES) fd.reset(::openat(at, name, flags | O_PATH));
  if (fd.fd < 0) return nullptr;
  struct stat directory_stat {};
  if (::fstat(fd.fd, &directory_stat) != 0) return nullptr;
  const FileId id{directory_stat.st_dev, directory_stat.st_ino};
  if (expected != nullptr && id != *expected) {
    errno = ESTALE;  // another directory was put under the name since it was looked at
    return nullptr;
  }
  auto directory = std::make_shared<Directory>();
  directory->handle.reset(fd.fd);
  fd.fd = -1;
  directory->path = std::move(path);
  directory->id = id;
  directory->log = log;
  if (log != nullptr) ++log->open;
  return directory;
}

bool sync_directory(int fd) {
  // EINVAL: a file system that cannot sync a directory; EBADF: one opened only to be searched.
  return ::fsync(fd) == 0 || errno == EINVAL || errno == EBADF;
}

PathParts split_path(std::string_view path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string_view::npos) return {".", std::string(path)};
  return {std::string(path.substr(0, slash == 0 ? 1 : slash)), std::string(path.substr(slash + 1))};
}

std::string plain_path(std::string_view path) {
  while (path.starts_with("./"))
    path.remove_prefix(2);
  while (path.size() > 1 && path.back() == '/')
    path.remove_suffix(1);
  return path == "." ? std::string() : std::string(path);
}

std::string join_path(std::string_view directory, std::string_view name) {
  std::string path(directory);
  if (path.empty() || path.back() != '/') path += '/';
  return path += name;
}

}  // namespace quillet
