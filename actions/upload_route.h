#pragma once
#include "http/exchange.h"

// POST /flash and POST /boot: store the body, flash or boot it with fastboot.
void handle_upload(Exchange& ex);
