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
#include <string>
#include <thread>
#include <vector>

#include "platform/capture_loop.h"
#include "platform/command_line.h"
#include "platform/files.h"
#include "platform/process.h"

namespace platform {

namespace {

using capture::Clock;
using capture::ms_until;

// Closes a descriptor when it goes out of scope.
struct Fd {
  int fd = -1;
  ~Fd() { reset(); }
  void reset() {
    if (fd >= 0) ::close(fd);
    fd = -1;
  }
};

// The file to run for `program`: itself when it names a path, else the
// first runnable file of that name along PATH. False when there is none.
bool program_file(const std::string& program, std::string& file) {
  if (program.find('/') != std::string::npos) {
    file = program;
    return true;
  }
  char found[max_path];
  if (!find_on_search_path(program.c_str(), found)) return false;
  file = found;
  return true;
}

// How a program ends that started but could not really run: a crash signal
// (a cut copy), or the status of a loader or interpreter that gave up.
bool ended_as_crash(int status) {
  if (WIFSIGNALED(status)) {
    switch (WTERMSIG(status)) {
      case SIGSEGV:
      case SIGBUS:
      case SIGILL:
      case SIGFPE:
      case SIGABRT:
      case SIGSYS:
      case SIGTRAP:
        return true;
      default:
        return false;
    }
  }
  return WIFEXITED(status) && (WEXITSTATUS(status) == 126 || WEXITSTATUS(status) == 127);
}

// In the forked child: only async-signal-safe calls until exec. When exec
// fails, its errno goes to the bridge over `status_fd`, which is
// close-on-exec: a started tool closes it without writing. execv, unlike
// execvp, never hands a file it cannot run to /bin/sh.
[[noreturn]] void become_tool(int output_fd, int status_fd, pid_t bridge, const char* file, char* const* argv) {
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
  ::execv(file, argv);
  const int error = errno;
  while (::write(status_fd, &error, sizeof error) < 0 && errno == EINTR) {
  }
  ::_exit(127);
}

// A child we started, for capture::run; whatever happens it is reaped
// before run_captured returns.
class Child {
 public:
  bool start(const char* command_line) {
    std::vector<std::string> args = split_command_line(command_line);
    if (args.empty() || args[0].empty()) return false;
    std::string file;
    if (!program_file(args[0], file)) return false;
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);

    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return false;
    output_.fd = fds[0];
    Fd write_end{fds[1]};
    if (::pipe2(fds, O_CLOEXEC) != 0) return false;
    Fd status_read{fds[0]};
    Fd status_write{fds[1]};

    // Every descriptor of the bridge is close-on-exec; the child gets the
    // pipe as its output and keeps the bridge's standard input.
    const pid_t bridge = ::getpid();
    pid_ = ::fork();
    if (pid_ == 0) become_tool(write_end.fd, status_write.fd, bridge, file.c_str(), argv.data());
    write_end.reset();
    status_write.reset();
    if (pid_ < 0) return false;

    // The status pipe ends when the exec succeeds or the child exits; an
    // errno on it means the exec failed.
    int error = 0;
    ssize_t n;
    while ((n = ::read(status_read.fd, &error, sizeof error)) < 0 && errno == EINTR) {
    }
    if (n == static_cast<ssize_t>(sizeof error)) {
      reap_blocking();
      return false;
    }
#ifdef SYS_pidfd_open
    exit_fd_.fd = static_cast<int>(::syscall(SYS_pidfd_open, pid_, 0));
#endif
    ::fcntl(output_.fd, F_SETFL, ::fcntl(output_.fd, F_GETFL) | O_NONBLOCK);
    return true;
  }

  capture::Seen wait(int ms) {
    capture::Seen seen;
    pollfd p[2] = {{output_.fd, POLLIN, 0}, {exit_fd_.fd, POLLIN, 0}};
    // Without a pidfd the exit is looked for every 5 ms.
    const int count = exit_fd_.fd >= 0 ? 2 : 1;
    if (count == 1) ms = std::min(ms, 5);
    int r = ::poll(p, static_cast<nfds_t>(count), ms);
    if (r < 0) {
      if (errno == EINTR) return seen;
      failed_ = true;  // read reports the end
      seen.output = true;
      return seen;
    }
    seen.output = p[0].revents != 0;
    seen.exited = reaped_ || ((count == 1 || p[1].revents != 0) && try_reap());
    return seen;
  }

  int read(char* into, int want) {
    if (failed_) return capture::read_end;
    ssize_t n = ::read(output_.fd, into, static_cast<size_t>(want));
    if (n > 0) return static_cast<int>(n);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) return capture::read_nothing;
    return capture::read_end;
  }

  bool wait_exit(Clock::time_point deadline) {
    if (exit_fd_.fd >= 0) {
      for (;;) {
        if (try_reap()) return true;
        pollfd p{exit_fd_.fd, POLLIN, 0};
        int r = ::poll(&p, 1, ms_until(deadline));
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

  bool end() {
    if (pid_ <= 0 || try_reap()) return false;
    ::kill(pid_, SIGKILL);
    reap_blocking();
    return true;
  }

  bool crashed() const { return reaped_ && ended_as_crash(status_); }

  Child() = default;
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;
  ~Child() { end(); }

 private:
  bool try_reap() {
    if (reaped_) return true;
    int status = 0;
    pid_t r = ::waitpid(pid_, &status, WNOHANG);
    if (r == pid_) status_ = status;
    if (r == pid_ || (r < 0 && errno == ECHILD)) reaped_ = true;
    return reaped_;
  }

  void reap_blocking() {
    int status = 0;
    pid_t r;
    while ((r = ::waitpid(pid_, &status, 0)) < 0 && errno == EINTR) {
    }
    if (r == pid_) status_ = status;
    reaped_ = true;
  }

  pid_t pid_ = -1;
  Fd output_;   // the read end of the child's output
  Fd exit_fd_;  // pidfd: readable once the child has exited (Linux 5.3+)
  bool reaped_ = false;
  int status_ = 0;  // how the child ended, once reaped
  bool failed_ = false;
};

}  // namespace

ToolRun run_captured(const char* command_line, char* out, int size, RunLimits limits) {
  return capture::run<Child>(command_line, out, size, limits);
}

}  // namespace platform
