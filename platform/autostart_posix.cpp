#include <pwd.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/autostart.h"
#include "platform/files.h"

namespace platform {

namespace {

constexpr int folder_size = PATH_MAX;
// The entry: the fixed lines and an Exec value whose escaping at most
// quadruples a program path of PATH_MAX bytes.
constexpr int entry_text_size = 4 * PATH_MAX + 512;

// Appends `text` to `out` (holding `*used` bytes of `size`); false when it
// does not fit, which leaves the entry unwritten rather than cut.
bool append(char* out, int size, int* used, const char* text) {
  int n = std::snprintf(out + *used, static_cast<std::size_t>(size - *used), "%s", text);
  if (n < 0 || n >= size - *used) return false;
  *used += n;
  return true;
}

// Appends `path` as one double-quoted argument of an Exec value. Inside the
// quotes, desktop entries want a backslash before '"', '`', '$' and '\\';
// the value is then read as a string in which each backslash is itself
// written twice. '%' would start a field code, so it is written "%%".
// Control characters cannot be written at all, so such a path makes no
// entry.
bool append_quoted_path(char* out, int size, int* used, const char* path) {
  if (!append(out, size, used, "\"")) return false;
  for (const char* c = path; *c != '\0'; ++c) {
    if (static_cast<unsigned char>(*c) < 0x20 || *c == 0x7f) return false;
    const char piece[2] = {*c, '\0'};
    const char* text = piece;
    switch (*c) {
      case '"':
        text = "\\\\\"";
        break;
      case '`':
        text = "\\\\`";
        break;
      case '$':
        text = "\\\\$";
        break;
      case '\\':
        text = "\\\\\\\\";
        break;
      case '%':
        text = "%%";
        break;
    }
    if (!append(out, size, used, text)) return false;
  }
  return append(out, size, used, "\"");
}

// The folder of the user's configuration: $XDG_CONFIG_HOME when it is an
// absolute path (a relative one is to be ignored), else $HOME/.config.
// False when neither is set.
bool config_folder(char* out) {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  int n;
  if (xdg != nullptr && xdg[0] == '/') {
    n = std::snprintf(out, folder_size, "%s", xdg);
  } else {
    const char* home = std::getenv("HOME");
    if (home == nullptr || home[0] == '\0') return false;
    n = std::snprintf(out, folder_size, "%s/.config", home);
  }
  return n > 0 && n < folder_size;
}

// Makes `folder` and every missing folder above it.
void make_folders(const char* folder) {
  char partial[folder_size];
  std::snprintf(partial, sizeof partial, "%s", folder);
  for (char* c = partial + 1; *c != '\0'; ++c) {
    if (*c != '/') continue;
    *c = '\0';
    make_directory(partial);
    *c = '/';
  }
  make_directory(partial);
}

// The home folder of the user's account, as the system's user list has it:
// the one a log-in starts in, whatever this run's HOME says.
bool account_home(char* out) {
  const passwd* account = ::getpwuid(::getuid());
  if (account == nullptr || account->pw_dir == nullptr || account->pw_dir[0] != '/') return false;
  const int n = std::snprintf(out, folder_size, "%s", account->pw_dir);
  return n > 0 && n < folder_size;
}

bool read_at_logon(const char* config) {
  char home[folder_size];
  return account_home(home) && inside_folder(config, home);
}

}  // namespace

bool inside_folder(const char* path, const char* folder) {
  std::size_t n = std::strlen(folder);
  while (n > 1 && folder[n - 1] == '/') --n;  // "/home/u/" is "/home/u"
  if (n == 0 || std::strncmp(path, folder, n) != 0) return false;
  return path[n] == '\0' || path[n] == '/' || (n == 1 && folder[0] == '/');
}

LogonWritten write_logon_entry(const LogonEntry& entry) {
  LogonWritten result;
  char config[folder_size];
  if (!config_folder(config)) return result;
  char autostart[folder_size];
  char entry_path[folder_size];
  int n = std::snprintf(autostart, sizeof autostart, "%s/autostart", config);
  if (n < 0 || n >= static_cast<int>(sizeof autostart)) return result;
  n = std::snprintf(entry_path, sizeof entry_path, "%s/%s", autostart, entry.desktop_file);
  if (n < 0 || n >= static_cast<int>(sizeof entry_path)) return result;

  char text[entry_text_size];
  int used = 0;
  bool whole = append(text, entry_text_size, &used, "[Desktop Entry]\nType=Application\nName=");
  whole = whole && append(text, entry_text_size, &used, entry.title);
  whole = whole && append(text, entry_text_size, &used, "\nExec=");
  whole = whole && append_quoted_path(text, entry_text_size, &used, entry.program);
  whole = whole && append(text, entry_text_size, &used, " ");
  whole = whole && append(text, entry_text_size, &used, entry.argument);
  whole = whole && append(text, entry_text_size, &used, "\nTerminal=false\nX-GNOME-Autostart-enabled=true\n");
  if (!whole) return result;

  make_folders(autostart);
  result.written = write_whole_file(entry_path, text, static_cast<std::size_t>(used), false);
  result.read_at_logon = read_at_logon(config);
  std::snprintf(result.where, sizeof result.where, "%s", entry_path);
  return result;
}

void write_logon_lines(const LogonWritten& written) {
  if (!written.written) {
    std::puts("  Log-on entry nahi likha ja saka: login par ye helper khud start NAHI hoga.");
    return;
  }
  std::printf("  Log-on entry likha gaya: %s\n", written.where);
  if (written.read_at_logon) {
    std::puts("  Ye helper ab aap ke login ke saath KHUD start hoga (background) \xE2\x80\x94");
    std::puts("  dobara download/launch ki zaroorat nahi.");
  } else {
    std::puts("  Ye folder aap ke login ka nahi (HOME ya XDG_CONFIG_HOME badla hua hai):");
    std::puts("  login par ye helper khud start NAHI hoga.");
  }
}

}  // namespace platform
