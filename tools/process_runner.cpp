#include "tools/process_runner.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/process.h"

namespace {

using Clock = std::chrono::steady_clock;

// About 49 days: a transfer that keeps printing is never cut.
constexpr unsigned no_whole_run_bound = 0xffffffffu;

struct BudgetState {
  bool active = false;
  bool spent = false;
  const char* unreachable = nullptr;
  Clock::time_point deadline;
};
BudgetState budget;

unsigned ms_left(Clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left <= 0 ? 0u : static_cast<unsigned>(left);
}

}  // namespace

RunBudget::RunBudget(unsigned total_ms) {
  // Checked in every build: an inner budget would end the outer one with it.
  if (budget.active) {
    std::fputs("RunBudget: budgets do not nest, and one is already active\n", stderr);
    std::abort();
  }
  budget.active = true;
  budget.spent = false;
  budget.unreachable = nullptr;
  budget.deadline = Clock::now() + std::chrono::milliseconds(total_ms);
}

RunBudget::~RunBudget() { budget.active = false; }

void RunBudget::watch_for(const char* unreachable) { budget.unreachable = unreachable; }

void OutputWords::watch(const char* word) {
  const int index = stream_.add(word);
  if (index < 0) {
    std::fputs("OutputWords: a word cannot be watched (too many, too long, or the run began)\n", stderr);
    std::abort();
  }
  words_[index] = word;
  count_ = index + 1;
}

bool OutputWords::seen(const char* word) const {
  for (int i = 0; i < count_; ++i) {
    if (std::strcmp(words_[i], word) == 0) return stream_.seen(i);
  }
  std::fputs("OutputWords: asked for a word it does not watch\n", stderr);
  std::abort();
}

ToolRun run_tool(const char* command_line, char* output, int size, unsigned timeout_ms, RunKind kind,
                 OutputWords* words) {
  if (size <= 0) return ToolRun{RunEnd::not_started, false};
  output[0] = '\0';
  if (budget.active && kind == RunKind::bounded) {
    const unsigned left = ms_left(budget.deadline);
    if (budget.spent || left == 0) {
      budget.spent = true;
      return ToolRun{RunEnd::timed_out, false};
    }
    if (left < timeout_ms) timeout_ms = left;
  }
  platform::RunLimits limits{timeout_ms, timeout_ms};
  limits.observer = words;
  if (kind == RunKind::transfer) {
    limits.whole_run_ms = no_whole_run_bound;
    limits.idle_ms = transfer_idle_ms;
    limits.stall_marker = waiting_marker;
    limits.stall_ms = waiting_limit_ms;
  } else if (kind == RunKind::download) {
    limits.whole_run_ms = download_limit_ms;
  }
  ToolRun run = platform::run_captured(command_line, output, size, limits);
  // A tool that could not be started did nothing, so it is tried once more:
  // a start can fail for a moment (a virus scanner holding a file just
  // written, a loaded system) where the next one passes. A failed start
  // returns at once, so the second try adds no wait.
  if (run.end == RunEnd::not_started) run = platform::run_captured(command_line, output, size, limits);
  if (!budget.active) return run;
  if (budget.unreachable != nullptr && std::strncmp(output, budget.unreachable, std::strlen(budget.unreachable)) == 0) {
    output[0] = '\0';
    budget.spent = true;
    return ToolRun{RunEnd::timed_out, false};
  }
  if (run.end == RunEnd::timed_out) budget.spent = true;
  return run;
}
