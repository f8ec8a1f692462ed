// Which pages may read the bridge's replies and use its acting routes.
#pragma once
#include "http/request_values.h"

#ifndef TALVIK_SITE_HOST
#define TALVIK_SITE_HOST "talvik.pk"
#endif

// The operator's site; it forms the first two allowed origins.
constexpr const char* site_host = TALVIK_SITE_HOST;

constexpr int allowed_origin_count = 4;
// The first one is also the default reply origin.
extern const char* const allowed_origins[allowed_origin_count];

constexpr int origin_value_size = 256;  // at most 255 bytes and a NUL

// Copies the Origin header's value (cut to 255 bytes) into `out` and
// returns true; false when the request has no Origin header.
bool origin_value(const HeadView& head, char* out);

// The origin to name in Access-Control-Allow-Origin: the request's own
// origin when it is allowed, else the default. Always one of
// allowed_origins.
const char* reply_origin(const HeadView& head);

// An allowed origin and the bridge header X-Talvik-Bridge (any value).
bool request_is_trusted(const HeadView& head);

// Guards against DNS rebinding: true when the request has no Host header or
// its Host is exactly 127.0.0.1 or localhost, alone or with ":bound_port".
bool host_is_allowed(const HeadView& head, int bound_port);
