// The Windows room against real files, processes and a git that answers as told, under wine on
// the CI machine: names past ASCII, identities, temporaries of one's own, the in-place steps,
// the turns runs take, and children.
#include <aclapi.h>
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/child.h"
#include "platform/directory.h"
#include "platform/file.h"
#include "platform/in_place.h"
#include "platform/streams.h"

namespace quillet {
namespace {

namespace fs = std::filesystem;

std::string contents(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void put(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// A scratch directory of the test's own, made current, removed after it.
class WindowsTest : public testing::Test {
 protected:
  void SetUp() override {
    std::error_code error;
    dir_ = fs::temp_directory_path(error) /
           ("quillet-" + std::to_string(::GetCurrentProcessId()) + "-" +
            testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_, error);
    ASSERT_TRUE(fs::create_directories(dir_ / "d", error)) << error.message();
    fs::current_path(dir_, error);
    ASSERT_FALSE(error);
  }
  void TearDown() override {
    std::error_code error;
    fs::current_path(dir_.parent_path(), error);
    for (const auto& entry : fs::recursive_directory_iterator(dir_, error))
      fs::permissions(entry.path(), fs::perms::owner_write, fs::perm_options::add, error);
    fs::remove_all(dir_, error);
  }
  fs::path dir_;
};

// A name past ASCII with blanks: made, listed and read back in UTF-8, every byte as it was.
TEST_F(WindowsTest, NamesInUtf8AndBytesAsTheyAre) {
  const std::string name = "caf\xC3\xA9 \xE2\x82\xAC x.c";  // "café € x.c"
  const std::string bytes = "a\r\nb\n\r\x1A";
  File out;
  ASSERT_EQ(create_for_writing(("d/" + name).c_str(), out), 0);
  std::size_t put_bytes = 0;
  ASSERT_EQ(write_some(out, bytes.data(), bytes.size(), put_bytes), 0);
  ASSERT_EQ(put_bytes, bytes.size());
  ASSERT_EQ(out.close(), 0);
  EXPECT_TRUE(fs::exists(dir_ / "d" / fs::u8path(name))) << "the name reached the disk otherwise";

  OpenDirectory d;
  ASSERT_EQ(open_directory(nullptr, "d", Link::FOLLOW, DirectoryUse::READ, d), 0);
  std::set<std::string> names;
  DirectoryListing listing(d);
  for (DirectoryEntry entry; listing.next(entry);)
    names.insert(std::string(entry.name));
  EXPECT_EQ(names, std::set<std::string>{name});

  File in;
  ASSERT_EQ(open_in(d, name.c_str(), Link::REFUSE, in), 0);
  std::string back(64, '\0');
  std::size_t got = 0;
  ASSERT_EQ(read_some(in, back.data(), back.size(), got), 0);
  EXPECT_EQ(back.substr(0, got), bytes);
  ASSERT_EQ(seek_to_start(in), 0);
  ASSERT_EQ(read_at(in, 3, back.data(), 2, got), 0);
  EXPECT_EQ(back.substr(0, got), "b\n");
  ASSERT_EQ(read_some(in, back.data(), 1, got), 0);
  EXPECT_EQ(back.substr(0, got), "a") << "a read at an offset moved where the file is read";
}

// Two names of one file are one file; two files are two (the C library's st_ino is always 0).
TEST_F(WindowsTest, IdentityIsVolumeAndIndex) {
  put("d/a.c", "a\n");
  put("d/b.c", "a\n");
  OpenDirectory d;
  ASSERT_EQ(open_directory(nullptr, "d", Link::FOLLOW, DirectoryUse::SEARCH, d), 0);
  ASSERT_EQ(make_backup_in(d, "a.c", "a.c.bak"), 0);
  FileFacts a;
  FileFacts bak;
  FileFacts b;
  ASSERT_EQ(facts_of_path("d/a.c", Link::FOLLOW, a), 0);
  ASSERT_EQ(facts_in(d, "a.c.bak", bak), 0);
  ASSERT_EQ(facts_of_path("d\\b.c", Link::REFUSE, b), 0);
  EXPECT_EQ(a.kind, FileKind::REGULAR);
  EXPECT_EQ(a.size, 2U);
  EXPECT_NE(a.id.inode, 0U);
  EXPECT_EQ(a.id, bak.id) << "the backup is no second name of the file";
  EXPECT_NE(a.id, b.id);
  EXPECT_EQ(contents("d/a.c"), "a\n") << "the file lost its name to its backup";

  // "." is the directory, ".." its parent, and a file is no directory.
  OpenDirectory same;
  OpenDirectory parent;
  OpenDirectory none;
  FileFacts d_facts;
  FileFacts here;
  FileFacts got;
  ASSERT_EQ(open_directory(&d, ".", Link::REFUSE, DirectoryUse::READ, same), 0);
  ASSERT_EQ(open_directory(&d, "..", Link::FOLLOW, DirectoryUse::READ, parent), 0);
  EXPECT_EQ(open_directory(&d, "a.c", Link::REFUSE, DirectoryUse::READ, none), ENOTDIR);
  ASSERT_EQ(facts_of(d.file(), d_facts), 0);
  ASSERT_EQ(facts_of(same.file(), got), 0);
  EXPECT_EQ(got.id, d_facts.id);
  ASSERT_EQ(facts_of_path(".", Link::FOLLOW, here), 0);
  ASSERT_EQ(facts_of(parent.file(), got), 0);
  EXPECT_EQ(got.id, here.id);
  EXPECT_EQ(got.kind, FileKind::DIRECTORY);
  std::string path;
  ASSERT_EQ(directory_path(d, path), 0);
  std::string cwd;
  ASSERT_EQ(current_directory(cwd), 0);
  EXPECT_EQ(path, cwd + "/d");
  EXPECT_EQ(path.find('\\'), std::string::npos) << path;
  EXPECT_EQ(path.substr(1, 2), ":/") << path;
}

// Temporaries of the room's own: no two threads share one (the C library's tmpfile() under
// wine gave two threads one file), and what a stream keeps is its bytes as written.
TEST(WindowsStreams, TemporariesAreEachTheirOwn) {
  std::atomic<int> wrong{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([t, &wrong] {
      for (int i = 0; i < 100; ++i) {
        std::FILE* const stream = open_temporary_stream();
        if (stream == nullptr) {
          ++wrong;
          continue;
        }
        const std::string mine = "thread " + std::to_string(t) + " file " + std::to_string(i);
        std::fputs(mine.c_str(), stream);
        std::this_thread::yield();
        std::string back(64, '\0');
        std::size_t got = 0;
        if (std::fflush(stream) != 0 ||
            read_stream_at(stream, 0, back.data(), back.size(), got) != 0 ||
            back.substr(0, got) != mine) {
          ++wrong;
        }
        std::fclose(stream);
      }
    });
  }
  for (std::thread& thread : threads)
    thread.join();
  EXPECT_EQ(wrong.load(), 0);

  std::FILE* const stream = open_temporary_stream();
  ASSERT_NE(stream, nullptr);
  std::fputs("a\r\nb\n", stream);
  EXPECT_EQ(stream_offset(stream), 5) << "a text mode stream turned LF into CR LF";
  ASSERT_EQ(empty_stream(stream), 0);
  EXPECT_EQ(stream_offset(stream), 0);
  std::fclose(stream);

  MessageStream messages;
  std::fputs("a long first message\n", messages.restart());
  EXPECT_EQ(messages.text(), "a long first message\n");
  std::fputs("short", messages.restart());
  EXPECT_EQ(messages.text(), "short");
}

// The swap's steps where Windows differs: a read-only file is replaced (and stays read-only), a
// file another program holds open is not, and is left as it was.
TEST_F(WindowsTest, SwapOverReadOnlyAndHeldFiles) {
  put("d/a.c", "old\n");
  OpenDirectory d;
  ASSERT_EQ(open_directory(nullptr, "d", Link::FOLLOW, DirectoryUse::READ, d), 0);
  FileFacts old_facts;
  ASSERT_EQ(facts_of_path("d/a.c", Link::FOLLOW, old_facts), 0);
  ASSERT_TRUE(::SetFileAttributesW(L"d\\a.c", FILE_ATTRIBUTE_READONLY));
  ASSERT_EQ(facts_of_path("d/a.c", Link::FOLLOW, old_facts), 0);
  for (int round = 0; round < 2; ++round) {
    File made;
    ASSERT_EQ(create_temporary_in(d, "a.c.tmp", made), 0);
    File again;
    EXPECT_EQ(create_temporary_in(d, "a.c.tmp", again), EEXIST);
    std::size_t n = 0;
    ASSERT_EQ(write_some(made, "new\n", 4, n), 0);
    ASSERT_EQ(give_access(made, old_facts.access), 0);
    ASSERT_EQ(sync_file(made), 0);
    ASSERT_EQ(made.close(), 0);
    // Round 0: the read-only file is replaced. Round 1: it is held open by a program that lets
    // no one delete it, and stays.
    const HANDLE holder =
        round == 0 ? INVALID_HANDLE_VALUE
                   : ::CreateFileW(L"d\\a.c", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   nullptr, OPEN_EXISTING, 0, nullptr);
    if (round == 0) {
      ASSERT_EQ(make_backup_in(d, "a.c", "a.c.bak"), 0);
    }
    const int error = replace_with_temporary(d, "a.c.tmp", "a.c", round == 0 ? "a.c.bak" : nullptr);
    if (round == 0) {
      EXPECT_EQ(error, 0);
      EXPECT_EQ(contents("d/a.c"), "new\n");
      EXPECT_NE(::GetFileAttributesW(L"d\\a.c") & FILE_ATTRIBUTE_READONLY, 0U);
      EXPECT_EQ(contents("d/a.c.bak"), "old\n");
      EXPECT_NE(::GetFileAttributesW(L"d\\a.c.bak") & FILE_ATTRIBUTE_READONLY, 0U)
          << "the backup is no longer read-only";
      EXPECT_FALSE(fs::exists("d/a.c.tmp"));
    } else {
      EXPECT_EQ(error, EBUSY);
      EXPECT_EQ(contents("d/a.c"), "new\n");
      EXPECT_EQ(contents("d/a.c.tmp"), "new\n") << "the new text is lost";
      ::CloseHandle(holder);
    }
  }
  // A read-only file is removed as the directory allows, as elsewhere.
  EXPECT_EQ(remove_in(d, "a.c"), 0);
  EXPECT_FALSE(fs::exists("d/a.c"));
}

// Every user's right to write a file shows in its access list, as the others' write bit does.
TEST_F(WindowsTest, OthersMayWriteByTheAccessList) {
  put("d/own.c", "x\n");
  FileFacts facts;
  ASSERT_EQ(facts_of_path("d/own.c", Link::FOLLOW, facts), 0);
  EXPECT_FALSE(facts.others_may_write);

  std::array<BYTE, SECURITY_MAX_SID_SIZE> everyone{};
  DWORD size = SECURITY_MAX_SID_SIZE;
  ASSERT_TRUE(::CreateWellKnownSid(WinWorldSid, nullptr, everyone.data(), &size));
  EXPLICIT_ACCESSW grant{};
  grant.grfAccessPermissions = FILE_GENERIC_READ | FILE_GENERIC_WRITE;
  grant.grfAccessMode = GRANT_ACCESS;
  grant.Trustee.TrusteeForm = TRUSTEE_IS_SID;
  grant.Trustee.ptstrName = reinterpret_cast<LPWSTR>(everyone.data());
  PACL acl = nullptr;
  ASSERT_EQ(::SetEntriesInAclW(1, &grant, nullptr, &acl), static_cast<DWORD>(ERROR_SUCCESS));
  std::wstring name = L"d\\own.c";
  ASSERT_EQ(::SetNamedSecurityInfoW(name.data(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                                    nullptr, acl, nullptr),
            static_cast<DWORD>(ERROR_SUCCESS));
  ::LocalFree(acl);
  ASSERT_EQ(facts_of_path("d/own.c", Link::FOLLOW, facts), 0);
  EXPECT_TRUE(facts.others_may_write);
}

// A git that answers as told (tests/fake_git.cpp), in the directory it is given (QUILLET_FAKE_GIT).
class ChildTest : public WindowsTest {
 protected:
  void SetUp() override {
    WindowsTest::SetUp();
    answers_ = dir_ / "answers";
    fs::create_directory(answers_);
    ::SetEnvironmentVariableW(L"QUILLET_FAKE_GIT", answers_.wstring().c_str());
  }
  ChildResult run(const std::vector<const char*>& words, const OpenDirectory* directory = nullptr,
                  const std::vector<const char*>* environment = nullptr, int timeout_ms = 20'000) {
    std::vector<const char*> argv = {QUILLET_FAKE_GIT};
    argv.insert(argv.end(), words.begin(), words.end());
    out_.clear();
    errors_.clear();
    return run_child(argv, directory, environment, out_, &errors_, timeout_ms);
  }
  fs::path answers_;
  std::string out_;
  std::string errors_;
};

TEST_F(ChildTest, WordsStreamsStatusAndTime) {
  put(answers_ / "stdout", std::string("a\0b\r\n", 5));
  put(answers_ / "stderr", "oops\n");
  put(answers_ / "status", "3");
  // Each word as it was given: blanks, quotes, backslashes before a quote or at the end, none.
  ChildResult got =
      run({"ls-files", "two words", "a\"b", "back\\\\\"slash", "end\\", "", "\xC3\xA9"});
  EXPECT_TRUE(got.started && got.finished);
  EXPECT_EQ(got.status, 3);
  EXPECT_EQ(out_, std::string("a\0b\r\n", 5));
  EXPECT_EQ(errors_, "oops\n");
  const std::string calls = contents(answers_ / "calls");
  EXPECT_EQ(calls.substr(calls.find('\n') + 1),
            "ls-files\ntwo words\na\"b\nback\\\\\"slash\nend\\\n\n\xC3\xA9\n--\n");

  // Much on both streams at once: neither side waits for the other.
  put(answers_ / "stdout", std::string(300'000, 'o'));
  put(answers_ / "stderr", std::string(300'000, 'e'));
  put(answers_ / "status", "0");
  got = run({});
  EXPECT_TRUE(got.finished);
  EXPECT_EQ(out_.size(), 300'000U);
  EXPECT_EQ(errors_.size(), 300'000U);

  put(answers_ / "sleep", "30000");
  const auto start = std::chrono::steady_clock::now();
  got = run({}, nullptr, nullptr, 500);
  EXPECT_TRUE(got.started && got.late && !got.finished);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));

  got = run_child({"no-such-program-of-quillet"}, nullptr, nullptr, out_, nullptr, 10'000);
  EXPECT_FALSE(got.started);
  EXPECT_EQ(got.error, ENOENT);
}

TEST_F(ChildTest, DirectoryAndEnvironment) {
  OpenDirectory d;
  ASSERT_EQ(open_directory(nullptr, "d", Link::FOLLOW, DirectoryUse::SEARCH, d), 0);
  put(answers_ / "variables", "QUILLET_T_A\nQUILLET_T_AB\nQUILLET_T_C\n");
  ::SetEnvironmentVariableW(L"Quillet_T_A", L"old");  // Windows's names have no case
  ::SetEnvironmentVariableW(L"QUILLET_T_AB", L"kept");
  const std::vector<std::string> changes = {"QUILLET_T_A=new", "QUILLET_T_C="};
  const std::vector<const char*> environment = changed_environment(changes);
  ASSERT_TRUE(run({}, &d, &environment).finished);
  std::string path;
  ASSERT_EQ(directory_path(d, path), 0);
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  EXPECT_EQ(contents(answers_ / "calls"),
            path + "\nQUILLET_T_A=new\nQUILLET_T_AB=kept\nQUILLET_T_C=\n--\n");
}

// git is found in PATH's absolute entries only, as git.exe: a relative entry would find the
// program of whatever directory the run is in.
TEST_F(ChildTest, ProgramsOnlyFromAbsolutePaths) {
  fs::create_directories("rel");
  fs::copy_file(QUILLET_FAKE_GIT, "rel/git.exe");
  const std::string git_dir = fs::path(QUILLET_FAKE_GIT).parent_path().string();
  const std::optional<std::string> saved = environment_variable("PATH");
  ::SetEnvironmentVariableW(L"PATH", fs::path("rel;" + git_dir).wstring().c_str());
  const std::string found = find_program("git");
  ::SetEnvironmentVariableW(L"PATH", fs::path(saved.value_or("")).wstring().c_str());
  EXPECT_EQ(fs::path(found), fs::path(git_dir) / "git.exe");
}

}  // namespace
}  // namespace quillet
