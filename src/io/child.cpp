#include "io/child.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <string_view>

#include "io/descriptor.h"
#include "io/interrupt.h"

extern char** environ;  // NOLINT(readability-identifier-naming): the C library's name

namespace quillet {
namespace {

// A pipe whose read end this process keeps and whose write end the child gets.
struct Pipe {
  Descriptor read_end;
  Descriptor write_end;
};

bool open_pipe(Pipe& pipe) {
  std::array<int, 2> ends{-1, -1};
  if (::pipe2(ends.data(), O_CLOEXEC) != 0) return false;
  pipe.read_end.reset(ends[0]);
  pipe.write_end.reset(ends[1]);
  return true;
}

// A copy of `words` that ends in a null pointer, as posix_spawn takes them (and leaves unchanged).
std::vector<char*> null_ended(const std::vector<const char*>& words) {
  std::vector<char*> ended;
  ended.reserve(words.size() + 1);
  for (const char* word : words)
    ended.push_back(const_cast<char*>(word));  // NOLINT: never written through
  ended.push_back(nullptr);
  return ended;
}

// Starts the child as `pid`. Returns 0, or the error that kept it from starting.
int spawn(const std::vector<const char*>& argv, int directory,
          const std::vector<const char*>* environment, int out, int errors, pid_t& pid) {
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  ::posix_spawn_file_actions_init(&actions);
  ::posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  ::posix_spawn_file_actions_adddup2(&actions, out, STDOUT_FILENO);
  if (errors >= 0) {
    ::posix_spawn_file_actions_adddup2(&actions, errors, STDERR_FILENO);
  } else {
    ::posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  }
  if (directory >= 0) ::posix_spawn_file_actions_addfchdir_np(&actions, directory);
  ::posix_spawnattr_init(&attributes);
  // The signals this process waits for in a thread of its own are blocked in its others: the
  // child starts with none blocked, and with their default actions.
  sigset_t none;
  sigset_t waited;
  sigemptyset(&none);
  sigemptyset(&waited);
  for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE})
    sigaddset(&waited, signal);
  ::posix_spawnattr_setsigmask(&attributes, &none);
  ::posix_spawnattr_setsigdefault(&attributes, &waited);
  // A group of its own, which an interrupted run kills with whatever the child started.
  ::posix_spawnattr_setpgroup(&attributes, 0);
  ::posix_spawnattr_setflags(
      &attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP);
  std::vector<char*> words = null_ended(argv);
  std::vector<char*> variables =
      environment != nullptr ? null_ended(*environment) : std::vector<char*>();
  // A program named by a path is started as named: PATH, which may hold relative entries, is
  // searched only for a bare name.
  const auto start = std::strchr(words[0], '/') != nullptr ? ::posix_spawn : ::posix_spawnp;
  const int spawned = start(&pid, words[0], &actions, &attributes, words.data(),
                            environment != nullptr ? variables.data() : environ);
  ::posix_spawn_file_actions_destroy(&actions);
  ::posix_spawnattr_destroy(&attributes);
  return spawned;
}

}  // namespace

ChildResult run_child(const std::vector<const char*>& argv, int directory,
                      const std::vector<const char*>* environment, std::string& output,
                      std::string* errors, int timeout_ms) {
  ChildResult result;
  Pipe out;
  Pipe err;
  if (!open_pipe(out) || (errors != nullptr && !open_pipe(err))) {
    result.error = errno;
    return result;
  }
  pid_t pid = -1;
  result.error = start_child(
      [&](pid_t& started) {
        return spawn(argv, directory, environment, out.write_end.fd,
                     errors != nullptr ? err.write_end.fd : -1, started);
      },
      pid);
  out.write_end.reset();
  err.write_end.reset();
  if (result.error != 0) return result;
  result.started = true;

  // Both pipes are read as they fill, so that a child writing much on one never waits on it.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  std::array<char, 65536> chunk;
  std::array<pollfd, 2> pipes{pollfd{out.read_end.fd, POLLIN, 0},
                              pollfd{err.read_end.fd, POLLIN, 0}};
  std::array<std::string*, 2> into{&output, errors};
  bool late = false;
  while (pipes[0].fd >= 0 || pipes[1].fd >= 0) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    const int polled =
        left.count() > 0 ? ::poll(pipes.data(), pipes.size(), static_cast<int>(left.count())) : 0;
    if (polled < 0 && errno == EINTR) continue;
    if (polled <= 0) {
      late = true;
      break;
    }
    for (std::size_t i = 0; i < pipes.size(); ++i) {
      if (pipes[i].fd < 0 || pipes[i].revents == 0) continue;
      const ssize_t n = ::read(pipes[i].fd, chunk.data(), chunk.size());
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        pipes[i].fd = -1;  // poll passes over a negative descriptor
        continue;
      }
      into[i]->append(chunk.data(), static_cast<std::size_t>(n));
    }
  }
  if (late) ::kill(-pid, SIGKILL);
  const int status = wait_for_child(pid);
  result.late = late;
  result.finished = !late && WIFEXITED(status);
  result.status = result.finished ? WEXITSTATUS(status) : 0;
  return result;
}

std::vector<const char*> changed_environment(const std::vector<std::string>& changes) {
  std::vector<const char*> entries;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string_view name =
        std::string_view(*entry).substr(0, std::string_view(*entry).find('='));
    const bool replaced =
        std::any_of(changes.begin(), changes.end(), [name](const std::string& change) {
          return change.starts_with(name) && change.size() > name.size() &&
                 change[name.size()] == '=';
        });
    if (!replaced) entries.push_back(*entry);
  }
  for (const std::string& change : changes)
    entries.push_back(change.c_str());
  return entries;
}

}  // namespace quillet
