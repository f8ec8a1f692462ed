#include "tools/autostart.h"

// Not written yet.
void register_autostart() {}
