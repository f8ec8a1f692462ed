#include "platform/console.h"

#include <windows.h>

#include <cstdio>

namespace platform {

void release_console() { FreeConsole(); }

void wait_for_key() { std::getchar(); }

}  // namespace platform
