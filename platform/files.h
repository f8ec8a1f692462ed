// Paths and files. Paths are byte strings in the system's code page, at most
// 259 characters plus NUL.
#pragma once
#include <cstddef>
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

// Creates or empties `path` for writing bytes, as open_file(path, "wb"), in
// a way that lets the file be deleted while it is open: on Windows it then
// goes when the last handle closes (POSIX files always allow this).
std::FILE* create_deletable_file(const char* path);

// Creates or replaces file `path` with the `size` bytes at `data`; a file
// that this call creates is marked executable when `executable` is set,
// where the system has such a mark. Returns true when every byte was
// written and the file closed. A file that was opened but not written whole
// (a full disk) is deleted, so that no cut copy stays behind to be taken
// for the whole one. A path that cannot be opened (a folder) is left alone.
bool write_whole_file(const char* path, const void* data, std::size_t size, bool executable);

// Looks for program `name` (with its suffix, e.g. "adb.exe") the way
// starting it by that bare name would: along PATH (Windows: the program's
// own folder and the system folders first). Writes the file found into
// `out` (max_path bytes) and returns true; false when there is none.
bool find_on_search_path(const char* name, char* out);

// A write past the process's file-size limit fails instead of ending the
// process (POSIX raises SIGXFSZ for it); the writer then sees a short
// write. Nothing to do where there is no such signal.
void fail_writes_past_size_limit();

}  // namespace platform
