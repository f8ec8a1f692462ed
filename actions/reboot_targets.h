// The modes GET /reboot can send a phone into.
#pragma once

struct RebootTarget {
  const char* name;
  const char* tool;     // "adb" or "fastboot"
  const char* command;  // format with the tool's path
};

// The row of target `name` (exact, case-sensitive), or null.
const RebootTarget* find_reboot_target(const char* name);
