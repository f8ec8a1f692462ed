// The origin policy and the rebinding guard over any request text: each
// answer agrees with what the header values say.
#include "fuzz/fuzz_support.h"
#include "http/request_values.h"
#include "server/origin.h"

namespace {

bool is_allowed(const std::string& origin) {
  for (const char* allowed : allowed_origins) {
    if (origin == allowed) return true;
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string request = fuzz::text_of(data, size);
  const HeadView head = view_text(request.c_str());

  fuzz::Buffer origin(origin_value_size);
  const bool has_origin = origin_value(head, origin.get());
  fuzz::require(origin.terminated(), "origin NUL-terminated");
  fuzz::require(origin.text().size() <= 255, "origin within 255 bytes");

  const char* reply = reply_origin(head);
  bool listed = false;
  for (const char* allowed : allowed_origins) listed = listed || reply == allowed;
  fuzz::require(listed, "reply origin is one of the allowed origins");
  if (has_origin && is_allowed(origin.text())) {
    fuzz::require(origin.text() == reply, "an allowed origin is echoed");
  }

  if (request_is_trusted(head)) {
    fuzz::require(has_origin && is_allowed(origin.text()), "trust needs an allowed origin");
    fuzz::require(has_header(head, "X-Talvik-Bridge"), "trust needs the bridge header");
  }

  for (int port = 9765; port <= 9769; port += 4) {
    if (!host_is_allowed(head, port)) continue;
    char host[64] = {};
    if (!header_value(head, "Host", host, sizeof host - 1)) continue;
    const std::string h = host;
    const std::string p = ":" + std::to_string(port);
    fuzz::require(h == "127.0.0.1" || h == "localhost" || h == "127.0.0.1" + p || h == "localhost" + p,
                  "an allowed Host names this machine");
  }
  return 0;
}
