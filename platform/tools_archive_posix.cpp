#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/command_line.h"
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
  std::snprintf(lines[0], archive_command_size, "curl -f -L -s -S -o %s %s", quoted_archive, tools_archive_url);
  std::snprintf(lines[1], archive_command_size, "unzip -o -q %s -d %s", quoted_archive, quoted_dir);
  return 2;
}

bool system_tool_present(const char* name) {
  // An unset PATH means the default search of posix_spawnp and execvp.
  const char* search = std::getenv("PATH");
  if (search == nullptr) search = "/bin:/usr/bin";
  for (const char* start = search;; ++start) {
    const char* stop = std::strchr(start, ':');
    int length = stop != nullptr ? static_cast<int>(stop - start) : static_cast<int>(std::strlen(start));
    char candidate[PATH_MAX];
    // An empty entry stands for the current folder.
    int n = length == 0 ? std::snprintf(candidate, sizeof candidate, "./%s", name)
                        : std::snprintf(candidate, sizeof candidate, "%.*s/%s", length, start, name);
    struct stat st {};
    if (n > 0 && n < static_cast<int>(sizeof candidate) && ::stat(candidate, &st) == 0 && S_ISREG(st.st_mode) &&
        ::access(candidate, X_OK) == 0) {
      return true;
    }
    if (stop == nullptr) return false;
    start = stop;
  }
}

}  // namespace platform
