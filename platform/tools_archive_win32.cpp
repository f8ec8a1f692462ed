#include <cstdio>

#include "platform/command_line.h"
#include "platform/download_limits.h"
#include "platform/files.h"
#include "platform/tools_archive.h"

namespace platform {

const char tools_archive_url[] = "https://dl.google.com/android/repository/platform-tools-latest-windows.zip";

int archive_commands(const char* dir, char (*lines)[archive_command_size]) {
  char quoted_dir[2 * max_path];
  double_apostrophes(dir, quoted_dir, sizeof quoted_dir);
  std::snprintf(lines[0], archive_command_size,
                "powershell -NoProfile -ExecutionPolicy Bypass -Command \""
                "$ErrorActionPreference='Stop';$ProgressPreference='SilentlyContinue';"
                "Set-Location -LiteralPath '%s';"
                "Invoke-WebRequest %s -Uri '%s' -OutFile 'pt.zip';"
                "Expand-Archive -Force 'pt.zip' '.';"
                "Remove-Item 'pt.zip' -Force\"",
                quoted_dir, powershell_download_limits, tools_archive_url);
  return 1;
}

bool system_tool_present(const char* /*name*/) { return false; }

}  // namespace platform
