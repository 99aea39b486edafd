// Holds a file open as another program (an editor, a virus scanner) may: others may read and
// write it, but neither delete it nor rename over it. Says "held" once it holds it, and lets go
// after the seconds given, or when it is ended.
// Usage: hold_open FILE SECONDS
#include <windows.h>

#include <cstdio>
#include <cwchar>

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) return 2;
  const HANDLE file = CreateFileW(argv[1], GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 1;
  std::puts("held");
  std::fflush(stdout);
  Sleep(static_cast<DWORD>(std::wcstol(argv[2], nullptr, 10)) * 1000);
  CloseHandle(file);
  return 0;
}
