#include "actions/judged_run.h"

#include <chrono>
#include <cstdio>
#include <cstring>

#include "server/reply_texts.h"

void note_ended_run(char* output, int size, unsigned seconds) {
  char line[sizeof ended_run_line + 16];
  const int n = std::snprintf(line, sizeof line, ended_run_line, seconds);
  if (n <= 0 || size <= 1) return;
  int at = static_cast<int>(std::strlen(output));
  // Room for a line break, the line and the NUL; the output gives way.
  const int needed = n + 2;
  if (at + needed > size) at = size - needed;
  if (at < 0) at = 0;
  // A cut in the middle of a multi-byte character is left to the log's
  // UTF-8 clean-up.
  const char* line_break = at > 0 && output[at - 1] != '\n' ? "\n" : "";
  std::snprintf(output + at, static_cast<size_t>(size - at), "%s%s", line_break, line);
}

bool run_judged(const char* command_line, char* output, int size, unsigned timeout_ms, RunKind kind) {
  const auto start = std::chrono::steady_clock::now();
  if (run_tool(command_line, output, size, timeout_ms, kind)) return true;
  const auto took = std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start);
  note_ended_run(output, size, static_cast<unsigned>(took.count()));
  return false;
}
