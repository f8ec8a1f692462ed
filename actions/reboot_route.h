// GET /reboot: the modes it can send a phone into, how its tool's output
// tells of a failure, and the route.
#pragma once
#include "http/exchange.h"
#include "tools/process_runner.h"

struct RebootTarget {
  const char* name;
  bool fastboot;        // run by fastboot (else adb)
  const char* command;  // format with the tool's path and the serial
};

// The row of target `name` (exact, case-sensitive), or null.
const RebootTarget* find_reboot_target(const char* name);

// Watches for the words reboot_failed needs; `words` must have been made
// with stream_starts_a_line.
void watch_reboot_words(OutputWords& words, bool fastboot);

// True when the tool's whole output says the reboot did not happen: a line
// that begins with "error:" (adb), or "FAILED" or "< waiting for" anywhere
// (fastboot, which waits for a phone that never answers).
bool reboot_failed(const OutputWords& words, bool fastboot);

// The same over a text, every byte up to its NUL.
bool reboot_failed(const char* output, bool fastboot);

// GET /reboot: reboot the phone into a chosen mode.
void handle_reboot(Exchange& ex);
