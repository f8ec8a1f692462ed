// The only way the bridge starts another program.
#pragma once

// How a run is bounded.
enum class RunKind {
  // Reports, wireless, reboot, kill-server: the time-out bounds the whole
  // run; a child still running then is ended.
  bounded,
  // Flash, boot and downloads: the time-out bounds the wait once the output
  // has ended, and the whole run is bounded by transfer_limit_ms.
  transfer,
};

constexpr unsigned transfer_limit_ms = 60u * 60u * 1000u;

// Runs `command_line` hidden and leaves what it wrote on standard output
// and standard error, merged, in `output`: at most size - 1 bytes and a NUL.
// Gives no status: a tool that cannot be started leaves an empty text.
void run_tool(const char* command_line, char* output, int size, unsigned timeout_ms, RunKind kind = RunKind::bounded);
