// Where the bridge looks for adb and fastboot.
#pragma once

constexpr int tool_path_size = 260;  // at most 259 characters and a NUL

// The folder of the running program, without a trailing separator, at most
// 259 characters. A program name without any separator is kept whole.
void exe_dir(char* out);

// The path to put in a command line for tool "adb" or "fastboot": the copy
// beside the program, else the one in its platform-tools folder, else the
// bare file name (left to the PATH search). Looks afresh on every call.
void find_tool(const char* name, char* out);

// True when `path` names an existing file that is not a folder; a bare
// name is looked up in the current directory.
bool is_present_file(const char* path);

// For the start-up tool paths: a bare name (no copy beside the program)
// becomes the file that starting it by that name would run, found along the
// search path, so that the banner and /ping tell whether the tool is there.
// It stays bare when the search finds nothing.
void resolve_bare_tool(char* path);

// True when tool `name` can be run: a copy beside the program or in its
// platform-tools folder, or (Linux) the system's own on PATH.
bool tool_is_there(const char* name);

// Tool and image paths stand between double quotes in command lines, so a
// program folder whose name holds one would split them (a name Windows
// never allows, but other systems do). True when the folder is usable.
bool exe_dir_fits_command_lines();
