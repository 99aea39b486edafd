#include "io/child.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>

#include "io/descriptor.h"

extern char** environ;  // NOLINT(readability-identifier-naming): the C library's name

namespace quillet {

ChildResult run_child(const std::vector<const char*>& argv, int directory, std::string& output,
                      int timeout_ms) {
  ChildResult result;
  std::array<int, 2> pipe_ends{-1, -1};
  if (::pipe2(pipe_ends.data(), O_CLOEXEC) != 0) return result;
  const Descriptor read_end(pipe_ends[0]);
  Descriptor write_end(pipe_ends[1]);

  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  ::posix_spawn_file_actions_init(&actions);
  ::posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  ::posix_spawn_file_actions_adddup2(&actions, write_end.fd, STDOUT_FILENO);
  ::posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  if (directory >= 0) ::posix_spawn_file_actions_addfchdir_np(&actions, directory);
  ::posix_spawnattr_init(&attributes);
  // The signals this process waits for in a thread of its own are blocked in its others: the
  // child starts with none blocked, and with their default actions.
  sigset_t none;
  sigset_t waited;
  sigemptyset(&none);
  sigemptyset(&waited);
  for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) sigaddset(&waited, signal);
  ::posix_spawnattr_setsigmask(&attributes, &none);
  ::posix_spawnattr_setsigdefault(&attributes, &waited);
  ::posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  std::vector<char*> words;
  for (const char* word : argv) words.push_back(const_cast<char*>(word));  // NOLINT
  words.push_back(nullptr);
  pid_t pid = 0;
  const int spawned =
      ::posix_spawnp(&pid, words[0], &actions, &attributes, words.data(), environ);
  ::posix_spawn_file_actions_destroy(&actions);
  ::posix_spawnattr_destroy(&attributes);
  write_end.reset();
  if (spawned != 0) return result;
  result.started = true;

  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  std::array<char, 65536> chunk;
  bool late = false;
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    pollfd ready{read_end.fd, POLLIN, 0};
    const int polled = left.count() > 0 ? ::poll(&ready, 1, static_cast<int>(left.count())) : 0;
    if (polled < 0 && errno == EINTR) continue;
    if (polled <= 0) {
      late = true;
      break;
    }
    const ssize_t n = ::read(read_end.fd, chunk.data(), chunk.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    output.append(chunk.data(), static_cast<std::size_t>(n));
  }
  if (late) ::kill(pid, SIGKILL);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  result.finished = !late && WIFEXITED(status);
  result.status = result.finished ? WEXITSTATUS(status) : 0;
  return result;
}

}  // namespace quillet
