#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>

#include "platform/capture_loop.h"
#include "platform/process.h"

namespace platform {

namespace {

using capture::Clock;
using capture::ms_until;

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

// A child we started, for capture::run. Anonymous pipes cannot be waited
// on, so while the pipe is empty, wait waits on the process for a short
// while (1 ms, doubling up to 16 ms) and the pipe is looked at again.
class Child {
 public:
  bool start(const char* command_line) {
    if (command_line[0] == '\0') return false;
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    Handle write_end;
    if (!CreatePipe(&output_.h, &write_end.h, &sa, 0)) return false;
    SetHandleInformation(output_.h, HANDLE_FLAG_INHERIT, 0);

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
      return false;
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
    if (line == nullptr) return false;
    // Started suspended, so it is in the job before it can start anything.
    BOOL started = CreateProcessA(nullptr, line, nullptr, nullptr, TRUE,
                                  CREATE_NO_WINDOW | EXTENDED_STARTUPINFO_PRESENT | CREATE_SUSPENDED, nullptr, nullptr,
                                  &si.StartupInfo, &pi);
    std::free(line);
    // From here the child (and what it starts) holds the only write ends.
    write_end.reset();
    input.reset();
    if (!started) return false;
    process_.h = pi.hProcess;
    thread_.h = pi.hThread;
    job_.h = make_kill_on_close_job();
    if (job_.h != nullptr && !AssignProcessToJobObject(job_.h, process_.h)) job_.reset();
    ResumeThread(thread_.h);
    return true;
  }

  capture::Seen wait(int ms) {
    capture::Seen seen;
    available_ = 0;
    if (!PeekNamedPipe(output_.h, nullptr, 0, nullptr, &available_, nullptr)) {
      broken_ = true;  // every write end is closed: read reports the end
      seen.output = true;
      return seen;
    }
    if (available_ > 0) {
      seen.output = true;
      return seen;
    }
    const DWORD nap = std::min(nap_ms_, static_cast<DWORD>(ms));
    seen.exited = WaitForSingleObject(process_.h, nap) == WAIT_OBJECT_0;
    nap_ms_ = std::min<DWORD>(nap_ms_ * 2, 16);
    return seen;
  }

  int read(char* into, int want) {
    if (broken_ || available_ == 0) return broken_ ? capture::read_end : capture::read_nothing;
    DWORD got = 0;
    if (!ReadFile(output_.h, into, std::min(available_, static_cast<DWORD>(want)), &got, nullptr) || got == 0) {
      return capture::read_end;
    }
    nap_ms_ = 1;
    return static_cast<int>(got);
  }

  bool wait_exit(Clock::time_point deadline) {
    return WaitForSingleObject(process_.h, static_cast<DWORD>(ms_until(deadline))) == WAIT_OBJECT_0;
  }

  bool end() {
    if (process_.h == nullptr || WaitForSingleObject(process_.h, 0) == WAIT_OBJECT_0) return false;
    TerminateProcess(process_.h, 1);
    return true;
  }

  // A crash is not told apart here: what is no program never starts.
  bool crashed() const { return false; }

  Child() = default;
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

 private:
  Handle output_;  // the read end of the child's output
  Handle process_;
  Handle thread_;
  // Declared after `process_`, so it closes first and ends the child with it.
  Handle job_;
  DWORD available_ = 0;  // bytes the last wait saw in the pipe
  DWORD nap_ms_ = 1;
  bool broken_ = false;
};

}  // namespace

ToolRun run_captured(const char* command_line, char* out, int size, RunLimits limits) {
  return capture::run<Child>(command_line, out, size, limits);
}

}  // namespace platform
