#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

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

namespace {

constexpr std::size_t page_address_cap = 200;

bool is_page_address(const char* text) {
  if (std::strncmp(text, "http://", 7) != 0 && std::strncmp(text, "https://", 8) != 0) return false;
  std::size_t n = 0;
  for (; text[n] != '\0'; ++n) {
    if (n >= page_address_cap || text[n] <= ' ' || text[n] > '~') return false;
  }
  return true;
}

}  // namespace

const char* served_page_address() {
  const char* page = std::getenv("TALVIK_PAGE_URL");
  return page != nullptr && is_page_address(page) ? page : nullptr;
}

const char console_close_line[] = "  Band karne ke liye is window mein Ctrl+C dabayein.";

}  // namespace platform
