// What the POSIX room's files share: a handle as a descriptor, and a file's status as its facts.
#pragma once

#include <sys/stat.h>

#include "platform/directory.h"
#include "platform/file.h"

namespace quillet::posix {

/// The descriptor of `file`.
[[nodiscard]] inline int descriptor(const File& file) { return static_cast<int>(file.handle()); }
[[nodiscard]] inline int descriptor(const OpenDirectory& directory) {
  return descriptor(directory.file());
}

/// The facts of the file whose status is `status`: the one place where they are read from it.
[[nodiscard]] FileFacts facts_from(const struct stat& status);

}  // namespace quillet::posix
