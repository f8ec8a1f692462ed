// run_tool against the scripted tool double, on both systems.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "actions/judged_run.h"
#include "http/reply_texts.h"
#include "phones/phone_choice.h"
#include "platform/files.h"
#include "platform/process.h"
#include "tools/process_runner.h"
#include "tools/tool_locator.h"

namespace fs = std::filesystem;

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

// run_tool with a buffer of `size` bytes filled with '#', so that a runner
// that left it untouched or unterminated shows; how the run ended.
RunEnd ended_line(const std::string& command_line, int size, unsigned timeout_ms, std::string* text = nullptr,
                  RunKind kind = RunKind::bounded) {
  std::string out(static_cast<size_t>(size), '#');
  const RunEnd end = run_tool(command_line.c_str(), out.data(), size, timeout_ms, kind).end;
  EXPECT_NE(out.find('\0'), std::string::npos) << "output must end with a NUL";
  if (text != nullptr) *text = out.c_str();
  return end;
}

bool running_under_wine() {
#ifdef _WIN32
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
#else
  return false;
#endif
}

// A copy of the tool double in a folder of its own, playing `script`.
class ScriptedTool {
 public:
  explicit ScriptedTool(const std::string& script) {
    char here[tool_path_size];
    exe_dir(here);
    static int counter = 0;
    auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    dir_ = fs::temp_directory_path() / ("talvik-runner-" + std::to_string(stamp) + "-" + std::to_string(++counter));
    fs::create_directories(dir_);
    std::string exe = std::string("tool_double") + platform::exe_suffix;
    fs::copy_file(fs::path(here) / exe, dir_ / exe, fs::copy_options::overwrite_existing);
    std::ofstream(dir_ / "tool_double.script", std::ios::binary) << script;
    path_ = (dir_ / exe).string();
  }
  ~ScriptedTool() {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  std::string line(const std::string& args) const { return "\"" + path_ + "\" " + args; }
  std::string run(const std::string& args, int size, unsigned timeout_ms, RunKind kind = RunKind::bounded,
                  bool* in_time = nullptr) const {
    std::string out(static_cast<size_t>(size), '#');
    const ToolRun run = run_tool(line(args).c_str(), out.data(), size, timeout_ms, kind);
    if (in_time != nullptr) *in_time = run.end != RunEnd::timed_out;
    EXPECT_NE(out.find('\0'), std::string::npos) << "output must end with a NUL";
    return out.c_str();
  }
  // The platform runner with limits of the test's own, far shorter than
  // the bridge's.
  std::string run_limited(platform::RunLimits limits, bool* in_time) const {
    std::string out(256, '#');
    const RunEnd end = platform::run_captured(line("x").c_str(), out.data(), 256, limits).end;
    *in_time = end != RunEnd::timed_out;
    EXPECT_NE(end, RunEnd::not_started);
    return out.c_str();
  }
  // How run_tool ended, and what it left in the output.
  RunEnd ended(const std::string& args, int size, unsigned timeout_ms, std::string* text = nullptr,
               RunKind kind = RunKind::bounded) const {
    return ended_line(line(args), size, timeout_ms, text, kind);
  }
  std::string folder() const { return dir_.string(); }
  const std::string& path() const { return path_; }
  std::string calls() const {
    std::ifstream in(dir_ / "tool_double.log", std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

 private:
  fs::path dir_;
  std::string path_;
};

}  // namespace

TEST(RunTool, CapturesOutputWithLineEndsKept) {
  ScriptedTool tool("match\nsay 0123456789abcdef\\r\\n\n");
  EXPECT_EQ(tool.run("x", 64, 20000), "0123456789abcdef\r\n");
  ScriptedTool silent("");
  EXPECT_EQ(silent.run("x", 64, 20000), "");
}

TEST(RunTool, CutsAtSizeMinusOne) {
  ScriptedTool exact("match\nfill 4095\n");
  EXPECT_EQ(exact.run("x", 4096, 20000), std::string(4095, 'x'));
  ScriptedTool longer("match\nfill 70000\n");
  EXPECT_EQ(longer.run("x", 4096, 3000), std::string(4095, 'x'));
}

TEST(RunTool, OutputPastTheBufferIsDroppedAndTheRunEndsNormally) {
  // More than a pipe holds: a runner that stopped reading at a full buffer
  // would leave the child blocked until its time-out ended it.
  ScriptedTool longer("match\nfill 300000\nsay end\\n\n");
  bool in_time = false;
  EXPECT_EQ(longer.run("x", 4096, 20000, RunKind::bounded, &in_time), std::string(4095, 'x'));
  EXPECT_TRUE(in_time);
  // Within a report, a cut run does not cost the runs after it.
  RunBudget budget(60000);
  longer.run("x", 1024, 20000);
  ScriptedTool next("match\nsay next\\n\n");
  EXPECT_EQ(next.run("x", 64, 20000), "next\n");
}

TEST(RunTool, QuietChildrenAreEndedButBusyOnesAreNot) {
  // A transfer that prints nothing at all for the idle bound is ended;
  // what it printed stays.
  platform::RunLimits idle{1000, 600000};
  idle.idle_ms = 1500;
  bool in_time = true;
  ScriptedTool hung("match\nsay Writing 'system'\\n\nhang\n");
  EXPECT_EQ(hung.run_limited(idle, &in_time), "Writing 'system'\n");
  EXPECT_FALSE(in_time);
  // One that keeps printing runs past the idle bound to its end.
  ScriptedTool busy("match\nsay a\\n\nsleep 700\nsay b\\n\nsleep 700\nsay c\\n\nsleep 700\nsay d\\n\n");
  EXPECT_EQ(busy.run_limited(idle, &in_time), "a\nb\nc\nd\n");
  EXPECT_TRUE(in_time);
  // fastboot's "< waiting for" line, then silence: the shorter bound.
  platform::RunLimits waiting{1000, 600000, waiting_marker, 500};
  waiting.idle_ms = 600000;
  ScriptedTool absent("match\nsay < waiting for any device >\\n\nhang\n");
  EXPECT_EQ(absent.run_limited(waiting, &in_time), "< waiting for any device >\n");
  EXPECT_FALSE(in_time);
}

TEST(RunTool, MergesStandardErrorInOrder) {
  ScriptedTool tool("match\nsay out1\\n\nerr err1\\n\nsay out2\\n\n");
  EXPECT_EQ(tool.run("x", 256, 20000), "out1\nerr1\nout2\n");
}

TEST(RunTool, PassesArgumentsSplitLikeWindows) {
  ScriptedTool tool("");
  tool.run("-s SER shell \"cat /a /b 2>/dev/null\" 2>&1", 64, 20000);
  EXPECT_EQ(tool.calls(), "-s SER shell cat /a /b 2>/dev/null 2>&1\n");
}

TEST(RunTool, MissingProgramGivesEmptyText) {
  std::string out(64, '#');
  run_tool("\"/no/such/folder/tool\" devices", out.data(), 64, 20000);
  EXPECT_EQ(std::string(out.c_str()), "");
  run_tool("talvik-no-such-tool-anywhere devices", out.data(), 64, 20000);
  EXPECT_EQ(std::string(out.c_str()), "");
}

// These runs would outlast the test's own time limit if run_tool waited
// for what the design leaves unbounded; finishing at all is the check.
TEST(RunTool, EndsWhenTheChildExitsThoughABackgroundProcessHoldsTheOutput) {
  // The background process writes "late" after 5 s; a runner that read on
  // until every holder closed the pipe would return it too.
  ScriptedTool tool("match\nsay before\\n\nhold 5000 late\\n\n");
  EXPECT_EQ(tool.run("x", 256, 200000), "before\n");
}

TEST(RunTool, BoundedRunEndsAChildThatClosesItsOutputAndStays) {
  ScriptedTool tool("match\nsay bye\\n\nclose\nhang\n");
  EXPECT_EQ(tool.run("x", 256, 1500), "bye\n");
}

TEST(RunTool, BoundedRunEndsAChildThatNeverExits) {
  ScriptedTool tool("match\nsay waiting\\n\nhang\n");
  EXPECT_EQ(tool.run("x", 256, 1500), "waiting\n");
}

TEST(RunTool, TransferRunWaitsOnlyTheTimeOutAfterOutputEnds) {
  // Under Wine a child keeps a second copy of its inherited output handle,
  // so the double cannot close its output there.
  if (running_under_wine()) GTEST_SKIP() << "the double cannot close its output under Wine";
  ScriptedTool tool("match\nsay done\\n\nclose\nhang\n");
  EXPECT_EQ(tool.run("x", 256, 1500, RunKind::transfer), "done\n");
}

// How a run ended (run_tool's end), on both systems.

TEST(RunEnded, AProgramThatDoesNotExistIsNotStarted) {
  const std::string lines[] = {"\"/no/such/folder/tool\" devices", "talvik-no-such-tool-anywhere devices", ""};
  for (const std::string& line : lines) {
    std::string text = "#";
    EXPECT_EQ(ended_line(line, 64, 20000, &text), RunEnd::not_started) << line;
    EXPECT_EQ(text, "") << line;
    // Not ended at a time-out, and no crash told: an empty text.
    std::string out(64, '#');
    const ToolRun run = run_tool(line.c_str(), out.data(), 64, 20000);
    EXPECT_NE(run.end, RunEnd::timed_out) << line;
    EXPECT_FALSE(run.crashed) << line;
    EXPECT_EQ(std::string(out.c_str()), "") << line;
  }
  // The platform runner says the same.
  char out[16] = "#";
  EXPECT_EQ(
      platform::run_captured("talvik-no-such-tool-anywhere", out, sizeof out, platform::RunLimits{1000, 1000}).end,
      RunEnd::not_started);
  EXPECT_STREQ(out, "");
}

TEST(RunEnded, AFileThatIsNoProgramIsNotStarted) {
  // A text file under a program's name: on Linux it lacks the execute
  // permission, on Windows it is no executable image.
  ScriptedTool beside("");
  const fs::path fake = fs::path(beside.folder()) / (std::string("not_a_program") + platform::exe_suffix);
  std::ofstream(fake, std::ios::binary) << "this is text, not a program\n";
  std::string text = "#";
  EXPECT_EQ(ended_line("\"" + fake.string() + "\" devices", 64, 20000, &text), RunEnd::not_started);
  EXPECT_EQ(text, "");
}

TEST(RunEnded, AProgramThatExitsWith127HasStarted) {
  // The exec's failure is reported, not guessed from the exit status.
  ScriptedTool tool("match\nsay here\\n\nexit 127\n");
  std::string text;
  EXPECT_EQ(tool.ended("x", 64, 20000, &text), RunEnd::finished);
  EXPECT_EQ(text, "here\n");
}

TEST(RunEnded, AProgramThatPrintsNothingFinished) {
  ScriptedTool silent("");
  std::string text = "#";
  EXPECT_EQ(silent.ended("x", 64, 20000, &text), RunEnd::finished);
  EXPECT_EQ(text, "");
  ScriptedTool fits("match\nsay 0123456789abcdef\\r\\n\n");
  EXPECT_EQ(fits.ended("x", 64, 20000, &text), RunEnd::finished);
  EXPECT_EQ(text, "0123456789abcdef\r\n");
}

TEST(RunEnded, AProgramThatHangsTimedOut) {
  ScriptedTool silent("match\nhang\n");
  std::string text = "#";
  EXPECT_EQ(silent.ended("x", 64, 1500, &text), RunEnd::timed_out);
  EXPECT_EQ(text, "");
  ScriptedTool waiting("match\nsay waiting\\n\nhang\n");
  EXPECT_EQ(waiting.ended("x", 64, 1500, &text), RunEnd::timed_out);
  EXPECT_EQ(text, "waiting\n");
  // A quiet bound counts as a time-out too.
  platform::RunLimits idle{1000, 600000};
  idle.idle_ms = 800;
  char out[64] = "#";
  EXPECT_EQ(platform::run_captured(silent.line("x").c_str(), out, sizeof out, idle).end, RunEnd::timed_out);
  EXPECT_STREQ(out, "");
}

TEST(RunEnded, OutputPastTheBufferIsCut) {
  std::string text;
  // Exactly size - 1 bytes fit: nothing was dropped.
  ScriptedTool exact("match\nfill 4095\n");
  EXPECT_EQ(exact.ended("x", 4096, 20000, &text), RunEnd::finished);
  EXPECT_EQ(text, std::string(4095, 'x'));
  // One byte more is cut.
  ScriptedTool one_more("match\nfill 4096\n");
  EXPECT_EQ(one_more.ended("x", 4096, 20000, &text), RunEnd::output_cut);
  EXPECT_EQ(text, std::string(4095, 'x'));
  // Far more than a pipe holds, and a line after it.
  ScriptedTool longer("match\nfill 300000\nsay end\\n\n");
  EXPECT_EQ(longer.ended("x", 4096, 20000, &text), RunEnd::output_cut);
  EXPECT_EQ(text, std::string(4095, 'x'));
  // A transfer is cut the same way.
  EXPECT_EQ(longer.ended("x", 64, 20000, &text, RunKind::transfer), RunEnd::output_cut);
  EXPECT_EQ(text, std::string(63, 'x'));
}

TEST(RunEnded, TimedOutWinsOverCut) {
  ScriptedTool tool("match\nfill 70000\nhang\n");
  std::string text;
  EXPECT_EQ(tool.ended("x", 1024, 1500, &text), RunEnd::timed_out);
  EXPECT_EQ(text, std::string(1023, 'x'));
}

TEST(RunEnded, UnderABudget) {
  RunBudget budget(60000);
  // A missing tool does not spend the budget.
  EXPECT_EQ(ended_line("talvik-no-such-tool-anywhere devices", 64, 20000), RunEnd::not_started);
  ScriptedTool next("match\nsay next\\n\n");
  std::string text;
  EXPECT_EQ(next.ended("x", 64, 20000, &text), RunEnd::finished);
  EXPECT_EQ(text, "next\n");
  // A cut run does not spend it either.
  ScriptedTool longer("match\nfill 5000\n");
  EXPECT_EQ(longer.ended("x", 64, 20000, &text), RunEnd::output_cut);
  EXPECT_EQ(next.ended("x", 64, 20000, &text), RunEnd::finished);
  // A run ended at its time-out does, and the runs after it are skipped.
  ScriptedTool hung("match\nhang\n");
  EXPECT_EQ(hung.ended("x", 64, 1000, &text), RunEnd::timed_out);
  text = "#";
  EXPECT_EQ(next.ended("x", 64, 20000, &text), RunEnd::timed_out);
  EXPECT_EQ(text, "");
  EXPECT_EQ(next.calls(), "x\nx\n");
}

TEST(RunEnded, AnUnreachableAnswerUnderABudgetTimedOut) {
  RunBudget budget(60000);
  budget.watch_for("error:");
  ScriptedTool gone("match\nsay error: device offline\\n\n");
  std::string text = "#";
  EXPECT_EQ(gone.ended("x", 64, 20000, &text), RunEnd::timed_out);
  EXPECT_EQ(text, "");
}

TEST(RunBudgetDeathTest, BudgetsDoNotNest) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH_IF_SUPPORTED(
      {
        RunBudget outer(1000);
        RunBudget inner(1000);
      },
      "budgets do not nest");
  // One after another is fine.
  { RunBudget first(1000); }
  { RunBudget second(1000); }
}

TEST(RunWords, SeeEverythingTheToolPrintedWhateverTheBufferKept) {
  // OKAY, then more than the buffer keeps, then FAILED; and a NUL byte
  // before a FAILED the kept text would stop at.
  ScriptedTool long_failure("match\nsay OKAY\\n\nfill 70000\nsay FAILED (remote: 'flash write failure')\\n\n");
  OutputWords words;
  words.watch("OKAY");
  words.watch("FAILED");
  std::string out(4096, '#');
  EXPECT_EQ(run_tool(long_failure.line("x").c_str(), out.data(), 4096, 20000, RunKind::transfer, &words).end,
            RunEnd::output_cut);
  EXPECT_TRUE(words.seen("OKAY"));
  EXPECT_TRUE(words.seen("FAILED"));
  EXPECT_EQ(words.total(), 5 + 70000 + 39);

  ScriptedTool nul("match\nsay OKAY\\x00FAILED\\n\n");
  OutputWords nul_words;
  nul_words.watch("FAILED");
  EXPECT_EQ(run_tool(nul.line("x").c_str(), out.data(), 4096, 20000, RunKind::bounded, &nul_words).end,
            RunEnd::finished);
  EXPECT_STREQ(out.c_str(), "OKAY");
  EXPECT_TRUE(nul_words.seen("FAILED"));
}

TEST(RunTool, TheWaitingBoundEndsOnlyWhileNothingFollowsTheWaitingLine) {
  platform::RunLimits waiting{1000, 600000, waiting_marker, 500};
  waiting.idle_ms = 600000;
  bool in_time = false;
  // The phone came late: after the waiting line fastboot speaks, then the
  // write is quiet for longer than the waiting bound, and succeeds.
  ScriptedTool late(
      "match\nsay < waiting for any device >\\n\nsleep 300\nsay Sending 'boot'\nsleep 1500\n"
      "say OKAY\\n\n");
  EXPECT_EQ(late.run_limited(waiting, &in_time), "< waiting for any device >\nSending 'boot'OKAY\n");
  EXPECT_TRUE(in_time);
  // A waiting line after more output than the buffer keeps still arms it.
  ScriptedTool after_much("match\nfill 70000\nsay \\n< waiting for any device >\\n\nhang\n");
  after_much.run_limited(waiting, &in_time);
  EXPECT_FALSE(in_time);
}

#ifndef _WIN32
// Files that exist with their run bit but cannot really run (Linux): no
// shell is asked to run them, and a run that crashed printing no list
// leaves no tool behind.
namespace {

// An executable file `name` in the tool's folder holding `bytes`.
std::string runnable_file(const ScriptedTool& beside, const std::string& name, const std::string& bytes) {
  const fs::path file = fs::path(beside.folder()) / name;
  std::ofstream(file, std::ios::binary) << bytes;
  fs::permissions(file, fs::perms::owner_all);
  return file.string();
}

// The first `size` bytes of the tool double: a cut program that starts and
// crashes.
std::string cut_program(size_t size) {
  char here[tool_path_size];
  exe_dir(here);
  std::ifstream in(fs::path(here) / "tool_double", std::ios::binary);
  std::string bytes(size, '\0');
  in.read(bytes.data(), static_cast<std::streamsize>(size));
  return bytes;
}

}  // namespace

TEST(RunEnded, AnExecutableFileTheSystemCannotRunIsNotStarted) {
  ScriptedTool beside("");
  const std::string marker = beside.folder() + "/ran";
  const std::pair<const char*, std::string> files[] = {
      {"zero-filled", std::string(4096, '\0')},
      {"text", "echo started\ntouch '" + marker + "'\n"},
      {"pe", "MZ" + std::string(510, '\0')},
  };
  for (const auto& [name, bytes] : files) {
    const std::string file = runnable_file(beside, name, bytes);
    std::string out(64, '#');
    const ToolRun run = run_tool(("\"" + file + "\" devices").c_str(), out.data(), 64, 20000);
    EXPECT_EQ(run.end, RunEnd::not_started) << name;
    EXPECT_STREQ(out.c_str(), "") << name;
    EXPECT_FALSE(run.crashed) << name;
  }
  EXPECT_FALSE(fs::exists(marker)) << "a shell ran the text file";

  // Found along PATH by its bare name, the same.
  const char* old_path = std::getenv("PATH");
  const std::string saved = old_path != nullptr ? old_path : "";
  runnable_file(beside, "talvik-text-tool", "echo started\n");
  ::setenv("PATH", (beside.folder() + ":" + saved).c_str(), 1);
  std::string text = "#";
  const RunEnd bare = ended_line("talvik-text-tool devices", 64, 20000, &text);
  // A real program by its bare name still starts.
  std::string shell_text;
  const RunEnd shell = ended_line("sh -c \"echo from sh\"", 64, 20000, &shell_text);
  ::setenv("PATH", saved.c_str(), 1);
  EXPECT_EQ(bare, RunEnd::not_started);
  EXPECT_EQ(text, "");
  EXPECT_EQ(shell, RunEnd::finished);
  EXPECT_EQ(shell_text, "from sh\n");
}

// A judged run (flash, boot, reboot, wireless) that never started or that
// crashed says so in its log, after what the tool printed; the verdict's
// judge is told how it ended. A tool that cannot start is tried twice.
TEST(JudgedRun, AToolThatNeverStartedOrCrashedIsToldInTheLog) {
  char out[512];
  OutputWords words;
  JudgedRun run =
      run_judged("\"/no/such/folder/fastboot\" flash boot x.img", out, sizeof out, 20000, RunKind::transfer, words);
  EXPECT_EQ(run.run.end, RunEnd::not_started);
  EXPECT_EQ(run.notes_at, 0);
  EXPECT_STREQ(out, not_started_line);

  ScriptedTool late("match\nsay Sending 'boot' (4 KB)\\n\ncrash\n");
  OutputWords late_words;
  run = run_judged(late.line("flash boot x.img").c_str(), out, sizeof out, 20000, RunKind::transfer, late_words);
  EXPECT_TRUE(run.run.crashed);
  const std::string sent = "Sending 'boot' (4 KB)\n";
  EXPECT_EQ(std::string(out), sent + crashed_line);
  EXPECT_EQ(run.notes_at, static_cast<int>(sent.size()));

  // An ordinary failure gets no line of the bridge's.
  ScriptedTool failed("match\nsay FAILED (remote: 'no')\\n\nexit 1\n");
  OutputWords failed_words;
  run = run_judged(failed.line("flash boot x.img").c_str(), out, sizeof out, 20000, RunKind::transfer, failed_words);
  EXPECT_STREQ(out, "FAILED (remote: 'no')\n");
  EXPECT_EQ(run.notes_at, static_cast<int>(std::strlen(out)));
  EXPECT_EQ(failed.calls(), "flash boot x.img\n");
}

TEST(RunEnded, AScriptWithItsInterpreterLineRuns) {
  ScriptedTool beside("");
  const std::string file = runnable_file(beside, "script", "#!/bin/sh\necho \"script $1\"\n");
  std::string out(64, '#');
  const ToolRun run = run_tool(("\"" + file + "\" devices").c_str(), out.data(), 64, 20000);
  EXPECT_EQ(run.end, RunEnd::finished);
  EXPECT_STREQ(out.c_str(), "script devices\n");
  EXPECT_FALSE(run.crashed);
}

TEST(RunEnded, ACrashOrTheLoadersStatusIsToldButTheRunStillEndsAsItEnded) {
  const auto run = [](const std::string& line, bool* crashed) {
    std::string out(64, '#');
    const ToolRun run = run_tool(line.c_str(), out.data(), 64, 20000);
    *crashed = run.crashed;
    return std::make_pair(run.end, std::string(out.c_str()));
  };
  bool crashed = false;
  ScriptedTool cut("");
  const std::string cut_file = runnable_file(cut, "cut", cut_program(4096));
  EXPECT_EQ(run("\"" + cut_file + "\" devices", &crashed), std::make_pair(RunEnd::finished, std::string()));
  EXPECT_TRUE(crashed);
  ScriptedTool late("match\nsay done\\n\ncrash\n");
  EXPECT_EQ(run(late.line("x"), &crashed), std::make_pair(RunEnd::finished, std::string("done\n")));
  EXPECT_TRUE(crashed);
  for (const char* code : {"126", "127"}) {
    ScriptedTool status(std::string("match\nexit ") + code + "\n");
    EXPECT_EQ(run(status.line("x"), &crashed).first, RunEnd::finished) << code;
    EXPECT_TRUE(crashed) << code;
  }
  // Ordinary ends are no crash; neither is a child the runner ended.
  for (const char* script : {"", "match\nexit 1\n", "match\nexit 125\n"}) {
    ScriptedTool plain(script);
    EXPECT_EQ(run(plain.line("x"), &crashed).first, RunEnd::finished) << script;
    EXPECT_FALSE(crashed) << script;
  }
  ScriptedTool hung("match\nhang\n");
  std::string out(64, '#');
  const ToolRun ended = run_tool(hung.line("x").c_str(), out.data(), 64, 1000);
  EXPECT_EQ(ended.end, RunEnd::timed_out);
  EXPECT_FALSE(ended.crashed);
}

TEST(ListDevices, ACrashedRunThatListedNothingIsNotStarted) {
  char output[devices_output_size];
  const auto listed = [&output](const std::string& tool_path) {
    std::memset(output, '#', sizeof output);
    output[sizeof output - 1] = '\0';
    return list_devices(tool_path.c_str(), output);
  };
  ScriptedTool crashes("match devices\ncrash\n");
  EXPECT_EQ(listed(crashes.path()), RunEnd::not_started);
  EXPECT_STREQ(output, "");
  ScriptedTool cut("");
  EXPECT_EQ(listed(runnable_file(cut, "fastboot", cut_program(4096))), RunEnd::not_started);
  EXPECT_STREQ(output, "");
  // The loader's line is no list (a fastboot list would take it for a phone).
  ScriptedTool no_library(
      "match devices\nsay fastboot: error while loading shared libraries: libusb-1.0.so.0: cannot open shared object "
      "file: No such file or directory\\n\nexit 127\n");
  EXPECT_EQ(listed(no_library.path()), RunEnd::not_started);
  EXPECT_STREQ(output, "");

  // A list printed before the crash or status is a working tool's.
  ScriptedTool adb_list("match devices\nsay List of devices attached\\n\\n\ncrash\n");
  EXPECT_EQ(listed(adb_list.path()), RunEnd::finished);
  EXPECT_STREQ(output, "List of devices attached\n\n");
  ScriptedTool fastboot_list("match devices\nsay 0A1B2C3D\\tfastboot\\n\nexit 127\n");
  EXPECT_EQ(listed(fastboot_list.path()), RunEnd::finished);
  EXPECT_STREQ(output, "0A1B2C3D\tfastboot\n");
  // A tool that fails the usual way is there.
  ScriptedTool fails("match devices\nsay error: no devices\\n\nexit 1\n");
  EXPECT_EQ(listed(fails.path()), RunEnd::finished);
  EXPECT_STREQ(output, "error: no devices\n");
}
#endif
