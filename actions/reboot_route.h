#pragma once
#include "server/exchange.h"

// GET /reboot: reboot the phone into a chosen mode.
void handle_reboot(Exchange& ex);
