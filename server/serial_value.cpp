#include "server/serial_value.h"

#include <cstdlib>
#include <cstring>

#include "server/request_values.h"

namespace {

// Enough encoded characters that any longer value decodes to more than
// serial_cap characters (each decoded character takes at most three).
constexpr int serial_query_cap = 3 * serial_cap + 1;

}  // namespace

SerialRequest serial_in_request(const char* request, char* serial) {
  char raw[serial_query_cap + 1] = {};
  if (!query_value(request, "serial", raw, serial_query_cap)) {
    return requested_serial(nullptr, std::getenv("ANDROID_SERIAL"), serial);
  }
  char decoded[url_decoded_size];
  const int decoded_length = url_decode(raw, decoded);
  // An encoded NUL would hide the bytes after it from the serial rule.
  if (std::strlen(decoded) != static_cast<size_t>(decoded_length)) {
    serial[0] = '\0';
    return SerialRequest::bad;
  }
  return requested_serial(decoded, std::getenv("ANDROID_SERIAL"), serial);
}
