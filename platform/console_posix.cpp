#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>

#include "platform/console.h"

namespace platform {

void release_console() {
  int null_fd = ::open("/dev/null", O_RDWR);
  if (null_fd < 0) return;
  ::dup2(null_fd, 0);
  ::dup2(null_fd, 1);
  ::dup2(null_fd, 2);
  if (null_fd > 2) ::close(null_fd);
}

void survive_lost_readers() { ::signal(SIGPIPE, SIG_IGN); }

void wait_for_key() { std::getchar(); }

void use_utf8_output() {}

void write_line_as_is(const char* text) { std::puts(text); }

unsigned output_code_page() { return 0; }

}  // namespace platform
