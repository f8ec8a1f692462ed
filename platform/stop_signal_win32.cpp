#include <windows.h>
// After windows.h.
#include <tlhelp32.h>

#include <cstring>

#include "platform/files.h"
#include "platform/stop_signal.h"

namespace platform {

namespace {

char stop_path[max_path];

// True when the file is gone, or when what keeps it is not a sharing lock.
bool delete_stop_file() { return DeleteFileA(stop_path) || GetLastError() != ERROR_SHARING_VIOLATION; }

unsigned long long as_number(FILETIME t) {
  return static_cast<unsigned long long>(t.dwHighDateTime) << 32 | t.dwLowDateTime;
}

// Ends the processes this one started that are still running: a fastboot
// reading the image (or a download writing it) holds it open. Their job
// would end them a moment later anyway, when this process ends. A process
// older than this one only carries a reused number as its parent's.
void end_own_children() {
  FILETIME created, unused1, unused2, unused3;
  if (!GetProcessTimes(GetCurrentProcess(), &created, &unused1, &unused2, &unused3)) return;
  HANDLE list = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (list == INVALID_HANDLE_VALUE) return;
  const DWORD self = GetCurrentProcessId();
  PROCESSENTRY32 entry;
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32First(list, &entry); more; more = Process32Next(list, &entry)) {
    if (entry.th32ParentProcessID != self) continue;
    HANDLE child =
        OpenProcess(PROCESS_TERMINATE | PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, entry.th32ProcessID);
    if (child == nullptr) continue;
    FILETIME child_created;
    if (GetProcessTimes(child, &child_created, &unused1, &unused2, &unused3) &&
        as_number(child_created) >= as_number(created)) {
      TerminateProcess(child, 1);
      WaitForSingleObject(child, 2000);
    }
    CloseHandle(child);
  }
  CloseHandle(list);
}

// Runs on its own thread for every console event. Returns FALSE so that the
// next handler, and at last the default one that ends the process, runs.
BOOL WINAPI on_stop(DWORD) {
  if (!delete_stop_file()) {
    end_own_children();
    // The ended child's handles close a moment after it has ended.
    for (int tries = 0; tries < 20 && !delete_stop_file(); ++tries) Sleep(50);
  }
  return FALSE;
}

}  // namespace

void delete_on_stop(const char* path) {
  if (std::strlen(path) >= sizeof stop_path) return;
  std::strcpy(stop_path, path);
  SetConsoleCtrlHandler(on_stop, TRUE);
}

}  // namespace platform
