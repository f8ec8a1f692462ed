#pragma once
#include "http/exchange.h"

constexpr char bridge_version[] = "1.0.0";

// GET /ping: name, version, and whether the start-up tool paths name files.
void handle_ping(Exchange& ex);
