// The open directories that a walk and the runs on its files share; where a path named leads.
#include "io/directories.h"

#include <cerrno>

namespace quillet {
namespace {

// The error of a directory found to be another than the one looked at: POSIX's ESTALE, or, with
// a C library that has no such number (Windows's), the one for a name that leads nowhere it did.
#if defined(ESTALE)
constexpr int REPLACED = ESTALE;
#else
constexpr int REPLACED = ENOENT;
#endif

}  // namespace

Directory::~Directory() {
  if (log == nullptr) return;
  if (const int error = renamed.load() ? sync_directory(open) : 0; error != 0) {
    const std::lock_guard lock(log->mutex);
    log->unsynced.push_back({path, error});
  }
  --log->open;
}

int open_shared_directory(const Directory* at, const char* name, std::string path, Link link,
                          const FileId* expected, DirectoryLog* log,
                          std::shared_ptr<Directory>& directory) {
  OpenDirectory opened;
  FileFacts facts;
  int error =
      open_directory(at != nullptr ? &at->open : nullptr, name, link, DirectoryUse::SEARCH, opened);
  if (error == 0) error = facts_of(opened.file(), facts);
  if (error != 0) return error;
  // Another directory put under the name since it was looked at is not the one to enter.
  if (expected != nullptr && facts.id != *expected) return REPLACED;
  auto shared = std::make_shared<Directory>();
  shared->open = std::move(opened);
  shared->path = std::move(path);
  shared->id = facts.id;
  shared->log = log;
  if (log != nullptr) ++log->open;
  directory = std::move(shared);
  return 0;
}

std::optional<std::string> follow_named(const char* path) {
  FileFacts facts;
  if (facts_of_path(path, Link::REFUSE, facts) != 0) return std::nullopt;
  if (facts.kind != FileKind::LINK) return std::string(path);
  std::string target;
  if (resolve_links(path, target) != 0) return std::nullopt;
  return target;
}

}  // namespace quillet
