// What an interrupted process cleans up before it ends: its children and its temporary files,
// once the console says Ctrl+C, Ctrl+Break, that it is closing, or that the system shuts down.
#include "platform/interrupt.h"

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

#include "platform/windows/lists.h"
#include "platform/windows/native.h"

namespace quillet {
namespace {

struct Temporary {
  HANDLE directory;
  std::string name;
};

// The one list of the process: an interruption may come while any thread holds a temporary
// file. A file is created and renamed under the lock, so the list never misses one that exists.
struct Temporaries {
  std::mutex mutex;
  std::vector<Temporary> files;
};

Temporaries& temporaries() {
  static Temporaries list;
  return list;
}

// The jobs of the children running, each killing what it holds, the child and whatever that
// started, when told to or when its last handle goes.
struct Children {
  std::mutex mutex;
  std::vector<HANDLE> jobs;
};

Children& children() {
  static Children list;
  return list;
}

// Called on a thread of its own, which the system starts for the event.
BOOL WINAPI on_console_event(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
    case CTRL_SHUTDOWN_EVENT: break;
    default: return FALSE;
  }
  // The locks are never given back: no child is started, and no temporary file is made or
  // renamed, after this.
  children().mutex.lock();
  for (const HANDLE job : children().jobs)
    ::TerminateJobObject(job, static_cast<UINT>(STATUS_CONTROL_C_EXIT));
  temporaries().mutex.lock();
  for (const Temporary& file : temporaries().files)
    (void)windows::remove_file(file.directory, file.name);
  // Ended as the system's own handler would have ended it (which wine ends with 0 instead).
  ::ExitProcess(static_cast<UINT>(STATUS_CONTROL_C_EXIT));
}

void forget(HANDLE directory, const std::string& name) {
  std::vector<Temporary>& files = temporaries().files;
  const auto found = std::find_if(files.begin(), files.end(), [&](const Temporary& file) {
    return file.directory == directory && file.name == name;
  });
  if (found != files.end()) files.erase(found);
}

}  // namespace

void clean_up_on_signal() {
  // A process started with Ctrl+C ignored gets no Ctrl+C here either: it stays ignored.
  ::SetConsoleCtrlHandler(on_console_event, TRUE);
}

namespace windows {

int start_child(const std::function<int()>& start, HANDLE job) {
  const std::lock_guard lock(children().mutex);
  const int error = start();
  if (error == 0) children().jobs.push_back(job);
  return error;
}

void forget_child(HANDLE job) {
  const std::lock_guard lock(children().mutex);
  std::vector<HANDLE>& jobs = children().jobs;
  jobs.erase(std::remove(jobs.begin(), jobs.end(), job), jobs.end());
}

int create_listed_temporary(HANDLE directory, const std::string& name,
                            const std::function<int()>& make) {
  const std::lock_guard lock(temporaries().mutex);
  const int error = make();
  if (error == 0) temporaries().files.push_back({directory, name});
  return error;
}

int rename_listed_temporary(HANDLE directory, const std::string& name,
                            const std::function<int()>& rename) {
  const std::lock_guard lock(temporaries().mutex);
  const int error = rename();
  if (error == 0) forget(directory, name);
  return error;
}

void forget_listed_temporary(HANDLE directory, const std::string& name, bool remove) {
  const std::lock_guard lock(temporaries().mutex);
  if (remove) (void)remove_file(directory, name);
  forget(directory, name);
}

int remove_file(HANDLE directory, const std::string& name) {
  constexpr ULONG OPTIONS = FILE_NON_DIRECTORY_FILE | FILE_OPEN_REPARSE_POINT;
  HANDLE handle = INVALID_HANDLE_VALUE;
  int error = open_relative(
      directory, name, {DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES, FILE_OPEN, OPTIONS},
      handle);
  if (error == EACCES) error = open_relative(directory, name, {DELETE, FILE_OPEN, OPTIONS}, handle);
  if (error != 0) return error;
  const OwnedHandle file(handle);
  // Windows will not delete a read-only file, where a POSIX system asks the directory alone.
  FILE_BASIC_INFO basic{};
  const bool read_only =
      ::GetFileInformationByHandleEx(handle, FileBasicInfo, &basic, sizeof basic) &&
      (basic.FileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
  FILE_BASIC_INFO writable = basic;
  writable.FileAttributes &= ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
  if (writable.FileAttributes == 0) writable.FileAttributes = FILE_ATTRIBUTE_NORMAL;
  if (read_only) ::SetFileInformationByHandle(handle, FileBasicInfo, &writable, sizeof writable);
  FILE_DISPOSITION_INFO disposition{};
  disposition.DeleteFile = TRUE;
  if (::SetFileInformationByHandle(handle, FileDispositionInfo, &disposition, sizeof disposition)) {
    return 0;
  }
  error = last_error();
  if (read_only) ::SetFileInformationByHandle(handle, FileBasicInfo, &basic, sizeof basic);
  return error;
}

}  // namespace windows
}  // namespace quillet
