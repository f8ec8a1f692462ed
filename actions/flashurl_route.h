#pragma once
#include "http/exchange.h"

// GET /flashurl: download an image and flash it.
void handle_flashurl(Exchange& ex);
