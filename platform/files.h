// Paths and files. Paths are byte strings in the system's code page, at most
// 259 characters plus NUL.
#pragma once
#include <cstdio>

namespace platform {

constexpr int max_path = 260;

#ifdef _WIN32
constexpr char path_separator = '\\';
constexpr const char* exe_suffix = ".exe";
#else
constexpr char path_separator = '/';
constexpr const char* exe_suffix = "";
#endif

// Writes the running program's full file name into `out` (max_path bytes).
void module_path(char* out);

// True when `path` names an existing file that is not a folder. A relative
// path is looked up in the current directory.
bool is_present_file(const char* path);

// Creates one folder; an existing folder (or any failure) is passed over.
void make_directory(const char* path);

// Deletes a file; a missing file is fine.
void delete_file(const char* path);

// Opens a file with the C library, close-on-exec where the system has it.
std::FILE* open_file(const char* path, const char* mode);

}  // namespace platform
