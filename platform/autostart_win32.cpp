#include <windows.h>

#include <cstdio>
#include <cstring>

#include "platform/autostart.h"
#include "platform/console.h"

namespace platform {

namespace {

constexpr char run_key[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr int entry_data_size = 292;  // a 259-character path, its quotes and the argument

}  // namespace

LogonWritten write_logon_entry(const LogonEntry& entry) {
  LogonWritten result;
  result.read_at_logon = true;
  char data[entry_data_size];
  std::snprintf(data, sizeof data, "\"%s\" %s", entry.program, entry.argument);
  HKEY key;
  // Opened, not created: the Run key is part of every Windows profile.
  if (RegOpenKeyExA(HKEY_CURRENT_USER, run_key, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) return result;
  result.written = RegSetValueExA(key, entry.run_value, 0, REG_SZ, reinterpret_cast<const BYTE*>(data),
                                  static_cast<DWORD>(std::strlen(data) + 1)) == ERROR_SUCCESS;
  RegCloseKey(key);
  return result;
}

// The banner has always said this on Windows, where the Run key is part of
// every profile; its words stay as users know them.
void write_logon_lines(const LogonWritten&) {
  write_line_as_is("  Ye helper ab Windows ke saath KHUD start hoga (background) \xE2\x80\x94");
  write_line_as_is("  dobara download/launch ki zaroorat nahi.");
}

}  // namespace platform
