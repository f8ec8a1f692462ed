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
