#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/console.h"

namespace platform {

void release_console() { FreeConsole(); }

void survive_lost_readers() {}

void wait_for_key() { std::getchar(); }

namespace {

// The page the console had before the bridge changed it; 0: unchanged.
UINT page_before = 0;

void put_page_back() {
  if (page_before != 0) SetConsoleOutputCP(page_before);
}

// Runs on Ctrl+C, Ctrl+Break and window close. Returns FALSE so that the
// next handler (and at last the default one, which ends the process) still
// runs: a console shared with a command prompt keeps its own page.
BOOL WINAPI on_console_event(DWORD) {
  put_page_back();
  return FALSE;
}

}  // namespace

void use_utf8_output() {
  UINT page = GetConsoleOutputCP();
  if (page == 0 || page == CP_UTF8 || !SetConsoleOutputCP(CP_UTF8)) return;
  if (page_before == 0) {
    page_before = page;
    std::atexit(put_page_back);
    SetConsoleCtrlHandler(on_console_event, TRUE);
  }
}

void write_line_as_is(const char* text) {
  std::fflush(stdout);
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD written = 0;
  WriteFile(out, text, static_cast<DWORD>(std::strlen(text)), &written, nullptr);
  WriteFile(out, "\r\n", 2, &written, nullptr);
}

unsigned output_code_page() { return GetConsoleOutputCP(); }

const char* served_page_address() { return nullptr; }

const char console_close_line[] = "  Band karne ke liye ye window close karein.";

}  // namespace platform
