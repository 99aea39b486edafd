// The platform room and the files of a run, against real files: who closes what, what a name is,
// where links lead.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <set>
#include <string>

#include "io/buffer.h"
#include "platform/directory.h"
#include "platform/file.h"
#include "platform/streams.h"
#include "run/run.h"

namespace quillet {
namespace {

bool is_open(File::Handle handle) { return ::fcntl(static_cast<int>(handle), F_GETFD) != -1; }

// A scratch directory of the test's own, made current, removed after it.
class PlatformTest : public testing::Test {
 protected:
  void SetUp() override {
    std::string name = (std::filesystem::temp_directory_path() / "quillet-XXXXXX").string();
    ASSERT_NE(::mkdtemp(name.data()), nullptr);
    dir_ = name;
    std::filesystem::current_path(dir_);
  }
  void TearDown() override {
    std::error_code error;
    std::filesystem::current_path("/", error);
    std::filesystem::remove_all(dir_, error);
  }
  std::filesystem::path dir_;
};

TEST_F(PlatformTest, FilesCloseOnceAndOnlyTheirOwn) {
  ASSERT_EQ(std::system("echo x >a.c"), 0);
  File first;
  ASSERT_EQ(open_for_reading("a.c", first), 0);
  const File::Handle handle = first.handle();
  File second = std::move(first);
  EXPECT_FALSE(first.is_open());  // NOLINT(bugprone-use-after-move): what a move leaves
  { const File borrowed = File::borrowed(handle); }
  EXPECT_TRUE(is_open(handle)) << "a borrowed file was closed";
  const File::Handle kept = second.release();
  { const File gone = std::move(second); }
  EXPECT_TRUE(is_open(kept)) << "a released file was closed";
  { const File owner(kept); }
  EXPECT_FALSE(is_open(kept)) << "an owner left its file open";
  { const File input = standard_input(); }
  EXPECT_TRUE(is_open(0)) << "standard input was closed";
}

TEST_F(PlatformTest, FactsAndNames) {
  ASSERT_EQ(std::system("echo abc >a.c && ln a.c b.c && ln -s a.c l.c && mkfifo p.c && mkdir d "
                        "&& chmod 646 a.c"),
            0);
  FileFacts a;
  FileFacts b;
  ASSERT_EQ(facts_of_path("a.c", Link::FOLLOW, a), 0);
  ASSERT_EQ(facts_of_path("b.c", Link::FOLLOW, b), 0);
  EXPECT_EQ(a.kind, FileKind::REGULAR);
  EXPECT_EQ(a.size, 4U);
  EXPECT_TRUE(a.others_may_write);
  EXPECT_EQ(a.access.bits, 0646U);
  EXPECT_EQ(a.id, b.id) << "two names of one file";
  FileFacts link;
  ASSERT_EQ(facts_of_path("l.c", Link::REFUSE, link), 0);
  EXPECT_EQ(link.kind, FileKind::LINK);
  EXPECT_NE(link.id, a.id);

  OpenDirectory here;
  ASSERT_EQ(open_directory(nullptr, ".", Link::FOLLOW, DirectoryUse::READ, here), 0);
  File file;
  EXPECT_EQ(open_in(here, "l.c", Link::REFUSE, file), ELOOP);
  EXPECT_EQ(open_in(here, "p.c", Link::REFUSE, file), 0) << "a pipe is opened without a writer";
  OpenDirectory inner;
  EXPECT_EQ(open_directory(&here, "a.c", Link::FOLLOW, DirectoryUse::SEARCH, inner), ENOTDIR);
  ASSERT_EQ(std::system("ln -s d dl"), 0);
  EXPECT_NE(open_directory(&here, "dl", Link::REFUSE, DirectoryUse::SEARCH, inner), 0);
  EXPECT_EQ(open_directory(&here, "dl", Link::FOLLOW, DirectoryUse::SEARCH, inner), 0);

  std::set<std::string> names;
  DirectoryListing listing(here);
  for (DirectoryEntry entry; listing.next(entry);) {
    names.insert(std::string(entry.name));
    if (entry.name == "d") {
      EXPECT_NE(entry.kind, FileKind::REGULAR);
    }
  }
  EXPECT_EQ(listing.error(), 0);
  EXPECT_EQ(names, (std::set<std::string>{"a.c", "b.c", "d", "dl", "l.c", "p.c"}));

  std::string path;
  ASSERT_EQ(directory_path(here, path), 0);
  EXPECT_EQ(path, std::filesystem::canonical(dir_).string());
  ASSERT_EQ(resolve_links("dl", path), 0);
  EXPECT_EQ(path, (std::filesystem::canonical(dir_) / "d").string());
}

TEST_F(PlatformTest, CurrentDirectoryAsTheShellNamesIt) {
  ASSERT_EQ(std::system("mkdir real && ln -s real named"), 0);
  const std::string named = (dir_ / "named").string();
  const char* const before = std::getenv("PWD");
  const std::string shell = before != nullptr ? before : "";
  std::filesystem::current_path(named);
  ::setenv("PWD", named.c_str(), 1);
  EXPECT_EQ(current_directory_as_named(), named);
  ::setenv("PWD", dir_.c_str(), 1);  // stale: names another directory
  EXPECT_EQ(current_directory_as_named(), std::filesystem::canonical(dir_ / "real").string());
  ::setenv("PWD", shell.c_str(), 1);
}

TEST(Wildcards, Table) {
  struct Case {
    const char* pattern;
    const char* path;
    bool want;
  };
  // clang-format off
  constexpr Case CASES[] = {
      {"*.c", "a.c", true}, {"*.c", "d/a.c", false}, {"d/*", "d/a.c", true},
      {"d?a.c", "d/a.c", false}, {"[a-c].c", "b.c", true},
  };
  // clang-format on
  for (const Case& c : CASES)
    EXPECT_EQ(matches_wildcards(c.pattern, c.path), c.want) << c.pattern << " " << c.path;
}

TEST(Streams, ReadBackAndStartAfresh) {
  std::FILE* const stream = open_temporary_stream();
  ASSERT_NE(stream, nullptr);
  std::fputs("one two", stream);
  EXPECT_EQ(stream_offset(stream), 7);
  ASSERT_EQ(std::fflush(stream), 0);
  std::string got(3, '\0');
  std::size_t n = 0;
  ASSERT_EQ(read_stream_at(stream, 4, got.data(), got.size(), n), 0);
  EXPECT_EQ(got.substr(0, n), "two");
  EXPECT_EQ(stream_offset(stream), 7) << "reading moved where it writes";
  ASSERT_EQ(empty_stream(stream), 0);
  EXPECT_EQ(stream_offset(stream), 0);
  ASSERT_EQ(read_stream_at(stream, 0, got.data(), got.size(), n), 0);
  EXPECT_EQ(n, 0U);
  std::fclose(stream);

  MessageStream messages;
  std::fputs("a long first message", messages.restart());
  EXPECT_EQ(messages.text(), "a long first message");
  std::fputs("short", messages.restart());
  EXPECT_EQ(messages.text(), "short") << "the text before was not written over";
}

// An output keeps the error of its file, and an input owns its file until it is reset.
TEST_F(PlatformTest, BuffersOwnTheirFilesAndErrors) {
  static Files files;
  reset(files);
  ASSERT_EQ(create_for_writing("/dev/full", files.out.file), 0);
  EXPECT_TRUE(write_bytes(files.out, "x"));
  EXPECT_FALSE(flush(files.out));
  EXPECT_EQ(files.out.error, ENOSPC);
  EXPECT_FALSE(close_file(files.out));

  ASSERT_EQ(std::system("printf 'abc' >a.c"), 0);
  ASSERT_EQ(open_for_reading("a.c", files.in.file), 0);
  const File::Handle handle = files.in.file.handle();
  ASSERT_TRUE(refill(files.in));
  EXPECT_EQ(std::string_view(files.in.data.data(), files.in.end), "abc");
  ASSERT_TRUE(rewind(files.in));
  ASSERT_TRUE(refill(files.in));
  EXPECT_EQ(files.in.end, 3U);
  reset(files);
  EXPECT_FALSE(is_open(handle)) << "the input's file outlived its run";
}

// A run closes what it opened once it is done: an in-place run's input holds the lock that other
// runs on the file wait for, however long the next file's run takes to start.
TEST_F(PlatformTest, RunsCloseTheirFiles) {
  ASSERT_EQ(std::system("echo 'int x;                       // c' >a.c"), 0);
  for (const Mode mode : {Mode::IN_PLACE, Mode::TO_FILE, Mode::CHECK, Mode::DIFF}) {
    FileRun run;
    run.mode = mode;
    run.output_file = mode == Mode::TO_FILE ? "out.c" : nullptr;
    const auto buffers = std::make_unique<Buffers>();
    std::FILE* const messages = std::tmpfile();
    Target target;
    target.path = "a.c";
    EXPECT_NE(run_one_file(run, target, *buffers, messages), RC_IO_ERROR);
    std::fclose(messages);
    EXPECT_FALSE(buffers->files.in.file.is_open() || buffers->files.out.file.is_open())
        << "mode " << static_cast<int>(mode);
  }
}

// Standard input is the process's: a run that reads it leaves it open for whatever comes next.
TEST_F(PlatformTest, RunsLeaveStandardInputOpen) {
  const int saved = ::dup(0);
  ASSERT_EQ(std::system("echo 'int x;  // c' >in.c"), 0);
  for (const Mode mode : {Mode::TO_FILE, Mode::CHECK, Mode::DIFF}) {
    const int in = ::open("in.c", O_RDONLY);
    if (in != 0) {
      ASSERT_EQ(::dup2(in, 0), 0);
      ::close(in);
    }
    FileRun run;
    run.mode = mode;
    run.output_file = mode == Mode::TO_FILE ? "out.c" : nullptr;
    const auto buffers = std::make_unique<Buffers>();
    std::FILE* const messages = std::tmpfile();
    Target target;
    target.path = "-";
    (void)run_one_file(run, target, *buffers, messages);
    std::fclose(messages);
    EXPECT_NE(::fcntl(0, F_GETFD), -1) << "mode " << static_cast<int>(mode);
  }
  ::dup2(saved, 0);
  ::close(saved);
}

}  // namespace
}  // namespace quillet
