#include "actions/judged_run.h"

#include <chrono>
#include <cstdio>
#include <cstring>

#include "http/reply_texts.h"

namespace {

// Puts the `n` bytes of `line` on a line of their own after the kept text;
// the text's end gives way when there is no room. Returns where the line
// itself begins.
int append_line(char* output, int size, const char* line, int n) {
  if (n <= 0 || size <= 1) return static_cast<int>(std::strlen(output));
  int at = static_cast<int>(std::strlen(output));
  // Room for a line break, the line and the NUL; the output gives way.
  const int needed = n + 2;
  if (at + needed > size) at = size - needed;
  if (at < 0) at = 0;
  // A cut in the middle of a multi-byte character is left to the log's
  // UTF-8 clean-up.
  const bool line_break = at > 0 && output[at - 1] != '\n';
  std::snprintf(output + at, static_cast<size_t>(size - at), "%s%s", line_break ? "\n" : "", line);
  return at + (line_break ? 1 : 0);
}

}  // namespace

void note_ended_run(char* output, int size, unsigned seconds) {
  char line[sizeof ended_run_line + 16];
  append_line(output, size, line, std::snprintf(line, sizeof line, ended_run_line, seconds));
}

void note_cut_output(char* output, int size, long long printed) {
  char line[sizeof output_cut_line + 24];
  append_line(output, size, line, std::snprintf(line, sizeof line, output_cut_line, printed));
}

JudgedRun run_judged(const char* command_line, char* output, int size, unsigned timeout_ms, RunKind kind,
                     OutputWords& words) {
  const auto start = std::chrono::steady_clock::now();
  const ToolRun run = run_tool(command_line, output, size, timeout_ms, kind, &words);
  const bool cut = size > 0 && words.total() > size - 1;
  const bool ended = run.end == RunEnd::timed_out;
  const bool unstarted = run.end == RunEnd::not_started;
  if (!cut && !ended && !unstarted && !run.crashed) return {run, static_cast<int>(std::strlen(output))};

  // The bridge's lines about the run, added together so that the tool's
  // text gives way for all of them.
  char lines[sizeof output_cut_line + sizeof ended_run_line + sizeof crashed_line + sizeof not_started_line + 64] = "";
  if (cut) note_cut_output(lines, sizeof lines, words.total());
  if (ended) {
    const auto took = std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start);
    note_ended_run(lines, sizeof lines, static_cast<unsigned>(took.count()));
  }
  const char* how = unstarted ? not_started_line : run.crashed && !ended ? crashed_line : nullptr;
  if (how != nullptr) append_line(lines, sizeof lines, how, static_cast<int>(std::strlen(how)));
  const int notes_at = append_line(output, size, lines, static_cast<int>(std::strlen(lines)));
  return {run, notes_at};
}
