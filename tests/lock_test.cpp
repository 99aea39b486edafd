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

// A directory of the test's own, open, with the file a.c in it.
class OpenLocked : public testing::Test {
 protected:
  void SetUp() override {
    std::error_code error;
    dir_ = fs::temp_directory_path(error) /
           ("quillet-lock-" +
            std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
    ASSERT_TRUE(fs::create_directories(dir_, error)) << error.message();
    std::ofstream(dir_ / "a.c", std::ios::binary) << "old\n";
    ASSERT_EQ(open_directory(nullptr, dir_.string().c_str(), Link::FOLLOW, DirectoryUse::READ,
                             directory_),
              0);
  }
  void TearDown() override {
    directory_ = OpenDirectory();
    std::error_code error;
    fs::remove_all(dir_, error);
  }

  // Whether a run on `other` waits while one holds `held`, and goes on once it lets go.
  void expect_turns(const char* held, const std::string& other) {
    File first;
    FileLock first_lock;
    ASSERT_EQ(open_locked(directory_, held, first, first_lock), 0);
    std::atomic<bool> second_in{false};
    std::thread second([&] {
      File file;
      FileLock lock;
      if (open_locked(directory_, other.c_str(), file, lock) == 0) second_in = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_FALSE(second_in.load()) << "the run naming " << other << " did not wait";
    ASSERT_EQ(first.close(), 0);
    first_lock.release();
    second.join();
    EXPECT_TRUE(second_in.load());
  }

  fs::path dir_;
  OpenDirectory directory_;
};

TEST_F(OpenLocked, RunsTakeTurnsAndSeeTheSwap) {
  File first;
  FileLock first_lock;
  ASSERT_EQ(open_locked(directory_, "a.c", first, first_lock), 0);
  ASSERT_TRUE(first_lock.is_held());
  std::atomic<bool> second_in{false};
  std::string second_read;
  std::thread second([&] {
    File file;
    FileLock lock;
    if (open_locked(directory_, "a.c", file, lock) != 0) return;
    second_in = true;
    char bytes[16];
    std::size_t got = 0;
    if (read_some(file, bytes, sizeof bytes, got) == 0) second_read.assign(bytes, got);
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_FALSE(second_in.load()) << "the second run did not wait";

  // The first run swaps its result in, its input closed, and lets go.
  File made;
  ASSERT_EQ(create_temporary_in(directory_, "a.c.tmp", made), 0);
  std::size_t put = 0;
  ASSERT_EQ(write_some(made, "new\n", 4, put), 0);
  ASSERT_EQ(made.close(), 0);
  ASSERT_EQ(first.close(), 0);
  ASSERT_EQ(replace_with_temporary(directory_, "a.c.tmp", "a.c", nullptr), 0);
  first_lock.release();
  second.join();
  EXPECT_TRUE(second_in.load());
  EXPECT_EQ(second_read, "new\n") << "the second run read the file that was replaced";
}

#ifdef _WIN32
// Windows's names have no case: runs on one file take turns however its name is spelled.
TEST_F(OpenLocked, WhateverTheCase) { expect_turns("a.c", "A.C"); }

// A run that names the file by its short name ("AVERYL~1.C") takes turns with one that names it
// by its long name.
TEST_F(OpenLocked, ShortAndLongNamesTakeTurns) {
  const fs::path file = dir_ / "averylongfilename.c";
  std::ofstream(file, std::ios::binary) << "old\n";
  std::wstring short_path(1024, L'\0');
  short_path.resize(::GetShortPathNameW(file.wstring().c_str(), short_path.data(),
                                        static_cast<DWORD>(short_path.size())));
  const std::string short_name = fs::path(short_path).filename().string();
  if (short_name.empty() || short_name == "averylongfilename.c") {
    GTEST_SKIP() << "the volume keeps no short names";
  }
  expect_turns("averylongfilename.c", short_name);
}
#endif

}  // namespace
}  // namespace quillet
