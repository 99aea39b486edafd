// A git.exe for the Windows tests, which answers as told: Linux's git, started from wine, tells
// no exit status. The directory QUILLET_FAKE_GIT names holds the answer: "stdout" and "stderr"
// are written out as they are, "status" holds the exit status, and "sleep" the milliseconds to
// wait first; each call appends to "calls" the directory it ran in, its words after its name, and
// the value of each variable that "variables" names (one a line), then a line "--".
#include <fcntl.h>
#include <io.h>
#include <windows.h>
// Only after windows.h, which it takes its types from.
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

std::wstring directory() {
  wchar_t name[32768];
  const DWORD n = GetEnvironmentVariableW(L"QUILLET_FAKE_GIT", name, 32768);
  return n > 0 && n < 32768 ? std::wstring(name, n) + L"\\" : std::wstring();
}

std::string read_file(const std::wstring& path) {
  std::string bytes;
  if (std::FILE* file = _wfopen(path.c_str(), L"rb")) {
    char chunk[65536];
    for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, file)) > 0;)
      bytes.append(chunk, n);
    std::fclose(file);
  }
  return bytes;
}

std::string utf8(const wchar_t* text) {
  const int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  std::string out(n > 0 ? static_cast<std::size_t>(n - 1) : 0, '\0');
  if (n > 1) WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), n, nullptr, nullptr);
  return out;
}

}  // namespace

int wmain() {
  const std::wstring at = directory();
  if (at.empty()) return 127;
  _setmode(1, _O_BINARY);
  _setmode(2, _O_BINARY);
  std::string call;
  wchar_t here[32768];
  GetCurrentDirectoryW(32768, here);
  call += utf8(here) + "\n";
  int count = 0;
  wchar_t** words = CommandLineToArgvW(GetCommandLineW(), &count);
  for (int i = 1; i < count; ++i)
    call += utf8(words[i]) + "\n";
  const std::string names = read_file(at + L"variables");
  for (std::size_t from = 0; from < names.size();) {
    std::size_t end = names.find('\n', from);
    if (end == std::string::npos) end = names.size();
    const std::string name = names.substr(from, end - from);
    from = end + 1;
    const char* value = std::getenv(name.c_str());
    call += name + (value != nullptr ? "=" + std::string(value) : " unset") + "\n";
  }
  call += "--\n";
  if (std::FILE* calls = _wfopen((at + L"calls").c_str(), L"ab")) {
    std::fwrite(call.data(), 1, call.size(), calls);
    std::fclose(calls);
  }
  if (const std::string sleep = read_file(at + L"sleep"); !sleep.empty()) {
    Sleep(static_cast<DWORD>(std::atoi(sleep.c_str())));
  }
  const std::string out = read_file(at + L"stdout");
  const std::string err = read_file(at + L"stderr");
  std::fwrite(out.data(), 1, out.size(), stdout);
  std::fwrite(err.data(), 1, err.size(), stderr);
  std::fflush(stdout);
  const std::string status = read_file(at + L"status");
  return status.empty() ? 0 : std::atoi(status.c_str());
}
