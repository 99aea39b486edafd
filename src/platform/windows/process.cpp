// What the process runs with: its Windows forms.
#include "platform/process.h"

#include <windows.h>
// Only after windows.h, which it takes its types from.
#include <shellapi.h>

#include <cstdio>

#include "platform/windows/native.h"

namespace quillet {

std::vector<std::string> program_arguments(int argc, char** argv) {
  // The C library split the command line into `argv` in the code page of the system; the same
  // line is split again here, by the same rules, into UTF-16.
  int count = 0;
  wchar_t** const words = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  std::vector<std::string> arguments;
  if (words == nullptr || count != argc) {
    for (int i = 0; i < argc; ++i)
      arguments.emplace_back(argv[i]);
  } else {
    for (int i = 0; i < count; ++i)
      arguments.push_back(windows::narrow(words[i]));
  }
  if (words != nullptr) ::LocalFree(words);
  return arguments;
}

std::size_t processors_online() {
  const DWORD online = ::GetActiveProcessorCount(ALL_PROCESSOR_GROUPS);
  return online < 1 ? 1 : static_cast<std::size_t>(online);
}

std::optional<std::size_t> open_file_limit() {
  // Handles have no limit a run could reach; the C library's streams, of which a worker holds
  // some, have one.
  return static_cast<std::size_t>(::_getmaxstdio());
}

std::tm local_time(const Time& time) {
  std::tm local{};
  const auto seconds = static_cast<std::time_t>(time.seconds);
  ::localtime_s(&local, &seconds);
  return local;
}

Time current_time() {
  FILETIME now{};
  ::GetSystemTimePreciseAsFileTime(&now);
  return windows::time_from(now);
}

}  // namespace quillet
