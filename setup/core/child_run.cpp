#include "core/child_run.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

// Present only in sanitizer builds, where a fuzzer registers its crash report there.
extern "C" __attribute__((weak)) void __sanitizer_set_death_callback(void (*)(void));

namespace zr::setup {
namespace {

bool writeAll(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

int waitChild(pid_t pid) {
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return status;
}

}  // namespace

ChildResult runInChild(const std::function<std::string()>& work, std::chrono::milliseconds limit) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) return {};
  const pid_t pid = ::fork();
  if (pid < 0) {
    ::close(fds[0]);
    ::close(fds[1]);
    return {};
  }
  if (pid == 0) {
    ::close(fds[0]);
    // The child dies of its own faults plainly: handlers the parent installed (a crash
    // reporter, a sanitizer's) must not act on its behalf.
    for (int sig : {SIGSEGV, SIGBUS, SIGABRT, SIGFPE, SIGILL}) ::signal(sig, SIG_DFL);
    if (__sanitizer_set_death_callback) __sanitizer_set_death_callback(nullptr);
    // What a library prints about a damaged file (or the crash report of a sanitizer
    // build) is not the user's business: the caller reports the outcome.
    const int devNull = ::open("/dev/null", O_WRONLY);
    if (devNull >= 0) ::dup2(devNull, STDERR_FILENO);
    int code = 1;
    try {
      code = writeAll(fds[1], work()) ? 0 : 1;
    } catch (...) {
    }
    ::_exit(code);
  }
  ::close(fds[1]);

  ChildResult result;
  const auto deadline = std::chrono::steady_clock::now() + limit;
  bool timedOut = false;
  char chunk[4096];
  for (;;) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      timedOut = true;
      break;
    }
    pollfd p{fds[0], POLLIN, 0};
    const int ready = ::poll(&p, 1, static_cast<int>(left.count()));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) {
      timedOut = ready == 0;
      break;
    }
    const ssize_t n = ::read(fds[0], chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    result.bytes.append(chunk, static_cast<size_t>(n));
  }
  ::close(fds[0]);
  if (timedOut) ::kill(pid, SIGKILL);
  const int status = waitChild(pid);
  if (timedOut) {
    result.outcome = ChildResult::Outcome::kTimedOut;
  } else if (WIFEXITED(status) && WEXITSTATUS(status) == 0) {
    result.outcome = ChildResult::Outcome::kDone;
    return result;
  }
  result.bytes.clear();
  return result;
}

}  // namespace zr::setup
