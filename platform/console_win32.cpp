#include <windows.h>

#include <cstdio>

#include "platform/console.h"

namespace platform {

void release_console() { FreeConsole(); }

void wait_for_key() { std::getchar(); }

}  // namespace platform
