// The steps of an in-place swap: their Windows forms. Windows renames over no file that is open,
// so the swap holds no handle on the file it replaces, and runs that meet on one file take turns
// by a mutex named after the file's path rather than by a lock on the file: a lock on the file
// itself would keep editors from reading it.
#include "platform/in_place.h"

#include <cerrno>
#include <cstdint>
#include <string>

#include "platform/windows/lists.h"
#include "platform/windows/native.h"

namespace quillet {
namespace {

// How long a swap tries again when its rename is refused because another program (a virus
// scanner, an indexer, an editor reading) holds one of the two files for a moment.
constexpr int RENAME_TRIES = 20;
constexpr DWORD RENAME_PAUSE_MS = 100;

// The name of the mutex of the in-place runs on the file at `path`: the same for every way the
// file system's case-blind names spell the path, and within the length a name may have.
std::wstring mutex_name(std::wstring path) {
  ::CharUpperBuffW(path.data(), static_cast<DWORD>(path.size()));
  std::uint64_t hash = 14'695'981'039'346'656'037ULL;  // FNV-1a
  for (const wchar_t c : path) {
    hash = (hash ^ static_cast<std::uint16_t>(c)) * 1'099'511'628'211ULL;
  }
  wchar_t digits[17];
  for (int i = 15; i >= 0; --i) {
    digits[i] = L"0123456789abcdef"[hash & 0xFU];
    hash >>= 4;
  }
  digits[16] = L'\0';
  return std::wstring(L"Local\\quillet-in-place-") + digits;
}

bool held_by_another(DWORD error) {
  return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION ||
         error == ERROR_ACCESS_DENIED;
}

// Whether the file at `path` is held open by another program, so that nothing may rename over it
// or delete it now.
bool is_held_open(const std::wstring& path) {
  const windows::OwnedHandle probe(::CreateFileW(path.c_str(), DELETE, 0, nullptr, OPEN_EXISTING,
                                                 FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  return !probe.is_open() && ::GetLastError() == ERROR_SHARING_VIOLATION;
}

// Renames `from` over `to`, trying again for a while as long as another program holds either.
int rename_over(const std::wstring& from, const std::wstring& to) {
  for (int attempt = 1;; ++attempt) {
    if (::MoveFileExW(from.c_str(), to.c_str(),
                      MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      return 0;
    }
    const DWORD error = ::GetLastError();
    if (!held_by_another(error)) return windows::error_number(error);
    if (attempt == RENAME_TRIES) {
      // Refused to the end: by a program that keeps the file open (EBUSY), or for want of the
      // right to.
      return is_held_open(to) || is_held_open(from) || error != ERROR_ACCESS_DENIED ? EBUSY
                                                                                    : EACCES;
    }
    ::Sleep(RENAME_PAUSE_MS);
  }
}

// The path the mutex of the file `name` of `directory` is named after: the path of the file itself
// as the system spells it, so that its short name ("AVERYL~1.C") and its long one take turns on
// one mutex; the path of the name where it leads to no file (yet).
int lock_path(const OpenDirectory& directory, const char* name, std::wstring& path) {
  File probe;
  if (open_in(directory, name, Link::REFUSE, probe) == 0 &&
      windows::final_path(windows::handle(probe), path) == 0) {
    return 0;  // the probe is closed at once: no run may hold the file while another waits
  }
  return windows::path_in(windows::handle(directory), name, path);
}

}  // namespace

int lock_file(const File&) {
  // The runs take turns through open_locked: a lock kept with the file would be let go of as the
  // file is closed for the swap.
  return ENOLCK;
}

void FileLock::release() {
  if (lock_ == File::NONE) return;
  const HANDLE mutex = reinterpret_cast<HANDLE>(lock_);  // NOLINT(performance-no-int-to-ptr)
  lock_ = File::NONE;
  ::ReleaseMutex(mutex);
  ::CloseHandle(mutex);
}

int open_locked(const OpenDirectory& directory, const char* name, File& file, FileLock& lock,
                const FileId* first) {
  // The lock comes first: no run holds the file open while another renames over it.
  std::wstring path;
  if (const int error = lock_path(directory, name, path); error != 0) return error;
  const HANDLE mutex = ::CreateMutexW(nullptr, FALSE, mutex_name(path).c_str());
  if (mutex == nullptr) return windows::last_error();
  // A mutex left by a run that ended half way is handed on as abandoned: the file is as that run
  // left it, its temporary file beside it, which is no harm to this one.
  const DWORD waited = ::WaitForSingleObject(mutex, INFINITE);
  if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) {
    const int error = windows::last_error();
    ::CloseHandle(mutex);
    return error;
  }
  File opened;
  FileFacts found;
  int error = open_in(directory, name, Link::REFUSE, opened);
  if (error == 0 && first != nullptr) {
    error = facts_of(opened, found);
    if (error == 0 && found.id != *first) error = NOT_FIRST;
  }
  if (error != 0) {
    opened = File();  // closed before another run may rename over it
    ::ReleaseMutex(mutex);
    ::CloseHandle(mutex);
    return error;
  }
  file = std::move(opened);
  lock.hold(windows::handle_of(mutex));
  return 0;
}

int create_temporary_in(const OpenDirectory& directory, const char* name, File& file) {
  // Made with the permissions that any file made in the directory inherits: Windows gives a
  // file's readers by its directory's list, which the replaced file most often has too.
  const HANDLE at = windows::handle(directory);
  HANDLE made = INVALID_HANDLE_VALUE;
  const int error = windows::create_listed_temporary(at, name, [&] {
    return windows::open_relative(at, name,
                                  {GENERIC_READ | GENERIC_WRITE | DELETE, FILE_CREATE,
                                   FILE_NON_DIRECTORY_FILE | FILE_OPEN_REPARSE_POINT},
                                  made);
  });
  if (error != 0) return error;
  file = File(windows::handle_of(made));
  return 0;
}

int replace_with_temporary(const OpenDirectory& directory, const char* name, const char* target,
                           const char* backup) {
  const HANDLE at = windows::handle(directory);
  std::wstring from;
  std::wstring to;
  if (const int error = windows::path_in(at, name, from); error != 0) return error;
  if (const int error = windows::path_in(at, target, to); error != 0) return error;
  // Windows renames over no read-only file: the attribute is taken off the old file for the
  // rename, and put back on it after, where the backup still names it, or at once should the
  // rename fail. (The new file has the attribute from give_access.)
  const DWORD attributes = ::GetFileAttributesW(to.c_str());
  const bool read_only =
      attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0;
  if (read_only) ::SetFileAttributesW(to.c_str(), attributes & ~DWORD{FILE_ATTRIBUTE_READONLY});
  const int error =
      windows::rename_listed_temporary(at, name, [&] { return rename_over(from, to); });
  std::wstring old_file;
  if (error != 0) {
    old_file = to;
  } else if (backup != nullptr && windows::path_in(at, backup, old_file) != 0) {
    old_file.clear();
  }
  if (read_only && !old_file.empty()) ::SetFileAttributesW(old_file.c_str(), attributes);
  return error;
}

void forget_temporary(const OpenDirectory& directory, const char* name, bool remove) {
  windows::forget_listed_temporary(windows::handle(directory), name, remove);
}

int give_access(const File& made, const FileAccess& access) {
  // Windows gives a new file no owner but its maker: the attributes are what is handed on.
  FILE_BASIC_INFO basic{};
  basic.FileAttributes = access.bits != 0 ? access.bits : FILE_ATTRIBUTE_NORMAL;
  return ::SetFileInformationByHandle(windows::handle(made), FileBasicInfo, &basic, sizeof basic)
             ? 0
             : windows::last_error();
}

int remove_in(const OpenDirectory& directory, const char* name) {
  return windows::remove_file(windows::handle(directory), name);
}

int make_backup_in(const OpenDirectory& directory, const char* name, const char* backup) {
  const HANDLE at = windows::handle(directory);
  std::wstring file;
  std::wstring second;
  if (const int error = windows::path_in(at, name, file); error != 0) return error;
  if (const int error = windows::path_in(at, backup, second); error != 0) return error;
  // A second name where the file system has hard links (NTFS, ReFS), so that the name keeps
  // naming the file; else (FAT) a rename.
  if (::CreateHardLinkW(second.c_str(), file.c_str(), nullptr)) return 0;
  if (::MoveFileExW(file.c_str(), second.c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return 0;
  }
  return windows::last_error();
}

}  // namespace quillet
