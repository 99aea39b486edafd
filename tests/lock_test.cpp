// In-place runs on one file take turns, on every system: the second waits until the first lets
// go, and then opens the file the first put in place, not the one it replaced.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "platform/directory.h"
#include "platform/in_place.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace quillet {
namespace {

namespace fs = std::filesystem;

TEST(OpenLocked, RunsTakeTurnsAndSeeTheSwap) {
  std::error_code error;
  const fs::path dir =
      fs::temp_directory_path(error) /
      ("quillet-lock-" +
       std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
  ASSERT_TRUE(fs::create_directories(dir, error)) << error.message();
  std::ofstream(dir / "a.c", std::ios::binary) << "old\n";
  OpenDirectory directory;
  ASSERT_EQ(
      open_directory(nullptr, dir.string().c_str(), Link::FOLLOW, DirectoryUse::READ, directory),
      0);

  File first;
  FileLock first_lock;
  ASSERT_EQ(open_locked(directory, "a.c", first, first_lock), 0);
  ASSERT_TRUE(first_lock.is_held());
  std::atomic<bool> second_in{false};
  std::string second_read;
  std::thread second([&] {
    File file;
    FileLock lock;
    if (open_locked(directory, "a.c", file, lock) != 0) return;
    second_in = true;
    char bytes[16];
    std::size_t got = 0;
    if (read_some(file, bytes, sizeof bytes, got) == 0) second_read.assign(bytes, got);
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_FALSE(second_in.load()) << "the second run did not wait";

  // The first run swaps its result in, its input closed, and lets go.
  File made;
  ASSERT_EQ(create_temporary_in(directory, "a.c.tmp", made), 0);
  std::size_t put = 0;
  ASSERT_EQ(write_some(made, "new\n", 4, put), 0);
  ASSERT_EQ(made.close(), 0);
  ASSERT_EQ(first.close(), 0);
  ASSERT_EQ(replace_with_temporary(directory, "a.c.tmp", "a.c", nullptr), 0);
  first_lock.release();
  second.join();
  EXPECT_TRUE(second_in.load());
  EXPECT_EQ(second_read, "new\n") << "the second run read the file that was replaced";
  directory = OpenDirectory();
  fs::remove_all(dir, error);
}

#ifdef _WIN32
// A run that names the file by its short name ("AVERYL~1.C") takes turns with one that names it
// by its long name.
TEST(OpenLocked, ShortAndLongNamesTakeTurns) {
  std::error_code error;
  const fs::path dir =
      fs::temp_directory_path(error) /
      ("quillet-lock-short-" +
       std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
  ASSERT_TRUE(fs::create_directories(dir, error)) << error.message();
  const fs::path file = dir / "averylongfilename.c";
  std::ofstream(file, std::ios::binary) << "old\n";
  std::wstring short_path(1024, L'\0');
  short_path.resize(::GetShortPathNameW(file.wstring().c_str(), short_path.data(),
                                        static_cast<DWORD>(short_path.size())));
  const std::string short_name = fs::path(short_path).filename().string();
  if (short_name.empty() || short_name == "averylongfilename.c") {
    GTEST_SKIP() << "the volume keeps no short names";
  }
  OpenDirectory directory;
  ASSERT_EQ(
      open_directory(nullptr, dir.string().c_str(), Link::FOLLOW, DirectoryUse::READ, directory),
      0);
  File first;
  FileLock first_lock;
  ASSERT_EQ(open_locked(directory, "averylongfilename.c", first, first_lock), 0);
  std::atomic<bool> second_in{false};
  std::thread second([&] {
    File opened;
    FileLock lock;
    if (open_locked(directory, short_name.c_str(), opened, lock) == 0) second_in = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_FALSE(second_in.load()) << "the run naming " << short_name << " did not wait";
  ASSERT_EQ(first.close(), 0);
  first_lock.release();
  second.join();
  EXPECT_TRUE(second_in.load());
  directory = OpenDirectory();
  fs::remove_all(dir, error);
}
#endif

}  // namespace
}  // namespace quillet
