#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "platform/files.h"

namespace platform {

void module_path(char* out) {
  ssize_t n = ::readlink("/proc/self/exe", out, max_path - 1);
  out[n < 0 ? 0 : n] = '\0';
}

bool is_present_file(const char* path) {
  struct stat st {};
  return ::stat(path, &st) == 0 && !S_ISDIR(st.st_mode);
}

void make_directory(const char* path) { ::mkdir(path, 0755); }

void delete_file(const char* path) { ::unlink(path); }

std::FILE* open_file(const char* path, const char* mode) {
  std::string m = mode;
  m += 'e';  // glibc: O_CLOEXEC, so children never inherit the descriptor
  return std::fopen(path, m.c_str());
}

}  // namespace platform
