// Child processes and what they are given: their Windows forms. A child is started with no shell
// between, from the program's own path, its words quoted as the C library splits them; its
// output comes through pipes read as they fill; it runs in a job that kills it with whatever it
// started.
#include "platform/child.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <mutex>
#include <set>
#include <string>

#include "platform/windows/lists.h"
#include "platform/windows/native.h"

namespace quillet {
namespace {

constexpr DWORD SHARE_ALL = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr DWORD CHUNK = 65536;

// Appends `word` to `line` so that a program that splits its command line as the C library and
// CommandLineToArgvW do gets it back as it is: between quotes when it holds a blank or a quote,
// or is empty, with each quote, and the backslashes before a quote, escaped.
void append_quoted(std::wstring& line, std::wstring_view word) {
  if (!line.empty()) line += L' ';
  if (!word.empty() && word.find_first_of(L" \t\n\v\"") == std::wstring_view::npos) {
    line += word;
    return;
  }
  line += L'"';
  std::size_t backslashes = 0;
  for (const wchar_t c : word) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    line.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    line += c;
  }
  line.append(backslashes * 2, L'\\');  // doubled: the closing quote comes next
  line += L'"';
}

// One of the child's two output streams, as this process reads it: a named pipe, as only those
// can be read without waiting, and the read under way on it.
struct Reader {
  windows::OwnedHandle read_end;
  windows::OwnedHandle write_end;  // the child's, given to it and then closed here
  windows::OwnedHandle event;
  OVERLAPPED overlapped{};
  std::array<char, CHUNK> chunk;
  bool open = false;
  std::string* into = nullptr;
};

// Makes the pipe of `reader`, its write end inheritable: called only while no other child can
// start, which would inherit it too.
int open_pipe(Reader& reader) {
  static std::atomic<unsigned> made{0};
  const std::wstring name = L"\\\\.\\pipe\\quillet-" + std::to_wstring(::GetCurrentProcessId()) +
                            L"-" + std::to_wstring(made.fetch_add(1));
  reader.read_end.reset(::CreateNamedPipeW(
      name.c_str(), PIPE_ACCESS_INBOUND | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
      PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1, 0, CHUNK, 0,
      nullptr));
  if (!reader.read_end.is_open()) return windows::last_error();
  SECURITY_ATTRIBUTES inherited{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  reader.write_end.reset(
      ::CreateFileW(name.c_str(), GENERIC_WRITE, 0, &inherited, OPEN_EXISTING, 0, nullptr));
  if (!reader.write_end.is_open()) return windows::last_error();
  reader.event.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!reader.event.is_open()) return windows::last_error();
  reader.overlapped.hEvent = reader.event.get();
  reader.open = true;
  return 0;
}

// Starts the next read of `reader`; one that ends it (the child's end is closed) closes it.
void start_read(Reader& reader) {
  ::ResetEvent(reader.event.get());
  reader.overlapped.Internal = 0;
  reader.overlapped.InternalHigh = 0;
  // Done at once or not, the read sets the event when it is.
  if (!::ReadFile(reader.read_end.get(), reader.chunk.data(), CHUNK, nullptr, &reader.overlapped) &&
      ::GetLastError() != ERROR_IO_PENDING) {
    reader.open = false;
  }
}

// Takes what the read of `reader` brought, and starts the next one.
void finish_read(Reader& reader) {
  DWORD got = 0;
  if (!::GetOverlappedResult(reader.read_end.get(), &reader.overlapped, &got, FALSE)) {
    reader.open = false;  // the child's end is closed: all of it is read
    return;
  }
  reader.into->append(reader.chunk.data(), got);
  start_read(reader);
}

HANDLE null_device(DWORD access) {
  SECURITY_ATTRIBUTES inherited{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  return ::CreateFileW(L"NUL", access, SHARE_ALL, &inherited, OPEN_EXISTING, 0, nullptr);
}

// The program that `first` names: as named when it holds a path, else found in PATH as
// find_program finds one. "" when there is none.
std::wstring program_path(std::string_view first) {
  if (first.find_first_of("/\\:") == std::string_view::npos) {
    return windows::wide(find_program(first));
  }
  std::wstring path = windows::native_path(first);
  const std::size_t name = path.find_last_of(L"\\:");
  if (::GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES &&
      path.find(L'.', name == std::wstring::npos ? 0 : name) == std::wstring::npos) {
    path += L".exe";  // named as a shell names it
  }
  return path;
}

// A name of the environment, up to its "=" (a variable of a drive's directory, "=C:=C:\src",
// starts with one).
std::string_view name_of(std::string_view entry) { return entry.substr(0, entry.find('=', 1)); }

// Windows spells a variable's name in any case: "Path" is "PATH".
bool same_name(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    const auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; };
    return upper(x) == upper(y);
  });
}

// `entry` kept for the life of the process: the environment's words are read from UTF-16 into
// UTF-8 copies, which the words handed out point into, each kept once however often it is read.
const char* kept(std::string entry) {
  static std::mutex mutex;
  static std::set<std::string> entries;
  const std::lock_guard lock(mutex);
  return entries.insert(std::move(entry)).first->c_str();
}

bool is_absolute(std::string_view path) {
  const bool drive = path.size() >= 3 &&
                     ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z')) &&
                     path[1] == ':' && (path[2] == '\\' || path[2] == '/');
  return drive || path.starts_with("\\\\") || path.starts_with("//");
}

}  // namespace

ChildResult run_child(const std::vector<const char*>& argv, const OpenDirectory* directory,
                      const std::vector<const char*>* environment, std::string& output,
                      std::string* errors, int timeout_ms) {
  ChildResult result;
  const std::wstring program = argv.empty() ? std::wstring() : program_path(argv[0]);
  if (program.empty()) {
    result.error = ENOENT;
    return result;
  }
  std::wstring line;
  for (const char* word : argv)
    append_quoted(line, windows::wide(word));
  std::wstring variables;
  if (environment != nullptr) {
    for (const char* entry : *environment) {
      variables += windows::wide(entry);
      variables += L'\0';
    }
    if (variables.empty()) variables += L'\0';
    variables += L'\0';
  }
  std::wstring where;
  if (directory != nullptr) {
    if (const int error = windows::final_path(windows::handle(*directory), where); error != 0) {
      result.error = error;
      return result;
    }
    where = windows::plain_native_path(where);
  }

  // The job ends the child with whatever it started, once told to or once its last handle goes.
  const windows::OwnedHandle job(::CreateJobObjectW(nullptr, nullptr));
  if (!job.is_open()) {
    result.error = windows::last_error();
    return result;
  }
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
  ::SetInformationJobObject(job.get(), JobObjectExtendedLimitInformation, &limits, sizeof limits);

  std::array<Reader, 2> readers;
  readers[0].into = &output;
  readers[1].into = errors;
  PROCESS_INFORMATION started{};
  result.error = windows::start_child(
      [&] {
        if (const int error = open_pipe(readers[0]); error != 0) return error;
        if (errors != nullptr) {
          if (const int error = open_pipe(readers[1]); error != 0) return error;
        }
        const windows::OwnedHandle input(null_device(GENERIC_READ));
        const windows::OwnedHandle thrown_away(errors == nullptr ? null_device(GENERIC_WRITE)
                                                                 : nullptr);
        STARTUPINFOEXW startup{};
        startup.StartupInfo.cb = sizeof startup;
        startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
        startup.StartupInfo.hStdInput = input.get();
        startup.StartupInfo.hStdOutput = readers[0].write_end.get();
        startup.StartupInfo.hStdError =
            errors != nullptr ? readers[1].write_end.get() : thrown_away.get();
        // The child inherits these three handles and no other.
        std::array<HANDLE, 3> given = {startup.StartupInfo.hStdInput,
                                       startup.StartupInfo.hStdOutput,
                                       startup.StartupInfo.hStdError};
        SIZE_T size = 0;
        ::InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
        std::vector<char> attributes(size);
        auto* const list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(attributes.data());
        if (!::InitializeProcThreadAttributeList(list, 1, 0, &size)) return windows::last_error();
        ::UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, given.data(),
                                    sizeof given, nullptr, nullptr);
        startup.lpAttributeList = list;
        const BOOL made = ::CreateProcessW(
            program.c_str(), line.data(), nullptr, nullptr, TRUE,
            CREATE_SUSPENDED | CREATE_UNICODE_ENVIRONMENT | EXTENDED_STARTUPINFO_PRESENT,
            environment != nullptr ? variables.data() : nullptr,
            directory != nullptr ? where.c_str() : nullptr, &startup.StartupInfo, &started);
        const int error = made ? 0 : windows::last_error();
        ::DeleteProcThreadAttributeList(list);
        if (error != 0) return error;
        // In the job before it runs a single instruction, so that nothing it starts escapes it.
        ::AssignProcessToJobObject(job.get(), started.hProcess);
        ::ResumeThread(started.hThread);
        return 0;
      },
      job.get());
  // The child's ends are the child's alone: the pipes end when it closes them.
  for (Reader& reader : readers)
    reader.write_end.reset();
  if (result.error != 0) return result;
  result.started = true;
  const windows::OwnedHandle process(started.hProcess);
  const windows::OwnedHandle thread(started.hThread);

  // Both pipes are read as they fill, so that a child writing much on one never waits on it.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  const auto left_ms = [&] {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                          deadline - std::chrono::steady_clock::now())
                          .count();
    return left > 0 ? static_cast<DWORD>(left) : DWORD{0};
  };
  for (Reader& reader : readers) {
    if (reader.open) start_read(reader);
  }
  bool late = false;
  for (;;) {
    std::array<HANDLE, 2> events{};
    std::array<Reader*, 2> waiting{};
    DWORD count = 0;
    for (Reader& reader : readers) {
      if (!reader.open) continue;
      events[count] = reader.event.get();
      waiting[count++] = &reader;
    }
    if (count == 0) break;
    const DWORD waited = ::WaitForMultipleObjects(count, events.data(), FALSE, left_ms());
    if (waited >= WAIT_OBJECT_0 + count) {
      late = true;  // no time left, or nothing to wait on
      break;
    }
    finish_read(*waiting[waited - WAIT_OBJECT_0]);
  }
  if (!late && ::WaitForSingleObject(process.get(), left_ms()) != WAIT_OBJECT_0) late = true;
  if (late) ::TerminateJobObject(job.get(), static_cast<UINT>(STATUS_CONTROL_C_EXIT));
  // A read still under way writes into its reader until it is cancelled and done.
  for (Reader& reader : readers) {
    if (!reader.open) continue;
    ::CancelIoEx(reader.read_end.get(), &reader.overlapped);
    DWORD got = 0;
    ::GetOverlappedResult(reader.read_end.get(), &reader.overlapped, &got, TRUE);
  }
  ::WaitForSingleObject(process.get(), INFINITE);
  windows::forget_child(job.get());
  DWORD code = 0;
  ::GetExitCodeProcess(process.get(), &code);
  result.late = late;
  // An exception's code (0xC...) is how Windows tells a child that did not end by itself.
  result.finished = !late && (code & 0xC0000000U) != 0xC0000000U;
  result.status = result.finished ? static_cast<int>(code) : 0;
  return result;
}

std::vector<const char*> changed_environment(const std::vector<std::string>& changes,
                                             std::span<const std::string_view> left_out) {
  std::vector<const char*> entries;
  wchar_t* const block = ::GetEnvironmentStringsW();
  for (const wchar_t* entry = block; entry != nullptr && *entry != L'\0';) {
    const std::wstring_view wide_entry(entry);
    entry += wide_entry.size() + 1;
    const std::string narrow_entry = windows::narrow(wide_entry);
    const std::string_view name = name_of(narrow_entry);
    const bool replaced =
        std::any_of(left_out.begin(), left_out.end(),
                    [name](std::string_view out) { return same_name(out, name); }) ||
        std::any_of(changes.begin(), changes.end(), [name](const std::string& change) {
          return change.find('=', 1) != std::string::npos && same_name(name_of(change), name);
        });
    if (!replaced) entries.push_back(kept(narrow_entry));
  }
  if (block != nullptr) ::FreeEnvironmentStringsW(block);
  for (const std::string& change : changes)
    entries.push_back(change.c_str());
  return entries;
}

std::optional<std::string> environment_variable(const char* name) {
  const std::wstring wide_name = windows::wide(name);
  std::wstring value(256, L'\0');
  for (;;) {
    ::SetLastError(ERROR_SUCCESS);
    const DWORD n = ::GetEnvironmentVariableW(wide_name.c_str(), value.data(),
                                              static_cast<DWORD>(value.size()));
    if (n == 0 && ::GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
    if (n < value.size()) {
      value.resize(n);
      return windows::narrow(value);
    }
    value.resize(n);
  }
}

std::string find_program(std::string_view name) {
  const std::optional<std::string> path = environment_variable("PATH");
  if (!path) return {};
  // A shell finds "git" as "git.exe".
  const bool has_extension = name.find('.') != std::string_view::npos;
  const std::string_view entries = *path;
  for (std::size_t at = 0; at <= entries.size();) {
    const std::size_t end = std::min(entries.find(';', at), entries.size());
    std::string_view entry = entries.substr(at, end - at);
    at = end + 1;
    if (entry.size() >= 2 && entry.front() == '"' && entry.back() == '"') {
      entry = entry.substr(1, entry.size() - 2);
    }
    if (!is_absolute(entry)) continue;
    std::string candidate(entry);
    if (!candidate.ends_with('\\') && !candidate.ends_with('/')) candidate += '\\';
    candidate += name;
    if (!has_extension) candidate += ".exe";
    const DWORD attributes = ::GetFileAttributesW(windows::native_path(candidate).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
      return candidate;
    }
  }
  return {};
}

}  // namespace quillet
