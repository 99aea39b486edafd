// Child processes and what they are given: their POSIX forms.
#include "platform/child.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "platform/posix/lists.h"
#include "platform/posix/native.h"
#include "platform/posix/system.h"

extern char** environ;  // NOLINT(readability-identifier-naming): the C library's name

namespace quillet {
namespace {

// A pipe whose read end this process keeps and whose write end the child gets.
struct Pipe {
  File read_end;
  File write_end;
};

// Opens `pipe`, both ends closed in any program started. Called only while no child can start
// (see start_child), which the ends could otherwise leak into before they are marked.
int open_pipe(Pipe& pipe) {
  std::array<int, 2> ends{-1, -1};
  if (posix::pipe(ends) != 0) return errno;
  pipe.read_end = File(ends[0]);
  pipe.write_end = File(ends[1]);
  for (const int end : ends) {
    if (::fcntl(end, F_SETFD, FD_CLOEXEC) != 0) return errno;
  }
  return 0;
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

// The signals this process waits for in a thread of its own, blocked in its others: a child
// starts with their default actions.
constexpr std::array<int, 4> WAITED_SIGNALS{SIGINT, SIGTERM, SIGHUP, SIGPIPE};

#if !defined(QUILLET_HAVE_ADDFCHDIR_NP)
// Where posix_spawn cannot start a child in a directory it is given open, the child is forked,
// enters the directory through that descriptor (no path is looked up again, so no link planted on
// the way since is followed), and then does what spawn's actions and attributes would have done.
// Between fork and exec it makes only calls that are safe in the child of a threaded process.
// `programs` are the paths to try in turn (a bare name's, one per PATH entry, as posix_spawnp
// would). Returns 0, or the error that kept it from starting.
int fork_in(const std::vector<std::string>& programs, int directory, char* const* argv,
            char* const* environment, int out, int errors, pid_t& pid) {
  std::array<int, 2> told{-1, -1};
  if (posix::pipe(told) != 0) return errno;
  const File told_read(told[0]);
  File told_write(told[1]);
  for (const int end : told) {
    if (::fcntl(end, F_SETFD, FD_CLOEXEC) != 0) return errno;
  }
  std::vector<const char*> paths;
  for (const std::string& program : programs)
    paths.push_back(program.c_str());
  pid = posix::fork(argv[0]);
  if (pid < 0) return errno;
  if (pid == 0) {
    int error = 0;
    const int in = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    const int quiet = errors >= 0 ? errors : ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (in < 0 || quiet < 0 || ::dup2(in, STDIN_FILENO) < 0 || ::dup2(out, STDOUT_FILENO) < 0 ||
        ::dup2(quiet, STDERR_FILENO) < 0 || ::fchdir(directory) != 0 || ::setpgid(0, 0) != 0) {
      error = errno;
    }
    struct sigaction plain {};
    plain.sa_handler = SIG_DFL;  // NOLINT(cppcoreguidelines-pro-type-union-access)
    for (const int signal : WAITED_SIGNALS)
      (void)::sigaction(signal, &plain, nullptr);
    sigset_t none;
    sigemptyset(&none);
    (void)::sigprocmask(SIG_SETMASK, &none, nullptr);
    for (std::size_t i = 0; error == 0 && i < paths.size(); ++i) {
      ::execve(paths[i], argv, environment);
      // As posix_spawnp: a path that leads to no program passes on to the next one.
      if (errno != ENOENT && errno != EACCES && errno != ENOTDIR) error = errno;
    }
    if (error == 0) error = paths.empty() ? ENOENT : errno;
    (void)!::write(told[1], &error, sizeof error);
    ::_exit(127);
  }
  // Its own group, set here too: the run may end it before the child has set it itself.
  (void)::setpgid(pid, pid);
  (void)told_write.close();
  int error = 0;
  ssize_t got = -1;
  while ((got = ::read(told[0], &error, sizeof error)) < 0 && errno == EINTR) {
  }
  if (got == static_cast<ssize_t>(sizeof error)) {
    while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
    return error;
  }
  return 0;
}

// The paths posix_spawnp would try for `program`: itself when it names a path, else one for each
// entry of PATH ("." for an empty one).
std::vector<std::string> candidates(const char* program, bool search) {
  if (!search) return {program};
  const char* const variable = std::getenv("PATH");
  const std::string_view entries = variable != nullptr ? variable : "/bin:/usr/bin";
  std::vector<std::string> paths;
  for (std::size_t at = 0; at <= entries.size();) {
    const std::size_t end = std::min(entries.find(':', at), entries.size());
    std::string path(entries.substr(at, end - at));
    at = end + 1;
    path = (path.empty() ? std::string(".") : path) + "/" + program;
    paths.push_back(std::move(path));
  }
  return paths;
}
#endif

// Starts the child as `pid`. Returns 0, or the error that kept it from starting.
int spawn(const std::vector<const char*>& argv, const OpenDirectory* directory,
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
#if defined(QUILLET_HAVE_ADDFCHDIR_NP)
  if (directory != nullptr) {
    ::posix_spawn_file_actions_addfchdir_np(&actions, posix::descriptor(*directory));
  }
#else
  if (directory != nullptr) {
    ::posix_spawn_file_actions_destroy(&actions);
    std::vector<char*> words = null_ended(argv);
    std::vector<char*> variables =
        environment != nullptr ? null_ended(*environment) : std::vector<char*>();
    return fork_in(candidates(words[0], std::strchr(words[0], '/') == nullptr),
                   posix::descriptor(*directory), words.data(),
                   environment != nullptr ? variables.data() : environ, out, errors, pid);
  }
#endif
  ::posix_spawnattr_init(&attributes);
  // The signals this process waits for in a thread of its own are blocked in its others: the
  // child starts with none blocked, and with their default actions.
  sigset_t none;
  sigset_t waited;
  sigemptyset(&none);
  sigemptyset(&waited);
  for (const int signal : WAITED_SIGNALS)
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
  const int spawned =
      posix::spawn(pid, words[0], std::strchr(words[0], '/') == nullptr, &actions, &attributes,
                   words.data(), environment != nullptr ? variables.data() : environ);
  ::posix_spawn_file_actions_destroy(&actions);
  ::posix_spawnattr_destroy(&attributes);
  return spawned;
}

}  // namespace

ChildResult run_child(const std::vector<const char*>& argv, const OpenDirectory* directory,
                      const std::vector<const char*>* environment, std::string& output,
                      std::string* errors, int timeout_ms) {
  ChildResult result;
  Pipe out;
  Pipe err;
  pid_t pid = -1;
  result.error = posix::start_child(
      [&](pid_t& started) {
        if (const int error = open_pipe(out); error != 0) return error;
        if (errors != nullptr) {
          if (const int error = open_pipe(err); error != 0) return error;
        }
        return spawn(argv, directory, environment, posix::descriptor(out.write_end),
                     errors != nullptr ? posix::descriptor(err.write_end) : -1, started);
      },
      pid);
  (void)out.write_end.close();
  (void)err.write_end.close();
  if (result.error != 0) return result;
  result.started = true;

  // Both pipes are read as they fill, so that a child writing much on one never waits on it.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  std::array<char, 65536> chunk;
  std::array<pollfd, 2> pipes{pollfd{posix::descriptor(out.read_end), POLLIN, 0},
                              pollfd{posix::descriptor(err.read_end), POLLIN, 0}};
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
      const ssize_t n = posix::read(pipes[i].fd, chunk.data(), chunk.size());
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        pipes[i].fd = -1;  // poll passes over a negative descriptor
        continue;
      }
      into[i]->append(chunk.data(), static_cast<std::size_t>(n));
    }
  }
  if (late) ::kill(-pid, SIGKILL);
  const int status = posix::wait_for_child(pid);
  result.late = late;
  result.finished = !late && WIFEXITED(status);
  result.status = result.finished ? WEXITSTATUS(status) : 0;
  return result;
}

std::vector<const char*> changed_environment(const std::vector<std::string>& changes,
                                             std::span<const std::string_view> left_out) {
  std::vector<const char*> entries;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string_view name =
        std::string_view(*entry).substr(0, std::string_view(*entry).find('='));
    const bool replaced =
        std::find(left_out.begin(), left_out.end(), name) != left_out.end() ||
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

std::optional<std::string> environment_variable(const char* name) {
  const char* const value = std::getenv(name);
  if (value == nullptr) return std::nullopt;
  return std::string(value);
}

std::string find_program(std::string_view name) {
  const char* const path = std::getenv("PATH");
  if (path == nullptr) return {};
  const std::string_view entries = path;
  for (std::size_t at = 0; at <= entries.size();) {
    const std::size_t end = std::min(entries.find(':', at), entries.size());
    const std::string_view entry = entries.substr(at, end - at);
    at = end + 1;
    if (!entry.starts_with("/")) continue;
    std::string candidate(entry);
    if (!candidate.ends_with("/")) candidate += '/';
    candidate += name;
    struct stat status {};
    if (::stat(candidate.c_str(), &status) == 0 && S_ISREG(status.st_mode) &&
        ::access(candidate.c_str(), X_OK) == 0) {
      return candidate;
    }
  }
  return {};
}

}  // namespace quillet
