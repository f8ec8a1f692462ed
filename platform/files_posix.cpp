#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
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

std::FILE* create_deletable_file(const char* path) { return open_file(path, "wb"); }

bool write_whole_file(const char* path, const void* data, std::size_t size, bool executable) {
  // The mode applies to a new file, less the umask, as for any program.
  int fd = ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, executable ? 0777 : 0666);
  if (fd < 0) return false;
  const char* p = static_cast<const char*>(data);
  std::size_t left = size;
  while (left > 0) {
    ssize_t n = ::write(fd, p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    p += n;
    left -= static_cast<std::size_t>(n);
  }
  struct stat st {};
  const bool regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  const bool closed = ::close(fd) == 0;
  if (left == 0 && closed) return true;
  if (regular) ::unlink(path);  // never a device or a pipe that happened to be named
  return false;
}

bool find_on_search_path(const char* name, char* out) {
  // An unset PATH means the default search of execvp.
  const char* path = std::getenv("PATH");
  if (path == nullptr) path = "/bin:/usr/bin";
  for (const char* dir = path;; ++dir) {
    const char* end = std::strchr(dir, ':');
    size_t len = end != nullptr ? static_cast<size_t>(end - dir) : std::strlen(dir);
    // An empty entry stands for the current folder.
    std::string candidate = len == 0 ? std::string(".") : std::string(dir, len);
    candidate += '/';
    candidate += name;
    if (candidate.size() < static_cast<size_t>(max_path) && is_present_file(candidate.c_str()) &&
        ::access(candidate.c_str(), X_OK) == 0) {
      std::memcpy(out, candidate.c_str(), candidate.size() + 1);
      return true;
    }
    if (end == nullptr) return false;
    dir = end;
  }
}

void fail_writes_past_size_limit() { ::signal(SIGXFSZ, SIG_IGN); }

}  // namespace platform
