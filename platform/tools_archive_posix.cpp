#include <climits>
#include <cstdio>

#include "platform/command_line.h"
#include "platform/download_limits.h"
#include "platform/files.h"
#include "platform/tools_archive.h"

namespace platform {

const char tools_archive_url[] = "https://dl.google.com/android/repository/platform-tools-latest-linux.zip";

int archive_commands(const char* dir, char (*lines)[archive_command_size]) {
  char archive[PATH_MAX];
  std::snprintf(archive, sizeof archive, "%s/pt.zip", dir);
  char quoted_archive[2 * PATH_MAX];
  char quoted_dir[2 * PATH_MAX];
  quote_argument(archive, quoted_archive, sizeof quoted_archive);
  quote_argument(dir, quoted_dir, sizeof quoted_dir);
  std::snprintf(lines[0], archive_command_size, "curl -f -L -s -S %s -o %s %s", curl_download_limits, quoted_archive,
                tools_archive_url);
  std::snprintf(lines[1], archive_command_size, "unzip -o -q %s -d %s", quoted_archive, quoted_dir);
  return 2;
}

bool system_tool_present(const char* name) {
  char found[max_path];
  return find_on_search_path(name, found);
}

}  // namespace platform
