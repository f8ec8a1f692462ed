#include "platform/autostart.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

namespace platform {

namespace {

constexpr char run_key[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr int entry_data_size = 292;  // a 259-character path, its quotes and the argument

}  // namespace

void write_logon_entry(const LogonEntry& entry) {
  char data[entry_data_size];
  std::snprintf(data, sizeof data, "\"%s\" %s", entry.program, entry.argument);
  HKEY key;
  // Opened, not created: the Run key is part of every Windows profile.
  if (RegOpenKeyExA(HKEY_CURRENT_USER, run_key, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) return;
  RegSetValueExA(key, entry.run_value, 0, REG_SZ, reinterpret_cast<const BYTE*>(data), static_cast<DWORD>(std::strlen(data) + 1));
  RegCloseKey(key);
}

const char logon_start_line[] = "  Ye helper ab Windows ke saath KHUD start hoga (background) \xE2\x80\x94";

}  // namespace platform
