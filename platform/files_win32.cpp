#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdint>
#include <string>

#include "platform/files.h"

namespace platform {

void module_path(char* out) {
  DWORD n = GetModuleFileNameA(nullptr, out, max_path);
  out[n < static_cast<DWORD>(max_path) ? n : max_path - 1] = '\0';
}

bool is_present_file(const char* path) {
  // INVALID_FILE_ATTRIBUTES has the directory bit set, so a missing path
  // and a folder both count as absent.
  return (GetFileAttributesA(path) & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

void make_directory(const char* path) { CreateDirectoryA(path, nullptr); }

void delete_file(const char* path) { DeleteFileA(path); }

std::FILE* open_file(const char* path, const char* mode) {
  std::string m = mode;
  m += 'N';  // MSVCRT: not inheritable by child processes
  return std::fopen(path, m.c_str());
}

std::FILE* create_deletable_file(const char* path) {
  // The C runtime's fopen shares reading and writing only.
  HANDLE h = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return nullptr;
  int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_WRONLY | _O_BINARY);
  if (fd < 0) {
    CloseHandle(h);
    return nullptr;
  }
  std::FILE* file = _fdopen(fd, "wb");
  if (file == nullptr) _close(fd);
  return file;
}

bool write_whole_file(const char* path, const void* data, std::size_t size, bool /*executable*/) {
  std::FILE* f = open_file(path, "wb");
  if (f == nullptr) return false;
  const bool whole = std::fwrite(data, 1, size, f) == size;
  if (std::fclose(f) == 0 && whole) return true;
  DeleteFileA(path);
  return false;
}

bool find_on_search_path(const char* name, char* out) {
  // The same folders, in the same order, that CreateProcess searches for a
  // bare program name.
  DWORD n = SearchPathA(nullptr, name, nullptr, max_path, out, nullptr);
  if (n == 0 || n >= static_cast<DWORD>(max_path)) {
    out[0] = '\0';
    return false;
  }
  return is_present_file(out);
}

void fail_writes_past_size_limit() {}

}  // namespace platform
