#pragma once
#include "http/exchange.h"

// GET /info: the report on the first connected phone.
void handle_info(Exchange& ex);
