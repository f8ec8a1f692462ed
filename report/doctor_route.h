#pragma once
#include "server/exchange.h"

// GET /doctor: why no phone is seen and what to do. Runs only quick things
// ("adb devices", "fastboot devices" when fastboot is there, the USB
// list); never downloads fastboot.
void handle_doctor(Exchange& ex);
