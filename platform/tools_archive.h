// The vendor's platform-tools archive, from which ensure_fastboot takes
// fastboot, and the system's own copies of the tools.
#pragma once

namespace platform {

constexpr int archive_command_size = 1024;
constexpr int max_archive_commands = 2;

// The archive's address: the vendor's build of the tools for this system.
extern const char tools_archive_url[];

// Formats the command lines that fetch the archive into folder `dir`, to be
// run one after the other with the process runner, into `lines`; returns
// how many (at most max_archive_commands). Together they download the
// archive to `dir`/pt.zip and unpack it into `dir`, replacing files of the
// same names, so that fastboot lands in `dir`/platform-tools. pt.zip may be
// left behind for the caller to delete.
//
// Windows: one PowerShell line (started by the bare word "powershell") that
// stops at its first error, downloads without a progress display (which
// slows Windows PowerShell's downloads many times over), unpacks and removes
// pt.zip itself; `dir` sits in single quotes with each apostrophe doubled.
// Elsewhere: a curl line, then an unzip line.
int archive_commands(const char* dir, char (*lines)[archive_command_size]);

// True when the system provides its own copy of tool `name` for the bridge
// to rely on. Linux: an executable file of that name in a folder of PATH,
// the search the process runner makes for a bare name. Windows: never, as
// the bridge relies only on its own copies there.
bool system_tool_present(const char* name);

}  // namespace platform
