#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>

#include "platform/process.h"
#include "platform/stall_watch.h"

namespace platform {

namespace {

using Clock = std::chrono::steady_clock;

DWORD ms_until(Clock::time_point t) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(t - Clock::now()).count();
  if (left <= 0) return 0;
  return left > 0x7ffffffe ? 0x7ffffffe : static_cast<DWORD>(left);
}

// Closes a handle when it goes out of scope.
struct Handle {
  HANDLE h = nullptr;
  ~Handle() { reset(); }
  void reset() {
    if (h != nullptr && h != INVALID_HANDLE_VALUE) CloseHandle(h);
    h = nullptr;
  }
};

// Frees the attribute list that names the handles a child may inherit.
struct AttributeList {
  LPPROC_THREAD_ATTRIBUTE_LIST list = nullptr;
  ~AttributeList() {
    if (list != nullptr) {
      DeleteProcThreadAttributeList(list);
      std::free(list);
    }
  }
};

// A job that ends its processes when its last handle closes: when the run
// is over, or when the bridge ends in any way. Processes the child starts
// break away silently, so a server it leaves behind (adb's) lives on.
HANDLE make_kill_on_close_job() {
  HANDLE job = CreateJobObjectA(nullptr, nullptr);
  if (job == nullptr) return nullptr;
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION info;
  std::memset(&info, 0, sizeof info);
  info.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE | JOB_OBJECT_LIMIT_SILENT_BREAKAWAY_OK;
  if (!SetInformationJobObject(job, JobObjectExtendedLimitInformation, &info, sizeof info)) {
    CloseHandle(job);
    return nullptr;
  }
  return job;
}

}  // namespace

bool run_captured(const char* command_line, char* out, int size, RunLimits limits) {
  out[0] = '\0';
  const auto whole_deadline = Clock::now() + std::chrono::milliseconds(limits.whole_run_ms);

  SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
  Handle read_end, write_end;
  if (!CreatePipe(&read_end.h, &write_end.h, &sa, 0)) return true;
  SetHandleInformation(read_end.h, HANDLE_FLAG_INHERIT, 0);

  // The child's input is an inheritable copy of ours, when we have one.
  Handle input;
  HANDLE own_input = GetStdHandle(STD_INPUT_HANDLE);
  if (own_input != nullptr && own_input != INVALID_HANDLE_VALUE) {
    DuplicateHandle(GetCurrentProcess(), own_input, GetCurrentProcess(), &input.h, 0, TRUE, DUPLICATE_SAME_ACCESS);
  }

  // Only the pipe's write end and the input copy may be inherited; each
  // handle is listed once (a repeated handle makes CreateProcess fail).
  HANDLE inherit[2] = {write_end.h, input.h};
  DWORD inherit_count = input.h != nullptr ? 2 : 1;
  AttributeList attributes;
  SIZE_T attr_size = 0;
  InitializeProcThreadAttributeList(nullptr, 1, 0, &attr_size);
  attributes.list = static_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(std::malloc(attr_size));
  if (attributes.list == nullptr || !InitializeProcThreadAttributeList(attributes.list, 1, 0, &attr_size)) {
    std::free(attributes.list);
    attributes.list = nullptr;
    return true;
  }
  UpdateProcThreadAttribute(attributes.list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, inherit,
                            inherit_count * sizeof(HANDLE), nullptr, nullptr);

  STARTUPINFOEXA si;
  std::memset(&si, 0, sizeof si);
  si.StartupInfo.cb = sizeof si;
  si.StartupInfo.dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW;
  si.StartupInfo.wShowWindow = SW_HIDE;
  si.StartupInfo.hStdInput = input.h;
  si.StartupInfo.hStdOutput = write_end.h;
  si.StartupInfo.hStdError = write_end.h;
  si.lpAttributeList = attributes.list;

  PROCESS_INFORMATION pi;
  std::memset(&pi, 0, sizeof pi);
  char* line = _strdup(command_line);
  if (line == nullptr) return true;
  // Started suspended, so it is in the job before it can start anything.
  BOOL started = CreateProcessA(nullptr, line, nullptr, nullptr, TRUE,
                                CREATE_NO_WINDOW | EXTENDED_STARTUPINFO_PRESENT | CREATE_SUSPENDED, nullptr, nullptr,
                                &si.StartupInfo, &pi);
  std::free(line);
  // From here the child (and what it starts) holds the only write ends.
  write_end.reset();
  input.reset();
  if (!started) return true;
  Handle process{pi.hProcess};
  Handle thread{pi.hThread};
  // Declared after `process`, so it closes first and ends the child with it.
  Handle job{make_kill_on_close_job()};
  if (job.h != nullptr && !AssignProcessToJobObject(job.h, process.h)) job.reset();
  ResumeThread(thread.h);

  // Reading: ends at end of data, the whole-run bound, a quiet bound, or
  // once the child has exited and what it wrote has been read. Output past
  // the buffer is read and dropped, so the child never blocks on the pipe.
  // Anonymous pipes cannot be waited on, so an idle pipe is looked at again
  // after a short wait on the process.
  int held = 0;
  bool exited = false;
  bool stalled = false;
  StallWatch stall(limits);
  static char dropped[4096];
  DWORD idle_ms = 1;
  for (;;) {
    DWORD left = ms_until(whole_deadline);
    if (left == 0) break;
    if (stall.expired()) {
      stalled = true;
      break;
    }
    DWORD available = 0;
    if (!PeekNamedPipe(read_end.h, nullptr, 0, nullptr, &available, nullptr)) break;
    if (available > 0) {
      const bool full = held >= size - 1;
      // Once the child is gone, what a process it left behind keeps
      // writing is not waited for.
      if (full && exited) break;
      char* into = full ? dropped : out + held;
      DWORD room = full ? static_cast<DWORD>(sizeof dropped) : static_cast<DWORD>(size - 1 - held);
      DWORD got = 0;
      if (!ReadFile(read_end.h, into, std::min(available, room), &got, nullptr) || got == 0) break;
      if (!full) {
        held += static_cast<int>(got);
        out[held] = '\0';
      }
      stall.saw_output(out);
      idle_ms = 1;
      continue;
    }
    if (exited) break;
    DWORD nap = std::min(idle_ms, left);
    nap = std::min<DWORD>(nap, static_cast<DWORD>(stall.ms_left()));
    exited = WaitForSingleObject(process.h, nap) == WAIT_OBJECT_0;
    idle_ms = std::min<DWORD>(idle_ms * 2, 16);
  }
  out[held] = '\0';

  bool in_time = !stalled && ms_until(whole_deadline) > 0;
  if (stalled) {
    TerminateProcess(process.h, 1);
  } else if (WaitForSingleObject(process.h, 0) != WAIT_OBJECT_0) {
    auto wait_deadline = std::min(whole_deadline, Clock::now() + std::chrono::milliseconds(limits.after_output_ms));
    if (WaitForSingleObject(process.h, ms_until(wait_deadline)) != WAIT_OBJECT_0) {
      TerminateProcess(process.h, 1);
      in_time = false;
    }
  }
  return in_time;
}

}  // namespace platform
