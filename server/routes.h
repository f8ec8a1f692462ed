// The route table: which handler answers a request.
#pragma once
#include "http/exchange.h"

// Picks the route by the first bytes of the request, applies the rebinding
// guard and the trust check, and runs the handler, which sends the reply.
void route_request(Exchange& ex);
