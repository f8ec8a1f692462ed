#pragma once
#include "server/exchange.h"

// GET /wifi-<action>: wireless debugging pair, connect, disconnect, mdns.
void handle_wifi(Exchange& ex);
