// json_escape over any bytes and output limit: the result stays inside its
// buffer and, put between double quotes, is a JSON string; inside a reply
// body template the body is a JSON document.
#include <cstdio>

#include "fuzz/fuzz_support.h"
#include "http/json_escape.h"
#include "tests/support/json_check.h"

namespace {

// The limits the routes use, and small ones where every escape is near the edge.
int limit_from(uint8_t pick) {
  constexpr int used[] = {254, 510, 4094, 65534};
  if (pick < 4) return used[pick];
  return pick - 4;  // 0 to 251
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const int limit = limit_from(data[0]);
  const std::string input = fuzz::text_of(data + 1, size - 1);

  fuzz::Buffer out(static_cast<size_t>(limit) + 1);
  json_escape(input.c_str(), out.get(), limit);
  fuzz::require(out.terminated(), "escaped text NUL-terminated");
  const std::string escaped = out.text();
  fuzz::require(escaped.size() <= static_cast<size_t>(limit), "escaped text within its limit");
  fuzz::require(json_check::is_valid_json("\"" + escaped + "\""), "escaped text is a JSON string");

  static char body[65536 + 64];
  int n = std::snprintf(body, sizeof body, "{\"ok\":true,\"log\":\"%s\"}", escaped.c_str());
  fuzz::require(n > 0 && json_check::is_valid_json(body, static_cast<size_t>(n)), "reply body is JSON");
  return 0;
}
