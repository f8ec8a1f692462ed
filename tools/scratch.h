// Where a unit keeps its large buffers.
//
// The bridge serves one request at a time on one thread: no worker
// threads, timers or event loops. So the buffers a unit needs while it
// serves a request (some are megabytes, too much for a stack, and every
// size is an exact cap) live in static storage, gathered in one named
// struct per unit at the top of its source file, where a reader sees every
// piece of state the unit keeps:
//
//   struct FlashBuffers {
//     static constexpr char name[] = "flash reply";
//     char output[flash_output_size];
//     char body[flash_body_size];
//   };
//   Scratch<FlashBuffers> flash_scratch;
//
// A call takes its unit's scratch through a ScratchHold for as long as it
// runs and hands nothing in it on to a later request: what a request
// leaves there is never read again. Taking a scratch that is already held
// (a call that reaches itself again) is a programming error that ends the
// bridge at once with a message on standard error, in every build, as a
// second RunBudget does. Decisions keep nothing: they take their inputs,
// and a list they need is the caller's.
#pragma once

// Ends the bridge: the scratch `name` was taken while it was held.
[[noreturn]] void scratch_taken_twice(const char* name);

// A unit's buffers and whether a call holds them. All zero, so that static
// storage costs no bytes in the program file.
template <typename Buffers>
struct Scratch {
  bool held;
  Buffers buffers;
};

// Holds a scratch from construction to the end of the scope.
template <typename Buffers>
class ScratchHold {
 public:
  explicit ScratchHold(Scratch<Buffers>& scratch) : scratch_(scratch) {
    if (scratch.held) scratch_taken_twice(Buffers::name);
    scratch.held = true;
  }
  ~ScratchHold() { scratch_.held = false; }
  ScratchHold(const ScratchHold&) = delete;
  ScratchHold& operator=(const ScratchHold&) = delete;

  Buffers& operator*() const { return scratch_.buffers; }
  Buffers* operator->() const { return &scratch_.buffers; }

 private:
  Scratch<Buffers>& scratch_;
};
