#pragma once
#include "http/exchange.h"

// GET /adbkill: stop the ADB server.
void handle_adbkill(Exchange& ex);
