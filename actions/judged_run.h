// Tool runs whose outcome a route reports as a verdict (flash, boot,
// reboot, wireless pairing and connecting). A run the bridge had to end at
// one of its time-outs is a failure, whatever the tool printed before.
#pragma once
#include "tools/process_runner.h"

// Appends ended_run_line for `seconds` on a line of its own to `output`
// (`size` bytes, NUL-terminated), cutting the output's end when the line
// would not fit otherwise.
void note_ended_run(char* output, int size, unsigned seconds);

// run_tool; when the run had to be ended, notes it in `output` and returns
// false. True when the tool ran to its end (its text decides the rest).
bool run_judged(const char* command_line, char* output, int size, unsigned timeout_ms, RunKind kind = RunKind::bounded);
