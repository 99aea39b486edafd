#include "platform/child.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <string>

#include "platform/directory.h"

namespace quillet {
namespace {

// A child's two streams come back apart, its status with them; one not found, or held past its
// time, is told so, and the run does not wait for it.
TEST(RunChild, Outcomes) {
  std::string out;
  std::string errors;
  ChildResult got = run_child({"sh", "-c", "printf 'a\\0b'; echo oops >&2; exit 3"}, nullptr,
                              nullptr, out, &errors, 10'000);
  EXPECT_TRUE(got.started && got.finished);
  EXPECT_EQ(got.status, 3);
  EXPECT_EQ(out, std::string("a\0b", 3));
  EXPECT_EQ(errors, "oops\n");

  out.clear();
  got = run_child({"no-such-program-of-quillet"}, nullptr, nullptr, out, nullptr, 10'000);
  EXPECT_FALSE(got.started);
  EXPECT_EQ(got.error, ENOENT);

  // Much on both streams at once: neither side waits for the other.
  out.clear();
  errors.clear();
  got = run_child({"sh", "-c", "head -c 300000 /dev/zero; head -c 300000 /dev/zero >&2"}, nullptr,
                  nullptr, out, &errors, 10'000);
  EXPECT_TRUE(got.finished);
  EXPECT_EQ(out.size(), 300000U);
  EXPECT_EQ(errors.size(), 300000U);

  const auto start = std::chrono::steady_clock::now();
  got = run_child({"sleep", "30"}, nullptr, nullptr, out, nullptr, 200);
  EXPECT_TRUE(got.started);
  EXPECT_FALSE(got.finished);
  EXPECT_TRUE(got.late);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));

  // It runs in the directory given, whatever this process's is.
  OpenDirectory root;
  ASSERT_EQ(open_directory(nullptr, "/", Link::FOLLOW, DirectoryUse::READ, root), 0);
  out.clear();
  got = run_child({"pwd"}, &root, nullptr, out, nullptr, 10'000);
  EXPECT_EQ(out, "/\n");

  // A variable given takes the place of the process's own of that name; one with a longer name
  // that starts the same is kept.
  ::setenv("QUILLET_T_A", "old", 1);
  ::setenv("QUILLET_T_AB", "kept", 1);
  out.clear();
  const std::vector<std::string> changes = {"QUILLET_T_A=new", "QUILLET_T_C="};
  const std::vector<const char*> environment = changed_environment(changes);
  got = run_child({"sh", "-c", "env | grep ^QUILLET_T_ | sort"}, nullptr, &environment, out,
                  nullptr, 10'000);
  EXPECT_EQ(out, "QUILLET_T_A=new\nQUILLET_T_AB=kept\nQUILLET_T_C=\n");
}

}  // namespace
}  // namespace quillet
