// The modes GET /reboot can send a phone into, and how its tool's output
// tells of a failure.
#pragma once

struct RebootTarget {
  const char* name;
  bool fastboot;        // run by fastboot (else adb)
  const char* command;  // format with the tool's path and the serial
};

// The row of target `name` (exact, case-sensitive), or null.
const RebootTarget* find_reboot_target(const char* name);

// True when the tool's output says the reboot did not happen: a line that
// begins with "error:" (adb), or "FAILED" or "< waiting for" anywhere
// (fastboot, which waits for a phone that never answers).
bool reboot_failed(const char* output, bool fastboot);
