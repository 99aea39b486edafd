// The faults of the test build: which system calls of the POSIX room fail, or wait, and how.
#pragma once

#include <string_view>

namespace quillet::posix {

#ifdef QUILLET_FAULTS
/// Whether the call `call` on the file `name` of the directory `directory` (AT_FDCWD: as named)
/// is to fail; then errno holds its error. QUILLET_FAIL="CALL SUFFIX ERRNO" fails CALL with ERRNO
/// where the path ends in SUFFIX ("-": any path); several, separated by ";", may be given.
[[nodiscard]] bool fails(std::string_view call, int directory, const char* name);
/// Whether fsync on `fd` is to fail: its path for QUILLET_FAIL is "file" or "directory".
[[nodiscard]] bool sync_fails(int fd);
/// Whether this read is to fail: QUILLET_FAIL="read N ERRNO" lets N reads succeed, not the rest.
[[nodiscard]] bool read_fails();
/// Holds this write: QUILLET_PAUSE="write N SECONDS" lets N writes go at once, and holds every
/// later one for SECONDS first, so that a test can look at a run caught half way.
void pause_write();
#else
// The program's own build: no call fails but by itself, and none of this is in it.
constexpr bool fails(std::string_view, int, const char*) { return false; }
constexpr bool sync_fails(int) { return false; }
constexpr bool read_fails() { return false; }
constexpr void pause_write() {}
#endif

}  // namespace quillet::posix
