// What an interrupted process cleans up before it ends: its children and its temporary files.
#include "platform/interrupt.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/posix/lists.h"
#include "platform/posix/system.h"

namespace quillet {
namespace {

struct Temporary {
  int directory;
  std::string name;
};

// The one list of the process: a signal may come while any thread holds a temporary file. A file
// is created and renamed under the lock, so the list never misses one that exists.
struct Temporaries {
  std::mutex mutex;
  std::vector<Temporary> files;
};

Temporaries& temporaries() {
  static Temporaries list;
  return list;
}

// The process groups of the children running, each led by the child started: an interrupted run
// ends them, or they would run on, with no one to read what they write.
struct Children {
  std::mutex mutex;
  std::vector<pid_t> groups;
};

Children& children() {
  static Children list;
  return list;
}

void wait_for_signal(sigset_t signals) {
  int signal = 0;
  while (::sigwait(&signals, &signal) != 0) {
  }
  // The locks are never given back: no child is started, and no temporary file is made or
  // renamed, after this.
  children().mutex.lock();
  for (const pid_t group : children().groups)
    ::kill(-group, SIGKILL);
  temporaries().mutex.lock();
  for (const Temporary& file : temporaries().files)
    (void)posix::unlink_at(file.directory, file.name.c_str());
  std::signal(signal, SIG_DFL);
  sigset_t just_this;
  sigemptyset(&just_this);
  sigaddset(&just_this, signal);
  ::pthread_sigmask(SIG_UNBLOCK, &just_this, nullptr);
  std::raise(signal);
  std::_Exit(128 + signal);  // not reached: the signal ends the process
}

void forget(int directory, const char* name) {
  std::vector<Temporary>& files = temporaries().files;
  const auto found = std::find_if(files.begin(), files.end(), [&](const Temporary& file) {
    return file.directory == directory && file.name == name;
  });
  if (found != files.end()) files.erase(found);
}

}  // namespace

void clean_up_on_signal() {
  sigset_t signals;
  sigemptyset(&signals);
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction action {};
    // A signal ignored from the start (nohup, a background job) stays ignored.
    if (::sigaction(signal, nullptr, &action) == 0 && action.sa_handler != SIG_IGN) {
      sigaddset(&signals, signal);
    }
  }
  if (::pthread_sigmask(SIG_BLOCK, &signals, nullptr) != 0) return;
  // std::thread tells its failure only by throwing. Without the thread (the user may have no
  // more processes), a signal ends the run at once, as it would have, and may leave a temporary
  // file behind: the run itself still goes on.
  try {
    std::thread(wait_for_signal, signals).detach();
  } catch (const std::system_error&) {
    ::pthread_sigmask(SIG_UNBLOCK, &signals, nullptr);
  }
}

namespace posix {

int start_child(const std::function<int(pid_t&)>& spawn, pid_t& pid) {
  const std::lock_guard lock(children().mutex);
  const int error = spawn(pid);
  if (error == 0) children().groups.push_back(pid);
  return error;
}

int wait_for_child(pid_t pid) {
  // Waited for first without being reaped: until it is, its id is no other process's.
  siginfo_t info{};
  while (::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOWAIT) != 0 && errno == EINTR) {
  }
  const std::lock_guard lock(children().mutex);
  std::vector<pid_t>& groups = children().groups;
  groups.erase(std::remove(groups.begin(), groups.end(), pid), groups.end());
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return status;
}

int create_listed_temporary(int directory, const char* name) {
  const std::lock_guard lock(temporaries().mutex);
  const int fd = open_at(directory, name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                         S_IRUSR | S_IWUSR);
  if (fd >= 0) temporaries().files.push_back({directory, name});
  return fd;
}

int rename_listed_temporary(int directory, const char* name, const char* target) {
  const std::lock_guard lock(temporaries().mutex);
  if (rename_at(directory, name, target) != 0) return errno;
  forget(directory, name);
  return 0;
}

void forget_listed_temporary(int directory, const char* name, bool remove) {
  const std::lock_guard lock(temporaries().mutex);
  if (remove) (void)unlink_at(directory, name);
  forget(directory, name);
}

}  // namespace posix
}  // namespace quillet
