#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <thread>
#include <vector>

#include "platform/command_line.h"
#include "platform/process.h"

extern char** environ;

namespace platform {

namespace {

using Clock = std::chrono::steady_clock;

int ms_until(Clock::time_point t) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(t - Clock::now()).count();
  if (left <= 0) return 0;
  return left > 0x7fffffff ? 0x7fffffff : static_cast<int>(left);
}

// Closes a descriptor when it goes out of scope.
struct Fd {
  int fd = -1;
  ~Fd() {
    if (fd >= 0) ::close(fd);
  }
};

// A child we started; whatever happens it is reaped before we return.
struct Child {
  pid_t pid = -1;
  Fd exit_fd;  // pidfd: readable once the child has exited (Linux 5.3+)
  bool reaped = false;

  bool try_reap() {
    if (reaped) return true;
    int status;
    pid_t r = ::waitpid(pid, &status, WNOHANG);
    if (r == pid || (r < 0 && errno == ECHILD)) reaped = true;
    return reaped;
  }

  // Waits until the child exits or the deadline passes.
  bool wait_until(Clock::time_point deadline) {
    if (exit_fd.fd >= 0) {
      for (;;) {
        if (try_reap()) return true;
        pollfd p{exit_fd.fd, POLLIN, 0};
        int left = ms_until(deadline);
        int r = ::poll(&p, 1, left);
        if (r == 0) return try_reap();
        if (r < 0 && errno != EINTR) break;
      }
    }
    auto nap = std::chrono::microseconds(100);
    while (!try_reap()) {
      if (Clock::now() >= deadline) return false;
      std::this_thread::sleep_for(nap);
      nap = std::min(nap * 2, std::chrono::microseconds(10000));
    }
    return true;
  }

  ~Child() {
    if (pid > 0 && !try_reap()) {
      ::kill(pid, SIGKILL);
      int status;
      while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
      }
    }
  }
};

}  // namespace

void run_captured(const char* command_line, char* out, int size, RunLimits limits) {
  out[0] = '\0';
  const auto start = Clock::now();
  const auto whole_deadline = start + std::chrono::milliseconds(limits.whole_run_ms);

  std::vector<std::string> args = split_command_line(command_line);
  if (args.empty() || args[0].empty()) return;
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) return;
  Fd read_end{fds[0]};
  Fd write_end{fds[1]};

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, write_end.fd, 1);
  posix_spawn_file_actions_adddup2(&actions, write_end.fd, 2);
  Child child;
  int rc = ::posix_spawnp(&child.pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(write_end.fd);
  write_end.fd = -1;
  if (rc != 0) {
    child.pid = -1;
    return;
  }
#ifdef SYS_pidfd_open
  child.exit_fd.fd = static_cast<int>(::syscall(SYS_pidfd_open, child.pid, 0));
#endif
  ::fcntl(read_end.fd, F_SETFL, ::fcntl(read_end.fd, F_GETFL) | O_NONBLOCK);

  // Reading: ends at end of data, a full buffer, the whole-run bound, or
  // once the child has exited and what it wrote has been read.
  int held = 0;
  bool exited = false;
  while (held < size - 1) {
    int left = ms_until(whole_deadline);
    if (left == 0) break;
    pollfd p[2] = {{read_end.fd, POLLIN, 0}, {child.exit_fd.fd, POLLIN, 0}};
    int count = child.exit_fd.fd >= 0 ? 2 : 1;
    int wait_ms = exited ? 0 : (count == 2 ? left : std::min(left, 5));
    int r = ::poll(p, static_cast<nfds_t>(count), wait_ms);
    if (r < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (p[0].revents != 0) {
      ssize_t n = ::read(read_end.fd, out + held, static_cast<size_t>(size - 1 - held));
      if (n > 0) {
        held += static_cast<int>(n);
        continue;
      }
      if (n == 0) break;
      if (errno == EINTR || errno == EAGAIN) continue;
      break;
    }
    if (exited) break;  // the child is gone and the pipe is drained
    if (count == 1 || p[1].revents != 0) exited = child.try_reap();
  }
  out[held] = '\0';

  if (!child.try_reap()) {
    auto wait_deadline = std::min(whole_deadline, Clock::now() + std::chrono::milliseconds(limits.after_output_ms));
    child.wait_until(wait_deadline);
  }
  // ~Child ends a child that is still running and reaps it.
}

}  // namespace platform
