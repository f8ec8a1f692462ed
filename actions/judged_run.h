// Tool runs whose outcome a route reports as a verdict (flash, boot,
// reboot, wireless pairing and connecting). A run the bridge had to end at
// one of its time-outs is a failure, whatever the tool printed before; the
// verdict itself is made over everything the tool printed (OutputWords),
// not over the kept log.
#pragma once
#include "tools/process_runner.h"

// Appends ended_run_line for `seconds` on a line of its own to `output`
// (`size` bytes, NUL-terminated), cutting the output's end when the line
// would not fit otherwise.
void note_ended_run(char* output, int size, unsigned seconds);

// Appends output_cut_line for a tool that printed `printed` bytes in all,
// on a line of its own at the end of the kept text, which gives way as
// for note_ended_run.
void note_cut_output(char* output, int size, long long printed);

// A run_tool result and where the notes about it begin.
struct JudgedRun {
  // How the run ended: timed_out when the bridge had to end it (a failure,
  // whatever the words say); not_started when the tool could not be
  // started, twice (the output then holds only the bridge's line).
  ToolRun run;
  // Where the bridge's own lines about the run begin in the output (its
  // length when there are none), so that a log cut to fit a reply keeps them.
  int notes_at;
};

// Runs the tool (run_tool, which tries a tool that could not be started
// once more) with `words` watching all it prints. When its output was more than
// `output` keeps, the log says so at the cut; a run that had to be ended,
// that crashed, or that never started is noted in `output` too.
JudgedRun run_judged(const char* command_line, char* output, int size, unsigned timeout_ms, RunKind kind,
                     OutputWords& words);
