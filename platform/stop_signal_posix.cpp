#include <signal.h>
#include <unistd.h>

#include <cstring>
#include <initializer_list>

#include "platform/files.h"
#include "platform/stop_signal.h"

namespace platform {

namespace {

// Filled in before any handler is set and never changed afterwards, so the
// handler reads a finished text.
char stop_path[max_path];

// Only async-signal-safe calls: the file goes, then the signal is taken
// again with its default action once this handler returns.
void on_stop(int signal_number) {
  ::unlink(stop_path);
  struct sigaction default_action {};
  default_action.sa_handler = SIG_DFL;
  ::sigaction(signal_number, &default_action, nullptr);
  ::raise(signal_number);
}

}  // namespace

void delete_on_stop(const char* path) {
  if (std::strlen(path) >= sizeof stop_path) return;
  std::strcpy(stop_path, path);
  for (int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction before {};
    if (::sigaction(signal_number, nullptr, &before) != 0 || before.sa_handler == SIG_IGN) continue;
    struct sigaction action {};
    action.sa_handler = on_stop;
    // One stop at a time: a second signal waits until the first has ended the process.
    sigfillset(&action.sa_mask);
    ::sigaction(signal_number, &action, nullptr);
  }
}

}  // namespace platform
