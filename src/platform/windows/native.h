// What the Windows room's files share: a handle as a HANDLE, names in UTF-16, Windows errors as
// the error numbers of <cerrno>, opens relative to an open directory, and a file's facts.
#pragma once

#include <windows.h>
#include <winternl.h>

#include <string>
#include <string_view>

#include "platform/directory.h"
#include "platform/file.h"

namespace quillet::windows {

/// The HANDLE of `file`.
[[nodiscard]] inline HANDLE handle(const File& file) {
  // A File keeps its HANDLE as an integer, the type every system's handle fits.
  return reinterpret_cast<HANDLE>(file.handle());  // NOLINT(performance-no-int-to-ptr)
}
[[nodiscard]] inline HANDLE handle(const OpenDirectory& directory) {
  return handle(directory.file());
}
/// `opened` as a File's handle.
[[nodiscard]] inline File::Handle handle_of(HANDLE opened) {
  return reinterpret_cast<File::Handle>(opened);
}

/// `text` (UTF-8) in UTF-16. A byte that is no part of UTF-8 becomes U+FFFD; a lone surrogate
/// written as UTF-8 (as `narrow` writes it) comes back as itself, so every name round-trips.
[[nodiscard]] std::wstring wide(std::string_view text);
/// `text` (UTF-16) in UTF-8, a lone surrogate (which a file name may hold) written as one too.
[[nodiscard]] std::string narrow(std::wstring_view text);

/// `path` as the wide file functions take it: in UTF-16, with "\" for each "/".
[[nodiscard]] std::wstring native_path(std::string_view path);

/// `path` as the wide file functions take it to open a file the user named: as native_path has
/// it, but where its last name would be taken for a device ("aux.c", "src/nul.h": a device's
/// name with an extension), in the "\\?\" form that leads to the file of that name. A device
/// named alone ("NUL", "CON") stays the device.
[[nodiscard]] std::wstring file_path(std::string_view path);

/// The error number (<cerrno>'s) nearest to the Windows error `error`; EIO for one with none.
[[nodiscard]] int error_number(DWORD error);
/// error_number of GetLastError().
[[nodiscard]] inline int last_error() { return error_number(::GetLastError()); }
/// The error number of the NT status `status`.
[[nodiscard]] int status_error(NTSTATUS status);

/// What an open relative to a directory asks for.
struct Relative {
  ACCESS_MASK access = 0;
  ULONG disposition = FILE_OPEN;  // FILE_OPEN, FILE_CREATE...
  ULONG options = 0;              // FILE_DIRECTORY_FILE, FILE_OPEN_REPARSE_POINT...
};

/// Opens `name` (one name or several joined by "/"; "" for the directory itself) in the directory
/// open as `root`, as NtCreateFile does: what a rename of the directory, or a link put in its
/// place, cannot redirect. Every other opener may read, write and delete it meanwhile. Returns 0
/// with the handle in `opened`, or the error number.
[[nodiscard]] int open_relative(HANDLE root, std::string_view name, const Relative& what,
                                HANDLE& opened);

/// Whether the open `file`, opened on a reparse point itself, is a link: a symbolic link or a
/// junction, not one of the other reparse points (a file kept in the cloud, a deduplicated one).
[[nodiscard]] bool is_link(HANDLE file);

/// The moment `time` (tenths of microseconds since 1601 began in UTC).
[[nodiscard]] Time time_from(const FILETIME& time);

/// The facts of the open `file`.
[[nodiscard]] int facts_of_handle(HANDLE file, FileFacts& facts);

/// The path of the open `file` as the system knows it now ("\\?\C:\src", "\\?\UNC\host\share").
[[nodiscard]] int final_path(HANDLE file, std::wstring& path);
/// `path` of final_path as the program names paths: "C:/src", "//host/share".
[[nodiscard]] std::string shown_path(std::wstring_view path);
/// `path` of final_path as programs are started in it: "C:\src", "\\host\share".
[[nodiscard]] std::wstring plain_native_path(std::wstring_view path);

/// The path of the name `name` of the directory open as `directory`, in the "\\?\" form that
/// the path-taking functions read with no limit on its length.
[[nodiscard]] int path_in(HANDLE directory, std::string_view name, std::wstring& path);

/// An owned HANDLE, closed with its owner: for those a File does not hold.
class OwnedHandle {
 public:
  OwnedHandle() = default;
  explicit OwnedHandle(HANDLE handle) : handle_(handle) {}
  OwnedHandle(const OwnedHandle&) = delete;
  OwnedHandle& operator=(const OwnedHandle&) = delete;
  OwnedHandle(OwnedHandle&& other) noexcept : handle_(other.handle_) { other.handle_ = nullptr; }
  OwnedHandle& operator=(OwnedHandle&& other) noexcept {
    if (this != &other) {
      reset(other.handle_);
      other.handle_ = nullptr;
    }
    return *this;
  }
  ~OwnedHandle() { reset(); }

  [[nodiscard]] HANDLE get() const { return handle_; }
  [[nodiscard]] bool is_open() const {
    return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE;
  }
  /// Closes what it holds and takes `handle`.
  void reset(HANDLE handle = nullptr) {
    if (is_open()) ::CloseHandle(handle_);
    handle_ = handle;
  }

 private:
  HANDLE handle_ = nullptr;
};

}  // namespace quillet::windows
