#include "server/origin.h"

#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "http/request_values.h"

namespace {
const char site_origin_www[] = "https://www." TALVIK_SITE_HOST;
const char site_origin[] = "https://" TALVIK_SITE_HOST;
}  // namespace

const char* const allowed_origins[allowed_origin_count] = {
    site_origin_www,
    site_origin,
    "http://localhost:8080",
    "http://127.0.0.1:8080",
};

bool origin_value(const HeadView& head, char* out) { return header_value(head, "Origin", out, origin_value_size - 1); }

namespace {
const char* allowed_match(const char* origin) {
  for (const char* allowed : allowed_origins) {
    if (std::strcmp(origin, allowed) == 0) return allowed;
  }
  return nullptr;
}
}  // namespace

const char* reply_origin(const HeadView& head) {
  char origin[origin_value_size];
  if (!origin_value(head, origin)) return allowed_origins[0];
  const char* allowed = allowed_match(origin);
  return allowed != nullptr ? allowed : allowed_origins[0];
}

bool request_is_trusted(const HeadView& head) {
  char origin[origin_value_size];
  if (!origin_value(head, origin) || allowed_match(origin) == nullptr) return false;
  return has_header(head, "X-Talvik-Bridge");
}

bool host_is_allowed(const HeadView& head, int bound_port) {
  char host[origin_value_size];
  if (!header_value(head, "Host", host, origin_value_size - 1)) return true;
  for (const char* name : {"127.0.0.1", "localhost"}) {
    char with_port[64];
    std::snprintf(with_port, sizeof with_port, "%s:%d", name, bound_port);
    if (std::strcmp(host, name) == 0 || std::strcmp(host, with_port) == 0) return true;
  }
  return false;
}
