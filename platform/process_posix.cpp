#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif
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
#include "platform/stall_watch.h"

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

  // Ends the child if it still runs; true when it had to be ended.
  bool end() {
    if (pid <= 0 || try_reap()) return false;
    ::kill(pid, SIGKILL);
    int status;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    reaped = true;
    return true;
  }

  ~Child() { end(); }
};

// In the forked child: only async-signal-safe calls until exec.
[[noreturn]] void become_tool(int output_fd, pid_t bridge, char* const* argv) {
#ifdef __linux__
  // Ends with the bridge however the bridge ends. The signal is not passed
  // on to what the tool starts (adb's server lives on), and it is kept
  // across exec.
  ::prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (::getppid() != bridge) ::_exit(127);  // the bridge ended before prctl
#else
  (void)bridge;
#endif
  // Signals the bridge ignores stay ignored across exec; the tool gets the
  // usual ones.
  ::signal(SIGPIPE, SIG_DFL);
  ::signal(SIGXFSZ, SIG_DFL);
  ::dup2(output_fd, 1);
  ::dup2(output_fd, 2);
  ::execvp(argv[0], argv);
  ::_exit(127);
}

}  // namespace

bool run_captured(const char* command_line, char* out, int size, RunLimits limits) {
  out[0] = '\0';
  const auto start = Clock::now();
  const auto whole_deadline = start + std::chrono::milliseconds(limits.whole_run_ms);

  std::vector<std::string> args = split_command_line(command_line);
  if (args.empty() || args[0].empty()) return true;
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) return true;
  Fd read_end{fds[0]};
  Fd write_end{fds[1]};

  // Every descriptor of the bridge is close-on-exec; the child gets the
  // pipe as its output and keeps the bridge's standard input.
  Child child;
  const pid_t bridge = ::getpid();
  child.pid = ::fork();
  if (child.pid == 0) become_tool(write_end.fd, bridge, argv.data());
  ::close(write_end.fd);
  write_end.fd = -1;
  if (child.pid < 0) return true;
#ifdef SYS_pidfd_open
  child.exit_fd.fd = static_cast<int>(::syscall(SYS_pidfd_open, child.pid, 0));
#endif
  ::fcntl(read_end.fd, F_SETFL, ::fcntl(read_end.fd, F_GETFL) | O_NONBLOCK);

  // Reading: ends at end of data, the whole-run bound, a quiet bound, or
  // once the child has exited and what it wrote has been read. Output past
  // the buffer is read and dropped, so the child never blocks on the pipe.
  int held = 0;
  bool exited = false;
  bool stalled = false;
  StallWatch stall(limits);
  static char dropped[4096];
  for (;;) {
    int left = ms_until(whole_deadline);
    if (left == 0) break;
    if (stall.expired()) {
      stalled = true;
      break;
    }
    left = std::min(left, stall.ms_left());
    pollfd p[2] = {{read_end.fd, POLLIN, 0}, {child.exit_fd.fd, POLLIN, 0}};
    int count = child.exit_fd.fd >= 0 ? 2 : 1;
    int wait_ms = exited ? 0 : (count == 2 ? left : std::min(left, 5));
    int r = ::poll(p, static_cast<nfds_t>(count), wait_ms);
    if (r < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (p[0].revents != 0) {
      const bool full = held >= size - 1;
      // Once the child is gone, what a process it left behind keeps
      // writing is not waited for.
      if (full && exited) break;
      char* into = full ? dropped : out + held;
      const size_t want = full ? sizeof dropped : static_cast<size_t>(size - 1 - held);
      ssize_t n = ::read(read_end.fd, into, want);
      if (n > 0) {
        if (!full) {
          held += static_cast<int>(n);
          out[held] = '\0';
        }
        stall.saw_output(out);
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

  bool in_time = !stalled && ms_until(whole_deadline) > 0;
  if (!stalled && !child.try_reap()) {
    auto wait_deadline = std::min(whole_deadline, Clock::now() + std::chrono::milliseconds(limits.after_output_ms));
    child.wait_until(wait_deadline);
  }
  if (child.end()) in_time = false;
  return in_time;
}

}  // namespace platform
