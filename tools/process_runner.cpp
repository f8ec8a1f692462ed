#include "tools/process_runner.h"

#include "platform/process.h"

void run_tool(const char* command_line, char* output, int size, unsigned timeout_ms, RunKind kind) {
  if (size <= 0) return;
  platform::RunLimits limits{timeout_ms, kind == RunKind::bounded ? timeout_ms : transfer_limit_ms};
  platform::run_captured(command_line, output, size, limits);
}
