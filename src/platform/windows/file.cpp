// Open files that close themselves, what the program asks of a file, and the standard streams:
// their Windows forms, through the wide functions and HANDLEs, every byte passed as it is.
#include "platform/file.h"

#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <string>

#include "platform/windows/native.h"

namespace quillet {
namespace {

constexpr DWORD SHARE_ALL = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// ReadFile and WriteFile count in 32 bits.
constexpr std::size_t LARGEST_TRANSFER = std::size_t{1} << 30;

int opened(HANDLE handle, File& file) {
  if (handle == INVALID_HANDLE_VALUE) return windows::last_error();
  file = File(windows::handle_of(handle));
  return 0;
}

HANDLE standard(DWORD which) {
  const HANDLE handle = ::GetStdHandle(which);
  return handle == nullptr ? INVALID_HANDLE_VALUE : handle;
}

}  // namespace

int File::close() {
  if (handle_ == NONE) return 0;
  const HANDLE handle = windows::handle(*this);
  handle_ = NONE;
  return !owned_ || ::CloseHandle(handle) ? 0 : windows::last_error();
}

int open_for_reading(const char* path, File& file) {
  // A directory opens too, as it does elsewhere, to be refused by its facts: no other name of it.
  return opened(::CreateFileW(windows::file_path(path).c_str(), GENERIC_READ, SHARE_ALL, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr),
                file);
}

int create_for_writing(const char* path, File& file) {
  // Opened, then emptied: CREATE_ALWAYS would refuse a hidden file, and give an existing one the
  // attributes of a new one.
  File made;
  if (const int error =
          opened(::CreateFileW(windows::file_path(path).c_str(), GENERIC_WRITE, SHARE_ALL, nullptr,
                               OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr),
                 made);
      error != 0) {
    return error;
  }
  // A device ("NUL", "CON") has no end to set.
  if (::GetFileType(windows::handle(made)) == FILE_TYPE_DISK &&
      !::SetEndOfFile(windows::handle(made))) {
    return windows::last_error();
  }
  file = std::move(made);
  return 0;
}

int open_anonymous_temporary(File& file) {
  // Made here, with a name of its own that CREATE_NEW refuses to share and that is gone with its
  // last handle: the C library's tmpfile() gave two threads, or two processes, the same file.
  std::wstring directory(MAX_PATH + 1, L'\0');
  DWORD length = ::GetTempPathW(static_cast<DWORD>(directory.size()), directory.data());
  if (length > directory.size()) {  // the size it needs, where TMP names a longer path
    directory.resize(length);
    length = ::GetTempPathW(static_cast<DWORD>(directory.size()), directory.data());
  }
  if (length == 0) return windows::last_error();
  if (length > directory.size()) return ENAMETOOLONG;
  directory.resize(length);
  static std::atomic<unsigned> made{0};
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::wstring name = directory + L"quillet-" + std::to_wstring(::GetCurrentProcessId()) +
                              L"-" + std::to_wstring(made.fetch_add(1)) + L"-" +
                              std::to_wstring(::GetTickCount64() % 1'000'000) + L".tmp";
    const HANDLE handle = ::CreateFileW(
        name.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, SHARE_ALL, nullptr, CREATE_NEW,
        FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED | FILE_FLAG_DELETE_ON_CLOSE,
        nullptr);
    if (handle != INVALID_HANDLE_VALUE) return opened(handle, file);
    if (::GetLastError() != ERROR_FILE_EXISTS) return windows::last_error();
  }
  return EEXIST;
}

int facts_of(const File& file, FileFacts& facts) {
  return windows::facts_of_handle(windows::handle(file), facts);
}

int facts_of_path(const char* path, Link link, FileFacts& facts) {
  const DWORD flags =
      FILE_FLAG_BACKUP_SEMANTICS | (link == Link::REFUSE ? FILE_FLAG_OPEN_REPARSE_POINT : 0);
  const windows::OwnedHandle handle(::CreateFileW(windows::file_path(path).c_str(),
                                                  FILE_READ_ATTRIBUTES | READ_CONTROL, SHARE_ALL,
                                                  nullptr, OPEN_EXISTING, flags, nullptr));
  if (!handle.is_open()) return windows::last_error();
  return windows::facts_of_handle(handle.get(), facts);
}

int read_some(const File& file, char* into, std::size_t size, std::size_t& got) {
  DWORD n = 0;
  if (!::ReadFile(windows::handle(file), into, static_cast<DWORD>(std::min(size, LARGEST_TRANSFER)),
                  &n, nullptr)) {
    const DWORD error = ::GetLastError();
    // A pipe whose writer is gone, or a file read past its end, is at its end.
    if (error != ERROR_BROKEN_PIPE && error != ERROR_HANDLE_EOF)
      return windows::error_number(error);
    n = 0;
  }
  got = n;
  return 0;
}

int read_at(const File& file, std::uint64_t offset, char* into, std::size_t size,
            std::size_t& got) {
  // A read at an offset moves a synchronous handle's position, where another thread may be
  // writing the same file: the read goes through a handle of its own, with a position of its own.
  const windows::OwnedHandle reader(
      ::ReOpenFile(windows::handle(file), GENERIC_READ, SHARE_ALL, 0));
  if (!reader.is_open()) return windows::last_error();
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  DWORD n = 0;
  if (!::ReadFile(reader.get(), into, static_cast<DWORD>(std::min(size, LARGEST_TRANSFER)), &n,
                  &at) &&
      ::GetLastError() != ERROR_HANDLE_EOF) {
    return windows::last_error();
  }
  got = n;
  return 0;
}

int write_some(const File& file, const char* bytes, std::size_t size, std::size_t& put) {
  DWORD n = 0;
  if (!::WriteFile(windows::handle(file), bytes,
                   static_cast<DWORD>(std::min(size, LARGEST_TRANSFER)), &n, nullptr)) {
    return windows::last_error();
  }
  if (n == 0) return EIO;
  put = n;
  return 0;
}

int seek_to_start(const File& file) {
  // Windows moves the position of a pipe without a word, and reads on where it was.
  const HANDLE handle = windows::handle(file);
  if (::GetFileType(handle) != FILE_TYPE_DISK) return ESPIPE;
  return ::SetFilePointerEx(handle, LARGE_INTEGER{}, nullptr, FILE_BEGIN) ? 0
                                                                          : windows::last_error();
}

int sync_file(const File& file) {
  return ::FlushFileBuffers(windows::handle(file)) ? 0 : windows::last_error();
}

bool is_standard_handle(File::Handle handle) {
  if (handle == File::NONE) return false;
  for (const DWORD which : {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE}) {
    if (windows::handle_of(standard(which)) == handle) return true;
  }
  return false;
}

File standard_input() { return File::borrowed(windows::handle_of(standard(STD_INPUT_HANDLE))); }
File standard_output() { return File::borrowed(windows::handle_of(standard(STD_OUTPUT_HANDLE))); }

bool is_terminal(const File& file) {
  const HANDLE handle = windows::handle(file);
  DWORD mode = 0;
  if (!::GetConsoleMode(handle, &mode)) return false;
  CONSOLE_SCREEN_BUFFER_INFO screen{};
  if (!::GetConsoleScreenBufferInfo(handle, &screen)) return true;  // a console's input
  // A console's output is a terminal to the program where it reads a terminal's escapes: the
  // consoles of Windows 10 and later do once asked to.
  return (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0 ||
         ::SetConsoleMode(handle, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
}

void fill_missing_standard_streams() {
  const DWORD streams[] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
  for (int fd = 0; fd < 3; ++fd) {
    const DWORD which = streams[fd];
    if (standard(which) == INVALID_HANDLE_VALUE) {
      // Opened the other way round, so that reading the stand-in for input fails, and so does
      // writing the ones for output.
      const HANDLE stand_in =
          ::CreateFileW(L"NUL", which == STD_INPUT_HANDLE ? GENERIC_WRITE : GENERIC_READ, SHARE_ALL,
                        nullptr, OPEN_EXISTING, 0, nullptr);
      if (stand_in != INVALID_HANDLE_VALUE) ::SetStdHandle(which, stand_in);
    }
    // The C library's descriptor of the stream takes the stand-in too.
    if (::_get_osfhandle(fd) < 0 && standard(which) != INVALID_HANDLE_VALUE) {
      const int copy = ::_open_osfhandle(reinterpret_cast<std::intptr_t>(standard(which)),
                                         fd == 0 ? _O_RDONLY : _O_WRONLY);
      if (copy >= 0 && copy != fd) ::_dup2(copy, fd);
    }
    // Every byte passes as it is: in text mode a CR LF read would come out as CR CR LF, and a
    // lone LF written would gain a CR.
    ::_setmode(fd, _O_BINARY);
  }
}

}  // namespace quillet
